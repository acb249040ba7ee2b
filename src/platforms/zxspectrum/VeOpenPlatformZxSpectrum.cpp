#include "VeOpenPlatformZxSpectrum.h"

#include <string>

#include "VeOpenPlatformZxSpectrumContainers.h"
#include "VeOpenPlatformZxSpectrumExtra.h"
#include "VePlatformZxSpectrum.h"
#include "VePlatformZxSpectrumGigascreen.h"
#include "VeZxLoaderHelpers.h"

namespace {

// A ZX colour picture of 32 byte columns: pixelAt(x, y) and attrAt(x, y) give the offsets of
// the pixel byte and the attribute of byte column x in row y.
template <class TPixelAt, class TAttrAt>
std::unique_ptr<TVeBitmap> DecodeZxColor(TVeSourceEngine& e, TPixelAt pixelAt, TAttrAt attrAt) {
  ZxSpectrumMakePalette(*e.Palette, e.PaletteType);
  auto bmp = std::make_unique<TVeBitmap4>(e.Width, e.Palette.get(), e.Height);
  const uint8_t* d = e.Source->Data;
  for (int y = 0; y < e.Height; ++y)
    for (int x = 0; x < 32; ++x) {
      int ink, paper;
      TVeSourceEngine::ZxAttribute(d[attrAt(x, y)], ink, paper);
      TVeSourceEngine::Unpack1Bit(*bmp, x * 8, y, d[pixelAt(x, y)], ink, paper);
    }
  return bmp;
}

// Rows of attributes, each giving two pixels: paper, then ink.
std::unique_ptr<TVeBitmap> DecodeAttributePixels(TVeSourceEngine& e) {
  ZxSpectrumMakePalette(*e.Palette, e.PaletteType);
  auto bmp = std::make_unique<TVeBitmap4>(e.Width, e.Palette.get(), e.Height);
  const uint8_t* d = e.Source->Data;
  for (int y = 0; y < e.Height; ++y)
    for (int x = 0; x < 32; ++x) {
      int ink, paper;
      TVeSourceEngine::ZxAttribute(d[32 * y + x], ink, paper);
      bmp->SetPixel(2 * x, y, paper);
      bmp->SetPixel(2 * x + 1, y, ink);
    }
  return bmp;
}

void ZxColorLoader(TVeSourceEngine& e, int width, int height, const char* kind) {
  e.Width = width;
  e.Height = height;
  e.BitsPerPixel = 4;
  e.SetDefaultZxPaletteTypes();
  ZxSpectrumMakePalette(*e.Palette, e.PaletteType);
  e.Description = "ZX Spectrum" + e.SizeText() + kind + " image";
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
  return VeZxSizeMatch(source, ZxPixelBytes, ".scr");
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
  return VeZxSizeMatch(source, ZxScreenBytes, ".scr");
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

// ---- Flash view ---------------------------------------------------------------------------

TVeZxSpectrumFlashColorEngine::TVeZxSpectrumFlashColorEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeZxSpectrumFlashColorEngine") {
  ZxColorLoader(*this, ZxScreenWidth, ZxScreenHeight, " FlashColor");
  BitsPerPixel = 8;
  Description = "ZX Spectrum" + SizeText() + " FlashColor" + " image";
}

TVeSourceMatch TVeZxSpectrumFlashColorEngine::Check(TVeLoadSource* source) {
  TVeSourceMatch m = VeZxSizeMatch(source, ZxScreenBytes, ".scr");
  if (!m) return 0;
  // "picture.flash.scr" says what it is.
  const std::string& name = source->Name;
  const size_t dot = name.rfind('.');
  const std::string stem = VeLowerExt(dot == std::string::npos ? name : name.substr(0, dot));
  if ((m & smExtension) && stem == ".flash") m |= smNameHint;
  return m;
}

std::unique_ptr<TVeBitmap> TVeZxSpectrumFlashColorEngine::CreateBitmap() {
  VeZxNeedBytes(*this, ZxScreenBytes);
  TVePalette256 zx;
  ZxSpectrumMakePalette(zx, PaletteType);
  // Entry i * 16 + j: the mean of colours i and j, as the eye sees a flashing cell.
  Palette->BeginUpdate();
  Palette->Clear();
  for (int i = 0; i < 16; ++i)
    for (int j = 0; j < 16; ++j) {
      const TVeLinRGBColor a = zx.GetLinRGB(i), b = zx.GetLinRGB(j);
      Palette->AddLin({(a.R + b.R) / 2, (a.G + b.G) / 2, (a.B + b.B) / 2});
    }
  Palette->EndUpdate();
  auto bmp = std::make_unique<TVeBitmap8>(Width, Palette.get(), Height);
  const uint8_t* d = Source->Data;
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < 32; ++x) {
      const uint8_t a = d[ZxAttrOffset(x, y / 8)];
      int ink, paper;
      ZxAttribute(a, ink, paper);
      if (a & ZxAttrFlash)
        Unpack1Bit(*bmp, x * 8, y, 0, 0, paper * 16 + ink);
      else
        Unpack1Bit(*bmp, x * 8, y, d[ZxScreenOffset(y, x)], ink * 17, paper * 17);
    }
  return bmp;
}

