// Specialist: the MX colours at both levels, the column-major screen and colour bytes, each
// mode's cell rule on a photograph, the tape files read back to exactly the preview (the MX
// only with its colour memory), and tape files that do not hold the screen.
#include <gtest/gtest.h>

#include <set>

#include "VeErrors.h"
#include "VeThreadJob.h"
#include "platforms/msx/test_msx_support.h"
#include "spetsialist/VeOpenPlatformSpetsialist.h"
#include "spetsialist/VePlatformSpetsialist.h"
#include "spetsialist/VeSavePlatformSpetsialist.h"

using namespace msxtest;

namespace {

TConversion Convert(const char* mode, TVePaletteType type = SpecialistMxLevels) {
  return ConvertPhoto("Specialist", mode, [mode, type](TVeDestEngineOptions& o) {
    if (std::string(mode) == "384x256 MX") o.SetPaletteType(type);
  });
}

std::unique_ptr<TVeSourceEngineList> Probe(TFolder& folder) {
  RegisterSpecialistLoaders();
  return ProbeSource(&folder);
}

std::string Message(TVeSourceEngine& e) {
  try {
    e.CreateBitmap();
  } catch (const EVeError& err) {
    return err.what();
  }
  return "";
}

} // namespace

TEST(Specialist, MxColoursAtBothLevels) {
  TVePalette256 emu, cga;
  SpecialistMakeMxPalette(emu, SpecialistMxLevels);
  SpecialistMakeMxPalette(cga, SpecialistMxCgaLevels);
  ASSERT_EQ(emu.Count(), 16);
  ASSERT_EQ(cga.Count(), 16);
  // IRGB: bit 0 blue, bit 2 red, bit 3 intensity.
  const std::pair<int, uint32_t> emuLevels[] = {{0, 0x000000},  {1, 0x0000C0}, {4, 0xC00000},
                                                {7, 0xC0C0C0},  {8, 0x808080}, {9, 0x0000FF},
                                                {14, 0xFFFF00}, {15, 0xFFFFFF}};
  for (const auto& [c, q] : emuLevels)
    EXPECT_EQ(emu.GetRGBQuad(c) & 0xFFFFFF, q) << c;
  const std::pair<int, uint32_t> cgaLevels[] = {{1, 0x0000AA}, {6, 0xAA5500}, {7, 0xAAAAAA},
                                                {8, 0x555555}, {9, 0x5555FF}, {15, 0xFFFFFF}};
  for (const auto& [c, q] : cgaLevels)
    EXPECT_EQ(cga.GetRGBQuad(c) & 0xFFFFFF, q) << c;
  EXPECT_EQ(SpecialistMonoPalette().Count(), 2);
}

TEST(Specialist, ColumnMajorScreenAndColourBytes) {
  std::vector<uint8_t> video(SpecialistScreenBytes), colors(SpecialistScreenBytes);
  TVeSpecialistScreen s(video.data(), colors.data());
  // Pixel (9, 3): column 1, the column's byte of line 3, bit 6.
  s.SetPixel(9, 3, 1);
  s.SetAttr(1, 3, 0xE1);
  EXPECT_EQ(video[256 + 3], 0x40);
  EXPECT_EQ(colors[256 + 3], 0xE1);
  EXPECT_EQ(s.GetPixel(9, 3), 1);
  EXPECT_EQ(s.GetAttr(1, 3), 0xE1);
  s.SetPixel(383, 255, 1);
  EXPECT_EQ(video[47 * 256 + 255], 0x01);
}

