#pragma once
// MAG version 2 pictures ("MAKI02"), as written for the MSX screens and read back: a comment
// in code page 932, a 32-byte header, the palette, then three streams: flag A (one bit per
// flag byte, set where the row's flags change), flag B (the changes, XOR-ed into the flags
// of the row above) and the pixel units that no flag copies from an earlier place.
#include <cstdint>
#include <string>
#include <vector>

struct TVeMagPicture {
  int Width = 0, Height = 0;
  bool Colors256 = false;        // else 16 colours, two pixels per byte
  std::vector<uint8_t> Pixels;   // one colour index per pixel, row after row
  std::vector<uint32_t> Palette; // RGB-quads, 16 or 256
  std::string Machine = "MSX2";  // the four characters after the signature
  uint8_t MachineCode = 0;       // 03 for MSX
  uint8_t MachineFlag = 0;       // MSX: the screen number, bit 7 for interlaced pages
  uint8_t ScreenMode = 0;        // bit 7: 256 colours; bit 0: pixels twice as high as wide
  std::string Comment;           // UTF-8
};

constexpr uint8_t VeMagMachineMSX = 0x03;
constexpr uint8_t VeMagInterlaced = 0x80;
constexpr uint8_t VeMag256Colors = 0x80;
constexpr uint8_t VeMagTallPixels = 0x01;

// Widths must be a multiple of 8 (16 colours) or 4 (256 colours).
std::vector<uint8_t> VeEncodeMag(const TVeMagPicture& picture);

struct TVeMagHeader {
  int32_t HeaderAt = 0;
  uint8_t MachineCode = 0, MachineFlag = 0, ScreenMode = 0;
  std::string Machine;
  std::string Comment; // as stored (code page 932), trailing spaces removed
  int X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
  uint32_t FlagA = 0, FlagB = 0, FlagBSize = 0, PixelsAt = 0, PixelsSize = 0;
  int Colors = 16;
  int Width() const { return X1 - X0 + 1; }
  int Height() const { return Y1 - Y0 + 1; }
};

// Reads the signature and the header; false unless the picture size is sensible and the
// palette and all three streams lie inside the data.
bool VeReadMagHeader(const uint8_t* data, int32_t size, TVeMagHeader& header);
// Decodes the picture; a header VeReadMagHeader refuses, streams that end early or flags that
// copy from outside the picture raise "Corrupt MAG file".
void VeDecodeMag(const uint8_t* data, int32_t size, TVeMagPicture& picture);

// Code page 932 conversions (iconv); characters the other side cannot hold become "?", and
// so does everything but ASCII where the system lacks the code page.
std::string VeUtf8ToCodePage932(const std::string& text);
std::string VeCodePage932ToUtf8(const std::string& text);
