#pragma once
// ZX Spectrum modes that change attributes more often than every eight lines, interlace two
// screens, or mix three pixel planes: "256x192x4 Multicolor 8x1" ("mlt" and "mc" files),
// "256x192x4 Multicolor 8x2" ("ifl"), "256x384x4 Interlaced v1" ("lce") and
// "256x192x3 Tricolor" ("rgb").
#include <memory>
#include <string>

#include "VeSavePlatformZxSpectrum.h"

// "Сolor" with Jarvis, Judice & Ninke and no error limits; attribute cells 8 x 1.
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

class TVeZxSpectrumInterlacedEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeZxSpectrumInterlacedEngineUI(TVeDestEngineOptions& options);
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

#define VE_ZX_ENGINE_DECLARATION(Class, Mode)                                                      \
  class Class : public TVeDestEngine {                                                             \
  public:                                                                                          \
    static std::string PlatformName() { return "ZX Spectrum"; }                                    \
    static std::string ModeName() { return Mode; }                                                 \
    std::unique_ptr<TVeDestEngineUI> CreateUI(TVeDestEngineOptions& options) const override;       \
    std::unique_ptr<TVeDestEngineOptions> CreateOptions() const override;                          \
    static std::unique_ptr<TVeBitmap>                                                              \
    Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,                                \
            std::unique_ptr<TVeStreamList>& files, TVeDestProgress& progress,                      \
            TVeDestEngineOptions& options, const TVePalette256* usedColors,                        \
            const TVePalette256* sourcePalette);                                                   \
  };

VE_ZX_ENGINE_DECLARATION(TVeZxSpectrumMultiColor1Engine, "256x192x4 Multicolor 8x1")
VE_ZX_ENGINE_DECLARATION(TVeZxSpectrumMultiColor2Engine, "256x192x4 Multicolor 8x2")
VE_ZX_ENGINE_DECLARATION(TVeZxSpectrumInterlacedEngine, "256x384x4 Interlaced v1")
VE_ZX_ENGINE_DECLARATION(TVeZxSpectrumTricolorEngine, "256x192x3 Tricolor")

#undef VE_ZX_ENGINE_DECLARATION

class TVeDestEngineList;
// Puts these engines in place of their catalogue entries.
void RegisterZxSpectrumMulticolorEngines(TVeDestEngineList& list);
void RegisterZxSpectrumMulticolorEngines();
