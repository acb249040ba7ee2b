#include "VeQuantization.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "VeCpuFeatures.h"
#include "VeErrors.h"
#include "VeImage.h"

namespace {

uint32_t LinToQuad(const TVeLinRGBColor& lin) {
  return uint32_t(LinearToByte(lin.R)) << 16 | uint32_t(LinearToByte(lin.G)) << 8 |
         LinearToByte(lin.B);
}

TVeLinRGBColor LinOfQuad(uint32_t quad) {
  return {ByteToLinear(uint8_t(quad >> 16)), ByteToLinear(uint8_t(quad >> 8)),
          ByteToLinear(uint8_t(quad))};
}

void AddWeight(uint32_t& weight, uint64_t more) {
  weight = uint32_t(std::min<uint64_t>(uint64_t(weight) + more, UINT32_MAX));
}

// The nearest search reads the centres in vectors of two doubles (every x86-64 processor) or
// four (AVX2). Plain vector arithmetic in the scalar order: each lane rounds exactly as the
// scalar distance does (no fused multiply-add is asked for).
typedef double TQuantLanes2 __attribute__((vector_size(2 * sizeof(double))));
typedef double TQuantLanes4 __attribute__((vector_size(4 * sizeof(double))));
constexpr int WalkPad = 4; // places of padding at each end of the walk rows

// The three nearest centres found so far: the first two with their clusters (the first
// on ties, as a plain scan in cluster order), the third distance only.
struct TNearestThree {
  double Best, Second, Third;
  int BestCluster, SecondCluster;
  int SeedA, SeedB; // clusters taken before the walk, which it passes over
  [[gnu::always_inline]] void Offer(double d, int cluster) {
    if (d <= Third && cluster != SeedA && cluster != SeedB) Take(d, cluster);
  }
  [[gnu::always_inline]] void Take(double d, int cluster) {
    if (d < Best || (d == Best && cluster < BestCluster)) {
      Third = Second;
      Second = Best;
      SecondCluster = BestCluster;
      Best = d;
      BestCluster = cluster;
    } else if (d < Second) {
      Third = Second;
      Second = d;
      SecondCluster = cluster;
    } else if (d < Third) {
      Third = d;
    }
  }
};

struct TWalkRows {
  const double *R, *G, *B; // element 0 is the first centre; padding of infinite green around
  const int* Cluster;
  int Count;
};

// Distances d and green terms tg of the centres at..at+L-1; whether one may be among the
// three (the least lane by two shuffles, no target-specific builtin, which the AVX2 instance
// could not take in).
template <class V>
[[gnu::always_inline]] inline bool WalkBlock(const TWalkRows& w, int at, const V& vr, const V& vg,
                                             const V& vb, double third, V& d, V& tg) {
  V r, g, b;
  std::memcpy(&r, w.R + at, sizeof r);
  std::memcpy(&g, w.G + at, sizeof g);
  std::memcpy(&b, w.B + at, sizeof b);
  const V dg = vg - g;
  tg = VeLumG * dg * dg;
  const V dr = vr - r, db = vb - b;
  d = VeLumR * dr * dr + tg + VeLumB * db * db;
  V m;
  if constexpr (sizeof(V) == 2 * sizeof(double)) {
    m = __builtin_shufflevector(d, d, 1, 0);
    m = d < m ? d : m;
  } else {
    V s = __builtin_shufflevector(d, d, 2, 3, 0, 1);
    s = d < s ? d : s;
    m = __builtin_shufflevector(s, s, 1, 0, 3, 2);
    m = s < m ? s : m;
  }
  return m[0] <= third;
}

// Visits the centres outward from the colour's green position, block by block, up and then
// down, until the green term alone of the block's farthest centre exceeds the third
// distance: every centre beyond is farther than the three. A block may visit a few centres
// more than needed, which only tightens the three. Each distance is the sum a full scan
// computes, in the same order, so the nearest is exactly the full scan's.
template <class V>
[[gnu::always_inline]] inline void WalkGreen(const TWalkRows& w, int start, double xr, double xg,
                                             double xb, TNearestThree& t) {
  constexpr int L = int(sizeof(V) / sizeof(double));
  static_assert(L <= WalkPad);
  V vr, vg, vb;
  for (int k = 0; k < L; ++k) {
    vr[k] = xr;
    vg[k] = xg;
    vb[k] = xb;
  }
  for (int j = start; j < w.Count; j += L) {
    V d, tg;
    if (WalkBlock(w, j, vr, vg, vb, t.Third, d, tg))
      for (int k = 0; k < L && j + k < w.Count; ++k)
        t.Offer(d[k], w.Cluster[j + k]);
    if (tg[L - 1] > t.Third) break;
  }
  for (int j = start - 1; j >= 0; j -= L) {
    const int low = j - L + 1;
    V d, tg;
    if (WalkBlock(w, low, vr, vg, vb, t.Third, d, tg))
      for (int k = L - 1; k >= 0 && low + k >= 0; --k)
        t.Offer(d[k], w.Cluster[low + k]);
    if (tg[0] > t.Third) break;
  }
}

void WalkGreen2(const TWalkRows& w, int start, double xr, double xg, double xb, TNearestThree& t) {
  WalkGreen<TQuantLanes2>(w, start, xr, xg, xb, t);
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) void WalkGreen4(const TWalkRows& w, int start, double xr, double xg,
                                                double xb, TNearestThree& t) {
  WalkGreen<TQuantLanes4>(w, start, xr, xg, xb, t);
}
#endif

// Pixel keys in ascending order. Keys of 24 bits, as pixels give, take two passes of a
// radix sort on 12 bits; the order is std::sort's, an integer order.
void SortKeys(std::vector<uint32_t>& keys) {
  constexpr size_t RadixMin = 4096;
  uint32_t high = 0;
  for (const uint32_t k : keys)
    high |= k;
  if (keys.size() < RadixMin || (high >> 24) != 0) {
    std::sort(keys.begin(), keys.end());
    return;
  }
  constexpr uint32_t Digits = 4096;
  std::vector<size_t> low(Digits + 1, 0), top(Digits + 1, 0);
  for (const uint32_t k : keys) {
    ++low[(k & (Digits - 1)) + 1];
    ++top[(k >> 12) + 1];
  }
  for (uint32_t d = 0; d < Digits; ++d) {
    low[d + 1] += low[d];
    top[d + 1] += top[d];
  }
  std::vector<uint32_t> buffer(keys.size());
  for (const uint32_t k : keys)
    buffer[low[k & (Digits - 1)]++] = k;
  for (const uint32_t k : buffer)
    keys[top[k >> 12]++] = k;
}

} // namespace

// ---------------------------------------------------------------------------------------
// Jobs: each works on its own range of clusters or colours.

class TVeQuantizationJob : public TVeJob {
public:
  using TBody = std::function<void(int first, int last)>;
  TVeQuantizationJob(TVeJobList* list, TVeQuantization* owner, int first, int last,
                     const TBody& body)
      : TVeJob(list), Owner(owner), First(first), Last(last), FBody(body) {}
  void Execute() override { FBody(First, Last); }
  TVeQuantization* Owner;
  int First, Last;

private:
  const TBody& FBody;
};

// Centres of a range of clusters.
class TVeQuantizationUpdateClusterMiddleJob : public TVeQuantizationJob {
  using TVeQuantizationJob::TVeQuantizationJob;
};
// Nearest cluster of a range of colours.
class TVeQuantizationUpdateColorNearestClusterJob : public TVeQuantizationJob {
  using TVeQuantizationJob::TVeQuantizationJob;
};
// Distance of a range of colours to their clusters.
class TVeQuantizationUpdateColorDistansesJob : public TVeQuantizationJob {
  using TVeQuantizationJob::TVeQuantizationJob;
};

// ---------------------------------------------------------------------------------------
// TVeQuantization

TVeQuantization::TVeQuantization(const TVeCancelFlag* abort, int k, bool gray, int distance)
    : FAbort(abort), FK(std::max(k, 2)), FGray(gray), FDistance(distance), FSnapDistance(distance) {
  if (!VeValidDistance(distance)) VeInternalError();
}

TVeQuantization::~TVeQuantization() = default;

void TVeQuantization::Check() const {
  VeCheckCancel(FAbort);
}

