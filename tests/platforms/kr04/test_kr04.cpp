// Elektronika KR-04: every mode stays a preview and says why.
#include <gtest/gtest.h>

#include "VeDestEngineList.h"
#include "VePlatforms.h"

TEST(Kr04, EveryModeStaysAPreviewWithItsReason) {
  VeRegisterPlatforms();
  TVeDestEngineList& list = DestEngineList();
  const TVeDestSubTypes& modes = list.GetSubTypes(list.IndexOf("Elektronika KR-04"));
  ASSERT_EQ(modes.Count(), 6);
  for (int i = 0; i < modes.Count(); ++i) {
    const TVeDestEngineClass* c = modes.GetEngineClass(i);
    EXPECT_TRUE(c->PreviewOnly()) << modes.Strings(i);
    EXPECT_NE(c->PreviewOnlyReason().find("glyph"), std::string::npos) << modes.Strings(i);
  }
}
