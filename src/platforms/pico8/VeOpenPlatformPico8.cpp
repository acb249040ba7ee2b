#include "VeOpenPlatformPico8.h"

#include <mutex>

#include "VeErrors.h"
#include "VePlatformPico8.h"

TVePico8CartSourceEngine::TVePico8CartSourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVePico8CartSourceEngine") {
  Width = Pico8Size;
  Height = Pico8Size;
  BitsPerPixel = 4;
  Description = "Pico-8" + SizeText() + " cartridge sprite sheet";
}

// The first line is the test: a cartridge is text of any length.
TVeSourceMatch TVePico8CartSourceEngine::Check(TVeLoadSource* source) {
  if (!source || !Pico8IsCartridge(source->Data, source->Size)) return 0;
  return TVeSourceMatch(smVerified | (source->Ext == ".p8" ? smExtension : 0));
}

std::unique_ptr<TVeBitmap> TVePico8CartSourceEngine::CreateBitmap() {
  TVePico8Picture picture;
  std::string problem;
  bool paletteFound = false;
  if (!Source || !Pico8ReadCartridge(Source->Data, Source->Size, picture, problem, paletteFound))
    throw EVeError("The Pico-8 cartridge " + (Source ? Source->Name : std::string()) +
                   " cannot be read: " + (problem.empty() ? "it is empty" : problem));
  if (!paletteFound) Notes.push_back("no screen palette found; the base colours are shown");
  picture.MakePalette(*Palette);
  auto bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x)
      bmp->SetPixel(x, y, picture.Slots[size_t(y * Pico8Size + x)]);
  return bmp;
}

void RegisterPico8Loaders() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterSourceEngine(
        VeSourceEngineClass<TVePico8CartSourceEngine>("TVePico8CartSourceEngine", {".p8"}));
  });
}
