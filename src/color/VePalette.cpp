#include "VePalette.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>

// ---- TVePalette --------------------------------------------------------------------------

bool TVePalette::ContainsAll(const TVePalette* other) const {
  if (!other) return false;
  const int n = other->GetCount();
  if (n == 0) return false;
  for (int i = 0; i < n; ++i)
    if (FindExact(other->GetRGBQuad(i)) < 0) return false;
  return true;
}

int TVePalette::FindNearest(int method, const TVeColor& c) const {
  if (method != VeMethodDeltaRGB) VeInternalError();
  return FindNearestLin(c.GetLinRGB());
}

int TVePalette::FindNearestBy(int method, const TVeLinRGBColor& c) const {
  if (method == VeMethodDeltaRGB) return FindNearestLin(c);
  return FindNearest(method, TVeColor::FromLin(c));
}

// ---- TVePalette256 -----------------------------------------------------------------------

TVePalette256::TVePalette256() {
  FColors.reserve(MaxColors);
}

TVePalette256::TVePalette256(int capacity) : FCapacity(std::clamp(capacity, 1, MaxColors)) {
  FColors.reserve(size_t(FCapacity));
}

TVePalette256::TVePalette256(const TVePalette256& o)
    : TVePalette(), FileName(o.FileName), Name(o.Name), Temporary(o.Temporary) {
  FColors.reserve(MaxColors);
  FColors.assign(o.FColors.begin(), o.FColors.end());
  FCount = o.FCount;
}

TVePalette256& TVePalette256::operator=(const TVePalette256& o) {
  if (this != &o) {
    CheckRoom(o.FCount); // before anything changes
    FileName = o.FileName;
    Name = o.Name;
    Temporary = o.Temporary;
    FColors.assign(o.FColors.begin(), o.FColors.end());
    FCount = o.FCount;
    Dirty();
  }
  return *this;
}

TVePalette256::~TVePalette256() = default;

std::unique_ptr<TVePalette> TVePalette256::Clone() const {
  return Clone256();
}

std::unique_ptr<TVePalette256> TVePalette256::Clone256() const {
  return std::make_unique<TVePalette256>(*this);
}

void TVeGreenIndex::Clear() {
  FGreens.clear();
  FOrder.clear();
}

void TVeGreenIndex::Build(const TVeSearchEntry* entries, int count) {
  FOrder.resize(size_t(count));
  for (int i = 0; i < count; ++i)
    FOrder[size_t(i)] = uint16_t(i);
  std::stable_sort(FOrder.begin(), FOrder.end(),
                   [&](uint16_t a, uint16_t b) { return entries[a].G < entries[b].G; });
  FGreens.resize(size_t(count));
  for (int i = 0; i < count; ++i)
    FGreens[size_t(i)] = entries[FOrder[size_t(i)]].G;
}

int TVeGreenIndex::Nearest(const TVeSearchEntry* e, double r, double g, double b,
                           double& dist) const {
  if (!std::isfinite(r) || !std::isfinite(g) || !std::isfinite(b)) return -1;
  // Outward from the query's green in both directions. Each distance is computed exactly as
  // in a plain scan, and its green term never exceeds it, so a side whose green term alone
  // is above the best distance holds no better (or equal) entry.
  const int n = int(FOrder.size());
  int hi = int(std::lower_bound(FGreens.begin(), FGreens.end(), g) - FGreens.begin());
  int lo = hi - 1;
  int best = -1;
  double bestD = std::numeric_limits<double>::infinity();
  while (lo >= 0 || hi < n) {
    const bool takeHi = hi < n && (lo < 0 || FGreens[size_t(hi)] - g <= g - FGreens[size_t(lo)]);
    const int k = takeHi ? hi : lo;
    const double gap = g - FGreens[size_t(k)];
    if (VeLumG * gap * gap > bestD) {
      if (takeHi)
        hi = n;
      else
        lo = -1;
      continue;
    }
    const int i = FOrder[size_t(k)];
    const double dr = r - e[i].R, dg = g - e[i].G, db = b - e[i].B;
    const double d = VeLumR * dr * dr + VeLumG * dg * dg + VeLumB * db * db;
    if (d < bestD || (d == bestD && i < best)) {
      bestD = d;
      best = i;
    }
    if (takeHi)
      ++hi;
    else
      --lo;
  }
  dist = bestD;
  return best;
}

void TVePalette256::RebuildSearch() const {
  FSearch.resize(size_t(FCount));
  for (int i = 0; i < FCount; ++i) {
    const TVeColor& c = FColors[size_t(i)];
    const TVeLinRGBColor& l = c.GetLinRGB();
    FSearch[size_t(i)] = {l.R, l.G, l.B, c.GetLinGray()};
  }
  if (FCount >= GreenSearchMin)
    FGreenIndex.Build(FSearch.data(), FCount);
  else
    FGreenIndex.Clear();
  FSearchValid = true;
}

void TVePalette256::PrepareSearch() const {
  for (const TVeColor& c : FColors) {
    c.GetStdRGB();
    c.GetLinGray();
  }
  RebuildSearch();
  PerceptualEntries(VeMethodCIE76);
  PerceptualEntries(VeMethodOklab);
}

