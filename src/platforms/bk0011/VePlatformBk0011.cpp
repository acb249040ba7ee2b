#include "VePlatformBk0011.h"

namespace {

// Values 1-3 of each palette as red level (0-3), green, blue.
struct TLevels {
  uint8_t R, G, B;
};
constexpr TLevels B{0, 0, 1}, G{0, 1, 0}, C{0, 1, 1}, R{3, 0, 0}, M{3, 0, 1}, Y{3, 1, 0},
    W{3, 1, 1};
constexpr TLevels Tables[Bk0011Palettes][3] = {
    {B, G, R},
    {Y, M, R},
    {C, B, M},
    {G, C, Y},
    {M, C, W},
    {W, W, W},
    {{2, 0, 0}, {1, 0, 0}, R},
    {{2, 1, 0}, {1, 1, 0}, Y},
    {{2, 0, 1}, {1, 0, 1}, M},
    {{1, 1, 0}, {1, 0, 1}, {1, 0, 0}},
    {{2, 1, 0}, {2, 0, 1}, {2, 0, 0}},
    {C, Y, R},
    {R, G, C},
    {C, Y, W},
    {Y, G, W},
    {C, G, W},
};
constexpr const char* Names[Bk0011Palettes] = {
    "0 (blue, green, red)",
    "1 (yellow, magenta, red)",
    "2 (cyan, blue, magenta)",
    "3 (green, cyan, yellow)",
    "4 (magenta, cyan, white)",
    "5 (white, white, white)",
    "6 (dark red, red-brown, red)",
    "7 (salad, light green, yellow)",
    "8 (violet, violet-blue, magenta)",
    "9 (light green, violet-blue, red-brown)",
    "10 (salad, violet, dark red)",
    "11 (cyan, yellow, red)",
    "12 (red, green, cyan)",
    "13 (cyan, yellow, white)",
    "14 (yellow, green, white)",
    "15 (cyan, green, white)",
};

} // namespace

void Bk0011MakePalette(TVePalette256& palette, int number, TVePaletteType levels) {
  const uint8_t red[4] = {0, uint8_t(levels == Bk0011EmulatorLevels ? 0x8E : 0x55),
                          uint8_t(levels == Bk0011EmulatorLevels ? 0xC0 : 0xAA), 0xFF};
  palette.BeginUpdate();
  palette.Clear();
  palette.AddRGB(0, 0, 0);
  for (const TLevels& c : Tables[number & 15])
    palette.AddRGB(red[c.R], c.G ? 0xFF : 0, c.B ? 0xFF : 0);
  palette.EndUpdate();
}

const char* Bk0011PaletteName(int number) {
  return Names[number & 15];
}

void Bk0011WriteBinHeader(uint8_t* to, int address, int length) {
  to[0] = uint8_t(address);
  to[1] = uint8_t(address >> 8);
  to[2] = uint8_t(length);
  to[3] = uint8_t(length >> 8);
}

bool Bk0011BinHeaderIs(const uint8_t* data, int address, int length) {
  uint8_t expected[Bk0011BinHeader];
  Bk0011WriteBinHeader(expected, address, length);
  for (int i = 0; i < Bk0011BinHeader; ++i)
    if (data[i] != expected[i]) return false;
  return true;
}

int Bk0011Pixel(const uint8_t* screen, int x, int y, bool color) {
  if (!color) return screen[y * Bk0011RowBytes + x / 8] >> (x & 7) & 1;
  return screen[y * Bk0011RowBytes + x / 4] >> (2 * (x & 3)) & 3;
}

void Bk0011SetPixel(uint8_t* screen, int x, int y, int value, bool color) {
  const int bits = color ? 2 : 1, shift = color ? 2 * (x & 3) : (x & 7);
  uint8_t& b = screen[y * Bk0011RowBytes + x / (8 / bits)];
  const int mask = ((1 << bits) - 1) << shift;
  b = uint8_t((b & ~mask) | (value << shift & mask));
}
