#include "VeCellImage.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "VeRowFeed.h"

// The working pixels: loaded from the colour records before a scan, or prepared band by band
// as the rows of a source still decoding arrive, and stored back after it.

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
