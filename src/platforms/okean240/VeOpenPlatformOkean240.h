#pragma once
// Loaders of the Okean-240 page files Velmora writes (".okn"): the control byte says whether
// the page is the 256 x 256 colour screen or the 512 x 256 one.
#include <memory>

#include "VeSourceEngines.h"

class TVeOkean240SourceEngine : public TVeSourceEngine {
public:
  explicit TVeOkean240SourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

class TVeOkean240MonoSourceEngine : public TVeSourceEngine {
public:
  explicit TVeOkean240MonoSourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

// Adds the loaders to the registry; later calls do nothing.
void RegisterOkean240Loaders();
