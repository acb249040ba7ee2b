#pragma once
// Loaders of the Specialist screen tape files Velmora writes: a ".rks" of the video memory
// opens white on black, and with its ".mxc" colour memory beside it as an MX screen.
#include <memory>

#include "VeSourceEngines.h"

class TVeSpecialistSourceEngine : public TVeSourceEngine {
public:
  explicit TVeSpecialistSourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

class TVeSpecialistMxSourceEngine : public TVeSourceEngine {
public:
  explicit TVeSpecialistMxSourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

// Adds the loaders to the registry; later calls do nothing.
void RegisterSpecialistLoaders();
