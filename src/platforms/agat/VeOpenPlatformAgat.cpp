#include "VeOpenPlatformAgat.h"

#include <mutex>
#include <string>
#include <utility>

#include "VeByteReader.h"
#include "VeErrors.h"
#include "VePlatformAgat.h"
#include "VeSavePlatformAgat.h"

namespace {

std::string Dot(const TVeAgatModeInfo& m) {
  return std::string(".") + m.Ext;
}

} // namespace

TVeAgatSourceEngine::TVeAgatSourceEngine(TVeLoadSource* source, const TVeAgatModeInfo& mode)
    : TVeSourceEngine(source, "TVeAgatSourceEngine"), FMode(mode) {
  Width = mode.Width;
  Height = mode.Height;
  BitsPerPixel = mode.Flicker ? 8 : mode.Screen.Bits();
  PixelAspect = mode.Aspect;
  PaletteTypes = {AgatCommunityColors, AgatFullFirstColors};
  PaletteType = AgatCommunityColors;
  Description = "Agat " + std::string(mode.Mode) + (mode.Flicker ? " pages" : " page");
}

// Without its tail a file is the header and the data; the header's length must be the data's.
TVeSourceMatch TVeAgatSourceEngine::Match(TVeLoadSource* source, const TVeAgatModeInfo& m) {
  if (!source || !source->Data || source->Ext != Dot(m)) return 0;
  const int data = m.DataBytes();
  if (source->Size != AgatHeaderBytes + data && source->Size != AgatFileBytes(data))
    return smExtension;
  if ((source->Data[2] | source->Data[3] << 8) != data) return smExtension;
  return TVeSourceMatch(smVerified | smExtension | smExactSize);
}

std::unique_ptr<TVeBitmap> TVeAgatSourceEngine::CreateBitmap() {
  const TVeAgatModeInfo& m = FMode;
  const TVeAgatScreen& s = m.Screen;
  const int data = m.DataBytes();
  TVeByteReader r(Source ? Source->Data : nullptr, Source ? Source->Size : 0);
  uint16_t address = 0, length = 0;
  const bool header = r.ReadWord(address) && r.ReadWord(length);
  const uint8_t* page = r.Take(data);
  if (!header || !page || (r.Remaining != 0 && r.Remaining != AgatTailBytes))
    throw EVeError("The Agat " + std::string(m.Mode) + " file " +
                   (Source ? Source->Name : std::string()) + " must be " +
                   std::to_string(AgatFileBytes(data)) + " bytes (" +
                   std::to_string(AgatHeaderBytes + data) + " without its tail)");
  if (length != data)
    throw EVeError("The Agat file " + Source->Name + " says it holds " + std::to_string(length) +
                   " bytes, not the " + std::to_string(data) + " of " + m.Mode);
  const int number = AgatTailPalette(r.Remaining ? r.Pos : nullptr, r.Remaining);
  TVePalette256 colors;
  AgatMakePalette(colors, s.Kind, number, PaletteType);
  if (!m.Flicker) {
    *Palette = colors;
    auto bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
    for (int y = 0; y < Height; ++y)
      for (int x = 0; x < Width; ++x)
        bmp->SetPixel(x, y, AgatGetPixel(s, page, x, y));
    return bmp;
  }
  const int n = s.Colors();
  Palette->MakeMixTable(&colors, 100, n);
  auto bmp = std::make_unique<TVeBitmap8>(Width, Palette.get(), Height);
  TVeBitmap* a = bmp->AddFrame(&colors);
  TVeBitmap* b = bmp->AddFrame(&colors);
  const uint8_t* second = page + s.PageBytes();
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) {
      const int va = AgatGetPixel(s, page, x, y), vb = AgatGetPixel(s, second, x, y);
      a->SetPixel(x, y, va);
      b->SetPixel(x, y, vb);
      bmp->SetPixel(x, y, va * n + vb);
    }
  return bmp;
}

template <int I>
TVeAgatSourceEngineT<I>::TVeAgatSourceEngineT(TVeLoadSource* source)
    : TVeAgatSourceEngine(source, AgatModeInfo(I)) {}

template <int I> TVeSourceMatch TVeAgatSourceEngineT<I>::Check(TVeLoadSource* source) {
  return Match(source, AgatModeInfo(I));
}

namespace {

template <int... I> void RegisterRows(std::integer_sequence<int, I...>) {
  (RegisterSourceEngine(VeSourceEngineClass<TVeAgatSourceEngineT<I>>(
       "TVeAgatSourceEngine " + std::string(AgatModeInfo(I).Mode), {Dot(AgatModeInfo(I))})),
   ...);
}

} // namespace

void RegisterAgatLoaders() {
  static std::once_flag once;
  std::call_once(once, [] { RegisterRows(AgatFinishedRows{}); });
}
