#include "VeOpenPlatformAtmTurbo.h"

#include <mutex>

#include "VePlatformAtmTurbo.h"
#include "VeRawDump.h"
#include "profi/VePlatformProfi.h"

TVeAtmEgaSourceEngine::TVeAtmEgaSourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeAtmEgaSourceEngine") {
  Width = AtmEgaWidth;
  Height = AtmHeight;
  BitsPerPixel = 4;
  Description = "ATM Turbo" + SizeText() + " screen";
}

TVeSourceMatch TVeAtmEgaSourceEngine::Check(TVeLoadSource* source) {
  return VeRawDumpMatch(source, ".ate", AtmFileBytes);
}

std::unique_ptr<TVeBitmap> TVeAtmEgaSourceEngine::CreateBitmap() {
  const uint8_t* d = VeNeedRawDump(Source, AtmFileBytes, "ATM Turbo screen");
  AtmReadPalette(d + AtmPaletteAt, *Palette);
  auto bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; x += 2) {
      const uint8_t b = d[AtmEgaOffset(x, y)];
      bmp->SetPixel(x, y, (b & 7) | (b >> 3 & 8));
      bmp->SetPixel(x + 1, y, (b >> 3 & 7) | (b >> 4 & 8));
    }
  return bmp;
}

TVeAtmHiResSourceEngine::TVeAtmHiResSourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeAtmHiResSourceEngine") {
  Width = AtmHiResWidth;
  Height = AtmHeight;
  BitsPerPixel = 4;
  PixelAspect = 1; // "1:2"
  Description = "ATM Turbo" + SizeText() + " screen";
}

TVeSourceMatch TVeAtmHiResSourceEngine::Check(TVeLoadSource* source) {
  return VeRawDumpMatch(source, ".ath", AtmFileBytes);
}

std::unique_ptr<TVeBitmap> TVeAtmHiResSourceEngine::CreateBitmap() {
  const uint8_t* d = VeNeedRawDump(Source, AtmFileBytes, "ATM Turbo screen");
  AtmReadPalette(d + AtmPaletteAt, *Palette);
  auto bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  for (int y = 0; y < Height; ++y)
    for (int c = 0; c < AtmHiResWidth / 8; ++c) {
      const uint8_t a = d[AtmHiResAttrOffset(c, y)];
      Unpack1Bit(*bmp, c * 8, y, d[AtmHiResOffset(c, y)], ProfiInk(a), ProfiPaper(a));
    }
  return bmp;
}

void RegisterAtmTurboLoaders() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterSourceEngine(
        VeSourceEngineClass<TVeAtmEgaSourceEngine>("TVeAtmEgaSourceEngine", {".ate"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeAtmHiResSourceEngine>("TVeAtmHiResSourceEngine", {".ath"}));
  });
}
