#pragma once
// Loader of the SPECTRA memory images Velmora writes (".spa"): the register value at the end
// says the mode, and with it the size the image must have.
#include <memory>

#include "VeSourceEngines.h"

class TVeZxSpectraSourceEngine : public TVeSourceEngine {
public:
  explicit TVeZxSpectraSourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

// Adds the loader to the registry; later calls do nothing.
void RegisterZxSpectraLoaders();