const TVePerceptual* TVePalette256::PerceptualEntries(int method) const {
  const bool oklab = method == VeMethodOklab;
  std::vector<TVePerceptual>& entries = oklab ? FOklabSearch : FLabSearch;
  bool& valid = oklab ? FOklabValid : FLabValid;
  if (!valid) {
    entries.resize(size_t(FCount));
    for (int i = 0; i < FCount; ++i)
      entries[size_t(i)] = VePerceptualOf(method, FColors[size_t(i)]);
    valid = true;
  }
  return entries.data();
}

int TVePalette256::FindNearest(int method, const TVeColor& c) const {
  if (method == VeMethodDeltaRGB) return FindNearestLin(c.GetLinRGB());
  if (!VeValidDistance(method)) VeInternalError();
  double d;
  return VeNearestPerceptual(method, VePerceptualOf(method, c), PerceptualEntries(method), FCount,
                             d);
}

int TVePalette256::NearestWithDistance(const TVeLinRGBColor& c, double& dist) const {
  if (FCount == 0) {
    dist = 0;
    return -1;
  }
  if (!FSearchValid) RebuildSearch();
  const TVeSearchEntry* e = FSearch.data();
  const double r = c.R, g = c.G, b = c.B;
  if (!FGreenIndex.Empty()) {
    const int best = FGreenIndex.Nearest(e, r, g, b, dist);
    if (best >= 0) return best;
  }
  int best = 0;
  double bestD;
  {
    const double dr = r - e[0].R, dg = g - e[0].G, db = b - e[0].B;
    bestD = VeLumR * dr * dr + VeLumG * dg * dg + VeLumB * db * db;
  }
  for (int i = 1, n = FCount; i < n; ++i) {
    const double dr = r - e[i].R, dg = g - e[i].G, db = b - e[i].B;
    const double d = VeLumR * dr * dr + VeLumG * dg * dg + VeLumB * db * db;
    if (d < bestD) {
      bestD = d;
      best = i;
    }
  }
  dist = bestD;
  return best;
}

int TVePalette256::FindNearestLin(const TVeLinRGBColor& c) const {
  double d;
  return NearestWithDistance(c, d);
}

int TVePalette256::ScanLuminance(double y) const {
  if (FCount == 0) return -1;
  if (!FSearchValid) RebuildSearch();
  const TVeSearchEntry* e = FSearch.data();
  int best = 0;
  double bestD = DeltaGray(y, e[0].Y);
  for (int i = 1, n = FCount; i < n; ++i) {
    const double d = DeltaGray(y, e[i].Y);
    if (d < bestD) {
      bestD = d;
      best = i;
    }
  }
  return best;
}

int TVePalette256::FindNearestGray(const TVeColor& c) const {
  return ScanLuminance(c.GetLinGray());
}

int TVePalette256::FindNearestByLuminance(double y) const {
  return ScanLuminance(y);
}

int TVePalette256::FindNearestSysColor(uint32_t sysColor) const {
  TVeColor c;
  c.InitSysColor(sysColor);
  return FindNearestLin(c.GetLinRGB());
}

int TVePalette256::FindExact(uint32_t rgbQuad) const {
  const TVeStdRGBColor s = TVeStdRGBColor::FromRGBQuad(rgbQuad);
  for (int i = 0; i < FCount; ++i)
    if (FColors[size_t(i)].GetStdRGB() == s) return i;
  return -1;
}

int TVePalette256::IndexOf(uint32_t rgbQuad) const {
  const int i = FindExact(rgbQuad);
  if (i < 0) VeInternalError();
  return i;
}

TVeColor* TVePalette256::GetPColor(int index) {
  At(index);
  Dirty();
  return &FColors[size_t(index)];
}

void TVePalette256::Changed() {
  Dirty();
  if (FUpdateCount > 0) return;
  if (OnChange) OnChange();
}

void TVePalette256::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0) Changed();
}

void TVePalette256::CheckRoom(int count) const {
  if (count > FCapacity) throw ETooManyColors();
}

TVeColor& TVePalette256::AppendRaw() {
  CheckRoom(FCount + 1);
  FColors.emplace_back();
  ++FCount;
  Dirty();
  return FColors.back();
}

void TVePalette256::ResetRaw() {
  FColors.clear();
  FCount = 0;
  Dirty();
}

void TVePalette256::CopyColorsFrom(const TVePalette256& o) {
  if (&o == this) return;
  CheckRoom(o.FCount);
  FColors.assign(o.FColors.begin(), o.FColors.end());
  FCount = o.FCount;
  Dirty();
}

void TVePalette256::Clear() {
  if (FCount > 0) {
    ResetRaw();
    Changed();
  }
}

void TVePalette256::Assign(const TVePalette* p) {
  if (p == this) return;
  if (const auto* p256 = dynamic_cast<const TVePalette256*>(p)) {
    CopyColorsFrom(*p256);
  } else if (p) {
    const int n = p->GetCount();
    // Checked first, so that a too large palette leaves this one unchanged.
    CheckRoom(n);
    ResetRaw();
    for (int i = 0; i < n; ++i)
      AppendRaw().InitLin(p->GetLinRGB(i));
  } else {
    ResetRaw();
  }
  Temporary = false;
  Changed();
}

