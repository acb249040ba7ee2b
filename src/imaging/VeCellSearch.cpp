#include "VeCellImage.h"

#include <algorithm>
#include <array>
#include <limits>
#include <map>
#include <vector>

#include "VeCellKernels.h"

using namespace VeCell;

// The choice of a cell's candidate: every candidate tried, or, for candidates made of main
// palette entries, only those whose lower bound does not rule them out; on workers when the
// list is long enough.

namespace {
// Candidates of list[first..last] (the list's candidates in order) that skip(i, candidate) lets
// through, costed VeCellBatch at a time by costOf(batch, n, costs) but handed to take(i, cost)
// strictly in list order. skip sees every take of the candidates before it.
template <class FSkip, class FCost, class FTake>
[[gnu::always_inline]] inline void CostInBatches(const TVeCellPalette* const* list, int first,
                                                 int last, FSkip skip, FCost costOf, FTake take) {
  const TVeCellPalette* batch[VeCellBatch];
  int index[VeCellBatch];
  double costs[VeCellBatch];
  int n = 0;
  auto flush = [&] {
    costOf(batch, n, costs);
    for (int j = 0; j < n; ++j)
      take(index[j], costs[j]);
    n = 0;
  };
  for (int i = first; i <= last; ++i) {
    const TVeCellPalette* p = list[i];
    if (skip(i, p)) continue;
    batch[n] = p;
    index[n++] = i;
    if (n == VeCellBatch) flush();
  }
  if (n) flush();
}

// Splits count candidates into ranges for the workers, a job of TJob each made by
// make(jobs, first, last), and returns the best of the jobs' results, the first on ties.
template <class TJob, class FMake>
int BestOfJobs(int count, const TVeCancelFlag* cancel, double& cost, FMake make) {
  TVeRangeSplitter splitter;
  splitter.Init(count, 0);
  TVeJobList jobs;
  int first, last;
  while (splitter.Next(first, last))
    make(&jobs, first, last);
  jobs.Run(cancel);
  int best = -1;
  for (int i = 0; i < jobs.Count(); ++i) {
    const auto* job = jobs.Job<TJob>(i);
    if (job->Best < 0) continue;
    if (best < 0 || job->BestCost < cost) {
      best = job->Best;
      cost = job->BestCost;
    }
  }
  return best;
}
} // namespace

int TVeBaseCellImage::SearchRange(const TVeCellPaletteList& list, const TVeCellRect& rect,
                                  TVeCellHelper& scratch, int first, int last, double& cost) const {
  return SearchRangeAt(list, rect, FMirror, scratch, first, last, cost);
}

int TVeBaseCellImage::SearchRangeAt(const TVeCellPaletteList& list, const TVeCellRect& rect,
                                    bool mirror, TVeCellHelper& scratch, int first, int last,
                                    double& cost) const {
  int best = -1;
  struct TCellSpace {
    std::vector<TVePerceptual>& V;
    ~TCellSpace() { V.clear(); }
  } space{scratch.FPerceptualCell};
  if (FDistance != VeMethodDeltaRGB) {
    const int step = mirror ? -3 : 3;
    space.V.resize(size_t(rect.Width()) * size_t(rect.Height()));
    for (int y = 0; y < rect.Height(); ++y) {
      const double* src = PixelAt(rect.Left, rect.Top + y, mirror);
      for (int x = 0; x < rect.Width(); ++x, src += step)
        space.V[size_t(y) * rect.Width() + x] = PerceptualOfPixel(FDistance, src);
    }
  }
  CostInBatches(
      list.Items(), first, last, [](int, const TVeCellPalette* p) { return !p->Enabled; },
      [&](const TVeCellPalette* const* batch, int n, double* costs) {
        CellCosts(rect, mirror, scratch, batch, n, costs);
      },
      [&](int i, double c) {
        if (best < 0 || c < cost) {
          best = i;
          cost = c;
        }
      });
  return best;
}

