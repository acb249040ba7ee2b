// ZX Spectrum gigascreen: the mixed palette, the candidates, the re-encoding and the files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>

#include "VeBitmap.h"
#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeLoadSource.h"
#include "VeSource.h"
#include "VeStream.h"
#include "VeThreadJob.h"
#include "test_engine_run.h"
#include "zxspectrum/VeOpenPlatformZxSpectrum.h"
#include "zxspectrum/VeOpenPlatformZxSpectrumExtra.h"
#include "zxspectrum/VePlatformZxSpectrumGigascreen.h"
#include "zxspectrum/VeSavePlatformZxSpectrumGigascreen.h"

namespace {

using TBytes = std::vector<uint8_t>;

TVeEngineRun Giga(const TVeBitmap32& source,
                  const std::function<void(TVeDestEngineOptions&)>& setup = {}) {
  return VeRunEngine<TVeZxSpectrumGigascreenEngine>(source, setup);
}

TVeBitmap32 Photo() {
  TVeBitmap32 b(256, 192);
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < 256; ++x)
      b.Pixel(x, y) = VeRGBQuad(uint8_t(x), uint8_t((x * y) >> 7), uint8_t(255 - y));
  return b;
}

// The ZX colour a frame of the "img" file shows at (x, y).
int Shown(const std::vector<uint8_t>& img, int frame, int x, int y) {
  const int base = frame * ZxScreenBytes;
  const uint8_t a = img[size_t(base + ZxAttrOffset(x / 8, y / 8))];
  const bool ink = (img[size_t(base + ZxScreenOffset(y, x / 8))] >> (7 - x % 8)) & 1;
  return ink ? ZxAttrInk(a) : ZxAttrPaper(a);
}

} // namespace

TEST(ZxGigascreen, MixedPaletteAndItsForbiddenMixes) {
  TVePalette256 pure;
  ZxSpectrumMakePalette(pure, ptColoredLinear);
  TVeZxMixedPaletteArgs args;
  TVePalette256 mixed;
  ZxSpectrumMakeMixedPalette(mixed, args);
  ASSERT_EQ(mixed.Count(), 256);
  for (int c = 0; c < 16; ++c)
    EXPECT_EQ(mixed.GetRGBQuad(17 * c), pure.GetRGBQuad(c)) << c;
  // "Linear": the mean of the two pure colours' linear values.
  EXPECT_NEAR(mixed.GetLinRGB(7).R, pure.GetLinRGB(7).R / 2, 1e-9);
  EXPECT_FALSE(mixed.Color(7).Excluded);
  EXPECT_TRUE(mixed.Color(16 * 9 + 1).Excluded); // bright in frame 1, dark in frame 2
  EXPECT_FALSE(mixed.Color(16 * 1 + 9).Excluded);
  args.Display = true;
  ZxSpectrumMakeMixedPalette(mixed, args);
  EXPECT_TRUE(mixed.Color(16 * 7 + 0).Excluded); // each unordered pair once
  args = {};
  args.MaxFlickering = 0;
  ZxSpectrumMakeMixedPalette(mixed, args);
  for (int a = 0; a < 16; ++a)
    for (int b = 0; b < 16; ++b)
      if (!mixed.Color(16 * a + b).Excluded) {
        EXPECT_NEAR(pure.GetLinGray(a), pure.GetLinGray(b), 1e-12) << a << "," << b;
      }
  args = {};
  args.Gray = true;
  ZxSpectrumMakeMixedPalette(mixed, args);
  EXPECT_TRUE(mixed.Color(16 * 0 + 2).Excluded);
  EXPECT_FALSE(mixed.Color(16 * 0 + 15).Excluded);
  args = {};
  args.SafeMode = true;
  ZxSpectrumMakeMixedPalette(mixed, args);
  EXPECT_TRUE(mixed.Color(16 * 1 + 9).Excluded);
  // "Standard": black with dark white gives the dark+black level on every channel.
  args = {};
  args.Calculation = 0;
  ZxSpectrumMakeMixedPalette(mixed, args);
  const TVeZxSpectrumLevels& lv = ZxSpectrumLevels(ptColoredLinear);
  EXPECT_EQ(mixed.GetRGBQuad(7), ZxSpectrumOutputRGB(lv, lv.DarkBlack, lv.DarkBlack, lv.DarkBlack));
}

