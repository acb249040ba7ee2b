#pragma once
// "256x192x4 Giga": two standard screens on alternate frames ("img", and the same with the
// MG header as "mg8"), cells chosen among mixes of ZX colours and re-encoded for low flicker.
#include <memory>
#include <string>

#include "VeSavePlatformZxSpectrum.h"

// "Linear" palette and calculation, "Сolor", no flicker limit; the palette shown is the
// mixed palette with each unordered pair once.
class TVeZxSpectrumGigascreenEngineOptions : public TVeZxSpectrumColorEngineOptions {
public:
  TVeZxSpectrumGigascreenEngineOptions();
  void PaletteChanged() override;
  // The mixed palette for conversion (display false) or for the panel (display true).
  void BuildMixedPalette(bool display);
};

class TVeZxSpectrumGigascreenEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeZxSpectrumGigascreenEngineUI(TVeDestEngineOptions& options);
};

class TVeZxSpectrumGigascreenEngine : public TVeDestEngineOf<TVeZxSpectrumGigascreenEngineOptions,
                                                             TVeZxSpectrumGigascreenEngineUI> {
public:
  static std::string PlatformName() { return "ZX Spectrum"; }
  static std::string ModeName() { return "256x192x4 Giga"; }
  static TVeConvertFunction Convert;
};

// The MultiGiga modes: attribute cells 8 x 4 and 8 x 2, written only as "mg4" / "mg2".
class TVeZxSpectrumMultiGigascreen4EngineOptions : public TVeZxSpectrumGigascreenEngineOptions {
public:
  int GetCellHeight() const override { return 4; }
};
class TVeZxSpectrumMultiGigascreen2EngineOptions : public TVeZxSpectrumGigascreenEngineOptions {
public:
  int GetCellHeight() const override { return 2; }
};

class TVeZxSpectrumMultiGigascreen4Engine
    : public TVeDestEngineOf<TVeZxSpectrumMultiGigascreen4EngineOptions,
                             TVeZxSpectrumGigascreenEngineUI> {
public:
  static std::string PlatformName() { return "ZX Spectrum"; }
  static std::string ModeName() { return "256x192x4 MultiGiga 8x4"; }
  static TVeConvertFunction Convert;
};

class TVeZxSpectrumMultiGigascreen2Engine
    : public TVeDestEngineOf<TVeZxSpectrumMultiGigascreen2EngineOptions,
                             TVeZxSpectrumGigascreenEngineUI> {
public:
  static std::string PlatformName() { return "ZX Spectrum"; }
  static std::string ModeName() { return "256x192x4 MultiGiga 8x2"; }
  static TVeConvertFunction Convert;
};

class TVeDestEngineList;
void RegisterZxSpectrumGigascreenEngines(TVeDestEngineList& list);
