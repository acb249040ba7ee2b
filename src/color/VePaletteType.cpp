#include "VePaletteType.h"

#include <iterator>

namespace {
// In enumeration order.
constexpr const char* Names[] = {
    "RGB888", "RGB777", "RGB666", "RGB565", "RGB555", "RGB444", "RGB333", "RGB332", "RGB222",
    "RGB111", "Fixed", "Optimized", "Auto",
    // platform palettes
    "Colored", "Gate Array (sRGB)", "Gate Array (RGB)", "ASIC (sRGB)", "ASIC (RGB)", "CPC Plus",
    "V9938", "V9958", "YJK", "YJK + YAE", "YUV", "Pulsar (205)", "Linear", "Vardel (160)",
    "RGB (128)", "Orthodox", "15 colors", "16 of 256 colors", "15 colors x 1", "15 colors x 2",
    "64 colors x 1", "64 colors x 2", "MSX colors", "CPC colors", "Emulator", "Emulator studio",
    "Virtual Vector", "DDp", "Green, red, yellow (low)", "Green, red, yellow (high)",
    "Cyan, magenta, white (low)", "Cyan, magenta, white (high)", "Cyan, red, white (low)",
    "Cyan, red, white (high)", "v1.0", "v1.1", "v1.1 (Gray)", "5 colors", "8 colors", "16 colors",
    "Black, red, green, blue", "White, red, green, blue", "4096 colors", "8 grays", "16 grays",
    "Gray, red, green, blue (black)", "Gray, red, green, blue (white)", "Calculated", "MSX", "Adam",
    "Convert9918", "A", "B", "C", "D", "E", "F", "G (custom)", "H"};
static_assert(std::size(Names) == ptPMD85H + 1, "one name per palette type");
} // namespace

const char* VePaletteTypeName(TVePaletteType type) {
  return size_t(type) < std::size(Names) ? Names[type] : "Unknown";
}
