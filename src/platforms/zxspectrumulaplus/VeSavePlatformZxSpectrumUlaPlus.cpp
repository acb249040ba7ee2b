#include "VeSavePlatformZxSpectrumUlaPlus.h"

#include <vector>

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeImage.h"
#include "VePlatformZxSpectrumUlaPlus.h"
#include "VeQuantization.h"
#include "VeStream.h"

// ---- Options and panel --------------------------------------------------------------------

TVeULAPlusEngineOptions::TVeULAPlusEngineOptions() {
  FPaletteType = ptV11;
  FPaletteMode = ulaModeColor17;
  FErrorDiffusion = 80;
}

void TVeULAPlusEngineOptions::SetPaletteType(TVePaletteType value) {
  TVeZxSpectrumEngineOptions::SetPaletteType(value);
  PaletteChanged();
}

void TVeULAPlusEngineOptions::SetPaletteMode(uint8_t value) {
  TVeZxSpectrumEngineOptions::SetPaletteMode(value);
  PaletteChanged();
}

void TVeULAPlusEngineOptions::PaletteChanged() {
  TVePalette256 full;
  ULAPlusMakePalette(full, FPaletteType);
  if (FPaletteMode == ulaModeGray && ULAPlusPaletteType(FPaletteType) != ptV11Gray) {
    TVePalette256 grays;
    ULAPlusMakeGrayPalette(grays, FPaletteType);
    SetPalette(&grays);
  } else {
    SetPalette(&full);
  }
  // The modes that pick freely from the 256 colours keep them as the base palette (the
  // custom palette grid shows it).
  if (FPaletteMode == ulaModeGray || FPaletteMode == ulaModeColor17 ||
      FPaletteMode == ulaModeCustom) {
    SetBasePalette(&full);
  } else {
    const TVePalette256 none;
    SetBasePalette(&none);
  }
}

TVeULAPlusTimexEngineOptions::TVeULAPlusTimexEngineOptions() {
  FDitherMethod = dmJarvisJudiceNinke;
  FLimitErrorInsideBlock = false;
  FLimitErrorAtBoundary = false;
}

TVeULAPlusEngineUI::TVeULAPlusEngineUI(TVeDestEngineOptions& options) : TVeDestEngineUIEx(options) {
  AddPositionBorder();
  AddPaletteSeparator();
  std::vector<std::pair<std::string, TVePaletteType>> types;
  for (TVePaletteType t : {ptV10, ptV11, ptV11Gray})
    types.emplace_back(VePaletteTypeName(t), t);
  AddPaletteTypeList(types);
  AddPaletteMode(ULAPlusModeMask, true);
  AddPaletteView(16, 16);
  AddDithering(true);
}

// ---- Conversion ---------------------------------------------------------------------------

