#include "VePlatformSpetsialist.h"

const TVePalette256& SpecialistMonoPalette() {
  static const TVePalette256 p = [] {
    TVePalette256 m;
    m.AddRGB(0, 0, 0);
    m.AddRGB(255, 255, 255);
    m.PrepareSearch();
    return m;
  }();
  return p;
}

void SpecialistMakeMxPalette(TVePalette256& palette, TVePaletteType type) {
  palette.BeginUpdate();
  palette.Clear();
  for (int c = 0; c < 16; ++c) {
    const bool bright = c & 8;
    uint8_t ch[3];
    for (int k = 0; k < 3; ++k) {
      const bool on = c >> (2 - k) & 1;
      if (type == SpecialistMxCgaLevels)
        ch[k] = uint8_t((on ? 0xAA : 0) + (bright ? 0x55 : 0));
      else
        ch[k] = on ? (bright ? 0xFF : 0xC0) : 0;
    }
    if (type == SpecialistMxCgaLevels && c == 6) ch[1] = 0x55; // brown, not dark yellow
    if (type != SpecialistMxCgaLevels && c == 8) ch[0] = ch[1] = ch[2] = 0x80;
    palette.AddRGB(ch[0], ch[1], ch[2]);
  }
  palette.EndUpdate();
  palette.PrepareSearch();
}

TVeSpecialistScreen::TVeSpecialistScreen(uint8_t* video, uint8_t* colors)
    : TVeCellScreen(SpecialistWidth, video, SpecialistHeight), FColors(colors) {}

int TVeSpecialistScreen::GetPixel(int x, int y) const {
  x = StoredX(x);
  return Data()[SpecialistOffset(x, y)] >> (7 - (x & 7)) & 1;
}

void TVeSpecialistScreen::SetPixel(int x, int y, int value) {
  x = StoredX(x);
  uint8_t& b = Data()[SpecialistOffset(x, y)];
  const uint8_t bit = uint8_t(0x80 >> (x & 7));
  b = value & 1 ? uint8_t(b | bit) : uint8_t(b & ~bit);
}

int TVeSpecialistScreen::GetAttr(int cellX, int cellY) const {
  if (Reversed) cellX = 47 - cellX;
  return FColors ? FColors[SpecialistOffset(cellX * 8, cellY)] : 0x70;
}

void TVeSpecialistScreen::SetAttr(int cellX, int cellY, int attr) {
  if (Reversed) cellX = 47 - cellX;
  if (FColors) FColors[SpecialistOffset(cellX * 8, cellY)] = uint8_t(attr);
}
