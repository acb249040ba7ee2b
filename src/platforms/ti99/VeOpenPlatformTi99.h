#pragma once
// Loaders of TI-Artist pictures (the pattern file with its colour file beside it), of
// multicolour pattern dumps (one screen or two on alternate frames) and of F18A video memory dumps.
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

// Two multicolour pattern dumps one after the other (3072 bytes, frame A first), shown on
// alternate frames: opens as the mixed picture with its two frames.
class TVeTIDualEngine : public TVeSourceEngine {
public:
  explicit TVeTIDualEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

// F18A video memory dumps: the bitmap mode's two tables, then the 16 palette registers once
// (".f18a") or once per line (".f18s").
class TVeF18ASourceEngine : public TVeSourceEngine {
public:
  explicit TVeF18ASourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

class TVeF18AScanlineSourceEngine : public TVeSourceEngine {
public:
  explicit TVeF18AScanlineSourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

void RegisterTi99Loaders();
