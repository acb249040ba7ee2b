#pragma once
// Elektronika MC 0515 screens: 320 x 200 with an ink and paper byte beside every pixel byte,
// and 640 x 200 in the border colour and its complement (docs/formats/mc0515.md has the
// layouts).
#include <cstdint>

#include "VeCellImage.h"
#include "VePalette.h"

constexpr int Mc0515Height = 200;
constexpr int Mc0515RowBytes = 80;
constexpr int Mc0515ScreenBytes = Mc0515RowBytes * Mc0515Height; // 16000
// The 640-pixel file adds the system register C byte: bit 3 set (640 pixels), bits 2-0 the
// border colour that clear pixels show.
constexpr int Mc0515HiResFileBytes = Mc0515ScreenBytes + 1;
constexpr uint8_t Mc0515HiResBit = 0x08;

// Colour numbers: bit 0 blue, bit 1 red, bit 2 green, bit 3 bright. A set channel is 7Fh, or
// FFh when bright, when the others rise to 7Fh (bright black is grey).
const TVePalette256& Mc0515Palette();
// The attribute byte: ink in bits 2-0, paper in bits 5-3, bright (both) in bit 6.
constexpr uint8_t Mc0515Attr(int ink, int paper, bool bright) {
  return uint8_t((ink & 7) | (paper & 7) << 3 | (bright ? 0x40 : 0));
}

// 320 x 200: byte pairs per 8 pixels, pixels (bit 7 leftmost) then attribute.
class TVeMc0515Screen : public TVeCellScreen {
public:
  explicit TVeMc0515Screen(uint8_t* data);
  int GetPixel(int x, int y) const override;
  void SetPixel(int x, int y, int value) override;
  int GetAttr(int cellX, int cellY) const override;
  void SetAttr(int cellX, int cellY, int attr) override;
};

// 640 x 200: 80 bytes a line, bit 7 leftmost; the one attribute is the border colour.
class TVeMc0515HiResScreen : public TVeCellScreen {
public:
  explicit TVeMc0515HiResScreen(uint8_t* data);
  int GetPixel(int x, int y) const override;
  void SetPixel(int x, int y, int value) override;
  int GetAttr(int cellX, int cellY) const override;
  void SetAttr(int cellX, int cellY, int attr) override;
};
