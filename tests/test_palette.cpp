#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>

#include "VePalette.h"
#include "VePaletteList.h"

namespace {
TVePalette256 FromQuads(std::initializer_list<uint32_t> quads) {
  TVePalette256 p;
  for (uint32_t q : quads) {
    const TVeStdRGBColor s = TVeStdRGBColor::FromRGBQuad(q);
    p.AddRGB(s.R, s.G, s.B);
  }
  return p;
}
bool SameQuads(const TVePalette256& p, std::initializer_list<uint32_t> quads) {
  const TVePalette256 q = FromQuads(quads);
  return p.Equals(&q);
}
} // namespace

TEST(VePalette256Add, UniqueCountsUseOfFirstEntry) {
  TVePalette256 p;
  p.AddRGB(1, 2, 3);
  p.AddRGB(1, 2, 3);
  EXPECT_EQ(p.AddUnique(1, 2, 3), 0);
  EXPECT_EQ(p.Color(0).UseCount, 1);
  EXPECT_EQ(p.Color(1).UseCount, 0);
  EXPECT_EQ(p.AddUnique(4, 5, 6), 2);
  EXPECT_EQ(p.GetCount(), 3);
  EXPECT_EQ(p.FindExact(0x040506), 2);
  EXPECT_EQ(p.FindExact(0x040507), -1);
  EXPECT_THROW(p.IndexOf(0x040507), EInternalError);

  // AddUniqueLin keeps the exact linear value in the found entry.
  const TVeLinRGBColor v{ByteToLinear(4) + 1e-9, ByteToLinear(5), ByteToLinear(6)};
  EXPECT_EQ(p.AddUniqueLin(v), 2);
  EXPECT_EQ(p.GetLinRGB(2), v);
}

TEST(VePalette256Add, CapacityIs729AndFullPaletteIsUnchanged) {
  TVePalette256 p;
  for (int i = 0; i < TVePalette256::MaxColors; ++i)
    p.AddRGB(uint8_t(i), uint8_t(i >> 8), 7);
  ASSERT_EQ(p.GetCount(), 729);
  const TVeColor* first = p.GetPColor(0);
  EXPECT_THROW(p.AddRGB(1, 1, 1), ETooManyColors);
  EXPECT_THROW(p.AddUnique(1, 1, 1), ETooManyColors);
  EXPECT_THROW(p.AddLin({0.5, 0.5, 0.5}), ETooManyColors);
  EXPECT_THROW(p.Insert(0, 0x010101), ETooManyColors);
  EXPECT_EQ(p.GetCount(), 729);
  EXPECT_EQ(p.GetPColor(0), first);   // storage never moves
  EXPECT_EQ(p.AddUnique(5, 0, 7), 5); // present colours still resolve
  EXPECT_EQ(p.GetRGBQuad(728), TVeStdRGBColor({uint8_t(728), 2, 7}).RGBQuad());

  // A palette too large to list is refused before anything changes.
  TVePalette256 q = FromQuads({0x112233});
  TVePaletteRGB big(ptRGB444);
  EXPECT_THROW(q.Assign(&big), ETooManyColors);
  EXPECT_EQ(q.GetCount(), 1);

  // A small palette keeps its bound through every way of adding colours, and its storage
  // never moves either.
  TVePalette256 small(2);
  small.AddRGB(1, 2, 3);
  small.AddRGB(4, 5, 6);
  const TVeColor* kept = small.GetPColor(0);
  EXPECT_THROW(small.AddRGB(7, 8, 9), ETooManyColors);
  EXPECT_THROW(small.Insert(0, 0x070809), ETooManyColors);
  const TVePalette256 three = FromQuads({1, 2, 3});
  EXPECT_THROW(small.Assign(&three), ETooManyColors);
  EXPECT_THROW(small.AssignAll(&three), ETooManyColors);
  EXPECT_THROW(small = three, ETooManyColors);
  EXPECT_EQ(small.GetCount(), 2);
  EXPECT_EQ(small.GetPColor(0), kept);
  EXPECT_EQ(small.GetRGBQuad(1), TVeStdRGBColor({4, 5, 6}).RGBQuad());
  // Its copies are ordinary palettes.
  TVePalette256 copy(small);
  copy.AddRGB(7, 8, 9);
  EXPECT_EQ(copy.GetCount(), 3);
}

TEST(VePalette256Add, InsertDeleteAndNotifications) {
  TVePalette256 p;
  int fired = 0;
  p.OnChange = [&] { ++fired; };
  p.Clear();
  EXPECT_EQ(fired, 0); // nothing to clear
  p.AddRGB(1, 1, 1);
  p.AddRGB(3, 3, 3);
  p.Insert(1, 0x020202);
  EXPECT_EQ(fired, 3);
  EXPECT_EQ(p.GetRGBQuad(1), 0x020202u);
  EXPECT_EQ(p.Color(1).UseCount, 0);
  EXPECT_THROW(p.Insert(5, 0), EInternalError);
  p.Delete(0);
  EXPECT_EQ(fired, 3); // no notification
  EXPECT_EQ(p.GetRGBQuad(0), 0x020202u);
  EXPECT_THROW(p.Delete(2), EInternalError);
  EXPECT_THROW(p.Delete(-1), EInternalError);
  EXPECT_THROW(p.GetLinRGB(2), EInternalError);

  p.BeginUpdate();
  p.AddRGB(4, 4, 4);
  p.AddRGB(5, 5, 5);
  p.BeginUpdate();
  p.EndUpdate();
  EXPECT_EQ(fired, 3);
  p.EndUpdate();
  EXPECT_EQ(fired, 4);
}