void TVePalette256::AssignAll(const TVePalette256* p) {
  if (p == this) return;
  if (p) {
    CopyColorsFrom(*p);
    FileName = p->FileName;
    Name = p->Name;
    Temporary = p->Temporary;
  } else {
    ResetRaw();
    FileName.clear();
    Name.clear();
    Temporary = false;
  }
  Changed();
}

bool TVePalette256::Equals(const TVePalette* p) const {
  if (!p) return FCount == 0;
  if (p->GetCount() != FCount) return false;
  for (int i = 0; i < FCount; ++i)
    if (p->GetRGBQuad(i) != FColors[size_t(i)].GetRGBQuad()) return false;
  return true;
}

void TVePalette256::Insert(int index, uint32_t sysColor) {
  CheckRoom(FCount + 1);
  if (index < 0 || index > FCount) VeInternalError();
  TVeColor c;
  c.InitSysColor(sysColor);
  FColors.insert(FColors.begin() + index, c);
  ++FCount;
  Changed();
}

int TVePalette256::AddUnique(uint8_t r, uint8_t g, uint8_t b) {
  const int i = FindExact(TVeStdRGBColor{r, g, b}.RGBQuad());
  if (i >= 0) {
    ++FColors[size_t(i)].UseCount;
    return i;
  }
  TVeColor& c = AppendRaw();
  c.InitStdRGB(r, g, b);
  Changed();
  return FCount - 1;
}

int TVePalette256::AddUniqueColor(const TVeColor& c) {
  // Read first: c may be an entry of this palette.
  const TVeLinRGBColor lin = c.GetLinRGB();
  const TVeStdRGBColor s = c.GetStdRGB();
  const int i = AddUnique(s.R, s.G, s.B);
  FColors[size_t(i)].SetLinRGB(lin);
  Dirty();
  return i;
}

int TVePalette256::AddUniqueLin(const TVeLinRGBColor& c) {
  const TVeLinRGBColor lin = c;
  const int i = AddUnique(LinearToByte(lin.R), LinearToByte(lin.G), LinearToByte(lin.B));
  FColors[size_t(i)].SetLinRGB(lin);
  Dirty();
  return i;
}

int TVePalette256::AddColor(const TVeColor& c) {
  const TVeColor copy = c; // c may be an entry of this palette
  TVeColor& e = AppendRaw();
  e = copy;
  e.UseCount = 0;
  Changed();
  return FCount - 1;
}

int TVePalette256::AddLin(const TVeLinRGBColor& c) {
  const TVeLinRGBColor lin = c;
  AppendRaw().InitLin(lin);
  Changed();
  return FCount - 1;
}

int TVePalette256::AddSysColor(uint32_t sysColor) {
  AppendRaw().InitSysColor(sysColor);
  Changed();
  return FCount - 1;
}

int TVePalette256::AddRGB(uint8_t r, uint8_t g, uint8_t b) {
  AppendRaw().InitStdRGB(r, g, b);
  Changed();
  return FCount - 1;
}

void TVePalette256::AddPaletteUnique(const TVePalette* p) {
  if (!p) return;
  for (int i = 0, n = p->GetCount(); i < n; ++i)
    AddUniqueLin(p->GetLinRGB(i));
}

void TVePalette256::Delete(int index) {
  if (index < 0 || index >= FCount) VeInternalError();
  FColors.erase(FColors.begin() + index);
  --FCount;
  Dirty();
}

TVeLuminanceRange TVePalette256::LuminanceRange() const {
  TVeLuminanceRange r;
  double lo = 0, hi = 0;
  for (int i = 0; i < FCount; ++i) {
    const TVeColor& c = FColors[size_t(i)];
    if (c.Excluded) continue;
    const double y = c.GetLinGray();
    if (r.Darkest < 0 || y < lo) {
      lo = y;
      r.Darkest = i;
    }
    if (r.Brightest < 0 || y > hi) {
      hi = y;
      r.Brightest = i;
    }
  }
  if (r.Darkest < 0) VeInternalError();
  r.Difference = hi - lo;
  return r;
}

void TVePalette256::SortByLuminance(int from) {
  if (from < 0) from = 0;
  if (from < FCount)
    std::stable_sort(
        FColors.begin() + from, FColors.end(),
        [](const TVeColor& a, const TVeColor& b) { return a.GetLinGray() < b.GetLinGray(); });
  Changed();
}

void TVePalette256::ClearExcluded() {
  for (TVeColor& c : FColors)
    c.Excluded = false;
}

void TVePalette256::NormalizeToWhite(int first, int last) {
  if (FCount == 0) return;
  if (last == 0) last = FCount - 1;
  if (first < 0 || last >= FCount) VeInternalError();
  double m = 0;
  for (int i = first; i <= last; ++i) {
    const TVeLinRGBColor& l = FColors[size_t(i)].GetLinRGB();
    m = std::max(m, std::max(l.R, std::max(l.G, l.B)));
  }
  if (m == 0) return;
  const double k = 1 / m;
  for (int i = first; i <= last; ++i) {
    TVeColor& c = FColors[size_t(i)];
    const TVeLinRGBColor l = c.GetLinRGB();
    c.SetLinRGB(l.R * k, l.G * k, l.B * k);
  }
  Dirty();
}

