// Okean-240: the palette numbers under both wirings, the column layouts, each mode on a
// photograph read back to exactly the preview (the Gigascreen ones with both frames), and
// pages whose control byte lies.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "VeErrors.h"
#include "VeThreadJob.h"
#include "okean240/VeOpenPlatformOkean240.h"
#include "okean240/VePlatformOkean240.h"
#include "okean240/VeSavePlatformOkean240.h"
#include "platforms/msx/test_msx_support.h"
#include "platforms/test_palette_types.h"

using namespace msxtest;
using namespace typetest;

namespace {

TConversion Convert(const char* mode, TVePaletteType wiring = Okean240Wiring1) {
  return ConvertWithType("Okean-240", mode, wiring);
}

} // namespace

TEST(Okean240, PaletteNumbersUnderBothWirings) {
  TVePalette256 p;
  Okean240MakePalette(p, 0, true, Okean240Wiring1);
  EXPECT_EQ(Quads(p), (std::vector<uint32_t>{0x000000, 0x00FF00, 0x0000FF, 0xFF0000}));
  Okean240MakePalette(p, 0, true, Okean240Wiring2);
  EXPECT_EQ(Quads(p), (std::vector<uint32_t>{0x000000, 0xFF0000, 0x0000FF, 0x00FF00}));
  Okean240MakePalette(p, 2, true, Okean240Wiring2);
  EXPECT_EQ(Quads(p), (std::vector<uint32_t>{0xFF0000, 0x0000FF, 0x00FFFF, 0xFF00FF}));
  Okean240MakePalette(p, 6, true, Okean240Wiring1);
  EXPECT_EQ(Quads(p), (std::vector<uint32_t>{0x0000FF, 0xFFFFFF, 0x00FFFF, 0xFF0000}));
  Okean240MakePalette(p, 5, false, Okean240Wiring1);
  EXPECT_EQ(Quads(p), (std::vector<uint32_t>{0x000000, 0xFFFF00}));
  Okean240MakePalette(p, 6, false, Okean240Wiring1);
  EXPECT_EQ(Quads(p), (std::vector<uint32_t>{0x0000FF, 0x000000}));
}

TEST(Okean240, ColumnLayouts) {
  std::vector<uint8_t> page(Okean240PageBytes);
  // 256 x 256: pixel (9, 3) of value 2 is bit 1 of the high byte of column 1.
  Okean240SetPixel(page.data(), 9, 3, 2, true);
  EXPECT_EQ(page[512 + 3], 0);
  EXPECT_EQ(page[512 + 256 + 3], 0x02);
  EXPECT_EQ(Okean240Pixel(page.data(), 9, 3, true), 2);
  // 512 x 256: pixel (511, 255) is bit 7 of the last byte.
  Okean240SetPixel(page.data(), 511, 255, 1, false);
  EXPECT_EQ(page[63 * 256 + 255], 0x80);
}

TEST(Okean240, PhotographUsesOnePaletteNumberAndReadsBack) {
  for (const char* mode : {"256x256x2", "512x256x1"}) {
    for (TVePaletteType wiring : {Okean240Wiring1, Okean240Wiring2}) {
      SCOPED_TRACE(std::string(mode) + " " + std::to_string(int(wiring)));
      const bool color = std::string(mode) == "256x256x2";
      const TConversion r = Convert(mode, wiring);
      ASSERT_EQ(r.Files->Count(), 1);
      EXPECT_EQ(r.Files->GetExtension(0), "okn");
      const std::vector<uint8_t>& f = r.Files->GetStream(0)->Bytes();
      ASSERT_EQ(int(f.size()), Okean240FileBytes);
      EXPECT_EQ((f.back() & Okean240ColorBit) != 0, color);
      const int number = f.back() & 7;
      ASSERT_LT(number, Okean240Palettes);
      TVePalette256 p;
      Okean240MakePalette(p, number, color, wiring);
      const std::vector<uint32_t> q = Quads(p);
      const std::set<uint32_t> allowed(q.begin(), q.end());
      const auto shown = r.Result->ToBitmap32();
      std::set<uint32_t> used;
      for (int y = 0; y < 256; ++y)
        for (int x = 0; x < shown->Width(); ++x) {
          const uint32_t c = shown->Pixel(x, y) & 0xFFFFFF;
          ASSERT_TRUE(allowed.count(c)) << x << "," << y;
          used.insert(c);
        }
      EXPECT_GE(used.size(), color ? 3u : 2u);
      RegisterOkean240Loaders();
      auto folder = Saved(*r.Files->GetStream(0));
      auto list = ProbeSource(folder.get());
      // The control byte tells the modes apart.
      TVeSourceEngine* e = Loader<TVeOkean240SourceEngine>(*list);
      TVeSourceEngine* mono = Loader<TVeOkean240MonoSourceEngine>(*list);
      ASSERT_TRUE(color ? e && !mono : mono && !e);
      if (!color) e = mono;
      e->PaletteType = wiring;
      EXPECT_TRUE(*e->CreateBitmap()->ToBitmap32() == *shown);
    }
  }
}

TEST(Okean240, SameFilesWithAnyWorkerCount) {
  auto all = [](int workers) {
    SetProcessorCount(workers);
    std::vector<std::vector<uint8_t>> files = {Convert("256x256x2").Files->GetStream(0)->Bytes(),
                                               Convert("512x256x1").Files->GetStream(0)->Bytes()};
    SetProcessorCount(0);
    return files;
  };
  EXPECT_TRUE(all(1) == all(3));
}

