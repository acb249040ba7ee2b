// The Pico-8 engine: the colours, the cartridge text, the colour rule on a photograph for
// each palette choice, the cartridge read back to exactly the preview, and damaged
// cartridges refused with the file named.
#include <gtest/gtest.h>

#include <set>

#include "VeErrors.h"

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VePlatforms.h"
#include "VeThreadJob.h"
#include "pico8/VeOpenPlatformPico8.h"
#include "pico8/VePlatformPico8.h"
#include "pico8/VeSavePlatformPico8.h"
#include "platforms/msx/test_msx_support.h"

using namespace msxtest;

namespace {

TConversion Convert(int choice = pico8Base) {
  return ConvertPhoto("Pico-8", "128x128x4",
                      [choice](TVeDestEngineOptions& o) { o.SetPaletteNumber(choice); });
}

std::unique_ptr<TVeBitmap> Open(TFolder& folder, std::vector<std::string>* notes = nullptr) {
  RegisterPico8Loaders();
  auto list = ProbeSource(&folder);
  auto* e = Loader<TVePico8CartSourceEngine>(*list);
  if (!e) return nullptr;
  auto bmp = e->CreateBitmap();
  if (notes) *notes = e->Notes;
  return bmp;
}

} // namespace

TEST(Pico8, ColoursAndTheirValues) {
  const TVePalette256& base = Pico8BasePalette();
  const TVePalette256& extra = Pico8ExtraPalette();
  ASSERT_EQ(base.Count(), 16);
  ASSERT_EQ(extra.Count(), 16);
  ASSERT_EQ(Pico8AllColors().Count(), 32);
  EXPECT_EQ(base.GetRGBQuad(0) & 0xFFFFFF, 0x000000u);
  EXPECT_EQ(base.GetRGBQuad(8) & 0xFFFFFF, 0xFF004Du);
  EXPECT_EQ(base.GetRGBQuad(15) & 0xFFFFFF, 0xFFCCAAu);
  EXPECT_EQ(extra.GetRGBQuad(0) & 0xFFFFFF, 0x291814u);
  EXPECT_EQ(extra.GetRGBQuad(15) & 0xFFFFFF, 0xFF9D81u);
  EXPECT_EQ(Pico8ColorRGB(135), 0xF3EF7Du);
  // Values between the two sets and past them show no colour.
  EXPECT_EQ(Pico8ColorEntry(16), -1);
  EXPECT_EQ(Pico8ColorEntry(144), -1);
  for (int e = 0; e < 32; ++e)
    EXPECT_EQ(Pico8ColorEntry(Pico8ColorValue(e)), e);
}

TEST(Pico8, CartridgeTextHoldsTheSheetInPixelOrder) {
  TVePico8Picture p;
  p.Slots[0] = 1;
  p.Slots[1] = 0xA;
  p.Slots[size_t(Pico8Pixels - 1)] = 0xF;
  p.ScreenPalette[3] = 131;
  const std::string text = Pico8Cartridge(p);
  EXPECT_EQ(text.rfind("pico-8 cartridge // http://www.pico-8.com\nversion ", 0), 0u);
  EXPECT_NE(text.find("pal({[0]=0,1,2,131,4,"), std::string::npos);
  const size_t gfx = text.find("\n__gfx__\n");
  ASSERT_NE(gfx, std::string::npos);
  // The left pixel is the first digit (the low nibble of the byte in memory).
  EXPECT_EQ(text.substr(gfx + 9, 4), "1a00");
  EXPECT_EQ(text.substr(text.size() - 3), "0f\n");
  EXPECT_EQ(text.size() - gfx - 9, size_t(128 * 129));
}

