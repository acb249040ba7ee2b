#include "VePlatformLvov.h"

int LvovColor(uint8_t p, int value) {
  const auto bit = [p](int i) { return (p >> i & 1) != 0; };
  bool r = false, g = false, b = false;
  switch (value & 3) {
  case 0:
    r = bit(3) == bit(4), g = bit(5), b = bit(2) == bit(6);
    break;
  case 1:
    r = bit(0) == bit(4), g = bit(5), b = !bit(6);
    break;
  case 2:
    r = bit(4), g = !bit(5), b = bit(6);
    break;
  default:
    r = !bit(4), g = bit(1) == bit(5), b = bit(6);
    break;
  }
  return int(r) << 2 | int(g) << 1 | int(b);
}

uint32_t LvovColorRGB(int color, TVePaletteType type) {
  const uint32_t level = type == LvovDimLevels ? 0xA4 : 0xFF;
  return (color & 4 ? level << 16 : 0) | (color & 2 ? level << 8 : 0) | (color & 1 ? level : 0);
}

void LvovMakePalette(TVePalette256& palette, uint8_t paletteByte, TVePaletteType type) {
  palette.BeginUpdate();
  palette.Clear();
  for (int v = 0; v < 4; ++v) {
    const uint32_t q = LvovColorRGB(LvovColor(paletteByte, v), type);
    palette.AddRGB(uint8_t(q >> 16), uint8_t(q >> 8), uint8_t(q));
  }
  palette.EndUpdate();
}

int LvovPixel(const uint8_t* screen, int x, int y) {
  const uint8_t b = screen[y * LvovRowBytes + x / 4];
  const int i = x & 3;
  return (b >> (7 - i) & 1) << 1 | (b >> (3 - i) & 1);
}

void LvovSetPixel(uint8_t* screen, int x, int y, int value) {
  uint8_t& b = screen[y * LvovRowBytes + x / 4];
  const int i = x & 3;
  const uint8_t mask = uint8_t(0x80 >> i | 0x08 >> i);
  b = uint8_t((b & ~mask) | (value & 2 ? 0x80 >> i : 0) | (value & 1 ? 0x08 >> i : 0));
}
