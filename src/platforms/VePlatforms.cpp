#include "VePlatforms.h"

#include <mutex>

#include "VeCommonEngines.h"
#include "VeDestEngineList.h"
#include "VeGenericEngine.h"
#include "agat/VeOpenPlatformAgat.h"
#include "agat/VeSavePlatformAgat.h"
#include "amstradcpc/VeOpenPlatformAmstradCpc.h"
#include "amstradcpc/VeSavePlatformAmstradCpc.h"
#include "atmturbo/VeOpenPlatformAtmTurbo.h"
#include "atmturbo/VeSavePlatformAtmTurbo.h"
#include "bbcmicro/VeOpenPlatformBbcMicro.h"
#include "bbcmicro/VeSavePlatformBbcMicro.h"
#include "bk0011/VeOpenPlatformBk0011.h"
#include "bk0011/VeSavePlatformBk0011.h"
#include "corvette/VeOpenPlatformCorvette.h"
#include "corvette/VeSavePlatformCorvette.h"
#include "dvkkcgd/VeOpenPlatformDvkKcgd.h"
#include "dvkkcgd/VeSavePlatformDvkKcgd.h"
#include "ibm/VeOpenPlatformIbm.h"
#include "ibm/VeSavePlatformIbm.h"
#include "irisha/VeOpenPlatformIrisha.h"
#include "irisha/VeSavePlatformIrisha.h"
#include "kr04/VeSavePlatformKr04.h"
#include "lvov/VeOpenPlatformLvov.h"
#include "lvov/VeSavePlatformLvov.h"
#include "mc0515/VeOpenPlatformMc0515.h"
#include "mc0515/VeSavePlatformMc0515.h"
#include "msx/VeOpenPlatformMsx.h"
#include "msx/VeSavePlatformMsx.h"
#include "okean240/VeOpenPlatformOkean240.h"
#include "okean240/VeSavePlatformOkean240.h"
#include "pc8000/VeOpenPlatformPc8000.h"
#include "pc8000/VeSavePlatformPc8000.h"
#include "pico8/VeOpenPlatformPico8.h"
#include "pico8/VeSavePlatformPico8.h"
#include "pmd85/VeOpenPlatformPmd85.h"
#include "pmd85/VeSavePlatformPmd85.h"
#include "pp01/VeOpenPlatformPp01.h"
#include "pp01/VeSavePlatformPp01.h"
#include "profi/VeOpenPlatformProfi.h"
#include "profi/VeSavePlatformProfi.h"
#include "samcoupe/VeOpenPlatformSamCoupe.h"
#include "samcoupe/VeSavePlatformSamCoupe.h"
#include "scorpiongmx/VeOpenPlatformScorpionGmx.h"
#include "scorpiongmx/VeSavePlatformScorpionGmx.h"
#include "sinclairql/VeOpenPlatformSinclairQl.h"
#include "sinclairql/VeSavePlatformSinclairQl.h"
#include "spetsialist/VeOpenPlatformSpetsialist.h"
#include "spetsialist/VeSavePlatformSpetsialist.h"
#include "symbos/VeOpenPlatformSymbOS.h"
#include "symbos/VeSavePlatformSymbOS.h"
#include "ti99/VeOpenPlatformTi99.h"
#include "ti99/VeSavePlatformTi99.h"
#include "timex/VeOpenPlatformTimex.h"
#include "timex/VeSavePlatformTimex.h"
#include "uknc/VeOpenPlatformUknc.h"
#include "uknc/VeSavePlatformUknc.h"
#include "v9990/VeOpenPlatformV9990.h"
#include "v9990/VeSavePlatformV9990.h"
#include "vector06c/VeOpenPlatformVector06c.h"
#include "vector06c/VeSavePlatformVector06c.h"
#include "zxspectra/VeOpenPlatformZxSpectra.h"
#include "zxspectra/VeSavePlatformZxSpectra.h"
#include "zxspectrum/VeOpenPlatformZxSpectrum.h"
#include "zxspectrum/VeSavePlatformZxSpectrum.h"
#include "zxspectrumnext/VeSavePlatformZxSpectrumNext.h"
#include "zxspectrumulaplus/VeOpenPlatformZxSpectrumUlaPlus.h"
#include "zxspectrumulaplus/VeSavePlatformZxSpectrumUlaPlus.h"

