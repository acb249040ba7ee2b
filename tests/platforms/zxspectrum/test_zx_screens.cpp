// The less common ZX Spectrum family screens: bordered, character-cell, gigascreen variants
// and the Next's 256-colour layer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "VeBitmap.h"
#include "VeLoadSource.h"
#include "zxspectrum/VeOpenPlatformZxSpectrum.h"
#include "zxspectrum/VeOpenPlatformZxSpectrumExtra.h"
#include "zxspectrum/VePlatformZxSpectrum.h"

namespace {

using TBytes = std::vector<uint8_t>;

// The picture the loader of class T makes of the bytes, and its priority.
template <class T>
std::unique_ptr<TVeBitmap> Open(const TBytes& bytes, const std::string& name,
                                int* priority = nullptr) {
  RegisterZxSpectrumLoaders();
  TVeMemoryLoadSource src(name, int32_t(bytes.size()), bytes.data());
  auto list = ProbeSource(&src);
  for (int i = 0; i < list->Count(); ++i)
    if (auto* e = dynamic_cast<T*>(list->Engines(i))) {
      if (priority) *priority = e->Priority;
      return e->CreateBitmap();
    }
  return nullptr;
}

uint8_t Attr(int paper, int ink) {
  return uint8_t(paper << 3 | ink);
}

} // namespace

TEST(ZxScreens, BorderedScreens) {
  TBytes bsc(11136, 0);
  for (int i = 0; i < ZxPixelBytes; ++i)
    bsc[size_t(i)] = 0xF0;
  for (int i = 0; i < ZxAttrBytes; ++i)
    bsc[size_t(ZxPixelBytes + i)] = Attr(zxBlue, zxRed);
  // Border: the first byte paints red then green; row 100 starts with magenta.
  bsc[ZxScreenBytes] = uint8_t(zxRed | zxGreen << 3);
  bsc[size_t(ZxScreenBytes + 64 * 24 + 36 * 8)] = zxMagenta;
  int priority = 0;
  auto b = Open<TVeZxSpectrumBscEngine>(bsc, "a.bsc", &priority);
  ASSERT_TRUE(b);
  EXPECT_EQ(priority, 5);
  EXPECT_EQ(b->Width(), 384);
  EXPECT_EQ(b->Height(), 304);
  EXPECT_EQ(b->GetPixel(0, 0), zxRed);
  EXPECT_EQ(b->GetPixel(15, 0), zxGreen);
  EXPECT_EQ(b->GetPixel(0, 100), zxMagenta);
  EXPECT_EQ(b->GetPixel(64, 64), zxRed);  // ink
  EXPECT_EQ(b->GetPixel(68, 64), zxBlue); // paper

  TBytes bmc(11904, 0);
  for (int i = 0; i < 768; ++i) {
    bmc[size_t(ZxPixelBytes + i)] = Attr(zxGreen, zxCyan);
    bmc[size_t(ZxScreenBytes + i)] = Attr(zxYellow, zxWhite);
  }
  auto m = Open<TVeZxSpectrumBmc4Engine>(bmc, "a.bmc4");
  ASSERT_TRUE(m);
  EXPECT_EQ(m->GetPixel(64, 64 + 3), zxGreen); // rows 0-3 of a cell: the first set
  EXPECT_EQ(m->GetPixel(64, 64 + 4), zxYellow);
  EXPECT_FALSE(Open<TVeZxSpectrumBmc4Engine>(TBytes(11903, 0), "a.bmc4"));
}

