// DVK KCGD: the 64 register colours, the word layout, the photograph in sixteen of them read
// back to exactly the preview, and files that lie.
#include <gtest/gtest.h>

#include <set>

#include "VeErrors.h"
#include "VeThreadJob.h"
#include "dvkkcgd/VeOpenPlatformDvkKcgd.h"
#include "dvkkcgd/VePlatformDvkKcgd.h"
#include "dvkkcgd/VeSavePlatformDvkKcgd.h"
#include "platforms/msx/test_msx_support.h"
#include "platforms/test_palette_types.h"

using namespace msxtest;
using namespace typetest;

namespace {

TConversion Convert() {
  return ConvertPhoto("DVK KCGD", "400x240x4");
}

} // namespace

TEST(DvkKcgd, RegisterColours) {
  const std::vector<uint32_t> q = Quads(KcgdPalette());
  ASSERT_EQ(q.size(), 64u);
  // R bits 1-0, G bits 3-2, B bits 5-4.
  EXPECT_EQ(q[0x00], 0x000000u);
  EXPECT_EQ(q[0x01], 0x550000u);
  EXPECT_EQ(q[0x03], 0xFF0000u);
  EXPECT_EQ(q[0x08], 0x00AA00u);
  EXPECT_EQ(q[0x30], 0x0000FFu);
  EXPECT_EQ(q[0x3F], 0xFFFFFFu);
  EXPECT_EQ(std::set<uint32_t>(q.begin(), q.end()).size(), 64u);
}

TEST(DvkKcgd, WordLayout) {
  std::vector<uint8_t> lines(KcgdPixelBytes);
  // The word of pixels 4-7 of line 1: pixel 4 in bits 15-12, the high byte stored second.
  KcgdSetPixel(lines.data(), 4, 1, 0xA);
  KcgdSetPixel(lines.data(), 5, 1, 0xB);
  KcgdSetPixel(lines.data(), 6, 1, 0xC);
  KcgdSetPixel(lines.data(), 7, 1, 0xD);
  EXPECT_EQ(lines[200 + 2], 0xCD);
  EXPECT_EQ(lines[200 + 3], 0xAB);
  EXPECT_EQ(KcgdPixel(lines.data(), 5, 1), 0xB);
  KcgdSetPixel(lines.data(), 399, 239, 7);
  EXPECT_EQ(lines.back() + 0, 0);
  EXPECT_EQ(lines[KcgdPixelBytes - 2], 0x07);
}

TEST(DvkKcgd, PhotographInSixteenColoursReadsBack) {
  const TConversion r = Convert();
  ASSERT_EQ(r.Files->Count(), 1);
  EXPECT_EQ(r.Files->GetExtension(0), "kcg");
  const std::vector<uint8_t>& f = r.Files->GetStream(0)->Bytes();
  ASSERT_EQ(int(f.size()), KcgdFileBytes);
  const std::vector<uint32_t> all = Quads(KcgdPalette());
  const std::set<uint32_t> machine(all.begin(), all.end());
  const auto shown = r.Result->ToBitmap32();
  std::set<uint32_t> used;
  for (int y = 0; y < KcgdHeight; ++y)
    for (int x = 0; x < KcgdWidth; ++x) {
      const uint32_t c = shown->Pixel(x, y) & 0xFFFFFF;
      ASSERT_TRUE(machine.count(c)) << x << "," << y;
      ASSERT_EQ(c, all[f[size_t(KcgdPixelBytes + KcgdPixel(f.data(), x, y))]]);
      used.insert(c);
    }
  EXPECT_LE(used.size(), 16u);
  EXPECT_GE(used.size(), 10u);
  RegisterDvkKcgdLoaders();
  auto folder = Saved(*r.Files->GetStream(0));
  auto list = ProbeSource(folder.get());
  TVeKcgdSourceEngine* e = Loader<TVeKcgdSourceEngine>(*list);
  ASSERT_TRUE(e);
  EXPECT_TRUE(*e->CreateBitmap()->ToBitmap32() == *shown);
}

TEST(DvkKcgd, SameFileWithAnyWorkerCount) {
  auto file = [](int workers) {
    SetProcessorCount(workers);
    std::vector<uint8_t> bytes = Convert().Files->GetStream(0)->Bytes();
    SetProcessorCount(0);
    return bytes;
  };
  EXPECT_TRUE(file(1) == file(3));
}

TEST(DvkKcgd, FilesThatLieAreRefused) {
  RegisterDvkKcgdLoaders();
  TBytes bytes(KcgdFileBytes, 0);
  bytes.back() = 64; // not a six-bit value
  TFolder wide("pic.kcg", bytes);
  EXPECT_FALSE(Loader<TVeKcgdSourceEngine>(*ProbeSource(&wide)));
  TFolder cut("odd.kcg", TBytes(KcgdPixelBytes, 0));
  EXPECT_FALSE(Loader<TVeKcgdSourceEngine>(*ProbeSource(&cut)));
  try {
    TVeKcgdSourceEngine(&cut).CreateBitmap();
    ADD_FAILURE();
  } catch (const EVeError& e) {
    EXPECT_NE(std::string(e.what()).find("odd.kcg"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("48016"), std::string::npos);
  }
}
