#include "VeOpenPlatformUknc.h"

#include <mutex>

#include "VePlatformUknc.h"
#include "VeRawDump.h"

TVeUkncSourceEngine::TVeUkncSourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeUkncSourceEngine") {
  Width = UkncWidth;
  Height = UkncHeight;
  BitsPerPixel = 4;
  PixelAspect = 3;
  Description = "UKNC" + SizeText() + " screen";
}

TVeSourceMatch TVeUkncSourceEngine::Check(TVeLoadSource* source) {
  return VeRawDumpMatch(source, ".ukn", UkncFileBytes);
}

std::unique_ptr<TVeBitmap> TVeUkncSourceEngine::CreateBitmap() {
  const uint8_t* planes = VeNeedRawDump(Source, UkncFileBytes, "UKNC screen");
  const uint8_t* words = planes + UkncScreenBytes;
  Palette->Assign(&UkncPalette());
  auto bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  for (int y = 0; y < Height; ++y) {
    const uint8_t* w = words + 4 * y;
    const uint32_t word =
        uint32_t(w[0]) | uint32_t(w[1]) << 8 | uint32_t(w[2]) << 16 | uint32_t(w[3]) << 24;
    for (int x = 0; x < Width; ++x)
      bmp->SetPixel(x, y, int(word >> (4 * UkncPixel(planes, x, y)) & 15));
  }
  return bmp;
}

void RegisterUkncLoaders() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterSourceEngine(VeSourceEngineClass<TVeUkncSourceEngine>("TVeUkncSourceEngine", {".ukn"}));
  });
}
