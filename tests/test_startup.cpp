// Every suite runs against the registries as the programs fill them at start-up.
#include <gtest/gtest.h>

#include "VePlatforms.h"

namespace {
class TStartup : public ::testing::Environment {
public:
  void SetUp() override { VeRegisterPlatforms(); }
};
[[maybe_unused]] ::testing::Environment* const StartupEnvironment =
    ::testing::AddGlobalTestEnvironment(new TStartup);
} // namespace
