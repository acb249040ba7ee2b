#include "VeSavePlatformSinclairQl.h"

#include <cstring>

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeGenericEngine.h"
#include "VeImage.h"
#include "VePlatformSinclairQl.h"
#include "VeStream.h"

namespace {
constexpr uint32_t Bit(int v) {
  return 1u << v;
}
bool Gd2(int mode) {
  return mode >= 32;
}
} // namespace

const char* SinclairQlModeName(int mode) {
  switch (mode) {
  case 4:
    return "QL 4 512x256x2";
  case 8:
    return "QL 8 256x256x3";
  case 32:
    return "GD2 32 512x480x16";
  case 33:
    return "GD2 33 512x480x16";
  default:
    VeInternalError();
  }
}

// ---- Options and panel ----------------------------------------------------------------------

// Pixel clocks of 10 and 5 MHz against the 7.375 MHz of a square pixel on a PAL field give
// "0.7375:1" and "1.475:1"; 512 x 480 filling a 4:3 screen gives "1.25:1".
TVeSinclairQlEngineOptions::TVeSinclairQlEngineOptions(int mode) : FMode(mode) {
  FAspectIndex = mode == 4 ? 5 : mode == 8 ? 15 : 11;
  FPaletteType = Gd2(mode) ? ptRGB565 : ptRGB111;
  FPaletteMode = qlModeColor;
}

TVeSize TVeSinclairQlEngineOptions::GetDefaultSize() const {
  if (Gd2(FMode)) return {QlGd2Width, QlGd2Height};
  return {FMode == 8 ? 256 : 512, QlScreenHeight};
}

void TVeSinclairQlEngineOptions::SetPaletteMode(uint8_t value) {
  TVeDestFixedSizeEngineOptions::SetPaletteMode(value);
  PaletteChanged();
}

void TVeSinclairQlEngineOptions::PaletteChanged() {
  TVePalette256 p;
  if (Gd2(FMode)) {
    SetPalette(nullptr);
    return;
  }
  if (FPaletteMode == qlModeBlackWhite) {
    p.AddRGB(0, 0, 0);
    p.AddRGB(255, 255, 255);
  } else if (FMode == 4) {
    QlMakeMode4Palette(p);
  } else {
    QlMakeMode8Palette(p);
  }
  SetPalette(&p);
}

TVeSinclairQlEngineUI::TVeSinclairQlEngineUI(TVeDestEngineOptions& options)
    : TVeDestEngineUIEx(options) {
  auto* own = dynamic_cast<TVeSinclairQlEngineOptions*>(&options);
  if (!own) VeInternalError();
  AddPositionBorder();
  if (!Gd2(own->Mode())) {
    AddPaletteSeparator();
    AddPaletteMode(Bit(qlModeBlackWhite) | Bit(qlModeColor));
    AddPaletteView(own->Mode() == 4 ? 4 : 8, 1);
  }
  AddDithering(false);
}

// ---- Conversion -----------------------------------------------------------------------------

namespace {

std::unique_ptr<TVeBitmap> ConvertScreen(int mode, const TVeCancelFlag* cancel,
                                         const TVeBitmap32& source,
                                         std::unique_ptr<TVeStreamList>& files,
                                         TVeDestEngineOptions& options) {
  TVePalette256 palette;
  if (mode == 4)
    QlMakeMode4Palette(palette);
  else
    QlMakeMode8Palette(palette);
  options.SetPalette(&palette);
  files = std::make_unique<TVeStreamList>();
  TVeStream* scr = files->AddNew("scr", QlScreenBytes);
  TVeQlScreen screen(mode, scr->Data());
  TVeImage image(source);
  const TVeDitherOptions d = VeDitherOptionsOf(options);
  std::unique_ptr<TVeBitmap> result;
  if (options.PaletteMode() == qlModeBlackWhite) {
    // White is the last colour of both modes, black the first.
    result = image.DitherTwoColors(cancel, d, palette.Count() - 1, 0, &palette, &screen);
  } else {
    result = image.DitherPalette(cancel, d, nullptr, palette, &screen);
  }
  TVeStream* pic = files->AddNew("pic", QlPicHeaderBytes + QlScreenBytes);
  QlWritePicHeader(pic->Data(), screen.Width(), QlScreenHeight, QlRowBytes, mode);
  std::memcpy(pic->Data() + QlPicHeaderBytes, scr->Data(), QlScreenBytes);
  return result;
}

std::unique_ptr<TVeBitmap> ConvertGd2(int mode, const TVeCancelFlag* cancel,
                                      const TVeBitmap32& source,
                                      std::unique_ptr<TVeStreamList>& files,
                                      TVeDestEngineOptions& options) {
  const TVePaletteRGB& hw = QlGd2Palette(mode);
  TVeImage image(source);
  std::unique_ptr<TVeBitmap> result = image.DitherTrueColor(cancel, VeDitherOptionsOf(options), hw);
  const int lineBytes = QlLineBytes(mode, QlGd2Width);
  files = std::make_unique<TVeStreamList>();
  TVeStream* pic = files->AddNew("pic", QlPicHeaderBytes + lineBytes * QlGd2Height);
  QlWritePicHeader(pic->Data(), QlGd2Width, QlGd2Height, lineBytes, mode);
  uint8_t* out = pic->Data() + QlPicHeaderBytes;
  for (int y = 0; y < QlGd2Height; ++y)
    for (int x = 0; x < QlGd2Width; ++x, out += 2) {
      const std::array<int, 3> l = hw.LevelsOf(uint32_t(result->GetPixel(x, y)));
      const uint16_t v = QlGd2Encode(mode, l[0], l[1], l[2]);
      out[0] = uint8_t(v >> 8);
      out[1] = uint8_t(v);
    }
  return result;
}

} // namespace

std::unique_ptr<TVeBitmap> SinclairQlConvert(int mode, const TVeCancelFlag* cancel,
                                             const TVeBitmap32& source,
                                             std::unique_ptr<TVeStreamList>& files,
                                             TVeDestProgress& progress,
                                             TVeDestEngineOptions& options) {
  if (source.Width() != options.Width() || source.Height() != options.Height()) VeInternalError();
  progress.SetProgress(1, 0);
  std::unique_ptr<TVeBitmap> result = Gd2(mode)
                                          ? ConvertGd2(mode, cancel, source, files, options)
                                          : ConvertScreen(mode, cancel, source, files, options);
  progress.Step();
  return result;
}

void RegisterSinclairQlEngines(TVeDestEngineList& list) {
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeSinclairQlMode4Engine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeSinclairQlMode8Engine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeSinclairQlGd2Mode32Engine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeSinclairQlGd2Mode33Engine>>());
  VeMarkPreviewOnly(
      list, "Sinclair QL", "GD2 16 512x480x8",
      "the bit order of the Aurora 8-bit colour byte is not confirmed by public facts");
}
