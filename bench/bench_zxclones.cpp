// The Spectrum clones' extended screens and the PK-8000 on the astronaut photograph, on one
// worker.
#include "atmturbo/VeSavePlatformAtmTurbo.h"
#include "bench_support.h"
#include "pc8000/VeSavePlatformPc8000.h"
#include "profi/VeSavePlatformProfi.h"
#include "scorpiongmx/VeSavePlatformScorpionGmx.h"

namespace {

template <class E> void BM_Clone(benchmark::State& state) {
  VeBenchEngine<E>(state);
}

} // namespace

BENCHMARK(BM_Clone<TVeAtmEgaEngine>)->Name("AtmTurbo_320x200x4")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Clone<TVeAtmHiResEngine>)->Name("AtmTurbo_640x200x4")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Clone<TVePc8000Engine>)->Name("PC8000_256x192x4")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Clone<TVeProfiEngine>)->Name("Profi_512x240x4")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Clone<TVeGmxEngine>)->Name("ScorpionGmx_640x200x4")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Clone<TVeGmxFatEngine>)->Name("ScorpionGmx_160x200x4")->Unit(benchmark::kMillisecond);
