// ZX Spectrum standard screen: palettes, screen layout, pair lists and the engine.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <set>

#include "VeBitmap.h"
#include "VeColorDistance.h"
#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeLoadSource.h"
#include "VePictureCodecs.h"
#include "VePlatforms.h"
#include "VeStream.h"
#include "VeThreadJob.h"
#include "test_engine_run.h"
#include "test_photo.h"
#include "zxspectrum/VeOpenPlatformZxSpectrum.h"
#include "zxspectrum/VePlatformZxSpectrum.h"
#include "zxspectrum/VeSavePlatformZxSpectrum.h"

namespace {

uint32_t Quad(const TVePalette256& p, int i) {
  return p.GetRGBQuad(i);
}

using TRun = TVeEngineRun;

TRun ConvertZx(const TVeBitmap32& source,
               const std::function<void(TVeDestEngineOptions&)>& setup = {}) {
  return VeRunEngine<TVeZxSpectrumEngine>(source, setup);
}

TVeBitmap32 Photo() {
  TVeBitmap32 b(256, 192);
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < 256; ++x)
      b.Pixel(x, y) = VeRGBQuad(uint8_t(x), uint8_t((x * y) >> 7), uint8_t(255 - y));
  return b;
}

// Colour number shown at (x, y) by a 6912-byte screen.
int ShownColor(const std::vector<uint8_t>& scr, int x, int y) {
  const uint8_t a = scr[size_t(ZxAttrOffset(x / 8, y / 8))];
  const bool ink = (scr[size_t(ZxScreenOffset(y, x / 8))] >> (7 - x % 8)) & 1;
  return ink ? ZxAttrInk(a) : ZxAttrPaper(a);
}

} // namespace

TEST(ZxSpectrumPalette, VariantsGiveTheirLevels) {
  EXPECT_EQ(ZxSpectrumColorRGB(ptColoredLinear, 2), 0xBC0000u); // dark red (188, 0, 0)
  EXPECT_EQ(ZxSpectrumColorRGB(ptColoredLinear, 15), 0xFFFFFFu);
  EXPECT_EQ(ZxSpectrumColorRGB(ptOrthodox, 7), 0xA7B7CDu); // (167, 183, 205)
  EXPECT_EQ(ZxSpectrumColorRGB(ptOrthodox, 15), 0xD0E4FFu);
  EXPECT_EQ(ZxSpectrumColorRGB(ptPulsar, 1), 0x0000CDu);
  EXPECT_EQ(ZxSpectrumColorRGB(ptVardel, 4), 0x00A000u);
  EXPECT_EQ(ZxSpectrumColorRGB(ptStdRGBMiddle, 6), 0x808000u);
  EXPECT_EQ(ZxSpectrumColorRGB(ptColoredLinear, 8), 0u);
  // Any other palette type builds "Linear".
  EXPECT_EQ(ZxSpectrumColorRGB(ptRGB888, 5), ZxSpectrumColorRGB(ptColoredLinear, 5));
  EXPECT_EQ(ZxSpectrumPaletteType(ptMSX9938), ptColoredLinear);
  EXPECT_STREQ(ZxSpectrumLevels(ptVardel).Caption, "Vardel (160)");
  EXPECT_EQ(ZxSpectrumLevels(ptPulsar).DarkBlack, 118);

  TVePalette256 p;
  ZxSpectrumMakePalette(p, ptOrthodox);
  ASSERT_EQ(p.Count(), 16);
  EXPECT_EQ(Quad(p, 7), 0xA7B7CDu);
  ZxSpectrumMakeGrayPalette(p, ptColoredLinear);
  ASSERT_EQ(p.Count(), 4);
  EXPECT_EQ(Quad(p, 1), 0xBCBCBCu);
  EXPECT_EQ(Quad(p, 2), 0u);
  EXPECT_EQ(Quad(p, 3), 0xFFFFFFu);
}

