// Cell-constrained conversion: scan order, candidate choice, cost and error routing.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <functional>

#include "VeCellImage.h"
#include "VeDest.h"
#include "VeDestEngineOptions.h"
#include "VeThreadJob.h"

namespace {

using TMakeList = std::function<TVeCellPaletteList*(const TVePalette256&)>;

// A cell image that records what the conversion does.
class TTestCellImage : public TVeCellImage {
public:
  TTestCellImage(const TVeBitmap32& source, TMakeList make, int cw = 8, int ch = 8)
      : TVeCellImage(cw, source, ch), FMake(std::move(make)) {}

  struct TCell {
    TVeCellRect Rect;
    bool Mirror;
    int Chosen;
    std::vector<double> Prepared; // linear values after the incoming error, scan order
  };
  std::vector<TCell> Cells;
  std::vector<int> PhysicalX; // physical column of every written pixel, in order
  std::vector<int> Indices;   // every written index, in order

  // Chooses through the bounded pair search.
  void UsePairBounds() { FPairBounds = true; }

  // Loads a picture the way a conversion does, for direct cost measurements.
  void Load(TVeDestEngineOptions& options) {
    BeginConvert(nullptr, VeCellOptionsOf(options), nullptr);
    LoadWorkingPixels();
  }

  TVeCellPaletteList* CreateCellPalettes() override { return FMake(*FPalette); }
  std::unique_ptr<TVeBitmap> CreateResult() override {
    return std::make_unique<TVeBitmap8>(FWidth, FPalette.get(), FHeight);
  }
  void DitherCell(TVeBitmap* result, TVeCellScreen* screen, TVeCellPalette* pal,
                  const TVeCellRect& rect, int cellY, int cellX) override {
    TCell c{rect, Mirror(), -1, {}};
    for (int i = 0; i < CurrentList()->Count(); ++i)
      if (CurrentList()->GetPalette(i) == pal) c.Chosen = i;
    for (int y = rect.Top; y < rect.Bottom; ++y)
      for (int x = rect.Left; x < rect.Right; ++x)
        c.Prepared.insert(c.Prepared.end(), PixelLin(x, y), PixelLin(x, y) + 3);
    Cells.push_back(std::move(c));
    TVeCellImage::DitherCell(result, screen, pal, rect, cellY, cellX);
  }
  void WriteCellAttr(TVeCellScreen*, int, TVeCellPalette*, int) override {}
  void WriteResultPixel(TVeBitmap* result, int x, int k, TVeCellPalette*, int y) override {
    result->SetPixel(x, y, k);
    PhysicalX.push_back(result->Reversed ? FWidth - 1 - x : x);
    Indices.push_back(k);
  }
  void WriteScreenPixel(TVeCellScreen*, int, int, TVeCellPalette*, int) override {}

private:
  TMakeList FMake;
};

// A candidate of arbitrary colours given as bytes.
TVeCellPalette* MakeCandidate(std::initializer_list<uint32_t> quads) {
  auto* p = new TVeCellPalette;
  for (uint32_t q : quads)
    p->Palette->AddRGB(uint8_t(q >> 16), uint8_t(q >> 8), uint8_t(q));
  const TVeLinRGBColor a = p->Palette->GetLinRGB(0), b = p->Palette->GetLinRGB(1);
  p->Range[0] = std::abs(a.R - b.R);
  p->Range[1] = std::abs(a.G - b.G);
  p->Range[2] = std::abs(a.B - b.B);
  return p;
}

std::unique_ptr<TVeDestEngineOptions> MakeOptions(int method = dmFloydSteinberg) {
  auto o = VeNewOptions<TVeDestEngineOptions>();
  TVePalette256 pal;
  pal.AddRGB(0, 0, 0);
  pal.AddRGB(255, 255, 255);
  o->SetPalette(&pal);
  o->SetDitherMethod(method);
  return o;
}

uint32_t Gray(uint8_t v) {
  return VeRGBQuad(v, v, v);
}

// A picture with detail in every cell, so that candidates really compete.
TVeBitmap32 Pattern(int w, int h) {
  TVeBitmap32 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b.Pixel(x, y) =
          VeRGBQuad(uint8_t(x * 255 / (w - 1 ? w - 1 : 1)), uint8_t((x * 7 + y * 13) & 255),
                    uint8_t(y * 255 / (h - 1 ? h - 1 : 1)));
  return b;
}

// Black and white only: the black/white pair shows it exactly.
TVeBitmap32 BlackWhite(int w, int h) {
  TVeBitmap32 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b.Pixel(x, y) = ((x * 3 + y * 5) % 7 < 3) ? Gray(255) : Gray(0);
  return b;
}

TVeCellPaletteList* EightColourPairs(const TVePalette256&) {
  auto* l = new TVeCellPaletteList;
  const uint32_t c[] = {0x000000, 0x0000FF, 0xFF0000, 0xFF00FF,
                        0x00FF00, 0x00FFFF, 0xFFFF00, 0xFFFFFF};
  for (int p = 0; p < 8; ++p)
    for (int q = p; q < 8; ++q)
      l->Add(MakeCandidate({c[p], c[q]}));
  return l;
}

struct TProcessorGuard {
  explicit TProcessorGuard(int n) { SetProcessorCount(n); }
  ~TProcessorGuard() { SetProcessorCount(0); }
};

} // namespace

