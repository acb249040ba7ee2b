#include "VePlatformAmstradCpc.h"

#include <algorithm>
#include <cmath>
#include <cstring>

const uint8_t CpcHardwareColour[CpcColorCount] = {
    0x54, 0x44, 0x55, 0x5C, 0x58, 0x5D, 0x4C, 0x45, 0x4D, 0x56, 0x46, 0x57, 0x5E, 0x40,
    0x5F, 0x4E, 0x47, 0x4F, 0x52, 0x42, 0x53, 0x5A, 0x59, 0x5B, 0x4A, 0x43, 0x4B,
};

namespace {

// Measured intensities in percent, red, green, blue.
constexpr double GateArray[CpcColorCount][3] = {
    {0, 0.9615, 0.4808},        {0, 0.9615, 41.8269},        {4.8077, 0.9615, 95.6731},
    {42.3077, 0.9615, 0.4808},  {41.3462, 0.9615, 40.8654},  {42.3077, 0.9615, 94.7115},
    {95.1923, 1.9231, 2.4038},  {94.2308, 0.9615, 40.8654},  {95.1923, 0.9615, 95.6731},
    {0.9615, 47.1154, 0.4808},  {0, 47.1154, 40.8654},       {4.8077, 48.0769, 95.6731},
    {43.2692, 48.0769, 0.4808}, {43.2692, 49.0385, 41.8269}, {43.2692, 48.0769, 96.6346},
    {95.1923, 49.0385, 5.2885}, {95.1923, 49.0385, 41.8269}, {98.0769, 50, 97.5962},
    {0.9615, 94.2308, 0.4808},  {0, 95.1923, 41.8269},       {5.7692, 95.1923, 94.7115},
    {44.2308, 96.1538, 1.4423}, {44.2308, 95.1923, 41.8269}, {44.2308, 95.1923, 95.6731},
    {95.1923, 95.1923, 5.2885}, {95.1923, 95.1923, 42.7885}, {100, 95.1923, 97.5962},
};
constexpr double Asic[CpcColorCount][3] = {
    {0.823, 2.8807, 0.823},     {2.0576, 2.4691, 38.6831},   {2.0576, 2.8807, 94.6502},
    {40.3292, 2.4691, 0},       {40.7407, 2.8807, 39.0947},  {40.7407, 2.8807, 94.6502},
    {99.177, 2.8807, 1.6461},   {100, 2.8807, 39.0947},      {99.177, 2.8807, 95.0617},
    {1.6461, 40.3292, 1.2346},  {1.6461, 40.3292, 39.0947},  {2.0576, 40.3292, 94.6502},
    {40.7407, 40.3292, 1.6461}, {40.7407, 40.3292, 39.0947}, {40.7407, 40.3292, 94.6502},
    {99.177, 40.3292, 1.6461},  {99.177, 40.3292, 38.6831},  {99.177, 40.3292, 94.6502},
    {1.6461, 95.8848, 0.823},   {1.6461, 95.8848, 38.2716},  {1.6461, 95.8848, 94.6502},
    {40.7407, 95.8848, 0},      {40.7407, 95.8848, 39.0947}, {40.7407, 95.8848, 94.6502},
    {99.5885, 95.8848, 1.6461}, {99.177, 95.8848, 38.6831},  {99.177, 95.8848, 94.2387},
};

uint8_t PercentByte(double p) {
  return uint8_t(std::lround(std::clamp(p * 255 / 100, 0.0, 255.0)));
}
uint8_t PercentLevel4(double p) {
  return uint8_t(std::lround(std::clamp(p * 15 / 100, 0.0, 15.0)));
}

void AddFirmware(TVePalette256& palette, int n, TVePaletteType type) {
  switch (type) {
  case ptCPCGateArrayRGB:
  case ptCPCASICRGB: {
    const auto& t = type == ptCPCASICRGB ? Asic : GateArray;
    palette.AddRGB(PercentByte(t[n][0]), PercentByte(t[n][1]), PercentByte(t[n][2]));
    break;
  }
  case ptCPCASIC:
    palette.AddLin({Asic[n][0] / 100, Asic[n][1] / 100, Asic[n][2] / 100});
    break;
  case ptCPCPlus:
    palette.AddRGB(uint8_t(PercentLevel4(Asic[n][0]) * 17), uint8_t(PercentLevel4(Asic[n][1]) * 17),
                   uint8_t(PercentLevel4(Asic[n][2]) * 17));
    break;
  default:
    palette.AddLin({GateArray[n][0] / 100, GateArray[n][1] / 100, GateArray[n][2] / 100});
    break;
  }
}

} // namespace