// ---- Interlaced, multicolor and attribute layouts ------------------------------------------

TVeZxSpectrumColorInterlacedEngine::TVeZxSpectrumColorInterlacedEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeZxSpectrumColorInterlacedEngine") {
  ZxColorLoader(*this, ZxScreenWidth, 2 * ZxScreenHeight, " interlaced");
  PixelAspect = 17;
}

TVeSourceMatch TVeZxSpectrumColorInterlacedEngine::Check(TVeLoadSource* source) {
  return VeZxSizeMatch(source, ZxInterlacedBytes, ".lce");
}

std::unique_ptr<TVeBitmap> TVeZxSpectrumColorInterlacedEngine::CreateBitmap() {
  VeZxNeedBytes(*this, ZxInterlacedBytes);
  // Row 2y + k is row y of screen k.
  return DecodeZxColor(
      *this, [](int x, int y) { return (y & 1) * ZxScreenBytes + ZxScreenOffset(y >> 1, x); },
      [](int x, int y) { return (y & 1) * ZxScreenBytes + ZxAttrOffset(x, (y >> 1) / 8); });
}

TVeZxSpectrumMulticolorMLTEngine::TVeZxSpectrumMulticolorMLTEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeZxSpectrumMulticolorMLTEngine") {
  ZxColorLoader(*this, ZxScreenWidth, ZxScreenHeight, " multicolor");
}

TVeSourceMatch TVeZxSpectrumMulticolorMLTEngine::Check(TVeLoadSource* source) {
  return VeZxSizeMatch(source, 2 * ZxPixelBytes, ".mlt");
}

std::unique_ptr<TVeBitmap> TVeZxSpectrumMulticolorMLTEngine::CreateBitmap() {
  VeZxNeedBytes(*this, 2 * ZxPixelBytes);
  return DecodeZxColor(
      *this, [](int x, int y) { return ZxScreenOffset(y, x); },
      [](int x, int y) { return ZxPixelBytes + 32 * y + x; });
}

TVeZxSpectrumMulticolorMTLEngine::TVeZxSpectrumMulticolorMTLEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeZxSpectrumMulticolorMTLEngine") {
  ZxColorLoader(*this, 64, ZxScreenHeight, " multicolor");
  PixelAspect = 20;
}

TVeSourceMatch TVeZxSpectrumMulticolorMTLEngine::Check(TVeLoadSource* source) {
  return VeZxSizeMatch(source, ZxPixelBytes, ".mtl");
}

std::unique_ptr<TVeBitmap> TVeZxSpectrumMulticolorMTLEngine::CreateBitmap() {
  VeZxNeedBytes(*this, ZxPixelBytes);
  return DecodeAttributePixels(*this);
}

TVeZxSpectrumMulticolorMCEngine::TVeZxSpectrumMulticolorMCEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeZxSpectrumMulticolorMCEngine") {
  ZxColorLoader(*this, ZxScreenWidth, ZxScreenHeight, " multicolor");
}

TVeSourceMatch TVeZxSpectrumMulticolorMCEngine::Check(TVeLoadSource* source) {
  return VeZxSizeMatch(source, 2 * ZxPixelBytes, ".mc");
}

std::unique_ptr<TVeBitmap> TVeZxSpectrumMulticolorMCEngine::CreateBitmap() {
  VeZxNeedBytes(*this, 2 * ZxPixelBytes);
  return DecodeZxColor(
      *this, [](int x, int y) { return 32 * y + x; },
      [](int x, int y) { return ZxPixelBytes + 32 * y + x; });
}

TVeZxSpectrumMulticolor2Engine::TVeZxSpectrumMulticolor2Engine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeZxSpectrumMulticolor2Engine") {
  ZxColorLoader(*this, ZxScreenWidth, ZxScreenHeight, " multicolor");
}

