// An engine option changed with a 4000 x 3000 photograph open in the ZX Spectrum default mode,
// until the new result is there: the path the desktop program takes (the controller, its
// kept preparation and its threads) and the one-call conversion with and without the cache
// of the preparation. The lightness fix flips between two values, so every run converts.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "VeBatch.h"
#include "VeDestEngineList.h"
#include "VePlatforms.h"
#include "VePreparedCache.h"
#include "bench_support.h"

namespace {

const TVeBitmap32& LargePhotograph() {
  static const TVeBitmap32 picture = VeBenchPhotograph("astronaut.png", 4000, 3000);
  return picture;
}

const TVeDestEngineClass& ZxDefault() {
  VeRegisterPlatforms();
  const TVeDestEngineClass* engine = DestEngineList().Find("ZX Spectrum", "256x192x4");
  if (!engine) throw EVeError("ZX Spectrum 256x192x4 is not registered");
  return *engine;
}

// The controller as the window drives it, warm: the picture prepared and converted once.
// With wake, the host ticks as soon as a thread says it has finished (as the window does
// now); without, on a 100 ms timer running independently of the change (as it did).
void OptionChangeShown(benchmark::State& state, bool wake) {
  std::mutex lock;
  std::condition_variable signal;
  bool finished = false;
  TVeDest dest;
  if (wake)
    dest.SetWakeUp([&] {
      std::lock_guard<std::mutex> guard(lock);
      finished = true;
      signal.notify_one();
    });
  dest.SetEngine(&ZxDefault());
  dest.RegionImageChanged(&LargePhotograph(), nullptr, nullptr);
  dest.RunUntilIdle();
  const auto timerStart = std::chrono::steady_clock::now();
  constexpr auto period = std::chrono::milliseconds(100);
  int flip = 0;
  for (auto _ : state) {
    {
      std::lock_guard<std::mutex> guard(lock);
      finished = false;
    }
    TVeDestEngineOptions& o = *dest.Options();
    o.BeginUpdate();
    o.SetLightnessFix(++flip % 2 ? 10 : 0);
    o.EndUpdate();
    dest.OptionsChanged();
    while (!dest.Idle()) {
      if (wake) {
        std::unique_lock<std::mutex> guard(lock);
        signal.wait(guard, [&] { return finished; });
        finished = false;
      } else {
        const auto since = std::chrono::steady_clock::now() - timerStart;
        std::this_thread::sleep_until(timerStart + (since / period + 1) * period);
      }
      dest.Tick();
    }
    benchmark::DoNotOptimize(dest.ResultPreview());
  }
  if (dest.HasWorkThread() || !dest.ResultBitmap()) state.SkipWithError("no result");
}

void BM_OptionChangeShown(benchmark::State& state) {
  OptionChangeShown(state, true);
}
void BM_OptionChangeShownPolled(benchmark::State& state) {
  OptionChangeShown(state, false);
}

// The one-call conversion, the whole run on the calling thread, with and without a warm cache.
void ConvertAgain(benchmark::State& state, bool cached) {
  const TVeDestEngineClass& engine = ZxDefault();
  std::unique_ptr<TVeDestEngineOptions> options = engine.Create()->CreateOptions();
  VeApplyControllerDefaults(*options);
  TVePreparedCache cache;
  TVeDestProgress progress;
  VeConvertPicture(engine, *options, LargePhotograph(), nullptr, nullptr, nullptr, progress,
                   nullptr, {0, 0}, nullptr, cached ? &cache : nullptr);
  int flip = 0;
  for (auto _ : state) {
    options->BeginUpdate();
    options->SetLightnessFix(++flip % 2 ? 10 : 0);
    options->EndUpdate();
    TVeConversionResult r =
        VeConvertPicture(engine, *options, LargePhotograph(), nullptr, nullptr, nullptr, progress,
                         nullptr, {0, 0}, nullptr, cached ? &cache : nullptr);
    benchmark::DoNotOptimize(r.Bitmap.get());
  }
}

void BM_ConvertPictureUncached(benchmark::State& state) {
  ConvertAgain(state, false);
}
void BM_ConvertPictureCached(benchmark::State& state) {
  ConvertAgain(state, true);
}

} // namespace

BENCHMARK(BM_OptionChangeShown)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OptionChangeShownPolled)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConvertPictureUncached)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConvertPictureCached)->Unit(benchmark::kMillisecond)->UseRealTime();
