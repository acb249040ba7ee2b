#include <gtest/gtest.h>

#include "VeFlickMap.h"

TEST(FlickMap, NeighbourTableOrder) {
  const TVeFlickNeighbour* t = TVeFlickMap::Neighbours();
  // The two entries at distance 1 come first, the one above before the one to the left.
  EXPECT_EQ(t[0].DX, 0);
  EXPECT_EQ(t[0].DY, -1);
  EXPECT_EQ(t[1].DX, -1);
  EXPECT_EQ(t[1].DY, 0);
  int sameRow = 0;
  for (int i = 0; i < TVeFlickMap::NeighbourCount; ++i) {
    EXPECT_EQ(t[i].D2, t[i].DX * t[i].DX + t[i].DY * t[i].DY);
    EXPECT_LE(t[i].D2, 400);
    EXPECT_LE(t[i].DY, 0);
    if (i > 0) {
      EXPECT_LE(t[i - 1].D2, t[i].D2);
    }
    if (t[i].DY == 0) {
      EXPECT_LT(t[i].DX, 0);
      ++sameRow;
    }
  }
  EXPECT_EQ(sameRow, 20);
  // Distance 2 (d² = 2): generated rows top-down, each right to left.
  EXPECT_EQ(t[2].DX, 1);
  EXPECT_EQ(t[2].DY, -1);
  EXPECT_EQ(t[3].DX, -1);
  EXPECT_EQ(t[3].DY, -1);
  EXPECT_EQ(t[TVeFlickMap::NeighbourCount - 1].D2, 400);
}

TEST(FlickMap, ChoiceOnEmptyMapFollowsParity) {
  TVeFlickMap map(4, 3);
  EXPECT_TRUE(map.ChooseFrameA(0, 0));
  EXPECT_FALSE(map.ChooseFrameA(1, 0));
  EXPECT_TRUE(map.ChooseFrameA(1, 1));
  map.Reversed = true;
  // Mirrored: x = 0 is stored column 3.
  EXPECT_FALSE(map.Parity(0, 0));
  EXPECT_TRUE(map.Parity(0, 1));
  EXPECT_EQ(map.Cell(-1, 0), nullptr);
  EXPECT_EQ(map.Cell(4, 0), nullptr);
}

TEST(FlickMap, ChoiceBalancesNearNeighbours) {
  TVeFlickMap map(8, 8);
  map.Set(2, 3, 0.0, 1.0); // left neighbour shown in frame A
  EXPECT_FALSE(map.ChooseFrameA(3, 3));
  map.Set(2, 3, 1.0, 0.0); // now in frame B
  EXPECT_TRUE(map.ChooseFrameA(3, 3));
  // Mirrored writes land in the mirrored column.
  map.Reversed = true;
  map.Set(0, 5, 0.5, 0.25);
  map.Reversed = false;
  ASSERT_NE(map.Cell(7, 5), nullptr);
  EXPECT_EQ(map.Cell(7, 5)->A, 0.25);
  EXPECT_EQ(map.Cell(7, 5)->B, 0.5);
}

TEST(FlickMap, TieLooksAtFirstUnbalancedRing) {
  TVeFlickMap map(10, 10);
  // Nearest three balanced (both lit), a frame-A pixel further out at distance² 4.
  map.Set(4, 5, 1.0, 1.0);
  map.Set(4, 4, 1.0, 1.0);
  map.Set(5, 4, 1.0, 1.0);
  map.Set(5, 3, 0.0, 1.0); // (0, -2) from (5, 5)
  EXPECT_FALSE(map.ChooseFrameA(5, 5));
  // The same ring holding a frame-B pixel too ties again: parity decides.
  map.Set(3, 5, 1.0, 0.0); // (-2, 0)
  EXPECT_EQ(map.ChooseFrameA(5, 5), map.Parity(5, 5));
}

// ---- screens and bitmaps ----

#include <vector>

#include "VeBitmap.h"

