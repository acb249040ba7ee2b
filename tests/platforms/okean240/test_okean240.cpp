// Okean-240: the palette numbers under both wirings, the column layouts, each mode on a
// photograph read back to exactly the preview, and pages whose control byte lies.
#include <gtest/gtest.h>

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
