#pragma once
// The ZX Spectrum Next engine "256x192x8": Layer 2 in up to 256 colours chosen from the 510
// nine-bit colours that are not transparent, written as ".nxi" (palette and pixels) and as
// ".sl2" (pixels) with its ".nxp" palette beside it.
#include <memory>
#include <string>

#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"
#include "VeRuleCheck.h"

class TVeZxSpectrumNextEngineOptions
    : public TVeSizedOptions<TVeDestFixedSizeEngineOptions, 256, 192> {
public:
  TVeZxSpectrumNextEngineOptions();
};

class TVeZxSpectrumNextEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeZxSpectrumNextEngineUI(TVeDestEngineOptions& options);
};

class TVeZxSpectrumNextEngine
    : public TVeDestEngineOf<TVeZxSpectrumNextEngineOptions, TVeZxSpectrumNextEngineUI> {
public:
  static std::string PlatformName() { return "ZX Spectrum Next"; }
  static std::string ModeName() { return "256x192x8"; }
  static TVeConvertFunction Convert;
  static TVeModeRule ModeRule(const TVeDestEngineOptions& options);
};

// The palette index of each chosen nine-bit colour: its RRRGGGBB value where that index is
// free, so that the screen alone, under the palette after reset, still shows nearly the
// right colours; the rest take the free indices, the transparent index last.
void NextAssignIndices(const int* nine, int count, int* index);

class TVeDestEngineList;
void RegisterZxSpectrumNextEngines(TVeDestEngineList& list);
