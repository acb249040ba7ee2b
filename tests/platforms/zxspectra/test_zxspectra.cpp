// SPECTRA: the 64 colours, the attribute addresses of every line height, each mode on a
// photograph (cell rule, file, read back to exactly the preview) and images that lie.
#include <gtest/gtest.h>

#include <set>

#include "VeErrors.h"
#include "VeThreadJob.h"
#include "platforms/msx/test_msx_support.h"
#include "platforms/test_palette_types.h"
#include "zxspectra/VeOpenPlatformZxSpectra.h"
#include "zxspectra/VePlatformZxSpectra.h"
#include "zxspectra/VeSavePlatformZxSpectra.h"

using namespace msxtest;
using namespace typetest;

namespace {

TConversion Convert(int mode) {
  return ConvertPhoto("ZX Spectrum Spectra", ZxSpectraMode(mode).Mode);
}

} // namespace

TEST(ZxSpectra, PaletteIsTheSixtyFourColours) {
  TVePalette256 p;
  ZxSpectraMakePalette(p);
  const std::vector<uint32_t> q = Quads(p);
  ASSERT_EQ(q.size(), 64u);
  // G1G0 R1R0 B1B0.
  EXPECT_EQ(q[0x00], 0x000000u);
  EXPECT_EQ(q[0x01], 0x000055u);
  EXPECT_EQ(q[0x03], 0x0000FFu);
  EXPECT_EQ(q[0x08], 0xAA0000u);
  EXPECT_EQ(q[0x10], 0x005500u);
  EXPECT_EQ(q[0x2A], 0xAAAAAAu);
  EXPECT_EQ(q[0x3F], 0xFFFFFFu);
  EXPECT_EQ(std::set<uint32_t>(q.begin(), q.end()).size(), 64u);
}

TEST(ZxSpectra, RegisterAndAttributeAddresses) {
  // Double byte and extra colours always; half cell and the line height vary.
  EXPECT_EQ(ZxSpectraRegister(ZxSpectraMode(0)), 0x0F);
  EXPECT_EQ(ZxSpectraRegister(ZxSpectraMode(3)), 0x0C);
  EXPECT_EQ(ZxSpectraRegister(ZxSpectraMode(4)), 0x8F);
  EXPECT_EQ(ZxSpectraRegister(ZxSpectraMode(6)), 0x8D);
  for (int i = 0; i < ZxSpectraModeCount; ++i)
    EXPECT_EQ(ZxSpectraModeOfRegister(ZxSpectraRegister(ZxSpectraMode(i))), i);
  EXPECT_EQ(ZxSpectraModeOfRegister(0x04), -1); // single byte: not written
  // Addresses (from 4000h) against the interface's address bits.
  EXPECT_EQ(0x4000 + ZxSpectraAttrOffset(8, 191, 31), 0x5AFF);
  EXPECT_EQ(ZxSpectraSecondByte(8, 0), 0x400);
  // Quad: 011 0 D A1A0 L2 R C.
  EXPECT_EQ(0x4000 + ZxSpectraAttrOffset(4, 64 + 4 + 8 * 3, 5),
            0x6000 | 1 << 9 | 1 << 8 | 3 << 5 | 5);
  EXPECT_EQ(0x4000 + ZxSpectraAttrOffset(4, 191, 31), 0x65FF);
  // Dual: 011 D A1A0 L2L1 R C.
  EXPECT_EQ(0x4000 + ZxSpectraAttrOffset(2, 128 + 6 + 8 * 7, 0),
            0x6000 | 2 << 10 | 3 << 8 | 7 << 5);
  EXPECT_EQ(0x4000 + ZxSpectraAttrOffset(2, 191, 31) + ZxSpectraSecondByte(2, 191), 0x7BFF);
  // Single: the display-file layout at 6000h for the top two thirds, the second byte 1000h on.
  EXPECT_EQ(0x4000 + ZxSpectraAttrOffset(1, 127, 31) + ZxSpectraSecondByte(1, 127), 0x7FFF);
  EXPECT_EQ(0x4000 + ZxSpectraAttrOffset(1, 1, 0), 0x6100);
  // The bottom third falls back to lines in pairs at 5800h, second bytes at 5C00h.
  EXPECT_EQ(ZxSpectraCellLines(1, 128), 2);
  EXPECT_EQ(ZxSpectraCellLines(1, 127), 1);
  EXPECT_EQ(ZxSpectraAttrOffset(1, 130, 0), ZxSpectraAttrOffset(1, 131, 0));
  EXPECT_EQ(0x4000 + ZxSpectraAttrOffset(1, 128, 0), 0x5800);
  EXPECT_EQ(0x4000 + ZxSpectraAttrOffset(1, 191, 31) + ZxSpectraSecondByte(1, 191), 0x5FFF);
  EXPECT_EQ(ZxSpectraImageBytes(8), 7936);
  EXPECT_EQ(ZxSpectraImageBytes(1), 16384);
}

