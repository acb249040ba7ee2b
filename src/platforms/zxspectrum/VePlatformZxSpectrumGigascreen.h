#pragma once
// ZX Spectrum gigascreen: two standard screens shown on alternate frames, so a pixel can
// show the mix of two ZX colours. The 256-entry mixed palette with its forbidden mixes, the
// two-frame screens ("img" and the MG layout), the cell candidates and the cell image that
// re-encodes cells to keep flicker low.
#include <cstdint>
#include <memory>
#include <vector>

#include "VeCellImage.h"
#include "VeGigascreenSearch.h"
#include "VePaletteType.h"
#include "VePlatformZxSpectrum.h"

// What the mixed palette is built for.
struct TVeZxMixedPaletteArgs {
  TVePaletteType PaletteType = ptColoredLinear;
  uint8_t Calculation = 1; // 0 "Standard", 1 "Linear"
  int MaxFlickering = 100; // percent
  uint8_t ColorUsage = 0;
  bool NoGrays = false; // engine flag B
  bool Display = false; // each unordered pair once, for the options panel
  bool Gray = false;    // mode "Gray": colours 0, 7, 8, 15 only
  bool SafeMode = false;
};
// Entry 16 a + b: frame 1 shows colour a, frame 2 colour b; forbidden mixes are Excluded.
void ZxSpectrumMakeMixedPalette(TVePalette256& mixed, const TVeZxMixedPaletteArgs& args);

constexpr int ZxGigascreenBytes = 2 * ZxScreenBytes;

// Two standard screens one after the other (13824 bytes): frame 1, then frame 2.
class TVeZxSpectrumGigascreenScreen : public TVeCellGigaScreen {
public:
  explicit TVeZxSpectrumGigascreenScreen(uint8_t* data);
  int GetPixel(int x, int y) const override;
  void SetPixel(int x, int y, int value) override;
  int GetAttr(int cellX, int cellY) const override;
  void SetAttr(int cellX, int cellY, int attr) override;
  int GetPixel2(int x, int y) const override;
  void SetPixel2(int x, int y, int value) override;
  int GetAttr2(int cellX, int cellY) const override;
  void SetAttr2(int cellX, int cellY, int attr) override;

protected:
  TVeZxSpectrumGigascreenScreen(uint8_t* data, int pixels1, int pixels2, int attrs1, int attrs2,
                                int cellHeight);
  int Pixel(int base, int x, int y) const;
  void PutPixel(int base, int x, int y, int value);
  int FPixels[2], FAttrs[2], FCellHeight;
};

// The MG file (256-byte header, both frames' pixels, then one attribute per 8 x h cell for
// each frame); h is 1, 2, 4 or 8.
class TVeZxSpectrumMultiGigascreenScreen : public TVeZxSpectrumGigascreenScreen {
public:
  TVeZxSpectrumMultiGigascreenScreen(uint8_t* data, int cellHeight, int borderColor);
  static int FileSize(int cellHeight) {
    return cellHeight == 1 ? 19456 : 256 + 2 * 6144 + 2 * 32 * (192 / cellHeight);
  }
};

// "mg1" (19456 bytes): the middle columns 8..23 take one attribute per 8 x 1 cell (cell row =
// pixel line), the side columns 0..7 and 24..31 one per 8 x 8 cell (cell row = band).
class TVeZxSpectrumMultiGigascreen1Screen : public TVeZxSpectrumMultiGigascreenScreen {
public:
  TVeZxSpectrumMultiGigascreen1Screen(uint8_t* data, int borderColor);
  int GetAttr(int cellX, int cellY) const override;
  void SetAttr(int cellX, int cellY, int attr) override;
  int GetAttr2(int cellX, int cellY) const override;
  void SetAttr2(int cellX, int cellY, int attr) override;

private:
  int AttrOffset(int frame, int cellX, int cellY) const;
};

// "lce" of Interlaced v2: two standard screens holding the even (field 1) and the odd
// (field 2) lines of a 256 x 384 picture, each field's attributes in its own screen. Field 1
// is frame 1 of the gigascreen image and field 2 frame 2, so the bytes lie as in "img".
class TVeZxSpectrumGigaInterlacedScreen : public TVeZxSpectrumGigascreenScreen {
public:
  using TVeZxSpectrumGigascreenScreen::TVeZxSpectrumGigascreenScreen;
};

// One gigascreen cell candidate: paper and ink of each frame, and the up to four mixes they
// give (combination 0 = (paper 1, paper 2), 1 = (paper 1, ink 2), 2 = (ink 1, paper 2),
// 3 = (ink 1, ink 2); the combination's bits are (frame 1, frame 2)).
class TVeZxSpectrumGigascreenPalette : public TVeCellPalette {
public:
  TVeZxSpectrumGigascreenPalette(const TVePalette256& mixed, int paper1, int ink1, int paper2,
                                 int ink2);
  int Paper1, Ink1, Paper2, Ink2;
  int Combination[4] = {0, 0, 0, 0};
  int UnionIndex[4] = {0, 0, 0, 0}; // index of each colour in the list's union palette
  std::vector<uint32_t> Sorted;     // the colours' RGB, ascending
  // The mixed entry of a combination.
  int Entry(int combination) const;
};

class TVeZxSpectrumGigascreenPaletteList : public TVeCellPaletteList {
public:
  TVeZxSpectrumGigascreenPaletteList(uint8_t colorUsage, bool safeMode, const TVePalette256& mixed);
  TVePalette256 Union;
};