TVeSourceMatch TVeZxSpectrumMulticolor2Engine::Check(TVeLoadSource* source) {
  return VeZxSizeMatch(source, ZxPixelBytes + ZxPixelBytes / 2, ".ifl");
}

std::unique_ptr<TVeBitmap> TVeZxSpectrumMulticolor2Engine::CreateBitmap() {
  VeZxNeedBytes(*this, ZxPixelBytes + ZxPixelBytes / 2);
  return DecodeZxColor(
      *this, [](int x, int y) { return ZxScreenOffset(y, x); },
      [](int x, int y) { return ZxPixelBytes + 32 * (y / 2) + x; });
}

TVeZxSpectrumMulticolor2AFLEngine::TVeZxSpectrumMulticolor2AFLEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeZxSpectrumMulticolor2AFLEngine") {
  ZxColorLoader(*this, 64, 96, " multicolor");
  PixelAspect = 17;
}

TVeSourceMatch TVeZxSpectrumMulticolor2AFLEngine::Check(TVeLoadSource* source) {
  return VeZxSizeMatch(source, 3072, ".afl");
}

std::unique_ptr<TVeBitmap> TVeZxSpectrumMulticolor2AFLEngine::CreateBitmap() {
  VeZxNeedBytes(*this, 3072);
  return DecodeAttributePixels(*this);
}

TVeZxSpectrumBWGigaEngine::TVeZxSpectrumBWGigaEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeZxSpectrumBWGigaEngine") {
  Width = ZxScreenWidth;
  Height = ZxScreenHeight;
  BitsPerPixel = 3;
  MakeBlackWhitePalette(true); // white, black: a set bit is black
  SavePalette();               // entry f1 * 2 + f2 mixes the two frames' colours
  Description = "ZX Spectrum" + SizeText() + " B/W" + " gigascreen" + " image";
}

TVeSourceMatch TVeZxSpectrumBWGigaEngine::Check(TVeLoadSource* source) {
  return VeZxSizeMatch(source, 2 * ZxPixelBytes, ".lcm");
}

std::unique_ptr<TVeBitmap> TVeZxSpectrumBWGigaEngine::CreateBitmap() {
  VeZxNeedBytes(*this, 2 * ZxPixelBytes);
  auto bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  // The two screens alternate: each is a frame of white and black.
  TVeBitmap* first = bmp->AddFrame(SavedPalette.get());
  TVeBitmap* second = bmp->AddFrame(SavedPalette.get());
  const uint8_t* d = Source->Data;
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < 32; ++x) {
      const int offset = ZxScreenOffset(y, x);
      // Pixel = first screen's bit * 2 + second screen's bit.
      UnpackTwoPlanes(*bmp, x * 8, y, d[ZxPixelBytes + offset], d[offset], true, second, first);
    }
  return bmp;
}

// ---- Gigascreen ---------------------------------------------------------------------------

namespace {
void GigaLoader(TVeSourceEngine& e, const char* kind) {
  e.Width = ZxScreenWidth;
  e.Height = ZxScreenHeight;
  e.BitsPerPixel = 8;
  e.SetDefaultZxPaletteTypes();
  // Velmora's own gigascreen engines write these files and mix "Linear" unless told not to.
  VeZxGigaCalculations(e, vcLinear);
  e.Description = "ZX Spectrum" + e.SizeText() + " gigascreen" + kind + " image";
}

bool MgHeader(const TVeLoadSource* source, int cellHeight) {
  const uint8_t* d = source->Data;
  return d[0] == 'M' && d[1] == 'G' && d[2] == 'H' && d[3] == 1 && d[4] == cellHeight;
}

int MgCellHeight(const TVeLoadSource* source) {
  if (!source || !source->Data) return 0;
  for (int s : {8, 4, 2})
    if (source->Size == 256 + 12288 + 12288 / s && MgHeader(source, s)) return s;
  return 0;
}
} // namespace

TVeZxSpectrumGigaEngine::TVeZxSpectrumGigaEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeZxSpectrumGigaEngine") {
  GigaLoader(*this, "");
}

TVeSourceMatch TVeZxSpectrumGigaEngine::Check(TVeLoadSource* source) {
  return VeZxSizeMatch(source, 2 * ZxScreenBytes, ".img");
}

std::unique_ptr<TVeBitmap> TVeZxSpectrumGigaEngine::CreateBitmap() {
  VeZxNeedBytes(*this, 2 * ZxScreenBytes);
  return VeZxDecodeGiga(*this, 0, ZxScreenBytes, [](int frame, int x, int y) {
    return frame * ZxScreenBytes + ZxAttrOffset(x, y / 8);
  });
}

