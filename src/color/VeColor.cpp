#include "VeColor.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

double SRGBToLinear(double c) {
  if (c <= 0.04045) return c / 12.92;
  return std::pow((c + 0.055) / 1.055, 2.4);
}

double LinearToSRGB(double v) {
  if (v <= 0.0031308) return 12.92 * v;
  return 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
}

namespace {

// Rounds to nearest with ties to even (the default floating-point rounding mode).
inline int RoundEven(double x) {
  return int(std::nearbyint(x));
}

template <int M> struct TLevelTable {
  std::array<double, M + 1> Lin;
  TLevelTable() {
    for (int k = 0; k <= M; ++k)
      Lin[k] = SRGBToLinear(double(k) / M);
  }
};

const TLevelTable<255>& ByteTable() {
  static const TLevelTable<255> t;
  return t;
}

} // namespace

namespace {
// The defining formula; NaN counts as below the range.
uint8_t LinearToByteExact(double v) {
  double x = 255.0 * LinearToSRGB(v);
  if (!(x >= 0)) x = 0;
  if (x > 255) x = 255;
  return uint8_t(RoundEven(x));
}

} // namespace

namespace {
// T[k] is the least linear value the formula turns into byte k or more (k 1..255), found once
// by bisecting the bit patterns of positive doubles, whose order is their value's order.
struct TByteThresholds {
  double T[257];
  TByteThresholds() {
    T[0] = -HUGE_VAL;
    T[256] = HUGE_VAL;
    for (int k = 1; k < 256; ++k) {
      int64_t lo, hi;
      const double a = ByteTable().Lin[k - 1], b = ByteTable().Lin[k];
      std::memcpy(&lo, &a, sizeof lo);
      std::memcpy(&hi, &b, sizeof hi);
      while (hi - lo > 1) {
        const int64_t mid = lo + (hi - lo) / 2;
        double m;
        std::memcpy(&m, &mid, sizeof m);
        (LinearToByteExact(m) >= k ? hi : lo) = mid;
      }
      std::memcpy(&T[k], &hi, sizeof hi);
    }
  }
};
} // namespace

// The formula costs a power per channel; the search gives the same byte from the thresholds,
// and values within a hair of one are left to the formula itself.
uint8_t LinearToByte(double v) {
  static const TByteThresholds t;
  int k = 0;
  for (int step = 128; step; step >>= 1)
    if (v >= t.T[k + step]) k += step;
  if (k > 0 && v - t.T[k] <= 1e-12 * t.T[k]) return LinearToByteExact(v);
  if (k < 255 && t.T[k + 1] - v <= 1e-12 * t.T[k + 1]) return LinearToByteExact(v);
  return uint8_t(k);
}

double ByteToLinear(uint8_t b) {
  return ByteTable().Lin[b];
}

double LevelToLinear(int level, int maxLevel) {
  if (maxLevel < 1 || maxLevel > 255 || level < 0 || level > maxLevel) VeInternalError();
  switch (maxLevel) {
  case 3: {
    static const TLevelTable<3> t;
    return t.Lin[level];
  }
  case 7: {
    static const TLevelTable<7> t;
    return t.Lin[level];
  }
  case 15: {
    static const TLevelTable<15> t;
    return t.Lin[level];
  }
  case 31: {
    static const TLevelTable<31> t;
    return t.Lin[level];
  }
  case 63: {
    static const TLevelTable<63> t;
    return t.Lin[level];
  }
  case 255:
    return ByteTable().Lin[level];
  default:
    return SRGBToLinear(double(level) / maxLevel);
  }
}

int LinearToLevel(double v, int maxLevel) {
  if (maxLevel < 1 || maxLevel > 255) VeInternalError();
  if (maxLevel == 255) return LinearToByte(v);
  double x = maxLevel * LinearToSRGB(v);
  if (!(x >= 0)) x = 0; // also NaN
  if (x > maxLevel) x = maxLevel;
  return RoundEven(x);
}

// ---- TVeColor ----------------------------------------------------------------------------

void TVeColor::CalcStdRGB() const {
  const TVeLinRGBColor& l = GetLinRGB();
  FStd = {LinearToByte(l.R), LinearToByte(l.G), LinearToByte(l.B)};
  FValid |= vStdRGB;
}

namespace {
double HueToRGB(double t1, double t2, double x) {
  if (x < 0) x += 1;
  if (x > 1) x -= 1;
  if (6 * x < 1) return t1 + (t2 - t1) * 6 * x;
  if (2 * x < 1) return t2;
  if (3 * x < 2) return t1 + (t2 - t1) * (2.0 / 3 - x) * 6;
  return t1;
}
} // namespace

