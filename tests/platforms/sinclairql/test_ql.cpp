// The Sinclair QL engines: the pixel words of modes 4 and 8 and the GD2 16-bit pixels, the
// colours of every mode on a photograph, the files read back to exactly the preview.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VePlatforms.h"
#include "VeThreadJob.h"
#include "platforms/msx/test_msx_support.h"
#include "sinclairql/VeOpenPlatformSinclairQl.h"
#include "sinclairql/VePlatformSinclairQl.h"
#include "sinclairql/VeSavePlatformSinclairQl.h"

using namespace msxtest;

namespace {

struct TRun {
  std::unique_ptr<TVeBitmap> Result;
  std::unique_ptr<TVeStreamList> Files;
  std::unique_ptr<TVeDestEngineOptions> Options;
};

TRun ConvertMode(int mode, const std::function<void(TVeDestEngineOptions&)>& setup = {}) {
  VeRegisterPlatforms();
  const TVeDestEngineClass* c = DestEngineList().Find("Sinclair QL", SinclairQlModeName(mode));
  if (!c || c->GetModeName() != SinclairQlModeName(mode)) throw std::runtime_error("no engine");
  TRun r;
  r.Options = c->Create()->CreateOptions();
  if (setup) {
    r.Options->BeginUpdate();
    setup(*r.Options);
    r.Options->EndUpdate();
  }
  static std::map<std::pair<int, int>, TVeBitmap32> photos;
  const std::pair<int, int> size{r.Options->Width(), r.Options->Height()};
  if (!photos.count(size)) photos.emplace(size, Photo(size.first, size.second));
  TVeDestProgress progress;
  r.Result = c->Convert(nullptr, photos.at(size), r.Files, progress, *r.Options, nullptr, nullptr);
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

// The stream of that extension opened by the loader of class T.
template <class T> void ExpectRoundTrip(const TRun& r, const std::string& ext, bool first = true) {
  const TVeStream* s = FindStream(*r.Files, ext);
  ASSERT_TRUE(s) << ext;
  auto folder = Saved(*s);
  RegisterSinclairQlLoaders();
  auto list = ProbeSource(folder.get());
  ASSERT_GT(list->Count(), 0);
  if (first) {
    EXPECT_NE(dynamic_cast<T*>(list->Engines(0)), nullptr) << list->Engines(0)->Description;
  }
  T* e = Loader<T>(*list);
  ASSERT_TRUE(e);
  std::unique_ptr<TVeBitmap> bmp = e->CreateBitmap();
  ASSERT_TRUE(bmp);
  EXPECT_TRUE(*bmp->ToBitmap32() == *r.Result->ToBitmap32()) << e->Description;
}

} // namespace

TEST(SinclairQl, ColoursAndPixelWords) {
  EXPECT_EQ(QlColorRGB(0), 0x000000u);
  EXPECT_EQ(QlColorRGB(1), 0x0000FFu);
  EXPECT_EQ(QlColorRGB(2), 0xFF0000u);
  EXPECT_EQ(QlColorRGB(4), 0x00FF00u);
  EXPECT_EQ(QlColorRGB(6), 0xFFFF00u);
  EXPECT_EQ(QlColorRGB(7), 0xFFFFFFu);
  TVePalette256 four;
  QlMakeMode4Palette(four);
  EXPECT_EQ(four.GetRGBQuad(1), 0xFF0000u);
  EXPECT_EQ(four.GetRGBQuad(2), 0x00FF00u);
  std::vector<uint8_t> mem(QlScreenBytes);
  // Mode 4: the first pixel white sets bit 7 of both bytes; pixel 9 green is the next word.
  TVeQlScreen m4(4, mem.data());
  m4.SetPixel(0, 0, 3);
  m4.SetPixel(8, 1, 2);
  EXPECT_EQ(mem[0], 0x80);
  EXPECT_EQ(mem[1], 0x80);
  EXPECT_EQ(mem[128 + 2], 0x80);
  EXPECT_EQ(mem[128 + 3], 0x00);
  std::fill(mem.begin(), mem.end(), 0);
  // Mode 8: pixel 1 yellow (green + red) uses bit 5 of both bytes, blue bit 4 of the odd one.
  TVeQlScreen m8(8, mem.data());
  m8.SetPixel(1, 0, 6);
  m8.SetPixel(2, 0, 1);
  EXPECT_EQ(mem[0], 0x20);
  EXPECT_EQ(mem[1], 0x20 | 0x04);
  EXPECT_EQ(m8.GetPixel(1, 0), 6);
  EXPECT_EQ(m8.GetPixel(2, 0), 1);
  EXPECT_FALSE(QlAnyFlashBit(mem.data()));
  mem[0] |= 0x40;
  EXPECT_TRUE(QlAnyFlashBit(mem.data()));
  // GD2: mode 32 keeps 5-6-5 with the low byte first, mode 33 is GGGGGRRRRRBBBBBW.
  const uint16_t red32 = QlGd2Encode(32, 31, 0, 0);
  EXPECT_EQ(red32, 0x00F8);
  EXPECT_EQ(QlGd2Decode(32, 0x00, 0xF8), (std::array<int, 3>{31, 0, 0}));
  EXPECT_EQ(QlGd2Decode(32, 0xE0, 0x07), (std::array<int, 3>{0, 63, 0}));
  EXPECT_EQ(QlGd2Encode(33, 0, 31, 0), 0xF800);
  EXPECT_EQ(QlGd2Decode(33, 0xFF, 0xFF), (std::array<int, 3>{63, 63, 63}));
  EXPECT_EQ(QlGd2RGB(33, {63, 63, 63}), 0xFFFFFFu);
  EXPECT_EQ(QlGd2RGB(32, {31, 63, 31}), 0xFFFFFFu);
}

TEST(SinclairQl, EnginesOptionsAndPlaceholder) {
  VeRegisterPlatforms();
  TVeDestEngineList& list = DestEngineList();
  const TVeDestSubTypes& modes = list.GetSubTypes(list.IndexOf("Sinclair QL"));
  ASSERT_EQ(modes.Count(), 5);
  EXPECT_TRUE(modes.GetEngineClass(2)->PreviewOnly()); // GD2 16 keeps its placeholder
  const int order[5] = {4, 8, 0, 32, 33};
  const int aspect[5] = {5, 15, 0, 11, 11};
  for (int i : {0, 1, 3, 4}) {
    EXPECT_EQ(modes.Strings(i), SinclairQlModeName(order[i]));
    EXPECT_FALSE(modes.GetEngineClass(i)->PreviewOnly());
    auto engine = modes.GetEngineClass(i)->Create();
    auto o = engine->CreateOptions();
    EXPECT_EQ(o->AspectIndex(), aspect[i]);
    auto ui = engine->CreateUI(*o);
    EXPECT_EQ(ui->Has(ciPaletteMode), order[i] < 32);
  }
}

TEST(SinclairQl, PhotographKeepsTheModesColoursAndReadsBack) {
  const TRun m4 = ConvertMode(4);
  EXPECT_EQ(ColoursOf(*m4.Result), (std::set<uint32_t>{0, 0xFF0000, 0x00FF00, 0xFFFFFF}));
  EXPECT_EQ(FindStream(*m4.Files, "scr")->Bytes().size(), 32768u);
  EXPECT_EQ(FindStream(*m4.Files, "pic")->Bytes().size(), 32778u);
  ExpectRoundTrip<TVeSinclairQlMode4SourceEngine>(m4, "scr");
  ExpectRoundTrip<TVeSinclairQlPicSourceEngine>(m4, "pic");

  const TRun m8 = ConvertMode(8);
  const std::set<uint32_t> eight = ColoursOf(*m8.Result);
  EXPECT_LE(eight.size(), 8u);
  EXPECT_GE(eight.size(), 5u);
  for (uint32_t c : eight)
    EXPECT_EQ(c, QlColorRGB((c & 0xFF0000 ? 2 : 0) | (c & 0xFF00 ? 4 : 0) | (c & 0xFF ? 1 : 0)));
  ExpectRoundTrip<TVeSinclairQlMode8SourceEngine>(m8, "scr");
  ExpectRoundTrip<TVeSinclairQlPicSourceEngine>(m8, "pic");

  const TRun bw =
      ConvertMode(8, [](TVeDestEngineOptions& o) { o.SetPaletteMode(qlModeBlackWhite); });
  EXPECT_EQ(ColoursOf(*bw.Result), (std::set<uint32_t>{0, 0xFFFFFF}));
  ExpectRoundTrip<TVeSinclairQlMode8SourceEngine>(bw, "scr");

  for (int mode : {32, 33}) {
    SCOPED_TRACE(mode);
    const TRun r = ConvertMode(mode);
    ASSERT_EQ(r.Files->Count(), 1);
    EXPECT_EQ(r.Files->GetStream(0)->Bytes().size(), size_t(10 + 512 * 480 * 2));
    const std::set<uint32_t> colours = ColoursOf(*r.Result);
    EXPECT_GT(colours.size(), 1000u);
    const TVePaletteRGB& hw = QlGd2Palette(mode);
    for (uint32_t c : colours)
      EXPECT_GE(hw.FindExact(c), 0) << std::hex << c;
    ExpectRoundTrip<TVeSinclairQlPicSourceEngine>(r, "pic");
  }
}

TEST(SinclairQl, LoadersRankAndRefuse) {
  RegisterSinclairQlLoaders();
  // A dump without flash bits ranks mode 8 first; with them mode 4.
  TFolder plain("pic_scr", TBytes(QlScreenBytes, 0x22));
  auto list = ProbeSource(&plain);
  ASSERT_EQ(list->Count(), 2);
  EXPECT_NE(dynamic_cast<TVeSinclairQlMode8SourceEngine*>(list->Engines(0)), nullptr);
  TFolder flashing("pic.scr", TBytes(QlScreenBytes, 0x55));
  auto list4 = ProbeSource(&flashing);
  EXPECT_NE(dynamic_cast<TVeSinclairQlMode4SourceEngine*>(list4->Engines(0)), nullptr);
  // PIC headers that promise more than the file holds, or an unknown mode, are refused.
  TBytes pic(QlPicHeaderBytes + 128 * 256);
  QlWritePicHeader(pic.data(), 512, 256, 128, 4);
  TFolder good("a.pic", pic);
  EXPECT_NE(Loader<TVeSinclairQlPicSourceEngine>(*ProbeSource(&good)), nullptr);
  QlWritePicHeader(pic.data(), 512, 257, 128, 4);
  TFolder tall("a.pic", pic);
  EXPECT_EQ(Loader<TVeSinclairQlPicSourceEngine>(*ProbeSource(&tall)), nullptr);
  QlWritePicHeader(pic.data(), 512, 256, 64, 4);
  TFolder narrow("a.pic", pic);
  EXPECT_EQ(Loader<TVeSinclairQlPicSourceEngine>(*ProbeSource(&narrow)), nullptr);
  QlWritePicHeader(pic.data(), 64, 64, 128, 16);
  TFolder unknown("a.pic", pic);
  EXPECT_EQ(Loader<TVeSinclairQlPicSourceEngine>(*ProbeSource(&unknown)), nullptr);
  QlWritePicHeader(pic.data(), 64, 64, 128, 33);
  TFolder small("a.pic", pic);
  EXPECT_NE(Loader<TVeSinclairQlPicSourceEngine>(*ProbeSource(&small)), nullptr);
}

TEST(SinclairQl, OneAndSeveralWorkersAgree) {
  for (int mode : {4, 8, 32, 33}) {
    SCOPED_TRACE(mode);
    SetProcessorCount(1);
    const TRun one = ConvertMode(mode);
    SetProcessorCount(3);
    const TRun three = ConvertMode(mode);
    SetProcessorCount(0);
    for (int i = 0; i < one.Files->Count(); ++i)
      EXPECT_EQ(one.Files->GetStream(i)->Bytes(), three.Files->GetStream(i)->Bytes());
  }
}
