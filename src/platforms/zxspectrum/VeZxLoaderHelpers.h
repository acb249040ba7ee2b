#pragma once
// Pieces every ZX Spectrum screen loader shares: the class shape, the size probe, the
// decoders' own size check and the gigascreen pair palette and decoding.
#include <cstdint>
#include <memory>

#include "VeBitmap.h"
#include "VePlatformZxSpectrum.h"
#include "VeSourceEngines.h"

#define VE_ZX_LOADER(Class)                                                                        \
  class Class : public TVeSourceEngine {                                                           \
  public:                                                                                          \
    explicit Class(TVeLoadSource* source);                                                         \
    static TVeSourceMatch Check(TVeLoadSource* source);                                            \
    std::unique_ptr<TVeBitmap> CreateBitmap() override;                                            \
  };

// Taken at exactly this size; the extension (or the second one) ranks it higher.
TVeSourceMatch VeZxSizeMatch(const TVeLoadSource* source, int32_t size, const char* ext,
                             const char* ext2 = nullptr, bool verified = false);
// The bytes a decoder reads, checked again in case a caller skipped the probe.
void VeZxNeedBytes(const TVeSourceEngine& engine, int32_t size);
// "Standard" and "Linear" offered, first the given one: what the file's maker is likeliest
// to have used, as the file cannot say.
void VeZxGigaCalculations(TVeSourceEngine& engine, uint8_t first = vcStandard);
// The pair palette of the engine's type and calculation, every entry shown: entry
// f1 * 16 + f2 mixes the colours of both frames.
void VeZxPairPalette(TVeSourceEngine& engine);

// The two frames a gigascreen file shows alternately, added to its decoded bitmap as 4-bit
// bitmaps of the 16 colours of the engine's palette type (black where no screen lies).
struct TVeZxFrames {
  TVeBitmap* First;
  TVeBitmap* Second;
  // Frame 1 shows colour c1 and frame 2 colour c2 at (x, y); the mixed bitmap gets c1 * 16 + c2.
  void Set(TVeBitmap& mixed, int x, int y, int c1, int c2) const {
    mixed.SetPixel(x, y, c1 * 16 + c2);
    First->SetPixel(x, y, c1);
    Second->SetPixel(x, y, c2);
  }
};
TVeZxFrames VeZxAddFrames(TVeSourceEngine& engine, TVeBitmap& mixed);

// Two 256 x 192 screens shown alternately, drawn at (x0, y0) of a new 8-bit bitmap of the
// engine's size over the pair palette: pixel = (frame 1 colour) * 16 + (frame 2 colour); the
// two frames go with it.
// pixels1 / pixels2 are the offsets of the frames' pixels (standard layout); attrAt(frame, x,
// y) gives the offset of the attribute of byte column x in pixel row y.
template <class TAttrAt>
std::unique_ptr<TVeBitmap> VeZxDecodeGiga(TVeSourceEngine& e, int pixels1, int pixels2,
                                          TAttrAt attrAt, int x0 = 0, int y0 = 0) {
  VeZxPairPalette(e);
  auto bmp = std::make_unique<TVeBitmap8>(e.Width, e.Palette.get(), e.Height);
  const TVeZxFrames frames = VeZxAddFrames(e, *bmp);
  const uint8_t* d = e.Source->Data;
  for (int y = 0; y < ZxScreenHeight; ++y)
    for (int x = 0; x < 32; ++x) {
      int ink1, paper1, ink2, paper2;
      TVeSourceEngine::ZxAttribute(d[attrAt(0, x, y)], ink1, paper1);
      TVeSourceEngine::ZxAttribute(d[attrAt(1, x, y)], ink2, paper2);
      const uint8_t b1 = d[pixels1 + ZxScreenOffset(y, x)], b2 = d[pixels2 + ZxScreenOffset(y, x)];
      for (int i = 0; i < 8; ++i) {
        const int c1 = (b1 >> (7 - i) & 1) ? ink1 : paper1;
        const int c2 = (b2 >> (7 - i) & 1) ? ink2 : paper2;
        frames.Set(*bmp, x0 + 8 * x + i, y0 + y, c1, c2);
      }
    }
  return bmp;
}
