#include "VeOpenPlatformMc0515.h"

#include <mutex>

#include "VePlatformMc0515.h"
#include "VeRawDump.h"

TVeMc0515SourceEngine::TVeMc0515SourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeMc0515SourceEngine") {
  Width = 320;
  Height = Mc0515Height;
  BitsPerPixel = 4;
  PixelAspect = 8;
  Description = "MC 0515" + SizeText() + " screen";
}

TVeSourceMatch TVeMc0515SourceEngine::Check(TVeLoadSource* source) {
  return VeRawDumpMatch(source, ".m05", Mc0515ScreenBytes);
}

std::unique_ptr<TVeBitmap> TVeMc0515SourceEngine::CreateBitmap() {
  const uint8_t* d = VeNeedRawDump(Source, Mc0515ScreenBytes, "MC 0515 screen");
  Palette->Assign(&Mc0515Palette());
  auto bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  for (int y = 0; y < Height; ++y)
    for (int c = 0; c < 40; ++c) {
      const uint8_t pixels = d[y * Mc0515RowBytes + 2 * c];
      const uint8_t attr = d[y * Mc0515RowBytes + 2 * c + 1];
      const int bright = attr & 0x40 ? 8 : 0;
      Unpack1Bit(*bmp, c * 8, y, pixels, bright + (attr & 7), bright + (attr >> 3 & 7));
    }
  return bmp;
}

TVeMc0515HiResSourceEngine::TVeMc0515HiResSourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeMc0515HiResSourceEngine") {
  Width = 640;
  Height = Mc0515Height;
  BitsPerPixel = 1;
  PixelAspect = 0;
  Description = "MC 0515" + SizeText() + " screen";
}

// The register byte must select 640 pixels.
TVeSourceMatch TVeMc0515HiResSourceEngine::Check(TVeLoadSource* source) {
  if (!source || !source->Data || source->Ext != ".m06" || source->Size != Mc0515HiResFileBytes ||
      (source->Data[Mc0515ScreenBytes] & ~7) != Mc0515HiResBit)
    return 0;
  return TVeSourceMatch(smVerified | smExtension | smExactSize);
}

std::unique_ptr<TVeBitmap> TVeMc0515HiResSourceEngine::CreateBitmap() {
  const uint8_t* d = VeNeedRawDump(Source, Mc0515HiResFileBytes, "MC 0515 screen");
  const int border = d[Mc0515ScreenBytes] & 7;
  Palette->Assign(&Mc0515Palette());
  auto bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  for (int y = 0; y < Height; ++y)
    for (int c = 0; c < Mc0515RowBytes; ++c)
      Unpack1Bit(*bmp, c * 8, y, d[y * Mc0515RowBytes + c], border ^ 7, border);
  return bmp;
}

void RegisterMc0515Loaders() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterSourceEngine(
        VeSourceEngineClass<TVeMc0515SourceEngine>("TVeMc0515SourceEngine", {".m05"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeMc0515HiResSourceEngine>("TVeMc0515HiResSourceEngine", {".m06"}));
  });
}
