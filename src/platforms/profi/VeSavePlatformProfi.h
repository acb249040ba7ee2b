#pragma once
// The Profi engine: "512x240x4", an ink and a paper of the Spectrum's 16 colours per 8 x 1
// cell, written as the pixel and attribute pages ("prf").
#include <memory>
#include <string>

#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"
#include "VeModeTableEngine.h"

struct TVeProfiModeInfo {
  const char* Mode; // the catalogue's mode name
  int Width, Height;
};
const TVeProfiModeInfo& ProfiModeInfo(int index);

class TVeProfiEngineOptions : public TVeModeTableOptions<TVeProfiModeInfo> {
public:
  explicit TVeProfiEngineOptions(const TVeProfiModeInfo& mode);
  int GetCellWidth() const override { return 8; }
  int GetCellHeight() const override { return 1; }
  void SetPaletteType(TVePaletteType value) override;
  void PaletteChanged() override;
};

class TVeProfiEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeProfiEngineUI(TVeDestEngineOptions& options);
};

std::unique_ptr<TVeBitmap> ProfiConvert(const TVeProfiModeInfo& mode, const TVeCancelFlag* cancel,
                                        const TVeBitmap32& source,
                                        std::unique_ptr<TVeStreamList>& files,
                                        TVeDestProgress& progress, TVeDestEngineOptions& options);

struct TVeProfiFamily {
  using Info = TVeProfiModeInfo;
  using Options = TVeProfiEngineOptions;
  using UI = TVeProfiEngineUI;
  static const char* Platform() { return "Profi"; }
  static const Info& ModeInfo(int index) { return ProfiModeInfo(index); }
  static constexpr auto& Convert = ProfiConvert;
};
using TVeProfiEngine = TVeModeTableEngine<TVeProfiFamily, 0>;

class TVeDestEngineList;
void RegisterProfiEngines(TVeDestEngineList& list);
