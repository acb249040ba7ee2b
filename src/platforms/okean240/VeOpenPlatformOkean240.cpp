#include "VeOpenPlatformOkean240.h"

#include <mutex>

#include "VeErrors.h"

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

bool GigaColor(const TVeLoadSource* s) {
  return s && s->Data && s->Size == Okean240GigaFileBytes &&
         (s->Data[2 * Okean240PageBytes] & Okean240ColorBit);
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

TVeOkean240GigaSourceEngine::TVeOkean240GigaSourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeOkean240GigaSourceEngine") {
  const bool color = GigaColor(source);
  SetUp(*this, color ? 256 : 512, color ? 11 : 3);
  BitsPerPixel = 4;
  Description = "Okean-240" + SizeText() + " Gigascreen";
}

TVeSourceMatch TVeOkean240GigaSourceEngine::Check(TVeLoadSource* source) {
  const TVeSourceMatch match = VeRawDumpMatch(source, ".okg", Okean240GigaFileBytes);
  if (!match) return 0;
  const uint8_t control = source->Data[2 * Okean240PageBytes];
  if ((control & 7) >= Okean240Palettes || (control & 0x80)) return 0;
  return TVeSourceMatch(match | smVerified);
}

std::unique_ptr<TVeBitmap> TVeOkean240GigaSourceEngine::CreateBitmap() {
  const uint8_t* d = VeNeedRawDump(Source, Okean240GigaFileBytes, "Okean-240 Gigascreen");
  const uint8_t control = d[2 * Okean240PageBytes];
  const bool color = (control & Okean240ColorBit) != 0;
  if ((control & 7) >= Okean240Palettes || (control & 0x80) || Width != (color ? 256 : 512))
    throw EVeError("The Okean-240 Gigascreen " + Source->Name + " has a wrong control byte");
  TVePalette256 pens;
  Okean240MakePalette(pens, control & 7, color, PaletteType);
  const int n = pens.Count();
  Palette->MakeMixTable(&pens, 100, n);
  auto bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), 256);
  TVeBitmap* a = bmp->AddFrame(&pens);
  TVeBitmap* b = bmp->AddFrame(&pens);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < Width; ++x) {
      const int p = Okean240Pixel(d, x, y, color);
      const int q = Okean240Pixel(d + Okean240PageBytes, x, y, color);
      a->SetPixel(x, y, p);
      b->SetPixel(x, y, q);
      bmp->SetPixel(x, y, p * n + q);
    }
  return bmp;
}

void RegisterOkean240Loaders() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterSourceEngine(
        VeSourceEngineClass<TVeOkean240SourceEngine>("TVeOkean240SourceEngine", {".okn"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeOkean240MonoSourceEngine>("TVeOkean240MonoSourceEngine", {".okn"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeOkean240GigaSourceEngine>("TVeOkean240GigaSourceEngine", {".okg"}));
  });
}