TEST(ZxSpectrumScreen, OffsetsAtTheCornersOfEachThird) {
  EXPECT_EQ(ZxScreenOffset(0, 0), 0);
  EXPECT_EQ(ZxScreenOffset(0, 31), 31);
  EXPECT_EQ(ZxScreenOffset(1, 0), 256); // next line of a character row
  EXPECT_EQ(ZxScreenOffset(8, 0), 32);  // next character row
  EXPECT_EQ(ZxScreenOffset(63, 31), 2047);
  EXPECT_EQ(ZxScreenOffset(64, 0), 2048);
  EXPECT_EQ(ZxScreenOffset(127, 31), 4095);
  EXPECT_EQ(ZxScreenOffset(128, 0), 4096);
  EXPECT_EQ(ZxScreenOffset(191, 31), 6143);
  EXPECT_EQ(ZxAttrOffset(0, 0), 6144);
  EXPECT_EQ(ZxAttrOffset(31, 23), 6911);

  // Bit 7 is the leftmost pixel; the mirror flag reverses columns and cell columns.
  std::vector<uint8_t> buf(ZxScreenBytes);
  TVeZxSpectrumColorScreen s(buf.data());
  s.SetPixel(0, 64, 1);
  EXPECT_EQ(buf[2048], 0x80);
  s.Reversed = true;
  s.SetPixel(0, 0, 1);
  s.SetAttr(0, 0, 0x47);
  EXPECT_EQ(buf[31], 0x01);
  EXPECT_EQ(buf[size_t(ZxAttrOffset(31, 0))], 0x47);
  EXPECT_EQ(s.GetPixel(0, 0), 1);
  s.SetPixel(0, 0, 0);
  EXPECT_EQ(buf[31], 0x00);

  // The monochrome screen stores white as a clear bit.
  std::vector<uint8_t> bw(ZxPixelBytes, 0);
  TVeZxSpectrumBWScreen m(bw.data());
  m.SetPixel(9, 1, 0);
  EXPECT_EQ(bw[257], 0x40);
  EXPECT_EQ(m.GetPixel(9, 1), 0);
  EXPECT_EQ(m.GetPixel(8, 1), 1);
  m.SetPixel(9, 1, 1);
  EXPECT_EQ(bw[257], 0x00);
}

TEST(ZxSpectrumPairs, ListsHoldTheirPairsInOrder) {
  TVePalette256 p;
  ZxSpectrumMakePalette(p, ptColoredLinear);
  auto pair = [](TVeCellPaletteList& l, int i) {
    auto* c = static_cast<TVeCellPaperIncPalette*>(l.GetPalette(i));
    return std::make_pair(c->Paper, c->Ink);
  };
  for (uint8_t usage = 0; usage < 4; ++usage) {
    TVeZxSpectrumColorPaletteList l(usage, p);
    ASSERT_EQ(l.Count(), usage == 0 ? 72 : 36);
    for (int i = 0; i < l.Count(); ++i) {
      auto [paper, ink] = pair(l, i);
      EXPECT_LE(paper, ink);
      EXPECT_EQ(paper >= 8, ink >= 8) << "dark and bright never mix";
      EXPECT_EQ(paper >= 8, usage == 3 || (usage == 0 && i >= 36));
    }
  }
  TVeZxSpectrumColorPaletteList all(0, p);
  EXPECT_EQ(pair(all, 7), std::make_pair(7, 7));
  EXPECT_EQ(pair(all, 8), std::make_pair(0, 1));
  EXPECT_EQ(pair(all, 35), std::make_pair(6, 7));
  EXPECT_EQ(pair(all, 36), std::make_pair(8, 8));
  EXPECT_EQ(pair(all, 71), std::make_pair(14, 15));
  // Colour 0 of a pair is paper; equal colours have no range.
  auto* c = static_cast<TVeCellPaperIncPalette*>(all.GetPalette(9)); // (0, 2)
  EXPECT_EQ(c->Palette->GetRGBQuad(0), 0u);
  EXPECT_EQ(c->Palette->GetRGBQuad(1), 0xBC0000u);
  EXPECT_DOUBLE_EQ(c->Range[0], SRGBToLinear(188 / 255.0));
  EXPECT_EQ(c->Range[1], 0.0);
  EXPECT_EQ(all.GetPalette(3)->Range[0], 0.0);

  TVeZxSpectrumGrayPaletteList g(p);
  ASSERT_EQ(g.Count(), 5);
  EXPECT_EQ(pair(g, 3), std::make_pair(8, 15));
  TVeZxSpectrumColorNoFlashPaletteList nf(p);
  ASSERT_EQ(nf.Count(), 136);
  EXPECT_EQ(pair(nf, 15), std::make_pair(15, 15));
  EXPECT_EQ(pair(nf, 16), std::make_pair(0, 1));
  EXPECT_EQ(pair(nf, 135), std::make_pair(14, 15));
  TVeZxSpectrumGrayNoFlashPaletteList gnf(p);
  ASSERT_EQ(gnf.Count(), 6);
  EXPECT_EQ(pair(gnf, 2), std::make_pair(0, 15));
}

