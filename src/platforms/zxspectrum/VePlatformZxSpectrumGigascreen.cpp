#include "VePlatformZxSpectrumGigascreen.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "VeDestEngineOptions.h"
#include "VePalette.h"

// ---- Mixed palette ------------------------------------------------------------------------

namespace {
// One channel of the "Standard" mix: the level the hardware shows for bits x of a, y of b.
int MixLevel(const TVeZxSpectrumLevels& lv, bool x, bool y, bool brightA, bool brightB) {
  if (!x && !y) return lv.Black;
  if (x != y) return (x ? brightA : brightB) ? lv.BrightBlack : lv.DarkBlack;
  if (brightA && brightB) return lv.Bright;
  if (!brightA && !brightB) return lv.Dark;
  return lv.DarkBright;
}

bool GrayNumber(int c) {
  return c == 0 || c == 7 || c == 8 || c == 15;
}
} // namespace

void ZxSpectrumMakeMixedPalette(TVePalette256& mixed, const TVeZxMixedPaletteArgs& args) {
  TVePalette256 pure;
  ZxSpectrumMakePalette(pure, args.PaletteType);
  const TVeZxSpectrumLevels& lv = ZxSpectrumLevels(args.PaletteType);
  const double maxFlicker = args.MaxFlickering / 100.0;
  mixed.BeginUpdate();
  mixed.Clear();
  for (int a = 0; a < 16; ++a)
    for (int b = 0; b < 16; ++b) {
      if (args.Calculation == 0) {
        int level[3];
        // The colour bit of each output channel R, G, B (a colour number is blue 0, red 1,
        // green 2).
        const int bits[3] = {1, 2, 0};
        for (int ch = 0; ch < 3; ++ch)
          level[ch] = MixLevel(lv, a >> bits[ch] & 1, b >> bits[ch] & 1, a > 7, b > 7);
        const uint32_t q = ZxSpectrumOutputRGB(lv, level[0], level[1], level[2]);
        mixed.AddRGB(uint8_t(q >> 16), uint8_t(q >> 8), uint8_t(q));
      } else {
        const TVeLinRGBColor x = pure.GetLinRGB(a), y = pure.GetLinRGB(b);
        mixed.AddLin({(x.R + y.R) / 2, (x.G + y.G) / 2, (x.B + y.B) / 2});
      }
      const double la = pure.GetLinGray(a), lb = pure.GetLinGray(b);
      bool hidden = std::fabs(lb - la) > maxFlicker;
      if ((args.ColorUsage == 1 || args.ColorUsage == 2) && (a > 7 || b > 7)) hidden = true;
      if (args.ColorUsage == 3 && (a < 8 || b < 8)) hidden = true;
      if (args.NoGrays && a != 7 && b != 7) {
        const TVeStdRGBColor s = mixed.Color(16 * a + b).GetStdRGB();
        if (s.R == s.G && s.G == s.B && s.R > 0 && s.R < 255) hidden = true;
      }
      if (args.Display && b < a) hidden = true;
      if (args.Gray && (!GrayNumber(a) || !GrayNumber(b))) hidden = true;
      if (a > 7 && b <= 7) hidden = true; // frame 1 bright with frame 2 dark never occurs
      if (args.SafeMode && a <= 7 && b >= 8) hidden = true;
      if (hidden) mixed.GetPColor(16 * a + b)->Excluded = true;
    }
  mixed.EndUpdate();
}

// ---- Screens ------------------------------------------------------------------------------

TVeZxSpectrumGigascreenScreen::TVeZxSpectrumGigascreenScreen(uint8_t* data)
    : TVeZxSpectrumGigascreenScreen(data, 0, ZxScreenBytes, ZxPixelBytes,
                                    ZxScreenBytes + ZxPixelBytes, 8) {}

TVeZxSpectrumGigascreenScreen::TVeZxSpectrumGigascreenScreen(uint8_t* data, int pixels1,
                                                             int pixels2, int attrs1, int attrs2,
                                                             int cellHeight)
    : TVeCellGigaScreen(ZxScreenWidth, data, ZxScreenHeight), FPixels{pixels1, pixels2},
      FAttrs{attrs1, attrs2}, FCellHeight(cellHeight) {}

int TVeZxSpectrumGigascreenScreen::Pixel(int base, int x, int y) const {
  x = StoredX(x);
  return (Data()[base + ZxScreenOffset(y, x >> 3)] >> (7 - (x & 7))) & 1;
}