TEST(ZxGigascreen, StandardMixesLightTheChannelsOfTheirColours) {
  for (TVePaletteType type : {ptPulsar, ptColoredLinear, ptVardel, ptStdRGBMiddle, ptOrthodox}) {
    TVePalette256 pure, mixed;
    ZxSpectrumMakePalette(pure, type);
    TVeZxMixedPaletteArgs args;
    args.PaletteType = type;
    args.Calculation = 0;
    ZxSpectrumMakeMixedPalette(mixed, args);
    for (int c = 0; c < 16; ++c)
      EXPECT_EQ(mixed.GetRGBQuad(17 * c), pure.GetRGBQuad(c)) << int(type) << ": " << c;
    // Black with one dark primary lights that primary's channel alone.
    const TVeZxSpectrumLevels& lv = ZxSpectrumLevels(type);
    const int d = lv.DarkBlack;
    EXPECT_EQ(mixed.GetRGBQuad(zxBlue), ZxSpectrumOutputRGB(lv, 0, 0, d)) << int(type);
    EXPECT_EQ(mixed.GetRGBQuad(zxRed), ZxSpectrumOutputRGB(lv, d, 0, 0)) << int(type);
    EXPECT_EQ(mixed.GetRGBQuad(zxGreen), ZxSpectrumOutputRGB(lv, 0, d, 0)) << int(type);
    // Bright blue with bright yellow: bright+black on every channel, a grey.
    const int b = lv.BrightBlack;
    EXPECT_EQ(mixed.GetRGBQuad(16 * (8 + zxBlue) + 8 + zxYellow), ZxSpectrumOutputRGB(lv, b, b, b));
  }
}

TEST(ZxGigascreen, FilesFramesAndPreviewAgree) {
  TVeEngineRun g = Giga(Photo(), [](TVeDestEngineOptions& o) { o.SetBorderColor(0x0000F0); });
  ASSERT_EQ(g.Files->Count(), 2);
  EXPECT_EQ(g.Files->GetExtension(0), "img");
  EXPECT_EQ(g.Files->GetExtension(1), "mg8");
  const auto& img = g.File();
  const auto& mg8 = g.Files->GetStream(1)->Bytes();
  ASSERT_EQ(img.size(), 13824u);
  ASSERT_EQ(mg8.size(), 14080u);
  // "mg8": the header, then the same frames and attributes.
  EXPECT_EQ(std::string(mg8.begin(), mg8.begin() + 3), "MGH");
  EXPECT_EQ(mg8[3], 1);
  EXPECT_EQ(mg8[4], 8);
  EXPECT_EQ(mg8[5], zxBlue); // the border's nearest dark colour
  EXPECT_EQ(mg8[255], 255);
  EXPECT_TRUE(std::equal(img.begin(), img.begin() + ZxPixelBytes, mg8.begin() + 256));
  EXPECT_TRUE(std::equal(img.begin() + ZxScreenBytes, img.begin() + ZxScreenBytes + ZxPixelBytes,
                         mg8.begin() + 6400));
  EXPECT_TRUE(
      std::equal(img.begin() + ZxPixelBytes, img.begin() + ZxScreenBytes, mg8.begin() + 12544));
  // Two frames of pure colours, each what its screen shows; the preview is their mix.
  ASSERT_NE(g.Result->Frames(), nullptr);
  ASSERT_EQ(g.Result->Frames()->Count(), 2);
  TVeBitmap* f1 = g.Result->Frames()->GetBitmap(0);
  TVeBitmap* f2 = g.Result->Frames()->GetBitmap(1);
  for (int y = 0; y < 192; y += 3)
    for (int x = 0; x < 256; x += 3) {
      ASSERT_EQ(f1->GetPixel(x, y), Shown(img, 0, x, y)) << x << "," << y;
      ASSERT_EQ(f2->GetPixel(x, y), Shown(img, 1, x, y)) << x << "," << y;
    }
  // The options show the display palette again after the run.
  EXPECT_TRUE(g.Options->Palette().Color(16 * 7).Excluded);
  // Cells whose frames differ alternate the brighter frame: neither frame is brighter
  // everywhere.
  TVePalette256 pure;
  ZxSpectrumMakePalette(pure, ptColoredLinear);
  int firstBrighter = 0, secondBrighter = 0;
  for (int cy = 0; cy < 24; ++cy)
    for (int cx = 0; cx < 32; ++cx) {
      double s1 = 0, s2 = 0;
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
          s1 += pure.GetLinGray(Shown(img, 0, 8 * cx + x, 8 * cy + y));
          s2 += pure.GetLinGray(Shown(img, 1, 8 * cx + x, 8 * cy + y));
        }
      if (s1 > s2 + 1e-5) ++firstBrighter;
      if (s2 > s1 + 1e-5) ++secondBrighter;
    }
  EXPECT_GT(firstBrighter, 0);
  EXPECT_GT(secondBrighter, 0);
}

