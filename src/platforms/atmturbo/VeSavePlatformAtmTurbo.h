#pragma once
// The ATM Turbo engines: "320x200x4" (every pixel any of 16 entries) and "640x200x4" (an ink
// and a paper of the 16 per 8 x 1 cell), the entries chosen of 64 colours. Both write pages
// 1 and 5 with the palette ("ate", "ath").
#include <memory>
#include <string>

#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"
#include "VeModeTableEngine.h"

struct TVeAtmModeInfo {
  const char* Mode; // the catalogue's mode name
  bool HiRes;
  int Width, Height;
};
const TVeAtmModeInfo& AtmModeInfo(int index);

class TVeAtmEngineOptions : public TVeModeTableOptions<TVeAtmModeInfo> {
public:
  explicit TVeAtmEngineOptions(const TVeAtmModeInfo& mode);
  int GetCellWidth() const override { return FMode->HiRes ? 8 : 1; }
  int GetCellHeight() const override { return 1; }
  void PaletteChanged() override;
};

class TVeAtmEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeAtmEngineUI(TVeDestEngineOptions& options);
};

std::unique_ptr<TVeBitmap> AtmConvert(const TVeAtmModeInfo& mode, const TVeCancelFlag* cancel,
                                      const TVeBitmap32& source,
                                      std::unique_ptr<TVeStreamList>& files,
                                      TVeDestProgress& progress, TVeDestEngineOptions& options);

struct TVeAtmFamily {
  using Info = TVeAtmModeInfo;
  using Options = TVeAtmEngineOptions;
  using UI = TVeAtmEngineUI;
  static const char* Platform() { return "ATM Turbo"; }
  static const Info& ModeInfo(int index) { return AtmModeInfo(index); }
  static constexpr auto& Convert = AtmConvert;
};
using TVeAtmEgaEngine = TVeModeTableEngine<TVeAtmFamily, 0>;
using TVeAtmHiResEngine = TVeModeTableEngine<TVeAtmFamily, 1>;

class TVeDestEngineList;
void RegisterAtmTurboEngines(TVeDestEngineList& list);
