#include <benchmark/benchmark.h>

#include <png.h>

#include <cstdio>
#include <memory>
#include <string>

#include "VePalette.h"
#include "VeQuantization.h"
#include "VeThreadJob.h"

namespace {

// The astronaut photograph through libpng (no picture loader of the core is needed here);
// a deterministic synthetic picture when the file cannot be read.
const std::vector<uint32_t>& Astronaut() {
  static const std::vector<uint32_t> pixels = [] {
    std::vector<uint32_t> px;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    std::string path = std::string(VELMORA_SAMPLES_DIR) + "/astronaut.png";
    if (png_image_begin_read_from_file(&image, path.c_str())) {
      image.format = PNG_FORMAT_BGRA;
      px.resize(size_t(image.width) * image.height);
      if (!png_image_finish_read(&image, nullptr, px.data(), 0, nullptr)) px.clear();
    }
    if (px.empty()) {
      uint32_t s = 1;
      for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
          s = s * 1664525u + 1013904223u;
          px.push_back(uint32_t((x + (s >> 29)) & 255) << 16 | uint32_t((x + y) / 4) << 8 |
                       uint32_t(255 - y / 2));
        }
    }
    return px;
  }();
  return pixels;
}

const std::vector<TVePixel>& AstronautColors() {
  static const std::vector<TVePixel> colors = [] {
    std::vector<TVePixel> c(Astronaut().size());
    for (size_t i = 0; i < c.size(); ++i)
      c[i].InitRGBQuad(Astronaut()[i]);
    return c;
  }();
  return colors;
}

// The whole of QuantizeImage: collection, median cut, k-means, output palette. Arguments:
// k, hardware palette (0 none, 1 RGB888 as the "Palette" engine uses), workers (0 default).
void BM_QuantizeImageAstronaut(benchmark::State& state) {
  const auto& colors = AstronautColors();
  TVeQuantizationArgs args;
  args.K = int(state.range(0));
  static const TVePaletteRGB rgb888(ptRGB888);
  const TVePalette* hardware = state.range(1) ? &rgb888 : nullptr;
  SetProcessorCount(int(state.range(2)));
  int passes = 0;
  args.Progress = [&passes](int pass) { passes = pass; };
  for (auto _ : state) {
    TVePalette256 out;
    QuantizeImage(args, out, hardware, nullptr, {colors.data(), colors.size()});
    benchmark::DoNotOptimize(out.GetRGBQuad(0));
  }
  SetProcessorCount(0);
  state.counters["passes"] = passes;
}
BENCHMARK(BM_QuantizeImageAstronaut)
    ->ArgNames({"k", "rgb888", "workers"})
    ->Args({16, 0, 1})
    ->Args({256, 0, 1})
    ->Args({16, 1, 1})
    ->Args({256, 1, 1})
    ->Args({256, 1, 0})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

} // namespace
