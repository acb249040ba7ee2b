// The ZX Spectrum Next engine: the nine-bit colours, the index choice, the colour rule on a
// photograph (never the transparent colour), and its files read back by the Spectrum
// loaders to exactly the preview.
#include <gtest/gtest.h>

#include <set>

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VePlatforms.h"
#include "VeThreadJob.h"
#include "platforms/msx/test_msx_support.h"
#include "zxspectrum/VeOpenPlatformZxSpectrum.h"
#include "zxspectrum/VeOpenPlatformZxSpectrumExtra.h"
#include "zxspectrumnext/VePlatformZxSpectrumNext.h"
#include "zxspectrumnext/VeSavePlatformZxSpectrumNext.h"

using namespace msxtest;

namespace {

TConversion Convert(int colours = 256) {
  return ConvertPhoto("ZX Spectrum Next", "256x192x8",
                      [colours](TVeDestEngineOptions& o) { o.SetMaxColorCount(colours); });
}

template <class T> std::unique_ptr<TVeBitmap> Open(TFolder& folder, T** engine = nullptr) {
  RegisterZxSpectrumLoaders();
  static std::unique_ptr<TVeSourceEngineList> list;
  list = ProbeSource(&folder);
  T* e = Loader<T>(*list);
  if (!e) return nullptr;
  if (engine) *engine = e;
  return e->CreateBitmap();
}

} // namespace

TEST(ZxSpectrumNext, NineBitColoursAndPaletteEntries) {
  EXPECT_EQ(NextColorRGB(0), 0u);
  EXPECT_EQ(NextColorRGB(511), 0xFFFFFFu);
  // RRR GGG BBB: 1 0 0 3 levels 36, 0, 109.
  EXPECT_EQ(NextColorRGB(0b001000011), 0x24006Du);
  EXPECT_EQ(NextNineBitOf(0x24006D), 0b001000011);
  EXPECT_EQ(NextNineBitOf(0x25006D), -1);
  // Both colours whose top eight bits are E3 are transparent, and only they.
  int transparent = 0;
  for (int nine = 0; nine < 512; ++nine)
    transparent += NextIsTransparent(nine);
  EXPECT_EQ(transparent, 2);
  EXPECT_TRUE(NextIsTransparent(0xE3 << 1 | 1));
  const TVePalette256& colors = NextPictureColors();
  ASSERT_EQ(colors.Count(), 510);
  EXPECT_LT(colors.FindExact(NextColorRGB(0x1C6) | 0xFF000000u), 0);
  EXPECT_LT(colors.FindExact(NextColorRGB(0x1C7) | 0xFF000000u), 0);
  // A file entry is RRRGGGBB, then the ninth bit alone.
  uint8_t entry[2];
  NextPutEntry(entry, 0b110101011);
  EXPECT_EQ(entry[0], 0b11010101);
  EXPECT_EQ(entry[1], 1);
  EXPECT_EQ(NextGetEntry(entry), 0b110101011);
}

TEST(ZxSpectrumNext, IndicesFollowTheColoursWhereTheyCan) {
  // Two colours sharing RRRGGGBB, and one whose own index is the transparent one.
  const int nine[4] = {0x002, 0x003, 0x1C6 ^ 0x40, 0x000};
  int index[4];
  NextAssignIndices(nine, 4, index);
  EXPECT_EQ(index[0], 1);
  EXPECT_EQ(index[1], 2) << "the first free index";
  EXPECT_EQ(index[2], (0x1C6 ^ 0x40) >> 1);
  EXPECT_EQ(index[3], 0);
  // 256 colours fill every index: the one whose own index is taken gets the transparent
  // index, the only one left.
  int all[256], at[256];
  for (int i = 0; i < 256; ++i)
    all[i] = 2 * i;
  all[0xE3] = 0x1C5;
  NextAssignIndices(all, 256, at);
  EXPECT_EQ(at[0xE3], 0xE3);
  EXPECT_EQ(at[0xE2], 0xE2);
  std::set<int> used(at, at + 256);
  EXPECT_EQ(used.size(), 256u);
}

