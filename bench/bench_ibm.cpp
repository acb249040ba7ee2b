// IBM PC and TI-99/4A screens on a photograph, on one worker.
#include <benchmark/benchmark.h>

#include <string>

#include "VeBitmap.h"
#include "VeDest.h"
#include "VeMemory.h"
#include "VePictureCodecs.h"
#include "VeSavePlatformIbm.h"
#include "VeSavePlatformTi99.h"
#include "VeSourcePrepare.h"
#include "VeStream.h"
#include "VeThreadJob.h"

namespace {

[[maybe_unused]] const bool KeptMemory = (VeKeepPictureMemory(), true);

TVeBitmap32 Photograph(int width, int height) {
  std::vector<uint8_t> data = VeReadFile(std::string(VELMORA_SAMPLES_DIR) + "/astronaut.png");
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

template <class E> void Run(benchmark::State& state) {
  E engine;
  auto probe = engine.CreateOptions();
  const TVeBitmap32 src = Photograph(probe->Width(), probe->Height());
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

// "Auto" palette and "Best" background: 96 candidate palettes before the dithering.
void BM_IbmCga320Auto(benchmark::State& state) {
  Run<TVeIbmCga320Engine>(state);
}
void BM_IbmEga350(benchmark::State& state) {
  Run<TVeIbmEga350Engine>(state);
}
void BM_IbmVga256(benchmark::State& state) {
  Run<TVeIbmVga256Engine>(state);
}
void BM_Ti99Bitmap(benchmark::State& state) {
  Run<TVeTI99BitmapEngine>(state);
}

} // namespace

BENCHMARK(BM_IbmCga320Auto)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IbmEga350)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IbmVga256)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ti99Bitmap)->Unit(benchmark::kMillisecond);
