#pragma once
// Loader of the DVK KCGD screens Velmora writes (".kcg").
#include <memory>

#include "VeSourceEngines.h"

class TVeKcgdSourceEngine : public TVeSourceEngine {
public:
  explicit TVeKcgdSourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

// Adds the loader to the registry; later calls do nothing.
void RegisterDvkKcgdLoaders();
