// MSX V9990 VDP: the fixed colours of BD8 and BD16, the G9B header, every mode's picture
// opened again showing exactly the preview, the YJK and YUV groups as the chip decodes them,
// and G9B files that lie.
#include <gtest/gtest.h>

#include <set>

#include "VeThreadJob.h"
#include "msx/VePlatformMsx.h"
#include "platforms/msx/test_msx_support.h"
#include "test_engine_run.h"
#include "v9990/VeOpenPlatformV9990.h"
#include "v9990/VePlatformV9990.h"
#include "v9990/VeSavePlatformV9990.h"

using namespace msxtest;

namespace {

template <class E> TVeEngineRun RunV9990(int index) {
  const TVeV9990ModeInfo& m = V9990ModeInfo(index);
  return VeRunEngine<E>(Photo(m.Width, m.Height));
}

std::unique_ptr<TVeBitmap> Open(const TBytes& bytes, const std::string& name = "pic.g9b") {
  RegisterV9990Loaders();
  TFolder folder(name, bytes);
  auto list = ProbeSource(&folder);
  auto* e = list ? Loader<TVeV9990G9bSourceEngine>(*list) : nullptr;
  if (!e) return nullptr;
  return e->CreateBitmap();
}

// A G9B of the given header fields around the pixel bytes.
TBytes G9b(int depth, int type, const TBytes& palette, int width, int height,
           const TBytes& pixels) {
  TBytes f = {'G',
              '9',
              'B',
              11,
              0,
              uint8_t(depth),
              uint8_t(type),
              uint8_t(palette.size() / 3),
              uint8_t(width),
              uint8_t(width >> 8),
              uint8_t(height),
              uint8_t(height >> 8),
              0,
              uint8_t(pixels.size()),
              uint8_t(pixels.size() >> 8),
              uint8_t(pixels.size() >> 16)};
  f.insert(f.end(), palette.begin(), palette.end());
  f.insert(f.end(), pixels.begin(), pixels.end());
  return f;
}

uint32_t Level5(int r, int g, int b) {
  return uint32_t(MsxLevel5Byte(r)) << 16 | uint32_t(MsxLevel5Byte(g)) << 8 | MsxLevel5Byte(b);
}

template <class E> void ExpectRoundTrip(int index) {
  const TVeV9990ModeInfo& m = V9990ModeInfo(index);
  SCOPED_TRACE(m.Mode);
  TVeEngineRun r = RunV9990<E>(index);
  ASSERT_TRUE(r.Files);
  ASSERT_EQ(r.Files->Count(), 1);
  EXPECT_EQ(r.Files->GetExtension(0), "g9b");
  const TBytes& f = r.File();
  const int data = m.Width * m.Height * m.Bits / 8;
  ASSERT_EQ(int(f.size()), 16 + 3 * m.Colors + data);
  // Header: id, size 11, depth, colour type, colours, 256, 212, uncompressed, data size.
  const TBytes header = {
      'G', '9', 'B', 11, 0, uint8_t(m.Bits), m.ColorType,        uint8_t(m.Colors),
      0,   1,   212, 0,  0, uint8_t(data),   uint8_t(data >> 8), uint8_t(data >> 16)};
  EXPECT_EQ(TBytes(f.begin(), f.begin() + 16), header);
  auto back = Open(f);
  ASSERT_TRUE(back);
  ASSERT_EQ(back->Width(), r.Result->Width());
  ASSERT_EQ(back->Height(), r.Result->Height());
  for (int y = 0; y < back->Height(); ++y)
    for (int x = 0; x < back->Width(); ++x)
      ASSERT_EQ(back->GetStdRGB(x, y), r.Result->GetStdRGB(x, y)) << x << "," << y;
}

} // namespace

