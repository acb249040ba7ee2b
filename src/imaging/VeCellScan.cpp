#include "VeCellImage.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <utility>
#include <vector>

#include "VeCellKernels.h"
#include "VeThresholdMatrix.h"

using namespace VeCell;

// The scan: cells in rows, serpentine when asked, each chosen (ahead on workers where the
// error limits allow) and then dithered with its error carried into later cells.

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
  // Cell drivers without the ordered methods diffuse as Floyd-Steinberg.
  WithMethod(TrialMethod(), [&](auto m) {
    constexpr int M = decltype(m)::value;
    if constexpr (M != 0) DiffuseT<M>(rect, x, y, error);
  });
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
    const int k = FBounded ? FindOptimalPairs(*FCellPalettes, rect, cost)
                           : FindOptimalColors(*FCellPalettes, rect, cost);
    if (k < 0) throw EVeError("No allowed colours for a cell");
    return FCellPalettes->GetPalette(k);
  }
  // The set is chosen without the incoming error, which then arrives scaled by the set's
  // range: a cell that can show only one colour takes none.
  int k = -1;
  if (!FAhead.empty()) k = FAhead[size_t(FCurCellY) * FCellsAcross + size_t(FCurCellX)];
  if (k < 0)
    k = FBounded ? FindOptimalPairs(*FCellPalettes, rect, cost)
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
  if (VeIsOrderedDither(FDitherMethod)) {
    DitherCellOrdered(result, screen, pal, rect);
    return;
  }
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

void TVeCellImage::DitherCellOrdered(TVeBitmap* result, TVeCellScreen* screen, TVeCellPalette* pal,
                                     const TVeCellRect& rect) {
  // The offset spans the steps between the cell's own colours: a two-colour cell mixes its
  // pair in proportion however far apart the pair lies.
  const int n = pal->CacheCount();
  const double spread =
      VeOrderedSpreadOf(FGray ? pal->CacheLum() : pal->CacheLin(), n, FGray ? 1 : 3) * FStrength;
  const double* cl = pal->CacheLin();
  for (int y = rect.Top; y < rect.Bottom; ++y)
    for (int x = rect.Left; x < rect.Right; ++x) {
      CheckCancel();
      double* p = PixelLin(x, y);
      // The threshold follows the pixel's place on the screen, not the scan direction.
      const int px = FMirror ? FWidth - 1 - x : x;
      const double o = (VeOrderedThreshold(FDitherMethod, px, y) - 0.5) * spread;
      const double q[3] = {p[0] + o, p[1] + o, p[2] + o};
      const int k = NearestIndex(*pal, q);
      WriteScreenPixel(screen, x, k, pal, y);
      WriteResultPixel(result, x, k, pal, y);
      const double* c = cl + 3 * k;
      p[0] = c[0];
      p[1] = c[1];
      p[2] = c[2];
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
    if (FBounded) PreparePairEntries(*FCellPalettes);
    FAhead.assign(size_t(total), -1);
    TAheadChoice ahead(*this, *FCellPalettes, FBounded, total, FAhead.data());
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
  FBounded = FPairBounds && FDistance == VeMethodDeltaRGB; // the bounds assume Delta RGB
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