void TVeZxSpectrumGigascreenScreen::PutPixel(int base, int x, int y, int value) {
  x = StoredX(x);
  uint8_t& b = Data()[base + ZxScreenOffset(y, x >> 3)];
  const uint8_t bit = uint8_t(0x80 >> (x & 7));
  b = value ? uint8_t(b | bit) : uint8_t(b & ~bit);
}

int TVeZxSpectrumGigascreenScreen::GetPixel(int x, int y) const {
  return Pixel(FPixels[0], x, y);
}
void TVeZxSpectrumGigascreenScreen::SetPixel(int x, int y, int value) {
  PutPixel(FPixels[0], x, y, value);
}
int TVeZxSpectrumGigascreenScreen::GetPixel2(int x, int y) const {
  return Pixel(FPixels[1], x, y);
}
void TVeZxSpectrumGigascreenScreen::SetPixel2(int x, int y, int value) {
  PutPixel(FPixels[1], x, y, value);
}

// One attribute per cell of the screen's cell height, 32 to a row.
int TVeZxSpectrumGigascreenScreen::GetAttr(int cellX, int cellY) const {
  if (Reversed) cellX = 31 - cellX;
  return Data()[FAttrs[0] + 32 * cellY + cellX];
}
void TVeZxSpectrumGigascreenScreen::SetAttr(int cellX, int cellY, int attr) {
  if (Reversed) cellX = 31 - cellX;
  Data()[FAttrs[0] + 32 * cellY + cellX] = uint8_t(attr);
}
int TVeZxSpectrumGigascreenScreen::GetAttr2(int cellX, int cellY) const {
  if (Reversed) cellX = 31 - cellX;
  return Data()[FAttrs[1] + 32 * cellY + cellX];
}
void TVeZxSpectrumGigascreenScreen::SetAttr2(int cellX, int cellY, int attr) {
  if (Reversed) cellX = 31 - cellX;
  Data()[FAttrs[1] + 32 * cellY + cellX] = uint8_t(attr);
}

TVeZxSpectrumMultiGigascreenScreen::TVeZxSpectrumMultiGigascreenScreen(uint8_t* data,
                                                                       int cellHeight,
                                                                       int borderColor)
    : TVeZxSpectrumGigascreenScreen(data, 256, 256 + ZxPixelBytes, 256 + 2 * ZxPixelBytes,
                                    256 + 2 * ZxPixelBytes + 32 * (192 / cellHeight), cellHeight) {
  std::fill(data, data + 256, uint8_t(0));
  data[0] = 'M';
  data[1] = 'G';
  data[2] = 'H';
  data[3] = 1;
  data[4] = uint8_t(cellHeight);
  data[5] = data[6] = uint8_t(borderColor);
  data[255] = 255;
}

// ---- Cell candidates ----------------------------------------------------------------------

TVeZxSpectrumGigascreenPalette::TVeZxSpectrumGigascreenPalette(const TVePalette256& mixed,
                                                               int paper1, int ink1, int paper2,
                                                               int ink2)
    : TVeCellPalette(4), Paper1(paper1), Ink1(ink1), Paper2(paper2), Ink2(ink2) {
  Palette->BeginUpdate();
  for (int combination = 0; combination < 4; ++combination) {
    const int entry = Entry(combination);
    if (mixed.Color(entry).Excluded) continue;
    Combination[Palette->Count()] = combination;
    Palette->AddLin(mixed.GetLinRGB(entry));
  }
  Palette->EndUpdate();
  for (int i = 0; i < Palette->Count(); ++i)
    Sorted.push_back(Palette->GetRGBQuad(i));
  std::sort(Sorted.begin(), Sorted.end());
  // Per channel, the spread of the linear values over the colours.
  for (int ch = 0; ch < 3; ++ch) {
    double lo = 0, hi = 0;
    for (int i = 0; i < Palette->Count(); ++i) {
      const TVeLinRGBColor v = Palette->GetLinRGB(i);
      const double x = ch == 0 ? v.R : (ch == 1 ? v.G : v.B);
      if (i == 0 || x < lo) lo = x;
      if (i == 0 || x > hi) hi = x;
    }
    Range[ch] = hi - lo;
  }
}

int TVeZxSpectrumGigascreenPalette::Entry(int combination) const {
  const int f1 = combination & 2 ? Ink1 : Paper1;
  const int f2 = combination & 1 ? Ink2 : Paper2;
  return 16 * f1 + f2;
}

