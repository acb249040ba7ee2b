#pragma once
// Vector-06C screens: the 256 colours of its palette registers and the four bit planes of the
// 256 x 256 screen as the files Velmora writes (docs/formats/vector06c.md has the layouts).
#include <cstdint>

#include "VeBitmap.h"
#include "VePalette.h"

// A palette register byte is BBGGGRRR: red in bits 0 to 2, green 3 to 5, blue 6 and 7.
constexpr int VectorColorCount = 256;
// The 256 colours in register-byte order, shared and prepared for concurrent searches.
const TVePalette256& VectorPalette();

// Four planes of 8192 bytes, as memory from 8000h: plane p holds bit p of every pixel's
// colour index. A plane is 32 columns of 256 bytes; a column's first byte is the bottom row,
// and the leftmost pixel of a byte is bit 7.
constexpr int VectorSize = 256;
constexpr int VectorPlaneBytes = 8192;
constexpr int VectorScreenBytes = 4 * VectorPlaneBytes;
constexpr int VectorPaletteBytes = 16;
constexpr int VectorFileBytes = VectorScreenBytes + VectorPaletteBytes;
constexpr int VectorPlaneOffset(int x, int y) {
  return (x >> 3) * 256 + (255 - y);
}
// The line-change file: the screen and palette, one byte with the changes per line M, then
// for each of lines 1 to 255 M pairs (slot, register byte).
constexpr int VectorHamFileBytes(int changes) {
  return VectorFileBytes + 1 + (VectorSize - 1) * 2 * changes;
}
// The most changes per line the line-change modes offer.
constexpr int VectorHamMostChanges = 4;

// The planes as a 4-bit pixel grid.
class TVeVectorScreen : public TVeData {
public:
  explicit TVeVectorScreen(uint8_t* planes)
      : TVeData(VectorSize, VectorSize, 32), FPlanes(planes) {}
  int GetPixel(int x, int y) const override;
  void SetPixel(int x, int y, int value) override;

private:
  uint8_t* FPlanes;
};

// The colour index of a pixel of read-only planes.
int VectorPixel(const uint8_t* planes, int x, int y);
