#pragma once
// Loaders of BK-0011 screen ".bin" files (load address 040000, length 040000): in colour with
// the palette from a ".reg" file of the palette register beside it (else a palette chosen in
// the import dialog), or in black and white.
#include <memory>

#include "VeSourceEngines.h"

class TVeBk0011SourceEngine : public TVeSourceEngine {
public:
  explicit TVeBk0011SourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
  void GetVariantPalette(int index, TVePalette256& palette) override;
};

class TVeBk0011MonoSourceEngine : public TVeSourceEngine {
public:
  explicit TVeBk0011MonoSourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

// Adds the loaders to the registry; later calls do nothing.
void RegisterBk0011Loaders();
