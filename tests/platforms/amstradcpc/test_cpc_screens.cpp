// The nine Amstrad CPC engines: colours, the AMSDOS header, screen layouts and pixel bits,
// the files they write, and every file read back through its loader giving the preview.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "VeGenericEngine.h"
#include "VeThreadJob.h"
#include "test_cpc_support.h"

using namespace cpctest;

namespace {

std::vector<const TVeCPCModeInfo*> AllModes() {
  std::vector<const TVeCPCModeInfo*> modes;
  for (int i = 0; i < 9; ++i)
    modes.push_back(&CpcModeInfo(i));
  return modes;
}

// The loader the probe ranks first, with the palette type the conversion used, shows
// exactly the preview.
void ExpectRoundTrip(const TRun& r, const TVeStream& stream) {
  auto folder = Saved(stream);
  auto list = ProbeAll(*folder);
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

void ExpectAllRoundTrips(const TRun& r) {
  ASSERT_TRUE(r.Files);
  for (int i = 0; i < r.Files->Count(); ++i)
    ExpectRoundTrip(r, *r.Files->GetStream(i));
}

// A picture black everywhere but white on row `row`.
TVeBitmap32 WhiteRow(int w, int h, int row) {
  TVeBitmap32 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b.Pixel(x, y) = y == row ? 0xFFFFFF : 0;
  return b;
}

} // namespace

TEST(CpcColours, FirmwareAndHardwareNumbers) {
  std::set<int> hardware(std::begin(CpcHardwareColour), std::end(CpcHardwareColour));
  EXPECT_EQ(hardware.size(), 27u);
  for (int f = 0; f < CpcColorCount; ++f)
    EXPECT_EQ(CpcFirmwareOfHardware(CpcHardwareColour[f]), f) << f;
  // The numbers that repeat another colour.
  EXPECT_EQ(CpcFirmwareOfHardware(0x41), 13);
  EXPECT_EQ(CpcFirmwareOfHardware(0x48), 7);
  EXPECT_EQ(CpcFirmwareOfHardware(0x49), 25);
  EXPECT_EQ(CpcFirmwareOfHardware(0x50), 1);
  EXPECT_EQ(CpcFirmwareOfHardware(0x51), 19);

  TVePalette256 ga, gaRgb, asicRgb, plus;
  CpcMakePalette(ga, ptCPCGateArray);
  CpcMakePalette(gaRgb, ptCPCGateArrayRGB);
  CpcMakePalette(asicRgb, ptCPCASICRGB);
  CpcMakePalette(plus, ptCPCPlus);
  ASSERT_EQ(ga.Count(), 27);
  // Percentages as linear intensities, or as bytes: 95.1923 % of 255 is 242.7.
  EXPECT_NEAR(ga.GetLinRGB(26).G, 0.951923, 1e-9);
  EXPECT_EQ(gaRgb.GetRGBQuad(26), 0xFFF3F9u);
  EXPECT_EQ(gaRgb.GetRGBQuad(0), 0x000201u);
  EXPECT_EQ(asicRgb.GetRGBQuad(7), 0xFF0764u);
  // The Plus rounds the ASIC colours to 4-bit levels: 40.3292 % is level 6.
  EXPECT_EQ(plus.GetRGBQuad(13), 0x666666u);
  EXPECT_EQ(CpcHardwarePalette(ptCPCPlus).Count(), 4096);
  // "Gray" and "Black/white" are firmware colours 0, 13, 26 and 0, 26.
  TVePalette256 gray, bw;
  CpcMakeGrayPalette(gray, ptCPCGateArray);
  CpcMakeBlackWhitePalette(bw, ptCPCGateArray);
  ASSERT_EQ(gray.Count(), 3);
  EXPECT_EQ(gray.GetRGBQuad(1), ga.GetRGBQuad(13));
  ASSERT_EQ(bw.Count(), 2);
  EXPECT_EQ(bw.GetRGBQuad(1), ga.GetRGBQuad(26));
  // Bright: black, the middle gray and the colours with a channel at full intensity (nine
  // green + three red + blue levels): 21 of 27.
  const std::vector<bool> bright = CpcBrightColors();
  EXPECT_EQ(std::count(bright.begin(), bright.end(), true), 21);
  EXPECT_TRUE(bright[0]);
  EXPECT_TRUE(bright[13]);
  EXPECT_FALSE(bright[4]);
  EXPECT_TRUE(bright[2]);
}

TEST(CpcHeader, ChecksumAndFieldsAsComputedByHand) {
  uint8_t h[CpcHeaderBytes];
  CpcWriteHeader(h, CpcTypeBinary, 0x4000, 0xC000, 0xC7D0);
  CpcSetHeaderName(h, "my pic.scr");
  uint8_t expected[CpcHeaderBytes] = {};
  const char name[] = "MY-PIC  SCR";
  std::copy(name, name + 11, expected + 1);
  expected[18] = 2;
  expected[20] = 0x40; // data length 4000
  expected[22] = 0xC0; // load C000
  expected[25] = 0x40;
  expected[26] = 0xD0; // entry C7D0
  expected[27] = 0xC7;
  expected[65] = 0x40;
  // M Y - P I C and two spaces: 495; S C R: 232; type 2; 40 + C0 + 40 + D0 + C7 + 40 = 791.
  expected[67] = 1520 & 0xFF;
  expected[68] = 1520 >> 8;
  for (int i = 0; i < CpcHeaderBytes; ++i)
    EXPECT_EQ(h[i], expected[i]) << "byte " << i;
  TVeCpcHeader read;
  ASSERT_TRUE(CpcReadHeader(h, CpcHeaderBytes, read));
  EXPECT_EQ(read.Type, 2);
  EXPECT_EQ(read.Length, 0x4000);
  EXPECT_EQ(read.Load, 0xC000);
  EXPECT_EQ(read.Entry, 0xC7D0);
  EXPECT_EQ(read.RealLength, 0x4000);
  // A changed byte without a new checksum: no header.
  h[19] ^= 1;
  EXPECT_FALSE(CpcReadHeader(h, CpcHeaderBytes, read));
  EXPECT_FALSE(CpcReadHeader(h, CpcHeaderBytes - 1, read));
}

TEST(CpcHeader, NamesAsTheDiskSystemTakesThem) {
  EXPECT_EQ(CpcHeaderName("my pic.scr"), "MY-PIC  SCR");
  EXPECT_EQ(CpcHeaderName("C:\\pictures/sub\\Photo.Final.scr"), "PHOTO-FISCR");
  EXPECT_EQ(CpcHeaderName("  a b  . pal "), "A-B     PAL");
  EXPECT_EQ(CpcHeaderName("very_long_name.jpeg"), "VERY-LONJPE");
  EXPECT_EQ(CpcHeaderName("x!#$&'+.{}@"), "X!#$&'+ {}@");
  EXPECT_EQ(CpcHeaderName("\"^-.scr"), "\"^-     SCR");
  // One "-" per character, however many bytes it takes in UTF-8.
  EXPECT_EQ(CpcHeaderName("caf\xC3\xA9.scr"), "CAF-    SCR");
  EXPECT_EQ(CpcHeaderName("noext"), "NOEXT      ");
  EXPECT_EQ(CpcHeaderName(""), "           ");

  // The stream sets the name when it is saved, and the checksum with it.
  TVeAmsdosStream s("scr", CpcTypeBinary, 16, 0x4000, 0);
  TVeCpcHeader h;
  ASSERT_TRUE(CpcReadHeader(s.Data(), int32_t(s.Size()), h));
  EXPECT_EQ(std::string(s.Data() + 1, s.Data() + 12), "           ");
  s.BeforeSave("my pic.scr");
  EXPECT_EQ(std::string(s.Data() + 1, s.Data() + 12), "MY-PIC  SCR");
  EXPECT_TRUE(CpcReadHeader(s.Data(), int32_t(s.Size()), h));
  EXPECT_EQ(s.HeaderSize, 128u);
  EXPECT_EQ(s.Size(), 144u);
}

TEST(CpcScreens, LineAddresses) {
  // First byte of lines 0, 7, 8 and 199.
  EXPECT_EQ(CpcScreenOffset(0, 0), 0);
  EXPECT_EQ(CpcScreenOffset(7, 0), 0x3800);
  EXPECT_EQ(CpcScreenOffset(8, 0), 80);
  EXPECT_EQ(CpcScreenOffset(199, 0), 0x3800 + 24 * 80);
  EXPECT_EQ(CpcOverscanOffset(0, 0), 144);
  EXPECT_EQ(CpcOverscanOffset(7, 0), 0x3800 + 144);
  EXPECT_EQ(CpcOverscanOffset(8, 0), 96 + 144);
  EXPECT_EQ(CpcOverscanOffset(127, 95), 0x3800 + 15 * 96 + 95 + 144);
  EXPECT_EQ(CpcOverscanOffset(128, 0), 0x3800 + 16 * 96 + 144); // address 4000
  EXPECT_EQ(CpcOverscanOffset(199, 0), 0x3800 + 0x3800 + 24 * 96 + 144);
  EXPECT_EQ(CpcHgbOffset(0, 0), 0);
  EXPECT_EQ(CpcHgbOffset(7, 0), 0x3800);
  EXPECT_EQ(CpcHgbOffset(8, 0), 64);
  EXPECT_EQ(CpcHgbOffset(199, 0), 0x3800 + 24 * 64);
  EXPECT_EQ(CpcHgbOffset(255, 63), 0x3FFF);

  // And in the files: one white line of mode 2 pixels lands there and nowhere else.
  for (int row : {0, 7, 8, 199}) {
    SCOPED_TRACE(row);
    for (int k : {4, 5, 6}) {
      const TVeCPCModeInfo& m = CpcModeInfo(k);
      const TVeBitmap32 pic = WhiteRow(m.Width, m.Height, row);
      TRun r = ConvertMode(
          m,
          [](TVeDestEngineOptions& o) {
            o.SetDitherMethod(dmNone);
            o.SetFileFormatFlag(true);
          },
          &pic);
      const TVeStream& s = *r.Files->GetStream(0);
      const uint8_t* d = s.Data() + CpcHeaderBytes;
      const int at = m.Kind == cpcStandard   ? CpcScreenOffset(row, 0)
                     : m.Kind == cpcOverscan ? CpcOverscanOffset(row, 0)
                                             : CpcHgbOffset(row, 0);
      const int end = at + m.RowBytes();
      for (int i = at; i < end; ++i)
        ASSERT_EQ(d[i], 0xFF) << m.Mode << " byte " << i;
      // Every screen byte but the line's is black.
      int set = 0;
      for (int y = 0; y < m.Height; ++y)
        for (int col = 0; col < m.RowBytes(); ++col) {
          const int o = m.Kind == cpcStandard   ? CpcScreenOffset(y, col)
                        : m.Kind == cpcOverscan ? CpcOverscanOffset(y, col)
                                                : CpcHgbOffset(y, col);
          set += d[o] != 0;
        }
      EXPECT_EQ(set, m.RowBytes()) << m.Mode;
    }
  }
}

TEST(CpcScreens, PixelBitsOfAKnownRow) {
  // Mode 0: the left pixel's bits 0-3 in byte bits 7, 3, 5, 1, the right one's a bit lower.
  EXPECT_EQ(CpcPackPixel(0, 0, 0, 1), 0x80);
  EXPECT_EQ(CpcPackPixel(0, 0, 0, 2), 0x08);
  EXPECT_EQ(CpcPackPixel(0, 0, 0, 4), 0x20);
  EXPECT_EQ(CpcPackPixel(0, 0, 0, 8), 0x02);
  EXPECT_EQ(CpcPackPixel(0, 0, 1, 1), 0x40);
  EXPECT_EQ(CpcPackPixel(CpcPackPixel(0, 0, 0, 15), 0, 1, 0), 0xAA);
  EXPECT_EQ(CpcPackPixel(0xFF, 0, 0, 0), 0x55);
  // Mode 1: pens 1, 2, 3, 0 from the left.
  uint8_t b = 0;
  const int row1[4] = {1, 2, 3, 0};
  for (int p = 0; p < 4; ++p)
    b = CpcPackPixel(b, 1, p, row1[p]);
  EXPECT_EQ(b, 0x80 | 0x04 | 0x20 | 0x02);
  // Mode 2: one bit per pixel, the left one highest.
  const int row2[8] = {1, 0, 1, 1, 0, 0, 0, 1};
  b = 0;
  for (int p = 0; p < 8; ++p)
    b = CpcPackPixel(b, 2, p, row2[p]);
  EXPECT_EQ(b, 0xB1);
  // Every value reads back, and writing a pixel keeps its neighbours.
  for (int mode = 0; mode < 3; ++mode) {
    const int ppb = CpcPixelsPerByte(mode), pens = 1 << (4 >> mode);
    for (int byte = 0; byte < 256; ++byte)
      for (int p = 0; p < ppb; ++p)
        for (int pen = 0; pen < pens; ++pen) {
          const uint8_t w = CpcPackPixel(uint8_t(byte), mode, p, pen);
          ASSERT_EQ(CpcUnpackPixel(w, mode, p), pen);
          for (int q = 0; q < ppb; ++q)
            if (q != p) {
              ASSERT_EQ(CpcUnpackPixel(w, mode, q), CpcUnpackPixel(uint8_t(byte), mode, q));
            }
        }
  }

  // The same row through the engine: a mode 1 picture of stripes in four gray levels.
  const TVeCPCModeInfo& m = CpcModeInfo(2);
  TVeBitmap32 pic(m.Width, m.Height);
  const uint32_t grays[4] = {0x000000, 0x555555, 0xAAAAAA, 0xFFFFFF};
  for (int y = 0; y < m.Height; ++y)
    for (int x = 0; x < m.Width; ++x)
      pic.Pixel(x, y) = grays[(x / 4) % 4];
  TRun r = ConvertMode(
      m, [](TVeDestEngineOptions& o) { o.SetDitherMethod(dmNone); }, &pic);
  const uint8_t* d = r.File("scr").Data() + CpcHeaderBytes;
  for (int x = 0; x < m.Width; ++x)
    ASSERT_EQ(CpcUnpackPixel(d[x / 4], 1, x % 4), r.Result->GetPixel(x, 0)) << x;
}

TEST(CpcScreens, EnginesTakeTheirCatalogueEntries) {
  VeRegisterPlatforms();
  TVeDestEngineList& list = DestEngineList();
  const int platform = list.IndexOf("Amstrad CPC");
  ASSERT_GE(platform, 0);
  const TVeDestSubTypes& modes = list.GetSubTypes(platform);
  ASSERT_EQ(modes.Count(), 9);
  for (int i = 0; i < modes.Count(); ++i) {
    const TVeDestEngineClass* c = modes.GetEngineClass(i);
    EXPECT_EQ(c->GetModeName(), CpcModeInfo(i).Mode);
    EXPECT_EQ(modes.Strings(i), CpcModeInfo(i).Mode);
    EXPECT_EQ(dynamic_cast<const TVeGenericEngineClass*>(c), nullptr) << CpcModeInfo(i).Mode;
    EXPECT_FALSE(c->PreviewOnly());
  }
}

TEST(CpcScreens, OptionsAndPanels) {
  struct TExpected {
    int Aspect, Types;
    std::vector<int> Modes;
    int Default, Diffusion;
  };
  const std::vector<int> m0 = {0, 1, 11, 16}, m1 = {0, 1, 10, 11, 16}, b0 = {1, 11, 16},
                         b1 = {1, 10, 11, 16};
  const TExpected expected[9] = {
      {17, 4, m0, 11, 100}, {17, 5, m0, 11, 100}, {10, 4, m1, 10, 100},
      {10, 5, m1, 10, 100}, {1, 0, {}, 0, 100},   {1, 0, {}, 0, 100},
      {1, 0, {}, 0, 100},   {17, 4, b0, 11, 90},  {10, 4, b1, 10, 90},
  };
  VeRegisterPlatforms();
  for (int i = 0; i < 9; ++i) {
    const TVeCPCModeInfo& m = CpcModeInfo(i);
    const TExpected& x = expected[i];
    SCOPED_TRACE(m.Mode);
    auto engine = DestEngineList().Find("Amstrad CPC", m.Mode)->Create();
    auto o = engine->CreateOptions();
    EXPECT_EQ(o->Width(), m.Width);
    EXPECT_EQ(o->Height(), m.Height);
    EXPECT_EQ(o->AspectIndex(), x.Aspect);
    EXPECT_EQ(o->PaletteType(), ptCPCGateArray);
    EXPECT_EQ(o->ErrorDiffusion(), x.Diffusion);
    EXPECT_EQ(o->FileFormatFlag(), m.Kind != cpcHgb);
    auto ui = engine->CreateUI(*o);
    const TVeUIControl* modes = ui->Find(ciPaletteMode);
    EXPECT_EQ(modes ? modes->Values : std::vector<int>{}, x.Modes);
    if (modes) {
      EXPECT_EQ(modes->SelectedValue(), x.Default);
    }
    EXPECT_EQ(ui->Has(ciPaletteModeEdit), !x.Modes.empty());
    const TVeUIControl* types = ui->Find(ciPaletteTypeList);
    EXPECT_EQ(types ? int(types->Values.size()) : 0, x.Types);
    if (types && x.Types == 5) {
      EXPECT_EQ(types->Items.back(), "CPC Plus");
    }
    EXPECT_TRUE(ui->Has(ciPaletteView));
    EXPECT_EQ(ui->Has(ciMaxFlickering), m.Flicker());
    const TVeUIControl* format = ui->Find(ciFileFormatFlag);
    EXPECT_EQ(format != nullptr, m.Kind == cpcHgb);
    if (format) {
      EXPECT_EQ(format->Caption, "AMSDos header");
    }
    // The custom grid offers the 27 colours.
    EXPECT_EQ(o->BasePalette().Count(), 27);
  }
  // A mode 0 pixel is shown twice as wide as tall, a mode 2 pixel half as wide.
  EXPECT_EQ(VeAspectRatios[17].X * 2, VeAspectRatios[17].Y);
  EXPECT_EQ(VeAspectRatios[1].X, VeAspectRatios[1].Y * 2);
}

TEST(CpcScreens, ColoursAreFirmwareColoursAndInksFitTheMode) {
  TVePalette256 firmware;
  CpcMakePalette(firmware, ptCPCGateArray);
  for (const TVeCPCModeInfo* m : AllModes()) {
    if (m->Flicker()) continue;
    for (uint8_t mode : {cpcModeBlackWhite, cpcModeGray, cpcModeColorBright, cpcModeColor}) {
      if (m->ModeMask && !(m->ModeMask & (1u << mode))) continue;
      if (!m->ModeMask && mode != cpcModeBlackWhite) continue;
      SCOPED_TRACE(std::string(m->Mode) + " in mode " + std::to_string(mode));
      TRun r = ConvertMode(*m, [mode](TVeDestEngineOptions& o) { o.SetPaletteMode(mode); });
      const TVePalette256& p = r.Options->Palette();
      ASSERT_GE(p.Count(), 2);
      ASSERT_LE(p.Count(), m->Pens());
      for (int i = 0; i < p.Count(); ++i)
        EXPECT_GE(firmware.FindExact(p.GetRGBQuad(i)), 0) << i;
      std::set<int> used;
      for (int y = 0; y < m->Height; ++y)
        for (int x = 0; x < m->Width; ++x)
          used.insert(r.Result->GetPixel(x, y));
      EXPECT_LE(int(used.size()), m->Pens());
      EXPECT_LT(*used.rbegin(), p.Count());
      if (m->Screen == 2) {
        EXPECT_EQ(p.GetRGBQuad(0), firmware.GetRGBQuad(0));
        EXPECT_EQ(p.GetRGBQuad(1), firmware.GetRGBQuad(26));
      }
      if (mode == cpcModeColorBright) {
        const std::vector<bool> bright = CpcBrightColors();
        for (int i = 0; i < p.Count(); ++i)
          EXPECT_TRUE(bright[size_t(firmware.FindExact(p.GetRGBQuad(i)))]);
      }
    }
  }
  // "Custom" keeps to the allowed colours when there are enough of them.
  TVeAllowedColors allowed{};
  for (int f : {0, 3, 6, 9, 12, 15, 18, 24, 26})
    allowed[size_t(f)] = 1;
  TRun r = ConvertMode(CpcModeInfo(2), [&](TVeDestEngineOptions& o) {
    o.SetPaletteMode(cpcModeCustom);
    o.SetAllowedColors1(allowed);
  });
  const TVePalette256& p = r.Options->Palette();
  EXPECT_EQ(p.Count(), 4);
  for (int i = 0; i < p.Count(); ++i)
    EXPECT_TRUE(allowed[size_t(firmware.FindExact(p.GetRGBQuad(i)))]);
}

TEST(CpcScreens, StandardScreenFileAndItsPalFile) {
  TRun r = ConvertMode(CpcModeInfo(2), [](TVeDestEngineOptions& o) { o.SetBorderColor(0x0000FF); });
  ASSERT_EQ(r.Files->Count(), 1);
  const TVeStream& scr = r.File("scr");
  ASSERT_EQ(scr.Size(), 16512u);
  EXPECT_EQ(scr.Label(), "SCR/PAL");
  TVeCpcHeader h;
  ASSERT_TRUE(CpcReadHeader(scr.Data(), int32_t(scr.Size()), h));
  EXPECT_EQ(h.Type, 2);
  EXPECT_EQ(h.Load, 0xC000);
  EXPECT_EQ(h.Length, 0x4000);
  EXPECT_EQ(h.Entry, 0xC7D0);
  const uint8_t* d = scr.Data() + CpcHeaderBytes;
  EXPECT_TRUE(std::equal(CpcDisplayRoutine, CpcDisplayRoutine + 36, d + 0x07D0));
  EXPECT_EQ(d[0x17D0], 1);
  TVePalette256 firmware;
  CpcMakePalette(firmware, ptCPCGateArray);
  const TVePalette256& p = r.Options->Palette();
  ASSERT_EQ(p.Count(), 4);
  for (int i = 0; i < 16; ++i)
    EXPECT_EQ(d[0x17D1 + i], firmware.FindExact(p.GetRGBQuad(i < 4 ? i : 0))) << i;
  uint8_t br, bg, bb;
  r.Options->GetBorderRGB(br, bg, bb);
  const int border =
      CpcNearestFirmware(TVeColor::FromStdRGB(br, bg, bb).GetLinRGB(), ptCPCGateArray);
  EXPECT_EQ(d[0x17E1], border);

  ASSERT_EQ(scr.SubCount(), 1);
  const TVeStream& pal = *scr.GetSubStream(0);
  ASSERT_EQ(pal.Extension, "pal");
  ASSERT_EQ(pal.Size(), 128u + 239u);
  ASSERT_TRUE(CpcReadHeader(pal.Data(), int32_t(pal.Size()), h));
  EXPECT_EQ(h.Load, 0x8809);
  EXPECT_EQ(h.Entry, 0x8809);
  EXPECT_EQ(h.Length, 239);
  const uint8_t* q = pal.Data() + CpcHeaderBytes;
  EXPECT_EQ(q[0], 1);
  EXPECT_EQ(q[1], 0);
  EXPECT_EQ(q[2], 0);
  for (int i = 0; i < 17; ++i) {
    const int want = i == 16 ? CpcHardwareColour[border]
                     : i < 4 ? CpcHardwareColour[d[0x17D1 + i]]
                             : 0x40;
    for (int k = 0; k < 12; ++k)
      ASSERT_EQ(q[3 + 12 * i + k], want) << i;
  }
  for (int i = 3 + 17 * 12; i < 239; ++i)
    EXPECT_EQ(q[i], 0);
}

TEST(CpcScreens, OverscanFileWithItsLoader) {
  for (TVePaletteType type : {ptCPCGateArray, ptCPCPlus}) {
    SCOPED_TRACE(type);
    TRun r =
        ConvertMode(CpcModeInfo(1), [type](TVeDestEngineOptions& o) { o.SetPaletteType(type); });
    const TVeStream& scr = r.File("scr");
    ASSERT_EQ(scr.Size(), 32400u);
    EXPECT_EQ(scr.Label(), type == ptCPCPlus ? "SCR/PAL/KIT" : "SCR/PAL");
    TVeCpcHeader h;
    ASSERT_TRUE(CpcReadHeader(scr.Data(), int32_t(scr.Size()), h));
    EXPECT_EQ(h.Type, 0);
    EXPECT_EQ(h.Load, 0x0170);
    EXPECT_EQ(h.Length, 0x7E10);
    EXPECT_EQ(h.Entry, 0);
    const uint8_t* d = scr.Data() + CpcHeaderBytes;
    EXPECT_EQ(d[20], 14); // the token of the digit 0 in "MODE 0"
    EXPECT_EQ(d[60], type == ptCPCPlus ? 1 : 0);
    // The BASIC lines chain to the end of the program, and CALL lands on the jump over the
    // tables to the routine, which starts by disabling interrupts.
    const int second = d[0] | d[1] << 8;
    EXPECT_EQ(second, 14);
    EXPECT_EQ(d[second + 4], 0xAD); // MODE
    EXPECT_EQ(second + (d[second] | d[second + 1] << 8), 28);
    EXPECT_EQ(d[28] | d[29] << 8, 0);
    const int call = d[25] | d[26] << 8;
    EXPECT_EQ(d[24], 0x1C);
    EXPECT_EQ(call - 0x170, 30);
    EXPECT_EQ(d[30], 0x18);
    EXPECT_EQ(30 + 2 + int8_t(d[31]), 64);
    EXPECT_EQ(d[64], 0xF3);
    EXPECT_EQ(d[CpcOverscanUnlockAt], 0xFF);
    EXPECT_EQ(d[CpcOverscanUnlockAt + 16], 0xEE);
    // Inks and the Plus colours where the routine reads them.
    const TVePalette256& p = r.Options->Palette();
    ASSERT_LE(p.Count(), 16);
    TVePalette256 firmware;
    CpcMakePalette(firmware, type);
    for (int i = 0; i < p.Count(); ++i) {
      int cr, cg, cb;
      CpcPlusLevels(p.GetRGBQuad(i), cr, cg, cb);
      EXPECT_EQ(d[0x0691 + 2 * i], cr << 4 | cb) << i;
      EXPECT_EQ(d[0x0692 + 2 * i], cg) << i;
      if (type == ptCPCGateArray) {
        EXPECT_EQ(d[0x7D90 + i], CpcHardwareColour[firmware.FindExact(p.GetRGBQuad(i))]);
      }
    }
    if (type == ptCPCPlus) {
      const TVeStream& kit = *scr.GetSubStream(1);
      ASSERT_EQ(kit.Extension, "kit");
      ASSERT_EQ(kit.Size(), 160u);
      EXPECT_TRUE(std::equal(kit.Data() + 128, kit.Data() + 160, d + 0x0691));
    }
  }
}

TEST(CpcScreens, HgbWithAndWithoutHeader) {
  TRun plain = ConvertMode(CpcModeInfo(6));
  EXPECT_EQ(plain.File("hgb").Size(), 16384u);
  EXPECT_EQ(plain.File("hgb").HeaderSize, 0u);
  TRun header =
      ConvertMode(CpcModeInfo(6), [](TVeDestEngineOptions& o) { o.SetFileFormatFlag(true); });
  const TVeStream& s = header.File("hgb");
  ASSERT_EQ(s.Size(), 16512u);
  TVeCpcHeader h;
  ASSERT_TRUE(CpcReadHeader(s.Data(), int32_t(s.Size()), h));
  EXPECT_EQ(h.Type, 2);
  EXPECT_EQ(h.Load, 0);
  EXPECT_EQ(h.Length, 0x4000);
  EXPECT_TRUE(std::equal(s.Data() + 128, s.Data() + s.Size(), plain.File("hgb").Data()));
}

TEST(CpcScreens, FlickerFramesAlternateAndMixAsShown) {
  for (int k : {7, 8}) {
    const TVeCPCModeInfo& m = CpcModeInfo(k);
    SCOPED_TRACE(m.Mode);
    const int n = m.Pens();
    TRun r = ConvertMode(m);
    const TVeBitmapList* frames = r.Result->Frames();
    ASSERT_TRUE(frames);
    ASSERT_EQ(frames->Count(), 2);
    const TVeBitmap& a = *frames->GetBitmap(0);
    const TVeBitmap& b = *frames->GetBitmap(1);
    const TVePalette* mix = &r.Result->Palette();
    ASSERT_EQ(mix->GetCount(), n * n);
    TVePalette256 firmware;
    CpcMakePalette(firmware, ptCPCGateArray);
    int differ = 0;
    for (int y = 0; y < m.Height; ++y)
      for (int x = 0; x < m.Width; ++x) {
        const int pa = a.GetPixel(x, y), pb = b.GetPixel(x, y);
        ASSERT_EQ(r.Result->GetPixel(x, y), pa * n + pb);
        differ += pa != pb;
        // The preview's colour is the mean of what the two frames show.
        const TVeLinRGBColor shown = mix->GetLinRGB(pa * n + pb);
        const TVeLinRGBColor mean =
            TVeLinRGBColor::Mean(a.Palette().GetLinRGB(pa), b.Palette().GetLinRGB(pb));
        ASSERT_NEAR(shown.R, mean.R, 1e-9);
        ASSERT_NEAR(shown.G, mean.G, 1e-9);
        ASSERT_NEAR(shown.B, mean.B, 1e-9);
      }
    EXPECT_GT(differ, 0) << "a photograph needs mixed colours";
    // The files: the pens, and both frames in the mode's bits, rows one after another.
    const TVeStream& pph = r.File("pph");
    ASSERT_EQ(pph.Size(), size_t(128 + 6 + n));
    EXPECT_EQ(pph.Label(), "PPH/EVE/ODD");
    const uint8_t* d = pph.Data() + 128;
    EXPECT_EQ(d[0], k == 7 ? 4 : 5);
    EXPECT_EQ(d[1] | d[2] << 8, 384);
    EXPECT_EQ(d[3] | d[4] << 8, 272);
    EXPECT_EQ(d[5], 1);
    for (int i = 0; i < n; ++i) {
      ASSERT_LT(d[6 + i], 27);
      if (i < a.Palette().GetCount()) {
        EXPECT_EQ(firmware.GetRGBQuad(d[6 + i]), a.Palette().GetRGBQuad(i)) << i;
      }
    }
    for (int f = 0; f < 2; ++f) {
      const TVeStream& s = *pph.GetSubStream(f);
      ASSERT_EQ(s.Size(), size_t(128 + 96 * 272));
      const TVeBitmap& frame = f == 0 ? a : b;
      const int ppb = CpcPixelsPerByte(m.Screen);
      for (int x = 0; x < m.Width; ++x)
        ASSERT_EQ(CpcUnpackPixel(s.Data()[128 + 96 * 271 + x / ppb], m.Screen, x % ppb),
                  frame.GetPixel(x, 271));
    }
  }
  // "Gray" offers only three colours: the greedy choice stops with fewer than 16 pens.
  TRun gray =
      ConvertMode(CpcModeInfo(7), [](TVeDestEngineOptions& o) { o.SetPaletteMode(cpcModeGray); });
  const TVePalette* pens = &gray.Result->Frames()->GetBitmap(0)->Palette();
  TVePalette256 g;
  CpcMakeGrayPalette(g, ptCPCGateArray);
  const uint8_t* d = gray.File("pph").Data() + 128;
  std::set<int> chosen(d + 6, d + 22);
  EXPECT_LE(chosen.size(), 3u);
  for (int f : chosen)
    EXPECT_TRUE(f == 0 || f == 13 || f == 26) << f;
  EXPECT_EQ(pens->GetCount(), 16); // the rest repeat pen 0
}

TEST(CpcScreens, EveryFileReadsBackAsThePreview) {
  for (const TVeCPCModeInfo* m : AllModes()) {
    SCOPED_TRACE(m->Mode);
    ExpectAllRoundTrips(ConvertMode(*m));
  }
  for (TVePaletteType type : {ptCPCGateArrayRGB, ptCPCASIC, ptCPCASICRGB, ptCPCPlus})
    for (int k : {0, 1, 2, 3, 7, 8}) {
      const TVeCPCModeInfo& m = CpcModeInfo(k);
      if (type == ptCPCPlus && !m.Plus) continue;
      SCOPED_TRACE(std::string(m.Mode) + " type " + std::to_string(type));
      ExpectAllRoundTrips(ConvertMode(m, [type](auto& o) { o.SetPaletteType(type); }));
    }
  for (uint8_t mode : {cpcModeBlackWhite, cpcModeGray, cpcModeColorBright, cpcModeCustom})
    for (int k : {0, 2, 3, 7, 8}) {
      const TVeCPCModeInfo& m = CpcModeInfo(k);
      if (!(m.ModeMask & (1u << mode))) continue;
      SCOPED_TRACE(std::string(m.Mode) + " in mode " + std::to_string(mode));
      ExpectAllRoundTrips(ConvertMode(m, [mode](auto& o) { o.SetPaletteMode(mode); }));
    }
  SCOPED_TRACE("hgb with header");
  ExpectAllRoundTrips(ConvertMode(CpcModeInfo(6), [](auto& o) { o.SetFileFormatFlag(true); }));
}

TEST(CpcScreens, SameFilesWithAnyWorkerCount) {
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
  for (const TVeCPCModeInfo* m : AllModes()) {
    SCOPED_TRACE(m->Mode);
    SetProcessorCount(1);
    const auto one = bytesOf(ConvertMode(*m));
    SetProcessorCount(3);
    const auto three = bytesOf(ConvertMode(*m));
    SetProcessorCount(0);
    EXPECT_TRUE(one == three);
  }
}

TEST(CpcScreens, SavedFilesCarryTheirOwnNames) {
  TRun r = ConvertMode(CpcModeInfo(7));
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("velmora_cpc_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  TVeStream& pph = *r.Files->GetStream(0);
  VeWriteStream(pph, (dir / "my pic.pph").string(), false);
  for (const char* ext : {"PPH", "EVE", "ODD"}) {
    std::string lower = ext;
    for (char& c : lower)
      c = char(c - 'A' + 'a');
    const std::vector<uint8_t> f = VeReadFile((dir / ("my pic." + lower)).string());
    TVeCpcHeader h;
    ASSERT_TRUE(CpcReadHeader(f.data(), int32_t(f.size()), h)) << ext;
    EXPECT_EQ(std::string(f.begin() + 1, f.begin() + 12), std::string("MY-PIC  ") + ext);
  }
  fs::remove_all(dir);
}
