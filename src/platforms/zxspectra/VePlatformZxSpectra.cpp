#include "VePlatformZxSpectra.h"

#include "VeErrors.h"

const TVeZxSpectraMode& ZxSpectraMode(int index) {
  static const TVeZxSpectraMode modes[ZxSpectraModeCount] = {
      {"256x192 (8x1)", 256, 192, 8, 1}, {"256x192 (8x2)", 256, 192, 8, 2},
      {"256x192 (8x4)", 256, 192, 8, 4}, {"256x192 (8x8)", 256, 192, 8, 8},
      {"256x192 (4x1)", 256, 192, 4, 1}, {"256x192 (4x2)", 256, 192, 4, 2},
      {"256x192 (4x4)", 256, 192, 4, 4}, {"256x192 (4x8)", 256, 192, 4, 8},
  };
  if (index < 0 || index >= ZxSpectraModeCount) VeInternalError();
  return modes[index];
}

void ZxSpectraMakePalette(TVePalette256& palette) {
  palette.BeginUpdate();
  palette.Clear();
  for (int c = 0; c < ZxSpectraColors; ++c)
    palette.AddRGB(uint8_t((c >> 2 & 3) * 0x55), uint8_t((c >> 4 & 3) * 0x55),
                   uint8_t((c & 3) * 0x55));
  palette.EndUpdate();
}

namespace {

int HeightBits(int cellHeight) {
  switch (cellHeight) {
  case 8:
    return 0;
  case 4:
    return 1;
  case 2:
    return 2;
  case 1:
    return 3;
  }
  VeInternalError();
}

// Lines 128..191 of the 1-line mode: the 2-line layout in 5800h-5BFFh.
bool FallsBack(int cellHeight, int y) {
  return cellHeight == 1 && y >= 128;
}

} // namespace

uint8_t ZxSpectraRegister(const TVeZxSpectraMode& mode) {
  return uint8_t((mode.CellWidth == 4 ? ZxSpectraHalfCell : 0) | ZxSpectraDoubleByte |
                 ZxSpectraExtraColors | HeightBits(mode.CellHeight));
}

int ZxSpectraModeOfRegister(uint8_t value) {
  for (int i = 0; i < ZxSpectraModeCount; ++i)
    if (ZxSpectraRegister(ZxSpectraMode(i)) == value) return i;
  return -1;
}

int ZxSpectraCellLines(int cellHeight, int y) {
  return FallsBack(cellHeight, y) ? 2 : cellHeight;
}

int ZxSpectraAttrOffset(int cellHeight, int y, int c) {
  const int row = (y >> 3 & 7) * 32 + c;
  if (FallsBack(cellHeight, y)) return 0x1800 + (y & 7) / 2 * 256 + row;
  switch (cellHeight) {
  case 8:
    return 0x1800 + (y >> 3) * 32 + c;
  case 4:
    return 0x2000 + (y & 0xC0) * 8 + (y & 7) / 4 * 256 + row;
  case 2:
    return 0x2000 + (y & 0xC0) * 16 + (y & 7) / 2 * 256 + row;
  case 1:
    return 0x2000 + ZxScreenOffset(y, c);
  }
  VeInternalError();
}

int ZxSpectraSecondByte(int cellHeight, int y) {
  if (FallsBack(cellHeight, y)) return 0x400;
  switch (cellHeight) {
  case 8:
    return 0x400;
  case 4:
    return 0x800;
  default:
    return 0x1000;
  }
}

int ZxSpectraImageBytes(int cellHeight) {
  switch (cellHeight) {
  case 8:
    return 0x1F00;
  case 4:
    return 0x2E00;
  case 2:
    return 0x3C00;
  case 1:
    return 0x4000;
  }
  VeInternalError();
}

TVeZxSpectraScreen::TVeZxSpectraScreen(uint8_t* data, const TVeZxSpectraMode& mode, int cellHeight,
                                       int top)
    : TVeCellScreen(ZxScreenWidth, data, ZxScreenHeight), FMode(mode), FCellHeight(cellHeight),
      FTop(top) {}

int TVeZxSpectraScreen::GetPixel(int x, int y) const {
  x = StoredX(x);
  y += FTop;
  return Data()[ZxScreenOffset(y, x >> 3)] >> (7 - (x & 7)) & 1;
}

void TVeZxSpectraScreen::SetPixel(int x, int y, int value) {
  x = StoredX(x);
  y += FTop;
  uint8_t& b = Data()[ZxScreenOffset(y, x >> 3)];
  const uint8_t bit = uint8_t(0x80 >> (x & 7));
  b = value & 1 ? uint8_t(b | bit) : uint8_t(b & ~bit);
}

int TVeZxSpectraScreen::GetAttr(int cellX, int cellY) const {
  if (Reversed) cellX = ZxScreenWidth / FMode.CellWidth - 1 - cellX;
  const int y = FTop + cellY * FCellHeight;
  const int mh = FMode.CellHeight;
  if (FMode.CellWidth == 4) {
    const int at = ZxSpectraAttrOffset(mh, y, cellX >> 1);
    return Data()[cellX & 1 ? at : at + ZxSpectraSecondByte(mh, y)] & 63;
  }
  const int at = ZxSpectraAttrOffset(mh, y, cellX);
  return (Data()[at] & 63) | (Data()[at + ZxSpectraSecondByte(mh, y)] & 63) << 8;
}

void TVeZxSpectraScreen::SetAttr(int cellX, int cellY, int attr) {
  if (Reversed) cellX = ZxScreenWidth / FMode.CellWidth - 1 - cellX;
  const int mh = FMode.CellHeight;
  const int top = FTop + cellY * FCellHeight;
  for (int y = top; y < top + FCellHeight && y < ZxScreenHeight; ++y) {
    const int second = ZxSpectraSecondByte(mh, y);
    if (FMode.CellWidth == 4) {
      const int at = ZxSpectraAttrOffset(mh, y, cellX >> 1);
      Data()[cellX & 1 ? at : at + second] = uint8_t(attr & 63);
    } else {
      const int at = ZxSpectraAttrOffset(mh, y, cellX);
      Data()[at] = uint8_t(attr & 63);
      Data()[at + second] = uint8_t(attr >> 8 & 63);
    }
  }
}

int ZxSpectraPixel(const uint8_t* image, const TVeZxSpectraMode& mode, int x, int y) {
  const int c = x >> 3;
  const bool ink = image[ZxScreenOffset(y, c)] >> (7 - (x & 7)) & 1;
  const int at = ZxSpectraAttrOffset(mode.CellHeight, y, c);
  const int second = at + ZxSpectraSecondByte(mode.CellHeight, y);
  if (mode.CellWidth == 4) return ink ? image[(x & 7) < 4 ? second : at] & 63 : 0;
  return image[ink ? at : second] & 63;
}
