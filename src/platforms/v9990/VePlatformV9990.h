#pragma once
// V9990 bitmap screens in mode B1 (256 x 212): the 15-bit palette colours, the fixed colours
// of BD8, the pixel words of BD16 and the G9B picture file (docs/formats/v9990.md has the
// layouts).
#include <cstdint>
#include <string>

#include "VePalette.h"
#include "msx/VeMsxYJKTables.h"

constexpr int V9990Width = 256;
constexpr int V9990Height = 212;
constexpr int V9990PaletteEntries = 64;

// The 32768 colours of 5-bit levels (index r << 10 | g << 5 | b), as palette entries and BD16
// pixels show them; shared and prepared for concurrent searches.
const TVePaletteRGB& V9990Colors15();
// The 256 colours of BD8 (index r << 5 | g << 2 | b): red and green levels 0, 4, 9, 13, 18,
// 22, 27, 31, blue 0, 11, 21, 31 (over 31).
const TVePaletteRGB& V9990Bd8Colors();

// A BD8 pixel byte is GGGRRRBB.
constexpr uint8_t V9990Bd8Byte(int r, int g, int b) {
  return uint8_t(g << 5 | r << 2 | b);
}
// The BD8 colour index (r << 5 | g << 2 | b) of a pixel byte.
constexpr int V9990Bd8Index(uint8_t byte) {
  return ((byte >> 2) & 7) << 5 | (byte >> 5) << 2 | (byte & 3);
}
// A BD16 pixel word is Ys GGGGG RRRRR BBBBB, stored low byte first; Ys stays 0.
constexpr uint16_t V9990Bd16Word(int r, int g, int b) {
  return uint16_t(g << 10 | r << 5 | b);
}
// The 5-bit levels of a BD16 word as a V9990Colors15 index.
constexpr int V9990Bd16Index(uint16_t word) {
  return ((word >> 5) & 31) << 10 | ((word >> 10) & 31) << 5 | (word & 31);
}

// BYJK and BYUV decode as screen 12 does, except that the third value drops its fraction
// (VeYjkBiasV9990). The range tables of the group search, built on first use.
const TVeYjkRangeTable& V9990YjkTable();
const TVeYjkRangeTable& V9990YuvTable();

// ---- G9B files ------------------------------------------------------------------------------

// "G9B", header size (word, 11), bit depth, colour type, palette colours, width (word),
// height (word), compression, data size (3 bytes); then colours x (R, G, B) and the pixels.
constexpr int G9bHeaderBytes = 16;
constexpr int G9bHeaderSize = 11;
constexpr uint8_t G9bPaletteColors = 0;
constexpr uint8_t G9bFixedColors = 64;
constexpr uint8_t G9bYjk = 128;
constexpr uint8_t G9bYuv = 192;

struct TVeG9bHeader {
  int BitDepth = 0;
  int ColorType = 0;
  int Colors = 0;
  int Width = 0;
  int Height = 0;
  int Compression = 0;
  int32_t DataSize = 0;
  // Where palette and pixels start (read only).
  int32_t PaletteAt = 0;
  int32_t PixelsAt = 0;

  // Bytes of a packed picture of this size and depth.
  int32_t PixelBytes() const { return int32_t(Width) * Height * BitDepth / 8; }
};

// Header and palette (first `Colors` colours, level bytes R, G, B) of a picture; returns
// where the pixels start.
int32_t V9990WriteG9b(uint8_t* to, const TVeG9bHeader& header, const TVePalette256* palette);
int32_t V9990G9bBytes(const TVeG9bHeader& header);
// Reads and checks a header: a known depth and colour type, a size the V9990 can hold, the
// palette and pixels inside the file. Empty on success, else why not.
std::string V9990ReadG9b(const uint8_t* data, int32_t size, TVeG9bHeader& header);
