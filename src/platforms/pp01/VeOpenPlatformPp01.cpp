#include "VeOpenPlatformPp01.h"

#include <mutex>

#include "VePlatformPp01.h"
#include "VeRawDump.h"

TVePp01SourceEngine::TVePp01SourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVePp01SourceEngine") {
  Width = Height = Pp01Size;
  BitsPerPixel = 4;
  PixelAspect = 13;
  PaletteTypes = {Pp01FullLevels, Pp01HalfLevels};
  PaletteType = Pp01FullLevels;
  Description = "PP01" + SizeText() + " screen";
}

TVeSourceMatch TVePp01SourceEngine::Check(TVeLoadSource* source) {
  return VeRawDumpMatch(source, ".pp1", Pp01FileBytes);
}

std::unique_ptr<TVeBitmap> TVePp01SourceEngine::CreateBitmap() {
  const uint8_t* planes = VeNeedRawDump(Source, Pp01FileBytes, "PP01 screen");
  Pp01MakePalette(*Palette, PaletteType);
  auto bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x)
      bmp->SetPixel(x, y, Pp01Pixel(planes, x, y));
  return bmp;
}

void RegisterPp01Loaders() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterSourceEngine(VeSourceEngineClass<TVePp01SourceEngine>("TVePp01SourceEngine", {".pp1"}));
  });
}