void TVeColor::CalcLinRGB() const {
  if (FValid & vStdRGB) {
    const auto& t = ByteTable().Lin;
    FLin = {t[FStd.R], t[FStd.G], t[FStd.B]};
  } else if (FValid & vHSL) {
    const double h = FHSL.H, s = FHSL.S, l = FHSL.L;
    if (s == 0) {
      FLin = {l, l, l};
    } else {
      const double t2 = l < 0.5 ? l * (1 + s) : (l + s) - s * l;
      const double t1 = 2 * l - t2;
      FLin = {HueToRGB(t1, t2, h + 1.0 / 3), HueToRGB(t1, t2, h), HueToRGB(t1, t2, h - 1.0 / 3)};
    }
  } else if (FValid & (vXYZ | vLab)) {
    const TVeXYZ xyz = GetXYZ();
    const double x = xyz.X / 100, y = xyz.Y / 100, z = xyz.Z / 100;
    FLin = {3.2404542 * x - 1.5371385 * y - 0.4985314 * z,
            -0.9692660 * x + 1.8760108 * y + 0.0415560 * z,
            0.0556434 * x - 0.2040259 * y + 1.0572252 * z};
  } else {
    // An empty colour reads as black rather than recursing between XYZ and Lab.
    FLin = {0, 0, 0};
  }
  FValid |= vLinRGB;
}

void TVeColor::CalcHSL() const {
  const TVeLinRGBColor& c = GetLinRGB();
  const double mn = std::min(c.R, std::min(c.G, c.B));
  const double mx = std::max(c.R, std::max(c.G, c.B));
  const double d = mx - mn;
  TVeHSL r;
  r.L = (mx + mn) / 2;
  if (d == 0) {
    r.H = r.S = 0;
  } else {
    r.S = r.L < 0.5 ? d / (mx + mn) : d / (2 - mx - mn);
    const double dR = ((mx - c.R) / 6 + d / 2) / d;
    const double dG = ((mx - c.G) / 6 + d / 2) / d;
    const double dB = ((mx - c.B) / 6 + d / 2) / d;
    if (c.R == mx)
      r.H = dB - dG;
    else if (c.G == mx)
      r.H = 1.0 / 3 + dR - dB;
    else
      r.H = 2.0 / 3 + dG - dR;
    if (r.H < 0) r.H += 1;
    if (r.H > 1) r.H -= 1;
  }
  FHSL = r;
  FValid |= vHSL;
}

void TVeColor::CalcXYZ() const {
  if ((FValid & (vStdRGB | vLinRGB | vHSL)) || !(FValid & vLab)) {
    const TVeLinRGBColor& l = GetLinRGB();
    const double r = l.R * 100, g = l.G * 100, b = l.B * 100;
    FXYZ = {0.4124564 * r + 0.3575761 * g + 0.1804375 * b,
            0.2126729 * r + 0.7151522 * g + 0.0721750 * b,
            0.0193339 * r + 0.1191920 * g + 0.9503041 * b};
  } else {
    const double fy = (FLab.L + 16) / 116;
    const double fx = FLab.A / 500 + fy;
    const double fz = fy - FLab.B / 200;
    auto inv = [](double f) {
      const double f3 = f * f * f;
      return f3 > 0.008856 ? f3 : (f - 16.0 / 116) / 7.787;
    };
    FXYZ = {inv(fx) * VeWhiteX, inv(fy) * VeWhiteY, inv(fz) * VeWhiteZ};
  }
  FValid |= vXYZ;
}

void TVeColor::CalcLab() const {
  const TVeXYZ xyz = GetXYZ();
  auto f = [](double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116; };
  const double fx = f(xyz.X / VeWhiteX), fy = f(xyz.Y / VeWhiteY), fz = f(xyz.Z / VeWhiteZ);
  FLab = {116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz)};
  FValid |= vLab;
}

// ---- Lightness and saturation fixes --------------------------------------------------------

namespace {
// f > 0 pulls toward 1 (white / full saturation), f < 0 scales toward 0.
double FixFactor(double p) {
  const double d = p / 100;
  return d > 0 ? 1 - d : -1 - d;
}
inline double FixValue(double v, double f) {
  return f > 0 ? 1 - (1 - v) * f : -f * v;
}
} // namespace

TVeColorFix::TVeColorFix(int lightness, int saturation) {
  if (lightness != 0) {
    // -66 and -67 both stand for a third.
    const double p = (lightness == -66 || lightness == -67) ? -66.666666666666671 : lightness;
    FLight = true;
    FLightF = FixFactor(p);
  }
  if (saturation != 0) {
    FSat = true;
    FSatF = FixFactor(saturation);
  }
}

void TVeColorFix::Apply(TVeColor& c) const {
  if (FLight) {
    const TVeLinRGBColor l = c.GetLinRGB();
    c.SetLinRGB(FixValue(l.R, FLightF), FixValue(l.G, FLightF), FixValue(l.B, FLightF));
  }
  if (FSat) {
    const TVeHSL h = c.GetHSL();
    double s = FixValue(h.S, FSatF);
    if (s < 0) s = 0;
    if (s > 1) s = 1;
    c.SetHSL(h.H, s, h.L);
  }
}

void TVeColorFix::Apply(TVeColor* colors, size_t count) const {
  if (!Active()) return;
  for (size_t i = 0; i < count; ++i)
    Apply(colors[i]);
}

void VeLightnessFix(TVeColor& c, int lightness) {
  TVeColorFix(lightness, 0).Apply(c);
}
void VeSaturationFix(TVeColor& c, int saturation) {
  TVeColorFix(0, saturation).Apply(c);
}