TEST(CellImage, MirroredRowsStartWithTheNarrowColumn) {
  TTestCellImage img(Pattern(20, 16), EightColourPairs);
  auto o = MakeOptions();
  o->SetSerpentine(true);
  img.Convert(nullptr, VeCellOptionsOf(*o), nullptr, nullptr);
  ASSERT_EQ(img.Cells.size(), 6u);
  // Row 0 runs left to right: 8, 8, then the 4-wide column.
  EXPECT_EQ(img.Cells[0].Rect.Width(), 8);
  EXPECT_EQ(img.Cells[2].Rect.Width(), 4);
  EXPECT_FALSE(img.Cells[0].Mirror);
  // Row 1 is mirrored and starts at the physical right edge with the narrow column.
  EXPECT_TRUE(img.Cells[3].Mirror);
  EXPECT_EQ(img.Cells[3].Rect.Width(), 4);
  EXPECT_EQ(img.Cells[4].Rect.Width(), 8);
  EXPECT_EQ(img.Cells[5].Rect.Width(), 8);
  // Pixels of row 8 come from the right: first written physical column is 19.
  const size_t firstOfRow1 = 20 * 8;
  EXPECT_EQ(img.PhysicalX[firstOfRow1], 19);
  EXPECT_EQ(img.PhysicalX[firstOfRow1 + 3], 16);
  EXPECT_EQ(img.PhysicalX[firstOfRow1 + 4], 19); // next pixel row of the same cell
  // Every pixel is written exactly once.
  std::vector<int> seen(20 * 16, 0);
  size_t i = 0;
  for (const auto& c : img.Cells)
    for (int y = c.Rect.Top; y < c.Rect.Bottom; ++y)
      for (int x = c.Rect.Left; x < c.Rect.Right; ++x)
        ++seen[size_t(y) * 20 + img.PhysicalX[i++]];
  for (int v : seen)
    EXPECT_EQ(v, 1);
}

TEST(CellImage, EqualCostsGoToTheEarlierCandidateWithAnyWorkerCount) {
  // Ten candidates; only 3 and 8 fit the picture, and they are identical.
  auto make = [](const TVePalette256&) {
    auto* l = new TVeCellPaletteList;
    for (int i = 0; i < 10; ++i)
      l->Add(i == 3 || i == 8 ? MakeCandidate({Gray(0), Gray(255)})
                              : MakeCandidate({Gray(90), Gray(100)}));
    return l;
  };
  for (int workers : {1, 2, 3, 4, 7}) {
    TProcessorGuard guard(workers);
    TTestCellImage img(BlackWhite(16, 16), make);
    auto o = MakeOptions();
    img.Convert(nullptr, VeCellOptionsOf(*o), nullptr, nullptr);
    for (const auto& c : img.Cells)
      EXPECT_EQ(c.Chosen, 3) << workers << " workers";
  }
}

