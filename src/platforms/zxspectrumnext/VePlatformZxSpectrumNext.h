#pragma once
// The ZX Spectrum Next's Layer 2 at 256 x 192: a byte per pixel, rows of 256 bytes, each
// byte an index into a palette of 256 nine-bit colours (three bits per channel). A pixel
// whose colour's top eight bits (RRRGGGBB) equal the global transparency value is not shown.
#include <cstdint>

class TVePalette256;

constexpr int NextWidth = 256;
constexpr int NextHeight = 192;
constexpr int NextPixelBytes = NextWidth * NextHeight;
constexpr int NextPaletteEntries = 256;
constexpr int NextPaletteBytes = 2 * NextPaletteEntries;
// The transparency register's value after reset.
constexpr uint8_t NextTransparent = 0xE3;

// 8-bit level of a 3-bit channel.
uint8_t NextLevel(int level);
// RGB of a nine-bit colour RRRGGGBBB.
uint32_t NextColorRGB(int nine);
// A nine-bit colour of the given RGB, -1 when it is none of the 512.
int NextNineBitOf(uint32_t rgb);
// True when the colour is not shown (with the transparency register at its reset value).
constexpr bool NextIsTransparent(int nine) {
  return (nine >> 1) == NextTransparent;
}
// The 510 colours a picture may show, in nine-bit order.
const TVePalette256& NextPictureColors();

// A palette entry as the palette files hold it: RRRGGGBB, then the ninth bit in bit 0.
inline void NextPutEntry(uint8_t* at, int nine) {
  at[0] = uint8_t(nine >> 1);
  at[1] = uint8_t(nine & 1);
}
inline int NextGetEntry(const uint8_t* at) {
  return at[0] << 1 | (at[1] & 1);
}
// 256 entries of 2 bytes as colours.
void NextReadPalette(const uint8_t* bytes, TVePalette256& palette);
