#pragma once
// Loaders of the ULA+ screens: the standard screen with its 64 colour table bytes (6976
// bytes) and the Timex hi-colour layout with them (12352 bytes).
#include "VeSourceEngines.h"
#include "zxspectrum/VeZxLoaderHelpers.h"

VE_ZX_LOADER(TVeZxSpectrumUlaPlusEngine)
VE_ZX_LOADER(TVeTimexUlaPlusEngine)

// Adds the two loaders to the registry; later calls do nothing.
void RegisterZxSpectrumUlaPlusLoaders();
