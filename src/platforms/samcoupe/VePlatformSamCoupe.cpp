#include "VePlatformSamCoupe.h"

int SamChannelLevel(int color, int channel) {
  // Bits of the low and high level per channel: red 1 and 5, green 2 and 6, blue 0 and 4.
  static constexpr int Low[3] = {1, 2, 0};
  const int lo = (color >> Low[channel]) & 1, hi = (color >> (Low[channel] + 4)) & 1;
  const int bright = (color >> 3) & 1;
  return 4 * hi + 2 * lo + bright;
}

const TVePalette256& SamPalette() {
  static const TVePalette256 palette = [] {
    TVePalette256 p;
    for (int c = 0; c < SamColorCount; ++c) {
      auto byte = [&](int ch) { return uint8_t((SamChannelLevel(c, ch) * 255 + 3) / 7); };
      p.AddRGB(byte(0), byte(1), byte(2));
    }
    p.PrepareSearch();
    return p;
  }();
  return palette;
}
