#include "VePlatformMsxYJK.h"

#include <algorithm>
#include <limits>

#include "VeDest.h"
#include "VeDestEngineOptions.h"
#include "VeMsxYJKPTables.h"
#include "VeMsxYUVTables.h"
#include "VePlatformMsx.h"
#include "VeQuantization.h"
#include "VeThreadJob.h"

void VeMsxPackYjk(uint8_t* bytes, const int y[4], int j, int k) {
  const int low[4] = {k & 7, (k >> 3) & 7, j & 7, (j >> 3) & 7};
  for (int i = 0; i < 4; ++i)
    bytes[i] = uint8_t((y[i] & 31) << 3 | low[i]);
}

void VeMsxUnpackYjk(const uint8_t* bytes, int y[4], int& j, int& k) {
  for (int i = 0; i < 4; ++i)
    y[i] = bytes[i] >> 3;
  const int kk = (bytes[0] & 7) | (bytes[1] & 7) << 3;
  const int jj = (bytes[2] & 7) | (bytes[3] & 7) << 3;
  k = kk >= 32 ? kk - 64 : kk;
  j = jj >= 32 ? jj - 64 : jj;
}

uint32_t VeMsxYjkQuad(const TVeYjkLevels& c) {
  return uint32_t(MsxLevel5Byte(c.R)) << 16 | uint32_t(MsxLevel5Byte(c.G)) << 8 |
         MsxLevel5Byte(c.B);
}

void VeMsxDecodeYjkRow(const uint8_t* row, int width, TVeYjkDecoder decoder,
                       const TVePalette256* attributePalette, uint32_t* quads, int bias) {
  for (int x0 = 0; x0 < width; x0 += 4) {
    uint8_t group[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4 && x0 + i < width; ++i)
      group[i] = row[x0 + i];
    int y[4], j, k;
    VeMsxUnpackYjk(group, y, j, k);
    for (int i = 0; i < 4 && x0 + i < width; ++i) {
      if (attributePalette && (y[i] & 1)) {
        const int p = y[i] >> 1;
        quads[x0 + i] = p < attributePalette->Count() ? attributePalette->GetRGBQuad(p) : 0;
        continue;
      }
      const TVeYjkLevels c = decoder == TVeYjkDecoder::YJK ? VeDecodeYJK(y[i], j, k, bias)
                                                           : VeDecodeYUV(y[i], j, k, bias);
      quads[x0 + i] = VeMsxYjkQuad(c);
    }
  }
}

// ---- The group search -----------------------------------------------------------------------

namespace {

// Each term of the colour distance between a pixel of level p and a decoded level, computed
// exactly as the distance itself computes it, per weight: a channel given straight by Y + J or
// Y + K (index s + 32, s = -32 ... 62), or by the third value (index n + 93 of its numerator
// n = 5Y - 2J - K + bias, n = -93 ... 253).
constexpr int DirectSize = 95, ThirdSize = 347;
struct TTerms {
  double Direct[3][32][DirectSize];
  double Third[3][32][ThirdSize];
  TTerms() {
    const double w[3] = {VeLumR, VeLumG, VeLumB};
    for (int c = 0; c < 3; ++c)
      for (int p = 0; p < 32; ++p) {
        const double lp = Level31ToLinear(p);
        for (int s = 0; s < DirectSize; ++s) {
          const double d = lp - Level31ToLinear(VeYjkClamp(s - 32));
          Direct[c][p][s] = w[c] * d * d;
        }
        for (int t = 0; t < ThirdSize; ++t) {
          const int n = t - 93;
          const double d = lp - Level31ToLinear(n < 0 ? 0 : VeYjkClamp(n >> 2));
          Third[c][p][t] = w[c] * d * d;
        }
      }
  }
};
const TTerms& Terms() {
  static const TTerms terms;
  return terms;
}

constexpr double StartBest = 10000;

// The pieces of one pixel's distance for a candidate (J, K), indexed by Y (third by 5Y).
struct TPixelTerms {
  const double* A; // red
  const double* B; // Y + K channel
  const double* C; // third channel
};

inline TPixelTerms PixelTerms(bool yuv, int bias, int level, int j, int k) {
  const TTerms& t = Terms();
  const int r = level >> 10, g = (level >> 5) & 31, b = level & 31;
  const int third = bias - 2 * j - k + 93;
  if (!yuv) return {t.Direct[0][r] + j + 32, t.Direct[1][g] + k + 32, t.Third[2][b] + third};
  return {t.Direct[0][r] + j + 32, t.Direct[2][b] + k + 32, t.Third[1][g] + third};
}

inline double Error(bool yuv, const TPixelTerms& p, int y) {
  // The sum runs red, green, blue as in the colour distance.
  return yuv ? (p.A[y] + p.C[5 * y]) + p.B[y] : (p.A[y] + p.B[y]) + p.C[5 * y];
}

// The first Y (of every step-th) with the smallest error.
inline double FullScan(bool yuv, const TPixelTerms& p, int step, int& bestY) {
  double best = StartBest;
  bestY = 0;
  for (int y = 0; y < 32; y += step) {
    const double e = Error(yuv, p, y);
    if (e < best) {
      best = e;
      bestY = y;
    }
  }
  return best;
}

// The smallest error of a YJK pixel when it is at most `limit` (otherwise some value above
// the limit). The green term alone never exceeds the error and grows on both sides of the Y
// that matches green, so the search walks out from there and stops on each side once green
// alone is beyond what could still count.
inline double BoundedSearch(const TPixelTerms& p, int green, int k, int step, double limit) {
  int y0 = std::clamp(green - k, 0, 31);
  y0 -= y0 % step;
  double best = StartBest;
  double bound = std::min(best, limit);
  auto visit = [&](int y) {
    const double e = (p.A[y] + p.B[y]) + p.C[5 * y];
    if (e < best) {
      best = e;
      if (best < bound) bound = best;
    }
  };
  visit(y0);
  for (int y = y0 + step; y < 32 && !(p.B[y] > bound); y += step)
    visit(y);
  for (int y = y0 - step; y >= 0 && !(p.B[y] > bound); y -= step)
    visit(y);
  return best;
}

struct TCandidate {
  double Cost = StartBest;
  int Palette = 0; // pixels shown by palette colours
  int S = 0;       // |J| + |K|
  int K = 0, J = 0;
  bool Found = false;
};

// Equal costs go to fewer palette pixels, then the smaller |J| + |K|, then the first in the
// scan (K outer, J inner): the order of the scan itself then no longer matters.
inline bool Better(const TCandidate& a, const TCandidate& b) {
  if (!b.Found) return a.Cost < b.Cost;
  if (a.Cost != b.Cost) return a.Cost < b.Cost;
  if (a.Palette != b.Palette) return a.Palette < b.Palette;
  if (a.S != b.S) return a.S < b.S;
  if (a.K != b.K) return a.K < b.K;
  return a.J < b.J;
}

} // namespace

