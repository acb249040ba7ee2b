#include "VePlatformDvkKcgd.h"

const TVePalette256& KcgdPalette() {
  static const TVePalette256 palette = [] {
    TVePalette256 p;
    for (int v = 0; v < 64; ++v)
      p.AddRGB(uint8_t((v & 3) * 0x55), uint8_t((v >> 2 & 3) * 0x55), uint8_t((v >> 4 & 3) * 0x55));
    p.PrepareSearch();
    return p;
  }();
  return palette;
}

namespace {

// Byte and shift of pixel x of a line: pixels 0-1 of a word are in its high (second) byte.
int ByteOf(int x) {
  return (x >> 2) * 2 + ((x & 2) ? 0 : 1);
}
int ShiftOf(int x) {
  return x & 1 ? 0 : 4;
}

} // namespace

int KcgdPixel(const uint8_t* lines, int x, int y) {
  return lines[y * KcgdLineBytes + ByteOf(x)] >> ShiftOf(x) & 15;
}

void KcgdSetPixel(uint8_t* lines, int x, int y, int value) {
  uint8_t& b = lines[y * KcgdLineBytes + ByteOf(x)];
  const int s = ShiftOf(x);
  b = uint8_t((b & ~(15 << s)) | (value & 15) << s);
}
