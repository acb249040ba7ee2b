#include "VeCellImage.h"

#include <memory>

#include "VeCellKernels.h"

using namespace VeCell;

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
  FDistance = FGray || !VeValidDistance(options.Distance) ? VeMethodDeltaRGB : options.Distance;
  FCarry->Clear();
  FPairList = nullptr;
  FSaturationFix = options.SaturationFix;
  FLightnessFix = options.LightnessFix;
  // Rows still arriving take the fixes as they are prepared.
  if (!FArriving) ApplyFixes(options.SaturationFix, options.LightnessFix);
}

void TVeBaseCellImage::SetRowSpan(int i) {
  FRowTop = i * FCellHeight;
  FRowBottom = FRowTop + (i == FCellsDown - 1 ? FLastRowHeight : FCellHeight);
}

TVeCellRect TVeBaseCellImage::CellRect(int j) const {
  TVeCellRect r = CellRectAt(FCurCellY, j, FMirror);
  r.Top = FRowTop;
  r.Bottom = FRowBottom;
  return r;
}

TVeCellRect TVeBaseCellImage::CellRectAt(int i, int j, bool mirror) const {
  TVeCellRect r;
  r.Top = i * FCellHeight;
  r.Bottom = r.Top + (i == FCellsDown - 1 ? FLastRowHeight : FCellHeight);
  if (!mirror) {
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
  if (FGray) return NearestLum(Lum(p), pal.CacheCount(), pal.CacheLum());
  if (FDistance == VeMethodDeltaRGB) return NearestColor(p, pal.CacheCount(), pal.CacheLin());
  const int n = pal.CacheCount();
  TVePerceptual small[16];
  std::vector<TVePerceptual> large;
  TVePerceptual* cp = small;
  if (n > 16) {
    large.resize(size_t(n));
    cp = large.data();
  }
  PerceptualOfColors(FDistance, pal.CacheLin(), n, cp);
  double found;
  return VeNearestPerceptual(FDistance, PerceptualOfPixel(FDistance, p), cp, n, found);
}