TEST(ZxGigascreen, SafeModeGivesEqualAttributesAndBlackWhiteMixIsAChessboard) {
  TVeEngineRun safe = Giga(Photo(), [](TVeDestEngineOptions& o) { o.SetSafeMode(true); });
  const auto& img = safe.File();
  EXPECT_TRUE(std::equal(img.begin() + ZxPixelBytes, img.begin() + ZxScreenBytes,
                         img.begin() + ZxScreenBytes + ZxPixelBytes));

  // Safe mode keeps the flicker limit of the slider: no pixel mixes colours further apart.
  TVePalette256 pure;
  ZxSpectrumMakePalette(pure, ptColoredLinear);
  for (int limit : {0, 30}) {
    TVeEngineRun limited = Giga(Photo(), [limit](TVeDestEngineOptions& o) {
      o.SetSafeMode(true);
      o.SetMaxFlickering(limit);
    });
    const auto& b = limited.File();
    for (int y = 0; y < 192; ++y)
      for (int x = 0; x < 256; ++x)
        ASSERT_LE(
            std::fabs(pure.GetLinGray(Shown(b, 0, x, y)) - pure.GetLinGray(Shown(b, 1, x, y))),
            limit / 100.0 + 1e-12)
            << limit << ": " << x << "," << y;
  }

  // A picture all of the mix of black and dark white: paper 0, ink 7 in both frames, and
  // the pixels a chessboard between the frames.
  TVeZxMixedPaletteArgs args;
  TVePalette256 mixed;
  ZxSpectrumMakeMixedPalette(mixed, args);
  TVeBitmap32 gray(256, 192, mixed.GetRGBQuad(7) | 0xFF000000u);
  TVeEngineRun g = Giga(gray);
  const auto& b = g.File();
  for (int a = 0; a < ZxAttrBytes; ++a) {
    ASSERT_EQ(b[size_t(ZxPixelBytes + a)], 7) << a;
    ASSERT_EQ(b[size_t(ZxScreenBytes + ZxPixelBytes + a)], 7) << a;
  }
  for (int y = 0; y < 192; y += 5)
    for (int x = 0; x < 256; x += 3)
      ASSERT_NE(Shown(b, 0, x, y), Shown(b, 1, x, y)) << x << "," << y;
  EXPECT_NE(b[size_t(ZxScreenOffset(0, 0))], b[size_t(ZxScreenOffset(1, 0))]);
}

TEST(ZxGigascreen, StandardCalculationWritesBlueAsBlue) {
  TVeEngineRun blue = Giga(TVeBitmap32(256, 192, VeRGBQuad(0, 0, 188)),
                           [](TVeDestEngineOptions& o) { o.SetCalculation(0); });
  const auto& img = blue.File();
  for (int f = 0; f < 2; ++f)
    for (int y = 0; y < 192; ++y)
      for (int x = 0; x < 256; ++x)
        ASSERT_EQ(Shown(img, f, x, y), zxBlue) << "frame " << f << ": " << x << "," << y;
  EXPECT_EQ(blue.Result->ToBitmap32()->Pixel(100, 100) & 0xFFFFFFu, 0x0000BCu);
}

