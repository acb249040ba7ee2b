#pragma once
// Loader of the Profi screen Velmora writes: the pixel and attribute pages, 32768 bytes.
#include <memory>

#include "VeSourceEngines.h"

class TVeProfiSourceEngine : public TVeSourceEngine {
public:
  explicit TVeProfiSourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

// Adds the loader to the registry; later calls do nothing.
void RegisterProfiLoaders();