TEST(ZxSpectrumEngine, OptionsFollowModeAndType) {
  TVeZxSpectrumEngine engine;
  auto o = engine.CreateOptions();
  EXPECT_EQ(o->PaletteType(), ptColoredLinear);
  EXPECT_EQ(o->PaletteMode(), zxModeColor);
  EXPECT_EQ(o->ErrorDiffusion(), 100);
  EXPECT_FALSE(o->LimitErrorInsideBlock());
  EXPECT_TRUE(o->LimitErrorAtBoundary());
  EXPECT_EQ(o->Width(), 256);
  EXPECT_EQ(o->Height(), 192);
  EXPECT_EQ(o->GetCellWidth(), 8);
  EXPECT_EQ(o->GetCellHeight(), 8);
  ASSERT_EQ(o->Palette().Count(), 16);
  o->SetPaletteType(ptOrthodox);
  EXPECT_EQ(o->Palette().GetRGBQuad(7), 0xA7B7CDu);
  o->SetPaletteMode(zxModeGray);
  EXPECT_EQ(o->Palette().Count(), 4);
  o->SetPaletteMode(zxModeBlackWhite);
  ASSERT_EQ(o->Palette().Count(), 2);
  EXPECT_EQ(o->Palette().GetRGBQuad(1), 0xFFFFFFu);
  o->SetWidth(100);
  EXPECT_EQ(o->Width(), 256);

  auto ui = engine.CreateUI(*o);
  const TVeUIControl* mode = ui->Find(ciPaletteMode);
  ASSERT_TRUE(mode);
  EXPECT_EQ(mode->Items, (std::vector<std::string>{"Black/white", "Gray", "\u0421olor"}));
  const TVeUIControl* types = ui->Find(ciPaletteTypeList);
  ASSERT_TRUE(types);
  EXPECT_EQ(types->Items, (std::vector<std::string>{"Pulsar (205)", "Linear", "Vardel (160)"}));
  const TVeUIControl* usage = ui->Find(ciColorUsage);
  ASSERT_TRUE(usage);
  EXPECT_EQ(usage->Items.size(), 4u);
  EXPECT_EQ(usage->ItemIndex, 0);
  EXPECT_TRUE(ui->Has(ciLimitErrorAtBoundary));

  VeRegisterPlatforms();
  int pi = -1, mi = -1;
  const TVeDestEngineClass* cls = DestEngineList().Find("ZX Spectrum", "256x192x4", &pi, &mi);
  ASSERT_TRUE(cls);
  EXPECT_EQ(mi, 0);
  EXPECT_TRUE(dynamic_cast<TVeZxSpectrumEngine*>(cls->Create().get()));
}

TEST(ZxSpectrumEngine, ColorFileMatchesThePreview) {
  TRun r = ConvertZx(Photo());
  ASSERT_TRUE(r.Files);
  ASSERT_EQ(r.Files->Count(), 1);
  TVeStream* s = r.Files->GetStream(0);
  EXPECT_EQ(s->Extension, "scr");
  ASSERT_EQ(s->Size(), size_t(ZxScreenBytes));
  ASSERT_EQ(r.Result->Width(), 256);
  EXPECT_EQ(r.Result->Palette().Count(), 16);
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < 256; ++x)
      ASSERT_EQ(ShownColor(s->Bytes(), x, y), r.Result->GetPixel(x, y));
  // No flash bit, and bright is set exactly for bright pairs.
  std::set<int> used;
  for (int i = 0; i < ZxAttrBytes; ++i) {
    const uint8_t a = s->Bytes()[size_t(ZxPixelBytes + i)];
    EXPECT_EQ(a & ZxAttrFlash, 0);
    used.insert(a);
  }
  EXPECT_GT(used.size(), 10u);
}

