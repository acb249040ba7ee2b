#pragma once
// The BK-0011 engines: "256x256x2" (the one of 16 palettes that suits the picture; the screen
// ".bin" and the palette register ".reg") and "512x256x1" (black and white, the screen
// ".bin"), and their Gigascreen versions "256x256x4 Gigascreen" and "512x256x2 Gigascreen" (two
// screens shown on alternate frames: the first ".bin", the second ".bn2", and the ".reg").
#include <memory>
#include <string>

#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"
#include "VeModeTableEngine.h"

struct TVeBk0011ModeInfo {
  const char* Mode; // the catalogue's mode name
  bool Color;
  int Width, Height;
  uint8_t Aspect;
  bool Giga = false; // two screens on alternate frames
};
// The modes 0..3.
const TVeBk0011ModeInfo& Bk0011ModeInfo(int index);

class TVeBk0011EngineOptions : public TVeModeTableOptions<TVeBk0011ModeInfo> {
public:
  explicit TVeBk0011EngineOptions(const TVeBk0011ModeInfo& mode);
  bool UsesColorDistance() const override { return !FMode->Giga; }
  void SetPaletteType(TVePaletteType value) override;
  void PaletteChanged() override;
};

class TVeBk0011EngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeBk0011EngineUI(TVeDestEngineOptions& options);
};

std::unique_ptr<TVeBitmap> Bk0011Convert(const TVeBk0011ModeInfo& mode, const TVeCancelFlag* cancel,
                                         const TVeBitmap32& source,
                                         std::unique_ptr<TVeStreamList>& files,
                                         TVeDestProgress& progress, TVeDestEngineOptions& options);

struct TVeBk0011Family {
  using Info = TVeBk0011ModeInfo;
  using Options = TVeBk0011EngineOptions;
  using UI = TVeBk0011EngineUI;
  static const char* Platform() { return "BK-0011"; }
  static const Info& ModeInfo(int index) { return Bk0011ModeInfo(index); }
  static constexpr auto& Convert = Bk0011Convert;
};
template <int I> using TVeBk0011EngineT = TVeModeTableEngine<TVeBk0011Family, I>;

using TVeBk0011Engine = TVeBk0011EngineT<0>;
using TVeBk0011MonoEngine = TVeBk0011EngineT<1>;
using TVeBk0011GigaEngine = TVeBk0011EngineT<2>;
using TVeBk0011MonoGigaEngine = TVeBk0011EngineT<3>;

class TVeDestEngineList;
void RegisterBk0011Engines(TVeDestEngineList& list);
