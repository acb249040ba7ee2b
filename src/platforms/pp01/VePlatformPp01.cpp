#include "VePlatformPp01.h"

void Pp01MakePalette(TVePalette256& palette, TVePaletteType type) {
  const uint8_t level = type == Pp01HalfLevels ? 0x80 : 0xFF;
  palette.BeginUpdate();
  palette.Clear();
  for (int c = 0; c < 8; ++c)
    palette.AddRGB(c & 4 ? level : 0, c & 2 ? level : 0, c & 1 ? level : 0);
  palette.EndUpdate();
  palette.PrepareSearch();
}

int Pp01Pixel(const uint8_t* planes, int x, int y) {
  const int at = Pp01Offset(x, y), bit = 7 - (x & 7);
  int c = 0;
  for (int p = 0; p < 3; ++p)
    c |= (planes[p * Pp01PlaneBytes + at] >> bit & 1) << (2 - p);
  return c;
}

void Pp01SetPixel(uint8_t* planes, int x, int y, int color) {
  const int at = Pp01Offset(x, y), bit = 7 - (x & 7);
  for (int p = 0; p < 3; ++p) {
    uint8_t& b = planes[p * Pp01PlaneBytes + at];
    b = uint8_t((b & ~(1 << bit)) | (color >> (2 - p) & 1) << bit);
  }
}