int TVeBaseCellImage::FindOptimalColors(const TVeCellPaletteList& list, const TVeCellRect& rect,
                                        double& cost) {
  if (ProcessorCount() < 2)
    return SearchRange(list, rect, *FSearchScratch, 0, list.Count() - 1, cost);
  return BestOfJobs<TVeCellImageFindOptimalColorsJob>(
      list.Count(), FCancel, cost, [&](TVeJobList* jobs, int first, int last) {
        new TVeCellImageFindOptimalColorsJob(jobs, this, &list, rect, first, last);
      });
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
  partial.resize(size_t(count));
  covered.resize(size_t(count));
  // The first pixels of every candidate's sum at once, a tight loop rather than a call per
  // candidate: most sums pass the best cost within them, and a sum stopped there resumes
  // from the same partial total.
  const int head = std::min(np, 8);
  auto headOf = [&](int i) {
    const int n = FPairCount[size_t(i)];
    const int* e = FPairEntries.data() + 4 * size_t(i);
    double b = 0;
    int k = 0;
    if (n == 2) {
      const double* d0 = dist + size_t(e[0]) * np;
      const double* d1 = dist + size_t(e[1]) * np;
      for (; k < head; ++k)
        b += d0[k] < d1[k] ? d0[k] : d1[k];
    }
    partial[size_t(i - first)] = b;
    covered[size_t(i - first)] = k;
  };
  for (int i = first; i <= last; i += 4) {
    const int* n4 = FPairCount.data() + i;
    if (i + 3 > last || n4[0] != 2 || n4[1] != 2 || n4[2] != 2 || n4[3] != 2) {
      for (int j = i; j <= std::min(last, i + 3); ++j)
        headOf(j);
      continue;
    }
    // Four pairs side by side, each lane adding exactly as headOf does.
    const int* e = FPairEntries.data() + 4 * size_t(i);
    const double* d[8];
    for (int j = 0; j < 4; ++j) {
      d[j] = dist + size_t(e[4 * j]) * np;
      d[4 + j] = dist + size_t(e[4 * j + 1]) * np;
    }
    TLanes4 b = {};
    for (int k = 0; k < head; ++k) {
      const TLanes4 x = {d[0][k], d[1][k], d[2][k], d[3][k]};
      const TLanes4 y = {d[4][k], d[5][k], d[6][k], d[7][k]};
      b += x < y ? x : y;
    }
    for (int j = 0; j < 4; ++j) {
      partial[size_t(i + j - first)] = b[j];
      covered[size_t(i + j - first)] = head;
    }
  }
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
  // A table of them where the palette fits one, which spares a scan per candidate.
  const int entries = int(cell.Closest.size());
  bool nearTable[256] = {};
  const bool tabled = entries <= 256;
  if (tabled)
    for (int k = 0; k < nearest; ++k)
      nearTable[cell.Closest[size_t(k)]] = true;
  auto near = [&](int entry) {
    if (tabled) return nearTable[entry];
    for (int k = 0; k < nearest; ++k)
      if (cell.Closest[size_t(k)] == entry) return true;
    return false;
  };
  int seed = -1;
  double seedBound = 0;
  const TVeCellPalette* const* pals = list.Items();
  for (int i = first; i <= last; ++i) {
    const int n = FPairCount[size_t(i)];
    const int* e = FPairEntries.data() + 4 * size_t(i);
    if (seed >= 0 && (n == 0 || (n <= 2 && (!near(e[0]) || !near(e[n - 1]))))) continue;
    // The candidates themselves lie scattered in memory: read them last.
    if (!pals[i]->Enabled) continue;
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
  CostInBatches(
      pals, first, last,
      [&](int i, const TVeCellPalette* candidate) {
        if (i == seed) return true;
        // What bound() would return at once, without the call.
        if (FPairCount[size_t(i)] != 0 && partial[size_t(i - first)] > cost) return true;
        const double b = bound(i, cost);
        return b > cost || (b == cost && i > best) || !candidate->Enabled;
      },
      [&](const TVeCellPalette* const* batch, int n, double* costs) {
        CellCosts(rect, mirror, scratch, batch, n, costs);
      },
      [&](int i, double c) {
        if (c < cost || (c == cost && i < best)) {
          best = i;
          cost = c;
        }
      });
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
  return BestOfJobs<TBoundedJob>(list.Count(), FCancel, cost,
                                 [&](TVeJobList* jobs, int first, int last) {
                                   new TBoundedJob(jobs, this, &list, rect, cell, first, last);
                                 });
}
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
