// The seven IBM PC engines: their colours, the colour rule of each mode on a photograph, the
// BSAVE and PCX files they write, and those files read back as the preview.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeGenericEngine.h"
#include "VePlatforms.h"
#include "VeThreadJob.h"
#include "ibm/VeOpenPlatformIbm.h"
#include "ibm/VePlatformIbm.h"
#include "ibm/VeSavePlatformIbm.h"
#include "platforms/msx/test_msx_support.h"

using namespace msxtest;

namespace {

struct TRun {
  std::unique_ptr<TVeBitmap> Result;
  std::unique_ptr<TVeStreamList> Files;
  std::unique_ptr<TVeDestEngineOptions> Options;
};

const TVeBitmap32& PhotoFor(int w, int h) {
  static std::map<std::pair<int, int>, TVeBitmap32> photos;
  auto it = photos.find({w, h});
  if (it == photos.end()) it = photos.emplace(std::make_pair(w, h), Photo(w, h)).first;
  return it->second;
}

TRun Convert(int mode, const std::function<void(TVeDestEngineOptions&)>& setup = {}) {
  VeRegisterPlatforms();
  const TVeIbmModeInfo& m = IbmModeInfo(mode);
  const TVeDestEngineClass* c = DestEngineList().Find("IBM", m.Mode);
  if (!c || c->GetModeName() != m.Mode) throw std::runtime_error("no engine");
  TRun r;
  r.Options = c->Create()->CreateOptions();
  if (setup) {
    r.Options->BeginUpdate();
    setup(*r.Options);
    r.Options->EndUpdate();
  }
  TVeDestProgress progress;
  r.Result = c->Convert(nullptr, PhotoFor(m.Width, m.Height), r.Files, progress, *r.Options,
                        nullptr, nullptr);
  return r;
}

std::set<uint32_t> ShownColors(const TVeBitmap& b) {
  std::set<uint32_t> colors;
  const auto shown = b.ToBitmap32();
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      colors.insert(shown->Pixel(x, y) & 0xFFFFFF);
  return colors;
}

uint32_t Rgbi(int c) {
  return uint32_t(IbmCgaColors[c][0]) << 16 | uint32_t(IbmCgaColors[c][1]) << 8 |
         IbmCgaColors[c][2];
}

// The loader of class T reads the stream back as exactly the preview.
template <class T>
void ExpectRoundTrip(const TRun& r, const std::string& ext,
                     TVePaletteType type = TVePaletteType(255)) {
  const TVeStream* s = FindStream(*r.Files, ext);
  ASSERT_TRUE(s) << ext;
  auto folder = Saved(*s);
  RegisterIbmLoaders();
  auto list = ProbeSource(folder.get());
  T* e = Loader<T>(*list);
  ASSERT_TRUE(e) << ext;
  if (type != TVePaletteType(255)) e->PaletteType = type;
  auto bmp = e->CreateBitmap();
  ASSERT_EQ(bmp->Width(), r.Result->Width());
  ASSERT_EQ(bmp->Height(), r.Result->Height());
  EXPECT_TRUE(*bmp->ToBitmap32() == *r.Result->ToBitmap32()) << ext << " by " << e->Description;
}

// The file's first reading (the one a user gets without choosing) is T and shows the preview.
template <class T> void ExpectFirstReading(const TRun& r) {
  auto folder = Saved(*FindStream(*r.Files, "bsv"));
  RegisterIbmLoaders();
  auto list = ProbeSource(folder.get());
  ASSERT_TRUE(list && list->Count() > 0);
  auto* first = dynamic_cast<T*>(list->Engines(0));
  ASSERT_NE(first, nullptr) << list->Engines(0)->Description;
  auto bmp = first->CreateBitmap();
  EXPECT_TRUE(*bmp->ToBitmap32() == *r.Result->ToBitmap32()) << first->Description;
}

} // namespace

