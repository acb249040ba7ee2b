#include "VePlatformOkean240.h"

#include <utility>

namespace {

// Colours as bit 2 red, bit 1 green, bit 0 blue.
enum { Black = 0, Blue = 1, Green = 2, Cyan = 3, Red = 4, Magenta = 5, Yellow = 6, White = 7 };

constexpr int ColorPalettes[8][4] = {{Black, Green, Blue, Red},    {White, Green, Blue, Red},
                                     {Green, Blue, Magenta, Cyan}, {Black, Green, Yellow, White},
                                     {Black, Green, Cyan, Red},    {Black, Red, Blue, Cyan},
                                     {Blue, White, Cyan, Red},     {Black, Black, Black, Black}};
// Paper and ink.
constexpr int MonoPalettes[8][2] = {{Black, White}, {Black, Red},  {Black, Green},
                                    {Black, Blue},  {Black, Cyan}, {Black, Yellow},
                                    {Blue, Black},  {Black, Black}};

void Add(TVePalette256& p, int color, TVePaletteType wiring) {
  int r = color >> 2 & 1, g = color >> 1 & 1;
  if (wiring == Okean240Wiring2) std::swap(r, g);
  p.AddRGB(r ? 0xFF : 0, g ? 0xFF : 0, color & 1 ? 0xFF : 0);
}

} // namespace

int Okean240Color(int number, int value, bool color) {
  return color ? ColorPalettes[number & 7][value & 3] : MonoPalettes[number & 7][value & 1];
}

void Okean240MakeColors(TVePalette256& palette, TVePaletteType wiring) {
  palette.BeginUpdate();
  palette.Clear();
  for (int c = 0; c < 8; ++c)
    Add(palette, c, wiring);
  palette.EndUpdate();
}

void Okean240MakePalette(TVePalette256& palette, int number, bool color, TVePaletteType wiring) {
  palette.BeginUpdate();
  palette.Clear();
  for (int v = 0; v < (color ? 4 : 2); ++v)
    Add(palette, Okean240Color(number, v, color), wiring);
  palette.EndUpdate();
}
int Okean240Pixel(const uint8_t* page, int x, int y, bool color) {
  const int bit = x & 7;
  if (!color) return page[(x >> 3) * 256 + y] >> bit & 1;
  const uint8_t* column = page + (x >> 3) * 512 + y;
  return (column[0] >> bit & 1) | (column[256] >> bit & 1) << 1;
}

void Okean240SetPixel(uint8_t* page, int x, int y, int value, bool color) {
  const int bit = x & 7;
  const auto put = [bit](uint8_t& b, int v) { b = uint8_t((b & ~(1 << bit)) | (v & 1) << bit); };
  if (!color) {
    put(page[(x >> 3) * 256 + y], value);
    return;
  }
  uint8_t* column = page + (x >> 3) * 512 + y;
  put(column[0], value);
  put(column[256], value >> 1);
}

TVeOkean240MonoScreen::TVeOkean240MonoScreen(uint8_t* data) : TVeCellScreen(512, data, 256) {}

int TVeOkean240MonoScreen::GetPixel(int x, int y) const {
  return Okean240Pixel(Data(), StoredX(x), y, false);
}

void TVeOkean240MonoScreen::SetPixel(int x, int y, int value) {
  Okean240SetPixel(Data(), StoredX(x), y, value, false);
}

int TVeOkean240MonoScreen::GetAttr(int, int) const {
  return Data()[Okean240PageBytes] & 7;
}

void TVeOkean240MonoScreen::SetAttr(int, int, int attr) {
  Data()[Okean240PageBytes] = uint8_t(attr & 7);
}
