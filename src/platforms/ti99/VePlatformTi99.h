#pragma once
// TI-99/4A screens: the TMS9918A colours in their published variants and the TI-Artist
// picture, whose two files are the pattern and colour tables of the bitmap mode.
#include <cstdint>

#include "VePalette.h"
#include "VePaletteType.h"

// The palette types offered: ptTI99Calculated (values derived from the chip's published
// luminance and colour-difference levels) and ptTI99MSX (the table the MSX engines use).
bool Ti99IsPaletteType(TVePaletteType type);
// 16 entries; 0 is transparent (shown black) and never used in a cell, 1 is black. Any type
// other than ptTI99MSX gives the calculated colours.
void Ti99MakePalette(TVePalette256& palette, TVePaletteType type);

// TI-Artist: each file holds one table of the bitmap mode with the name table 0-255 three
// times, so pixel (x, y) is byte (y div 8) * 256 + (x div 8) * 8 + y mod 8, bit 7 - x mod 8;
// a colour byte has the foreground (set bits) in the high nibble.
constexpr int Ti99TableBytes = 6144;
