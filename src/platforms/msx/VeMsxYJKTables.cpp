#include "VeMsxYJKTables.h"

#include <algorithm>
#include <array>
#include <limits>

#include "VeColor.h"

namespace {

std::array<double, 32> Linear5() {
  std::array<double, 32> l{};
  for (int v = 0; v < 32; ++v)
    l[size_t(v)] = Level31ToLinear(v);
  return l;
}

} // namespace

TVeYjkRangeTable::TVeYjkRangeTable(TVeYjkDecoder decoder, bool evenY, int bias)
    : FDecoder(decoder), FEvenY(evenY), FBias(bias), FEntries(32768, TVeYjkRangeEntry{}),
      FExact(32768, 0) {
  // Every triple, Y outermost: the first one found stands for its colour.
  for (int y = 0; y < 32; y += evenY ? 2 : 1)
    for (int j = -32; j < 32; ++j)
      for (int k = -32; k < 32; ++k) {
        const TVeYjkLevels c =
            decoder == TVeYjkDecoder::YJK ? VeDecodeYJK(y, j, k, bias) : VeDecodeYUV(y, j, k, bias);
        const size_t i = size_t(VeRGB555Index(c.R, c.G, c.B));
        TVeYjkRangeEntry& e = FEntries[i];
        if (!FExact[i]) {
          FExact[i] = 1;
          e = {int8_t(y), int8_t(j), int8_t(k), int8_t(j), int8_t(j), int8_t(k), int8_t(k), 0};
          continue;
        }
        e.JMin = int8_t(std::min<int>(e.JMin, j));
        e.JMax = int8_t(std::max<int>(e.JMax, j));
        e.KMin = int8_t(std::min<int>(e.KMin, k));
        e.KMax = int8_t(std::max<int>(e.KMax, k));
      }

  // The others take the ranges of their nearest exact colours. The exact colours are kept by
  // green level, and the levels are searched in order of their green distance alone, which
  // no full distance undercuts.
  const std::array<double, 32> lin = Linear5();
  std::array<std::vector<int>, 32> byGreen;
  for (int i = 0; i < 32768; ++i)
    if (FExact[size_t(i)]) byGreen[size_t((i >> 5) & 31)].push_back(i);
  std::array<std::array<int, 32>, 32> order;
  std::array<std::array<double, 32>, 32> greenTerm;
  for (int g = 0; g < 32; ++g) {
    for (int h = 0; h < 32; ++h) {
      const double dg = lin[size_t(g)] - lin[size_t(h)];
      greenTerm[size_t(g)][size_t(h)] = VeLumG * dg * dg;
      order[size_t(g)][size_t(h)] = h;
    }
    std::stable_sort(order[size_t(g)].begin(), order[size_t(g)].end(), [&](int a, int b) {
      return greenTerm[size_t(g)][size_t(a)] < greenTerm[size_t(g)][size_t(b)];
    });
  }
  std::vector<int> ties;
  for (int i = 0; i < 32768; ++i) {
    if (FExact[size_t(i)]) continue;
    const int r = i >> 10, g = (i >> 5) & 31, b = i & 31;
    const TVeLinRGBColor target{lin[size_t(r)], lin[size_t(g)], lin[size_t(b)]};
    double best = std::numeric_limits<double>::infinity();
    ties.clear();
    for (int h : order[size_t(g)]) {
      if (greenTerm[size_t(g)][size_t(h)] > best) break;
      for (int c : byGreen[size_t(h)]) {
        const double d = DeltaRGB(
            target, {lin[size_t(c >> 10)], lin[size_t((c >> 5) & 31)], lin[size_t(c & 31)]});
        if (d < best) {
          best = d;
          ties.assign(1, c);
        } else if (d == best) {
          ties.push_back(c);
        }
      }
    }
    // The lowest index stands for the colour; the ranges are the union over all ties.
    std::sort(ties.begin(), ties.end());
    TVeYjkRangeEntry e = FEntries[size_t(ties.front())];
    for (int c : ties) {
      const TVeYjkRangeEntry& o = FEntries[size_t(c)];
      e.JMin = std::min(e.JMin, o.JMin);
      e.JMax = std::max(e.JMax, o.JMax);
      e.KMin = std::min(e.KMin, o.KMin);
      e.KMax = std::max(e.KMax, o.KMax);
    }
    FEntries[size_t(i)] = e;
  }
}

int TVeYjkRangeTable::ExactCount() const {
  return int(std::count(FExact.begin(), FExact.end(), uint8_t(1)));
}

const TVeYjkRangeTable& VeMsxYJKTable() {
  static const TVeYjkRangeTable table(TVeYjkDecoder::YJK, false);
  return table;
}
