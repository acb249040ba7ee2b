#include "VeOpenPlatformProfi.h"

#include <mutex>

#include "VePlatformProfi.h"
#include "VeRawDump.h"

TVeProfiSourceEngine::TVeProfiSourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeProfiSourceEngine") {
  Width = ProfiWidth;
  Height = ProfiHeight;
  BitsPerPixel = 4;
  PixelAspect = 1; // "1:2"
  SetDefaultZxPaletteTypes();
  Description = "Profi" + SizeText() + " screen";
}

TVeSourceMatch TVeProfiSourceEngine::Check(TVeLoadSource* source) {
  return VeRawDumpMatch(source, ".prf", ProfiFileBytes);
}

std::unique_ptr<TVeBitmap> TVeProfiSourceEngine::CreateBitmap() {
  const uint8_t* d = VeNeedRawDump(Source, ProfiFileBytes, "Profi screen");
  ZxSpectrumMakePalette(*Palette, PaletteType);
  auto bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  for (int y = 0; y < Height; ++y)
    for (int c = 0; c < ProfiWidth / 8; ++c) {
      const int at = ProfiOffset(y, c);
      const uint8_t a = d[ProfiPageBytes + at];
      for (int i = 0; i < 8; ++i)
        bmp->SetPixel(c * 8 + i, y, d[at] >> (7 - i) & 1 ? ProfiInk(a) : ProfiPaper(a));
    }
  return bmp;
}

void RegisterProfiLoaders() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterSourceEngine(
        VeSourceEngineClass<TVeProfiSourceEngine>("TVeProfiSourceEngine", {".prf"}));
  });
}
