// The Agat modes on the astronaut photograph, on one worker.
#include "agat/VeSavePlatformAgat.h"
#include "bench_support.h"

namespace {

template <int I> void BM_Agat(benchmark::State& state) {
  VeBenchEngine<TVeAgatEngineT<I>>(state);
}

} // namespace

BENCHMARK(BM_Agat<0>)->Name("Agat_64x64x4")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Agat<1>)->Name("Agat_64x64x8_Gigascreen")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Agat<2>)->Name("Agat_128x128x4")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Agat<3>)->Name("Agat_128x128x8_Gigascreen")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Agat<4>)->Name("Agat_128x256x4")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Agat<5>)->Name("Agat_128x256x8_Gigascreen")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Agat<6>)->Name("Agat_256x256x1")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Agat<7>)->Name("Agat_256x256x2_Gigascreen")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Agat<8>)->Name("Agat_256x256x2")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Agat<9>)->Name("Agat_256x256x4_Gigascreen")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Agat<10>)->Name("Agat_512x256x1")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Agat<11>)->Name("Agat_512x256x2_Gigascreen")->Unit(benchmark::kMillisecond);
