#pragma once
// UKNC screens: 640 x 288 pixels in three bit planes, each line with a palette of its own of
// eight of the 16 YRGB colours (docs/formats/uknc.md has the layout).
#include <cstdint>

#include "VeBitmap.h"
#include "VePalette.h"

constexpr int UkncWidth = 640;
constexpr int UkncHeight = 288;
// A plane: 288 lines of 80 bytes, bit 0 the leftmost pixel; plane p holds bit p of a pixel.
constexpr int UkncRowBytes = 80;
constexpr int UkncPlaneBytes = UkncRowBytes * UkncHeight; // 23040
constexpr int UkncScreenBytes = 3 * UkncPlaneBytes;
// After the planes, one little-endian 32-bit palette word per line: entry n in bits 4n to
// 4n + 3.
constexpr int UkncFileBytes = UkncScreenBytes + 4 * UkncHeight; // 70272

// The 16 colours in YRGB order (bit 3 intensity, bit 2 red, bit 1 green, bit 0 blue): a set
// channel is 80h, or FFh with intensity; intensity alone is black.
const TVePalette256& UkncPalette();
// The YRGB number of a colour of that palette.
int UkncColorNumber(uint32_t quad);

// The three planes as a grid of 3-bit values.
class TVeUkncScreen : public TVeData {
public:
  explicit TVeUkncScreen(uint8_t* planes)
      : TVeData(UkncWidth, UkncHeight, UkncRowBytes), FPlanes(planes) {}
  int GetPixel(int x, int y) const override;
  void SetPixel(int x, int y, int value) override;

private:
  uint8_t* FPlanes;
};

// The value of a pixel of read-only planes.
int UkncPixel(const uint8_t* planes, int x, int y);
