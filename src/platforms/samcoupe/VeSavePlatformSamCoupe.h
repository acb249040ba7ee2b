#pragma once
// The four SAM Coupé screen engines: mode 3 (512 x 192, four colours), mode 4 (256 x 192,
// sixteen colours), mode 4 interlaced (two fields) and mode 4 with one palette change per
// line on up to 127 lines.
#include <memory>
#include <string>

#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"

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

class TVeSamEngineOptions : public TVeDestFixedSizeEngineOptions {
public:
  explicit TVeSamEngineOptions(const TVeSamModeInfo& mode);
  const TVeSamModeInfo& Mode() const { return *FMode; }
  TVeSize GetDefaultSize() const override { return {FMode->Width, FMode->Height}; }
  int GetWidth() const override { return FMode->Width; }
  int GetHeight() const override { return FMode->Height; }

private:
  const TVeSamModeInfo* FMode;
};

template <int I> class TVeSamEngineOptionsT : public TVeSamEngineOptions {
public:
  TVeSamEngineOptionsT() : TVeSamEngineOptions(SamModeInfo(I)) {}
};

class TVeSamEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeSamEngineUI(TVeDestEngineOptions& options);
};

std::unique_ptr<TVeBitmap> SamConvert(const TVeSamModeInfo& mode, const TVeCancelFlag* cancel,
                                      const TVeBitmap32& source,
                                      std::unique_ptr<TVeStreamList>& files,
                                      TVeDestProgress& progress, TVeDestEngineOptions& options);

template <int I>
class TVeSamEngineT : public TVeDestEngineOf<TVeSamEngineOptionsT<I>, TVeSamEngineUI> {
public:
  static std::string PlatformName() { return "SAM Coup\xC3\xA9"; }
  static std::string ModeName() { return SamModeInfo(I).Mode; }
  static std::unique_ptr<TVeBitmap> Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                            std::unique_ptr<TVeStreamList>& files,
                                            TVeDestProgress& progress,
                                            TVeDestEngineOptions& options, const TVePalette256*,
                                            const TVePalette256*) {
    return SamConvert(SamModeInfo(I), cancel, source, files, progress, options);
  }
};

using TVeSamMode3Engine = TVeSamEngineT<0>;
using TVeSamMode4Engine = TVeSamEngineT<1>;
using TVeSamMode4InterlacedEngine = TVeSamEngineT<2>;
using TVeSamMode4HAMEngine = TVeSamEngineT<3>;

class TVeDestEngineList;
void RegisterSamCoupeEngines(TVeDestEngineList& list);
