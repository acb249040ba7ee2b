#pragma once
// The Irisha engines: "320x200x1" (the ink and paper pair of the colour port that suits the
// picture, "ir3") and "640x200x1" (black and white, "ir6").
#include <memory>
#include <string>

#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"
#include "VeModeTableEngine.h"

struct TVeIrishaModeInfo {
  const char* Mode; // the catalogue's mode name
  bool HighRes;
  int Width, Height;
  uint8_t Aspect;
};
// Modes by catalogue position 0..1.
const TVeIrishaModeInfo& IrishaModeInfo(int index);

class TVeIrishaEngineOptions : public TVeModeTableOptions<TVeIrishaModeInfo> {
public:
  explicit TVeIrishaEngineOptions(const TVeIrishaModeInfo& mode);
  int GetCellWidth() const override { return FMode->HighRes ? 1 : FMode->Width; }
  int GetCellHeight() const override { return FMode->HighRes ? 1 : FMode->Height; }
  void PaletteChanged() override;
};

class TVeIrishaEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeIrishaEngineUI(TVeDestEngineOptions& options);
};

std::unique_ptr<TVeBitmap> IrishaConvert(const TVeIrishaModeInfo& mode, const TVeCancelFlag* cancel,
                                         const TVeBitmap32& source,
                                         std::unique_ptr<TVeStreamList>& files,
                                         TVeDestProgress& progress, TVeDestEngineOptions& options);

struct TVeIrishaFamily {
  using Info = TVeIrishaModeInfo;
  using Options = TVeIrishaEngineOptions;
  using UI = TVeIrishaEngineUI;
  static const char* Platform() { return "Irisha"; }
  static const Info& ModeInfo(int index) { return IrishaModeInfo(index); }
  static constexpr auto& Convert = IrishaConvert;
};
template <int I> using TVeIrishaEngineT = TVeModeTableEngine<TVeIrishaFamily, I>;

using TVeIrishaEngine = TVeIrishaEngineT<0>;
using TVeIrishaHighResEngine = TVeIrishaEngineT<1>;

class TVeDestEngineList;
void RegisterIrishaEngines(TVeDestEngineList& list);
