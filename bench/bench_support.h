#pragma once
// Set-up shared by the screen-mode benchmarks: a sample photograph prepared as the conversion
// run prepares it, and conversions timed on one worker.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "VeBitmap.h"
#include "VeDest.h"
#include "VeMemory.h"
#include "VePictureCodecs.h"
#include "VeSourcePrepare.h"
#include "VeStream.h"
#include "VeThreadJob.h"

// Measured as the programs run: they keep freed picture memory for reuse.
inline const bool VeBenchKeptMemory = (VeKeepPictureMemory(), true);

// A photograph of samples/ fitted to width x height with pixels of aspectX : aspectY.
inline TVeBitmap32 VeBenchPhotograph(const char* name, int width, int height, int aspectX = 1,
                                     int aspectY = 1) {
  std::vector<uint8_t> data = VeReadFile(std::string(VELMORA_SAMPLES_DIR) + "/" + name);
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

// Converts src with fresh default options of E on one worker; setup, when given, changes the
// options first.
template <class E>
void VeBenchConvert(benchmark::State& state, const TVeBitmap32& src,
                    void (*setup)(TVeDestEngineOptions&) = nullptr) {
  E engine;
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

// The same on a photograph fitted to E's default size (square pixels unless given).
template <class E>
void VeBenchEngine(benchmark::State& state, const char* photo = "astronaut.png", int aspectX = 1,
                   int aspectY = 1, void (*setup)(TVeDestEngineOptions&) = nullptr) {
  auto probe = E().CreateOptions();
  const TVeBitmap32 src =
      VeBenchPhotograph(photo, probe->Width(), probe->Height(), aspectX, aspectY);
  VeBenchConvert<E>(state, src, setup);
}
