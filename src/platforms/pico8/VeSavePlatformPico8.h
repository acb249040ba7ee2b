#pragma once
// The Pico-8 engine "128x128x4": 16 colours of the base set, of the further set, or any 16
// of the 32, dithered and written as a ".p8" cartridge.
#include <memory>
#include <string>

#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"
#include "VeRuleCheck.h"

// Palette numbers: which colours the slots may show.
enum : int { pico8Base = 0, pico8Extra = 1, pico8Any = 2 };

class TVePico8EngineOptions : public TVeSizedOptions<TVeDestFixedSizeEngineOptions, 128, 128> {
public:
  TVePico8EngineOptions();
  void PaletteChanged() override;
};

class TVePico8EngineUI : public TVeDestEngineUIEx {
public:
  explicit TVePico8EngineUI(TVeDestEngineOptions& options);
};

class TVePico8Engine : public TVeDestEngineOf<TVePico8EngineOptions, TVePico8EngineUI> {
public:
  static std::string PlatformName() { return "Pico-8"; }
  static std::string ModeName() { return "128x128x4"; }
  static TVeConvertFunction Convert;
  static TVeModeRule ModeRule(const TVeDestEngineOptions& options);
};

class TVeDestEngineList;
void RegisterPico8Engines(TVeDestEngineList& list);
