// BK-0011: the 16 palettes at both red levels, the word layouts and ".bin" headers, each mode
// on a photograph read back to exactly the preview (the colour one with its palette register
// file), and files that are not the screen.
#include <gtest/gtest.h>

#include <set>

#include "VeErrors.h"
#include "VeThreadJob.h"
#include "bk0011/VeOpenPlatformBk0011.h"
#include "bk0011/VePlatformBk0011.h"
#include "bk0011/VeSavePlatformBk0011.h"
#include "platforms/msx/test_msx_support.h"
#include "platforms/test_palette_types.h"

using namespace msxtest;
using namespace typetest;

namespace {

TConversion Convert(const char* mode, TVePaletteType levels = Bk0011LinearLevels) {
  return ConvertWithType("BK-0011", mode, levels);
}

} // namespace

TEST(Bk0011, PalettesAtBothRedLevels) {
  TVePalette256 p;
  Bk0011MakePalette(p, 0, Bk0011LinearLevels);
  EXPECT_EQ(Quads(p), (std::vector<uint32_t>{0x000000, 0x0000FF, 0x00FF00, 0xFF0000}));
  Bk0011MakePalette(p, 6, Bk0011LinearLevels);
  EXPECT_EQ(Quads(p), (std::vector<uint32_t>{0x000000, 0xAA0000, 0x550000, 0xFF0000}));
  Bk0011MakePalette(p, 9, Bk0011LinearLevels);
  EXPECT_EQ(Quads(p), (std::vector<uint32_t>{0x000000, 0x55FF00, 0x5500FF, 0x550000}));
  Bk0011MakePalette(p, 10, Bk0011EmulatorLevels);
  EXPECT_EQ(Quads(p), (std::vector<uint32_t>{0x000000, 0xC0FF00, 0xC000FF, 0xC00000}));
  Bk0011MakePalette(p, 15, Bk0011EmulatorLevels);
  EXPECT_EQ(Quads(p), (std::vector<uint32_t>{0x000000, 0x00FFFF, 0x00FF00, 0xFFFFFF}));
  for (int n = 0; n < Bk0011Palettes; ++n) {
    Bk0011MakePalette(p, n, Bk0011EmulatorLevels);
    EXPECT_EQ(p.GetRGBQuad(0) & 0xFFFFFF, 0u) << "value 0 is black in palette " << n;
  }
}

TEST(Bk0011, WordLayoutsAndHeaders) {
  std::vector<uint8_t> screen(Bk0011ScreenBytes);
  // Colour: the leftmost pixel in bits 1-0 of the first byte of the line.
  Bk0011SetPixel(screen.data(), 4, 1, 3, true);
  Bk0011SetPixel(screen.data(), 5, 1, 2, true);
  EXPECT_EQ(screen[65], 0x0B);
  EXPECT_EQ(Bk0011Pixel(screen.data(), 5, 1, true), 2);
  // Black and white: bit 0 leftmost.
  Bk0011SetPixel(screen.data(), 511, 255, 1, false);
  EXPECT_EQ(screen[Bk0011ScreenBytes - 1], 0x80);
  uint8_t header[4];
  Bk0011WriteBinHeader(header, Bk0011ScreenAddress, Bk0011ScreenBytes);
  EXPECT_EQ(TBytes(header, header + 4), (TBytes{0x00, 0x40, 0x00, 0x40}));
}

