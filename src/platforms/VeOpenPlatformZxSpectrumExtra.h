#pragma once
// Loaders of the less common ZX Spectrum family screens: with a border (".bsc", ".bmc4",
// ".bsp"), character-cell pictures (".ch$"), gigascreen variants (".hlr", ".stl"), the ZX
// Evolution's ".sxg" and the ZX Spectrum Next's 256-colour layer (".nxi", ".sl2").
#include "VeSourceEngines.h"

#define VE_ZX_LOADER(Class)                                                                        \
  class Class : public TVeSourceEngine {                                                           \
  public:                                                                                          \
    explicit Class(TVeLoadSource* source);                                                         \
    static TVeSourceMatch Check(TVeLoadSource* source);                                            \
    std::unique_ptr<TVeBitmap> CreateBitmap() override;                                            \
  };
VE_ZX_LOADER(TVeZxSpectrumHlrEngine)
VE_ZX_LOADER(TVeZxSpectrumStlEngine)
VE_ZX_LOADER(TVeZxSpectrumChrEngine)
VE_ZX_LOADER(TVeZxSpectrumBscEngine)
VE_ZX_LOADER(TVeZxSpectrumBmc4Engine)
VE_ZX_LOADER(TVeZxSpectrumSxgEngine)
VE_ZX_LOADER(TVeZxSpectrumBspEngine)
VE_ZX_LOADER(TVeZxSpectrumNextNxiEngine)
VE_ZX_LOADER(TVeZxSpectrumNextSl2Engine)
#undef VE_ZX_LOADER

// The ".hlr" display routine every such file starts with.
extern const uint8_t ZxHlrRoutine[84];
