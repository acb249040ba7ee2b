#pragma once
// The loader of the UKNC screen files Velmora writes (".ukn": planes and line palettes).
#include <memory>

#include "VeSourceEngines.h"

class TVeUkncSourceEngine : public TVeSourceEngine {
public:
  explicit TVeUkncSourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

// Adds the loader to the registry; later calls do nothing.
void RegisterUkncLoaders();