TEST(CellImage, DisabledCandidateIsNeverChosen) {
  auto make = [](const TVePalette256&) {
    auto* l = new TVeCellPaletteList;
    l->Add(MakeCandidate({Gray(100), Gray(110)}));
    l->Add(MakeCandidate({Gray(0), Gray(255)})); // best, but forbidden
    l->GetPalette(1)->Enabled = false;
    l->Add(MakeCandidate({Gray(0), Gray(254)}));
    l->Add(MakeCandidate({Gray(0), Gray(255)})); // the same colours, allowed
    return l;
  };
  for (int workers : {1, 4}) {
    TProcessorGuard guard(workers);
    TTestCellImage img(BlackWhite(16, 8), make);
    auto o = MakeOptions();
    img.Convert(nullptr, VeCellOptionsOf(*o), nullptr, nullptr);
    for (const auto& c : img.Cells)
      EXPECT_EQ(c.Chosen, 3) << workers << " workers";
  }
  // A list without any allowed candidate is an error, not a crash.
  auto none = [](const TVePalette256&) {
    auto* l = new TVeCellPaletteList;
    l->Add(MakeCandidate({Gray(0), Gray(255)}));
    l->GetPalette(0)->Enabled = false;
    return l;
  };
  for (int workers : {1, 4})
    for (int side : {8, 96}) { // many cells: workers still choosing when the scan fails
      TProcessorGuard guard(workers);
      TTestCellImage img(Pattern(side, side), none);
      auto o = MakeOptions();
      EXPECT_THROW(img.Convert(nullptr, VeCellOptionsOf(*o), nullptr, nullptr), EVeError);
    }
}

TEST(CellImage, MethodNoneSpillsNothingAndCarriesNothing) {
  TTestCellImage img(Pattern(24, 16), EightColourPairs);
  auto o = MakeOptions(dmNone);
  o->SetLimitErrorAtBoundary(false);
  o->SetLimitErrorInsideBlock(false);
  img.Load(*o);
  // The cost is the plain in-cell distance of nearest-colour mapping.
  std::unique_ptr<TVeCellPaletteList> list(EightColourPairs(TVePalette256()));
  list->PrepareCaches();
  TVeCellHelper scratch(&img);
  const TVeCellRect rect{8, 8, 16, 16};
  for (int i = 0; i < list->Count(); ++i) {
    const TVeCellPalette& p = *list->GetPalette(i);
    double expected = 0;
    for (int y = 8; y < 16; ++y)
      for (int x = 8; x < 16; ++x) {
        const TVePixel& c = *img.GetPixels(x, y);
        const TVeColor& best = p.Palette->Color(p.Palette->FindNearestLin(c.GetLinRGB()));
        expected += DeltaRGB(c.GetLinRGB(), best.GetLinRGB());
      }
    EXPECT_NEAR(img.CellCost(rect, scratch, p), expected, 1e-12);
  }
  TTestCellImage conv(Pattern(24, 16), EightColourPairs);
  conv.Convert(nullptr, VeCellOptionsOf(*o), nullptr, nullptr);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 24; ++x)
      for (int c = 0; c < 3; ++c)
        EXPECT_EQ(conv.Carry().GetDiffusion(x, y)[c], 0.0);
}

// Trial dithering of a cell, written the plain way: a zeroed (w + 2) x (h + 2) scratch,
// Floyd-Steinberg from left to right in every row, then in-cell distance plus spill.
double ReferenceCost(const std::vector<TVeLinRGBColor>& cell, int w, int h,
                     const TVePalette256& pal, double strength) {
  std::vector<TVeLinRGBColor> s(size_t(w + 2) * (h + 2));
  auto at = [&](int x, int y) -> TVeLinRGBColor& { return s[size_t(y) * (w + 2) + x]; };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      at(x, y) = cell[size_t(y) * w + x];
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      TVeLinRGBColor v = at(x, y);
      TVeLinRGBColor c = pal.GetLinRGB(pal.FindNearestLin(v));
      TVeLinRGBColor e{(v.R - c.R) * strength, (v.G - c.G) * strength, (v.B - c.B) * strength};
      at(x, y) = c;
      const int taps[4][3] = {{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}};
      for (auto& t : taps) {
        const int tx = x + t[0], ty = y + t[1];
        if (tx < 0 || tx >= w + 2) continue;
        at(tx, ty).R += e.R * t[2] / 16;
        at(tx, ty).G += e.G * t[2] / 16;
        at(tx, ty).B += e.B * t[2] / 16;
      }
    }
  double in = 0, spill = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      in += DeltaRGB(cell[size_t(y) * w + x], at(x, y));
  const TVeLinRGBColor zero{};
  for (int y = 0; y < h + 2; ++y)
    for (int x = 0; x < w + 2; ++x)
      if (x >= w || y >= h) spill += DeltaRGB(at(x, y), zero);
  return in + spill;
}

