#pragma once
// PMD 85 screens: 288 x 256 pixels, six to a byte beside a two-bit attribute, and the colours
// the attributes give on the RGB output and with the ColorAce modification
// (docs/formats/pmd85.md has the layout).
#include <cstdint>

#include "VeCellImage.h"
#include "VePalette.h"

constexpr int Pmd85Width = 288;
constexpr int Pmd85Height = 256;
// Video memory C000h-FFFFh: 64 bytes a line, of which the first 48 are shown.
constexpr int Pmd85LoadAddress = 0xC000;
constexpr int Pmd85RowBytes = 64;
constexpr int Pmd85ShownBytes = 48;
constexpr int Pmd85ScreenBytes = Pmd85RowBytes * Pmd85Height; // 16384
// Bits 0-5 are six pixels, bit 0 leftmost; bits 6-7 the attribute.
constexpr int Pmd85Offset(int x, int y) {
  return y * Pmd85RowBytes + x / 6;
}

// Entry 0 is black (a clear pixel); entry 1 + a the colour of attribute a.
const TVePalette256& Pmd85Palette();
// Entry 0 black, then green, yellow, cyan, white, red, magenta, blue.
const TVePalette256& Pmd85ColorAcePalette();
// The ColorAce entry (1-7) a pair of attributes of an even line and the next line shows.
int Pmd85ColorAceColor(int even, int odd);
// The attribute pair (even << 2 | odd) written for ColorAce entry 1-7.
int Pmd85ColorAceAttr(int color);

// The screen over caller-owned Pmd85ScreenBytes. With a cell height of 2 (ColorAce) the
// attribute of cell row r is the pair even << 2 | odd of lines 2r and 2r + 1.
class TVePmd85Screen : public TVeCellScreen {
public:
  TVePmd85Screen(uint8_t* data, int cellHeight);
  int GetPixel(int x, int y) const override;
  void SetPixel(int x, int y, int value) override;
  int GetAttr(int cellX, int cellY) const override;
  void SetAttr(int cellX, int cellY, int attr) override;

private:
  int FCellHeight;
};

// The palette entry of every pixel of a screen, as the standard machine or ColorAce shows it.
int Pmd85PixelColor(const uint8_t* screen, int x, int y, bool colorAce);
