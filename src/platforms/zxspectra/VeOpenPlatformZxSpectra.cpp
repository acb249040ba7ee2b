#include "VeOpenPlatformZxSpectra.h"

#include <mutex>

#include "VeErrors.h"
#include "VePlatformZxSpectra.h"
#include "VeRawDump.h"

namespace {

// The mode named by the last byte, or -1.
int ModeOf(const TVeLoadSource* s) {
  if (!s || !s->Data || s->Size < 1) return -1;
  return ZxSpectraModeOfRegister(s->Data[s->Size - 1]);
}

} // namespace

TVeZxSpectraSourceEngine::TVeZxSpectraSourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeZxSpectraSourceEngine") {
  Width = ZxScreenWidth;
  Height = ZxScreenHeight;
  BitsPerPixel = 8;
  const int mode = ModeOf(source);
  Description = "ZX Spectrum SPECTRA" + SizeText() +
                (mode < 0 ? std::string(" image") : " " + std::string(ZxSpectraMode(mode).Mode));
}

TVeSourceMatch TVeZxSpectraSourceEngine::Check(TVeLoadSource* source) {
  const int mode = ModeOf(source);
  if (mode < 0) return 0;
  const TVeSourceMatch match =
      VeRawDumpMatch(source, ".spa", ZxSpectraFileBytes(ZxSpectraMode(mode).CellHeight));
  return match ? TVeSourceMatch(match | smVerified) : 0;
}

std::unique_ptr<TVeBitmap> TVeZxSpectraSourceEngine::CreateBitmap() {
  const int mode = ModeOf(Source);
  if (mode < 0)
    throw EVeError("The SPECTRA screen " + (Source ? Source->Name : std::string()) +
                   " does not end in a mode register value of its modes");
  const TVeZxSpectraMode& m = ZxSpectraMode(mode);
  const uint8_t* d = VeNeedRawDump(Source, ZxSpectraFileBytes(m.CellHeight), "SPECTRA screen");
  ZxSpectraMakePalette(*Palette);
  auto bmp = std::make_unique<TVeBitmap8>(Width, Palette.get(), Height);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x)
      bmp->SetPixel(x, y, ZxSpectraPixel(d, m, x, y));
  return bmp;
}

void RegisterZxSpectraLoaders() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterSourceEngine(
        VeSourceEngineClass<TVeZxSpectraSourceEngine>("TVeZxSpectraSourceEngine", {".spa"}));
  });
}
