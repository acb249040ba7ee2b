#include "VePlatformZxSpectrumNext.h"

#include "VePalette.h"

namespace {
constexpr uint8_t Levels[8] = {0, 36, 73, 109, 146, 182, 219, 255};
} // namespace

uint8_t NextLevel(int level) {
  return Levels[level & 7];
}

uint32_t NextColorRGB(int nine) {
  return uint32_t(NextLevel(nine >> 6)) << 16 | uint32_t(NextLevel(nine >> 3)) << 8 |
         NextLevel(nine);
}

int NextNineBitOf(uint32_t rgb) {
  int nine = 0;
  for (int shift = 16; shift >= 0; shift -= 8) {
    int level = 0;
    while (level < 8 && Levels[level] != uint8_t(rgb >> shift))
      ++level;
    if (level == 8) return -1;
    nine = nine << 3 | level;
  }
  return nine;
}

const TVePalette256& NextPictureColors() {
  static const TVePalette256 colors = [] {
    TVePalette256 p;
    for (int nine = 0; nine < 512; ++nine) {
      if (NextIsTransparent(nine)) continue;
      const uint32_t c = NextColorRGB(nine);
      p.AddRGB(uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c));
    }
    return p;
  }();
  return colors;
}

void NextReadPalette(const uint8_t* bytes, TVePalette256& palette) {
  palette.BeginUpdate();
  palette.Clear();
  for (int i = 0; i < NextPaletteEntries; ++i) {
    const uint32_t c = NextColorRGB(NextGetEntry(bytes + 2 * i));
    palette.AddRGB(uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c));
  }
  palette.EndUpdate();
}
