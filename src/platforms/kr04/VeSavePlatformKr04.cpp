#include "VeSavePlatformKr04.h"

#include "VeDestEngineList.h"
#include "VeGenericEngine.h"

void RegisterKr04Engines(TVeDestEngineList& list) {
  static const char* const modes[] = {"240x224x2 EGA",  "240x224x4 EGA Gigascreen",
                                      "240x224x2 BRGB", "240x224x4 BRGB Gigascreen",
                                      "480x224x1",      "480x224x2 Gigascreen"};
  for (const char* mode : modes)
    VeMarkPreviewOnly(list, "Elektronika KR-04", mode,
                      "which character cell shows which RAM glyph is not published, so no "
                      "KR-04 memory image of a picture can be written");
}
