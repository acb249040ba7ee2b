#include <gtest/gtest.h>

#include "VeBatch.h"
#include "VeBitmap.h"
#include "VeColor.h"
#include "VeDestEngineList.h"
#include "VePlatforms.h"
#include "VePreparedCache.h"
#include "VeStream.h"

namespace {

// Large enough that the preparation resamples, with detail the dithering reacts to.
TVeBitmap32 Photo(int w, int h) {
  TVeBitmap32 b(w, h);
  uint32_t seed = 12345;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int noise = int(seed >> 27);
      b.Pixel(x, y) =
          VeRGBQuad(uint8_t((x * 255 / w + noise) & 255), uint8_t((y * 255 / h + noise) & 255),
                    uint8_t(((x ^ y) + noise) & 255));
    }
  return b;
}

struct TRun {
  std::vector<uint32_t> Pixels;
  std::vector<std::vector<uint8_t>> Files;
  bool operator==(const TRun&) const = default;
};

class VePreparedCacheTest : public ::testing::TestWithParam<std::pair<const char*, const char*>> {
protected:
  void SetUp() override {
    VeRegisterPlatforms();
    Engine = DestEngineList().Find(GetParam().first, GetParam().second);
    ASSERT_NE(Engine, nullptr);
    Options = Engine->Create()->CreateOptions();
    VeApplyControllerDefaults(*Options);
  }
  TRun Convert(const TVeBitmap32& picture, TVePreparedCache* cache) {
    TVeDestProgress progress;
    TVeConversionResult r = VeConvertPicture(*Engine, *Options, picture, nullptr, nullptr, nullptr,
                                             progress, nullptr, {0, 0}, nullptr, cache);
    TRun run;
    std::unique_ptr<TVeBitmap32> preview = r.Bitmap->ToBitmap32();
    run.Pixels.assign(preview->Data(), preview->Data() + preview->PixelCount());
    for (int i = 0; r.Files && i < r.Files->Count(); ++i)
      run.Files.push_back(r.Files->GetStream(i)->Bytes());
    return run;
  }
  // Changes the options, then checks the cached conversion against a fresh one.
  template <class F> void ExpectSame(const TVeBitmap32& picture, F change) {
    Options->BeginUpdate();
    change(*Options);
    Options->EndUpdate();
    const TRun cached = Convert(picture, &Cache);
    EXPECT_TRUE(cached == Convert(picture, nullptr));
  }

  const TVeDestEngineClass* Engine = nullptr;
  std::unique_ptr<TVeDestEngineOptions> Options;
  TVePreparedCache Cache;
  TVeBitmap32 Picture = Photo(800, 600);
};

} // namespace

// Engine options reuse the kept preparation; the results match uncached runs byte for byte.
TEST_P(VePreparedCacheTest, EngineOptionsReuseThePreparation) {
  ExpectSame(Picture, [](TVeDestEngineOptions&) {});
  EXPECT_EQ(Cache.Misses(), 1);
  ExpectSame(Picture, [](TVeDestEngineOptions& o) { o.SetLightnessFix(20); });
  ExpectSame(Picture, [](TVeDestEngineOptions& o) { o.SetSaturationFix(-30); });
  ExpectSame(Picture, [](TVeDestEngineOptions& o) { o.SetDitherMethod(dmNone); });
  // Painted on a copy: the kept picture must not take the border into the next run.
  ExpectSame(Picture, [](TVeDestEngineOptions& o) { o.SetBorderColor(0xFF0000); });
  ExpectSame(Picture, [](TVeDestEngineOptions& o) { o.SetBorderColor(0x0000FF); });
  EXPECT_EQ(Cache.Misses(), 1);
  EXPECT_EQ(Cache.Hits(), 5);
}

// Whatever the preparation reads makes a new one.
TEST_P(VePreparedCacheTest, PreparationChangesMakeANewOne) {
  ExpectSame(Picture, [](TVeDestEngineOptions&) {});
  ExpectSame(Picture, [](TVeDestEngineOptions& o) { o.SetPositionMode(pmStretched); });
  EXPECT_EQ(Cache.Misses(), 2);
  ExpectSame(Picture, [](TVeDestEngineOptions& o) { o.SetPositionMode(pmFitSourceInResult); });
  EXPECT_EQ(Cache.Misses(), 3);
  // Another picture of the same size, and the same picture with one pixel changed.
  ExpectSame(Photo(600, 800), [](TVeDestEngineOptions&) {});
  EXPECT_EQ(Cache.Misses(), 4);
  Picture.Pixel(400, 300) ^= 0xFFFFFF;
  ExpectSame(Picture, [](TVeDestEngineOptions&) {});
  EXPECT_EQ(Cache.Misses(), 5);
  // A picture of the result's own size is used as it is, kept or not.
  const TVeBitmap32 exact = Photo(Options->GetWidth(), Options->GetHeight());
  ExpectSame(exact, [](TVeDestEngineOptions&) {});
  ExpectSame(exact, [](TVeDestEngineOptions& o) { o.SetBorderColor(0x00FF00); });
  EXPECT_EQ(Cache.Misses(), 6);
  Cache.Clear();
  ExpectSame(exact, [](TVeDestEngineOptions&) {});
  EXPECT_EQ(Cache.Misses(), 7);
}

INSTANTIATE_TEST_SUITE_P(Modes, VePreparedCacheTest,
                         ::testing::Values(std::pair{"ZX Spectrum", "256x192x4"},
                                           std::pair{"Amstrad CPC", "0 160x200x4"}),
                         [](const auto& info) { return info.index == 0 ? "ZX" : "CPC"; });

TEST(VePictureFingerprint, SeesSizeAndEveryPixel) {
  TVeBitmap32 a(7, 5, 0xFF102030); // an odd count leaves a tail after the lanes
  const uint64_t base = VePictureFingerprint(a);
  EXPECT_EQ(base, VePictureFingerprint(TVeBitmap32(7, 5, 0xFF102030)));
  EXPECT_NE(base, VePictureFingerprint(TVeBitmap32(5, 7, 0xFF102030)));
  for (int i = 0; i < 35; ++i) {
    TVeBitmap32 b = a;
    b.Data()[i] ^= 1;
    EXPECT_NE(base, VePictureFingerprint(b)) << i;
  }
}
