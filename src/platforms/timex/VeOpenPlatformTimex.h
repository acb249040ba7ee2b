#pragma once
// Loaders of the Timex screen files: the 12288-byte high-colour "scr" and the 12289-byte
// high-resolution "scr" (the Spectrum's 6912-byte screens and "lce" have their own loaders).
#include "zxspectrum/VeZxLoaderHelpers.h"

VE_ZX_LOADER(TVeTimexHiColorSourceEngine)
VE_ZX_LOADER(TVeTimexHiResSourceEngine)

// Adds the loaders to the registry; later calls do nothing.
void RegisterTimexLoaders();
