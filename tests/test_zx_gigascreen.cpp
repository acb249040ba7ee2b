// ZX Spectrum gigascreen: the mixed palette, the candidates, the re-encoding and the files.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "VeBitmap.h"
#include "VeDest.h"
#include "VeLoadSource.h"
#include "VeOpenPlatformZxSpectrum.h"
#include "VePlatformZxSpectrumGigascreen.h"
#include "VeSavePlatformZxSpectrumGigascreen.h"
#include "VeStream.h"
#include "VeThreadJob.h"
#include "test_engine_run.h"

namespace {

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
  TVeEngineRun g = Giga(Photo());
  RegisterZxSpectrumLoaders();
  const auto preview = g.Result->ToBitmap32();
  for (int i = 0; i < 2; ++i) {
    const auto& bytes = g.Files->GetStream(i)->Bytes();
    const std::string name = i == 0 ? "photo.img" : "photo.mg8";
    TVeMemoryLoadSource src(name, int32_t(bytes.size()), bytes.data());
    auto list = ProbeSource(&src);
    TVeSourceEngine* e = nullptr;
    for (int k = 0; k < list->Count(); ++k)
      if (dynamic_cast<TVeZxSpectrumGigaEngine*>(list->Engines(k)) ||
          dynamic_cast<TVeZxSpectrumGigaMGEngine*>(list->Engines(k)))
        e = list->Engines(k);
    ASSERT_TRUE(e) << name;
    EXPECT_EQ(e->Priority, i == 0 ? 5 : 13);
    EXPECT_EQ(e->Calculation, vcStandard);
    e->Calculation = vcLinear; // as the engine mixed them
    auto bmp = e->CreateBitmap();
    ASSERT_TRUE(bmp);
    EXPECT_TRUE(*bmp->ToBitmap32() == *preview) << name;
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
