#pragma once
// Cell-constrained conversion: every cell of the picture takes one colour set (cell palette)
// out of a list of candidates, chosen by trial dithering of the cell on a small scratch
// image; the chosen set is then dithered for real, with error carried into later cells.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "VeBitmap.h"
#include "VeCellPalette.h"
#include "VeColorDistance.h"
#include "VeCpuFeatures.h"
#include "VeImage.h"
#include "VePalette.h"
#include "VeProgress.h"
#include "VeThreadJob.h"
#include "VeThresholdMatrix.h"

class TVeBaseCellImage;
class TVeRowFeed;

// What a cell conversion reads of the run's options.
struct TVeCellOptions {
  const TVePalette256* Palette = nullptr;     // the engine's main palette (required)
  const TVePalette256* BasePalette = nullptr; // its second palette
  bool GrayPalette = false;
  uint8_t DitherMethod = 1;
  bool Serpentine = true;
  int ErrorDiffusion = 90; // percent
  bool LimitErrorInsideBlock = true;
  bool LimitErrorAtBoundary = true;
  int LightnessFix = 0;
  int SaturationFix = 0;
  int Distance = 0; // a method of VeColorDistance.h; colour cells only
};

// Reads those fields of an options record (the engines' options class or any type with the
// same getters), so this unit needs no engine headers.
template <class TOptions> TVeCellOptions VeCellOptionsOf(const TOptions& o) {
  TVeCellOptions c;
  c.Palette = &o.Palette();
  c.BasePalette = &o.BasePalette();
  c.GrayPalette = o.GrayPalette();
  c.DitherMethod = o.DitherMethod();
  c.Serpentine = o.Serpentine();
  c.ErrorDiffusion = o.ErrorDiffusion();
  c.LimitErrorInsideBlock = o.LimitErrorInsideBlock();
  c.LimitErrorAtBoundary = o.LimitErrorAtBoundary();
  c.LightnessFix = o.LightnessFix();
  c.SaturationFix = o.SaturationFix();
  c.Distance = o.UsesColorDistance() ? o.ColorDistance() : 0;
  return c;
}

// Luminance weights of the colour distance.
constexpr double VeCellWR = 0.212655;
constexpr double VeCellWG = 0.715158;
constexpr double VeCellWB = 0.072187;

// A cell rectangle in scan coordinates, right and bottom exclusive.
struct TVeCellRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool Empty() const { return Right <= Left || Bottom <= Top; }
};

// Scratch image of (cell width + 2) x (cell height + 2) records. The two extra columns and
// rows catch the error a trial dithering pushes out of the cell. The trial itself runs on a
// flat buffer with two more columns on the left that swallow taps to x < 0 (those are dropped
// by definition), so the inner loop needs no bounds test.
class TVeCellHelper : public TVeImage {
public:
  explicit TVeCellHelper(TVeBaseCellImage* owner);
  TVeBaseCellImage* Owner() const { return FOwner; }

private:
  friend class TVeBaseCellImage;
  TVeBaseCellImage* FOwner;
  int FStride;                  // cell width + 4
  std::vector<double> FBuf;     // 3 doubles per record, colour mode
  std::vector<double> FGrayBuf; // 1 double per record, gray mode
  std::vector<int> FIndex;      // chosen index per cell pixel, gray mode
  // Batch of two-colour candidates tried side by side: each record holds the lanes of all
  // candidates of the batch, so their independent dithering chains overlap in the processor.
  std::vector<double> FBatch;
  std::vector<uint8_t> FBatchIndex;
  std::vector<TVePerceptual> FPerceptual; // a candidate's colours in a perceptual space
  // The cell's own pixels in that space while one search runs over a cell (the pixels do not
  // change during it); empty otherwise.
  std::vector<TVePerceptual> FPerceptualCell;
  std::vector<double> FBoundSums; // the bounded search's sums so far, per candidate
  std::vector<int> FBoundCovered; // and the pixels each covers
};

// Native screen of a cell mode. The mirror flag (Reversed) maps x to (width - 1 - x) and
// cell column c to (cells across - 1 - c).
class TVeCellScreen : public TVeScreen1 {
public:
  using TVeScreen1::TVeScreen1;
  virtual int GetAttr(int cellX, int cellY) const = 0;
  virtual void SetAttr(int cellX, int cellY, int attr) = 0;
};

