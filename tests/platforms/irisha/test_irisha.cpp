// Irisha: the colour port's inks and papers, the screen bytes, each mode on a photograph read
// back to exactly the preview, and files whose mode byte lies.
#include <gtest/gtest.h>

#include <set>

#include "VeErrors.h"
#include "VeThreadJob.h"
#include "irisha/VeOpenPlatformIrisha.h"
#include "irisha/VePlatformIrisha.h"
#include "irisha/VeSavePlatformIrisha.h"
#include "platforms/msx/test_msx_support.h"

using namespace msxtest;

TEST(Irisha, ColourPortInksAndPapers) {
  // Inks white, blue, green, cyan, red, magenta, yellow, white; papers black, blue, green,
  // magenta (bit 3 + 2 x bit 5).
  const int inks[8] = {7, 1, 2, 3, 4, 5, 6, 7}, papers[4] = {0, 1, 2, 5};
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(IrishaInk(i), inks[i]);
  for (int p = 0; p < 4; ++p) {
    EXPECT_EQ(IrishaPaper(p), papers[p]);
    EXPECT_EQ(IrishaPortPaper(IrishaColorPort(3, p)), p);
  }
  EXPECT_EQ(IrishaColorPort(6, 1), 0x0E);
  EXPECT_EQ(IrishaColorPort(6, 2), 0x26);
  EXPECT_EQ(IrishaColors().GetRGBQuad(6) & 0xFFFFFF, 0xFFFF00u);
  std::vector<uint8_t> mem(IrishaLowResFileBytes);
  TVeIrishaScreen s(mem.data());
  s.SetPixel(9, 1, 1);
  s.SetAttr(0, 0, 0x26);
  EXPECT_EQ(mem[41], 0x40);
  EXPECT_EQ(mem[IrishaLowResBytes], IrishaLowResMode);
  EXPECT_EQ(s.GetAttr(0, 0), 0x26);
}

TEST(Irisha, PhotographKeepsEachModesColoursAndReadsBack) {
  RegisterIrishaLoaders();
  for (const char* mode : {"320x200x1", "640x200x1"}) {
    SCOPED_TRACE(mode);
    const bool high = std::string(mode) == "640x200x1";
    const TConversion r = ConvertPhoto("Irisha", mode);
    EXPECT_EQ(r.Files->GetExtension(0), high ? "ir6" : "ir3");
    const std::vector<uint8_t>& f = r.Files->GetStream(0)->Bytes();
    ASSERT_EQ(int(f.size()), high ? IrishaHighResFileBytes : IrishaLowResFileBytes);
    std::set<uint32_t> expected;
    if (high) {
      EXPECT_EQ(f.back(), IrishaHighResMode);
      expected = {0x000000, 0xFFFFFF};
    } else {
      const uint8_t port = f.back();
      expected = {IrishaColors().GetRGBQuad(IrishaInk(IrishaPortInk(port))) & 0xFFFFFF,
                  IrishaColors().GetRGBQuad(IrishaPaper(IrishaPortPaper(port))) & 0xFFFFFF};
    }
    const auto shown = r.Result->ToBitmap32();
    std::set<uint32_t> used;
    for (int y = 0; y < shown->Height(); ++y)
      for (int x = 0; x < shown->Width(); ++x)
        used.insert(shown->Pixel(x, y) & 0xFFFFFF);
    EXPECT_EQ(used, expected);
    auto folder = Saved(*r.Files->GetStream(0));
    auto list = ProbeSource(folder.get());
    ASSERT_GT(list->Count(), 0);
    EXPECT_TRUE(*list->Engines(0)->CreateBitmap()->ToBitmap32() == *shown);
  }
}

TEST(Irisha, SameFilesWithAnyWorkerCount) {
  auto all = [](int workers) {
    SetProcessorCount(workers);
    std::vector<std::vector<uint8_t>> files;
    for (const char* mode : {"320x200x1", "640x200x1"})
      files.push_back(ConvertPhoto("Irisha", mode).Files->GetStream(0)->Bytes());
    SetProcessorCount(0);
    return files;
  };
  EXPECT_TRUE(all(1) == all(3));
}

TEST(Irisha, FilesWhoseModeByteLiesAreRefused) {
  RegisterIrishaLoaders();
  TBytes low(IrishaLowResFileBytes, 0);
  low[IrishaLowResBytes] = IrishaHighResMode;
  TFolder wrong("pic.ir3", low);
  EXPECT_FALSE(Loader<TVeIrishaSourceEngine>(*ProbeSource(&wrong)));
  low[IrishaLowResBytes] = IrishaLowResMode;
  TFolder right("pic.ir3", low);
  EXPECT_TRUE(Loader<TVeIrishaSourceEngine>(*ProbeSource(&right)));
  TFolder cut("odd.ir6", TBytes(IrishaHighResBytes, 0));
  EXPECT_FALSE(Loader<TVeIrishaHighResSourceEngine>(*ProbeSource(&cut)));
  try {
    TVeIrishaHighResSourceEngine(&cut).CreateBitmap();
    ADD_FAILURE();
  } catch (const EVeError& e) {
    EXPECT_NE(std::string(e.what()).find("odd.ir6"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("16001"), std::string::npos);
  }
}
