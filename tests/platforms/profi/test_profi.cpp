// Profi: the split pixel pages and two-bright attributes, the cell rule on a photograph, the
// file read back to exactly the preview, and files of the wrong size.
#include <gtest/gtest.h>

#include "platforms/profi/test_cells.h"
#include "profi/VeOpenPlatformProfi.h"
#include "profi/VePlatformProfi.h"
#include "profi/VeSavePlatformProfi.h"

using namespace msxtest;
using namespace clonetest;

TEST(Profi, SplitPagesAndTwoBrightAttributes) {
  std::vector<uint8_t> mem(ProfiFileBytes);
  TVeProfiScreen s(mem.data());
  // The left byte of a 16-pixel group lies in the upper half, the right one in the lower.
  s.SetPixel(0, 0, 1);
  s.SetPixel(15, 0, 1);
  // Line 65: second third, pixel line 1, character row 0; column 3 is the right byte of 1.
  s.SetPixel(3 * 8 + 1, 65, 1);
  s.SetPixel(511, 239, 1);
  EXPECT_EQ(mem[0x2000], 0x80);
  EXPECT_EQ(mem[0x0000], 0x01);
  EXPECT_EQ(mem[0x0800 + 0x0100 + 1], 0x40);
  EXPECT_EQ(mem[0x1800 + 7 * 0x100 + 5 * 0x20 + 31], 0x01);
  s.SetAttr(2, 9, ProfiAttr(zxBright + zxBlue, zxRed));
  EXPECT_EQ(mem[ProfiPageBytes + 0x2000 + 0x100 + 0x20 + 1], 0x51);
  EXPECT_EQ(s.GetAttr(2, 9), 0x51);
  // Ink and paper each keep their own bright bit, so every byte is an attribute of its own.
  for (int a = 0; a < 256; ++a)
    EXPECT_EQ(ProfiAttr(ProfiInk(uint8_t(a)), ProfiPaper(uint8_t(a))), a);
  EXPECT_EQ(ProfiInk(0x80), zxBlack);
  EXPECT_EQ(ProfiPaper(0x80), zxBright + zxBlack);
}

TEST(Profi, SpectrumColoursInEveryCellAndReadBack) {
  const TConversion c = ConvertPhoto("Profi", "512x240x4");
  const TVePalette256& palette = c.Options->Palette();
  ASSERT_EQ(palette.Count(), 16);
  EXPECT_EQ(palette.GetRGBQuad(0) & 0xFFFFFF, 0u);
  EXPECT_EQ(palette.GetRGBQuad(15) & 0xFFFFFF, 0xFFFFFFu);
  const uint32_t blue = palette.GetRGBQuad(zxBlue) & 0xFFFFFF,
                 brightBlue = palette.GetRGBQuad(zxBright + zxBlue) & 0xFFFFFF;
  EXPECT_EQ(blue & 0xFFFF00, 0u);
  EXPECT_GT(brightBlue, blue);
  TVePalette256 machine;
  ZxSpectrumMakePalette(machine, c.Options->PaletteType());
  const auto used = CheckCells(*c.Result, 8, Colours(machine), 2);
  EXPECT_GE(used.size(), 6u);

  ASSERT_EQ(c.Files->Count(), 1);
  const TVeStream* prf = c.Files->GetStream(0);
  EXPECT_EQ(prf->Extension, "prf");
  ASSERT_EQ(int(prf->Bytes().size()), ProfiFileBytes);
  RegisterProfiLoaders();
  auto folder = Saved(*prf);
  auto list = ProbeSource(folder.get());
  auto* e = Loader<TVeProfiSourceEngine>(*list);
  ASSERT_TRUE(e);
  EXPECT_EQ(list->Engines(0), e);
  EXPECT_TRUE(*e->CreateBitmap()->ToBitmap32() == *c.Result->ToBitmap32());
}

TEST(Profi, SameFileWithAnyWorkerCount) {
  EXPECT_TRUE(FilesWithWorkers(1, "Profi", "512x240x4") ==
              FilesWithWorkers(3, "Profi", "512x240x4"));
}

TEST(Profi, WrongSizesAreRefused) {
  RegisterProfiLoaders();
  for (int size : {ProfiFileBytes - 1, ProfiFileBytes + 1, 6912}) {
    TFolder folder("bad.prf", TBytes(size, 0x47));
    auto list = ProbeSource(&folder);
    EXPECT_FALSE(Loader<TVeProfiSourceEngine>(*list)) << size;
    TVeProfiSourceEngine direct(&folder);
    const std::string message = Message(direct);
    EXPECT_NE(message.find("bad.prf"), std::string::npos) << message;
    EXPECT_NE(message.find("32768"), std::string::npos) << message;
  }
}