TEST(Specialist, PhotographKeepsTheCellRuleAndReadsBack) {
  const TConversion mono = Convert("384x256");
  ASSERT_EQ(mono.Files->Count(), 1);
  EXPECT_EQ(mono.Files->GetExtension(0), "rks");
  EXPECT_EQ(mono.Files->GetStream(0)->SubCount(), 0);
  const std::vector<uint8_t>& tape = mono.Files->GetStream(0)->Bytes();
  ASSERT_EQ(int(tape.size()), SpecialistRksBytes);
  EXPECT_EQ(TBytes(tape.begin(), tape.begin() + 4), (TBytes{0x00, 0x90, 0xFF, 0xBF}));
  {
    const auto shown = mono.Result->ToBitmap32();
    std::set<uint32_t> used;
    for (int y = 0; y < SpecialistHeight; ++y)
      for (int x = 0; x < SpecialistWidth; ++x)
        used.insert(shown->Pixel(x, y) & 0xFFFFFF);
    EXPECT_EQ(used, (std::set<uint32_t>{0x000000, 0xFFFFFF}));
    auto folder = Saved(*mono.Files->GetStream(0));
    auto list = Probe(*folder);
    ASSERT_GT(list->Count(), 0);
    EXPECT_TRUE(dynamic_cast<TVeSpecialistSourceEngine*>(list->Engines(0)));
    EXPECT_TRUE(*list->Engines(0)->CreateBitmap()->ToBitmap32() == *shown);
  }
  for (TVePaletteType type : {SpecialistMxLevels, SpecialistMxCgaLevels}) {
    SCOPED_TRACE(int(type));
    const TConversion mx = Convert("384x256 MX", type);
    const TVeStream* rks = mx.Files->GetStream(0);
    ASSERT_EQ(rks->SubCount(), 1);
    EXPECT_EQ(rks->GetSubStream(0)->Extension, "mxc");
    ASSERT_EQ(int(rks->GetSubStream(0)->Bytes().size()), SpecialistScreenBytes);
    TVePalette256 machine;
    SpecialistMakeMxPalette(machine, type);
    std::set<uint32_t> allowed;
    for (int i = 0; i < 16; ++i)
      allowed.insert(machine.GetRGBQuad(i) & 0xFFFFFF);
    const auto shown = mx.Result->ToBitmap32();
    std::set<uint32_t> used;
    for (int y = 0; y < SpecialistHeight; ++y)
      for (int cx = 0; cx < SpecialistWidth; cx += 8) {
        std::set<uint32_t> cell;
        for (int x = cx; x < cx + 8; ++x) {
          const uint32_t q = shown->Pixel(x, y) & 0xFFFFFF;
          ASSERT_TRUE(allowed.count(q)) << x << "," << y;
          cell.insert(q);
        }
        ASSERT_LE(cell.size(), 2u) << cx << "," << y;
        used.insert(cell.begin(), cell.end());
      }
    EXPECT_GE(used.size(), 8u);
    auto folder = Saved(*rks);
    auto list = Probe(*folder);
    auto* e = Loader<TVeSpecialistMxSourceEngine>(*list);
    ASSERT_TRUE(e);
    EXPECT_EQ(list->Engines(0), e) << "the colour memory makes it an MX screen";
    e->PaletteType = type;
    EXPECT_TRUE(*e->CreateBitmap()->ToBitmap32() == *shown);
  }
}

TEST(Specialist, SameFilesWithAnyWorkerCount) {
  auto all = [](int workers) {
    SetProcessorCount(workers);
    const TConversion mono = Convert("384x256");
    const TConversion mx = Convert("384x256 MX");
    std::vector<std::vector<uint8_t>> files = {mono.Files->GetStream(0)->Bytes(),
                                               mx.Files->GetStream(0)->Bytes(),
                                               mx.Files->GetStream(0)->GetSubStream(0)->Bytes()};
    SetProcessorCount(0);
    return files;
  };
  EXPECT_TRUE(all(1) == all(3));
}

TEST(Specialist, TapeFilesThatDoNotHoldTheScreenAreRefused) {
  const TConversion mono = Convert("384x256");
  TBytes good = mono.Files->GetStream(0)->Bytes();
  TBytes checked = good;
  checked.push_back(0x12);
  checked.push_back(0x34);
  for (const TBytes& ok : {good, checked}) {
    TFolder folder("pic.rks", ok);
    auto list = Probe(folder);
    EXPECT_TRUE(Loader<TVeSpecialistSourceEngine>(*list)) << ok.size();
    EXPECT_FALSE(Loader<TVeSpecialistMxSourceEngine>(*list)) << "no colour memory beside it";
  }
  TBytes moved = good;
  moved[1] = 0x80; // loads at 8000h
  TBytes cut(good.begin(), good.end() - 1);
  TBytes longer = checked;
  longer.push_back(0);
  for (const TBytes& bad : {moved, cut, longer}) {
    TFolder folder("bad.rks", bad);
    auto list = Probe(folder);
    EXPECT_FALSE(Loader<TVeSpecialistSourceEngine>(*list)) << bad.size();
    TVeSpecialistSourceEngine direct(&folder);
    const std::string message = Message(direct);
    EXPECT_NE(message.find("bad.rks"), std::string::npos) << message;
    EXPECT_NE(message.find("12292"), std::string::npos) << message;
  }
  // Colour memory of the wrong size leaves the file a plain screen.
  TFolder shortColours("pic.rks", good);
  shortColours.Add("pic.mxc", TBytes(100, 0x70));
  auto list = Probe(shortColours);
  EXPECT_FALSE(Loader<TVeSpecialistMxSourceEngine>(*list));
  TVeSpecialistMxSourceEngine direct(&shortColours);
  EXPECT_NE(Message(direct).find("12288"), std::string::npos);
}
