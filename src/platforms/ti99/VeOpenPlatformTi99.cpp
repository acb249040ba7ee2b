#include "VeOpenPlatformTi99.h"

#include <cctype>
#include <string>
#include <vector>

#include "VePlatformTi99.h"
#include "VePlatformTi99F18A.h"
#include "msx/VePlatformMsx.h"

namespace {
// The colour file beside a pattern file: the extension's last letter P becomes C, in the
// same letter case.
std::string ColorFileName(const std::string& name) {
  std::string s = name;
  if (!s.empty()) s.back() = std::isupper(static_cast<unsigned char>(s.back())) ? 'C' : 'c';
  return s;
}

// The TMS9918A screens: their pixel on a 4:3 screen and the two readings of the colours.
void TmsShape(TVeSourceEngine& e, int width, int height, int bits) {
  e.Width = width;
  e.Height = height;
  e.BitsPerPixel = bits;
  e.PixelAspect = 12;
  e.PaletteTypes = {ptTI99Calculated, ptTI99MSX};
  e.PaletteType = ptTI99Calculated;
}
} // namespace

TVeSourceMatch TVeTIArtistEngine::Check(TVeLoadSource* source) {
  if (!source || !source->Data || source->Ext != ".tiap" || source->Size != Ti99TableBytes)
    return 0;
  return TVeSourceMatch(smVerified | smExtension | smExactSize);
}

TVeTIArtistEngine::TVeTIArtistEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeTIArtistEngine") {
  TmsShape(*this, 256, 192, 4);
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
  Ti99MakePalette(*Palette, PaletteType);
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
  TmsShape(*this, 64, 48, 4);
  Description = "TI-99/4A" + SizeText() + " multicolour image";
}

std::unique_ptr<TVeBitmap> TVeTIMulticolorEngine::CreateBitmap() {
  if (!Source || !Source->Data || Source->Size != MsxScreen3Data)
    throw EVeError("The multicolour dump is not 1536 bytes long");
  Ti99MakePalette(*Palette, PaletteType);
  auto bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      const uint8_t b = Source->Data[MsxScreen3Offset(x, y)];
      bmp->SetPixel(x, y, x % 2 ? b & 15 : b >> 4);
    }
  return bmp;
}

// A dual dump of the wrong size is still offered under its extension, so that opening it
// says what is wrong.
TVeSourceMatch TVeTIDualEngine::Check(TVeLoadSource* source) {
  if (!source || !source->Data || source->Ext != ".vdd") return 0;
  if (source->Size != 2 * MsxScreen3Data) return smExtension;
  return TVeSourceMatch(smVerified | smExtension | smExactSize);
}

TVeTIDualEngine::TVeTIDualEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeTIDualEngine") {
  TmsShape(*this, 64, 48, 8);
  Description = "TI-99/4A" + SizeText() + " dual multicolour image";
}

std::unique_ptr<TVeBitmap> TVeTIDualEngine::CreateBitmap() {
  if (!Source || !Source->Data) throw EVeError("The dual multicolour dump holds no data");
  if (Source->Size != 2 * MsxScreen3Data)
    throw EVeError("The dual multicolour dump is " + std::to_string(Source->Size) +
                   " bytes long, not " + std::to_string(2 * MsxScreen3Data));
  TVePalette256 colors;
  Ti99MakePalette(colors, PaletteType);
  Palette->MakeMixTable(&colors, 100, 16);
  auto bmp = std::make_unique<TVeBitmap8>(Width, Palette.get(), Height);
  TVeBitmap* a = bmp->AddFrame(&colors);
  TVeBitmap* b = bmp->AddFrame(&colors);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      const uint8_t ba = Source->Data[MsxScreen3Offset(x, y)];
      const uint8_t bb = Source->Data[MsxScreen3Data + MsxScreen3Offset(x, y)];
      const int ca = x % 2 ? ba & 15 : ba >> 4, cb = x % 2 ? bb & 15 : bb >> 4;
      a->SetPixel(x, y, ca);
      b->SetPixel(x, y, cb);
      bmp->SetPixel(x, y, ca * 16 + cb);
    }
  return bmp;
}

// ---- F18A dumps ------------------------------------------------------------------------------