TEST(Ibm, ColoursOfTheAdapters) {
  // RGBI with brown, and the three fixed colours of each 320 x 200 palette.
  EXPECT_EQ(Rgbi(0), 0x000000u);
  EXPECT_EQ(Rgbi(1), 0x0000AAu);
  EXPECT_EQ(Rgbi(6), 0xAA5500u);
  EXPECT_EQ(Rgbi(7), 0xAAAAAAu);
  EXPECT_EQ(Rgbi(8), 0x555555u);
  EXPECT_EQ(Rgbi(14), 0xFFFF55u);
  EXPECT_EQ(Rgbi(15), 0xFFFFFFu);
  const std::map<TVePaletteType, std::vector<int>> triples = {
      {ptBackGreenRedYellowLow, {2, 4, 6}},   {ptBackGreenRedYellowHigh, {10, 12, 14}},
      {ptBackCyanMagentaWhiteLow, {3, 5, 7}}, {ptBackCyanMagentaWhiteHigh, {11, 13, 15}},
      {ptBackCyanRedWhiteLow, {3, 4, 7}},     {ptBackCyanRedWhiteHigh, {11, 12, 15}}};
  for (const auto& [type, colors] : triples) {
    TVePalette256 p;
    IbmMakeCga4Palette(p, type, 1);
    ASSERT_EQ(p.Count(), 4);
    EXPECT_EQ(p.GetRGBQuad(0), Rgbi(1));
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(p.GetRGBQuad(i + 1), Rgbi(colors[size_t(i)])) << VePaletteTypeName(type);
  }
  // EGA registers rgbRGB: red, brown, dark gray, white.
  EXPECT_EQ(IbmEgaRegister(2, 0, 0), 4);
  EXPECT_EQ(IbmEgaRegister(2, 1, 0), 20);
  EXPECT_EQ(IbmEgaRegister(1, 1, 1), 56);
  EXPECT_EQ(IbmEgaRegister(3, 3, 3), 63);
  const TVePaletteRGB& ega = IbmEgaHardwarePalette();
  ASSERT_EQ(ega.GetCount(), 64);
  EXPECT_EQ(ega.GetRGBQuad(ega.IndexOfLevels(2, 1, 0)), 0xAA5500u);
  // The DAC's six bits, and the 262144 colours shown at those levels.
  EXPECT_EQ(IbmDacLevel(1), 4);
  EXPECT_EQ(IbmDacLevel(32), 130);
  EXPECT_EQ(IbmDacLevel(63), 255);
  const TVePaletteRGB& vga = IbmVgaHardwarePalette();
  ASSERT_EQ(vga.GetCount(), 262144);
  for (int v = 0; v < 64; ++v)
    EXPECT_EQ(vga.GetRGBQuad(vga.IndexOfLevels(v, 0, 63)), uint32_t(IbmDacLevel(v)) << 16 | 255u);
}

TEST(Ibm, EnginesPanelsAndAspects) {
  VeRegisterPlatforms();
  TVeDestEngineList& list = DestEngineList();
  const TVeDestSubTypes& modes = list.GetSubTypes(list.IndexOf("IBM"));
  ASSERT_EQ(modes.Count(), IbmModeCount);
  const uint8_t aspects[IbmModeCount] = {8, 0, 8, 0, 4, 8, 10};
  for (int i = 0; i < modes.Count(); ++i) {
    const TVeDestEngineClass* c = modes.GetEngineClass(i);
    EXPECT_EQ(c->GetModeName(), IbmModeInfo(i).Mode);
    EXPECT_EQ(dynamic_cast<const TVeGenericEngineClass*>(c), nullptr) << IbmModeInfo(i).Mode;
    auto options = c->Create()->CreateOptions();
    EXPECT_EQ(options->AspectIndex(), aspects[i]) << IbmModeInfo(i).Mode;
    auto ui = c->Create()->CreateUI(*options);
    auto* panel = dynamic_cast<TVeDestEngineUIEx*>(ui.get());
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->Has(ciPaletteTypeList), i == 0);
    EXPECT_EQ(panel->Has(ciBorderColorIndex), i == 0);
    EXPECT_EQ(panel->Has(ciPaletteNumberList), i == 1);
    EXPECT_EQ(panel->Has(ciPaletteMode), i >= 2);
    EXPECT_TRUE(panel->Has(ciDitherMethod));
    if (i >= 2) {
      EXPECT_EQ(panel->Find(ciMaxColorCount)->Max, IbmModeInfo(i).Colors);
    }
  }
}