namespace {
// Dithers every cell with one given candidate of the list, as if the search had chosen it,
// so that a cell can show a mix made by any pair.
class TForcedImage : public TVeZxSpectrumGigascreenImage {
public:
  TForcedImage(const TVeBitmap32& source, int paper1, int ink1, int paper2, int ink2)
      : TVeZxSpectrumGigascreenImage(8, source, 8), FWanted{paper1, ink1, paper2, ink2} {}
  void DitherCell(TVeBitmap* result, TVeCellScreen* screen, TVeCellPalette*,
                  const TVeCellRect& rect, int cellY, int cellX) override {
    TVeCellPalette* forced = nullptr;
    for (int i = 0; i < FList->Count() && !forced; ++i) {
      auto* c = static_cast<TVeZxSpectrumGigascreenPalette*>(FList->GetPalette(i));
      if (std::array<int, 4>{c->Paper1, c->Ink1, c->Paper2, c->Ink2} == FWanted) forced = c;
    }
    if (!forced) throw std::runtime_error("candidate not offered");
    TVeZxSpectrumGigascreenImage::DitherCell(result, screen, forced, rect, cellY, cellX);
  }

private:
  std::array<int, 4> FWanted;
};

// The "img" bytes of a flat picture of the colour of mixed entry `entry` (conversion palette
// of the default options), every cell dithered with the given candidate.
std::vector<uint8_t> ForcedCells(int entry, bool safeMode, int paper1, int ink1, int paper2,
                                 int ink2) {
  TVeZxSpectrumGigascreenEngine engine;
  auto options = engine.CreateOptions();
  options->SetSafeMode(safeMode);
  static_cast<TVeZxSpectrumGigascreenEngineOptions&>(*options).BuildMixedPalette(false);
  const TVeBitmap32 flat(256, 192, options->Palette().GetRGBQuad(entry) | 0xFF000000u);
  TForcedImage image(flat, paper1, ink1, paper2, ink2);
  std::vector<uint8_t> img(ZxGigascreenBytes);
  TVeZxSpectrumGigascreenScreen screen(img.data());
  image.Convert(nullptr, *options, &screen, nullptr);
  return img;
}
} // namespace

TEST(ZxGigascreen, CellsOfOneMixedColourTakeTheSteadiestPairOfThatColour) {
  // The black and bright white mix has the colour of dark white: in safe mode such a cell
  // shows steady dark white instead of flickering.
  const auto steady = ForcedCells(15, true, zxBlack + 8, zxWhite + 8, zxBlack + 8, zxWhite + 8);
  for (int a = 0; a < ZxAttrBytes; ++a) {
    ASSERT_EQ(steady[size_t(ZxPixelBytes + a)], zxWhite) << a;
    ASSERT_EQ(steady[size_t(ZxScreenBytes + ZxPixelBytes + a)], zxWhite) << a;
  }
  for (int f = 0; f < 2; ++f)
    for (int y = 0; y < 192; ++y)
      for (int x = 0; x < 256; ++x)
        ASSERT_EQ(Shown(steady, f, x, y), zxWhite) << "frame " << f << ": " << x << "," << y;

  // Blue with yellow mixes to the grey of black with dark white, which is written as that
  // pair: paper 0, ink 7 in both frames, the pixels a chessboard between the frames.
  const auto gray = ForcedCells(16 * zxBlue + zxYellow, false, zxBlue, zxYellow, zxBlue, zxYellow);
  for (int a = 0; a < ZxAttrBytes; ++a) {
    ASSERT_EQ(gray[size_t(ZxPixelBytes + a)], zxWhite) << a;
    ASSERT_EQ(gray[size_t(ZxScreenBytes + ZxPixelBytes + a)], zxWhite) << a;
  }
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < 256; ++x) {
      const int c = Shown(gray, 0, x, y);
      ASSERT_TRUE(c == zxBlack || c == zxWhite) << x << "," << y;
      ASSERT_NE(c, Shown(gray, 1, x, y)) << x << "," << y;
      ASSERT_NE(c, Shown(gray, 0, x ^ 1, y)) << x << "," << y;
      ASSERT_NE(c, Shown(gray, 0, x, y ^ 1)) << x << "," << y;
    }
}