int CpcFirmwareOfHardware(uint8_t hardware) {
  // 41, 48, 49, 50 and 51 repeat 40, 45, 43, 44 and 42.
  static const int8_t duplicates[32] = {13, 13, 19, 25, 1, 7, 10, 16, 7, 25, 24, 26, 6, 8, 15, 17,
                                        1,  19, 18, 20, 0, 2, 9,  11, 4, 22, 21, 23, 3, 5, 12, 14};
  return duplicates[hardware & 0x1F];
}

void CpcMakePalette(TVePalette256& palette, TVePaletteType type) {
  palette.BeginUpdate();
  palette.Clear();
  for (int n = 0; n < CpcColorCount; ++n)
    AddFirmware(palette, n, type);
  palette.EndUpdate();
}

const TVePalette& CpcHardwarePalette(TVePaletteType type) {
  static const TVePaletteRGB plus(4, 4, 4);
  static const auto make = [](TVePaletteType t) {
    TVePalette256 p;
    CpcMakePalette(p, t);
    p.PrepareSearch();
    return p;
  };
  static const TVePalette256 ga = make(ptCPCGateArray), gaRgb = make(ptCPCGateArrayRGB),
                             asic = make(ptCPCASIC), asicRgb = make(ptCPCASICRGB);
  switch (type) {
  case ptCPCPlus:
    return plus;
  case ptCPCGateArrayRGB:
    return gaRgb;
  case ptCPCASIC:
    return asic;
  case ptCPCASICRGB:
    return asicRgb;
  default:
    return ga;
  }
}

void CpcMakeGrayPalette(TVePalette256& palette, TVePaletteType type) {
  palette.BeginUpdate();
  palette.Clear();
  for (int n : {0, 13, 26})
    AddFirmware(palette, n, type);
  palette.EndUpdate();
}

void CpcMakeBlackWhitePalette(TVePalette256& palette, TVePaletteType type) {
  palette.BeginUpdate();
  palette.Clear();
  AddFirmware(palette, 0, type);
  AddFirmware(palette, 26, type);
  palette.EndUpdate();
}

std::vector<bool> CpcBrightColors() {
  // Firmware number = 9 green + 3 red + blue, each of levels 0, 1, 2.
  // The middle gray too: without it the only neutrals are black and white, and every
  // middle tone of a gray picture takes a tinted colour.
  std::vector<bool> bright(CpcColorCount);
  for (int n = 0; n < CpcColorCount; ++n)
    bright[size_t(n)] = n == 0 || n == 13 || n / 9 == 2 || n / 3 % 3 == 2 || n % 3 == 2;
  return bright;
}

int CpcNearestFirmware(const TVeLinRGBColor& c, TVePaletteType type) {
  TVePalette256 p;
  CpcMakePalette(p, type);
  return p.FindNearestLin(c);
}

void CpcPlusLevels(uint32_t rgbQuad, int& r, int& g, int& b) {
  auto level = [](uint32_t v) { return int(((v & 0xFF) * 15 + 127) / 255); };
  r = level(rgbQuad >> 16);
  g = level(rgbQuad >> 8);
  b = level(rgbQuad);
}

// ---- AMSDOS header -------------------------------------------------------------------------

