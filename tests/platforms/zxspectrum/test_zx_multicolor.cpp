// ZX Spectrum multicolor, interlaced and tricolor modes: file layouts and registration.
#include <gtest/gtest.h>

#include <functional>

#include "VeBitmap.h"
#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeLoadSource.h"
#include "VeStream.h"
#include "VeThreadJob.h"
#include "test_engine_run.h"
#include "zxspectrum/VeOpenPlatformZxSpectrum.h"
#include "zxspectrum/VePlatformZxSpectrum.h"
#include "zxspectrum/VeSavePlatformZxSpectrumMulticolor.h"

namespace {

TVeBitmap32 Photo(int height = 192) {
  TVeBitmap32 b(256, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < 256; ++x)
      b.Pixel(x, y) = VeRGBQuad(uint8_t(x), uint8_t((x * y) >> 7), uint8_t(255 - y % 256));
  return b;
}

// Colour number a screen with one attribute per cellHeight lines shows at (x, y).
int Shown(const std::vector<uint8_t>& file, int x, int y, int cellHeight) {
  const uint8_t a = file[size_t(ZxPixelBytes + 32 * (y / cellHeight) + x / 8)];
  const bool ink = (file[size_t(ZxScreenOffset(y, x / 8))] >> (7 - x % 8)) & 1;
  return ink ? ZxAttrInk(a) : ZxAttrPaper(a);
}

uint32_t ZxRGB(int colour) {
  return ZxSpectrumColorRGB(ptColoredLinear, colour);
}

} // namespace

TEST(ZxMulticolor, EnginesTakeTheirCatalogueEntries) {
  TVeDestEngineList& list = DestEngineList();
  for (const char* mode : {"256x192x4 Multicolor 8x1", "256x192x4 Multicolor 8x2",
                           "256x384x4 Interlaced v1", "256x192x3 Tricolor"}) {
    const TVeDestEngineClass* c = list.Find("ZX Spectrum", mode);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->GetModeName(), mode);
  }
  auto o = TVeZxSpectrumMultiColor1Engine().CreateOptions();
  EXPECT_EQ(o->GetCellHeight(), 1);
  EXPECT_EQ(int(o->DitherMethod()), 2);
  EXPECT_FALSE(o->LimitErrorInsideBlock());
  EXPECT_FALSE(o->LimitErrorAtBoundary());
  EXPECT_EQ(TVeZxSpectrumMultiColor2Engine().CreateOptions()->GetCellHeight(), 2);
  auto i = TVeZxSpectrumInterlacedEngine().CreateOptions();
  EXPECT_EQ(i->Width(), 256);
  EXPECT_EQ(i->Height(), 384);
  EXPECT_EQ(int(i->AspectIndex()), 17);
  EXPECT_EQ(i->Palette().Count(), 16);
  i->SetPaletteMode(zxModeGray); // its palette is always the full one
  EXPECT_EQ(i->Palette().Count(), 16);
  auto t = TVeZxSpectrumTricolorEngine().CreateOptions();
  ASSERT_EQ(t->Palette().Count(), 8);
  EXPECT_EQ(t->Palette().GetRGBQuad(2), ZxRGB(zxBright + zxRed));
}

TEST(ZxMulticolor, EightByOneGivesEveryLineItsOwnAttributes) {
  // Pure colours changing every line: red, blue, green, ... across the whole width.
  const int colours[3] = {zxRed, zxBlue, zxGreen};
  TVeBitmap32 pic(256, 192);
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < 256; ++x)
      pic.Pixel(x, y) = ZxRGB(colours[y % 3]);
  TVeEngineRun r = VeRunEngine<TVeZxSpectrumMultiColor1Engine>(pic);
  ASSERT_EQ(r.Files->Count(), 2);
  EXPECT_EQ(r.Files->GetExtension(0), "mlt");
  EXPECT_EQ(r.Files->GetExtension(1), "mc");
  const auto& mlt = r.File(0);
  const auto& mc = r.File(1);
  ASSERT_EQ(mlt.size(), 12288u);
  ASSERT_EQ(mc.size(), 12288u);
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < 256; x += 8) {
      ASSERT_EQ(Shown(mlt, x, y, 1), colours[y % 3]) << x << "," << y;
      ASSERT_EQ(r.Result->GetPixel(x, y), colours[y % 3]);
    }
  // "mc": the same lines one after another (line 1 at 32, where "mlt" has it at 256).
  for (int y = 0; y < 192; ++y)
    for (int b = 0; b < 32; ++b)
      ASSERT_EQ(mc[size_t(32 * y + b)], mlt[size_t(ZxScreenOffset(y, b))]);
  EXPECT_TRUE(std::equal(mc.begin() + ZxPixelBytes, mc.end(), mlt.begin() + ZxPixelBytes));
  EXPECT_EQ(ZxScreenOffset(1, 0), 256);
}

