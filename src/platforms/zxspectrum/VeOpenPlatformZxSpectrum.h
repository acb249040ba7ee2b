#pragma once
// Loaders of the plain ZX Spectrum screen files: the monochrome and standard screens, the
// flash view, the interlaced, multicolor, attribute-only and tricolor layouts.
#include "VeSourceEngines.h"
#include "VeZxLoaderHelpers.h"

class TVeZxSpectrumBWEngine : public TVeSourceEngine {
public:
  explicit TVeZxSpectrumBWEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

class TVeZxSpectrumColorEngine : public TVeSourceEngine {
public:
  explicit TVeZxSpectrumColorEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

// The standard screen with flashing cells shown as the mix of ink and paper.
class TVeZxSpectrumFlashColorEngine : public TVeSourceEngine {
public:
  explicit TVeZxSpectrumFlashColorEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

// ".lce": two standard screens holding the even and the odd rows of 256 x 384.
VE_ZX_LOADER(TVeZxSpectrumColorInterlacedEngine)
// ".mlt": standard pixels, one attribute row per pixel row.
VE_ZX_LOADER(TVeZxSpectrumMulticolorMLTEngine)
// ".mtl": 64 x 192 from attributes alone, paper then ink.
VE_ZX_LOADER(TVeZxSpectrumMulticolorMTLEngine)
// ".mc": pixel rows one after another, one attribute row per pixel row.
VE_ZX_LOADER(TVeZxSpectrumMulticolorMCEngine)
// ".ifl": standard pixels, one attribute row per two pixel rows.
VE_ZX_LOADER(TVeZxSpectrumMulticolor2Engine)
// ".afl": 64 x 96 from attributes alone.
VE_ZX_LOADER(TVeZxSpectrumMulticolor2AFLEngine)
// ".lcm": two monochrome screens alternating; the mixes of black and white.
VE_ZX_LOADER(TVeZxSpectrumBWGigaEngine)
// ".img": two standard screens alternating, shown as the mixes of their colours.
VE_ZX_LOADER(TVeZxSpectrumGigaEngine)
// ".mg8", ".mg4", ".mg2": the MG layout with one attribute per 8 x s cell.
VE_ZX_LOADER(TVeZxSpectrumGigaMGEngine)
// ".mg1": per-line attributes in the middle columns, 8 x 8 cells at the sides.
VE_ZX_LOADER(TVeZxSpectrumGigaMG1Engine)
// ".atr": the 768 attributes of a screen drawn over a fine chequer.
VE_ZX_LOADER(TVeZxSpectrumAtrEngine)
// ".3" and ".rgb": three pixel planes of eight colours. (The destination engine of the same
// mode already carries the plain name.)
VE_ZX_LOADER(TVeZxSpectrumTricolorSourceEngine)

// Adds the loaders to the registry in their order; later calls do nothing.
void RegisterZxSpectrumLoaders();
