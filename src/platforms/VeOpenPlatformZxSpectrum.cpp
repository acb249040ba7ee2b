#include "VeOpenPlatformZxSpectrum.h"

#include "VePlatformZxSpectrum.h"

namespace {

TVeSourceMatch ExactSizeMatch(TVeLoadSource* source, int32_t size, const char* ext) {
  if (!source || !source->Data || source->Size != size) return 0;
  return TVeSourceMatch(smExactSize | (source->Ext == ext ? smExtension : 0));
}

} // namespace

TVeZxSpectrumBWEngine::TVeZxSpectrumBWEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeZxSpectrumBWEngine") {
  Width = ZxScreenWidth;
  Height = ZxScreenHeight;
  BitsPerPixel = 1;
  MakeBlackWhitePalette(true); // a set bit is black
  Description = "ZX Spectrum" + SizeText() + " B/W" + " image";
}

TVeSourceMatch TVeZxSpectrumBWEngine::Check(TVeLoadSource* source) {
  return ExactSizeMatch(source, ZxPixelBytes, ".scr");
}

std::unique_ptr<TVeBitmap> TVeZxSpectrumBWEngine::CreateBitmap() {
  if (!Source || !Source->Data || Source->Size < ZxPixelBytes) VeInternalError();
  auto bmp = std::make_unique<TVeBitmap1>(Width, Palette.get(), Height);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < 32; ++x)
      Unpack1Bit(*bmp, x * 8, y, Source->Data[ZxScreenOffset(y, x)], 1, 0);
  return bmp;
}

TVeZxSpectrumColorEngine::TVeZxSpectrumColorEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeZxSpectrumColorEngine") {
  Width = ZxScreenWidth;
  Height = ZxScreenHeight;
  BitsPerPixel = 4;
  SetDefaultZxPaletteTypes();
  ZxSpectrumMakePalette(*Palette, PaletteType);
  Description = "ZX Spectrum" + SizeText() + " image";
}

TVeSourceMatch TVeZxSpectrumColorEngine::Check(TVeLoadSource* source) {
  return ExactSizeMatch(source, ZxScreenBytes, ".scr");
}

std::unique_ptr<TVeBitmap> TVeZxSpectrumColorEngine::CreateBitmap() {
  if (!Source || !Source->Data || Source->Size < ZxScreenBytes) VeInternalError();
  ZxSpectrumMakePalette(*Palette, PaletteType);
  auto bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  const uint8_t* d = Source->Data;
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < 32; ++x) {
      int ink, paper;
      ZxAttribute(d[ZxAttrOffset(x, y / 8)], ink, paper);
      Unpack1Bit(*bmp, x * 8, y, d[ZxScreenOffset(y, x)], ink, paper);
    }
  return bmp;
}

void RegisterZxSpectrumLoaders() {
  static const bool done = [] {
    RegisterSourceEngine(VeSourceEngineClass<TVeZxSpectrumBWEngine>("TVeZxSpectrumBWEngine"));
    RegisterSourceEngine(VeSourceEngineClass<TVeZxSpectrumColorEngine>("TVeZxSpectrumColorEngine"));
    return true;
  }();
  (void)done;
}