TEST(Okean240, PagesThatLieAreRefused) {
  RegisterOkean240Loaders();
  TBytes blank(Okean240FileBytes, 0);
  blank.back() = Okean240ColorBit | 7; // palette 7 shows nothing
  const auto none = [](TFolder& f) {
    auto list = ProbeSource(&f);
    return !Loader<TVeOkean240SourceEngine>(*list) && !Loader<TVeOkean240MonoSourceEngine>(*list);
  };
  TFolder folder("pic.okn", blank);
  EXPECT_TRUE(none(folder));
  TFolder cut("odd.okn", TBytes(Okean240PageBytes, 0));
  EXPECT_TRUE(none(cut));
  try {
    TVeOkean240MonoSourceEngine(&cut).CreateBitmap();
    ADD_FAILURE();
  } catch (const EVeError& e) {
    EXPECT_NE(std::string(e.what()).find("odd.okn"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("16385"), std::string::npos);
  }
}

TEST(Okean240, GigascreenFramesAreTheTwoPagesAndReadBack) {
  RegisterOkean240Loaders();
  for (const char* mode : {"256x256x4 Gigascreen", "512x256x2 Gigascreen"}) {
    for (TVePaletteType wiring : {Okean240Wiring1, Okean240Wiring2}) {
      SCOPED_TRACE(std::string(mode) + " " + std::to_string(int(wiring)));
      const bool color = std::string(mode)[0] == '2';
      const TConversion r = Convert(mode, wiring);
      ASSERT_EQ(r.Files->Count(), 1);
      EXPECT_EQ(r.Files->GetExtension(0), "okg");
      const std::vector<uint8_t>& f = r.Files->GetStream(0)->Bytes();
      ASSERT_EQ(int(f.size()), Okean240GigaFileBytes);
      EXPECT_EQ((f.back() & Okean240ColorBit) != 0, color);
      EXPECT_EQ(f.back() & 0x80, 0);
      const int number = f.back() & 7;
      ASSERT_LT(number, Okean240Palettes);
      TVePalette256 pens;
      Okean240MakePalette(pens, number, color, wiring);
      const int n = pens.Count();
      const TVeBitmapList* frames = r.Result->Frames();
      ASSERT_TRUE(frames && frames->Count() == 2);
      std::set<int> pairs;
      for (int y = 0; y < 256; ++y)
        for (int x = 0; x < r.Result->Width(); ++x) {
          const int a = Okean240Pixel(f.data(), x, y, color);
          const int b = Okean240Pixel(f.data() + Okean240PageBytes, x, y, color);
          ASSERT_EQ(frames->GetBitmap(0)->GetPixel(x, y), a);
          ASSERT_EQ(frames->GetBitmap(1)->GetPixel(x, y), b);
          ASSERT_EQ(r.Result->GetPixel(x, y), a * n + b);
          pairs.insert(std::min(a, b) * n + std::max(a, b));
        }
      EXPECT_GT(pairs.size(), size_t(n)) << "mixed colours are used";
      auto folder = Saved(*r.Files->GetStream(0));
      auto list = ProbeSource(folder.get());
      auto* e = Loader<TVeOkean240GigaSourceEngine>(*list);
      ASSERT_TRUE(e);
      e->PaletteType = wiring;
      const auto back = e->CreateBitmap();
      EXPECT_TRUE(*back->ToBitmap32() == *r.Result->ToBitmap32());
      ASSERT_TRUE(back->Frames() && back->Frames()->Count() == 2);
      for (int k = 0; k < 2; ++k)
        EXPECT_TRUE(*back->Frames()->GetBitmap(k)->ToBitmap32() ==
                    *frames->GetBitmap(k)->ToBitmap32());
    }
  }
}

TEST(Okean240, GigascreenFlickeringLimitAndLyingFiles) {
  // At 0 % only colours of equal lightness alternate: one colour on black never does.
  const TConversion r = ConvertPhoto("Okean-240", "512x256x2 Gigascreen",
                                     [](TVeDestEngineOptions& o) { o.SetMaxFlickering(0); });
  const std::vector<uint8_t>& f = r.Files->GetStream(0)->Bytes();
  EXPECT_TRUE(std::equal(f.begin(), f.begin() + Okean240PageBytes, f.begin() + Okean240PageBytes));
  RegisterOkean240Loaders();
  TBytes lying(f.begin(), f.end());
  lying.back() = Okean240ColorBit | 7; // palette 7 shows nothing
  TFolder folder("pic.okg", lying);
  EXPECT_FALSE(Loader<TVeOkean240GigaSourceEngine>(*ProbeSource(&folder)));
  TFolder cut("odd.okg", TBytes(Okean240FileBytes, 0));
  EXPECT_FALSE(Loader<TVeOkean240GigaSourceEngine>(*ProbeSource(&cut)));
  try {
    TVeOkean240GigaSourceEngine(&cut).CreateBitmap();
    ADD_FAILURE();
  } catch (const EVeError& e) {
    EXPECT_NE(std::string(e.what()).find("odd.okg"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("32769"), std::string::npos);
  }
}

TEST(Okean240, GigascreenSameFilesWithAnyWorkerCount) {
  auto all = [](int workers) {
    SetProcessorCount(workers);
    std::vector<std::vector<uint8_t>> files = {
        Convert("256x256x4 Gigascreen").Files->GetStream(0)->Bytes(),
        Convert("512x256x2 Gigascreen").Files->GetStream(0)->Bytes()};
    SetProcessorCount(0);
    return files;
  };
  EXPECT_TRUE(all(1) == all(3));
}
