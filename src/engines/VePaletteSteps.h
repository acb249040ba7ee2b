#pragma once
// Steps shared by the engines that show a few colours chosen from a machine's palette.
#include <memory>
#include <vector>

#include "VeDestEngine.h"

class TVeHAMPalette;
class TVePalette256;

// The colours to choose: the user's count where it is set and fits, else the mode's most.
int VeColorLimit(const TVeDestEngineOptions& options, int most);

// A palette fixed for the mode (one for every frame of an animation) is taken as it is: its
// first k colours (or all, when fewer) go to palette, and the result is true.
bool VeTakeFixedPalette(const TVeDestEngineOptions& options, int k, TVePalette256& palette);

// Chooses up to VeColorLimit(options, most) colours of the machine for the picture (with the
// user's saturation and lightness fixes), keeps them in palette and in options as the palette
// used, and dithers the picture to them. Two progress steps.
std::unique_ptr<TVeBitmap> VeQuantizeAndDither(const TVeCancelFlag* cancel,
                                               const TVeBitmap32& source,
                                               TVeDestEngineOptions& options,
                                               const TVePalette256& machine, int most,
                                               TVePalette256& palette, TVeDestProgress& progress);

// Dithers the picture to the palette with the user's settings. One progress step.
std::unique_ptr<TVeBitmap> VeDitherToPalette(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                             const TVeDestEngineOptions& options,
                                             const TVePalette256& palette,
                                             TVeDestProgress& progress);

// Of the few fixed palettes a machine may show, the one whose colours lie nearest the
// picture's pixels (with the user's saturation and lightness fixes), the first of equal cost.
int VeNearestPalette(const TVeBitmap32& source, const TVeDestEngineOptions& options,
                     const std::vector<TVePalette256>& candidates);

// The palette a line-change mode shows: the colours of its first line.
void VeSetFirstLinePalette(const TVeHAMPalette& ham, TVeDestEngineOptions& options);
