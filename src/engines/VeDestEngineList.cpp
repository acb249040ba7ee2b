#include "VeDestEngineList.h"

#include <algorithm>
#include <mutex>

#include "VeColor.h"
#include "VeGenericEngine.h"
#include "VeCommonEngines.h"
#include "VeSavePlatformMsx.h"
#include "VeSavePlatformZxSpectrum.h"

namespace {

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = (unsigned char)a[i], y = (unsigned char)b[i];
    if (x >= 'A' && x <= 'Z') x = x - 'A' + 'a';
    if (y >= 'A' && y <= 'Z') y = y - 'A' + 'a';
    if (x != y) return false;
  }
  return true;
}

} // namespace

TVeDestEngine::~TVeDestEngine() = default;
TVeDestEngineClass::~TVeDestEngineClass() = default;

int TVeDestSubTypes::IndexOf(const std::string& name) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (SameText(FItems[i].first, name)) return int(i);
  return -1;
}

int TVeDestEngineList::IndexOf(const std::string& name) const {
  for (size_t i = 0; i < FPlatforms.size(); ++i)
    if (SameText(FPlatforms[i].first, name)) return int(i);
  return -1;
}

int TVeDestEngineList::ModeCount() const {
  int n = 0;
  for (auto& p : FPlatforms)
    n += p.second->Count();
  return n;
}

const TVeDestEngineClass* TVeDestEngineList::Register(std::unique_ptr<TVeDestEngineClass> engine) {
  if (!engine) VeInternalError();
  const std::string platform = engine->GetPlatformName();
  const std::string mode = engine->GetModeName();
  // Reserve first, so that no step after taking ownership can fail half-way.
  FClasses.reserve(FClasses.size() + 1);
  const TVeDestEngineClass* result = engine.get();
  for (auto& p : FPlatforms)
    if (p.first == platform) {
      p.second->FItems.reserve(p.second->FItems.size() + 1);
      FClasses.push_back(std::move(engine));
      p.second->Add(mode, result);
      return result;
    }
  auto sub = std::make_unique<TVeDestSubTypes>();
  sub->Add(mode, result);
  FPlatforms.reserve(FPlatforms.size() + 1);
  FClasses.push_back(std::move(engine));
  FPlatforms.emplace_back(platform, std::move(sub));
  return result;
}

const TVeDestEngineClass* TVeDestEngineList::Replace(std::unique_ptr<TVeDestEngineClass> engine) {
  if (!engine) VeInternalError();
  const std::string platform = engine->GetPlatformName();
  const std::string mode = engine->GetModeName();
  for (auto& p : FPlatforms) {
    if (p.first != platform) continue;
    for (auto& item : p.second->FItems)
      if (item.first == mode) {
        FClasses.reserve(FClasses.size() + 1);
        item.second = engine.get();
        FClasses.push_back(std::move(engine));
        return item.second;
      }
  }
  return Register(std::move(engine));
}

const TVeDestEngineClass* TVeDestEngineList::Find(const std::string& platform,
                                                  const std::string& mode, int* platformIndex,
                                                  int* modeIndex) const {
  if (FPlatforms.empty()) return nullptr;
  int p = std::max(IndexOf(platform), 0);
  const TVeDestSubTypes& sub = GetSubTypes(p);
  int m = std::max(sub.IndexOf(mode), 0);
  if (platformIndex) *platformIndex = p;
  if (modeIndex) *modeIndex = m;
  return sub.Count() > 0 ? sub.GetEngineClass(m) : nullptr;
}