TEST(ZxGigascreen, SameFilesWithAnyWorkerCount) {
  std::vector<uint8_t> first;
  for (int workers : {1, 3}) {
    SetProcessorCount(workers);
    TVeEngineRun g = Giga(Photo(), [](TVeDestEngineOptions& o) { o.SetMaxFlickering(40); });
    if (first.empty())
      first = g.File();
    else
      EXPECT_EQ(g.File(), first) << workers << " workers";
  }
  SetProcessorCount(0);
}

TEST(ZxGigascreen, FilesReadBackAsThePreview) {
  RegisterZxSpectrumLoaders();
  for (uint8_t calculation : {vcLinear, vcStandard}) {
    TVeEngineRun g =
        Giga(Photo(), [calculation](TVeDestEngineOptions& o) { o.SetCalculation(calculation); });
    const auto preview = g.Result->ToBitmap32();
    for (int i = 0; i < 2; ++i) {
      const auto& bytes = g.Files->GetStream(i)->Bytes();
      const std::string file = i == 0 ? "photo.img" : "photo.mg8";
      const std::string name = file + " calculation " + std::to_string(calculation);
      TVeMemoryLoadSource src(file, int32_t(bytes.size()), bytes.data());
      auto list = ProbeSource(&src);
      TVeSourceEngine* e = nullptr;
      for (int k = 0; k < list->Count(); ++k)
        if (dynamic_cast<TVeZxSpectrumGigaEngine*>(list->Engines(k)) ||
            dynamic_cast<TVeZxSpectrumGigaMGEngine*>(list->Engines(k)))
          e = list->Engines(k);
      ASSERT_TRUE(e) << name;
      EXPECT_EQ(e->Priority, i == 0 ? 5 : 13);
      // The file cannot say how its colours were mixed: the first reading is the engine's own
      // default, so it opens as it was previewed; the other is one choice away.
      EXPECT_EQ(e->Calculation, vcLinear);
      e->Calculation = calculation;
      auto bmp = e->CreateBitmap();
      ASSERT_TRUE(bmp);
      EXPECT_TRUE(*bmp->ToBitmap32() == *preview) << name;
      // And its two frames, as the flicker display shows them.
      ASSERT_NE(bmp->Frames(), nullptr);
      ASSERT_EQ(bmp->Frames()->Count(), 2);
      for (int f = 0; f < 2; ++f)
        EXPECT_TRUE(*bmp->Frames()->GetBitmap(f)->ToBitmap32() ==
                    *g.Result->Frames()->GetBitmap(f)->ToBitmap32())
            << name << " frame " << f;
    }
  }
}

TEST(ZxGigascreen, MultiGigaWritesTheMgLayoutOfItsCellHeight) {
  RegisterZxSpectrumLoaders();
  auto check = [](auto engine, int h, size_t size) {
    using E = decltype(engine);
    auto options = engine.CreateOptions();
    EXPECT_EQ(options->GetCellHeight(), h);
    std::unique_ptr<TVeStreamList> files;
    TVeDestProgress progress;
    auto result = E::Convert(nullptr, Photo(), files, progress, *options, nullptr, nullptr);
    ASSERT_EQ(files->Count(), 1);
    EXPECT_EQ(files->GetExtension(0), "mg" + std::to_string(h));
    const auto& mg = files->GetStream(0)->Bytes();
    ASSERT_EQ(mg.size(), size);
    EXPECT_EQ(mg[4], h);
    EXPECT_EQ(result->Frames()->Count(), 2);
    TVeMemoryLoadSource src("photo.mg" + std::to_string(h), int32_t(mg.size()), mg.data());
    auto list = ProbeSource(&src);
    TVeSourceEngine* e = nullptr;
    for (int k = 0; k < list->Count(); ++k)
      if (dynamic_cast<TVeZxSpectrumGigaMGEngine*>(list->Engines(k))) e = list->Engines(k);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Priority, 13);
    e->Calculation = vcLinear;
    EXPECT_TRUE(*e->CreateBitmap()->ToBitmap32() == *result->ToBitmap32()) << h;
  };
  check(TVeZxSpectrumMultiGigascreen4Engine(), 4, 15616);
  check(TVeZxSpectrumMultiGigascreen2Engine(), 2, 18688);
}

