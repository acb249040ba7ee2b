#pragma once
// The UKNC engine "640x288x3": eight of the 16 colours on every line, each line's eight
// chosen for it; the file ("ukn") is the three planes and the line palettes.
#include <memory>
#include <string>

#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"
#include "VeModeTableEngine.h"

struct TVeUkncModeInfo {
  const char* Mode; // the catalogue's mode name
  int Width, Height;
};
const TVeUkncModeInfo& UkncModeInfo(int index);

class TVeUkncEngineOptions : public TVeModeTableOptions<TVeUkncModeInfo> {
public:
  explicit TVeUkncEngineOptions(const TVeUkncModeInfo& mode);
  bool UsesColorDistance() const override { return false; }
  void PaletteChanged() override;
};

class TVeUkncEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeUkncEngineUI(TVeDestEngineOptions& options);
};

std::unique_ptr<TVeBitmap> UkncConvert(const TVeUkncModeInfo& mode, const TVeCancelFlag* cancel,
                                       const TVeBitmap32& source,
                                       std::unique_ptr<TVeStreamList>& files,
                                       TVeDestProgress& progress, TVeDestEngineOptions& options);

struct TVeUkncFamily {
  using Info = TVeUkncModeInfo;
  using Options = TVeUkncEngineOptions;
  using UI = TVeUkncEngineUI;
  static const char* Platform() { return "UKNC"; }
  static const Info& ModeInfo(int index) { return UkncModeInfo(index); }
  static constexpr auto& Convert = UkncConvert;
};
using TVeUkncEngine = TVeModeTableEngine<TVeUkncFamily, 0>;

class TVeDestEngineList;
void RegisterUkncEngines(TVeDestEngineList& list);
