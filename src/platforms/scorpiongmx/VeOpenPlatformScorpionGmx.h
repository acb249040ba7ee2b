#pragma once
// Loaders of the Scorpion GMX screen Velmora writes (pixel and attribute bytes, 32000 bytes):
// at 640 x 200, and at 160 x 200 when every pixel byte is made of whole nibbles.
#include <memory>

#include "VeSourceEngines.h"

class TVeGmxSourceEngine : public TVeSourceEngine {
public:
  explicit TVeGmxSourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

class TVeGmxFatSourceEngine : public TVeSourceEngine {
public:
  explicit TVeGmxFatSourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

// Adds the loaders to the registry; later calls do nothing.
void RegisterScorpionGmxLoaders();
