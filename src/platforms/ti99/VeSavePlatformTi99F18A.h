#pragma once
// The F18A bitmap modes of the TI-99/4A: the TMS9918A's two colours per 8 x 1 line, but the
// sixteen colours are palette registers of 12 bits, chosen for the whole picture or, with
// the GPU rewriting them every scanline, for every line. Saved as raw video memory dumps.
#include <memory>
#include <string>

#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"
#include "VeSavePlatformTi99.h"

// The palette types: the registers chosen for the picture ("Custom", any 15 of the 4096
// colours beside the transparent 0) or left at their power-on values.
constexpr TVePaletteType ptF18ACustom = ptOptimized;
constexpr TVePaletteType ptF18APowerOn = ptFixed;

class TVeF18AEngineOptions : public TVeDestFixedSizeEngineOptions {
public:
  TVeF18AEngineOptions();
  TVeSize GetDefaultSize() const override { return {256, 192}; }
  int GetWidth() const override { return 256; }
  int GetHeight() const override { return 192; }
  int GetCellWidth() const override { return 8; }
  int GetCellHeight() const override { return 1; }
  void SetPaletteType(TVePaletteType value) override;
  void PaletteChanged() override;
};

class TVeF18AEngineUI : public TVeDestEngineUIEx {
public:
  // scanline: the registers change every line, so there is no palette to choose or show.
  TVeF18AEngineUI(TVeDestEngineOptions& options, bool scanline);
};

class TVeF18ABitmapEngineUI : public TVeF18AEngineUI {
public:
  explicit TVeF18ABitmapEngineUI(TVeDestEngineOptions& options) : TVeF18AEngineUI(options, false) {}
};

class TVeF18ABitmapEngine : public TVeDestEngineOf<TVeF18AEngineOptions, TVeF18ABitmapEngineUI> {
public:
  static std::string PlatformName() { return "TI-99/4A"; }
  static std::string ModeName() { return "F18A 256x192x4"; }
  static std::unique_ptr<TVeBitmap> Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                            std::unique_ptr<TVeStreamList>& files,
                                            TVeDestProgress& progress,
                                            TVeDestEngineOptions& options, const TVePalette256*,
                                            const TVePalette256*);
};

class TVeF18AScanlineEngineUI : public TVeF18AEngineUI {
public:
  explicit TVeF18AScanlineEngineUI(TVeDestEngineOptions& options)
      : TVeF18AEngineUI(options, true) {}
};

class TVeF18AScanlineEngine
    : public TVeDestEngineOf<TVeF18AEngineOptions, TVeF18AScanlineEngineUI> {
public:
  static std::string PlatformName() { return "TI-99/4A"; }
  static std::string ModeName() { return "F18A 256x192x4 Scanline"; }
  // The preview holds true colours; no single palette stands for it.
  static std::unique_ptr<TVeBitmap> Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                            std::unique_ptr<TVeStreamList>& files,
                                            TVeDestProgress& progress,
                                            TVeDestEngineOptions& options, const TVePalette256*,
                                            const TVePalette256*);
};