// Native screen of a two-frame cell mode.
class TVeCellGigaScreen : public TVeCellScreen {
public:
  using TVeCellScreen::TVeCellScreen;
  virtual int GetPixel2(int x, int y) const = 0;
  virtual void SetPixel2(int x, int y, int color) = 0;
  virtual int GetAttr2(int cellX, int cellY) const = 0;
  virtual void SetAttr2(int cellX, int cellY, int attr) = 0;
};

class TVeCellImageFindOptimalColorsJob;

// 256-bit vectors for the batched trials: x86 processors with AVX2.
#if defined(__x86_64__) || defined(__i386__)
#define VE_WIDE_VECTORS 1
inline bool VeHasWideVectors() {
  return VeHasAvx2();
}
#else
#define VE_WIDE_VECTORS 0
inline bool VeHasWideVectors() {
  return false;
}
#endif

// Candidates tried together by the batched trial.
constexpr int VeCellBatch = 4;

class TVeBaseCellImage : public TVeImage {
public:
  // With arriving, the rows of source become final as that feed reports them: the working
  // rows are then prepared band by band as the scan and the choice reach them, provided the
  // image prepares by bands (else the conversion waits for the whole source first).
  TVeBaseCellImage(int cellWidth, const TVeBitmap32& source, int cellHeight,
                   TVeRowFeed* arriving = nullptr);
  ~TVeBaseCellImage() override;

  int CellWidth() const { return FCellWidth; }
  int CellHeight() const { return FCellHeight; }
  int LastColumnWidth() const { return FLastColumnWidth; }
  int LastRowHeight() const { return FLastRowHeight; }
  int CellsAcross() const { return FCellsAcross; }
  int CellsDown() const { return FCellsDown; }

  // Cost of a candidate for a cell: trial dithering of the cell on the scratch (no mirroring,
  // no limits), then the in-cell distance plus the error spilled out of the cell.
  double CellCost(const TVeCellRect& rect, TVeCellHelper& scratch,
                  const TVeCellPalette& candidate) const;

  // Scratch pool; conversion thread only.
  TVeCellHelper* TakeScratch();
  void GiveScratch(TVeCellHelper* scratch);

  // Lowest-cost enabled candidate of list[first..last], first on ties; -1 when none.
  int SearchRange(const TVeCellPaletteList& list, const TVeCellRect& rect, TVeCellHelper& scratch,
                  int first, int last, double& cost) const;
  // The same over the whole list, on workers when there are at least two. A subclass may
  // find the same candidate another way.
  virtual int FindOptimalColors(const TVeCellPaletteList& list, const TVeCellRect& rect,
                                double& cost);
  // The same choice for lists whose candidates take their colours from the main palette
  // (TVeCellPaperIncPalette pairs, or up to four colours equal to entries): no trial can cost
  // less than the cell's distance to the nearest of its colours, pixel by pixel, so a candidate
  // whose bound exceeds the best cost found is never dithered. Worth it for long lists.
  int FindOptimalPairs(const TVeCellPaletteList& list, const TVeCellRect& rect, double& cost);
  // What the bounded search needs of one cell: the distance of every pixel (in trial order)
  // to every main palette entry, entry-major, and the entries by their summed distance.
  struct TPairCell {
    std::vector<double> Dist;
    std::vector<int> Closest;
    std::vector<double> Sums;  // scratch of MakePairCell
    std::vector<double> Lanes; // and its entries, a vector of lanes per channel
    std::vector<const double*> Rows;
  };
  // The bounded search over list[first..last].
  int BoundedRange(const TVeCellPaletteList& list, const TVeCellRect& rect, const TPairCell& cell,
                   TVeCellHelper& scratch, int first, int last, double& cost) const;

  // Whether batched trials use the processor's 256-bit vectors (on by default where it has
  // them); the costs are the same either way, which the tests check by switching it off.
  bool WideVectors() const { return FWideVectors; }
  void SetWideVectors(bool on) { FWideVectors = on && VeHasWideVectors(); }