TEST(Ibm, EveryModeKeepsToItsColours) {
  // CGA 320 x 200: one background and one of the six fixed triples.
  {
    const TRun r = Convert(0);
    const TVePalette256& p = r.Options->Palette();
    ASSERT_EQ(p.Count(), 4);
    bool known = false;
    for (int t = ptBackGreenRedYellowLow; t <= ptBackCyanRedWhiteHigh; ++t) {
      const int* three = IbmCgaPaletteColors(TVePaletteType(t));
      known |= p.GetRGBQuad(1) == Rgbi(three[0]) && p.GetRGBQuad(2) == Rgbi(three[1]) &&
               p.GetRGBQuad(3) == Rgbi(three[2]);
    }
    EXPECT_TRUE(known);
    EXPECT_LE(ShownColors(*r.Result).size(), 4u);
    for (uint32_t c : ShownColors(*r.Result))
      EXPECT_GE(p.FindExact(c), 0);
  }
  // CGA 640 x 200: black and one foreground.
  {
    const TRun r = Convert(1);
    const auto shown = ShownColors(*r.Result);
    EXPECT_LE(shown.size(), 2u);
    EXPECT_TRUE(shown.count(0));
  }
  // 200-line EGA: RGBI colours only, also with fewer colours asked for.
  for (int mode : {2, 3})
    for (int count : {16, 6}) {
      const TRun r = Convert(mode, [count](auto& o) { o.SetMaxColorCount(count); });
      const auto shown = ShownColors(*r.Result);
      EXPECT_LE(shown.size(), size_t(count));
      for (uint32_t c : shown) {
        bool rgbi = false;
        for (int k = 0; k < 16; ++k)
          rgbi |= c == Rgbi(k);
        EXPECT_TRUE(rgbi) << std::hex << c;
      }
    }
  // 350-line EGA: 16 of the 64; VGA: 16 or 256 of the DAC's levels.
  for (int mode : {4, 5, 6}) {
    const TRun r = Convert(mode);
    const auto shown = ShownColors(*r.Result);
    EXPECT_LE(shown.size(), size_t(IbmModeInfo(mode).Colors));
    EXPECT_GT(shown.size(), 8u);
    for (uint32_t c : shown)
      for (int shift : {0, 8, 16}) {
        const int v = int(c >> shift & 255);
        if (mode == 4) {
          EXPECT_EQ(v % 85, 0) << std::hex << c;
        } else {
          const int level = (v * 63 + 127) / 255;
          EXPECT_EQ(IbmDacLevel(level), v) << std::hex << c;
        }
      }
  }
  // "Custom" on the 350-line EGA: fewer colours than ticked in the grid of the 64 come from
  // the ticked ones only.
  {
    const TVePaletteRGB& ega = IbmEgaHardwarePalette();
    TVeAllowedColors allowed{};
    std::set<uint32_t> ticked;
    for (int i : {0, 5, 21, 42, 63, 48, 12, 3}) {
      allowed[size_t(i)] = 1;
      ticked.insert(ega.GetRGBQuad(i));
    }
    const TRun r = Convert(4, [&](auto& o) {
      o.SetPaletteMode(ibmModeCustom);
      o.SetAllowedColors1(allowed);
      o.SetMaxColorCount(4);
    });
    EXPECT_EQ(r.Options->BasePalette().Count(), 64);
    EXPECT_LE(ShownColors(*r.Result).size(), 4u);
    for (uint32_t c : ShownColors(*r.Result))
      EXPECT_TRUE(ticked.count(c)) << std::hex << c;
  }
  // Gray and black/white keep to the hardware's grays.
  for (int mode : {2, 4, 5}) {
    const TRun gray = Convert(mode, [](auto& o) { o.SetPaletteMode(ibmModeGray); });
    for (uint32_t c : ShownColors(*gray.Result))
      EXPECT_TRUE((c >> 16) == (c & 255) && ((c >> 8) & 255) == (c & 255)) << std::hex << c;
    const TRun bw = Convert(mode, [](auto& o) { o.SetPaletteMode(ibmModeBlackWhite); });
    EXPECT_LE(ShownColors(*bw.Result).size(), 2u);
  }
}

