#include "VeOpenPlatformZxSpectrumUlaPlus.h"

#include "VePlatformZxSpectrumUlaPlus.h"

namespace {

void UlaPlusLoader(TVeSourceEngine& e, const char* machine) {
  e.Width = ZxScreenWidth;
  e.Height = ZxScreenHeight;
  e.BitsPerPixel = 8;
  e.PaletteTypes = {ptV10, ptV11, ptV11Gray};
  e.PaletteType = ptV11;
  e.Description = std::string(machine) + e.SizeText() + " ULAPlus" + " image";
}

// The 64 table bytes as colours of the chosen palette type; a set pixel of attribute a takes
// entry (a div 64) * 16 + ink, a clear one (a div 64) * 16 + 8 + paper.
template <class TAttrAt>
std::unique_ptr<TVeBitmap> DecodeUlaPlus(TVeSourceEngine& e, int tableAt, TAttrAt attrAt) {
  const uint8_t* d = e.Source->Data;
  TVePalette256 all;
  ULAPlusMakePalette(all, e.PaletteType);
  e.Palette->BeginUpdate();
  e.Palette->Clear();
  for (int i = 0; i < ULAPlusTableBytes; ++i)
    e.Palette->AddColor(all.Color(d[tableAt + i]));
  e.Palette->EndUpdate();
  auto bmp = std::make_unique<TVeBitmap8>(e.Width, e.Palette.get(), e.Height);
  for (int y = 0; y < ZxScreenHeight; ++y)
    for (int x = 0; x < 32; ++x) {
      const uint8_t a = d[attrAt(x, y)];
      const int base = (a >> 6) * 16;
      TVeSourceEngine::Unpack1Bit(*bmp, 8 * x, y, d[ZxScreenOffset(y, x)], base + (a & 7),
                                  base + 8 + (a >> 3 & 7));
    }
  return bmp;
}

} // namespace

TVeZxSpectrumUlaPlusEngine::TVeZxSpectrumUlaPlusEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeZxSpectrumUlaPlusEngine") {
  UlaPlusLoader(*this, "ZX Spectrum");
}

TVeSourceMatch TVeZxSpectrumUlaPlusEngine::Check(TVeLoadSource* source) {
  return VeZxSizeMatch(source, ULAPlusScreenBytes, ".scr");
}

std::unique_ptr<TVeBitmap> TVeZxSpectrumUlaPlusEngine::CreateBitmap() {
  VeZxNeedBytes(*this, ULAPlusScreenBytes);
  return DecodeUlaPlus(*this, ZxScreenBytes, [](int x, int y) { return ZxAttrOffset(x, y / 8); });
}

TVeTimexUlaPlusEngine::TVeTimexUlaPlusEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeTimexUlaPlusEngine") {
  UlaPlusLoader(*this, "Timex");
}

TVeSourceMatch TVeTimexUlaPlusEngine::Check(TVeLoadSource* source) {
  return VeZxSizeMatch(source, ULAPlusTimexBytes, ".scr");
}

std::unique_ptr<TVeBitmap> TVeTimexUlaPlusEngine::CreateBitmap() {
  VeZxNeedBytes(*this, ULAPlusTimexBytes);
  // One attribute per pixel line, laid out like the pixels.
  return DecodeUlaPlus(*this, 2 * ZxPixelBytes,
                       [](int x, int y) { return ZxPixelBytes + ZxScreenOffset(y, x); });
}

void RegisterZxSpectrumUlaPlusLoaders() {
  static const bool done = [] {
    RegisterSourceEngine(
        VeSourceEngineClass<TVeZxSpectrumUlaPlusEngine>("TVeZxSpectrumUlaPlusEngine"));
    RegisterSourceEngine(VeSourceEngineClass<TVeTimexUlaPlusEngine>("TVeTimexUlaPlusEngine"));
    return true;
  }();
  (void)done;
}