TEST(ZxSpectrumEngine, DarkOnlyButForceSetBrightBit) {
  // White is brighter than dark white: it is limited to it and shown as bright white.
  TVeBitmap32 white(256, 192, VeRGBQuad(255, 255, 255));
  TRun r =
      ConvertZx(white, [](TVeDestEngineOptions& o) { o.SetColorUsage(zxUsageDarkForceBright); });
  const auto& scr = r.Files->GetStream(0)->Bytes();
  for (int i = 0; i < ZxAttrBytes; ++i)
    EXPECT_EQ(scr[size_t(ZxPixelBytes + i)], 0x7F) << i;
  for (int y = 0; y < 192; y += 7)
    for (int x = 0; x < 256; x += 5)
      EXPECT_EQ(r.Result->GetPixel(x, y), 15);

  TRun p =
      ConvertZx(Photo(), [](TVeDestEngineOptions& o) { o.SetColorUsage(zxUsageDarkForceBright); });
  const auto& s2 = p.Files->GetStream(0)->Bytes();
  for (int i = 0; i < ZxAttrBytes; ++i)
    EXPECT_EQ(s2[size_t(ZxPixelBytes + i)] & 0xC0, 0x40);
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < 256; ++x) {
      ASSERT_GE(p.Result->GetPixel(x, y), 8);
      ASSERT_EQ(p.Result->GetPixel(x, y), ShownColor(s2, x, y));
    }
  // "Dark only" without the forced bit keeps the dark numbers.
  TRun d = ConvertZx(Photo(), [](TVeDestEngineOptions& o) { o.SetColorUsage(zxUsageDarkOnly); });
  for (int i = 0; i < ZxAttrBytes; ++i)
    EXPECT_EQ(d.Files->GetStream(0)->Bytes()[size_t(ZxPixelBytes + i)] & 0xC0, 0);
}

TEST(ZxSpectrumEngine, ExactColourCellGetsItsOwnPair) {
  // Dark red everywhere: (2, 2) ties with (0, 2) and comes first; all bits clear.
  TRun r = ConvertZx(TVeBitmap32(256, 192, VeRGBQuad(188, 0, 0)));
  const auto& scr = r.Files->GetStream(0)->Bytes();
  for (int i = 0; i < ZxPixelBytes; ++i)
    ASSERT_EQ(scr[size_t(i)], 0);
  for (int i = 0; i < ZxAttrBytes; ++i)
    ASSERT_EQ(scr[size_t(ZxPixelBytes + i)], 0x12);
  // Bright black in gray mode: the (8, 15) pair sets bright.
  TRun g = ConvertZx(TVeBitmap32(256, 192, VeRGBQuad(128, 128, 128)),
                     [](TVeDestEngineOptions& o) { o.SetPaletteMode(zxModeGray); });
  EXPECT_EQ(g.Options->Palette().Count(), 4);
  std::set<int> attrs, colours;
  for (int i = 0; i < ZxAttrBytes; ++i)
    attrs.insert(g.Files->GetStream(0)->Bytes()[size_t(6144 + i)]);
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < 256; ++x)
      colours.insert(g.Result->GetPixel(x, y));
  for (int a : attrs)
    EXPECT_TRUE(a == 0 || a == 0x07 || a == 0x3F || a == 0x47 || a == 0x7F) << a;
  for (int c : colours)
    EXPECT_TRUE(c == 0 || c == 7 || c == 8 || c == 15) << c;
}

TEST(ZxSpectrumEngine, BlackWhiteFileHasBlackAsSetBits) {
  TVeBitmap32 pic(256, 192, VeRGBQuad(255, 255, 255));
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < 128; ++x)
      pic.Pixel(x, y) = VeRGBQuad(0, 0, 0);
  TRun r = ConvertZx(pic, [](TVeDestEngineOptions& o) { o.SetPaletteMode(zxModeBlackWhite); });
  ASSERT_EQ(r.Files->Count(), 1);
  const auto& scr = r.Files->GetStream(0)->Bytes();
  ASSERT_EQ(scr.size(), size_t(ZxPixelBytes));
  for (int y = 0; y < 192; ++y) {
    EXPECT_EQ(scr[size_t(ZxScreenOffset(y, 0))], 0xFF);
    EXPECT_EQ(scr[size_t(ZxScreenOffset(y, 15))], 0xFF);
    EXPECT_EQ(scr[size_t(ZxScreenOffset(y, 16))], 0x00);
  }
  EXPECT_EQ(r.Options->Palette().Count(), 2);
  EXPECT_EQ(r.Result->GetPixel(0, 0), 0);
  EXPECT_EQ(r.Result->GetPixel(255, 191), 1);
}

