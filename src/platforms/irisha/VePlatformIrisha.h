#pragma once
// Irisha screens: 320 x 200 in an ink and a paper set by the colour port, and 640 x 200 in
// black and white, both one bit a pixel from C000h (docs/formats/irisha.md has the layouts).
#include <cstdint>

#include "VeCellImage.h"
#include "VePalette.h"

constexpr int IrishaHeight = 200;
// The files: the screen bytes, then the mode port (D8h) value and, for 320 x 200, the colour
// port (D9h) value.
constexpr int IrishaLowResBytes = 40 * IrishaHeight;  // 8000
constexpr int IrishaHighResBytes = 80 * IrishaHeight; // 16000
constexpr int IrishaLowResFileBytes = IrishaLowResBytes + 2;
constexpr int IrishaHighResFileBytes = IrishaHighResBytes + 1;
// Mode port: bits 3 and 1 show the picture, bit 7 with bit 0 clear gives 640 x 200.
constexpr uint8_t IrishaLowResMode = 0x0A;
constexpr uint8_t IrishaHighResMode = 0x8A;

// The eight colours, bit 2 red, bit 1 green, bit 0 blue, full level.
const TVePalette256& IrishaColors();
// The colour of ink i (colour port bits 2-0; 0 and 7 are both white) and paper p (colour port
// bit 3 + 2 x bit 5).
int IrishaInk(int ink);
int IrishaPaper(int paper);
constexpr uint8_t IrishaColorPort(int ink, int paper) {
  return uint8_t((ink & 7) | (paper & 1) << 3 | (paper >> 1 & 1) << 5);
}
constexpr int IrishaPortInk(uint8_t port) {
  return port & 7;
}
constexpr int IrishaPortPaper(uint8_t port) {
  return (port >> 3 & 1) | (port >> 5 & 1) << 1;
}

// The 320 x 200 screen (40 bytes a line, bit 7 leftmost) as one cell whose attribute is the
// colour port value.
class TVeIrishaScreen : public TVeCellScreen {
public:
  explicit TVeIrishaScreen(uint8_t* data);
  int GetPixel(int x, int y) const override;
  void SetPixel(int x, int y, int value) override;
  int GetAttr(int cellX, int cellY) const override;
  void SetAttr(int cellX, int cellY, int attr) override;
};
