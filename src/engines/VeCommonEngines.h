#pragma once
// The platform "Common": three engines that belong to no machine. "B/W" dithers to black
// and white, "Palette" to a generated or chosen palette (optionally reduced by
// quantization), "Original palette" back to the palette stored in the source file. Their
// size follows the source picture and they write no native files.
#include <memory>
#include <string>

#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"

#include "VeRuleCheck.h"

class TVeDestEngineList;

class TVeCustomBWEngineOptions : public TVeDestEngineOptions {
public:
  bool UsesColorDistance() const override { return false; } // a luminance threshold
};

class TVeCustomPaletteEngineOptions : public TVeDestEngineOptions {
public:
  TVeCustomPaletteEngineOptions();
  // Rebuilds the base palette from the palette type: a copy of the chosen list palette, or
  // the generated palette (its grey form with "Use as gray palette"). Does nothing while an
  // update bracket is open.
  void PaletteChanged() override;
};

class TVeCustomOriginalPaletteEngineOptions : public TVeDestEngineOptions {
public:
  TVeCustomOriginalPaletteEngineOptions();
};

class TVeCustomBWEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeCustomBWEngineUI(TVeDestEngineOptions& options);
};

class TVeCustomPaletteEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeCustomPaletteEngineUI(TVeDestEngineOptions& options);
};

class TVeCustomOriginalPaletteEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeCustomOriginalPaletteEngineUI(TVeDestEngineOptions& options);
};

// The three engines. Each provides the class-level operations as static members (see
// TVeDestEngineClassOf).
class TVeCustomBWEngine : public TVeDestEngineOf<TVeCustomBWEngineOptions, TVeCustomBWEngineUI> {
public:
  static std::string PlatformName() { return "Common"; }
  static std::string ModeName() { return "B/W"; }
  static TVeConvertFunction Convert;
  static TVeModeRule ModeRule(const TVeDestEngineOptions& options);
};

class TVeCustomPaletteEngine
    : public TVeDestEngineOf<TVeCustomPaletteEngineOptions, TVeCustomPaletteEngineUI> {
public:
  static std::string PlatformName() { return "Common"; }
  static std::string ModeName() { return "Palette"; }
  static TVeConvertFunction Convert;
  static TVeModeRule ModeRule(const TVeDestEngineOptions& options);
};

class TVeCustomOriginalPaletteEngine : public TVeDestEngineOf<TVeCustomOriginalPaletteEngineOptions,
                                                              TVeCustomOriginalPaletteEngineUI> {
public:
  static std::string PlatformName() { return "Common"; }
  static std::string ModeName() { return "Original palette"; }
  static TVeConvertFunction Convert;
};

// Puts the three engines in place of the catalogue's "Common" entries, in their order.
// Calling it again changes nothing.
void VeRegisterCommonEngines(TVeDestEngineList& list);
