// Scorpion GMX: the linear pixel and attribute bytes, the 160-pixel screen of whole nibbles,
// both modes' cell and brightness rule on a photograph, the file read back to exactly the
// preview by the loader of its width, and files the loaders refuse.
#include <gtest/gtest.h>

#include "platforms/profi/test_cells.h"
#include "scorpiongmx/VeOpenPlatformScorpionGmx.h"
#include "scorpiongmx/VePlatformScorpionGmx.h"
#include "scorpiongmx/VeSavePlatformScorpionGmx.h"
#include "zxspectrum/VePlatformZxSpectrum.h"

using namespace msxtest;
using namespace clonetest;

TEST(ScorpionGmx, LinearBytesAndFatPixels) {
  std::vector<uint8_t> mem(GmxFileBytes);
  TVeScorpionGmxScreen s(mem.data(), false);
  s.SetPixel(9, 2, 1);
  s.SetAttr(1, 2, 0x47);
  EXPECT_EQ(mem[2 * 80 + 1], 0x40);
  EXPECT_EQ(mem[GmxPixelBytes + 2 * 80 + 1], 0x47);
  s.SetPixel(639, 199, 1);
  EXPECT_EQ(mem[GmxPixelBytes - 1], 0x01);
  EXPECT_TRUE(GmxIsFat(std::vector<uint8_t>(GmxFileBytes).data()));
  EXPECT_FALSE(GmxIsFat(mem.data()));

  std::vector<uint8_t> fat(GmxFileBytes);
  TVeScorpionGmxScreen f(fat.data(), true);
  EXPECT_EQ(f.Width(), 160);
  f.SetPixel(2, 1, 1);
  f.SetPixel(5, 1, 1);
  EXPECT_EQ(fat[80 + 1], 0xF0);
  EXPECT_EQ(fat[80 + 2], 0x0F);
  EXPECT_EQ(f.GetPixel(5, 1), 1);
  EXPECT_EQ(f.GetPixel(4, 1), 0);
  EXPECT_TRUE(GmxIsFat(fat.data()));

  // The Spectrum's rule: one bright bit for ink and paper, no flash.
  const auto pairs = GmxPairs();
  EXPECT_EQ(pairs.size(), 72u);
  for (const TVeCellPair& p : pairs) {
    EXPECT_EQ(p.Ink >= 8, p.Paper >= 8);
    EXPECT_EQ(ZxAttrInk(uint8_t(p.Attr)), p.Ink);
    EXPECT_EQ(ZxAttrPaper(uint8_t(p.Attr)), p.Paper);
    EXPECT_EQ(p.Attr & ZxAttrFlash, 0);
  }
}

TEST(ScorpionGmx, PhotographKeepsTheRuleAndReadsBack) {
  RegisterScorpionGmxLoaders();
  for (const char* mode : {"640x200x4", "160x200x4"}) {
    SCOPED_TRACE(mode);
    const bool fat = std::string(mode) == "160x200x4";
    const TConversion c = ConvertPhoto("Scorpion GMX", mode);
    TVePalette256 machine;
    ZxSpectrumMakePalette(machine, c.Options->PaletteType());
    std::set<uint32_t> dark, bright;
    for (int i = 0; i < 8; ++i) {
      dark.insert(machine.GetRGBQuad(i) & 0xFFFFFF);
      bright.insert(machine.GetRGBQuad(i + 8) & 0xFFFFFF);
    }
    auto oneBrightness = [&](const std::set<uint32_t>& cell) {
      bool inDark = true, inBright = true;
      for (uint32_t q : cell) {
        inDark = inDark && dark.count(q);
        inBright = inBright && bright.count(q);
      }
      return inDark || inBright;
    };
    const auto used = CheckCells(*c.Result, fat ? 2 : 8, Colours(machine), 2, oneBrightness);
    EXPECT_GE(used.size(), 8u);

    ASSERT_EQ(c.Files->Count(), 1);
    const TVeStream* gmx = c.Files->GetStream(0);
    EXPECT_EQ(gmx->Extension, "gmx");
    ASSERT_EQ(int(gmx->Bytes().size()), GmxFileBytes);
    EXPECT_EQ(GmxIsFat(gmx->Bytes().data()), fat);
    auto folder = Saved(*gmx);
    auto list = ProbeSource(folder.get());
    ASSERT_GT(list->Count(), 0);
    TVeSourceEngine* e = list->Engines(0);
    if (fat)
      EXPECT_TRUE(dynamic_cast<TVeGmxFatSourceEngine*>(e));
    else
      EXPECT_TRUE(dynamic_cast<TVeGmxSourceEngine*>(e));
    EXPECT_TRUE(*e->CreateBitmap()->ToBitmap32() == *c.Result->ToBitmap32());
  }
}

TEST(ScorpionGmx, SameFileWithAnyWorkerCount) {
  for (const char* mode : {"640x200x4", "160x200x4"})
    EXPECT_TRUE(FilesWithWorkers(1, "Scorpion GMX", mode) ==
                FilesWithWorkers(3, "Scorpion GMX", mode))
        << mode;
}

TEST(ScorpionGmx, WrongFilesAreRefused) {
  RegisterScorpionGmxLoaders();
  for (int size : {GmxFileBytes - 1, GmxFileBytes + 1}) {
    TFolder folder("bad.gmx", TBytes(size, 0));
    auto list = ProbeSource(&folder);
    EXPECT_FALSE(Loader<TVeGmxSourceEngine>(*list)) << size;
    EXPECT_FALSE(Loader<TVeGmxFatSourceEngine>(*list)) << size;
    TVeGmxSourceEngine direct(&folder);
    const std::string message = Message(direct);
    EXPECT_NE(message.find("bad.gmx"), std::string::npos) << message;
    EXPECT_NE(message.find("32000"), std::string::npos) << message;
  }
  // A pixel byte that is not two whole nibbles: only 640 pixels wide.
  TBytes thin(GmxFileBytes, 0);
  thin[123] = 0x18;
  TFolder folder("thin.gmx", thin);
  auto list = ProbeSource(&folder);
  EXPECT_TRUE(Loader<TVeGmxSourceEngine>(*list));
  EXPECT_FALSE(Loader<TVeGmxFatSourceEngine>(*list));
  TVeGmxFatSourceEngine direct(&folder);
  EXPECT_NE(Message(direct).find("thin.gmx"), std::string::npos);
}