TEST(ZxMulticolor, FilesMatchThePreview) {
  TVeEngineRun two = VeRunEngine<TVeZxSpectrumMultiColor2Engine>(Photo());
  ASSERT_EQ(two.Files->Count(), 1);
  EXPECT_EQ(two.Files->GetExtension(0), "ifl");
  ASSERT_EQ(two.File().size(), 9216u);
  for (int y = 0; y < 192; y += 3)
    for (int x = 0; x < 256; x += 3)
      ASSERT_EQ(Shown(two.File(), x, y, 2), two.Result->GetPixel(x, y)) << x << "," << y;
  TVeEngineRun one = VeRunEngine<TVeZxSpectrumMultiColor1Engine>(
      Photo(), [](TVeDestEngineOptions& o) { o.SetPaletteMode(zxModeGray); });
  EXPECT_EQ(one.Options->Palette().Count(), 4); // the gray colours go with the result
  for (int y = 0; y < 192; y += 3)
    for (int x = 0; x < 256; x += 3)
      ASSERT_EQ(Shown(one.File(), x, y, 1), one.Result->GetPixel(x, y)) << x << "," << y;
}

TEST(ZxMulticolor, SameFilesWithAnyWorkerCount) {
  std::vector<uint8_t> first;
  for (int workers : {1, 3}) {
    SetProcessorCount(workers);
    TVeEngineRun r = VeRunEngine<TVeZxSpectrumMultiColor1Engine>(Photo());
    if (first.empty())
      first = r.File(1);
    else
      EXPECT_EQ(r.File(1), first) << workers << " workers";
  }
  SetProcessorCount(0);
}

TEST(ZxInterlaced, FieldsGoToTheirScreensAndShareAttributes) {
  // Black/white: even lines white, odd lines black; every attribute stays 71.
  TVeBitmap32 lines(256, 384);
  for (int y = 0; y < 384; ++y)
    for (int x = 0; x < 256; ++x)
      lines.Pixel(x, y) = y % 2 ? VeRGBQuad(0, 0, 0) : VeRGBQuad(255, 255, 255);
  TVeEngineRun bw = VeRunEngine<TVeZxSpectrumInterlacedEngine>(
      lines, [](TVeDestEngineOptions& o) { o.SetPaletteMode(zxModeBlackWhite); });
  ASSERT_EQ(bw.Files->Count(), 1);
  EXPECT_EQ(bw.Files->GetExtension(0), "lce");
  const auto& lce = bw.File();
  ASSERT_EQ(lce.size(), 13824u);
  for (int b = 0; b < ZxPixelBytes; ++b) {
    ASSERT_EQ(lce[size_t(b)], 0xFF) << b; // white is a set bit, shown by the white ink
    ASSERT_EQ(lce[size_t(ZxScreenBytes + b)], 0x00) << b;
  }
  for (int a = 0; a < ZxAttrBytes; ++a) {
    ASSERT_EQ(lce[size_t(ZxPixelBytes + a)], 71);
    ASSERT_EQ(lce[size_t(ZxScreenBytes + ZxPixelBytes + a)], 71);
  }
  EXPECT_EQ(bw.Result->GetPixel(0, 0), 1);
  EXPECT_EQ(bw.Result->GetPixel(0, 1), 0);

  // Colour: one attribute per 8 x 16 cell, the same in both screens; each picture line shows
  // what the preview shows.
  TVeEngineRun colour = VeRunEngine<TVeZxSpectrumInterlacedEngine>(Photo(384));
  const auto& file = colour.File();
  EXPECT_TRUE(std::equal(file.begin() + ZxPixelBytes, file.begin() + ZxScreenBytes,
                         file.begin() + ZxScreenBytes + ZxPixelBytes));
  for (int y = 0; y < 384; y += 3)
    for (int x = 0; x < 256; x += 5) {
      const std::vector<uint8_t> screen(file.begin() + (y % 2) * ZxScreenBytes,
                                        file.begin() + (y % 2 + 1) * ZxScreenBytes);
      ASSERT_EQ(Shown(screen, x, y / 2, 8), colour.Result->GetPixel(x, y)) << x << "," << y;
    }
  EXPECT_EQ(colour.Options->Palette().Count(), 16);
}

