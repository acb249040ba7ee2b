// AVX-512 brings fused multiply-add, which rounds a product and a sum once where the trials
// elsewhere round twice: none may be formed here, or a lane would cost something else.
#if defined(__clang__)
#pragma clang fp contract(off)
#else
#pragma GCC optimize("fp-contract=off")
#endif

#include "VeGigascreenSearch.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <limits>
#include <map>
#include <type_traits>
#include <utility>

#include "VeCellKernels.h"
#include "VeCpuFeatures.h"

using namespace VeCell;

namespace {
typedef double TLanes8 __attribute__((vector_size(8 * sizeof(double))));
// Candidates tried side by side: a vector of them, at least four.
constexpr int MaxBatch = 8;
// The bounds are sums of distances rounded to floats (half the memory of doubles, twice the
// lanes) in another order than the trial's; that moves them by far less than this share, and
// a bound counts only after giving up that much, so no candidate that could win or tie is
// ever passed over.
constexpr double Slack = 1e-4;
constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr int MaxRows = 64;

// Per thread: the cell's pixels (red, green, blue planes), their distances to every value,
// the nearer colour of every pair, the bounds, the candidates still in the running, and the
// trial's records.
struct TScratch {
  std::vector<double> Pixels, Dist, Bounds, Records;
  std::vector<float> Near;
  std::vector<std::pair<double, int>> Order;
};
thread_local TScratch GScratch;

// At least n elements: cells of other sizes come and go, and what a buffer holds is always
// written before it is read.
template <class T> inline void Fit(std::vector<T>& v, size_t n) {
  if (v.size() < n) v.resize(n);
}

struct TListView {
  const TVeGigascreenSearch::TCandidate* Candidates;
  int Count;
  const double* Values;
  int ValueCount;
  const int* Pairs;
  int PairCount;
  const double* Lin; // 12 per candidate: its colours, the last repeated up to four
  const int* Counts; // colours per candidate
  const uint8_t* Enabled;
};

struct TCellView {
  const double* Rows[MaxRows]; // the cell's first pixel of each line, in scan order
  int Step;                    // from one pixel to the next in scan order
  int W, H;
  int Stride; // the trial's records per line
  double Strength;
};

template <class V> [[gnu::always_inline]] inline V Load(const double* p) {
  V v;
  __builtin_memcpy(&v, p, sizeof(V));
  return v;
}

template <class V> [[gnu::always_inline]] inline V Min(V a, V b) {
  return a < b ? a : b;
}

// Floats in a vector of V's size, and in half of it.
template <class V> struct TFloats;
template <> struct TFloats<TLanes2> {
  typedef float Full __attribute__((vector_size(16)));
  typedef float Half __attribute__((vector_size(8)));
};
template <> struct TFloats<TLanes4> {
  typedef float Full __attribute__((vector_size(32)));
  typedef float Half __attribute__((vector_size(16)));
};
template <> struct TFloats<TLanes8> {
  typedef float Full __attribute__((vector_size(64)));
  typedef float Half __attribute__((vector_size(32)));
};

template <class F> [[gnu::always_inline]] inline F LoadFloats(const float* p) {
  F v;
  __builtin_memcpy(&v, p, sizeof(F));
  return v;
}

// The least of a candidate's distances per pixel (the nearer of its two pairs'), in lanes to
// be summed: no trial of it costs less. P is the pixels rounded up to whole vectors of floats
// (or to half of one) when a constant, else 0 (padded says). Four sums side by side rather than one
// chain of additions (the order does not matter here); the floats' halves end in doubles.
template <class V, int P>
[[gnu::always_inline]] inline V LanesOf(const float* near, int padded, const int* pair) {
  using F = typename TFloats<V>::Full;
  using H = typename TFloats<V>::Half;
  constexpr int W = 2 * LaneWidth<V>;
  constexpr int Q = P % W == 0 ? P : 0; // a size not of whole vectors goes the general way
  const float* a = near + size_t(pair[0]) * (Q ? Q : padded);
  const float* b = near + size_t(pair[1]) * (Q ? Q : padded);
  if (P == LaneWidth<V> || (P == 0 && padded == LaneWidth<V>))
    return __builtin_convertvector(Min(LoadFloats<H>(a), LoadFloats<H>(b)), V);
  F acc;
  if constexpr (Q == W) {
    acc = Min(LoadFloats<F>(a), LoadFloats<F>(b));
  } else if constexpr (Q > W) {
    F part[4] = {};
#pragma GCC unroll 16
    for (int k = 0; k < Q; k += W)
      part[k / W % 4] += Min(LoadFloats<F>(a + k), LoadFloats<F>(b + k));
    acc = (part[0] + part[1]) + (part[2] + part[3]);
  } else {
    acc = F{};
    for (int k = 0; k < (Q ? Q : padded); k += W)
      acc += Min(LoadFloats<F>(a + k), LoadFloats<F>(b + k));
  }
  H lo, hi;
  __builtin_memcpy(&lo, &acc, sizeof(H));
  __builtin_memcpy(&hi, reinterpret_cast<const char*>(&acc) + sizeof(H), sizeof(H));
  return __builtin_convertvector(lo, V) + __builtin_convertvector(hi, V);
}

// Lane j of the result sums the lanes of x[j]: halves of neighbouring vectors are
// interleaved and added, doubling the block each step.
template <class V> [[gnu::always_inline]] inline V SumLanes(V* x) {
  if constexpr (LaneWidth<V> == 2) {
    return __builtin_shufflevector(x[0], x[1], 0, 2) + __builtin_shufflevector(x[0], x[1], 1, 3);
  } else if constexpr (LaneWidth<V> == 4) {
    auto step1 = [](V a, V b) __attribute__((always_inline)) {
      return __builtin_shufflevector(a, b, 0, 4, 2, 6) + __builtin_shufflevector(a, b, 1, 5, 3, 7);
    };
    const V t0 = step1(x[0], x[1]), t1 = step1(x[2], x[3]);
    return __builtin_shufflevector(t0, t1, 0, 1, 4, 5) +
           __builtin_shufflevector(t0, t1, 2, 3, 6, 7);
  } else {
    static_assert(LaneWidth<V> == 8);
    V t[4], u[2];
    for (int i = 0; i < 4; ++i)
      t[i] = __builtin_shufflevector(x[2 * i], x[2 * i + 1], 0, 8, 2, 10, 4, 12, 6, 14) +
             __builtin_shufflevector(x[2 * i], x[2 * i + 1], 1, 9, 3, 11, 5, 13, 7, 15);
    for (int i = 0; i < 2; ++i)
      u[i] = __builtin_shufflevector(t[2 * i], t[2 * i + 1], 0, 1, 8, 9, 4, 5, 12, 13) +
             __builtin_shufflevector(t[2 * i], t[2 * i + 1], 2, 3, 10, 11, 6, 7, 14, 15);
    return __builtin_shufflevector(u[0], u[1], 0, 1, 2, 3, 8, 9, 10, 11) +
           __builtin_shufflevector(u[0], u[1], 4, 5, 6, 7, 12, 13, 14, 15);
  }
}

// The kernel's distinct weights, and the place of each tap's weight among them.
template <class K> struct TWeights {
  static constexpr int Taps = int(std::size(K::Taps));
  struct TTable {
    int W[Taps] = {};
    int Count = 0;
    int Slot[Taps] = {};
  };
  static constexpr TTable Table = [] {
    TTable t;
    for (int i = 0; i < Taps; ++i) {
      int j = 0;
      while (j < t.Count && t.W[j] != K::Taps[i].W)
        ++j;
      if (j == t.Count) t.W[t.Count++] = K::Taps[i].W;
      t.Slot[i] = j;
    }
    return t;
  }();
};

// SpreadLanes with each share e * W / Div worked out once per distinct weight rather than per
// tap: the same quotients (a division where the divisor is no power of two) added to the
// same records in the same order.
template <class K, int R, class V>
[[gnu::always_inline]] inline void SpreadShares(V* p, int stride, const V* e) {
  constexpr auto& T = TWeights<K>::Table;
  V share[T.Count][R];
  for (int j = 0; j < T.Count; ++j)
    for (int v = 0; v < R; ++v)
      share[j][v] = e[v] * double(T.W[j]) / double(K::Div);
  [&]<size_t... I>(std::index_sequence<I...>) __attribute__((always_inline)) {
    (
        [&]() __attribute__((always_inline)) {
          constexpr TTap t = K::Taps[I];
          V* q = p + (t.Dy * stride + t.Dx) * R;
          for (int v = 0; v < R; ++v)
            q[v] += share[T.Slot[I]][v];
        }(),
        ...);
  }
  (std::make_index_sequence<std::size(K::Taps)>());
}

// The trial of TVeBaseCellImage for Batch candidates of up to N colours, lane k holding
// candidate k, with each lane's arithmetic exactly the same, so that a trial run to its end
// costs what CellCost gives. The in-cell distance is summed as each pixel is chosen (the same
// terms in the same order); after each line, when every lane's sum so far, a part of its
// cost, is above limit already, the trial stops and every lane costs infinity.
template <int M, int N, class V, int Batch>
[[gnu::always_inline]] inline void Trial(const TCellView& c, const double* const* lin,
                                         const int* counts, double limit, double* records,
                                         double* costs) {
  using K = TKernel<M>;
  constexpr int L = LaneWidth<V>;
  constexpr int G = Batch / L;
  constexpr int R = 3 * G; // vectors per record: red, green, blue of every group
  const int S = c.Stride;
  const int w = c.W, h = c.H;
  const V st = Splat<V>(c.Strength);
  V col[N][R] = {}; // every lane is set below; zeroed first as the compiler cannot see it
  for (int k = 0; k < Batch; ++k) {
    const double* cl = lin[k];
    const int n = counts[k];
    for (int i = 0; i < N; ++i)
      for (int ch = 0; ch < 3; ++ch)
        col[i][ch * G + k / L][k % L] = cl[3 * (i < n ? i : n - 1) + ch];
  }
  auto* b = reinterpret_cast<V*>((reinterpret_cast<uintptr_t>(records) + sizeof(V) - 1) &
                                 ~uintptr_t(sizeof(V) - 1));
  const V zero = Splat<V>(0);
  // Zero what the copy does not overwrite: the pads beside the cell and the two lines below
  // (a few vectors each, not worth a library call).
  for (int y = 0; y < h; ++y) {
    V* row = b + size_t(y) * S * R;
    for (int v = 0; v < 2 * R; ++v)
      row[v] = zero;
    for (V* q = row + (w + 2) * R; q < row + S * R; ++q)
      *q = zero;
  }
  for (V* q = b + size_t(h) * S * R; q < b + size_t(h + 2) * S * R; ++q)
    *q = zero;
  for (int y = 0; y < h; ++y) {
    const double* src = c.Rows[y];
    V* p = b + (size_t(y) * S + 2) * R;
    for (int x = 0; x < w; ++x, src += c.Step, p += R)
      for (int ch = 0; ch < 3; ++ch)
        for (int g = 0; g < G; ++g)
          p[ch * G + g] = Splat<V>(src[ch]);
  }
  V inCell[G], spill[G];
  for (int g = 0; g < G; ++g)
    inCell[g] = spill[g] = zero;
  for (int y = 0; y < h; ++y) {
    V* p = b + (size_t(y) * S + 2) * R;
    const double* src = c.Rows[y];
    for (int x = 0; x < w; ++x, p += R, src += c.Step) {
      const V sr = Splat<V>(src[0]), sg = Splat<V>(src[1]), sb = Splat<V>(src[2]);
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
        inCell[g] += LaneDist(sr, sg, sb, cr, cg, cb);
      }
      if constexpr (M != 0) {
        // A division by a power of two is a multiplication already.
        if constexpr ((K::Div & (K::Div - 1)) == 0)
          SpreadLanes<K, R>(p, S, e);
        else
          SpreadShares<K, R>(p, S, e);
      }
    }
    if (y + 1 < h && limit < Inf) {
      bool lost = true;
      for (int k = 0; k < Batch && lost; ++k)
        lost = inCell[k / L][k % L] > limit;
      if (lost) {
        for (int k = 0; k < Batch; ++k)
          costs[k] = Inf;
        return;
      }
    }
  }
  if constexpr (M != 0) {
    auto norm = [](const V* p, int g) __attribute__((always_inline)) {
      const V e[3] = {p[g], p[G + g], p[2 * G + g]};
      return LaneNorm(e);
    };
    AddSpill<G>(b, S, R, w, h, spill, norm);
  }
  for (int k = 0; k < Batch; ++k)
    costs[k] = inCell[k / L][k % L] + spill[k / L][k % L];
}