TEST(Screen, PackingAndMirror) {
  std::vector<uint8_t> mem(4, 0);
  TVeScreen2 s2(5, mem.data(), 2);
  EXPECT_EQ(s2.RowBytes(), 2);
  s2.SetPixel(4, 0, 3);
  EXPECT_EQ(mem[1], 0xC0); // pixel 4 in bits 7..6 of byte 1
  s2.SetPixel(1, 0, 0x6);  // only the low two bits count
  EXPECT_EQ(mem[0], 0x20);
  EXPECT_EQ(s2.GetPixel(1, 0), 2);
  s2.Reversed = true;
  s2.SetPixel(0, 1, 1); // last column
  EXPECT_EQ(mem[3], 0x40);
  EXPECT_EQ(s2.GetPixel(0, 1), 1);

  std::vector<uint8_t> m1(2 * 2, 0xFF);
  TVeScreen1 s1(9, m1.data(), 2);
  EXPECT_EQ(s1.RowBytes(), 2);
  s1.SetPixel(0, 1, 0);
  EXPECT_EQ(m1[2], 0x7F); // leftmost pixel in bit 7
  EXPECT_EQ(s1.GetPixel(8, 1), 1);

  std::vector<uint8_t> m4(3, 0);
  TVeScreen4 s4(5, m4.data(), 1);
  EXPECT_EQ(s4.RowBytes(), 3);
  s4.SetPixel(2, 0, 0xA);
  s4.SetPixel(3, 0, 0x5);
  EXPECT_EQ(m4[1], 0xA5);

  std::vector<uint8_t> m16(6, 0);
  TVeScreen16 s16(3, m16.data(), 1);
  s16.SetPixel(1, 0, 0x1234);
  EXPECT_EQ(m16[2], 0x34);
  EXPECT_EQ(m16[3], 0x12);
  s16.Reversed = true;
  EXPECT_EQ(s16.GetPixel(1, 0), 0x1234);

  std::vector<uint8_t> m8(3, 0);
  TVeScreen8 s8(3, m8.data(), 1);
  s8.Reversed = true;
  s8.SetPixel(0, 0, 7);
  EXPECT_EQ(m8[2], 7);
}

namespace {
TVePalette256 Palette4() {
  TVePalette256 p;
  p.AddRGB(0, 0, 0);
  p.AddRGB(255, 0, 0);
  p.AddRGB(0, 255, 0);
  p.AddRGB(0, 0, 255);
  return p;
}
} // namespace

TEST(Bitmap, LayoutIsBottomUpWithDibStride) {
  EXPECT_EQ(TVeBitmap::DibStride(1, 1), 4);
  EXPECT_EQ(TVeBitmap::DibStride(33, 1), 8);
  EXPECT_EQ(TVeBitmap::DibStride(3, 24), 12);
  EXPECT_EQ(TVeBitmap::DibStride(2, 15), 4);
  EXPECT_EQ(TVeBitmap::DibStride(9, 4), 8);

  TVePalette256 pal = Palette4();
  TVeBitmap4 b(9, &pal, 3);
  EXPECT_EQ(b.RowBytes(), 8);
  ASSERT_NE(b.Handle(), nullptr);
  EXPECT_EQ(b.Handle()->Bits.size(), 24u);
  EXPECT_EQ(b.Handle()->ColorTable.size(), 4u);
  EXPECT_EQ(b.Handle()->ColorTable[1], 0xFF0000u);
  b.SetPixel(1, 0, 3);
  // Row 0 is the last stored row.
  EXPECT_EQ(b.Handle()->Bits[16], 0x03);
  EXPECT_EQ(b.GetScanline(0), b.Data() + 16);
  EXPECT_EQ(b.GetStdRGB(1, 0), (TVeStdRGBColor{0, 0, 255}));
  b.Reversed = true;
  b.SetPixel(0, 2, 2); // last column of row 2 = first stored row
  EXPECT_EQ(b.Handle()->Bits[4], 0x20);

  TVeBitmap24 t(2, 2);
  t.SetPixel(1, 1, 0x123456);
  EXPECT_EQ(t.Handle()->Bits[3], 0x56); // blue first
  EXPECT_EQ(t.Handle()->Bits[5], 0x12);
  EXPECT_EQ(t.GetStdRGB(1, 1), (TVeStdRGBColor{0x12, 0x34, 0x56}));
}

TEST(Bitmap, OneBitWithoutPaletteShowsBlackAndWhite) {
  TVeBitmap1 b(10, nullptr, 2);
  EXPECT_EQ(b.Handle()->ColorTable, (std::vector<uint32_t>{0, 0xFFFFFF}));
  b.SetPixel(3, 1, 1);
  EXPECT_EQ(b.GetStdRGB(3, 1), (TVeStdRGBColor{255, 255, 255}));
  EXPECT_EQ(b.GetStdRGB(2, 1), (TVeStdRGBColor{0, 0, 0}));
  auto p = b.ToBitmap32();
  EXPECT_EQ(p->Pixel(3, 1), 0xFFFFFFFFu);
  EXPECT_EQ(p->Pixel(2, 1), 0xFF000000u);
  b.Invert();
  EXPECT_EQ(b.GetPixel(3, 1), 0);
  EXPECT_EQ(b.GetPixel(2, 1), 1);
  b.Invert();
  EXPECT_EQ(b.GetPixel(3, 1), 1);
  EXPECT_EQ(b.GetPixel(2, 1), 0);
}