TVeZxSpectrumGigascreenPaletteList::TVeZxSpectrumGigascreenPaletteList(uint8_t colorUsage,
                                                                       bool safeMode,
                                                                       const TVePalette256& mixed) {
  std::vector<std::pair<int, int>> blocks; // first colour of frame 1, of frame 2
  if (colorUsage != 3) blocks.push_back({0, 0});
  if (colorUsage == 0) blocks.push_back({0, 8});
  if (colorUsage == 0 || colorUsage == 3) blocks.push_back({8, 8});
  std::vector<std::unique_ptr<TVeZxSpectrumGigascreenPalette>> items;
  std::set<std::vector<uint32_t>> seen; // the sorted colours also tell their number
  auto offer = [&](int p1, int i1, int p2, int i2) {
    auto c = std::make_unique<TVeZxSpectrumGigascreenPalette>(mixed, p1, i1, p2, i2);
    if (c->Palette->Count() == 0 || !seen.insert(c->Sorted).second) return;
    items.push_back(std::move(c));
  };
  for (auto [s1, s2] : blocks) {
    if (safeMode) {
      for (int p = s1; p <= s1 + 7; ++p)
        for (int q = s1 + 7; q >= p; --q)
          offer(p, q, p, q);
    } else {
      for (int p1 = s1; p1 <= s1 + 7; ++p1)
        for (int i1 = p1; i1 <= s1 + 7; ++i1)
          for (int p2 = s2 + 7; p2 >= s2; --p2)
            for (int i2 = s2 + 7; i2 >= p2; --i2)
              offer(p1, i1, p2, i2);
    }
  }
  std::stable_sort(items.begin(), items.end(), [](const auto& a, const auto& b) {
    return a->Sorted.size() > b->Sorted.size();
  });
  // A candidate whose colours a richer earlier one holds too is never better. The richer
  // ones are those before the first of its own size.
  std::vector<bool> keep(items.size(), true);
  std::vector<size_t> richer(items.size(), 0);
  for (size_t j = 1; j < items.size(); ++j)
    richer[j] = items[j]->Sorted.size() == items[j - 1]->Sorted.size() ? richer[j - 1] : j;
  for (size_t j = items.size(); j-- > 0;)
    for (size_t i = 0; i < richer[j]; ++i)
      if (std::includes(items[i]->Sorted.begin(), items[i]->Sorted.end(), items[j]->Sorted.begin(),
                        items[j]->Sorted.end())) {
        keep[j] = false;
        break;
      }
  std::set<uint32_t> colors;
  for (size_t i = 0; i < items.size(); ++i)
    if (keep[i])
      for (uint32_t rgb : items[i]->Sorted)
        if (colors.insert(rgb).second) {
          const TVeStdRGBColor s = TVeStdRGBColor::FromRGBQuad(rgb);
          Union.AddRGB(s.R, s.G, s.B);
        }
  Union.SortByLuminance();
  for (size_t i = 0; i < items.size(); ++i) {
    if (!keep[i]) continue;
    TVeZxSpectrumGigascreenPalette& c = *items[i];
    for (int k = 0; k < c.Palette->Count(); ++k)
      c.UnionIndex[k] = Union.FindExact(c.Palette->GetRGBQuad(k));
    Add(std::move(items[i]));
  }
}

// ---- Cell image ---------------------------------------------------------------------------

std::unique_ptr<TVeBitmap> TVeZxSpectrumGigascreenImage::Convert(const TVeCancelFlag* cancel,
                                                                 TVeDestEngineOptions& options,
                                                                 TVeCellScreen* screen,
                                                                 TVeDestProgress* progress) {
  FColorUsage = options.ColorUsage();
  FMaxFlicker = options.MaxFlickering() / 100.0;
  FSafeMode = options.SafeMode();
  const TVePalette256& mixed = options.Palette();
  FPure.Clear();
  for (int c = 0; c < 16; ++c)
    FPure.AddLin(mixed.GetLinRGB(17 * c));
  FMix7 = mixed.GetRGBQuad(7);
  FMix15 = mixed.GetRGBQuad(15);
  // Every candidate's colours are entries of the mixed palette: the bounded search finds the
  // same choice.
  FPairBounds = true;
  return TVeCellImage::Convert(cancel, VeCellOptionsOf(options), screen, progress);
}

void TVeZxSpectrumGigascreenImage::Prepare() {
  // Dark-only usages cannot go brighter than dark white.
  if (FColorUsage == 1 || FColorUsage == 2) LimitLuminance(FPalette->Color(119).GetLinGray());
}

