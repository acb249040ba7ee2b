#pragma once
// Loaders of the Irisha screen files Velmora writes: ".ir3" (320 x 200 with the mode and
// colour port values) and ".ir6" (640 x 200 with the mode port value).
#include <memory>

#include "VeSourceEngines.h"

class TVeIrishaSourceEngine : public TVeSourceEngine {
public:
  explicit TVeIrishaSourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

class TVeIrishaHighResSourceEngine : public TVeSourceEngine {
public:
  explicit TVeIrishaHighResSourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

// Adds the loaders to the registry; later calls do nothing.
void RegisterIrishaLoaders();