// Runs body over 0..count-1, cut into jobs when there are workers and the work (a rough
// count of distance computations) is worth a hand-over. Every element is computed the same
// way either way, so the cut never changes a result.
template <class TJob>
void TVeQuantization::ForRanges(int count, double work, const std::function<void(int, int)>& body) {
  constexpr double MinParallelWork = 50000;
  if (count <= 0) return;
  if (SingleThread || ProcessorCount() < 2 || count < 2 || work < MinParallelWork) {
    body(0, count - 1);
    Check();
    return;
  }
  TVeRangeSplitter splitter;
  splitter.Init(count, 0);
  TVeJobList list;
  int first, last;
  while (splitter.Next(first, last))
    new TJob(&list, this, first, last, body);
  list.Run(FAbort);
}

void TVeQuantization::AddColor(uint8_t r, uint8_t g, uint8_t b, uint32_t weight) {
  uint32_t key = uint32_t(r) << 16 | uint32_t(g) << 8 | b;
  if (weight == 1) {
    FPendingKeys.push_back(key);
    return;
  }
  AddColor(key, LinOfQuad(key), weight);
}

void TVeQuantization::AddColor(uint32_t quad, const TVeLinRGBColor& lin, uint32_t weight) {
  TVeQuantizationColor c;
  c.R = uint8_t(quad >> 16);
  c.G = uint8_t(quad >> 8);
  c.B = uint8_t(quad);
  c.Lin = lin;
  c.Weight = std::max<uint32_t>(weight, 1);
  FPendingColors.push_back(c);
}

void TVeQuantization::AddPixels(const uint32_t* rgbQuads, size_t count) {
  FPendingKeys.reserve(FPendingKeys.size() + count);
  for (size_t i = 0; i < count; ++i)
    FPendingKeys.push_back(rgbQuads[i] & 0xFFFFFF);
}

void TVeQuantization::AddPixels(const TVeColor* pixels, size_t count) {
  FPendingKeys.reserve(FPendingKeys.size() + count);
  for (size_t i = 0; i < count; ++i)
    FPendingKeys.push_back(pixels[i].GetRGBQuad());
}

void TVeQuantization::AddPixels(const TVePixel* pixels, size_t count) {
  FPendingKeys.reserve(FPendingKeys.size() + count);
  for (size_t i = 0; i < count; ++i)
    FPendingKeys.push_back(pixels[i].GetRGBQuad());
}

void TVeQuantization::AddPalette(const TVePalette256& palette) {
  for (int i = 0; i < palette.Count(); ++i)
    AddColor(palette.GetRGBQuad(i), palette.GetLinRGB(i),
             uint32_t(std::max(palette.Color(i).UseCount, 1)));
}

// Searches of shared palettes run on several threads: fill their caches first.
void TVeQuantization::PrepareInputs() {
  for (const TVePalette* p : {Hardware, Initial, Pinned}) {
    if (const auto* p256 = dynamic_cast<const TVePalette256*>(p)) p256->PrepareSearch();
    if (const auto* rgb = dynamic_cast<const TVePaletteRGB*>(p)) rgb->PrepareSearch(FSnapDistance);
    if (const auto* rgb = dynamic_cast<const TVePaletteRGB*>(p); rgb && rgb->HasGray())
      rgb->GrayPalette()->PrepareSearch();
  }
}

// The output may also be one of the inputs: those are read from a copy while the output
// is rebuilt.
class TVeQuantizationInputGuard {
public:
  TVeQuantizationInputGuard(TVeQuantization& q, const TVePalette*& hardware,
                            const TVePalette*& initial, const TVePalette*& pinned,
                            const TVePalette256& output)
      : FSlots{&hardware, &initial, &pinned}, FSaved{hardware, initial, pinned} {
    (void)q;
    for (const TVePalette** slot : FSlots) {
      if (*slot != &output) continue;
      if (!FCopy) FCopy = output.Clone256();
      *slot = FCopy.get();
    }
  }
  ~TVeQuantizationInputGuard() {
    for (int i = 0; i < 3; ++i)
      *FSlots[i] = FSaved[i];
  }

private:
  const TVePalette** FSlots[3];
  const TVePalette* FSaved[3];
  std::unique_ptr<TVePalette256> FCopy;
};

// Merges everything collected into the array of distinct colours sorted by red, green,
// blue. Sorting once replaces one binary-search insertion per pixel and gives the same
// array. A colour given with its own linear value keeps the first such value.
void TVeQuantization::FinishCollection() {
  if (FPendingKeys.empty() && FPendingColors.empty()) return;
  std::vector<TVeQuantizationColor> merged;
  SortKeys(FPendingKeys);
  std::stable_sort(FPendingColors.begin(), FPendingColors.end(),
                   [](const auto& a, const auto& b) { return a.Key() < b.Key(); });
  merged.reserve(FColors.size() + FPendingColors.size() + FPendingKeys.size() / 4);
  size_t a = 0, b = 0, p = 0;
  auto append = [&](const TVeQuantizationColor& c) {
    if (!merged.empty() && merged.back().Key() == c.Key())
      AddWeight(merged.back().Weight, c.Weight);
    else
      merged.push_back(c);
  };
  // Three sorted sources: colours merged before, colours with their own linear values,
  // and plain pixels.
  while (a < FColors.size() || b < FPendingColors.size() || p < FPendingKeys.size()) {
    uint32_t ka = a < FColors.size() ? FColors[a].Key() : UINT32_MAX;
    uint32_t kb = b < FPendingColors.size() ? FPendingColors[b].Key() : UINT32_MAX;
    uint32_t kp = p < FPendingKeys.size() ? FPendingKeys[p] : UINT32_MAX;
    if (ka <= kb && ka <= kp) {
      append(FColors[a++]);
    } else if (kb <= kp) {
      append(FPendingColors[b++]);
    } else {
      size_t q = p;
      while (q < FPendingKeys.size() && FPendingKeys[q] == kp)
        ++q;
      TVeQuantizationColor c;
      c.R = uint8_t(kp >> 16);
      c.G = uint8_t(kp >> 8);
      c.B = uint8_t(kp);
      if (!merged.empty() && merged.back().Key() == kp) {
        AddWeight(merged.back().Weight, q - p);
      } else {
        c.Lin = LinOfQuad(kp);
        c.Weight = 0;
        AddWeight(c.Weight, q - p);
        merged.push_back(c);
      }
      p = q;
    }
  }
  FColors.swap(merged);
  FPendingKeys.clear();
  FPendingKeys.shrink_to_fit();
  FPendingColors.clear();
}

const std::vector<TVeQuantizationColor>& TVeQuantization::Colors() {
  FinishCollection();
  return FColors;
}

// --- Centres ----------------------------------------------------------------------------

void TVeQuantization::Snap(TVeLinRGBColor& lin) const {
  if (!Hardware) return;
  int index;
  if (FGray)
    index = Hardware->FindNearestGray(TVeColor::FromLin(lin));
  else
    index = Hardware->FindNearestBy(FSnapDistance, lin);
  if (index < 0) VeInternalError();
  lin = Hardware->GetLinRGB(index);
}

void TVeQuantization::SetCentre(TVeQuantizationCluster& c, const TVeLinRGBColor& lin) {
  c.Centre = lin;
  c.CentreQuad = LinToQuad(lin);
  c.CentreLuminance = lin.Luminance();
  c.CentreValid = true;
}

// Weighted means of the stale clusters. One pass over the colours adds each cluster's
// members in colour-array order, so the sums never depend on the number of workers; the
// jobs then divide and snap.
void TVeQuantization::UpdateCentres(bool basesOnly) {
  std::vector<int> stale;
  std::vector<char> isStale(FClusters.size(), 0);
  for (size_t i = 0; i < FClusters.size(); ++i) {
    const auto& c = FClusters[i];
    if (basesOnly && c.BaseA != c.BaseB) continue;
    if (!c.Fixed && c.MemberCount > 0 && !c.CentreValid) {
      stale.push_back(int(i));
      isStale[i] = 1;
    }
  }
  if (stale.empty()) return;
  struct TSum {
    double R = 0, G = 0, B = 0, W = 0;
  };
  std::vector<TSum> sums(FClusters.size());
  if (FHotValid) {
    for (size_t i = 0; i < FHotCluster.size(); ++i) {
      const int c = FHotCluster[i];
      if (c < 0 || !isStale[size_t(c)]) continue;
      TSum& s = sums[size_t(c)];
      const double cw = FWeight[i];
      s.R += cw * FLinR[i];
      s.G += cw * FLinG[i];
      s.B += cw * FLinB[i];
      s.W += cw;
    }
  } else {
    for (const auto& color : FColors) {
      if (color.Cluster < 0 || !isStale[size_t(color.Cluster)]) continue;
      TSum& s = sums[size_t(color.Cluster)];
      const double cw = color.Weight;
      s.R += cw * color.Lin.R;
      s.G += cw * color.Lin.G;
      s.B += cw * color.Lin.B;
      s.W += cw;
    }
  }
  const double work = double(stale.size()) * (Hardware ? std::min(Hardware->Count(), 4096) : 1);
  ForRanges<TVeQuantizationUpdateClusterMiddleJob>(
      int(stale.size()), work, [&](int first, int last) {
        for (int i = first; i <= last; ++i) {
          const int c = stale[size_t(i)];
          const TSum& s = sums[size_t(c)];
          TVeLinRGBColor lin{s.R / s.W, s.G / s.W, s.B / s.W};
          Snap(lin);
          SetCentre(FClusters[size_t(c)], lin);
        }
      });
}