const std::vector<TVeCatalogueEntry>& VeCatalogue() {
  static const std::vector<TVeCatalogueEntry> catalogue = {
      {"Common", "B/W", 1},
      {"Common", "Palette", 1},
      {"Common", "Original palette", 1},
      {"Agat", "64x64x4", 2},
      {"Agat", "64x64x8 Gigascreen", 2},
      {"Agat", "128x128x4", 1},
      {"Agat", "128x128x8 Gigascreen", 1},
      {"Agat", "128x128x4 HAM", 1},
      {"Agat", "128x256x4", 1},
      {"Agat", "128x256x8 Gigascreen", 1},
      {"Agat", "256x256x1", 1},
      {"Agat", "256x256x2 Gigascreen", 1},
      {"Agat", "256x256x2", 1},
      {"Agat", "256x256x4 Gigascreen", 1},
      {"Agat", "512x256x1", 1},
      {"Agat", "512x256x2 Gigascreen", 1},
      {"Amstrad CPC", "0 160x200x4", 1},
      {"Amstrad CPC", "0 192x272x4", 1},
      {"Amstrad CPC", "1 320x200x2", 1},
      {"Amstrad CPC", "1 384x272x2", 1},
      {"Amstrad CPC", "2 640x200x1", 1},
      {"Amstrad CPC", "2 768x272x1", 1},
      {"Amstrad CPC", "2 512x256x1", 1},
      {"Amstrad CPC", "B0 192x272x8", 1},
      {"Amstrad CPC", "B1 384x272x4", 1},
      {"ATM Turbo", "320x200x4", 1},
      {"ATM Turbo", "640x200x4", 1},
      {"BBC Micro", "0 640x256x1", 1},
      {"BBC Micro", "1 320x256x2", 1},
      {"BBC Micro", "2 160x256x4", 1},
      {"BBC Micro", "4 320x256x1", 1},
      {"BBC Micro", "5 160x256x2", 1},
      {"BK-0011", "256x256x2", 1},
      {"BK-0011", "256x256x4 Gigascreen", 1},
      {"BK-0011", "512x256x1", 1},
      {"BK-0011", "512x256x2 Gigascreen", 1},
      {"Corvette", "512x256x3", 1},
      {"DVK KCGD", "400x240x4", 1},
      {"Elektronika MC 0515", "320x200x4", 1},
      {"Elektronika MC 0515", "640x200x1", 1},
      {"Elektronika KR-04", "240x224x2 EGA", 1},
      {"Elektronika KR-04", "240x224x4 EGA Gigascreen", 1},
      {"Elektronika KR-04", "240x224x2 BRGB", 1},
      {"Elektronika KR-04", "240x224x4 BRGB Gigascreen", 1},
      {"Elektronika KR-04", "480x224x1", 1},
      {"Elektronika KR-04", "480x224x2 Gigascreen", 1},
      {"IBM", "CGA 320x200x2", 1},
      {"IBM", "CGA 640x200x1", 1},
      {"IBM", "EGA 320x200x4", 1},
      {"IBM", "EGA 640x200x4", 1},
      {"IBM", "EGA 640x350x4", 1},
      {"IBM", "VGA 320x200x8", 1},
      {"IBM", "VGA 640x480x4", 1},
      {"Irisha", "320x200x1", 1},
      {"Irisha", "640x200x1", 1},
      {"Lvov", "200x225x2", 1},
      {"Lvov", "256x256x2", 1},
      {"MSX", "2 256x192x4", 1},
      {"MSX", "3 64x48x4", 1},
      {"MSX", "4 256x192x4", 1},
      {"MSX", "5 256x212x4", 1},
      {"MSX", "5 256x424x4 Interlaced", 1},
      {"MSX", "6 512x212x2", 1},
      {"MSX", "6 512x424x2 Interlaced", 1},
      {"MSX", "7 512x212x4", 1},
      {"MSX", "7 512x424x4 Interlaced", 1},
      {"MSX", "8 256x212x8", 1},
      {"MSX", "8 256x424x8 Interlaced", 1},
      {"MSX", "10 256x212x12", 1},
      {"MSX", "10 256x424x12 Interlaced", 1},
      {"MSX", "12 256x212x15", 1},
      {"MSX", "12 256x424x15 Interlaced", 1},
      {"MSX V9990 VDP", "BP2 256x212x2", 1},
      {"MSX V9990 VDP", "BP4 256x212x4", 1},
      {"MSX V9990 VDP", "BP6 256x212x6", 1},
      {"MSX V9990 VDP", "BD8 256x212x8", 1},
      {"MSX V9990 VDP", "BYJK 256x212x8", 1},
      {"MSX V9990 VDP", "BYUV 256x212x8", 1},
      {"MSX V9990 VDP", "BD16 256x212x16", 1},
      {"Okean-240", "256x256x2", 1},
      {"Okean-240", "256x256x4 Gigascreen", 1},
      {"Okean-240", "512x256x1", 1},
      {"Okean-240", "512x256x2 Gigascreen", 1},
      {"PC8000", "256x192x4", 1},
      {"Pico-8", "128x128x4", 1},
      {"PMD 85", "288x256x2", 1},
      {"PMD 85", "288x256x2 ColorAce", 1},
      {"PP01", "256x256x3", 1},
      {"Profi", "512x240x4", 1},
      {"SAM Coup\xC3\xA9", "3 512x192x2", 1},
      {"SAM Coup\xC3\xA9", "4 256x192x4", 1},
      {"SAM Coup\xC3\xA9", "4 256x384x4 Interlaced", 1},
      {"SAM Coup\xC3\xA9", "4 256x192x4 HAM1/127", 1},
      {"Scorpion GMX", "640x200x4", 1},
      {"Scorpion GMX", "160x200x4", 1},
      {"Sinclair QL", "QL 4 512x256x2", 1},
      {"Sinclair QL", "QL 8 256x256x3", 1},
      {"Sinclair QL", "GD2 16 512x480x8", 1},
      {"Sinclair QL", "GD2 32 512x480x16", 1},
      {"Sinclair QL", "GD2 33 512x480x16", 1},
      {"Specialist", "384x256", 1},
      {"Specialist", "384x256 MX", 1},
      {"SymbOS", "", 1},
      {"TI-99/4A", "9918A 256x192x4", 1},
      {"TI-99/4A", "9918A 64x192x4", 1},
      {"TI-99/4A", "9918A 64x48x4", 4},
      {"TI-99/4A", "9918A 64x48x8 Dual", 4},
      {"TI-99/4A", "F18A 256x192x4", 1},
      {"TI-99/4A", "F18A 256x192x4 Scanline", 1},
      {"TI-99/4A", "V9938 512x192x4 G6", 1},
      {"TI-99/4A", "V9938 512x212x4 G6", 1},
      {"TI-99/4A", "V9938 512x424x4 G6 Interlaced", 1},
      {"TI-99/4A", "V9938 256x192x8 G7", 1},
      {"TI-99/4A", "V9938 256x212x8 G7", 1},
      {"TI-99/4A", "V9938 256x424x8 G7 Interlaced", 1},
      {"Timex", "256x192x4", 1},
      {"Timex", "256x384x4 Interlaced", 1},
      {"Timex", "512x192x1", 1},
      {"Timex", "512x192x2", 1},
      {"UKNC", "640x288x3", 1},
      {"Vector-06C", "256x256x4", 1},
      {"Vector-06C", "256x256x4 HAM1", 1},
      {"Vector-06C", "256x256x4 HAM2", 1},
      {"ZX Spectrum", "256x192x4", 1},
      {"ZX Spectrum", "256x384x4 Interlaced v1", 1},
      {"ZX Spectrum", "256x384x4 Interlaced v2", 1},
      {"ZX Spectrum", "256x192x4 Multicolor 8x1", 1},
      {"ZX Spectrum", "256x192x4 Multicolor 8x2", 1},
      {"ZX Spectrum", "256x192x4 B/W Giga", 1},
      {"ZX Spectrum", "256x192x4 Giga", 1},
      {"ZX Spectrum", "256x192x4 MultiGiga 8x4", 1},
      {"ZX Spectrum", "256x192x4 MultiGiga 8x2", 1},
      {"ZX Spectrum", "256x192x4 MultiGiga 8x1", 1},
      {"ZX Spectrum", "256x192x3 Tricolor", 1},
      {"ZX Spectrum Next", "256x192x8", 1},
      {"ZX Spectrum Spectra", "256x192 (8x1)", 1},
      {"ZX Spectrum Spectra", "256x192 (8x2)", 1},
      {"ZX Spectrum Spectra", "256x192 (8x4)", 1},
      {"ZX Spectrum Spectra", "256x192 (8x8)", 1},
      {"ZX Spectrum Spectra", "256x192 (4x1)", 1},
      {"ZX Spectrum Spectra", "256x192 (4x2)", 1},
      {"ZX Spectrum Spectra", "256x192 (4x4)", 1},
      {"ZX Spectrum Spectra", "256x192 (4x8)", 1},
      {"ZX Spectrum UlaPlus", "256x192x8 (8x8)", 1},
      {"ZX Spectrum UlaPlus", "256x192x8 (8x1)", 1},
  };
  return catalogue;
}

