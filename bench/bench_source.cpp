// Decoding the sample pictures and fitting a large picture to a small screen.
#include <benchmark/benchmark.h>

#include <string>

#include "VePictureCodecs.h"
#include "VeSourcePrepare.h"

namespace {

const std::vector<uint8_t>& SamplePng() {
  static const std::vector<uint8_t> data =
      VeReadFile(std::string(VELMORA_SAMPLES_DIR) + "/astronaut.png");
  return data;
}

// A JPEG of the sample, made once through libjpeg.
const std::vector<uint8_t>& SampleJpeg() {
  static const std::vector<uint8_t> data = [] {
    const TVePicture p = VeDecodePng(SamplePng().data(), SamplePng().size());
    TVeBitmap32 b(p.Width, p.Height);
    for (int y = 0; y < p.Height; ++y)
      for (int x = 0; x < p.Width; ++x) {
        const uint8_t* s = p.Row(y) + x * (p.BitsPerPixel / 8);
        b.Pixel(x, y) = VeRGBQuad(s[2], s[1], s[0]);
      }
    return VeWriteJpeg(b, 90);
  }();
  return data;
}

void BM_DecodePng(benchmark::State& state) {
  const auto& d = SamplePng();
  for (auto _ : state)
    benchmark::DoNotOptimize(VeDecodePng(d.data(), d.size()));
}
BENCHMARK(BM_DecodePng)->Unit(benchmark::kMillisecond);

void BM_DecodeJpeg(benchmark::State& state) {
  const auto& d = SampleJpeg();
  for (auto _ : state)
    benchmark::DoNotOptimize(VeDecodeJpeg(d.data(), d.size()));
}
BENCHMARK(BM_DecodeJpeg)->Unit(benchmark::kMillisecond);

void BM_Resize12MegapixelTo256x192(benchmark::State& state) {
  TVeBitmap32 big(4000, 3000);
  uint32_t seed = 7;
  for (size_t i = 0; i < big.PixelCount(); ++i) {
    seed = seed * 1664525 + 1013904223;
    big.Data()[i] = 0xFF000000u | seed >> 8;
  }
  for (auto _ : state)
    benchmark::DoNotOptimize(VeResizeSource(big, 256, 192, 1, 1, int(state.range(0)), true));
}
BENCHMARK(BM_Resize12MegapixelTo256x192)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

namespace {

void BM_SourceViewPictures(benchmark::State& state) {
  const TVePicture p = VeDecodePng(SamplePng().data(), SamplePng().size());
  TVeBitmap32 b(p.Width, p.Height);
  for (int y = 0; y < p.Height; ++y)
    for (int x = 0; x < p.Width; ++x) {
      const uint8_t* s = p.Row(y) + x * (p.BitsPerPixel / 8);
      b.Pixel(x, y) = VeRGBQuad(s[2], s[1], s[0]);
    }
  for (auto _ : state)
    benchmark::DoNotOptimize(VeMakeSourceViewPictures(b));
}
BENCHMARK(BM_SourceViewPictures)->Unit(benchmark::kMillisecond);

} // namespace
