#include "VePlatformPmd85.h"

namespace {

TVePalette256 MakePalette(std::initializer_list<uint32_t> quads) {
  TVePalette256 p;
  for (uint32_t q : quads)
    p.AddRGB(uint8_t(q >> 16), uint8_t(q >> 8), uint8_t(q));
  p.PrepareSearch();
  return p;
}

// Indexed by even * 4 + odd; the pairing is symmetric.
constexpr int ColorAceTable[16] = {1, 2, 3, 4, 2, 5, 4, 6, 3, 4, 7, 6, 4, 6, 6, 6};
constexpr int ColorAceAttrs[8] = {0, 0x0, 0x1, 0x2, 0x3, 0x5, 0x7, 0xA};

} // namespace

const TVePalette256& Pmd85Palette() {
  static const TVePalette256 p = MakePalette({0x000000, 0x00FF00, 0xFF0000, 0x0000FF, 0xFF00FF});
  return p;
}

const TVePalette256& Pmd85ColorAcePalette() {
  static const TVePalette256 p =
      MakePalette({0x000000, 0x00FF00, 0xFFFF00, 0x00FFFF, 0xFFFFFF, 0xFF0000, 0xFF00FF, 0x0000FF});
  return p;
}

int Pmd85ColorAceColor(int even, int odd) {
  return ColorAceTable[(even & 3) * 4 + (odd & 3)];
}

int Pmd85ColorAceAttr(int color) {
  return ColorAceAttrs[color & 7];
}

TVePmd85Screen::TVePmd85Screen(uint8_t* data, int cellHeight)
    : TVeCellScreen(Pmd85Width, data, Pmd85Height), FCellHeight(cellHeight) {}

int TVePmd85Screen::GetPixel(int x, int y) const {
  x = StoredX(x);
  return Data()[Pmd85Offset(x, y)] >> (x % 6) & 1;
}

void TVePmd85Screen::SetPixel(int x, int y, int value) {
  x = StoredX(x);
  uint8_t& b = Data()[Pmd85Offset(x, y)];
  const uint8_t bit = uint8_t(1 << (x % 6));
  b = value & 1 ? uint8_t(b | bit) : uint8_t(b & ~bit);
}

int TVePmd85Screen::GetAttr(int cellX, int cellY) const {
  if (Reversed) cellX = Pmd85ShownBytes - 1 - cellX;
  const uint8_t* d = Data() + cellX;
  if (FCellHeight == 1) return d[cellY * Pmd85RowBytes] >> 6;
  return (d[2 * cellY * Pmd85RowBytes] >> 6) << 2 | d[(2 * cellY + 1) * Pmd85RowBytes] >> 6;
}

void TVePmd85Screen::SetAttr(int cellX, int cellY, int attr) {
  if (Reversed) cellX = Pmd85ShownBytes - 1 - cellX;
  const auto put = [this, cellX](int y, int a) {
    uint8_t& b = Data()[y * Pmd85RowBytes + cellX];
    b = uint8_t((b & 0x3F) | (a & 3) << 6);
  };
  if (FCellHeight == 1) {
    put(cellY, attr);
  } else {
    put(2 * cellY, attr >> 2);
    put(2 * cellY + 1, attr);
  }
}

int Pmd85PixelColor(const uint8_t* screen, int x, int y, bool colorAce) {
  const uint8_t b = screen[Pmd85Offset(x, y)];
  if (!(b >> (x % 6) & 1)) return 0;
  if (!colorAce) return 1 + (b >> 6);
  const int even = y & ~1;
  return Pmd85ColorAceColor(screen[Pmd85Offset(x, even)] >> 6,
                            screen[Pmd85Offset(x, even + 1)] >> 6);
}
