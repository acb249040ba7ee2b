#include "VeSavePlatformAgat.h"

#include "VeDestEngineList.h"
#include "VeGenericEngine.h"

void RegisterAgatEngines(TVeDestEngineList& list) {
  VeMarkPreviewOnly(list, "Agat", "128x128x4 HAM",
                    "the 16-colour modes have no palette to change between lines, and no "
                    "Agat line-change mode is documented");
}
