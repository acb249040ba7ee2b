#pragma once
// Internal to the cell conversion: the dithering kernels, the colour distance and nearest
// searches on flat arrays, and the vector lanes of the batched trials. Every unit of the
// conversion rounds exactly as these do, so the trials agree with the dithering.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <type_traits>
#include <utility>

#include "VeCellImage.h"
#include "VeColorDistance.h"

// The lane helpers are inline and internal to the conversion, so how a vector would be
// returned across an ABI boundary does not matter.
#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace VeCell {

// Taps (dx, dy, weight) per dithering method; shares are error * weight / divisor.
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
// A linear triple in a perceptual method's space, straight from linear light (the trials
// convert every pixel of every candidate, so no colour record is built).
inline TVePerceptual PerceptualOfLin(int method, double r, double g, double b) {
  if (method == VeMethodOklab) return VeOklabOfLin({r, g, b});
  auto f = [](double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116; };
  const double fx = f((0.4124564 * r + 0.3575761 * g + 0.1804375 * b) * 100 / VeWhiteX);
  const double fy = f((0.2126729 * r + 0.7151522 * g + 0.0721750 * b) * 100 / VeWhiteY);
  const double fz = f((0.0193339 * r + 0.1191920 * g + 0.9503041 * b) * 100 / VeWhiteZ);
  TVePerceptual p{116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz), 0};
  if (method == VeMethodCIEDE2000) p.C = std::hypot(p.A, p.B);
  return p;
}
// A working pixel in that space. Carried error can take it outside the displayable range,
// where those spaces mean nothing, so it is clamped first.
inline TVePerceptual PerceptualOfPixel(int method, const double* p) {
  return PerceptualOfLin(method, std::clamp(p[0], 0.0, 1.0), std::clamp(p[1], 0.0, 1.0),
                         std::clamp(p[2], 0.0, 1.0));
}
inline void PerceptualOfColors(int method, const double* cl, int n, TVePerceptual* out) {
  for (int i = 0; i < n; ++i)
    out[i] = PerceptualOfPixel(method, cl + 3 * i);
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

// Calls f(std::integral_constant<int, M>()) for the dithering method M, 0 (no spreading)
// for any other value, so that the hot loops see the kernel as a constant.
template <class F> [[gnu::always_inline]] inline decltype(auto) WithMethod(int method, F&& f) {
  switch (method) {
  case 1:
    return f(std::integral_constant<int, 1>());
  case 2:
    return f(std::integral_constant<int, 2>());
  case 3:
    return f(std::integral_constant<int, 3>());
  case 4:
    return f(std::integral_constant<int, 4>());
  case 5:
    return f(std::integral_constant<int, 5>());
  case 6:
    return f(std::integral_constant<int, 6>());
  case 7:
    return f(std::integral_constant<int, 7>());
  case 8:
    return f(std::integral_constant<int, 8>());
  default:
    return f(std::integral_constant<int, 0>());
  }
}

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

// A trial's spill: adds to spill[k] the norm(record, k) of every record the trial pushed out
// of a w x h cell, the two columns right of each row and then the two rows below, in that
// order. Records of T are size apart, rows stride records, the cell two records in.
template <int Lanes, class T, class A, class FNorm>
[[gnu::always_inline]] inline void AddSpill(const T* b, int stride, int size, int w, int h,
                                            A* spill, FNorm norm) {
  for (int y = 0; y < h; ++y) {
    const T* row = b + (size_t(y) * stride + 2) * size;
    for (int k = 0; k < Lanes; ++k) {
      spill[k] += norm(row + w * size, k);
      spill[k] += norm(row + (w + 1) * size, k);
    }
  }
  for (int y = h; y < h + 2; ++y) {
    const T* row = b + (size_t(y) * stride + 2) * size;
    for (int x = 0; x < w + 2; ++x)
      for (int k = 0; k < Lanes; ++k)
        spill[k] += norm(row + x * size, k);
  }
}

// Zeroes what a trial's copy of the cell does not overwrite: the pads left and right of each
// row and the two rows below.
template <class T>
[[gnu::always_inline]] inline void ClearPads(T* b, int stride, int size, int w, int h, T zero) {
  for (int y = 0; y < h; ++y) {
    T* row = b + size_t(y) * stride * size;
    std::fill(row, row + 2 * size, zero);
    std::fill(row + (w + 2) * size, row + stride * size, zero);
  }
  std::fill(b + size_t(h) * stride * size, b + size_t(h + 2) * stride * size, zero);
}

} // namespace VeCell
