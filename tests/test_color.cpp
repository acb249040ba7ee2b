#include <gtest/gtest.h>

#include "VeColor.h"

TEST(VeColorTransfer, ByteToLinearBranches) {
  EXPECT_EQ(ByteToLinear(0), 0.0);
  EXPECT_EQ(ByteToLinear(255), 1.0);
  EXPECT_NEAR(ByteToLinear(10), 0.0030353, 1e-7);
  EXPECT_NEAR(ByteToLinear(11), 0.0033465, 1e-7);
}