namespace {
// Records the order in which the MultiGiga 8x1 image finishes its cells.
class TOrderImage : public TVeZxSpectrumMultiGigascreen1Image {
public:
  using TVeZxSpectrumMultiGigascreen1Image::TVeZxSpectrumMultiGigascreen1Image;
  struct TCell {
    int X, Y, Height;
    bool Mirror;
  };
  std::vector<TCell> Order;

protected:
  void FinishCell(TVeCellGigaScreen* screen, const TVeCellRect& rect, int cellX,
                  int cellY) override {
    Order.push_back({cellX, cellY, rect.Height(), Mirror()});
    TVeZxSpectrumMultiGigascreen1Image::FinishCell(screen, rect, cellX, cellY);
  }
};

// Luminance of the ZX colour a screen of the "lce" file shows at (x, y) of its 256 x 192.
double FieldLum(const std::vector<uint8_t>& lce, const TVePalette256& pure, int field, int x,
                int y) {
  return pure.GetLinGray(Shown(lce, field, x, y));
}
} // namespace

TEST(ZxGigascreen, MultiGiga1WalksEachBandLeftMiddleLinesRight) {
  TVeZxSpectrumMultiGigascreen1Engine engine;
  auto options = engine.CreateOptions();
  EXPECT_EQ(options->GetCellHeight(), 1);
  EXPECT_EQ(options->DitherMethod(), dmJarvisJudiceNinke);
  options->SetMaxFlickering(0); // few candidates: only the order matters here
  static_cast<TVeZxSpectrumGigascreenEngineOptions&>(*options).BuildMixedPalette(false);
  TOrderImage image(8, Photo(), 8);
  std::vector<uint8_t> mg(19456);
  TVeZxSpectrumMultiGigascreen1Screen screen(mg.data(), 0);
  image.Convert(nullptr, *options, &screen, nullptr);
  ASSERT_EQ(image.Order.size(), size_t(24 * (8 + 8 * 16 + 8)));
  size_t at = 0;
  for (int band = 0; band < 24; ++band) {
    const bool mirror = band % 2 == 1; // serpentine
    for (int j = 0; j < 8; ++j, ++at) {
      ASSERT_EQ(image.Order[at].X, j) << band;
      ASSERT_EQ(image.Order[at].Y, band);
      ASSERT_EQ(image.Order[at].Height, 8);
      ASSERT_EQ(image.Order[at].Mirror, mirror);
    }
    for (int line = 0; line < 8; ++line)
      for (int j = 8; j < 24; ++j, ++at) {
        ASSERT_EQ(image.Order[at].X, j) << band << "," << line;
        ASSERT_EQ(image.Order[at].Y, 8 * band + line);
        ASSERT_EQ(image.Order[at].Height, 1);
      }
    for (int j = 24; j < 32; ++j, ++at) {
      ASSERT_EQ(image.Order[at].X, j) << band;
      ASSERT_EQ(image.Order[at].Height, 8);
    }
  }
}

TEST(ZxGigascreen, MultiGiga1FileReadsBackAsThePreviewWithAnyWorkerCount) {
  std::vector<uint8_t> first;
  for (int workers : {1, 3}) {
    SetProcessorCount(workers);
    TVeEngineRun r = VeRunEngine<TVeZxSpectrumMultiGigascreen1Engine>(Photo());
    ASSERT_EQ(r.Files->Count(), 1);
    EXPECT_EQ(r.Files->GetExtension(0), "mg1");
    const auto& mg = r.File();
    ASSERT_EQ(mg.size(), 19456u);
    EXPECT_EQ(std::string(mg.begin(), mg.begin() + 3), "MGH");
    EXPECT_EQ(mg[4], 1);
    ASSERT_EQ(r.Result->Frames()->Count(), 2);
    if (first.empty()) {
      first = mg;
      // The middle columns change attributes from line to line somewhere.
      int changes = 0;
      for (int y = 1; y < 192; ++y)
        for (int c = 0; c < 16; ++c)
          changes += mg[size_t(12544 + 16 * y + c)] != mg[size_t(12544 + 16 * (y - 1) + c)];
      EXPECT_GT(changes, 100);
      TVeMemoryLoadSource src("photo.mg1", int32_t(mg.size()), mg.data());
      auto list = ProbeSource(&src);
      TVeSourceEngine* e = nullptr;
      for (int k = 0; k < list->Count(); ++k)
        if (dynamic_cast<TVeZxSpectrumGigaMG1Engine*>(list->Engines(k))) e = list->Engines(k);
      ASSERT_TRUE(e);
      e->Calculation = vcLinear;
      auto back = e->CreateBitmap();
      EXPECT_TRUE(*back->ToBitmap32() == *r.Result->ToBitmap32());
      ASSERT_EQ(back->Frames()->Count(), 2);
      for (int f = 0; f < 2; ++f)
        EXPECT_TRUE(*back->Frames()->GetBitmap(f)->ToBitmap32() ==
                    *r.Result->Frames()->GetBitmap(f)->ToBitmap32())
            << f;
    } else {
      EXPECT_EQ(mg, first) << workers << " workers";
    }
  }
  SetProcessorCount(0);
}

