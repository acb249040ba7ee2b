#include "VeRuleCheck.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>

#include "VeBitmap32.h"
#include "VePalette.h"

void VeAddRuleColors(TVeModeRule& rule, const TVePalette& palette) {
  for (int i = 0; i < palette.GetCount(); ++i)
    rule.Colors.push_back(palette.GetRGBQuad(i) & 0xFFFFFF);
}

std::string TVeRuleBreak::Text() const {
  std::string s = Kind + " " + std::to_string(X) + "," + std::to_string(Y) + " (" +
                  std::to_string(Width) + "x" + std::to_string(Height) + "): " + What;
  return s;
}

namespace {

std::string Hex(uint32_t rgb) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "#%06X", unsigned(rgb & 0xFFFFFF));
  return buf;
}

// The machine's colours once each (a colour listed twice, like the ZX Spectrum's two blacks,
// is one colour in every group it is listed in), and each picture colour's match.
class TMatcher {
public:
  explicit TMatcher(const TVeModeRule& rule) : FBits(rule.Colors.empty() ? rule.ChannelBits : 0) {
    for (size_t i = 0; i < rule.Colors.size(); ++i) {
      const uint32_t c = rule.Colors[i] & 0xFFFFFF;
      const uint8_t g = i < rule.Groups.size() ? rule.Groups[i] : 0xFF;
      auto it = std::find(FColors.begin(), FColors.end(), c);
      if (it == FColors.end()) {
        FColors.push_back(c);
        FGroups.push_back(g);
      } else {
        FGroups[size_t(it - FColors.begin())] |= g;
      }
    }
  }
  // The machine colour within the tolerance, nearest by the largest channel difference; -1
  // when there is none.
  int Match(uint32_t quad) {
    quad &= 0xFFFFFF;
    auto found = FCache.find(quad);
    if (found != FCache.end()) return found->second;
    if (FBits > 0) return MatchLevels(quad);
    int best = -1, bestDiff = VeRuleTolerance + 1;
    for (size_t i = 0; i < FColors.size(); ++i) {
      const uint32_t c = FColors[i];
      int d = 0;
      for (int shift : {0, 8, 16})
        d = std::max(d, std::abs(int((quad >> shift) & 0xFF) - int((c >> shift) & 0xFF)));
      if (d < bestDiff) {
        bestDiff = d;
        best = int(i);
      }
    }
    FCache.emplace(quad, best);
    return best;
  }
  uint8_t Group(int index) const { return FGroups[size_t(index)]; }
  uint32_t Color(int index) const { return FColors[size_t(index)]; }

private:
  // Each channel to the nearest of the machine's levels; one index per distinct machine colour.
  int MatchLevels(uint32_t quad) {
    const int top = (1 << std::min(FBits, 8)) - 1;
    uint32_t machine = 0;
    bool near = true;
    for (int shift : {16, 8, 0}) {
      const int v = int((quad >> shift) & 0xFF);
      const int level = (v * top + 127) / 255;
      const int back = (level * 255 + top / 2) / top;
      near = near && std::abs(back - v) <= VeRuleTolerance;
      machine = machine << 8 | uint32_t(back);
    }
    int index = -1;
    if (near) {
      auto known = FLevelIndex.find(machine);
      if (known != FLevelIndex.end()) {
        index = known->second;
      } else {
        index = int(FColors.size());
        FColors.push_back(machine);
        FGroups.push_back(0xFF);
        FLevelIndex.emplace(machine, index);
      }
    }
    FCache.emplace(quad, index);
    return index;
  }

  int FBits;
  std::unordered_map<uint32_t, int> FLevelIndex;
  std::vector<uint32_t> FColors;
  std::vector<uint8_t> FGroups;
  std::unordered_map<uint32_t, int> FCache;
};

std::string ColorCount(size_t n, int most) {
  return std::to_string(n) + (n == 1 ? " colour" : " colours") + ", at most " +
         std::to_string(most);
}

} // namespace

