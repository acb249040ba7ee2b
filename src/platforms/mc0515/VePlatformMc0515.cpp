#include "VePlatformMc0515.h"

namespace {

void SetBit(uint8_t& b, int bit, int value) {
  b = value & 1 ? uint8_t(b | 1 << bit) : uint8_t(b & ~(1 << bit));
}

} // namespace

const TVePalette256& Mc0515Palette() {
  static const TVePalette256 palette = [] {
    TVePalette256 p;
    for (int c = 0; c < 16; ++c) {
      const bool bright = c & 8;
      const auto level = [&](int bit) {
        return uint8_t(c >> bit & 1 ? (bright ? 0xFF : 0x7F) : (bright ? 0x7F : 0));
      };
      p.AddRGB(level(1), level(2), level(0));
    }
    p.PrepareSearch();
    return p;
  }();
  return palette;
}

TVeMc0515Screen::TVeMc0515Screen(uint8_t* data) : TVeCellScreen(320, data, Mc0515Height) {}

int TVeMc0515Screen::GetPixel(int x, int y) const {
  x = StoredX(x);
  return Data()[y * Mc0515RowBytes + 2 * (x / 8)] >> (7 - (x & 7)) & 1;
}

void TVeMc0515Screen::SetPixel(int x, int y, int value) {
  x = StoredX(x);
  SetBit(Data()[y * Mc0515RowBytes + 2 * (x / 8)], 7 - (x & 7), value);
}

int TVeMc0515Screen::GetAttr(int cellX, int cellY) const {
  if (Reversed) cellX = 39 - cellX;
  return Data()[cellY * Mc0515RowBytes + 2 * cellX + 1];
}

void TVeMc0515Screen::SetAttr(int cellX, int cellY, int attr) {
  if (Reversed) cellX = 39 - cellX;
  Data()[cellY * Mc0515RowBytes + 2 * cellX + 1] = uint8_t(attr);
}

TVeMc0515HiResScreen::TVeMc0515HiResScreen(uint8_t* data)
    : TVeCellScreen(640, data, Mc0515Height) {}

int TVeMc0515HiResScreen::GetPixel(int x, int y) const {
  x = StoredX(x);
  return Data()[y * Mc0515RowBytes + x / 8] >> (7 - (x & 7)) & 1;
}

void TVeMc0515HiResScreen::SetPixel(int x, int y, int value) {
  x = StoredX(x);
  SetBit(Data()[y * Mc0515RowBytes + x / 8], 7 - (x & 7), value);
}

int TVeMc0515HiResScreen::GetAttr(int, int) const {
  return Data()[Mc0515ScreenBytes] & 7;
}

void TVeMc0515HiResScreen::SetAttr(int, int, int attr) {
  Data()[Mc0515ScreenBytes] = uint8_t(Mc0515HiResBit | (attr & 7));
}
