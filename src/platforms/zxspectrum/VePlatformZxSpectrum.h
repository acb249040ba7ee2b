#pragma once
// ZX Spectrum standard screen: colour numbers, the palette variants, the screen memory
// layout shared by every ZX mode and loader, the cell pair lists and the cell image.
#include <cstdint>
#include <memory>

#include "VeCellImage.h"
#include "VePaletteType.h"

class TVeDestEngineOptions;

// Colour numbers: bit 0 blue, bit 1 red, bit 2 green, +8 bright.
enum : int {
  zxBlack = 0,
  zxBlue = 1,
  zxRed = 2,
  zxMagenta = 3,
  zxGreen = 4,
  zxCyan = 5,
  zxYellow = 6,
  zxWhite = 7,
  zxBright = 8,
};

// One palette variant: six channel levels and a 3 x 3 output matrix (rows R, G, B).
// The mixed levels (dark+black, dark+bright, bright+black) serve the flicker modes.
struct TVeZxSpectrumLevels {
  TVePaletteType PaletteType;
  const char* Caption;
  int Black, DarkBlack, Dark, DarkBright, Bright, BrightBlack;
  int Matrix[3][3];
};

// The five variants in their list order.
constexpr int ZxSpectrumLevelCount = 5;
extern const TVeZxSpectrumLevels ZxSpectrumLevelTable[ZxSpectrumLevelCount];

// Level set of a palette type; any type other than the five gives "Linear".
const TVeZxSpectrumLevels& ZxSpectrumLevels(TVePaletteType type);
// Effective palette type the ZX palettes are built with.
TVePaletteType ZxSpectrumPaletteType(TVePaletteType type);

// Output bytes of channel levels (lR, lG, lB) through the variant's matrix, as RGB-quad.
uint32_t ZxSpectrumOutputRGB(const TVeZxSpectrumLevels& levels, int lR, int lG, int lB);
// RGB-quad of ZX colour i (0..15) of a palette type.
uint32_t ZxSpectrumColorRGB(TVePaletteType type, int i);

// Screen memory: 6144 pixel bytes in thirds, then 768 attributes.
constexpr int ZxScreenWidth = 256;
constexpr int ZxScreenHeight = 192;
constexpr int ZxPixelBytes = 6144;
constexpr int ZxAttrBytes = 768;
constexpr int ZxScreenBytes = ZxPixelBytes + ZxAttrBytes;

// Byte of pixel row y (0..191), byte column xByte (0..31).
constexpr int ZxScreenOffset(int y, int xByte) {
  return ((y & 0xC0) << 5) + ((y & 0x07) << 8) + ((y & 0x38) << 2) + xByte;
}
constexpr int ZxAttrOffset(int cx, int cy) {
  return ZxPixelBytes + cy * 32 + cx;
}

// Attribute bits.
constexpr uint8_t ZxAttrBright = 0x40;
constexpr uint8_t ZxAttrFlash = 0x80;
constexpr int ZxAttrInk(uint8_t a) {
  return (a & 7) + ((a & ZxAttrBright) ? 8 : 0);
}
constexpr int ZxAttrPaper(uint8_t a) {
  return ((a >> 3) & 7) + ((a & ZxAttrBright) ? 8 : 0);
}

// The 16 colours of a palette type in colour-number order; the four gray-mode colours
// 0, 7, 8, 15; black and white for the monochrome mode.
void ZxSpectrumMakePalette(TVePalette256& palette, TVePaletteType type);
void ZxSpectrumMakeGrayPalette(TVePalette256& palette, TVePaletteType type);
void ZxSpectrumMakeBlackWhitePalette(TVePalette256& palette);

// Pair table of the standard screen: (k, k) for dark k, the 28 dark pairs p < q, then the
// same 36 with bright numbers. Never mixes dark and bright.
struct TVeZxSpectrumPair {
  uint8_t Paper, Ink;
};
constexpr int ZxSpectrumPairCount = 72;
const TVeZxSpectrumPair& ZxSpectrumPair(int index);

// A 6912-byte standard screen (pixels then attributes) over a caller-owned buffer.
class TVeZxSpectrumColorScreen : public TVeCellScreen {
public:
  explicit TVeZxSpectrumColorScreen(uint8_t* data);
  int GetPixel(int x, int y) const override;
  void SetPixel(int x, int y, int value) override;
  int GetAttr(int cellX, int cellY) const override;
  void SetAttr(int cellX, int cellY, int attr) override;
};

// A 6144-byte monochrome screen; a pixel value of 1 (white) is a clear bit, so black
// pixels are set bits. It has no attributes.
class TVeZxSpectrumBWScreen : public TVeCellScreen {
public:
  explicit TVeZxSpectrumBWScreen(uint8_t* data);
  int GetPixel(int x, int y) const override;
  void SetPixel(int x, int y, int value) override;
  int GetAttr(int, int) const override { return 0; }
  void SetAttr(int, int, int) override {}
};

