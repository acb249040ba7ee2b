#pragma once
// The SPECTRA interface's attribute modes on the ZX Spectrum: the 64-colour palette, the mode
// register, where each attribute byte lies and the memory image from 4000h that holds the
// standard display file and the attribute areas (docs/formats/zxspectra.md has the layouts).
// Every mode is written in extra colours with two attribute bytes: a full cell takes any of
// the 64 colours as ink and as paper, a half cell any of them as ink on black.
#include <cstdint>

#include "VeCellImage.h"
#include "VePalette.h"
#include "zxspectrum/VePlatformZxSpectrum.h"

struct TVeZxSpectraMode {
  const char* Mode;  // the catalogue's name
  int Width, Height; // always 256 x 192
  int CellWidth;     // 8 (full cell) or 4 (half cell)
  int CellHeight;    // 8, 4, 2 or 1 lines
};
constexpr int ZxSpectraModeCount = 8;
const TVeZxSpectraMode& ZxSpectraMode(int index);

// Colour c (0..63) is G1G0 R1R0 B1B0, the bits of an extra-colour attribute byte; each
// channel has the levels 0, 55h, AAh, FFh.
constexpr int ZxSpectraColors = 64;
void ZxSpectraMakePalette(TVePalette256& palette);

// Mode register (port 7FDFh): half cell (bit 7), double byte (bit 3), extra colours (bit 2)
// and the line height (bits 1-0: 0 = 8 lines, 1 = 4, 2 = 2, 3 = 1).
constexpr uint8_t ZxSpectraHalfCell = 0x80;
constexpr uint8_t ZxSpectraDoubleByte = 0x08;
constexpr uint8_t ZxSpectraExtraColors = 0x04;
uint8_t ZxSpectraRegister(const TVeZxSpectraMode& mode);
// The mode a register value selects, or -1 for one Velmora does not write.
int ZxSpectraModeOfRegister(uint8_t value);

// The lines a cell of a line height covers at row y: with 1-line cells the bottom third falls
// back to 2 lines, since the second attribute bytes run out of memory at 7FFFh.
int ZxSpectraCellLines(int cellHeight, int y);
// Offset from 4000h of the first attribute byte of line y, byte column c; the second byte
// lies ZxSpectraSecondByte further on.
int ZxSpectraAttrOffset(int cellHeight, int y, int c);
int ZxSpectraSecondByte(int cellHeight, int y);
// Bytes of the memory image, and of the file: the image, then the register value.
int ZxSpectraImageBytes(int cellHeight);
inline int ZxSpectraFileBytes(int cellHeight) {
  return ZxSpectraImageBytes(cellHeight) + 1;
}

// The memory image over caller-owned bytes, as cells of the mode whose rows start at line
// top: a set pixel bit is ink. A full cell's attribute is ink | paper << 8; a half cell's is
// its ink, and the left half's goes to the second byte.
class TVeZxSpectraScreen : public TVeCellScreen {
public:
  TVeZxSpectraScreen(uint8_t* data, const TVeZxSpectraMode& mode, int cellHeight, int top);
  int GetPixel(int x, int y) const override;
  void SetPixel(int x, int y, int value) override;
  int GetAttr(int cellX, int cellY) const override;
  void SetAttr(int cellX, int cellY, int attr) override;

private:
  const TVeZxSpectraMode& FMode;
  int FCellHeight, FTop;
};

// The colour index of pixel (x, y) of an image of the mode.
int ZxSpectraPixel(const uint8_t* image, const TVeZxSpectraMode& mode, int x, int y);
