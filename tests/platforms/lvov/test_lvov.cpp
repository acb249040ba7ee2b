// Lvov: the palette byte's four colours, the split-nibble pixels, the best byte for a picture,
// both modes on a photograph read back to exactly the preview, and files that lie.
#include <gtest/gtest.h>

#include <set>

#include "VeErrors.h"
#include "VeThreadJob.h"
#include "lvov/VeOpenPlatformLvov.h"
#include "lvov/VePlatformLvov.h"
#include "lvov/VeSavePlatformLvov.h"
#include "platforms/msx/test_msx_support.h"
#include "platforms/test_palette_types.h"

using namespace msxtest;
using namespace typetest;

namespace {

TConversion Convert(const char* mode, TVePaletteType type = LvovFullLevels) {
  return ConvertWithType("Lvov", mode, type);
}

std::unique_ptr<TVeSourceEngineList> Probe(TFolder& folder) {
  RegisterLvovLoaders();
  return ProbeSource(&folder);
}

} // namespace

TEST(Lvov, PaletteByteColoursAndLevels) {
  // Byte 0: magenta, magenta, green, yellow; byte 7Fh: white, yellow, magenta, cyan.
  const int zero[4] = {5, 5, 2, 6}, all[4] = {7, 6, 5, 3};
  for (int v = 0; v < 4; ++v) {
    EXPECT_EQ(LvovColor(0x00, v), zero[v]) << v;
    EXPECT_EQ(LvovColor(0x7F, v), all[v]) << v;
  }
  // Value 0 is black when bits 3 and 4 differ, bits 2 and 6 differ and bit 5 is clear.
  EXPECT_EQ(LvovColor(0x08 | 0x04, 0), 0);
  // Bit 7 (the speaker) changes nothing.
  for (int v = 0; v < 4; ++v)
    EXPECT_EQ(LvovColor(0x80 | 0x2A, v), LvovColor(0x2A, v));
  EXPECT_EQ(LvovColorRGB(6, LvovFullLevels), 0xFFFF00u);
  EXPECT_EQ(LvovColorRGB(6, LvovDimLevels), 0xA4A400u);
  EXPECT_EQ(LvovColorRGB(1, LvovDimLevels), 0x0000A4u);
  TVePalette256 p;
  LvovMakePalette(p, 0x7F, LvovFullLevels);
  ASSERT_EQ(p.Count(), 4);
  EXPECT_EQ(p.GetRGBQuad(3) & 0xFFFFFF, 0x00FFFFu);
}

TEST(Lvov, PixelBitsSplitAcrossTheNibbles) {
  std::vector<uint8_t> screen(LvovScreenBytes);
  LvovSetPixel(screen.data(), 1, 0, 2);
  EXPECT_EQ(screen[0], 0x40);
  LvovSetPixel(screen.data(), 1, 0, 1);
  EXPECT_EQ(screen[0], 0x04);
  LvovSetPixel(screen.data(), 255, 255, 3);
  EXPECT_EQ(screen[255 * 64 + 63], 0x11);
  EXPECT_EQ(LvovPixel(screen.data(), 255, 255), 3);
  EXPECT_EQ(LvovPixel(screen.data(), 1, 0), 1);
}

TEST(Lvov, BestByteCoversThePicturesColours) {
  // Black, red, green and blue stripes: only bytes showing all four cost nothing.
  TVeBitmap32 stripes(64, 16);
  const uint32_t colours[4] = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 64; ++x)
      stripes.Pixel(x, y) = colours[x / 16] | 0xFF000000u;
  auto options = TVeLvovEngine().CreateOptions();
  const uint8_t b = LvovBestPaletteByte(stripes, *options);
  std::set<int> shown;
  for (int v = 0; v < 4; ++v)
    shown.insert(LvovColor(b, v));
  EXPECT_EQ(shown, (std::set<int>{0, 4, 2, 1}));
}