class TVeZxSpectrumGigascreenImage : public TVeCellImage {
public:
  using TVeCellImage::Convert;
  using TVeCellImage::TVeCellImage;

  // Takes colour usage and safe mode from the options.
  std::unique_ptr<TVeBitmap> Convert(const TVeCancelFlag* cancel, TVeDestEngineOptions& options,
                                     TVeCellScreen* screen, TVeDestProgress* progress);
  void Prepare() override;
  TVeCellPaletteList* CreateCellPalettes() override;
  std::unique_ptr<TVeBitmap> CreateResult() override;
  void DitherCell(TVeBitmap* result, TVeCellScreen* screen, TVeCellPalette* pal,
                  const TVeCellRect& rect, int cellY, int cellX) override;
  void WriteCellAttr(TVeCellScreen*, int, TVeCellPalette*, int) override {}
  void WriteResultPixel(TVeBitmap*, int, int, TVeCellPalette*, int) override {}
  void WriteScreenPixel(TVeCellScreen*, int, int, TVeCellPalette*, int) override {}
  // The choice through TVeGigascreenSearch where it applies (colour mode), else the bounded
  // pair search.
  int FindOptimalColors(const TVeCellPaletteList& list, const TVeCellRect& rect,
                        double& cost) override;
  void ChooseCells(const TVeCellPaletteList& list, bool pairs, TVeCellHelper& scratch, int first,
                   int last, int* out) const override;

protected:
  std::unique_ptr<TVeBitmap> RunCells(TVeCellScreen* screen, bool pairLists) override;
  // Readies the search for the current list; the scan starts next.
  void BeginSearch();
  TVeGigascreenSearch::TSetup SearchSetup() const;
  // After the cell's pixels: re-encoding for low flicker, the brighter frame alternating from
  // cell to cell, and the two frame bitmaps.
  virtual void FinishCell(TVeCellGigaScreen* screen, const TVeCellRect& rect, int cellX, int cellY);
  // Rewrites the cell with one attribute pair for both frames when its colours allow;
  // true when the frames still differ.
  bool Reencode(TVeCellGigaScreen* screen, const TVeCellRect& rect, int cellX, int cellY);
  // Exchanges the two frames within the cell: attributes and pixel bits.
  static void SwapFrames(TVeCellGigaScreen* screen, const TVeCellRect& rect, int cellX, int cellY);
  void WriteAttrs(TVeCellGigaScreen* screen, int cellX, int cellY, int paper1, int ink1, int paper2,
                  int ink2) const;
  int PureNumber(uint32_t rgb) const;

  uint8_t FColorUsage = 0;
  bool FSafeMode = false;
  double FMaxFlicker = 1.0;
  TVePalette256 FPure;
  uint32_t FMix7 = 0, FMix15 = 0;
  TVeZxSpectrumGigascreenPaletteList* FList = nullptr;
  TVeBitmap* FFrame1 = nullptr;
  TVeBitmap* FFrame2 = nullptr;
  // The cell being dithered: the pure colours each frame shows and the mixed colours (RGB)
  // used, each in the order first met, and the mixed entry of every pixel.
  std::vector<int> FSet1, FSet2;
  std::vector<uint32_t> FMixed;
  std::vector<int> FCellEntries;
  TVeGigascreenSearch FSearch;
  bool FOwnSearch = false; // FSearch applies to the current list
};

// MultiGiga 8x1: each 8-line band as its left side (8 x 8 cells, both error limits on), its
// middle line by line (8 x 1 cells, no limits) and its right side (8 x 8, limits on). Made with
// 8 x 8 cells over a TVeZxSpectrumMultiGigascreen1Screen.
class TVeZxSpectrumMultiGigascreen1Image : public TVeZxSpectrumGigascreenImage {
public:
  using TVeZxSpectrumGigascreenImage::TVeZxSpectrumGigascreenImage;

protected:
  std::unique_ptr<TVeBitmap> RunCells(TVeCellScreen* screen, bool pairLists) override;
};

// Interlaced v2: the two frames of the gigascreen image become the two fields of a 256 x 384
// picture. Style 0 "Lines" orders the fields of each cell against its neighbours, 1
// "Chessboard" re-encodes cells (safe-mode candidates), 2 "Mixed" does both.
class TVeZxSpectrumGigaInterlacedImage : public TVeZxSpectrumGigascreenImage {
public:
  using TVeZxSpectrumGigascreenImage::TVeZxSpectrumGigascreenImage;
  uint8_t Style = 0;

  TVeCellPaletteList* CreateCellPalettes() override;

protected:
  void FinishCell(TVeCellGigaScreen* screen, const TVeCellRect& rect, int cellX,
                  int cellY) override;

private:
  // Per field f and line k of a cell: the luminance sum of the line, of its leftmost and of
  // its rightmost pixel; the first picture line's and the last's pixels.
  struct TProfile {
    double R[2][8], E[2][8], F[2][8], T[8], B[8];
  };
  TProfile Profile(const TVeCellGigaScreen* screen, int left, int top) const;
  bool ChooseSwap(const TVeCellGigaScreen* screen, const TVeCellRect& rect, int cellX,
                  int cellY) const;
};

// The 256 x 384 picture of the two fields (line 2y field 1, 2y + 1 field 2), widened to
// 512 x 384, as a 4-bit bitmap of the 16 pure colours.
std::unique_ptr<TVeBitmap> ZxSpectrumInterlacedFields(const TVeCellGigaScreen& screen,
                                                      const TVePalette256& pure);
