#include "VePlatformVector06c.h"

const TVePalette256& VectorPalette() {
  static const TVePalette256 palette = [] {
    TVePalette256 p;
    for (int c = 0; c < VectorColorCount; ++c) {
      const int r = c & 7, g = (c >> 3) & 7, b = c >> 6;
      p.AddRGB(uint8_t((r * 255 + 3) / 7), uint8_t((g * 255 + 3) / 7), uint8_t(b * 85));
    }
    p.PrepareSearch();
    return p;
  }();
  return palette;
}

int VectorPixel(const uint8_t* planes, int x, int y) {
  const int at = VectorPlaneOffset(x, y), bit = 7 - (x & 7);
  int v = 0;
  for (int p = 0; p < 4; ++p)
    v |= ((planes[p * VectorPlaneBytes + at] >> bit) & 1) << p;
  return v;
}

int TVeVectorScreen::GetPixel(int x, int y) const {
  return VectorPixel(FPlanes, StoredX(x), y);
}

void TVeVectorScreen::SetPixel(int x, int y, int value) {
  x = StoredX(x);
  const int at = VectorPlaneOffset(x, y), bit = 7 - (x & 7);
  for (int p = 0; p < 4; ++p) {
    uint8_t& b = FPlanes[p * VectorPlaneBytes + at];
    b = uint8_t((b & ~(1 << bit)) | (((value >> p) & 1) << bit));
  }
}
