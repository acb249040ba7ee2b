// Corvette: the 16 colours, the planes and lookup bytes, eight colours of the 16 on a
// photograph read back to exactly the preview, and files that lie.
#include <gtest/gtest.h>

#include <set>

#include "VeErrors.h"
#include "VeThreadJob.h"
#include "corvette/VeOpenPlatformCorvette.h"
#include "corvette/VePlatformCorvette.h"
#include "corvette/VeSavePlatformCorvette.h"
#include "platforms/msx/test_msx_support.h"

using namespace msxtest;

TEST(Corvette, ColoursPlanesAndLookupBytes) {
  const TVePalette256& p = CorvettePalette();
  ASSERT_EQ(p.Count(), 16);
  const std::pair<int, uint32_t> levels[] = {{0, 0x000000}, {1, 0x0000C0},  {6, 0xC0C000},
                                             {8, 0x3F3F3F}, {12, 0xFF3F3F}, {15, 0xFFFFFF}};
  for (const auto& [c, q] : levels)
    EXPECT_EQ(p.GetRGBQuad(c) & 0xFFFFFF, q) << c;
  EXPECT_EQ(CorvetteLutByte(3, 12), 0xC3);
  // Pixel (9, 1) of value 6: byte 65, bit 6, of planes 1 and 2.
  std::vector<uint8_t> planes(CorvetteScreenBytes);
  CorvetteSetPixel(planes.data(), 9, 1, 6);
  EXPECT_EQ(planes[65], 0);
  EXPECT_EQ(planes[CorvettePlaneBytes + 65], 0x40);
  EXPECT_EQ(planes[2 * CorvettePlaneBytes + 65], 0x40);
  EXPECT_EQ(CorvettePixel(planes.data(), 9, 1), 6);
}

TEST(Corvette, PhotographTakesEightOfTheColoursAndReadsBack) {
  const TConversion r = ConvertPhoto("Corvette", "512x256x3");
  ASSERT_EQ(r.Files->Count(), 1);
  EXPECT_EQ(r.Files->GetExtension(0), "kor");
  const std::vector<uint8_t>& f = r.Files->GetStream(0)->Bytes();
  ASSERT_EQ(int(f.size()), CorvetteFileBytes);
  std::set<uint32_t> allowed, used;
  for (int i = 0; i < 16; ++i)
    allowed.insert(CorvettePalette().GetRGBQuad(i) & 0xFFFFFF);
  const auto shown = r.Result->ToBitmap32();
  for (int y = 0; y < CorvetteHeight; ++y)
    for (int x = 0; x < CorvetteWidth; ++x) {
      const uint32_t q = shown->Pixel(x, y) & 0xFFFFFF;
      ASSERT_TRUE(allowed.count(q)) << x << "," << y;
      used.insert(q);
    }
  EXPECT_LE(used.size(), 8u);
  EXPECT_GE(used.size(), 5u);
  for (int i = 0; i < CorvetteLutEntries; ++i)
    EXPECT_EQ(f[size_t(CorvetteScreenBytes + i)] & 15, i);
  RegisterCorvetteLoaders();
  auto folder = Saved(*r.Files->GetStream(0));
  auto list = ProbeSource(folder.get());
  auto* e = Loader<TVeCorvetteSourceEngine>(*list);
  ASSERT_TRUE(e);
  EXPECT_TRUE(*e->CreateBitmap()->ToBitmap32() == *shown);
}

TEST(Corvette, SameFileWithAnyWorkerCount) {
  auto file = [](int workers) {
    SetProcessorCount(workers);
    std::vector<uint8_t> f = ConvertPhoto("Corvette", "512x256x3").Files->GetStream(0)->Bytes();
    SetProcessorCount(0);
    return f;
  };
  EXPECT_TRUE(file(1) == file(3));
}

TEST(Corvette, FilesThatLieAreRefused) {
  RegisterCorvetteLoaders();
  TBytes good(CorvetteFileBytes, 0);
  for (int i = 0; i < CorvetteLutEntries; ++i)
    good[size_t(CorvetteScreenBytes + i)] = CorvetteLutByte(i, 15 - i);
  {
    TFolder folder("pic.kor", good);
    EXPECT_TRUE(Loader<TVeCorvetteSourceEngine>(*ProbeSource(&folder)));
  }
  TBytes shuffled = good;
  std::swap(shuffled[size_t(CorvetteScreenBytes)], shuffled[size_t(CorvetteScreenBytes + 1)]);
  TFolder lying("pic.kor", shuffled);
  EXPECT_FALSE(Loader<TVeCorvetteSourceEngine>(*ProbeSource(&lying)));
  EXPECT_THROW(TVeCorvetteSourceEngine(&lying).CreateBitmap(), EVeError);
  TFolder cut("odd.kor", TBytes(good.begin(), good.end() - 1));
  EXPECT_FALSE(Loader<TVeCorvetteSourceEngine>(*ProbeSource(&cut)));
  try {
    TVeCorvetteSourceEngine(&cut).CreateBitmap();
    ADD_FAILURE();
  } catch (const EVeError& e) {
    EXPECT_NE(std::string(e.what()).find("odd.kor"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("49160"), std::string::npos);
  }
}
