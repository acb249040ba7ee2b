// The BBC Micro engines: colours and packing of the video ULA, the colour limit of every mode
// on a photograph, the screen dump and its VDU palette read back to exactly the preview.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeGenericEngine.h"
#include "VePlatforms.h"
#include "VeThreadJob.h"
#include "bbcmicro/VeOpenPlatformBbcMicro.h"
#include "bbcmicro/VeSavePlatformBbcMicro.h"
#include "platforms/msx/test_msx_support.h"

using namespace msxtest;

namespace {

struct TRun {
  std::unique_ptr<TVeBitmap> Result;
  std::unique_ptr<TVeStreamList> Files;
  std::unique_ptr<TVeDestEngineOptions> Options;
};

TRun ConvertMode(const TVeBbcModeInfo& m,
                 const std::function<void(TVeDestEngineOptions&)>& setup = {}) {
  VeRegisterPlatforms();
  const TVeDestEngineClass* c = DestEngineList().Find("BBC Micro", m.Name);
  if (!c || c->GetModeName() != m.Name) throw std::runtime_error("no engine");
  TRun r;
  r.Options = c->Create()->CreateOptions();
  if (setup) {
    r.Options->BeginUpdate();
    setup(*r.Options);
    r.Options->EndUpdate();
  }
  TVeDestProgress progress;
  static std::map<int, TVeBitmap32> photos;
  if (!photos.count(m.Width)) photos.emplace(m.Width, Photo(m.Width, BbcScreenHeight));
  r.Result =
      c->Convert(nullptr, photos.at(m.Width), r.Files, progress, *r.Options, nullptr, nullptr);
  return r;
}

std::set<uint32_t> ColoursOf(const TVeBitmap& bmp) {
  std::set<uint32_t> colours;
  const auto b32 = bmp.ToBitmap32();
  for (int y = 0; y < b32->Height(); ++y)
    for (int x = 0; x < b32->Width(); ++x)
      colours.insert(b32->Pixel(x, y) & 0xFFFFFF);
  return colours;
}

// The dump and its palette file, opened as a user would open the dump.
void ExpectRoundTrip(const TRun& r, const TVeBbcModeInfo& m) {
  ASSERT_EQ(r.Files->Count(), 1);
  const TVeStream& dump = *r.Files->GetStream(0);
  EXPECT_EQ(dump.Extension, "bb" + std::to_string(m.Mode));
  EXPECT_EQ(int(dump.Bytes().size()), m.ScreenBytes());
  auto folder = Saved(dump);
  RegisterBbcMicroLoaders();
  auto list = ProbeSource(folder.get());
  ASSERT_EQ(list->Count(), 1);
  std::unique_ptr<TVeBitmap> bmp = list->Engines(0)->CreateBitmap();
  ASSERT_TRUE(bmp);
  EXPECT_EQ(list->Engines(0)->PixelAspect, m.Aspect);
  EXPECT_TRUE(*bmp->ToBitmap32() == *r.Result->ToBitmap32()) << m.Name;
}

} // namespace