TEST(CellImage, TrialCostRunsLeftToRightAndCountsTheSpill) {
  TTestCellImage img(Pattern(21, 13), EightColourPairs);
  auto o = MakeOptions(dmFloydSteinberg);
  o->SetSerpentine(true); // never applies to trials
  img.Load(*o);
  std::unique_ptr<TVeCellPaletteList> list(EightColourPairs(TVePalette256()));
  list->PrepareCaches();
  TVeCellHelper scratch(&img);
  // A full cell and the narrow corner cell (5 x 5).
  for (TVeCellRect r : {TVeCellRect{8, 0, 16, 8}, TVeCellRect{16, 8, 21, 13}}) {
    std::vector<TVeLinRGBColor> cell;
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x)
        cell.push_back(img.GetPixels(x, y)->GetLinRGB());
    for (int i = 0; i < list->Count(); i += 5) {
      const TVeCellPalette& p = *list->GetPalette(i);
      EXPECT_NEAR(img.CellCost(r, scratch, p),
                  ReferenceCost(cell, r.Width(), r.Height(), *p.Palette, 0.9), 1e-12)
          << "candidate " << i;
    }
  }
}

TEST(CellImage, LimitInsideAloneKeepsErrorOutOfTheCellButLetsItCross) {
  // Linear 0.45 everywhere: alone, every pixel maps to black.
  const uint8_t b = LinearToByte(0.45);
  TVeBitmap32 pic(16, 8, Gray(b));
  auto make = [](const TVePalette256&) {
    auto* l = new TVeCellPaletteList;
    l->Add(MakeCandidate({Gray(0), Gray(255)}));
    return l;
  };
  TTestCellImage img(pic, make);
  auto o = MakeOptions();
  o->SetLimitErrorInsideBlock(true);
  o->SetLimitErrorAtBoundary(false);
  o->SetSerpentine(false);
  img.Convert(nullptr, VeCellOptionsOf(*o), nullptr, nullptr);
  ASSERT_EQ(img.Cells.size(), 2u);
  // Cell 0: no error moved inside, so every pixel is black.
  for (int i = 0; i < 64; ++i)
    EXPECT_EQ(img.Indices[size_t(i)], 0) << i;
  // Cell 1 got the error of cell 0's last column through the carry.
  const double carried = img.Carry().GetDiffusion(8, 0)[0];
  EXPECT_GT(carried, 0.1);
  EXPECT_DOUBLE_EQ(img.Cells[1].Prepared[0], SRGBToLinear(b / 255.0) + carried);
  int white = 0;
  for (int i = 64; i < 128; ++i)
    white += img.Indices[size_t(i)];
  EXPECT_GT(white, 0);
}

TEST(CellImage, LimitBoundaryChoosesWithoutIncomingErrorAndScalesItByTheRange) {
  // Cell 0 is white and can only be shown dark: it pushes much error into black cell 1.
  TVeBitmap32 pic(24, 8, Gray(0));
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      pic.Pixel(x, y) = Gray(255);
  auto make = [](const TVePalette256&) {
    auto* l = new TVeCellPaletteList;
    l->Add(MakeCandidate({Gray(0), Gray(0)})); // one colour: range 0
    l->Add(MakeCandidate({Gray(0), Gray(60)}));
    return l;
  };
  for (bool boundary : {true, false}) {
    TTestCellImage img(pic, make);
    auto o = MakeOptions();
    o->SetLimitErrorAtBoundary(boundary);
    o->SetLimitErrorInsideBlock(false);
    o->SetSerpentine(false);
    img.Convert(nullptr, VeCellOptionsOf(*o), nullptr, nullptr);
    ASSERT_EQ(img.Cells.size(), 3u);
    const auto& c1 = img.Cells[1];
    const double carry = img.Carry().GetDiffusion(8, 0)[1];
    ASSERT_GT(carry, 0.1);
    if (boundary) {
      // Chosen on the black pixels alone (all candidates tie, the first wins); the single
      // colour has range 0 and takes none of the incoming error.
      EXPECT_EQ(c1.Chosen, 0);
      for (double v : c1.Prepared)
        EXPECT_EQ(v, 0.0);
      // So nothing reaches cell 2 either.
      for (int y = 0; y < 8; ++y)
        for (int x = 16; x < 24; ++x)
          EXPECT_EQ(img.Carry().GetDiffusion(x, y)[0], 0.0);
    } else {
      // With the error added first, the lighter pair serves the cell better.
      EXPECT_EQ(c1.Chosen, 1);
      EXPECT_EQ(c1.Prepared[1], carry);
    }
  }
  // A pair's range scales the incoming error: prepared = value + carry * range.
  auto half = [](const TVePalette256&) {
    auto* l = new TVeCellPaletteList;
    l->Add(MakeCandidate({Gray(0), Gray(188)}));
    return l;
  };
  TTestCellImage img(pic, half);
  auto o = MakeOptions();
  o->SetLimitErrorInsideBlock(false);
  o->SetSerpentine(false);
  img.Convert(nullptr, VeCellOptionsOf(*o), nullptr, nullptr);
  const double range = SRGBToLinear(188 / 255.0);
  const double* carry = img.Carry().GetDiffusion(8, 1);
  EXPECT_GT(carry[0], 0.01);
  EXPECT_DOUBLE_EQ(img.Cells[1].Prepared[8 * 3], carry[0] * range);
}

