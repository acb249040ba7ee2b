#include "VeCellImage.h"

#include <algorithm>
#include <cstdint>
#include <type_traits>

#include "VeCellKernels.h"

using namespace VeCell;

// The trial dithering that costs a candidate for a cell: one candidate at a time, or a batch
// of them side by side, in plain doubles or in vectors of lanes.

namespace {
// Gives a trial pixel colour c and spreads its error over the kernel's taps.
template <int M>
[[gnu::always_inline]] inline void SettleTrialPixel(double* p, const double* c, double st, int S) {
  using K = TKernel<M>;
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
} // namespace

double* TVeBaseCellImage::LoadTrialCell(const TVeCellRect& rect, bool mirror,
                                        TVeCellHelper& s) const {
  const int S = s.FStride, step = mirror ? -3 : 3;
  double* b = s.FBuf.data();
  std::fill(s.FBuf.begin(), s.FBuf.end(), 0.0);
  for (int y = 0; y < rect.Height(); ++y) {
    const double* src = PixelAt(rect.Left, rect.Top + y, mirror);
    double* row = b + (y * S + 2) * 3;
    for (int x = 0; x < rect.Width(); ++x, src += step) {
      row[x * 3] = src[0];
      row[x * 3 + 1] = src[1];
      row[x * 3 + 2] = src[2];
    }
  }
  return b;
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
    if constexpr (M != 0)
      AddSpill<1>(g, S, 1, w, h, &spill, [](const double* p, int) {
        const double e = *p;
        return VeCellWR * e * e + VeCellWG * e * e + VeCellWB * e * e;
      });
  } else {
    if (FDistance != VeMethodDeltaRGB) return TrialCostPerceptual<M>(rect, mirror, s, pal);
    double* b = LoadTrialCell(rect, mirror, s);
    for (int y = 0; y < h; ++y) {
      double* row = b + (y * S + 2) * 3;
      for (int x = 0; x < w; ++x) {
        double* p = row + x * 3;
        SettleTrialPixel<M>(p, cl + 3 * NearestColor(p, n, cl), st, S);
      }
    }
    for (int y = 0; y < h; ++y) {
      const double* src = PixelAt(rect.Left, rect.Top + y, mirror);
      const double* row = b + (y * S + 2) * 3;
      for (int x = 0; x < w; ++x, src += step)
        inCell += Dist(src, row + x * 3);
    }
    if constexpr (M != 0)
      AddSpill<1>(b, S, 3, w, h, &spill, [](const double* p, int) { return Norm(p); });
  }
  return inCell + spill;
}

// Squared linear error in units of a squared perceptual difference: near mid gray one L* is
// about a hundredth of the luminance, so the error a candidate pushes out of the cell weighs
// as it does against the in-cell costs of Delta RGB.
constexpr double VeSpillToPerceptual = 1e4;

template <int M>
double TVeBaseCellImage::TrialCostPerceptual(const TVeCellRect& rect, bool mirror, TVeCellHelper& s,
                                             const TVeCellPalette& pal) const {
  const int S = s.FStride;
  const int w = rect.Width(), h = rect.Height();
  const int n = pal.CacheCount();
  const double* cl = pal.CacheLin();
  const double st = FStrength;
  const int step = mirror ? -3 : 3;
  s.FPerceptual.resize(size_t(n));
  TVePerceptual* cp = s.FPerceptual.data();
  PerceptualOfColors(FDistance, cl, n, cp);
  double inCell = 0, spill = 0;
  double* b = LoadTrialCell(rect, mirror, s);
  const TVePerceptual* cell =
      s.FPerceptualCell.size() == size_t(w) * size_t(h) ? s.FPerceptualCell.data() : nullptr;
  for (int y = 0; y < h; ++y) {
    const double* src = PixelAt(rect.Left, rect.Top + y, mirror);
    double* row = b + (y * S + 2) * 3;
    for (int x = 0; x < w; ++x, src += step) {
      double* p = row + x * 3;
      double found;
      const int k = VeNearestPerceptual(FDistance, PerceptualOfPixel(FDistance, p), cp, n, found);
      inCell += VePerceptualDistance(
          FDistance, cell ? cell[y * w + x] : PerceptualOfPixel(FDistance, src), cp[k]);
      SettleTrialPixel<M>(p, cl + 3 * k, st, S);
    }
  }
  if constexpr (M != 0)
    AddSpill<1>(b, S, 3, w, h, &spill, [](const double* p, int) { return Norm(p); });
  return inCell + spill * VeSpillToPerceptual;
}

double TVeBaseCellImage::CellCost(const TVeCellRect& rect, TVeCellHelper& scratch,
                                  const TVeCellPalette& candidate) const {
  return CellCostAt(rect, FMirror, scratch, candidate);
}

double TVeBaseCellImage::CellCostAt(const TVeCellRect& rect, bool mirror, TVeCellHelper& scratch,
                                    const TVeCellPalette& candidate) const {
  if (rect.Width() > FCellWidth || rect.Height() > FCellHeight || rect.Empty()) VeInternalError();
  if (candidate.CacheCount() == 0) VeInternalError();
  return WithMethod(TrialMethod(), [&](auto m) {
    constexpr int M = decltype(m)::value;
    return FGray ? TrialCost<M, true>(rect, mirror, scratch, candidate)
                 : TrialCost<M, false>(rect, mirror, scratch, candidate);
  });
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
  ClearPads(b, S, R, w, h, 0.0);
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
    AddSpill<L>(b, S, R, w, h, spill, norm);
  }
  for (int k = 0; k < L; ++k)
    costs[k] = inCell[k] + spill[k];
}

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
  V col[N][R] = {}; // every lane is set below; zeroed first as the compiler cannot see it
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
  ClearPads(b, S, R, w, h, zero);
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
    AddSpill<G>(b, S, R, w, h, spill, norm);
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
  if (FDistance != VeMethodDeltaRGB) lanes = false; // the lanes measure Delta RGB only
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
  WithMethod(TrialMethod(), run);
  for (int i = 0; i < count; ++i)
    costs[i] = out[i];
}
