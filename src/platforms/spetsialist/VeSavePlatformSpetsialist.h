#pragma once
// The Specialist engines: "384x256" (the original machine's white on black) and "384x256 MX"
// (an ink and a paper of 16 colours per 8 x 1 cell). Both write the video memory as a tape
// file ("rks"); the MX adds its colour memory ("mxc").
#include <memory>
#include <string>

#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"
#include "VeModeTableEngine.h"

struct TVeSpecialistModeInfo {
  const char* Mode; // the catalogue's mode name
  bool Mx;
  int Width, Height;
};
// Modes by catalogue position 0..1.
const TVeSpecialistModeInfo& SpecialistModeInfo(int index);

class TVeSpecialistEngineOptions : public TVeModeTableOptions<TVeSpecialistModeInfo> {
public:
  explicit TVeSpecialistEngineOptions(const TVeSpecialistModeInfo& mode);
  int GetCellWidth() const override { return 8; }
  int GetCellHeight() const override { return 1; }
  void SetPaletteType(TVePaletteType value) override;
  void PaletteChanged() override;
};

class TVeSpecialistEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeSpecialistEngineUI(TVeDestEngineOptions& options);
};

std::unique_ptr<TVeBitmap> SpecialistConvert(const TVeSpecialistModeInfo& mode,
                                             const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                             std::unique_ptr<TVeStreamList>& files,
                                             TVeDestProgress& progress,
                                             TVeDestEngineOptions& options);

struct TVeSpecialistFamily {
  using Info = TVeSpecialistModeInfo;
  using Options = TVeSpecialistEngineOptions;
  using UI = TVeSpecialistEngineUI;
  static const char* Platform() { return "Specialist"; }
  static const Info& ModeInfo(int index) { return SpecialistModeInfo(index); }
  static constexpr auto& Convert = SpecialistConvert;
};
template <int I> using TVeSpecialistEngineT = TVeModeTableEngine<TVeSpecialistFamily, I>;

using TVeSpecialistEngine = TVeSpecialistEngineT<0>;
using TVeSpecialistMxEngine = TVeSpecialistEngineT<1>;

class TVeDestEngineList;
void RegisterSpecialistEngines(TVeDestEngineList& list);
