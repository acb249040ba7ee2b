#pragma once
// ZX Spectrum ULA+: the standard screen whose bright and flash bits choose one of four colour
// tables of 8 ink and 8 paper colours, picked from 256. The 256-colour palette, the 64-entry
// working palette with its four groups, the screens (8 x 8 and the Timex 8 x 1 layout), the
// cell candidates, the trial conversion that finds the colour pairs a picture wants, and the
// grouping of those pairs into the four tables.
#include <cstdint>
#include <memory>
#include <vector>

#include "VeCellImage.h"
#include "VePaletteType.h"
#include "zxspectrum/VePlatformZxSpectrum.h"

class TVeImage;

// Entry n = 32 G + 4 R + B (G, R three bits, B two); n is also the byte a file stores.
constexpr int ULAPlusColorCount = 256;
constexpr int ULAPlusTableBytes = 64;
constexpr int ULAPlusScreenBytes = ZxScreenBytes + ULAPlusTableBytes;   // 6976
constexpr int ULAPlusTimexBytes = 2 * ZxPixelBytes + ULAPlusTableBytes; // 12352
constexpr int ULAPlusGroupCount = 4;
constexpr int ULAPlusWorkingCount = 16 * ULAPlusGroupCount;

// "v1.0", "v1.1" or "v1.1 (Gray)"; any other type counts as "v1.1".
TVePaletteType ULAPlusPaletteType(TVePaletteType type);
// The level of a three-bit channel value: 0, 36, 73, 109, 146, 182, 219, 255.
constexpr uint8_t ULAPlusLevel(int v) {
  return uint8_t((v << 5) | (v << 2) | (v >> 1));
}
// The three-bit level of a two-bit blue value for a palette type.
int ULAPlusBlue(TVePaletteType type, int b);
// RGB-quad of entry n before the gray form of "v1.1 (Gray)".
uint32_t ULAPlusColorRGB(TVePaletteType type, int n);
// The 256 colours of a palette type ("v1.1 (Gray)": each the gray of equal luminance).
void ULAPlusMakePalette(TVePalette256& palette, TVePaletteType type);
// The entries of the palette that are grays, darkest first.
void ULAPlusMakeGrayPalette(TVePalette256& palette, TVePaletteType type);

// Working palette: entries 16 g + 0..7 are group g's paper colours, 16 g + 8..15 its ink
// colours; entries without a colour are hidden.
constexpr int ULAPlusGroup(int entry) {
  return entry / 16;
}
constexpr bool ULAPlusIsPaper(int entry) {
  return (entry & 15) < 8;
}
// A hidden entry (black, excluded).
void ULAPlusAddHidden(TVePalette256& working);
// Lays out groups: for each group its paper colours then its ink colours, each padded with
// hidden entries to 8 (missing groups are hidden throughout).
void ULAPlusLayOut(TVePalette256& working, const std::vector<std::vector<TVeColor>>& papers,
                   const std::vector<std::vector<TVeColor>>& inks);
// The layout of at most 17 colours: group 0 paper 0..7 and ink 1..8; with more than 9 also
// group 1 paper 0..7 and ink 9..16, and group 2 paper 8..15 and ink 9..16.
void ULAPlusLayOut17(TVePalette256& working, const TVePalette256& colors);
// The 64 table bytes: per group its ink entries' ULA+ numbers, then its paper entries'
// (exact match in the 256-colour palette; hidden or unmatched entries give 0).
void ULAPlusWriteTable(uint8_t* table, const TVePalette256& working, const TVePalette256& ulaPlus);

// One candidate of a cell: a single colour or a paper/ink pair of one group. During the
// grouping it also carries what the trial conversion learned about it.
class TVeULAPlusColor : public TVeCellPaperIncPalette {
public:
  using TVeCellPaperIncPalette::TVeCellPaperIncPalette;
  // Attribute: ink bits 0-2, paper bits 3-5, group bits 6-7.
  uint8_t Attribute() const;

  uint32_t PaperRGB = 0, InkRGB = 0;
  TVeLinRGBColor PaperLin, InkLin;
  uint32_t Cells = 0;                  // cells of the trial that chose it
  uint32_t PaperUses = 0, InkUses = 0; // pixels it gave paper and ink
  double MaxDistance = 0;              // to the farthest other pair
  int Group = -1, NearestGroup = -1;
};

// The trial candidates over the picture palette: every single (i, i), then every pair j < k.
class TVeULAPlusPreparePaletteList : public TVeCellPaletteList {
public:
  explicit TVeULAPlusPreparePaletteList(const TVePalette256& picture);
};

// The final candidates over the working palette: a single for each visible entry whose colour
// no earlier single offers, then per group every visible paper with every visible ink. With a
// restricting palette, entries whose colour it lacks are skipped.
class TVeULAPlusPalette64List : public TVeCellPaletteList {
public:
  TVeULAPlusPalette64List(const TVePalette256& working, const TVePalette256* restrict = nullptr);
};

