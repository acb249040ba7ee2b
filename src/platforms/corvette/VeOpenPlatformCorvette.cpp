#include "VeOpenPlatformCorvette.h"

#include <mutex>

#include "VeErrors.h"
#include "VePlatformCorvette.h"
#include "VeRawDump.h"

namespace {

// Lookup bytes name entries 0 to 7 in order.
bool LutInOrder(const uint8_t* lut) {
  for (int i = 0; i < CorvetteLutEntries; ++i)
    if ((lut[i] & 15) != i) return false;
  return true;
}

} // namespace

TVeCorvetteSourceEngine::TVeCorvetteSourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeCorvetteSourceEngine") {
  Width = CorvetteWidth;
  Height = CorvetteHeight;
  BitsPerPixel = 3;
  PixelAspect = 5;
  Description = "Corvette" + SizeText() + " screen";
}

TVeSourceMatch TVeCorvetteSourceEngine::Check(TVeLoadSource* source) {
  const TVeSourceMatch match = VeRawDumpMatch(source, ".kor", CorvetteFileBytes);
  if (!match || !LutInOrder(source->Data + CorvetteScreenBytes)) return 0;
  return TVeSourceMatch(match | smVerified);
}

std::unique_ptr<TVeBitmap> TVeCorvetteSourceEngine::CreateBitmap() {
  const uint8_t* planes = VeNeedRawDump(Source, CorvetteFileBytes, "Corvette screen");
  const uint8_t* lut = planes + CorvetteScreenBytes;
  if (!LutInOrder(lut))
    throw EVeError("The lookup bytes of the Corvette screen " + Source->Name +
                   " do not name entries 0 to 7 in order");
  const TVePalette256& machine = CorvettePalette();
  Palette->Clear();
  for (int i = 0; i < CorvetteLutEntries; ++i)
    Palette->AddColor(machine.Color(lut[i] >> 4));
  auto bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x)
      bmp->SetPixel(x, y, CorvettePixel(planes, x, y));
  return bmp;
}

void RegisterCorvetteLoaders() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterSourceEngine(
        VeSourceEngineClass<TVeCorvetteSourceEngine>("TVeCorvetteSourceEngine", {".kor"}));
  });
}
