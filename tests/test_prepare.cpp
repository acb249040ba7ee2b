// Fitting the source to the destination: placement, resampling, region geometry.
#include <gtest/gtest.h>

#include "VeSourcePrepare.h"
#include "VeThreadJob.h"

namespace {

TVeBitmap32 Noise(int w, int h, uint32_t seed = 1) {
  TVeBitmap32 b(w, h);
  for (size_t i = 0; i < b.PixelCount(); ++i) {
    seed = seed * 1664525 + 1013904223;
    b.Data()[i] = 0xFF000000u | seed >> 8;
  }
  return b;
}

} // namespace

TEST(Placement, RoundingAndModes) {
  EXPECT_EQ(VeRound(0.5), 0);
  EXPECT_EQ(VeRound(1.5), 2);
  EXPECT_EQ(VeRound(2.5), 2);
  EXPECT_EQ(VeRound(-0.5), 0);
  EXPECT_EQ(VePlacement(vpmStretched, 256, 192, 10, 10), (TVeRect{0, 0, 256, 192}));
  // Fit source in result: a wide source gets bands above and below.
  EXPECT_EQ(VePlacement(vpmFitSourceInResult, 256, 192, 400, 200), (TVeRect{0, 32, 256, 160}));
  // Fit result in source: the same source overflows left and right, cut evenly.
  EXPECT_EQ(VePlacement(vpmFitResultInSource, 256, 192, 400, 200), (TVeRect{-64, 0, 320, 192}));
  // A tall sliver still gets one pixel; an empty source none.
  EXPECT_EQ(VePlacement(vpmFitSourceInResult, 256, 192, 1, 100000).Width(), 1);
  EXPECT_EQ(VePlacement(vpmFitSourceInResult, 256, 192, 0, 100), (TVeRect{128, 96, 128, 96}));
  // Centred: an odd difference truncates toward zero, losing more on the right.
  EXPECT_EQ(VePlacement(vpmCentred, 256, 192, 259, 192), (TVeRect{-1, 0, 258, 192}));
  EXPECT_EQ(VePlacement(vpmCentred, 256, 192, 251, 190), (TVeRect{2, 1, 253, 191}));
}

TEST(Resize, SameSizeIsExactCopyInEveryMode) {
  const TVeBitmap32 src = Noise(64, 48);
  for (int mode = 0; mode < 4; ++mode) {
    TVeResizeResult r = VeResizeSource(src, 64, 48, 1, 1, mode, true);
    EXPECT_TRUE(r.Picture == src) << mode;
    EXPECT_EQ(r.Rect, (TVeRect{0, 0, 64, 48}));
    EXPECT_FALSE(r.HasNative);
  }
}

TEST(Resize, AspectPairPlacesAndMakesNativePicture) {
  const TVeBitmap32 src = Noise(256, 192);
  TVeResizeResult r = VeResizeSource(src, 256, 192, 2, 1, vpmFitSourceInResult, true);
  EXPECT_EQ(r.Rect, (TVeRect{0, 48, 256, 144}));
  EXPECT_EQ(r.Picture.Width(), 256);
  EXPECT_EQ(r.Picture.Pixel(10, 47), 0xFFFFFFFFu); // white outside the placement
  EXPECT_EQ(r.Picture.Pixel(10, 144), 0xFFFFFFFFu);
  ASSERT_TRUE(r.HasNative);
  EXPECT_EQ(r.NativePicture.Width(), 256);
  EXPECT_EQ(r.NativePicture.Height(), 384);
  EXPECT_EQ(r.NativeRect, (TVeRect{0, 96, 256, 288}));
  // Without the request there is no native picture.
  EXPECT_FALSE(VeResizeSource(src, 256, 192, 2, 1, 0, false).HasNative);
}

TEST(Resize, CentredCutsOddDifferenceMoreOnTheRight) {
  const TVeBitmap32 src = Noise(259, 20);
  TVeResizeResult r = VeResizeSource(src, 256, 20, 1, 1, vpmCentred, false);
  EXPECT_EQ(r.Rect, (TVeRect{-1, 0, 258, 20}));
  for (int y = 0; y < 20; ++y) {
    EXPECT_EQ(r.Picture.Pixel(0, y), src.Pixel(1, y));     // one column lost on the left
    EXPECT_EQ(r.Picture.Pixel(255, y), src.Pixel(256, y)); // two lost on the right
  }
}

