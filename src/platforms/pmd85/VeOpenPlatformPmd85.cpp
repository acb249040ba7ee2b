#include "VeOpenPlatformPmd85.h"

#include <mutex>

#include "VePlatformPmd85.h"
#include "VeRawDump.h"

namespace {

std::unique_ptr<TVeBitmap> Decode(const TVeLoadSource* s, TVePalette256& palette, bool colorAce) {
  const uint8_t* screen = VeNeedRawDump(s, Pmd85ScreenBytes, "PMD 85 screen");
  palette = colorAce ? Pmd85ColorAcePalette() : Pmd85Palette();
  auto bmp = std::make_unique<TVeBitmap4>(Pmd85Width, &palette, Pmd85Height);
  for (int y = 0; y < Pmd85Height; ++y)
    for (int x = 0; x < Pmd85Width; ++x)
      bmp->SetPixel(x, y, Pmd85PixelColor(screen, x, y, colorAce));
  return bmp;
}

} // namespace

TVePmd85SourceEngine::TVePmd85SourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVePmd85SourceEngine") {
  Width = Pmd85Width;
  Height = Pmd85Height;
  BitsPerPixel = 4;
  PixelAspect = 11;
  Description = "PMD 85" + SizeText() + " screen";
}

TVeSourceMatch TVePmd85SourceEngine::Check(TVeLoadSource* source) {
  return VeRawDumpMatch(source, ".p85", Pmd85ScreenBytes);
}

std::unique_ptr<TVeBitmap> TVePmd85SourceEngine::CreateBitmap() {
  return Decode(Source, *Palette, false);
}

TVePmd85ColorAceSourceEngine::TVePmd85ColorAceSourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVePmd85ColorAceSourceEngine") {
  Width = Pmd85Width;
  Height = Pmd85Height;
  BitsPerPixel = 4;
  PixelAspect = 11;
  Description = "PMD 85" + SizeText() + " ColorAce screen";
}

TVeSourceMatch TVePmd85ColorAceSourceEngine::Check(TVeLoadSource* source) {
  return VeRawDumpMatch(source, ".pca", Pmd85ScreenBytes);
}

std::unique_ptr<TVeBitmap> TVePmd85ColorAceSourceEngine::CreateBitmap() {
  return Decode(Source, *Palette, true);
}

void RegisterPmd85Loaders() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterSourceEngine(
        VeSourceEngineClass<TVePmd85SourceEngine>("TVePmd85SourceEngine", {".p85"}));
    RegisterSourceEngine(VeSourceEngineClass<TVePmd85ColorAceSourceEngine>(
        "TVePmd85ColorAceSourceEngine", {".pca"}));
  });
}
