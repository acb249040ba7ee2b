#pragma once
// Loaders of the Lvov screen files Velmora writes: the whole screen (".lvs") and the
// 200 x 225 window of it (".lvw"), both the video memory and the palette byte.
#include <memory>

#include "VeSourceEngines.h"

class TVeLvovSourceEngine : public TVeSourceEngine {
public:
  explicit TVeLvovSourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

class TVeLvovWindowSourceEngine : public TVeSourceEngine {
public:
  explicit TVeLvovWindowSourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

// Adds the loaders to the registry; later calls do nothing.
void RegisterLvovLoaders();
