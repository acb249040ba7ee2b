#pragma once
// Corvette screens: 512 x 256 pixels in three bit planes; a pixel's three bits choose one of
// the first eight entries of a lookup table of 16 IRGB colours (docs/formats/corvette.md
// has the layout).
#include <cstdint>

#include "VePalette.h"

constexpr int CorvetteWidth = 512;
constexpr int CorvetteHeight = 256;
// A plane: 256 lines of 64 bytes, bit 7 leftmost; the planes follow each other.
constexpr int CorvettePlaneBytes = 16384;
constexpr int CorvetteScreenBytes = 3 * CorvettePlaneBytes;
// With the text layer blank a pixel reaches lookup entries 0-7 only.
constexpr int CorvetteLutEntries = 8;
constexpr int CorvetteFileBytes = CorvetteScreenBytes + CorvetteLutEntries; // 49160
constexpr int CorvetteOffset(int x, int y) {
  return y * 64 + x / 8;
}

// The 16 IRGB colours (bit 3 intensity, bit 2 red, bit 1 green, bit 0 blue): a set channel is
// C0h, intensity adds 3Fh to every channel.
const TVePalette256& CorvettePalette();
// The byte written to the lookup table port: colour in the high nibble, entry in the low.
constexpr uint8_t CorvetteLutByte(int entry, int color) {
  return uint8_t((color & 15) << 4 | (entry & 15));
}

int CorvettePixel(const uint8_t* planes, int x, int y);
void CorvetteSetPixel(uint8_t* planes, int x, int y, int value);
