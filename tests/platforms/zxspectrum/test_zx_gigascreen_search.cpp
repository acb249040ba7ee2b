// The gigascreen cell search: the same candidate and cost as trying every candidate.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "VeCellImage.h"
#include "VeDest.h"
#include "VeDestEngineOptions.h"
#include "test_noise.h"
#include "zxspectrum/VeGigascreenSearch.h"
#include "zxspectrum/VePlatformZxSpectrumGigascreen.h"

namespace {

// A cell image that only loads its pixels, for costs and searches on them.
class TLoadedImage : public TVeCellImage {
public:
  using TVeCellImage::TVeCellImage;
  void Load(TVeDestEngineOptions& options) {
    BeginConvert(nullptr, VeCellOptionsOf(options), nullptr);
    LoadWorkingPixels();
  }
  TVeGigascreenSearch::TSetup Setup(int lanes) const {
    TVeGigascreenSearch::TSetup s;
    s.Image = this;
    s.Method = TrialMethod();
    s.Strength = FStrength;
    s.Lanes = lanes;
    return s;
  }
  std::unique_ptr<TVeBitmap> CreateResult() override { return nullptr; }
  TVeCellPaletteList* CreateCellPalettes() override { return nullptr; }
  void WriteCellAttr(TVeCellScreen*, int, TVeCellPalette*, int) override {}
  void WriteResultPixel(TVeBitmap*, int, int, TVeCellPalette*, int) override {}
  void WriteScreenPixel(TVeCellScreen*, int, int, TVeCellPalette*, int) override {}
};

// Noise over a few flat patches: near ties where the noise is, clear winners elsewhere.
TVeBitmap32 Picture(int w, int h) {
  const std::vector<uint8_t> n = Noise(size_t(w * h * 3), 99);
  TVeBitmap32 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = &n[size_t((y * w + x) * 3)];
      if ((x / 6 + y / 5) % 3 == 0)
        b.Pixel(x, y) = VeRGBQuad(uint8_t(40 + x), 200, uint8_t(8 * y));
      else
        b.Pixel(x, y) = VeRGBQuad(p[0], p[1], p[2]);
    }
  return b;
}

std::vector<int> LaneWidths() {
  std::vector<int> widths = {2};
  for (int w = 4; w <= TVeGigascreenSearch::WidestLanes(); w *= 2)
    widths.push_back(w);
  return widths;
}

} // namespace

TEST(ZxGigascreenSearch, ChoosesWhatTryingEveryCandidateChooses) {
  // The full list of usage 0, and a short list of one to four colours (a low flicker limit
  // forbids many mixes) with a repeated candidate, whose copies tie, and a disabled one.
  for (int flicker : {100, 30}) {
    TVeZxMixedPaletteArgs args;
    args.MaxFlickering = flicker;
    TVePalette256 mixed;
    ZxSpectrumMakeMixedPalette(mixed, args);
    TVeCellPaletteList shortList;
    for (int p1 = 0; p1 < 8; p1 += 3)
      for (int i1 = p1; i1 < 16; i1 += 4)
        for (int p2 = 0; p2 < 16; p2 += 5)
          for (int i2 = p2; i2 < 16; i2 += 3) {
            auto c = std::make_unique<TVeZxSpectrumGigascreenPalette>(mixed, p1, i1, p2, i2);
            if (c->Palette->Count() > 0) shortList.Add(std::move(c));
          }
    shortList.Add(std::make_unique<TVeZxSpectrumGigascreenPalette>(mixed, 1, 6, 1, 6));
    shortList.Add(std::make_unique<TVeZxSpectrumGigascreenPalette>(mixed, 1, 6, 1, 6));
    shortList.GetPalette(5)->Enabled = false;
    shortList.PrepareCaches();
    TVeZxSpectrumGigascreenPaletteList fullList(0, false, mixed);
    fullList.PrepareCaches();
    const TVeCellPaletteList* lists[] = {&shortList, &fullList};
    for (const TVeCellPaletteList* list : lists) {
      if (list == &fullList && flicker != 100) continue;
      TVeGigascreenSearch search;
      ASSERT_TRUE(search.Prepare(*list));
      for (int method : {dmNone, dmFloydSteinberg, dmJarvisJudiceNinke})
        for (int cellHeight : {8, 2, 1}) {
          auto o = VeNewOptions<TVeDestEngineOptions>();
          o->SetPalette(&mixed);
          o->SetDitherMethod(method);
          // 21 x 13: narrow last columns and a short last row.
          TLoadedImage img(8, Picture(21, 13), cellHeight);
          img.Load(*o);
          TVeCellHelper* scratch = img.TakeScratch();
          for (int i = 0; i < img.CellsDown(); ++i)
            for (int j = 0; j < img.CellsAcross(); ++j)
              for (bool mirror : {false, true}) {
                TVeCellRect r;
                r.Top = i * cellHeight;
                r.Bottom = std::min(13, r.Top + cellHeight);
                r.Left = mirror && j == img.CellsAcross() - 1 ? 16 : j * 8;
                r.Right = std::min(21, r.Left + 8);
                int best = -1;
                double bestCost = 0;
                for (int k = 0; k < list->Count(); ++k) {
                  if (!list->GetPalette(k)->Enabled) continue;
                  const double c = img.CellCostAt(r, mirror, *scratch, *list->GetPalette(k));
                  if (best < 0 || c < bestCost) {
                    best = k;
                    bestCost = c;
                  }
                }
                for (int lanes : LaneWidths()) {
                  double cost = -1;
                  ASSERT_EQ(search.Choose(img.Setup(lanes), r, mirror, cost), best)
                      << "list of " << list->Count() << ", method " << method << ", height "
                      << cellHeight << ", cell " << i << " " << j << ", lanes " << lanes;
                  ASSERT_EQ(cost, bestCost);
                }
              }
          img.GiveScratch(scratch);
        }
    }
  }
}

TEST(ZxGigascreenSearch, RefusesListsItCannotBoundAndCellsWithoutCandidates) {
  TVeCellPaletteList list;
  auto* five = new TVeCellPalette;
  for (int k = 0; k < 5; ++k)
    five->Palette->AddRGB(uint8_t(50 * k), 0, 0);
  list.Add(five);
  list.PrepareCaches();
  TVeGigascreenSearch search;
  EXPECT_FALSE(search.Prepare(list));

  // Every candidate disabled: no choice, as the other searches say.
  TVeZxMixedPaletteArgs args;
  TVePalette256 mixed;
  ZxSpectrumMakeMixedPalette(mixed, args);
  TVeCellPaletteList off;
  off.Add(std::make_unique<TVeZxSpectrumGigascreenPalette>(mixed, 0, 7, 0, 7));
  off.GetPalette(0)->Enabled = false;
  off.PrepareCaches();
  ASSERT_TRUE(search.Prepare(off));
  auto o = VeNewOptions<TVeDestEngineOptions>();
  o->SetPalette(&mixed);
  TLoadedImage img(8, Picture(8, 8), 8);
  img.Load(*o);
  double cost = 0;
  EXPECT_EQ(search.Choose(img.Setup(2), TVeCellRect{0, 0, 8, 8}, false, cost), -1);
}
