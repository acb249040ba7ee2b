#pragma once
// Okean-240 screens: one 16 KB page stored by byte column, read as 256 x 256 in four colours
// of a palette number or 512 x 256 in one colour on black (docs/formats/okean240.md has the
// layouts).
#include <cstdint>

#include "VeCellImage.h"
#include "VePalette.h"
#include "VePaletteType.h"

constexpr int Okean240PageBytes = 16384;
// The file: the page, then the control byte (port B of the third 8255): bits 2-0 the palette
// number, bits 5-3 the border, bit 6 set for 256 x 256 in colour, bit 7 the page shown.
constexpr int Okean240FileBytes = Okean240PageBytes + 1;
constexpr uint8_t Okean240ColorBit = 0x40;
// Palette numbers 0-6 show colours; 7 shows nothing.
constexpr int Okean240Palettes = 7;

// The two readings of the palette wiring: the second swaps the roles of red and green.
constexpr TVePaletteType Okean240Wiring1 = ptV10;
constexpr TVePaletteType Okean240Wiring2 = ptV11;
// Colours are numbered bit 2 red, bit 1 green, bit 0 blue, as the first wiring reads them.
// The colour of pixel value v under palette number n, in either mode.
int Okean240Color(int number, int value, bool color);
// The eight colours in colour-number order, full level.
void Okean240MakeColors(TVePalette256& palette, TVePaletteType wiring);
// The colours of palette number n (four in colour, paper and ink in 512 x 256).
void Okean240MakePalette(TVePalette256& palette, int number, bool color, TVePaletteType wiring);

// 256 x 256: 32 columns of 512 bytes, the low bits of a column's line y at 512 c + y and the
// high bits at 512 c + 256 + y; 512 x 256: 64 columns of 256 bytes. Bit 0 is leftmost.
int Okean240Pixel(const uint8_t* page, int x, int y, bool color);
void Okean240SetPixel(uint8_t* page, int x, int y, int value, bool color);

// The 512 x 256 page as one cell whose attribute is the palette number.
class TVeOkean240MonoScreen : public TVeCellScreen {
public:
  explicit TVeOkean240MonoScreen(uint8_t* data);
  int GetPixel(int x, int y) const override;
  void SetPixel(int x, int y, int value) override;
  int GetAttr(int cellX, int cellY) const override;
  void SetAttr(int cellX, int cellY, int attr) override;
};
