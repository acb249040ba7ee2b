#include <benchmark/benchmark.h>
#include <png.h>

#include <cmath>
#include <cstring>

#include "VeDestEngineOptions.h"
#include "VeImage.h"

namespace {

// The sample photograph stretched to 640 x 480; a smooth synthetic picture when it cannot
// be read.
const TVeBitmap32& Photo() {
  static const TVeBitmap32 photo = [] {
    TVeBitmap32 out(640, 480);
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    const std::string path = std::string(VELMORA_SAMPLES_DIR) + "/astronaut.png";
    if (png_image_begin_read_from_file(&img, path.c_str())) {
      img.format = PNG_FORMAT_BGRA; // 0xAARRGGBB in memory order
      TVeBitmap32 src(int(img.width), int(img.height));
      if (png_image_finish_read(&img, nullptr, src.Data(), 0, nullptr)) {
        for (int y = 0; y < 480; ++y)
          for (int x = 0; x < 640; ++x)
            out.Pixel(x, y) = src.Pixel(x * src.Width() / 640, y * src.Height() / 480);
        return out;
      }
      png_image_free(&img);
    }
    for (int y = 0; y < 480; ++y)
      for (int x = 0; x < 640; ++x) {
        const double r = 128 + 100 * std::sin(x * 0.013 + y * 0.007);
        const double g = 128 + 90 * std::cos(x * 0.004 - y * 0.011);
        const double b = 128 + 80 * std::sin((x + y) * 0.02);
        out.Pixel(x, y) = VeRGBQuad(uint8_t(r), uint8_t(g), uint8_t(b));
      }
    return out;
  }();
  return photo;
}

void BM_DitherPalette16(benchmark::State& state) {
  TVePalette256 pal;
  pal.MakeCube16();
  TVeDitherOptions o;
  o.DitherMethod = uint8_t(state.range(0));
  const TVeImage source(Photo());
  for (auto _ : state) {
    state.PauseTiming();
    TVeImage img(source);
    state.ResumeTiming();
    auto r = img.DitherPalette(nullptr, o, nullptr, pal);
    benchmark::DoNotOptimize(r.get());
  }
  state.counters["Mpixel/s"] = benchmark::Counter(640.0 * 480 * double(state.iterations()) / 1e6,
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DitherPalette16)
    ->Arg(dmFloydSteinberg)
    ->Arg(dmJarvisJudiceNinke)
    ->Arg(dmOrderedBayer)
    ->Arg(dmBlueNoise)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_DitherTrueColorRGB565(benchmark::State& state) {
  const TVePaletteRGB pal(ptRGB565);
  TVeDitherOptions o;
  const TVeImage source(Photo());
  for (auto _ : state) {
    state.PauseTiming();
    TVeImage img(source);
    state.ResumeTiming();
    auto r = img.DitherTrueColor(nullptr, o, pal);
    benchmark::DoNotOptimize(r.get());
  }
  state.counters["Mpixel/s"] = benchmark::Counter(640.0 * 480 * double(state.iterations()) / 1e6,
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DitherTrueColorRGB565)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DitherTrialCell(benchmark::State& state) {
  // The cell images' pattern: many small trials on a scratch cell with two colours.
  TVePalette256 pal;
  pal.AddRGB(0, 0, 0);
  pal.AddRGB(255, 255, 0);
  TVeDitherOptions o;
  o.Serpentine = false;
  TVeImage cell(10, 10);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x)
      cell.GetPixels(x, y)->InitStdRGB(uint8_t(x * 25), 90, uint8_t(y * 25));
  TVeImage scratch(cell);
  for (auto _ : state) {
    scratch = cell;
    scratch.DitherTrial(nullptr, o, 8, 8, &pal);
    benchmark::DoNotOptimize(scratch.TotalError);
  }
  state.counters["Mpixel/s"] =
      benchmark::Counter(64.0 * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DitherTrialCell);

} // namespace
