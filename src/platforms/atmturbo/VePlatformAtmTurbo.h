#pragma once
// ATM Turbo 2 screens: 16 palette entries of 64 colours, the four-bank 320 x 200 "EGA"
// screen and the 640 x 200 screen of 8 x 1 cells; docs/formats/atmturbo.md has the layouts.
#include <cstdint>
#include <vector>

#include "VeCellImage.h"
#include "VePairCellImage.h"
#include "VePalette.h"

constexpr int AtmHeight = 200;
constexpr int AtmEgaWidth = 320;
constexpr int AtmHiResWidth = 640;
constexpr int AtmEntries = 16;
constexpr int AtmHalfBytes = 40 * AtmHeight; // 8000 bytes used of each 8 KB half
// Both files: RAM page 1 (0000h-1F3Fh, 2000h-3F3Fh), page 5 likewise, then the 16 palette
// entries as written to port FF.
constexpr int AtmPaletteAt = 4 * AtmHalfBytes;
constexpr int AtmFileBytes = AtmPaletteAt + AtmEntries;

// Where half `half` (0: +0000h, 1: +2000h) of page 1 (page5 false) or 5 lies in the file.
constexpr int AtmBankAt(bool page5, int half) {
  return (page5 ? 2 : 0) * AtmHalfBytes + half * AtmHalfBytes;
}
// EGA: the byte of pixel x of line y. Byte columns cycle through page 1, page 5, page 1
// +2000h and page 5 +2000h every two pixels.
constexpr int AtmEgaOffset(int x, int y) {
  return AtmBankAt((x >> 1 & 1) != 0, x >> 2 & 1) + y * 40 + (x >> 3);
}
// Hi-res: pixel byte column c (0..79) of line y in page 5 (even columns in the lower half);
// its attribute lies at the same place in page 1.
constexpr int AtmHiResOffset(int c, int y) {
  return AtmBankAt(true, c & 1) + y * 40 + (c >> 1);
}
constexpr int AtmHiResAttrOffset(int c, int y) {
  return AtmBankAt(false, c & 1) + y * 40 + (c >> 1);
}
// EGA byte: the left pixel in bits 2-0 with bit 6 as bright, the right one in bits 5-3 with
// bit 7.
constexpr uint8_t AtmEgaByte(int left, int right) {
  return uint8_t((left & 7) | (left & 8) << 3 | (right & 7) << 3 | (right & 8) << 4);
}

// The 64 colours: number g * 16 + r * 4 + b with two-bit levels 0, 55h, AAh, FFh.
const TVePalette256& AtmColors();
// The port FF value of colour number n (0..63): inverted, blue/red/green high bits in bits
// 0, 1, 4, their low bits in 5, 6, 7; and back (bits 2 and 3 are not read).
uint8_t AtmPortValue(int n);
int AtmColorOfPort(uint8_t port);
// The palette after reset: the Spectrum's 16 colours, normal AAh and bright FFh.
void AtmMakeResetPalette(TVePalette256& palette);
// The palette of a file's 16 port values.
void AtmReadPalette(const uint8_t* ports, TVePalette256& palette);

// Every ink and paper of the first `count` entries once, and each alone.
std::vector<TVeCellPair> AtmHiResPairs(int count);

// The hi-res screen over a caller-owned AtmFileBytes: a set bit is ink.
class TVeAtmHiResScreen : public TVeCellScreen {
public:
  explicit TVeAtmHiResScreen(uint8_t* data);
  int GetPixel(int x, int y) const override;
  void SetPixel(int x, int y, int value) override;
  int GetAttr(int cellX, int cellY) const override;
  void SetAttr(int cellX, int cellY, int attr) override;
};