TEST(VePalette256Compare, AssignEqualsContainsAll) {
  TVePalette256 empty, a = FromQuads({0xFF0000, 0x00FF00});
  a.Name = "a";
  a.Temporary = true;
  EXPECT_FALSE(a.ContainsAll(&empty));
  EXPECT_FALSE(empty.ContainsAll(&empty));
  EXPECT_FALSE(a.ContainsAll(nullptr));
  EXPECT_TRUE(a.ContainsAll(&a));
  EXPECT_TRUE(empty.Equals(nullptr));
  EXPECT_FALSE(a.Equals(nullptr));

  TVePalette256 b;
  b.Assign(&a);
  EXPECT_TRUE(b.Equals(&a));
  EXPECT_FALSE(b.Temporary);
  EXPECT_TRUE(b.Name.empty());
  b.AssignAll(&a);
  EXPECT_TRUE(b.Temporary);
  EXPECT_EQ(b.Name, "a");
  b.Assign(nullptr);
  EXPECT_EQ(b.GetCount(), 0);

  TVePaletteRGB rgb(ptRGB111);
  b.Assign(&rgb);
  EXPECT_EQ(b.GetCount(), 8);
  EXPECT_TRUE(b.Equals(&rgb));
  EXPECT_TRUE(rgb.ContainsAll(&a));
  EXPECT_TRUE(b.ContainsAll(&rgb));
  a.AddRGB(1, 2, 3);
  EXPECT_FALSE(rgb.ContainsAll(&a));

  std::unique_ptr<TVePalette> c = a.Clone();
  EXPECT_TRUE(a.Equals(c.get()));
}

TEST(VePalette256Search, TiesGoToLowestIndex) {
  TVePalette256 p;
  p.AddLin({1, 0, 0});
  p.AddLin({0, 0, 0});
  p.AddLin({0, 0, 0});
  EXPECT_EQ(p.FindNearestLin({0.5, 0, 0}), 0);
  EXPECT_EQ(p.FindNearestLin({0.1, 0, 0}), 1);
  TVeColor mid = TVeColor::FromLin({0.5, 0, 0});
  EXPECT_EQ(p.FindNearest(VeMethodDeltaRGB, mid), 0);
  EXPECT_THROW(p.FindNearest(VeDistanceCount, mid), EInternalError);

  TVePalette256 g;
  g.AddLin({0.25, 0.25, 0.25});
  g.AddLin({0.75, 0.75, 0.75});
  g.AddLin({0.25, 0.25, 0.25});
  const double y = (g.GetLinGray(0) + g.GetLinGray(1)) / 2;
  TVeColor t;
  t.SetLinGray(y);
  EXPECT_EQ(g.FindNearestGray(t),
            DeltaGray(y, g.GetLinGray(0)) <= DeltaGray(y, g.GetLinGray(1)) ? 0 : 1);
  EXPECT_EQ(g.FindNearestByLuminance(0), 0);
  EXPECT_EQ(g.FindNearestByLuminance(1), 1);

  TVePalette256 empty;
  EXPECT_EQ(empty.FindNearestLin({0, 0, 0}), -1);
  EXPECT_EQ(empty.FindNearestByLuminance(0), -1);
}

TEST(VePalette256Search, StaysInStepWithTheEntries) {
  TVePalette256 p = FromQuads({0x000000, 0xFFFFFF});
  p.PrepareSearch();
  EXPECT_TRUE(p.SearchPrepared());
  EXPECT_EQ(p.FindNearestLin({0.9, 0.9, 0.9}), 1);
  p.GetPColor(1)->SetLinRGB(0.1, 0.1, 0.1);
  EXPECT_FALSE(p.SearchPrepared());
  EXPECT_EQ(p.FindNearestLin({0.9, 0.9, 0.9}), 1);
  EXPECT_EQ(p.FindNearestLin({0.06, 0.06, 0.06}), 1);
  p.Delete(1);
  EXPECT_EQ(p.FindNearestLin({0.9, 0.9, 0.9}), 0);
  p.AddRGB(255, 0, 0);
  EXPECT_EQ(p.FindNearestSysColor(0x0000F0), 1);
  p.SortByLuminance();
  EXPECT_EQ(p.FindNearestSysColor(0x0000F0), 1);
  p.Insert(0, 0x0000FF);
  EXPECT_EQ(p.FindNearestSysColor(0x0000F0), 0);

  // Matches a brute-force scan on random colours.
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> u(-0.2, 1.2);
  TVePalette256 q;
  for (int i = 0; i < 100; ++i)
    q.AddLin({u(rng), u(rng), u(rng)});
  for (int t = 0; t < 500; ++t) {
    const TVeLinRGBColor c{u(rng), u(rng), u(rng)};
    int best = 0;
    for (int i = 1; i < q.GetCount(); ++i)
      if (DeltaRGB(c, q.GetLinRGB(i)) < DeltaRGB(c, q.GetLinRGB(best))) best = i;
    ASSERT_EQ(q.FindNearestLin(c), best);
  }
}