  // Entries of the list's pairs and their linear values, for the bounded search; conversion
  // thread only.
  void PreparePairEntries(const TVeCellPaletteList& list);
  // The bounded search's view of a cell scanned with the given mirror flag.
  void MakePairCell(const TVeCellRect& rect, bool mirror, TPairCell& cell) const;
  // The searches above for a cell scanned with the given mirror flag rather than the current
  // one, so that cells of other rows can be chosen ahead on workers.
  double CellCostAt(const TVeCellRect& rect, bool mirror, TVeCellHelper& scratch,
                    const TVeCellPalette& candidate) const;
  int SearchRangeAt(const TVeCellPaletteList& list, const TVeCellRect& rect, bool mirror,
                    TVeCellHelper& scratch, int first, int last, double& cost) const;
  int BoundedRangeAt(const TVeCellPaletteList& list, const TVeCellRect& rect, bool mirror,
                     const TPairCell& cell, TVeCellHelper& scratch, int first, int last,
                     double& cost) const;

  // Makes sure the working rows [0, rows) are prepared, waiting for an arriving source's rows
  // as needed; a failed arrival stops with the silent abort. Safe on several workers.
  void EnsureRows(int rows) {
    if (FArriving && FReadyRows.load(std::memory_order_acquire) < rows) PrepareArrived(rows);
  }

  // Chooses cells first..last (row-major, scan columns) on their pixels as they are now into
  // out[first..last]; -1 for a cell without an enabled candidate. Safe on several workers.
  // An image with its own search of the same choice overrides it with FindOptimalColors.
  virtual void ChooseCells(const TVeCellPaletteList& list, bool pairs, TVeCellHelper& scratch,
                           int first, int last, int* out) const;

  // Working linear value of pixel (x, y) in scan coordinates.
  double* PixelLin(int x, int y) {
    return &FLin[(size_t(y) * FWidth + size_t(FMirror ? FWidth - 1 - x : x)) * 3];
  }
  const double* PixelLin(int x, int y) const {
    return &FLin[(size_t(y) * FWidth + size_t(FMirror ? FWidth - 1 - x : x)) * 3];
  }
  const double* PixelAt(int x, int y, bool mirror) const {
    return &FLin[(size_t(y) * FWidth + size_t(mirror ? FWidth - 1 - x : x)) * 3];
  }
  bool Mirror() const { return FMirror; }
  TVeCellRanges& CellRanges() { return *FRanges; }
  TVeCellDiffusion& Carry() { return *FCarry; }

protected:
  // Loads the options' settings and palettes, applies the fixes; the caller runs Prepare next.
  void BeginConvert(const TVeCancelFlag* cancel, const TVeCellOptions& options,
                    TVeDestProgress* progress);
  // Gray conversion when asked, precomputation and the working copy of the pixels.
  void LoadWorkingPixels();
  // Whether Prepare does nothing but PrepareBand over all rows, so that the preparation may
  // go band by band while the source arrives.
  virtual bool PreparesByBands() const { return false; }
  virtual void PrepareBand(int, int) {}
  // For an arriving source: the working buffer, sized; the rows follow with EnsureRows.
  // Images that do not prepare by bands take the whole source here, as if it came whole.
  void BeginArriving();
  // Writes the working pixels back into the colour records.
  void StoreWorkingPixels();
  void CheckCancel() const { VeCheckCancel(FCancel); }
  // Cell rectangle of column j of the current row.
  TVeCellRect CellRect(int j) const;
  void SetRowSpan(int i);

  // Nearest colour of a candidate to a pixel: by luminance in gray mode, else by distance.
  int NearestIndex(const TVeCellPalette& pal, const double* p) const;
  // Spreads the error of pixel (x, y) of the current cell with the kernel and the routing
  // rule (drop outside, carry to later cells, direct into the current and earlier ones).
  void DiffuseCellError(const TVeCellRect& rect, int x, int y, const double* error);
  // The kernel the trials and the diffusion use: the ordered methods choose a cell's colours
  // as Floyd-Steinberg would, whose spill measures how well the set matches the cell's mean.
  int TrialMethod() const { return VeIsOrderedDither(FDitherMethod) ? 1 : FDitherMethod; }

