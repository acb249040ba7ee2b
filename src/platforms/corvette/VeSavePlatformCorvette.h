#pragma once
// The Corvette engine "512x256x3": eight of the 16 colours in the lookup table; the file
// ("kor") is the three planes and the eight lookup bytes.
#include <memory>
#include <string>

#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"
#include "VeModeTableEngine.h"

struct TVeCorvetteModeInfo {
  const char* Mode; // the catalogue's mode name
  int Width, Height;
};
const TVeCorvetteModeInfo& CorvetteModeInfo(int index);

class TVeCorvetteEngineOptions : public TVeModeTableOptions<TVeCorvetteModeInfo> {
public:
  explicit TVeCorvetteEngineOptions(const TVeCorvetteModeInfo& mode);
  void PaletteChanged() override;
};

class TVeCorvetteEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeCorvetteEngineUI(TVeDestEngineOptions& options);
};

std::unique_ptr<TVeBitmap> CorvetteConvert(const TVeCorvetteModeInfo& mode,
                                           const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                           std::unique_ptr<TVeStreamList>& files,
                                           TVeDestProgress& progress,
                                           TVeDestEngineOptions& options);

struct TVeCorvetteFamily {
  using Info = TVeCorvetteModeInfo;
  using Options = TVeCorvetteEngineOptions;
  using UI = TVeCorvetteEngineUI;
  static const char* Platform() { return "Corvette"; }
  static const Info& ModeInfo(int index) { return CorvetteModeInfo(index); }
  static constexpr auto& Convert = CorvetteConvert;
};
using TVeCorvetteEngine = TVeModeTableEngine<TVeCorvetteFamily, 0>;

class TVeDestEngineList;
void RegisterCorvetteEngines(TVeDestEngineList& list);