TEST(ZxGigascreen, InterlacedV2FieldsStylesAndFile) {
  TVeZxSpectrumGigaInterlacedEngine1 engine;
  auto o = engine.CreateOptions();
  EXPECT_EQ(o->Width(), 256);
  EXPECT_EQ(o->Height(), 192);
  EXPECT_EQ(o->Calculation(), 1);
  EXPECT_EQ(o->Palette().Count(), 16);
  auto ui = engine.CreateUI(*o);
  const TVeUIControl* style = ui->Find(ciFlickerStyle);
  ASSERT_TRUE(style);
  EXPECT_EQ(style->Items, (std::vector<std::string>{"Lines", "Chessboard", "Mixed"}));
  EXPECT_EQ(ui->Find(ciColorUsage)->Items.size(), 3u);
  EXPECT_EQ(ui->Find(ciPaletteView)->Rows, 1);

  TVePalette256 pure;
  ZxSpectrumMakePalette(pure, ptColoredLinear);
  std::vector<uint8_t> files[3];
  for (uint8_t s : {0, 1, 2}) {
    TVeEngineRun r = VeRunEngine<TVeZxSpectrumGigaInterlacedEngine1>(
        Photo(), [s](TVeDestEngineOptions& opt) { opt.SetFlickerStyle(s); });
    ASSERT_EQ(r.Files->Count(), 1);
    EXPECT_EQ(r.Files->GetExtension(0), "lce");
    const auto& lce = r.File();
    ASSERT_EQ(lce.size(), 13824u);
    files[s] = lce;
    // The widened picture: line 2y is field 1, line 2y + 1 field 2, every pixel doubled.
    ASSERT_EQ(r.Result->Width(), 512);
    ASSERT_EQ(r.Result->Height(), 384);
    EXPECT_EQ(r.Result->Palette().Count(), 16);
    TVeMemoryLoadSource src("photo.lce", int32_t(lce.size()), lce.data());
    TVeZxSpectrumColorInterlacedEngine loader(&src);
    auto back = loader.CreateBitmap();
    for (int y = 0; y < 384; ++y)
      for (int x = 0; x < 256; ++x) {
        const uint32_t c = back->Palette().GetRGBQuad(back->GetPixel(x, y));
        ASSERT_EQ(r.Result->Palette().GetRGBQuad(r.Result->GetPixel(2 * x, y)), c) << x << "," << y;
        ASSERT_EQ(r.Result->Palette().GetRGBQuad(r.Result->GetPixel(2 * x + 1, y)), c);
      }
    if (s == 1) {
      // "Chessboard": both fields of every cell share their attributes.
      EXPECT_TRUE(std::equal(lce.begin() + ZxPixelBytes, lce.begin() + ZxScreenBytes,
                             lce.begin() + ZxScreenBytes + ZxPixelBytes));
      continue;
    }
    // "Lines" and "Mixed" order each cell's fields against the cell above: what meets at the
    // boundary differs no more than the other order would.
    for (int cy = 1; cy < 24; ++cy)
      for (int cx = 0; cx < 32; ++cx) {
        double u1 = 0, u2 = 0, c1 = 0, c2 = 0;
        for (int x = 8 * cx; x < 8 * cx + 8; ++x) {
          u1 += FieldLum(lce, pure, 0, x, 8 * cy - 1);
          u2 += FieldLum(lce, pure, 1, x, 8 * cy - 1);
          c1 += FieldLum(lce, pure, 0, x, 8 * cy);
          c2 += FieldLum(lce, pure, 1, x, 8 * cy);
        }
        const double keep = std::fabs(u1 - c1) + std::fabs(u2 - c2);
        const double swap = std::fabs(u1 - c2) + std::fabs(u2 - c1);
        ASSERT_LE(keep, swap + 1e-5) << int(s) << ": cell " << cx << "," << cy;
      }
  }
  EXPECT_NE(files[0], files[2]); // "Mixed" re-encodes what "Lines" leaves
}