TVeCellPaletteList* TVeZxSpectrumGigascreenImage::CreateCellPalettes() {
  FList = new TVeZxSpectrumGigascreenPaletteList(FColorUsage, FSafeMode, *FPalette);
  return FList;
}

void TVeZxSpectrumGigascreenImage::BeginSearch() {
  // Gray trials follow another rule; those keep the bounded pair search.
  FOwnSearch = FCellPalettes && !FGray && FCellHeight <= 64 && FSearch.Prepare(*FCellPalettes);
  FPairBounds = !FOwnSearch;
  FBounded = FPairBounds && FDistance == VeMethodDeltaRGB;
}

TVeGigascreenSearch::TSetup TVeZxSpectrumGigascreenImage::SearchSetup() const {
  TVeGigascreenSearch::TSetup setup;
  setup.Image = this;
  setup.Method = TrialMethod();
  setup.Strength = FStrength;
  setup.Lanes = FWideVectors ? TVeGigascreenSearch::WidestLanes() : 2;
  return setup;
}

std::unique_ptr<TVeBitmap> TVeZxSpectrumGigascreenImage::RunCells(TVeCellScreen* screen,
                                                                  bool pairLists) {
  BeginSearch();
  return TVeCellImage::RunCells(screen, pairLists);
}

int TVeZxSpectrumGigascreenImage::FindOptimalColors(const TVeCellPaletteList& list,
                                                    const TVeCellRect& rect, double& cost) {
  if (!FOwnSearch || &list != FCellPalettes)
    return TVeCellImage::FindOptimalColors(list, rect, cost);
  return FSearch.Choose(SearchSetup(), rect, FMirror, cost);
}

void TVeZxSpectrumGigascreenImage::ChooseCells(const TVeCellPaletteList& list, bool pairs,
                                               TVeCellHelper& scratch, int first, int last,
                                               int* out) const {
  if (!FOwnSearch || &list != FCellPalettes) {
    TVeCellImage::ChooseCells(list, pairs, scratch, first, last, out);
    return;
  }
  const TVeGigascreenSearch::TSetup setup = SearchSetup();
  for (int c = first; c <= last; ++c) {
    CheckCancel();
    const int i = c / FCellsAcross, j = c % FCellsAcross;
    const bool mirror = FSerpentine && (i & 1);
    double cost = 0;
    out[c] = FSearch.Choose(setup, CellRectAt(i, j, mirror), mirror, cost);
  }
}

std::unique_ptr<TVeBitmap> TVeZxSpectrumGigascreenImage::CreateResult() {
  auto result = std::make_unique<TVeBitmap8>(FWidth, &FList->Union, FHeight);
  FFrame1 = result->AddFrame(&FPure);
  FFrame2 = result->AddFrame(&FPure);
  return result;
}

int TVeZxSpectrumGigascreenImage::PureNumber(uint32_t rgb) const {
  return FPure.FindExact(rgb);
}

void TVeZxSpectrumGigascreenImage::WriteAttrs(TVeCellGigaScreen* screen, int cellX, int cellY,
                                              int paper1, int ink1, int paper2, int ink2) const {
  auto attr = [this](int paper, int ink) {
    int a = ((paper & 7) << 3) | (ink & 7);
    if (paper > 7 || ink > 7 || FColorUsage == 2) a |= ZxAttrBright;
    return a;
  };
  screen->SetAttr(cellX, cellY, attr(paper1, ink1));
  screen->SetAttr2(cellX, cellY, attr(paper2, ink2));
}

