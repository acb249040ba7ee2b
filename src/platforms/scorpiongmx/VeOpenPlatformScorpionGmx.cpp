#include "VeOpenPlatformScorpionGmx.h"

#include <mutex>

#include "VeErrors.h"
#include "VePlatformScorpionGmx.h"
#include "VeRawDump.h"
#include "zxspectrum/VePlatformZxSpectrum.h"

namespace {

const char* const Kind = "Scorpion GMX screen";

// Flash is shown in its first phase.
std::unique_ptr<TVeBitmap> Unpack(const uint8_t* d, bool fat, TVePalette256* palette) {
  const int width = fat ? GmxFatWidth : GmxWidth;
  auto bmp = std::make_unique<TVeBitmap4>(width, palette, GmxHeight);
  const int perByte = fat ? 2 : 8;
  for (int y = 0; y < GmxHeight; ++y)
    for (int c = 0; c < GmxRowBytes; ++c) {
      const uint8_t pixels = d[y * GmxRowBytes + c], a = d[GmxPixelBytes + y * GmxRowBytes + c];
      for (int i = 0; i < perByte; ++i) {
        const bool ink = pixels >> (8 - (i + 1) * (8 / perByte)) & 1;
        bmp->SetPixel(c * perByte + i, y, ink ? ZxAttrInk(a) : ZxAttrPaper(a));
      }
    }
  return bmp;
}

} // namespace

TVeGmxSourceEngine::TVeGmxSourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeGmxSourceEngine") {
  Width = GmxWidth;
  Height = GmxHeight;
  BitsPerPixel = 4;
  PixelAspect = 1; // "1:2"
  SetDefaultZxPaletteTypes();
  Description = "Scorpion GMX" + SizeText() + " screen";
}

TVeSourceMatch TVeGmxSourceEngine::Check(TVeLoadSource* source) {
  return VeRawDumpMatch(source, ".gmx", GmxFileBytes);
}

std::unique_ptr<TVeBitmap> TVeGmxSourceEngine::CreateBitmap() {
  const uint8_t* d = VeNeedRawDump(Source, GmxFileBytes, Kind);
  ZxSpectrumMakePalette(*Palette, PaletteType);
  return Unpack(d, false, Palette.get());
}

TVeGmxFatSourceEngine::TVeGmxFatSourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeGmxFatSourceEngine") {
  Width = GmxFatWidth;
  Height = GmxHeight;
  BitsPerPixel = 4;
  PixelAspect = 17; // "2:1"
  SetDefaultZxPaletteTypes();
  Description = "Scorpion GMX" + SizeText() + " screen";
}

TVeSourceMatch TVeGmxFatSourceEngine::Check(TVeLoadSource* source) {
  const TVeSourceMatch match = VeRawDumpMatch(source, ".gmx", GmxFileBytes);
  if (!match || !GmxIsFat(source->Data)) return 0;
  return TVeSourceMatch(match | smVerified);
}

std::unique_ptr<TVeBitmap> TVeGmxFatSourceEngine::CreateBitmap() {
  const uint8_t* d = VeNeedRawDump(Source, GmxFileBytes, Kind);
  if (!GmxIsFat(d))
    throw EVeError("The Scorpion GMX screen " + Source->Name +
                   " has pixel bytes other than 00, 0F, F0 and FF: it is not 160 pixels wide");
  ZxSpectrumMakePalette(*Palette, PaletteType);
  return Unpack(d, true, Palette.get());
}

void RegisterScorpionGmxLoaders() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterSourceEngine(VeSourceEngineClass<TVeGmxSourceEngine>("TVeGmxSourceEngine", {".gmx"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeGmxFatSourceEngine>("TVeGmxFatSourceEngine", {".gmx"}));
  });
}