template <class V, int Batch>
[[gnu::always_inline]] inline int ChooseBody(const TListView& list,
                                             const TVeGigascreenSearch::TSetup& setup,
                                             const TVeCellRect& rect, bool mirror, double& cost) {
  constexpr int L = LaneWidth<V>;
  TScratch& s = GScratch;
  TCellView c;
  c.W = rect.Width();
  c.H = rect.Height();
  c.Step = mirror ? -3 : 3;
  c.Stride = setup.Image->CellWidth() + 4;
  c.Strength = setup.Strength;
  const int w = c.W, h = c.H, np = w * h;
  // Whole vectors of floats, or a half one for a cell of at most L pixels (as 8 x 1 cells).
  const int padded = np <= L ? L : (np + 2 * L - 1) / (2 * L) * (2 * L);
  for (int y = 0; y < h; ++y)
    c.Rows[y] = setup.Image->PixelAt(rect.Left, rect.Top + y, mirror);

  // The pixels in planes, then every value's distance to each (zero past the last pixel).
  s.Pixels.assign(size_t(3) * padded, 0.0);
  double* pr = s.Pixels.data();
  double* pg = pr + padded;
  double* pb = pg + padded;
  for (int y = 0, k = 0; y < h; ++y) {
    const double* src = c.Rows[y];
    for (int x = 0; x < w; ++x, ++k, src += c.Step) {
      pr[k] = src[0];
      pg[k] = src[1];
      pb[k] = src[2];
    }
  }
  Fit(s.Dist, size_t(list.ValueCount) * padded);
  for (int v = 0; v < list.ValueCount; ++v) {
    const double* q = list.Values + 3 * v;
    const V cr = Splat<V>(q[0]), cg = Splat<V>(q[1]), cb = Splat<V>(q[2]);
    double* out = s.Dist.data() + size_t(v) * padded;
    for (int k = 0; k < padded; k += L) {
      const V d = LaneDist(Load<V>(pr + k), Load<V>(pg + k), Load<V>(pb + k), cr, cg, cb);
      __builtin_memcpy(out + k, &d, sizeof(V));
    }
    for (int k = np; k < padded; ++k)
      out[k] = 0;
  }
  // Per pair, the nearer of its two colours, as a float.
  Fit(s.Near, size_t(list.PairCount) * padded);
  for (int q = 0; q < list.PairCount; ++q) {
    const double* a = s.Dist.data() + size_t(list.Pairs[2 * q]) * padded;
    const double* b = s.Dist.data() + size_t(list.Pairs[2 * q + 1]) * padded;
    float* out = s.Near.data() + size_t(q) * padded;
    for (int k = 0; k < padded; k += L) {
      const auto m =
          __builtin_convertvector(Min(Load<V>(a + k), Load<V>(b + k)), typename TFloats<V>::Half);
      __builtin_memcpy(out + k, &m, sizeof(m));
    }
  }
  const float* near = s.Near.data();

  // Every bound, and the Batch enabled candidates of the least bounds (first on ties).
  Fit(s.Bounds, size_t(list.Count));
  double* bounds = s.Bounds.data();
  int first[Batch];
  int firstCount = 0;
  // A vector of candidates at a time, their sums made side by side.
  auto allBounds = [&](auto size) __attribute__((always_inline)) {
    constexpr int P = decltype(size)::value;
    const int whole = list.Count / L * L;
    V acc[L];
    for (int i = 0; i < whole; i += L) {
      for (int j = 0; j < L; ++j)
        acc[j] = LanesOf<V, P>(near, padded, list.Candidates[i + j].Pair);
      const V sums = SumLanes(acc);
      __builtin_memcpy(bounds + i, &sums, sizeof(V));
    }
    if (whole < list.Count) {
      for (int j = 0; j < L; ++j)
        acc[j] =
            LanesOf<V, P>(near, padded, list.Candidates[std::min(whole + j, list.Count - 1)].Pair);
      const V sums = SumLanes(acc);
      for (int i = whole; i < list.Count; ++i)
        bounds[i] = sums[i - whole];
    }
  };
  // The cells of 8 x 8, 8 x 4, 8 x 2 and 8 x 1 pixels with the loop unrolled.
  if (padded == 64)
    allBounds(std::integral_constant<int, 64>());
  else if (padded == 32)
    allBounds(std::integral_constant<int, 32>());
  else if (padded == 16)
    allBounds(std::integral_constant<int, 16>());
  else if (padded == 8)
    allBounds(std::integral_constant<int, 8>());
  else
    allBounds(std::integral_constant<int, 0>());
  double worst = Inf; // the last of the Batch least bounds once there are Batch
  for (int i = 0; i < list.Count; ++i) {
    const double b = bounds[i];
    if (!(b < worst)) continue;
    if (!list.Enabled[i]) {
      bounds[i] = Inf;
      continue;
    }
    int at = firstCount < Batch ? firstCount++ : Batch - 1;
    while (at > 0 && b < bounds[first[at - 1]]) {
      first[at] = first[at - 1];
      --at;
    }
    first[at] = i;
    if (firstCount == Batch) worst = bounds[first[Batch - 1]];
  }
  if (firstCount == 0) return -1;

  Fit(s.Records, size_t(c.Stride) * (h + 2) * 3 * Batch + MaxBatch);
  int best = -1;
  double bestCost = Inf;
  // Tries list candidates batch[0..n) against the best so far.
  auto tryBatch = [&](const int* batch, int n) __attribute__((always_inline)) {
    const double* lane[Batch];
    int counts[Batch];
    int most = 0;
    for (int k = 0; k < Batch; ++k) {
      const int i = batch[k < n ? k : n - 1];
      lane[k] = list.Lin + 12 * size_t(i);
      counts[k] = list.Counts[i];
      most = std::max(most, counts[k]);
    }
    const double limit = best >= 0 ? bestCost : Inf;
    double costs[Batch];
    WithMethod(
        setup.Method, [&](auto m) __attribute__((always_inline)) {
          constexpr int M = decltype(m)::value;
          if (most <= 2)
            Trial<M, 2, V, Batch>(c, lane, counts, limit, s.Records.data(), costs);
          else if (most == 3)
            Trial<M, 3, V, Batch>(c, lane, counts, limit, s.Records.data(), costs);
          else
            Trial<M, 4, V, Batch>(c, lane, counts, limit, s.Records.data(), costs);
        });
    for (int k = 0; k < n; ++k)
      if (costs[k] < bestCost || (costs[k] == bestCost && batch[k] < best)) {
        best = batch[k];
        bestCost = costs[k];
      }
  };
  tryBatch(first, firstCount);

  // Then every other candidate whose bound does not rule it out, least bound first.
  for (int k = 0; k < firstCount; ++k)
    bounds[first[k]] = Inf; // tried
  std::vector<std::pair<double, int>>& order = s.Order;
  if (order.size() < size_t(list.Count)) order.resize(size_t(list.Count));
  size_t kept = 0;
  const double within = bestCost / (1 - Slack);
  for (int i = 0; i < list.Count; ++i) {
    order[kept] = {bounds[i], i};
    kept += bounds[i] <= within;
  }
  std::sort(order.begin(), order.begin() + ptrdiff_t(kept));
  size_t at = 0;
  while (at < kept) {
    int batch[Batch];
    int n = 0;
    while (n < Batch && at < kept) {
      const auto [bound, i] = order[at];
      if (bound * (1 - Slack) > bestCost) {
        at = kept;
        break;
      }
      ++at;
      if (list.Enabled[i]) batch[n++] = i;
    }
    if (n == 0) break;
    tryBatch(batch, n);
  }
  cost = bestCost;
  return best;
}