// The 6912-byte screen with ULA+ attributes. In the two-colour mode SetPixel takes colour
// indices: the ink index sets the bit, any other clears it.
class TVeULAPlusScreen : public TVeZxSpectrumColorScreen {
public:
  using TVeZxSpectrumColorScreen::TVeZxSpectrumColorScreen;
  void SetTwoColorMode(int inkIndex) {
    FTwoColor = true;
    FInkIndex = inkIndex;
  }
  void SetPixel(int x, int y, int value) override;

private:
  bool FTwoColor = false;
  int FInkIndex = 1;
};

// The Timex 8 x 1 layout: one attribute per cell of a pixel line, laid out like the pixels
// (line y, column cx at 6144 + ZxScreenOffset(y, cx)).
class TVeULAPlusExtendedScreen : public TVeULAPlusScreen {
public:
  using TVeULAPlusScreen::TVeULAPlusScreen;
  int GetAttr(int cellX, int cellY) const override;
  void SetAttr(int cellX, int cellY, int attr) override;
};

// Progress of a conversion in three passes (trial, grouping, final) or in one.
struct TVeULAPlusProgress {
  TVeDestProgress* Progress = nullptr;
  bool ThreePasses = true;
  void Report(int pass, int total, int done) const {
    if (!Progress) return;
    if (ThreePasses)
      Progress->SetProgress(uint32_t(3 * total), uint32_t(pass * total + done));
    else
      Progress->SetProgress(uint32_t(total), uint32_t(done));
  }
};

// The final conversion over TVeULAPlusPalette64List; the options' palette is the working
// palette. The result is an 8-bit bitmap of it.
class TVeULAPlusImage : public TVeCellImage {
public:
  TVeULAPlusImage(int cellWidth, const TVeBitmap32& source, int cellHeight);

  TVeULAPlusProgress Passes;
  const TVePalette256* Restrict = nullptr;

  void Prepare() override;
  std::unique_ptr<TVeBitmap> CreateResult() override;
  TVeCellPaletteList* CreateCellPalettes() override;
  void WriteCellAttr(TVeCellScreen* screen, int cellX, TVeCellPalette* pal, int cellY) override;
  void WriteResultPixel(TVeBitmap* result, int x, int k, TVeCellPalette* pal, int y) override;
  void WriteScreenPixel(TVeCellScreen* screen, int x, int k, TVeCellPalette* pal, int y) override;
  void ReportProgress(TVeDestProgress* progress, int total, int done) override;
};

// The trial conversion over TVeULAPlusPreparePaletteList: writes nothing, counts what each
// candidate was chosen for. The list stays with the caller.
class TVeULAPlusQuantizationImage : public TVeCellImage {
public:
  TVeULAPlusQuantizationImage(int cellWidth, const TVeBitmap32& source, int cellHeight,
                              TVeULAPlusPreparePaletteList& list);

  TVeULAPlusProgress Passes;

  std::unique_ptr<TVeBitmap> CreateResult() override;
  TVeCellPaletteList* CreateCellPalettes() override { return &FList; }
  void FreeCellPalettes(TVeCellPaletteList*) override {}
  void DitherCell(TVeBitmap* result, TVeCellScreen* screen, TVeCellPalette* pal,
                  const TVeCellRect& rect, int cellY, int cellX) override;
  void WriteCellAttr(TVeCellScreen*, int, TVeCellPalette*, int) override {}
  void WriteResultPixel(TVeBitmap* result, int x, int k, TVeCellPalette* pal, int y) override;
  void WriteScreenPixel(TVeCellScreen*, int, int, TVeCellPalette*, int) override {}
  void ReportProgress(TVeDestProgress* progress, int total, int done) override;

private:
  TVeULAPlusPreparePaletteList& FList;
};

// Four groups of at most eight paper and eight ink colours for the candidates a trial
// conversion used (singles and pairs in list order), weighted by their use.
class TVeULAPlusQuantization {
public:
  // hardware: the colours a reduced side may take (the 256-colour palette or its grays).
  TVeULAPlusQuantization(const TVeCancelFlag* cancel, const TVePalette256& hardware, bool gray);
  // Fills the working palette; the candidates' Group fields tell where each went.
  void Execute(std::vector<TVeULAPlusColor*>& used, TVePalette256& working);

  static constexpr int MaxPasses = 200;

private:
  struct TSide {
    std::vector<uint32_t> Colors;
    std::vector<TVeLinRGBColor> Lin;
    std::vector<double> Weights;
    void Add(uint32_t rgb, const TVeLinRGBColor& lin, double weight);
    double Nearest(const TVeLinRGBColor& c) const; // distance; huge when empty
  };
  struct TGroup {
    TSide Paper, Ink;
  };

  void Recompute(const std::vector<TVeULAPlusColor*>& used);
  void Reduce(TSide& side);
  int NearestGroup(const TVeULAPlusColor& c, bool single) const;
  int Passes(const std::vector<TVeULAPlusColor*>& pairs);

  const TVeCancelFlag* FCancel;
  const TVePalette256& FHardware;
  bool FGray;
  TGroup FGroups[ULAPlusGroupCount];
};

// The colours of a picture for the ULA+ palette: the picture dithered to the palette, and the
// entries it used (distinct colours, in palette order, each with its pixel count as UseCount).
void ULAPlusDitheredColors(const TVeCancelFlag* cancel, const TVeImage& picture,
                           const TVePalette256& palette, uint8_t ditherMethod, int strength,
                           TVePalette256& colors);
