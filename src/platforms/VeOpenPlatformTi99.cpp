#include "VeOpenPlatformTi99.h"

#include <cctype>
#include <string>

#include "VePlatformMsx.h"
#include "VePlatformTi99.h"

namespace {
// The colour file beside a pattern file: the extension's last letter P becomes C, in the
// same letter case.
std::string ColorFileName(const std::string& name) {
  std::string s = name;
  if (!s.empty()) s.back() = std::isupper(static_cast<unsigned char>(s.back())) ? 'C' : 'c';
  return s;
}
} // namespace

TVeSourceMatch TVeTIArtistEngine::Check(TVeLoadSource* source) {
  if (!source || !source->Data || source->Ext != ".tiap" || source->Size != Ti99TableBytes)
    return 0;
  return TVeSourceMatch(smVerified | smExtension | smExactSize);
}

TVeTIArtistEngine::TVeTIArtistEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeTIArtistEngine") {
  Width = 256;
  Height = 192;
  BitsPerPixel = 4;
  PixelAspect = 12;
  PaletteTypes = {ptTI99Calculated, ptTI99MSX};
  PaletteType = ptTI99Calculated;
  bool missing = true;
  if (source) {
    const TVeLoadSourceRec* c = source->FindFile(ColorFileName(source->Name));
    if (c && c->Size == Ti99TableBytes && c->Data.size() == size_t(Ti99TableBytes)) {
      FColors = c;
      missing = false;
    }
  }
  Description = "TI-Artist" + SizeText() + " image" + (missing ? " (no colour file)" : "");
}

std::unique_ptr<TVeBitmap> TVeTIArtistEngine::CreateBitmap() {
  if (!Source || !Source->Data || Source->Size != Ti99TableBytes)
    throw EVeError("The TI-Artist file is not 6144 bytes long");
  Ti99MakePalette(*Palette, Ti99IsPaletteType(PaletteType) ? PaletteType : ptTI99Calculated);
  auto bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  for (int at = 0; at < Ti99TableBytes; ++at) {
    // Without its colour file the picture shows white on black.
    const uint8_t colors = FColors ? FColors->Data[size_t(at)] : 0xF1;
    const int x = (at % 256) / 8 * 8, y = at / 256 * 8 + at % 8;
    Unpack1Bit(*bmp, x, y, Source->Data[at], colors >> 4, colors & 15);
  }
  return bmp;
}

TVeSourceMatch TVeTIMulticolorEngine::Check(TVeLoadSource* source) {
  if (!source || !source->Data || source->Ext != ".vdp" || source->Size != MsxScreen3Data) return 0;
  return TVeSourceMatch(smVerified | smExtension | smExactSize);
}

TVeTIMulticolorEngine::TVeTIMulticolorEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeTIMulticolorEngine") {
  Width = 64;
  Height = 48;
  BitsPerPixel = 4;
  PixelAspect = 12;
  PaletteTypes = {ptTI99Calculated, ptTI99MSX};
  PaletteType = ptTI99Calculated;
  Description = "TI-99/4A" + SizeText() + " multicolour image";
}

std::unique_ptr<TVeBitmap> TVeTIMulticolorEngine::CreateBitmap() {
  if (!Source || !Source->Data || Source->Size != MsxScreen3Data)
    throw EVeError("The multicolour dump is not 1536 bytes long");
  Ti99MakePalette(*Palette, Ti99IsPaletteType(PaletteType) ? PaletteType : ptTI99Calculated);
  auto bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      const uint8_t b = Source->Data[MsxScreen3Offset(x, y)];
      bmp->SetPixel(x, y, x % 2 ? b & 15 : b >> 4);
    }
  return bmp;
}

void RegisterTi99Loaders() {
  static const bool done = [] {
    RegisterSourceEngine(VeSourceEngineClass<TVeTIArtistEngine>("TVeTIArtistEngine", {".tiap"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeTIMulticolorEngine>("TVeTIMulticolorEngine", {".vdp"}));
    return true;
  }();
  (void)done;
}
