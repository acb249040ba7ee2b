#pragma once
// Loaders of the less common ZX Spectrum family screens: with a border (".bsc", ".bmc4",
// ".bsp"), character-cell pictures (".ch$"), gigascreen variants (".hlr", ".stl"), the ZX
// Evolution's ".sxg" and the ZX Spectrum Next's 256-colour layer (".nxi", ".sl2").
#include "VeSourceEngines.h"
#include "VeZxLoaderHelpers.h"

VE_ZX_LOADER(TVeZxSpectrumHlrEngine)
VE_ZX_LOADER(TVeZxSpectrumStlEngine)
VE_ZX_LOADER(TVeZxSpectrumChrEngine)
VE_ZX_LOADER(TVeZxSpectrumBscEngine)
VE_ZX_LOADER(TVeZxSpectrumBmc4Engine)
VE_ZX_LOADER(TVeZxSpectrumSxgEngine)
VE_ZX_LOADER(TVeZxSpectrumBspEngine)
VE_ZX_LOADER(TVeZxSpectrumNextNxiEngine)
VE_ZX_LOADER(TVeZxSpectrumNextSl2Engine)

// The ".hlr" display routine every such file starts with.
extern const uint8_t ZxHlrRoutine[84];
