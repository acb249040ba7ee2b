#pragma once
// Cell modes whose every cell shows one pair out of a fixed list of (paper, ink) entries of
// the main palette: machines with an ink per byte on a black or chosen paper. The screen is
// given each chosen pair's attribute value and the pixels' bits (1 = ink).
#include <memory>
#include <vector>

#include "VeCellImage.h"

struct TVeCellPair {
  int Paper = 0;
  int Ink = 0;
  int Attr = 0; // what the screen stores for the pair
};

class TVePairCellImage : public TVeCellImage {
public:
  TVePairCellImage(const TVeBitmap32& source, int cellWidth, int cellHeight,
                   std::vector<TVeCellPair> pairs);

  std::unique_ptr<TVeBitmap> CreateResult() override;
  TVeCellPaletteList* CreateCellPalettes() override;
  void WriteCellAttr(TVeCellScreen* screen, int cellX, TVeCellPalette* pal, int cellY) override;
  void WriteResultPixel(TVeBitmap* result, int x, int k, TVeCellPalette* pal, int y) override;
  void WriteScreenPixel(TVeCellScreen* screen, int x, int k, TVeCellPalette* pal, int y) override;

private:
  std::vector<TVeCellPair> FPairs;
};
