// The Timex engines: the high-colour and high-resolution layouts, the colour rule of each
// mode on a photograph, the files read back to exactly the preview, and the placeholder left.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeGenericEngine.h"
#include "VePlatforms.h"
#include "VeThreadJob.h"
#include "platforms/msx/test_msx_support.h"
#include "timex/VeOpenPlatformTimex.h"
#include "timex/VePlatformTimex.h"
#include "timex/VeSavePlatformTimex.h"

using namespace msxtest;

namespace {

struct TRun {
  std::unique_ptr<TVeBitmap> Result;
  std::unique_ptr<TVeStreamList> Files;
  std::unique_ptr<TVeDestEngineOptions> Options;
};

TRun ConvertMode(const std::string& mode,
                 const std::function<void(TVeDestEngineOptions&)>& setup = {}) {
  VeRegisterPlatforms();
  const TVeDestEngineClass* c = DestEngineList().Find("Timex", mode);
  if (!c || c->GetModeName() != mode) throw std::runtime_error("no engine");
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

// The most colours any cell of w x h pixels of the preview holds.
int MostColoursPerCell(const TVeBitmap& bmp, int w, int h) {
  const auto b32 = bmp.ToBitmap32();
  size_t most = 0;
  for (int cy = 0; cy < b32->Height(); cy += h)
    for (int cx = 0; cx < b32->Width(); cx += w) {
      std::set<uint32_t> cell;
      for (int y = cy; y < cy + h && y < b32->Height(); ++y)
        for (int x = cx; x < cx + w && x < b32->Width(); ++x)
          cell.insert(b32->Pixel(x, y) & 0xFFFFFF);
      most = std::max(most, cell.size());
    }
  return int(most);
}

// The file read back by the loader ranked first, with the conversion's palette type.
void ExpectRoundTrip(const TRun& r, const std::string& loaderName) {
  ASSERT_EQ(r.Files->Count(), 1);
  auto folder = Saved(*r.Files->GetStream(0));
  RegisterTimexLoaders();
  auto list = ProbeSource(folder.get());
  ASSERT_GT(list->Count(), 0);
  TVeSourceEngine* e = list->Engines(0);
  EXPECT_NE(e->Description.find(loaderName), std::string::npos) << e->Description;
  e->PaletteType = r.Options->PaletteType();
  std::unique_ptr<TVeBitmap> bmp = e->CreateBitmap();
  ASSERT_TRUE(bmp);
  EXPECT_TRUE(*bmp->ToBitmap32() == *r.Result->ToBitmap32()) << e->Description;
}

} // namespace

TEST(Timex, LayoutsAndColours) {
  // Byte column 1 of the high-resolution screen is column 0 of the second display file.
  EXPECT_EQ(TimexHiResOffset(0, 0), 0);
  EXPECT_EQ(TimexHiResOffset(0, 1), 6144);
  EXPECT_EQ(TimexHiResOffset(1, 63), 6144 + 256 + 31);
  // OUT 255 with bits 3-5 the paper: 6 is white ink on black, 62 black on white.
  EXPECT_EQ(TimexHiResPort(zxWhite), 6);
  EXPECT_EQ(TimexHiResPort(zxBlack), 62);
  EXPECT_EQ(TimexHiResInk(6 | 1 << 3), zxYellow);
  EXPECT_EQ(TimexHiResPaper(zxBlue), zxYellow);
  EXPECT_EQ(TimexHiResPaper(zxRed), zxCyan);
  // The pairs are the eight complementary bright pairs of the Spectrum palette.
  TVePalette256 zx;
  ZxSpectrumMakePalette(zx, ptColoredLinear);
  TVeTimexHiResPaletteList pairs(zx, false), bw(zx, true);
  ASSERT_EQ(pairs.Count(), 8);
  ASSERT_EQ(bw.Count(), 2);
  for (int i = 0; i < 8; ++i) {
    const auto* p = static_cast<const TVeCellPaperIncPalette*>(pairs.GetPalette(i));
    EXPECT_EQ(p->Ink, zxBright + i);
    EXPECT_EQ(p->Paper + p->Ink, 2 * zxBright + 7);
    EXPECT_EQ(p->Palette->GetRGBQuad(1), ZxSpectrumColorRGB(ptColoredLinear, zxBright + i));
  }
  std::vector<uint8_t> mem(TimexHiResBytes);
  TVeTimexHiResScreen screen(mem.data());
  screen.SetPixel(8, 0, 1);
  screen.SetAttr(0, 0, zxGreen);
  EXPECT_EQ(mem[6144], 0x80);
  EXPECT_EQ(mem.back(), 6 | 3 << 3);
  EXPECT_EQ(screen.GetAttr(0, 0), zxGreen);
}

TEST(Timex, EnginesTakeTheirPlacesAndOneModeStaysAPreview) {
  VeRegisterPlatforms();
  TVeDestEngineList& list = DestEngineList();
  const TVeDestSubTypes& modes = list.GetSubTypes(list.IndexOf("Timex"));
  ASSERT_EQ(modes.Count(), 4);
  const char* names[4] = {"256x192x4", "256x384x4 Interlaced", "512x192x1", "512x192x2"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(modes.Strings(i), names[i]);
    EXPECT_EQ(modes.GetEngineClass(i)->PreviewOnly(), i == 3) << names[i];
  }
  auto hires = TVeTimexHiResEngine().CreateOptions();
  EXPECT_EQ(hires->Width(), 512);
  EXPECT_EQ(hires->AspectIndex(), 1);
  auto ui = TVeTimexHiResEngine().CreateUI(*hires);
  EXPECT_EQ(ui->Find(ciPaletteMode)->Values, (std::vector<int>{0, 11}));
  EXPECT_EQ(ui->Find(ciPaletteTypeList)->Values.size(), 3u);
  auto hicolor = TVeTimexHiColorEngine().CreateOptions();
  EXPECT_EQ(hicolor->GetCellHeight(), 1);
  EXPECT_TRUE(TVeTimexHiColorEngine().CreateUI(*hicolor)->Has(ciColorUsage));
}

TEST(Timex, PhotographKeepsEachModesRuleAndReadsBack) {
  for (TVePaletteType type : {ptColoredLinear, ptPulsar}) {
    SCOPED_TRACE(int(type));
    const auto setType = [type](TVeDestEngineOptions& o) { o.SetPaletteType(type); };
    const TRun hicolor = ConvertMode("256x192x4", setType);
    ASSERT_EQ(hicolor.Files->GetStream(0)->Bytes().size(), 12288u);
    EXPECT_LE(MostColoursPerCell(*hicolor.Result, 8, 1), 2);
    EXPECT_GT(MostColoursPerCell(*hicolor.Result, 8, 8), 2) << "attributes change per line";
    ExpectRoundTrip(hicolor, "high colour");

    const TRun hires = ConvertMode("512x192x1", setType);
    const std::vector<uint8_t>& scr = hires.Files->GetStream(0)->Bytes();
    ASSERT_EQ(scr.size(), 12289u);
    EXPECT_EQ(scr.back() & 0xC7, 6);
    EXPECT_EQ(MostColoursPerCell(*hires.Result, 512, 192), 2);
    ExpectRoundTrip(hires, "high resolution");
  }
  const TRun bw =
      ConvertMode("512x192x1", [](TVeDestEngineOptions& o) { o.SetPaletteMode(zxModeBlackWhite); });
  const uint8_t port = bw.Files->GetStream(0)->Bytes().back();
  EXPECT_TRUE(port == 6 || port == 62) << int(port);
  ExpectRoundTrip(bw, "high resolution");

  const TRun gray =
      ConvertMode("256x192x4", [](TVeDestEngineOptions& o) { o.SetPaletteMode(zxModeGray); });
  EXPECT_LE(MostColoursPerCell(*gray.Result, 8, 1), 2);
  ExpectRoundTrip(gray, "high colour");

  // The two display files as two Spectrum screens, opened by the Spectrum's own loader.
  const TRun interlaced = ConvertMode("256x384x4 Interlaced");
  EXPECT_EQ(interlaced.Files->GetExtension(0), "lce");
  EXPECT_LE(MostColoursPerCell(*interlaced.Result, 8, 16), 2);
  ExpectRoundTrip(interlaced, "ZX Spectrum");
}

TEST(Timex, HighResolutionLoaderWantsItsModeByte) {
  RegisterTimexLoaders();
  std::vector<uint8_t> bytes(TimexHiResBytes, 0x55);
  bytes.back() = 2; // high colour, not 512 x 192
  TFolder other("pic.scr", bytes);
  auto none = ProbeSource(&other);
  for (int i = 0; i < none->Count(); ++i)
    EXPECT_EQ(dynamic_cast<TVeTimexHiResSourceEngine*>(none->Engines(i)), nullptr);
  bytes.back() = TimexHiResPort(zxBlue);
  TFolder blue("pic.scr", bytes);
  auto list = ProbeSource(&blue);
  auto* e = Loader<TVeTimexHiResSourceEngine>(*list);
  ASSERT_TRUE(e);
  auto b32 = e->CreateBitmap()->ToBitmap32();
  // 0x55: the second pixel of every byte is ink (blue), the first paper (yellow).
  EXPECT_EQ(b32->Pixel(1, 0) & 0xFFFFFF, ZxSpectrumColorRGB(e->PaletteType, zxBright + zxBlue));
  EXPECT_EQ(b32->Pixel(8, 5) & 0xFFFFFF, ZxSpectrumColorRGB(e->PaletteType, zxBright + zxYellow));
}

TEST(Timex, OneAndSeveralWorkersAgree) {
  for (const char* mode : {"256x192x4", "256x384x4 Interlaced", "512x192x1"}) {
    SCOPED_TRACE(mode);
    SetProcessorCount(1);
    const TRun one = ConvertMode(mode);
    SetProcessorCount(3);
    const TRun three = ConvertMode(mode);
    SetProcessorCount(0);
    EXPECT_EQ(one.Files->GetStream(0)->Bytes(), three.Files->GetStream(0)->Bytes());
  }
}
