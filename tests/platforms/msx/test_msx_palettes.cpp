// MSX colours, palette registers, BSAVE headers and the YJK range tables.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

#include "VeColor.h"
#include "msx/VeMsxYJKPTables.h"
#include "msx/VeMsxYJKTables.h"
#include "msx/VeMsxYUVTables.h"
#include "msx/VePlatformMsx.h"
#include "msx/VePlatformMsxYJK.h"

namespace {

uint8_t Channel(uint32_t quad, int shift) {
  return uint8_t(quad >> shift);
}

} // namespace

TEST(MsxPalettes, HardwareLevels) {
  TVePalette256 tms;
  MsxMakeTms9918Palette(tms);
  ASSERT_EQ(tms.Count(), 16);
  EXPECT_EQ(tms.GetRGBQuad(1), 0x010101u); // black, distinct from transparent 0
  EXPECT_EQ(tms.GetRGBQuad(2), 0x3EB849u);
  EXPECT_EQ(tms.GetRGBQuad(13), 0xB766B5u);
  EXPECT_EQ(tms.GetRGBQuad(15), 0xFFFFFFu);

  // V9938: v * 255 / 7; V9958: the 5-bit DAC level of v, shown as level * 255 / 31.
  const uint8_t v9938[8] = {0, 36, 73, 109, 146, 182, 219, 255};
  const uint8_t v9958[8] = {0, 33, 74, 107, 148, 181, 222, 255};
  for (int v = 0; v < 8; ++v) {
    EXPECT_EQ(MsxLevel3Byte(v), v9938[v]);
    EXPECT_EQ(Channel(MsxHardwarePalette(ptMSX9938).GetRGBQuad(v << 6), 16), v9938[v]);
    EXPECT_EQ(Channel(MsxHardwarePalette(ptMSX9958).GetRGBQuad(v), 0), v9958[v]);
  }
  EXPECT_EQ(MsxLevel5Byte(1), 8);
  EXPECT_EQ(MsxLevel5Byte(3), 25);
  EXPECT_EQ(MsxLevel5Byte(7), 58);
  EXPECT_EQ(MsxLevel5Byte(30), 247);
  // Any other palette type means the V9938.
  EXPECT_EQ(MsxHardwareType(ptRGB888), ptMSX9938);

  TVePalette256 grid;
  MsxMakeHardwarePalette(grid, ptMSX9958);
  ASSERT_EQ(grid.Count(), 512);
  EXPECT_EQ(grid.GetRGBQuad(0x1FF), 0xFFFFFFu);
  EXPECT_EQ(grid.GetRGBQuad(1 << 3), 0x002100u); // green 1 through the DAC
}

TEST(MsxPalettes, ScreenEightIsGRB332WithItsBlueLevels) {
  for (TVePaletteType type : {ptMSX9938, ptMSX9958}) {
    TVePalette256 p;
    MsxMakeScreen8Palette(p, type);
    ASSERT_EQ(p.Count(), 256);
    const TVePaletteRGB& hw = MsxHardwarePalette(type);
    for (int byte = 0; byte < 256; ++byte) {
      const int g = byte >> 5, r = (byte >> 2) & 7, b = (byte & 3) == 3 ? 7 : (byte & 3) * 2;
      ASSERT_EQ(p.GetRGBQuad(byte), hw.GetRGBQuad(hw.IndexOfLevels(r, g, b))) << byte;
    }
    std::set<uint8_t> blues;
    for (int byte = 0; byte < 256; ++byte)
      blues.insert(Channel(p.GetRGBQuad(byte), 0));
    if (type == ptMSX9938)
      EXPECT_EQ(blues, (std::set<uint8_t>{0, 73, 146, 255}));
    else
      EXPECT_EQ(blues, (std::set<uint8_t>{0, 74, 148, 255}));
    TVePalette256 grays;
    MsxMakeScreen8GrayPalette(grays, type);
    ASSERT_EQ(grays.Count(), 4);
    for (int i = 0; i < 4; ++i)
      EXPECT_GE(p.FindExact(grays.GetRGBQuad(i)), 0);
  }
}

