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
