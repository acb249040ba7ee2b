// The fifteen MSX engines: their catalogue places, options and panels, the files they write,
// and every file read back through its loader giving the preview's pixels.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <set>

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeGenericEngine.h"
#include "VePlatforms.h"
#include "VeThreadJob.h"
#include "msx/VeOpenPlatformMsx.h"
#include "msx/VePlatformMsx.h"
#include "msx/VePlatformMsxYJK.h"
#include "msx/VeSavePlatformMsx.h"
#include "test_msx_support.h"

using namespace msxtest;

namespace {

struct TRun {
  std::unique_ptr<TVeBitmap> Result;
  std::unique_ptr<TVeStreamList> Files;
  std::unique_ptr<TVeDestEngineOptions> Options;
  const TVeStream& File(const std::string& ext) const {
    const TVeStream* s = FindStream(*Files, ext);
    if (!s) throw std::runtime_error("no ." + ext);
    return *s;
  }
};

const TVeBitmap32& PhotoFor(int w, int h) {
  static std::map<std::pair<int, int>, TVeBitmap32> photos;
  auto it = photos.find({w, h});
  if (it == photos.end()) it = photos.emplace(std::make_pair(w, h), Photo(w, h)).first;
  return it->second;
}

// A conversion through the registry, the way the conversion run makes one.
TRun ConvertMode(const TVeMSXModeInfo& m,
                 const std::function<void(TVeDestEngineOptions&)>& setup = {},
                 const TVeBitmap32* picture = nullptr) {
  const TVeDestEngineClass* c = DestEngineList().Find("MSX", m.Mode);
  if (!c || c->GetModeName() != m.Mode) throw std::runtime_error("no engine");
  TRun r;
  r.Options = c->Create()->CreateOptions();
  if (setup) {
    r.Options->BeginUpdate();
    setup(*r.Options);
    r.Options->EndUpdate();
  }
  TVeDestProgress progress;
  r.Result = c->Convert(nullptr, picture ? *picture : PhotoFor(m.Width, m.Height), r.Files,
                        progress, *r.Options, nullptr, nullptr);
  return r;
}

std::vector<const TVeMSXModeInfo*> AllModes() {
  std::vector<const TVeMSXModeInfo*> modes;
  for (int s : {2, 3, 4, 5, 6, 7, 8, 10, 12})
    for (bool i : {false, true})
      if (!i || s >= 5) modes.push_back(&MsxModeInfo(s, i));
  return modes;
}

std::string Name(const TVeMSXModeInfo& m) {
  return m.Mode;
}

// The file read back by the loader the probe ranks first, with the palette type the
// conversion used, shows exactly the preview.
void ExpectRoundTrip(const TRun& r, const TVeStream& stream) {
  auto folder = Saved(stream);
  auto list = Probe(*folder);
  ASSERT_GT(list->Count(), 0) << stream.Extension;
  TVeSourceEngine* e = list->Engines(0);
  const TVePaletteType type = r.Options->PaletteType();
  if (std::find(e->PaletteTypes.begin(), e->PaletteTypes.end(), type) != e->PaletteTypes.end())
    e->PaletteType = type;
  std::unique_ptr<TVeBitmap> bmp = e->CreateBitmap();
  ASSERT_TRUE(bmp) << stream.Extension;
  ASSERT_EQ(bmp->Width(), r.Result->Width()) << stream.Extension;
  ASSERT_EQ(bmp->Height(), r.Result->Height()) << stream.Extension;
  EXPECT_TRUE(*bmp->ToBitmap32() == *r.Result->ToBitmap32())
      << stream.Extension << " read by " << e->Description;
}

// Every file of a conversion, companion files beside the main ones.
void ExpectAllRoundTrips(const TRun& r) {
  for (int i = 0; i < r.Files->Count(); ++i)
    ExpectRoundTrip(r, *r.Files->GetStream(i));
}

// Colour index shown at (x, y) of a screen 2 memory image with the standard name table.
int Screen2Index(const std::vector<uint8_t>& file, int x, int y) {
  const uint8_t* vram = file.data() + MsxBsaveHeaderBytes;
  const int at = MsxScreen2Offset(x, y);
  const bool set = (vram[at] >> (7 - x % 8)) & 1;
  const uint8_t colors = vram[MsxScreen2Colors + at];
  return set ? colors >> 4 : colors & 15;
}

} // namespace