struct TVeYJKImage::TPass {
  const TVeYjkRangeTable* Table = nullptr;
  bool Yuv = false;
  int Step = 1;
  const TVePalette256* Palette = nullptr; // attribute colours, may be empty
  const TVeCancelFlag* Cancel = nullptr;
  TVeDestProgress* Progress = nullptr;
  uint8_t* Bytes = nullptr;
  TVeBitmap* Preview = nullptr;
  double* Accumulate = nullptr;
  int8_t* GroupJ = nullptr;
  int8_t* GroupK = nullptr;
};

class TVeYJKImage::TRowsJob : public TVeJob {
public:
  TRowsJob(TVeJobList* list, const TVeYJKImage* image, const TPass* pass, int first, int last)
      : TVeJob(list), FImage(image), FPass(pass), FFirst(first), FLast(last) {}
  void Execute() override { FImage->EncodeRows(*FPass, FFirst, FLast); }

private:
  const TVeYJKImage* FImage;
  const TPass* FPass;
  int FFirst, FLast;
};

TVeYJKImage::TVeYJKImage(const TVeBitmap32& source) : TVeImage(source) {}
TVeYJKImage::~TVeYJKImage() = default;

const TVeYjkRangeTable& TVeYJKImage::Table() const {
  return VeMsxYJKTable();
}

const TVeYjkRangeTable& TVeYUVImage::Table() const {
  return VeMsxYUVTable();
}

const TVeYjkRangeTable& TVeYJKYAEImage::Table() const {
  return VeMsxYJKPTable();
}

void TVeYJKImage::DitherLevels(const TVeCancelFlag* cancel, const TVeDestEngineOptions& options) {
  static const TVePaletteRGB rgb555(ptRGB555);
  TVeDitherOptions d = VeDitherOptionsOf(options);
  d.GrayPalette = false;
  std::unique_ptr<TVeBitmap> dithered = DitherTrueColor(cancel, d, rgb555);
  FLevels.resize(size_t(FWidth) * size_t(FHeight));
  for (int y = 0; y < FHeight; ++y)
    for (int x = 0; x < FWidth; ++x) {
      const std::array<int, 3> l = rgb555.LevelsOf(uint32_t(dithered->GetPixel(x, y)));
      FLevels[size_t(y) * size_t(FWidth) + size_t(x)] = uint16_t(VeRGB555Index(l[0], l[1], l[2]));
    }
  FGroups = (FWidth + 3) / 4;
  FGroupJ.assign(size_t(FGroups) * size_t(FHeight), 0);
  FGroupK.assign(size_t(FGroups) * size_t(FHeight), 0);
}

