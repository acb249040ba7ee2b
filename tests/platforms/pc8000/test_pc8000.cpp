// PC8000 (PK-8000): the 16 colours, the TMS tables with the ink in the colour byte's low
// nibble, the cell rule on a photograph, the video bank read back through its name table to
// exactly the preview, and files of the wrong size.
#include <gtest/gtest.h>

#include "pc8000/VeOpenPlatformPc8000.h"
#include "pc8000/VePlatformPc8000.h"
#include "pc8000/VeSavePlatformPc8000.h"
#include "platforms/profi/test_cells.h"

using namespace msxtest;
using namespace clonetest;

TEST(Pc8000, SixteenColours) {
  TVePalette256 p;
  Pc8000MakePalette(p);
  ASSERT_EQ(p.Count(), 16);
  // Bit 0 intensity, bit 1 green, bit 2 blue, bit 3 red.
  const std::pair<int, uint32_t> expected[] = {
      {0, 0x000000}, {1, 0x000000}, {2, 0x00A800},  {3, 0x00FF00},  {4, 0x0000A8},  {5, 0x0000FF},
      {8, 0xA80000}, {9, 0xFF0000}, {10, 0xA8A800}, {13, 0xFF00FF}, {14, 0xA8A8A8}, {15, 0xFFFFFF}};
  for (const auto& [c, q] : expected)
    EXPECT_EQ(p.GetRGBQuad(c) & 0xFFFFFF, q) << c;
}

TEST(Pc8000, PhotographKeepsTheCellRuleAndReadsBack) {
  const TConversion c = ConvertPhoto("PC8000", "256x192x4");
  TVePalette256 machine;
  Pc8000MakePalette(machine);
  const auto used = CheckCells(*c.Result, 8, Colours(machine), 2);
  EXPECT_GE(used.size(), 8u);

  ASSERT_EQ(c.Files->Count(), 1);
  const TVeStream* pk8 = c.Files->GetStream(0);
  EXPECT_EQ(pk8->Extension, "pk8");
  const TBytes& vram = pk8->Bytes();
  ASSERT_EQ(int(vram.size()), Pc8000FileBytes);
  for (int i = 0; i < 768; ++i)
    ASSERT_EQ(vram[MsxScreen2Names + i], i & 255) << i;
  // Set pattern bits show the low nibble: the reverse of the TMS9918.
  const auto shown = c.Result->ToBitmap32();
  for (int y : {0, 77, 191})
    for (int x : {0, 101, 255}) {
      const int at = MsxScreen2Offset(x, y);
      const int bit = vram[at] >> (7 - (x & 7)) & 1;
      const int color = bit ? vram[MsxScreen2Colors + at] & 15 : vram[MsxScreen2Colors + at] >> 4;
      EXPECT_EQ(shown->Pixel(x, y) & 0xFFFFFF, machine.GetRGBQuad(color) & 0xFFFFFF)
          << x << "," << y;
    }

  RegisterPc8000Loaders();
  auto folder = Saved(*pk8);
  auto list = ProbeSource(folder.get());
  auto* e = Loader<TVePc8000SourceEngine>(*list);
  ASSERT_TRUE(e);
  EXPECT_EQ(list->Engines(0), e);
  EXPECT_TRUE(*e->CreateBitmap()->ToBitmap32() == *shown);

  // The name table decides which pattern a character shows.
  TBytes moved = vram;
  moved[MsxScreen2Names + 1] = 0;
  TFolder other("moved.pk8", moved);
  TVePc8000SourceEngine m(&other);
  const auto read = m.CreateBitmap()->ToBitmap32();
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      EXPECT_EQ(read->Pixel(8 + x, y), shown->Pixel(x, y)) << x << "," << y;
}

TEST(Pc8000, SameFileWithAnyWorkerCount) {
  EXPECT_TRUE(FilesWithWorkers(1, "PC8000", "256x192x4") ==
              FilesWithWorkers(3, "PC8000", "256x192x4"));
}

TEST(Pc8000, WrongSizesAreRefused) {
  RegisterPc8000Loaders();
  for (int size : {Pc8000FileBytes - 1, Pc8000FileBytes + 1, 0x4000}) {
    TFolder folder("bad.pk8", TBytes(size, 0x11));
    auto list = ProbeSource(&folder);
    EXPECT_FALSE(Loader<TVePc8000SourceEngine>(*list)) << size;
    TVePc8000SourceEngine direct(&folder);
    const std::string message = Message(direct);
    EXPECT_NE(message.find("bad.pk8"), std::string::npos) << message;
    EXPECT_NE(message.find("14336"), std::string::npos) << message;
  }
}