TEST(VePalette256Search, OrderedSearchAgreesWithThePlainScanOnTies) {
  // Coarse levels make many equal greens and equal distances; duplicates make exact ties.
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> level(0, 4);
  std::uniform_real_distribution<double> u(-0.1, 1.1);
  for (const int count :
       {TVePalette256::GreenSearchMin - 1, TVePalette256::GreenSearchMin, 64, 256, 729}) {
    TVePalette256 p;
    for (int i = 0; i < count; ++i)
      p.AddLin({level(rng) / 4.0, level(rng) / 4.0, level(rng) / 4.0});
    auto scan = [&](const TVeLinRGBColor& c) {
      int best = 0;
      for (int i = 1; i < p.GetCount(); ++i)
        if (DeltaRGB(c, p.GetLinRGB(i)) < DeltaRGB(c, p.GetLinRGB(best))) best = i;
      return best;
    };
    for (int t = 0; t < 400; ++t) {
      const TVeLinRGBColor c =
          t % 2 ? TVeLinRGBColor{u(rng), u(rng), u(rng)}
                : TVeLinRGBColor{level(rng) / 8.0, level(rng) / 8.0, level(rng) / 8.0};
      ASSERT_EQ(p.FindNearestLin(c), scan(c)) << count << " entries, query " << t;
    }
    // A value that is not a number still gets the first entry, as with the plain scan.
    EXPECT_EQ(p.FindNearestLin({std::nan(""), 0.5, 0.5}), 0);
  }
}

TEST(VePalette256Luminance, RangeSortAndStretch) {
  TVePalette256 p = FromQuads({0x808080, 0x000000, 0xFFFFFF, 0x101010});
  p.GetPColor(1)->Excluded = true;
  TVeLuminanceRange r = p.LuminanceRange();
  EXPECT_EQ(r.Darkest, 3);
  EXPECT_EQ(r.Brightest, 2);
  EXPECT_DOUBLE_EQ(r.Difference, p.GetLinGray(2) - p.GetLinGray(3));
  p.ClearExcluded();
  EXPECT_EQ(p.LuminanceRange().Darkest, 1);
  for (int i = 0; i < 4; ++i)
    p.GetPColor(i)->Excluded = true;
  EXPECT_THROW(p.LuminanceRange(), EInternalError);

  // Stable: equal luminances keep their order; "from" leaves the head alone.
  TVePalette256 s = FromQuads({0xFFFFFF, 0x202020, 0x000000, 0x202020, 0x101010});
  s.GetPColor(1)->UseCount = 11;
  s.GetPColor(3)->UseCount = 33;
  s.SortByLuminance(1);
  EXPECT_EQ(s.GetRGBQuad(0), 0xFFFFFFu);
  EXPECT_EQ(s.GetRGBQuad(1), 0u);
  EXPECT_EQ(s.GetRGBQuad(2), 0x101010u);
  EXPECT_EQ(s.Color(3).UseCount, 11);
  EXPECT_EQ(s.Color(4).UseCount, 33);

  TVePalette256 n;
  n.AddLin({0.5, 0.25, 0});
  n.AddLin({0, 0, 0});
  n.NormalizeToWhite();
  EXPECT_EQ(n.GetLinRGB(0), (TVeLinRGBColor{1, 0.5, 0}));
  TVePalette256 black = FromQuads({0, 0});
  black.NormalizeToWhite(0, 1);
  EXPECT_EQ(black.GetLinRGB(1), (TVeLinRGBColor{0, 0, 0}));
  TVePalette256 white = FromQuads({0xFFFFFF, 0xFFFFFF});
  white.StretchToBlack();
  EXPECT_EQ(white.GetLinRGB(0), (TVeLinRGBColor{1, 1, 1}));
  TVePalette256 st;
  st.AddLin({0.5, 0.75, 1});
  st.StretchToBlack();
  EXPECT_EQ(st.GetLinRGB(0), (TVeLinRGBColor{0, 0.5, 1}));
}