TEST(BbcMicro, ColoursAndPacking) {
  const uint32_t expected[8] = {0x000000, 0xFF0000, 0x00FF00, 0xFFFF00,
                                0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
  for (int c = 0; c < 8; ++c) {
    EXPECT_EQ(BbcPhysicalRGB(c), expected[c]);
    EXPECT_EQ(BbcPhysicalRGB(c + 8), expected[c]) << "a flashing colour shows its first phase";
  }
  EXPECT_EQ(BbcDefaultLogical(BbcModeInfo(1)), (std::vector<int>{0, 1, 3, 7}));
  EXPECT_EQ(BbcDefaultLogical(BbcModeInfo(4)), (std::vector<int>{0, 7}));
  // Mode 1: &F0 is colour 2 in all four pixels, &0F colour 1; &88 colour 3 in the first.
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(BbcUnpackPixel(0xF0, x, 2), 2);
    EXPECT_EQ(BbcUnpackPixel(0x0F, x, 2), 1);
  }
  EXPECT_EQ(BbcUnpackPixel(0x88, 0, 2), 3);
  EXPECT_EQ(BbcUnpackPixel(0x88, 1, 2), 0);
  // Mode 2: bits 7, 5, 3, 1 are the left pixel.
  EXPECT_EQ(BbcUnpackPixel(0xAA, 0, 4), 15);
  EXPECT_EQ(BbcUnpackPixel(0xAA, 1, 4), 0);
  EXPECT_EQ(BbcUnpackPixel(0x02, 0, 4), 1);
  for (int bits : {1, 2, 4})
    for (int x = 0; x < 8 / bits; ++x)
      for (int c = 0; c < 1 << bits; ++c)
        EXPECT_EQ(BbcUnpackPixel(BbcPackPixel(c, x, bits), x, bits), c);
  // Character cells: the ninth pixel of mode 0 is in byte 8, the ninth row one character row
  // (640 bytes) down.
  std::vector<uint8_t> mem(20480);
  TVeBbcScreen screen(BbcModeInfo(0), mem.data());
  screen.SetPixel(8, 0, 1);
  screen.SetPixel(0, 9, 1);
  EXPECT_EQ(mem[8], 0x80);
  EXPECT_EQ(mem[641], 0x80);
  EXPECT_EQ(BbcModeInfo(0).LoadAddress(), 0x3000);
  EXPECT_EQ(BbcModeInfo(5).LoadAddress(), 0x5800);
}

TEST(BbcMicro, EnginesOptionsAndPanels) {
  VeRegisterPlatforms();
  TVeDestEngineList& list = DestEngineList();
  const TVeDestSubTypes& modes = list.GetSubTypes(list.IndexOf("BBC Micro"));
  ASSERT_EQ(modes.Count(), 5);
  for (int i = 0; i < 5; ++i) {
    const TVeBbcModeInfo& m = BbcModes()[size_t(i)];
    EXPECT_EQ(modes.Strings(i), m.Name);
    const TVeDestEngineClass* c = modes.GetEngineClass(i);
    EXPECT_EQ(dynamic_cast<const TVeGenericEngineClass*>(c), nullptr);
    EXPECT_FALSE(c->PreviewOnly());
    auto engine = c->Create();
    auto o = engine->CreateOptions();
    EXPECT_EQ(o->Width(), m.Width);
    EXPECT_EQ(o->Height(), 256);
    EXPECT_EQ(o->AspectIndex(), m.Aspect);
    EXPECT_EQ(o->MaxColorCount(), m.Shown());
    auto ui = engine->CreateUI(*o);
    ASSERT_TRUE(ui->Find(ciPaletteMode));
    EXPECT_EQ(ui->Find(ciPaletteMode)->Values, (std::vector<int>{0, 11, 16}));
    EXPECT_EQ(ui->Find(ciMaxColorCount)->Max, m.Shown());
    EXPECT_FALSE(ui->Has(ciLimitErrorInsideBlock));
    EXPECT_EQ(o->BasePalette().Count(), 8);
  }
}

