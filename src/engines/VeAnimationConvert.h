#pragma once
// An animation converted frame by frame in showing order, with temporal stability: a cell
// whose source has not changed keeps the previous frame's result, so that dithering does not
// crawl over still areas; and, for modes that choose their palette, one palette for all.
#include <memory>
#include <string>
#include <vector>

#include "VeBatch.h"

struct TVeAnimation;

struct TVeAnimationSettings {
  // Keep a cell's previous result while its source differs by at most Threshold in every
  // channel of every pixel from the source that result was made from.
  bool Stability = true;
  int Threshold = 12;
  // Modes that choose their palette from the picture: choose it per frame instead of once
  // from all frames.
  bool PalettePerFrame = false;
};

struct TVeAnimationConversion {
  std::vector<TVeConversionResult> Frames;
  std::vector<int> DelaysMs;
  // Cells of the frames after the first that kept their previous result, of all their cells.
  int64_t KeptCells = 0;
  int64_t Cells = 0;
  // Frames that fell back to their plain conversion because the mix did not encode exactly.
  int FallbackFrames = 0;
  bool SharedPalette = false; // one palette was chosen for all frames
  // One palette for all frames was asked of a mode that chooses its colours, which may not
  // take it (SharedPalette then stays false).
  bool SharedPaletteAsked = false;
};

// The name of frame k's files: "out/anim.x" gives "out/anim.0003.x" (the extension is replaced
// by each file's own).
std::string VeFrameBase(const std::string& base, size_t k);

// The size of the cells stability works on: the mode's attribute cells, or 8 x 8 blocks.
void VeStabilityCell(const TVeDestEngineClass& engine, const TVeDestEngineOptions& run, int& width,
                     int& height);

// Converts every frame in order on this thread (the engines may use workers; the result is
// the same for any number). progress shows the current frame's progress; done frames are
// counted in framesDone when given.
TVeAnimationConversion
VeConvertAnimation(const TVeDestEngineClass& engine, const TVeDestEngineOptions& options,
                   const TVeAnimation& animation, const TVeAnimationSettings& settings,
                   const TVeCancelFlag* cancel, TVeDestProgress& progress,
                   TVeSize fixedSize = {0, 0}, std::atomic<int>* framesDone = nullptr);
