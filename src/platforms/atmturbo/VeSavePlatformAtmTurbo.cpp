#include "VeSavePlatformAtmTurbo.h"

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeImage.h"
#include "VePairCellImage.h"
#include "VePaletteSteps.h"
#include "VePlatformAtmTurbo.h"
#include "VeQuantization.h"
#include "VeStream.h"

const TVeAtmModeInfo& AtmModeInfo(int index) {
  static const TVeAtmModeInfo modes[] = {
      {"320x200x4", false, AtmEgaWidth, AtmHeight},
      {"640x200x4", true, AtmHiResWidth, AtmHeight},
  };
  if (index < 0 || index >= 2) VeInternalError();
  return modes[index];
}

TVeAtmEngineOptions::TVeAtmEngineOptions(const TVeAtmModeInfo& mode) : TVeModeTableOptions(mode) {
  // 7 MHz pixels are about square, 14 MHz ones half as wide.
  FAspectIndex = mode.HiRes ? 1 : 10;
  FMaxColorCount = AtmEntries;
  FDitherMethod = dmJarvisJudiceNinke;
}

void TVeAtmEngineOptions::PaletteChanged() {
  TVePalette256 p;
  AtmMakeResetPalette(p);
  SetPalette(&p);
}

TVeAtmEngineUI::TVeAtmEngineUI(TVeDestEngineOptions& options) : TVeDestEngineUIEx(options) {
  auto* own = dynamic_cast<TVeAtmEngineOptions*>(&options);
  if (!own) VeInternalError();
  AddPositionBorder();
  AddPaletteSeparator();
  AddPaletteView(AtmEntries, 1);
  AddMaxColorCount(AtmEntries);
  AddDithering(own->Mode().HiRes);
}

namespace {

uint8_t PortValueOf(uint32_t quad) {
  const TVePalette256& all = AtmColors();
  int n = all.FindExact(quad);
  if (n < 0)
    n = all.FindNearestLin(
        TVeColor::FromStdRGB(uint8_t(quad >> 16), uint8_t(quad >> 8), uint8_t(quad)).GetLinRGB());
  return AtmPortValue(n);
}

// The entries as port values; unused ones stay black.
void WritePalette(uint8_t* to, const TVePalette256& palette) {
  for (int i = 0; i < AtmEntries; ++i)
    to[i] = i < palette.Count() ? PortValueOf(palette.GetRGBQuad(i)) : AtmPortValue(0);
}

// The entries for the picture, without dithering to them.
void ChooseEntries(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                   TVeDestEngineOptions& options, TVePalette256& palette) {
  TVeQuantizationArgs args;
  args.Abort = cancel;
  args.K = VeColorLimit(options, AtmEntries);
  TVeImage image(source);
  image.ApplyFixes(options.SaturationFix(), options.LightnessFix());
  QuantizeImage(args, palette, &AtmColors(), nullptr, image);
  options.SetPalette(&palette);
}

} // namespace

std::unique_ptr<TVeBitmap> AtmConvert(const TVeAtmModeInfo& m, const TVeCancelFlag* cancel,
                                      const TVeBitmap32& source,
                                      std::unique_ptr<TVeStreamList>& files,
                                      TVeDestProgress& progress, TVeDestEngineOptions& options) {
  if (source.Width() != m.Width || source.Height() != m.Height) VeInternalError();
  TVePalette256 palette;
  files = std::make_unique<TVeStreamList>();
  TVeStream* file = files->AddNew(m.HiRes ? "ath" : "ate", AtmFileBytes);
  uint8_t* data = file->Data();
  if (!m.HiRes) {
    progress.SetProgress(2, 0);
    auto dithered =
        VeQuantizeAndDither(cancel, source, options, AtmColors(), AtmEntries, palette, progress);
    WritePalette(data + AtmPaletteAt, palette);
    for (int y = 0; y < m.Height; ++y)
      for (int x = 0; x < m.Width; x += 2)
        data[AtmEgaOffset(x, y)] =
            AtmEgaByte(dithered->GetPixel(x, y), dithered->GetPixel(x + 1, y));
    return dithered;
  }
  ChooseEntries(cancel, source, options, palette);
  WritePalette(data + AtmPaletteAt, palette);
  TVeAtmHiResScreen screen(data);
  TVePairCellImage image(source, 8, 1, AtmHiResPairs(palette.Count()));
  image.KeepWorkingPixels = false;
  return image.Convert(cancel, VeCellOptionsOf(options), &screen, &progress);
}

void RegisterAtmTurboEngines(TVeDestEngineList& list) {
  VeReplaceModeTableEngines<TVeAtmFamily, 2>(list);
}
