#include "VeSavePlatformZxSpectra.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VePairCellImage.h"
#include "VeStream.h"

TVeZxSpectraEngineOptions::TVeZxSpectraEngineOptions(const TVeZxSpectraMode& mode)
    : TVeModeTableOptions(mode) {
  FErrorDiffusion = 90;
  PaletteChanged();
}

void TVeZxSpectraEngineOptions::PaletteChanged() {
  TVePalette256 p;
  ZxSpectraMakePalette(p);
  SetPalette(&p);
}

TVeZxSpectraEngineUI::TVeZxSpectraEngineUI(TVeDestEngineOptions& options)
    : TVeDestEngineUIEx(options) {
  AddPositionBorder();
  AddPaletteSeparator();
  AddPaletteView(16, 4);
  AddDithering(true);
}

namespace {

// Full cells: every paper and ink of the 64 colours, each unordered pair once; half cells:
// every ink on black.
std::vector<TVeCellPair> Pairs(const TVeZxSpectraMode& m) {
  std::vector<TVeCellPair> pairs;
  if (m.CellWidth == 4) {
    for (int ink = 0; ink < ZxSpectraColors; ++ink)
      pairs.push_back({0, ink, ink});
    return pairs;
  }
  for (int paper = 0; paper < ZxSpectraColors; ++paper)
    for (int ink = paper; ink < ZxSpectraColors; ++ink)
      pairs.push_back({paper, ink, ink | paper << 8});
  return pairs;
}

TVeBitmap32 Lines(const TVeBitmap32& source, int top, int bottom) {
  TVeBitmap32 part(source.Width(), bottom - top);
  for (int y = top; y < bottom; ++y)
    std::copy_n(source.Scanline(y), source.Width(), part.Scanline(y - top));
  return part;
}

} // namespace

std::unique_ptr<TVeBitmap> ZxSpectraConvert(const TVeZxSpectraMode& m, const TVeCancelFlag* cancel,
                                            const TVeBitmap32& source,
                                            std::unique_ptr<TVeStreamList>& files,
                                            TVeDestProgress& progress,
                                            TVeDestEngineOptions& options) {
  if (source.Width() != m.Width || source.Height() != m.Height) VeInternalError();
  TVePalette256 palette;
  ZxSpectraMakePalette(palette);
  options.SetPalette(&palette);
  files = std::make_unique<TVeStreamList>();
  TVeStream* file = files->AddNew("spa", ZxSpectraFileBytes(m.CellHeight));
  uint8_t* data = file->Data();
  data[ZxSpectraImageBytes(m.CellHeight)] = ZxSpectraRegister(m);
  const TVeCellOptions cellOptions = VeCellOptionsOf(options);
  // One band per cell height: the 1-line mode's bottom third has 2-line cells.
  const int split = m.CellHeight == 1 ? 128 : m.Height;
  TVeZxSpectraScreen screen(data, m, m.CellHeight, 0);
  if (split == m.Height) {
    TVePairCellImage image(source, m.CellWidth, m.CellHeight, Pairs(m));
    image.KeepWorkingPixels = false;
    return image.Convert(cancel, cellOptions, &screen, &progress);
  }
  // The images read their source while they convert, so the parts outlive them.
  const TVeBitmap32 upper = Lines(source, 0, split), below = Lines(source, split, m.Height);
  TVePairCellImage top(upper, m.CellWidth, m.CellHeight, Pairs(m));
  top.KeepWorkingPixels = false;
  auto result = top.Convert(cancel, cellOptions, &screen, &progress);
  const int lines = ZxSpectraCellLines(m.CellHeight, split);
  TVeZxSpectraScreen lower(data, m, lines, split);
  TVePairCellImage bottom(below, m.CellWidth, lines, Pairs(m));
  bottom.KeepWorkingPixels = false;
  auto rest = bottom.Convert(cancel, cellOptions, &lower, &progress);
  auto whole = std::make_unique<TVeBitmap8>(m.Width, &palette, m.Height);
  for (int y = 0; y < m.Height; ++y)
    for (int x = 0; x < m.Width; ++x)
      whole->SetPixel(x, y, y < split ? result->GetPixel(x, y) : rest->GetPixel(x, y - split));
  return whole;
}

void RegisterZxSpectraEngines(TVeDestEngineList& list) {
  VeReplaceModeTableEngines<TVeZxSpectraFamily, ZxSpectraModeCount>(list);
}
