#pragma once
// BK-0011 screens: 16 KB of 256 lines of 64 bytes, read as 256 x 256 in two bits a pixel with
// one of 16 fixed palettes, or 512 x 256 in black and white; the files are BK ".bin" files
// (docs/formats/bk0011.md has the layouts).
#include <cstdint>

#include "VeCellImage.h"
#include "VePalette.h"
#include "VePaletteType.h"

constexpr int Bk0011ScreenBytes = 16384;
constexpr int Bk0011RowBytes = 64;
// A ".bin": load address and length (little-endian words), then the bytes.
constexpr int Bk0011BinHeader = 4;
constexpr int Bk0011ScreenAddress = 0x4000; // 040000 octal
constexpr int Bk0011FileBytes = Bk0011BinHeader + Bk0011ScreenBytes;
// The palette register 0177662 as a ".bin" of its one word: bits 11-8 the palette, bit 14
// clear (the frame interrupt stays on), bit 15 clear (the first screen buffer shown).
constexpr int Bk0011RegisterAddress = 0xFFB2; // 0177662 octal
constexpr int Bk0011RegisterFileBytes = Bk0011BinHeader + 2;
constexpr int Bk0011Palettes = 16;

// The two readings of the red levels between off and full: 55h and AAh, or 8Eh and C0h.
constexpr TVePaletteType Bk0011LinearLevels = ptColored;
constexpr TVePaletteType Bk0011EmulatorLevels = ptColoredEMU;
// The four colours of palette n (value 0 black).
void Bk0011MakePalette(TVePalette256& palette, int number, TVePaletteType levels);
// "Palette n" with its colours named, for the loaders' choice.
const char* Bk0011PaletteName(int number);

// A ".bin" header for a block of memory.
void Bk0011WriteBinHeader(uint8_t* to, int address, int length);
bool Bk0011BinHeaderIs(const uint8_t* data, int address, int length);

// 256 x 256: four pixels a byte, the leftmost in bits 1-0; 512 x 256: bit 0 leftmost.
int Bk0011Pixel(const uint8_t* screen, int x, int y, bool color);
void Bk0011SetPixel(uint8_t* screen, int x, int y, int value, bool color);
