// PMD 85: the colours and the ColorAce pairing, the screen bytes, each mode's cell rule on a
// photograph, the dumps read back to exactly the preview, and dumps of the wrong size.
#include <gtest/gtest.h>

#include <set>

#include "VeErrors.h"
#include "VeThreadJob.h"
#include "platforms/msx/test_msx_support.h"
#include "pmd85/VeOpenPlatformPmd85.h"
#include "pmd85/VePlatformPmd85.h"
#include "pmd85/VeSavePlatformPmd85.h"

using namespace msxtest;

namespace {

std::unique_ptr<TVeBitmap> Reopen(const TVeStream& stream) {
  RegisterPmd85Loaders();
  auto folder = Saved(stream);
  auto list = ProbeSource(folder.get());
  if (!list || list->Count() == 0) return nullptr;
  return list->Engines(0)->CreateBitmap();
}

std::set<uint32_t> Colours(const TVePalette256& p) {
  std::set<uint32_t> s;
  for (int i = 0; i < p.Count(); ++i)
    s.insert(p.GetRGBQuad(i) & 0xFFFFFF);
  return s;
}

} // namespace

TEST(Pmd85, ColoursAndColorAcePairs) {
  const TVePalette256& rgb = Pmd85Palette();
  ASSERT_EQ(rgb.Count(), 5);
  const uint32_t standard[5] = {0x000000, 0x00FF00, 0xFF0000, 0x0000FF, 0xFF00FF};
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(rgb.GetRGBQuad(i) & 0xFFFFFF, standard[i]) << i;
  const TVePalette256& ace = Pmd85ColorAcePalette();
  ASSERT_EQ(ace.Count(), 8);
  const uint32_t seven[8] = {0x000000, 0x00FF00, 0xFFFF00, 0x00FFFF,
                             0xFFFFFF, 0xFF0000, 0xFF00FF, 0x0000FF};
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(ace.GetRGBQuad(i) & 0xFFFFFF, seven[i]) << i;
  // Green, yellow, cyan, white; red, white, magenta; blue, magenta; magenta.
  EXPECT_EQ(Pmd85ColorAceColor(0, 0), 1);
  EXPECT_EQ(Pmd85ColorAceColor(0, 1), 2);
  EXPECT_EQ(Pmd85ColorAceColor(1, 2), 4);
  EXPECT_EQ(Pmd85ColorAceColor(1, 1), 5);
  EXPECT_EQ(Pmd85ColorAceColor(2, 2), 7);
  EXPECT_EQ(Pmd85ColorAceColor(3, 3), 6);
  for (int a = 0; a < 4; ++a)
    for (int b = 0; b < 4; ++b)
      EXPECT_EQ(Pmd85ColorAceColor(a, b), Pmd85ColorAceColor(b, a));
  // The pair written for each colour shows that colour.
  for (int c = 1; c < 8; ++c) {
    const int attr = Pmd85ColorAceAttr(c);
    EXPECT_EQ(Pmd85ColorAceColor(attr >> 2, attr & 3), c) << c;
  }
}

TEST(Pmd85, ScreenBytes) {
  std::vector<uint8_t> mem(Pmd85ScreenBytes);
  TVePmd85Screen plain(mem.data(), 1);
  // Pixel 7 of line 1: byte 1 of the line at 64, bit 1; the attribute sits above the pixels.
  plain.SetPixel(7, 1, 1);
  plain.SetAttr(1, 1, 2);
  EXPECT_EQ(mem[65], 0x82);
  EXPECT_EQ(plain.GetPixel(7, 1), 1);
  EXPECT_EQ(plain.GetAttr(1, 1), 2);
  EXPECT_EQ(Pmd85PixelColor(mem.data(), 7, 1, false), 3);
  EXPECT_EQ(Pmd85PixelColor(mem.data(), 6, 1, false), 0);
  plain.SetPixel(287, 255, 1);
  EXPECT_EQ(mem[255 * 64 + 47], 0x20);
  // ColorAce: cell row 1 is lines 2 and 3.
  std::vector<uint8_t> ace(Pmd85ScreenBytes);
  TVePmd85Screen pairs(ace.data(), 2);
  pairs.SetAttr(0, 1, Pmd85ColorAceAttr(6));
  pairs.SetPixel(0, 3, 1);
  EXPECT_EQ(ace[2 * 64], 0x40);
  EXPECT_EQ(ace[3 * 64], 0xC1);
  EXPECT_EQ(pairs.GetAttr(0, 1), Pmd85ColorAceAttr(6));
  EXPECT_EQ(Pmd85PixelColor(ace.data(), 0, 3, true), 6);
}

