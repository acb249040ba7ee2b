#pragma once
// The F18A, the FPGA replacement of the TMS9918A: the same bitmap mode, but its colours are
// 64 palette registers of 12 bits (4 per red, green, blue), of which the bitmap mode shows
// the first 16; the on-chip GPU can rewrite them every scanline.
#include <cstdint>
#include <vector>

#include "VeCellImage.h"
#include "VePalette.h"
#include "msx/VePlatformMsx.h"

// A register value: red << 8 | green << 4 | blue, 4 bits each.
using TVeF18AColor = uint16_t;

// The registers 0-15 after power-on, close to the TMS9918A colours (0 is transparent).
extern const TVeF18AColor Ti99F18APowerOn[16];

// A register value as a palette colour: level k of a channel is k / 15 of full scale.
void Ti99F18AAddColor(TVePalette256& palette, TVeF18AColor value);
// The register value nearest a colour, channel by channel.
TVeF18AColor Ti99F18AColorOf(const TVeColor& color);
// The power-on registers 0-15.
void Ti99F18AMakePowerOnPalette(TVePalette256& palette);
// The 4096 colours the registers can hold.
const TVePalette& Ti99F18AHardwarePalette();
// The 16 grays among them.
void Ti99F18AMakeGrayPalette(TVePalette256& palette);

// A register as the data port takes it: 0000RRRR, then GGGGBBBB.
inline void Ti99F18AWriteRegister(uint8_t* at, TVeF18AColor value) {
  at[0] = uint8_t(value >> 8 & 15);
  at[1] = uint8_t(value & 0xFF);
}
inline TVeF18AColor Ti99F18AReadRegister(const uint8_t* at) {
  return TVeF18AColor((at[0] & 15) << 8 | at[1]);
}

// Raw video memory dumps, there being no picture file for the chip: the pattern table, the
// colour table, then the registers 0-15 in data port order, once (".f18a") or once per
// line, line 0 first (".f18s").
constexpr int Ti99F18ATableBytes = 6144;
constexpr int Ti99F18ARegisterBytes = 16 * 2;
constexpr int Ti99F18APaletteAt = 2 * Ti99F18ATableBytes;
constexpr int Ti99F18ABytes = Ti99F18APaletteAt + Ti99F18ARegisterBytes;
constexpr int Ti99F18ALines = 192;
constexpr int Ti99F18AScanlineBytes = Ti99F18APaletteAt + Ti99F18ALines * Ti99F18ARegisterBytes;

// The bitmap mode whose cells take their two colours from any of the palette's entries 1 to
// the last, also in gray mode (the chosen grays need not sit at 1, 14 and 15).
class TVeF18ABitmapImage : public TVeMSXScreen2Image {
public:
  using TVeMSXScreen2Image::TVeMSXScreen2Image;
  bool AnyPair = false; // off: the TMS9918A's choice (gray: 1, 14, 15)
  TVeCellPaletteList* CreateCellPalettes() override;
};

// The bitmap mode with a palette per line: each 8 x 1 cell takes two of its line's entries
// 1 to the last. The error still runs from line to line. The preview holds true colours.
class TVeF18AScanlineImage : public TVeCellImage {
public:
  // lines: one palette per picture row (entry 0 transparent), kept by the caller.
  TVeF18AScanlineImage(const TVeBitmap32& source, const std::vector<TVePalette256>& lines);

  std::unique_ptr<TVeBitmap> Convert(const TVeCancelFlag* cancel, const TVeCellOptions& options,
                                     TVeCellScreen* screen, TVeDestProgress* progress) override;
  std::unique_ptr<TVeBitmap> CreateResult() override;
  // The lists are built line by line as the scan reaches them.
  TVeCellPaletteList* CreateCellPalettes() override { return nullptr; }
  void FreeCellPalettes(TVeCellPaletteList*) override {}
  void WriteCellAttr(TVeCellScreen* screen, int cellX, TVeCellPalette* pal, int cellY) override;
  void WriteResultPixel(TVeBitmap* result, int x, int k, TVeCellPalette* pal, int y) override;
  void WriteScreenPixel(TVeCellScreen* screen, int x, int k, TVeCellPalette* pal, int y) override;

protected:
  // Switches to the row's palette and candidates when the scan enters a new row.
  void ChoosePairList(const TVeCellRect& first, const TVeCellRect& second) override;

private:
  void UseLine(int line);
  const std::vector<TVePalette256>& FLines;
  std::unique_ptr<TVeCellPaletteList> FList;
  int FCurrentLine = -1;
};