namespace {
void PutWord(uint8_t* to, uint16_t v) {
  to[0] = uint8_t(v);
  to[1] = uint8_t(v >> 8);
}
uint16_t Word(const uint8_t* from) {
  return uint16_t(from[0] | from[1] << 8);
}
bool NameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         std::strchr("\"!#$&'+-^{}@", c) != nullptr;
}
// Upper case, every character the disk system refuses as "-" (one per character, whatever
// its length in UTF-8), cut to n and padded with spaces.
std::string NamePart(const std::string& s, size_t n) {
  size_t first = s.find_first_not_of(' '), last = s.find_last_not_of(' ');
  const std::string t = first == std::string::npos ? "" : s.substr(first, last - first + 1);
  std::string out;
  for (size_t i = 0; i < t.size() && out.size() < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(t[i]);
    if ((c & 0xC0) == 0x80) continue; // the rest of a character already replaced
    char u = char(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    out += c < 0x80 && NameChar(u) ? u : '-';
  }
  out.resize(n, ' ');
  return out;
}
} // namespace

uint16_t CpcHeaderChecksum(const uint8_t* header) {
  unsigned sum = 0;
  for (int i = 0; i <= 66; ++i)
    sum += header[i];
  return uint16_t(sum);
}

void CpcWriteHeader(uint8_t* to, uint8_t type, uint16_t length, uint16_t load, uint16_t entry) {
  std::memset(to, 0, CpcHeaderBytes);
  std::memset(to + 1, ' ', 11);
  to[18] = type;
  PutWord(to + 19, length);
  PutWord(to + 21, load);
  PutWord(to + 24, length);
  PutWord(to + 26, entry);
  PutWord(to + 64, length);
  PutWord(to + 67, CpcHeaderChecksum(to));
}

std::string CpcHeaderName(const std::string& fileName) {
  const size_t slash = fileName.find_last_of("/\\");
  const std::string name = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
  const size_t dot = name.rfind('.');
  const std::string base = dot == std::string::npos ? name : name.substr(0, dot);
  const std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
  return NamePart(base, 8) + NamePart(ext, 3);
}

void CpcSetHeaderName(uint8_t* header, const std::string& fileName) {
  const std::string n = CpcHeaderName(fileName);
  std::memcpy(header + 1, n.data(), 11);
  PutWord(header + 67, CpcHeaderChecksum(header));
}

bool CpcReadHeader(const uint8_t* data, int32_t size, TVeCpcHeader& h) {
  if (!data || size < CpcHeaderBytes) return false;
  if (Word(data + 67) != CpcHeaderChecksum(data)) return false;
  h.Type = data[18];
  h.Length = Word(data + 19);
  h.Load = Word(data + 21);
  h.LogicalLength = Word(data + 24);
  h.Entry = Word(data + 26);
  h.RealLength = Word(data + 64);
  h.RealLengthHigh = data[66];
  return true;
}

// ---- Screens --------------------------------------------------------------------------------

// Sets the mode, the border and the 16 inks from the bytes after the first block, then waits
// for a key.
const uint8_t CpcDisplayRoutine[36] = {
    0x3A, 0xD0, 0xD7, 0xCD, 0x1C, 0xBD, 0x21, 0xE1, 0xD7, 0x46, 0x48, 0xCD,
    0x38, 0xBC, 0xAF, 0x21, 0xD1, 0xD7, 0x46, 0x48, 0xF5, 0xE5, 0xCD, 0x32,
    0xBC, 0xE1, 0xF1, 0x23, 0x3C, 0xFE, 0x10, 0x20, 0xF1, 0xC3, 0x18, 0xBB,
};

