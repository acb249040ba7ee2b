#pragma once
// The three Vector-06C screen engines: 256 x 256 in 16 of 256 colours, and the two
// line-change modes that rewrite a few palette registers between lines (HAM1 holds black in
// register 0, HAM2 may change every register).
#include <memory>
#include <string>

#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"
#include "VeModeTableEngine.h"

struct TVeVectorModeInfo {
  const char* Mode; // the catalogue's mode name
  int HamType;      // -1 for the plain screen
  int Width, Height;
};
// Modes by catalogue position 0..2.
const TVeVectorModeInfo& VectorModeInfo(int index);

class TVeVectorEngineOptions : public TVeModeTableOptions<TVeVectorModeInfo> {
public:
  explicit TVeVectorEngineOptions(const TVeVectorModeInfo& mode);
  bool UsesColorDistance() const override { return FMode->HamType < 0; }
  // The line-change type the conversion uses (engine flag A).
  int HamType() const { return EngineFlagA(); }
};

class TVeVectorEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeVectorEngineUI(TVeDestEngineOptions& options);
};

std::unique_ptr<TVeBitmap> VectorConvert(const TVeVectorModeInfo& mode, const TVeCancelFlag* cancel,
                                         const TVeBitmap32& source,
                                         std::unique_ptr<TVeStreamList>& files,
                                         TVeDestProgress& progress, TVeDestEngineOptions& options);

struct TVeVectorFamily {
  using Info = TVeVectorModeInfo;
  using Options = TVeVectorEngineOptions;
  using UI = TVeVectorEngineUI;
  static const char* Platform() { return "Vector-06C"; }
  static const Info& ModeInfo(int index) { return VectorModeInfo(index); }
  static constexpr auto& Convert = VectorConvert;
};
template <int I> using TVeVectorEngineT = TVeModeTableEngine<TVeVectorFamily, I>;

using TVeVectorEngine = TVeVectorEngineT<0>;
using TVeVectorHAM1Engine = TVeVectorEngineT<1>;
using TVeVectorHAM2Engine = TVeVectorEngineT<2>;

class TVeDestEngineList;
void RegisterVector06cEngines(TVeDestEngineList& list);