void TVeZxSpectrumGigascreenImage::DitherCell(TVeBitmap* result, TVeCellScreen* cellScreen,
                                              TVeCellPalette* pal, const TVeCellRect& rect,
                                              int cellY, int cellX) {
  auto* screen = dynamic_cast<TVeCellGigaScreen*>(cellScreen);
  if (!screen) VeInternalError();
  auto& c = *static_cast<TVeZxSpectrumGigascreenPalette*>(pal);
  FSet1.clear();
  FSet2.clear();
  FMixed.clear();
  FCellEntries.assign(size_t(rect.Width() * rect.Height()), 0);
  auto note = [](auto& set, auto v) {
    if (std::find(set.begin(), set.end(), v) == set.end()) set.push_back(v);
  };
  WriteAttrs(screen, cellX, cellY, c.Paper1, c.Ink1, c.Paper2, c.Ink2);
  const double* cl = c.CacheLin();
  const int n = c.CacheCount();
  for (int y = rect.Top; y < rect.Bottom; ++y)
    for (int x = rect.Left; x < rect.Right; ++x) {
      CheckCancel();
      double* p = PixelLin(x, y);
      // Nearest by the "Delta RGB" distance, also in gray mode.
      int k = 0;
      double best = 0;
      for (int i = 0; i < n; ++i) {
        const double dr = p[0] - cl[3 * i], dg = p[1] - cl[3 * i + 1], db = p[2] - cl[3 * i + 2];
        const double d = VeLumR * dr * dr + VeLumG * dg * dg + VeLumB * db * db;
        if (i == 0 || d < best) {
          best = d;
          k = i;
        }
      }
      const int combination = c.Combination[k];
      const int f1 = combination >> 1 & 1, f2 = combination & 1;
      screen->SetPixel(x, y, f1);
      screen->SetPixel2(x, y, f2);
      note(FSet1, f1 ? c.Ink1 : c.Paper1);
      note(FSet2, f2 ? c.Ink2 : c.Paper2);
      const int entry = c.Entry(combination);
      note(FMixed, FPalette->GetRGBQuad(entry));
      FCellEntries[size_t((y - rect.Top) * rect.Width() + (x - rect.Left))] = entry;
      result->SetPixel(x, y, c.UnionIndex[k]);
      const double* col = cl + 3 * k;
      const double e[3] = {(p[0] - col[0]) * FStrength, (p[1] - col[1]) * FStrength,
                           (p[2] - col[2]) * FStrength};
      p[0] = col[0];
      p[1] = col[1];
      p[2] = col[2];
      DiffuseCellError(rect, x, y, e);
    }
  FinishCell(screen, rect, cellX, cellY);
}

void TVeZxSpectrumGigascreenImage::SwapFrames(TVeCellGigaScreen* screen, const TVeCellRect& rect,
                                              int cellX, int cellY) {
  const int a1 = screen->GetAttr(cellX, cellY), a2 = screen->GetAttr2(cellX, cellY);
  screen->SetAttr(cellX, cellY, a2);
  screen->SetAttr2(cellX, cellY, a1);
  for (int y = rect.Top; y < rect.Bottom; ++y)
    for (int x = rect.Left; x < rect.Right; ++x) {
      const int b1 = screen->GetPixel(x, y);
      screen->SetPixel(x, y, screen->GetPixel2(x, y));
      screen->SetPixel2(x, y, b1);
    }
}

void TVeZxSpectrumGigascreenImage::FinishCell(TVeCellGigaScreen* screen, const TVeCellRect& rect,
                                              int cellX, int cellY) {
  if (Reencode(screen, rect, cellX, cellY)) {
    // Different frames: the brighter one alternates from cell to cell like a chessboard.
    const int a1 = screen->GetAttr(cellX, cellY), a2 = screen->GetAttr2(cellX, cellY);
    double s1 = 0, s2 = 0;
    for (int y = rect.Top; y < rect.Bottom; ++y)
      for (int x = rect.Left; x < rect.Right; ++x) {
        s1 += FPure.GetLinGray(screen->GetPixel(x, y) ? ZxAttrInk(uint8_t(a1))
                                                      : ZxAttrPaper(uint8_t(a1)));
        s2 += FPure.GetLinGray(screen->GetPixel2(x, y) ? ZxAttrInk(uint8_t(a2))
                                                       : ZxAttrPaper(uint8_t(a2)));
      }
    if (std::fabs(s1 - s2) > 0.00001 && ((s1 > s2) != (((cellX + cellY) & 1) != 0)) != FMirror)
      SwapFrames(screen, rect, cellX, cellY);
  }
  // The frames at their physical places.
  const int a1 = screen->GetAttr(cellX, cellY), a2 = screen->GetAttr2(cellX, cellY);
  for (int y = rect.Top; y < rect.Bottom; ++y)
    for (int x = rect.Left; x < rect.Right; ++x) {
      const int px = FMirror ? FWidth - 1 - x : x;
      FFrame1->SetPixel(px, y,
                        screen->GetPixel(x, y) ? ZxAttrInk(uint8_t(a1)) : ZxAttrPaper(uint8_t(a1)));
      FFrame2->SetPixel(
          px, y, screen->GetPixel2(x, y) ? ZxAttrInk(uint8_t(a2)) : ZxAttrPaper(uint8_t(a2)));
    }
}

