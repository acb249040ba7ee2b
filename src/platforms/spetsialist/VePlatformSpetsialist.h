#pragma once
// Specialist screens: 384 x 256 pixels stored by byte column, white on black on the original
// machine, and the MX's colour memory beside it (one ink and paper byte per video byte);
// docs/formats/spetsialist.md has the layout.
#include <cstdint>

#include "VeCellImage.h"
#include "VePalette.h"
#include "VePaletteType.h"

constexpr int SpecialistWidth = 384;
constexpr int SpecialistHeight = 256;
// Video memory 9000h-BFFFh: 48 columns of 256 bytes, a column's bytes one per line.
constexpr int SpecialistLoadAddress = 0x9000;
constexpr int SpecialistScreenBytes = 48 * 256; // 12288
constexpr int SpecialistOffset(int x, int y) {
  return (x >> 3) * 256 + y;
}
// The tape file: start and end address (little-endian), the bytes, and optionally a two-byte
// checksum that Velmora neither writes nor checks.
constexpr int SpecialistRksHeader = 4;
constexpr int SpecialistRksBytes = SpecialistRksHeader + SpecialistScreenBytes;
constexpr int SpecialistRksChecksum = 2;

// Black and white.
const TVePalette256& SpecialistMonoPalette();
// The MX's 16 colours, IRGB (bit 3 intensity, bit 2 red, bit 1 green, bit 0 blue), at the
// levels of a palette type: ptColored16 normal C0h and bright FFh with grey 808080 for bright
// black; ptColoredEMU the CGA levels (AAh, with 55h added to every channel of the bright ones
// and brown for 6).
constexpr TVePaletteType SpecialistMxLevels = ptColored16;
constexpr TVePaletteType SpecialistMxCgaLevels = ptColoredEMU;
void SpecialistMakeMxPalette(TVePalette256& palette, TVePaletteType type);

// The screen over caller-owned video memory and, for the MX, colour memory (high nibble the
// ink of set pixels, low nibble the paper); without colour memory the attribute is dropped.
class TVeSpecialistScreen : public TVeCellScreen {
public:
  TVeSpecialistScreen(uint8_t* video, uint8_t* colors);
  int GetPixel(int x, int y) const override;
  void SetPixel(int x, int y, int value) override;
  int GetAttr(int cellX, int cellY) const override;
  void SetAttr(int cellX, int cellY, int attr) override;

private:
  uint8_t* FColors;
};