TEST(MsxScreens, EnginesTakeTheirCatalogueEntries) {
  TVeDestEngineList& list = DestEngineList();
  const int platform = list.IndexOf("MSX");
  ASSERT_GE(platform, 0);
  const TVeDestSubTypes& modes = list.GetSubTypes(platform);
  std::vector<std::string> catalogue;
  for (const TVeCatalogueEntry& e : VeCatalogue())
    if (std::string(e.Platform) == "MSX") catalogue.push_back(e.Mode);
  ASSERT_EQ(modes.Count(), 15);
  for (int i = 0; i < modes.Count(); ++i) {
    EXPECT_EQ(modes.Strings(i), catalogue[size_t(i)]);
    const TVeDestEngineClass* c = modes.GetEngineClass(i);
    EXPECT_EQ(c->GetModeName(), catalogue[size_t(i)]);
    EXPECT_EQ(c->GetPlatformName(), "MSX");
    EXPECT_EQ(dynamic_cast<const TVeGenericEngineClass*>(c), nullptr) << catalogue[size_t(i)];
  }
}

TEST(MsxScreens, OptionsAndPanels) {
  // Mode, size, aspect index, palette types offered, palette modes offered, default mode.
  struct TExpected {
    const char* Mode;
    int Width, Height, Aspect, Types;
    std::vector<int> Modes;
    int Default;
  };
  const std::vector<int> gray = {0, 1, 11}, custom = {0, 1, 11, 16}, bright = {0, 1, 10, 11, 16};
  const TExpected expected[] = {
      {"2 256x192x4", 256, 192, 12, 0, gray, 11},
      {"3 64x48x4", 64, 48, 12, 1, gray, 11},
      {"4 256x192x4", 256, 192, 12, 2, custom, 11},
      {"5 256x212x4", 256, 212, 12, 2, custom, 11},
      {"5 256x424x4 Interlaced", 256, 424, 18, 2, custom, 11},
      {"6 512x212x2", 512, 212, 2, 2, bright, 10},
      {"6 512x424x2 Interlaced", 512, 424, 12, 2, bright, 10},
      {"7 512x212x4", 512, 212, 2, 2, custom, 11},
      {"7 512x424x4 Interlaced", 512, 424, 12, 2, custom, 11},
      {"8 256x212x8", 256, 212, 12, 2, gray, 11},
      {"8 256x424x8 Interlaced", 256, 424, 18, 2, gray, 11},
      {"10 256x212x12", 256, 212, 12, 2, {}, 0},
      {"10 256x424x12 Interlaced", 256, 424, 18, 2, {}, 0},
      {"12 256x212x15", 256, 212, 12, 1, {}, 0},
      {"12 256x424x15 Interlaced", 256, 424, 18, 1, {}, 0},
  };
  for (const TExpected& x : expected) {
    SCOPED_TRACE(x.Mode);
    const int screen = std::atoi(x.Mode);
    auto engine = DestEngineList().Find("MSX", x.Mode)->Create();
    auto o = engine->CreateOptions();
    EXPECT_EQ(o->Width(), x.Width);
    EXPECT_EQ(o->Height(), x.Height);
    EXPECT_EQ(o->AspectIndex(), x.Aspect);
    EXPECT_EQ(o->NativeAspect(), x.Aspect);
    EXPECT_EQ(o->GetCellWidth(), screen == 2 || screen == 4 ? 8 : 1);
    o->SetWidth(100); // fixed size
    EXPECT_EQ(o->Width(), x.Width);
    auto ui = engine->CreateUI(*o);
    const TVeUIControl* modes = ui->Find(ciPaletteMode);
    EXPECT_EQ(modes ? modes->Values : std::vector<int>{}, x.Modes);
    if (modes) {
      EXPECT_EQ(modes->SelectedValue(), x.Default);
      EXPECT_EQ(modes->Items.front(), "Black/white");
    }
    EXPECT_EQ(ui->Has(ciPaletteModeEdit), !x.Modes.empty() && x.Modes.back() == 16);
    const TVeUIControl* types = ui->Find(ciPaletteTypeList);
    EXPECT_EQ(types ? int(types->Values.size()) : x.Types < 2 ? x.Types : 0, x.Types);
    const TVeUIControl* count = ui->Find(ciMaxColorCount);
    ASSERT_EQ(count != nullptr, screen >= 3 && screen <= 7);
    if (count) {
      EXPECT_EQ(count->Max, screen == 6 ? 4 : 16);
      EXPECT_EQ(count->Value, screen == 6 ? 4 : 16);
    }
    EXPECT_EQ(ui->Has(ciLimitErrorInsideBlock), screen == 2 || screen == 4);
    EXPECT_EQ(ui->Has(ciComment), screen >= 5);
    EXPECT_EQ(ui->Has(ciPaletteView), screen != 12);
    EXPECT_EQ(o->DitherMethod(), screen == 2   ? dmJarvisJudiceNinke
                                 : screen == 3 ? dmNone
                                               : dmFloydSteinberg);
    EXPECT_EQ(o->LimitErrorInsideBlock(), screen != 2);
    EXPECT_EQ(o->LimitErrorAtBoundary(), screen != 2);
    EXPECT_EQ(o->ErrorDiffusion(), screen == 6 ? 80 : 90);
  }
  // "Сolor" begins with the Cyrillic Es.
  auto o = TVeMSXScr6Engine().CreateOptions();
  auto ui = TVeMSXScr6Engine().CreateUI(*o);
  EXPECT_EQ(ui->Find(ciPaletteMode)->Items[2], "\xD0\xA1olor (bright)");
}

