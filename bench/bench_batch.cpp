// A batch of photographs of several sizes to ZX Spectrum screens: one picture per worker.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "VeBatch.h"
#include "VePictureCodecs.h"
#include "VeSourcePrepare.h"
#include "VeThreadJob.h"
#include "zxspectrum/VeSavePlatformZxSpectrum.h"

namespace fs = std::filesystem;

namespace {

// Twelve pictures cut from the two sample photographs at sizes from 180 to 600 pixels.
const fs::path& Pictures() {
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("velmora-bench-batch-" + std::to_string(getpid()));
    fs::create_directories(d / "src");
    int n = 0;
    for (const char* name : {"astronaut.png", "coffee.png"}) {
      std::vector<uint8_t> file = VeReadFile(std::string(VELMORA_SAMPLES_DIR) + "/" + name);
      TVePicture p = VeDecodePng(file.data(), file.size());
      TVeBitmap32 b(p.Width, p.Height);
      for (int y = 0; y < p.Height; ++y)
        for (int x = 0; x < p.Width; ++x) {
          const uint8_t* px = p.Row(y) + x * (p.BitsPerPixel / 8);
          b.Pixel(x, y) = VeRGBQuad(px[2], px[1], px[0]);
        }
      for (int k = 0; k < 6; ++k, ++n) {
        const int w = 180 + 70 * k, h = 140 + 45 * ((k * 5) % 6);
        TVeBitmap32 r = VeResizeSource(b, w, h, 1, 1, 1, false).Picture;
        std::vector<uint8_t> png = VeWritePng(w, h, 24, {}, [&](int y) {
          static thread_local std::vector<uint8_t> row;
          row.resize(size_t(w) * 3);
          for (int x = 0; x < w; ++x) {
            const uint32_t q = r.Pixel(x, y);
            row[size_t(x) * 3] = uint8_t(q);
            row[size_t(x) * 3 + 1] = uint8_t(q >> 8);
            row[size_t(x) * 3 + 2] = uint8_t(q >> 16);
          }
          return row.data();
        });
        std::ofstream(d / "src" / ("p" + std::to_string(n) + ".png"), std::ios::binary)
            .write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
      }
    }
    return d;
  }();
  return dir;
}

// Argument = workers.
void BM_BatchZxSpectrum(benchmark::State& state) {
  const fs::path& dir = Pictures();
  SetProcessorCount(int(state.range(0)));
  TVeDestEngineClassOf<TVeZxSpectrumEngine> engine;
  auto options = engine.Create()->CreateOptions();
  for (auto _ : state) {
    fs::remove_all(dir / "out");
    TVeBatchThread batch({}, sfNative, engine, *options, (dir / "out").string(),
                         (dir / "src").string());
    batch.WaitFor();
  }
  SetProcessorCount(0);
  state.SetItemsProcessed(state.iterations() * 12);
}

} // namespace

BENCHMARK(BM_BatchZxSpectrum)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
