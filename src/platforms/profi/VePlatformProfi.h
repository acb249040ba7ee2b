#pragma once
// Profi's 512 x 240 screen: two 8 KB halves of pixels in the Spectrum's line order (the left
// byte of each 16 pixels in the upper half) and an attribute byte per pixel byte at the same
// offsets of the attribute page; docs/formats/profi.md has the layout.
#include <cstdint>
#include <vector>

#include "VeCellImage.h"
#include "VePairCellImage.h"
#include "zxspectrum/VePlatformZxSpectrum.h"

constexpr int ProfiWidth = 512;
constexpr int ProfiHeight = 240;
constexpr int ProfiPageBytes = 0x4000;
// The file: the pixel page (RAM page 4), then the attribute page (RAM page 56).
constexpr int ProfiFileBytes = 2 * ProfiPageBytes;
// Byte column c (0..63) of line y within a page: even columns at +2000h, odd ones at +0000h,
// each half in the Spectrum's third / character row / pixel line order.
constexpr int ProfiOffset(int y, int c) {
  return ((c & 1) ? 0 : 0x2000) + ZxScreenOffset(y, c >> 1);
}

// An attribute with a bright bit each for ink (bit 6) and paper (bit 7); ink and paper are
// Spectrum colour numbers 0..15. ATM Turbo's hi-res attributes are the same.
constexpr uint8_t ProfiAttr(int ink, int paper) {
  return uint8_t((ink & 7) | (ink & 8) << 3 | (paper & 7) << 3 | (paper & 8) << 4);
}
constexpr int ProfiInk(uint8_t a) {
  return (a & 7) | (a >> 3 & 8);
}
constexpr int ProfiPaper(uint8_t a) {
  return (a >> 3 & 7) | (a >> 4 & 8);
}
// Every ink and paper of 16 colours once (the two orders show the same), and each colour alone.
std::vector<TVeCellPair> ProfiPairs();

// The screen over a caller-owned ProfiFileBytes: a set bit is ink.
class TVeProfiScreen : public TVeCellScreen {
public:
  explicit TVeProfiScreen(uint8_t* data);
  int GetPixel(int x, int y) const override;
  void SetPixel(int x, int y, int value) override;
  int GetAttr(int cellX, int cellY) const override;
  void SetAttr(int cellX, int cellY, int attr) override;
};
