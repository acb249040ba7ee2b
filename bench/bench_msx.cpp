// MSX screens on a 256 x 212 photograph, on one worker.
#include <benchmark/benchmark.h>

#include <string>

#include "VeBitmap.h"
#include "VeDest.h"
#include "VeMemory.h"
#include "VeMsxYJKPTables.h"
#include "VeMsxYJKTables.h"
#include "VePictureCodecs.h"
#include "VeSavePlatformMsx.h"
#include "VeSourcePrepare.h"
#include "VeStream.h"
#include "VeThreadJob.h"

namespace {

[[maybe_unused]] const bool KeptMemory = (VeKeepPictureMemory(), true);

// The astronaut photograph prepared as the conversion run prepares it for a mode.
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
  return VeResizeSource(b, width, height, 500, 569, pmFitResultInSource, false).Picture;
}

template <class E>
void RunMsx(benchmark::State& state, void (*setup)(TVeDestEngineOptions&) = nullptr) {
  E engine;
  auto probe = engine.CreateOptions();
  const TVeBitmap32 src = Photograph(probe->Width(), probe->Height());
  // The range tables are built once per process, before any conversion.
  VeMsxYJKTable();
  VeMsxYJKPTable();
  SetProcessorCount(1);
  for (auto _ : state) {
    auto options = engine.CreateOptions();
    if (setup) {
      options->BeginUpdate();
      setup(*options);
      options->EndUpdate();
    }
    std::unique_ptr<TVeStreamList> files;
    TVeDestProgress progress;
    auto bmp = E::Convert(nullptr, src, files, progress, *options, nullptr, nullptr);
    benchmark::DoNotOptimize(bmp.get());
  }
  SetProcessorCount(0);
  state.SetItemsProcessed(state.iterations() * src.Width() * src.Height());
}

void BM_MsxScreen2(benchmark::State& state) {
  RunMsx<TVeMSXScr2Engine>(state);
}
BENCHMARK(BM_MsxScreen2)->Unit(benchmark::kMillisecond);

void BM_MsxScreen5(benchmark::State& state) {
  RunMsx<TVeMSXScr5Engine>(state);
}
BENCHMARK(BM_MsxScreen5)->Unit(benchmark::kMillisecond);

void BM_MsxScreen8(benchmark::State& state) {
  RunMsx<TVeMSXScr8Engine>(state);
}
BENCHMARK(BM_MsxScreen8)->Unit(benchmark::kMillisecond);

void BM_MsxScreen12(benchmark::State& state) {
  RunMsx<TVeMSXScr12Engine>(state);
}
BENCHMARK(BM_MsxScreen12)->Unit(benchmark::kMillisecond);

// Every pass the attribute palette needs, from an empty base palette.
void BM_MsxScreen10YJKYAE(benchmark::State& state) {
  RunMsx<TVeMSXScr10Engine>(state, [](TVeDestEngineOptions& o) { o.SetPaletteType(ptMSXYJK_YAE); });
}
BENCHMARK(BM_MsxScreen10YJKYAE)->Unit(benchmark::kMillisecond);

// Building the YJK range table (once per process in a program).
void BM_MsxYJKRangeTable(benchmark::State& state) {
  for (auto _ : state) {
    TVeYjkRangeTable table(TVeYjkDecoder::YJK, false);
    benchmark::DoNotOptimize(&table);
  }
}
BENCHMARK(BM_MsxYJKRangeTable)->Unit(benchmark::kMillisecond);

} // namespace