TEST(CellImage, ResultsDoNotDependOnWorkersOrScanDirection) {
  // Width 61: a narrow 5-pixel column; serpentine mirrors every second row.
  for (int method :
       {dmFloydSteinberg, dmJarvisJudiceNinke, dmAtkinson, dmOrderedBayer, dmBlueNoise}) {
    std::vector<uint8_t> first;
    for (int workers : {1, 2, 5}) {
      TProcessorGuard guard(workers);
      TTestCellImage img(Pattern(61, 37), EightColourPairs);
      auto o = MakeOptions(method);
      o->SetSerpentine(true);
      auto r = img.Convert(nullptr, VeCellOptionsOf(*o), nullptr, nullptr);
      EXPECT_FALSE(r->Reversed);
      std::vector<uint8_t> px;
      for (int y = 0; y < 37; ++y)
        for (int x = 0; x < 61; ++x)
          px.push_back(uint8_t(r->GetPixel(x, y)));
      if (first.empty())
        first = px;
      else
        EXPECT_EQ(px, first) << "method " << method << ", " << workers << " workers";
    }
  }
}

TEST(CellImage, OrderedMixesTheCellPairByPositionAlone) {
  // Flat blue at a quarter of full, with black/blue among the pairs: each cell shows the
  // pair, a quarter of the Bayer thresholds lit, the same tile in every cell whether the
  // row runs mirrored or not; nothing is carried.
  const int w = 29, h = 24;
  TVeBitmap32 flat(w, h);
  const uint8_t quarter = LinearToByte(0.25);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      flat.Pixel(x, y) = VeRGBQuad(0, 0, quarter);
  for (bool serpentine : {false, true}) {
    TTestCellImage img(flat, EightColourPairs);
    auto o = MakeOptions(dmOrderedBayer);
    o->SetErrorDiffusion(100);
    o->SetSerpentine(serpentine);
    auto r = img.Convert(nullptr, VeCellOptionsOf(*o), nullptr, nullptr);
    int lit = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const int k = r->GetPixel(x, y);
        if (x >= 8) {
          ASSERT_EQ(k, r->GetPixel(x - 8, y)) << x << "," << y;
        }
        if (y >= 8) {
          ASSERT_EQ(k, r->GetPixel(x, y - 8)) << x << "," << y;
        }
        if (x < 8 && y < 8) lit += k;
      }
    for (const auto& c : img.Cells)
      EXPECT_EQ(c.Chosen, 1) << "black and blue"; // pairs run (0,0), (0,1), ...
    EXPECT_EQ(lit, 16);
  }
}