TEST(ZxTricolor, PlanesHoldTheBrightColours) {
  TVeBitmap32 pic(256, 192, VeRGBQuad(0, 0, 0));
  for (int k = 0; k < 8; ++k)
    for (int y = 0; y < 192; ++y)
      for (int x = 32 * k; x < 32 * k + 32; ++x)
        pic.Pixel(x, y) = ZxRGB(zxBright + k);
  TVeEngineRun r = VeRunEngine<TVeZxSpectrumTricolorEngine>(pic);
  ASSERT_EQ(r.Files->Count(), 1);
  EXPECT_EQ(r.Files->GetExtension(0), "rgb");
  auto& rgb = r.Files->GetStream(0)->Bytes();
  ASSERT_EQ(rgb.size(), 18432u); // three planes, no attributes
  auto bit = [&](int plane, int x, int y) {
    return (rgb[size_t(plane * ZxPixelBytes + ZxScreenOffset(y, x / 8))] >> (7 - x % 8)) & 1;
  };
  for (int k = 0; k < 8; ++k) {
    const int x = 32 * k + 7, y = 100;
    EXPECT_EQ(r.Result->GetPixel(x, y), k);
    EXPECT_EQ(bit(0, x, y), (k & 2) ? 1 : 0) << k; // red
    EXPECT_EQ(bit(1, x, y), (k & 4) ? 1 : 0) << k; // green
    EXPECT_EQ(bit(2, x, y), (k & 1) ? 1 : 0) << k; // blue
  }
  // Black clears its bit in all three planes; the screen reads back what it was given.
  TVeZxSpectrumTricolorScreen screen(rgb.data());
  EXPECT_EQ(screen.GetPixel(3, 3), 0);
  EXPECT_EQ(screen.GetPixel(32 * 6 + 1, 0), 6);
  screen.SetPixel(0, 0, 5);
  EXPECT_EQ(screen.GetPixel(0, 0), 5);
}

// ---- The files read back as source pictures -------------------------------------------

namespace {

// The picture the loader of class T decodes, when it is among those taking the bytes.
template <class T>
std::unique_ptr<TVeBitmap> Load(const std::vector<uint8_t>& bytes, const std::string& name,
                                int* priority = nullptr, TVeSourceEngine** engine = nullptr,
                                std::unique_ptr<TVeSourceEngineList>* keep = nullptr) {
  RegisterZxSpectrumLoaders();
  TVeMemoryLoadSource src(name, int32_t(bytes.size()), bytes.data());
  std::unique_ptr<TVeSourceEngineList> list = ProbeSource(&src);
  for (int i = 0; i < list->Count(); ++i) {
    TVeSourceEngine* e = list->Engines(i);
    if (!dynamic_cast<T*>(e)) continue;
    if (priority) *priority = e->Priority;
    if (engine) *engine = e;
    std::unique_ptr<TVeBitmap> bmp = e->CreateBitmap();
    if (keep) *keep = std::move(list);
    return bmp;
  }
  return nullptr;
}

bool SamePicture(const TVeBitmap& a, const TVeBitmap& b) {
  return *a.ToBitmap32() == *b.ToBitmap32();
}

} // namespace

