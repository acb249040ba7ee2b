#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "VeDestEngineList.h"
#include "VeGenericEngine.h"
#include "VePlatforms.h"
#include "VeSourceEngines.h"

namespace {

class TNamedEngine : public TVeGenericEngineClass {
public:
  using TVeGenericEngineClass::TVeGenericEngineClass;
};

std::unique_ptr<TVeDestEngineClass> Named(const char* platform, const char* mode) {
  return std::make_unique<TNamedEngine>(platform, mode, 1);
}

} // namespace

TEST(VeDestEngineList, CatalogueOrderAndNames) {
  const TVeDestEngineList& list = DestEngineList();
  ASSERT_EQ(list.Count(), 34);
  EXPECT_EQ(list.ModeCount(), 145);
  EXPECT_EQ(list.Strings(0), "Common");
  EXPECT_EQ(list.Strings(33), "ZX Spectrum UlaPlus");
  EXPECT_EQ(list.Strings(21), "SAM Coup\u00e9");

  int zx = list.IndexOf("ZX Spectrum");
  ASSERT_GE(zx, 0);
  EXPECT_EQ(list.GetSubTypes(zx).Count(), 11);
  EXPECT_EQ(list.GetSubTypes(zx).Strings(0), "256x192x4");
  EXPECT_EQ(list.GetSubTypes(zx).Strings(10), "256x192x3 Tricolor");

  int symbos = list.IndexOf("SymbOS");
  ASSERT_GE(symbos, 0);
  ASSERT_EQ(list.GetSubTypes(symbos).Count(), 1);
  EXPECT_EQ(list.GetSubTypes(symbos).Strings(0), "");
  EXPECT_EQ(list.GetSubTypes(symbos).GetEngineClass(0)->GetModeName(), "");

  const TVeDestSubTypes& common = list.GetSubTypes(0);
  EXPECT_EQ(common.Strings(0), "B/W");
  EXPECT_EQ(common.Strings(2), "Original palette");

  const TVeDestSubTypes& vector = list.GetSubTypes(list.IndexOf("Vector-06C"));
  EXPECT_EQ(vector.Strings(1), "256x256x4 HAM1");
  EXPECT_EQ(vector.Strings(2), "256x256x4 HAM2");

  // Every entry names itself like its place in the list, and only four modes are magnified.
  int scaled = 0;
  for (int p = 0; p < list.Count(); ++p) {
    const TVeDestSubTypes& sub = list.GetSubTypes(p);
    for (int m = 0; m < sub.Count(); ++m) {
      const TVeDestEngineClass* c = sub.GetEngineClass(m);
      EXPECT_EQ(c->GetPlatformName(), list.Strings(p));
      EXPECT_EQ(c->GetModeName(), sub.Strings(m));
      if (c->GetDisplayScale() != 1) ++scaled;
    }
  }
  EXPECT_EQ(scaled, 4);
  const TVeDestSubTypes& agat = list.GetSubTypes(list.IndexOf("Agat"));
  EXPECT_EQ(agat.GetEngineClass(0)->GetDisplayScale(), 2);
  EXPECT_EQ(agat.GetEngineClass(1)->GetDisplayScale(), 2);
  const TVeDestSubTypes& ti = list.GetSubTypes(list.IndexOf("TI-99/4A"));
  EXPECT_EQ(ti.GetEngineClass(ti.IndexOf("9918A 64x48x4"))->GetDisplayScale(), 4);
  EXPECT_EQ(ti.GetEngineClass(ti.IndexOf("9918A 64x48x8 Dual"))->GetDisplayScale(), 4);
}

