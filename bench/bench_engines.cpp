#include <benchmark/benchmark.h>

#include <string>

#include "VeBitmap.h"
#include "VeCommonEngines.h"
#include "VeDest.h"
#include "VeMemory.h"
#include "VePictureCodecs.h"
#include "VeStream.h"

namespace {

// Measured as the programs run: they keep freed picture memory for reuse.
[[maybe_unused]] const bool KeptMemory = (VeKeepPictureMemory(), true);

// The 512 x 512 astronaut photograph as a 32-bit picture.
const TVeBitmap32& Astronaut() {
  static const TVeBitmap32 picture = [] {
    std::vector<uint8_t> data = VeReadFile(std::string(VELMORA_SAMPLES_DIR) + "/astronaut.png");
    TVePicture png = VeDecodePng(data.data(), data.size());
    TVeBitmap32 b(png.Width, png.Height);
    const int bytes = png.BitsPerPixel / 8;
    for (int y = 0; y < png.Height; ++y)
      for (int x = 0; x < png.Width; ++x) {
        const uint8_t* p = png.Row(y) + x * bytes;
        b.Pixel(x, y) = VeRGBQuad(p[2], p[1], p[0]);
      }
    return b;
  }();
  return picture;
}

template <class E> void RunEngine(benchmark::State& state, void (*setup)(TVeDestEngineOptions&)) {
  const TVeBitmap32& src = Astronaut();
  E engine;
  for (auto _ : state) {
    auto options = engine.CreateOptions();
    if (setup) setup(*options);
    std::unique_ptr<TVeStreamList> files;
    TVeDestProgress progress;
    auto bmp = E::Convert(nullptr, src, files, progress, *options, nullptr, nullptr);
    benchmark::DoNotOptimize(bmp.get());
  }
  state.SetItemsProcessed(state.iterations() * src.Width() * src.Height());
}

// The defaults: RGB888 quantized to 256 colours, Floyd-Steinberg.
void BM_PaletteEngineDefaults(benchmark::State& state) {
  RunEngine<TVeCustomPaletteEngine>(state, nullptr);
}
BENCHMARK(BM_PaletteEngineDefaults)->Unit(benchmark::kMillisecond);

void BM_PaletteEngineTrueColor(benchmark::State& state) {
  RunEngine<TVeCustomPaletteEngine>(state, [](TVeDestEngineOptions& o) { o.SetMaxColorCount(0); });
}
BENCHMARK(BM_PaletteEngineTrueColor)->Unit(benchmark::kMillisecond);

void BM_BlackWhiteEngine(benchmark::State& state) {
  RunEngine<TVeCustomBWEngine>(state, nullptr);
}
BENCHMARK(BM_BlackWhiteEngine)->Unit(benchmark::kMillisecond);

} // namespace
