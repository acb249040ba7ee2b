#pragma once
// Timex TC2048 / TS2068 screens beyond the Spectrum's own: the 512 x 192 high-resolution screen
// (the two display files interleaved by byte column, one ink with its complementary paper)
// and the sizes of the screen files. The 8 x 1 high-colour screen is the ULA+ unit's Timex
// layout and the colours are the Spectrum's.
#include <cstdint>
#include <memory>

#include "VeCellImage.h"
#include "zxspectrum/VePlatformZxSpectrum.h"

// High colour: the 6144 pixel bytes of the first display file, then the 6144 attribute bytes
// of the second (one per cell of a pixel line, laid out like the pixels).
constexpr int TimexHiColorBytes = 2 * ZxPixelBytes;
// High resolution: the pixel bytes of both display files, then the value of port FF.
constexpr int TimexHiResBytes = 2 * ZxPixelBytes + 1;
constexpr int TimexHiResWidth = 512;
// Port FF: bits 0-2 the screen mode (6 = 512 x 192), bits 3-5 the paper; the ink is its
// complement and both are bright (0 gives bright white on black).
constexpr uint8_t TimexHiResMode = 6;
constexpr uint8_t TimexHiResPort(int ink) {
  return uint8_t(TimexHiResMode | (7 - (ink & 7)) << 3);
}
constexpr int TimexHiResInk(uint8_t port) {
  return 7 - (port >> 3 & 7);
}
constexpr int TimexHiResPaper(int ink) {
  return 7 - (ink & 7);
}
// Byte column c (0..63) of row y: even columns in the first display file, odd ones in the
// second, each at the Spectrum offset of column c / 2.
constexpr int TimexHiResOffset(int y, int c) {
  return (c & 1) * ZxPixelBytes + ZxScreenOffset(y, c >> 1);
}

// The high-resolution file over caller-owned TimexHiResBytes: a set bit is ink; the one
// attribute (cell 0, 0) is the ink colour, kept as the port byte.
class TVeTimexHiResScreen : public TVeCellScreen {
public:
  explicit TVeTimexHiResScreen(uint8_t* data);
  int GetPixel(int x, int y) const override;
  void SetPixel(int x, int y, int value) override;
  int GetAttr(int cellX, int cellY) const override;
  void SetAttr(int cellX, int cellY, int attr) override;
};

// The eight ink and paper pairs of the whole screen (paper first, as pixel value 0), from the
// bright colours 8-15 of a Spectrum palette; blackWhite keeps black on white and white on black.
class TVeTimexHiResPaletteList : public TVeCellPaletteList {
public:
  TVeTimexHiResPaletteList(const TVePalette256& palette, bool blackWhite);
};

// The high-resolution screen as one cell of 512 x 192 pixels: the trial dithering of the
// cell service picks the pair.
class TVeTimexHiResImage : public TVeCellImage {
public:
  explicit TVeTimexHiResImage(const TVeBitmap32& source);
  // Only black ink on white paper and white on black.
  bool BlackWhite = false;
  std::unique_ptr<TVeBitmap> CreateResult() override;
  TVeCellPaletteList* CreateCellPalettes() override;
  void WriteCellAttr(TVeCellScreen* screen, int cellX, TVeCellPalette* pal, int cellY) override;
  void WriteResultPixel(TVeBitmap* result, int x, int k, TVeCellPalette* pal, int y) override;
  void WriteScreenPixel(TVeCellScreen* screen, int x, int k, TVeCellPalette* pal, int y) override;
};