bool TVeZxSpectrumGigascreenImage::Reencode(TVeCellGigaScreen* screen, const TVeCellRect& rect,
                                            int cellX, int cellY) {
  const TVePalette256& mixed = *FPalette;
  std::vector<int> set1 = FSet1, set2 = FSet2;
  auto sameClass = [](int a, int b) { return (a <= 7) == (b <= 7); };
  // Black is 0 against a dark colour and 8 against a bright one.
  auto normalise = [](int c, int against) {
    if (c == 8 && against <= 7) return 0;
    if (c == 0 && against > 7) return 8;
    return c;
  };
  if (set1.size() == 2 && set2.size() == 1) std::swap(set1, set2);
  int a = -1, b = -1;
  const bool brightOnly = FColorUsage == 3;
  // A cell of one mixed colour is matched by that colour, whichever pair made it: blue with
  // yellow becomes black with dark white, the same grey without alternating colours.
  if (!brightOnly && FMixed.size() == 1 && FMixed[0] == FMix7 && !mixed.Color(7).Excluded) {
    a = 0, b = 7;
  } else if (FMixed.size() == 1 && FMixed[0] == FMix15) {
    if (!brightOnly && FPure.GetRGBQuad(7) == FMix15) {
      a = 0, b = 7;
    } else if (!mixed.Color(8 * 16 + 15).Excluded) {
      a = 8, b = 15;
    } else {
      const int c2 = set2.empty() ? -1 : set2[0];
      const int c1 = set1.empty() ? -1 : normalise(set1[0], c2);
      if (c1 >= 0 && c2 >= 0 && c1 != c2) a = c1, b = c2;
    }
  } else if (set1.size() == 1 && set2.size() == 1) {
    const int c2 = set2[0], c1 = normalise(set1[0], c2);
    if (c1 != c2 && sameClass(c1, c2)) a = c1, b = c2;
  } else if (set1.size() == 1 && set2.size() == 2) {
    int x = std::min(set2[0], set2[1]), y = std::max(set2[0], set2[1]);
    x = normalise(x, y);
    const int c1 = normalise(set1[0], x);
    if (c1 == x || c1 == y) a = x, b = y;
  } else if (set1.size() == 2 && set2.size() == 2) {
    auto ordered = [&](const std::vector<int>& s) {
      int lo = std::min(s[0], s[1]), hi = std::max(s[0], s[1]);
      return std::pair<int, int>(normalise(lo, hi), hi);
    };
    const auto f1 = ordered(set1), f2 = ordered(set2);
    if (f1 == f2 && sameClass(f1.first, f1.second)) a = f1.first, b = f1.second;
  }
  if (a < 0) return true;
  const int paper = std::min(a, b), ink = std::max(a, b);
  const TVeZxSpectrumGigascreenPalette spare(mixed, paper, ink, paper, ink);
  WriteAttrs(screen, cellX, cellY, paper, ink, paper, ink);
  for (int y = rect.Top; y < rect.Bottom; ++y)
    for (int x = rect.Left; x < rect.Right; ++x) {
      const int entry = FCellEntries[size_t((y - rect.Top) * rect.Width() + (x - rect.Left))];
      const uint32_t rgb = mixed.GetRGBQuad(entry);
      int combination = -1;
      for (int k = 0; k < spare.Palette->Count(); ++k)
        if (spare.Palette->GetRGBQuad(k) == rgb) {
          combination = spare.Combination[k];
          break;
        }
      int f1, f2;
      if (combination == 0) {
        f1 = f2 = 0;
      } else if (combination == 3) {
        f1 = f2 = 1;
      } else if (combination > 0) {
        // The mix of paper and ink: a pixel chessboard between the frames.
        const bool first = (((x + y) & 1) != 0) == FMirror;
        f1 = first ? 1 : 0;
        f2 = first ? 0 : 1;
      } else {
        continue;
      }
      screen->SetPixel(x, y, f1);
      screen->SetPixel2(x, y, f2);
    }
  return false;
}

// ---- MultiGiga 8x1 ------------------------------------------------------------------------

TVeZxSpectrumMultiGigascreen1Screen::TVeZxSpectrumMultiGigascreen1Screen(uint8_t* data,
                                                                         int borderColor)
    : TVeZxSpectrumMultiGigascreenScreen(data, 1, borderColor) {}