void TVePalette256::StretchToBlack(int first, int last) {
  if (FCount == 0) return;
  if (last == 0) last = FCount - 1;
  if (first < 0 || last >= FCount) VeInternalError();
  double m = 1.0;
  for (int i = first; i <= last; ++i) {
    const TVeLinRGBColor& l = FColors[size_t(i)].GetLinRGB();
    m = std::min(m, std::min(l.R, std::min(l.G, l.B)));
  }
  if (m == 1) return;
  for (int i = first; i <= last; ++i) {
    TVeColor& c = FColors[size_t(i)];
    const TVeLinRGBColor l = c.GetLinRGB();
    c.SetLinRGB(1 - (1 - l.R) / (1 - m), 1 - (1 - l.G) / (1 - m), 1 - (1 - l.B) / (1 - m));
  }
  Dirty();
}

void TVePalette256::MergeFarthest(const TVePalette* source, int maxCount) {
  if (!source) return;
  TVePalette256 cand;
  for (int i = 0, n = source->GetCount(); i < n; ++i)
    if (FindExact(source->GetRGBQuad(i)) < 0) cand.AddUniqueLin(source->GetLinRGB(i));
  std::vector<TVeColor> left(cand.FColors.begin(), cand.FColors.end());
  // The palette only grows, so each candidate's largest distance can be kept up to date
  // with the colours added since instead of being recomputed.
  for (TVeColor& c : left) {
    c.Spread = 0;
    for (int j = 0; j < FCount; ++j)
      c.Spread = std::max(c.Spread, DeltaRGB(c, FColors[size_t(j)]));
  }
  while (!left.empty() && FCount < maxCount) {
    size_t best = 0;
    for (size_t i = 1; i < left.size(); ++i)
      if (left[i].Spread > left[best].Spread) best = i;
    const TVeColor chosen = left[best];
    left.erase(left.begin() + ptrdiff_t(best));
    const int k = AddUniqueColor(chosen);
    for (TVeColor& c : left)
      c.Spread = std::max(c.Spread, DeltaRGB(c, FColors[size_t(k)]));
  }
}

std::pair<int, int> TVePalette256::FitPair(const TVePalette256& pair, int maxCount) {
  if (pair.FCount != 2) VeInternalError();
  const TVeColor c0 = pair.FColors[0], c1 = pair.FColors[1];
  if (FCount == 0) {
    Assign(&pair);
    return {0, 1};
  }
  if (FCount > maxCount) {
    const TVeColor e0 = FColors[size_t(FindNearestSysColor(c0.GetSysColor()))];
    const TVeColor e1 = FColors[size_t(FindNearestSysColor(c1.GetSysColor()))];
    ResetRaw();
    AppendRaw() = e0;
    AppendRaw() = e1;
    Changed();
    return {0, 1};
  }
  if (FCount == maxCount)
    return {FindNearestSysColor(c0.GetSysColor()), FindNearestSysColor(c1.GetSysColor())};
  const TVeStdRGBColor s0 = c0.GetStdRGB(), s1 = c1.GetStdRGB();
  const int absent = (FindExact(s0.RGBQuad()) < 0) + (FindExact(s1.RGBQuad()) < 0);
  if (FCount + absent <= maxCount) {
    const int i0 = AddUnique(s0.R, s0.G, s0.B);
    const int i1 = AddUnique(s1.R, s1.G, s1.B);
    return {i0, i1};
  }
  if (absent == 2 && FCount + 1 == maxCount) {
    double d0, d1;
    const int e0 = NearestWithDistance(c0.GetLinRGB(), d0);
    NearestWithDistance(c1.GetLinRGB(), d1);
    if (d1 < d0) {
      const int i0 = AddUnique(s0.R, s0.G, s0.B);
      return {i0, FindNearestLin(c1.GetLinRGB())};
    }
    return {e0, AddUnique(s1.R, s1.G, s1.B)};
  }
  VeInternalError();
}

