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
  // Hundreds of mixed candidates per cell are searched only through bounds in Delta RGB; by
  // a perceptual distance one picture would take seconds.
  bool UsesColorDistance() const override { return false; }
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

// MultiGiga 8x1: 8 x 1 attributes in the middle columns, 8 x 8 at the sides ("mg1").
class TVeZxSpectrumMultiGigascreen1EngineOptions : public TVeZxSpectrumGigascreenEngineOptions {
public:
  TVeZxSpectrumMultiGigascreen1EngineOptions();
  int GetCellHeight() const override { return 1; }
};

// Interlaced v2: 256 x 192 cells of 8 x 8, "Linear", no flicker limit; the palette shown is
// the 16 colours.
class TVeZxSpectrumGigaInterlacedEngineOptions : public TVeZxSpectrumColorEngineOptions {
public:
  TVeZxSpectrumGigaInterlacedEngineOptions();
  void PaletteChanged() override;
  bool UsesColorDistance() const override { return false; } // as the gigascreen
};

// Palette types, "Gray" and "Сolor", the 16 colours, colour usage without the forced bright
// bit, and "St&yle:".
class TVeZxSpectrumGigaInterlacedEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeZxSpectrumGigaInterlacedEngineUI(TVeDestEngineOptions& options);
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

class TVeZxSpectrumMultiGigascreen1Engine
    : public TVeDestEngineOf<TVeZxSpectrumMultiGigascreen1EngineOptions,
                             TVeZxSpectrumGigascreenEngineUI> {
public:
  static std::string PlatformName() { return "ZX Spectrum"; }
  static std::string ModeName() { return "256x192x4 MultiGiga 8x1"; }
  static TVeConvertFunction Convert;
};

// The two frames of the gigascreen conversion as the even and odd lines of a 256 x 384
// picture ("lce"); the result is that picture widened to 512 x 384.
class TVeZxSpectrumGigaInterlacedEngine1
    : public TVeDestEngineOf<TVeZxSpectrumGigaInterlacedEngineOptions,
                             TVeZxSpectrumGigaInterlacedEngineUI> {
public:
  static std::string PlatformName() { return "ZX Spectrum"; }
  static std::string ModeName() { return "256x384x4 Interlaced v2"; }
  static TVeConvertFunction Convert;
};

class TVeDestEngineList;
void RegisterZxSpectrumGigascreenEngines(TVeDestEngineList& list);
