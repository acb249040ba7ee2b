#include "VeOpenPlatformOkean240.h"

#include <mutex>

#include "VePlatformOkean240.h"
#include "VeRawDump.h"

namespace {

// A page of the mode with a palette number that shows colours.
TVeSourceMatch MatchPage(const TVeLoadSource* s, bool color) {
  const TVeSourceMatch match = VeRawDumpMatch(s, ".okn", Okean240FileBytes);
  if (!match) return 0;
  const uint8_t control = s->Data[Okean240PageBytes];
  if (((control & Okean240ColorBit) != 0) != color || (control & 7) >= Okean240Palettes) return 0;
  return TVeSourceMatch(match | smVerified);
}

std::unique_ptr<TVeBitmap> Decode(const TVeLoadSource* s, TVePalette256& palette,
                                  TVePaletteType wiring, bool color) {
  const uint8_t* page = VeNeedRawDump(s, Okean240FileBytes, "Okean-240 page");
  Okean240MakePalette(palette, page[Okean240PageBytes] & 7, color, wiring);
  const int width = color ? 256 : 512;
  auto bmp = std::make_unique<TVeBitmap4>(width, &palette, 256);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < width; ++x)
      bmp->SetPixel(x, y, Okean240Pixel(page, x, y, color));
  return bmp;
}

void SetUp(TVeSourceEngine& e, int width, uint8_t aspect) {
  e.Width = width;
  e.Height = 256;
  e.PixelAspect = aspect;
  e.PaletteTypes = {Okean240Wiring1, Okean240Wiring2};
  e.PaletteType = Okean240Wiring1;
}

} // namespace

TVeOkean240SourceEngine::TVeOkean240SourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeOkean240SourceEngine") {
  SetUp(*this, 256, 11);
  BitsPerPixel = 2;
  Description = "Okean-240" + SizeText() + " colour page";
}

TVeSourceMatch TVeOkean240SourceEngine::Check(TVeLoadSource* source) {
  return MatchPage(source, true);
}

std::unique_ptr<TVeBitmap> TVeOkean240SourceEngine::CreateBitmap() {
  return Decode(Source, *Palette, PaletteType, true);
}

TVeOkean240MonoSourceEngine::TVeOkean240MonoSourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeOkean240MonoSourceEngine") {
  SetUp(*this, 512, 3);
  BitsPerPixel = 1;
  Description = "Okean-240" + SizeText() + " page";
}

TVeSourceMatch TVeOkean240MonoSourceEngine::Check(TVeLoadSource* source) {
  return MatchPage(source, false);
}

std::unique_ptr<TVeBitmap> TVeOkean240MonoSourceEngine::CreateBitmap() {
  return Decode(Source, *Palette, PaletteType, false);
}

void RegisterOkean240Loaders() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterSourceEngine(
        VeSourceEngineClass<TVeOkean240SourceEngine>("TVeOkean240SourceEngine", {".okn"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeOkean240MonoSourceEngine>("TVeOkean240MonoSourceEngine", {".okn"}));
  });
}
