#pragma once
// The loader of uncompressed SymbOS ".sgx" pictures: the chunks composed into one picture in
// the desktop colours of the host their chunks suit (the MSX2's for 16 colours, the CPC's
// for 4).
#include "VeSourceEngines.h"
#include "symbos/VePlatformSymbOS.h"

class TVeSymbOSSourceEngine : public TVeSourceEngine {
public:
  explicit TVeSymbOSSourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

// Adds the loader to the registry; later calls do nothing.
void RegisterSymbOSLoaders();