// --- Nearest search ---------------------------------------------------------------------

// Copies the colours' clusters, linear values and weights into the loop's arrays.
void TVeQuantization::LoadHot() {
  const size_t n = FColors.size();
  FHotCluster.resize(n);
  FLinR.resize(n);
  FLinG.resize(n);
  FLinB.resize(n);
  FWeight.resize(n);
  FUpper.assign(n, 0.0);
  FLower.assign(n, 0.0);
  FSecond.assign(n, -1);
  FThird.assign(n, 0.0);
  FMoved.assign(n, 0);
  for (size_t i = 0; i < n; ++i) {
    const auto& c = FColors[i];
    FHotCluster[i] = c.Cluster;
    FLinR[i] = c.Lin.R;
    FLinG[i] = c.Lin.G;
    FLinB[i] = c.Lin.B;
    FWeight[i] = c.Weight;
  }
  FHotValid = true;
  FBoundsValid = false;
}

// Nearest cluster of every colour; clusters in creation order, excluded ones skipped, the
// first on ties. The clusters are visited outward from the colour's green value and the
// walk stops once the green term alone exceeds the third best distance: every distance is
// the same sum a full scan computes, so the answer is exactly the full scan's.
//
// Between passes a colour skips the search when its current centre is nearer than every
// other by a clear margin, judged from bounds on the metric distance that follow how far
// each centre moved (Hamerly's method); a cluster a split opened since enters the bounds by
// its distance. The margin is far above the rounding of the bounds, so a skipped colour is
// one whose full scan would return its current cluster anyway.
void TVeQuantization::FindNearest() {
  if (!FHotValid) LoadHot();
  const size_t n = FClusters.size();
  FGreenOrder.clear();
  for (size_t i = 0; i < n; ++i)
    if (!FClusters[i].Excluded) FGreenOrder.push_back(int(i));
  std::stable_sort(FGreenOrder.begin(), FGreenOrder.end(), [this](int a, int b) {
    return FClusters[size_t(a)].Centre.G < FClusters[size_t(b)].Centre.G;
  });
  const size_t walk = FGreenOrder.size() + 2 * WalkPad;
  constexpr double Inf = std::numeric_limits<double>::infinity();
  FWalkR.assign(walk, 0.0);
  FWalkB.assign(walk, 0.0);
  FWalkG.assign(walk, Inf);
  std::fill_n(FWalkG.begin(), WalkPad, -Inf);
  for (size_t j = 0; j < FGreenOrder.size(); ++j) {
    const TVeLinRGBColor& c = FClusters[size_t(FGreenOrder[j])].Centre;
    FWalkR[WalkPad + j] = c.R;
    FWalkG[WalkPad + j] = c.G;
    FWalkB[WalkPad + j] = c.B;
  }
#if defined(__x86_64__) || defined(__i386__)
  FWideLanes = WideLanes && VeHasAvx2();
#endif
  FCentres.resize(n);
  FDriftSums.resize(n);
  const bool bounds = FBoundsValid && Accelerated;
  if (bounds) {
    // How far each centre moved, and half the gap to the nearest other centre (a colour
    // closer than that to its centre stays).
    double maxDrift = 0;
    FOpenedCentres.clear();
    for (auto& c : FClusters) {
      if (!c.Searched) {
        if (!c.Excluded) FOpenedCentres.push_back(c.Centre);
        continue;
      }
      const double drift = std::sqrt(DeltaRGB(c.SearchedCentre, c.Centre));
      c.DriftSum += drift;
      maxDrift = std::max(maxDrift, drift);
    }
    FDriftSum += maxDrift;
  }
  for (size_t i = 0; i < n; ++i) {
    FCentres[i] = FClusters[i].Centre;
    FDriftSums[i] = FClusters[i].DriftSum;
  }
  if (bounds) {
    // Squared gaps first: the root is monotonic, so one root per cluster gives the same.
    FHalfGap.assign(n, std::numeric_limits<double>::infinity());
    for (size_t i = 0; i < n; ++i)
      for (size_t j = i + 1; j < n; ++j) {
        const double d = DeltaRGB(FCentres[i], FCentres[j]);
        FHalfGap[i] = std::min(FHalfGap[i], d);
        FHalfGap[j] = std::min(FHalfGap[j], d);
      }
    for (double& gap : FHalfGap)
      gap = 0.5 * std::sqrt(gap);
  }
  ForRanges<TVeQuantizationUpdateColorNearestClusterJob>(
      int(FColors.size()), double(FColors.size()) * double(FGreenOrder.size()),
      [&](int first, int last) { FindNearestRange(first, last, bounds); });
  for (auto& c : FClusters) {
    c.SearchedCentre = c.Centre;
    c.Searched = true;
  }
  FBoundsValid = true;
}

