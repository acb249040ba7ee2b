#pragma once
// Loader of BBC Micro screen dumps (".bb0" ... ".bb5", the bytes *SAVE writes from the screen
// start to &7FFF), with the VDU 19 palette commands of a ".vdu" file beside them.
#include <memory>

#include "VeSourceEngines.h"

struct TVeBbcModeInfo;

class TVeBbcMicroScreenEngine : public TVeSourceEngine {
public:
  TVeBbcMicroScreenEngine(TVeLoadSource* source, const TVeBbcModeInfo& mode);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
  static TVeSourceMatch CheckMode(TVeLoadSource* source, const TVeBbcModeInfo& mode);

private:
  const TVeBbcModeInfo& FMode;
  const TVeLoadSourceRec* FVdu = nullptr;
};

template <int M> class TVeBbcMicroModeSourceEngine : public TVeBbcMicroScreenEngine {
public:
  explicit TVeBbcMicroModeSourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
};

// Adds the loaders to the registry; later calls do nothing.
void RegisterBbcMicroLoaders();