TEST(ZxGigascreen, ImportedTwoScreenFilesCarryTheirFramesToTheFlickerDisplay) {
  TVeEngineRun g = Giga(Photo());
  const auto& img = g.File();
  // Every loader of two screens hands over both as frames of the pure colours.
  TBytes hlr(1628, 0);
  std::copy(ZxHlrRoutine, ZxHlrRoutine + 84, hlr.begin());
  hlr[84] = 0xF0;
  for (int i = 0; i < 768; ++i) {
    hlr[size_t(92 + i)] = uint8_t(i & 63);
    hlr[size_t(860 + i)] = uint8_t((i * 5) & 63);
  }
  TBytes chr = {'c', 'h', 'r', '$', 1, 1, 18};
  for (int i = 0; i < 18; ++i)
    chr.push_back(uint8_t(i == 8 ? 0x0A : (i == 17 ? 0x21 : 0x3C)));
  TBytes stl(3072);
  for (size_t i = 0; i < stl.size(); ++i)
    stl[i] = uint8_t((i * 13) & 63);
  struct TCase {
    std::string Name;
    TBytes Bytes;
  };
  for (const TCase& c : {TCase{"a.img", TBytes(img.begin(), img.end())}, TCase{"a.hlr", hlr},
                         TCase{"a.ch$", chr}, TCase{"a.stl", stl}}) {
    TVeMemoryLoadSource src(c.Name, int32_t(c.Bytes.size()), c.Bytes.data());
    auto list = ProbeSource(&src);
    ASSERT_GT(list->Count(), 0) << c.Name;
    auto bmp = list->Engines(0)->CreateBitmap();
    ASSERT_NE(bmp->Frames(), nullptr) << c.Name;
    ASSERT_EQ(bmp->Frames()->Count(), 2) << c.Name;
    const TVeBitmap* f1 = bmp->Frames()->GetBitmap(0);
    const TVeBitmap* f2 = bmp->Frames()->GetBitmap(1);
    for (int y = 0; y < bmp->Height(); ++y)
      for (int x = 0; x < bmp->Width(); ++x)
        ASSERT_EQ(bmp->GetPixel(x, y), f1->GetPixel(x, y) * 16 + f2->GetPixel(x, y))
            << c.Name << " " << x << "," << y;
  }

  // Opened as the source, the file's frames go with it; the flicker display plays them while
  // the result shows exactly the file's picture.
  namespace fs = std::filesystem;
  const fs::path path =
      fs::temp_directory_path() / ("velmora-giga-" + std::to_string(getpid()) + ".img");
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(img.data()), std::streamsize(img.size()));
  }
  TVeSource source;
  source.OpenFile(path.string());
  fs::remove(path);
  ASSERT_NE(source.Frames(), nullptr);
  ASSERT_EQ(source.Frames()->Count(), 2);
  TVeDest dest;
  dest.SetSource(&source);
  dest.SetEngine(DestEngineList().Find("Common", "Original palette"));
  ASSERT_TRUE(dest.RunUntilIdle());
  ASSERT_TRUE(dest.HasFrames());
  for (int f = 0; f < 2; ++f)
    EXPECT_TRUE(*dest.Frames()->GetBitmap(f)->ToBitmap32() ==
                *source.Frames()->GetBitmap(f)->ToBitmap32());
  dest.SetEngine(DestEngineList().Find("ZX Spectrum", "256x192x4"));
  ASSERT_TRUE(dest.RunUntilIdle());
  EXPECT_FALSE(dest.HasFrames()); // a picture of its own
  dest.SetSource(nullptr);
}
