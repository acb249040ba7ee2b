#include "VeOpenPlatformIrisha.h"

#include <mutex>

#include "VePlatformIrisha.h"
#include "VeRawDump.h"

namespace {

// A dump whose mode port value selects its mode.
TVeSourceMatch MatchMode(const TVeLoadSource* s, const char* ext, int32_t size, int modeAt,
                         uint8_t mode) {
  const TVeSourceMatch match = VeRawDumpMatch(s, ext, size);
  if (!match || s->Data[modeAt] != mode) return 0;
  return TVeSourceMatch(match | smVerified);
}

} // namespace

TVeIrishaSourceEngine::TVeIrishaSourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeIrishaSourceEngine") {
  Width = 320;
  Height = IrishaHeight;
  BitsPerPixel = 1;
  Description = "Irisha" + SizeText() + " screen";
}

TVeSourceMatch TVeIrishaSourceEngine::Check(TVeLoadSource* source) {
  return MatchMode(source, ".ir3", IrishaLowResFileBytes, IrishaLowResBytes, IrishaLowResMode);
}

std::unique_ptr<TVeBitmap> TVeIrishaSourceEngine::CreateBitmap() {
  const uint8_t* d = VeNeedRawDump(Source, IrishaLowResFileBytes, "Irisha screen");
  const uint8_t port = d[IrishaLowResBytes + 1];
  const TVePalette256& colors = IrishaColors();
  Palette->Clear();
  Palette->AddColor(colors.Color(IrishaPaper(IrishaPortPaper(port))));
  Palette->AddColor(colors.Color(IrishaInk(IrishaPortInk(port))));
  auto bmp = std::make_unique<TVeBitmap1>(Width, Palette.get(), Height);
  for (int y = 0; y < Height; ++y)
    for (int c = 0; c < 40; ++c)
      Unpack1Bit(*bmp, c * 8, y, d[y * 40 + c], 1, 0);
  return bmp;
}

TVeIrishaHighResSourceEngine::TVeIrishaHighResSourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeIrishaHighResSourceEngine") {
  Width = 640;
  Height = IrishaHeight;
  BitsPerPixel = 1;
  PixelAspect = 1;
  Description = "Irisha" + SizeText() + " screen";
}

TVeSourceMatch TVeIrishaHighResSourceEngine::Check(TVeLoadSource* source) {
  return MatchMode(source, ".ir6", IrishaHighResFileBytes, IrishaHighResBytes, IrishaHighResMode);
}

std::unique_ptr<TVeBitmap> TVeIrishaHighResSourceEngine::CreateBitmap() {
  const uint8_t* d = VeNeedRawDump(Source, IrishaHighResFileBytes, "Irisha screen");
  MakeBlackWhitePalette();
  auto bmp = std::make_unique<TVeBitmap1>(Width, Palette.get(), Height);
  for (int y = 0; y < Height; ++y)
    for (int c = 0; c < 80; ++c)
      Unpack1Bit(*bmp, c * 8, y, d[y * 80 + c], 1, 0);
  return bmp;
}

void RegisterIrishaLoaders() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterSourceEngine(
        VeSourceEngineClass<TVeIrishaSourceEngine>("TVeIrishaSourceEngine", {".ir3"}));
    RegisterSourceEngine(VeSourceEngineClass<TVeIrishaHighResSourceEngine>(
        "TVeIrishaHighResSourceEngine", {".ir6"}));
  });
}