int TVeZxSpectrumMultiGigascreen1Screen::AttrOffset(int frame, int cellX, int cellY) const {
  if (Reversed) cellX = 31 - cellX;
  if (cellX >= 8 && cellX < 24) return (frame ? 15616 : 12544) + 16 * cellY + (cellX - 8);
  return (frame ? 19072 : 18688) + 16 * cellY + (cellX < 8 ? cellX : cellX - 16);
}

int TVeZxSpectrumMultiGigascreen1Screen::GetAttr(int cellX, int cellY) const {
  return Data()[AttrOffset(0, cellX, cellY)];
}
void TVeZxSpectrumMultiGigascreen1Screen::SetAttr(int cellX, int cellY, int attr) {
  Data()[AttrOffset(0, cellX, cellY)] = uint8_t(attr);
}
int TVeZxSpectrumMultiGigascreen1Screen::GetAttr2(int cellX, int cellY) const {
  return Data()[AttrOffset(1, cellX, cellY)];
}
void TVeZxSpectrumMultiGigascreen1Screen::SetAttr2(int cellX, int cellY, int attr) {
  Data()[AttrOffset(1, cellX, cellY)] = uint8_t(attr);
}

std::unique_ptr<TVeBitmap> TVeZxSpectrumMultiGigascreen1Image::RunCells(TVeCellScreen* screen,
                                                                        bool) {
  if (FCellsAcross != 32 || FCellWidth != 8 || FCellHeight != 8) VeInternalError();
  BeginSearch();
  std::unique_ptr<TVeBitmap> result = CreateResult();
  const bool limitInside = FLimitInside, limitBoundary = FLimitBoundary;
  struct TReset {
    TVeZxSpectrumMultiGigascreen1Image* Image;
    TVeBitmap* Result;
    TVeCellScreen* Screen;
    bool Inside, Boundary;
    ~TReset() {
      Result->Reversed = false;
      if (Screen) Screen->Reversed = false;
      Image->FRanges->Reversed = false;
      Image->FCarry->Reversed = false;
      Image->FMirror = false;
      Image->FLimitInside = Inside;
      Image->FLimitBoundary = Boundary;
    }
  } reset{this, result.get(), screen, limitInside, limitBoundary};
  // Per band: 8 side cells left, 8 lines of 16 middle cells, 8 side cells right.
  const int total = FCellsDown * (16 + 8 * 16);
  int done = 0;
  auto cell = [&](int j) {
    CheckCancel();
    FCurCellX = j;
    const TVeCellRect rect = CellRect(j);
    TVeCellPalette* pal = PrepareAndChoose(rect);
    DitherCell(result.get(), screen, pal, rect, FCurCellY, j);
    ++done;
    if (FProgress) ReportProgress(FProgress, total, done);
  };
  auto side = [&](int band, int first) {
    FLimitInside = FLimitBoundary = true;
    FCurCellY = band;
    SetRowSpan(band);
    for (int j = first; j < first + 8; ++j)
      cell(j);
  };
  FMirror = false;
  for (int band = 0; band < FCellsDown; ++band) {
    result->Reversed = FMirror;
    if (screen) screen->Reversed = FMirror;
    FRanges->Reversed = FMirror;
    FCarry->Reversed = FMirror;
    side(band, 0);
    FLimitInside = FLimitBoundary = false;
    for (int line = 0; line < 8; ++line) {
      // The middle cells are one pixel line high: error to the next line is carried.
      FCurCellY = 8 * band + line;
      FRowTop = FCurCellY;
      FRowBottom = FRowTop + 1;
      for (int j = 8; j < 24; ++j)
        cell(j);
    }
    side(band, 24);
    if (FSerpentine) FMirror = !FMirror;
  }
  return result;
}

// ---- Interlaced v2 ------------------------------------------------------------------------

TVeCellPaletteList* TVeZxSpectrumGigaInterlacedImage::CreateCellPalettes() {
  // "Chessboard" offers the cells whose fields share their attributes.
  FList = new TVeZxSpectrumGigascreenPaletteList(FColorUsage, Style == 1, *FPalette);
  return FList;
}