void TVeYJKImage::EncodeRows(const TPass& pass, int first, int last) const {
  const TVeYjkRangeTable& table = *pass.Table;
  const bool yuv = pass.Yuv;
  const int bias = table.Bias();
  const int step = pass.Step;
  const TVePalette256* palette = pass.Palette && pass.Palette->Count() > 0 ? pass.Palette : nullptr;
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<uint32_t> quads(static_cast<size_t>(FWidth));
  for (int y = first; y <= last; ++y) {
    const uint16_t* row = &FLevels[size_t(y) * size_t(FWidth)];
    for (int g = 0; g < FGroups; ++g) {
      VeCheckCancel(pass.Cancel);
      const int x0 = 4 * g;
      // The pixels of the group; missing ones past the right edge count as black.
      int level[4];
      double palError[4];
      int palIndex[4];
      int jMin = 31, jMax = -32, kMin = 31, kMax = -32;
      for (int i = 0; i < 4; ++i) {
        level[i] = x0 + i < FWidth ? row[x0 + i] : 0;
        const TVeYjkRangeEntry& e = table[level[i]];
        jMin = std::min<int>(jMin, e.JMin);
        jMax = std::max<int>(jMax, e.JMax);
        kMin = std::min<int>(kMin, e.KMin);
        kMax = std::max<int>(kMax, e.KMax);
        palError[i] = inf;
        palIndex[i] = -1;
        if (palette) {
          const TVeLinRGBColor lin{Level31ToLinear(level[i] >> 10),
                                   Level31ToLinear((level[i] >> 5) & 31),
                                   Level31ToLinear(level[i] & 31)};
          palIndex[i] = palette->FindNearestLin(lin);
          palError[i] = DeltaRGB(lin, palette->GetLinRGB(palIndex[i]));
        }
      }

      TCandidate best;
      auto evaluate = [&](int j, int k) {
        double partial = 0;
        int pals = 0;
        for (int i = 0; i < 4; ++i) {
          // A pixel error beyond this cannot leave the cost at or below the best one.
          const double cap = best.Found ? (best.Cost - partial) + best.Cost * 1e-12 : inf;
          const TPixelTerms terms = PixelTerms(yuv, bias, level[i], j, k);
          double e;
          if (yuv) {
            int unused;
            e = FullScan(true, terms, step, unused);
          } else {
            e = BoundedSearch(terms, (level[i] >> 5) & 31, k, step, std::min(cap, palError[i]));
          }
          // A palette colour serves only when strictly better.
          if (!(e <= palError[i])) {
            e = palError[i];
            ++pals;
          }
          partial += e;
          if (partial > best.Cost) return;
        }
        TCandidate c;
        c.Cost = partial;
        c.Palette = pals;
        c.S = std::abs(j) + std::abs(k);
        c.K = k;
        c.J = j;
        c.Found = true;
        if (Better(c, best)) best = c;
      };
      // The pixels' own pairs first, for a tight bound; then the whole box.
      for (int i = 0; i < 4; ++i)
        evaluate(table[level[i]].J, table[level[i]].K);
      for (int k = kMin; k <= kMax; ++k)
        for (int j = jMin; j <= jMax; ++j)
          evaluate(j, k);
      if (!best.Found) VeInternalError();

      // The chosen pair: each pixel's first best Y, or its palette colour.
      int fields[4];
      for (int i = 0; i < 4; ++i) {
        const TPixelTerms terms = PixelTerms(yuv, bias, level[i], best.J, best.K);
        int by;
        const double e = FullScan(yuv, terms, step, by);
        const bool usePalette = palError[i] < e;
        fields[i] = usePalette ? palIndex[i] * 2 + 1 : by;
        const int x = x0 + i;
        if (x >= FWidth) continue;
        const size_t at = size_t(y) * size_t(FWidth) + size_t(x);
        if (pass.Accumulate) pass.Accumulate[at] = e > 0 ? e * 100000 : 0.0;
        if (usePalette) {
          quads[size_t(x)] = palette->GetRGBQuad(palIndex[i]);
        } else {
          const TVeYjkLevels c =
              yuv ? VeDecodeYUV(by, best.J, best.K, bias) : VeDecodeYJK(by, best.J, best.K, bias);
          quads[size_t(x)] = VeMsxYjkQuad(c);
        }
      }
      uint8_t group[4];
      VeMsxPackYjk(group, fields, best.J, best.K);
      for (int i = 0; i < 4 && x0 + i < FWidth; ++i)
        pass.Bytes[size_t(y) * size_t(FWidth) + size_t(x0 + i)] = group[i];
      pass.GroupJ[size_t(y) * size_t(FGroups) + size_t(g)] = int8_t(best.J);
      pass.GroupK[size_t(y) * size_t(FGroups) + size_t(g)] = int8_t(best.K);
    }
    for (int x = 0; x < FWidth; ++x)
      pass.Preview->SetPixel(x, y, int(quads[size_t(x)]));
    if (pass.Progress) pass.Progress->Step();
  }
}

