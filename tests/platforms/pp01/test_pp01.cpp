// PP01: the eight colours at both levels, the three planes, a photograph in the machine's
// colours read back to exactly the preview, and files of the wrong size.
#include <gtest/gtest.h>

#include <set>

#include "VeErrors.h"
#include "VeThreadJob.h"
#include "platforms/msx/test_msx_support.h"
#include "pp01/VeOpenPlatformPp01.h"
#include "pp01/VePlatformPp01.h"
#include "pp01/VeSavePlatformPp01.h"

using namespace msxtest;

namespace {

TConversion Convert(TVePaletteType type = Pp01FullLevels, int colours = 0) {
  return ConvertPhoto("PP01", "256x256x3", [type, colours](TVeDestEngineOptions& o) {
    o.SetPaletteType(type);
    if (colours) o.SetMaxColorCount(colours);
  });
}

} // namespace

TEST(Pp01, ColoursAndPlanes) {
  TVePalette256 full, half;
  Pp01MakePalette(full, Pp01FullLevels);
  Pp01MakePalette(half, Pp01HalfLevels);
  ASSERT_EQ(full.Count(), 8);
  EXPECT_EQ(full.GetRGBQuad(4) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(full.GetRGBQuad(3) & 0xFFFFFF, 0x00FFFFu);
  EXPECT_EQ(half.GetRGBQuad(7) & 0xFFFFFF, 0x808080u);
  EXPECT_EQ(half.GetRGBQuad(1) & 0xFFFFFF, 0x000080u);
  // Pixel (9, 2) in yellow: byte 2 * 32 + 1, bit 6, of the red and green planes.
  std::vector<uint8_t> planes(Pp01FileBytes);
  Pp01SetPixel(planes.data(), 9, 2, 6);
  EXPECT_EQ(planes[65], 0x40);
  EXPECT_EQ(planes[Pp01PlaneBytes + 65], 0x40);
  EXPECT_EQ(planes[2 * Pp01PlaneBytes + 65], 0);
  EXPECT_EQ(Pp01Pixel(planes.data(), 9, 2), 6);
  Pp01SetPixel(planes.data(), 9, 2, 1);
  EXPECT_EQ(planes[65] | planes[Pp01PlaneBytes + 65], 0);
  EXPECT_EQ(planes[2 * Pp01PlaneBytes + 65], 0x40);
}

TEST(Pp01, PhotographInTheMachinesColoursReadsBack) {
  for (TVePaletteType type : {Pp01FullLevels, Pp01HalfLevels}) {
    for (int colours : {0, 4}) {
      SCOPED_TRACE(std::to_string(int(type)) + " " + std::to_string(colours));
      const TConversion r = Convert(type, colours);
      ASSERT_EQ(r.Files->Count(), 1);
      EXPECT_EQ(r.Files->GetExtension(0), "pp1");
      ASSERT_EQ(int(r.Files->GetStream(0)->Bytes().size()), Pp01FileBytes);
      TVePalette256 machine;
      Pp01MakePalette(machine, type);
      std::set<uint32_t> allowed, used;
      for (int i = 0; i < 8; ++i)
        allowed.insert(machine.GetRGBQuad(i) & 0xFFFFFF);
      const auto shown = r.Result->ToBitmap32();
      for (int y = 0; y < Pp01Size; ++y)
        for (int x = 0; x < Pp01Size; ++x) {
          const uint32_t q = shown->Pixel(x, y) & 0xFFFFFF;
          ASSERT_TRUE(allowed.count(q)) << x << "," << y;
          used.insert(q);
        }
      if (colours)
        EXPECT_LE(int(used.size()), colours);
      else
        EXPECT_GE(used.size(), 6u);
      RegisterPp01Loaders();
      auto folder = Saved(*r.Files->GetStream(0));
      auto list = ProbeSource(folder.get());
      auto* e = Loader<TVePp01SourceEngine>(*list);
      ASSERT_TRUE(e);
      e->PaletteType = type;
      EXPECT_TRUE(*e->CreateBitmap()->ToBitmap32() == *shown);
    }
  }
}

TEST(Pp01, SameFileWithAnyWorkerCount) {
  auto file = [](int workers) {
    SetProcessorCount(workers);
    std::vector<uint8_t> f = Convert().Files->GetStream(0)->Bytes();
    SetProcessorCount(0);
    return f;
  };
  EXPECT_TRUE(file(1) == file(3));
}

TEST(Pp01, FilesOfTheWrongSizeAreRefused) {
  RegisterPp01Loaders();
  for (size_t size : {size_t(Pp01FileBytes - 1), size_t(Pp01FileBytes + 1)}) {
    TFolder folder("odd.pp1", TBytes(size, 0));
    auto list = ProbeSource(&folder);
    EXPECT_FALSE(Loader<TVePp01SourceEngine>(*list));
    TVePp01SourceEngine direct(&folder);
    try {
      direct.CreateBitmap();
      ADD_FAILURE() << size;
    } catch (const EVeError& e) {
      EXPECT_NE(std::string(e.what()).find("odd.pp1"), std::string::npos);
      EXPECT_NE(std::string(e.what()).find("24576"), std::string::npos);
    }
  }
}