namespace {
struct TRegistry {
  std::once_flag CatalogueOnce;
  std::once_flag PlatformsOnce;
  TVeDestEngineList List;
};
TRegistry& Registry() {
  static TRegistry registry;
  return registry;
}

// The catalogue with a generic engine behind every entry.
TVeDestEngineList& CatalogueList() {
  TRegistry& r = Registry();
  std::call_once(r.CatalogueOnce, [&r] {
    for (const TVeCatalogueEntry& e : VeCatalogue())
      r.List.Register(std::make_unique<TVeGenericEngineClass>(e.Platform, e.Mode, e.DisplayScale));
  });
  return r.List;
}

// Platform units with real engines put them in place of the generic entries, in catalogue
// order. They register through ReplaceDestEngine, which only needs the catalogue, so this
// never re-enters itself.
void RegisterPlatformEngines() {
  VeRegisterCommonEngines();
  RegisterMsxEngines();
  RegisterZxSpectrumEngines();
}
} // namespace

TVeDestEngineList& DestEngineList() {
  TVeDestEngineList& list = CatalogueList();
  std::call_once(Registry().PlatformsOnce, RegisterPlatformEngines);
  return list;
}

const TVeDestEngineClass* RegisterDestEngine(std::unique_ptr<TVeDestEngineClass> engine) {
  return CatalogueList().Register(std::move(engine));
}

const TVeDestEngineClass* ReplaceDestEngine(std::unique_ptr<TVeDestEngineClass> engine) {
  return CatalogueList().Replace(std::move(engine));
}

// ---------------------------------------------------------------------------------------------

TVeLinearLevels::TVeLinearLevels(int bits) {
  const int n = 1 << bits;
  FValues.resize(size_t(n));
  for (int k = 0; k < n; ++k)
    FValues[size_t(k)] = SRGBToLinear(double(k) / (n - 1));
}

std::pair<int, int> TVeLinearLevels::Enclose(double v) const {
  const int last = Count() - 1;
  if (!(v > 0)) return {0, 0}; // also NaN
  if (v >= 1) return {last, last};
  // First interval with value[k] <= v <= value[k + 1].
  auto it = std::lower_bound(FValues.begin(), FValues.end(), v);
  int hi = int(it - FValues.begin());
  if (hi > last) return {last, last};
  if (hi == 0) return {0, 0};
  return {hi - 1, hi};
}

const TVeLinearLevels& VeLinear5() {
  static const TVeLinearLevels table(5);
  return table;
}

const TVeLinearLevels& VeLinear6() {
  static const TVeLinearLevels table(6);
  return table;
}