TEST(CellImage, AbortsWhenCancelledAndReportsProgressPerCell) {
  auto o = MakeOptions();
  TVeCancelFlag cancel{1};
  for (int workers : {1, 3}) {
    TProcessorGuard guard(workers);
    TTestCellImage img(Pattern(96, 64), EightColourPairs);
    EXPECT_THROW(img.Convert(&cancel, VeCellOptionsOf(*o), nullptr, nullptr), EAbort);
  }

  TTestCellImage img2(Pattern(32, 16), EightColourPairs);
  TVeDestProgress progress;
  cancel = 0;
  img2.Convert(&cancel, VeCellOptionsOf(*o), nullptr, &progress);
  uint32_t total = 0, done = 0;
  progress.GetProgress(total, done);
  EXPECT_EQ(total, 8u);
  EXPECT_EQ(done, 8u);
}

TEST(CellImage, GrayModeKeepsPixelsGray) {
  auto make = [](const TVePalette256&) {
    auto* l = new TVeCellPaletteList;
    l->Add(MakeCandidate({Gray(0), Gray(255)}));
    l->Add(MakeCandidate({Gray(85), Gray(170)}));
    return l;
  };
  TTestCellImage img(Pattern(16, 16), make);
  auto o = MakeOptions();
  o->SetGrayPalette(true);
  o->SetDitherMethod(dmSierra);
  img.Convert(nullptr, VeCellOptionsOf(*o), nullptr, nullptr);
  // Every pixel was turned gray before dithering and stays so through gray errors.
  for (const auto& c : img.Cells)
    for (size_t i = 0; i < c.Prepared.size(); i += 3) {
      EXPECT_EQ(c.Prepared[i], c.Prepared[i + 1]);
      EXPECT_EQ(c.Prepared[i], c.Prepared[i + 2]);
    }
}

TEST(CellImage, BatchedSearchGivesTheCostsOfSingleTrials) {
  // The search tries candidates side by side; choice and cost must equal one-by-one trials,
  // in colour and gray mode, for full and narrow cells, with every kernel, on plain and
  // (where the processor has them) 256-bit vectors.
  for (bool wide : {false, true})
    for (bool gray : {false, true})
      for (int method = dmNone; method <= dmAtkinson; ++method) {
        TTestCellImage img(Pattern(21, 13), EightColourPairs);
        img.SetWideVectors(wide);
        auto o = MakeOptions(method);
        o->SetGrayPalette(gray);
        img.Load(*o);
        std::unique_ptr<TVeCellPaletteList> list(EightColourPairs(TVePalette256()));
        list->PrepareCaches();
        list->GetPalette(2)->Enabled = false;
        TVeCellHelper scratch(&img);
        for (TVeCellRect r : {TVeCellRect{0, 0, 8, 8}, TVeCellRect{16, 8, 21, 13}}) {
          int best = -1;
          double bestCost = 0;
          for (int i = 0; i < list->Count(); ++i) {
            if (!list->GetPalette(i)->Enabled) continue;
            const double c = img.CellCost(r, scratch, *list->GetPalette(i));
            if (best < 0 || c < bestCost) {
              best = i;
              bestCost = c;
            }
          }
          double cost = -1;
          EXPECT_EQ(img.SearchRange(*list, r, scratch, 0, list->Count() - 1, cost), best);
          EXPECT_EQ(cost, bestCost) << "method " << method << (gray ? " gray" : "");
          // A range whose size is not a multiple of the batch.
          double part = -1;
          const int k = img.SearchRange(*list, r, scratch, 1, 6, part);
          EXPECT_EQ(part, img.CellCost(r, scratch, *list->GetPalette(k)));
        }
      }
}

