#include "VeColorDistance.h"

#include <cmath>

const char* const VeDistanceNames[VeDistanceCount] = {"Delta RGB", "CIELAB \u0394E76", "CIEDE2000",
                                                      "Oklab"};

TVeLab VeLabOfLin(const TVeLinRGBColor& c) {
  return TVeColor::FromLin(c).GetLab();
}

TVePerceptual VeOklabOfLin(const TVeLinRGBColor& c) {
  const double l = std::cbrt(0.4122214708 * c.R + 0.5363325363 * c.G + 0.0514459929 * c.B);
  const double m = std::cbrt(0.2119034982 * c.R + 0.6806995451 * c.G + 0.1073969566 * c.B);
  const double s = std::cbrt(0.0883024619 * c.R + 0.2817188376 * c.G + 0.6299787005 * c.B);
  TVePerceptual p;
  // Scaled by 100 so that its numbers read like L*a*b*'s.
  p.L = 100 * (0.2104542553 * l + 0.7936177850 * m - 0.0040720468 * s);
  p.A = 100 * (1.9779984951 * l - 2.4285922050 * m + 0.4505937099 * s);
  p.B = 100 * (0.0259040371 * l + 0.7827717662 * m - 0.8086757660 * s);
  p.C = std::hypot(p.A, p.B);
  return p;
}

namespace {

TVePerceptual FromLab(const TVeLab& lab) {
  return {lab.L, lab.A, lab.B, std::hypot(lab.A, lab.B)};
}

} // namespace

TVePerceptual VePerceptualOf(int method, const TVeColor& c) {
  if (method == VeMethodOklab) return VeOklabOfLin(c.GetLinRGB());
  return FromLab(c.GetLab());
}

TVePerceptual VePerceptualOfLin(int method, const TVeLinRGBColor& c) {
  if (method == VeMethodOklab) return VeOklabOfLin(c);
  return FromLab(VeLabOfLin(c));
}

double VeCIEDE2000Sq(const TVePerceptual& x, const TVePerceptual& y) {
  constexpr double Pi = 3.14159265358979323846;
  constexpr double Deg = Pi / 180;
  constexpr double Pow25To7 = 6103515625.0; // 25^7
  const double cBar = (x.C + y.C) / 2;
  const double c7 = std::pow(cBar, 7);
  const double g = 0.5 * (1 - std::sqrt(c7 / (c7 + Pow25To7)));
  const double a1 = (1 + g) * x.A, a2 = (1 + g) * y.A;
  const double c1 = std::hypot(a1, x.B), c2 = std::hypot(a2, y.B);
  auto hue = [](double b, double a) {
    if (a == 0 && b == 0) return 0.0;
    const double h = std::atan2(b, a);
    return h < 0 ? h + 2 * Pi : h;
  };
  const double h1 = hue(x.B, a1), h2 = hue(y.B, a2);
  const double dL = y.L - x.L;
  const double dC = c2 - c1;
  double dh = 0;
  if (c1 * c2 != 0) {
    dh = h2 - h1;
    if (dh > Pi)
      dh -= 2 * Pi;
    else if (dh < -Pi)
      dh += 2 * Pi;
  }
  const double dH = 2 * std::sqrt(c1 * c2) * std::sin(dh / 2);
  const double lBar = (x.L + y.L) / 2;
  const double cBarP = (c1 + c2) / 2;
  double hBar = h1 + h2;
  if (c1 * c2 != 0) {
    if (std::fabs(h1 - h2) <= Pi)
      hBar /= 2;
    else
      hBar = h1 + h2 < 2 * Pi ? (h1 + h2 + 2 * Pi) / 2 : (h1 + h2 - 2 * Pi) / 2;
  }
  const double t = 1 - 0.17 * std::cos(hBar - 30 * Deg) + 0.24 * std::cos(2 * hBar) +
                   0.32 * std::cos(3 * hBar + 6 * Deg) - 0.20 * std::cos(4 * hBar - 63 * Deg);
  const double dTheta = 30 * Deg * std::exp(-std::pow((hBar / Deg - 275) / 25, 2));
  const double cp7 = std::pow(cBarP, 7);
  const double rC = 2 * std::sqrt(cp7 / (cp7 + Pow25To7));
  const double l50 = (lBar - 50) * (lBar - 50);
  const double sL = 1 + 0.015 * l50 / std::sqrt(20 + l50);
  const double sC = 1 + 0.045 * cBarP;
  const double sH = 1 + 0.015 * cBarP * t;
  const double rT = -std::sin(2 * dTheta) * rC;
  const double tl = dL / sL, tc = dC / sC, th = dH / sH;
  return tl * tl + tc * tc + th * th + rT * tc * th;
}

double VeColorDistance(int method, const TVeColor& c1, const TVeColor& c2) {
  if (method == VeMethodDeltaRGB) return DeltaRGB(c1, c2);
  if (!VeValidDistance(method)) VeInternalError();
  return VePerceptualDistance(method, VePerceptualOf(method, c1), VePerceptualOf(method, c2));
}

int VeNearestPerceptual(int method, const TVePerceptual& t, const TVePerceptual* entries, int count,
                        double& dist) {
  int best = -1;
  dist = 0;
  if (method == VeMethodCIEDE2000) {
    for (int i = 0; i < count; ++i) {
      const double d = VeCIEDE2000Sq(t, entries[i]);
      if (best < 0 || d < dist) {
        dist = d;
        best = i;
      }
    }
  } else {
    for (int i = 0; i < count; ++i) {
      const double d = VeEuclid2(t, entries[i]);
      if (best < 0 || d < dist) {
        dist = d;
        best = i;
      }
    }
  }
  return best;
}