TEST(ZxSpectrumEngine, OrthodoxChangesOnlyTheColoursMatched) {
  TRun r = ConvertZx(Photo(), [](TVeDestEngineOptions& o) { o.SetPaletteType(ptOrthodox); });
  EXPECT_EQ(r.Options->Palette().GetRGBQuad(7), 0xA7B7CDu);
  EXPECT_EQ(r.Result->Palette().GetRGBQuad(7), 0xA7B7CDu);
  const auto& scr = r.Files->GetStream(0)->Bytes();
  for (int y = 0; y < 192; y += 3)
    for (int x = 0; x < 256; x += 3)
      ASSERT_EQ(ShownColor(scr, x, y), r.Result->GetPixel(x, y));
}

// Mean L* of the 8 x 8 cells' average colours in linear light, roughly what a viewer sees of a
// dithered cell.
double ViewedLightness(int w, int h, const std::function<TVeStdRGBColor(int, int)>& at) {
  double sum = 0;
  for (int cy = 0; cy < h / 8; ++cy)
    for (int cx = 0; cx < w / 8; ++cx) {
      double y = 0;
      for (int dy = 0; dy < 8; ++dy)
        for (int dx = 0; dx < 8; ++dx) {
          const TVeStdRGBColor c = at(cx * 8 + dx, cy * 8 + dy);
          y += 0.212655 * SRGBToLinear(c.R / 255.0) + 0.715158 * SRGBToLinear(c.G / 255.0) +
               0.072187 * SRGBToLinear(c.B / 255.0);
        }
      y /= 64;
      sum += y > 216.0 / 24389 ? 116 * std::cbrt(y) - 16 : y * 24389.0 / 27;
    }
  return sum / ((w / 8) * (h / 8));
}

TEST(ZxSpectrumEngine, DefaultKeepsThePicturesTone) {
  const TVeBitmap32 photo = TestPhoto(256, 192);
  const double source = ViewedLightness(
      256, 192, [&](int x, int y) { return TVeStdRGBColor::FromRGBQuad(photo.Pixel(x, y)); });
  auto lightness = [&](const TRun& r) {
    return ViewedLightness(256, 192, [&](int x, int y) { return r.Result->GetStdRGB(x, y); });
  };
  const double byDefault = lightness(ConvertZx(photo));
  // 90 % of the error with both limits: the result was 9 L* darker on average photographs.
  const double written = lightness(ConvertZx(photo, [](TVeDestEngineOptions& o) {
    o.SetErrorDiffusion(90);
    o.SetLimitErrorInsideBlock(true);
  }));
  EXPECT_NEAR(byDefault, source, 4.0);
  EXPECT_LT(written, byDefault - 1.0);
}

TEST(ZxSpectrumEngine, SameFileWithAnyWorkerCount) {
  for (int distance : {VeMethodDeltaRGB, VeMethodCIE76}) {
    std::vector<uint8_t> first;
    for (int workers : {1, 2, 4}) {
      SetProcessorCount(workers);
      TRun r = ConvertZx(Photo(), [&](TVeDestEngineOptions& o) {
        o.SetDitherMethod(dmStucki);
        o.SetColorDistance(distance);
      });
      const auto& scr = r.Files->GetStream(0)->Bytes();
      if (first.empty())
        first = scr;
      else
        EXPECT_EQ(scr, first) << workers << " workers, distance " << distance;
    }
  }
  SetProcessorCount(0);
}

// Gray 100 is nearer black than dark white in linear light, and nearer dark white to the eye:
// each distance must decide the cells' pixels, not only the palette modes'.
TEST(ZxSpectrumEngine, ColorDistanceDecidesTheCells) {
  TVeBitmap32 gray(256, 192);
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < 256; ++x)
      gray.Pixel(x, y) = VeRGBQuad(100, 100, 100);
  for (int distance = 0; distance < VeDistanceCount; ++distance) {
    TRun r = ConvertZx(gray, [&](TVeDestEngineOptions& o) {
      o.SetDitherMethod(dmNone);
      o.SetColorDistance(distance);
    });
    const TVeStdRGBColor c = r.Result->GetStdRGB(100, 100);
    if (distance == VeMethodDeltaRGB)
      EXPECT_EQ(c.R, 0) << VeDistanceNames[distance];
    else
      EXPECT_EQ(c.R, 188) << VeDistanceNames[distance];
  }
}

