#include "VePlatformPico8.h"

#include <cstring>
#include <string_view>

#include "VeByteReader.h"
#include "VePalette.h"

namespace {

constexpr uint32_t Colors[32] = {
    0x000000, 0x1D2B53, 0x7E2553, 0x008751, 0xAB5236, 0x5F574F, 0xC2C3C7, 0xFFF1E8,
    0xFF004D, 0xFFA300, 0xFFEC27, 0x00E436, 0x29ADFF, 0x83769C, 0xFF77A8, 0xFFCCAA,
    0x291814, 0x111D35, 0x422136, 0x125359, 0x742F29, 0x49333B, 0xA28879, 0xF3EF7D,
    0xBE1250, 0xFF6C24, 0xA8E72E, 0x00B543, 0x065AB5, 0x754665, 0xFF6E59, 0xFF9D81};

constexpr char Header[] = "pico-8 cartridge // http://www.pico-8.com";
constexpr char PalCall[] = "pal({[0]=";

TVePalette256 MakeSet(int first, int count) {
  TVePalette256 p;
  for (int i = first; i < first + count; ++i)
    p.AddRGB(uint8_t(Colors[i] >> 16), uint8_t(Colors[i] >> 8), uint8_t(Colors[i]));
  return p;
}

// The next line without its end ("\n" or "\r\n"); false at the end of the text.
bool NextLine(TVeByteReader& r, std::string_view& line) {
  if (r.Remaining <= 0) return false;
  const void* end = std::memchr(r.Pos, '\n', size_t(r.Remaining));
  const int32_t length = end ? int32_t(static_cast<const uint8_t*>(end) - r.Pos) : r.Remaining;
  const uint8_t* start = r.Take(length);
  if (end) r.Skip(1);
  line = std::string_view(reinterpret_cast<const char*>(start), size_t(length));
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return true;
}

bool IsSection(std::string_view line) {
  return line.size() > 4 && line.substr(0, 2) == "__" && line.substr(line.size() - 2) == "__";
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "pal({[0]=v0,v1,...,v15},1)" as Pico8Cartridge writes it: 16 colour values.
bool ReadPalCall(std::string_view line, uint8_t values[Pico8Slots]) {
  const size_t at = line.find(PalCall);
  if (at == std::string_view::npos) return false;
  line.remove_prefix(at + sizeof(PalCall) - 1);
  for (int i = 0; i < Pico8Slots; ++i) {
    int v = 0, digits = 0;
    while (!line.empty() && line[0] >= '0' && line[0] <= '9' && digits < 4) {
      v = v * 10 + (line[0] - '0');
      ++digits;
      line.remove_prefix(1);
    }
    if (digits == 0 || Pico8ColorEntry(v) < 0) return false;
    values[i] = uint8_t(v);
    const char* sep = i + 1 < Pico8Slots ? "," : "},1)";
    if (line.substr(0, std::strlen(sep)) != sep) return false;
    line.remove_prefix(std::strlen(sep));
  }
  return true;
}

} // namespace

uint32_t Pico8ColorRGB(int value) {
  const int entry = Pico8ColorEntry(value);
  return entry < 0 ? 0 : Colors[entry];
}

int Pico8ColorValue(int entry) {
  if (entry < 0 || entry >= 32) return -1;
  return entry < 16 ? entry : 128 + entry - 16;
}

int Pico8ColorEntry(int value) {
  if (value >= 0 && value < 16) return value;
  if (value >= 128 && value < 144) return value - 128 + 16;
  return -1;
}

const TVePalette256& Pico8BasePalette() {
  static const TVePalette256 p = MakeSet(0, 16);
  return p;
}

const TVePalette256& Pico8ExtraPalette() {
  static const TVePalette256 p = MakeSet(16, 16);
  return p;
}

const TVePalette256& Pico8AllColors() {
  static const TVePalette256 p = MakeSet(0, 32);
  return p;
}

void TVePico8Picture::MakePalette(TVePalette256& palette) const {
  palette.BeginUpdate();
  palette.Clear();
  for (uint8_t v : ScreenPalette) {
    const uint32_t c = Pico8ColorRGB(v);
    palette.AddRGB(uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c));
  }
  palette.EndUpdate();
}

std::string Pico8Cartridge(const TVePico8Picture& picture) {
  std::string s = std::string(Header) + "\nversion 41\n__lua__\n";
  s += "-- shows the picture of the sprite sheet\n";
  s += PalCall;
  for (int i = 0; i < Pico8Slots; ++i)
    s += (i ? "," : "") + std::to_string(picture.ScreenPalette[i]);
  s += "},1)\nmemcpy(0x6000,0,0x2000)\n::show::\nflip()\ngoto show\n__gfx__\n";
  static const char digits[] = "0123456789abcdef";
  for (int y = 0; y < Pico8Size; ++y) {
    for (int x = 0; x < Pico8Size; ++x)
      s += digits[picture.Slots[size_t(y * Pico8Size + x)] & 15];
    s += '\n';
  }
  return s;
}

bool Pico8IsCartridge(const uint8_t* data, int32_t size) {
  const size_t n = sizeof(Header) - 1;
  return data && size >= int32_t(n) && std::memcmp(data, Header, n) == 0;
}

bool Pico8ReadCartridge(const uint8_t* data, int32_t size, TVePico8Picture& picture,
                        std::string& problem, bool& paletteFound) {
  paletteFound = false;
  if (!Pico8IsCartridge(data, size)) {
    problem = "it does not start with the Pico-8 cartridge line";
    return false;
  }
  picture = TVePico8Picture();
  TVeByteReader r(data, size);
  std::string_view line;
  std::string_view section;
  int gfxRows = 0;
  bool gfxSeen = false;
  for (int number = 1; NextLine(r, line); ++number) {
    if (IsSection(line)) {
      section = line;
      if (section == "__gfx__") {
        if (gfxSeen) {
          problem = "it holds two __gfx__ sections";
          return false;
        }
        gfxSeen = true;
      }
      continue;
    }
    if (section == "__lua__" && !paletteFound) {
      paletteFound = ReadPalCall(line, picture.ScreenPalette);
    } else if (section == "__gfx__") {
      // Lines past the last one written are zero; none may be cut short.
      if (line.empty()) continue;
      if (gfxRows >= Pico8Size || line.size() != size_t(Pico8Size)) {
        problem =
            "line " + std::to_string(number) + " of its sprite sheet " +
            (gfxRows >= Pico8Size ? "is more than 128 rows"
                                  : "holds " + std::to_string(line.size()) + " digits, not 128");
        return false;
      }
      for (int x = 0; x < Pico8Size; ++x) {
        const int v = HexDigit(line[size_t(x)]);
        if (v < 0) {
          problem = "line " + std::to_string(number) +
                    " of its sprite sheet holds a character "
                    "that is not a hex digit";
          return false;
        }
        picture.Slots[size_t(gfxRows * Pico8Size + x)] = uint8_t(v);
      }
      ++gfxRows;
    }
  }
  if (!paletteFound)
    for (int i = 0; i < Pico8Slots; ++i)
      picture.ScreenPalette[i] = uint8_t(i);
  if (!gfxSeen) {
    problem = "it has no __gfx__ section";
    return false;
  }
  return true;
}