TEST(VePalette256Mix, MixTableExclusions) {
  TVePalette256 src;
  src.MakeCube16();
  TVePalette256 mix;
  mix.MakeMixTable(&src, 100, 0);
  ASSERT_EQ(mix.GetCount(), 256);
  int excluded = 0;
  for (int i = 0; i < 256; ++i)
    excluded += mix.Color(i).Excluded;
  EXPECT_EQ(excluded, 120);
  EXPECT_TRUE(mix.Color(1 * 16 + 2).Excluded == false);
  EXPECT_TRUE(mix.Color(2 * 16 + 1).Excluded);
  EXPECT_EQ(mix.GetLinRGB(3 * 16 + 9), TVeLinRGBColor::Mean(src.GetLinRGB(9), src.GetLinRGB(3)));
  EXPECT_TRUE(TVePaletteList::IsMixTable(mix));

  // Pairs too far apart in luminance become colour 0 and are excluded.
  TVePalette256 bw = FromQuads({0x000000, 0xFFFFFF, 0x202020});
  TVePalette256 m2;
  m2.MakeMixTable(&bw, 50, 0);
  ASSERT_EQ(m2.GetCount(), 9);
  EXPECT_TRUE(m2.Color(1).Excluded); // black/white
  EXPECT_EQ(m2.GetLinRGB(1), (TVeLinRGBColor{0, 0, 0}));
  EXPECT_FALSE(m2.Color(2).Excluded); // black/dark gray
  EXPECT_FALSE(m2.Color(4).Excluded); // white with itself

  // Beyond the source count: colour 0, excluded.
  TVePalette256 m3;
  m3.MakeMixTable(&bw, 100, 4);
  ASSERT_EQ(m3.GetCount(), 16);
  EXPECT_TRUE(m3.Color(3).Excluded);
  EXPECT_TRUE(m3.Color(15).Excluded);
  EXPECT_FALSE(m3.Color(5).Excluded);
  EXPECT_THROW(m3.MakeMixTable(&bw, 100, 28), ETooManyColors);
}

TEST(VePalette256Merge, MergeFarthestTakesLargestSpread) {
  TVePalette256 p = FromQuads({0x000000});
  TVePalette256 src = FromQuads({0x000000, 0x404040, 0xFFFFFF, 0x808080, 0x404040});
  p.MergeFarthest(&src, 3);
  ASSERT_EQ(p.GetCount(), 3);
  EXPECT_EQ(p.GetRGBQuad(1), 0xFFFFFFu);
  // Every candidate now has white at distance; the darkest gray is farthest from it.
  EXPECT_EQ(p.GetRGBQuad(2), 0x404040u);
  p.MergeFarthest(&src, 10);
  EXPECT_EQ(p.GetCount(), 4); // duplicates are offered once

  TVePalette256 e;
  e.MergeFarthest(&src, 1);
  EXPECT_EQ(e.GetRGBQuad(0), 0u); // empty palette: all spreads 0, first wins
}

TEST(VePalette256Fit, FitPair) {
  const TVePalette256 pair = FromQuads({0x101010, 0xF0F0F0});
  TVePalette256 empty;
  EXPECT_EQ(empty.FitPair(pair, 4), std::make_pair(0, 1));
  EXPECT_TRUE(empty.Equals(&pair));

  // Roomy: both added.
  TVePalette256 roomy = FromQuads({0x000000, 0xFF0000});
  EXPECT_EQ(roomy.FitPair(pair, 4), std::make_pair(2, 3));
  EXPECT_EQ(roomy.FitPair(pair, 4), std::make_pair(2, 3)); // now present
  EXPECT_EQ(roomy.GetCount(), 4);

  // Exactly full: mapped to the nearest entries.
  TVePalette256 full = FromQuads({0x000000, 0xFFFFFF, 0xFF0000});
  EXPECT_EQ(full.FitPair(pair, 3), std::make_pair(0, 1));
  EXPECT_EQ(full.GetCount(), 3);

  // One slot: the colour nearer to an entry is mapped, the other added.
  TVePalette256 one = FromQuads({0x000000, 0xFF0000});
  EXPECT_EQ(one.FitPair(pair, 3), std::make_pair(0, 2));
  EXPECT_EQ(one.GetRGBQuad(2), 0xF0F0F0u);
  TVePalette256 one2 = FromQuads({0xFFFFFF, 0xFF0000});
  EXPECT_EQ(one2.FitPair(pair, 3), std::make_pair(2, 0));
  EXPECT_EQ(one2.GetRGBQuad(2), 0x101010u);

  // Over full: replaced by the two nearest entries.
  TVePalette256 over = FromQuads({0xFF0000, 0xFFFFFF, 0x00FF00, 0x000000});
  EXPECT_EQ(over.FitPair(pair, 2), std::make_pair(0, 1));
  EXPECT_TRUE(SameQuads(over, {0x000000, 0xFFFFFF}));

  TVePalette256 three = FromQuads({1, 2, 3});
  EXPECT_THROW(roomy.FitPair(three, 8), EInternalError);
}

