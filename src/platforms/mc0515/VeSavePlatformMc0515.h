#pragma once
// The MC 0515 engines: "320x200x4" (an ink and a paper of eight colours, bright or not, per
// 8 x 1 cell; "m05") and "640x200x1" (the border colour and its complement on the whole
// screen; "m06").
#include <memory>
#include <string>

#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"
#include "VeModeTableEngine.h"

struct TVeMc0515ModeInfo {
  const char* Mode; // the catalogue's mode name
  bool HiRes;
  int Width, Height;
  uint8_t Aspect;
  const char* Extension;
};
// Modes by catalogue position 0..1.
const TVeMc0515ModeInfo& Mc0515ModeInfo(int index);

class TVeMc0515EngineOptions : public TVeModeTableOptions<TVeMc0515ModeInfo> {
public:
  explicit TVeMc0515EngineOptions(const TVeMc0515ModeInfo& mode);
  int GetCellWidth() const override { return FMode->HiRes ? FMode->Width : 8; }
  int GetCellHeight() const override { return FMode->HiRes ? FMode->Height : 1; }
  void PaletteChanged() override;
};

class TVeMc0515EngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeMc0515EngineUI(TVeDestEngineOptions& options);
};

std::unique_ptr<TVeBitmap> Mc0515Convert(const TVeMc0515ModeInfo& mode, const TVeCancelFlag* cancel,
                                         const TVeBitmap32& source,
                                         std::unique_ptr<TVeStreamList>& files,
                                         TVeDestProgress& progress, TVeDestEngineOptions& options);

struct TVeMc0515Family {
  using Info = TVeMc0515ModeInfo;
  using Options = TVeMc0515EngineOptions;
  using UI = TVeMc0515EngineUI;
  static const char* Platform() { return "Elektronika MC 0515"; }
  static const Info& ModeInfo(int index) { return Mc0515ModeInfo(index); }
  static constexpr auto& Convert = Mc0515Convert;
};
template <int I> using TVeMc0515EngineT = TVeModeTableEngine<TVeMc0515Family, I>;

using TVeMc0515Engine = TVeMc0515EngineT<0>;
using TVeMc0515HiResEngine = TVeMc0515EngineT<1>;

class TVeDestEngineList;
void RegisterMc0515Engines(TVeDestEngineList& list);