TEST(Bitmap, ToBitmap32AndScale) {
  TVePalette256 pal = Palette4();
  TVeBitmap8 b(4, &pal, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
      b.SetPixel(x, y, (x + y) % 5); // 4 is beyond the palette
  auto p = b.ToBitmap32(2, 3);
  ASSERT_EQ(p->Width(), 8);
  ASSERT_EQ(p->Height(), 12);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 8; ++x) {
      int v = (x / 2 + y / 3) % 5;
      uint32_t want = v < 4 ? pal.GetRGBQuad(v) : 0;
      ASSERT_EQ(p->Pixel(x, y), want | 0xFF000000u) << x << "," << y;
    }
  EXPECT_THROW(b.ToBitmap32(0, 1), EInternalError);
  EXPECT_THROW(b.Scale(1, -1), EInternalError);

  auto s = b.Scale(3, 2);
  ASSERT_NE(dynamic_cast<TVeBitmap8*>(s.get()), nullptr);
  EXPECT_EQ(s->Width(), 12);
  EXPECT_EQ(s->Height(), 8);
  EXPECT_TRUE(s->Palette().Equals(&pal));
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 12; ++x)
      ASSERT_EQ(s->GetPixel(x, y), b.GetPixel(x / 3, y / 2));

  TVeBitmap1 one(3, &pal, 1);
  auto same = one.CreateSame(5, 5);
  ASSERT_NE(dynamic_cast<TVeBitmap1*>(same.get()), nullptr);
  EXPECT_EQ(same->Palette().GetCount(), 0);

  TVeBitmap32 src(2, 1);
  src.Pixel(0, 0) = 0x80102030;
  src.Pixel(1, 0) = 0x00A0B0C0;
  TVeBitmap24 t(src);
  auto back = t.ToBitmap32(1, 1);
  EXPECT_EQ(back->Pixel(0, 0), 0xFF102030u);
  EXPECT_EQ(back->Pixel(1, 0), 0xFFA0B0C0u);
}

TEST(Bitmap, KindChoiceAndFrames) {
  TVePalette256 p2, p3, p16, p17, p300;
  for (int i = 0; i < 2; ++i)
    p2.AddRGB(uint8_t(i * 255), 0, 0);
  for (int i = 0; i < 3; ++i)
    p3.AddRGB(uint8_t(i), 0, 0);
  for (int i = 0; i < 16; ++i)
    p16.AddRGB(uint8_t(i), 0, 0);
  for (int i = 0; i < 17; ++i)
    p17.AddRGB(uint8_t(i), 0, 0);
  for (int i = 0; i < 300; ++i)
    p300.AddRGB(uint8_t(i), uint8_t(i >> 8), 0);

  EXPECT_EQ(VeCreateResultBitmap(2, &p2, 2, true)->BitCount(), 1);
  EXPECT_EQ(VeCreateResultBitmap(2, &p2, 2, false)->BitCount(), 4);
  EXPECT_EQ(VeCreateResultBitmap(2, &p16, 2, true)->BitCount(), 4);
  EXPECT_EQ(VeCreateResultBitmap(2, &p17, 2, true)->BitCount(), 8);
  EXPECT_THROW(VeCreateResultBitmap(2, &p300, 2, false), EInternalError);

  TVeBitmap4 b(3, &p16, 2);
  EXPECT_EQ(b.Frames(), nullptr);
  EXPECT_EQ(b.AddFrame(&p2)->BitCount(), 1);
  EXPECT_EQ(b.AddFrame(&p3)->BitCount(), 4);
  EXPECT_EQ(b.AddFrame(&p17)->BitCount(), 8);
  EXPECT_EQ(b.AddFrame(&p300)->BitCount(), 24);
  TVeBitmap* last = b.AddFrame(nullptr);
  EXPECT_EQ(last->BitCount(), 24);
  EXPECT_EQ(last->Width(), 3);
  EXPECT_EQ(last->Height(), 2);
  ASSERT_NE(b.Frames(), nullptr);
  EXPECT_EQ(b.Frames()->Count(), 5);
  auto frames = b.TakeFrames();
  EXPECT_EQ(b.Frames(), nullptr);
  EXPECT_EQ(frames->GetBitmap(4), last);
  EXPECT_THROW(frames->GetBitmap(5), EInternalError);

  auto h = b.TakeHandle();
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->Width, 3);
  EXPECT_EQ(h->BitCount, 4);
  EXPECT_EQ(b.Handle(), nullptr);
  EXPECT_EQ(b.Width(), 0); // nothing left to address
  EXPECT_EQ(b.ToBitmap32()->PixelCount(), 0u);

  TVeBitmapList list;
  std::unique_ptr<TVeBitmap> own = std::make_unique<TVeBitmap24>(1, 1);
  list.Add(std::move(own));
  EXPECT_EQ(own, nullptr);
  EXPECT_EQ(list.Count(), 1);
}

TEST(Bitmap, RefusesImpossibleSizes) {
  EXPECT_THROW(TVeBitmap24(-1, 2), EVeError);
  EXPECT_THROW(TVeBitmap8(1 << 20, nullptr, 1 << 20), EVeError);
}
