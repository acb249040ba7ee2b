#include "VeOpenPlatformSpetsialist.h"

#include <mutex>
#include <string>

#include "VeByteReader.h"
#include "VeErrors.h"
#include "VePlatformSpetsialist.h"

namespace {

constexpr uint16_t ScreenEnd = SpecialistLoadAddress + SpecialistScreenBytes - 1;

// The video memory of a tape file of the screen (with or without its checksum), or null.
const uint8_t* ScreenOf(const uint8_t* data, int32_t size) {
  TVeByteReader r(data, size);
  uint16_t start = 0, end = 0;
  if (!r.ReadWord(start) || !r.ReadWord(end) || start != SpecialistLoadAddress || end != ScreenEnd)
    return nullptr;
  const uint8_t* screen = r.Take(SpecialistScreenBytes);
  if (r.Remaining != 0 && r.Remaining != SpecialistRksChecksum) return nullptr;
  return screen;
}

const uint8_t* NeedScreen(const TVeLoadSource* s) {
  const uint8_t* screen = s ? ScreenOf(s->Data, s->Size) : nullptr;
  if (!screen)
    throw EVeError("The Specialist screen " + (s ? s->Name : std::string()) + " must be " +
                   std::to_string(SpecialistRksBytes) + " bytes (or " +
                   std::to_string(SpecialistRksBytes + SpecialistRksChecksum) +
                   " with a checksum) from 9000h to BFFFh");
  return screen;
}

const TVeLoadSourceRec* ColorMemory(TVeLoadSource* s) {
  return s ? s->FindFile(VeCompanionName(s->Name, ".mxc")) : nullptr;
}

TVeSourceMatch MatchTape(TVeLoadSource* s) {
  if (!s || !s->Data || !ScreenOf(s->Data, s->Size)) return 0;
  return TVeSourceMatch(smVerified | (s->Ext == ".rks" ? smExtension : 0));
}

void Unpack(const uint8_t* screen, const uint8_t* colors, TVeBitmap& bmp) {
  for (int y = 0; y < SpecialistHeight; ++y)
    for (int x = 0; x < SpecialistWidth; ++x) {
      const int at = SpecialistOffset(x, y);
      const int bit = screen[at] >> (7 - (x & 7)) & 1;
      if (!colors)
        bmp.SetPixel(x, y, bit);
      else
        bmp.SetPixel(x, y, bit ? colors[at] >> 4 : colors[at] & 15);
    }
}

} // namespace

TVeSpecialistSourceEngine::TVeSpecialistSourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeSpecialistSourceEngine") {
  Width = SpecialistWidth;
  Height = SpecialistHeight;
  BitsPerPixel = 1;
  PixelAspect = 9;
  Description = "Specialist" + SizeText() + " screen";
}

TVeSourceMatch TVeSpecialistSourceEngine::Check(TVeLoadSource* source) {
  return MatchTape(source);
}

std::unique_ptr<TVeBitmap> TVeSpecialistSourceEngine::CreateBitmap() {
  const uint8_t* screen = NeedScreen(Source);
  Palette->Assign(&SpecialistMonoPalette());
  auto bmp = std::make_unique<TVeBitmap1>(Width, Palette.get(), Height);
  Unpack(screen, nullptr, *bmp);
  return bmp;
}

TVeSpecialistMxSourceEngine::TVeSpecialistMxSourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeSpecialistMxSourceEngine") {
  Width = SpecialistWidth;
  Height = SpecialistHeight;
  BitsPerPixel = 4;
  PixelAspect = 9;
  PaletteTypes = {SpecialistMxLevels, SpecialistMxCgaLevels};
  PaletteType = SpecialistMxLevels;
  Description = "Specialist MX" + SizeText() + " screen";
}

// Only with the colour memory beside it: without, the file is a plain Specialist screen.
TVeSourceMatch TVeSpecialistMxSourceEngine::Check(TVeLoadSource* source) {
  const TVeSourceMatch tape = MatchTape(source);
  const TVeLoadSourceRec* colors = ColorMemory(source);
  if (!tape || !colors || colors->Size != SpecialistScreenBytes) return 0;
  return TVeSourceMatch(tape | smNameHint);
}

std::unique_ptr<TVeBitmap> TVeSpecialistMxSourceEngine::CreateBitmap() {
  const uint8_t* screen = NeedScreen(Source);
  const TVeLoadSourceRec* colors = ColorMemory(Source);
  if (!colors || colors->Size != SpecialistScreenBytes)
    throw EVeError("The colour memory beside the Specialist MX screen " + Source->Name +
                   " must be a .mxc file of " + std::to_string(SpecialistScreenBytes) + " bytes");
  SpecialistMakeMxPalette(*Palette, PaletteType);
  auto bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  Unpack(screen, colors->Data.data(), *bmp);
  return bmp;
}

void RegisterSpecialistLoaders() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterSourceEngine(
        VeSourceEngineClass<TVeSpecialistSourceEngine>("TVeSpecialistSourceEngine", {".rks"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeSpecialistMxSourceEngine>("TVeSpecialistMxSourceEngine", {".rks"}));
  });
}