TEST(MsxScreens, CustomGridShowsTheHardwareColours) {
  auto two = TVeMSXScr2Engine().CreateOptions();
  TVePalette256 tms;
  MsxMakeTms9918Palette(tms);
  EXPECT_TRUE(two->BasePalette().Equals(&tms));
  for (int screen : {4, 5, 6, 7}) {
    auto o =
        DestEngineList().Find("MSX", MsxModeInfo(screen, false).Mode)->Create()->CreateOptions();
    TVePalette256 v9938, v9958;
    MsxMakeHardwarePalette(v9938, ptMSX9938);
    MsxMakeHardwarePalette(v9958, ptMSX9958);
    EXPECT_TRUE(o->BasePalette().Equals(&v9938)) << screen;
    o->BeginUpdate();
    o->SetPaletteType(ptMSX9958);
    o->EndUpdate();
    EXPECT_TRUE(o->BasePalette().Equals(&v9958)) << screen;
  }
  auto eight = TVeMSXScr8Engine().CreateOptions();
  EXPECT_EQ(eight->BasePalette().Count(), 256);
}

TEST(MsxScreens, ScreenTwoHasTwoColoursPerLine) {
  const TRun r = ConvertMode(MsxModeInfo(2, false));
  const std::vector<uint8_t>& sc2 = r.File("sc2").Bytes();
  ASSERT_EQ(sc2.size(), 14343u);
  for (int i = 0; i < 768; ++i)
    ASSERT_EQ(sc2[size_t(MsxBsaveHeaderBytes + MsxScreen2Names + i)], i % 256);
  std::set<int> used;
  for (int y = 0; y < 192; ++y)
    for (int x0 = 0; x0 < 256; x0 += 8) {
      std::set<int> line;
      for (int x = x0; x < x0 + 8; ++x) {
        const int c = r.Result->GetPixel(x, y);
        line.insert(c);
        used.insert(c);
        ASSERT_EQ(Screen2Index(sc2, x, y), c) << x << "," << y;
      }
      ASSERT_LE(line.size(), 2u) << x0 << "," << y;
      ASSERT_EQ(line.count(0), 0u) << "the transparent colour";
    }
  EXPECT_GT(used.size(), 6u);
  TVePalette256 tms;
  MsxMakeTms9918Palette(tms);
  EXPECT_TRUE(r.Options->Palette().Equals(&tms));

  // Black and white: white on black everywhere.
  const TRun bw =
      ConvertMode(MsxModeInfo(2, false), [](auto& o) { o.SetPaletteMode(msxModeBlackWhite); });
  const std::vector<uint8_t>& file = bw.File("sc2").Bytes();
  for (int i = 0; i < 0x1800; ++i)
    ASSERT_EQ(file[size_t(MsxBsaveHeaderBytes + MsxScreen2Colors + i)], 0xF1);
  for (int y = 0; y < 192; y += 5)
    for (int x = 0; x < 256; x += 3) {
      const int c = bw.Result->GetPixel(x, y);
      ASSERT_TRUE(c == 1 || c == 15);
      ASSERT_EQ(Screen2Index(file, x, y), c);
    }

  // Gray: the gray pairs only.
  const TRun gray =
      ConvertMode(MsxModeInfo(2, false), [](auto& o) { o.SetPaletteMode(msxModeGray); });
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < 256; ++x) {
      const int c = gray.Result->GetPixel(x, y);
      ASSERT_TRUE(c == 1 || c == 14 || c == 15) << c;
    }
}

