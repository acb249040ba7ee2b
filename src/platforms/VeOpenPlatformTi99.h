#pragma once
// Loaders of TI-Artist pictures (the pattern file with its colour file beside it) and of
// multicolour pattern dumps.
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

// A raw dump of the multicolour pattern table (1536 bytes, the standard name table).
class TVeTIMulticolorEngine : public TVeSourceEngine {
public:
  explicit TVeTIMulticolorEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

void RegisterTi99Loaders();