TEST(ZxLoaders, WrittenFilesReadBackAsTheirPreviews) {
  TVeEngineRun mlt = VeRunEngine<TVeZxSpectrumMultiColor1Engine>(Photo());
  int priority = 0;
  auto a = Load<TVeZxSpectrumMulticolorMLTEngine>(mlt.File(0), "photo.mlt", &priority);
  ASSERT_TRUE(a);
  EXPECT_EQ(priority, 5);
  EXPECT_TRUE(SamePicture(*a, *mlt.Result));
  auto b = Load<TVeZxSpectrumMulticolorMCEngine>(mlt.File(1), "photo.mc", &priority);
  ASSERT_TRUE(b);
  EXPECT_EQ(priority, 5);
  EXPECT_TRUE(SamePicture(*b, *mlt.Result));

  TVeEngineRun ifl = VeRunEngine<TVeZxSpectrumMultiColor2Engine>(Photo());
  auto c = Load<TVeZxSpectrumMulticolor2Engine>(ifl.File(), "photo.ifl");
  ASSERT_TRUE(c);
  EXPECT_TRUE(SamePicture(*c, *ifl.Result));

  TVeEngineRun lce = VeRunEngine<TVeZxSpectrumInterlacedEngine>(Photo(384));
  TVeSourceEngine* e = nullptr;
  std::unique_ptr<TVeSourceEngineList> keep;
  auto d = Load<TVeZxSpectrumColorInterlacedEngine>(lce.File(), "photo.lce", nullptr, &e, &keep);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->Height(), 384);
  EXPECT_EQ(int(e->PixelAspect), 17);
  EXPECT_TRUE(SamePicture(*d, *lce.Result));

  TVeEngineRun rgb = VeRunEngine<TVeZxSpectrumTricolorEngine>(Photo());
  auto t = Load<TVeZxSpectrumTricolorSourceEngine>(rgb.File(), "photo.rgb", &priority);
  ASSERT_TRUE(t);
  EXPECT_EQ(priority, 5);
  for (int y = 0; y < 192; y += 7)
    for (int x = 0; x < 256; x += 5)
      ASSERT_EQ(t->GetPixel(x, y), rgb.Result->GetPixel(x, y)) << x << "," << y;
  // ".3" files order their colours another way.
  auto three = Load<TVeZxSpectrumTricolorSourceEngine>(rgb.File(), "photo.3");
  ASSERT_TRUE(three);
  EXPECT_EQ(three->Palette().GetRGBQuad(1), 0x00FF00u);
  EXPECT_EQ(t->Palette().GetRGBQuad(1), 0x0000FFu);
}

TEST(ZxLoaders, AttributeLayoutsAndFlash) {
  // Attributes only: paper then ink per attribute, or the cells over a fine chequer.
  std::vector<uint8_t> attrs(6144, uint8_t(zxRed << 3 | zxBlue));
  TVeSourceEngine* e = nullptr;
  std::unique_ptr<TVeSourceEngineList> keep;
  auto mtl = Load<TVeZxSpectrumMulticolorMTLEngine>(attrs, "x.mtl", nullptr, &e, &keep);
  ASSERT_TRUE(mtl);
  EXPECT_EQ(mtl->Width(), 64);
  EXPECT_EQ(int(e->PixelAspect), 20);
  EXPECT_EQ(mtl->GetPixel(0, 0), zxRed);
  EXPECT_EQ(mtl->GetPixel(1, 0), zxBlue);
  attrs.resize(3072);
  auto afl = Load<TVeZxSpectrumMulticolor2AFLEngine>(attrs, "x.afl");
  ASSERT_TRUE(afl);
  EXPECT_EQ(afl->Height(), 96);
  attrs.resize(768);
  auto atr = Load<TVeZxSpectrumAtrEngine>(attrs, "x.atr");
  ASSERT_TRUE(atr);
  EXPECT_EQ(atr->GetPixel(0, 0), zxRed); // 0x55: paper first on even rows
  EXPECT_EQ(atr->GetPixel(1, 0), zxBlue);
  EXPECT_EQ(atr->GetPixel(0, 1), zxBlue); // 0xAA on odd rows

  // A flashing cell shows one mix for ink and paper; ".flash.scr" ranks the view higher.
  std::vector<uint8_t> scr(ZxScreenBytes, 0);
  for (int y = 0; y < 8; ++y)
    scr[size_t(ZxScreenOffset(y, 0))] = 0xF0;
  scr[size_t(ZxAttrOffset(0, 0))] = uint8_t(ZxAttrFlash | zxGreen << 3 | zxWhite);
  scr[size_t(ZxAttrOffset(1, 0))] = uint8_t(zxGreen << 3 | zxWhite);
  int priority = 0;
  auto flash = Load<TVeZxSpectrumFlashColorEngine>(scr, "x.flash.scr", &priority);
  ASSERT_TRUE(flash);
  EXPECT_EQ(priority, 7);
  EXPECT_EQ(flash->GetPixel(0, 0), zxGreen * 16 + zxWhite);
  EXPECT_EQ(flash->GetPixel(7, 0), zxGreen * 16 + zxWhite);
  EXPECT_EQ(flash->GetPixel(8, 0), zxGreen * 17); // no flash: paper as itself
  Load<TVeZxSpectrumFlashColorEngine>(scr, "x.scr", &priority);
  EXPECT_EQ(priority, 5);
}

