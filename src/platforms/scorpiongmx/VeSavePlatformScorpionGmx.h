#pragma once
// The Scorpion GMX engines: "640x200x4" (Spectrum attributes on 8 x 1 cells) and "160x200x4"
// (the same screen with every pixel half a byte wide, so a cell's two pixels take its ink and
// paper freely). Both write the pixel and attribute bytes ("gmx").
#include <memory>
#include <string>

#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"
#include "VeModeTableEngine.h"

struct TVeGmxModeInfo {
  const char* Mode; // the catalogue's mode name
  bool Fat;         // 160 pixels of four bits
  int Width, Height;
};
const TVeGmxModeInfo& GmxModeInfo(int index);

class TVeGmxEngineOptions : public TVeModeTableOptions<TVeGmxModeInfo> {
public:
  explicit TVeGmxEngineOptions(const TVeGmxModeInfo& mode);
  int GetCellWidth() const override { return FMode->Fat ? 2 : 8; }
  int GetCellHeight() const override { return 1; }
  void SetPaletteType(TVePaletteType value) override;
  void PaletteChanged() override;
};

class TVeGmxEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeGmxEngineUI(TVeDestEngineOptions& options);
};

std::unique_ptr<TVeBitmap> GmxConvert(const TVeGmxModeInfo& mode, const TVeCancelFlag* cancel,
                                      const TVeBitmap32& source,
                                      std::unique_ptr<TVeStreamList>& files,
                                      TVeDestProgress& progress, TVeDestEngineOptions& options);

struct TVeGmxFamily {
  using Info = TVeGmxModeInfo;
  using Options = TVeGmxEngineOptions;
  using UI = TVeGmxEngineUI;
  static const char* Platform() { return "Scorpion GMX"; }
  static const Info& ModeInfo(int index) { return GmxModeInfo(index); }
  static constexpr auto& Convert = GmxConvert;
};
using TVeGmxEngine = TVeModeTableEngine<TVeGmxFamily, 0>;
using TVeGmxFatEngine = TVeModeTableEngine<TVeGmxFamily, 1>;

class TVeDestEngineList;
void RegisterScorpionGmxEngines(TVeDestEngineList& list);
