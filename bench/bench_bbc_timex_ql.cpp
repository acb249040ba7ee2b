// BBC Micro, Timex and Sinclair QL screens on the astronaut photograph, on one worker.
#include <benchmark/benchmark.h>

#include <string>

#include "VeBitmap.h"
#include "VeDest.h"
#include "VeMemory.h"
#include "VePictureCodecs.h"
#include "VeSavePlatformBbcMicro.h"
#include "VeSavePlatformSinclairQl.h"
#include "VeSavePlatformTimex.h"
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

void BM_BbcMode1(benchmark::State& state) {
  Run<TVeBbcMicroMode1Engine>(state);
}
void BM_BbcMode2(benchmark::State& state) {
  Run<TVeBbcMicroMode2Engine>(state);
}
void BM_TimexHiColor(benchmark::State& state) {
  Run<TVeTimexHiColorEngine>(state);
}
void BM_TimexHiRes(benchmark::State& state) {
  Run<TVeTimexHiResEngine>(state);
}
void BM_QlMode4(benchmark::State& state) {
  Run<TVeSinclairQlMode4Engine>(state);
}
void BM_QlGd2Mode32(benchmark::State& state) {
  Run<TVeSinclairQlGd2Mode32Engine>(state);
}

} // namespace

BENCHMARK(BM_BbcMode1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BbcMode2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimexHiColor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimexHiRes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QlMode4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QlGd2Mode32)->Unit(benchmark::kMillisecond);
