#pragma once
// Agat-7 and Agat-9 screens: the 16 colours and the fixed palettes of the four-colour and
// mono modes, the video memory layouts, and the video-RAM files with their 4-byte header
// (docs/formats/agat.md has the layouts and the readings chosen).
#include <cstdint>

#include "VePalette.h"
#include "VePaletteType.h"

// The two published readings of the 16 colours: the community's (0-7 normal at D9, 8-15
// bright at FF over a 26 pedestal) and the one with 0-7 at full level and 8-15 at half.
constexpr TVePaletteType AgatCommunityColors = ptV10;
constexpr TVePaletteType AgatFullFirstColors = ptV11;

// Pixels carry a colour number (16 colours), a value of the palette number's four colours, or
// a value of its paper-and-ink pair.
enum TVeAgatKind : uint8_t { agat16Colors, agat4Colors, agatMono };

struct TVeAgatScreen {
  TVeAgatKind Kind;
  int Width, Height;
  int RowBytes;
  // Even lines in the first 8 KB, odd lines 0x2000 further; else lines one after another.
  bool Split;
  int PageBytes() const { return RowBytes * Height; }
  int Bits() const { return Kind == agat16Colors ? 4 : Kind == agat4Colors ? 2 : 1; }
  int Colors() const { return 1 << Bits(); }
};

// Palette numbers of the four-colour and mono modes (soft switches of the Agat-9).
constexpr int AgatPaletteNumbers = 4;

// The 16 colours in colour-number order: bit 0 red, bit 1 green, bit 2 blue, bit 3 the level.
void AgatMakeColors(TVePalette256& palette, TVePaletteType type);
// The colours pixel values show: the 16 colours, or palette number n's four colours or pair.
void AgatMakePalette(TVePalette256& palette, TVeAgatKind kind, int number, TVePaletteType type);

int AgatPixelOffset(const TVeAgatScreen& s, int x, int y);
int AgatGetPixel(const TVeAgatScreen& s, const uint8_t* page, int x, int y);
void AgatSetPixel(const TVeAgatScreen& s, uint8_t* page, int x, int y, int value);

// A video-RAM file: load address and length (little-endian words), the pages, then the rest
// of the last 256-byte disk sector, which the community's tail convention fills: the last 4
// data bytes again, "VR" (D6 D2), a mode byte, the palette number, colour tables, a font
// name and a comment. Files are taken with or without that tail.
constexpr int AgatHeaderBytes = 4;
constexpr int AgatTailBytes = 252;
constexpr uint16_t AgatLoadAddress = 0x4000;
constexpr int AgatFileBytes(int dataBytes) {
  return AgatHeaderBytes + dataBytes + AgatTailBytes;
}
// Fills the header and the tail around data already in place.
void AgatFinishFile(uint8_t* file, int dataBytes, int paletteNumber);
// The palette number a tail holds; 0 without one.
int AgatTailPalette(const uint8_t* tail, int tailBytes);
