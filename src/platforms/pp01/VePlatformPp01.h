#pragma once
// PP01 screens: 256 x 256 pixels in three bit planes (red, green, blue), every pixel one of
// eight colours (docs/formats/pp01.md has the layout).
#include <cstdint>

#include "VePalette.h"
#include "VePaletteType.h"

constexpr int Pp01Size = 256;
// A plane: 256 lines of 32 bytes, bit 7 leftmost. Red at 6000h, green at A000h, blue at
// E000h of the machine's memory.
constexpr int Pp01PlaneBytes = 8192;
constexpr int Pp01FileBytes = 3 * Pp01PlaneBytes;
constexpr int Pp01PlaneAddress[3] = {0x6000, 0xA000, 0xE000};
constexpr int Pp01Offset(int x, int y) {
  return y * 32 + x / 8;
}

// The eight colours (bit 2 red, bit 1 green, bit 0 blue) at a palette type's level:
// ptColored8 full (FFh), ptColoredEMU 80h.
constexpr TVePaletteType Pp01FullLevels = ptColored8;
constexpr TVePaletteType Pp01HalfLevels = ptColoredEMU;
void Pp01MakePalette(TVePalette256& palette, TVePaletteType type);

// The colour (bit 2 red, bit 1 green, bit 0 blue) of a pixel of the planes, and setting it.
int Pp01Pixel(const uint8_t* planes, int x, int y);
void Pp01SetPixel(uint8_t* planes, int x, int y, int color);
