// Agat: "128x128x4 HAM" stays a preview and says why; the other modes carry no reason.
#include <gtest/gtest.h>

#include "VeDestEngineList.h"
#include "VePlatforms.h"

TEST(Agat, HamModeStaysAPreviewWithItsReason) {
  VeRegisterPlatforms();
  TVeDestEngineList& list = DestEngineList();
  const TVeDestSubTypes& modes = list.GetSubTypes(list.IndexOf("Agat"));
  ASSERT_EQ(modes.Count(), 13);
  for (int i = 0; i < modes.Count(); ++i) {
    const TVeDestEngineClass* c = modes.GetEngineClass(i);
    EXPECT_TRUE(c->PreviewOnly()) << modes.Strings(i);
    EXPECT_EQ(c->PreviewOnlyReason().empty(), modes.Strings(i) != "128x128x4 HAM")
        << modes.Strings(i);
  }
}
