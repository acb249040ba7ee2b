#include "VePlatformIrisha.h"

namespace {
constexpr int Inks[8] = {7, 1, 2, 3, 4, 5, 6, 7};
constexpr int Papers[4] = {0, 1, 2, 5};
} // namespace

const TVePalette256& IrishaColors() {
  static const TVePalette256 palette = [] {
    TVePalette256 p;
    for (int c = 0; c < 8; ++c)
      p.AddRGB(c & 4 ? 0xFF : 0, c & 2 ? 0xFF : 0, c & 1 ? 0xFF : 0);
    p.PrepareSearch();
    return p;
  }();
  return palette;
}

int IrishaInk(int ink) {
  return Inks[ink & 7];
}

int IrishaPaper(int paper) {
  return Papers[paper & 3];
}

TVeIrishaScreen::TVeIrishaScreen(uint8_t* data) : TVeCellScreen(320, data, IrishaHeight) {}

int TVeIrishaScreen::GetPixel(int x, int y) const {
  x = StoredX(x);
  return Data()[y * 40 + x / 8] >> (7 - (x & 7)) & 1;
}

void TVeIrishaScreen::SetPixel(int x, int y, int value) {
  x = StoredX(x);
  uint8_t& b = Data()[y * 40 + x / 8];
  const uint8_t bit = uint8_t(0x80 >> (x & 7));
  b = value & 1 ? uint8_t(b | bit) : uint8_t(b & ~bit);
}

int TVeIrishaScreen::GetAttr(int, int) const {
  return Data()[IrishaLowResBytes + 1];
}

void TVeIrishaScreen::SetAttr(int, int, int attr) {
  Data()[IrishaLowResBytes] = IrishaLowResMode;
  Data()[IrishaLowResBytes + 1] = uint8_t(attr);
}
