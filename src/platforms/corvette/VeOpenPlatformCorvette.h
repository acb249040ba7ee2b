#pragma once
// The loader of the Corvette screen files Velmora writes (".kor": planes and lookup bytes).
#include <memory>

#include "VeSourceEngines.h"

class TVeCorvetteSourceEngine : public TVeSourceEngine {
public:
  explicit TVeCorvetteSourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

// Adds the loader to the registry; later calls do nothing.
void RegisterCorvetteLoaders();
