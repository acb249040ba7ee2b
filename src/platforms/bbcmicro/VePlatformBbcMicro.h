#pragma once
// BBC Micro screens: the eight colours of the video ULA, the modes' pixel packing, the
// character-cell order of screen memory and the VDU 19 commands that set a logical palette.
#include <cstdint>
#include <vector>

#include "VeBitmap.h"
#include "VePalette.h"

// Physical colour numbers: bit 0 red, bit 1 green, bit 2 blue (0 black ... 7 white). Colours
// 8 to 15 flash between c - 8 and its complement; a still picture never chooses them.
constexpr int BbcPhysicalColors = 8;
// RGB-quad of physical colour c (0..15; a flashing colour as its first phase).
uint32_t BbcPhysicalRGB(int c);
// The eight colours in physical order.
void BbcMakePhysicalPalette(TVePalette256& palette);

struct TVeBbcModeInfo {
  int Mode;         // 0, 1, 2, 4, 5
  const char* Name; // the catalogue's mode name
  int Width;        // pixels; every mode has 256 rows
  int Bits;         // per pixel: 1, 2 or 4
  uint8_t Aspect;   // index of the aspect table
  int Colors() const { return 1 << Bits; }
  // Colours the mode can show at once: its logical colours, at most the eight still ones.
  int Shown() const { return Colors() < BbcPhysicalColors ? Colors() : BbcPhysicalColors; }
  // 80 byte columns in modes 0 to 2, 40 in modes 4 and 5.
  int ByteColumns() const { return Width * Bits / 8; }
  // 20 KB from &3000 or 10 KB from &5800, up to &7FFF.
  int ScreenBytes() const { return ByteColumns() * 256; }
  int LoadAddress() const { return 0x8000 - ScreenBytes(); }
};
// The mode with that number, or "Internal error".
const TVeBbcModeInfo& BbcModeInfo(int mode);
const std::vector<TVeBbcModeInfo>& BbcModes();

constexpr int BbcScreenHeight = 256;
// Offset of byte column column of pixel row y: character rows of 8 lines, each stored cell by
// cell with the 8 bytes of a cell one after the other.
constexpr int BbcScreenOffset(int columns, int column, int y) {
  return (y >> 3) * columns * 8 + column * 8 + (y & 7);
}

// Logical colour of pixel x (0 = leftmost of the byte) in a screen byte; the bits of one
// pixel are spread across the byte, its most significant bit highest.
int BbcUnpackPixel(uint8_t b, int x, int bits);
// The byte bits of logical colour c at pixel x, to be or-ed into the byte.
uint8_t BbcPackPixel(int c, int x, int bits);

// A screen dump of a mode over caller-owned bytes (ScreenBytes() of them).
class TVeBbcScreen : public TVeData {
public:
  TVeBbcScreen(const TVeBbcModeInfo& mode, uint8_t* data);
  int GetPixel(int x, int y) const override;
  void SetPixel(int x, int y, int value) override;

private:
  const TVeBbcModeInfo& FMode;
  uint8_t* FData;
};

// The colours a mode shows when the machine switches to it: mode 0 and 4 black and white,
// 1 and 5 black, red, yellow and white, mode 2 the eight colours (then the flashing ones).
std::vector<int> BbcDefaultLogical(const TVeBbcModeInfo& mode);

// The VDU 19 commands that set logical colour l to physical colour p: 19, l, p, 0, 0, 0.
constexpr int BbcVduCommandBytes = 6;
std::vector<uint8_t> BbcVduPalette(const std::vector<int>& physical);
// Applies the well-formed commands of a VDU byte stream to a logical palette (starting from
// the mode's defaults); false when the stream holds anything else.
bool BbcReadVduPalette(const uint8_t* data, int32_t size, const TVeBbcModeInfo& mode,
                       std::vector<int>& physical);
