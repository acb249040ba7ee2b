#pragma once
// Loaders of the PMD 85 video memory dumps Velmora writes: "p85" as the standard machine
// shows it and "pca" as ColorAce shows it (the bytes alone cannot tell them apart).
#include <memory>

#include "VeSourceEngines.h"

class TVePmd85SourceEngine : public TVeSourceEngine {
public:
  explicit TVePmd85SourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

class TVePmd85ColorAceSourceEngine : public TVeSourceEngine {
public:
  explicit TVePmd85ColorAceSourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

// Adds the loaders to the registry; later calls do nothing.
void RegisterPmd85Loaders();