TEST(Ibm, FileLayouts) {
  // CGA: BSAVE of B800:0000, even rows from 0, odd rows from 2000 (hex).
  const TRun cga = Convert(0);
  const auto& bsv = FindStream(*cga.Files, "bsv")->Bytes();
  ASSERT_EQ(bsv.size(), 7u + 16384u);
  EXPECT_EQ(bsv[0], 0xFD);
  EXPECT_EQ(bsv[1] | bsv[2] << 8, 0xB800);
  EXPECT_EQ(bsv[3] | bsv[4] << 8, 0);
  EXPECT_EQ(bsv[5] | bsv[6] << 8, 0x4000);
  for (int y : {0, 1, 101, 199})
    for (int x : {0, 3, 157, 319}) {
      const uint8_t b = bsv[size_t(7 + (y % 2) * 0x2000 + (y / 2) * 80 + x / 4)];
      EXPECT_EQ((b >> (6 - 2 * (x % 4))) & 3, cga.Result->GetPixel(x, y));
    }
  // PCX: version 5, run-length encoded; planes and line bytes of the mode.
  struct TLayout {
    int Mode, Bits, Planes, LineBytes;
  };
  for (const TLayout& l : {TLayout{0, 2, 1, 80}, TLayout{1, 1, 1, 80}, TLayout{2, 1, 4, 40},
                           TLayout{4, 1, 4, 80}, TLayout{5, 8, 1, 320}, TLayout{6, 1, 4, 80}}) {
    const TRun r = Convert(l.Mode);
    const auto& pcx = FindStream(*r.Files, "pcx")->Bytes();
    ASSERT_GT(pcx.size(), 128u);
    EXPECT_EQ(pcx[0], 0x0A);
    EXPECT_EQ(pcx[1], 5);
    EXPECT_EQ(pcx[2], 1);
    EXPECT_EQ(pcx[3], l.Bits);
    EXPECT_EQ(pcx[65], l.Planes);
    EXPECT_EQ(pcx[66] | pcx[67] << 8, l.LineBytes);
    EXPECT_EQ((pcx[8] | pcx[9] << 8) + 1, IbmModeInfo(l.Mode).Width);
    EXPECT_EQ((pcx[10] | pcx[11] << 8) + 1, IbmModeInfo(l.Mode).Height);
    if (l.Bits == 8) {
      ASSERT_EQ(pcx[pcx.size() - 769], 0x0C);
      const uint32_t first = r.Options->Palette().GetRGBQuad(0);
      EXPECT_EQ(pcx[pcx.size() - 768], first >> 16);
    } else {
      const uint32_t second = r.Options->Palette().GetRGBQuad(1);
      EXPECT_EQ(pcx[19] << 16 | pcx[20] << 8 | pcx[21], int(second));
    }
  }
}

TEST(Ibm, EveryFileReadsBackAsThePreview) {
  for (int mode = 0; mode < IbmModeCount; ++mode) {
    SCOPED_TRACE(IbmModeInfo(mode).Mode);
    ExpectRoundTrip<TVePCXEngine>(Convert(mode), "pcx");
  }
  for (int mode : {2, 4, 6})
    for (uint8_t pm : {ibmModeBlackWhite, ibmModeGray}) {
      SCOPED_TRACE(std::string(IbmModeInfo(mode).Mode) + " mode " + std::to_string(pm));
      ExpectRoundTrip<TVePCXEngine>(Convert(mode, [pm](auto& o) { o.SetPaletteMode(pm); }), "pcx");
    }
  // The BSAVE tag keeps mode, palette and background: each file opens first as it was made,
  // without choosing anything.
  for (TVePaletteType t :
       {ptBackGreenRedYellowLow, ptBackCyanMagentaWhiteLow, ptBackCyanRedWhiteHigh}) {
    const TRun r = Convert(0, [t](auto& o) {
      o.SetPaletteType(t);
      o.SetBorderColorIndex(t == ptBackCyanRedWhiteHigh ? 0 : 9);
    });
    ExpectFirstReading<TVeCGA4BsaveEngine>(r);
  }
  for (int fore : {15, 14})
    ExpectFirstReading<TVeCGA2BsaveEngine>(
        Convert(1, [fore](auto& o) { o.SetPaletteNumber(fore); }));
}

