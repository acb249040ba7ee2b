#pragma once
// What the tests of machines with palette types share: the photograph converted with a type,
// and a palette's colours as RGB values in entry order.
#include <cstdint>
#include <string>
#include <vector>

#include "platforms/msx/test_msx_support.h"

namespace typetest {

inline msxtest::TConversion ConvertWithType(const std::string& platform, const std::string& mode,
                                            TVePaletteType type) {
  return msxtest::ConvertPhoto(platform, mode,
                               [type](TVeDestEngineOptions& o) { o.SetPaletteType(type); });
}

inline std::vector<uint32_t> Quads(const TVePalette256& p) {
  std::vector<uint32_t> q;
  for (int i = 0; i < p.Count(); ++i)
    q.push_back(p.GetRGBQuad(i) & 0xFFFFFF);
  return q;
}

} // namespace typetest
