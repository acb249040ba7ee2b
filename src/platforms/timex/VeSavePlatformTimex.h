#pragma once
// The Timex engines: "256x192x4" (8 x 1 high colour, 12288-byte "scr"), "256x384x4 Interlaced"
// (the two display files alternating, "lce") and "512x192x1" (high resolution, 12289-byte
// "scr" with the port FF byte). "512x192x2" keeps its placeholder.
#include <memory>
#include <string>

#include "zxspectrum/VeSavePlatformZxSpectrumMulticolor.h"

// The Spectrum's 8 x 1 multicolour options: Jarvis, Judice & Ninke without error limits.
class TVeTimexHiColorEngineOptions : public TVeZxSpectrumMultiColor1EngineOptions {};

// "Gray" and "Сolor", the Spectrum palette types, colour usage.
class TVeTimexHiColorEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeTimexHiColorEngineUI(TVeDestEngineOptions& options);
};

// 512 x 192 with pixels twice as high as wide; the palette is the Spectrum's.
class TVeTimexHiResEngineOptions : public TVeZxSpectrumColorEngineOptions {
public:
  TVeTimexHiResEngineOptions();
  TVeSize GetDefaultSize() const override { return {512, 192}; }
  int GetWidth() const override { return 512; }
  int GetHeight() const override { return 192; }
  int GetCellWidth() const override { return 1; }
  int GetCellHeight() const override { return 1; }
  void PaletteChanged() override;
};

// "Black/white" and "Сolor", the Spectrum palette types.
class TVeTimexHiResEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeTimexHiResEngineUI(TVeDestEngineOptions& options);
};

class TVeTimexHiColorEngine
    : public TVeDestEngineOf<TVeTimexHiColorEngineOptions, TVeTimexHiColorEngineUI>,
      public TVeZxCellsEngine<TVeTimexHiColorEngine> {
public:
  static std::string PlatformName() { return "Timex"; }
  static std::string ModeName() { return "256x192x4"; }
  static TVeZxCellsRun Run;
  static TVeModeRule ModeRule(const TVeDestEngineOptions& o) { return ZxSpectrumCellRule(o); }
};

class TVeTimexInterlacedEngine : public TVeDestEngineOf<TVeZxSpectrumInterlacedEngineOptions,
                                                        TVeZxSpectrumInterlacedEngineUI> {
public:
  static std::string PlatformName() { return "Timex"; }
  static std::string ModeName() { return "256x384x4 Interlaced"; }
  static TVeConvertFunction Convert;
};

class TVeTimexHiResEngine
    : public TVeDestEngineOf<TVeTimexHiResEngineOptions, TVeTimexHiResEngineUI> {
public:
  static std::string PlatformName() { return "Timex"; }
  static std::string ModeName() { return "512x192x1"; }
  static TVeConvertFunction Convert;
};

class TVeDestEngineList;
void RegisterTimexEngines(TVeDestEngineList& list);