TEST(ZxScreens, CharacterCellPictures) {
  auto chr = [](int w, int h, int kind) {
    TBytes f = {'c', 'h', 'r', '$', uint8_t(w), uint8_t(h), uint8_t(kind)};
    for (int c = 0; c < w * h; ++c)
      for (int k = 0; k < kind; ++k)
        f.push_back(k % 9 == 8 ? Attr(zxBlack, zxCyan + (k > 9 ? 1 : 0)) : 0xC0);
    return f;
  };
  int priority = 0;
  auto mono = Open<TVeZxSpectrumChrEngine>(chr(2, 1, 8), "a.ch$", &priority);
  ASSERT_TRUE(mono);
  EXPECT_EQ(priority, 13);
  EXPECT_EQ(mono->Width(), 16);
  EXPECT_EQ(mono->GetPixel(0, 0), 1);
  EXPECT_EQ(mono->GetPixel(2, 0), 0);
  auto colour = Open<TVeZxSpectrumChrEngine>(chr(1, 2, 9), "a.ch$");
  ASSERT_TRUE(colour);
  EXPECT_EQ(colour->Height(), 16);
  EXPECT_EQ(colour->GetPixel(0, 9), zxCyan);
  EXPECT_EQ(colour->GetPixel(7, 9), zxBlack);
  auto giga = Open<TVeZxSpectrumChrEngine>(chr(1, 1, 18), "a.ch$");
  ASSERT_TRUE(giga);
  EXPECT_EQ(giga->GetPixel(0, 0), zxCyan * 16 + zxYellow);
  EXPECT_EQ(giga->GetPixel(5, 0), 0);
  // Another kind, or fewer bytes than the cells need, is not offered.
  EXPECT_FALSE(Open<TVeZxSpectrumChrEngine>(chr(1, 1, 10), "a.ch$"));
  TBytes cut = chr(2, 2, 9);
  cut.pop_back();
  EXPECT_FALSE(Open<TVeZxSpectrumChrEngine>(cut, "a.ch$"));
}

TEST(ZxScreens, GigascreenVariants) {
  TBytes hlr(1628, 0);
  std::memcpy(hlr.data(), ZxHlrRoutine, sizeof ZxHlrRoutine);
  hlr[84] = 0x80; // row 0 of every cell: only the first pixel set
  for (int i = 0; i < 768; ++i) {
    hlr[size_t(92 + i)] = Attr(zxBlue, zxRed);
    hlr[size_t(860 + i)] = Attr(zxGreen, zxWhite);
  }
  int priority = 0;
  auto h = Open<TVeZxSpectrumHlrEngine>(hlr, "a.hlr", &priority);
  ASSERT_TRUE(h);
  EXPECT_EQ(priority, 13);
  EXPECT_EQ(h->GetPixel(8, 0), zxRed * 16 + zxWhite);
  EXPECT_EQ(h->GetPixel(9, 0), zxBlue * 16 + zxGreen);
  EXPECT_EQ(h->GetPixel(8, 1), zxBlue * 16 + zxGreen);
  hlr[0] ^= 1; // not the routine: not a picture of this kind
  EXPECT_FALSE(Open<TVeZxSpectrumHlrEngine>(hlr, "a.hlr"));

  TBytes stl(3072, 0);
  stl[0] = Attr(zxRed, zxGreen);     // frame 1, pixels 0 and 1
  stl[1] = Attr(zxBlue, zxYellow);   // frame 1, pixels 2 and 3
  stl[2] = Attr(zxWhite, zxCyan);    // frame 2, pixels 0 and 1
  stl[3] = Attr(zxBlack, zxMagenta); // frame 2, pixels 2 and 3
  auto s = Open<TVeZxSpectrumStlEngine>(stl, "a.stl");
  ASSERT_TRUE(s);
  EXPECT_EQ(s->Width(), 64);
  EXPECT_EQ(s->GetPixel(0, 0), zxRed * 16 + zxWhite);
  EXPECT_EQ(s->GetPixel(1, 0), zxGreen * 16 + zxCyan);
  EXPECT_EQ(s->GetPixel(2, 0), zxBlue * 16 + zxBlack);
  EXPECT_EQ(s->GetPixel(3, 0), zxYellow * 16 + zxMagenta);
}