TEST(ZxSpectra, PhotographKeepsTheCellRuleAndReadsBack) {
  RegisterZxSpectraLoaders();
  for (int i = 0; i < ZxSpectraModeCount; ++i) {
    const TVeZxSpectraMode& m = ZxSpectraMode(i);
    SCOPED_TRACE(m.Mode);
    const TConversion r = Convert(i);
    ASSERT_EQ(r.Files->Count(), 1);
    EXPECT_EQ(r.Files->GetExtension(0), "spa");
    const std::vector<uint8_t>& f = r.Files->GetStream(0)->Bytes();
    ASSERT_EQ(int(f.size()), ZxSpectraFileBytes(m.CellHeight));
    EXPECT_EQ(f.back(), ZxSpectraRegister(m));
    ASSERT_EQ(r.Result->Palette().Count(), 64);
    std::set<int> used;
    // Cells as the hardware shows them: the 1-line mode's bottom third in 2-line cells; a
    // half cell is one colour on black.
    for (int y = 0; y < 192; y += ZxSpectraCellLines(m.CellHeight, y))
      for (int x = 0; x < 256; x += m.CellWidth) {
        std::set<int> cell;
        for (int dy = 0; dy < ZxSpectraCellLines(m.CellHeight, y); ++dy)
          for (int dx = 0; dx < m.CellWidth; ++dx) {
            const int c = r.Result->GetPixel(x + dx, y + dy);
            ASSERT_EQ(c, ZxSpectraPixel(f.data(), m, x + dx, y + dy)) << x + dx << "," << y + dy;
            cell.insert(c);
          }
        ASSERT_LE(cell.size(), 2u) << x << "," << y;
        if (m.CellWidth == 4) cell.erase(0);
        ASSERT_LE(cell.size(), m.CellWidth == 4 ? 1u : 2u) << x << "," << y;
        used.insert(cell.begin(), cell.end());
      }
    EXPECT_GE(used.size(), 12u);
    // Attribute bytes keep flash and bit 6 clear.
    for (int y = 0; y < 192; ++y)
      for (int c = 0; c < 32; ++c) {
        const int at = ZxSpectraAttrOffset(m.CellHeight, y, c);
        ASSERT_EQ(f[size_t(at)] & 0xC0, 0);
        ASSERT_EQ(f[size_t(at + ZxSpectraSecondByte(m.CellHeight, y))] & 0xC0, 0);
      }
    auto folder = Saved(*r.Files->GetStream(0));
    auto list = ProbeSource(folder.get());
    TVeZxSpectraSourceEngine* e = Loader<TVeZxSpectraSourceEngine>(*list);
    ASSERT_TRUE(e);
    EXPECT_TRUE(*e->CreateBitmap()->ToBitmap32() == *r.Result->ToBitmap32());
  }
}

TEST(ZxSpectra, SameFilesWithAnyWorkerCount) {
  auto all = [](int workers) {
    SetProcessorCount(workers);
    std::vector<std::vector<uint8_t>> files;
    for (int i : {0, 3, 4})
      files.push_back(Convert(i).Files->GetStream(0)->Bytes());
    SetProcessorCount(0);
    return files;
  };
  EXPECT_TRUE(all(1) == all(3));
}

TEST(ZxSpectra, ImagesThatLieAreRefused) {
  RegisterZxSpectraLoaders();
  const auto none = [](TFolder& f) {
    auto list = ProbeSource(&f);
    return !Loader<TVeZxSpectraSourceEngine>(*list);
  };
  // A 4-line register on an image of the 8-line size, and an unknown register.
  TBytes image(size_t(ZxSpectraFileBytes(8)), 0);
  image.back() = ZxSpectraRegister(ZxSpectraMode(2));
  TFolder wrongSize("odd.spa", image);
  EXPECT_TRUE(none(wrongSize));
  try {
    TVeZxSpectraSourceEngine(&wrongSize).CreateBitmap();
    ADD_FAILURE();
  } catch (const EVeError& e) {
    EXPECT_NE(std::string(e.what()).find("odd.spa"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("11777"), std::string::npos);
  }
  image.back() = 0x04;
  TFolder unknown("pic.spa", image);
  EXPECT_TRUE(none(unknown));
  EXPECT_THROW(TVeZxSpectraSourceEngine(&unknown).CreateBitmap(), EVeError);
  image.back() = ZxSpectraRegister(ZxSpectraMode(3));
  TFolder good("pic.spa", image);
  EXPECT_FALSE(none(good));
}