void TVeQuantization::FindNearestRange(int first, int last, bool bounds) {
  constexpr double Margin = 1e-9;
  constexpr double Inf = std::numeric_limits<double>::infinity();
  const int n = int(FGreenOrder.size());
  const TWalkRows rows{FWalkR.data() + WalkPad, FWalkG.data() + WalkPad, FWalkB.data() + WalkPad,
                       FGreenOrder.data(), n};
  auto walk = WalkGreen2;
#if defined(__x86_64__) || defined(__i386__)
  if (FWideLanes) walk = WalkGreen4;
#endif
  // Where the walk starts for a green of each 1/256 (then a step or two to the exact place).
  constexpr int Buckets = 256;
  std::array<int, Buckets + 1> bucketStart;
  for (int b = 0; b <= Buckets; ++b)
    bucketStart[size_t(b)] =
        int(std::lower_bound(rows.G, rows.G + n, double(b) / Buckets) - rows.G);
  const double lowerShift = FDriftSum;
  const TVeLinRGBColor* opened = FOpenedCentres.data();
  const size_t openedCount = bounds ? FOpenedCentres.size() : 0;
  for (int i = first; i <= last; ++i) {
    if ((i & 4095) == 0 && FAbort && FAbort->load(std::memory_order_relaxed)) return;
    const size_t ci = size_t(i);
    const int current = FHotCluster[ci];
    const TVeLinRGBColor x{FLinR[ci], FLinG[ci], FLinB[ci]};
    int bestCluster = -1;
    // Clusters whose distances are known before a full search: they start its three.
    TNearestThree t{Inf, Inf, Inf, -1, -1, -1, -1};
    if (bounds && current >= 0) {
      // A cluster opened since is one more "other" centre: its distance lowers the bounds.
      if (openedCount > 0) {
        double dn = Inf;
        for (size_t o = 0; o < openedCount; ++o)
          dn = std::min(dn, DeltaRGB(x, opened[o]));
        const double stored = std::sqrt(dn) + lowerShift;
        FLower[ci] = std::min(FLower[ci], stored);
        FThird[ci] = std::min(FThird[ci], stored);
      }
      const size_t a = size_t(current);
      const double drift = FDriftSums[a];
      const double bound = std::max(FLower[ci] - lowerShift, FHalfGap[a]);
      if (FUpper[ci] + drift + Margin < bound) continue;
      const double da = DeltaRGB(x, FCentres[a]);
      const double upper = std::sqrt(da);
      FUpper[ci] = upper - drift;
      if (upper + Margin < bound) continue;
      t.Take(da, current);
      t.SeedA = current;
      // A colour between two clusters: when every other centre is clearly farther than
      // both, the nearer of the two (the first on a tie) is the full scan's answer.
      const int s = FSecond[ci];
      if (s >= 0) {
        const double third = FThird[ci] - lowerShift;
        const double ds = DeltaRGB(x, FCentres[size_t(s)]);
        if (s != current) {
          t.Take(ds, s);
          t.SeedB = s;
        }
        const bool stay = da < ds || (da == ds && current < s);
        const double dw = stay ? da : ds, dl = stay ? ds : da;
        if (std::sqrt(dw) + Margin < third) {
          const int w = stay ? current : s, l = stay ? s : current;
          FUpper[ci] = std::sqrt(dw) - FDriftSums[size_t(w)];
          FLower[ci] = std::min(std::sqrt(dl), third) + lowerShift;
          FSecond[ci] = l;
          if (w != current) {
            FColors[ci].Nearest = w;
            FMoved[ci] = 1;
          }
          continue;
        }
      }
    }
    if (!Accelerated) {
      // Plain scan in creation order, the first strictly nearer wins.
      double best = 0;
      for (size_t c = 0; c < FClusters.size(); ++c) {
        if (FClusters[c].Excluded) continue;
        const double d = DeltaRGB(x, FCentres[c]);
        if (bestCluster < 0 || d < best) {
          best = d;
          bestCluster = int(c);
        }
      }
    } else {
      if (t.SeedA < 0 && current >= 0 && !FClusters[size_t(current)].Excluded) {
        t.Take(DeltaRGB(x, FCentres[size_t(current)]), current);
        t.SeedA = current;
      }
      // The first centre of green at least the colour's: every centre below has less.
      int start = bucketStart[size_t(std::clamp(int(x.G * Buckets), 0, Buckets))];
      while (start > 0 && rows.G[start - 1] >= x.G)
        --start;
      while (start < n && rows.G[start] < x.G)
        ++start;
      // The walk goes on to the third nearest: every cluster other than the two nearest is
      // at least that far, a bound that lets the colour skip later searches.
      walk(rows, start, x.R, x.G, x.B, t);
      const double best = t.Best, second = t.Second, third = t.Third;
      const int secondCluster = t.SecondCluster;
      bestCluster = t.BestCluster;
      if (bestCluster >= 0) {
        FUpper[ci] = std::sqrt(best) - FDriftSums[size_t(bestCluster)];
        FLower[ci] = std::sqrt(second) + lowerShift;
        FSecond[ci] = secondCluster;
        FThird[ci] = std::sqrt(third) + lowerShift;
      }
    }
    if (!bounds || bestCluster != current) FColors[ci].Nearest = bestCluster;
    if (bestCluster >= 0 && bestCluster != current) FMoved[ci] = 1;
  }
}

int TVeQuantization::MoveColors() {
  int moves = 0;
  const size_t n = FColors.size();
  for (size_t i = 0; i < n; ++i) {
    // Few colours move late in the run: skip eight flags at a time.
    if ((i & 7) == 0 && i + 8 <= n) {
      uint64_t eight;
      std::memcpy(&eight, &FMoved[i], sizeof eight);
      if (eight == 0) {
        i += 7;
        continue;
      }
    }
    if (!FMoved[i]) continue;
    FMoved[i] = 0;
    auto& color = FColors[i];
    if (color.Cluster >= 0) {
      auto& old = FClusters[size_t(color.Cluster)];
      --old.MemberCount;
      old.CentreValid = old.Fixed;
    }
    auto& now = FClusters[size_t(color.Nearest)];
    ++now.MemberCount;
    now.CentreValid = now.Fixed;
    color.Cluster = color.Nearest;
    FHotCluster[i] = color.Cluster;
    ++moves;
  }
  return moves;
}

void TVeQuantization::DiscardEmpty() {
  std::vector<int> remap(FClusters.size(), -1);
  size_t kept = 0;
  for (size_t i = 0; i < FClusters.size(); ++i) {
    if (FClusters[i].MemberCount == 0 && !FClusters[i].Fixed) continue;
    remap[i] = int(kept);
    if (kept != i) FClusters[kept] = FClusters[i];
    ++kept;
  }
  if (kept == FClusters.size()) return;
  FClusters.resize(kept);
  for (auto& color : FColors) {
    if (color.Cluster >= 0) color.Cluster = remap[size_t(color.Cluster)];
    if (color.Nearest >= 0) color.Nearest = remap[size_t(color.Nearest)];
  }
  if (FHotValid) {
    for (int& c : FHotCluster)
      if (c >= 0) c = remap[size_t(c)];
    for (int& c : FSecond)
      if (c >= 0) c = remap[size_t(c)];
  }
}

