#include "VePlatformTimex.h"

TVeTimexHiResScreen::TVeTimexHiResScreen(uint8_t* data)
    : TVeCellScreen(TimexHiResWidth, data, ZxScreenHeight) {}

int TVeTimexHiResScreen::GetPixel(int x, int y) const {
  x = StoredX(x);
  return Data()[TimexHiResOffset(y, x >> 3)] >> (7 - (x & 7)) & 1;
}

void TVeTimexHiResScreen::SetPixel(int x, int y, int value) {
  x = StoredX(x);
  uint8_t& b = Data()[TimexHiResOffset(y, x >> 3)];
  const uint8_t bit = uint8_t(0x80 >> (x & 7));
  b = value & 1 ? uint8_t(b | bit) : uint8_t(b & ~bit);
}

int TVeTimexHiResScreen::GetAttr(int, int) const {
  return TimexHiResInk(Data()[2 * ZxPixelBytes]);
}

void TVeTimexHiResScreen::SetAttr(int, int, int attr) {
  Data()[2 * ZxPixelBytes] = TimexHiResPort(attr);
}

TVeTimexHiResPaletteList::TVeTimexHiResPaletteList(const TVePalette256& palette, bool blackWhite) {
  for (int ink = 0; ink < 8; ++ink)
    if (!blackWhite || ink == zxBlack || ink == zxWhite)
      Add(new TVeCellPaperIncPalette(palette, zxBright + TimexHiResPaper(ink), zxBright + ink));
}

TVeTimexHiResImage::TVeTimexHiResImage(const TVeBitmap32& source)
    : TVeCellImage(TimexHiResWidth, source, ZxScreenHeight) {}

std::unique_ptr<TVeBitmap> TVeTimexHiResImage::CreateResult() {
  return std::make_unique<TVeBitmap4>(FWidth, FPalette.get(), FHeight);
}

TVeCellPaletteList* TVeTimexHiResImage::CreateCellPalettes() {
  return new TVeTimexHiResPaletteList(*FPalette, BlackWhite);
}

void TVeTimexHiResImage::WriteCellAttr(TVeCellScreen* screen, int cellX, TVeCellPalette* pal,
                                       int cellY) {
  if (screen)
    screen->SetAttr(cellX, cellY, static_cast<TVeCellPaperIncPalette*>(pal)->Ink - zxBright);
}

void TVeTimexHiResImage::WriteResultPixel(TVeBitmap* result, int x, int k, TVeCellPalette* pal,
                                          int y) {
  const auto* p = static_cast<TVeCellPaperIncPalette*>(pal);
  result->SetPixel(x, y, k ? p->Ink : p->Paper);
}

void TVeTimexHiResImage::WriteScreenPixel(TVeCellScreen* screen, int x, int k, TVeCellPalette*,
                                          int y) {
  if (screen) screen->SetPixel(x, y, k);
}
