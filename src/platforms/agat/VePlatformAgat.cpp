#include "VePlatformAgat.h"

#include <cstring>

namespace {

enum { Black = 0, Red = 1, Green = 2, Blue = 4, White = 15 };

// Values 0-3 (mono: paper and ink) of each palette number, as colour numbers of the
// community reading.
constexpr int FourColorPalettes[AgatPaletteNumbers][4] = {{Black, Red, Green, Blue},
                                                          {White, Red, Green, Blue},
                                                          {Black, Black, Green, Blue},
                                                          {Black, Red, Black, Blue}};
constexpr int MonoPalettes[AgatPaletteNumbers][2] = {
    {Black, White}, {White, Black}, {Black, Green}, {Green, Black}};

uint32_t CommunityColor(int c) {
  const bool bright = c & 8;
  const auto level = [&](int bit) { return c & bit ? (bright ? 0xFF : 0xD9) : bright ? 0x26 : 0; };
  return uint32_t(level(1) << 16 | level(2) << 8 | level(4));
}

// Full level for 0-7, half for 8-15.
uint32_t FullFirstColor(int c) {
  const int on = c & 8 ? 0x7F : 0xFF;
  return uint32_t((c & 1 ? on : 0) << 16 | (c & 2 ? on : 0) << 8 | (c & 4 ? on : 0));
}

void AddRGB(TVePalette256& p, uint32_t rgb) {
  p.AddRGB(uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb));
}

// A colour of the four-colour and mono tables: those tables name black, white and the three
// primaries, which the full-first reading shows at full level (its colour 15 is grey).
uint32_t TableColor(int c, TVePaletteType type) {
  if (type != AgatFullFirstColors) return CommunityColor(c);
  return c == White ? 0xFFFFFF : FullFirstColor(c);
}

} // namespace

void AgatMakeColors(TVePalette256& palette, TVePaletteType type) {
  palette.BeginUpdate();
  palette.Clear();
  for (int c = 0; c < 16; ++c)
    AddRGB(palette, type == AgatFullFirstColors ? FullFirstColor(c) : CommunityColor(c));
  palette.EndUpdate();
}

void AgatMakePalette(TVePalette256& palette, TVeAgatKind kind, int number, TVePaletteType type) {
  if (kind == agat16Colors) {
    AgatMakeColors(palette, type);
    return;
  }
  number &= AgatPaletteNumbers - 1;
  palette.BeginUpdate();
  palette.Clear();
  if (kind == agat4Colors)
    for (int c : FourColorPalettes[number])
      AddRGB(palette, TableColor(c, type));
  else
    for (int c : MonoPalettes[number])
      AddRGB(palette, TableColor(c, type));
  palette.EndUpdate();
}

int AgatPixelOffset(const TVeAgatScreen& s, int x, int y) {
  const int line = s.Split ? (y >> 1) * s.RowBytes + (y & 1) * 0x2000 : y * s.RowBytes;
  return line + x * s.Bits() / 8;
}

// The leftmost pixel of a byte is in its top bits.
int AgatGetPixel(const TVeAgatScreen& s, const uint8_t* page, int x, int y) {
  const int bits = s.Bits();
  const int shift = 8 - bits * (x % (8 / bits) + 1);
  return page[AgatPixelOffset(s, x, y)] >> shift & ((1 << bits) - 1);
}

void AgatSetPixel(const TVeAgatScreen& s, uint8_t* page, int x, int y, int value) {
  const int bits = s.Bits();
  const int shift = 8 - bits * (x % (8 / bits) + 1);
  const int mask = ((1 << bits) - 1) << shift;
  uint8_t& b = page[AgatPixelOffset(s, x, y)];
  b = uint8_t((b & ~mask) | (value << shift & mask));
}

void AgatFinishFile(uint8_t* file, int dataBytes, int paletteNumber) {
  file[0] = uint8_t(AgatLoadAddress);
  file[1] = uint8_t(AgatLoadAddress >> 8);
  file[2] = uint8_t(dataBytes);
  file[3] = uint8_t(dataBytes >> 8);
  uint8_t* tail = file + AgatHeaderBytes + dataBytes;
  std::memset(tail, 0, AgatTailBytes);
  // The sector's first 4 bytes are the data's last 4, so the tail proper starts at 4.
  tail[0] = 0xD6;
  tail[1] = 0xD2;
  tail[3] = uint8_t(paletteNumber);
}

int AgatTailPalette(const uint8_t* tail, int tailBytes) {
  if (!tail || tailBytes < 4 || tail[0] != 0xD6 || tail[1] != 0xD2) return 0;
  return tail[3] & (AgatPaletteNumbers - 1);
}