// Opens one more cluster at the farthest colour that, snapped, is not already a centre.
bool TVeQuantization::Split() {
  // Distances to the centres as they stand (stale centres included).
  std::vector<double> distance(FColors.size(), 0.0);
  ForRanges<TVeQuantizationUpdateColorDistansesJob>(
      int(FColors.size()), double(FColors.size()), [&](int first, int last) {
        for (int i = first; i <= last; ++i) {
          const auto& color = FColors[size_t(i)];
          if (color.Cluster >= 0)
            distance[size_t(i)] = DeltaRGB(color.Lin, FClusters[size_t(color.Cluster)].Centre);
        }
      });
  // The centres' quads in an open-addressed table at most a quarter full (quads have 24
  // bits, so an all-ones slot is free).
  constexpr uint32_t Free = 0xFFFFFFFF;
  size_t slots = 16;
  while (slots < 4 * FClusters.size())
    slots *= 2;
  std::vector<uint32_t> centres(slots, Free);
  auto slotOf = [&](uint32_t quad) { return size_t(quad * 2654435761u) & (slots - 1); };
  for (const auto& c : FClusters) {
    size_t at = slotOf(c.CentreQuad);
    while (centres[at] != Free && centres[at] != c.CentreQuad)
      at = (at + 1) & (slots - 1);
    centres[at] = c.CentreQuad;
  }
  // Far colours come back split after split; each snaps to the same machine colour.
  constexpr uint32_t Unsnapped = 0xFFFFFFFF;
  if (Hardware && FSnappedQuad.size() != FColors.size())
    FSnappedQuad.assign(FColors.size(), Unsnapped);
  // A colour's quad as a centre would take it: snapped to the machine's colours when the
  // clusters have to be machine colours.
  // Snapping by "Delta RGB" finds the nearest machine colour, which the walk of the nearest
  // search finds as well, and faster; on an exact tie the palette's own search decides.
  constexpr int MachineMax = 4096;
  const bool walkSnap = Accelerated && Hardware && !FGray && FSnapDistance == VeMethodDeltaRGB &&
                        Hardware->GetCount() <= MachineMax;
  std::vector<double> machineR, machineG, machineB;
  std::vector<int> machineOrder;
  std::vector<uint32_t> machineQuad;
  TWalkRows machine{};
  auto snapOf = [&](const TVeLinRGBColor& lin) {
    if (walkSnap) {
      if (machineOrder.empty()) {
        const int m = Hardware->GetCount();
        std::vector<TVeLinRGBColor> all(static_cast<size_t>(m));
        for (int h = 0; h < m; ++h) {
          all[size_t(h)] = Hardware->GetLinRGB(h);
          machineQuad.push_back(LinToQuad(all[size_t(h)]));
          machineOrder.push_back(h);
        }
        std::stable_sort(machineOrder.begin(), machineOrder.end(),
                         [&](int a, int b) { return all[size_t(a)].G < all[size_t(b)].G; });
        const size_t rows = size_t(m) + 2 * WalkPad;
        machineR.assign(rows, 0.0);
        machineB.assign(rows, 0.0);
        machineG.assign(rows, std::numeric_limits<double>::infinity());
        std::fill_n(machineG.begin(), WalkPad, -std::numeric_limits<double>::infinity());
        for (size_t j = 0; j < size_t(m); ++j) {
          const TVeLinRGBColor& c = all[size_t(machineOrder[j])];
          machineR[WalkPad + j] = c.R;
          machineG[WalkPad + j] = c.G;
          machineB[WalkPad + j] = c.B;
        }
        machine = {machineR.data() + WalkPad, machineG.data() + WalkPad, machineB.data() + WalkPad,
                   machineOrder.data(), m};
      }
      constexpr double Inf = std::numeric_limits<double>::infinity();
      TNearestThree t{Inf, Inf, Inf, -1, -1, -1, -1};
      const int start =
          int(std::lower_bound(machine.G, machine.G + machine.Count, lin.G) - machine.G);
#if defined(__x86_64__) || defined(__i386__)
      (FWideLanes ? WalkGreen4 : WalkGreen2)(machine, start, lin.R, lin.G, lin.B, t);
#else
      WalkGreen2(machine, start, lin.R, lin.G, lin.B, t);
#endif
      if (t.BestCluster >= 0 && t.Best < t.Second) return machineQuad[size_t(t.BestCluster)];
    }
    TVeLinRGBColor snapped = lin;
    Snap(snapped);
    return LinToQuad(snapped);
  };
  auto quadOf = [&](int at) {
    const TVeQuantizationColor& color = FColors[size_t(at)];
    if (!Hardware) return color.Key();
    uint32_t& snapped = FSnappedQuad[size_t(at)];
    if (snapped == Unsnapped) snapped = snapOf(color.Lin);
    return snapped;
  };
  auto isCentre = [&](int at) {
    const uint32_t quad = quadOf(at);
    for (size_t slot = slotOf(quad);; slot = (slot + 1) & (slots - 1)) {
      if (centres[slot] == quad) return true;
      if (centres[slot] == Free) return false;
    }
  };
  auto open = [&](int at) {
    TVeQuantizationColor& color = FColors[size_t(at)];
    auto& old = FClusters[size_t(color.Cluster)];
    --old.MemberCount;
    old.CentreValid = old.Fixed;
    TVeQuantizationCluster c;
    c.MemberCount = 1;
    FClusters.push_back(c);
    color.Cluster = int(FClusters.size()) - 1;
    color.Nearest = -1;
    if (FHotValid) {
      // The colour's bounds were of its old cluster: it gets a full search. Everyone else's
      // take the new centre in at the next search.
      const size_t i = size_t(at);
      FHotCluster[i] = color.Cluster;
      FUpper[i] = std::numeric_limits<double>::infinity();
      FLower[i] = -std::numeric_limits<double>::infinity();
      FSecond[i] = -1;
    }
    return true;
  };
  // The farthest colour that is not a centre already, the later colour first among equals:
  // the first in descending order of (distance, index). Most splits take one of the first
  // few, which one pass keeps in a small heap; when all of those are centres (far colours
  // that snap to one machine colour come back split after split), a second pass finds the
  // farthest of the rest directly.
  using TKey = std::pair<double, int>;
  constexpr size_t Top = 32;
  std::vector<TKey> top;
  top.reserve(Top);
  for (size_t i = 0; i < FColors.size(); ++i) {
    if (FColors[i].Cluster < 0) continue;
    const TKey key{distance[i], int(i)};
    if (top.size() < Top) {
      top.push_back(key);
      std::push_heap(top.begin(), top.end(), std::greater<TKey>());
    } else if (top.front() < key) {
      std::pop_heap(top.begin(), top.end(), std::greater<TKey>());
      top.back() = key;
      std::push_heap(top.begin(), top.end(), std::greater<TKey>());
    }
  }
  std::sort(top.begin(), top.end(), std::greater<TKey>());
  for (const TKey& key : top)
    if (!isCentre(key.second)) return open(key.second);
  if (top.size() < Top) return false;
  const TKey below = top.back();
  bool found = false;
  TKey best{0.0, -1};
  for (size_t i = 0; i < FColors.size(); ++i) {
    if (FColors[i].Cluster < 0) continue;
    const TKey key{distance[i], int(i)};
    if (!(key < below) || (found && key < best) || isCentre(int(i))) continue;
    best = key;
    found = true;
  }
  if (found) return open(best.second);
  return false;
}

// --- Clustering -------------------------------------------------------------------------

namespace {

// A colour in the median cut: its bytes 0x00RRGGBB and its place in the colour array.
struct TCutEntry {
  uint32_t Key;
  uint32_t At;
};

// Cuts e[first..last] into n boxes, each time at the middle after a stable sort on the
// byte of the widest channel, and lists the boxes (first, last) in order.
void CutBoxes(std::vector<TCutEntry>& e, std::vector<TCutEntry>& buffer, int first, int last, int n,
              const TVeCancelFlag* abort, std::vector<std::pair<int, int>>& boxes) {
  VeCheckCancel(abort);
  if (n <= 1 || first == last) {
    boxes.emplace_back(first, last);
    return;
  }
  uint32_t rLo = 255, gLo = 255, bLo = 255, rHi = 0, gHi = 0, bHi = 0;
  for (int i = first; i <= last; ++i) {
    const uint32_t k = e[size_t(i)].Key;
    const uint32_t r = k >> 16 & 0xFF, g = k >> 8 & 0xFF, b = k & 0xFF;
    rLo = std::min(rLo, r);
    gLo = std::min(gLo, g);
    bLo = std::min(bLo, b);
    rHi = std::max(rHi, r);
    gHi = std::max(gHi, g);
    bHi = std::max(bHi, b);
  }
  const uint32_t lo[3] = {rLo, gLo, bLo}, hi[3] = {rHi, gHi, bHi};
  const double weights[3] = {VeLumR, VeLumG, VeLumB};
  double extent[3];
  for (int ch = 0; ch < 3; ++ch)
    extent[ch] = (ByteToLinear(uint8_t(hi[ch])) - ByteToLinear(uint8_t(lo[ch]))) * weights[ch];
  int channel = 1; // green wins ties, then red, then blue
  if (extent[0] > extent[channel]) channel = 0;
  if (extent[2] > extent[channel]) channel = 2;
  const int shift = 16 - 8 * channel;
  // A stable counting sort on the byte: the order of a stable sort, in linear time.
  size_t start[257] = {};
  for (int i = first; i <= last; ++i)
    ++start[size_t(e[size_t(i)].Key >> shift & 0xFF) + 1];
  for (int b = 0; b < 256; ++b)
    start[b + 1] += start[b];
  for (int i = first; i <= last; ++i)
    buffer[start[e[size_t(i)].Key >> shift & 0xFF]++] = e[size_t(i)];
  std::copy(buffer.begin(), buffer.begin() + (last - first + 1), e.begin() + first);
  const int mid = first + (last - first) / 2;
  CutBoxes(e, buffer, first, mid, n / 2, abort, boxes);
  CutBoxes(e, buffer, mid + 1, last, n - n / 2, abort, boxes);
}

} // namespace

// The cut sorts small records of bytes and places; the colours follow once at the end.
void TVeQuantization::MedianCut(int first, int last, int n) {
  const size_t count = size_t(last - first + 1);
  std::vector<TCutEntry> e(count), buffer(count);
  for (size_t i = 0; i < count; ++i)
    e[i] = {FColors[size_t(first) + i].Key(), uint32_t(i)};
  std::vector<std::pair<int, int>> boxes;
  CutBoxes(e, buffer, 0, int(count) - 1, n, FAbort, boxes);
  std::vector<TVeQuantizationColor> sorted(count);
  for (size_t i = 0; i < count; ++i)
    sorted[i] = FColors[size_t(first) + e[i].At];
  std::copy(sorted.begin(), sorted.end(), FColors.begin() + first);
  for (const auto& [from, to] : boxes) {
    TVeQuantizationCluster c;
    const int index = int(FClusters.size());
    for (int i = first + from; i <= first + to; ++i) {
      if (FColors[size_t(i)].Cluster >= 0) continue;
      FColors[size_t(i)].Cluster = index;
      ++c.MemberCount;
    }
    if (c.MemberCount > 0) FClusters.push_back(c);
  }
}

void TVeQuantization::Pin() {
  const int count = Pinned->Count();
  UpdateCentres(false);
  std::vector<bool> used(size_t(count), false);
  for (int round = 0; round < count; ++round) {
    Check();
    int bestColor = -1, bestCluster = -1;
    double best = 0;
    for (int p = 0; p < count; ++p) {
      if (used[size_t(p)]) continue;
      const TVeLinRGBColor lin = Pinned->GetLinRGB(p);
      for (size_t c = 0; c < FClusters.size(); ++c) {
        if (FClusters[c].Fixed) continue;
        double d = DeltaRGB(lin, FClusters[c].Centre);
        if (bestColor < 0 || d < best) {
          best = d;
          bestColor = p;
          bestCluster = int(c);
        }
      }
    }
    if (bestColor < 0) break; // no unfixed cluster left
    auto& cluster = FClusters[size_t(bestCluster)];
    cluster.Fixed = true;
    SetCentre(cluster, Pinned->GetLinRGB(bestColor));
    cluster.CentreQuad = Pinned->GetRGBQuad(bestColor) & 0xFFFFFF;
    used[size_t(bestColor)] = true;
  }
}

