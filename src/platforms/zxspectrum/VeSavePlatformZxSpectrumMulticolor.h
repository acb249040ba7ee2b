#pragma once
// ZX Spectrum modes that change attributes more often than every eight lines, interlace two
// screens, mix three pixel planes or alternate two monochrome frames:
// "256x192x4 Multicolor 8x1" ("mlt" and "mc" files), "256x192x4 Multicolor 8x2" ("ifl"),
// "256x384x4 Interlaced v1" ("lce"), "256x192x3 Tricolor" ("rgb") and
// "256x192x4 B/W Giga" ("lcm").
#include <memory>
#include <string>

#include "VeSavePlatformZxSpectrum.h"

// "Сolor" with Jarvis, Judice & Ninke and no error limits; attribute cells 8 x 1.
// Black, white and the gray their alternation shows; "Linear" calculation.
class TVeZxSpectrumBWGigascreenEngineOptions : public TVeZxSpectrumColorEngineOptions {
public:
  TVeZxSpectrumBWGigascreenEngineOptions();
  void PaletteChanged() override;
  bool UsesColorDistance() const override { return false; }
};

class TVeZxSpectrumBWGigascreenEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeZxSpectrumBWGigascreenEngineUI(TVeDestEngineOptions& options);
};

class TVeZxSpectrumMultiColor1EngineOptions : public TVeZxSpectrumColorEngineOptions {
public:
  TVeZxSpectrumMultiColor1EngineOptions();
  int GetCellHeight() const override { return 1; }
};

class TVeZxSpectrumMultiColor2EngineOptions : public TVeZxSpectrumMultiColor1EngineOptions {
public:
  int GetCellHeight() const override { return 2; }
};

// Modes "Gray" and "Сolor"; colour usage tied to "Сolor".
class TVeZxSpectrumMultiColorEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeZxSpectrumMultiColorEngineUI(TVeDestEngineOptions& options);
};

// 256 x 384 with tall pixels (1:2) and 8 x 16 cells; its palette is always the full one.
class TVeZxSpectrumInterlacedEngineOptions : public TVeZxSpectrumColorEngineOptions {
public:
  TVeZxSpectrumInterlacedEngineOptions();
  TVeSize GetDefaultSize() const override { return {256, 384}; }
  int GetHeight() const override { return 384; }
  int GetCellHeight() const override { return 16; }
  void PaletteChanged() override;
};

// The standard screen's panel: modes, palette types, colour usage.
class TVeZxSpectrumInterlacedEngineUI : public TVeZxSpectrumColorEngineUI {
public:
  using TVeZxSpectrumColorEngineUI::TVeZxSpectrumColorEngineUI;
};

// No cells; the palette is the eight bright colours.
class TVeZxSpectrumTricolorEngineOptions : public TVeZxSpectrumColorEngineOptions {
public:
  int GetCellWidth() const override { return 1; }
  int GetCellHeight() const override { return 1; }
  void PaletteChanged() override;
};

class TVeZxSpectrumTricolorEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeZxSpectrumTricolorEngineUI(TVeDestEngineOptions& options);
};

class TVeZxSpectrumMultiColor1Engine : public TVeDestEngineOf<TVeZxSpectrumMultiColor1EngineOptions,
                                                              TVeZxSpectrumMultiColorEngineUI>,
                                       public TVeZxCellsEngine<TVeZxSpectrumMultiColor1Engine> {
public:
  static std::string PlatformName() { return "ZX Spectrum"; }
  static std::string ModeName() { return "256x192x4 Multicolor 8x1"; }
  static TVeZxCellsRun Run;
  static TVeModeRule ModeRule(const TVeDestEngineOptions& o) { return ZxSpectrumCellRule(o); }
};

class TVeZxSpectrumMultiColor2Engine : public TVeDestEngineOf<TVeZxSpectrumMultiColor2EngineOptions,
                                                              TVeZxSpectrumMultiColorEngineUI>,
                                       public TVeZxCellsEngine<TVeZxSpectrumMultiColor2Engine> {
public:
  static std::string PlatformName() { return "ZX Spectrum"; }
  static std::string ModeName() { return "256x192x4 Multicolor 8x2"; }
  static TVeZxCellsRun Run;
  static TVeModeRule ModeRule(const TVeDestEngineOptions& o) { return ZxSpectrumCellRule(o); }
};

class TVeZxSpectrumInterlacedEngine
    : public TVeDestEngineOf<TVeZxSpectrumInterlacedEngineOptions, TVeZxSpectrumInterlacedEngineUI>,
      public TVeZxCellsEngine<TVeZxSpectrumInterlacedEngine> {
public:
  static std::string PlatformName() { return "ZX Spectrum"; }
  static std::string ModeName() { return "256x384x4 Interlaced v1"; }
  static TVeZxCellsRun Run;
};

class TVeZxSpectrumTricolorEngine
    : public TVeDestEngineOf<TVeZxSpectrumTricolorEngineOptions, TVeZxSpectrumTricolorEngineUI> {
public:
  static std::string PlatformName() { return "ZX Spectrum"; }
  static std::string ModeName() { return "256x192x3 Tricolor"; }
  static TVeConvertFunction Convert;
};

class TVeZxSpectrumBWGigascreenEngine
    : public TVeDestEngineOf<TVeZxSpectrumBWGigascreenEngineOptions,
                             TVeZxSpectrumBWGigascreenEngineUI> {
public:
  static std::string PlatformName() { return "ZX Spectrum"; }
  static std::string ModeName() { return "256x192x4 B/W Giga"; }
  static TVeConvertFunction Convert;
};

class TVeDestEngineList;
// Puts these engines in place of their catalogue entries.
void RegisterZxSpectrumMulticolorEngines(TVeDestEngineList& list);
