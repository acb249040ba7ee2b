// UKNC: the 16 colours, the planes, eight colours a line on a photograph with the line
// palettes in the file, the file read back to exactly the preview, and files of the wrong
// size.
#include <gtest/gtest.h>

#include <set>

#include "VeErrors.h"
#include "VeThreadJob.h"
#include "platforms/msx/test_msx_support.h"
#include "uknc/VeOpenPlatformUknc.h"
#include "uknc/VePlatformUknc.h"
#include "uknc/VeSavePlatformUknc.h"

using namespace msxtest;

TEST(Uknc, ColoursAndPlanes) {
  const TVePalette256& p = UkncPalette();
  ASSERT_EQ(p.Count(), 16);
  const std::pair<int, uint32_t> levels[] = {{0, 0x000000},  {1, 0x000080}, {4, 0x800000},
                                             {7, 0x808080},  {8, 0x000000}, {10, 0x00FF00},
                                             {14, 0xFFFF00}, {15, 0xFFFFFF}};
  for (const auto& [c, q] : levels)
    EXPECT_EQ(p.GetRGBQuad(c) & 0xFFFFFF, q) << c;
  EXPECT_EQ(UkncColorNumber(0xFF0000), 12);
  // Pixel (9, 1) of value 5: byte 81, bit 1, of planes 0 and 2.
  std::vector<uint8_t> planes(UkncScreenBytes);
  TVeUkncScreen s(planes.data());
  s.SetPixel(9, 1, 5);
  EXPECT_EQ(planes[81], 0x02);
  EXPECT_EQ(planes[UkncPlaneBytes + 81], 0);
  EXPECT_EQ(planes[2 * UkncPlaneBytes + 81], 0x02);
  EXPECT_EQ(UkncPixel(planes.data(), 9, 1), 5);
}

TEST(Uknc, PhotographTakesEightColoursALineAndReadsBack) {
  const TConversion r = ConvertPhoto("UKNC", "640x288x3");
  ASSERT_EQ(r.Files->Count(), 1);
  EXPECT_EQ(r.Files->GetExtension(0), "ukn");
  const std::vector<uint8_t>& f = r.Files->GetStream(0)->Bytes();
  ASSERT_EQ(int(f.size()), UkncFileBytes);
  std::set<uint32_t> allowed;
  for (int i = 0; i < 16; ++i)
    allowed.insert(UkncPalette().GetRGBQuad(i) & 0xFFFFFF);
  const auto shown = r.Result->ToBitmap32();
  std::set<uint32_t> used;
  std::set<uint32_t> words;
  for (int y = 0; y < UkncHeight; ++y) {
    std::set<uint32_t> line;
    for (int x = 0; x < UkncWidth; ++x) {
      const uint32_t q = shown->Pixel(x, y) & 0xFFFFFF;
      ASSERT_TRUE(allowed.count(q)) << x << "," << y;
      line.insert(q);
    }
    ASSERT_LE(line.size(), 8u) << y;
    used.insert(line.begin(), line.end());
    const uint8_t* w = f.data() + UkncScreenBytes + 4 * y;
    words.insert(uint32_t(w[0]) | uint32_t(w[1]) << 8 | uint32_t(w[2]) << 16 |
                 uint32_t(w[3]) << 24);
  }
  EXPECT_GT(used.size(), 8u) << "lines take different colours";
  EXPECT_GT(words.size(), 1u);
  RegisterUkncLoaders();
  auto folder = Saved(*r.Files->GetStream(0));
  auto list = ProbeSource(folder.get());
  auto* e = Loader<TVeUkncSourceEngine>(*list);
  ASSERT_TRUE(e);
  EXPECT_TRUE(*e->CreateBitmap()->ToBitmap32() == *shown);
}

TEST(Uknc, SameFileWithAnyWorkerCount) {
  auto file = [](int workers) {
    SetProcessorCount(workers);
    std::vector<uint8_t> f = ConvertPhoto("UKNC", "640x288x3").Files->GetStream(0)->Bytes();
    SetProcessorCount(0);
    return f;
  };
  EXPECT_TRUE(file(1) == file(3));
}

TEST(Uknc, FilesOfTheWrongSizeAreRefused) {
  RegisterUkncLoaders();
  for (size_t size : {size_t(UkncScreenBytes), size_t(UkncFileBytes + 1)}) {
    TFolder folder("odd.ukn", TBytes(size, 0));
    auto list = ProbeSource(&folder);
    EXPECT_FALSE(Loader<TVeUkncSourceEngine>(*list));
    TVeUkncSourceEngine direct(&folder);
    try {
      direct.CreateBitmap();
      ADD_FAILURE() << size;
    } catch (const EVeError& e) {
      EXPECT_NE(std::string(e.what()).find("odd.ukn"), std::string::npos);
      EXPECT_NE(std::string(e.what()).find("70272"), std::string::npos);
    }
  }
}