TEST(VePalette256Fit, FitGray) {
  int d = -1, b = -1;
  // Roomy: evenly spaced picks of the gray palette are added and sorted.
  TVePalette256 p = FromQuads({0xFF0000});
  TVePalette256 gray;
  for (int v = 0; v <= 255; v += 17)
    gray.AddRGB(uint8_t(v), uint8_t(v), uint8_t(v));
  EXPECT_TRUE(p.FitGray(gray, 5, d, b));
  EXPECT_EQ(p.GetCount(), 5);
  EXPECT_EQ(gray.GetCount(), 4);
  EXPECT_EQ(p.GetRGBQuad(d), 0u);
  EXPECT_EQ(p.GetRGBQuad(b), 0xFFFFFFu);
  for (int i = 2; i < 5; ++i)
    EXPECT_LT(p.GetLinGray(i - 1), p.GetLinGray(i));
  EXPECT_EQ(p.GetRGBQuad(0), 0xFF0000u);

  // Exactly full: the palette stays, the gray palette shrinks to what is present plus the
  // entries nearest to black and white.
  TVePalette256 full = FromQuads({0x000000, 0x888888, 0xFF0000, 0xEEEEEE});
  TVePalette256 g2 = FromQuads({0x000000, 0x444444, 0x888888, 0xFFFFFF});
  EXPECT_TRUE(full.FitGray(g2, 4, d, b));
  EXPECT_EQ(full.GetCount(), 4);
  EXPECT_TRUE(SameQuads(g2, {0x000000, 0x888888, 0xEEEEEE}));
  EXPECT_EQ(d, 0);
  EXPECT_EQ(b, 3);

  // Over full: the palette becomes the reduced gray palette.
  TVePalette256 over = FromQuads({0x000000, 0x888888, 0xFF0000, 0xEEEEEE});
  TVePalette256 g3 = FromQuads({0x000000, 0x444444, 0x888888, 0xFFFFFF});
  over.FitGray(g3, 2, d, b);
  EXPECT_TRUE(SameQuads(over, {0x000000, 0x888888, 0xEEEEEE}));
  EXPECT_EQ(d, 0);
  EXPECT_EQ(b, 2);

  // One free slot: the gray farther from its nearest entry is added.
  TVePalette256 one = FromQuads({0x000000, 0xFF0000});
  TVePalette256 g4 = FromQuads({0x101010, 0x808080, 0xFFFFFF});
  EXPECT_TRUE(one.FitGray(g4, 3, d, b));
  EXPECT_EQ(one.GetCount(), 3);
  EXPECT_EQ(one.GetRGBQuad(2), 0xFFFFFFu);
  EXPECT_EQ(g4.GetCount(), 2); // refilled with darkest and brightest
  EXPECT_EQ(g4.GetRGBQuad(0), 0u);
  EXPECT_EQ(g4.GetRGBQuad(1), 0xFFFFFFu);

  // A gray palette that repeats colours cannot fill every slot; the fit must still end.
  TVePalette256 rep = FromQuads({0xFF0000});
  TVePalette256 g5 = FromQuads({0x000000, 0x000000, 0x000000, 0xFFFFFF});
  EXPECT_TRUE(rep.FitGray(g5, 6, d, b));
  EXPECT_EQ(rep.GetCount(), 3);
  EXPECT_EQ(g5.GetCount(), 2);
}

TEST(VePalette256Builders, FixedLayouts) {
  TVePalette256 p;
  int fired = 0;
  p.OnChange = [&] { ++fired; };
  p.MakeGray4();
  EXPECT_TRUE(SameQuads(p, {0x000000, 0x555555, 0xAAAAAA, 0xFFFFFF}));
  p.MakeRGB64RedSlowest();
  EXPECT_EQ(p.GetCount(), 64);
  EXPECT_EQ(p.GetRGBQuad(1), 0x000055u);
  EXPECT_EQ(p.GetRGBQuad(16), 0x550000u);
  p.MakeRGB64BlueSlowest();
  EXPECT_EQ(p.GetRGBQuad(1), 0x550000u);
  EXPECT_EQ(p.GetRGBQuad(16), 0x000055u);
  EXPECT_EQ(p.GetRGBQuad(63), 0xFFFFFFu);
  p.MakeRGB256();
  EXPECT_EQ(p.GetCount(), 256);
  EXPECT_EQ(p.GetRGBQuad(1), 0x240000u); // 255 / 7 = 36.4
  EXPECT_EQ(p.GetRGBQuad(8), 0x002400u);
  EXPECT_EQ(p.GetRGBQuad(64), 0x000055u);
  p.MakeBlackWhite();
  EXPECT_TRUE(SameQuads(p, {0x000000, 0xFFFFFF}));
  p.MakeCube8BlueSlowest();
  EXPECT_EQ(p.GetRGBQuad(1), 0xFF0000u);
  EXPECT_EQ(p.GetRGBQuad(4), 0x0000FFu);
  p.MakeCube8RedSlowest();
  EXPECT_EQ(p.GetRGBQuad(1), 0x0000FFu);
  EXPECT_EQ(p.GetRGBQuad(4), 0xFF0000u);
  p.MakeCube8Dim();
  EXPECT_EQ(p.GetRGBQuad(1), 0x0000BCu);
  EXPECT_EQ(p.GetRGBQuad(2), 0xBC0000u);
  EXPECT_EQ(p.GetRGBQuad(4), 0x00BC00u);
  p.MakeCube16();
  EXPECT_EQ(p.GetCount(), 16);
  EXPECT_EQ(p.GetRGBQuad(7), 0xBCBCBCu);
  EXPECT_EQ(p.GetRGBQuad(8), 0u);
  EXPECT_EQ(p.GetRGBQuad(9), 0x0000FFu);
  p.MakeCube16(1, 2, 3, 4);
  EXPECT_EQ(p.GetRGBQuad(0), 0x010101u);
  EXPECT_EQ(p.GetRGBQuad(15), 0x040404u);
  p.MakeCube64(0xFFAA5500u);
  EXPECT_EQ(p.GetRGBQuad(1), 0x550000u);
  EXPECT_EQ(p.GetRGBQuad(4), 0x005500u);
  EXPECT_EQ(p.GetRGBQuad(63), 0xFFFFFFu);
  EXPECT_EQ(fired, 0);

  TVePalette256 from;
  from.MakeCube16();
  p.MakeNearest8Plus8(&from);
  EXPECT_EQ(p.GetCount(), 15);           // black is in both halves
  EXPECT_EQ(p.GetRGBQuad(1), 0xBC0000u); // green slowest, then blue, red fastest
  EXPECT_EQ(p.GetRGBQuad(2), 0x0000BCu);
  TVePaletteRGB rgb111(ptRGB111);
  p.MakeNearest8Plus8(&rgb111);
  EXPECT_EQ(p.GetCount(), 8);
  EXPECT_EQ(fired, 0);
}

