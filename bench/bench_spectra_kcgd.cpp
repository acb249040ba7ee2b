// The SPECTRA attribute modes and the DVK KCGD screen on the astronaut photograph, on one
// worker.
#include "bench_support.h"
#include "dvkkcgd/VeSavePlatformDvkKcgd.h"
#include "zxspectra/VeSavePlatformZxSpectra.h"

namespace {

template <class E> void BM_Mode(benchmark::State& state) {
  VeBenchEngine<E>(state);
}

template <int I> using TSpectra = TVeModeTableEngine<TVeZxSpectraFamily, I>;

} // namespace

BENCHMARK(BM_Mode<TSpectra<0>>)->Name("Spectra_8x1")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mode<TSpectra<1>>)->Name("Spectra_8x2")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mode<TSpectra<2>>)->Name("Spectra_8x4")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mode<TSpectra<3>>)->Name("Spectra_8x8")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mode<TSpectra<4>>)->Name("Spectra_4x1")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mode<TSpectra<7>>)->Name("Spectra_4x8")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mode<TVeKcgdEngine>)->Name("KCGD_400x240x4")->Unit(benchmark::kMillisecond);
