// Palette files (JASC, GIMP, RIFF, raw tables, picture palettes) from hostile bytes.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <sstream>
#include <string>

#include "VePalette.h"
#include "VePaletteFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream stream(std::string(reinterpret_cast<const char*>(data), size));
  TVePalette256 palette;
  try {
    VeLoadPaletteFromStream(palette, stream);
    // Whatever was read must write back.
    VePaletteToJASC(palette);
  } catch (const std::exception&) {
  }
  return 0;
}
