#include "VePaletteSteps.h"

#include "VeHAMImage.h"
#include "VeImage.h"
#include "VePalette.h"
#include "VeProgress.h"
#include "VeQuantization.h"

int VeColorLimit(const TVeDestEngineOptions& o, int most) {
  const int n = o.MaxColorCount();
  return n <= 1 || n > most ? most : n;
}

std::unique_ptr<TVeBitmap> VeQuantizeAndDither(const TVeCancelFlag* cancel,
                                               const TVeBitmap32& source,
                                               TVeDestEngineOptions& options,
                                               const TVePalette256& machine, int most,
                                               TVePalette256& palette, TVeDestProgress& progress) {
  TVeQuantizationArgs args;
  args.Abort = cancel;
  args.K = VeColorLimit(options, most);
  args.Method = options.ColorDistance();
  {
    TVeImage image(source);
    image.ApplyFixes(options.SaturationFix(), options.LightnessFix());
    QuantizeImage(args, palette, &machine, nullptr, image);
  }
  options.SetPalette(&palette);
  progress.Step();
  TVeImage image(source);
  TVeDitherOptions d = VeDitherOptionsOf(options);
  d.GrayPalette = false;
  auto result = image.DitherPalette(cancel, d, nullptr, palette, nullptr);
  progress.Step();
  return result;
}

void VeSetFirstLinePalette(const TVeHAMPalette& ham, TVeDestEngineOptions& options) {
  TVePalette256 first;
  for (int i = 0; i < ham.Line(0)->SlotCount(); ++i)
    first.AddSysColor(TVeStdRGBColor::FromRGBQuad(ham.Line(0)->GetColor(i)->Quad).SysColor());
  options.SetPalette(&first);
}