  const TVeCancelFlag* FCancel = nullptr;
  TVeDestProgress* FProgress = nullptr;
  std::unique_ptr<TVePalette256> FPalette;  // main palette
  std::unique_ptr<TVePalette256> FPalette2; // second palette
  bool FGray = false;
  int FCurCellX = 0, FCurCellY = 0;
  std::unique_ptr<TVeCellRanges> FRanges;
  std::unique_ptr<TVeCellDiffusion> FCarry;
  std::unique_ptr<TVeCellHelper> FSearchScratch;
  std::unique_ptr<TVeCellHelper> FBackupScratch;
  std::vector<std::unique_ptr<TVeCellHelper>> FPool;
  uint8_t FDitherMethod = 1;
  bool FSerpentine = true;
  double FStrength = 0.9;
  bool FLimitInside = true;
  bool FLimitBoundary = true;
  // The colour distance of the choices; pair cells and gray cells keep Delta RGB, which their
  // bounds and single channel assume.
  int FDistance = 0;
  bool FMirror = false;
  int FRowTop = 0, FRowBottom = 0;

  // The entries of the last list given to FindOptimalPairs, per candidate: paper, ink, or -1
  // when the candidate is no pair of main palette entries (it is then never bounded).
  const TVeCellPaletteList* FPairList = nullptr;
  std::vector<int> FPairEntries; // four per candidate
  std::vector<int> FPairCount;   // entries of each candidate, 0 when it is never bounded
  std::vector<double> FPairLin;
  std::vector<int> FPairRep; // the first entry of the same value as each entry
  TPairCell FPairCell;       // the conversion thread's cell, kept to spare its allocation

  // Choices made ahead for every cell (row-major, scan columns), -1 where none was made. With
  // "Limit error at block boundary" a cell is chosen on its pixels as prepared, which no
  // earlier cell changes (their error waits in the carry buffer), so workers choose cells
  // while the scan dithers those before them.
  std::vector<int> FAhead;
  // False for images whose own choice cannot be run on workers.
  bool FChooseAhead = true;
  // Rectangle of cell (i, j) as the scan gives it with the given mirror flag.
  TVeCellRect CellRectAt(int i, int j, bool mirror) const;

  // An arriving source and how far its working rows are prepared.
  TVeRowFeed* FArriving = nullptr;
  const TVeBitmap32* FSource = nullptr;
  int FSaturationFix = 0, FLightnessFix = 0;
  std::atomic<int> FReadyRows{0};
  std::mutex FReadyLock;
  void PrepareArrived(int rows);

  int FWidth = 0, FHeight = 0;
  int FCellWidth, FLastColumnWidth, FCellHeight, FLastRowHeight, FCellsAcross, FCellsDown;
  std::vector<double, TVeNoFillAllocator<double>> FLin; // working pixels, 3 each, stored order
  bool FWideVectors = VeHasWideVectors();

private:
  template <int M> void DiffuseT(const TVeCellRect& rect, int x, int y, const double* e);
  template <int M, bool Gray>
  double TrialCost(const TVeCellRect& rect, bool mirror, TVeCellHelper& s,
                   const TVeCellPalette& pal) const;
  // The cell's pixels copied into the scratch's trial buffer, its pads zeroed.
  double* LoadTrialCell(const TVeCellRect& rect, bool mirror, TVeCellHelper& s) const;
  // TrialCost in colour mode by a perceptual distance.
  template <int M>
  double TrialCostPerceptual(const TVeCellRect& rect, bool mirror, TVeCellHelper& s,
                             const TVeCellPalette& pal) const;
  template <int M, bool Gray>
  void TrialCostBatch(const TVeCellRect& rect, bool mirror, TVeCellHelper& s,
                      const TVeCellPalette* const* pals, double* costs) const;
  template <int M, int N>
  void TrialCostLanes(const TVeCellRect& rect, bool mirror, TVeCellHelper& s,
                      const TVeCellPalette* const* pals, double* costs) const;
#if VE_WIDE_VECTORS
  // The same code built for processors with 256-bit vectors, chosen at run time.
  template <int M, int N>
  __attribute__((target("avx2"))) void
  TrialCostLanesAvx2(const TVeCellRect& rect, bool mirror, TVeCellHelper& s,
                     const TVeCellPalette* const* pals, double* costs) const;
#endif
  template <int M, int N, class V>
  [[gnu::always_inline]] inline void
  TrialCostLanesBody(const TVeCellRect& rect, bool mirror, TVeCellHelper& s,
                     const TVeCellPalette* const* pals, double* costs) const;
  // Costs of up to VeCellBatch candidates, each exactly as CellCost gives it.
  void CellCosts(const TVeCellRect& rect, bool mirror, TVeCellHelper& s,
                 const TVeCellPalette* const* pals, int count, double* costs) const;
};