bool TVePalette256::FitGray(TVePalette256& gray, int maxCount, int& darkest, int& brightest) {
  const bool many = gray.FCount > 2;
  int firstAdded = FCount;
  // The gray colours present here plus this palette's nearest to black and white.
  auto reduceGray = [&] {
    TVePalette256 r;
    for (const TVeColor& g : gray.FColors)
      if (FindExact(g.GetRGBQuad()) >= 0) r.AddUniqueColor(g);
    const int b = FindNearestLin({0, 0, 0});
    const int w = FindNearestLin({1, 1, 1});
    if (b >= 0) r.AddUniqueColor(FColors[size_t(b)]);
    if (w >= 0) r.AddUniqueColor(FColors[size_t(w)]);
    r.SortByLuminance(0);
    gray.CopyColorsFrom(r);
    gray.Changed();
  };
  if (FCount > maxCount) {
    reduceGray();
    CopyColorsFrom(gray);
    Changed();
    firstAdded = 0;
  } else if (FCount == maxCount) {
    reduceGray();
  } else {
    int present = 0;
    for (const TVeColor& g : gray.FColors)
      if (FindExact(g.GetRGBQuad()) >= 0) ++present;
    const int freeSlots = maxCount - FCount + present;
    if (freeSlots <= 0) VeInternalError();
    if (freeSlots == 1) {
      if (gray.FCount > 0) {
        gray.SortByLuminance(0);
        const TVeColor dark = gray.FColors.front(), bright = gray.FColors.back();
        double dd, db;
        NearestWithDistance(dark.GetLinRGB(), dd);
        NearestWithDistance(bright.GetLinRGB(), db);
        const TVeColor& first = db < dd ? dark : bright;
        const TVeColor& second = db < dd ? bright : dark;
        const TVeStdRGBColor s1 = first.GetStdRGB(), s2 = second.GetStdRGB();
        AddUnique(s1.R, s1.G, s1.B);
        if (FCount < maxCount || FindExact(s2.RGBQuad()) >= 0) AddUnique(s2.R, s2.G, s2.B);
      }
      gray.Clear();
    } else {
      TVePalette256 picks;
      if (gray.FCount > 0) {
        for (int j = 0; j < freeSlots; ++j) {
          const int k = gray.FindNearestByLuminance(double(j) / (freeSlots - 1));
          picks.AddUniqueColor(gray.FColors[size_t(k)]);
        }
        for (const TVeColor& g : gray.FColors) {
          if (FindExact(g.GetRGBQuad()) < 0) continue;
          picks.Delete(picks.FindNearestByLuminance(g.GetLinGray()));
          picks.AddUniqueColor(g);
        }
        // Farthest-first completion. Gray colours already picked (also duplicates within
        // the gray palette) are no candidates, so the loop ends even when the gray palette
        // repeats a colour.
        while (picks.FCount < freeSlots && picks.FCount < gray.FCount) {
          int best = -1;
          double bestD = -1;
          for (int i = 0; i < gray.FCount; ++i) {
            const TVeColor& g = gray.FColors[size_t(i)];
            if (picks.FindExact(g.GetRGBQuad()) >= 0) continue;
            double d;
            picks.NearestWithDistance(g.GetLinRGB(), d);
            if (picks.FCount == 0) d = 0;
            if (d > bestD) {
              bestD = d;
              best = i;
            }
          }
          if (best < 0) break;
          picks.AddUniqueColor(gray.FColors[size_t(best)]);
        }
      }
      picks.SortByLuminance(0);
      gray.CopyColorsFrom(picks);
      gray.Changed();
      BeginUpdate();
      for (const TVeColor& p : picks.FColors) {
        const TVeStdRGBColor s = p.GetStdRGB();
        AddUnique(s.R, s.G, s.B);
      }
      EndUpdate();
      if (FCount > maxCount) VeInternalError();
    }
  }
  if (firstAdded < FCount) SortByLuminance(firstAdded);
  darkest = FindNearestByLuminance(0.0);
  brightest = FindNearestByLuminance(1.0);
  if (gray.FCount <= 2 && darkest >= 0) {
    const TVeColor d = FColors[size_t(darkest)], b = FColors[size_t(brightest)];
    gray.ResetRaw();
    gray.AppendRaw() = d;
    gray.AppendRaw() = b;
    gray.Changed();
  }
  return many;
}

void TVePalette256::MakeMixTable(const TVePalette* source, int maxDifferencePercent, int n) {
  const int srcCount = source ? source->GetCount() : 0;
  if (n == 0) n = srcCount;
  if (n < 0) VeInternalError();
  if (n > 27) throw ETooManyColors(); // n * n must fit the capacity
  if (n > 0 && srcCount == 0) VeInternalError();
  std::vector<TVeLinRGBColor> lin(size_t(std::min(n, srcCount)));
  std::vector<double> lum(lin.size());
  for (size_t i = 0; i < lin.size(); ++i) {
    lin[i] = source->GetLinRGB(int(i));
    lum[i] = source->GetLinGray(int(i));
  }
  const TVeLinRGBColor zero = n > 0 ? lin[0] : TVeLinRGBColor{};
  const double maxDiff = maxDifferencePercent / 100.0;
  ResetRaw();
  for (int p = 0; p < n; ++p)
    for (int i = 0; i < n; ++i) {
      TVeColor& e = AppendRaw();
      if (p >= srcCount || i >= srcCount) {
        e.InitLin(TVeLinRGBColor::Mean(zero, zero));
        e.Excluded = true;
      } else if (maxDifferencePercent < 100 &&
                 std::abs(lum[size_t(i)] - lum[size_t(p)]) > maxDiff) {
        e.InitLin(TVeLinRGBColor::Mean(zero, zero));
        e.Excluded = true;
      } else {
        e.InitLin(TVeLinRGBColor::Mean(lin[size_t(i)], lin[size_t(p)]));
        e.Excluded = i < p;
      }
    }
  Changed();
}

// ---- Fixed builders ------------------------------------------------------------------------

void TVePalette256::MakeGray4() {
  ResetRaw();
  for (uint8_t b : {0, 85, 170, 255})
    AppendRaw().InitStdRGB(b, b, b);
}

void TVePalette256::MakeRGB64RedSlowest() {
  static const uint8_t lv[4] = {0, 85, 170, 255};
  ResetRaw();
  for (int r = 0; r < 4; ++r)
    for (int g = 0; g < 4; ++g)
      for (int b = 0; b < 4; ++b)
        AppendRaw().InitStdRGB(lv[r], lv[g], lv[b]);
}

void TVePalette256::MakeRGB64BlueSlowest() {
  ResetRaw();
  for (int b = 0; b < 4; ++b)
    for (int g = 0; g < 4; ++g)
      for (int r = 0; r < 4; ++r)
        AppendRaw().InitLin(Level3ToLinear(r), Level3ToLinear(g), Level3ToLinear(b));
}