TVeZxSpectrumGigaMGEngine::TVeZxSpectrumGigaMGEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeZxSpectrumGigaMGEngine") {
  GigaLoader(*this, (" MG" + std::to_string(MgCellHeight(source))).c_str());
}

TVeSourceMatch TVeZxSpectrumGigaMGEngine::Check(TVeLoadSource* source) {
  const int s = MgCellHeight(source);
  if (!s) return 0;
  const bool own = source->Ext == ".mg" + std::to_string(s);
  return TVeSourceMatch(smVerified | smExactSize | (own ? smExtension : 0));
}

std::unique_ptr<TVeBitmap> TVeZxSpectrumGigaMGEngine::CreateBitmap() {
  const int s = MgCellHeight(Source);
  if (!s) VeInternalError();
  const int rows = 192 / s;
  return VeZxDecodeGiga(*this, 256, 256 + ZxPixelBytes, [s, rows](int frame, int x, int y) {
    return 12544 + frame * 32 * rows + 32 * (y / s) + x;
  });
}

TVeZxSpectrumGigaMG1Engine::TVeZxSpectrumGigaMG1Engine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeZxSpectrumGigaMG1Engine") {
  GigaLoader(*this, " MG1");
}

TVeSourceMatch TVeZxSpectrumGigaMG1Engine::Check(TVeLoadSource* source) {
  if (!source || !source->Data || source->Size != 19456 || !MgHeader(source, 1)) return 0;
  return TVeSourceMatch(smVerified | smExactSize | (source->Ext == ".mg1" ? smExtension : 0));
}

std::unique_ptr<TVeBitmap> TVeZxSpectrumGigaMG1Engine::CreateBitmap() {
  VeZxNeedBytes(*this, 19456);
  return VeZxDecodeGiga(*this, 256, 256 + ZxPixelBytes, [](int frame, int x, int y) {
    if (x >= 8 && x < 24) return (frame ? 15616 : 12544) + 16 * y + (x - 8);
    return (frame ? 19072 : 18688) + 16 * (y / 8) + (x < 8 ? x : x - 16);
  });
}

TVeZxSpectrumAtrEngine::TVeZxSpectrumAtrEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeZxSpectrumAtrEngine") {
  ZxColorLoader(*this, ZxScreenWidth, ZxScreenHeight, "");
}

TVeSourceMatch TVeZxSpectrumAtrEngine::Check(TVeLoadSource* source) {
  return VeZxSizeMatch(source, ZxAttrBytes, ".atr");
}

std::unique_ptr<TVeBitmap> TVeZxSpectrumAtrEngine::CreateBitmap() {
  VeZxNeedBytes(*this, ZxAttrBytes);
  ZxSpectrumMakePalette(*Palette, PaletteType);
  auto bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < 32; ++x) {
      int ink, paper;
      ZxAttribute(Source->Data[32 * (y / 8) + x], ink, paper);
      Unpack1Bit(*bmp, x * 8, y, (y & 1) ? 0xAA : 0x55, ink, paper);
    }
  return bmp;
}

// ---- Tricolor -----------------------------------------------------------------------------

TVeZxSpectrumTricolorSourceEngine::TVeZxSpectrumTricolorSourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeZxSpectrumTricolorSourceEngine") {
  Width = ZxScreenWidth;
  Height = ZxScreenHeight;
  BitsPerPixel = 3;
  // Index = third plane + first plane * 2 + second plane * 4.
  static const uint32_t dot3[8] = {0x000000, 0x00FF00, 0x0000FF, 0x00FFFF,
                                   0xFF0000, 0xFFFF00, 0xFF00FF, 0xFFFFFF};
  static const uint32_t other[8] = {0x000000, 0x0000FF, 0xFF0000, 0xFF00FF,
                                    0x00FF00, 0x00FFFF, 0xFFFF00, 0xFFFFFF};
  const uint32_t* colors = source && source->Ext == ".3" ? dot3 : other;
  Palette->BeginUpdate();
  Palette->Clear();
  for (int k = 0; k < 8; ++k)
    Palette->AddRGB(uint8_t(colors[k] >> 16), uint8_t(colors[k] >> 8), uint8_t(colors[k]));
  Palette->EndUpdate();
  Description = "ZX Spectrum" + SizeText() + " tricolor" + " image";
}

TVeSourceMatch TVeZxSpectrumTricolorSourceEngine::Check(TVeLoadSource* source) {
  return VeZxSizeMatch(source, ZxTricolorBytes, ".3", ".rgb");
}