TEST(ZxScreens, NextLayer2) {
  TBytes nxi(49664, 0);
  nxi[2 * 5] = 0xE0; // entry 5: red level 7
  nxi[2 * 6] = 0x03;
  nxi[2 * 6 + 1] = 0x01; // entry 6: blue level 7 (low two bits and the ninth)
  nxi[512 + 256 * 3 + 4] = 5;
  nxi[512 + 256 * 3 + 5] = 6;
  auto n = Open<TVeZxSpectrumNextNxiEngine>(nxi, "a.nxi");
  ASSERT_TRUE(n);
  EXPECT_EQ(n->GetPixel(4, 3), 5);
  EXPECT_EQ(n->Palette().GetRGBQuad(5) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(n->Palette().GetRGBQuad(6) & 0xFFFFFF, 0x0000FFu);

  TBytes sl2(49152, 0);
  sl2[256 * 10 + 20] = 0xFF;
  auto l = Open<TVeZxSpectrumNextSl2Engine>(sl2, "a.sl2");
  ASSERT_TRUE(l);
  EXPECT_EQ(l->GetPixel(20, 10), 255);
  EXPECT_EQ(l->Palette().GetRGBQuad(255) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(l->Palette().GetRGBQuad(0x1C) & 0xFFFFFF, 0x00FF00u);
}

TEST(ZxScreens, EvolutionAndBorderedGigascreen) {
  // ".sxg": 3 x 2 at 4 bits, two palette entries, version 3 rows padded to 16 bits.
  TBytes sxg = {0x7F, 'S', 'X', 'G', 3, 0, 0, 1, 3, 0, 2, 0};
  const int p = 2, q = 2 + 2 * 2 - 2; // two entries
  sxg.push_back(uint8_t(p));
  sxg.push_back(0);
  sxg.push_back(uint8_t(q));
  sxg.push_back(0);
  for (uint8_t b : {0x00, 0x00, 0x00, 0x7C}) // entry 0 black, entry 1 red at level 31
    sxg.push_back(b);
  ASSERT_EQ(sxg.size(), size_t(16 + q)); // the pixels follow at 16 + q
  for (uint8_t b : {0x10, 0x10, 0x01, 0x00})
    sxg.push_back(b);
  int priority = 0;
  auto e = Open<TVeZxSpectrumSxgEngine>(sxg, "a.sxg", &priority);
  ASSERT_TRUE(e);
  EXPECT_EQ(priority, 13);
  EXPECT_EQ(e->Width(), 3);
  EXPECT_EQ(e->GetPixel(0, 0), 1);
  EXPECT_EQ(e->GetPixel(1, 0), 0);
  EXPECT_EQ(e->GetPixel(1, 1), 1);
  EXPECT_EQ(e->Palette().GetRGBQuad(1) & 0xFFFFFF, 0xFF0000u);
  sxg.pop_back(); // a row short
  EXPECT_FALSE(Open<TVeZxSpectrumSxgEngine>(sxg, "a.sxg"));

  // ".bsp": two screens drawn as a gigascreen inside the border area.
  TBytes bsp = {'b', 's', 'p', 0xC0, 0};
  bsp.resize(72, 0);
  std::memcpy(bsp.data() + 6, "  Title ", 8);
  std::memcpy(bsp.data() + 38, "Author", 6);
  bsp.resize(72 + 2 * ZxScreenBytes, 0);
  for (int i = 0; i < ZxAttrBytes; ++i) {
    bsp[size_t(72 + ZxPixelBytes + i)] = Attr(zxRed, zxRed);
    bsp[size_t(72 + ZxScreenBytes + ZxPixelBytes + i)] = Attr(zxBlue, zxBlue);
  }
  RegisterZxSpectrumLoaders();
  TVeMemoryLoadSource src("a.bsp", int32_t(bsp.size()), bsp.data());
  TVeZxSpectrumBspEngine engine(&src);
  EXPECT_EQ(engine.Comment, "Title / Author");
  auto b = Open<TVeZxSpectrumBspEngine>(bsp, "a.bsp");
  ASSERT_TRUE(b);
  EXPECT_EQ(b->GetPixel(64, 64), zxRed * 16 + zxBlue);
  EXPECT_EQ(b->GetPixel(0, 0), 0);
}