// The overscan file is a BASIC program loaded at 0170:
//   10 REM VELMORA
//   20 MODE m:CALL &018E
// (the token of the digit m is data byte 20). The routine at 018E disables interrupts, so
// that the firmware never rewrites the inks, and programs the CRTC for a 96-byte, 272-line
// screen starting at 0200 (R1 48, R2 50, R6 34, R7 35, R12/R13 0D00). With data byte 60 at 0
// it sends the 16 inks and the border (hardware numbers at 7F00) to the Gate Array; with 1 it
// unlocks the Plus ASIC (the sequence at 0830), pages its registers in and copies the 16
// colours and the border (0801) into the palette at 6400. Then it holds the picture until
// the machine is reset.
// clang-format off
const uint8_t CpcOverscanLoaderBlock[CpcOverscanLoader] = {
    // 10 REM VELMORA
    0x0E, 0x00, 0x0A, 0x00, 0xC5, 0x20, 'V', 'E', 'L', 'M', 'O', 'R', 'A', 0x00,
    // 20 MODE 1:CALL &018E, then the end of the program
    0x0E, 0x00, 0x14, 0x00, 0xAD, 0x20, 0x0F, 0x01, 0x83, 0x20, 0x1C, 0x8E, 0x01, 0x00,
    0x00, 0x00,
    // 018E: JR 01B0, over the CRTC table (0190) and the palette flag (01AC)
    0x18, 0x20,
    0x01, 0x30, 0x02, 0x32, 0x06, 0x22, 0x07, 0x23, 0x0C, 0x0D, 0x0D, 0x00,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // 01B0: DI; LD HL,0190; LD D,6; LD BC,BC00
    0xF3, 0x21, 0x90, 0x01, 0x16, 0x06, 0x01, 0x00, 0xBC,
    // register, value: LD A,(HL); OUT (C),A; INC HL; INC B; LD A,(HL); OUT (C),A; DEC B;
    // INC HL; DEC D; JR NZ
    0x7E, 0xED, 0x79, 0x23, 0x04, 0x7E, 0xED, 0x79, 0x05, 0x23, 0x15, 0x20, 0xF3,
    // LD A,(01AC); OR A; JR NZ,plus
    0x3A, 0xAC, 0x01, 0xB7, 0x20, 0x14,
    // LD HL,7F00; LD BC,7F00; pen: OUT (C),C; LD A,(HL); OUT (C),A; INC HL; INC C; LD A,C;
    // CP 17; JR NZ,pen; JR $
    0x21, 0x00, 0x7F, 0x01, 0x00, 0x7F, 0xED, 0x49, 0x7E, 0xED, 0x79, 0x23, 0x0C, 0x79,
    0xFE, 0x11, 0x20, 0xF4, 0x18, 0xFE,
    // plus: LD HL,0830; LD E,17; unlock: LD A,(HL); OUT (C),A; INC HL; DEC E; JR NZ,unlock
    0x21, 0x30, 0x08, 0x1E, 0x11, 0x7E, 0xED, 0x79, 0x23, 0x1D, 0x20, 0xF9,
    // LD BC,7FB8; OUT (C),C; LD HL,0801; LD DE,6400; LD BC,34; LDIR; JR $
    0x01, 0xB8, 0x7F, 0xED, 0x49, 0x21, 0x01, 0x08, 0x11, 0x00, 0x64, 0x01, 0x22, 0x00,
    0xED, 0xB0, 0x18, 0xFE, 0x00, 0x00,
};
// clang-format on

const uint8_t CpcAsicUnlock[17] = {0xFF, 0x00, 0xFF, 0x77, 0xB3, 0x51, 0xA8, 0xD4, 0x62,
                                   0x39, 0x9C, 0x46, 0x2B, 0x15, 0x8A, 0xCD, 0xEE};

uint8_t CpcPackPixel(uint8_t byte, int mode, int p, int pen) {
  switch (mode) {
  case 0: {
    // Left pixel: colour bits 0-3 in byte bits 7, 3, 5, 1; the right one a bit lower.
    static const int bits[4] = {7, 3, 5, 1};
    for (int i = 0; i < 4; ++i) {
      const int b = bits[i] - p;
      byte = uint8_t((byte & ~(1 << b)) | ((pen >> i & 1) << b));
    }
    return byte;
  }
  case 1: {
    const int b0 = 7 - p, b1 = 3 - p;
    byte = uint8_t((byte & ~(1 << b0 | 1 << b1)) | (pen & 1) << b0 | (pen >> 1 & 1) << b1);
    return byte;
  }
  default:
    return uint8_t((byte & ~(1 << (7 - p))) | (pen & 1) << (7 - p));
  }
}

int CpcUnpackPixel(uint8_t byte, int mode, int p) {
  switch (mode) {
  case 0: {
    static const int bits[4] = {7, 3, 5, 1};
    int pen = 0;
    for (int i = 0; i < 4; ++i)
      pen |= (byte >> (bits[i] - p) & 1) << i;
    return pen;
  }
  case 1:
    return (byte >> (7 - p) & 1) | (byte >> (3 - p) & 1) << 1;
  default:
    return byte >> (7 - p) & 1;
  }
}