TEST(ZxBWGiga, GrayAlternatesBetweenTheTwoScreens) {
  // Left half mid-gray (in linear light), right quarter white, last quarter black.
  const uint8_t mid = LinearToByte(0.5);
  TVeBitmap32 pic(256, 192, VeRGBQuad(mid, mid, mid));
  for (int y = 0; y < 192; ++y)
    for (int x = 128; x < 256; ++x)
      pic.Pixel(x, y) = x < 192 ? VeRGBQuad(255, 255, 255) : VeRGBQuad(0, 0, 0);
  TVeEngineRun r = VeRunEngine<TVeZxSpectrumBWGigascreenEngine>(pic);
  ASSERT_EQ(r.Files->Count(), 1);
  EXPECT_EQ(r.Files->GetExtension(0), "lcm");
  const auto& lcm = r.File();
  ASSERT_EQ(lcm.size(), 12288u);
  ASSERT_NE(r.Result->Frames(), nullptr);
  EXPECT_EQ(r.Result->Frames()->Count(), 2);
  EXPECT_EQ(r.Options->Palette().Count(), 3);
  // Gray: a chessboard, the other way round in the second screen (a set bit is black).
  EXPECT_EQ(lcm[size_t(ZxScreenOffset(0, 0))], 0xAA);
  EXPECT_EQ(lcm[size_t(ZxPixelBytes + ZxScreenOffset(0, 0))], 0x55);
  EXPECT_EQ(lcm[size_t(ZxScreenOffset(1, 0))], 0x55);
  // White clears both screens' bits, black sets them.
  EXPECT_EQ(lcm[size_t(ZxScreenOffset(50, 17))], 0x00);
  EXPECT_EQ(lcm[size_t(ZxPixelBytes + ZxScreenOffset(50, 17))], 0x00);
  EXPECT_EQ(lcm[size_t(ZxScreenOffset(50, 30))], 0xFF);
  EXPECT_EQ(lcm[size_t(ZxPixelBytes + ZxScreenOffset(50, 30))], 0xFF);
  // The screen reads back what the dithering wrote.
  TVeZxSpectrumBWGigascreenScreen screen(r.Files->GetStream(0)->Data());
  EXPECT_EQ(screen.GetPixel(0, 0) + screen.GetPixel(1, 0), 3);
  EXPECT_EQ(screen.GetPixel(140, 0), 3);
  EXPECT_EQ(screen.GetPixel(250, 0), 0);
  // The file reads back: the mixes of white and black, gray where the frames differ.
  auto back = Load<TVeZxSpectrumBWGigaEngine>(lcm, "photo.lcm");
  ASSERT_TRUE(back);
  EXPECT_EQ(back->Palette().Count(), 4);
  auto shown = back->ToBitmap32();
  const uint32_t gray = shown->Pixel(0, 0) & 0xFFFFFF;
  EXPECT_EQ(gray, shown->Pixel(1, 0) & 0xFFFFFF);
  EXPECT_EQ(gray, VeRGBQuad(mid, mid, mid) & 0xFFFFFF);
  EXPECT_EQ(shown->Pixel(140, 0) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(shown->Pixel(250, 0) & 0xFFFFFF, 0u);
  // The two screens come back as the two frames the conversion made; it lists frame A (the
  // second screen) first.
  ASSERT_NE(back->Frames(), nullptr);
  ASSERT_EQ(back->Frames()->Count(), 2);
  for (int f = 0; f < 2; ++f)
    EXPECT_TRUE(*back->Frames()->GetBitmap(f)->ToBitmap32() ==
                *r.Result->Frames()->GetBitmap(1 - f)->ToBitmap32())
        << f;
}