TEST(MsxPalettes, RegistersAndPaletteFiles) {
  TVePalette256 p;
  const TVePaletteRGB& hw = MsxHardwarePalette(ptMSX9938);
  p.AddLin(hw.GetLinRGB(hw.IndexOfLevels(7, 0, 0)));
  p.AddLin(hw.GetLinRGB(hw.IndexOfLevels(1, 2, 3)));
  p.AddRGB(250, 250, 250); // not a hardware colour: the nearest is stored
  uint8_t regs[MsxPaletteBytes];
  MsxWritePaletteRegisters(regs, p, ptMSX9938);
  EXPECT_EQ(regs[0], 0x70); // red * 16 + blue
  EXPECT_EQ(regs[1], 0x00); // green
  EXPECT_EQ(regs[2], 0x13);
  EXPECT_EQ(regs[3], 0x02);
  EXPECT_EQ(regs[4], 0x77);
  EXPECT_EQ(regs[5], 0x07);
  for (int i = 6; i < MsxPaletteBytes; ++i)
    EXPECT_EQ(regs[i], 0) << "registers beyond the palette are black";
  TVePalette256 back;
  MsxReadPaletteRegisters(regs, back, ptMSX9938);
  ASSERT_EQ(back.Count(), 16);
  EXPECT_EQ(back.GetRGBQuad(0), p.GetRGBQuad(0));
  EXPECT_EQ(back.GetRGBQuad(1), p.GetRGBQuad(1));
  EXPECT_EQ(back.GetRGBQuad(2), 0xFFFFFFu);

  uint8_t file[MsxPaletteFileBytes];
  MsxWritePaletteFile(file, p, ptMSX9938);
  for (int k = 0; k < 8; ++k)
    EXPECT_EQ(std::memcmp(file + 32 * k, regs, 32), 0);
}

TEST(MsxPalettes, BsaveHeaders) {
  uint8_t h[7];
  MsxWriteBsaveHeader(h, 0x76A0);
  const uint8_t expected[7] = {0xFE, 0, 0, 0x9F, 0x76, 0, 0};
  EXPECT_EQ(std::memcmp(h, expected, 7), 0);
  std::vector<uint8_t> file(30375, 0);
  std::memcpy(file.data(), h, 7);
  EXPECT_TRUE(MsxBsaveHeaderConsistent(file.data(), 30375));
  EXPECT_TRUE(MsxBsaveHeaderConsistent(file.data(), 30374)); // end = size - 7
  EXPECT_FALSE(MsxBsaveHeaderConsistent(file.data(), 30376));
  file[1] = 1; // a start address elsewhere
  EXPECT_FALSE(MsxBsaveHeaderConsistent(file.data(), 30375));
  file[1] = 0;
  file[5] = 0x10; // an execution address
  EXPECT_FALSE(MsxBsaveHeaderConsistent(file.data(), 30375));
  EXPECT_FALSE(MsxBsaveHeaderConsistent(file.data(), 6));
}

TEST(MsxYjk, DecodingAndByteLayout) {
  // Red Y + J, green Y + K, blue (5Y - 2J - K + 2) / 4 rounded down, all clamped.
  EXPECT_EQ(VeDecodeYJK(14, 2, 2).B, 16);
  EXPECT_EQ(VeDecodeYJK(14, 2, 2).R, 16);
  EXPECT_EQ(VeDecodeYJK(0, 31, 31).B, 0); // negative numerator
  EXPECT_EQ(VeDecodeYJK(31, -32, -32).B, 31);
  EXPECT_EQ(VeDecodeYJK(1, -3, 0).R, 0);
  EXPECT_EQ(VeDecodeYJK(3, 0, 0).B, 4); // 17 / 4
  EXPECT_EQ(VeDecodeYJK(2, 1, 0).B, 2); // 10 / 4
  const TVeYjkLevels yuv = VeDecodeYUV(10, 3, -4);
  EXPECT_EQ(yuv.R, 13);
  EXPECT_EQ(yuv.B, 6);
  EXPECT_EQ(yuv.G, 12); // (50 - 6 + 4 + 2) / 4

  const int y[4] = {31, 0, 17, 8};
  uint8_t bytes[4];
  VeMsxPackYjk(bytes, y, -32, 29);
  EXPECT_EQ(bytes[0], (31 << 3) | (29 & 7));
  EXPECT_EQ(bytes[1], 0 | ((29 >> 3) & 7));
  EXPECT_EQ(bytes[2], (17 << 3) | 0);
  EXPECT_EQ(bytes[3], (8 << 3) | 4); // -32 is 100000 in six bits
  int y2[4], j, k;
  VeMsxUnpackYjk(bytes, y2, j, k);
  EXPECT_EQ(j, -32);
  EXPECT_EQ(k, 29);
  EXPECT_EQ(std::vector<int>(y2, y2 + 4), std::vector<int>(y, y + 4));

  TVePalette256 pal;
  pal.AddRGB(1, 2, 3);
  pal.AddRGB(4, 5, 6);
  const uint8_t row[4] = {uint8_t(3 << 3), uint8_t((14 << 3) | 0), uint8_t(16 << 3),
                          uint8_t(16 << 3)};
  uint32_t quads[4];
  VeMsxDecodeYjkRow(row, 4, TVeYjkDecoder::YJK, &pal, quads);
  EXPECT_EQ(quads[0], 0x040506u); // odd Y field 3: palette colour 1
  VeMsxDecodeYjkRow(row, 4, TVeYjkDecoder::YJK, nullptr, quads);
  EXPECT_EQ(quads[0], VeMsxYjkQuad(VeDecodeYJK(3, 0, 0)));
}