namespace {

// Registers as the data port takes them leave the top nibble of each first byte clear.
bool RegistersWellFormed(const uint8_t* at, int count) {
  for (int i = 0; i < count; ++i)
    if (at[2 * i] & 0xF0) return false;
  return true;
}

// A file of the wrong size under the dump's own extension is still offered, so that opening
// it tells what is wrong with it rather than that nothing knows it.
TVeSourceMatch F18AMatch(TVeLoadSource* source, const char* ext, int size) {
  if (!source || !source->Data || source->Ext != ext) return 0;
  if (source->Size != size) return smExtension;
  const int registers = (size - Ti99F18APaletteAt) / 2;
  return TVeSourceMatch(
      smExtension | smExactSize |
      (RegistersWellFormed(source->Data + Ti99F18APaletteAt, registers) ? smVerified : 0));
}

void CheckF18ASize(const TVeLoadSource* source, int size, const char* what) {
  if (!source || !source->Data) throw EVeError(std::string("The ") + what + " holds no data");
  if (source->Size != size)
    throw EVeError(std::string("The ") + what + " is " + std::to_string(source->Size) +
                   " bytes long, not " + std::to_string(size));
}

// Hands every pixel of the two tables to pixel(x, y, register).
template <class TPixel> void DecodeF18ATables(const uint8_t* data, TPixel pixel) {
  for (int at = 0; at < Ti99F18ATableBytes; ++at) {
    const uint8_t bits = data[at], colors = data[Ti99F18ATableBytes + at];
    const int x = (at % 256) / 8 * 8, y = at / 256 * 8 + at % 8;
    for (int i = 0; i < 8; ++i)
      pixel(x + i, y, bits >> (7 - i) & 1 ? colors >> 4 : colors & 15);
  }
}

} // namespace

TVeSourceMatch TVeF18ASourceEngine::Check(TVeLoadSource* source) {
  return F18AMatch(source, ".f18a", Ti99F18ABytes);
}

TVeF18ASourceEngine::TVeF18ASourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeF18ASourceEngine") {
  Width = 256;
  Height = 192;
  BitsPerPixel = 4;
  PixelAspect = 12;
  Description = "F18A" + SizeText() + " image";
}

std::unique_ptr<TVeBitmap> TVeF18ASourceEngine::CreateBitmap() {
  CheckF18ASize(Source, Ti99F18ABytes, "F18A dump");
  Palette->BeginUpdate();
  Palette->Clear();
  for (int i = 0; i < 16; ++i)
    Ti99F18AAddColor(*Palette, Ti99F18AReadRegister(Source->Data + Ti99F18APaletteAt + 2 * i));
  Palette->EndUpdate();
  auto bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  DecodeF18ATables(Source->Data, [&](int x, int y, int c) { bmp->SetPixel(x, y, c); });
  return bmp;
}

TVeSourceMatch TVeF18AScanlineSourceEngine::Check(TVeLoadSource* source) {
  return F18AMatch(source, ".f18s", Ti99F18AScanlineBytes);
}

TVeF18AScanlineSourceEngine::TVeF18AScanlineSourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeF18AScanlineSourceEngine") {
  Width = 256;
  Height = Ti99F18ALines;
  BitsPerPixel = 12;
  PixelAspect = 12;
  Description = "F18A" + SizeText() + " image with a palette per line";
}

std::unique_ptr<TVeBitmap> TVeF18AScanlineSourceEngine::CreateBitmap() {
  CheckF18ASize(Source, Ti99F18AScanlineBytes, "F18A scanline dump");
  // Every line's registers as true colours.
  std::vector<uint32_t> quads(size_t(Ti99F18ALines) * 16);
  for (int y = 0; y < Ti99F18ALines; ++y) {
    TVePalette256 line;
    const uint8_t* at = Source->Data + Ti99F18APaletteAt + y * Ti99F18ARegisterBytes;
    for (int i = 0; i < 16; ++i)
      Ti99F18AAddColor(line, Ti99F18AReadRegister(at + 2 * i));
    for (int i = 0; i < 16; ++i)
      quads[size_t(y) * 16 + size_t(i)] = line.GetRGBQuad(i) & 0xFFFFFF;
  }
  auto bmp = std::make_unique<TVeBitmap24>(Width, Height);
  DecodeF18ATables(Source->Data, [&](int x, int y, int c) {
    bmp->SetPixel(x, y, int(quads[size_t(y) * 16 + size_t(c)]));
  });
  return bmp;
}

void RegisterTi99Loaders() {
  static const bool done = [] {
    RegisterSourceEngine(VeSourceEngineClass<TVeTIArtistEngine>("TVeTIArtistEngine", {".tiap"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeTIMulticolorEngine>("TVeTIMulticolorEngine", {".vdp"}));
    RegisterSourceEngine(VeSourceEngineClass<TVeTIDualEngine>("TVeTIDualEngine", {".vdd"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeF18ASourceEngine>("TVeF18ASourceEngine", {".f18a"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeF18AScanlineSourceEngine>("TVeF18AScanlineSourceEngine", {".f18s"}));
    return true;
  }();
  (void)done;
}