TEST(CellImage, BoundedPairSearchChoosesExactlyAsTheFullSearch) {
  // Every single and pair of twelve colours, one pair twice (ties go to the first) and one
  // candidate disabled.
  TMakeList make = [](const TVePalette256& pal) {
    auto* l = new TVeCellPaletteList;
    for (int j = 0; j < pal.Count(); ++j)
      l->Add(new TVeCellPaperIncPalette(pal, TVeCellSingle{}, 0, j));
    for (int j = 0; j < pal.Count(); ++j)
      for (int k = j + 1; k < pal.Count(); ++k)
        l->Add(new TVeCellPaperIncPalette(pal, j, k));
    l->Add(new TVeCellPaperIncPalette(pal, 3, 5));
    l->GetPalette(20)->Enabled = false;
    return l;
  };
  TVePalette256 pal;
  for (int i = 0; i < 12; ++i)
    pal.AddRGB(uint8_t(i * 23), uint8_t((i * 71) & 255), uint8_t(255 - i * 19));
  for (int method : {dmNone, dmFloydSteinberg, dmJarvisJudiceNinke})
    for (bool gray : {false, true})
      for (bool limits : {false, true})
        for (int workers : {1, 3}) {
          TProcessorGuard guard(workers);
          auto o = MakeOptions(method);
          o->SetPalette(&pal);
          o->SetGrayPalette(gray);
          o->SetLimitErrorAtBoundary(limits);
          o->SetLimitErrorInsideBlock(limits);
          TTestCellImage full(Pattern(37, 21), make), bounded(Pattern(37, 21), make);
          bounded.UsePairBounds();
          auto a = full.Convert(nullptr, VeCellOptionsOf(*o), nullptr, nullptr);
          auto b = bounded.Convert(nullptr, VeCellOptionsOf(*o), nullptr, nullptr);
          ASSERT_EQ(full.Cells.size(), bounded.Cells.size());
          for (size_t i = 0; i < full.Cells.size(); ++i)
            ASSERT_EQ(full.Cells[i].Chosen, bounded.Cells[i].Chosen)
                << method << " " << gray << " " << limits << " " << workers << ": cell " << i;
          EXPECT_EQ(full.Indices, bounded.Indices);
        }
}

TEST(CellImage, CandidatesTriedSideBySideCostWhatEachCostsAlone) {
  // Candidates of one to five colours mixed, so that lanes pad short sets and long sets fall
  // back to the single trial; the picture is noise, so that near ties are common.
  TVeBitmap32 noise(13, 11);
  uint32_t seed = 7;
  for (int y = 0; y < 11; ++y)
    for (int x = 0; x < 13; ++x) {
      seed = seed * 1103515245u + 12345u;
      noise.Pixel(x, y) = VeRGBQuad(uint8_t(seed >> 24), uint8_t(seed >> 16), uint8_t(seed >> 8));
    }
  const uint32_t c[] = {0x000000, 0x0000D7, 0xD70000, 0xD700D7, 0x00D700,
                        0x00D7D7, 0xD7D700, 0xD7D7D7, 0xFFFFFF, 0x808080};
  TVeCellPaletteList list;
  for (int i = 0; i < 23; ++i) {
    auto* p = new TVeCellPalette;
    const int n = 1 + i % 5;
    for (int k = 0; k < n; ++k) {
      const uint32_t q = c[(i * 3 + k * 7) % 10];
      p->Palette->AddRGB(uint8_t(q >> 16), uint8_t(q >> 8), uint8_t(q));
    }
    list.Add(p);
  }
  list.PrepareCaches();
  for (int method = 0; method <= 8; ++method)
    for (bool gray : {false, true}) {
      TTestCellImage img(noise, EightColourPairs);
      auto o = MakeOptions(method);
      o->SetGrayPalette(gray);
      img.Load(*o);
      TVeCellHelper* scratch = img.TakeScratch();
      for (const TVeCellRect rect : {TVeCellRect{0, 0, 8, 8}, TVeCellRect{8, 8, 13, 11}}) {
        double best = 0;
        int expected = -1;
        for (int i = 0; i < list.Count(); ++i) {
          const double cost = img.CellCost(rect, *scratch, *list.GetPalette(i));
          if (expected < 0 || cost < best) {
            expected = i;
            best = cost;
          }
        }
        double cost = -1;
        EXPECT_EQ(img.SearchRange(list, rect, *scratch, 0, list.Count() - 1, cost), expected)
            << "method " << method << " gray " << gray;
        EXPECT_EQ(cost, best) << "method " << method << " gray " << gray;
      }
      img.GiveScratch(scratch);
    }
}

TEST(CellImage, CellsChosenAheadOnWorkersMatchTheScan) {
  // With the boundary limit a cell is chosen before its incoming error arrives, so cells are
  // chosen on workers in runs; without it, one by one. Both must give the one-worker result.
  for (bool boundary : {true, false})
    for (bool pairs : {false, true}) {
      std::vector<int> first;
      for (int workers : {1, 2, 3}) {
        TProcessorGuard guard(workers);
        TTestCellImage img(Pattern(45, 27), EightColourPairs);
        if (pairs) img.UsePairBounds();
        auto o = MakeOptions(dmJarvisJudiceNinke);
        o->SetLimitErrorAtBoundary(boundary);
        o->SetSerpentine(true);
        auto result = img.Convert(nullptr, VeCellOptionsOf(*o), nullptr, nullptr);
        std::vector<int> got = img.Indices;
        for (const auto& cell : img.Cells)
          got.push_back(cell.Chosen);
        if (workers == 1)
          first = got;
        else
          EXPECT_EQ(got, first) << workers << " workers, boundary " << boundary;
      }
    }
}

