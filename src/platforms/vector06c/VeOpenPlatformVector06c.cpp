#include "VeOpenPlatformVector06c.h"

#include "VeErrors.h"
#include "VePlatformVector06c.h"

namespace {

// Changes per line of a line-change file whose size and slots agree, else 0.
int HamChanges(const TVeLoadSource* s) {
  if (!s || !s->Data || s->Size < VectorFileBytes + 1) return 0;
  const int m = s->Data[VectorFileBytes];
  if (m < 1 || m > VectorPaletteBytes || s->Size != VectorHamFileBytes(m)) return 0;
  const uint8_t* changes = s->Data + VectorFileBytes + 1;
  for (int i = 0; i < (VectorSize - 1) * m; ++i)
    if (changes[2 * i] >= VectorPaletteBytes) return 0;
  return m;
}

} // namespace

TVeVectorSourceEngine::TVeVectorSourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeVectorSourceEngine") {
  Width = Height = VectorSize;
  BitsPerPixel = 4;
  PixelAspect = 11;
  Description = "Vector-06C" + SizeText() + " screen";
}

TVeSourceMatch TVeVectorSourceEngine::Check(TVeLoadSource* source) {
  if (!source || !source->Data || source->Ext != ".v6c" || source->Size != VectorFileBytes)
    return 0;
  return TVeSourceMatch(smVerified | smExtension | smExactSize);
}

std::unique_ptr<TVeBitmap> TVeVectorSourceEngine::CreateBitmap() {
  if (!Source || !Source->Data || Source->Size != VectorFileBytes)
    throw EVeError("The Vector-06C screen file has the wrong size");
  const TVePalette256& v = VectorPalette();
  Palette->Clear();
  for (int i = 0; i < VectorPaletteBytes; ++i)
    Palette->AddColor(v.Color(Source->Data[VectorScreenBytes + i]));
  auto bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x)
      bmp->SetPixel(x, y, VectorPixel(Source->Data, x, y));
  return bmp;
}

TVeVectorHAMSourceEngine::TVeVectorHAMSourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeVectorHAMSourceEngine") {
  Width = Height = VectorSize;
  BitsPerPixel = 8;
  PixelAspect = 11;
  Description = "Vector-06C" + SizeText() + " line-change screen";
}

TVeSourceMatch TVeVectorHAMSourceEngine::Check(TVeLoadSource* source) {
  if (!source || source->Ext != ".v6h" || HamChanges(source) == 0) return 0;
  return TVeSourceMatch(smVerified | smExtension | smExactSize);
}

std::unique_ptr<TVeBitmap> TVeVectorHAMSourceEngine::CreateBitmap() {
  const int m = HamChanges(Source);
  if (m == 0) throw EVeError("The Vector-06C line-change file does not match its header");
  const uint8_t* data = Source->Data;
  *Palette = VectorPalette();
  auto bmp = std::make_unique<TVeBitmap8>(Width, Palette.get(), Height);
  uint8_t regs[VectorPaletteBytes];
  for (int i = 0; i < VectorPaletteBytes; ++i)
    regs[i] = data[VectorScreenBytes + i];
  const uint8_t* changes = data + VectorFileBytes + 1;
  for (int y = 0; y < Height; ++y) {
    if (y > 0)
      for (int k = 0; k < m; ++k) {
        const uint8_t* c = changes + 2 * ((y - 1) * m + k);
        regs[c[0]] = c[1];
      }
    for (int x = 0; x < Width; ++x)
      bmp->SetPixel(x, y, regs[VectorPixel(data, x, y)]);
  }
  return bmp;
}

void RegisterVector06cLoaders() {
  static const bool done = [] {
    RegisterSourceEngine(
        VeSourceEngineClass<TVeVectorSourceEngine>("TVeVectorSourceEngine", {".v6c"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeVectorHAMSourceEngine>("TVeVectorHAMSourceEngine", {".v6h"}));
    return true;
  }();
  (void)done;
}
