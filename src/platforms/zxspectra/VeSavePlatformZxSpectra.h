#pragma once
// The SPECTRA engines: the eight attribute modes "256x192 (8x1)" .. "256x192 (4x8)", each
// written as the memory image from 4000h with the mode register value ("spa").
#include <memory>
#include <string>

#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"
#include "VeModeTableEngine.h"
#include "VePlatformZxSpectra.h"

class TVeZxSpectraEngineOptions : public TVeModeTableOptions<TVeZxSpectraMode> {
public:
  explicit TVeZxSpectraEngineOptions(const TVeZxSpectraMode& mode);
  int GetCellWidth() const override { return FMode->CellWidth; }
  int GetCellHeight() const override { return FMode->CellHeight; }
  void PaletteChanged() override;
  // Any two of 64 per cell: 2016 pairs, searched only through bounds in Delta RGB.
  bool UsesColorDistance() const override { return FMode->CellWidth != 8; }
};

class TVeZxSpectraEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeZxSpectraEngineUI(TVeDestEngineOptions& options);
};

std::unique_ptr<TVeBitmap> ZxSpectraConvert(const TVeZxSpectraMode& mode,
                                            const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                            std::unique_ptr<TVeStreamList>& files,
                                            TVeDestProgress& progress,
                                            TVeDestEngineOptions& options);

struct TVeZxSpectraFamily {
  using Info = TVeZxSpectraMode;
  using Options = TVeZxSpectraEngineOptions;
  using UI = TVeZxSpectraEngineUI;
  static const char* Platform() { return "ZX Spectrum Spectra"; }
  static const Info& ModeInfo(int index) { return ZxSpectraMode(index); }
  static constexpr auto& Convert = ZxSpectraConvert;
};

class TVeDestEngineList;
void RegisterZxSpectraEngines(TVeDestEngineList& list);