TEST(Lvov, PhotographUsesOneBytesColoursAndReadsBack) {
  for (const char* mode : {"200x225x2", "256x256x2"}) {
    for (TVePaletteType type : {LvovFullLevels, LvovDimLevels}) {
      SCOPED_TRACE(std::string(mode) + " " + std::to_string(int(type)));
      const bool window = std::string(mode) == "200x225x2";
      const TConversion r = Convert(mode, type);
      ASSERT_EQ(r.Files->Count(), 1);
      EXPECT_EQ(r.Files->GetExtension(0), window ? "lvw" : "lvs");
      const std::vector<uint8_t>& f = r.Files->GetStream(0)->Bytes();
      ASSERT_EQ(int(f.size()), LvovFileBytes);
      const uint8_t paletteByte = f.back();
      ASSERT_LT(paletteByte, 0x80);
      std::set<uint32_t> allowed;
      for (int v = 0; v < 4; ++v)
        allowed.insert(LvovColorRGB(LvovColor(paletteByte, v), type));
      const auto shown = r.Result->ToBitmap32();
      ASSERT_EQ(shown->Width(), window ? 200 : 256);
      std::set<uint32_t> used;
      for (int y = 0; y < shown->Height(); ++y)
        for (int x = 0; x < shown->Width(); ++x) {
          const uint32_t q = shown->Pixel(x, y) & 0xFFFFFF;
          ASSERT_TRUE(allowed.count(q)) << x << "," << y;
          used.insert(q);
        }
      EXPECT_GE(used.size(), 3u);
      if (window) {
        // Outside the window the screen stays pixel value 0.
        for (int y = 0; y < LvovSize; ++y)
          for (int x = 0; x < LvovSize; ++x) {
            const bool inside = x >= LvovWindowLeft && x < LvovWindowLeft + 200 &&
                                y >= LvovWindowTop && y < LvovWindowTop + 225;
            if (!inside) {
              ASSERT_EQ(LvovPixel(f.data(), x, y), 0) << x << "," << y;
            }
          }
      }
      auto folder = Saved(*r.Files->GetStream(0));
      auto list = Probe(*folder);
      ASSERT_GT(list->Count(), 0);
      TVeSourceEngine* e = list->Engines(0);
      EXPECT_EQ(e->Width, window ? 200 : 256);
      e->PaletteType = type;
      EXPECT_TRUE(*e->CreateBitmap()->ToBitmap32() == *shown);
    }
  }
}

TEST(Lvov, SameFilesWithAnyWorkerCount) {
  auto all = [](int workers) {
    SetProcessorCount(workers);
    std::vector<std::vector<uint8_t>> files = {Convert("200x225x2").Files->GetStream(0)->Bytes(),
                                               Convert("256x256x2").Files->GetStream(0)->Bytes()};
    SetProcessorCount(0);
    return files;
  };
  EXPECT_TRUE(all(1) == all(3));
}

TEST(Lvov, FilesThatLieAreRefused) {
  TBytes good(LvovFileBytes, 0x33);
  good.back() = 0x15;
  {
    TFolder folder("pic.lvs", good);
    auto list = Probe(folder);
    EXPECT_TRUE(Loader<TVeLvovSourceEngine>(*list));
    EXPECT_FALSE(Loader<TVeLvovWindowSourceEngine>(*list));
  }
  TBytes speaker = good;
  speaker.back() = 0x95;
  TFolder noisy("pic.lvs", speaker);
  EXPECT_FALSE(Loader<TVeLvovSourceEngine>(*Probe(noisy)));
  for (size_t size : {size_t(LvovScreenBytes), size_t(LvovFileBytes + 1)}) {
    TFolder folder("odd.lvw", TBytes(size, 0));
    EXPECT_FALSE(Loader<TVeLvovWindowSourceEngine>(*Probe(folder)));
    TVeLvovWindowSourceEngine direct(&folder);
    try {
      direct.CreateBitmap();
      ADD_FAILURE() << size;
    } catch (const EVeError& e) {
      EXPECT_NE(std::string(e.what()).find("odd.lvw"), std::string::npos);
      EXPECT_NE(std::string(e.what()).find("16385"), std::string::npos);
    }
  }
}
