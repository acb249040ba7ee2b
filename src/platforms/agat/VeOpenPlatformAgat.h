#pragma once
// Loaders of the Agat video-RAM files Velmora writes: one per mode, told apart by extension;
// the header's length must match the mode's pages, and the tail, when there, gives the
// palette number. Gigascreen files open with both frames.
#include <memory>

#include "VeSourceEngines.h"

struct TVeAgatModeInfo;

class TVeAgatSourceEngine : public TVeSourceEngine {
public:
  TVeAgatSourceEngine(TVeLoadSource* source, const TVeAgatModeInfo& mode);
  static TVeSourceMatch Match(TVeLoadSource* source, const TVeAgatModeInfo& mode);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;

private:
  const TVeAgatModeInfo& FMode;
};

// The loader of the mode in row I of the engines' table.
template <int I> class TVeAgatSourceEngineT : public TVeAgatSourceEngine {
public:
  explicit TVeAgatSourceEngineT(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
};

// Adds the loaders to the registry; later calls do nothing.
void RegisterAgatLoaders();