TEST(ZxSpectrumEngine, CancelledRunRaisesAbort) {
  TVeZxSpectrumEngine engine;
  auto o = engine.CreateOptions();
  std::unique_ptr<TVeStreamList> files;
  TVeDestProgress progress;
  TVeCancelFlag cancel{1};
  EXPECT_THROW(
      TVeZxSpectrumEngine::Convert(&cancel, Photo(), files, progress, *o, nullptr, nullptr),
      EAbort);
}

namespace {
std::unique_ptr<TVeSourceEngineList> Probe(TVeMemoryLoadSource& src) {
  RegisterZxSpectrumLoaders();
  return ProbeSource(&src);
}
TVeSourceEngine* FindLoader(TVeSourceEngineList& list, const char* description) {
  for (int i = 0; i < list.Count(); ++i)
    if (list.Engines(i)->Description == description) return list.Engines(i);
  return nullptr;
}
} // namespace

TEST(ZxSpectrumLoader, ColorScreenRoundTripsThePreview) {
  for (TVePaletteType type : {ptColoredLinear, ptPulsar, ptVardel}) {
    TRun r = ConvertZx(Photo(), [type](TVeDestEngineOptions& o) { o.SetPaletteType(type); });
    const auto& scr = r.Files->GetStream(0)->Bytes();
    TVeMemoryLoadSource src("picture.scr", int32_t(scr.size()), scr.data());
    auto list = Probe(src);
    TVeSourceEngine* e = FindLoader(*list, "ZX Spectrum 256x192x4 image");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Priority, 5);
    EXPECT_EQ(e->PaletteTypes, (std::vector<TVePaletteType>{ptPulsar, ptColoredLinear, ptVardel}));
    e->PaletteType = type;
    auto bmp = e->CreateBitmap();
    ASSERT_TRUE(bmp);
    auto a = bmp->ToBitmap32();
    auto b = r.Result->ToBitmap32();
    EXPECT_TRUE(*a == *b) << "palette type " << int(type);
  }
  // Another extension still fits by size, with a lower priority.
  std::vector<uint8_t> data(ZxScreenBytes, 0x38);
  TVeMemoryLoadSource other("picture.bin", int32_t(data.size()), data.data());
  auto list = Probe(other);
  TVeSourceEngine* e = FindLoader(*list, "ZX Spectrum 256x192x4 image");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->Priority, 1);
  // 6976 bytes is not a plain screen.
  std::vector<uint8_t> ula(6976);
  TVeMemoryLoadSource u("picture.scr", int32_t(ula.size()), ula.data());
  auto none = Probe(u);
  EXPECT_FALSE(FindLoader(*none, "ZX Spectrum 256x192x4 image"));
}

TEST(ZxSpectrumLoader, BlackWhiteScreenShowsSetBitsBlack) {
  TVeBitmap32 pic(256, 192, VeRGBQuad(255, 255, 255));
  for (int y = 100; y < 192; ++y)
    for (int x = 0; x < 256; ++x)
      pic.Pixel(x, y) = VeRGBQuad(0, 0, 0);
  TRun r = ConvertZx(pic, [](TVeDestEngineOptions& o) { o.SetPaletteMode(zxModeBlackWhite); });
  const auto& scr = r.Files->GetStream(0)->Bytes();
  TVeMemoryLoadSource src("mono.scr", int32_t(scr.size()), scr.data());
  auto list = Probe(src);
  TVeSourceEngine* e = FindLoader(*list, "ZX Spectrum 256x192x1 B/W image");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->Priority, 5);
  EXPECT_TRUE(e->PaletteTypes.empty());
  EXPECT_EQ(e->Palette->GetRGBQuad(0), 0xFFFFFFu);
  EXPECT_EQ(e->Palette->GetRGBQuad(1), 0u);
  auto bmp = e->CreateBitmap();
  EXPECT_EQ(bmp->GetPixel(0, 0), 0);
  EXPECT_EQ(bmp->GetPixel(255, 191), 1);
  EXPECT_TRUE(*bmp->ToBitmap32() == *r.Result->ToBitmap32());
}
