#include "VeOpenPlatformLvov.h"

#include <mutex>

#include "VePlatformLvov.h"
#include "VeRawDump.h"

namespace {

// A file of the right size whose palette byte leaves bit 7 clear.
TVeSourceMatch MatchFile(const TVeLoadSource* s, const char* ext) {
  const TVeSourceMatch match = VeRawDumpMatch(s, ext, LvovFileBytes);
  if (!match || s->Data[LvovScreenBytes] >= LvovPaletteBytes) return 0;
  return TVeSourceMatch(match | smVerified);
}

std::unique_ptr<TVeBitmap> Decode(const TVeLoadSource* s, TVePalette256& palette,
                                  TVePaletteType type, int left, int top, int width, int height) {
  const uint8_t* screen = VeNeedRawDump(s, LvovFileBytes, "Lvov screen");
  LvovMakePalette(palette, uint8_t(screen[LvovScreenBytes] & 0x7F), type);
  auto bmp = std::make_unique<TVeBitmap4>(width, &palette, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      bmp->SetPixel(x, y, LvovPixel(screen, left + x, top + y));
  return bmp;
}

void SetUp(TVeSourceEngine& e, int width, int height) {
  e.Width = width;
  e.Height = height;
  e.BitsPerPixel = 2;
  e.PixelAspect = 15;
  e.PaletteTypes = {LvovFullLevels, LvovDimLevels};
  e.PaletteType = LvovFullLevels;
}

} // namespace

TVeLvovSourceEngine::TVeLvovSourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeLvovSourceEngine") {
  SetUp(*this, LvovSize, LvovSize);
  Description = "Lvov" + SizeText() + " screen";
}

TVeSourceMatch TVeLvovSourceEngine::Check(TVeLoadSource* source) {
  return MatchFile(source, ".lvs");
}

std::unique_ptr<TVeBitmap> TVeLvovSourceEngine::CreateBitmap() {
  return Decode(Source, *Palette, PaletteType, 0, 0, LvovSize, LvovSize);
}

TVeLvovWindowSourceEngine::TVeLvovWindowSourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeLvovWindowSourceEngine") {
  SetUp(*this, LvovWindowWidth, LvovWindowHeight);
  Description = "Lvov" + SizeText() + " television window";
}

TVeSourceMatch TVeLvovWindowSourceEngine::Check(TVeLoadSource* source) {
  return MatchFile(source, ".lvw");
}

std::unique_ptr<TVeBitmap> TVeLvovWindowSourceEngine::CreateBitmap() {
  return Decode(Source, *Palette, PaletteType, LvovWindowLeft, LvovWindowTop, LvovWindowWidth,
                LvovWindowHeight);
}

void RegisterLvovLoaders() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterSourceEngine(VeSourceEngineClass<TVeLvovSourceEngine>("TVeLvovSourceEngine", {".lvs"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeLvovWindowSourceEngine>("TVeLvovWindowSourceEngine", {".lvw"}));
  });
}
