#pragma once
// The PP01 engine "256x256x3": every pixel one of the eight colours; the file ("pp1") is the
// three planes.
#include <memory>
#include <string>

#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"
#include "VeModeTableEngine.h"

struct TVePp01ModeInfo {
  const char* Mode; // the catalogue's mode name
  int Width, Height;
};
const TVePp01ModeInfo& Pp01ModeInfo(int index);

class TVePp01EngineOptions : public TVeModeTableOptions<TVePp01ModeInfo> {
public:
  explicit TVePp01EngineOptions(const TVePp01ModeInfo& mode);
  void SetPaletteType(TVePaletteType value) override;
  void PaletteChanged() override;
};

class TVePp01EngineUI : public TVeDestEngineUIEx {
public:
  explicit TVePp01EngineUI(TVeDestEngineOptions& options);
};

std::unique_ptr<TVeBitmap> Pp01Convert(const TVePp01ModeInfo& mode, const TVeCancelFlag* cancel,
                                       const TVeBitmap32& source,
                                       std::unique_ptr<TVeStreamList>& files,
                                       TVeDestProgress& progress, TVeDestEngineOptions& options);

struct TVePp01Family {
  using Info = TVePp01ModeInfo;
  using Options = TVePp01EngineOptions;
  using UI = TVePp01EngineUI;
  static const char* Platform() { return "PP01"; }
  static const Info& ModeInfo(int index) { return Pp01ModeInfo(index); }
  static constexpr auto& Convert = Pp01Convert;
};
using TVePp01Engine = TVeModeTableEngine<TVePp01Family, 0>;

class TVeDestEngineList;
void RegisterPp01Engines(TVeDestEngineList& list);