TEST(V9990, FixedColoursFollowTheManual) {
  // Every BD8 byte GGGRRRBB shows the 5-bit levels 0, 4, 9, 13, 18, 22, 27, 31 (red, green)
  // and 0, 11, 21, 31 (blue).
  const int rg[8] = {0, 4, 9, 13, 18, 22, 27, 31}, bl[4] = {0, 11, 21, 31};
  std::set<uint32_t> distinct;
  for (int byte = 0; byte < 256; ++byte) {
    const uint32_t q = V9990Bd8Colors().GetRGBQuad(V9990Bd8Index(uint8_t(byte)));
    EXPECT_EQ(q, Level5(rg[(byte >> 2) & 7], rg[byte >> 5], bl[byte & 3])) << byte;
    distinct.insert(q);
  }
  EXPECT_EQ(distinct.size(), 256u);
  EXPECT_EQ(V9990Bd8Byte(7, 0, 0), 0x1C);
  EXPECT_EQ(V9990Bd8Byte(0, 7, 0), 0xE0);
  EXPECT_EQ(V9990Bd8Byte(0, 0, 3), 0x03);
  // BD16 low byte first: byte 0 = red bits 2-0 in 7-5 and blue; byte 1 = green in 6-2 and
  // red bits 4-3 in 1-0, Ys (bit 7) clear.
  const uint16_t w = V9990Bd16Word(0x1D, 0x15, 0x0A);
  EXPECT_EQ(uint8_t(w), (0x1D & 7) << 5 | 0x0A);
  EXPECT_EQ(uint8_t(w >> 8), 0x15 << 2 | 0x1D >> 3);
  EXPECT_EQ(V9990Bd16Index(w), 0x1D << 10 | 0x15 << 5 | 0x0A);
  // The 15-bit colours: level v shows v * 255 / 31.
  EXPECT_EQ(V9990Colors15().GetRGBQuad(31 << 10 | 1 << 5 | 16), Level5(31, 1, 16));
}

TEST(V9990, EveryModeOpensAgainAsItsPreview) {
  ExpectRoundTrip<TVeV9990BP2Engine>(0);
  ExpectRoundTrip<TVeV9990BP4Engine>(1);
  ExpectRoundTrip<TVeV9990BP6Engine>(2);
  ExpectRoundTrip<TVeV9990BD8Engine>(3);
  ExpectRoundTrip<TVeV9990BYJKEngine>(4);
  ExpectRoundTrip<TVeV9990BYUVEngine>(5);
  ExpectRoundTrip<TVeV9990BD16Engine>(6);
}

TEST(V9990, PaletteModesKeepToTheirColours) {
  auto check = [](TVeEngineRun r, int index, int most) {
    const TVeV9990ModeInfo& m = V9990ModeInfo(index);
    SCOPED_TRACE(m.Mode);
    const TVePalette& used = r.Options->Palette();
    ASSERT_GE(used.Count(), 2);
    ASSERT_LE(used.Count(), most);
    const TBytes& f = r.File();
    // Every file colour is a 15-bit colour and the one the preview shows.
    for (int i = 0; i < used.Count(); ++i) {
      const uint8_t* c = f.data() + 16 + 3 * i;
      ASSERT_LE(std::max({c[0], c[1], c[2]}), 31);
      EXPECT_EQ(Level5(c[0], c[1], c[2]), used.GetRGBQuad(i)) << i;
    }
    // No pixel names a colour beyond those chosen; BP6 leaves bits 7-6 clear.
    const uint8_t* px = f.data() + 16 + 3 * m.Colors;
    const int perByte = 8 / m.Bits, count = m.Width * m.Height;
    for (int p = 0; p < count; ++p) {
      const int v = (px[p / perByte] >> (8 - m.Bits * (p % perByte + 1))) & ((1 << m.Bits) - 1);
      ASSERT_LT(v, used.Count()) << p;
    }
  };
  check(RunV9990<TVeV9990BP2Engine>(0), 0, 4);
  check(RunV9990<TVeV9990BP4Engine>(1), 1, 16);
  check(RunV9990<TVeV9990BP6Engine>(2), 2, 64);
  check(VeRunEngine<TVeV9990BP6Engine>(Photo(256, 212), [](auto& o) { o.SetMaxColorCount(20); }), 2,
        20);
  // BD16 never sets Ys.
  TVeEngineRun bd16 = RunV9990<TVeV9990BD16Engine>(6);
  for (size_t i = 17; i < bd16.File().size(); i += 2)
    ASSERT_EQ(bd16.File()[i] & 0x80, 0) << i;
}

