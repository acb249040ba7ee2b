#pragma once
// The candidates of a cell conversion: colour sets, their ordered lists, and the per-cell
// ranges and per-pixel carry buffer that the scan keeps beside them.
#include <cstdint>
#include <memory>
#include <vector>

#include "VeBitmap32.h"
#include "VePalette.h"

// One candidate colour set of a cell; pixel value k of the cell means colour k of Palette.
class TVeCellPalette {
public:
  // A candidate's palette holds at most capacity colours and reserves only that: the
  // candidate lists run to thousands.
  explicit TVeCellPalette(int capacity = TVePalette256::MaxColors);
  virtual ~TVeCellPalette();
  TVeCellPalette(const TVeCellPalette&) = delete;
  TVeCellPalette& operator=(const TVeCellPalette&) = delete;

  std::unique_ptr<TVePalette256> Palette;
  double Range[3] = {0, 0, 0};
  bool Enabled = true;

  // Copies linear values and luminances of Palette into flat arrays that the trial and
  // cell dithering read without touching the colour records' caches. The cell image calls
  // it for every candidate before a conversion.
  void PrepareCache();
  int CacheCount() const { return FCount; }
  const double* CacheLin() const { return FLin.data(); } // 3 per colour
  const double* CacheLum() const { return FLum.data(); }

protected:
  void SetRangeFromColors();

private:
  int FCount = 0;
  std::vector<double> FLin;
  std::vector<double> FLum;
};

struct TVeCellSingle {};

// Two colours of an engine palette: colour 0 is paper (pixel bit 0), colour 1 ink.
class TVeCellPaperIncPalette : public TVeCellPalette {
public:
  TVeCellPaperIncPalette(const TVePalette256& engine, int paper, int ink);
  // One colour twice; the range stays zero.
  TVeCellPaperIncPalette(const TVePalette256& engine, TVeCellSingle, uint8_t tag, int index);

  int32_t Paper = 0;
  int32_t Ink = 0;
  uint8_t Single = 0;
  uint8_t SingleTag = 0;
};

// Ordered, owning list of candidates; the order decides ties.
class TVeCellPaletteList {
public:
  TVeCellPaletteList() = default;
  virtual ~TVeCellPaletteList() = default;
  TVeCellPaletteList(const TVeCellPaletteList&) = delete;
  TVeCellPaletteList& operator=(const TVeCellPaletteList&) = delete;

  void Add(TVeCellPalette* palette); // takes ownership
  void Add(std::unique_ptr<TVeCellPalette> palette);
  int Count() const { return int(FItems.size()); }
  TVeCellPalette* GetPalette(int index) const;
  TVeCellPalette* Palettes(int index) const { return GetPalette(index); }
  // The candidates in order, for loops that visit every one per cell.
  const TVeCellPalette* const* Items() const { return FRaw.data(); }
  void Clear() {
    FItems.clear();
    FRaw.clear();
  }
  void PrepareCaches();

private:
  std::vector<std::unique_ptr<TVeCellPalette>> FItems;
  std::vector<const TVeCellPalette*> FRaw;
};

// One triple per cell; the mirror flag maps cell column c to (cells across - 1 - c).
class TVeCellRanges {
public:
  TVeCellRanges(int cellsAcross, int cellsDown);
  double* GetRange(int cellX, int cellY);
  double* Ranges(int cellX, int cellY) { return GetRange(cellX, cellY); }
  bool Reversed = false;

private:
  int FAcross, FDown;
  std::vector<double> FData;
};

// The carry buffer: one triple per pixel; the mirror flag maps x to (width - 1 - x).
class TVeCellDiffusion {
public:
  TVeCellDiffusion(int width, int height);
  double* GetDiffusion(int x, int y);
  double* Diffusions(int x, int y) { return GetDiffusion(x, y); }
  void Clear();
  bool Reversed = false;
  double* Data() {
    FClean = false;
    return FData.data();
  }

private:
  int FWidth, FHeight;
  std::vector<double, TVeNoFillAllocator<double>> FData;
  bool FClean = true; // nothing handed out since the last fill: Clear has nothing to do
};
