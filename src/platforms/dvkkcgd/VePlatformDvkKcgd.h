#pragma once
// The DVK KCGD colour graphics controller in its 400 x 240 mode: sixteen palette registers of
// 64 colours and the pixel words of the lines (docs/formats/dvkkcgd.md has the layout).
#include <cstdint>

#include "VePalette.h"

constexpr int KcgdWidth = 400;
constexpr int KcgdHeight = 240;
// A line is 100 words of four 4-bit pixels, the leftmost in bits 15-12; words are stored as
// the PDP-11 keeps them, low byte first.
constexpr int KcgdLineBytes = KcgdWidth / 2;
constexpr int KcgdPixelBytes = KcgdLineBytes * KcgdHeight;
constexpr int KcgdRegisters = 16;
// The file: the lines top to bottom, then the sixteen palette register values.
constexpr int KcgdFileBytes = KcgdPixelBytes + KcgdRegisters;

// The 64 colours in register-value order: R bits 1-0, G bits 3-2, B bits 5-4, level x 55h.
const TVePalette256& KcgdPalette();

int KcgdPixel(const uint8_t* lines, int x, int y);
void KcgdSetPixel(uint8_t* lines, int x, int y, int value);
