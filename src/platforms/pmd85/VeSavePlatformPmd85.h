#pragma once
// The PMD 85 engines: "288x256x2" (one of four colours on black per 6 x 1 cell, "p85") and
// "288x256x2 ColorAce" (one of seven colours on black per 6 x 2 cell, "pca"); both files are
// the 16384 bytes of video memory.
#include <memory>
#include <string>

#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"
#include "VeModeTableEngine.h"

struct TVePmd85ModeInfo {
  const char* Mode; // the catalogue's mode name
  bool ColorAce;
  int Width, Height;
  int CellHeight;
  const char* Extension;
};
// Modes by catalogue position 0..1.
const TVePmd85ModeInfo& Pmd85ModeInfo(int index);

class TVePmd85EngineOptions : public TVeModeTableOptions<TVePmd85ModeInfo> {
public:
  explicit TVePmd85EngineOptions(const TVePmd85ModeInfo& mode);
  int GetCellWidth() const override { return 6; }
  int GetCellHeight() const override { return FMode->CellHeight; }
  void PaletteChanged() override;
};

class TVePmd85EngineUI : public TVeDestEngineUIEx {
public:
  explicit TVePmd85EngineUI(TVeDestEngineOptions& options);
};

std::unique_ptr<TVeBitmap> Pmd85Convert(const TVePmd85ModeInfo& mode, const TVeCancelFlag* cancel,
                                        const TVeBitmap32& source,
                                        std::unique_ptr<TVeStreamList>& files,
                                        TVeDestProgress& progress, TVeDestEngineOptions& options);

struct TVePmd85Family {
  using Info = TVePmd85ModeInfo;
  using Options = TVePmd85EngineOptions;
  using UI = TVePmd85EngineUI;
  static const char* Platform() { return "PMD 85"; }
  static const Info& ModeInfo(int index) { return Pmd85ModeInfo(index); }
  static constexpr auto& Convert = Pmd85Convert;
};
template <int I> using TVePmd85EngineT = TVeModeTableEngine<TVePmd85Family, I>;

using TVePmd85Engine = TVePmd85EngineT<0>;
using TVePmd85ColorAceEngine = TVePmd85EngineT<1>;

class TVeDestEngineList;
void RegisterPmd85Engines(TVeDestEngineList& list);
