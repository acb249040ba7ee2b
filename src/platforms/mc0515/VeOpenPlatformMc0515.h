#pragma once
// Loaders of the MC 0515 screen files Velmora writes: ".m05" (320 x 200) and ".m06"
// (640 x 200 with the register byte).
#include <memory>

#include "VeSourceEngines.h"

class TVeMc0515SourceEngine : public TVeSourceEngine {
public:
  explicit TVeMc0515SourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

class TVeMc0515HiResSourceEngine : public TVeSourceEngine {
public:
  explicit TVeMc0515HiResSourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

// Adds the loaders to the registry; later calls do nothing.
void RegisterMc0515Loaders();