class TVeCellImage : public TVeBaseCellImage {
public:
  using TVeBaseCellImage::TVeBaseCellImage;

  virtual void Prepare() {}
  // Converts the picture; the screen may be absent. The result belongs to the caller.
  virtual std::unique_ptr<TVeBitmap> Convert(const TVeCancelFlag* cancel,
                                             const TVeCellOptions& options, TVeCellScreen* screen,
                                             TVeDestProgress* progress);

  virtual std::unique_ptr<TVeBitmap> CreateResult() = 0;
  virtual TVeCellPaletteList* CreateCellPalettes() = 0;
  virtual void FreeCellPalettes(TVeCellPaletteList* list);
  virtual void DitherCell(TVeBitmap* result, TVeCellScreen* screen, TVeCellPalette* pal,
                          const TVeCellRect& rect, int cellY, int cellX);
  // DitherCell's ordered methods: each pixel by its threshold, no error spread.
  void DitherCellOrdered(TVeBitmap* result, TVeCellScreen* screen, TVeCellPalette* pal,
                         const TVeCellRect& rect);
  virtual void WriteCellAttr(TVeCellScreen* screen, int cellX, TVeCellPalette* pal, int cellY) = 0;
  virtual void WriteResultPixel(TVeBitmap* result, int x, int k, TVeCellPalette* pal, int y) = 0;
  virtual void WriteScreenPixel(TVeCellScreen* screen, int x, int k, TVeCellPalette* pal,
                                int y) = 0;
  virtual void ReportProgress(TVeDestProgress* progress, int total, int done);

  TVeCellPaletteList* CurrentList() const { return FCellPalettes; }
  // Whether Convert writes the working pixels back into the colour records at the end: only
  // a caller that reads the image afterwards needs them.
  bool KeepWorkingPixels = true;

protected:
  // Set by images whose candidates are pairs of main palette entries: the choice goes
  // through FindOptimalPairs.
  bool FPairBounds = false;
  bool FBounded = false; // the run goes through FindOptimalPairs
  // Adds the incoming error to the cell and chooses its set (both error limits honoured).
  TVeCellPalette* PrepareAndChoose(const TVeCellRect& rect);
  // The cell scan shared by the single and the double choice.
  virtual std::unique_ptr<TVeBitmap> RunCells(TVeCellScreen* screen, bool pairLists);
  virtual void ChoosePairList(const TVeCellRect&, const TVeCellRect&) {}

  TVeCellPaletteList* FCellPalettes = nullptr;
};

// Two horizontally adjacent cells take their sets from the same one of several lists.
class TVeDoubleCellImage : public TVeCellImage {
public:
  using TVeCellImage::TVeCellImage;
  ~TVeDoubleCellImage() override;

  std::unique_ptr<TVeBitmap> Convert(const TVeCancelFlag* cancel, const TVeCellOptions& options,
                                     TVeCellScreen* screen, TVeDestProgress* progress) override;
  virtual TVeCellPaletteList* CreatePaletteList(int index) = 0;
  virtual int PaletteListCount() { return 1; }
  TVeCellPaletteList* GetPaletteList(int index) const { return FLists[size_t(index)].get(); }
  TVeCellPaletteList* PaletteLists(int index) const { return GetPaletteList(index); }

  // The double choice builds its own lists.
  TVeCellPaletteList* CreateCellPalettes() override { return nullptr; }
  void FreeCellPalettes(TVeCellPaletteList*) override {}

protected:
  void ChoosePairList(const TVeCellRect& first, const TVeCellRect& second) override;

private:
  std::vector<std::unique_ptr<TVeCellPaletteList>> FLists;
};

// Tests candidates first..last of a list for one cell on a worker thread.
class TVeCellImageFindOptimalColorsJob : public TVeJob {
public:
  TVeCellImageFindOptimalColorsJob(TVeJobList* list, TVeBaseCellImage* image,
                                   const TVeCellPaletteList* palettes, const TVeCellRect& rect,
                                   int first, int last);
  ~TVeCellImageFindOptimalColorsJob() override;
  void Execute() override;

  TVeBaseCellImage* Image;
  const TVeCellPaletteList* Palettes;
  TVeCellHelper* Scratch;
  TVeCellRect Rect;
  int FirstIndex, LastIndex;
  int Best = -1;
  double BestCost = 0;
};
