#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "VeNearestGrid.h"

namespace {
// The plain scan the dithering did before the grid: first of equal distances.
int Scan(const std::vector<TVeSearchEntry>& e, double r, double g, double b) {
  auto dist = [&](const TVeSearchEntry& x) {
    const double dr = r - x.R, dg = g - x.G, db = b - x.B;
    return VeLumR * dr * dr + VeLumG * dg * dg + VeLumB * db * db;
  };
  int best = 0;
  double bestD = dist(e[0]);
  for (size_t i = 1; i < e.size(); ++i)
    if (const double d = dist(e[i]); d < bestD) {
      bestD = d;
      best = int(i);
    }
  return best;
}
} // namespace

TEST(VeNearestGrid, AgreesWithThePlainScanEverywhereInItsRange) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> u(0, 1), wide(-0.7, 1.7);
  std::uniform_int_distribution<int> level(0, 4), bin(0, 16383);
  // Spread entries, dark-heavy ones as photographs give, and coarse levels with duplicates
  // (exact ties between entries and equal distances at midpoints).
  for (int kind = 0; kind < 3; ++kind) {
    for (const int count : {24, 100, 256, 729}) {
      std::vector<TVeSearchEntry> e(static_cast<size_t>(count));
      for (auto& x : e) {
        if (kind == 0) x = {u(rng), u(rng), u(rng), 0};
        if (kind == 1) x = {std::pow(u(rng), 3), std::pow(u(rng), 3), std::pow(u(rng), 3), 0};
        if (kind == 2) x = {level(rng) / 4.0, level(rng) / 4.0, level(rng) / 4.0, 0};
      }
      TVeNearestGrid grid;
      grid.Build(e.data(), count);
      ASSERT_FALSE(grid.Empty());
      for (int t = 0; t < 3000; ++t) {
        double q[3];
        for (double& v : q) {
          switch (t % 4) {
          case 0:
            v = wide(rng);
            break; // out of range included
          case 1:
            v = std::pow(u(rng), 3);
            break; // dark
          case 2:
            v = level(rng) / 8.0;
            break; // midpoints: ties
          default:
            v = TVeNearestGrid::Lo + bin(rng) / 8192.0; // on fine-bin edges
          }
        }
        const bool inside = q[0] >= TVeNearestGrid::Lo && q[0] < TVeNearestGrid::Hi &&
                            q[1] >= TVeNearestGrid::Lo && q[1] < TVeNearestGrid::Hi &&
                            q[2] >= TVeNearestGrid::Lo && q[2] < TVeNearestGrid::Hi;
        ASSERT_EQ(grid.Nearest(q[0], q[1], q[2]), inside ? Scan(e, q[0], q[1], q[2]) : -1)
            << "kind " << kind << ", " << count << " entries, query " << t;
      }
      // Far fewer candidates per cell than entries, or the grid saves nothing.
      EXPECT_LT(double(grid.CandidateCount()) / grid.FilledCells(), count / 2.0);
    }
  }
}

TEST(VeNearestGrid, LeavesWhatItCannotAnswerToTheCaller) {
  const TVeSearchEntry e[2] = {{0.25, 0.25, 0.25, 0}, {0.75, 0.75, 0.75, 0}};
  TVeNearestGrid grid;
  grid.Build(e, 2);
  EXPECT_EQ(grid.Nearest(std::nan(""), 0.5, 0.5), -1);
  EXPECT_EQ(grid.Nearest(0.5, INFINITY, 0.5), -1);
  EXPECT_EQ(grid.Nearest(0.5, 0.5, TVeNearestGrid::Hi), -1);
  EXPECT_EQ(grid.Nearest(0.5, 0.5, 0.5), 0); // an exact tie: the first entry
  EXPECT_EQ(grid.Nearest(0.51, 0.51, 0.51), 1);
  // An entry that is not a number leaves the grid empty: the scan's answers stay.
  const TVeSearchEntry bad[2] = {{0.2, std::nan(""), 0.2, 0}, {0.8, 0.8, 0.8, 0}};
  grid.Build(bad, 2);
  EXPECT_TRUE(grid.Empty());
}