TEST(MsxScreens, BoundedCellSearchFindsTheExhaustiveChoice) {
  const TVeBitmap32& photo = PhotoFor(256, 192);
  TVeBitmap32 part(64, 48);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x)
      part.Pixel(x, y) = photo.Pixel(100 + x, 70 + y);
  for (uint8_t dither : {dmNone, dmFloydSteinberg, dmJarvisJudiceNinke})
    for (bool boundary : {false, true}) {
      auto o = TVeMSXScr4Engine().CreateOptions();
      o->SetDitherMethod(dither);
      o->SetLimitErrorAtBoundary(boundary);
      std::unique_ptr<TVeBitmap> results[2];
      for (int bounded = 0; bounded < 2; ++bounded) {
        TVeMSXScreen2Image image(8, part, 1);
        image.Bounded = bounded != 0;
        results[bounded] = image.Convert(nullptr, VeCellOptionsOf(*o), nullptr, nullptr);
      }
      EXPECT_TRUE(*results[0]->ToBitmap32() == *results[1]->ToBitmap32())
          << int(dither) << " " << boundary;
    }
}

TEST(MsxScreens, FileLayoutsAndHeaders) {
  // Extension and size of every file each mode writes, companion files after their owner.
  const std::map<std::pair<int, bool>, std::vector<std::pair<std::string, size_t>>> expected = {
      {{2, false}, {{"sc2", 14343}}},
      {{3, false}, {{"sc3", 1543}, {"pl3", 256}}},
      {{4, false}, {{"sc4", 16391}}},
      {{5, false}, {{"sc5", 30375}, {"gl5", 27140}, {"pl5", 256}, {"mag", 0}}},
      {{5, true}, {{"sc5", 30375}, {"s15", 27143}, {"mag", 0}}},
      {{6, false}, {{"sc6", 30375}, {"gl6", 27140}, {"pl6", 256}, {"mag", 0}}},
      {{6, true}, {{"sc6", 30375}, {"s16", 27143}, {"mag", 0}}},
      {{7, false}, {{"sc7", 64167}, {"gl7", 54276}, {"pl7", 256}, {"mag", 0}}},
      {{7, true}, {{"sc7", 64167}, {"s17", 54279}, {"mag", 0}}},
      {{8, false}, {{"sc8", 54279}, {"gl8", 54276}, {"mag", 0}}},
      {{8, true}, {{"sc8", 54279}, {"s18", 54279}, {"mag", 0}}},
      {{10, false}, {{"sca", 64167}, {"gla", 54276}, {"pla", 256}, {"mag", 0}}},
      {{10, true}, {{"sca", 64167}, {"s1a", 54279}, {"mag", 0}}},
      {{12, false}, {{"scc", 64167}, {"glc", 54276}, {"mag", 0}}},
      {{12, true}, {{"scc", 54279}, {"s1c", 54279}, {"mag", 0}}},
  };
  for (const TVeMSXModeInfo* m : AllModes()) {
    SCOPED_TRACE(Name(*m));
    const TRun r = ConvertMode(*m);
    std::vector<std::pair<std::string, size_t>> files;
    for (int i = 0; i < r.Files->Count(); ++i) {
      const TVeStream* s = r.Files->GetStream(i);
      files.emplace_back(s->Extension, s->Extension == "mag" ? 0 : s->Size());
      for (int k = 0; k < s->SubCount(); ++k)
        files.emplace_back(s->GetSubStream(k)->Extension, s->GetSubStream(k)->Size());
    }
    EXPECT_EQ(files, expected.at({m->Screen, m->Interlaced}));
    // Every screen and page: FE, start 0, end = data length - 1, execution 0.
    for (const auto& [ext, size] : files) {
      if (ext.rfind("sc", 0) != 0 && ext.rfind("s1", 0) != 0) continue;
      const TVeStream* s = FindStream(*r.Files, ext);
      if (!s) s = r.Files->GetStream(0)->GetSubStream(0);
      const uint8_t* h = s->Data();
      EXPECT_EQ(h[0], 0xFE) << ext;
      EXPECT_EQ(h[1] | h[2] << 8, 0) << ext;
      EXPECT_EQ(h[3] | h[4] << 8, int(size) - 8) << ext;
      EXPECT_EQ(h[5] | h[6] << 8, 0) << ext;
    }
  }
}