int ChooseSse2(const TListView& list, const TVeGigascreenSearch::TSetup& setup,
               const TVeCellRect& rect, bool mirror, double& cost) {
  return ChooseBody<TLanes2, 4>(list, setup, rect, mirror, cost);
}

#if VE_WIDE_VECTORS
__attribute__((target("avx2"))) int ChooseAvx2(const TListView& list,
                                               const TVeGigascreenSearch::TSetup& setup,
                                               const TVeCellRect& rect, bool mirror, double& cost) {
  return ChooseBody<TLanes4, 4>(list, setup, rect, mirror, cost);
}

__attribute__((target("avx512f"))) int ChooseAvx512(const TListView& list,
                                                    const TVeGigascreenSearch::TSetup& setup,
                                                    const TVeCellRect& rect, bool mirror,
                                                    double& cost) {
  return ChooseBody<TLanes8, 8>(list, setup, rect, mirror, cost);
}

#endif
} // namespace

bool TVeGigascreenSearch::Prepare(const TVeCellPaletteList& list) {
  FList = &list;
  FCandidates.clear();
  FValues.clear();
  FLin.assign(12 * size_t(list.Count()), 0.0);
  FCounts.assign(size_t(list.Count()), 0);
  FEnabled.assign(size_t(list.Count()), 0);
  std::map<std::array<double, 3>, int> index;
  for (int i = 0; i < list.Count(); ++i) {
    const TVeCellPalette* p = list.GetPalette(i);
    const int n = p->CacheCount();
    if (n < 1 || n > 4) {
      FList = nullptr;
      return false;
    }
    FCounts[size_t(i)] = n;
    FEnabled[size_t(i)] = p->Enabled;
    TCandidate c{};
    for (int k = 0; k < 4; ++k) {
      const double* q = p->CacheLin() + 3 * (k < n ? k : n - 1);
      std::copy(q, q + 3, FLin.begin() + 12 * i + 3 * k);
      const auto [it, added] =
          index.emplace(std::array<double, 3>{q[0], q[1], q[2]}, int(FValues.size() / 3));
      if (added) FValues.insert(FValues.end(), q, q + 3);
      c.Value[k] = it->second;
    }
    FCandidates.push_back(c);
  }
  // Colours 0 and 2 with 1 and 3, or 0 and 1 with 2 and 3: the split of fewer pairs.
  auto split = [&](int a0, int a1, int b0, int b1, bool keep) {
    std::map<std::pair<int, int>, int> pairs;
    auto pairOf = [&](int u, int w) {
      const auto key = std::minmax(u, w);
      const auto [it, added] = pairs.emplace(key, int(pairs.size()));
      if (added && keep) {
        FPairs.push_back(key.first);
        FPairs.push_back(key.second);
      }
      return it->second;
    };
    for (TCandidate& c : FCandidates) {
      const int p0 = pairOf(c.Value[a0], c.Value[a1]), p1 = pairOf(c.Value[b0], c.Value[b1]);
      if (keep) c.Pair[0] = p0, c.Pair[1] = p1;
    }
    return pairs.size();
  };
  FPairs.clear();
  if (split(0, 2, 1, 3, false) <= split(0, 1, 2, 3, false))
    split(0, 2, 1, 3, true);
  else
    split(0, 1, 2, 3, true);
  return true;
}

int TVeGigascreenSearch::Choose(const TSetup& setup, const TVeCellRect& rect, bool mirror,
                                double& cost) const {
  if (!FList || !setup.Image || rect.Empty() || rect.Width() > setup.Image->CellWidth() ||
      rect.Height() > std::min(setup.Image->CellHeight(), MaxRows))
    VeInternalError();
  const TListView list{FCandidates.data(), int(FCandidates.size()), FValues.data(),
                       ValueCount(),       FPairs.data(),           PairCount(),
                       FLin.data(),        FCounts.data(),          FEnabled.data()};
#if VE_WIDE_VECTORS
  const int lanes = std::min(setup.Lanes, WidestLanes());
  if (lanes >= 8) return ChooseAvx512(list, setup, rect, mirror, cost);
  if (lanes >= 4) return ChooseAvx2(list, setup, rect, mirror, cost);
#endif
  return ChooseSse2(list, setup, rect, mirror, cost);
}

int TVeGigascreenSearch::WidestLanes() {
#if VE_WIDE_VECTORS
  static const int widest = VeHasAvx512() ? 8 : VeHasAvx2() ? 4 : 2;
  return widest;
#else
  return 2;
#endif
}