const std::vector<TVeCatalogueEntry>& VeCatalogue() {
  static const std::vector<TVeCatalogueEntry> catalogue = {
      {"Common", "B/W", 1},
      {"Common", "Palette", 1},
      {"Common", "Original palette", 1},
      {"Agat", "64x64x4", 2},
      {"Agat", "64x64x8 Gigascreen", 2},
      {"Agat", "128x128x4", 1},
      {"Agat", "128x128x8 Gigascreen", 1},
      {"Agat", "128x128x4 HAM", 1},
      {"Agat", "128x256x4", 1},
      {"Agat", "128x256x8 Gigascreen", 1},
      {"Agat", "256x256x1", 1},
      {"Agat", "256x256x2 Gigascreen", 1},
      {"Agat", "256x256x2", 1},
      {"Agat", "256x256x4 Gigascreen", 1},
      {"Agat", "512x256x1", 1},
      {"Agat", "512x256x2 Gigascreen", 1},
      {"Amstrad CPC", "0 160x200x4", 1},
      {"Amstrad CPC", "0 192x272x4", 1},
      {"Amstrad CPC", "1 320x200x2", 1},
      {"Amstrad CPC", "1 384x272x2", 1},
      {"Amstrad CPC", "2 640x200x1", 1},
      {"Amstrad CPC", "2 768x272x1", 1},
      {"Amstrad CPC", "2 512x256x1", 1},
      {"Amstrad CPC", "B0 192x272x8", 1},
      {"Amstrad CPC", "B1 384x272x4", 1},
      {"ATM Turbo", "320x200x4", 1},
      {"ATM Turbo", "640x200x4", 1},
      {"BBC Micro", "0 640x256x1", 1},
      {"BBC Micro", "1 320x256x2", 1},
      {"BBC Micro", "2 160x256x4", 1},
      {"BBC Micro", "4 320x256x1", 1},
      {"BBC Micro", "5 160x256x2", 1},
      {"BK-0011", "256x256x2", 1},
      {"BK-0011", "256x256x4 Gigascreen", 1},
      {"BK-0011", "512x256x1", 1},
      {"BK-0011", "512x256x2 Gigascreen", 1},
      {"Corvette", "512x256x3", 1},
      {"DVK KCGD", "400x240x4", 1},
      {"Elektronika MC 0515", "320x200x4", 1},
      {"Elektronika MC 0515", "640x200x1", 1},
      {"Elektronika KR-04", "240x224x2 EGA", 1},
      {"Elektronika KR-04", "240x224x4 EGA Gigascreen", 1},
      {"Elektronika KR-04", "240x224x2 BRGB", 1},
      {"Elektronika KR-04", "240x224x4 BRGB Gigascreen", 1},
      {"Elektronika KR-04", "480x224x1", 1},
      {"Elektronika KR-04", "480x224x2 Gigascreen", 1},
      {"IBM", "CGA 320x200x2", 1},
      {"IBM", "CGA 640x200x1", 1},
      {"IBM", "EGA 320x200x4", 1},
      {"IBM", "EGA 640x200x4", 1},
      {"IBM", "EGA 640x350x4", 1},
      {"IBM", "VGA 320x200x8", 1},
      {"IBM", "VGA 640x480x4", 1},
      {"Irisha", "320x200x1", 1},
      {"Irisha", "640x200x1", 1},
      {"Lvov", "200x225x2", 1},
      {"Lvov", "256x256x2", 1},
      {"MSX", "2 256x192x4", 1},
      {"MSX", "3 64x48x4", 1},
      {"MSX", "4 256x192x4", 1},
      {"MSX", "5 256x212x4", 1},
      {"MSX", "5 256x424x4 Interlaced", 1},
      {"MSX", "6 512x212x2", 1},
      {"MSX", "6 512x424x2 Interlaced", 1},
      {"MSX", "7 512x212x4", 1},
      {"MSX", "7 512x424x4 Interlaced", 1},
      {"MSX", "8 256x212x8", 1},
      {"MSX", "8 256x424x8 Interlaced", 1},
      {"MSX", "10 256x212x12", 1},
      {"MSX", "10 256x424x12 Interlaced", 1},
      {"MSX", "12 256x212x15", 1},
      {"MSX", "12 256x424x15 Interlaced", 1},
      {"MSX V9990 VDP", "BP2 256x212x2", 1},
      {"MSX V9990 VDP", "BP4 256x212x4", 1},
      {"MSX V9990 VDP", "BP6 256x212x6", 1},
      {"MSX V9990 VDP", "BD8 256x212x8", 1},
      {"MSX V9990 VDP", "BYJK 256x212x8", 1},
      {"MSX V9990 VDP", "BYUV 256x212x8", 1},
      {"MSX V9990 VDP", "BD16 256x212x16", 1},
      {"Okean-240", "256x256x2", 1},
      {"Okean-240", "256x256x4 Gigascreen", 1},
      {"Okean-240", "512x256x1", 1},
      {"Okean-240", "512x256x2 Gigascreen", 1},
      {"PC8000", "256x192x4", 1},
      {"Pico-8", "128x128x4", 1},
      {"PMD 85", "288x256x2", 1},
      {"PMD 85", "288x256x2 ColorAce", 1},
      {"PP01", "256x256x3", 1},
      {"Profi", "512x240x4", 1},
      {"SAM Coup\xC3\xA9", "3 512x192x2", 1},
      {"SAM Coup\xC3\xA9", "4 256x192x4", 1},
      {"SAM Coup\xC3\xA9", "4 256x384x4 Interlaced", 1},
      {"SAM Coup\xC3\xA9", "4 256x192x4 HAM1/127", 1},
      {"Scorpion GMX", "640x200x4", 1},
      {"Scorpion GMX", "160x200x4", 1},
      {"Sinclair QL", "QL 4 512x256x2", 1},
      {"Sinclair QL", "QL 8 256x256x3", 1},
      {"Sinclair QL", "GD2 16 512x480x8", 1},
      {"Sinclair QL", "GD2 32 512x480x16", 1},
      {"Sinclair QL", "GD2 33 512x480x16", 1},
      {"Specialist", "384x256", 1},
      {"Specialist", "384x256 MX", 1},
      {"SymbOS", "", 1},
      {"TI-99/4A", "9918A 256x192x4", 1},
      {"TI-99/4A", "9918A 64x192x4", 1},
      {"TI-99/4A", "9918A 64x48x4", 4},
      {"TI-99/4A", "9918A 64x48x8 Dual", 4},
      {"TI-99/4A", "F18A 256x192x4", 1},
      {"TI-99/4A", "F18A 256x192x4 Scanline", 1},
      {"TI-99/4A", "V9938 512x192x4 G6", 1},
      {"TI-99/4A", "V9938 512x212x4 G6", 1},
      {"TI-99/4A", "V9938 512x424x4 G6 Interlaced", 1},
      {"TI-99/4A", "V9938 256x192x8 G7", 1},
      {"TI-99/4A", "V9938 256x212x8 G7", 1},
      {"TI-99/4A", "V9938 256x424x8 G7 Interlaced", 1},
      {"Timex", "256x192x4", 1},
      {"Timex", "256x384x4 Interlaced", 1},
      {"Timex", "512x192x1", 1},
      {"Timex", "512x192x2", 1},
      {"UKNC", "640x288x3", 1},
      {"Vector-06C", "256x256x4", 1},
      {"Vector-06C", "256x256x4 HAM1", 1},
      {"Vector-06C", "256x256x4 HAM2", 1},
      {"ZX Spectrum", "256x192x4", 1},
      {"ZX Spectrum", "256x384x4 Interlaced v1", 1},
      {"ZX Spectrum", "256x384x4 Interlaced v2", 1},
      {"ZX Spectrum", "256x192x4 Multicolor 8x1", 1},
      {"ZX Spectrum", "256x192x4 Multicolor 8x2", 1},
      {"ZX Spectrum", "256x192x4 B/W Giga", 1},
      {"ZX Spectrum", "256x192x4 Giga", 1},
      {"ZX Spectrum", "256x192x4 MultiGiga 8x4", 1},
      {"ZX Spectrum", "256x192x4 MultiGiga 8x2", 1},
      {"ZX Spectrum", "256x192x4 MultiGiga 8x1", 1},
      {"ZX Spectrum", "256x192x3 Tricolor", 1},
      {"ZX Spectrum Next", "256x192x8", 1},
      {"ZX Spectrum Spectra", "256x192 (8x1)", 1},
      {"ZX Spectrum Spectra", "256x192 (8x2)", 1},
      {"ZX Spectrum Spectra", "256x192 (8x4)", 1},
      {"ZX Spectrum Spectra", "256x192 (8x8)", 1},
      {"ZX Spectrum Spectra", "256x192 (4x1)", 1},
      {"ZX Spectrum Spectra", "256x192 (4x2)", 1},
      {"ZX Spectrum Spectra", "256x192 (4x4)", 1},
      {"ZX Spectrum Spectra", "256x192 (4x8)", 1},
      {"ZX Spectrum UlaPlus", "256x192x8 (8x8)", 1},
      {"ZX Spectrum UlaPlus", "256x192x8 (8x1)", 1},
  };
  return catalogue;
}

