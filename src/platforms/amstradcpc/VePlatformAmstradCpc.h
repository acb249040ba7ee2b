#pragma once
// Amstrad CPC screens: the 27 firmware colours as the Gate Array and the CPC Plus ASIC show
// them, the AMSDOS file header and the screen-memory layouts shared by the CPC engines and
// loaders.
#include <cstdint>
#include <string>
#include <vector>

#include "VePalette.h"
#include "VePaletteType.h"

// ---- Colours -------------------------------------------------------------------------------

constexpr int CpcColorCount = 27;
// Hardware colour number (with bit 6 set, as the Gate Array takes it) of each firmware colour.
extern const uint8_t CpcHardwareColour[CpcColorCount];
// Firmware colour of a hardware number (bit 6 and above ignored); the five numbers that
// repeat another colour give that colour.
int CpcFirmwareOfHardware(uint8_t hardware);

// The 27 colours in firmware order for a palette type. ptCPCPlus takes the ASIC colours
// rounded to its 4-bit levels; any other type is the Gate Array (sRGB).
void CpcMakePalette(TVePalette256& palette, TVePaletteType type);
// The colours a conversion may pick from: the 27 colours, or for ptCPCPlus all 4096.
const TVePalette& CpcHardwarePalette(TVePaletteType type);
// Firmware colours 0, 13, 26 ("Gray") and 0, 26 ("Black/white").
void CpcMakeGrayPalette(TVePalette256& palette, TVePaletteType type);
void CpcMakeBlackWhitePalette(TVePalette256& palette, TVePaletteType type);
// Flags over the 27 colours that "Сolor (bright)" may choose: black and every colour with a
// channel at full intensity.
std::vector<bool> CpcBrightColors();
// The firmware colour nearest to a colour, in the 27 colours of a type.
int CpcNearestFirmware(const TVeLinRGBColor& c, TVePaletteType type);
// 4-bit levels (red, green, blue) of a colour as the CPC Plus shows it.
void CpcPlusLevels(uint32_t rgbQuad, int& r, int& g, int& b);

// ---- AMSDOS header -------------------------------------------------------------------------

constexpr int CpcHeaderBytes = 128;
constexpr uint8_t CpcTypeBasic = 0;
constexpr uint8_t CpcTypeBinary = 2;

// The header with a blank name: type, lengths, load and entry addresses, checksum.
void CpcWriteHeader(uint8_t* to, uint8_t type, uint16_t length, uint16_t load, uint16_t entry);
// Puts the file name (without folder) into a header and sets the checksum again.
void CpcSetHeaderName(uint8_t* header, const std::string& fileName);
// The 8 + 3 characters a file name becomes in the header.
std::string CpcHeaderName(const std::string& fileName);
uint16_t CpcHeaderChecksum(const uint8_t* header);

struct TVeCpcHeader {
  uint8_t Type = 0;
  uint16_t Length = 0, Load = 0, Entry = 0, LogicalLength = 0, RealLength = 0;
  uint8_t RealLengthHigh = 0;
};
// False when fewer than 128 bytes are there or the checksum is wrong: such bytes are no header.
bool CpcReadHeader(const uint8_t* data, int32_t size, TVeCpcHeader& header);

// ---- Screen layouts -------------------------------------------------------------------------

constexpr int CpcScreenBytes = 0x4000;
constexpr int CpcOverscanBytes = 0x7E10; // data of the overscan file, from address 0170
constexpr int CpcOverscanLoad = 0x0170;
constexpr int CpcOverscanLoader = 144; // the loader block before the screen
constexpr int CpcOverscanModeAt = 20;  // mode + 14, the mode's number token in the BASIC line
constexpr int CpcOverscanPlusAt = 60;  // 0 Gate Array inks, 1 CPC Plus colours
constexpr int CpcOverscanInksAt = 0x7D90;
constexpr int CpcOverscanPlusColorsAt = 0x0691; // 16 pens and the border, 0GRB
// The ASIC unlock sequence the loader sends, in the free bytes after the Plus colours.
constexpr int CpcOverscanUnlockAt = 0x06C0;
extern const uint8_t CpcAsicUnlock[17];
// Standard screen: display routine, mode, inks and border in the unused bytes after the first
// eight-line block.
constexpr int CpcRoutineAt = 0x07D0;
constexpr int CpcModeAt = 0x17D0;
constexpr int CpcInksAt = 0x17D1;
constexpr int CpcBorderAt = 0x17E1;
extern const uint8_t CpcDisplayRoutine[36];
// The fixed loader block of the overscan file; see its definition for what it does.
extern const uint8_t CpcOverscanLoaderBlock[CpcOverscanLoader];

// First byte of pixel row y and of byte column col.
constexpr int CpcScreenOffset(int y, int col) {
  return (y % 8) * 2048 + (y / 8) * 80 + col;
}
constexpr int CpcOverscanOffset(int y, int col) {
  return (y % 8) * 2048 + (y / 8) * 96 + col + CpcOverscanLoader + (y >= 128 ? 0x3800 : 0);
}
constexpr int CpcHgbOffset(int y, int col) {
  return (y % 8) * 2048 + (y / 8) * 64 + col;
}

// Pixels per byte of a screen mode (0, 1, 2).
constexpr int CpcPixelsPerByte(int mode) {
  return mode == 0 ? 2 : mode == 1 ? 4 : 8;
}
// The bits of pixel p (0 = left) of a byte holding pen value; other pixels' bits are kept.
uint8_t CpcPackPixel(uint8_t byte, int mode, int p, int pen);
int CpcUnpackPixel(uint8_t byte, int mode, int p);