namespace {

TVeQuantizationArgs QuantizeArgs(const TVeCancelFlag* cancel, bool gray, int k) {
  TVeQuantizationArgs a;
  a.Abort = cancel;
  a.Gray = gray;
  a.K = k;
  return a;
}

// The picture's colours: those it takes when dithered to the hardware colours when there are
// 1 to maxCount of them, else the quantizer's choice of maxCount among them, weighted by how
// many pixels took each (so the clustering runs on at most 256 colours, not on the picture's
// thousands). Sorted by luminance.
void PictureColors(const TVeCancelFlag* cancel, const TVeImage& picture,
                   const TVePalette256& hardware, const TVeDestEngineOptions& options, bool gray,
                   int maxCount, TVePalette256& colors) {
  TVePalette256 dithered;
  ULAPlusDitheredColors(cancel, picture, hardware, options.DitherMethod(), options.ErrorDiffusion(),
                        dithered);
  if (dithered.Count() >= 1 && dithered.Count() <= maxCount) {
    colors = dithered;
  } else if (dithered.Count() > maxCount) {
    TVeQuantization q(cancel, maxCount, gray);
    q.Hardware = &hardware;
    q.AddPalette(dithered);
    q.Execute(colors);
  } else {
    QuantizeImage(QuantizeArgs(cancel, gray, maxCount), colors, &hardware, nullptr, picture);
  }
  colors.SortByLuminance();
}

// "Color (64 from 256, slow)": the picture's colour pairs found by a trial conversion,
// grouped into the four colour tables.
void Working64(const TVeCancelFlag* cancel, const TVeBitmap32& source, const TVeImage& picture,
               const TVePalette256& hardware, TVeDestEngineOptions& options, bool gray,
               TVeDestProgress& progress, TVePalette256& working) {
  TVePalette256 colors;
  PictureColors(cancel, picture, hardware, options, gray, ULAPlusWorkingCount, colors);
  TVeULAPlusPreparePaletteList list(colors);
  TVeULAPlusQuantizationImage trial(8, source, options.GetCellHeight(), list);
  trial.Passes = {&progress, true};
  TVeCellOptions t = VeCellOptionsOf(options);
  t.Palette = &colors;
  t.LimitErrorInsideBlock = false;
  t.LimitErrorAtBoundary = false;
  t.GrayPalette = ULAPlusPaletteType(options.PaletteType()) == ptV11Gray;
  trial.Convert(cancel, t, nullptr, &progress);
  std::vector<TVeULAPlusColor*> used;
  for (int i = 0; i < list.Count(); ++i) {
    auto* c = static_cast<TVeULAPlusColor*>(list.GetPalette(i));
    if (c->Cells > 0) used.push_back(c);
  }
  TVeULAPlusQuantization grouping(cancel, hardware, gray);
  grouping.Execute(used, working);
  const int cells = ((source.Width() + 7) / 8) *
                    ((source.Height() + options.GetCellHeight() - 1) / options.GetCellHeight());
  trial.Passes.Report(2, cells, 0);
}

std::unique_ptr<TVeBitmap> ConvertULAPlus(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                          std::unique_ptr<TVeStreamList>& files,
                                          TVeDestProgress& progress, TVeDestEngineOptions& options,
                                          bool timex) {
  const TVePaletteType type = ULAPlusPaletteType(options.PaletteType());
  const uint8_t mode = options.PaletteMode();
  files = std::make_unique<TVeStreamList>();
  TVeStream* scr = files->AddNew("scr", timex ? ULAPlusTimexBytes : ULAPlusScreenBytes);
  uint8_t* table = scr->Data() + (timex ? 2 * ZxPixelBytes : ZxScreenBytes);
  std::unique_ptr<TVeULAPlusScreen> screen =
      timex ? std::make_unique<TVeULAPlusExtendedScreen>(scr->Data())
            : std::make_unique<TVeULAPlusScreen>(scr->Data());

  TVePalette256 full;
  ULAPlusMakePalette(full, type);
  const bool gray = type == ptV11Gray || mode == ulaModeGray;
  options.SetGrayPalette(gray);
  // In "Gray" the colours come from the palette's grays, unless every colour is one.
  TVePalette256 grays;
  const TVePalette256* hardware = &full;
  if (mode == ulaModeGray && type != ptV11Gray) {
    ULAPlusMakeGrayPalette(grays, type);
    hardware = &grays;
  }
  // The picture as the conversion will see it, for choosing the colours.
  TVeImage picture(source);
  picture.ApplyFixes(options.SaturationFix(), options.LightnessFix());
  if (gray) picture.MakeGray();

  TVeULAPlusImage image(8, source, options.GetCellHeight());
  image.Passes = {&progress, mode == ulaModeColor64};
  if (hardware == &grays) image.Restrict = &grays;
  TVePalette256 working;
  if (mode == ulaModeColor64) {
    Working64(cancel, source, picture, *hardware, options, gray, progress, working);
  } else {
    TVePalette256 colors;
    if (mode == ulaModeCustom) {
      const std::vector<bool> allowed(options.AllowedColors1().begin(),
                                      options.AllowedColors1().begin() + ULAPlusColorCount);
      QuantizeUsed(QuantizeArgs(cancel, gray, 17), colors, &full, allowed, nullptr, picture);
      colors.SortByLuminance();
    } else {
      PictureColors(cancel, picture, *hardware, options, gray, 17, colors);
    }
    if (mode == ulaModeGray && colors.Count() == 0) {
      // No gray found: one attribute for the whole screen, the darkest and brightest gray.
      TVePalette256 two;
      two.AddColor(hardware->Color(hardware->FindNearestByLuminance(0.0)));
      two.AddColor(hardware->Color(hardware->FindNearestByLuminance(1.0)));
      ULAPlusLayOut(working, {{two.Color(0)}}, {{two.Color(1)}});
      options.SetPalette(&working);
      screen->SetTwoColorMode(8);
      TVeImage plain(source);
      std::unique_ptr<TVeBitmap> result =
          plain.DitherTwoColors(cancel, VeDitherOptionsOf(options), 8, 0, &working, screen.get());
      ULAPlusWriteTable(table, working, full);
      return result;
    }
    ULAPlusLayOut17(working, colors);
  }
  options.SetPalette(&working);
  std::unique_ptr<TVeBitmap> result =
      image.Convert(cancel, VeCellOptionsOf(options), screen.get(), &progress);
  ULAPlusWriteTable(table, working, full);
  return result;
}

} // namespace

std::unique_ptr<TVeBitmap> TVeULAPlusEngine::Convert(const TVeCancelFlag* cancel,
                                                     const TVeBitmap32& source,
                                                     std::unique_ptr<TVeStreamList>& files,
                                                     TVeDestProgress& progress,
                                                     TVeDestEngineOptions& options,
                                                     const TVePalette256*, const TVePalette256*) {
  return ConvertULAPlus(cancel, source, files, progress, options, false);
}

std::unique_ptr<TVeBitmap>
TVeULAPlusTimexEngine::Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                               std::unique_ptr<TVeStreamList>& files, TVeDestProgress& progress,
                               TVeDestEngineOptions& options, const TVePalette256*,
                               const TVePalette256*) {
  return ConvertULAPlus(cancel, source, files, progress, options, true);
}

void RegisterZxSpectrumUlaPlusEngines(TVeDestEngineList& list) {
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeULAPlusEngine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeULAPlusTimexEngine>>());
}
