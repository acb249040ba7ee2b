// MC 0515: the 16 colours, the byte pairs and the register byte, each mode's colour rule on a
// photograph read back to exactly the preview, and files that lie.
#include <gtest/gtest.h>

#include <set>

#include "VeErrors.h"
#include "VeThreadJob.h"
#include "mc0515/VeOpenPlatformMc0515.h"
#include "mc0515/VePlatformMc0515.h"
#include "mc0515/VeSavePlatformMc0515.h"
#include "platforms/msx/test_msx_support.h"

using namespace msxtest;

namespace {

const char* const Platform = "Elektronika MC 0515";

std::unique_ptr<TVeBitmap> Reopen(const TVeStream& stream) {
  RegisterMc0515Loaders();
  auto folder = Saved(stream);
  auto list = ProbeSource(folder.get());
  if (!list || list->Count() == 0) return nullptr;
  return list->Engines(0)->CreateBitmap();
}

} // namespace

TEST(Mc0515, ColoursAndBytes) {
  const TVePalette256& p = Mc0515Palette();
  ASSERT_EQ(p.Count(), 16);
  // Bit 0 blue, bit 1 red, bit 2 green; bright lifts the other channels to 7Fh.
  const std::pair<int, uint32_t> levels[] = {{1, 0x00007F}, {2, 0x7F0000}, {4, 0x007F00},
                                             {7, 0x7F7F7F}, {8, 0x7F7F7F}, {10, 0xFF7F7F},
                                             {15, 0xFFFFFF}};
  for (const auto& [c, q] : levels)
    EXPECT_EQ(p.GetRGBQuad(c) & 0xFFFFFF, q) << c;
  EXPECT_EQ(Mc0515Attr(5, 2, true), 0x55);
  std::vector<uint8_t> mem(Mc0515HiResFileBytes);
  TVeMc0515Screen cells(mem.data());
  // Pixel (9, 1): the pixel byte of cell 1 at 80 + 2, bit 6; its attribute follows.
  cells.SetPixel(9, 1, 1);
  cells.SetAttr(1, 1, 0x55);
  EXPECT_EQ(mem[82], 0x40);
  EXPECT_EQ(mem[83], 0x55);
  EXPECT_EQ(cells.GetAttr(1, 1), 0x55);
  TVeMc0515HiResScreen hires(mem.data());
  hires.SetPixel(639, 199, 1);
  hires.SetAttr(0, 0, 3);
  EXPECT_EQ(mem[Mc0515ScreenBytes - 1], 0x01);
  EXPECT_EQ(mem[Mc0515ScreenBytes], 0x0B);
}

TEST(Mc0515, PhotographKeepsEachModesRuleAndReadsBack) {
  {
    const TConversion r = ConvertPhoto(Platform, "320x200x4");
    EXPECT_EQ(r.Files->GetExtension(0), "m05");
    ASSERT_EQ(int(r.Files->GetStream(0)->Bytes().size()), Mc0515ScreenBytes);
    const auto shown = r.Result->ToBitmap32();
    std::set<uint32_t> used;
    for (int y = 0; y < 200; ++y)
      for (int cx = 0; cx < 320; cx += 8) {
        std::set<int> cell;
        for (int x = cx; x < cx + 8; ++x)
          cell.insert(r.Result->GetPixel(x, y));
        ASSERT_LE(cell.size(), 2u);
        // Ink and paper share the bright bit.
        ASSERT_EQ(*cell.begin() / 8, *cell.rbegin() / 8) << cx << "," << y;
        for (int c : cell)
          used.insert(uint32_t(c));
      }
    EXPECT_GE(used.size(), 6u);
    auto back = Reopen(*r.Files->GetStream(0));
    ASSERT_TRUE(back);
    EXPECT_TRUE(*back->ToBitmap32() == *shown);
  }
  {
    const TConversion r = ConvertPhoto(Platform, "640x200x1");
    EXPECT_EQ(r.Files->GetExtension(0), "m06");
    const std::vector<uint8_t>& f = r.Files->GetStream(0)->Bytes();
    ASSERT_EQ(int(f.size()), Mc0515HiResFileBytes);
    const int border = f.back() & 7;
    std::set<int> used;
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 640; ++x)
        used.insert(r.Result->GetPixel(x, y));
    EXPECT_EQ(used, (std::set<int>{border, border ^ 7}));
    auto back = Reopen(*r.Files->GetStream(0));
    ASSERT_TRUE(back);
    EXPECT_TRUE(*back->ToBitmap32() == *r.Result->ToBitmap32());
  }
}

TEST(Mc0515, SameFilesWithAnyWorkerCount) {
  auto all = [](int workers) {
    SetProcessorCount(workers);
    std::vector<std::vector<uint8_t>> files;
    for (const char* mode : {"320x200x4", "640x200x1"})
      files.push_back(ConvertPhoto(Platform, mode).Files->GetStream(0)->Bytes());
    SetProcessorCount(0);
    return files;
  };
  EXPECT_TRUE(all(1) == all(3));
}

TEST(Mc0515, FilesThatLieAreRefused) {
  RegisterMc0515Loaders();
  TBytes hires(Mc0515HiResFileBytes, 0);
  hires.back() = 0x0C;
  {
    TFolder folder("pic.m06", hires);
    EXPECT_TRUE(Loader<TVeMc0515HiResSourceEngine>(*ProbeSource(&folder)));
  }
  hires.back() = 0x04; // a 320-pixel register value
  TFolder folder("pic.m06", hires);
  EXPECT_FALSE(Loader<TVeMc0515HiResSourceEngine>(*ProbeSource(&folder)));
  TFolder cut("odd.m05", TBytes(Mc0515ScreenBytes - 2, 0));
  EXPECT_FALSE(Loader<TVeMc0515SourceEngine>(*ProbeSource(&cut)));
  try {
    TVeMc0515SourceEngine(&cut).CreateBitmap();
    ADD_FAILURE();
  } catch (const EVeError& e) {
    EXPECT_NE(std::string(e.what()).find("odd.m05"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("16000"), std::string::npos);
  }
}