void TVePalette256::MakeRGB256() {
  ResetRaw();
  for (int b = 0; b < 4; ++b)
    for (int g = 0; g < 8; ++g)
      for (int r = 0; r < 8; ++r)
        AppendRaw().InitLin(Level7ToLinear(r), Level7ToLinear(g), Level3ToLinear(b));
}

void TVePalette256::MakeBlackWhite() {
  ResetRaw();
  AppendRaw().InitLin(0, 0, 0);
  AppendRaw().InitLin(1, 1, 1);
}

void TVePalette256::MakeNearest8Plus8(const TVePalette* from) {
  if (from == this) VeInternalError();
  ResetRaw();
  if (!from || from->GetCount() == 0) return;
  BeginUpdate(); // builders do not notify
  for (double top : {0.5, 1.0})
    for (int g = 0; g < 2; ++g)
      for (int b = 0; b < 2; ++b)
        for (int r = 0; r < 2; ++r) {
          const int k = from->FindNearestLin({r * top, g * top, b * top});
          const TVeStdRGBColor s = from->GetStdRGB(k);
          AddUnique(s.R, s.G, s.B);
        }
  --FUpdateCount;
}

// order 0: blue slowest, red fastest; 1: red slowest, blue fastest; 2: green slowest, then
// red, blue fastest.
void TVePalette256::AddCube8(uint8_t lo, uint8_t hi, int order) {
  const uint8_t lv[2] = {lo, hi};
  for (int a = 0; a < 2; ++a)
    for (int m = 0; m < 2; ++m)
      for (int z = 0; z < 2; ++z) {
        TVeColor& c = AppendRaw();
        if (order == 0)
          c.InitStdRGB(lv[z], lv[m], lv[a]);
        else if (order == 1)
          c.InitStdRGB(lv[a], lv[m], lv[z]);
        else
          c.InitStdRGB(lv[m], lv[a], lv[z]);
      }
}

void TVePalette256::MakeCube8BlueSlowest() {
  ResetRaw();
  AddCube8(0, 255, 0);
}

void TVePalette256::MakeCube8RedSlowest() {
  ResetRaw();
  AddCube8(0, 255, 1);
}

void TVePalette256::MakeCube8Dim() {
  ResetRaw();
  AddCube8(0, 188, 2);
}

void TVePalette256::MakeCube16() {
  MakeCube16(0, 188, 0, 255);
}

void TVePalette256::MakeCube16(uint8_t a0, uint8_t a1, uint8_t b0, uint8_t b1) {
  ResetRaw();
  AddCube8(a0, a1, 2);
  AddCube8(b0, b1, 2);
}

void TVePalette256::MakeCube64(uint32_t levels) {
  const uint8_t lv[4] = {uint8_t(levels), uint8_t(levels >> 8), uint8_t(levels >> 16),
                         uint8_t(levels >> 24)};
  ResetRaw();
  for (int b = 0; b < 4; ++b)
    for (int g = 0; g < 4; ++g)
      for (int r = 0; r < 4; ++r)
        AppendRaw().InitStdRGB(lv[r], lv[g], lv[b]);
}

// ---- TVePaletteRGB -----------------------------------------------------------------------

namespace {
const std::vector<double> Tabled5(std::initializer_list<int> levels) {
  std::vector<double> v;
  for (int l : levels)
    v.push_back(LevelToLinear(l, 31));
  return v;
}
} // namespace

TVePaletteRGB::TVePaletteRGB(TVePaletteType type, bool gray) {
  switch (type) {
  case ptRGB888:
    InitUniform(8, 8, 8);
    break;
  case ptRGB777:
    InitUniform(7, 7, 7);
    break;
  case ptRGB666:
    InitUniform(6, 6, 6);
    break;
  case ptRGB565:
    InitUniform(5, 6, 5);
    break;
  case ptRGB555:
    InitUniform(5, 5, 5);
    break;
  case ptRGB444:
    InitUniform(4, 4, 4);
    break;
  case ptRGB333:
    InitUniform(3, 3, 3);
    break;
  case ptRGB332:
    InitUniform(3, 3, 2);
    break;
  case ptRGB222:
    InitUniform(2, 2, 2);
    break;
  case ptRGB111:
    InitUniform(1, 1, 1);
    break;
  case ptMSX9938:
    InitUniform(3, 3, 3);
    break;
  case ptMSX9958: {
    const std::vector<double> l = Tabled5({0, 4, 9, 13, 18, 22, 27, 31});
    for (int ch = 0; ch < 3; ++ch)
      InitLevels(ch, l);
    if (gray) BuildGrayFromLevels();
    return;
  }
  default:
    VeInternalError();
  }
  if (gray) BuildGray();
}

TVePaletteRGB::TVePaletteRGB(int bitsR, int bitsG, int bitsB, bool gray) {
  InitUniform(bitsR, bitsG, bitsB);
  if (gray) BuildGray();
}

TVePaletteRGB::TVePaletteRGB(const std::vector<double>& linR, const std::vector<double>& linG,
                             const std::vector<double>& linB, bool gray) {
  InitLevels(0, linR);
  InitLevels(1, linG);
  InitLevels(2, linB);
  if (gray) BuildGray();
}

