#include "VeOpenPlatformPc8000.h"

#include <mutex>

#include "VePlatformPc8000.h"
#include "VeRawDump.h"

TVePc8000SourceEngine::TVePc8000SourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVePc8000SourceEngine") {
  Width = Pc8000Width;
  Height = Pc8000Height;
  BitsPerPixel = 4;
  PixelAspect = 15; // "1.475:1"
  Description = "PC8000" + SizeText() + " screen";
}

TVeSourceMatch TVePc8000SourceEngine::Check(TVeLoadSource* source) {
  return VeRawDumpMatch(source, ".pk8", Pc8000FileBytes);
}

std::unique_ptr<TVeBitmap> TVePc8000SourceEngine::CreateBitmap() {
  const uint8_t* vram = VeNeedRawDump(Source, Pc8000FileBytes, "PC8000 video bank");
  Pc8000MakePalette(*Palette);
  auto bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  // As on the machine, each third's name table picks the pattern and colour rows a
  // character shows.
  for (int cy = 0; cy < 24; ++cy)
    for (int cx = 0; cx < 32; ++cx) {
      const int name = vram[MsxScreen2Names + cy * 32 + cx];
      for (int row = 0; row < 8; ++row) {
        const int at = (cy / 8) * 0x800 + name * 8 + row;
        const uint8_t colors = vram[MsxScreen2Colors + at];
        Unpack1Bit(*bmp, cx * 8, cy * 8 + row, vram[at], colors & 15, colors >> 4);
      }
    }
  return bmp;
}

void RegisterPc8000Loaders() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterSourceEngine(
        VeSourceEngineClass<TVePc8000SourceEngine>("TVePc8000SourceEngine", {".pk8"}));
  });
}
