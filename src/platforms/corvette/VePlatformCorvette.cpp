#include "VePlatformCorvette.h"

const TVePalette256& CorvettePalette() {
  static const TVePalette256 palette = [] {
    TVePalette256 p;
    for (int c = 0; c < 16; ++c) {
      const int add = c & 8 ? 0x3F : 0;
      p.AddRGB(uint8_t((c & 4 ? 0xC0 : 0) + add), uint8_t((c & 2 ? 0xC0 : 0) + add),
               uint8_t((c & 1 ? 0xC0 : 0) + add));
    }
    p.PrepareSearch();
    return p;
  }();
  return palette;
}

int CorvettePixel(const uint8_t* planes, int x, int y) {
  const int at = CorvetteOffset(x, y), bit = 7 - (x & 7);
  int v = 0;
  for (int p = 0; p < 3; ++p)
    v |= (planes[p * CorvettePlaneBytes + at] >> bit & 1) << p;
  return v;
}

void CorvetteSetPixel(uint8_t* planes, int x, int y, int value) {
  const int at = CorvetteOffset(x, y), bit = 7 - (x & 7);
  for (int p = 0; p < 3; ++p) {
    uint8_t& b = planes[p * CorvettePlaneBytes + at];
    b = uint8_t((b & ~(1 << bit)) | (value >> p & 1) << bit);
  }
}