TEST(MsxScreens, BitmapPixelsAndPalettesInTheFiles) {
  // Screen 5: two pixels per byte, high nibble first; palette registers at 7680.
  const TRun five = ConvertMode(MsxModeInfo(5, false));
  const uint8_t* vram = five.File("sc5").Data() + MsxBsaveHeaderBytes;
  for (int y = 0; y < 212; y += 7)
    for (int x = 0; x < 256; ++x)
      ASSERT_EQ((vram[128 * y + x / 2] >> (x % 2 ? 0 : 4)) & 15, five.Result->GetPixel(x, y));
  uint8_t regs[MsxPaletteBytes];
  MsxWritePaletteRegisters(regs, five.Options->Palette(), ptMSX9938);
  EXPECT_EQ(std::memcmp(vram + 0x7680, regs, 32), 0);
  EXPECT_EQ(five.Options->Palette().Count(), 16);
  const TVeStream& gl5 = five.File("gl5");
  EXPECT_EQ(gl5.Bytes()[0] | gl5.Bytes()[1] << 8, 256);
  EXPECT_EQ(gl5.Bytes()[2] | gl5.Bytes()[3] << 8, 212);
  EXPECT_EQ(std::memcmp(gl5.Data() + 4, vram, 27136), 0);

  // Screen 6: four 2-bit pixels per byte.
  const TRun six = ConvertMode(MsxModeInfo(6, false));
  EXPECT_LE(six.Options->Palette().Count(), 4);
  vram = six.File("sc6").Data() + MsxBsaveHeaderBytes;
  for (int x = 0; x < 512; ++x)
    ASSERT_EQ((vram[128 * 50 + x / 4] >> (6 - 2 * (x % 4))) & 3, six.Result->GetPixel(x, 50));

  // Screen 8: the pixel's colour index is its GRB332 byte.
  const TRun eight =
      ConvertMode(MsxModeInfo(8, false), [](auto& o) { o.SetPaletteType(ptMSX9958); });
  TVePalette256 grb;
  MsxMakeScreen8Palette(grb, ptMSX9958);
  EXPECT_TRUE(eight.Result->Palette().Equals(&grb));
  vram = eight.File("sc8").Data() + MsxBsaveHeaderBytes;
  std::set<int> bytes;
  for (int y = 0; y < 212; ++y)
    for (int x = 0; x < 256; ++x) {
      ASSERT_EQ(vram[256 * y + x], eight.Result->GetPixel(x, y));
      bytes.insert(vram[256 * y + x]);
    }
  EXPECT_GT(bytes.size(), 64u);
  const TRun gray8 =
      ConvertMode(MsxModeInfo(8, false), [](auto& o) { o.SetPaletteMode(msxModeGray); });
  const std::vector<uint8_t>& g = gray8.File("sc8").Bytes();
  // The four grays of GRB332: 00, 49 (green 2, red 2, blue 1), 92, FF.
  for (size_t i = MsxBsaveHeaderBytes; i < g.size(); ++i)
    ASSERT_TRUE(g[i] == 0x00 || g[i] == 0x49 || g[i] == 0x92 || g[i] == 0xFF) << i;

  // Screen 3: 64 x 48 blocks, and the palette in the palette file beside it.
  const TRun three = ConvertMode(MsxModeInfo(3, false));
  vram = three.File("sc3").Data() + MsxBsaveHeaderBytes;
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x)
      ASSERT_EQ((vram[((y / 8) * 32 + x / 2) * 8 + y % 8] >> (x % 2 ? 0 : 4)) & 15,
                three.Result->GetPixel(x, y));
  MsxWritePaletteRegisters(regs, three.Options->Palette(), ptMSX9938);
  EXPECT_EQ(std::memcmp(three.File("sc3").GetSubStream(0)->Data(), regs, 32), 0);
}