TEST(Ibm, UntaggedBsaveOffersBothModes) {
  // A BSAVE from elsewhere says nothing: both readings, the BIOS's colours, the palette
  // chosen in the dialog.
  TRun r = Convert(1, [](auto& o) { o.SetPaletteNumber(15); });
  TBytes bsv = FindStream(*r.Files, "bsv")->Bytes();
  std::fill(bsv.begin() + 7 + 8000, bsv.begin() + 7 + 0x2000, uint8_t(0));
  TFolder plain("pic.bsv", bsv);
  auto list = ProbeSource(&plain);
  ASSERT_TRUE(list);
  ASSERT_GE(list->Count(), 2);
  EXPECT_NE(Loader<TVeCGA4BsaveEngine>(*list), nullptr);
  auto* two = Loader<TVeCGA2BsaveEngine>(*list);
  ASSERT_NE(two, nullptr);
  EXPECT_TRUE(*two->CreateBitmap()->ToBitmap32() == *r.Result->ToBitmap32());
  const TRun four = Convert(0, [](auto& o) {
    o.SetPaletteType(ptBackGreenRedYellowLow);
    o.SetBorderColorIndex(0);
  });
  bsv = FindStream(*four.Files, "bsv")->Bytes();
  std::fill(bsv.begin() + 7 + 8000, bsv.begin() + 7 + 0x2000, uint8_t(0));
  TFolder plain4("pic.bsv", bsv);
  auto list4 = ProbeSource(&plain4);
  auto* e = Loader<TVeCGA4BsaveEngine>(*list4);
  ASSERT_NE(e, nullptr);
  e->PaletteType = ptBackGreenRedYellowLow;
  EXPECT_TRUE(*e->CreateBitmap()->ToBitmap32() == *four.Result->ToBitmap32());
}

TEST(Ibm, SameFilesWithAnyWorkerCount) {
  for (int mode = 0; mode < IbmModeCount; ++mode) {
    SCOPED_TRACE(IbmModeInfo(mode).Mode);
    auto bytes = [mode] {
      const TRun r = Convert(mode);
      std::vector<std::vector<uint8_t>> all;
      for (int i = 0; i < r.Files->Count(); ++i)
        all.push_back(r.Files->GetStream(i)->Bytes());
      return all;
    };
    SetProcessorCount(1);
    const auto one = bytes();
    SetProcessorCount(3);
    const auto three = bytes();
    SetProcessorCount(0);
    EXPECT_TRUE(one == three);
  }
}

TEST(Ibm, DamagedFilesAreRefused) {
  const TRun r = Convert(5);
  TBytes pcx = FindStream(*r.Files, "pcx")->Bytes();
  // Cut short inside the pixels: a clear error.
  TBytes cut(pcx.begin(), pcx.begin() + 2000);
  EXPECT_THROW(IbmDecodePcx(cut.data(), int32_t(cut.size())), EVeError);
  // Absurd sizes and line lengths are no PCX this reader takes.
  TBytes big = pcx;
  big[8] = big[9] = big[10] = big[11] = 0xFF;
  TVePcxPicture h;
  EXPECT_FALSE(IbmReadPcxHeader(big.data(), int32_t(big.size()), h));
  TBytes wide = pcx;
  wide[66] = 0xFF;
  wide[67] = 0xFF;
  EXPECT_FALSE(IbmReadPcxHeader(wide.data(), int32_t(wide.size()), h));
  TBytes planes = pcx;
  planes[65] = 3;
  EXPECT_FALSE(IbmReadPcxHeader(planes.data(), int32_t(planes.size()), h));
  // A BSAVE image of another segment, or too short, is no CGA screen.
  const TRun cga = Convert(0);
  TBytes bsv = FindStream(*cga.Files, "bsv")->Bytes();
  TFolder good("pic.bin", bsv);
  EXPECT_NE(TVeCGABsaveEngine::CheckFormat(&good, 2), 0);
  TBytes other = bsv;
  other[2] = 0xA0;
  TFolder wrong("pic.bsv", other);
  EXPECT_EQ(TVeCGABsaveEngine::CheckFormat(&wrong, 2), 0);
  TFolder shortFile("pic.bsv", TBytes(bsv.begin(), bsv.begin() + 9000));
  EXPECT_EQ(TVeCGABsaveEngine::CheckFormat(&shortFile, 2), 0);
}
