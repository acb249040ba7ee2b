#include "VeSavePlatformIrisha.h"

#include <utility>
#include <vector>

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VePairCellImage.h"
#include "VePaletteSteps.h"
#include "VePlatformIrisha.h"
#include "VeStream.h"

const TVeIrishaModeInfo& IrishaModeInfo(int index) {
  // The 200 lines sit in a 240-line frame filling a 4:3 picture: 320 pixels are square,
  // 640 twice as high as wide.
  static const TVeIrishaModeInfo modes[] = {
      {"320x200x1", false, 320, IrishaHeight, VeAspectSquare},
      {"640x200x1", true, 640, IrishaHeight, 1},
  };
  if (index < 0 || index >= 2) VeInternalError();
  return modes[index];
}

namespace {

void BlackWhite(TVePalette256& p) {
  p.Clear();
  p.AddRGB(0, 0, 0);
  p.AddRGB(255, 255, 255);
}

} // namespace

TVeIrishaEngineOptions::TVeIrishaEngineOptions(const TVeIrishaModeInfo& mode)
    : TVeModeTableOptions(mode) {
  FAspectIndex = mode.Aspect;
  if (!mode.HighRes) FDitherMethod = dmJarvisJudiceNinke;
}

void TVeIrishaEngineOptions::PaletteChanged() {
  TVePalette256 p;
  if (FMode->HighRes)
    BlackWhite(p);
  else
    p.Assign(&IrishaColors());
  SetPalette(&p);
}

TVeIrishaEngineUI::TVeIrishaEngineUI(TVeDestEngineOptions& options) : TVeDestEngineUIEx(options) {
  auto* own = dynamic_cast<TVeIrishaEngineOptions*>(&options);
  if (!own) VeInternalError();
  AddPositionBorder();
  AddPaletteSeparator();
  AddPaletteView(own->Mode().HighRes ? 2 : 8, 1);
  AddDithering(!own->Mode().HighRes);
}

std::unique_ptr<TVeBitmap> IrishaConvert(const TVeIrishaModeInfo& m, const TVeCancelFlag* cancel,
                                         const TVeBitmap32& source,
                                         std::unique_ptr<TVeStreamList>& files,
                                         TVeDestProgress& progress, TVeDestEngineOptions& options) {
  if (source.Width() != m.Width || source.Height() != m.Height) VeInternalError();
  files = std::make_unique<TVeStreamList>();
  if (!m.HighRes) {
    // The whole screen is one cell: the trial of each port value picks ink and paper.
    options.SetPalette(&IrishaColors());
    std::vector<TVeCellPair> pairs;
    for (int ink = 1; ink < 8; ++ink)
      for (int paper = 0; paper < 4; ++paper)
        pairs.push_back({IrishaPaper(paper), IrishaInk(ink), IrishaColorPort(ink, paper)});
    TVeIrishaScreen screen(files->AddNew("ir3", IrishaLowResFileBytes)->Data());
    TVePairCellImage image(source, m.Width, m.Height, std::move(pairs));
    image.KeepWorkingPixels = false;
    return image.Convert(cancel, VeCellOptionsOf(options), &screen, &progress);
  }
  progress.SetProgress(1, 0);
  TVePalette256 palette;
  BlackWhite(palette);
  options.SetPalette(&palette);
  auto result = VeDitherToPalette(cancel, source, options, palette, progress);
  uint8_t* data = files->AddNew("ir6", IrishaHighResFileBytes)->Data();
  for (int y = 0; y < m.Height; ++y)
    for (int x = 0; x < m.Width; ++x)
      if (result->GetPixel(x, y)) data[y * 80 + x / 8] |= uint8_t(0x80 >> (x & 7));
  data[IrishaHighResBytes] = IrishaHighResMode;
  return result;
}

void RegisterIrishaEngines(TVeDestEngineList& list) {
  VeReplaceModeTableEngines<TVeIrishaFamily, 2>(list);
}