std::unique_ptr<TVeBitmap> TVeZxSpectrumTricolorSourceEngine::CreateBitmap() {
  VeZxNeedBytes(*this, ZxTricolorBytes);
  auto bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  const uint8_t* d = Source->Data;
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < 32; ++x) {
      const int offset = ZxScreenOffset(y, x);
      const uint8_t first = d[offset], second = d[ZxPixelBytes + offset];
      const uint8_t third = d[2 * ZxPixelBytes + offset];
      for (int i = 0; i < 8; ++i) {
        const int shift = 7 - i;
        bmp->SetPixel(8 * x + i, y,
                      (third >> shift & 1) + (first >> shift & 1) * 2 + (second >> shift & 1) * 4);
      }
    }
  return bmp;
}

// ---- Registration -------------------------------------------------------------------------

void RegisterZxSpectrumLoaders() {
  static const bool done = [] {
    RegisterSourceEngine(
        VeSourceEngineClass<TVeZxSpectrumBWEngine>("TVeZxSpectrumBWEngine", {".scr"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeZxSpectrumColorEngine>("TVeZxSpectrumColorEngine", {".scr"}));
    RegisterSourceEngine(VeSourceEngineClass<TVeZxSpectrumFlashColorEngine>(
        "TVeZxSpectrumFlashColorEngine", {".scr"}));
    RegisterSourceEngine(VeSourceEngineClass<TVeZxSpectrumColorInterlacedEngine>(
        "TVeZxSpectrumColorInterlacedEngine", {".lce"}));
    RegisterSourceEngine(VeSourceEngineClass<TVeZxSpectrumMulticolorMLTEngine>(
        "TVeZxSpectrumMulticolorMLTEngine", {".mlt"}));
    RegisterSourceEngine(VeSourceEngineClass<TVeZxSpectrumMulticolorMTLEngine>(
        "TVeZxSpectrumMulticolorMTLEngine", {".mtl"}));
    RegisterSourceEngine(VeSourceEngineClass<TVeZxSpectrumMulticolorMCEngine>(
        "TVeZxSpectrumMulticolorMCEngine", {".mc"}));
    RegisterSourceEngine(VeSourceEngineClass<TVeZxSpectrumMulticolor2Engine>(
        "TVeZxSpectrumMulticolor2Engine", {".ifl"}));
    RegisterSourceEngine(VeSourceEngineClass<TVeZxSpectrumMulticolor2AFLEngine>(
        "TVeZxSpectrumMulticolor2AFLEngine", {".afl"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeZxSpectrumBWGigaEngine>("TVeZxSpectrumBWGigaEngine", {".lcm"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeZxSpectrumGigaEngine>("TVeZxSpectrumGigaEngine", {".img"}));
    RegisterSourceEngine(VeSourceEngineClass<TVeZxSpectrumGigaMGEngine>(
        "TVeZxSpectrumGigaMGEngine", {".mg1", ".mg2", ".mg4", ".mg8"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeZxSpectrumGigaMG1Engine>("TVeZxSpectrumGigaMG1Engine", {".mg1"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeZxSpectrumAtrEngine>("TVeZxSpectrumAtrEngine", {".atr"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeZxSpectrumHlrEngine>("TVeZxSpectrumHlrEngine", {".hlr"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeZxSpectrumStlEngine>("TVeZxSpectrumStlEngine", {".stl"}));
    RegisterSourceEngine(VeSourceEngineClass<TVeZxSpectrumTricolorSourceEngine>(
        "TVeZxSpectrumTricolorSourceEngine", {".3", ".rgb"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeZxSpectrumChrEngine>("TVeZxSpectrumChrEngine", {".ch$"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeZxSpectrumSxgEngine>("TVeZxSpectrumSxgEngine", {".sxg"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeZxSpectrumBscEngine>("TVeZxSpectrumBscEngine", {".bsc"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeZxSpectrumBmc4Engine>("TVeZxSpectrumBmc4Engine", {".bmc4"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeZxSpectrumBspEngine>("TVeZxSpectrumBspEngine", {".bsp"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeZxSpectrumNextNxiEngine>("TVeZxSpectrumNextNxiEngine", {".nxi"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeZxSpectrumNextSl2Engine>("TVeZxSpectrumNextSl2Engine", {".sl2"}));
    // Tapes and snapshots come after every plain screen.
    RegisterZxSpectrumContainerLoaders();
    return true;
  }();
  (void)done;
}
