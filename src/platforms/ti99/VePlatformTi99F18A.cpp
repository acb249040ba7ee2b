#include "VePlatformTi99F18A.h"

#include "VeColor.h"

const TVeF18AColor Ti99F18APowerOn[16] = {0x000, 0x000, 0x2C3, 0x5D6, 0x54F, 0x76F, 0xD54, 0x4EF,
                                          0xF54, 0xF76, 0xDC3, 0xED6, 0x2B2, 0xC5C, 0xCCC, 0xFFF};

void Ti99F18AAddColor(TVePalette256& palette, TVeF18AColor value) {
  // 255 k / 15 = 17 k: the byte of level k is exact.
  palette.AddRGB(uint8_t((value >> 8 & 15) * 17), uint8_t((value >> 4 & 15) * 17),
                 uint8_t((value & 15) * 17));
}

TVeF18AColor Ti99F18AColorOf(const TVeColor& color) {
  const TVeLinRGBColor& v = color.GetLinRGB();
  return TVeF18AColor(LinearToLevel(v.R, 15) << 8 | LinearToLevel(v.G, 15) << 4 |
                      LinearToLevel(v.B, 15));
}

void Ti99F18AMakePowerOnPalette(TVePalette256& palette) {
  palette.BeginUpdate();
  palette.Clear();
  for (TVeF18AColor c : Ti99F18APowerOn)
    Ti99F18AAddColor(palette, c);
  palette.EndUpdate();
}

const TVePalette& Ti99F18AHardwarePalette() {
  static const TVePaletteRGB rgb444(4, 4, 4);
  return rgb444;
}

void Ti99F18AMakeGrayPalette(TVePalette256& palette) {
  palette.BeginUpdate();
  palette.Clear();
  for (int k = 0; k < 16; ++k)
    Ti99F18AAddColor(palette, TVeF18AColor(k * 0x111));
  palette.EndUpdate();
}

// ---- Bitmap mode -----------------------------------------------------------------------------

TVeCellPaletteList* TVeF18ABitmapImage::CreateCellPalettes() {
  if (!AnyPair || !FGray) return TVeMSXScreen2Image::CreateCellPalettes();
  // The colour modes' list: every entry alone, then every pair.
  auto* list = new TVeCellPaletteList;
  const int n = FPalette->Count();
  for (int i = 1; i < n; ++i)
    list->Add(new TVeCellPaperIncPalette(*FPalette, i, i));
  for (int i = 1; i < n; ++i)
    for (int j = i + 1; j < n; ++j)
      list->Add(new TVeCellPaperIncPalette(*FPalette, i, j));
  return list;
}

// ---- Scanline mode ---------------------------------------------------------------------------

TVeF18AScanlineImage::TVeF18AScanlineImage(const TVeBitmap32& source,
                                           const std::vector<TVePalette256>& lines)
    : TVeCellImage(8, source, 1), FLines(lines) {
  if (int(lines.size()) != FHeight) VeInternalError();
  FPairBounds = true;
}

std::unique_ptr<TVeBitmap> TVeF18AScanlineImage::Convert(const TVeCancelFlag* cancel,
                                                         const TVeCellOptions& options,
                                                         TVeCellScreen* screen,
                                                         TVeDestProgress* progress) {
  BeginConvert(cancel, options, progress);
  FBounded = FPairBounds && FDistance == VeMethodDeltaRGB;
  LoadWorkingPixels();
  struct TReset {
    TVeF18AScanlineImage* Image;
    ~TReset() {
      Image->FCellPalettes = nullptr;
      Image->FPairList = nullptr;
      Image->FList.reset();
      Image->FCurrentLine = -1;
    }
  } reset{this};
  UseLine(0);
  std::unique_ptr<TVeBitmap> result = RunCells(screen, true);
  StoreWorkingPixels();
  return result;
}

void TVeF18AScanlineImage::UseLine(int line) {
  if (line == FCurrentLine) return;
  if (line < 0 || line >= int(FLines.size())) VeInternalError();
  const TVePalette256& palette = FLines[size_t(line)];
  *FPalette = palette;
  FPalette->PrepareSearch();
  auto list = std::make_unique<TVeCellPaletteList>();
  const int n = palette.Count();
  for (int i = 1; i < n; ++i)
    list->Add(new TVeCellPaperIncPalette(palette, i, i));
  for (int i = 1; i < n; ++i)
    for (int j = i + 1; j < n; ++j)
      list->Add(new TVeCellPaperIncPalette(palette, i, j));
  list->PrepareCaches();
  // The bounded search keeps its entries by list address, which a new list may reuse.
  FPairList = nullptr;
  FList = std::move(list);
  FCellPalettes = FList.get();
  FCurrentLine = line;
}

void TVeF18AScanlineImage::ChoosePairList(const TVeCellRect& first, const TVeCellRect&) {
  UseLine(first.Top);
}

std::unique_ptr<TVeBitmap> TVeF18AScanlineImage::CreateResult() {
  return std::make_unique<TVeBitmap24>(FWidth, FHeight);
}

void TVeF18AScanlineImage::WriteCellAttr(TVeCellScreen* screen, int cellX, TVeCellPalette* pal,
                                         int cellY) {
  const auto* p = static_cast<TVeCellPaperIncPalette*>(pal);
  if (screen) screen->SetAttr(cellX, cellY, p->Ink << 4 | p->Paper);
}

void TVeF18AScanlineImage::WriteResultPixel(TVeBitmap* result, int x, int k, TVeCellPalette* pal,
                                            int y) {
  const auto* p = static_cast<TVeCellPaperIncPalette*>(pal);
  const TVePalette256& line = FLines[size_t(y)];
  result->SetPixel(x, y, int(line.GetRGBQuad(k ? p->Ink : p->Paper) & 0xFFFFFF));
}

void TVeF18AScanlineImage::WriteScreenPixel(TVeCellScreen* screen, int x, int k, TVeCellPalette*,
                                            int y) {
  if (screen) screen->SetPixel(x, y, k);
}