std::unique_ptr<TVePaletteRGB> TVePaletteRGB::CreateTabled256(bool gray) {
  const std::vector<double> rg = Tabled5({0, 4, 9, 13, 18, 22, 27, 31});
  return std::make_unique<TVePaletteRGB>(rg, rg, Tabled5({0, 11, 21, 31}), gray);
}

TVePaletteRGB::TVePaletteRGB(const TVePaletteRGB& o)
    : TVePalette(), FGray(o.FGray ? o.FGray->Clone256() : nullptr), FGrayIndex(o.FGrayIndex),
      FCh(o.FCh) {}

TVePaletteRGB::~TVePaletteRGB() = default;

std::unique_ptr<TVePalette> TVePaletteRGB::Clone() const {
  return std::make_unique<TVePaletteRGB>(*this);
}

void TVePaletteRGB::InitUniform(int bitsR, int bitsG, int bitsB) {
  const int bits[3] = {bitsR, bitsG, bitsB};
  for (int ch = 0; ch < 3; ++ch) {
    if (bits[ch] < 1 || bits[ch] > 8) VeInternalError();
    const int m = (1 << bits[ch]) - 1;
    std::vector<double> l(size_t(m + 1));
    for (int k = 0; k <= m; ++k)
      l[size_t(k)] = LevelToLinear(k, m);
    InitLevels(ch, l);
  }
}

void TVePaletteRGB::InitLevels(int ch, const std::vector<double>& lin) {
  const int n = int(lin.size());
  int bits = 0;
  while (bits <= 8 && (1 << bits) < n)
    ++bits;
  if (n < 2 || n > 256 || (1 << bits) != n) VeInternalError();
  for (int k = 1; k < n; ++k)
    if (!(lin[size_t(k)] > lin[size_t(k - 1)])) VeInternalError(); // levels must ascend
  TChannel& c = FCh[size_t(ch)];
  c.Bits = bits;
  c.Count = n;
  c.LevelOfByte.fill(-1);
  for (int k = 0; k < n; ++k) {
    c.Lin[size_t(k)] = lin[size_t(k)];
    c.Byte[size_t(k)] = LinearToByte(lin[size_t(k)]);
    if (c.LevelOfByte[c.Byte[size_t(k)]] < 0) c.LevelOfByte[c.Byte[size_t(k)]] = int16_t(k);
  }
}

void TVePaletteRGB::BuildGray() {
  const int bits = std::min(FCh[0].Bits, std::min(FCh[1].Bits, FCh[2].Bits));
  const int n = 1 << bits;
  FGray = std::make_unique<TVePalette256>();
  FGrayIndex.clear();
  for (int k = 0; k < n; ++k) {
    const double v = SRGBToLinear(double(k) / (n - 1));
    const int i = FindNearestLin({v, v, v});
    FGray->AddLin(GetLinRGB(i));
    FGrayIndex.push_back(i);
  }
  FGray->PrepareSearch();
}

void TVePaletteRGB::BuildGrayFromLevels() {
  FGray = std::make_unique<TVePalette256>();
  FGrayIndex.clear();
  for (int k = 0; k < FCh[0].Count; ++k) {
    const double v = FCh[0].Lin[size_t(k)];
    FGray->AddLin({v, v, v});
    FGrayIndex.push_back(IndexOfLevels(k, k, k));
  }
  FGray->PrepareSearch();
}

void TVePaletteRGB::SplitIndex(int index, int& r, int& g, int& b) const {
  if (index < 0 || index >= GetCount()) VeInternalError();
  b = index & (FCh[2].Count - 1);
  g = (index >> FCh[2].Bits) & (FCh[1].Count - 1);
  r = index >> (FCh[1].Bits + FCh[2].Bits);
}

TVeLinRGBColor TVePaletteRGB::GetLinRGB(int index) const {
  int r, g, b;
  SplitIndex(index, r, g, b);
  return {FCh[0].Lin[size_t(r)], FCh[1].Lin[size_t(g)], FCh[2].Lin[size_t(b)]};
}

TVeStdRGBColor TVePaletteRGB::GetStdRGB(int index) const {
  int r, g, b;
  SplitIndex(index, r, g, b);
  return {FCh[0].Byte[size_t(r)], FCh[1].Byte[size_t(g)], FCh[2].Byte[size_t(b)]};
}

namespace {
// The two levels around v: the first interval level[k] <= v <= level[k + 1]; both ends are
// the first (last) level when v lies below (at or above) the range.
inline void Bracket(const TVePaletteRGB::TChannel& c, double v, int& lo, int& hi) {
  const double* l = c.Lin.data();
  const int n = c.Count;
  if (v < l[0]) {
    lo = hi = 0;
  } else if (v >= l[n - 1]) {
    lo = hi = n - 1;
  } else {
    // First level >= v; the interval ends there (v > level 0 here, or v == level 0).
    int a = 0, z = n - 1;
    while (a < z) {
      const int mid = (a + z) >> 1;
      if (l[mid] < v)
        a = mid + 1;
      else
        z = mid;
    }
    lo = a > 0 ? a - 1 : 0;
    hi = lo + 1;
  }
}
} // namespace

