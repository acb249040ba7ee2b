#pragma once
// Loaders of the plain ZX Spectrum screen files: the 6144-byte monochrome screen and the
// 6912-byte standard screen.
#include "VeSourceEngines.h"

class TVeZxSpectrumBWEngine : public TVeSourceEngine {
public:
  explicit TVeZxSpectrumBWEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

class TVeZxSpectrumColorEngine : public TVeSourceEngine {
public:
  explicit TVeZxSpectrumColorEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

// Adds both loaders to the registry, monochrome first; later calls do nothing.
void RegisterZxSpectrumLoaders();
