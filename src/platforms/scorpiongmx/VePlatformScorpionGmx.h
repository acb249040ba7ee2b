#pragma once
// The Scorpion's GMX screen: 640 x 200 pixels, 80 bytes a line in order, and a Spectrum
// attribute byte per pixel byte; docs/formats/scorpiongmx.md has the layout.
#include <cstdint>
#include <vector>

#include "VeCellImage.h"
#include "VePairCellImage.h"

constexpr int GmxWidth = 640;
constexpr int GmxHeight = 200;
constexpr int GmxRowBytes = GmxWidth / 8;
constexpr int GmxPixelBytes = GmxRowBytes * GmxHeight; // 16000
// The file: the pixel bytes, then the attribute bytes in the same order.
constexpr int GmxFileBytes = 2 * GmxPixelBytes;
// 160 x 200: each pixel is half a byte, all set (ink) or all clear (paper).
constexpr int GmxFatWidth = GmxWidth / 4;

// The Spectrum's pairs: ink and paper of one brightness, attribute bit 6 the bright, no flash.
std::vector<TVeCellPair> GmxPairs();

// The screen over caller-owned GmxFileBytes. Fat: 160 pixels a line, each of four bits, so a
// byte holds two and a cell of two pixels is one attribute.
class TVeScorpionGmxScreen : public TVeCellScreen {
public:
  TVeScorpionGmxScreen(uint8_t* data, bool fat);
  int GetPixel(int x, int y) const override;
  void SetPixel(int x, int y, int value) override;
  int GetAttr(int cellX, int cellY) const override;
  void SetAttr(int cellX, int cellY, int attr) override;

private:
  bool FFat;
};

// Whether every pixel byte is 00, 0F, F0 or FF: a 160 x 200 picture.
bool GmxIsFat(const uint8_t* data);
