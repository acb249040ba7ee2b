#include "VeOpenPlatformDvkKcgd.h"

#include <mutex>

#include "VePlatformDvkKcgd.h"
#include "VeRawDump.h"

TVeKcgdSourceEngine::TVeKcgdSourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeKcgdSourceEngine") {
  Width = KcgdWidth;
  Height = KcgdHeight;
  BitsPerPixel = 4;
  PixelAspect = 8; // "1:1.2"
  Description = "DVK KCGD" + SizeText() + " screen";
}

TVeSourceMatch TVeKcgdSourceEngine::Check(TVeLoadSource* source) {
  const TVeSourceMatch match = VeRawDumpMatch(source, ".kcg", KcgdFileBytes);
  if (!match) return 0;
  // A register holds six bits.
  for (int i = 0; i < KcgdRegisters; ++i)
    if (source->Data[KcgdPixelBytes + i] > 63) return 0;
  return TVeSourceMatch(match | smVerified);
}

std::unique_ptr<TVeBitmap> TVeKcgdSourceEngine::CreateBitmap() {
  const uint8_t* d = VeNeedRawDump(Source, KcgdFileBytes, "DVK KCGD screen");
  const TVePalette256& all = KcgdPalette();
  Palette->Clear();
  for (int i = 0; i < KcgdRegisters; ++i)
    Palette->AddColor(all.Color(d[KcgdPixelBytes + i] & 63));
  auto bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x)
      bmp->SetPixel(x, y, KcgdPixel(d, x, y));
  return bmp;
}

void RegisterDvkKcgdLoaders() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterSourceEngine(VeSourceEngineClass<TVeKcgdSourceEngine>("TVeKcgdSourceEngine", {".kcg"}));
  });
}