TEST(Resize, LanczosKeepsFlatColourAndBlendsOnWhite) {
  TVeBitmap32 flat(300, 200, 0xFF336699);
  for (int mode = 0; mode < 4; ++mode) {
    TVeResizeResult down = VeResizeSource(flat, 32, 24, 1, 1, mode, false);
    const TVeRect& rc = down.Rect;
    for (int y = std::max(rc.Top, 0); y < std::min(rc.Bottom, 24); ++y)
      for (int x = std::max(rc.Left, 0); x < std::min(rc.Right, 32); ++x)
        ASSERT_EQ(down.Picture.Pixel(x, y), 0xFF336699u) << mode << " " << x << "," << y;
  }
  TVeBitmap32 small(3, 2, 0xFF000000);
  TVeResizeResult up = VeResizeSource(small, 30, 20, 1, 1, vpmStretched, false);
  for (size_t i = 0; i < up.Picture.PixelCount(); ++i)
    ASSERT_EQ(up.Picture.Data()[i], 0xFF000000u);
  // Transparent pixels come out as they look on white.
  TVeBitmap32 clear(40, 40, 0x00000000);
  TVeResizeResult c = VeResizeSource(clear, 16, 16, 1, 1, vpmStretched, false);
  EXPECT_EQ(c.Picture.Pixel(8, 8), 0xFFFFFFFFu);
  TVeBitmap32 half(40, 40, 0x80000000);
  c = VeResizeSource(half, 16, 16, 1, 1, vpmStretched, false);
  EXPECT_EQ(c.Picture.Pixel(8, 8), 0xFF7F7F7Fu);
  // A sharp edge stays where it belongs: left half black, right half white.
  TVeBitmap32 edge(200, 10, 0xFFFFFFFF);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 100; ++x)
      edge.Pixel(x, y) = 0xFF000000;
  TVeResizeResult e = VeResizeSource(edge, 20, 1, 1, 1, vpmStretched, false);
  EXPECT_LT(e.Picture.Pixel(8, 0) & 255, 8u);
  EXPECT_GT(e.Picture.Pixel(11, 0) & 255, 247u);
}

TEST(Resize, RejectsEmptyDestination) {
  EXPECT_THROW(VeResizeSource(Noise(4, 4), 0, 10, 1, 1, 0, false), EVeError);
}

