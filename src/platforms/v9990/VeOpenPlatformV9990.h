#pragma once
// Loader of G9B pictures: the palette modes BP2, BP4 and BP6, BD8, BYJK, BYUV and BD16,
// uncompressed.
#include <memory>

#include "VeSourceEngines.h"

class TVeV9990G9bSourceEngine : public TVeSourceEngine {
public:
  explicit TVeV9990G9bSourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

// Adds the loader to the registry; later calls do nothing.
void RegisterV9990Loaders();
