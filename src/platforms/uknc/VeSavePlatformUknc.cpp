#include "VeSavePlatformUknc.h"

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeHAMImage.h"
#include "VeImage.h"
#include "VePaletteSteps.h"
#include "VePlatformUknc.h"
#include "VeStream.h"

const TVeUkncModeInfo& UkncModeInfo(int index) {
  static const TVeUkncModeInfo modes[] = {{"640x288x3", UkncWidth, UkncHeight}};
  if (index != 0) VeInternalError();
  return modes[0];
}

namespace {
// Every line may set all eight entries: the palette record of each line descriptor.
constexpr int LineColors = 8;
constexpr int LineChangeType = 2;
} // namespace

TVeUkncEngineOptions::TVeUkncEngineOptions(const TVeUkncModeInfo& mode)
    : TVeModeTableOptions(mode) {
  // 640 x 288 filling a 4:3 picture: pixels about 0.6 times as wide as high.
  FAspectIndex = 3;
  FHamMaxChanges = LineColors;
}

void TVeUkncEngineOptions::PaletteChanged() {
  SetPalette(&UkncPalette());
}

TVeUkncEngineUI::TVeUkncEngineUI(TVeDestEngineOptions& options) : TVeDestEngineUIEx(options) {
  AddPositionBorder();
  AddPaletteSeparator();
  AddPaletteView(16, 1);
  AddDithering(false);
}

std::unique_ptr<TVeBitmap> UkncConvert(const TVeUkncModeInfo& m, const TVeCancelFlag* cancel,
                                       const TVeBitmap32& source,
                                       std::unique_ptr<TVeStreamList>& files,
                                       TVeDestProgress& progress, TVeDestEngineOptions& options) {
  if (source.Width() != m.Width || source.Height() != m.Height) VeInternalError();
  progress.SetProgress(2, 0);
  const TVePalette256& target = UkncPalette();
  TVeImage prepared(source);
  prepared.ApplyFixes(options.SaturationFix(), options.LightnessFix());
  TVeHAMPalette ham(cancel, LineChangeType, 0, LineColors, LineColors, target, prepared);
  progress.Step();
  files = std::make_unique<TVeStreamList>();
  uint8_t* data = files->AddNew("ukn", UkncFileBytes)->Data();
  TVeUkncScreen screen(data);
  TVeHAMImage image(source);
  TVeDitherOptions d = VeDitherOptionsOf(options);
  d.GrayPalette = false;
  auto result = image.Convert(cancel, d, &target, ham, &screen);
  for (int y = 0; y < UkncHeight; ++y) {
    const TVeHAMLine& line = *ham.Line(y);
    uint32_t word = 0;
    for (int n = 0; n < line.SlotCount() && n < LineColors; ++n)
      word |= uint32_t(UkncColorNumber(line.GetColor(n)->Quad)) << (4 * n);
    uint8_t* at = data + UkncScreenBytes + 4 * y;
    for (int k = 0; k < 4; ++k)
      at[k] = uint8_t(word >> (8 * k));
  }
  VeSetFirstLinePalette(ham, options);
  progress.Step();
  return result;
}

void RegisterUkncEngines(TVeDestEngineList& list) {
  VeReplaceModeTableEngines<TVeUkncFamily, 1>(list);
}