std::vector<TVeRuleBreak> VeCheckRule(const TVeModeRule& rule, const TVeBitmap32& picture) {
  std::vector<TVeRuleBreak> breaks;
  const int w = picture.Width(), h = picture.Height();
  TMatcher matcher(rule);
  // Each pixel as its machine colour, or -1 - (the first lacking colour seen) for none.
  std::vector<int> index(size_t(w) * size_t(h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      index[size_t(y) * size_t(w) + size_t(x)] = matcher.Match(picture.Pixel(x, y));

  const bool cells = rule.CellWidth > 0 && rule.CellHeight > 0;
  const int bw = cells ? rule.CellWidth : 8, bh = cells ? rule.CellHeight : 8;
  for (int y0 = 0; y0 < h; y0 += bh)
    for (int x0 = 0; x0 < w; x0 += bw) {
      std::vector<int> seen;
      uint32_t lacking = 0;
      int lackingCount = 0;
      for (int y = y0; y < std::min(h, y0 + bh); ++y)
        for (int x = x0; x < std::min(w, x0 + bw); ++x) {
          const int i = index[size_t(y) * size_t(w) + size_t(x)];
          if (i < 0) {
            if (lackingCount++ == 0) lacking = picture.Pixel(x, y) & 0xFFFFFF;
          } else if (std::find(seen.begin(), seen.end(), i) == seen.end()) {
            seen.push_back(i);
          }
        }
      TVeRuleBreak b{cells ? "cell" : "block", x0, y0, std::min(bw, w - x0),
                     std::min(bh, h - y0),     ""};
      auto add = [&](const std::string& what) { b.What += (b.What.empty() ? "" : "; ") + what; };
      if (lackingCount > 0)
        add("colour " + Hex(lacking) + " is not a machine colour" +
            (lackingCount > 1 ? " (" + std::to_string(lackingCount) + " such pixels)" : ""));
      if (cells && rule.ColorsPerCell > 0 && int(seen.size()) > rule.ColorsPerCell)
        add(ColorCount(seen.size(), rule.ColorsPerCell));
      if (cells && !rule.Groups.empty() && !seen.empty()) {
        uint8_t shared = 0xFF;
        for (int i : seen)
          shared &= matcher.Group(i);
        if (!shared) add(rule.GroupsBroken);
      }
      if (!b.What.empty()) breaks.push_back(std::move(b));
    }

  if (rule.ColorsPerLine > 0)
    for (int y = 0; y < h; ++y) {
      std::vector<int> seen;
      for (int x = 0; x < w; ++x) {
        const int i = index[size_t(y) * size_t(w) + size_t(x)];
        if (i >= 0 && std::find(seen.begin(), seen.end(), i) == seen.end()) seen.push_back(i);
      }
      if (int(seen.size()) > rule.ColorsPerLine)
        breaks.push_back({"line", 0, y, w, 1, ColorCount(seen.size(), rule.ColorsPerLine)});
    }

  if (rule.ColorsPerScreen > 0) {
    std::vector<bool> used;
    size_t n = 0;
    for (int i : index)
      if (i >= 0) {
        if (size_t(i) >= used.size()) used.resize(size_t(i) + 1, false);
        if (!used[size_t(i)]) {
          used[size_t(i)] = true;
          ++n;
        }
      }
    if (int(n) > rule.ColorsPerScreen)
      breaks.push_back({"screen", 0, 0, w, h, ColorCount(n, rule.ColorsPerScreen)});
  }

  if (!rule.ScreenSets.empty()) {
    std::vector<uint32_t> used;
    for (int i : index)
      if (i >= 0 && std::find(used.begin(), used.end(), matcher.Color(i)) == used.end())
        used.push_back(matcher.Color(i));
    size_t fewest = used.size();
    for (const std::vector<uint32_t>& set : rule.ScreenSets) {
      size_t outside = 0;
      for (uint32_t c : used)
        if (std::find(set.begin(), set.end(), c) == set.end()) ++outside;
      fewest = std::min(fewest, outside);
    }
    if (int(fewest) > rule.FreeColors)
      breaks.push_back({"screen", 0, 0, w, h,
                        std::to_string(fewest) + " colours outside the nearest of the mode's " +
                            "palettes, at most " + std::to_string(rule.FreeColors)});
  }
  return breaks;
}