TEST(V9990, YjkAndYuvGroupsDecodeAsTheChipDoes) {
  // One group: Y 10, 12, 14, 16; K (or V) = 5 in bytes 0-1, J (or U) = -3 in bytes 2-3.
  const int y[4] = {10, 12, 14, 16}, k = 5, j = -3;
  TBytes px(4);
  const int low[4] = {k & 7, (k >> 3) & 7, j & 7, (j >> 3) & 7};
  for (int i = 0; i < 4; ++i)
    px[size_t(i)] = uint8_t(y[i] << 3 | low[i]);
  auto third = [](int yy, int a, int b) { return std::clamp((5 * yy - 2 * a - b) >> 2, 0, 31); };
  auto yjk = Open(G9b(8, 128, {}, 4, 1, px));
  auto yuv = Open(G9b(8, 192, {}, 4, 1, px));
  ASSERT_TRUE(yjk && yuv);
  for (int i = 0; i < 4; ++i) {
    // YJK: red Y + J, green Y + K, blue the third value, its fraction dropped (12.75 shows
    // 12 for pixel 0, where screen 12 rounds to 13).
    EXPECT_EQ(yjk->GetStdRGB(i, 0).RGBQuad(), Level5(y[i] + j, y[i] + k, third(y[i], j, k)));
    // YUV: red Y + U, blue Y + V, green the third value.
    EXPECT_EQ(yuv->GetStdRGB(i, 0).RGBQuad(), Level5(y[i] + j, third(y[i], j, k), y[i] + k));
  }
}

TEST(V9990, SameFilesWithAnyWorkerCount) {
  auto all = [](int workers) {
    SetProcessorCount(workers);
    std::vector<TBytes> files;
    files.push_back(RunV9990<TVeV9990BP2Engine>(0).File());
    files.push_back(RunV9990<TVeV9990BP4Engine>(1).File());
    files.push_back(RunV9990<TVeV9990BP6Engine>(2).File());
    files.push_back(RunV9990<TVeV9990BD8Engine>(3).File());
    files.push_back(RunV9990<TVeV9990BYJKEngine>(4).File());
    files.push_back(RunV9990<TVeV9990BYUVEngine>(5).File());
    files.push_back(RunV9990<TVeV9990BD16Engine>(6).File());
    SetProcessorCount(0);
    return files;
  };
  EXPECT_TRUE(all(1) == all(3));
}

TEST(V9990, G9bLoaderReadsWhatTheHeaderSaysAndRefusesLies) {
  // A 4 x 2 BP4 picture with two palette colours; pixel values beyond them show black.
  const TBytes pal = {31, 0, 0, 0, 0, 31};
  const TBytes px = {0x01, 0x10, 0x23, 0x11};
  auto good = G9b(4, 0, pal, 4, 2, px);
  auto bmp = Open(good);
  ASSERT_TRUE(bmp);
  EXPECT_EQ(bmp->GetStdRGB(1, 0).RGBQuad(), 0x0000FFu);
  EXPECT_EQ(bmp->GetStdRGB(2, 0).RGBQuad(), 0x0000FFu);
  EXPECT_EQ(bmp->GetStdRGB(0, 1).RGBQuad(), 0x000000u);
  // A longer header of a later version is skipped.
  TBytes longer = good;
  longer[3] = 13;
  longer.insert(longer.begin() + 16, {0xAA, 0xBB});
  auto skipped = Open(longer);
  ASSERT_TRUE(skipped);
  EXPECT_EQ(skipped->GetStdRGB(0, 0).RGBQuad(), 0xFF0000u);
  // The header alone is enough to recognise the file under another name.
  EXPECT_TRUE(Open(good, "pic.bin"));

  auto refused = [](TBytes f) { return Open(f) == nullptr; };
  TBytes bad = good;
  bad[2] = 'X';
  EXPECT_TRUE(refused(bad));
  EXPECT_TRUE(refused(TBytes(good.begin(), good.end() - 1)));
  bad = good;
  bad[12] = 1; // BitBuster
  EXPECT_TRUE(refused(bad));
  bad = good;
  bad[5] = 6; // no such depth
  EXPECT_TRUE(refused(bad));
  bad = good;
  bad[6] = 64; // fixed colours need 8 bits
  EXPECT_TRUE(refused(bad));
  bad = good;
  bad[16] = 32; // palette level
  EXPECT_TRUE(refused(bad));
  bad = good;
  bad[13] = 5; // data size disagrees
  EXPECT_TRUE(refused(bad));
  EXPECT_TRUE(refused(G9b(16, 0, {}, 2048, 200, {})));

  // Decoding checks again, naming the file and the bytes it needs.
  TFolder folder("short.g9b", TBytes(good.begin(), good.end() - 1));
  TVeV9990G9bSourceEngine direct(&folder);
  try {
    direct.CreateBitmap();
    FAIL();
  } catch (const EVeError& e) {
    EXPECT_NE(std::string(e.what()).find("short.g9b"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("4 bytes"), std::string::npos) << e.what();
  }
}