TEST(Pico8, PhotographUsesOnlyItsSetAndReadsBack) {
  for (int choice : {int(pico8Base), int(pico8Extra), int(pico8Any)}) {
    SCOPED_TRACE(choice);
    const TConversion r = Convert(choice);
    ASSERT_EQ(r.Files->Count(), 1);
    EXPECT_EQ(r.Files->GetExtension(0), "p8");
    const auto b32 = r.Result->ToBitmap32();
    std::set<uint32_t> colours;
    for (int y = 0; y < 128; ++y)
      for (int x = 0; x < 128; ++x)
        colours.insert(b32->Pixel(x, y) & 0xFFFFFF);
    const TVePalette256& set = choice == pico8Base    ? Pico8BasePalette()
                               : choice == pico8Extra ? Pico8ExtraPalette()
                                                      : Pico8AllColors();
    EXPECT_LE(colours.size(), 16u);
    EXPECT_GT(colours.size(), 8u);
    for (uint32_t c : colours)
      EXPECT_GE(set.FindExact(c | 0xFF000000u), 0) << std::hex << c;
    if (choice == pico8Any) {
      int fromExtra = 0;
      for (uint32_t c : colours)
        fromExtra += Pico8ExtraPalette().FindExact(c | 0xFF000000u) >= 0;
      EXPECT_GT(fromExtra, 0) << "the photograph's browns come from the further set";
    }
    auto folder = Saved(*r.Files->GetStream(0));
    auto bmp = Open(*folder);
    ASSERT_TRUE(bmp);
    EXPECT_TRUE(*bmp->ToBitmap32() == *b32);
  }
}

TEST(Pico8, LoaderTakesShortSheetsAndRefusesDamagedOnes) {
  const std::string head = "pico-8 cartridge // http://www.pico-8.com\r\nversion 8\r\n__gfx__\r\n";
  // One line of sheet: the rest of it is zero; no palette call, so the base colours.
  TFolder shortSheet("a.p8", Bytes((head + std::string(127, '7') + "8\r\n__map__\r\n").c_str()));
  std::vector<std::string> notes;
  auto bmp = Open(shortSheet, &notes);
  ASSERT_TRUE(bmp);
  EXPECT_EQ(bmp->GetPixel(0, 0), 7);
  EXPECT_EQ(bmp->GetPixel(127, 0), 8);
  EXPECT_EQ(bmp->GetPixel(5, 100), 0);
  EXPECT_EQ(bmp->Palette().GetRGBQuad(8) & 0xFFFFFF, 0xFF004Du);
  EXPECT_EQ(notes.size(), 1u);

  const auto refused = [&](const std::string& text, const std::string& why) {
    SCOPED_TRACE(why);
    TFolder bad("bad.p8", Bytes(text.c_str()));
    RegisterPico8Loaders();
    auto list = ProbeSource(&bad);
    auto* e = Loader<TVePico8CartSourceEngine>(*list);
    ASSERT_TRUE(e);
    try {
      e->CreateBitmap();
      ADD_FAILURE() << "read";
    } catch (const EVeError& x) {
      EXPECT_NE(std::string(x.what()).find("bad.p8"), std::string::npos) << x.what();
      EXPECT_NE(std::string(x.what()).find(why), std::string::npos) << x.what();
    }
  };
  refused(head + std::string(127, '0') + "\n", "holds 127 digits");
  refused(head + std::string(127, '0') + "g\n", "not a hex digit");
  std::string tall = head;
  for (int i = 0; i < 129; ++i)
    tall += std::string(128, '1') + "\n";
  refused(tall, "more than 128 rows");
  refused("pico-8 cartridge // http://www.pico-8.com\n__lua__\n", "no __gfx__");

  // Without the first line it is not a cartridge at all.
  TFolder other("x.p8", Bytes("version 8\n__gfx__\n"));
  RegisterPico8Loaders();
  auto none = ProbeSource(&other);
  EXPECT_EQ(Loader<TVePico8CartSourceEngine>(*none), nullptr);
}

TEST(Pico8, EngineIsRealAndWorkersAgree) {
  VeRegisterPlatforms();
  const TVeDestEngineClass* c = DestEngineList().Find("Pico-8", "128x128x4");
  ASSERT_TRUE(c);
  EXPECT_FALSE(c->PreviewOnly());
  SetProcessorCount(1);
  const TConversion one = Convert(pico8Any);
  SetProcessorCount(3);
  const TConversion three = Convert(pico8Any);
  SetProcessorCount(0);
  EXPECT_EQ(one.Files->GetStream(0)->Bytes(), three.Files->GetStream(0)->Bytes());
}