int TVePaletteRGB::FindNearestLin(const TVeLinRGBColor& c) const {
  int lv[3][2];
  Bracket(FCh[0], c.R, lv[0][0], lv[0][1]);
  Bracket(FCh[1], c.G, lv[1][0], lv[1][1]);
  Bracket(FCh[2], c.B, lv[2][0], lv[2][1]);
  double best = 0;
  int br = -1, bg = 0, bb = 0;
  for (int ri = 0; ri < 2; ++ri) {
    const double dr = c.R - FCh[0].Lin[size_t(lv[0][ri])];
    for (int gi = 0; gi < 2; ++gi) {
      const double dg = c.G - FCh[1].Lin[size_t(lv[1][gi])];
      for (int bi = 0; bi < 2; ++bi) {
        const double db = c.B - FCh[2].Lin[size_t(lv[2][bi])];
        const double d = VeLumR * dr * dr + VeLumG * dg * dg + VeLumB * db * db;
        if (br < 0 || d < best) {
          best = d;
          br = lv[0][ri];
          bg = lv[1][gi];
          bb = lv[2][bi];
        }
      }
    }
  }
  return IndexOfLevels(br, bg, bb);
}

int TVePaletteRGB::FindNearestGray(const TVeColor& c) const {
  if (!FGray) VeInternalError();
  const int k = FGray->FindNearestGray(c);
  return FGrayIndex[size_t(k)];
}

namespace {

// Palettes up to this many colours keep every colour's perceptual value and scan them all.
constexpr int PerceptualTableMax = 4096;
std::mutex PerceptualTableLock;

} // namespace

void TVePaletteRGB::PrepareSearch(int method) const {
  if (method == VeMethodDeltaRGB || GetCount() > PerceptualTableMax) return;
  std::lock_guard<std::mutex> lock(PerceptualTableLock);
  auto& table = method == VeMethodOklab ? FOklabAll : FLabAll;
  if (table) return;
  auto all = std::make_shared<std::vector<TVePerceptual>>(size_t(GetCount()));
  for (int i = 0; i < GetCount(); ++i)
    (*all)[size_t(i)] = VePerceptualOfLin(method, GetLinRGB(i));
  table = std::move(all);
}

// Bit-depth palettes too large to scan: the levels around the colour, one more on each
// side of the bracketing pair, since the nearest in a perceptual space need not be in the
// bracket of "Delta RGB".
int TVePaletteRGB::NearestPerceptualAround(int method, const TVeLinRGBColor& c) const {
  const TVePerceptual t = VePerceptualOfLin(method, c);
  int lo[3], hi[3];
  const double v[3] = {c.R, c.G, c.B};
  for (int ch = 0; ch < 3; ++ch) {
    Bracket(FCh[size_t(ch)], v[ch], lo[ch], hi[ch]);
    lo[ch] = std::max(lo[ch] - 1, 0);
    hi[ch] = std::min(hi[ch] + 1, FCh[size_t(ch)].Count - 1);
  }
  double best = 0;
  int found = -1;
  for (int r = lo[0]; r <= hi[0]; ++r)
    for (int g = lo[1]; g <= hi[1]; ++g)
      for (int b = lo[2]; b <= hi[2]; ++b) {
        const TVeLinRGBColor l{FCh[0].Lin[size_t(r)], FCh[1].Lin[size_t(g)], FCh[2].Lin[size_t(b)]};
        const double d = VePerceptualDistance(method, t, VePerceptualOfLin(method, l));
        const int index = IndexOfLevels(r, g, b);
        if (found < 0 || d < best || (d == best && index < found)) {
          best = d;
          found = index;
        }
      }
  return found;
}

int TVePaletteRGB::FindNearest(int method, const TVeColor& c) const {
  if (method == VeMethodDeltaRGB) return FindNearestLin(c.GetLinRGB());
  if (!VeValidDistance(method)) VeInternalError();
  if (GetCount() > PerceptualTableMax) return NearestPerceptualAround(method, c.GetLinRGB());
  PrepareSearch(method);
  std::shared_ptr<const std::vector<TVePerceptual>> table;
  {
    std::lock_guard<std::mutex> lock(PerceptualTableLock);
    table = method == VeMethodOklab ? FOklabAll : FLabAll;
  }
  double d;
  return VeNearestPerceptual(method, VePerceptualOf(method, c), table->data(), int(table->size()),
                             d);
}

int TVePaletteRGB::FindExact(uint32_t rgbQuad) const {
  const TVeStdRGBColor s = TVeStdRGBColor::FromRGBQuad(rgbQuad);
  const int r = FCh[0].LevelOfByte[s.R], g = FCh[1].LevelOfByte[s.G], b = FCh[2].LevelOfByte[s.B];
  if (r < 0 || g < 0 || b < 0) return -1;
  return IndexOfLevels(r, g, b);
}

std::array<int, 3> TVePaletteRGB::LevelsOf(uint32_t rgbQuad) const {
  const TVeStdRGBColor s = TVeStdRGBColor::FromRGBQuad(rgbQuad);
  const std::array<int, 3> r = {FCh[0].LevelOfByte[s.R], FCh[1].LevelOfByte[s.G],
                                FCh[2].LevelOfByte[s.B]};
  if (r[0] < 0 || r[1] < 0 || r[2] < 0) VeInternalError();
  return r;
}