TEST(BbcMicro, PhotographKeepsTheModesColoursAndReadsBack) {
  for (const TVeBbcModeInfo& m : BbcModes()) {
    SCOPED_TRACE(m.Name);
    const TRun r = ConvertMode(m);
    const std::set<uint32_t> colours = ColoursOf(*r.Result);
    EXPECT_LE(int(colours.size()), m.Shown());
    EXPECT_GE(int(colours.size()), 2);
    for (uint32_t c : colours)
      for (int shift : {0, 8, 16}) // full-level channels only
        EXPECT_TRUE((c >> shift & 0xFF) == 0 || (c >> shift & 0xFF) == 0xFF) << std::hex << c;
    ExpectRoundTrip(r, m);
  }
  // A colour limit, black and white, and a custom choice of three colours.
  const TVeBbcModeInfo& m1 = BbcModeInfo(1);
  const TRun three = ConvertMode(m1, [](TVeDestEngineOptions& o) { o.SetMaxColorCount(3); });
  EXPECT_LE(ColoursOf(*three.Result).size(), 3u);
  ExpectRoundTrip(three, m1);
  const TRun bw = ConvertMode(BbcModeInfo(2),
                              [](TVeDestEngineOptions& o) { o.SetPaletteMode(bbcModeBlackWhite); });
  EXPECT_EQ(ColoursOf(*bw.Result), (std::set<uint32_t>{0x000000, 0xFFFFFF}));
  ExpectRoundTrip(bw, BbcModeInfo(2));
  const TRun custom = ConvertMode(BbcModeInfo(5), [](TVeDestEngineOptions& o) {
    o.SetPaletteMode(bbcModeCustom);
    TVeAllowedColors allowed{};
    allowed[1] = allowed[4] = allowed[6] = 1; // red, blue, cyan
    o.SetAllowedColors1(allowed);
  });
  for (uint32_t c : ColoursOf(*custom.Result))
    EXPECT_TRUE(c == 0xFF0000 || c == 0x0000FF || c == 0x00FFFF) << std::hex << c;
  ExpectRoundTrip(custom, BbcModeInfo(5));
  // More colours marked than the mode shows: the best four of them.
  const TRun five = ConvertMode(BbcModeInfo(1), [](TVeDestEngineOptions& o) {
    o.SetPaletteMode(bbcModeCustom);
    TVeAllowedColors allowed{};
    allowed[0] = allowed[2] = allowed[3] = allowed[5] = allowed[7] = 1;
    o.SetAllowedColors1(allowed);
  });
  const std::set<uint32_t> fiveColours = ColoursOf(*five.Result);
  EXPECT_LE(fiveColours.size(), 4u);
  for (uint32_t c : fiveColours)
    EXPECT_TRUE(c == 0 || c == 0x00FF00 || c == 0xFFFF00 || c == 0xFF00FF || c == 0xFFFFFF)
        << std::hex << c;
  ExpectRoundTrip(five, BbcModeInfo(1));
}

TEST(BbcMicro, LoaderNeedsItsExtensionSizeAndAWellFormedPalette) {
  RegisterBbcMicroLoaders();
  const TBytes dump(20480, 0xF0);
  TFolder wrongExt("pic.bin", dump);
  EXPECT_EQ(ProbeSource(&wrongExt)->Count(), 0);
  TFolder shortDump("pic.bb1", TBytes(20479, 0));
  EXPECT_EQ(ProbeSource(&shortDump)->Count(), 0);
  // Mode 1 without a palette file: colour 2 is yellow.
  TFolder plain("pic.bb1", dump);
  auto list = ProbeSource(&plain);
  ASSERT_EQ(list->Count(), 1);
  auto bmp = list->Engines(0)->CreateBitmap();
  EXPECT_EQ(bmp->ToBitmap32()->Pixel(5, 100) & 0xFFFFFF, 0xFFFF00u);
  // A palette file with anything but VDU 19 commands is ignored and said so.
  TFolder bad("pic.bb1", dump);
  bad.Add("pic.vdu", TBytes{19, 2, 4, 0, 0, 0, 22, 1});
  auto badList = ProbeSource(&bad);
  ASSERT_EQ(badList->Count(), 1);
  EXPECT_NE(badList->Engines(0)->Description.find("ignored"), std::string::npos);
  EXPECT_EQ(badList->Engines(0)->CreateBitmap()->ToBitmap32()->Pixel(5, 100) & 0xFFFFFF, 0xFFFF00u);
  TFolder good("pic.bb1", dump);
  good.Add("pic.vdu", TBytes{19, 2, 4, 0, 0, 0});
  EXPECT_EQ(ProbeSource(&good)->Engines(0)->CreateBitmap()->ToBitmap32()->Pixel(5, 100) & 0xFFFFFF,
            0x0000FFu);
}

TEST(BbcMicro, OneAndSeveralWorkersAgree) {
  for (const TVeBbcModeInfo& m : BbcModes()) {
    SCOPED_TRACE(m.Name);
    SetProcessorCount(1);
    const TRun one = ConvertMode(m);
    SetProcessorCount(3);
    const TRun three = ConvertMode(m);
    SetProcessorCount(0);
    EXPECT_EQ(one.Files->GetStream(0)->Bytes(), three.Files->GetStream(0)->Bytes());
    EXPECT_EQ(one.Files->GetStream(0)->GetSubStream(0)->Bytes(),
              three.Files->GetStream(0)->GetSubStream(0)->Bytes());
  }
}