TVeZxSpectrumGigaInterlacedImage::TProfile
TVeZxSpectrumGigaInterlacedImage::Profile(const TVeCellGigaScreen* screen, int left,
                                          int top) const {
  TProfile p{};
  const int a[2] = {screen->GetAttr((left) / 8, top / 8), screen->GetAttr2(left / 8, top / 8)};
  auto lum = [&](int field, int x, int y) {
    const bool set = field == 0 ? screen->GetPixel(x, y) : screen->GetPixel2(x, y);
    const uint8_t attr = uint8_t(a[field]);
    return FPure.GetLinGray(set ? ZxAttrInk(attr) : ZxAttrPaper(attr));
  };
  for (int f = 0; f < 2; ++f)
    for (int k = 0; k < 8; ++k) {
      for (int x = 0; x < 8; ++x)
        p.R[f][k] += lum(f, left + x, top + k);
      p.E[f][k] = lum(f, left, top + k);
      p.F[f][k] = lum(f, left + 7, top + k);
    }
  for (int x = 0; x < 8; ++x) {
    p.T[x] = lum(0, left + x, top);
    p.B[x] = lum(1, left + x, top + 7);
  }
  return p;
}

bool TVeZxSpectrumGigaInterlacedImage::ChooseSwap(const TVeCellGigaScreen* screen,
                                                  const TVeCellRect& rect, int cellX,
                                                  int cellY) const {
  constexpr double Tie = 0.00001;
  auto sq = [](double v) { return v * v; };
  const TProfile c = Profile(screen, rect.Left, rect.Top);
  if (cellY > 0) {
    // Against the cell above: its last lines meet this cell's first ones.
    const TProfile u = Profile(screen, rect.Left, rect.Top - 8);
    const double keep = std::fabs(u.R[0][7] - c.R[0][0]) + std::fabs(u.R[1][7] - c.R[1][0]);
    const double swap = std::fabs(u.R[0][7] - c.R[1][0]) + std::fabs(u.R[1][7] - c.R[0][0]);
    if (std::fabs(keep - swap) >= Tie) return swap < keep;
    double same = 0, cross = 0;
    for (int x = 0; x < 8; ++x)
      same += sq(c.T[x] + u.B[x]);
    for (int n = 0; n < 4; ++n)
      cross += sq(c.T[2 * n + 1] + u.B[2 * n]) + sq(c.T[2 * n] + u.B[2 * n + 1]);
    if (std::fabs(same - cross) >= Tie) return cross < same;
  }
  if (cellX == 0) return false;
  // Against the cell before it in the row.
  const TProfile w = Profile(screen, rect.Left - 8, rect.Top);
  auto sums = [&](const double(&mine)[2][8], const double(&theirs)[2][8], double& same,
                  double& cross) {
    same = cross = 0;
    for (int k = 0; k < 8; ++k) {
      same += sq(mine[0][k] + theirs[0][k]) + sq(mine[1][k] + theirs[1][k]);
      cross += sq(mine[0][k] + theirs[1][k]) + sq(mine[1][k] + theirs[0][k]);
    }
  };
  double same, cross;
  sums(c.R, w.R, same, cross);
  if (std::fabs(same - cross) >= Tie) return cross < same;
  sums(c.E, w.F, same, cross);
  if (std::fabs(same - cross) >= Tie) return cross < same;
  return true;
}

void TVeZxSpectrumGigaInterlacedImage::FinishCell(TVeCellGigaScreen* screen,
                                                  const TVeCellRect& rect, int cellX, int cellY) {
  if (Style != 0) Reencode(screen, rect, cellX, cellY);
  if (Style == 1) return;
  if (ChooseSwap(screen, rect, cellX, cellY)) SwapFrames(screen, rect, cellX, cellY);
}

std::unique_ptr<TVeBitmap> ZxSpectrumInterlacedFields(const TVeCellGigaScreen& screen,
                                                      const TVePalette256& pure) {
  auto result = std::make_unique<TVeBitmap4>(2 * ZxScreenWidth, &pure, 2 * ZxScreenHeight);
  for (int y = 0; y < ZxScreenHeight; ++y)
    for (int x = 0; x < ZxScreenWidth; ++x) {
      const uint8_t a1 = uint8_t(screen.GetAttr(x / 8, y / 8));
      const uint8_t a2 = uint8_t(screen.GetAttr2(x / 8, y / 8));
      const int c1 = screen.GetPixel(x, y) ? ZxAttrInk(a1) : ZxAttrPaper(a1);
      const int c2 = screen.GetPixel2(x, y) ? ZxAttrInk(a2) : ZxAttrPaper(a2);
      for (int dx = 0; dx < 2; ++dx) {
        result->SetPixel(2 * x + dx, 2 * y, c1);
        result->SetPixel(2 * x + dx, 2 * y + 1, c2);
      }
    }
  return result;
}
