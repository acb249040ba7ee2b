#pragma once
// Loader of the PC8000 (PK-8000) video bank Velmora writes: 14336 bytes from 0000h.
#include <memory>

#include "VeSourceEngines.h"

class TVePc8000SourceEngine : public TVeSourceEngine {
public:
  explicit TVePc8000SourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

// Adds the loader to the registry; later calls do nothing.
void RegisterPc8000Loaders();
