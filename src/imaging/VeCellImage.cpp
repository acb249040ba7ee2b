#include "VeCellImage.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <exception>
#include <limits>
#include <map>
#include <memory>
#include <type_traits>
#include <utility>

#include "VeRowFeed.h"

// ---- Kernels ------------------------------------------------------------------------------
// Taps (dx, dy, weight) per dithering method; shares are error * weight / divisor.

namespace {

struct TTap {
  int Dx, Dy, W;
};

template <int M> struct TKernel;
template <> struct TKernel<1> { // Floyd-Steinberg
  static constexpr int Div = 16;
  static constexpr TTap Taps[] = {{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}};
};
template <> struct TKernel<2> { // Jarvis, Judice & Ninke
  static constexpr int Div = 48;
  static constexpr TTap Taps[] = {{1, 0, 7},  {2, 0, 5}, {-2, 1, 3}, {-1, 1, 5},
                                  {0, 1, 7},  {1, 1, 5}, {2, 1, 3},  {-2, 2, 1},
                                  {-1, 2, 3}, {0, 2, 5}, {1, 2, 3},  {2, 2, 1}};
};
template <> struct TKernel<3> { // Stucki
  static constexpr int Div = 42;
  static constexpr TTap Taps[] = {{1, 0, 8},  {2, 0, 4}, {-2, 1, 2}, {-1, 1, 4},
                                  {0, 1, 8},  {1, 1, 4}, {2, 1, 2},  {-2, 2, 1},
                                  {-1, 2, 2}, {0, 2, 4}, {1, 2, 2},  {2, 2, 1}};
};
template <> struct TKernel<4> { // Burkes
  static constexpr int Div = 32;
  static constexpr TTap Taps[] = {{1, 0, 8}, {2, 0, 4}, {-2, 1, 2}, {-1, 1, 4},
                                  {0, 1, 8}, {1, 1, 4}, {2, 1, 2}};
};
template <> struct TKernel<5> { // Sierra
  static constexpr int Div = 32;
  static constexpr TTap Taps[] = {{1, 0, 5}, {2, 0, 3}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 5},
                                  {1, 1, 4}, {2, 1, 2}, {-1, 2, 2}, {0, 2, 3},  {1, 2, 2}};
};
template <> struct TKernel<6> { // Two-row Sierra
  static constexpr int Div = 16;
  static constexpr TTap Taps[] = {{1, 0, 4}, {2, 0, 3}, {-2, 1, 1}, {-1, 1, 2},
                                  {0, 1, 3}, {1, 1, 2}, {2, 1, 1}};
};
template <> struct TKernel<7> { // Sierra Lite
  static constexpr int Div = 4;
  static constexpr TTap Taps[] = {{1, 0, 2}, {-1, 1, 1}, {0, 1, 1}};
};
template <> struct TKernel<8> { // Atkinson: six eighths, a quarter is dropped
  static constexpr int Div = 8;
  static constexpr TTap Taps[] = {{1, 0, 1}, {2, 0, 1}, {-1, 1, 1},
                                  {0, 1, 1}, {1, 1, 1}, {0, 2, 1}};
};

inline double Dist(const double* a, const double* b) {
  const double dr = a[0] - b[0], dg = a[1] - b[1], db = a[2] - b[2];
  return VeCellWR * dr * dr + VeCellWG * dg * dg + VeCellWB * db * db;
}
inline double Norm(const double* e) {
  return VeCellWR * e[0] * e[0] + VeCellWG * e[1] * e[1] + VeCellWB * e[2] * e[2];
}
inline double Lum(const double* p) {
  return VeCellWR * p[0] + VeCellWG * p[1] + VeCellWB * p[2];
}

inline int NearestColor(const double* p, int n, const double* cl) {
  int k = 0;
  double best = Dist(p, cl);
  for (int i = 1; i < n; ++i) {
    const double d = Dist(p, cl + 3 * i);
    if (d < best) {
      best = d;
      k = i;
    }
  }
  return k;
}
inline int NearestLum(double y, int n, const double* lum) {
  int k = 0;
  double best = y > lum[0] ? y - lum[0] : lum[0] - y;
  for (int i = 1; i < n; ++i) {
    const double d = y > lum[i] ? y - lum[i] : lum[i] - y;
    if (d < best) {
      best = d;
      k = i;
    }
  }
  return k;
}

} // namespace

// ---- Candidates and lists -----------------------------------------------------------------

TVeCellPalette::TVeCellPalette() : Palette(std::make_unique<TVePalette256>()) {}
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
    : Paper(paper), Ink(ink) {
  Palette->AddColor(engine.Color(paper));
  Palette->AddColor(engine.Color(ink));
  Palette->PrepareSearch();
  SetRangeFromColors();
}

TVeCellPaperIncPalette::TVeCellPaperIncPalette(const TVePalette256& engine, TVeCellSingle,
                                               uint8_t tag, int index)
    : Paper(index), Ink(index), Single(1), SingleTag(tag) {
  Palette->AddColor(engine.Color(index));
  Palette->AddColor(engine.Color(index));
  Palette->PrepareSearch();
}

void TVeCellPaletteList::Add(TVeCellPalette* palette) {
  std::unique_ptr<TVeCellPalette> p(palette);
  FItems.push_back(std::move(p));
}

