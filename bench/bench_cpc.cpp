// Amstrad CPC screens on a photograph, on one worker.
#include <benchmark/benchmark.h>

#include <string>

#include "VeBitmap.h"
#include "VeDest.h"
#include "VeMemory.h"
#include "VePictureCodecs.h"
#include "VeSavePlatformAmstradCpc.h"
#include "VeSourcePrepare.h"
#include "VeStream.h"
#include "VeThreadJob.h"

namespace {

[[maybe_unused]] const bool KeptMemory = (VeKeepPictureMemory(), true);

// The astronaut photograph prepared as the conversion run prepares it for a mode.
TVeBitmap32 Photograph(int width, int height, int aspectX, int aspectY) {
  std::vector<uint8_t> data = VeReadFile(std::string(VELMORA_SAMPLES_DIR) + "/astronaut.png");
  TVePicture png = VeDecodePng(data.data(), data.size());
  TVeBitmap32 b(png.Width, png.Height);
  const int bytes = png.BitsPerPixel / 8;
  for (int y = 0; y < png.Height; ++y)
    for (int x = 0; x < png.Width; ++x) {
      const uint8_t* p = png.Row(y) + x * bytes;
      b.Pixel(x, y) = VeRGBQuad(p[2], p[1], p[0]);
    }
  return VeResizeSource(b, width, height, aspectX, aspectY, pmFitResultInSource, false).Picture;
}

template <class E> void RunCpc(benchmark::State& state) {
  E engine;
  auto probe = engine.CreateOptions();
  const TVeAspectPair a = probe->GetAspectPair();
  const TVeBitmap32 src = Photograph(probe->Width(), probe->Height(), a.X, a.Y);
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

void BM_CpcMode0(benchmark::State& state) {
  RunCpc<TVeAmstradCPCMode0Engine>(state);
}
BENCHMARK(BM_CpcMode0)->Unit(benchmark::kMillisecond);

void BM_CpcMode1(benchmark::State& state) {
  RunCpc<TVeAmstradCPCMode1Engine>(state);
}
BENCHMARK(BM_CpcMode1)->Unit(benchmark::kMillisecond);

void BM_CpcMode1Overscan(benchmark::State& state) {
  RunCpc<TVeAmstradCPCMode1ExEngine>(state);
}
BENCHMARK(BM_CpcMode1Overscan)->Unit(benchmark::kMillisecond);

void BM_CpcModeB0(benchmark::State& state) {
  RunCpc<TVeAmstradCPCModeB0Engine>(state);
}
BENCHMARK(BM_CpcModeB0)->Unit(benchmark::kMillisecond);

void BM_CpcModeB1(benchmark::State& state) {
  RunCpc<TVeAmstradCPCModeB1Engine>(state);
}
BENCHMARK(BM_CpcModeB1)->Unit(benchmark::kMillisecond);

} // namespace
