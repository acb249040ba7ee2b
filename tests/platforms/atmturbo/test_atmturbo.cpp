// ATM Turbo: the 64 colours and their inverted port values, the reset palette, the four-bank
// and the hi-res layouts, both modes' rules on a photograph (16 entries of the 64; two per
// 8 x 1 cell at 640), the files read back with their palettes to exactly the preview, and
// files of the wrong size.
#include <gtest/gtest.h>

#include "atmturbo/VeOpenPlatformAtmTurbo.h"
#include "atmturbo/VePlatformAtmTurbo.h"
#include "atmturbo/VeSavePlatformAtmTurbo.h"
#include "platforms/profi/test_cells.h"

using namespace msxtest;
using namespace clonetest;

TEST(AtmTurbo, ColoursPortValuesAndResetPalette) {
  const TVePalette256& all = AtmColors();
  ASSERT_EQ(all.Count(), 64);
  EXPECT_EQ(all.GetRGBQuad(0) & 0xFFFFFF, 0x000000u);
  EXPECT_EQ(all.GetRGBQuad(63) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(all.GetRGBQuad(2 << 4) & 0xFFFFFF, 0x00AA00u);
  EXPECT_EQ(all.GetRGBQuad(1 << 2) & 0xFFFFFF, 0x550000u);
  EXPECT_EQ(all.GetRGBQuad(3) & 0xFFFFFF, 0x0000FFu);
  // Inverted: blue high bit 0 and low bit 5 clear for full blue, the rest set.
  EXPECT_EQ(AtmPortValue(3), 0xDE);
  EXPECT_EQ(AtmPortValue(0), 0xFF);
  EXPECT_EQ(AtmPortValue(2 << 4), 0xEF);
  EXPECT_EQ(AtmPortValue(1 << 2), 0xBF);
  for (int n = 0; n < 64; ++n) {
    EXPECT_EQ(AtmColorOfPort(AtmPortValue(n)), n);
    EXPECT_EQ(AtmColorOfPort(uint8_t(AtmPortValue(n) ^ 0x0C)), n) << "bits 2 and 3 are unused";
  }
  TVePalette256 reset;
  AtmMakeResetPalette(reset);
  ASSERT_EQ(reset.Count(), 16);
  const std::pair<int, uint32_t> expected[] = {{0, 0x000000}, {1, 0x0000AA}, {2, 0xAA0000},
                                               {6, 0xAAAA00}, {8, 0x000000}, {9, 0x0000FF},
                                               {15, 0xFFFFFF}};
  for (const auto& [c, q] : expected)
    EXPECT_EQ(reset.GetRGBQuad(c) & 0xFFFFFF, q) << c;
  // Every reset colour is one of the 64.
  for (int c = 0; c < 16; ++c)
    EXPECT_GE(all.FindExact(reset.GetRGBQuad(c)), 0) << c;
}

TEST(AtmTurbo, FourBanksAndHiResLayout) {
  // Pixels 0-1 page 1, 2-3 page 5, 4-5 page 1 +2000h, 6-7 page 5 +2000h, 40 bytes a line.
  EXPECT_EQ(AtmEgaOffset(0, 0), 0);
  EXPECT_EQ(AtmEgaOffset(3, 0), 2 * AtmHalfBytes);
  EXPECT_EQ(AtmEgaOffset(4, 0), AtmHalfBytes);
  EXPECT_EQ(AtmEgaOffset(7, 0), 3 * AtmHalfBytes);
  EXPECT_EQ(AtmEgaOffset(8 + 1, 2), 80 + 1);
  EXPECT_EQ(AtmEgaByte(8 + 1, 2), 0x51);
  // Hi-res: even byte columns in page 5, odd ones at +2000h; attributes in page 1.
  EXPECT_EQ(AtmHiResOffset(0, 1), 2 * AtmHalfBytes + 40);
  EXPECT_EQ(AtmHiResOffset(3, 1), 3 * AtmHalfBytes + 40 + 1);
  EXPECT_EQ(AtmHiResAttrOffset(3, 1), AtmHalfBytes + 40 + 1);
  std::vector<uint8_t> mem(AtmFileBytes);
  TVeAtmHiResScreen s(mem.data());
  s.SetPixel(8 * 3 + 2, 1, 1);
  s.SetAttr(3, 1, 0xC5);
  EXPECT_EQ(mem[3 * AtmHalfBytes + 41], 0x20);
  EXPECT_EQ(mem[AtmHalfBytes + 41], 0xC5);
}

TEST(AtmTurbo, PhotographKeepsTheRulesAndReadsBack) {
  RegisterAtmTurboLoaders();
  std::set<uint32_t> all = Colours(AtmColors());
  for (const char* mode : {"320x200x4", "640x200x4"}) {
    SCOPED_TRACE(mode);
    const bool hiRes = std::string(mode) == "640x200x4";
    const TConversion c = ConvertPhoto("ATM Turbo", mode);
    ASSERT_EQ(c.Files->Count(), 1);
    const TVeStream* file = c.Files->GetStream(0);
    EXPECT_EQ(file->Extension, hiRes ? "ath" : "ate");
    const TBytes& bytes = file->Bytes();
    ASSERT_EQ(int(bytes.size()), AtmFileBytes);
    TVePalette256 entries;
    AtmReadPalette(bytes.data() + AtmPaletteAt, entries);
    const std::set<uint32_t> chosen = Colours(entries);
    for (uint32_t q : chosen)
      EXPECT_TRUE(all.count(q)) << std::hex << q;
    const auto used = CheckCells(*c.Result, hiRes ? 8 : AtmEgaWidth, chosen, hiRes ? 2 : 16);
    EXPECT_GE(used.size(), 10u);

    auto folder = Saved(*file);
    auto list = ProbeSource(folder.get());
    ASSERT_GT(list->Count(), 0);
    TVeSourceEngine* e = list->Engines(0);
    if (hiRes)
      EXPECT_TRUE(dynamic_cast<TVeAtmHiResSourceEngine*>(e));
    else
      EXPECT_TRUE(dynamic_cast<TVeAtmEgaSourceEngine*>(e));
    EXPECT_TRUE(*e->CreateBitmap()->ToBitmap32() == *c.Result->ToBitmap32());
  }
  // The user's colour count holds; unused entries are black.
  const TConversion few = ConvertPhoto("ATM Turbo", "640x200x4",
                                       [](TVeDestEngineOptions& o) { o.SetMaxColorCount(5); });
  const TBytes& bytes = few.Files->GetStream(0)->Bytes();
  for (int i = 5; i < AtmEntries; ++i)
    EXPECT_EQ(bytes[AtmPaletteAt + i], 0xFF) << i;
  TVePalette256 entries;
  AtmReadPalette(bytes.data() + AtmPaletteAt, entries);
  EXPECT_LE(CheckCells(*few.Result, 8, Colours(entries), 2).size(), 5u);
}

TEST(AtmTurbo, SameFileWithAnyWorkerCount) {
  for (const char* mode : {"320x200x4", "640x200x4"})
    EXPECT_TRUE(FilesWithWorkers(1, "ATM Turbo", mode) == FilesWithWorkers(3, "ATM Turbo", mode))
        << mode;
}

TEST(AtmTurbo, WrongSizesAreRefused) {
  RegisterAtmTurboLoaders();
  for (int size : {AtmFileBytes - 16, AtmFileBytes + 1}) {
    TFolder ega("bad.ate", TBytes(size, 0xFF)), hiRes("bad.ath", TBytes(size, 0xFF));
    auto list = ProbeSource(&ega);
    EXPECT_FALSE(Loader<TVeAtmEgaSourceEngine>(*list)) << size;
    list = ProbeSource(&hiRes);
    EXPECT_FALSE(Loader<TVeAtmHiResSourceEngine>(*list)) << size;
    TVeAtmEgaSourceEngine e(&ega);
    TVeAtmHiResSourceEngine h(&hiRes);
    for (std::string message : {Message(e), Message(h)}) {
      EXPECT_NE(message.find("bad.at"), std::string::npos) << message;
      EXPECT_NE(message.find("32016"), std::string::npos) << message;
    }
  }
}