const std::vector<TVePlatformUnit>& VePlatformUnits() {
  static const std::vector<TVePlatformUnit> units = {
      {"Common", VeRegisterCommonEngines, nullptr},
      {"Agat", RegisterAgatEngines, RegisterAgatLoaders},
      {"Amstrad CPC", RegisterAmstradCpcEngines, RegisterAmstradCpcLoaders},
      {"ATM Turbo", RegisterAtmTurboEngines, RegisterAtmTurboLoaders},
      {"BBC Micro", RegisterBbcMicroEngines, RegisterBbcMicroLoaders},
      {"BK-0011", RegisterBk0011Engines, RegisterBk0011Loaders},
      {"Corvette", RegisterCorvetteEngines, RegisterCorvetteLoaders},
      {"DVK KCGD", RegisterDvkKcgdEngines, RegisterDvkKcgdLoaders},
      {"Elektronika MC 0515", RegisterMc0515Engines, RegisterMc0515Loaders},
      {"Elektronika KR-04", RegisterKr04Engines, nullptr},
      {"IBM", RegisterIbmEngines, RegisterIbmLoaders},
      {"Irisha", RegisterIrishaEngines, RegisterIrishaLoaders},
      {"Lvov", RegisterLvovEngines, RegisterLvovLoaders},
      {"MSX", RegisterMsxEngines, RegisterMsxLoaders},
      {"MSX V9990 VDP", RegisterV9990Engines, RegisterV9990Loaders},
      {"Okean-240", RegisterOkean240Engines, RegisterOkean240Loaders},
      {"PC8000", RegisterPc8000Engines, RegisterPc8000Loaders},
      {"Pico-8", RegisterPico8Engines, RegisterPico8Loaders},
      {"PMD 85", RegisterPmd85Engines, RegisterPmd85Loaders},
      {"PP01", RegisterPp01Engines, RegisterPp01Loaders},
      {"Profi", RegisterProfiEngines, RegisterProfiLoaders},
      {"SAM Coup\xC3\xA9", RegisterSamCoupeEngines, RegisterSamCoupeLoaders},
      {"Scorpion GMX", RegisterScorpionGmxEngines, RegisterScorpionGmxLoaders},
      {"Sinclair QL", RegisterSinclairQlEngines, RegisterSinclairQlLoaders},
      {"Specialist", RegisterSpecialistEngines, RegisterSpecialistLoaders},
      {"SymbOS", RegisterSymbOSEngines, RegisterSymbOSLoaders},
      {"TI-99/4A", RegisterTi99Engines, RegisterTi99Loaders},
      {"Timex", RegisterTimexEngines, RegisterTimexLoaders},
      {"UKNC", RegisterUkncEngines, RegisterUkncLoaders},
      {"Vector-06C", RegisterVector06cEngines, RegisterVector06cLoaders},
      {"ZX Spectrum", RegisterZxSpectrumEngines, RegisterZxSpectrumLoaders},
      {"ZX Spectrum Next", RegisterZxSpectrumNextEngines, nullptr},
      {"ZX Spectrum Spectra", RegisterZxSpectraEngines, RegisterZxSpectraLoaders},
      {"ZX Spectrum UlaPlus", RegisterZxSpectrumUlaPlusEngines, RegisterZxSpectrumUlaPlusLoaders},
  };
  return units;
}

void VeRegisterPlatforms() {
  static std::once_flag once;
  std::call_once(once, [] {
    TVeDestEngineList& list = DestEngineList();
    for (const TVeCatalogueEntry& e : VeCatalogue())
      list.Register(std::make_unique<TVeGenericEngineClass>(e.Platform, e.Mode, e.DisplayScale));
    for (const TVePlatformUnit& unit : VePlatformUnits()) {
      if (unit.RegisterEngines) unit.RegisterEngines(list);
      if (unit.RegisterLoaders) unit.RegisterLoaders();
    }
  });
}