TEST(Pmd85, PhotographKeepsOneColourPerCellAndReadsBack) {
  for (const char* mode : {"288x256x2", "288x256x2 ColorAce"}) {
    SCOPED_TRACE(mode);
    const bool colorAce = std::string(mode).find("ColorAce") != std::string::npos;
    const TConversion r = ConvertPhoto("PMD 85", mode);
    ASSERT_EQ(r.Files->Count(), 1);
    EXPECT_EQ(r.Files->GetExtension(0), colorAce ? "pca" : "p85");
    const std::vector<uint8_t>& dump = r.Files->GetStream(0)->Bytes();
    ASSERT_EQ(int(dump.size()), Pmd85ScreenBytes);
    for (int y = 0; y < Pmd85Height; ++y)
      for (int c = Pmd85ShownBytes; c < Pmd85RowBytes; ++c)
        ASSERT_EQ(dump[size_t(y * Pmd85RowBytes + c)], 0) << "free bytes stay clear";
    const std::set<uint32_t> machine = Colours(colorAce ? Pmd85ColorAcePalette() : Pmd85Palette());
    const auto shown = r.Result->ToBitmap32();
    const int h = colorAce ? 2 : 1;
    std::set<uint32_t> used;
    for (int cy = 0; cy < Pmd85Height; cy += h)
      for (int cx = 0; cx < Pmd85Width; cx += 6) {
        std::set<uint32_t> lit;
        for (int y = cy; y < cy + h; ++y)
          for (int x = cx; x < cx + 6; ++x) {
            const uint32_t q = shown->Pixel(x, y) & 0xFFFFFF;
            ASSERT_TRUE(machine.count(q)) << x << "," << y;
            used.insert(q);
            if (q != 0) lit.insert(q);
          }
        ASSERT_LE(lit.size(), 1u) << cx << "," << cy;
      }
    EXPECT_GE(used.size(), colorAce ? 5u : 4u) << "the photograph takes most colours";
    auto back = Reopen(*r.Files->GetStream(0));
    ASSERT_TRUE(back);
    EXPECT_TRUE(*back->ToBitmap32() == *shown);
  }
}

TEST(Pmd85, SameFilesWithAnyWorkerCount) {
  auto all = [](int workers) {
    SetProcessorCount(workers);
    std::vector<std::vector<uint8_t>> files;
    for (const char* mode : {"288x256x2", "288x256x2 ColorAce"})
      files.push_back(ConvertPhoto("PMD 85", mode).Files->GetStream(0)->Bytes());
    SetProcessorCount(0);
    return files;
  };
  EXPECT_TRUE(all(1) == all(3));
}

TEST(Pmd85, DumpsOfTheWrongSizeAreRefusedByName) {
  RegisterPmd85Loaders();
  TFolder good("pic.p85", TBytes(Pmd85ScreenBytes, 0x41));
  auto list = ProbeSource(&good);
  ASSERT_TRUE(Loader<TVePmd85SourceEngine>(*list));
  EXPECT_FALSE(Loader<TVePmd85ColorAceSourceEngine>(*list)) << "the extension tells them apart";
  for (int size : {Pmd85ScreenBytes - 1, Pmd85ScreenBytes + 2, 0}) {
    TFolder bad("short.pca", TBytes(size_t(size), 0));
    auto found = ProbeSource(&bad);
    EXPECT_FALSE(found && Loader<TVePmd85ColorAceSourceEngine>(*found));
    TVePmd85ColorAceSourceEngine direct(&bad);
    try {
      direct.CreateBitmap();
      ADD_FAILURE() << "a dump of " << size << " bytes was read";
    } catch (const EVeError& e) {
      EXPECT_NE(std::string(e.what()).find("short.pca"), std::string::npos);
      EXPECT_NE(std::string(e.what()).find("16384"), std::string::npos);
    }
  }
}