TEST(VeDestEngineList, RegistrationIsCaseSensitiveLookupIsNot) {
  TVeDestEngineList list;
  list.Register(Named("Test", "A"));
  list.Register(Named("Other", "X"));
  list.Register(Named("Test", "B"));
  list.Register(Named("TEST", "C"));
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Strings(2), "TEST");
  EXPECT_EQ(list.GetSubTypes(0).Count(), 2);
  EXPECT_EQ(list.GetSubTypes(0).Strings(1), "B");

  // A saved choice is found whatever its case; a missing name selects the first entry.
  int p = -1, m = -1;
  const TVeDestEngineClass* c = list.Find("test", "b", &p, &m);
  EXPECT_EQ(p, 0);
  EXPECT_EQ(m, 1);
  EXPECT_EQ(c->GetModeName(), "B");
  c = list.Find("nothing", "nothing", &p, &m);
  EXPECT_EQ(p, 0);
  EXPECT_EQ(m, 0);
  EXPECT_EQ(c->GetModeName(), "A");
  EXPECT_EQ(TVeDestEngineList().Find("a", "b"), nullptr);

  // A real engine takes over the entry in place; an unknown one is appended.
  const TVeDestEngineClass* replaced = list.Replace(Named("Test", "B"));
  EXPECT_EQ(list.GetSubTypes(0).GetEngineClass(1), replaced);
  EXPECT_EQ(list.GetSubTypes(0).Count(), 2);
  list.Replace(Named("New", "Z"));
  EXPECT_EQ(list.Count(), 4);
}

TEST(VePlatforms, UnitsRegisterInCatalogueOrder) {
  // Each unit's platform is in the catalogue, after the previous unit's.
  const auto& catalogue = VeCatalogue();
  size_t at = 0;
  for (const TVePlatformUnit& unit : VePlatformUnits()) {
    size_t found = catalogue.size();
    for (size_t i = at; i < catalogue.size(); ++i)
      if (std::string(catalogue[i].Platform) == unit.Platform) {
        found = i;
        break;
      }
    ASSERT_LT(found, catalogue.size()) << unit.Platform << " out of catalogue order";
    at = found;
  }
  // Registering again changes nothing: every mode once, real engines where the units put them.
  const int modes = DestEngineList().ModeCount();
  const size_t loaders = RegisteredSourceEngines().size();
  VeRegisterPlatforms();
  EXPECT_EQ(DestEngineList().ModeCount(), modes);
  EXPECT_EQ(RegisteredSourceEngines().size(), loaders);
  EXPECT_GT(loaders, 0u);
  const TVeDestEngineClass* zx = DestEngineList().Find("ZX Spectrum", "256x192x4");
  EXPECT_FALSE(dynamic_cast<const TVeGenericEngineClass*>(zx));
}

TEST(VePlatforms, LowerLayersNameNoPlatformAndImagingNoEngine) {
  namespace fs = std::filesystem;
  const fs::path src = fs::path(VELMORA_SOURCE_DIR) / "src";
  auto text = [](const fs::path& p) {
    std::ifstream in(p);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  };
  // The registries name no platform.
  for (const char* file : {"engines/VeDestEngineList.h", "engines/VeDestEngineList.cpp",
                           "source/VeSourceEngines.h", "source/VeSourceEngines.cpp"}) {
    const std::string s = text(src / file);
    ASSERT_FALSE(s.empty()) << file;
    for (const char* name : {"\"ZX Spectrum", "\"Common\"", "ZxSpectrum"})
      EXPECT_EQ(s.find(name), std::string::npos) << file << " names " << name;
  }
  // No lower layer includes a platform's header, however the include is spelt. Every
  // platform sits in a folder of its own; only the list itself is at the top.
  std::vector<std::string> platformHeaders;
  for (const auto& e : fs::recursive_directory_iterator(src / "platforms")) {
    if (e.is_directory()) continue;
    const fs::path rel = e.path().lexically_relative(src / "platforms");
    const std::string name = e.path().filename().string();
    if (rel.has_parent_path()) {
      if (e.path().extension() == ".h") platformHeaders.push_back(name);
    } else {
      EXPECT_TRUE(name == "VePlatforms.h" || name == "VePlatforms.cpp")
          << name << " lies outside the platform folders";
    }
  }
  ASSERT_GT(platformHeaders.size(), 20u);
  for (const char* layer : {"engines", "source", "imaging", "color", "jobs"})
    for (const auto& e : fs::directory_iterator(src / layer)) {
      const std::string s = text(e.path());
      for (const std::string& h : platformHeaders)
        for (const std::string& spelling : {"\"" + h + "\"", "/" + h + "\""})
          EXPECT_EQ(s.find(spelling), std::string::npos)
              << layer << "/" << e.path().filename().string() << " includes " << h;
    }
  // Imaging sits below the engines.
  std::vector<std::string> engineHeaders;
  for (const auto& e : fs::directory_iterator(src / "engines"))
    if (e.path().extension() == ".h") engineHeaders.push_back(e.path().filename().string());
  ASSERT_FALSE(engineHeaders.empty());
  for (const auto& e : fs::directory_iterator(src / "imaging")) {
    const std::string s = text(e.path());
    for (const std::string& h : engineHeaders)
      EXPECT_EQ(s.find("#include \"" + h + "\""), std::string::npos)
          << e.path().filename() << " includes " << h;
  }
}