void TVeQuantization::KMeans() {
  if (int(FClusters.size()) > FK) VeInternalError();
  FHotValid = false; // the median cut reordered the colours
  FBoundsValid = false;
  FSnappedQuad.clear();
  // Centres snapped to machine colours by another distance than the members' can go round a
  // few states for ever (split, discard, split again); a state of the last passes coming back,
  // with as many moves, ends the run there instead of at the pass limit.
  constexpr int Remembered = 8;
  std::vector<uint32_t> before[Remembered];
  int movesBefore[Remembered] = {-1, -1, -1, -1, -1, -1, -1, -1};
  for (FPasses = 0; FPasses < MaxPasses;) {
    Check();
    UpdateCentres(false);
    FindNearest();
    Check();
    int moves = MoveColors();
    DiscardEmpty();
    if (int(FClusters.size()) < FK && Split()) ++moves;
    ++FPasses;
    if (Progress) Progress(FPasses);
    if (moves == 0) break;
    if (Hardware) {
      std::vector<uint32_t> now;
      now.reserve(FClusters.size());
      for (const auto& c : FClusters)
        now.push_back(c.CentreQuad);
      bool seen = false;
      for (int i = 0; i < Remembered && !seen; ++i)
        seen = moves == movesBefore[i] && now == before[i];
      if (seen) break;
      const int slot = FPasses % Remembered;
      before[slot] = std::move(now);
      movesBefore[slot] = moves;
    }
  }
}

void TVeQuantization::Cluster() {
  FinishCollection();
  FClusters.clear();
  FHotValid = false;
  for (auto& color : FColors) {
    color.Cluster = color.Nearest = -1;
  }
  if (Pinned && Pinned->Count() == FK) {
    for (int i = 0; i < FK; ++i) {
      TVeQuantizationCluster c;
      c.Fixed = true;
      SetCentre(c, Pinned->GetLinRGB(i));
      c.CentreQuad = Pinned->GetRGBQuad(i) & 0xFFFFFF;
      FClusters.push_back(c);
    }
    return;
  }
  if (FK >= int(FColors.size()) && (!Initial || Initial->Count() == 0)) {
    for (size_t i = 0; i < FColors.size(); ++i) {
      TVeQuantizationCluster c;
      c.MemberCount = 1;
      FColors[i].Cluster = int(i);
      FClusters.push_back(c);
    }
    return;
  }
  if (!FColors.empty()) MedianCut(0, int(FColors.size()) - 1, FK);
  if (Pinned) Pin();
  KMeans();
}

// --- Output -----------------------------------------------------------------------------

void TVeQuantization::BuildOutput(TVePalette256& output, bool pairs) {
  UpdateCentres(false);
  output.BeginUpdate();
  output.Clear();
  output.Temporary = true;
  output.Name = "Autogenerated";
  if (Initial)
    for (int i = 0; i < Initial->Count(); ++i)
      output.AddLin(Initial->GetLinRGB(i));
  const int initialCount = output.Count();
  for (const auto& c : FClusters)
    if (pairs || c.Fixed || c.MemberCount > 0) output.AddUniqueLin(c.Centre);
  if (!pairs && FSnapDistance != VeMethodDeltaRGB) AddMixingColors(output);
  // Fill with black and white, the farther one from what is there first.
  std::vector<TVeLinRGBColor> candidates = {{0, 0, 0}, {1, 1, 1}};
  while (output.Count() < FK && !candidates.empty()) {
    size_t pick = 0;
    double pickSpread = -1;
    for (size_t i = 0; i < candidates.size(); ++i) {
      double spread = std::numeric_limits<double>::infinity();
      for (int j = 0; j < output.Count(); ++j)
        spread = std::min(spread, DeltaRGB(candidates[i], output.GetLinRGB(j)));
      if (spread > pickSpread) {
        pickSpread = spread;
        pick = i;
      }
    }
    TVeLinRGBColor lin = candidates[pick];
    candidates.erase(candidates.begin() + long(pick));
    if (Hardware) {
      int index = Hardware->FindNearestLin(lin);
      if (index < 0) VeInternalError();
      lin = Hardware->GetLinRGB(index);
    }
    output.AddUniqueLin(lin);
  }
  output.SortByLuminance(initialCount);
  output.EndUpdate();
  if (output.Count() > FK) VeInternalError();
}

namespace {

// Oklab chroma (x 100) below which a colour counts as neutral.
constexpr double NeutralChroma = 2.0;

// Squared distance of p to the segment from a to b, in Oklab.
double SegmentDistance(const TVePerceptual& p, const TVePerceptual& a, const TVePerceptual& b) {
  const double ux = b.L - a.L, uy = b.A - a.A, uz = b.B - a.B;
  const double vx = p.L - a.L, vy = p.A - a.A, vz = p.B - a.B;
  const double uu = ux * ux + uy * uy + uz * uz;
  double t = uu > 0 ? (vx * ux + vy * uy + vz * uz) / uu : 0;
  t = std::clamp(t, 0.0, 1.0);
  const double dx = vx - t * ux, dy = vy - t * uy, dz = vz - t * uz;
  return dx * dx + dy * dy + dz * dz;
}

} // namespace

// Snapped centres often share a machine colour, which leaves a mode with fewer colours than
// it may show. Dithering sees mixes of two colours, so the free places go one by one to the
// machine colour whose mixes with those chosen come nearest (in Oklab) to the picture's
// colours; a colour that helps no part of the picture stays out, so a gray picture keeps
// its neutral colours.
void TVeQuantization::AddMixingColors(TVePalette256& output) {
  if (!Hardware || FGray || output.Count() >= FK || output.Count() == 0) return;
  const int m = Hardware->Count();
  if (m > TVePalette256::MaxColors) return;
  // The picture's colours in bins of 5 bits per channel, the heaviest first.
  struct TBin {
    double R = 0, G = 0, B = 0, W = 0;
  };
  std::vector<TBin> bins(32768);
  for (const auto& c : FColors) {
    TBin& b = bins[size_t((c.R >> 3) << 10 | (c.G >> 3) << 5 | c.B >> 3)];
    b.R += c.Weight * c.Lin.R;
    b.G += c.Weight * c.Lin.G;
    b.B += c.Weight * c.Lin.B;
    b.W += c.Weight;
  }
  std::vector<TBin> used;
  for (const TBin& b : bins)
    if (b.W > 0) used.push_back(b);
  std::stable_sort(used.begin(), used.end(),
                   [](const TBin& a, const TBin& b) { return a.W > b.W; });
  if (used.size() > 4096) used.resize(4096);
  std::vector<TVePerceptual> colors;
  std::vector<double> weight;
  double total = 0;
  for (const TBin& b : used) {
    const TVePerceptual p = VeOklabOfLin({b.R / b.W, b.G / b.W, b.B / b.W});
    total += b.W;
    // Neutral colours have nothing to gain from tinted mixes: only the picture's colours
    // that have a hue vote, so a gray picture keeps its neutral colours.
    if (p.C < NeutralChroma) continue;
    colors.push_back(p);
    weight.push_back(b.W);
  }
  std::vector<TVePerceptual> inks;
  for (int i = 0; i < output.Count(); ++i)
    inks.push_back(VeOklabOfLin(output.GetLinRGB(i)));
  std::vector<TVePerceptual> machine(static_cast<size_t>(m));
  for (int i = 0; i < m; ++i)
    machine[size_t(i)] = VeOklabOfLin(Hardware->GetLinRGB(i));
  // Error of each colour: its distance to the nearest mix of two inks (or one ink).
  std::vector<double> error(colors.size());
  for (size_t c = 0; c < colors.size(); ++c) {
    double e = std::numeric_limits<double>::infinity();
    for (size_t i = 0; i < inks.size(); ++i)
      for (size_t j = i; j < inks.size(); ++j)
        e = std::min(e, SegmentDistance(colors[c], inks[i], inks[j]));
    error[c] = e;
  }
  // A colour must gain at least this much (mean squared Oklab distance x 100^2 per pixel).
  constexpr double MinGain = 0.01;
  while (output.Count() < FK) {
    Check();
    int best = -1;
    double bestGain = MinGain * total;
    for (int h = 0; h < m; ++h) {
      if (output.FindExact(Hardware->GetRGBQuad(h)) >= 0) continue;
      double gain = 0;
      for (size_t c = 0; c < colors.size(); ++c) {
        double e = SegmentDistance(colors[c], machine[size_t(h)], machine[size_t(h)]);
        for (const TVePerceptual& ink : inks)
          e = std::min(e, SegmentDistance(colors[c], ink, machine[size_t(h)]));
        if (e < error[c]) gain += weight[c] * (error[c] - e);
      }
      if (gain > bestGain) {
        bestGain = gain;
        best = h;
      }
    }
    if (best < 0) break;
    output.AddUniqueLin(Hardware->GetLinRGB(best));
    const TVePerceptual& added = machine[size_t(best)];
    for (size_t c = 0; c < colors.size(); ++c) {
      double e = SegmentDistance(colors[c], added, added);
      for (const TVePerceptual& ink : inks)
        e = std::min(e, SegmentDistance(colors[c], ink, added));
      error[c] = std::min(error[c], e);
    }
    inks.push_back(added);
  }
}