void TVeYJKImage::RunPass(const TVeCancelFlag* cancel, TVeDestProgress* progress,
                          const TVePalette256* palette, std::vector<uint8_t>& bytes,
                          TVeBitmap& preview, std::vector<double>* accumulate) {
  TPass pass;
  pass.Table = &Table();
  pass.Yuv = pass.Table->Decoder() == TVeYjkDecoder::YUV;
  pass.Step = pass.Table->EvenY() ? 2 : 1;
  pass.Palette = palette;
  pass.Cancel = cancel;
  pass.Progress = progress;
  bytes.assign(size_t(FWidth) * size_t(FHeight), 0);
  pass.Bytes = bytes.data();
  pass.Preview = &preview;
  if (accumulate) {
    accumulate->assign(size_t(FWidth) * size_t(FHeight), 0.0);
    pass.Accumulate = accumulate->data();
  }
  pass.GroupJ = FGroupJ.data();
  pass.GroupK = FGroupK.data();
  if (palette) palette->PrepareSearch();
  Terms();
  if (progress) progress->SetProgress(uint32_t(FHeight), 0);
  if (FHeight <= 0) return;
  if (ProcessorCount() < 2) {
    EncodeRows(pass, 0, FHeight - 1);
    return;
  }
  TVeRangeSplitter split;
  split.Init(FHeight, 0);
  TVeJobList jobs;
  int first, last;
  while (split.Next(first, last))
    new TRowsJob(&jobs, this, &pass, first, last);
  jobs.Run(cancel);
  VeCheckCancel(cancel);
}

std::unique_ptr<TVeBitmap> TVeYJKImage::Convert(const TVeCancelFlag* cancel,
                                                TVeDestEngineOptions& options,
                                                TVeDestProgress* progress,
                                                std::vector<uint8_t>& bytes) {
  DitherLevels(cancel, options);
  auto preview = std::make_unique<TVeBitmap24>(FWidth, FHeight);
  RunPass(cancel, progress, nullptr, bytes, *preview, nullptr);
  options.SetPalette(nullptr);
  return preview;
}

std::unique_ptr<TVeBitmap> TVeYJKYAEImage::Convert(const TVeCancelFlag* cancel,
                                                   TVeDestEngineOptions& options,
                                                   TVeDestProgress* progress,
                                                   std::vector<uint8_t>& bytes) {
  FAttribute = true;
  DitherLevels(cancel, options);
  const TVePaletteRGB& hardware = MsxHardwarePalette(ptMSX9958);
  // The base palette as V9958 colours.
  TVePalette256 base;
  if (UsePalette) {
    const TVePalette256& given = options.BasePalette();
    for (int i = 0; i < given.Count() && i < 16; ++i)
      base.AddLin(hardware.GetLinRGB(hardware.FindNearestLin(given.GetLinRGB(i))));
    base.SortByLuminance();
  }
  auto preview = std::make_unique<TVeBitmap24>(FWidth, FHeight);
  std::vector<double> accumulate;
  TVePalette256 current = base;
  options.SetPalette(&current);
  RunPass(cancel, progress, &current, bytes, *preview, &accumulate);
  FPasses = 1;
  if (!UsePalette || base.Count() >= 16) return preview;

  static const TVePaletteRGB bins(ptRGB555);
  std::vector<double> histogram(32768);
  std::vector<uint8_t> nextBytes;
  while (FPasses < MaxPasses) {
    // The colours weighted by the error YJK left on them, summed in pixel order.
    std::fill(histogram.begin(), histogram.end(), 0.0);
    bool any = false;
    for (size_t i = 0; i < accumulate.size(); ++i)
      if (accumulate[i] > 0) {
        histogram[FLevels[i]] += accumulate[i];
        any = true;
      }
    TVePalette256 next;
    if (any) {
      TVeQuantizationArgs args;
      args.Abort = cancel;
      args.K = 16;
      QuantizeHistogram(args, next, &hardware, bins, base.Count() > 0 ? &base : nullptr,
                        histogram.data());
    } else {
      next = base;
    }
    next.SortByLuminance();
    if (next.Equals(&current)) break;
    current = next;
    options.SetPalette(&current);
    auto nextPreview = std::make_unique<TVeBitmap24>(FWidth, FHeight);
    RunPass(cancel, progress, &current, nextBytes, *nextPreview, &accumulate);
    bytes.swap(nextBytes);
    preview = std::move(nextPreview);
    ++FPasses;
  }
  return preview;
}
