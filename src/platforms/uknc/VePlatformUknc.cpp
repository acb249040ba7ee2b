#include "VePlatformUknc.h"

const TVePalette256& UkncPalette() {
  static const TVePalette256 palette = [] {
    TVePalette256 p;
    for (int c = 0; c < 16; ++c) {
      const uint8_t on = c & 8 ? 0xFF : 0x80;
      p.AddRGB(c & 4 ? on : 0, c & 2 ? on : 0, c & 1 ? on : 0);
    }
    p.PrepareSearch();
    return p;
  }();
  return palette;
}

int UkncColorNumber(uint32_t quad) {
  const TVePalette256& p = UkncPalette();
  const int k = p.FindExact(quad);
  if (k >= 0) return k;
  return p.FindNearestLin(
      TVeColor::FromStdRGB(uint8_t(quad >> 16), uint8_t(quad >> 8), uint8_t(quad)).GetLinRGB());
}

int UkncPixel(const uint8_t* planes, int x, int y) {
  const int at = y * UkncRowBytes + x / 8, bit = x & 7;
  int v = 0;
  for (int p = 0; p < 3; ++p)
    v |= (planes[p * UkncPlaneBytes + at] >> bit & 1) << p;
  return v;
}

int TVeUkncScreen::GetPixel(int x, int y) const {
  return UkncPixel(FPlanes, StoredX(x), y);
}

void TVeUkncScreen::SetPixel(int x, int y, int value) {
  x = StoredX(x);
  const int at = y * UkncRowBytes + x / 8, bit = x & 7;
  for (int p = 0; p < 3; ++p) {
    uint8_t& b = FPlanes[p * UkncPlaneBytes + at];
    b = uint8_t((b & ~(1 << bit)) | (value >> p & 1) << bit);
  }
}