void TVeQuantization::Execute(TVePalette256& output) {
  // A cluster's centre becomes the machine colour that looks nearest to it. By "Delta RGB",
  // which hardly weighs blue, a gray centre went to a pastel blue or magenta of about the
  // same green and the whole picture took its cast.
  if (FDistance == VeMethodDeltaRGB && PerceptualChoice) FSnapDistance = VeMethodCIE76;
  TVeQuantizationInputGuard guard(*this, Hardware, Initial, Pinned, output);
  PrepareInputs();
  Cluster();
  BuildOutput(output, false);
}

// --- Pair mode --------------------------------------------------------------------------

void TVeQuantization::UpdateMixes() {
  for (auto& c : FClusters) {
    if (c.BaseA == c.BaseB) continue;
    const auto& a = FClusters[size_t(FBaseAt[size_t(c.BaseA)])];
    const auto& b = FClusters[size_t(FBaseAt[size_t(c.BaseB)])];
    SetCentre(c, {(a.Centre.R + b.Centre.R) / 2, (a.Centre.G + b.Centre.G) / 2,
                  (a.Centre.B + b.Centre.B) / 2});
    c.Excluded = std::abs(a.CentreLuminance - b.CentreLuminance) > PairThreshold;
  }
}

// Least squares for the base colours, so that bases and the means of pairs fit their
// members; each base is also held towards its current centre.
void TVeQuantization::SolveBases() {
  const int k = FK;
  const std::vector<int>& baseIndex = FBaseAt;
  std::vector<TVeLinRGBColor> solved(static_cast<size_t>(k));
  // The matrix is the same for the three channels; only the right-hand sides differ.
  std::vector<double> A0(size_t(k * k), 0.0), rhs[3];
  for (auto& r : rhs)
    r.assign(size_t(k), 0.0);
  for (const auto& color : FColors) {
    if (color.Cluster < 0) continue;
    const auto& c = FClusters[size_t(color.Cluster)];
    const int a = c.BaseA, b = c.BaseB;
    const double half = 0.5 * color.Weight;
    A0[size_t(a * k + a)] += half;
    A0[size_t(a * k + b)] += half;
    A0[size_t(b * k + a)] += half;
    A0[size_t(b * k + b)] += half;
    const double v[3] = {color.Weight * color.Lin.R, color.Weight * color.Lin.G,
                         color.Weight * color.Lin.B};
    for (int ch = 0; ch < 3; ++ch) {
      rhs[ch][size_t(a)] += v[ch];
      rhs[ch][size_t(b)] += v[ch];
    }
  }
  for (int i = 0; i < k; ++i)
    A0[size_t(i * k + i)] += 2;
  for (int ch = 0; ch < 3; ++ch) {
    auto channel = [ch](const TVeLinRGBColor& l) { return ch == 0 ? l.R : ch == 1 ? l.G : l.B; };
    std::vector<double> A = A0, r = rhs[ch];
    auto at = [&](int i, int j) -> double& { return A[size_t(i * k + j)]; };
    for (int i = 0; i < k; ++i)
      r[size_t(i)] += 2 * channel(FClusters[size_t(baseIndex[size_t(i)])].Centre);
    // Gaussian elimination with partial pivoting (first row on ties).
    for (int col = 0; col < k; ++col) {
      int pivot = col;
      for (int row = col + 1; row < k; ++row)
        if (std::abs(at(row, col)) > std::abs(at(pivot, col))) pivot = row;
      if (at(pivot, col) == 0) VeInternalError();
      if (pivot != col) {
        for (int j = 0; j < k; ++j)
          std::swap(at(pivot, j), at(col, j));
        std::swap(r[size_t(pivot)], r[size_t(col)]);
      }
      for (int row = col + 1; row < k; ++row) {
        double f = at(row, col) / at(col, col);
        if (f == 0) continue;
        for (int j = col; j < k; ++j)
          at(row, j) -= f * at(col, j);
        r[size_t(row)] -= f * r[size_t(col)];
      }
    }
    for (int i = k - 1; i >= 0; --i) {
      double s = r[size_t(i)];
      for (int j = i + 1; j < k; ++j)
        s -= at(i, j) * channel(solved[size_t(j)]);
      double x = s / at(i, i);
      (ch == 0 ? solved[size_t(i)].R : ch == 1 ? solved[size_t(i)].G : solved[size_t(i)].B) = x;
    }
  }
  for (int i = 0; i < k; ++i) {
    auto& base = FClusters[size_t(baseIndex[size_t(i)])];
    if (base.Fixed) continue; // pinned centres never move
    TVeLinRGBColor lin = solved[size_t(i)];
    if (Hardware) {
      int index = Hardware->FindNearestLin(lin);
      if (index < 0) VeInternalError();
      lin = Hardware->GetLinRGB(index);
    }
    SetCentre(base, lin);
  }
}

void TVeQuantization::ExecutePairs(TVePalette256& output) {
  if (FK > 16) VeInternalError();
  TVeQuantizationInputGuard guard(*this, Hardware, Initial, Pinned, output);
  PrepareInputs();
  FinishCollection();
  FClusters.clear();
  FHotValid = false;
  for (auto& color : FColors) {
    color.Cluster = color.Nearest = -1;
  }
  if (!FColors.empty()) MedianCut(0, int(FColors.size()) - 1, FK);
  if (Pinned) Pin();
  KMeans();
  UpdateCentres(false);
  while (int(FClusters.size()) < FK) {
    TVeQuantizationCluster c;
    SetCentre(c, {0, 0, 0});
    FClusters.push_back(c);
  }
  // Bases on the diagonal, mixes above it, stored row by row: (0,0), (0,1), ... (1,1), ...
  std::vector<TVeQuantizationCluster> matrix;
  std::vector<int> baseAt(static_cast<size_t>(FK));
  for (int i = 0; i < FK; ++i) {
    for (int j = i; j < FK; ++j) {
      TVeQuantizationCluster c;
      if (i == j) {
        c = FClusters[size_t(i)];
        baseAt[size_t(i)] = int(matrix.size());
      }
      c.BaseA = i;
      c.BaseB = j;
      matrix.push_back(c);
    }
  }
  for (auto& color : FColors)
    if (color.Cluster >= 0) color.Cluster = baseAt[size_t(color.Cluster)];
  FHotValid = false;
  FClusters.swap(matrix);
  FBaseAt = baseAt;
  UpdateMixes();
  for (FPasses = 0; FPasses < MaxPasses;) {
    Check();
    FBoundsValid = false; // exclusions change from pass to pass
    FindNearest();
    Check();
    int moves = MoveColors();
    UpdateCentres(true);
    SolveBases();
    UpdateMixes();
    ++FPasses;
    if (Progress) Progress(FPasses);
    if (moves == 0) break;
  }
  // Keep the bases only.
  std::vector<TVeQuantizationCluster> bases;
  for (int i = 0; i < FK; ++i) {
    TVeQuantizationCluster c = FClusters[size_t(baseAt[size_t(i)])];
    c.BaseA = c.BaseB = -1;
    bases.push_back(c);
  }
  std::vector<int> remap(FClusters.size(), -1);
  for (int i = 0; i < FK; ++i)
    remap[size_t(baseAt[size_t(i)])] = i;
  for (auto& color : FColors)
    if (color.Cluster >= 0) color.Cluster = remap[size_t(color.Cluster)];
  FHotValid = false;
  FClusters.swap(bases);
  FBaseAt.clear();
  BuildOutput(output, true);
}

