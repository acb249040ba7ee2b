#pragma once
// Loader of TI-Artist pictures: the pattern file with its colour file beside it.
#include <memory>

#include "VeSourceEngines.h"

class TVeTIArtistEngine : public TVeSourceEngine {
public:
  explicit TVeTIArtistEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;

private:
  const TVeLoadSourceRec* FColors = nullptr;
};

void RegisterTi99Loaders();
