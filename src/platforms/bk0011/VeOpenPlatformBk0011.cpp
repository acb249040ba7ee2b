#include "VeOpenPlatformBk0011.h"

#include <mutex>

#include "VeErrors.h"
#include "VePlatformBk0011.h"
#include "VeRawDump.h"

namespace {

bool IsScreen(const TVeLoadSource* s) {
  return s && s->Data && s->Size == Bk0011FileBytes &&
         Bk0011BinHeaderIs(s->Data, Bk0011ScreenAddress, Bk0011ScreenBytes);
}

TVeSourceMatch MatchScreen(const TVeLoadSource* s) {
  if (!IsScreen(s)) return 0;
  return TVeSourceMatch(smVerified | smExactSize | (s->Ext == ".bin" ? smExtension : 0));
}

// The palette number of the register file beside the screen, or -1.
int RegisterPalette(TVeLoadSource* s) {
  const TVeLoadSourceRec* reg = s ? s->FindFile(VeCompanionName(s->Name, ".reg")) : nullptr;
  if (!reg || reg->Size != Bk0011RegisterFileBytes ||
      !Bk0011BinHeaderIs(reg->Data.data(), Bk0011RegisterAddress, 2))
    return -1;
  return reg->Data[Bk0011BinHeader + 1] & 15;
}

const uint8_t* NeedScreen(const TVeLoadSource* s) {
  const uint8_t* bin = VeNeedRawDump(s, Bk0011FileBytes, "BK-0011 screen");
  if (!Bk0011BinHeaderIs(bin, Bk0011ScreenAddress, Bk0011ScreenBytes))
    throw EVeError("The BK-0011 screen " + s->Name + " does not load 040000 bytes at 040000");
  return bin + Bk0011BinHeader;
}

} // namespace

TVeBk0011SourceEngine::TVeBk0011SourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeBk0011SourceEngine") {
  Width = Height = 256;
  BitsPerPixel = 2;
  PixelAspect = 13;
  PaletteTypes = {Bk0011LinearLevels, Bk0011EmulatorLevels};
  PaletteType = Bk0011LinearLevels;
  for (int n = 0; n < Bk0011Palettes; ++n)
    PaletteVariants.push_back(Bk0011PaletteName(n));
  const int number = RegisterPalette(source);
  PaletteVariant = PaletteVariants[size_t(number < 0 ? 0 : number)];
  if (number < 0) Notes.push_back("no palette register file (.reg) beside it: palette 0 shown");
  Description = "BK-0011" + SizeText() + " colour screen";
}

// With the register file beside it the file is surely the colour screen.
TVeSourceMatch TVeBk0011SourceEngine::Check(TVeLoadSource* source) {
  const TVeSourceMatch match = MatchScreen(source);
  if (!match) return 0;
  return TVeSourceMatch(match | (RegisterPalette(source) >= 0 ? smNameHint : 0));
}

void TVeBk0011SourceEngine::GetVariantPalette(int index, TVePalette256& palette) {
  Bk0011MakePalette(palette, index, PaletteType);
}

std::unique_ptr<TVeBitmap> TVeBk0011SourceEngine::CreateBitmap() {
  const uint8_t* screen = NeedScreen(Source);
  int number = 0;
  for (int n = 0; n < Bk0011Palettes; ++n)
    if (PaletteVariant == PaletteVariants[size_t(n)]) number = n;
  Bk0011MakePalette(*Palette, number, PaletteType);
  auto bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x)
      bmp->SetPixel(x, y, Bk0011Pixel(screen, x, y, true));
  return bmp;
}

TVeBk0011MonoSourceEngine::TVeBk0011MonoSourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeBk0011MonoSourceEngine") {
  Width = 512;
  Height = 256;
  BitsPerPixel = 1;
  PixelAspect = 7;
  Description = "BK-0011" + SizeText() + " black and white screen";
}

TVeSourceMatch TVeBk0011MonoSourceEngine::Check(TVeLoadSource* source) {
  return MatchScreen(source);
}

std::unique_ptr<TVeBitmap> TVeBk0011MonoSourceEngine::CreateBitmap() {
  const uint8_t* screen = NeedScreen(Source);
  MakeBlackWhitePalette();
  auto bmp = std::make_unique<TVeBitmap1>(Width, Palette.get(), Height);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x)
      bmp->SetPixel(x, y, Bk0011Pixel(screen, x, y, false));
  return bmp;
}

void RegisterBk0011Loaders() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterSourceEngine(
        VeSourceEngineClass<TVeBk0011SourceEngine>("TVeBk0011SourceEngine", {".bin"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeBk0011MonoSourceEngine>("TVeBk0011MonoSourceEngine", {".bin"}));
  });
}
