#pragma once
// "ZX Spectrum UlaPlus": "256x192x8 (8x8)" writes the standard screen with ULA+ attributes and
// the 64 colour table bytes (6976 bytes); "256x192x8 (8x1)" the Timex hi-colour layout with
// one attribute per 8 x 1 cell (12352 bytes). Modes "Gray", "Color (17 from 256, fast)",
// "Color (64 from 256, slow)" and "Custom".
#include <memory>
#include <string>

#include "zxspectrum/VeSavePlatformZxSpectrum.h"

constexpr uint8_t ulaModeGray = 1;
constexpr uint8_t ulaModeColor17 = 8;
constexpr uint8_t ulaModeColor64 = 9;
constexpr uint8_t ulaModeCustom = 16;
constexpr uint32_t ULAPlusModeMask =
    1u << ulaModeGray | 1u << ulaModeColor17 | 1u << ulaModeColor64 | 1u << ulaModeCustom;

// "v1.1", "Color (17 from 256, fast)", 80 % diffusion. The palette shown before a conversion
// is the 256-colour palette (its grays in "Gray" unless the type is "v1.1 (Gray)"); the base
// palette keeps the 256 colours for the modes that pick from them freely.
class TVeULAPlusEngineOptions : public TVeZxSpectrumEngineOptions {
public:
  TVeULAPlusEngineOptions();
  void SetPaletteType(TVePaletteType value) override;
  void SetPaletteMode(uint8_t value) override;
  void PaletteChanged() override;
};

// Jarvis, Judice & Ninke and no error limits; one attribute per pixel line.
class TVeULAPlusTimexEngineOptions : public TVeULAPlusEngineOptions {
public:
  TVeULAPlusTimexEngineOptions();
  int GetCellHeight() const override { return 1; }
};

class TVeULAPlusEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeULAPlusEngineUI(TVeDestEngineOptions& options);
};

class TVeULAPlusEngine : public TVeDestEngineOf<TVeULAPlusEngineOptions, TVeULAPlusEngineUI> {
public:
  static std::string PlatformName() { return "ZX Spectrum UlaPlus"; }
  static std::string ModeName() { return "256x192x8 (8x8)"; }
  static TVeConvertFunction Convert;
};

class TVeULAPlusTimexEngine
    : public TVeDestEngineOf<TVeULAPlusTimexEngineOptions, TVeULAPlusEngineUI> {
public:
  static std::string PlatformName() { return "ZX Spectrum UlaPlus"; }
  static std::string ModeName() { return "256x192x8 (8x1)"; }
  static TVeConvertFunction Convert;
};

class TVeDestEngineList;
void RegisterZxSpectrumUlaPlusEngines(TVeDestEngineList& list);
