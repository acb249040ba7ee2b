#pragma once
// The loader of Pico-8 ".p8" cartridges: the sprite sheet as a 128 x 128 picture in the
// colours the cartridge's screen palette gives its slots.
#include "VeSourceEngines.h"

class TVePico8CartSourceEngine : public TVeSourceEngine {
public:
  explicit TVePico8CartSourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

// Adds the loader to the registry; later calls do nothing.
void RegisterPico8Loaders();