// Two standard screens (13824 bytes) holding the even and the odd lines of a 256 x 384
// picture: line y is line y / 2 of screen y & 1. An attribute cell is 16 picture lines high
// and its attribute goes to both screens.
constexpr int ZxInterlacedBytes = 2 * ZxScreenBytes;
class TVeZxSpectrumInterlacedScreen : public TVeCellScreen {
public:
  explicit TVeZxSpectrumInterlacedScreen(uint8_t* data);
  int GetPixel(int x, int y) const override;
  void SetPixel(int x, int y, int value) override;
  int GetAttr(int cellX, int cellY) const override;
  void SetAttr(int cellX, int cellY, int attr) override;
};

// Three pixel planes in the standard layout (red, green, blue; 18432 bytes) for the eight
// bright colours: pixel value k (ZX colour 8 + k) lights red for k & 2, green for k & 4 and
// blue for k & 1.
constexpr int ZxTricolorBytes = 3 * ZxPixelBytes;
class TVeZxSpectrumTricolorScreen : public TVeScreen4 {
public:
  explicit TVeZxSpectrumTricolorScreen(uint8_t* data);
  int GetPixel(int x, int y) const override;
  void SetPixel(int x, int y, int value) override;
};
// The eight bright colours 8..15 of a palette type, in that order.
void ZxSpectrumMakeTricolorPalette(TVePalette256& palette, TVePaletteType type);

// Two monochrome screens one after the other (12288 bytes), for black and white made into
// gray by alternating frames. Pixel value bit 0 belongs to the first screen and bit 1 to the
// second; a set value bit (white) is a clear screen bit, since a set bit is black.
constexpr int ZxBWGigascreenBytes = 2 * ZxPixelBytes;
class TVeZxSpectrumBWGigascreenScreen : public TVeScreen4 {
public:
  explicit TVeZxSpectrumBWGigascreenScreen(uint8_t* data);
  int GetPixel(int x, int y) const override;
  void SetPixel(int x, int y, int value) override;
};

// Colour usages ("Color usage:" list).
enum : uint8_t {
  zxUsageDarkAndBright = 0,
  zxUsageDarkOnly = 1,
  zxUsageDarkForceBright = 2,
  zxUsageBrightOnly = 3,
};

class TVeZxSpectrumColorPaletteList : public TVeCellPaletteList {
public:
  TVeZxSpectrumColorPaletteList(uint8_t colorUsage, const TVePalette256& palette);
};
class TVeZxSpectrumGrayPaletteList : public TVeCellPaletteList {
public:
  explicit TVeZxSpectrumGrayPaletteList(const TVePalette256& palette);
};
// All 16 colours with independent cells: (k, k) for k = 0..15, then every p < q.
class TVeZxSpectrumColorNoFlashPaletteList : public TVeCellPaletteList {
public:
  explicit TVeZxSpectrumColorNoFlashPaletteList(const TVePalette256& palette);
};
class TVeZxSpectrumGrayNoFlashPaletteList : public TVeCellPaletteList {
public:
  explicit TVeZxSpectrumGrayNoFlashPaletteList(const TVePalette256& palette);
};

// Cell image of the standard screen: 8 x 8 cells, ink and paper from the pair lists.
class TVeSpectrumZxColorImage : public TVeCellImage {
public:
  using TVeCellImage::TVeCellImage;

  uint8_t ColorUsage = 0;

  using TVeCellImage::Convert;
  // Takes the colour usage from the options.
  std::unique_ptr<TVeBitmap> Convert(const TVeCancelFlag* cancel, TVeDestEngineOptions& options,
                                     TVeCellScreen* screen, TVeDestProgress* progress);
  // Gray mode with the gray pair list; the usage is reset to "Dark and bright".
  std::unique_ptr<TVeBitmap> ConvertGray(const TVeCancelFlag* cancel, TVeDestEngineOptions& options,
                                         TVeCellScreen* screen, TVeDestProgress* progress);

  void Prepare() override;
  bool PreparesByBands() const override { return true; }
  void PrepareBand(int first, int last) override;
  std::unique_ptr<TVeBitmap> CreateResult() override;
  TVeCellPaletteList* CreateCellPalettes() override;
  void WriteCellAttr(TVeCellScreen* screen, int cellX, TVeCellPalette* pal, int cellY) override;
  void WriteResultPixel(TVeBitmap* result, int x, int k, TVeCellPalette* pal, int y) override;
  void WriteScreenPixel(TVeCellScreen* screen, int x, int k, TVeCellPalette* pal, int y) override;
};
