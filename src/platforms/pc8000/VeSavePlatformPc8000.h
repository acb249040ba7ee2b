#pragma once
// The PC8000 (PK-8000) engine: "256x192x4", an ink and a paper of 16 colours per 8 x 1 cell,
// written as the video bank with an identity name table ("pk8").
#include <memory>
#include <string>

#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"
#include "VeModeTableEngine.h"

struct TVePc8000ModeInfo {
  const char* Mode; // the catalogue's mode name
  int Width, Height;
};
const TVePc8000ModeInfo& Pc8000ModeInfo(int index);

class TVePc8000EngineOptions : public TVeModeTableOptions<TVePc8000ModeInfo> {
public:
  explicit TVePc8000EngineOptions(const TVePc8000ModeInfo& mode);
  int GetCellWidth() const override { return 8; }
  int GetCellHeight() const override { return 1; }
  void PaletteChanged() override;
};

class TVePc8000EngineUI : public TVeDestEngineUIEx {
public:
  explicit TVePc8000EngineUI(TVeDestEngineOptions& options);
};

std::unique_ptr<TVeBitmap> Pc8000Convert(const TVePc8000ModeInfo& mode, const TVeCancelFlag* cancel,
                                         const TVeBitmap32& source,
                                         std::unique_ptr<TVeStreamList>& files,
                                         TVeDestProgress& progress, TVeDestEngineOptions& options);

struct TVePc8000Family {
  using Info = TVePc8000ModeInfo;
  using Options = TVePc8000EngineOptions;
  using UI = TVePc8000EngineUI;
  static const char* Platform() { return "PC8000"; }
  static const Info& ModeInfo(int index) { return Pc8000ModeInfo(index); }
  static constexpr auto& Convert = Pc8000Convert;
};
using TVePc8000Engine = TVeModeTableEngine<TVePc8000Family, 0>;

class TVeDestEngineList;
void RegisterPc8000Engines(TVeDestEngineList& list);
