// The ZX Spectrum standard screen conversion of a photograph: the trial dithering of every
// cell against every candidate pair is the hottest loop of the product.
#include <benchmark/benchmark.h>

#include "VeBatch.h"
#include "VeBitmap.h"
#include "VeDest.h"
#include "VePictureCodecs.h"
#include "VeSourcePrepare.h"
#include "VeStream.h"
#include "VeThreadJob.h"
#include "bench_support.h"
#include "zxspectrum/VeSavePlatformZxSpectrum.h"
#include "zxspectrum/VeSavePlatformZxSpectrumGigascreen.h"
#include "zxspectrumulaplus/VeSavePlatformZxSpectrumUlaPlus.h"

namespace {

// The astronaut photograph fitted to 256 x 192 as the conversion run prepares it.
const TVeBitmap32& Astronaut() {
  static const TVeBitmap32 picture = [] {
    std::vector<uint8_t> file = VeReadFile(VELMORA_SAMPLES_DIR "/astronaut.png");
    TVePicture p = VeDecodePng(file.data(), file.size());
    TVeBitmap32 b(p.Width, p.Height);
    for (int y = 0; y < p.Height; ++y)
      for (int x = 0; x < p.Width; ++x) {
        const uint8_t* px = p.Row(y) + x * (p.BitsPerPixel / 8);
        b.Pixel(x, y) = VeRGBQuad(px[2], px[1], px[0]);
      }
    return VeResizeSource(b, 256, 192, 1, 1, 1, false).Picture;
  }();
  return picture;
}

// Argument = workers (0: one per processor).
void Convert(benchmark::State& state, uint8_t mode, int method = -1) {
  const TVeBitmap32& source = Astronaut();
  SetProcessorCount(int(state.range(0)));
  TVeZxSpectrumEngine engine;
  for (auto _ : state) {
    auto options = engine.CreateOptions();
    options->SetPaletteMode(mode);
    if (method >= 0) options->SetDitherMethod(method);
    std::unique_ptr<TVeStreamList> files;
    TVeDestProgress progress;
    auto result =
        TVeZxSpectrumEngine::Convert(nullptr, source, files, progress, *options, nullptr, nullptr);
    benchmark::DoNotOptimize(result.get());
  }
  SetProcessorCount(0);
}

void BM_ZxSpectrumColor(benchmark::State& state) {
  Convert(state, zxModeColor);
}
// Ordered: the cells are still chosen by trial, then placed without diffusion.
void BM_ZxSpectrumBayer(benchmark::State& state) {
  Convert(state, zxModeColor, dmOrderedBayer);
}
void BM_ZxSpectrumGray(benchmark::State& state) {
  Convert(state, zxModeGray);
}
void BM_ZxSpectrumBlackWhite(benchmark::State& state) {
  Convert(state, zxModeBlackWhite);
}

// Gigascreen: over a thousand four-colour candidates per cell; arguments = maximum
// flickering, workers.
void BM_ZxGigascreen(benchmark::State& state) {
  const TVeBitmap32& source = Astronaut();
  SetProcessorCount(int(state.range(1)));
  TVeZxSpectrumGigascreenEngine engine;
  for (auto _ : state) {
    auto options = engine.CreateOptions();
    options->SetMaxFlickering(int(state.range(0)));
    std::unique_ptr<TVeStreamList> files;
    TVeDestProgress progress;
    auto result = TVeZxSpectrumGigascreenEngine::Convert(nullptr, source, files, progress, *options,
                                                         nullptr, nullptr);
    benchmark::DoNotOptimize(result.get());
  }
  SetProcessorCount(0);
}

// ULA+ "64 from 256": a trial conversion over every single and pair of up to 64 colours,
// the grouping into four tables, then the final conversion; argument = workers.
void UlaPlus(benchmark::State& state, uint8_t mode) {
  const TVeBitmap32& source = Astronaut();
  SetProcessorCount(int(state.range(0)));
  TVeULAPlusEngine engine;
  for (auto _ : state) {
    auto options = engine.CreateOptions();
    options->SetPaletteMode(mode);
    std::unique_ptr<TVeStreamList> files;
    TVeDestProgress progress;
    auto result =
        TVeULAPlusEngine::Convert(nullptr, source, files, progress, *options, nullptr, nullptr);
    benchmark::DoNotOptimize(result.get());
  }
  SetProcessorCount(0);
}
void BM_UlaPlus64From256(benchmark::State& state) {
  UlaPlus(state, ulaModeColor64);
}
void BM_UlaPlus17From256(benchmark::State& state) {
  UlaPlus(state, ulaModeColor17);
}

// The whole conversion the command line runs for a photograph file: the PNG bytes of the
// coffee photograph at 741 x 500, decoded and resized (on a second worker as the rows
// arrive), then the standard screen; argument = workers.
void BM_ZxSpectrumFromPngFile(benchmark::State& state) {
  static const std::vector<uint8_t> png = [] {
    const TVeBitmap32 r = VeBenchPhotograph("coffee.png", 741, 500);
    std::vector<uint8_t> row(741 * 3);
    return VeWritePng(741, 500, 24, {}, [&](int y) {
      for (int x = 0; x < 741; ++x) {
        const uint32_t q = r.Pixel(x, y);
        row[size_t(x) * 3] = uint8_t(q);
        row[size_t(x) * 3 + 1] = uint8_t(q >> 8);
        row[size_t(x) * 3 + 2] = uint8_t(q >> 16);
      }
      return row.data();
    });
  }();
  SetProcessorCount(int(state.range(0)));
  TVeDestEngineClassOf<TVeZxSpectrumEngine> engine;
  const auto options = engine.Create()->CreateOptions();
  for (auto _ : state) {
    TVeDestProgress progress;
    TVeFileConversion c =
        VeConvertPictureBytes(engine, *options, vptPNG, png.data(), png.size(), nullptr, progress);
    benchmark::DoNotOptimize(c.Result.Bitmap.get());
  }
  SetProcessorCount(0);
}

} // namespace

BENCHMARK(BM_ZxSpectrumFromPngFile)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UlaPlus64From256)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UlaPlus17From256)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZxGigascreen)
    ->Args({100, 1})
    ->Args({100, 2})
    ->Args({40, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZxSpectrumColor)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZxSpectrumBayer)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZxSpectrumGray)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZxSpectrumBlackWhite)->Arg(1)->Unit(benchmark::kMillisecond);
