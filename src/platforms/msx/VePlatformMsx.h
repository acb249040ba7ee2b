#pragma once
// MSX screens: the colours of the TMS9918, V9938 and V9958, palette registers, BSAVE headers
// and the screen-memory layouts shared by the MSX engines and loaders.
#include <array>
#include <cstdint>
#include <vector>

#include "VeCellImage.h"
#include "VePalette.h"
#include "VePaletteType.h"

// ---- Colours -------------------------------------------------------------------------------

// The TMS9918 colours (screen 2). Entry 0 is transparent and never used in a cell; 1 is black.
extern const uint8_t MsxTms9918Colors[16][3];
void MsxMakeTms9918Palette(TVePalette256& palette);

// The 5-bit DAC level the V9958 shows for a 3-bit palette value.
extern const int MsxV9958Dac[8];
// Level bytes as shown: v * 255 / 7 and v * 255 / 31, rounded.
constexpr uint8_t MsxLevel3Byte(int v) {
  return uint8_t((v * 255 + 3) / 7);
}
constexpr uint8_t MsxLevel5Byte(int v) {
  return uint8_t((v * 255 + 15) / 31);
}

// ptMSX9958 for itself, ptMSX9938 for any other type.
TVePaletteType MsxHardwareType(TVePaletteType type);
// The 512 colours of a palette type (index red << 6 | green << 3 | blue), shared and
// prepared for concurrent searches.
const TVePaletteRGB& MsxHardwarePalette(TVePaletteType type);
// The same colours listed (for the custom palette grid).
void MsxMakeHardwarePalette(TVePalette256& palette, TVePaletteType type);
// The eight grays (v, v, v) of a palette type, darkest first.
void MsxMakeGrayPalette(TVePalette256& palette, TVePaletteType type);
// Black and white of a palette type.
void MsxMakeBlackWhitePalette(TVePalette256& palette, TVePaletteType type);
// The 16 colours of screen 4: the TMS9918 colours as near as the palette type shows them.
void MsxMakeScreen4Palette(TVePalette256& palette, TVePaletteType type);
// Screen 8: the 256 colours in the order of their byte GGGRRRBB; blue takes the 3-bit levels
// 0, 2, 4, 7, and ptMSX9958 shows every level through its DAC.
void MsxMakeScreen8Palette(TVePalette256& palette, TVePaletteType type);
// The grays among the screen 8 colours, darkest first.
void MsxMakeScreen8GrayPalette(TVePalette256& palette, TVePaletteType type);
// Flags of the hardware colours "Сolor (bright)" may choose: black and every colour with a
// channel at the top level.
std::vector<bool> MsxBrightColors();

// ---- Palette registers ----------------------------------------------------------------------

constexpr int MsxPaletteBytes = 32;
// 16 registers of two bytes, red * 16 + blue, then green (3-bit values); colours beyond the
// palette are black. Colours that are not hardware colours take the nearest one.
void MsxWritePaletteRegisters(uint8_t* to, const TVePalette256& palette, TVePaletteType type);
// The 16 colours of a register block.
void MsxReadPaletteRegisters(const uint8_t* from, TVePalette256& palette, TVePaletteType type);
// A palette file: eight copies of the register block (256 bytes).
constexpr int MsxPaletteFileBytes = 8 * MsxPaletteBytes;
void MsxWritePaletteFile(uint8_t* to, const TVePalette256& palette, TVePaletteType type);

// ---- BSAVE files ---------------------------------------------------------------------------

constexpr int MsxBsaveHeaderBytes = 7;
// FE, start 0, end = data length - 1, execution 0.
void MsxWriteBsaveHeader(uint8_t* to, int dataLength);
struct TVeMsxBsaveHeader {
  uint8_t Id = 0;
  uint16_t Start = 0, End = 0, Exec = 0;
};
// False when fewer than 7 bytes are there.
bool MsxReadBsaveHeader(const uint8_t* data, int32_t size, TVeMsxBsaveHeader& header);
// The header a file of exactly `size` bytes would carry: FE, start 0, end size - 8 (or
// size - 7, as some writers count), execution 0.
bool MsxBsaveHeaderConsistent(const uint8_t* data, int32_t size);

// ---- Screen layouts -------------------------------------------------------------------------

// Screens 2 and 4: patterns at 0, names at 1800, colours at 2000 (hex), palette (screen 4)
// at 1B80.
constexpr int MsxScreen2Data = 0x3800;
constexpr int MsxScreen4Data = 0x4000;
constexpr int MsxScreen2Names = 0x1800;
constexpr int MsxScreen2Colors = 0x2000;
constexpr int MsxScreen4Palette = 0x1B80;
constexpr int MsxScreen2Offset(int x, int y) {
  return (y >> 3) * 256 + (x >> 3) * 8 + (y & 7);
}

// The pattern and colour tables over video memory: pixel bit 1 is the foreground (high
// nibble of the colour byte), 0 the background; a cell is 8 x 1 pixels.
class TVeMSXScreen2Screen : public TVeCellScreen {
public:
  // data: video memory from address 0, at least MsxScreen2Data bytes.
  explicit TVeMSXScreen2Screen(uint8_t* data);
  int GetPixel(int x, int y) const override;
  void SetPixel(int x, int y, int value) override;
  int GetAttr(int cellX, int cellY) const override;
  void SetAttr(int cellX, int cellY, int attr) override;
  // Names 0-255 three times and every colour byte F1 (white on black).
  void Initialise();
};

// Screens 2 and 4 as cells: two colours per 8 x 1 line, the foreground (set pattern bits,
// high nibble of the colour byte) and the background. Colour 0 is transparent and never
// chosen: "Gray" offers the pairs of 1, 14 and 15, the colour modes every pair of 1 to the
// last colour.
class TVeMSXScreen2Image : public TVeCellImage {
public:
  using TVeCellImage::TVeCellImage;

  // Off: the plain exhaustive search (to check the bounded one against).
  bool Bounded = true;

  std::unique_ptr<TVeBitmap> CreateResult() override;
  TVeCellPaletteList* CreateCellPalettes() override;
  void WriteCellAttr(TVeCellScreen* screen, int cellX, TVeCellPalette* pal, int cellY) override;
  void WriteResultPixel(TVeBitmap* result, int x, int k, TVeCellPalette* pal, int y) override;
  void WriteScreenPixel(TVeCellScreen* screen, int x, int k, TVeCellPalette* pal, int y) override;
  // The candidate the exhaustive search finds, with fewer trials: see the definition.
  int FindOptimalColors(const TVeCellPaletteList& list, const TVeCellRect& rect,
                        double& cost) override;
};

// Screen 3: 64 x 48 blocks, two per byte (even block in the high nibble).
constexpr int MsxScreen3Data = 1536;
constexpr int MsxScreen3Offset(int x, int y) {
  return ((y >> 3) * 32 + (x >> 1)) * 8 + (y & 7);
}

// Bitmap screens 5 to 12: one page.
struct TVeMsxBitmapLayout {
  int Width;     // pixels
  int Bits;      // 2, 4 or 8 per pixel
  int PaletteAt; // palette registers, -1 for none
  int RowBytes() const { return Width * Bits / 8; }
  int PageBytes() const { return RowBytes() * 212; }
};
constexpr int MsxBitmapRows = 212;
// Writes the rows first, first + step, ... of an index grid into a page, packed high bits
// first.
void MsxPackRows(const TVeData& pixels, int firstRow, int step, int bits, uint8_t* page);
// COPY picture: width, height, then the pixels packed as on screen without row padding.
std::vector<uint8_t> MsxCopyPicture(const TVeData& pixels, int bits);
