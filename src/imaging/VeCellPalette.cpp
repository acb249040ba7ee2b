#include "VeCellPalette.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "VeErrors.h"
#include "VeThreadJob.h"

TVeCellPalette::TVeCellPalette(int capacity)
    : Palette(std::make_unique<TVePalette256>(capacity)) {}
TVeCellPalette::~TVeCellPalette() = default;

void TVeCellPalette::PrepareCache() {
  FCount = Palette->Count();
  FLin.resize(size_t(FCount) * 3);
  FLum.resize(size_t(FCount));
  for (int i = 0; i < FCount; ++i) {
    const TVeColor& c = Palette->Color(i);
    const TVeLinRGBColor& v = c.GetLinRGB();
    FLin[size_t(i) * 3] = v.R;
    FLin[size_t(i) * 3 + 1] = v.G;
    FLin[size_t(i) * 3 + 2] = v.B;
    FLum[size_t(i)] = c.GetLinGray();
  }
}

void TVeCellPalette::SetRangeFromColors() {
  const TVeLinRGBColor& a = Palette->Color(0).GetLinRGB();
  const TVeLinRGBColor& b = Palette->Color(1).GetLinRGB();
  Range[0] = a.R > b.R ? a.R - b.R : b.R - a.R;
  Range[1] = a.G > b.G ? a.G - b.G : b.G - a.G;
  Range[2] = a.B > b.B ? a.B - b.B : b.B - a.B;
}

TVeCellPaperIncPalette::TVeCellPaperIncPalette(const TVePalette256& engine, int paper, int ink)
    : TVeCellPalette(2), Paper(paper), Ink(ink) {
  Palette->AddColor(engine.Color(paper));
  Palette->AddColor(engine.Color(ink));
  Palette->PrepareSearch();
  SetRangeFromColors();
}

TVeCellPaperIncPalette::TVeCellPaperIncPalette(const TVePalette256& engine, TVeCellSingle,
                                               uint8_t tag, int index)
    : TVeCellPalette(2), Paper(index), Ink(index), Single(1), SingleTag(tag) {
  Palette->AddColor(engine.Color(index));
  Palette->AddColor(engine.Color(index));
  Palette->PrepareSearch();
}

void TVeCellPaletteList::Add(TVeCellPalette* palette) {
  std::unique_ptr<TVeCellPalette> p(palette);
  FItems.push_back(std::move(p));
  FRaw.push_back(FItems.back().get());
}

void TVeCellPaletteList::Add(std::unique_ptr<TVeCellPalette> palette) {
  FItems.push_back(std::move(palette));
  FRaw.push_back(FItems.back().get());
}

TVeCellPalette* TVeCellPaletteList::GetPalette(int index) const {
  if (unsigned(index) >= FItems.size()) VeInternalError();
  return FItems[size_t(index)].get();
}

void TVeCellPaletteList::PrepareCaches() {
  for (auto& p : FItems)
    p->PrepareCache();
}

TVeCellRanges::TVeCellRanges(int cellsAcross, int cellsDown)
    : FAcross(cellsAcross), FDown(cellsDown), FData(size_t(cellsAcross) * cellsDown * 3, 0.0) {}

double* TVeCellRanges::GetRange(int cellX, int cellY) {
  if (Reversed) cellX = FAcross - 1 - cellX;
  if (unsigned(cellX) >= unsigned(FAcross) || unsigned(cellY) >= unsigned(FDown)) VeInternalError();
  return &FData[(size_t(cellY) * FAcross + cellX) * 3];
}

TVeCellDiffusion::TVeCellDiffusion(int width, int height)
    : FWidth(width), FHeight(height), FData(size_t(width) * height * 3) {
  FClean = false;
  Clear();
}

double* TVeCellDiffusion::GetDiffusion(int x, int y) {
  FClean = false;
  if (Reversed) x = FWidth - 1 - x;
  return &FData[(size_t(y) * FWidth + x) * 3];
}

void TVeCellDiffusion::Clear() {
  if (FClean) return;
  // On the workers: a new buffer's pages are first touched here, on every thread at once.
  const size_t row = size_t(FWidth) * 3;
  VeForRanges(FHeight, 64, nullptr, [&](int first, int last) {
    std::fill(FData.begin() + ptrdiff_t(first * row), FData.begin() + ptrdiff_t((last + 1) * row),
              0.0);
  });
  FClean = true;
}