TEST(VePaletteRGB, CountsLevelsAndExactLevels) {
  TVePaletteRGB p111(ptRGB111);
  ASSERT_EQ(p111.GetCount(), 8);
  for (int i = 0; i < 8; ++i) {
    const TVeStdRGBColor s = p111.GetStdRGB(i);
    for (uint8_t v : {s.R, s.G, s.B})
      EXPECT_TRUE(v == 0 || v == 255);
  }
  EXPECT_EQ(p111.GetRGBQuad(4), 0xFF0000u);
  EXPECT_EQ(p111.GetRGBQuad(1), 0x0000FFu);

  TVePaletteRGB p565(ptRGB565);
  EXPECT_EQ(p565.GetCount(), 65536);
  EXPECT_EQ(TVePaletteRGB(ptRGB888).GetCount(), 1 << 24);
  EXPECT_EQ(TVePaletteRGB(ptRGB332).GetCount(), 256);
  for (int i = 0; i < 65536; i += 97)
    EXPECT_EQ(p565.FindNearestLin(p565.GetLinRGB(i)), i);
  EXPECT_EQ(p565.FindNearestLin({-1, -1, -1}), 0);
  EXPECT_EQ(p565.FindNearestLin({2, 2, 2}), 65535);
  EXPECT_EQ(p565.LevelsOf(p565.GetRGBQuad(0x1234)),
            (std::array<int, 3>{0x1234 >> 11, (0x1234 >> 5) & 63, 0x1234 & 31}));
  EXPECT_EQ(p565.FindExact(p565.GetRGBQuad(777)), 777);
  EXPECT_EQ(p565.FindExact(0x010101), -1);
  EXPECT_THROW(p565.LevelsOf(0x010101), EInternalError);
  EXPECT_THROW(p565.GetLinRGB(65536), EInternalError);

  TVePaletteRGB p888(ptRGB888);
  for (int b = 0; b < 256; ++b)
    EXPECT_EQ(p888.Channel(0).Byte[size_t(b)], b);

  EXPECT_THROW(TVePaletteRGB{ptFixed}, EInternalError);
  EXPECT_THROW(TVePaletteRGB{ptColored}, EInternalError);
}

TEST(VePaletteRGB, EightCombinationSearchMatchesScan) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(-0.1, 1.1);
  for (TVePaletteRGB* p :
       {new TVePaletteRGB(ptRGB222), new TVePaletteRGB(ptRGB332), new TVePaletteRGB(ptMSX9958),
        TVePaletteRGB::CreateTabled256().release()}) {
    for (int t = 0; t < 300; ++t) {
      const TVeLinRGBColor c{u(rng), u(rng), u(rng)};
      int best = 0;
      for (int i = 1; i < p->GetCount(); ++i)
        if (DeltaRGB(c, p->GetLinRGB(i)) < DeltaRGB(c, p->GetLinRGB(best))) best = i;
      ASSERT_EQ(p->FindNearestLin(c), best);
    }
    delete p;
  }
}

