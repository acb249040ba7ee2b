#pragma once
// Loaders of the Vector-06C screen files Velmora writes: the plain screen and the
// line-change screen.
#include <memory>

#include "VeSourceEngines.h"

class TVeVectorSourceEngine : public TVeSourceEngine {
public:
  explicit TVeVectorSourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

class TVeVectorHAMSourceEngine : public TVeSourceEngine {
public:
  explicit TVeVectorHAMSourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

// Adds the loaders to the registry; later calls do nothing.
void RegisterVector06cLoaders();
