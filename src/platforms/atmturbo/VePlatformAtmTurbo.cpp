#include "VePlatformAtmTurbo.h"

#include "profi/VePlatformProfi.h"

namespace {

constexpr uint8_t Level(int l) {
  return uint8_t(l * 0x55);
}

} // namespace

const TVePalette256& AtmColors() {
  static const TVePalette256 p = [] {
    TVePalette256 m;
    for (int n = 0; n < 64; ++n)
      m.AddRGB(Level(n >> 2 & 3), Level(n >> 4 & 3), Level(n & 3));
    m.PrepareSearch();
    return m;
  }();
  return p;
}

uint8_t AtmPortValue(int n) {
  const int b = n & 3, r = n >> 2 & 3, g = n >> 4 & 3;
  const int bits =
      (b >> 1) | (r >> 1) << 1 | (g >> 1) << 4 | (b & 1) << 5 | (r & 1) << 6 | (g & 1) << 7;
  return uint8_t(~bits);
}

int AtmColorOfPort(uint8_t port) {
  const int v = ~port & 0xFF;
  const int b = (v & 1) << 1 | (v >> 5 & 1), r = (v >> 1 & 1) << 1 | (v >> 6 & 1),
            g = (v >> 4 & 1) << 1 | (v >> 7 & 1);
  return g << 4 | r << 2 | b;
}

void AtmMakeResetPalette(TVePalette256& palette) {
  palette.BeginUpdate();
  palette.Clear();
  for (int c = 0; c < AtmEntries; ++c) {
    const uint8_t on = c & 8 ? 0xFF : 0xAA;
    palette.AddRGB(c & 2 ? on : 0, c & 4 ? on : 0, c & 1 ? on : 0);
  }
  palette.EndUpdate();
  palette.PrepareSearch();
}

void AtmReadPalette(const uint8_t* ports, TVePalette256& palette) {
  const TVePalette256& all = AtmColors();
  palette.BeginUpdate();
  palette.Clear();
  for (int i = 0; i < AtmEntries; ++i) {
    const uint32_t q = all.GetRGBQuad(AtmColorOfPort(ports[i]));
    palette.AddRGB(uint8_t(q >> 16), uint8_t(q >> 8), uint8_t(q));
  }
  palette.EndUpdate();
  palette.PrepareSearch();
}

std::vector<TVeCellPair> AtmHiResPairs(int count) {
  std::vector<TVeCellPair> pairs;
  for (int c = 0; c < count; ++c)
    pairs.push_back({c, c, ProfiAttr(c, c)});
  for (int paper = 0; paper < count; ++paper)
    for (int ink = paper + 1; ink < count; ++ink)
      pairs.push_back({paper, ink, ProfiAttr(ink, paper)});
  return pairs;
}

TVeAtmHiResScreen::TVeAtmHiResScreen(uint8_t* data)
    : TVeCellScreen(AtmHiResWidth, data, AtmHeight) {}

int TVeAtmHiResScreen::GetPixel(int x, int y) const {
  x = StoredX(x);
  return Data()[AtmHiResOffset(x >> 3, y)] >> (7 - (x & 7)) & 1;
}

void TVeAtmHiResScreen::SetPixel(int x, int y, int value) {
  x = StoredX(x);
  uint8_t& b = Data()[AtmHiResOffset(x >> 3, y)];
  const uint8_t bit = uint8_t(0x80 >> (x & 7));
  b = value & 1 ? uint8_t(b | bit) : uint8_t(b & ~bit);
}

int TVeAtmHiResScreen::GetAttr(int cellX, int cellY) const {
  if (Reversed) cellX = AtmHiResWidth / 8 - 1 - cellX;
  return Data()[AtmHiResAttrOffset(cellX, cellY)];
}

void TVeAtmHiResScreen::SetAttr(int cellX, int cellY, int attr) {
  if (Reversed) cellX = AtmHiResWidth / 8 - 1 - cellX;
  Data()[AtmHiResAttrOffset(cellX, cellY)] = uint8_t(attr);
}