TEST(VePaletteRGB, TabledLevelsAndGrayForms) {
  TVePaletteRGB msx(ptMSX9958, true);
  EXPECT_EQ(msx.Channel(0).Lin[1], LevelToLinear(4, 31));
  EXPECT_EQ(msx.Channel(2).Lin[6], LevelToLinear(27, 31));
  ASSERT_TRUE(msx.HasGray());
  EXPECT_EQ(msx.GrayPalette()->GetCount(), 8);
  auto t256 = TVePaletteRGB::CreateTabled256();
  EXPECT_EQ(t256->GetCount(), 256);
  EXPECT_EQ(t256->Channel(2).Lin[1], LevelToLinear(11, 31));
  EXPECT_EQ(t256->Channel(0).Count, 8);

  TVePaletteRGB plain(ptRGB333);
  TVeColor mid = TVeColor::FromStdRGB(120, 130, 125);
  EXPECT_THROW(plain.FindNearestGray(mid), EInternalError);
  EXPECT_THROW(plain.FindNearest(VeDistanceCount, mid), EInternalError);
  EXPECT_EQ(plain.FindNearest(VeMethodDeltaRGB, mid), plain.FindNearestLin(mid.GetLinRGB()));

  // The gray search answers with an index of this palette, which reads back as a gray.
  TVePaletteRGB gray(ptRGB333, true);
  ASSERT_EQ(gray.GrayPalette()->GetCount(), 8);
  const int k = gray.FindNearestGray(mid);
  const TVeStdRGBColor s = gray.GetStdRGB(k);
  EXPECT_TRUE(s.R == s.G && s.G == s.B);
  EXPECT_EQ(gray.FindNearestGray(TVeColor::FromStdRGB(255, 255, 255)), 511);
  EXPECT_EQ(TVePaletteRGB(ptRGB565, true).GrayPalette()->GetCount(), 32);

  std::unique_ptr<TVePalette> c = gray.Clone();
  EXPECT_EQ(c->FindNearestGray(mid), k);
}

// ---- Palette list ---------------------------------------------------------------------------

namespace {
// Test files: one colour per line as six hex digits; "bad" anywhere fails the load.
void TextLoader(TVePalette256& p, const std::string& path) {
  std::ifstream f(path);
  std::string line;
  p.FileName = path;
  p.Name = std::filesystem::path(path).filename().string();
  while (std::getline(f, line)) {
    if (line.find("bad") != std::string::npos) throw EVeError("bad palette");
    if (line.empty()) continue;
    const uint32_t q = uint32_t(std::stoul(line, nullptr, 16));
    const TVeStdRGBColor s = TVeStdRGBColor::FromRGBQuad(q);
    p.AddRGB(s.R, s.G, s.B);
  }
}

struct TLoaderScope {
  TVePaletteList::TLoader Saved = TVePaletteList::Loader();
  TLoaderScope() { TVePaletteList::SetLoader(TextLoader); }
  ~TLoaderScope() { TVePaletteList::SetLoader(Saved); }
};

struct TCountingClient : IVePaletteListClient {
  int Calls = 0;
  void PaletteListChanged(TVePaletteList*) override { ++Calls; }
};

void WriteFile(const std::filesystem::path& path, const TVePalette256& p) {
  std::ofstream f(path);
  for (int i = 0; i < p.GetCount(); ++i) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%06X\n", p.GetRGBQuad(i));
    f << buf;
  }
}
} // namespace

TEST(VePaletteList, CreateSortsSkipsAndSeparatesMixTables) {
  TLoaderScope scope;
  const auto dir = std::filesystem::temp_directory_path() /
                   ("velmora_palette_list_test-" + std::to_string(getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "sub");
  WriteFile(dir / "zeta.pal", FromQuads({0x112233}));
  WriteFile(dir / "Alpha.pal", FromQuads({0x445566, 0x778899}));
  WriteFile(dir / "beta.pal", FromQuads({0xABCDEF}));
  std::ofstream(dir / "broken.pal") << "000000\nbad\n";
  TVePalette256 src, mix;
  src.MakeCube16();
  mix.MakeMixTable(&src, 100, 0);
  WriteFile(dir / "mix.pal", mix);

  TVePaletteList list;
  TCountingClient client;
  list.AddClient(&client);
  EXPECT_EQ(client.Calls, 1);
  list.Create(dir);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Items(0)->Name, "Alpha.pal");
  EXPECT_EQ(list.Items(1)->Name, "beta.pal");
  EXPECT_EQ(list.Items(2)->Name, "zeta.pal");
  ASSERT_EQ(list.GigaScreeanCount(), 1);
  EXPECT_EQ(list.GigaScreeanItem(0)->Name, "mix.pal");
  EXPECT_GT(client.Calls, 1);

  // Loading the same file again replaces the palette in place.
  WriteFile(dir / "beta.pal", FromQuads({0x010203, 0x040506}));
  TVePalette256* again = list.LoadFromFile((dir / "beta.pal").string());
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Items(1), again);
  EXPECT_EQ(again->GetCount(), 2);
  list.LoadFromFile((dir / "mix.pal").string());
  EXPECT_EQ(list.GigaScreeanCount(), 1);

  EXPECT_THROW(list.LoadFromFile((dir / "broken.pal").string()), EVeError);
  EXPECT_EQ(list.Count(), 3);

  // Temporary palettes go again; a removed client hears nothing more.
  auto t = std::make_unique<TVePalette256>(FromQuads({0xFFFFFF}));
  t->Name = "picture";
  t->Temporary = true;
  list.Add(std::move(t));
  EXPECT_EQ(list.Count(), 4);
  list.RemoveTemporary();
  EXPECT_EQ(list.Count(), 3);
  const int calls = client.Calls;
  list.RemoveClient(&client);
  list.Clear();
  EXPECT_EQ(client.Calls, calls);
  std::filesystem::remove_all(dir);
}