TEST(MsxYjk, RangeTables) {
  const TVeYjkRangeTable& yjk = VeMsxYJKTable();
  // Mid gray has exactly one triple.
  const TVeYjkRangeEntry& gray = yjk[VeRGB555Index(16, 16, 16)];
  EXPECT_TRUE(yjk.Exact(VeRGB555Index(16, 16, 16)));
  EXPECT_EQ(gray.Y, 14);
  EXPECT_EQ(gray.J, 2);
  EXPECT_EQ(gray.K, 2);
  EXPECT_EQ(gray.JMin, 2);
  EXPECT_EQ(gray.JMax, 2);
  EXPECT_EQ(gray.KMin, 2);
  EXPECT_EQ(gray.KMax, 2);
  EXPECT_EQ(gray.Zero, 0);

  for (const TVeYjkRangeTable* t : {&VeMsxYJKTable(), &VeMsxYJKPTable(), &VeMsxYUVTable()}) {
    const bool yuv = t->Decoder() == TVeYjkDecoder::YUV;
    int exact = 0;
    for (int i = 0; i < 32768; ++i) {
      const TVeYjkRangeEntry& e = (*t)[i];
      // The search is never empty.
      ASSERT_LE(e.JMin, e.JMax) << i;
      ASSERT_LE(e.KMin, e.KMax) << i;
      ASSERT_GE(e.JMin, -32);
      ASSERT_LE(e.KMax, 31);
      if (!t->Exact(i)) continue;
      ++exact;
      const TVeYjkLevels c = yuv ? VeDecodeYUV(e.Y, e.J, e.K) : VeDecodeYJK(e.Y, e.J, e.K);
      ASSERT_EQ(VeRGB555Index(c.R, c.G, c.B), i) << "the representative shows the colour";
      if (t->EvenY()) {
        ASSERT_EQ(e.Y % 2, 0);
      }
    }
    EXPECT_EQ(exact, t->ExactCount());
  }
  EXPECT_LT(VeMsxYJKPTable().ExactCount(), VeMsxYJKTable().ExactCount());

  // A colour no triple shows takes the union of the ranges of its nearest exact colours,
  // found here by looking at every exact colour.
  auto lin = [](int i) {
    return TVeLinRGBColor{Level31ToLinear(i >> 10), Level31ToLinear((i >> 5) & 31),
                          Level31ToLinear(i & 31)};
  };
  int checked = 0;
  for (int i = 7; i < 32768 && checked < 40; i += 797) {
    if (yjk.Exact(i)) continue;
    ++checked;
    double best = std::numeric_limits<double>::infinity();
    int jMin = 99, jMax = -99, kMin = 99, kMax = -99;
    for (int c = 0; c < 32768; ++c) {
      if (!yjk.Exact(c)) continue;
      const double d = DeltaRGB(lin(i), lin(c));
      if (d > best) continue;
      if (d < best) {
        best = d;
        jMin = kMin = 99;
        jMax = kMax = -99;
      }
      jMin = std::min<int>(jMin, yjk[c].JMin);
      jMax = std::max<int>(jMax, yjk[c].JMax);
      kMin = std::min<int>(kMin, yjk[c].KMin);
      kMax = std::max<int>(kMax, yjk[c].KMax);
    }
    EXPECT_EQ(yjk[i].JMin, jMin) << i;
    EXPECT_EQ(yjk[i].JMax, jMax) << i;
    EXPECT_EQ(yjk[i].KMin, kMin) << i;
    EXPECT_EQ(yjk[i].KMax, kMax) << i;
  }
  EXPECT_GT(checked, 10);
}