TEST(Bk0011, PhotographUsesOnePaletteAndReadsBack) {
  for (TVePaletteType levels : {Bk0011LinearLevels, Bk0011EmulatorLevels}) {
    SCOPED_TRACE(int(levels));
    const TConversion r = Convert("256x256x2", levels);
    const TVeStream* bin = r.Files->GetStream(0);
    EXPECT_EQ(bin->Extension, "bin");
    ASSERT_EQ(int(bin->Bytes().size()), Bk0011FileBytes);
    ASSERT_EQ(bin->SubCount(), 1);
    const std::vector<uint8_t>& reg = bin->GetSubStream(0)->Bytes();
    ASSERT_EQ(int(reg.size()), Bk0011RegisterFileBytes);
    EXPECT_EQ(TBytes(reg.begin(), reg.begin() + 4), (TBytes{0xB2, 0xFF, 0x02, 0x00}));
    EXPECT_EQ(reg[4], 0) << "bits 7-0 of the word";
    EXPECT_EQ(reg[5] & 0xF0, 0) << "bit 14 clear: the frame interrupt stays on";
    TVePalette256 p;
    Bk0011MakePalette(p, reg[5] & 15, levels);
    const std::vector<uint32_t> q = Quads(p);
    const std::set<uint32_t> allowed(q.begin(), q.end());
    const auto shown = r.Result->ToBitmap32();
    std::set<uint32_t> used;
    for (int y = 0; y < 256; ++y)
      for (int x = 0; x < 256; ++x) {
        const uint32_t c = shown->Pixel(x, y) & 0xFFFFFF;
        ASSERT_TRUE(allowed.count(c)) << x << "," << y;
        used.insert(c);
      }
    EXPECT_GE(used.size(), 3u);
    RegisterBk0011Loaders();
    auto folder = Saved(*bin);
    auto list = ProbeSource(folder.get());
    ASSERT_GT(list->Count(), 0);
    auto* e = dynamic_cast<TVeBk0011SourceEngine*>(list->Engines(0));
    ASSERT_TRUE(e) << "the register file makes it the colour screen";
    EXPECT_TRUE(e->Notes.empty());
    e->PaletteType = levels;
    EXPECT_TRUE(*e->CreateBitmap()->ToBitmap32() == *shown);
  }
  const TConversion mono = Convert("512x256x1");
  ASSERT_EQ(mono.Files->GetStream(0)->SubCount(), 0);
  RegisterBk0011Loaders();
  auto folder = Saved(*mono.Files->GetStream(0));
  auto list = ProbeSource(folder.get());
  auto* e = Loader<TVeBk0011MonoSourceEngine>(*list);
  ASSERT_TRUE(e);
  EXPECT_TRUE(*e->CreateBitmap()->ToBitmap32() == *mono.Result->ToBitmap32());
  // Without its register file the colour reading shows palette 0 and says so.
  auto* colour = Loader<TVeBk0011SourceEngine>(*list);
  ASSERT_TRUE(colour);
  EXPECT_EQ(colour->Notes.size(), 1u);
}

TEST(Bk0011, SameFilesWithAnyWorkerCount) {
  auto all = [](int workers) {
    SetProcessorCount(workers);
    const TConversion colour = Convert("256x256x2");
    std::vector<std::vector<uint8_t>> files = {colour.Files->GetStream(0)->Bytes(),
                                               colour.Files->GetStream(0)->GetSubStream(0)->Bytes(),
                                               Convert("512x256x1").Files->GetStream(0)->Bytes()};
    SetProcessorCount(0);
    return files;
  };
  EXPECT_TRUE(all(1) == all(3));
}

TEST(Bk0011, FilesThatAreNotTheScreenAreRefused) {
  RegisterBk0011Loaders();
  TBytes screen(Bk0011FileBytes, 0);
  Bk0011WriteBinHeader(screen.data(), Bk0011ScreenAddress, Bk0011ScreenBytes);
  TBytes elsewhere = screen;
  elsewhere[1] = 0x20; // loads at 020000
  TFolder moved("pic.bin", elsewhere);
  EXPECT_FALSE(Loader<TVeBk0011SourceEngine>(*ProbeSource(&moved)));
  EXPECT_THROW(TVeBk0011SourceEngine(&moved).CreateBitmap(), EVeError);
  TFolder cut("odd.bin", TBytes(screen.begin(), screen.end() - 1));
  EXPECT_FALSE(Loader<TVeBk0011MonoSourceEngine>(*ProbeSource(&cut)));
  try {
    TVeBk0011MonoSourceEngine(&cut).CreateBitmap();
    ADD_FAILURE();
  } catch (const EVeError& e) {
    EXPECT_NE(std::string(e.what()).find("odd.bin"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("16388"), std::string::npos);
  }
}