TEST(CellImage, BoundedPairSearchWithRepeatedEntriesChoosesAsTheFullSearch) {
  // Entries 8..11 repeat 0..3 (as bright black repeats black); pairs name either copy.
  TMakeList make = [](const TVePalette256& pal) {
    auto* l = new TVeCellPaletteList;
    for (int j = 0; j < pal.Count(); ++j)
      for (int k = j + 1; k < pal.Count(); ++k)
        l->Add(new TVeCellPaperIncPalette(pal, k, j));
    return l;
  };
  TVePalette256 pal;
  for (int i = 0; i < 12; ++i) {
    const int v = i < 8 ? i : i - 8;
    pal.AddRGB(uint8_t(v * 31), uint8_t((v * 71) & 255), uint8_t(255 - v * 29));
  }
  for (int method : {dmNone, dmFloydSteinberg})
    for (int workers : {1, 2}) {
      TProcessorGuard guard(workers);
      auto o = MakeOptions(method);
      o->SetPalette(&pal);
      TTestCellImage full(Pattern(37, 21), make), bounded(Pattern(37, 21), make);
      bounded.UsePairBounds();
      full.Convert(nullptr, VeCellOptionsOf(*o), nullptr, nullptr);
      bounded.Convert(nullptr, VeCellOptionsOf(*o), nullptr, nullptr);
      ASSERT_EQ(full.Cells.size(), bounded.Cells.size());
      for (size_t i = 0; i < full.Cells.size(); ++i)
        ASSERT_EQ(full.Cells[i].Chosen, bounded.Cells[i].Chosen)
            << method << " " << workers << ": cell " << i;
      EXPECT_EQ(full.Indices, bounded.Indices);
    }
}

TEST(CellImage, BoundedSearchOfFourColourSetsChoosesAsTheFullSearch) {
  // Sets of one to four colours that are entries of the main palette (bounded), a set with a
  // colour that is none (never bounded), duplicates (ties) and a disabled set.
  TVePalette256 pal;
  for (int i = 0; i < 12; ++i)
    pal.AddRGB(uint8_t(i * 23), uint8_t((i * 71) & 255), uint8_t(255 - i * 19));
  auto make = [](const TVePalette256& p) {
    auto* l = new TVeCellPaletteList;
    for (int i = 0; i < 40; ++i) {
      auto* c = new TVeCellPalette;
      const int n = 1 + i % 4;
      for (int k = 0; k < n; ++k)
        c->Palette->AddColor(p.Color((i * 5 + k * 7) % p.Count()));
      if (i == 17) c->Palette->AddRGB(1, 2, 3);
      l->Add(c);
    }
    l->Add(MakeCandidate({0x000000, 0x17471C}));
    l->GetPalette(9)->Enabled = false;
    return l;
  };
  for (int method : {dmNone, dmFloydSteinberg, dmStucki})
    for (bool limits : {false, true})
      for (int workers : {1, 2}) {
        TProcessorGuard guard(workers);
        auto o = MakeOptions(method);
        o->SetPalette(&pal);
        o->SetLimitErrorAtBoundary(limits);
        o->SetLimitErrorInsideBlock(limits);
        TTestCellImage full(Pattern(37, 21), make), bounded(Pattern(37, 21), make);
        bounded.UsePairBounds();
        full.SetWideVectors(false); // and the bounded one on wide vectors where there are any
        full.Convert(nullptr, VeCellOptionsOf(*o), nullptr, nullptr);
        bounded.Convert(nullptr, VeCellOptionsOf(*o), nullptr, nullptr);
        ASSERT_EQ(full.Cells.size(), bounded.Cells.size());
        for (size_t i = 0; i < full.Cells.size(); ++i)
          ASSERT_EQ(full.Cells[i].Chosen, bounded.Cells[i].Chosen)
              << method << " " << limits << " " << workers << ": cell " << i;
        EXPECT_EQ(full.Indices, bounded.Indices);
      }
}
