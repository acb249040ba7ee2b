#include "VeOpenPlatformTimex.h"

#include <mutex>

#include "VePlatformTimex.h"

TVeTimexHiColorSourceEngine::TVeTimexHiColorSourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeTimexHiColorSourceEngine") {
  Width = ZxScreenWidth;
  Height = ZxScreenHeight;
  BitsPerPixel = 4;
  SetDefaultZxPaletteTypes();
  ZxSpectrumMakePalette(*Palette, PaletteType);
  Description = "Timex" + SizeText() + " high colour image";
}

TVeSourceMatch TVeTimexHiColorSourceEngine::Check(TVeLoadSource* source) {
  return VeZxSizeMatch(source, TimexHiColorBytes, ".scr");
}

std::unique_ptr<TVeBitmap> TVeTimexHiColorSourceEngine::CreateBitmap() {
  VeZxNeedBytes(*this, TimexHiColorBytes);
  ZxSpectrumMakePalette(*Palette, PaletteType);
  auto bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  const uint8_t* d = Source->Data;
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < 32; ++x) {
      int ink, paper;
      const int at = ZxScreenOffset(y, x);
      ZxAttribute(d[ZxPixelBytes + at], ink, paper);
      Unpack1Bit(*bmp, x * 8, y, d[at], ink, paper);
    }
  return bmp;
}

TVeTimexHiResSourceEngine::TVeTimexHiResSourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeTimexHiResSourceEngine") {
  Width = TimexHiResWidth;
  Height = ZxScreenHeight;
  BitsPerPixel = 1;
  PixelAspect = 1; // "1:2"
  SetDefaultZxPaletteTypes();
  ZxSpectrumMakePalette(*Palette, PaletteType);
  Description = "Timex" + SizeText() + " high resolution image";
}

TVeSourceMatch TVeTimexHiResSourceEngine::Check(TVeLoadSource* source) {
  // The last byte is the port value of the mode: only 512 x 192 is this layout.
  const TVeSourceMatch match = VeZxSizeMatch(source, TimexHiResBytes, ".scr");
  if (!match || (source->Data[TimexHiResBytes - 1] & 7) != TimexHiResMode) return 0;
  return TVeSourceMatch(match | smVerified);
}

std::unique_ptr<TVeBitmap> TVeTimexHiResSourceEngine::CreateBitmap() {
  VeZxNeedBytes(*this, TimexHiResBytes);
  ZxSpectrumMakePalette(*Palette, PaletteType);
  auto bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  const uint8_t* d = Source->Data;
  const int ink = TimexHiResInk(d[TimexHiResBytes - 1]);
  const int paper = TimexHiResPaper(ink);
  for (int y = 0; y < Height; ++y)
    for (int c = 0; c < 64; ++c)
      Unpack1Bit(*bmp, c * 8, y, d[TimexHiResOffset(y, c)], zxBright + ink, zxBright + paper);
  return bmp;
}

void RegisterTimexLoaders() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterSourceEngine(
        VeSourceEngineClass<TVeTimexHiColorSourceEngine>("TVeTimexHiColorSourceEngine", {".scr"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeTimexHiResSourceEngine>("TVeTimexHiResSourceEngine", {".scr"}));
  });
}
