#pragma once
// Loaders of the ATM Turbo screens Velmora writes: pages 1 and 5 with the 16 palette
// entries, 32016 bytes, as the 320 x 200 ("ate") or the 640 x 200 ("ath") screen.
#include <memory>

#include "VeSourceEngines.h"

class TVeAtmEgaSourceEngine : public TVeSourceEngine {
public:
  explicit TVeAtmEgaSourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

class TVeAtmHiResSourceEngine : public TVeSourceEngine {
public:
  explicit TVeAtmHiResSourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

// Adds the loaders to the registry; later calls do nothing.
void RegisterAtmTurboLoaders();
