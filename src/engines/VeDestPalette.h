#pragma once
// The palette type the conversion framework works with. Until the colour unit provides
// TVePalette256, a minimal private stand-in with the same names keeps the framework building.
#if __has_include("VePalette.h")
#include "VePalette.h"
#else
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "VeErrors.h"

class TVePalette256 {
public:
  static constexpr int MaxColors = 729;
  int GetCount() const { return int(FColors.size()); }
  void Clear() { FColors.clear(); }
  void Assign(const TVePalette256* p) {
    if (p == this) return;
    FColors = p ? p->FColors : std::vector<uint32_t>();
  }
  bool Equals(const TVePalette256* p) const { return p ? FColors == p->FColors : FColors.empty(); }
  int AddRGB(uint8_t r, uint8_t g, uint8_t b) {
    if (GetCount() >= MaxColors) throw ETooManyColors();
    FColors.push_back(uint32_t(r) << 16 | uint32_t(g) << 8 | b);
    return GetCount() - 1;
  }
  bool ContainsAll(const TVePalette256* p) const {
    if (!p || p->FColors.empty()) return false;
    for (uint32_t c : p->FColors)
      if (std::find(FColors.begin(), FColors.end(), c) == FColors.end()) return false;
    return true;
  }
  uint32_t GetRGBQuad(int i) const { return FColors.at(size_t(i)); }
  int FindNearestRGB(uint32_t rgb) const {
    int best = -1;
    double bestD = 0;
    for (int i = 0; i < GetCount(); ++i) {
      double d = 0;
      static const double w[3] = {0.212655, 0.715158, 0.072187};
      for (int c = 0; c < 3; ++c) {
        double a = Lin((rgb >> (16 - 8 * c)) & 255),
               e = Lin((FColors[size_t(i)] >> (16 - 8 * c)) & 255);
        d += w[c] * (a - e) * (a - e);
      }
      if (best < 0 || d < bestD) best = i, bestD = d;
    }
    return best;
  }

private:
  static double Lin(uint32_t v) {
    double c = v / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  }
  std::vector<uint32_t> FColors;
};
#endif
