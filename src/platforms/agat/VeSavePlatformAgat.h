#pragma once
// The Agat engines. Single-page modes: "64x64x4", "128x128x4" and "128x256x4" in the 16
// colours, "256x256x2" in the four colours of the palette number that suits the picture,
// "256x256x1" and "512x256x1" in its paper and ink. The Gigascreen modes show two pages of
// those on alternate frames. Each writes one video-RAM file holding its page or pages.
// "128x128x4 HAM" stays a preview with its reason.
#include <memory>
#include <string>
#include <utility>

#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"
#include "VeModeTableEngine.h"
#include "VePlatformAgat.h"

struct TVeAgatModeInfo {
  const char* Mode; // the catalogue's mode name
  TVeAgatScreen Screen;
  int Width, Height;
  uint8_t Aspect;
  bool Flicker;    // two pages on alternate frames
  const char* Ext; // the file's extension
  int Scale;       // the catalogue's display scale
  int Pages() const { return Flicker ? 2 : 1; }
  int DataBytes() const { return Pages() * Screen.PageBytes(); }
};
constexpr int AgatModeCount = 12;
// The rows whose engines and loaders are in place.
using AgatFinishedRows = std::make_integer_sequence<int, AgatModeCount>;
// The finished modes in catalogue order.
const TVeAgatModeInfo& AgatModeInfo(int index);

class TVeAgatEngineOptions : public TVeModeTableOptions<TVeAgatModeInfo> {
public:
  explicit TVeAgatEngineOptions(const TVeAgatModeInfo& mode);
  bool UsesColorDistance() const override { return !FMode->Flicker; }
  void SetPaletteType(TVePaletteType value) override;
  void PaletteChanged() override;
};

class TVeAgatEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeAgatEngineUI(TVeDestEngineOptions& options);
};

// A Gigascreen preview's index is the first page's value * n + the second's, n the colours a
// page shows; its frames hold the pages' values.
std::unique_ptr<TVeBitmap> AgatConvert(const TVeAgatModeInfo& mode, const TVeCancelFlag* cancel,
                                       const TVeBitmap32& source,
                                       std::unique_ptr<TVeStreamList>& files,
                                       TVeDestProgress& progress, TVeDestEngineOptions& options);

struct TVeAgatFamily {
  using Info = TVeAgatModeInfo;
  using Options = TVeAgatEngineOptions;
  using UI = TVeAgatEngineUI;
  static const char* Platform() { return "Agat"; }
  static const Info& ModeInfo(int index) { return AgatModeInfo(index); }
  static constexpr auto& Convert = AgatConvert;
};

// The engine of row I, shown at the catalogue's scale.
template <int I> class TVeAgatEngineT : public TVeModeTableEngine<TVeAgatFamily, I> {
public:
  static int DisplayScale() { return AgatModeInfo(I).Scale; }
};

class TVeDestEngineList;
void RegisterAgatEngines(TVeDestEngineList& list);
