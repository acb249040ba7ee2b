#pragma once
// The loader of the PP01 plane files Velmora writes (".pp1").
#include <memory>

#include "VeSourceEngines.h"

class TVePp01SourceEngine : public TVeSourceEngine {
public:
  explicit TVePp01SourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

// Adds the loader to the registry; later calls do nothing.
void RegisterPp01Loaders();