TEST(ZxSpectrumNext, PhotographNeverShowsTheTransparentColourAndReadsBack) {
  for (int colours : {256, 40}) {
    SCOPED_TRACE(colours);
    const TConversion r = Convert(colours);
    ASSERT_EQ(r.Files->Count(), 2);
    const TVeStream* nxi = FindStream(*r.Files, "nxi");
    const TVeStream* sl2 = FindStream(*r.Files, "sl2");
    ASSERT_TRUE(nxi && sl2);
    ASSERT_EQ(nxi->Size(), 49664u);
    ASSERT_EQ(sl2->Size(), 49152u);
    ASSERT_EQ(sl2->SubCount(), 1);
    EXPECT_EQ(sl2->GetSubStream(0)->Extension, "nxp");
    EXPECT_EQ(sl2->GetSubStream(0)->Bytes(),
              std::vector<uint8_t>(nxi->Bytes().begin(), nxi->Bytes().begin() + 512));
    EXPECT_TRUE(std::equal(sl2->Bytes().begin(), sl2->Bytes().end(), nxi->Bytes().begin() + 512));

    // Every pixel's palette entry is a Next colour and never the transparent one.
    std::set<int> indices, colors;
    const uint8_t* d = nxi->Data();
    for (int i = 0; i < 49152; ++i) {
      const uint8_t v = d[512 + i];
      indices.insert(v);
      EXPECT_EQ(d[2 * v + 1] & 0xFE, 0) << "priority and unused bits clear";
      const int nine = NextGetEntry(d + 2 * v);
      EXPECT_FALSE(NextIsTransparent(nine)) << int(v);
      colors.insert(nine);
    }
    EXPECT_LE(int(indices.size()), colours);
    // The photograph's colours lie near about 90 of the 512, so 256 allowed use fewer.
    EXPECT_GT(int(indices.size()), std::min(colours, 90) / 2);
    EXPECT_EQ(colors.size(), indices.size()) << "no colour twice";

    const auto preview = r.Result->ToBitmap32();
    auto nxiFolder = Saved(*nxi);
    auto fromNxi = Open<TVeZxSpectrumNextNxiEngine>(*nxiFolder);
    ASSERT_TRUE(fromNxi);
    EXPECT_TRUE(*fromNxi->ToBitmap32() == *preview);
    auto sl2Folder = Saved(*sl2);
    TVeZxSpectrumNextSl2Engine* e = nullptr;
    auto fromSl2 = Open<TVeZxSpectrumNextSl2Engine>(*sl2Folder, &e);
    ASSERT_TRUE(fromSl2);
    EXPECT_TRUE(e->Notes.empty());
    EXPECT_TRUE(*fromSl2->ToBitmap32() == *preview);
  }
}

TEST(ZxSpectrumNext, ScreenWithoutItsPaletteShowsThePaletteAfterReset) {
  std::vector<uint8_t> pixels(49152, 0);
  pixels[1] = 0x03; // RRRGGGBB 000 000 11: blue 3 with the ninth bit set
  pixels[2] = 0x02;
  TFolder alone("pic.sl2", pixels);
  auto bmp = Open<TVeZxSpectrumNextSl2Engine>(alone);
  ASSERT_TRUE(bmp);
  auto b32 = bmp->ToBitmap32();
  EXPECT_EQ(b32->Pixel(1, 0) & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(b32->Pixel(2, 0) & 0xFFFFFF, uint32_t(NextLevel(5)));
  TFolder shortPalette("pic.sl2", pixels);
  shortPalette.Add("pic.nxp", std::vector<uint8_t>(32, 0));
  TVeZxSpectrumNextSl2Engine* e = nullptr;
  bmp = Open<TVeZxSpectrumNextSl2Engine>(shortPalette, &e);
  ASSERT_TRUE(bmp);
  ASSERT_EQ(e->Notes.size(), 1u);
  EXPECT_NE(e->Notes[0].find("pic.nxp"), std::string::npos);
  EXPECT_EQ(bmp->ToBitmap32()->Pixel(1, 0) & 0xFFFFFF, 0x0000FFu);
}

TEST(ZxSpectrumNext, EngineIsRealAndWorkersAgree) {
  VeRegisterPlatforms();
  const TVeDestEngineClass* c = DestEngineList().Find("ZX Spectrum Next", "256x192x8");
  ASSERT_TRUE(c);
  EXPECT_FALSE(c->PreviewOnly());
  SetProcessorCount(1);
  const TConversion one = Convert();
  SetProcessorCount(3);
  const TConversion three = Convert();
  SetProcessorCount(0);
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(one.Files->GetStream(i)->Bytes(), three.Files->GetStream(i)->Bytes());
}
