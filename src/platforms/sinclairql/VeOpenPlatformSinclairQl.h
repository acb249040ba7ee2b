#pragma once
// Loaders of Sinclair QL pictures: the 32 KB screen dump (".scr" or a QDOS name ending in
// "_scr") read as mode 4 or mode 8, and PIC files of modes 4, 8, 32 and 33.
#include <memory>

#include "VeSourceEngines.h"

class TVeSinclairQlScreenEngine : public TVeSourceEngine {
public:
  TVeSinclairQlScreenEngine(TVeLoadSource* source, int mode);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
  // A dump does not say its mode: the one that fits the flash bits ranks first.
  static TVeSourceMatch CheckMode(TVeLoadSource* source, int mode);

private:
  int FMode;
};

class TVeSinclairQlMode4SourceEngine : public TVeSinclairQlScreenEngine {
public:
  explicit TVeSinclairQlMode4SourceEngine(TVeLoadSource* source)
      : TVeSinclairQlScreenEngine(source, 4) {}
  static TVeSourceMatch Check(TVeLoadSource* source) { return CheckMode(source, 4); }
};

class TVeSinclairQlMode8SourceEngine : public TVeSinclairQlScreenEngine {
public:
  explicit TVeSinclairQlMode8SourceEngine(TVeLoadSource* source)
      : TVeSinclairQlScreenEngine(source, 8) {}
  static TVeSourceMatch Check(TVeLoadSource* source) { return CheckMode(source, 8); }
};

class TVeSinclairQlPicSourceEngine : public TVeSourceEngine {
public:
  explicit TVeSinclairQlPicSourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;

private:
  int FMode = 0, FLineBytes = 0;
};

// Adds the loaders to the registry; later calls do nothing.
void RegisterSinclairQlLoaders();