// ---------------------------------------------------------------------------------------
// Entry points

namespace {

struct TVeQuantizationPlan {
  const TVePalette* Hardware = nullptr;
  const TVePalette* Initial = nullptr;
  const TVePalette* Pinned = nullptr;
};

template <class FCollect>
void RunQuantization(const TVeQuantizationArgs& args, TVePalette256& output,
                     const TVeQuantizationPlan& plan, FCollect&& collect, bool pairs,
                     double thresholdPercent, bool singleThread) {
  TVeQuantization q(args.Abort, args.K, args.Gray, args.Method);
  q.Hardware = plan.Hardware;
  q.Initial = plan.Initial;
  q.Pinned = plan.Pinned;
  q.SingleThread = singleThread;
  q.PerceptualChoice = args.PerceptualChoice;
  q.Progress = args.Progress;
  q.PairThreshold = thresholdPercent / 100.0;
  collect(q);
  if (pairs)
    q.ExecutePairs(output);
  else
    q.Execute(output);
}

// What every entry does first with the fixed colours: read them from a copy when they are
// the output itself, which the run overwrites, and when they are exactly k colours, make them
// the output and report that nothing is left to do.
bool FixedIsWhole(int k, TVePalette256& output, const TVePalette256*& fixed,
                  std::unique_ptr<TVePalette256>& copy) {
  if (fixed == &output) {
    copy = fixed->Clone256();
    fixed = copy.get();
  }
  if (fixed && fixed->Count() == k) {
    output.Assign(fixed);
    return true;
  }
  return false;
}

// Entry 1: a fixed palette of more than k colours is the choice set, otherwise it starts
// the output and its colours are pinned.
void QuantizeImageCore(const TVeQuantizationArgs& args, TVePalette256& output,
                       const TVePalette* hardware, const TVePalette256* fixed,
                       TVeQuantizationPixels image, bool pairs, double threshold) {
  const int k = std::max(args.K, 2);
  std::unique_ptr<TVePalette256> fixedCopy;
  if (FixedIsWhole(k, output, fixed, fixedCopy)) return;
  const int fixedCount = fixed ? fixed->Count() : 0;
  TVeQuantizationPlan plan;
  if (fixedCount >= k) {
    plan.Hardware = fixed;
  } else {
    plan.Hardware = hardware;
    plan.Initial = plan.Pinned = fixed;
  }
  RunQuantization(
      args, output, plan,
      [&](TVeQuantization& q) {
        image.Quads ? q.AddPixels(image.Quads, image.Count) : q.AddPixels(image.Data, image.Count);
      },
      pairs, threshold, false);
}

// Entry 2: the fixed colours plus the hardware colours the picture already uses.
void QuantizeUsedCore(const TVeQuantizationArgs& args, TVePalette256& output,
                      const TVePalette* hardware, const std::vector<bool>& used,
                      const TVePalette256* fixed, TVeQuantizationPixels image, bool pairs,
                      double threshold, bool singleThread) {
  const int k = std::max(args.K, 2);
  std::unique_ptr<TVePalette256> fixedCopy;
  if (FixedIsWhole(k, output, fixed, fixedCopy)) return;
  const int fixedCount = fixed ? fixed->Count() : 0;
  TVePalette256 chosen;
  if (fixed) chosen.Assign(fixed);
  if (hardware) {
    const int n = std::min({hardware->Count(), 4096, int(used.size())});
    for (int i = 0; i < n; ++i) {
      if (!used[size_t(i)]) continue;
      const TVeStdRGBColor c = hardware->GetStdRGB(i);
      chosen.AddUnique(c.R, c.G, c.B);
    }
  }
  if (chosen.Count() == k) {
    output.Assign(&chosen);
    return;
  }
  TVeQuantizationPlan plan;
  if (chosen.Count() < k) {
    plan = {hardware, fixed, &chosen};
  } else if (fixedCount < k) {
    plan = {&chosen, fixed, fixed};
  } else {
    plan = {&chosen, nullptr, nullptr};
  }
  RunQuantization(
      args, output, plan,
      [&](TVeQuantization& q) {
        image.Quads ? q.AddPixels(image.Quads, image.Count) : q.AddPixels(image.Data, image.Count);
      },
      pairs, threshold, singleThread);
}

} // namespace

void QuantizeImage(const TVeQuantizationArgs& args, TVePalette256& output,
                   const TVePalette* hardware, const TVePalette256* fixed,
                   TVeQuantizationPixels image) {
  QuantizeImageCore(args, output, hardware, fixed, image, false, 0);
}

void QuantizeUsed(const TVeQuantizationArgs& args, TVePalette256& output,
                  const TVePalette* hardware, const std::vector<bool>& used,
                  const TVePalette256* fixed, TVeQuantizationPixels image, bool singleThread) {
  QuantizeUsedCore(args, output, hardware, used, fixed, image, false, 0, singleThread);
}

void QuantizeHistogram(const TVeQuantizationArgs& args, TVePalette256& output,
                       const TVePalette* hardware, const TVePalette& bins,
                       const TVePalette256* fixed, const double* histogram) {
  const int k = std::max(args.K, 2);
  std::unique_ptr<TVePalette256> fixedCopy;
  if (FixedIsWhole(k, output, fixed, fixedCopy)) return;
  const int fixedCount = fixed ? fixed->Count() : 0;
  if (bins.Count() < 32768) VeInternalError();
  TVeQuantizationPlan plan;
  if (fixedCount < k)
    plan = {hardware, fixed, fixed};
  else
    plan = {fixed, nullptr, nullptr};
  RunQuantization(
      args, output, plan,
      [&](TVeQuantization& q) {
        for (int i = 0; i < 32768; ++i) {
          const double h = histogram[i];
          if (!(h > 0)) continue;
          const double w = std::nearbyint(std::min(h, double(UINT32_MAX)));
          q.AddColor(bins.GetRGBQuad(i), bins.GetLinRGB(i), uint32_t(std::max(w, 1.0)));
        }
      },
      false, 0, false);
}

void QuantizePairs(const TVeQuantizationArgs& args, TVePalette256& output,
                   const TVePalette* hardware, const TVePalette256* fixed,
                   TVeQuantizationPixels image, double thresholdPercent) {
  QuantizeImageCore(args, output, hardware, fixed, image, true, thresholdPercent);
}

void QuantizePairsUsed(const TVeQuantizationArgs& args, TVePalette256& output,
                       const TVePalette* hardware, const std::vector<bool>& used,
                       const TVePalette256* fixed, TVeQuantizationPixels image,
                       double thresholdPercent) {
  QuantizeUsedCore(args, output, hardware, used, fixed, image, true, thresholdPercent, false);
}

void QuantizeImage(const TVeQuantizationArgs& args, TVePalette256& output,
                   const TVePalette* hardware, const TVePalette256* fixed, const TVeImage& image) {
  QuantizeImage(args, output, hardware, fixed, TVeQuantizationPixels::Of(image));
}

void QuantizeUsed(const TVeQuantizationArgs& args, TVePalette256& output,
                  const TVePalette* hardware, const std::vector<bool>& used,
                  const TVePalette256* fixed, const TVeImage& image, bool singleThread) {
  QuantizeUsed(args, output, hardware, used, fixed, TVeQuantizationPixels::Of(image), singleThread);
}

void QuantizePairs(const TVeQuantizationArgs& args, TVePalette256& output,
                   const TVePalette* hardware, const TVePalette256* fixed, const TVeImage& image,
                   double thresholdPercent) {
  QuantizePairs(args, output, hardware, fixed, TVeQuantizationPixels::Of(image), thresholdPercent);
}

void QuantizePairsUsed(const TVeQuantizationArgs& args, TVePalette256& output,
                       const TVePalette* hardware, const std::vector<bool>& used,
                       const TVePalette256* fixed, const TVeImage& image, double thresholdPercent) {
  QuantizePairsUsed(args, output, hardware, used, fixed, TVeQuantizationPixels::Of(image),
                    thresholdPercent);
}