TEST(MsxScreens, InterlacedPagesHoldAlternateRows) {
  const TRun r = ConvertMode(MsxModeInfo(5, true));
  ASSERT_EQ(r.Result->Height(), 424);
  const TVeStream& sc5 = r.File("sc5");
  ASSERT_EQ(sc5.SubCount(), 1);
  const TVeStream& s15 = *sc5.GetSubStream(0);
  EXPECT_EQ(sc5.Label(), "SC5/S15");
  ASSERT_EQ(sc5.Size(), 30375u);
  ASSERT_EQ(s15.Size(), 27143u);
  for (int y = 0; y < 424; ++y) {
    const uint8_t* row = (y % 2 ? s15.Data() : sc5.Data()) + MsxBsaveHeaderBytes + 128 * (y / 2);
    for (int x = 0; x < 256; x += 3)
      ASSERT_EQ((row[x / 2] >> (x % 2 ? 0 : 4)) & 15, r.Result->GetPixel(x, y)) << x << "," << y;
  }
  // The page files of the other modes.
  const TRun twelve = ConvertMode(MsxModeInfo(12, true));
  const TVeStream& scc = twelve.File("scc");
  for (int y = 0; y < 424; y += 11) {
    const uint8_t* row =
        (y % 2 ? scc.GetSubStream(0)->Data() : scc.Data()) + MsxBsaveHeaderBytes + 256 * (y / 2);
    std::vector<uint32_t> quads(256);
    VeMsxDecodeYjkRow(row, 256, TVeYjkDecoder::YJK, nullptr, quads.data());
    for (int x = 0; x < 256; ++x)
      ASSERT_EQ(uint32_t(twelve.Result->GetPixel(x, y)), quads[size_t(x)]);
  }
}

TEST(MsxScreens, EveryFileReadsBackAsThePreview) {
  for (const TVeMSXModeInfo* m : AllModes()) {
    SCOPED_TRACE(Name(*m));
    ExpectAllRoundTrips(ConvertMode(*m));
  }
  // The other palette type, and the other palette modes.
  for (int screen : {4, 5, 6, 7, 8}) {
    SCOPED_TRACE(screen);
    ExpectAllRoundTrips(
        ConvertMode(MsxModeInfo(screen, false), [](auto& o) { o.SetPaletteType(ptMSX9958); }));
  }
  for (uint8_t mode : {msxModeBlackWhite, msxModeGray, msxModeColorBright, msxModeCustom})
    for (int screen : {2, 3, 4, 5, 6, 8}) {
      const TVeMSXModeInfo& m = MsxModeInfo(screen, false);
      if (!(m.ModeMask & (1u << mode))) continue;
      SCOPED_TRACE(std::to_string(screen) + " in mode " + std::to_string(mode));
      ExpectAllRoundTrips(ConvertMode(m, [mode](auto& o) { o.SetPaletteMode(mode); }));
    }
  SCOPED_TRACE("attribute colours");
  ExpectAllRoundTrips(
      ConvertMode(MsxModeInfo(10, false), [](auto& o) { o.SetPaletteType(ptMSXYJK_YAE); }));
  ExpectAllRoundTrips(
      ConvertMode(MsxModeInfo(10, true), [](auto& o) { o.SetPaletteType(ptMSXYJK_YAE); }));
}

TEST(MsxScreens, SameFilesWithAnyWorkerCount) {
  auto bytesOf = [](const TRun& r) {
    std::vector<std::vector<uint8_t>> all;
    for (int i = 0; i < r.Files->Count(); ++i) {
      const TVeStream* s = r.Files->GetStream(i);
      all.push_back(s->Bytes());
      for (int k = 0; k < s->SubCount(); ++k)
        all.push_back(s->GetSubStream(k)->Bytes());
    }
    return all;
  };
  for (const TVeMSXModeInfo* m : AllModes()) {
    SCOPED_TRACE(Name(*m));
    auto setup = [m](TVeDestEngineOptions& o) {
      if (m->Screen == 10) o.SetPaletteType(ptMSXYJK_YAE);
    };
    SetProcessorCount(1);
    const auto one = bytesOf(ConvertMode(*m, setup));
    SetProcessorCount(3);
    const auto three = bytesOf(ConvertMode(*m, setup));
    SetProcessorCount(0);
    EXPECT_TRUE(one == three);
  }
}