TEST(VePaletteList, MixTableRecognition) {
  TVePalette256 src, mix;
  src.MakeCube16();
  mix.MakeMixTable(&src, 100, 0);
  EXPECT_TRUE(TVePaletteList::IsMixTable(mix));
  TVePalette256 broken = mix;
  broken.GetPColor(1 * 16 + 2)->SetRGBQuad(0x123456);
  EXPECT_FALSE(TVePaletteList::IsMixTable(broken));
  TVePalette256 notBlack = mix;
  notBlack.GetPColor(136)->SetRGBQuad(0x010101);
  EXPECT_FALSE(TVePaletteList::IsMixTable(notBlack));
  TVePalette256 small = FromQuads({0, 0});
  EXPECT_FALSE(TVePaletteList::IsMixTable(small));

  TVePaletteList list;
  auto m = std::make_unique<TVePalette256>(mix);
  m->Name = "m";
  list.Add(std::move(m));
  EXPECT_EQ(list.GigaScreeanCount(), 1);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_THROW(list.Items(0), EInternalError);
}

TEST(VePaletteList, LoadWithoutReaderFails) {
  TVePaletteList::TLoader saved = TVePaletteList::Loader();
  TVePaletteList::SetLoader(nullptr);
  TVePaletteList list;
  EXPECT_THROW(list.LoadFromFile("/nonexistent.pal"), EVeError);
  list.Create("/nonexistent-folder"); // nothing to load, no error
  EXPECT_EQ(list.Count(), 0);
  TVePaletteList::SetLoader(saved);
}

namespace {
// Sets an environment variable for one scope and puts the old value back.
struct TEnvScope {
  std::string Name;
  std::optional<std::string> Old;
  TEnvScope(const char* name, const std::optional<std::string>& value) : Name(name) {
    if (const char* v = std::getenv(name)) Old = v;
    value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
  }
  ~TEnvScope() { Old ? ::setenv(Name.c_str(), Old->c_str(), 1) : ::unsetenv(Name.c_str()); }
};
} // namespace

TEST(VePaletteList, SearchFoldersFollowTheDataDirectories) {
  namespace fs = std::filesystem;
  const fs::path beside = TVePaletteList::DefaultFolder();
  const fs::path installed = beside.parent_path().parent_path() / "share/velmora/palettes";
  {
    // Unset or relative variables fall back to the defaults.
    TEnvScope home("HOME", "/home/someone"), dataHome("XDG_DATA_HOME", "relative/path"),
        dirs("XDG_DATA_DIRS", std::nullopt);
    const std::vector<fs::path> want{beside, "/home/someone/.local/share/velmora/palettes",
                                     "/usr/local/share/velmora/palettes",
                                     "/usr/share/velmora/palettes", installed.lexically_normal()};
    EXPECT_EQ(TVePaletteList::SearchFolders(), want);
  }
  {
    TEnvScope dataHome("XDG_DATA_HOME", "/data/me"), dirs("XDG_DATA_DIRS", "/a:relative::/b/");
    const std::vector<fs::path> want{beside, "/data/me/velmora/palettes", "/a/velmora/palettes",
                                     "/b/velmora/palettes", installed.lexically_normal()};
    EXPECT_EQ(TVePaletteList::SearchFolders(), want);
  }
}

TEST(VePaletteList, UserPalettesHideTheSystemsOfTheSameName) {
  namespace fs = std::filesystem;
  TLoaderScope scope;
  const fs::path root =
      fs::temp_directory_path() / ("velmora_palette_folders-" + std::to_string(getpid()));
  fs::remove_all(root);
  fs::create_directories(root / "home/velmora/palettes");
  fs::create_directories(root / "sys/velmora/palettes");
  WriteFile(root / "home/velmora/palettes/shared.pal", FromQuads({0x111111}));
  WriteFile(root / "sys/velmora/palettes/shared.pal", FromQuads({0x222222, 0x333333}));
  WriteFile(root / "sys/velmora/palettes/system.pal", FromQuads({0x444444}));

  TEnvScope dataHome("XDG_DATA_HOME", (root / "home").string()),
      dirs("XDG_DATA_DIRS", (root / "missing").string() + ":" + (root / "sys").string());
  TVePaletteList list;
  list.Create(TVePaletteList::SearchFolders());
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Items(0)->Name, "shared.pal");
  EXPECT_EQ(list.Items(0)->GetCount(), 1); // the user's copy
  EXPECT_EQ(list.Items(1)->Name, "system.pal");
  fs::remove_all(root);
}