TEST(RegionGeometry, RegionPictureOnWhite) {
  const TVeBitmap32 src = Noise(10, 10);
  TVeBitmap32 r = VeRegionPicture(src, {8, -2, 12, 3});
  ASSERT_EQ(r.Width(), 4);
  ASSERT_EQ(r.Height(), 5);
  EXPECT_EQ(r.Pixel(0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(r.Pixel(0, 2), src.Pixel(8, 0));
  EXPECT_EQ(r.Pixel(1, 4), src.Pixel(9, 2));
  EXPECT_EQ(r.Pixel(2, 4), 0xFFFFFFFFu);
}

TEST(RegionGeometry, HandlesInTestOrder) {
  const TVeRect r{100, 100, 200, 160};
  EXPECT_EQ(VeRegionHandleAt(r, 96, 104), vrhTopLeft);
  EXPECT_EQ(VeRegionHandleAt(r, 95, 100), vrhNone);
  EXPECT_EQ(VeRegionHandleAt(r, 150, 100), vrhTop);
  EXPECT_EQ(VeRegionHandleAt(r, 204, 96), vrhTopRight);
  EXPECT_EQ(VeRegionHandleAt(r, 100, 130), vrhLeft);
  EXPECT_EQ(VeRegionHandleAt(r, 150, 130), vrhCentre);
  EXPECT_EQ(VeRegionHandleAt(r, 200, 130), vrhRight);
  EXPECT_EQ(VeRegionHandleAt(r, 100, 160), vrhBottomLeft);
  EXPECT_EQ(VeRegionHandleAt(r, 150, 164), vrhBottom);
  EXPECT_EQ(VeRegionHandleAt(r, 200, 160), vrhBottomRight);
  EXPECT_EQ(VeRegionHandleAt(r, 130, 130), vrhNone);
  // On a tiny region all handles overlap; the first in order wins.
  EXPECT_EQ(VeRegionHandleAt({10, 10, 14, 14}, 12, 12), vrhTopLeft);
  EXPECT_EQ(VeRegionCaption(r), "Region 100x60");
}

TEST(RegionGeometry, DraggingKeepsMinimumSwapsAndMoves) {
  const TVeRect r{100, 100, 200, 160};
  TVeRegionDrag d(r, vrhLeft, 100, 130, 640, 480);
  EXPECT_EQ(d.Move(50, 999), (TVeRect{50, 100, 200, 160}));
  EXPECT_EQ(d.Move(197, 130), (TVeRect{192, 100, 200, 160})); // never closer than 8
  EXPECT_EQ(d.Handle(), vrhLeft);
  EXPECT_EQ(d.Move(250, 130), (TVeRect{200, 100, 250, 160})); // past the right edge
  EXPECT_EQ(d.Handle(), vrhRight);
  EXPECT_EQ(d.Move(203, 130), (TVeRect{200, 100, 208, 160}));
  EXPECT_EQ(d.Move(-40, 130), (TVeRect{0, 100, 200, 160})); // back past, clamped to 0
  EXPECT_EQ(d.Handle(), vrhLeft);

  TVeRegionDrag c(r, vrhBottomRight, 200, 160, 640, 480);
  EXPECT_EQ(c.Move(1000, 1000), (TVeRect{100, 100, 640, 480}));
  EXPECT_EQ(c.Move(90, 50), (TVeRect{90, 50, 100, 100}));
  EXPECT_EQ(c.Handle(), vrhTopLeft);

  TVeRegionDrag m(r, vrhCentre, 150, 130, 640, 480);
  EXPECT_EQ(m.Move(160, 110), (TVeRect{110, 80, 210, 140}));
  EXPECT_EQ(m.Move(-5, 130), (TVeRect{-50, 100, 50, 160})); // mouse clamped, size kept
}

TEST(SourceView, GrayAndDimPicturesDoNotDependOnThreads) {
  const TVeBitmap32 src = Noise(37, 29);
  SetProcessorCount(1);
  const TVeSourceViewPictures one = VeMakeSourceViewPictures(src);
  SetProcessorCount(4);
  const TVeSourceViewPictures four = VeMakeSourceViewPictures(src);
  SetProcessorCount(0);
  EXPECT_TRUE(one.Gray == four.Gray);
  EXPECT_TRUE(one.Dim == four.Dim);
  TVeBitmap32 bw(2, 1, 0xFFFFFFFF);
  bw.Pixel(1, 0) = 0xFF000000;
  const TVeSourceViewPictures v = VeMakeSourceViewPictures(bw);
  const uint32_t g = v.Gray.Pixel(0, 0);
  EXPECT_EQ(g >> 24, 255u);
  EXPECT_EQ(g & 255, g >> 8 & 255); // gray
  EXPECT_LT(g & 255, 200u);         // white at L* 75 is clearly darker
  EXPECT_GT(v.Dim.Pixel(0, 0) & 255, g & 255);
  EXPECT_EQ(v.Gray.Pixel(1, 0), 0xFF000000u); // L* never below 0
  EXPECT_EQ(v.Dim.Pixel(1, 0), 0xFF000000u);
}

TEST(SourceView, UsedAreaAndCellPattern) {
  const TVeRect region{0, 0, 400, 300};
  EXPECT_EQ(VeUsedArea(region, 256, 192, 1, 1, vpmStretched), region);
  EXPECT_EQ(VeUsedArea(region, 256, 192, 1, 1, vpmCentred), (TVeRect{72, 54, 328, 246}));
  EXPECT_EQ(VeUsedArea({10, 10, 410, 310}, 256, 192, 2, 1, vpmCentred),
            (TVeRect{82, 10, 338, 310})); // 256 x 384 clipped to the region
  EXPECT_EQ(VeUsedArea({0, 0, 400, 200}, 256, 192, 1, 1, vpmFitResultInSource),
            (TVeRect{66, 0, 333, 200}));
  EXPECT_EQ(VeUsedArea({0, 0, 400, 200}, 256, 192, 1, 1, vpmFitSourceInResult),
            (TVeRect{0, 0, 400, 200}));

  TVeBitmap32 src(20, 8, 0xFF102030);
  TVeSourceViewPictures v;
  v.Gray = TVeBitmap32(20, 8, 0xFF111111);
  v.Dim = TVeBitmap32(20, 8, 0xFF222222);
  // Region 16 x 8 at x = 2 for a 16 x 8 destination with 8 x 8 cells: a checkerboard row.
  TVeBitmap32 shown = VeSourceView(src, v, {2, 0, 18, 8}, 16, 8, 1, 1, vpmStretched, 8, 8);
  EXPECT_EQ(shown.Pixel(0, 0), 0xFF111111u);  // outside the used area: gray
  EXPECT_EQ(shown.Pixel(2, 0), 0xFF102030u);  // cell (0, 0): the source
  EXPECT_EQ(shown.Pixel(10, 7), 0xFF222222u); // cell (1, 0): dim
  EXPECT_EQ(shown.Pixel(18, 0), 0xFF111111u);
  // Cell height below 3: every odd column is dim, rows do not count.
  shown = VeSourceView(src, v, {2, 0, 18, 8}, 16, 8, 1, 1, vpmStretched, 4, 1);
  EXPECT_EQ(shown.Pixel(2, 3), 0xFF102030u);
  EXPECT_EQ(shown.Pixel(6, 3), 0xFF222222u);
  EXPECT_EQ(shown.Pixel(17, 3), 0xFF222222u);
  // No cells for a width of 2 or less.
  shown = VeSourceView(src, v, {2, 0, 18, 8}, 16, 8, 1, 1, vpmStretched, 2, 8);
  EXPECT_EQ(shown.Pixel(10, 7), 0xFF102030u);
}

TEST(SourceView, CellPatternOnThePreparedPicture) {
  const TVeBitmap32 prepared(16, 16, 0xFF8040C0u);
  const TVeBitmap32 shown = VeCellPatternView(prepared, 16, 16, 8, 8);
  EXPECT_EQ(shown.Pixel(0, 0), 0xFF8040C0u);
  EXPECT_EQ(shown.Pixel(15, 15), 0xFF8040C0u);
  const uint32_t dim = shown.Pixel(8, 0);
  EXPECT_NE(dim, 0xFF8040C0u);
  EXPECT_EQ(shown.Pixel(0, 8), dim);
  // The native-aspect copy, twice as wide: each cell spans 16 of its columns.
  const TVeBitmap32 wide = VeCellPatternView(TVeBitmap32(32, 16, 0xFF8040C0u), 16, 16, 8, 8);
  EXPECT_EQ(wide.Pixel(15, 0), 0xFF8040C0u);
  EXPECT_EQ(wide.Pixel(16, 0), dim);
  // Modes without cells show the picture as it is.
  EXPECT_EQ(VeCellPatternView(prepared, 16, 16, 1, 1).Pixel(8, 0), 0xFF8040C0u);
  // 8 x 1 and 8 x 2 cells are cells too, not columns: rows alternate within a column.
  for (int h : {1, 2, 4}) {
    const TVeBitmap32 thin = VeCellPatternView(prepared, 16, 16, 8, h);
    for (int y = 0; y < 16; ++y) {
      const bool evenRow = (y / h) % 2 == 0;
      EXPECT_EQ(thin.Pixel(3, y), evenRow ? 0xFF8040C0u : dim) << h << " " << y;
      EXPECT_EQ(thin.Pixel(12, y), evenRow ? dim : 0xFF8040C0u) << h << " " << y;
    }
  }
}

TEST(Resize, CancelFlagStopsTheWork) {
  TVeCancelFlag cancel{1};
  EXPECT_THROW(VeResizeSource(Noise(100, 80), 30, 20, 1, 1, vpmStretched, false, &cancel), EAbort);
}

TEST(SourceResize, RowsSplitOverWorkersGiveTheSamePicture) {
  // Down and up, with a placement that leaves a border: rows are cut into parts per worker.
  const TVeBitmap32 src = Noise(301, 203);
  // A strong reduction makes each worker keep many source rows at once.
  for (auto [w, h] : {std::pair{256, 192}, std::pair{640, 480}, std::pair{40, 5}}) {
    SetProcessorCount(1);
    const TVeResizeResult one = VeResizeSource(src, w, h, 2, 1, vpmFitSourceInResult, true);
    SetProcessorCount(3);
    const TVeResizeResult three = VeResizeSource(src, w, h, 2, 1, vpmFitSourceInResult, true);
    SetProcessorCount(0);
    EXPECT_TRUE(one.Picture == three.Picture) << w;
    EXPECT_TRUE(one.NativePicture == three.NativePicture) << w;
  }
}