void TVeCellPaletteList::Add(std::unique_ptr<TVeCellPalette> palette) {
  FItems.push_back(std::move(palette));
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

TVeCellHelper::TVeCellHelper(TVeBaseCellImage* owner)
    : TVeImage(owner->CellWidth() + 2, owner->CellHeight() + 2), FOwner(owner),
      FStride(owner->CellWidth() + 4) {
  const size_t records = size_t(FStride) * size_t(owner->CellHeight() + 2);
  FBuf.assign(records * 3, 0.0);
  FGrayBuf.assign(records, 0.0);
  FIndex.assign(size_t(owner->CellWidth()) * owner->CellHeight(), 0);
  FBatch.assign(records * 3 * VeCellBatch + VeCellBatch, 0.0);
  FBatchIndex.assign(size_t(owner->CellWidth()) * owner->CellHeight() * VeCellBatch, 0);
}

// ---- Base cell image ----------------------------------------------------------------------

TVeBaseCellImage::TVeBaseCellImage(int cellWidth, const TVeBitmap32& source, int cellHeight,
                                   TVeRowFeed* arriving)
    : TVeImage(source, !arriving), FArriving(arriving), FSource(arriving ? &source : nullptr) {
  if (cellWidth <= 0 || cellHeight <= 0) VeInternalError();
  FWidth = Width();
  FHeight = Height();
  FCellWidth = cellWidth;
  FCellHeight = cellHeight;
  FCellsAcross = (FWidth + cellWidth - 1) / cellWidth;
  FCellsDown = (FHeight + cellHeight - 1) / cellHeight;
  FLastColumnWidth = FWidth % cellWidth ? FWidth % cellWidth : cellWidth;
  FLastRowHeight = FHeight % cellHeight ? FHeight % cellHeight : cellHeight;
  FPalette = std::make_unique<TVePalette256>();
  FPalette2 = std::make_unique<TVePalette256>();
  FRanges = std::make_unique<TVeCellRanges>(FCellsAcross, FCellsDown);
  FCarry = std::make_unique<TVeCellDiffusion>(FWidth, FHeight);
  FSearchScratch = std::make_unique<TVeCellHelper>(this);
  FBackupScratch = std::make_unique<TVeCellHelper>(this);
}

TVeBaseCellImage::~TVeBaseCellImage() = default;

TVeCellHelper* TVeBaseCellImage::TakeScratch() {
  if (!FPool.empty()) {
    TVeCellHelper* s = FPool.back().release();
    FPool.pop_back();
    return s;
  }
  return new TVeCellHelper(this);
}

void TVeBaseCellImage::GiveScratch(TVeCellHelper* scratch) {
  if (scratch) FPool.emplace_back(scratch);
}

void TVeBaseCellImage::BeginConvert(const TVeCancelFlag* cancel, const TVeCellOptions& options,
                                    TVeDestProgress* progress) {
  if (!options.Palette) VeInternalError();
  FCancel = cancel;
  FProgress = progress;
  *FPalette = *options.Palette;
  FPalette->PrepareSearch();
  if (options.BasePalette)
    *FPalette2 = *options.BasePalette;
  else
    FPalette2->Clear();
  FPalette2->PrepareSearch();
  FGray = options.GrayPalette;
  FDitherMethod = options.DitherMethod;
  FSerpentine = options.Serpentine;
  FStrength = options.ErrorDiffusion / 100.0;
  FLimitInside = options.LimitErrorInsideBlock;
  FLimitBoundary = options.LimitErrorAtBoundary;
  FCarry->Clear();
  FPairList = nullptr;
  FSaturationFix = options.SaturationFix;
  FLightnessFix = options.LightnessFix;
  // Rows still arriving take the fixes as they are prepared.
  if (!FArriving) ApplyFixes(options.SaturationFix, options.LightnessFix);
}

void TVeBaseCellImage::BeginArriving() {
  if (!FArriving) return;
  if (!PreparesByBands()) {
    FArriving->WaitRowsOrAbort(FHeight);
    VeForRanges(FHeight, 64, FCancel, [&](int first, int last) {
      FillRows(*FSource, first, last);
      ApplyFixesRows(TVeColorFix(FLightnessFix, FSaturationFix), first, last);
    });
    FArriving = nullptr;
    FSource = nullptr;
    return;
  }
  FLin.resize(size_t(FWidth) * FHeight * 3);
  FReadyRows.store(0, std::memory_order_relaxed);
}

void TVeBaseCellImage::PrepareArrived(int rows) {
  rows = std::min(rows, FHeight);
  std::lock_guard<std::mutex> lock(FReadyLock);
  int ready = FReadyRows.load(std::memory_order_relaxed);
  if (ready >= rows) return;
  // Everything that has arrived by now, so that the next callers seldom wait.
  const int arrived = FArriving->WaitRows(rows);
  if (arrived < 0) VeAbort();
  const int last = std::min(arrived, FHeight) - 1;
  const TVeColorFix fix(FLightnessFix, FSaturationFix);
  FillRows(*FSource, ready, last);
  ApplyFixesRows(fix, ready, last);
  PrepareBand(ready, last);
  // What LoadWorkingPixels does for the whole image, row by row.
  for (int y = ready; y <= last; ++y) {
    double* d = FLin.data() + size_t(y) * FWidth * 3;
    for (int x = 0; x < FWidth; ++x, d += 3) {
      TVePixel& p = *GetPixels(x, y);
      if (FGray) p.MakeGray();
      p.GetLinGray();
      const TVeLinRGBColor& v = p.GetLinRGB();
      d[0] = v.R;
      d[1] = v.G;
      d[2] = v.B;
    }
  }
  FReadyRows.store(last + 1, std::memory_order_release);
}

void TVeBaseCellImage::LoadWorkingPixels() {
  if (FGray) MakeGray();
  PrepareAll();
  // Written once, by the workers row by row, rather than zero-filled and then overwritten.
  FLin.resize(size_t(FWidth) * FHeight * 3);
  VeForRanges(FHeight, 64, FCancel, [&](int first, int last) {
    double* d = FLin.data() + size_t(first) * FWidth * 3;
    for (int y = first; y <= last; ++y)
      for (int x = 0; x < FWidth; ++x, d += 3) {
        const TVeLinRGBColor& v = GetPixels(x, y)->GetLinRGB();
        d[0] = v.R;
        d[1] = v.G;
        d[2] = v.B;
      }
  });
}

void TVeBaseCellImage::StoreWorkingPixels() {
  VeForRanges(FHeight, 64, nullptr, [&](int first, int last) {
    const double* d = FLin.data() + size_t(first) * FWidth * 3;
    for (int y = first; y <= last; ++y)
      for (int x = 0; x < FWidth; ++x, d += 3)
        GetPixels(x, y)->SetLinRGB(d[0], d[1], d[2]);
  });
}

void TVeBaseCellImage::SetRowSpan(int i) {
  FRowTop = i * FCellHeight;
  FRowBottom = FRowTop + (i == FCellsDown - 1 ? FLastRowHeight : FCellHeight);
}

TVeCellRect TVeBaseCellImage::CellRect(int j) const {
  TVeCellRect r;
  r.Top = FRowTop;
  r.Bottom = FRowBottom;
  if (!FMirror) {
    r.Left = j * FCellWidth;
    r.Right = r.Left + (j == FCellsAcross - 1 ? FLastColumnWidth : FCellWidth);
  } else if (j == 0) {
    // Mirrored rows start at the physical right edge, where the narrow column lies.
    r.Left = 0;
    r.Right = FLastColumnWidth;
  } else {
    r.Left = j * FCellWidth + FLastColumnWidth - FCellWidth;
    r.Right = j * FCellWidth + FLastColumnWidth;
  }
  return r;
}

int TVeBaseCellImage::NearestIndex(const TVeCellPalette& pal, const double* p) const {
  return FGray ? NearestLum(Lum(p), pal.CacheCount(), pal.CacheLum())
               : NearestColor(p, pal.CacheCount(), pal.CacheLin());
}

template <int M, bool Gray>
double TVeBaseCellImage::TrialCost(const TVeCellRect& rect, bool mirror, TVeCellHelper& s,
                                   const TVeCellPalette& pal) const {
  using K = TKernel<M>;
  const int S = s.FStride;
  const int w = rect.Width(), h = rect.Height();
  const int n = pal.CacheCount();
  const double* cl = pal.CacheLin();
  const double* lum = pal.CacheLum();
  const double st = FStrength;
  const int step = mirror ? -3 : 3;
  double inCell = 0, spill = 0;

  if constexpr (Gray) {
    // Gray pixels stay gray under gray errors, so one channel carries the whole trial.
    double* g = s.FGrayBuf.data();
    std::fill(s.FGrayBuf.begin(), s.FGrayBuf.end(), 0.0);
    for (int y = 0; y < h; ++y) {
      const double* src = PixelAt(rect.Left, rect.Top + y, mirror);
      double* row = g + y * S + 2;
      for (int x = 0; x < w; ++x, src += step)
        row[x] = Lum(src);
    }
    for (int y = 0; y < h; ++y) {
      double* row = g + y * S + 2;
      int* idx = s.FIndex.data() + y * FCellWidth;
      for (int x = 0; x < w; ++x) {
        const double v = row[x];
        const double pv[3] = {v, v, v};
        const int k = NearestLum(Lum(pv), n, lum);
        idx[x] = k;
        if constexpr (M != 0) {
          const double e = (v - lum[k]) * st;
          double* p = row + x;
          for (const TTap& t : K::Taps)
            p[t.Dy * S + t.Dx] += e * t.W / K::Div;
        }
      }
    }
    for (int y = 0; y < h; ++y) {
      const double* src = PixelAt(rect.Left, rect.Top + y, mirror);
      const int* idx = s.FIndex.data() + y * FCellWidth;
      for (int x = 0; x < w; ++x, src += step)
        inCell += Dist(src, cl + 3 * idx[x]);
    }
    if constexpr (M != 0) {
      auto norm1 = [](double e) { return VeCellWR * e * e + VeCellWG * e * e + VeCellWB * e * e; };
      for (int y = 0; y < h; ++y) {
        const double* row = g + y * S + 2;
        spill += norm1(row[w]);
        spill += norm1(row[w + 1]);
      }
      for (int y = h; y < h + 2; ++y) {
        const double* row = g + y * S + 2;
        for (int x = 0; x < w + 2; ++x)
          spill += norm1(row[x]);
      }
    }
  } else {
    double* b = s.FBuf.data();
    std::fill(s.FBuf.begin(), s.FBuf.end(), 0.0);
    for (int y = 0; y < h; ++y) {
      const double* src = PixelAt(rect.Left, rect.Top + y, mirror);
      double* row = b + (y * S + 2) * 3;
      for (int x = 0; x < w; ++x, src += step) {
        row[x * 3] = src[0];
        row[x * 3 + 1] = src[1];
        row[x * 3 + 2] = src[2];
      }
    }
    for (int y = 0; y < h; ++y) {
      double* row = b + (y * S + 2) * 3;
      for (int x = 0; x < w; ++x) {
        double* p = row + x * 3;
        const double* c = cl + 3 * NearestColor(p, n, cl);
        const double er = (p[0] - c[0]) * st, eg = (p[1] - c[1]) * st, eb = (p[2] - c[2]) * st;
        p[0] = c[0];
        p[1] = c[1];
        p[2] = c[2];
        if constexpr (M != 0) {
          for (const TTap& t : K::Taps) {
            double* q = p + (t.Dy * S + t.Dx) * 3;
            q[0] += er * t.W / K::Div;
            q[1] += eg * t.W / K::Div;
            q[2] += eb * t.W / K::Div;
          }
        }
      }
    }
    for (int y = 0; y < h; ++y) {
      const double* src = PixelAt(rect.Left, rect.Top + y, mirror);
      const double* row = b + (y * S + 2) * 3;
      for (int x = 0; x < w; ++x, src += step)
        inCell += Dist(src, row + x * 3);
    }
    if constexpr (M != 0) {
      for (int y = 0; y < h; ++y) {
        const double* row = b + (y * S + 2) * 3;
        spill += Norm(row + w * 3);
        spill += Norm(row + (w + 1) * 3);
      }
      for (int y = h; y < h + 2; ++y) {
        const double* row = b + (y * S + 2) * 3;
        for (int x = 0; x < w + 2; ++x)
          spill += Norm(row + x * 3);
      }
    }
  }
  return inCell + spill;
}

double TVeBaseCellImage::CellCost(const TVeCellRect& rect, TVeCellHelper& scratch,
                                  const TVeCellPalette& candidate) const {
  return CellCostAt(rect, FMirror, scratch, candidate);
}

double TVeBaseCellImage::CellCostAt(const TVeCellRect& rect, bool mirror, TVeCellHelper& scratch,
                                    const TVeCellPalette& candidate) const {
  if (rect.Width() > FCellWidth || rect.Height() > FCellHeight || rect.Empty()) VeInternalError();
  if (candidate.CacheCount() == 0) VeInternalError();
#define VE_TRIAL(m)                                                                                \
  case m:                                                                                          \
    return FGray ? TrialCost<m, true>(rect, mirror, scratch, candidate)                            \
                 : TrialCost<m, false>(rect, mirror, scratch, candidate);
  switch (FDitherMethod) {
    VE_TRIAL(1)
    VE_TRIAL(2)
    VE_TRIAL(3)
    VE_TRIAL(4)
    VE_TRIAL(5)
    VE_TRIAL(6)
    VE_TRIAL(7)
    VE_TRIAL(8)
  default:
    return FGray ? TrialCost<0, true>(rect, mirror, scratch, candidate)
                 : TrialCost<0, false>(rect, mirror, scratch, candidate);
  }
#undef VE_TRIAL
}

// The same trial as TrialCost for VeCellBatch two-colour candidates at once; lane k of every
// record belongs to candidate k. Each lane does exactly the arithmetic of TrialCost.
template <int M, bool Gray>
void TVeBaseCellImage::TrialCostBatch(const TVeCellRect& rect, bool mirror, TVeCellHelper& s,
                                      const TVeCellPalette* const* pals, double* costs) const {
  using K = TKernel<M>;
  constexpr int L = VeCellBatch;
  const int S = s.FStride;
  const int w = rect.Width(), h = rect.Height();
  const double st = FStrength;
  const int step = mirror ? -3 : 3;
  double c0[3][L], c1[3][L], y0[L], y1[L];
  for (int k = 0; k < L; ++k) {
    const double* cl = pals[k]->CacheLin();
    for (int c = 0; c < 3; ++c) {
      c0[c][k] = cl[c];
      c1[c][k] = cl[3 + c];
    }
    y0[k] = pals[k]->CacheLum()[0];
    y1[k] = pals[k]->CacheLum()[1];
  }
  double inCell[L] = {}, spill[L] = {};
  constexpr int C = Gray ? 1 : 3; // channels per lane
  constexpr int R = C * L;        // doubles per record
  double* b = s.FBatch.data();
  // Zero what the copy does not overwrite: the pads beside the cell and the rows below.
  for (int y = 0; y < h; ++y) {
    double* row = b + size_t(y) * S * R;
    std::fill(row, row + 2 * R, 0.0);
    std::fill(row + (w + 2) * R, row + S * R, 0.0);
  }
  std::fill(b + size_t(h) * S * R, b + size_t(h + 2) * S * R, 0.0);
  for (int y = 0; y < h; ++y) {
    const double* src = PixelAt(rect.Left, rect.Top + y, mirror);
    double* row = b + (size_t(y) * S + 2) * R;
    for (int x = 0; x < w; ++x, src += step) {
      double* p = row + x * R;
      if constexpr (Gray) {
        const double v = Lum(src);
        for (int k = 0; k < L; ++k)
          p[k] = v;
      } else {
        for (int c = 0; c < 3; ++c)
          for (int k = 0; k < L; ++k)
            p[c * L + k] = src[c];
      }
    }
  }
  for (int y = 0; y < h; ++y) {
    double* row = b + (size_t(y) * S + 2) * R;
    uint8_t* idx = s.FBatchIndex.data() + size_t(y) * FCellWidth * L;
    for (int x = 0; x < w; ++x) {
      double* p = row + x * R;
      double e[C][L];
      for (int k = 0; k < L; ++k) {
        if constexpr (Gray) {
          const double v = p[k];
          const double pv[3] = {v, v, v};
          const double yp = Lum(pv);
          const double d0 = yp > y0[k] ? yp - y0[k] : y0[k] - yp;
          const double d1 = yp > y1[k] ? yp - y1[k] : y1[k] - yp;
          const bool one = d1 < d0;
          idx[x * L + k] = one;
          e[0][k] = (v - (one ? y1[k] : y0[k])) * st;
        } else {
          const double r = p[k], g = p[L + k], bl = p[2 * L + k];
          const double pr[3] = {r, g, bl};
          const double q0[3] = {c0[0][k], c0[1][k], c0[2][k]};
          const double q1[3] = {c1[0][k], c1[1][k], c1[2][k]};
          const bool one = Dist(pr, q1) < Dist(pr, q0);
          const double* q = one ? q1 : q0;
          e[0][k] = (r - q[0]) * st;
          e[1][k] = (g - q[1]) * st;
          e[2][k] = (bl - q[2]) * st;
          p[k] = q[0];
          p[L + k] = q[1];
          p[2 * L + k] = q[2];
        }
      }
      if constexpr (M != 0) {
        for (const TTap& t : K::Taps) {
          double* q = p + (t.Dy * S + t.Dx) * R;
          for (int c = 0; c < C; ++c)
            for (int k = 0; k < L; ++k)
              q[c * L + k] += e[c][k] * t.W / K::Div;
        }
      }
    }
  }
  for (int y = 0; y < h; ++y) {
    const double* src = PixelAt(rect.Left, rect.Top + y, mirror);
    const double* row = b + (size_t(y) * S + 2) * R;
    const uint8_t* idx = s.FBatchIndex.data() + size_t(y) * FCellWidth * L;
    for (int x = 0; x < w; ++x, src += step)
      for (int k = 0; k < L; ++k) {
        if constexpr (Gray) {
          const double q[3] = {idx[x * L + k] ? c1[0][k] : c0[0][k],
                               idx[x * L + k] ? c1[1][k] : c0[1][k],
                               idx[x * L + k] ? c1[2][k] : c0[2][k]};
          inCell[k] += Dist(src, q);
        } else {
          const double* p = row + x * R;
          const double q[3] = {p[k], p[L + k], p[2 * L + k]};
          inCell[k] += Dist(src, q);
        }
      }
  }
  if constexpr (M != 0) {
    auto norm = [&](const double* p, int k) {
      if constexpr (Gray) {
        const double e = p[k];
        return VeCellWR * e * e + VeCellWG * e * e + VeCellWB * e * e;
      } else {
        const double e[3] = {p[k], p[L + k], p[2 * L + k]};
        return Norm(e);
      }
    };
    for (int y = 0; y < h; ++y) {
      const double* row = b + (size_t(y) * S + 2) * R;
      for (int k = 0; k < L; ++k) {
        spill[k] += norm(row + w * R, k);
        spill[k] += norm(row + (w + 1) * R, k);
      }
    }
    for (int y = h; y < h + 2; ++y) {
      const double* row = b + (size_t(y) * S + 2) * R;
      for (int x = 0; x < w + 2; ++x)
        for (int k = 0; k < L; ++k)
          spill[k] += norm(row + x * R, k);
    }
  }
  for (int k = 0; k < L; ++k)
    costs[k] = inCell[k] + spill[k];
}

// The lane helpers are inline and file-local, so how a vector would be returned across an ABI
// boundary does not matter.
#pragma GCC diagnostic ignored "-Wpsabi"
namespace {
// One lane per candidate, in vectors of V (two doubles, the width every x86-64 processor
// has, or four in the AVX2 build), VeCellBatch / width of them side by side. Plain vector
// arithmetic: each lane rounds exactly as the scalar code does (neither build has fused
// multiply-add, and none is asked for).
typedef double TLanes2 __attribute__((vector_size(2 * sizeof(double))));
typedef double TLanes4 __attribute__((vector_size(4 * sizeof(double))));
template <class V> constexpr int LaneWidth = int(sizeof(V) / sizeof(double));
static_assert(VeCellBatch % 4 == 0);

template <class V> [[gnu::always_inline]] inline V Splat(double v) {
  V r = {};
  for (int i = 0; i < LaneWidth<V>; ++i)
    r[i] = v;
  return r;
}
template <class V> [[gnu::always_inline]] inline V LaneDist(V r, V g, V b, V cr, V cg, V cb) {
  const V dr = r - cr, dg = g - cg, db = b - cb;
  return VeCellWR * dr * dr + VeCellWG * dg * dg + VeCellWB * db * db;
}
// Spreads a pixel's error over the kernel's taps, unrolled so that every offset and weight
// is a constant; each lane still computes e * W / Div in that order.
template <class K, int R, class V>
[[gnu::always_inline]] inline void SpreadLanes(V* p, int stride, const V* e) {
  [&]<size_t... I>(std::index_sequence<I...>) __attribute__((always_inline)) {
    (
        [&]() __attribute__((always_inline)) {
          constexpr TTap t = K::Taps[I];
          V* q = p + (t.Dy * stride + t.Dx) * R;
          for (int v = 0; v < R; ++v)
            q[v] += e[v] * double(t.W) / double(K::Div);
        }(),
        ...);
  }
  (std::make_index_sequence<std::size(K::Taps)>());
}
template <class V> [[gnu::always_inline]] inline V LaneNorm(const V* e) {
  return VeCellWR * e[0] * e[0] + VeCellWG * e[1] * e[1] + VeCellWB * e[2] * e[2];
}
} // namespace

// TrialCost in colour mode for VeCellBatch candidates of up to N colours at once, lane k
// holding candidate k. A lane with fewer colours repeats its last one, which never wins the
// strict comparison of the nearest search, so every lane finds what the scalar search finds.
template <int M, int N>
void TVeBaseCellImage::TrialCostLanes(const TVeCellRect& rect, bool mirror, TVeCellHelper& s,
                                      const TVeCellPalette* const* pals, double* costs) const {
  TrialCostLanesBody<M, N, TLanes2>(rect, mirror, s, pals, costs);
}

#if VE_WIDE_VECTORS
template <int M, int N>
__attribute__((target("avx2"))) void
TVeBaseCellImage::TrialCostLanesAvx2(const TVeCellRect& rect, bool mirror, TVeCellHelper& s,
                                     const TVeCellPalette* const* pals, double* costs) const {
  TrialCostLanesBody<M, N, TLanes4>(rect, mirror, s, pals, costs);
}
#endif

template <int M, int N, class V>
inline void
TVeBaseCellImage::TrialCostLanesBody(const TVeCellRect& rect, bool mirror, TVeCellHelper& s,
                                     const TVeCellPalette* const* pals, double* costs) const {
  using K = TKernel<M>;
  constexpr int G = VeCellBatch / LaneWidth<V>;
  constexpr int R = 3 * G; // vectors per record: red, green, blue of every group
  const int S = s.FStride;
  const int w = rect.Width(), h = rect.Height();
  const V st = Splat<V>(FStrength);
  const int step = mirror ? -3 : 3;
  V col[N][R];
  for (int k = 0; k < VeCellBatch; ++k) {
    const double* cl = pals[k]->CacheLin();
    const int n = pals[k]->CacheCount();
    for (int i = 0; i < N; ++i)
      for (int c = 0; c < 3; ++c)
        col[i][c * G + k / LaneWidth<V>][k % LaneWidth<V>] = cl[3 * (i < n ? i : n - 1) + c];
  }
  auto* b = reinterpret_cast<V*>((reinterpret_cast<uintptr_t>(s.FBatch.data()) + sizeof(V) - 1) &
                                 ~uintptr_t(sizeof(V) - 1));
  const V zero = Splat<V>(0);
  for (int y = 0; y < h; ++y) {
    V* row = b + size_t(y) * S * R;
    std::fill(row, row + 2 * R, zero);
    std::fill(row + (w + 2) * R, row + S * R, zero);
  }
  std::fill(b + size_t(h) * S * R, b + size_t(h + 2) * S * R, zero);
  for (int y = 0; y < h; ++y) {
    const double* src = PixelAt(rect.Left, rect.Top + y, mirror);
    V* p = b + (size_t(y) * S + 2) * R;
    for (int x = 0; x < w; ++x, src += step, p += R)
      for (int c = 0; c < 3; ++c)
        for (int g = 0; g < G; ++g)
          p[c * G + g] = Splat<V>(src[c]);
  }
  for (int y = 0; y < h; ++y) {
    V* p = b + (size_t(y) * S + 2) * R;
    for (int x = 0; x < w; ++x, p += R) {
      V e[R];
      for (int g = 0; g < G; ++g) {
        const V r = p[g], gr = p[G + g], bl = p[2 * G + g];
        V best = LaneDist(r, gr, bl, col[0][g], col[0][G + g], col[0][2 * G + g]);
        V cr = col[0][g], cg = col[0][G + g], cb = col[0][2 * G + g];
        for (int i = 1; i < N; ++i) {
          const V d = LaneDist(r, gr, bl, col[i][g], col[i][G + g], col[i][2 * G + g]);
          const auto less = d < best;
          best = less ? d : best;
          cr = less ? col[i][g] : cr;
          cg = less ? col[i][G + g] : cg;
          cb = less ? col[i][2 * G + g] : cb;
        }
        e[g] = (r - cr) * st;
        e[G + g] = (gr - cg) * st;
        e[2 * G + g] = (bl - cb) * st;
        p[g] = cr;
        p[G + g] = cg;
        p[2 * G + g] = cb;
      }
      if constexpr (M != 0) SpreadLanes<K, R>(p, S, e);
    }
  }
  V inCell[G], spill[G];
  for (int g = 0; g < G; ++g)
    inCell[g] = spill[g] = zero;
  for (int y = 0; y < h; ++y) {
    const double* src = PixelAt(rect.Left, rect.Top + y, mirror);
    const V* p = b + (size_t(y) * S + 2) * R;
    for (int x = 0; x < w; ++x, src += step, p += R) {
      const V sr = Splat<V>(src[0]), sg = Splat<V>(src[1]), sb = Splat<V>(src[2]);
      for (int g = 0; g < G; ++g)
        inCell[g] += LaneDist(sr, sg, sb, p[g], p[G + g], p[2 * G + g]);
    }
  }
  if constexpr (M != 0) {
    auto norm = [](const V* p, int g) __attribute__((always_inline)) {
      const V e[3] = {p[g], p[G + g], p[2 * G + g]};
      return LaneNorm(e);
    };
    for (int y = 0; y < h; ++y) {
      const V* row = b + (size_t(y) * S + 2) * R;
      for (int g = 0; g < G; ++g) {
        spill[g] += norm(row + w * R, g);
        spill[g] += norm(row + (w + 1) * R, g);
      }
    }
    for (int y = h; y < h + 2; ++y) {
      const V* row = b + (size_t(y) * S + 2) * R;
      for (int x = 0; x < w + 2; ++x)
        for (int g = 0; g < G; ++g)
          spill[g] += norm(row + x * R, g);
    }
  }
  for (int k = 0; k < VeCellBatch; ++k)
    costs[k] =
        inCell[k / LaneWidth<V>][k % LaneWidth<V>] + spill[k / LaneWidth<V>][k % LaneWidth<V>];
}

void TVeBaseCellImage::CellCosts(const TVeCellRect& rect, bool mirror, TVeCellHelper& s,
                                 const TVeCellPalette* const* pals, int count,
                                 double* costs) const {
  // Lanes in colour mode take up to four colours, in gray mode pairs only.
  int most = 0;
  bool lanes = count > 1;
  for (int i = 0; i < count && lanes; ++i) {
    const int n = pals[i]->CacheCount();
    lanes = n >= 1 && (FGray ? n == 2 : n <= 4);
    most = std::max(most, n);
  }
  if (!lanes || rect.Width() > FCellWidth || rect.Height() > FCellHeight || rect.Empty()) {
    for (int i = 0; i < count; ++i)
      costs[i] = CellCostAt(rect, mirror, s, *pals[i]);
    return;
  }
  const TVeCellPalette* lane[VeCellBatch];
  for (int i = 0; i < VeCellBatch; ++i)
    lane[i] = pals[i < count ? i : count - 1];
  double out[VeCellBatch];
  auto colour = [&](auto m) {
    constexpr int M = decltype(m)::value;
    auto run = [&](auto n) {
      constexpr int N = decltype(n)::value;
#if VE_WIDE_VECTORS
      if (FWideVectors) {
        TrialCostLanesAvx2<M, N>(rect, mirror, s, lane, out);
        return;
      }
#endif
      TrialCostLanes<M, N>(rect, mirror, s, lane, out);
    };
    if (most <= 2)
      run(std::integral_constant<int, 2>());
    else if (most == 3)
      run(std::integral_constant<int, 3>());
    else
      run(std::integral_constant<int, 4>());
  };
  auto run = [&](auto m) {
    constexpr int M = decltype(m)::value;
    if (FGray)
      TrialCostBatch<M, true>(rect, mirror, s, lane, out);
    else
      colour(m);
  };
  switch (FDitherMethod) {
  case 1:
    run(std::integral_constant<int, 1>());
    break;
  case 2:
    run(std::integral_constant<int, 2>());
    break;
  case 3:
    run(std::integral_constant<int, 3>());
    break;
  case 4:
    run(std::integral_constant<int, 4>());
    break;
  case 5:
    run(std::integral_constant<int, 5>());
    break;
  case 6:
    run(std::integral_constant<int, 6>());
    break;
  case 7:
    run(std::integral_constant<int, 7>());
    break;
  case 8:
    run(std::integral_constant<int, 8>());
    break;
  default:
    run(std::integral_constant<int, 0>());
    break;
  }
  for (int i = 0; i < count; ++i)
    costs[i] = out[i];
}

int TVeBaseCellImage::SearchRange(const TVeCellPaletteList& list, const TVeCellRect& rect,
                                  TVeCellHelper& scratch, int first, int last, double& cost) const {
  return SearchRangeAt(list, rect, FMirror, scratch, first, last, cost);
}

int TVeBaseCellImage::SearchRangeAt(const TVeCellPaletteList& list, const TVeCellRect& rect,
                                    bool mirror, TVeCellHelper& scratch, int first, int last,
                                    double& cost) const {
  int best = -1;
  const TVeCellPalette* batch[VeCellBatch];
  int index[VeCellBatch];
  double costs[VeCellBatch];
  int n = 0;
  // Candidates are costed in batches but compared strictly in list order.
  auto flush = [&] {
    CellCosts(rect, mirror, scratch, batch, n, costs);
    for (int j = 0; j < n; ++j)
      if (best < 0 || costs[j] < cost) {
        best = index[j];
        cost = costs[j];
      }
    n = 0;
  };
  for (int i = first; i <= last; ++i) {
    const TVeCellPalette* p = list.GetPalette(i);
    if (!p->Enabled) continue;
    batch[n] = p;
    index[n++] = i;
    if (n == VeCellBatch) flush();
  }
  if (n) flush();
  return best;
}

int TVeBaseCellImage::FindOptimalColors(const TVeCellPaletteList& list, const TVeCellRect& rect,
                                        double& cost) {
  if (ProcessorCount() < 2)
    return SearchRange(list, rect, *FSearchScratch, 0, list.Count() - 1, cost);
  TVeRangeSplitter splitter;
  splitter.Init(list.Count(), 0);
  TVeJobList jobs;
  int first, last;
  while (splitter.Next(first, last))
    new TVeCellImageFindOptimalColorsJob(&jobs, this, &list, rect, first, last);
  jobs.Run(FCancel);
  int best = -1;
  for (int i = 0; i < jobs.Count(); ++i) {
    const auto* job = jobs.Job<TVeCellImageFindOptimalColorsJob>(i);
    if (job->Best < 0) continue;
    if (best < 0 || job->BestCost < cost) {
      best = job->Best;
      cost = job->BestCost;
    }
  }
  return best;
}

namespace {
// The bounded search of a range of candidates on a worker thread.
class TBoundedJob : public TVeJob {
public:
  TBoundedJob(TVeJobList* list, TVeBaseCellImage* image, const TVeCellPaletteList* palettes,
              const TVeCellRect& rect, const TVeBaseCellImage::TPairCell& cell, int first, int last)
      : TVeJob(list), Image(image), Palettes(palettes), Scratch(image->TakeScratch()), Rect(rect),
        Cell(cell), First(first), Last(last) {}
  ~TBoundedJob() override { Image->GiveScratch(Scratch); }
  void Execute() override {
    Best = Image->BoundedRange(*Palettes, Rect, Cell, *Scratch, First, Last, BestCost);
  }
  TVeBaseCellImage* Image;
  const TVeCellPaletteList* Palettes;
  TVeCellHelper* Scratch;
  TVeCellRect Rect;
  const TVeBaseCellImage::TPairCell& Cell;
  int First, Last;
  int Best = -1;
  double BestCost = 0;
};

// Entries whose pairs seed the search.
constexpr int SeedEntries = 6;
} // namespace

int TVeBaseCellImage::BoundedRange(const TVeCellPaletteList& list, const TVeCellRect& rect,
                                   const TPairCell& cell, TVeCellHelper& scratch, int first,
                                   int last, double& cost) const {
  return BoundedRangeAt(list, rect, FMirror, cell, scratch, first, last, cost);
}

int TVeBaseCellImage::BoundedRangeAt(const TVeCellPaletteList& list, const TVeCellRect& rect,
                                     bool mirror, const TPairCell& cell, TVeCellHelper& scratch,
                                     int first, int last, double& cost) const {
  const int np = rect.Width() * rect.Height();
  const double* dist = cell.Dist.data();
  // The trial's in-cell term adds, pixel by pixel in the same order, a distance at least as
  // large as the nearer of the pair's two colours, and the spill only adds to it; so this sum,
  // and every partial sum of it, is a lower bound of the cost. It stops once above limit.
  // With more colours the same holds for the nearest of them.
  // Each candidate's sum so far and the pixels it covers, so that a later, larger limit
  // carries on where an earlier one stopped: the same additions in the same order.
  const int count = last >= first ? last - first + 1 : 0;
  std::vector<double>& partial = scratch.FBoundSums;
  std::vector<int>& covered = scratch.FBoundCovered;
  partial.assign(size_t(count), 0.0);
  covered.assign(size_t(count), 0);
  auto bound = [&](int i, double limit) {
    const int n = FPairCount[size_t(i)];
    if (n == 0) return 0.0;
    const int* e = FPairEntries.data() + 4 * size_t(i);
    const double* d0 = dist + size_t(e[0]) * np;
    double b = partial[size_t(i - first)];
    int k = covered[size_t(i - first)];
    if (b > limit) return b;
    if (n == 1) {
      while (k < np) {
        b += d0[k++];
        if (b > limit) break;
      }
    } else if (n == 2) {
      const double* d1 = dist + size_t(e[1]) * np;
      while (k < np) {
        b += d0[k] < d1[k] ? d0[k] : d1[k];
        ++k;
        if (b > limit) break;
      }
    } else if (n == 3) {
      const double* d1 = dist + size_t(e[1]) * np;
      const double* d2 = dist + size_t(e[2]) * np;
      while (k < np) {
        const double m = d0[k] < d1[k] ? d0[k] : d1[k];
        b += d2[k] < m ? d2[k] : m;
        ++k;
        if (b > limit) break;
      }
    } else {
      const double* d1 = dist + size_t(e[1]) * np;
      const double* d2 = dist + size_t(e[2]) * np;
      const double* d3 = dist + size_t(e[3]) * np;
      while (k < np) {
        const double m01 = d0[k] < d1[k] ? d0[k] : d1[k];
        const double m23 = d2[k] < d3[k] ? d2[k] : d3[k];
        b += m01 < m23 ? m01 : m23;
        ++k;
        if (b > limit) break;
      }
    }
    partial[size_t(i - first)] = b;
    covered[size_t(i - first)] = k;
    return b;
  };
  // A seed among the pairs of the entries nearest the cell as a whole; candidates of more
  // colours all compete for it.
  const int nearest = std::min<int>(SeedEntries, int(cell.Closest.size()));
  auto near = [&](int entry) {
    for (int k = 0; k < nearest; ++k)
      if (cell.Closest[size_t(k)] == entry) return true;
    return false;
  };
  int seed = -1;
  double seedBound = 0;
  for (int i = first; i <= last; ++i) {
    if (!list.GetPalette(i)->Enabled) continue;
    const int n = FPairCount[size_t(i)];
    const int* e = FPairEntries.data() + 4 * size_t(i);
    if (seed >= 0 && (n == 0 || (n <= 2 && (!near(e[0]) || !near(e[n - 1]))))) continue;
    // Only a bound below the seed's matters, so the sum may stop once past it.
    const double b = bound(i, seed < 0 ? std::numeric_limits<double>::infinity() : seedBound);
    if (seed < 0 || b < seedBound) {
      seed = i;
      seedBound = b;
    }
  }
  if (seed < 0) return -1;
  int best = seed;
  cost = CellCostAt(rect, mirror, scratch, *list.GetPalette(seed));
  // Then every candidate that might still beat it, in list order, so ties go to the first.
  const TVeCellPalette* batch[VeCellBatch];
  int index[VeCellBatch];
  double costs[VeCellBatch];
  int n = 0;
  auto flush = [&] {
    CellCosts(rect, mirror, scratch, batch, n, costs);
    for (int j = 0; j < n; ++j)
      if (costs[j] < cost || (costs[j] == cost && index[j] < best)) {
        best = index[j];
        cost = costs[j];
      }
    n = 0;
  };
  for (int i = first; i <= last; ++i) {
    const TVeCellPalette* candidate = list.GetPalette(i);
    if (i == seed || !candidate->Enabled) continue;
    const double b = bound(i, cost);
    if (b > cost || (b == cost && i > best)) continue;
    batch[n] = candidate;
    index[n++] = i;
    if (n == VeCellBatch) flush();
  }
  if (n) flush();
  return best;
}

void TVeBaseCellImage::PreparePairEntries(const TVeCellPaletteList& list) {
  const int entries = FPalette->Count();
  if (FPairList == &list && FPairCount.size() == size_t(list.Count())) return;
  FPairList = &list;
  FPairEntries.assign(4 * size_t(list.Count()), -1);
  FPairCount.assign(size_t(list.Count()), 0);
  // Workers read the entries' values from here, never through the colour records' caches.
  FPairLin.resize(size_t(entries) * 3);
  FPairRep.resize(size_t(entries));
  std::map<std::array<double, 3>, int> byValue; // the first entry of each value
  for (int c = 0; c < entries; ++c) {
    const TVeLinRGBColor v = FPalette->GetLinRGB(c);
    FPairLin[size_t(c) * 3] = v.R;
    FPairLin[size_t(c) * 3 + 1] = v.G;
    FPairLin[size_t(c) * 3 + 2] = v.B;
    FPairRep[size_t(c)] = byValue.emplace(std::array<double, 3>{v.R, v.G, v.B}, c).first->second;
  }
  for (int i = 0; i < list.Count(); ++i) {
    const TVeCellPalette* cand = list.GetPalette(i);
    const double* cl = cand->CacheLin();
    int* e = FPairEntries.data() + 4 * size_t(i);
    // A candidate is bounded only when each of its colours is exactly an entry's.
    const auto* p = dynamic_cast<const TVeCellPaperIncPalette*>(cand);
    if (p && cand->CacheCount() == 2 && p->Paper >= 0 && p->Ink >= 0 && p->Paper < entries &&
        p->Ink < entries) {
      const double* a = FPairLin.data() + 3 * p->Paper;
      const double* b = FPairLin.data() + 3 * p->Ink;
      if (a[0] == cl[0] && a[1] == cl[1] && a[2] == cl[2] && b[0] == cl[3] && b[1] == cl[4] &&
          b[2] == cl[5]) {
        e[0] = FPairRep[size_t(p->Paper)];
        e[1] = FPairRep[size_t(p->Ink)];
        FPairCount[size_t(i)] = 2;
      }
      continue;
    }
    const int n = cand->CacheCount();
    if (p || n < 1 || n > 4) continue;
    int found = 0;
    for (int k = 0; k < n; ++k) {
      auto at = byValue.find({cl[3 * k], cl[3 * k + 1], cl[3 * k + 2]});
      if (at == byValue.end()) break;
      e[found++] = at->second;
    }
    if (found == n) FPairCount[size_t(i)] = n;
  }
}

namespace {
// The distance of every pixel to every entry, entry-major, and each entry's sum in pixel
// order: the entries side by side in the lanes of V, each lane with Dist's arithmetic.
// lanes holds, per group of entries, the group's reds, greens and blues (unused lanes zero).
template <class V>
[[gnu::always_inline]] inline void PairDistancesBody(const double* const* rows, int w, int h,
                                                     int step, const double* lanes, int entries,
                                                     int np, double* dist, double* sums) {
  constexpr int L = LaneWidth<V>;
  for (int g = 0; g * L < entries; ++g) {
    V cr, cg, cb;
    __builtin_memcpy(&cr, lanes + (3 * g) * L, sizeof(V));
    __builtin_memcpy(&cg, lanes + (3 * g + 1) * L, sizeof(V));
    __builtin_memcpy(&cb, lanes + (3 * g + 2) * L, sizeof(V));
    const int n = std::min(L, entries - g * L);
    double* out = dist + size_t(g) * L * np;
    V sum = {};
    for (int y = 0, k = 0; y < h; ++y) {
      const double* src = rows[y];
      for (int x = 0; x < w; ++x, src += step, ++k) {
        const V d = LaneDist(Splat<V>(src[0]), Splat<V>(src[1]), Splat<V>(src[2]), cr, cg, cb);
        sum += d;
        for (int j = 0; j < n; ++j)
          out[size_t(j) * np + size_t(k)] = d[j];
      }
    }
    for (int j = 0; j < n; ++j)
      sums[g * L + j] = sum[j];
  }
}

void PairDistances(const double* const* rows, int w, int h, int step, const double* lanes,
                   int entries, int np, double* dist, double* sums) {
  PairDistancesBody<TLanes2>(rows, w, h, step, lanes, entries, np, dist, sums);
}

#if VE_WIDE_VECTORS
__attribute__((target("avx2"))) void PairDistancesAvx2(const double* const* rows, int w, int h,
                                                       int step, const double* lanes, int entries,
                                                       int np, double* dist, double* sums) {
  PairDistancesBody<TLanes4>(rows, w, h, step, lanes, entries, np, dist, sums);
}
#endif
} // namespace

void TVeBaseCellImage::MakePairCell(const TVeCellRect& rect, bool mirror, TPairCell& cell) const {
  const int w = rect.Width(), h = rect.Height(), np = w * h;
  const int entries = int(FPairLin.size() / 3);
  const double* lin = FPairLin.data();
  const int* rep = FPairRep.data();
  cell.Dist.resize(size_t(entries) * size_t(np));
  // Candidates name only the first entry of each value (see PreparePairEntries); the others,
  // equal to it, take its sum (their distances are the same and never read).
  std::vector<double>& sums = cell.Sums;
  sums.assign(size_t(entries), 0.0);
  const int L = VE_WIDE_VECTORS && FWideVectors ? 4 : 2;
  const int groups = (entries + L - 1) / L;
  cell.Lanes.assign(size_t(groups) * 3 * L, 0.0);
  for (int c = 0; c < entries; ++c)
    for (int ch = 0; ch < 3; ++ch)
      cell.Lanes[size_t((3 * (c / L) + ch) * L + c % L)] = lin[3 * c + ch];
  cell.Rows.resize(size_t(h));
  for (int y = 0; y < h; ++y)
    cell.Rows[size_t(y)] = PixelAt(rect.Left, rect.Top + y, mirror);
  const int step = mirror ? -3 : 3;
#if VE_WIDE_VECTORS
  if (L == 4)
    PairDistancesAvx2(cell.Rows.data(), w, h, step, cell.Lanes.data(), entries, np,
                      cell.Dist.data(), sums.data());
  else
#endif
    PairDistances(cell.Rows.data(), w, h, step, cell.Lanes.data(), entries, np, cell.Dist.data(),
                  sums.data());
  for (int c = 0; c < entries; ++c)
    if (rep[c] != c) sums[size_t(c)] = sums[size_t(rep[c])];
  // Entries by their sum, ties in entry order: an insertion sort, stable and without the
  // buffer a library stable sort would allocate for each cell.
  cell.Closest.resize(size_t(entries));
  int* order = cell.Closest.data();
  for (int c = 0; c < entries; ++c) {
    int at = c;
    while (at > 0 && sums[size_t(c)] < sums[size_t(order[at - 1])]) {
      order[at] = order[at - 1];
      --at;
    }
    order[at] = c;
  }
}

int TVeBaseCellImage::FindOptimalPairs(const TVeCellPaletteList& list, const TVeCellRect& rect,
                                       double& cost) {
  PreparePairEntries(list);
  TPairCell& cell = FPairCell;
  MakePairCell(rect, FMirror, cell);
  if (ProcessorCount() < 2)
    return BoundedRange(list, rect, cell, *FSearchScratch, 0, list.Count() - 1, cost);
  TVeRangeSplitter splitter;
  splitter.Init(list.Count(), 0);
  TVeJobList jobs;
  int first, last;
  while (splitter.Next(first, last))
    new TBoundedJob(&jobs, this, &list, rect, cell, first, last);
  jobs.Run(FCancel);
  int best = -1;
  for (int i = 0; i < jobs.Count(); ++i) {
    const auto* job = jobs.Job<TBoundedJob>(i);
    if (job->Best < 0) continue;
    if (best < 0 || job->BestCost < cost) {
      best = job->Best;
      cost = job->BestCost;
    }
  }
  return best;
}

TVeCellRect TVeBaseCellImage::CellRectAt(int i, int j, bool mirror) const {
  TVeCellRect r;
  r.Top = i * FCellHeight;
  r.Bottom = r.Top + (i == FCellsDown - 1 ? FLastRowHeight : FCellHeight);
  if (!mirror) {
    r.Left = j * FCellWidth;
    r.Right = r.Left + (j == FCellsAcross - 1 ? FLastColumnWidth : FCellWidth);
  } else if (j == 0) {
    r.Left = 0;
    r.Right = FLastColumnWidth;
  } else {
    r.Left = j * FCellWidth + FLastColumnWidth - FCellWidth;
    r.Right = j * FCellWidth + FLastColumnWidth;
  }
  return r;
}

void TVeBaseCellImage::ChooseCells(const TVeCellPaletteList& list, bool pairs,
                                   TVeCellHelper& scratch, int first, int last, int* out) const {
  TPairCell cell;
  for (int c = first; c <= last; ++c) {
    CheckCancel();
    const int i = c / FCellsAcross, j = c % FCellsAcross;
    const bool mirror = FSerpentine && (i & 1);
    const TVeCellRect rect = CellRectAt(i, j, mirror);
    double cost = 0;
    if (pairs) {
      MakePairCell(rect, mirror, cell);
      out[c] = BoundedRangeAt(list, rect, mirror, cell, scratch, 0, list.Count() - 1, cost);
    } else {
      out[c] = SearchRangeAt(list, rect, mirror, scratch, 0, list.Count() - 1, cost);
    }
  }
}

namespace {
// With "Limit error at block boundary" a cell is chosen on its pixels as prepared, which no
// earlier cell changes (their error waits in the carry buffer, and what goes straight into
// pixels stays in the current and earlier cells). So the workers choose cells ahead of the
// scan, in chunks handed out in scan order, while the scan dithers those already chosen; the
// scan, reaching a cell not chosen yet, takes the next free chunk itself rather than wait.
// A chunk whose choice failed still counts as done: its cells keep -1 and the scan chooses
// them itself.
class TAheadChoice {
public:
  static constexpr int Chunk = 4;
  TAheadChoice(TVeBaseCellImage& image, const TVeCellPaletteList& list, bool pairs, int total,
               int* out)
      : FImage(image), FList(list), FPairs(pairs), FTotal(total),
        FChunks((total + Chunk - 1) / Chunk), FOut(out),
        FDone(std::make_unique<std::atomic<bool>[]>(size_t(FChunks))) {}
  int Chunks() const { return FChunks; }
  // Chooses the next free chunk; false when none is left.
  bool ChooseNext(TVeCellHelper& scratch) {
    const int c = FNext.fetch_add(1, std::memory_order_relaxed);
    if (c >= FChunks) return false;
    const int last = std::min(FTotal, (c + 1) * Chunk) - 1;
    try {
      // A failed arrival leaves the chunk to the scan, which then stops on it.
      FImage.EnsureRows(
          std::min(FImage.Height(), (last / FImage.CellsAcross() + 1) * FImage.CellHeight()));
      FImage.ChooseCells(FList, FPairs, scratch, c * Chunk, last, FOut);
    } catch (...) {
    }
    FDone[size_t(c)].store(true, std::memory_order_release);
    FDone[size_t(c)].notify_all();
    return true;
  }
  void WaitFor(int cell, TVeCellHelper& scratch) {
    std::atomic<bool>& done = FDone[size_t(cell / Chunk)];
    while (!done.load(std::memory_order_acquire))
      if (!ChooseNext(scratch)) done.wait(false, std::memory_order_acquire); // a worker is on it
  }
  // Hands out no more chunks.
  void Stop() { FNext.store(FChunks, std::memory_order_relaxed); }

private:
  TVeBaseCellImage& FImage;
  const TVeCellPaletteList& FList;
  bool FPairs;
  int FTotal, FChunks;
  int* FOut;
  std::atomic<int> FNext{0};
  std::unique_ptr<std::atomic<bool>[]> FDone;
};

class TChooseAheadJob : public TVeJob {
public:
  TChooseAheadJob(TVeJobList* jobs, TVeBaseCellImage* image, TAheadChoice& ahead)
      : TVeJob(jobs), Image(image), Ahead(ahead), Scratch(image->TakeScratch()) {}
  ~TChooseAheadJob() override { Image->GiveScratch(Scratch); }
  void Execute() override {
    while (Ahead.ChooseNext(*Scratch)) {
    }
  }
  TVeBaseCellImage* Image;
  TAheadChoice& Ahead;
  TVeCellHelper* Scratch;
};
} // namespace

template <int M>
void TVeBaseCellImage::DiffuseT(const TVeCellRect& rect, int x, int y, const double* e) {
  using K = TKernel<M>;
  const double* range = FLimitInside ? FRanges->GetRange(FCurCellX, FCurCellY) : nullptr;
  for (const TTap& t : K::Taps) {
    const int tx = x + t.Dx, ty = y + t.Dy;
    if (tx < 0 || tx >= FWidth || ty >= FHeight) continue;
    double s[3];
    if (FGray) {
      s[0] = s[1] = s[2] = e[0] * t.W / K::Div;
    } else {
      s[0] = e[0] * t.W / K::Div;
      s[1] = e[1] * t.W / K::Div;
      s[2] = e[2] * t.W / K::Div;
    }
    const size_t at = (size_t(ty) * FWidth + size_t(FMirror ? FWidth - 1 - tx : tx)) * 3;
    // Cells later in the scan receive the share when they are prepared; the current and
    // earlier cells take it at once.
    if (ty >= rect.Bottom || tx >= rect.Right) {
      double* c = FCarry->Data() + at;
      c[0] += s[0];
      c[1] += s[1];
      c[2] += s[2];
    } else {
      if (range) {
        if (FGray) {
          s[0] *= range[0];
          s[1] *= range[0];
          s[2] *= range[0];
        } else {
          s[0] *= range[0];
          s[1] *= range[1];
          s[2] *= range[2];
        }
      }
      double* p = FLin.data() + at;
      p[0] += s[0];
      p[1] += s[1];
      p[2] += s[2];
    }
  }
}

void TVeBaseCellImage::DiffuseCellError(const TVeCellRect& rect, int x, int y,
                                        const double* error) {
  switch (FDitherMethod) {
  case 1:
    DiffuseT<1>(rect, x, y, error);
    break;
  case 2:
    DiffuseT<2>(rect, x, y, error);
    break;
  case 3:
    DiffuseT<3>(rect, x, y, error);
    break;
  case 4:
    DiffuseT<4>(rect, x, y, error);
    break;
  case 5:
    DiffuseT<5>(rect, x, y, error);
    break;
  case 6:
    DiffuseT<6>(rect, x, y, error);
    break;
  case 7:
    DiffuseT<7>(rect, x, y, error);
    break;
  case 8:
    DiffuseT<8>(rect, x, y, error);
    break;
  default:
    break;
  }
}

// ---- Cell image ---------------------------------------------------------------------------

void TVeCellImage::FreeCellPalettes(TVeCellPaletteList* list) {
  delete list;
}

void TVeCellImage::ReportProgress(TVeDestProgress* progress, int total, int done) {
  progress->SetProgress(uint32_t(total), uint32_t(done));
}

TVeCellPalette* TVeCellImage::PrepareAndChoose(const TVeCellRect& rect) {
  if (!FCellPalettes) VeInternalError();
  double cost = 0;
  if (!FLimitBoundary) {
    for (int y = rect.Top; y < rect.Bottom; ++y)
      for (int x = rect.Left; x < rect.Right; ++x) {
        double* p = PixelLin(x, y);
        const double* c = FCarry->GetDiffusion(x, y);
        p[0] += c[0];
        p[1] += c[1];
        p[2] += c[2];
      }
    const int k = FPairBounds ? FindOptimalPairs(*FCellPalettes, rect, cost)
                              : FindOptimalColors(*FCellPalettes, rect, cost);
    if (k < 0) throw EVeError("No allowed colours for a cell");
    return FCellPalettes->GetPalette(k);
  }
  // The set is chosen without the incoming error, which then arrives scaled by the set's
  // range: a cell that can show only one colour takes none.
  int k = -1;
  if (!FAhead.empty()) k = FAhead[size_t(FCurCellY) * FCellsAcross + size_t(FCurCellX)];
  if (k < 0)
    k = FPairBounds ? FindOptimalPairs(*FCellPalettes, rect, cost)
                    : FindOptimalColors(*FCellPalettes, rect, cost);
  if (k < 0) throw EVeError("No allowed colours for a cell");
  TVeCellPalette* pal = FCellPalettes->GetPalette(k);
  double* range = FRanges->GetRange(FCurCellX, FCurCellY);
  range[0] = pal->Range[0];
  range[1] = pal->Range[1];
  range[2] = pal->Range[2];
  for (int y = rect.Top; y < rect.Bottom; ++y)
    for (int x = rect.Left; x < rect.Right; ++x) {
      double* p = PixelLin(x, y);
      const double* c = FCarry->GetDiffusion(x, y);
      p[0] += c[0] * range[0];
      p[1] += c[1] * range[1];
      p[2] += c[2] * range[2];
    }
  return pal;
}

void TVeCellImage::DitherCell(TVeBitmap* result, TVeCellScreen* screen, TVeCellPalette* pal,
                              const TVeCellRect& rect, int cellY, int cellX) {
  WriteCellAttr(screen, cellX, pal, cellY);
  const double* cl = pal->CacheLin();
  for (int y = rect.Top; y < rect.Bottom; ++y)
    for (int x = rect.Left; x < rect.Right; ++x) {
      CheckCancel();
      double* p = PixelLin(x, y);
      const int k = NearestIndex(*pal, p);
      WriteScreenPixel(screen, x, k, pal, y);
      WriteResultPixel(result, x, k, pal, y);
      const double* c = cl + 3 * k;
      const double e[3] = {(p[0] - c[0]) * FStrength, (p[1] - c[1]) * FStrength,
                           (p[2] - c[2]) * FStrength};
      p[0] = c[0];
      p[1] = c[1];
      p[2] = c[2];
      DiffuseCellError(rect, x, y, e);
    }
}

namespace {
// Frees a candidate list through the image's hook on every path out of a conversion.
struct TListGuard {
  TVeCellImage* Image;
  TVeCellPaletteList* List;
  ~TListGuard() {
    if (List) Image->FreeCellPalettes(List);
  }
};
} // namespace

std::unique_ptr<TVeBitmap> TVeCellImage::RunCells(TVeCellScreen* screen, bool pairLists) {
  std::unique_ptr<TVeBitmap> result = CreateResult();
  if (!result) VeInternalError();
  const int total = FCellsAcross * FCellsDown;
  int done = 0;
  FMirror = false;
  struct TMirrorReset {
    TVeBaseCellImage* Image;
    TVeBitmap* Result;
    TVeCellScreen* Screen;
    ~TMirrorReset() {
      Result->Reversed = false;
      if (Screen) Screen->Reversed = false;
      Image->CellRanges().Reversed = false;
      Image->Carry().Reversed = false;
    }
  } reset{this, result.get(), screen};
  // The double choice changes lists cell by cell, so only single lists are chosen ahead.
  FAhead.clear();
  struct TAheadReset {
    std::vector<int>& Ahead;
    ~TAheadReset() { Ahead.clear(); }
  } aheadReset{FAhead};
  auto scan = [&](TAheadChoice* ahead, TVeCellHelper* scratch) {
    for (int i = 0; i < FCellsDown; ++i) {
      FCurCellY = i;
      SetRowSpan(i);
      EnsureRows(FRowBottom);
      result->Reversed = FMirror;
      if (screen) screen->Reversed = FMirror;
      FRanges->Reversed = FMirror;
      FCarry->Reversed = FMirror;
      for (int j = 0; j < FCellsAcross; ++j) {
        CheckCancel();
        FCurCellX = j;
        const TVeCellRect rect = CellRect(j);
        if (pairLists && j % 2 == 0)
          ChoosePairList(rect, j + 1 < FCellsAcross ? CellRect(j + 1) : TVeCellRect{});
        if (ahead) ahead->WaitFor(i * FCellsAcross + j, *scratch);
        TVeCellPalette* pal = PrepareAndChoose(rect);
        DitherCell(result.get(), screen, pal, rect, i, j);
        ++done;
        if (FProgress) ReportProgress(FProgress, total, done);
      }
      if (FSerpentine) FMirror = !FMirror;
    }
  };
  if (pairLists || !FChooseAhead || !FLimitBoundary || ProcessorCount() < 2) {
    scan(nullptr, nullptr);
  } else {
    if (FPairBounds) PreparePairEntries(*FCellPalettes);
    FAhead.assign(size_t(total), -1);
    TAheadChoice ahead(*this, *FCellPalettes, FPairBounds, total, FAhead.data());
    std::unique_ptr<TVeCellHelper> own(TakeScratch());
    std::exception_ptr error;
    {
      TVeJobList jobs;
      auto* scanning = VeAddCallJob(jobs, [&] {
        try {
          scan(&ahead, own.get());
        } catch (...) {
          ahead.Stop();
          throw;
        }
      });
      for (int w = std::min(ProcessorCount(), ahead.Chunks() + 1); w > 1; --w)
        new TChooseAheadJob(&jobs, this, ahead);
      jobs.Run();
      error = scanning->Error;
    }
    GiveScratch(own.release());
    if (error) std::rethrow_exception(error);
  }
  FMirror = false;
  return result;
}

std::unique_ptr<TVeBitmap> TVeCellImage::Convert(const TVeCancelFlag* cancel,
                                                 const TVeCellOptions& options,
                                                 TVeCellScreen* screen, TVeDestProgress* progress) {
  BeginConvert(cancel, options, progress);
  BeginArriving();
  if (!FArriving) {
    Prepare();
    LoadWorkingPixels();
  }
  TListGuard guard{this, CreateCellPalettes()};
  if (!guard.List) VeInternalError();
  guard.List->PrepareCaches();
  FCellPalettes = guard.List;
  std::unique_ptr<TVeBitmap> result;
  try {
    result = RunCells(screen, false);
  } catch (...) {
    FCellPalettes = nullptr;
    throw;
  }
  FCellPalettes = nullptr;
  if (KeepWorkingPixels) StoreWorkingPixels();
  return result;
}

// ---- Double cell image --------------------------------------------------------------------

TVeDoubleCellImage::~TVeDoubleCellImage() = default;

std::unique_ptr<TVeBitmap> TVeDoubleCellImage::Convert(const TVeCancelFlag* cancel,
                                                       const TVeCellOptions& options,
                                                       TVeCellScreen* screen,
                                                       TVeDestProgress* progress) {
  BeginConvert(cancel, options, progress);
  BeginArriving(); // takes the whole source: the double choice does not go by bands
  LoadWorkingPixels();
  struct TListsReset {
    TVeDoubleCellImage* Image;
    ~TListsReset() {
      Image->FLists.clear();
      Image->FCellPalettes = nullptr;
    }
  } reset{this};
  FLists.clear();
  const int n = PaletteListCount();
  for (int i = 0; i < n; ++i) {
    std::unique_ptr<TVeCellPaletteList> list(CreatePaletteList(i));
    if (!list) VeInternalError();
    list->PrepareCaches();
    FLists.push_back(std::move(list));
  }
  if (FLists.empty()) VeInternalError();
  FCellPalettes = FLists[0].get();
  std::unique_ptr<TVeBitmap> result = RunCells(screen, true);
  StoreWorkingPixels();
  return result;
}

void TVeDoubleCellImage::ChoosePairList(const TVeCellRect& first, const TVeCellRect& second) {
  if (FLists.size() == 1) {
    FCellPalettes = FLists[0].get();
    return;
  }
  int best = -1;
  double bestSum = 0;
  for (size_t i = 0; i < FLists.size(); ++i) {
    double c1 = 0, c2 = 0;
    if (FindOptimalColors(*FLists[i], first, c1) < 0) continue;
    if (!second.Empty() && FindOptimalColors(*FLists[i], second, c2) < 0) continue;
    const double sum = c1 + c2;
    if (best < 0 || sum < bestSum) {
      best = int(i);
      bestSum = sum;
    }
  }
  if (best < 0) throw EVeError("No allowed colours for a cell");
  FCellPalettes = FLists[size_t(best)].get();
}

// ---- Search job ---------------------------------------------------------------------------

TVeCellImageFindOptimalColorsJob::TVeCellImageFindOptimalColorsJob(
    TVeJobList* list, TVeBaseCellImage* image, const TVeCellPaletteList* palettes,
    const TVeCellRect& rect, int first, int last)
    : TVeJob(list), Image(image), Palettes(palettes), Scratch(image->TakeScratch()), Rect(rect),
      FirstIndex(first), LastIndex(last) {}

TVeCellImageFindOptimalColorsJob::~TVeCellImageFindOptimalColorsJob() {
  Image->GiveScratch(Scratch);
}

void TVeCellImageFindOptimalColorsJob::Execute() {
  double cost = 0;
  const int best = Image->SearchRange(*Palettes, Rect, *Scratch, FirstIndex, LastIndex, cost);
  BestCost = cost;
  Best = best;
}
