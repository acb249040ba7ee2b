#pragma once
// IBM PC screens: the CGA colours and palettes, the EGA 64 and VGA DAC colours, the CGA
// memory layout of BASIC's BSAVE pictures, and PCX pictures.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "VePalette.h"
#include "VePaletteType.h"

// ---- Colours -------------------------------------------------------------------------------

// The 16 RGBI colours as an IBM colour monitor shows them: 0xAA for a channel, 0x55 added by
// intensity, and colour 6 shown as brown (its green halved) rather than dark yellow.
extern const uint8_t IbmCgaColors[16][3];
extern const char* const IbmCgaColorNames[16];
void IbmMakeCgaPalette(TVePalette256& palette);

// The six 320 x 200 palettes as palette types (ptBackGreenRedYellowLow ...
// ptBackCyanRedWhiteHigh): the three fixed colours each shows beside the background.
bool IbmIsCgaPaletteType(TVePaletteType type);
const int* IbmCgaPaletteColors(TVePaletteType type);
// The four colours: background, then the palette's three.
void IbmMakeCga4Palette(TVePalette256& palette, TVePaletteType type, int background);

// EGA: six bits rgbRGB (upper case 2/3, lower case 1/3 of full level).
constexpr uint8_t IbmEgaLevel(int v) {
  return uint8_t(v * 85);
}
// The 64 colours as a bit-depth palette (2 bits per channel), prepared for searches.
const TVePaletteRGB& IbmEgaHardwarePalette();
// The EGA colour register value of a 2-bit-per-channel colour.
int IbmEgaRegister(int r, int g, int b);
// VGA DAC: 6 bits per channel shown as v * 255 / 63, rounded.
constexpr uint8_t IbmDacLevel(int v) {
  return uint8_t((v * 255 + 31) / 63);
}
const TVePaletteRGB& IbmVgaHardwarePalette();

// ---- BSAVE pictures ------------------------------------------------------------------------

// BASIC's BSAVE header: FD, segment, offset, length (little-endian words).
constexpr int IbmBsaveHeaderBytes = 7;
void IbmWriteBsaveHeader(uint8_t* to, uint16_t segment, uint16_t offset, uint16_t length);
// CGA video memory: even rows from 0, odd rows from 2000 (hex), 80 bytes a row.
constexpr int IbmCgaBytes = 0x4000;
constexpr int IbmCgaUsedBytes = 0x2000 + 8000; // through the last odd row
constexpr int IbmCgaRowOffset(int y) {
  return (y & 1) * 0x2000 + (y >> 1) * 80;
}
// The two modes write the same BSAVE header, so the registers a picture needs (mode control
// 3D8, colour select 3D9) go into the unused bytes after the even rows: "CGAR", 3D8, 3D9.
// BLOAD copies them to memory nobody shows.
constexpr int IbmCgaTagOffset = 8000;
struct TVeCgaRegisters {
  int Mode = 0;  // 0A: 320 x 200 colour, 0E: the same without colour burst, 1E: 640 x 200
  int Color = 0; // 320: background (bits 0-3), intensity (4), palette (5); 640: foreground
  bool HiRes() const { return (Mode & 0x10) != 0; }
};
// The registers of a 320 x 200 palette, or of a 640 x 200 foreground; false when the
// palette is none of the machine's.
bool IbmCgaRegistersOf(const TVePalette256& palette, bool hiRes, TVeCgaRegisters& regs);
void IbmWriteCgaTag(uint8_t* memory, const TVeCgaRegisters& regs);
// Reads the tag from a memory image of `length` bytes; false when there is none.
bool IbmReadCgaTag(const uint8_t* memory, int32_t length, TVeCgaRegisters& regs);
// The 320 x 200 palette type the registers select.
TVePaletteType IbmCgaPaletteTypeOf(const TVeCgaRegisters& regs);

// ---- PCX pictures --------------------------------------------------------------------------

struct TVePcxPicture {
  int Width = 0, Height = 0;
  int BitsPerPixel = 8;          // per plane: 1, 2, 4 or 8
  int Planes = 1;                // 1 or 4 (with one bit per pixel)
  std::vector<uint32_t> Palette; // RGB-quads: 16 in the header, 256 in the trailer
  bool PaletteMissing = false;   // an 8-bit picture without its trailer: gray levels
  std::vector<uint8_t> Pixels;   // Width x Height colour indices
};
// Version 5, run-length encoded; up to 16 colours go to the header palette, 8-bit pictures
// get the 256-colour trailer.
std::vector<uint8_t> IbmEncodePcx(const TVePcxPicture& picture);
// The header read without the pixels; false when it is no PCX this reader can decode.
bool IbmReadPcxHeader(const uint8_t* data, int32_t size, TVePcxPicture& header);
// The whole picture; an error for a truncated or malformed file.
TVePcxPicture IbmDecodePcx(const uint8_t* data, int32_t size);
// The same a row at a time: row(y, indices) gets each row's Width colour indices in turn, so
// that only the caller's picture is held. Errors as IbmDecodePcx, raised before any row when
// the data is too short for the rows the header claims.
void IbmDecodePcxRows(const uint8_t* data, int32_t size, const TVePcxPicture& header,
                      const std::function<void(int y, const uint8_t* indices)>& row);
