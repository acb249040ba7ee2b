#pragma once
// The colour distances a conversion can measure with. "Delta RGB" weighs squared linear
// differences by luminance, so a change of blue costs almost nothing; the others measure in
// a space built to follow what the eye sees.
#include "VeColor.h"

inline constexpr int VeMethodDeltaRGB = 0;
inline constexpr int VeMethodCIE76 = 1;     // Euclidean in CIELAB
inline constexpr int VeMethodCIEDE2000 = 2; // CIELAB with the 2000 corrections
inline constexpr int VeMethodOklab = 3;     // Euclidean in Oklab
inline constexpr int VeDistanceCount = 4;
extern const char* const VeDistanceNames[VeDistanceCount];

inline bool VeValidDistance(int method) {
  return method >= 0 && method < VeDistanceCount;
}

// A colour in the space of a perceptual method: L*a*b* (CIE76, CIEDE2000) or Oklab. C is the
// chroma, which CIEDE2000 needs for every pair and so is kept with the entry.
struct TVePerceptual {
  double L = 0, A = 0, B = 0, C = 0;
};

TVeLab VeLabOfLin(const TVeLinRGBColor& c);
TVePerceptual VeOklabOfLin(const TVeLinRGBColor& c);
// For a perceptual method; the colour record's cached L*a*b* serves the CIELAB ones.
TVePerceptual VePerceptualOf(int method, const TVeColor& c);
TVePerceptual VePerceptualOfLin(int method, const TVeLinRGBColor& c);

// Squared Delta E76 (also the squared Oklab distance).
inline double VeEuclid2(const TVePerceptual& x, const TVePerceptual& y) {
  const double dl = x.L - y.L, da = x.A - y.A, db = x.B - y.B;
  return dl * dl + da * da + db * db;
}
// Squared CIEDE2000 difference (kL = kC = kH = 1).
double VeCIEDE2000Sq(const TVePerceptual& x, const TVePerceptual& y);

// The squared distance of two colours in a perceptual method's space.
inline double VePerceptualDistance(int method, const TVePerceptual& x, const TVePerceptual& y) {
  return method == VeMethodCIEDE2000 ? VeCIEDE2000Sq(x, y) : VeEuclid2(x, y);
}

// The distance of two colours by any method, squared: comparisons need no root.
double VeColorDistance(int method, const TVeColor& c1, const TVeColor& c2);

// The first entry nearest to t by a perceptual method; -1 when there are none.
int VeNearestPerceptual(int method, const TVePerceptual& t, const TVePerceptual* entries, int count,
                        double& dist);
