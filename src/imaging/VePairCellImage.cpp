#include "VePairCellImage.h"

#include <utility>

namespace {

class TVeListedPair : public TVeCellPaperIncPalette {
public:
  TVeListedPair(const TVePalette256& palette, const TVeCellPair& pair)
      : TVeCellPaperIncPalette(palette, pair.Paper, pair.Ink), Attr(pair.Attr) {}
  int Attr;
};

} // namespace

TVePairCellImage::TVePairCellImage(const TVeBitmap32& source, int cellWidth, int cellHeight,
                                   std::vector<TVeCellPair> pairs)
    : TVeCellImage(cellWidth, source, cellHeight), FPairs(std::move(pairs)) {
  FPairBounds = true;
}

std::unique_ptr<TVeBitmap> TVePairCellImage::CreateResult() {
  if (FPalette->Count() <= 16) return std::make_unique<TVeBitmap4>(FWidth, FPalette.get(), FHeight);
  return std::make_unique<TVeBitmap8>(FWidth, FPalette.get(), FHeight);
}

TVeCellPaletteList* TVePairCellImage::CreateCellPalettes() {
  auto* list = new TVeCellPaletteList;
  for (const TVeCellPair& p : FPairs)
    list->Add(new TVeListedPair(*FPalette, p));
  return list;
}

void TVePairCellImage::WriteCellAttr(TVeCellScreen* screen, int cellX, TVeCellPalette* pal,
                                     int cellY) {
  if (screen) screen->SetAttr(cellX, cellY, static_cast<TVeListedPair*>(pal)->Attr);
}

void TVePairCellImage::WriteResultPixel(TVeBitmap* result, int x, int k, TVeCellPalette* pal,
                                        int y) {
  const auto* p = static_cast<TVeListedPair*>(pal);
  result->SetPixel(x, y, k ? p->Ink : p->Paper);
}

void TVePairCellImage::WriteScreenPixel(TVeCellScreen* screen, int x, int k, TVeCellPalette*,
                                        int y) {
  if (screen) screen->SetPixel(x, y, k);
}
