#pragma once
// Lvov screens: 256 x 256 pixels of two bits, four to a byte with a pixel's bits split
// between the nibbles, showing four of eight colours chosen by one palette byte
// (docs/formats/lvov.md has the layout).
#include <array>
#include <cstdint>

#include "VePalette.h"
#include "VePaletteType.h"

constexpr int LvovSize = 256;
// Video memory (at 4000h while switched in): 64 bytes a line; then the palette byte.
constexpr int LvovRowBytes = 64;
constexpr int LvovScreenBytes = LvovRowBytes * LvovSize; // 16384
constexpr int LvovFileBytes = LvovScreenBytes + 1;
constexpr int LvovLoadAddress = 0x4000;
// The 200 x 225 window: the part of the screen a television shows, centred.
constexpr int LvovWindowWidth = 200;
constexpr int LvovWindowHeight = 225;
constexpr int LvovWindowLeft = (LvovSize - LvovWindowWidth) / 2; // 28
constexpr int LvovWindowTop = (LvovSize - LvovWindowHeight) / 2; // 15

// Palette bytes have seven bits (bit 7 drives the speaker).
constexpr int LvovPaletteBytes = 128;
// The colour (bit 2 red, bit 1 green, bit 0 blue) of pixel value v under a palette byte.
int LvovColor(uint8_t palette, int value);
// The eight colours at a palette type's level: ptColored8 full (FFh), ptColoredEMU A4h.
constexpr TVePaletteType LvovFullLevels = ptColored8;
constexpr TVePaletteType LvovDimLevels = ptColoredEMU;
uint32_t LvovColorRGB(int color, TVePaletteType type);
// The four colours a palette byte shows, in pixel-value order.
void LvovMakePalette(TVePalette256& palette, uint8_t paletteByte, TVePaletteType type);

// Pixel value at (x, y) of a screen, and setting it.
int LvovPixel(const uint8_t* screen, int x, int y);
void LvovSetPixel(uint8_t* screen, int x, int y, int value);