TEST(VeDestEngineList, LinearLevelTables) {
  const TVeLinearLevels& t5 = VeLinear5();
  const TVeLinearLevels& t6 = VeLinear6();
  ASSERT_EQ(t5.Count(), 32);
  ASSERT_EQ(t6.Count(), 64);
  EXPECT_EQ(t5.Value(0), 0.0);
  EXPECT_DOUBLE_EQ(t5.Value(31), 1.0);
  EXPECT_DOUBLE_EQ(t6.Value(63), 1.0);
  EXPECT_NEAR(t5.Value(16), 0.229275, 1e-6); // 16/31 through the sRGB curve
  for (int k = 1; k < 64; ++k)
    EXPECT_LT(t6.Value(k - 1), t6.Value(k));

  using P = std::pair<int, int>;
  EXPECT_EQ(t5.Enclose(-0.5), (P{0, 0}));
  EXPECT_EQ(t5.Enclose(0.0), (P{0, 0}));
  EXPECT_EQ(t5.Enclose(1.0), (P{31, 31}));
  EXPECT_EQ(t5.Enclose(7.0), (P{31, 31}));
  EXPECT_EQ(t5.Enclose(t5.Value(5)), (P{4, 5}));
  EXPECT_EQ(t5.Enclose((t5.Value(5) + t5.Value(6)) / 2), (P{5, 6}));
  EXPECT_EQ(t6.Enclose(1e-9), (P{0, 1}));
}

TEST(VeGenericEngine, FormatFromModeName) {
  using F = TVeGenericFormat;
  EXPECT_EQ(VeGenericFormat("IBM", "EGA 320x200x4"), (F{320, 200, 4, false}));
  EXPECT_EQ(VeGenericFormat("Amstrad CPC", "0 160x200x4"), (F{160, 200, 4, false}));
  EXPECT_EQ(VeGenericFormat("Sinclair QL", "GD2 32 512x480x16"), (F{512, 480, 16, false}));
  EXPECT_EQ(VeGenericFormat("MSX", "10 256x424x12 Interlaced"), (F{256, 424, 12, false}));
  EXPECT_EQ(VeGenericFormat("X", "256x192 (8x1)"), (F{256, 192, 4, false}));
  EXPECT_EQ(VeGenericFormat("X", "384x256 MX"), (F{384, 256, 4, false}));
  EXPECT_EQ(VeGenericFormat("SymbOS", ""), (F{256, 192, 4, false}));
  EXPECT_EQ(VeGenericFormat("X", "99999999x5"), (F{256, 192, 4, false}));
  EXPECT_EQ(VeGenericFormat("Common", "B/W"), (F{0, 0, 1, true}));
  EXPECT_EQ(VeGenericFormat("Common", "Palette"), (F{0, 0, 8, true}));
}

TEST(VeGenericEngine, OptionsAndPanelFollowTheFormat) {
  TVeGenericEngineClass fixed("IBM", "CGA 320x200x2", 1);
  auto engine = fixed.Create();
  EXPECT_EQ(engine->Class(), &fixed);
  auto options = engine->CreateOptions();
  EXPECT_EQ(options->Width(), 320);
  EXPECT_EQ(options->Height(), 200);
  options->SetWidth(100); // fixed-size modes ignore it
  EXPECT_EQ(options->Width(), 320);
  auto ui = engine->CreateUI(*options);
  EXPECT_FALSE(ui->Has(ciWidth));
  EXPECT_TRUE(ui->Has(ciDitherMethod));

  TVeGenericEngineClass common("Common", "Palette", 1);
  auto e2 = common.Create();
  auto o2 = e2->CreateOptions();
  o2->SetWidth(100);
  EXPECT_EQ(o2->Width(), 100);
  EXPECT_TRUE(e2->CreateUI(*o2)->Has(ciWidth));
}
