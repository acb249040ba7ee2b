#pragma once
// The four SAM Coupé screen engines: mode 3 (512 x 192, four colours), mode 4 (256 x 192,
// sixteen colours), mode 4 interlaced (two fields) and mode 4 with one palette change per
// line on up to 127 lines.
#include <memory>
#include <string>

#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"
#include "VeModeTableEngine.h"
#include "VeRuleCheck.h"

struct TVeSamModeInfo {
  int Screen;       // 3 or 4
  bool Interlaced;  // two fields of alternate rows
  bool Ham;         // one palette change per line
  const char* Mode; // the catalogue's mode name
  int Width, Height;
  uint8_t Aspect;
  int Colors; // CLUT entries the mode shows
};
// Modes by catalogue position 0..3.
const TVeSamModeInfo& SamModeInfo(int index);

// The parameters of the line-change mode.
constexpr int SamHamType = 2;
constexpr int SamHamLineLimit = 127;
constexpr int SamHamChanges = 1;

class TVeSamEngineOptions : public TVeModeTableOptions<TVeSamModeInfo> {
public:
  explicit TVeSamEngineOptions(const TVeSamModeInfo& mode);
  bool UsesColorDistance() const override { return !FMode->Ham; }
};

class TVeSamEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeSamEngineUI(TVeDestEngineOptions& options);
};

std::unique_ptr<TVeBitmap> SamConvert(const TVeSamModeInfo& mode, const TVeCancelFlag* cancel,
                                      const TVeBitmap32& source,
                                      std::unique_ptr<TVeStreamList>& files,
                                      TVeDestProgress& progress, TVeDestEngineOptions& options);

struct TVeSamFamily {
  using Info = TVeSamModeInfo;
  using Options = TVeSamEngineOptions;
  using UI = TVeSamEngineUI;
  static const char* Platform() { return "SAM Coup\xC3\xA9"; }
  static const Info& ModeInfo(int index) { return SamModeInfo(index); }
  static constexpr auto& Convert = SamConvert;
  static TVeModeRule ModeRule(const Info& mode, const TVeDestEngineOptions& options);
};
template <int I> using TVeSamEngineT = TVeModeTableEngine<TVeSamFamily, I>;

using TVeSamMode3Engine = TVeSamEngineT<0>;
using TVeSamMode4Engine = TVeSamEngineT<1>;
using TVeSamMode4InterlacedEngine = TVeSamEngineT<2>;
using TVeSamMode4HAMEngine = TVeSamEngineT<3>;

class TVeDestEngineList;
void RegisterSamCoupeEngines(TVeDestEngineList& list);