TEST(MsxScreens, PaletteModesKeepToTheirColours) {
  const TVePaletteRGB& hw = MsxHardwarePalette(ptMSX9938);
  // "Custom": the quantizer picks among the allowed colours.
  TVeAllowedColors allowed{};
  const int chosen[5] = {hw.IndexOfLevels(7, 0, 0), hw.IndexOfLevels(0, 7, 0),
                         hw.IndexOfLevels(0, 0, 7), hw.IndexOfLevels(3, 3, 3),
                         hw.IndexOfLevels(6, 5, 1)};
  for (int i : chosen)
    allowed[size_t(i)] = 1;
  auto customSetup = [&](TVeDestEngineOptions& o) {
    o.SetPaletteMode(msxModeCustom);
    o.SetAllowedColors1(allowed);
    o.SetMaxColorCount(3);
  };
  const TRun custom = ConvertMode(MsxModeInfo(5, false), customSetup);
  const TVePalette256& p = custom.Options->Palette();
  ASSERT_EQ(p.Count(), 3);
  for (int i = 0; i < p.Count(); ++i) {
    const int index = hw.FindExact(p.GetRGBQuad(i));
    EXPECT_TRUE(std::find(std::begin(chosen), std::end(chosen), index) != std::end(chosen));
  }
  // Screen 4 "Custom": the chosen colours take 1 to 15; the cells never use colour 0.
  const TRun four = ConvertMode(MsxModeInfo(4, false), [&](auto& o) {
    customSetup(o);
    o.SetMaxColorCount(16);
  });
  // Fewer allowed colours than the mode shows: all of them are kept, the rest is chosen.
  const TVePalette256& p4 = four.Options->Palette();
  EXPECT_EQ(p4.Count(), 16);
  EXPECT_EQ(p4.GetRGBQuad(0), 0u);
  for (int i : chosen)
    EXPECT_GE(p4.FindExact(hw.GetRGBQuad(i)), 1);
  for (int y = 0; y < 192; y += 3)
    for (int x = 0; x < 256; x += 3)
      ASSERT_GE(four.Result->GetPixel(x, y), 1);
  // "Сolor (bright)": black or a channel at the top level.
  const TRun bright =
      ConvertMode(MsxModeInfo(7, false), [](auto& o) { o.SetPaletteMode(msxModeColorBright); });
  for (int i = 0; i < bright.Options->Palette().Count(); ++i) {
    const auto l = hw.LevelsOf(bright.Options->Palette().GetRGBQuad(i));
    EXPECT_TRUE((l[0] | l[1] | l[2]) == 0 || l[0] == 7 || l[1] == 7 || l[2] == 7);
  }
  // "Gray" and "Black/white" take hardware grays; the colour limit counts.
  const TRun gray =
      ConvertMode(MsxModeInfo(6, false), [](auto& o) { o.SetPaletteMode(msxModeGray); });
  ASSERT_EQ(gray.Options->Palette().Count(), 4);
  for (int i = 0; i < 4; ++i) {
    const auto l = hw.LevelsOf(gray.Options->Palette().GetRGBQuad(i));
    EXPECT_TRUE(l[0] == l[1] && l[1] == l[2]);
  }
  const TRun bw =
      ConvertMode(MsxModeInfo(5, false), [](auto& o) { o.SetPaletteMode(msxModeBlackWhite); });
  ASSERT_EQ(bw.Options->Palette().Count(), 2);
  EXPECT_EQ(bw.Options->Palette().GetRGBQuad(1), 0xFFFFFFu);
  const TRun five = ConvertMode(MsxModeInfo(3, false), [](auto& o) { o.SetMaxColorCount(5); });
  EXPECT_LE(five.Options->Palette().Count(), 5);
  for (int i = 0; i < five.Options->Palette().Count(); ++i)
    EXPECT_GE(hw.FindExact(five.Options->Palette().GetRGBQuad(i)), 0);
}

TEST(MsxScreens, MagFilesCarryTheModeAndTheComment) {
  const TRun r = ConvertMode(MsxModeInfo(7, true), [](auto& o) { o.SetComment("Kaffee"); });
  auto folder = Saved(r.File("mag"));
  auto list = Probe(*folder);
  ASSERT_GT(list->Count(), 0);
  auto* mag = Loader<TVeMAGv2Engine>(*list);
  ASSERT_TRUE(mag);
  EXPECT_EQ(mag->Comment, "Kaffee");
  EXPECT_EQ(mag->Width, 512);
  EXPECT_EQ(mag->Height, 424);
  EXPECT_EQ(mag->PixelAspect, 12);
}
