// Hold-and-modify conversions on photographs, on one worker: the SAM Coupé line-change mode
// (construction of the line palettes included) and the Vector-06C modes.
#include <benchmark/benchmark.h>

#include <string>

#include "VeBitmap.h"
#include "VeDest.h"
#include "VeHAMImage.h"
#include "VeMemory.h"
#include "VePictureCodecs.h"
#include "VePlatformSamCoupe.h"
#include "VeSavePlatformSamCoupe.h"
#include "VeSavePlatformVector06c.h"
#include "VeSourcePrepare.h"
#include "VeStream.h"
#include "VeThreadJob.h"

namespace {

[[maybe_unused]] const bool KeptMemory = (VeKeepPictureMemory(), true);

TVeBitmap32 Photograph(const char* name, int width, int height) {
  std::vector<uint8_t> data = VeReadFile(std::string(VELMORA_SAMPLES_DIR) + "/" + name);
  TVePicture png = VeDecodePng(data.data(), data.size());
  TVeBitmap32 b(png.Width, png.Height);
  const int bytes = png.BitsPerPixel / 8;
  for (int y = 0; y < png.Height; ++y)
    for (int x = 0; x < png.Width; ++x) {
      const uint8_t* p = png.Row(y) + x * bytes;
      b.Pixel(x, y) = VeRGBQuad(p[2], p[1], p[0]);
    }
  return VeResizeSource(b, width, height, 1, 1, pmFitResultInSource, false).Picture;
}

template <class E> void RunEngine(benchmark::State& state, const char* photo) {
  E engine;
  auto probe = engine.CreateOptions();
  const TVeBitmap32 src = Photograph(photo, probe->Width(), probe->Height());
  SetProcessorCount(1);
  for (auto _ : state) {
    auto options = engine.CreateOptions();
    std::unique_ptr<TVeStreamList> files;
    TVeDestProgress progress;
    auto bmp = E::Convert(nullptr, src, files, progress, *options, nullptr, nullptr);
    benchmark::DoNotOptimize(bmp.get());
  }
  SetProcessorCount(0);
  state.SetItemsProcessed(state.iterations() * src.Width() * src.Height());
}

void BM_SamHam(benchmark::State& state) {
  RunEngine<TVeSamMode4HAMEngine>(state, "astronaut.png");
}
void BM_SamHamCoffee(benchmark::State& state) {
  RunEngine<TVeSamMode4HAMEngine>(state, "coffee.png");
}
void BM_SamMode4(benchmark::State& state) {
  RunEngine<TVeSamMode4Engine>(state, "astronaut.png");
}
void BM_VectorHam1(benchmark::State& state) {
  RunEngine<TVeVectorHAM1Engine>(state, "astronaut.png");
}
void BM_VectorHam2(benchmark::State& state) {
  RunEngine<TVeVectorHAM2Engine>(state, "astronaut.png");
}

// The line palettes alone.
void BM_HamPaletteSam(benchmark::State& state) {
  const TVeImage image(Photograph("astronaut.png", 256, 192));
  SetProcessorCount(1);
  for (auto _ : state) {
    TVeHAMPalette ham(nullptr, SamHamType, SamHamLineLimit, SamHamChanges, 16, SamPalette(), image);
    benchmark::DoNotOptimize(ham.Passes());
  }
  SetProcessorCount(0);
}

} // namespace

BENCHMARK(BM_SamHam)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SamHamCoffee)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SamMode4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VectorHam1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VectorHam2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HamPaletteSam)->Unit(benchmark::kMillisecond);
