// The V9990 bitmap modes on the astronaut photograph, on one worker.
#include "bench_support.h"
#include "v9990/VeSavePlatformV9990.h"

namespace {

template <class E> void BM_Mode(benchmark::State& state) {
  VeBenchEngine<E>(state);
}

} // namespace

BENCHMARK(BM_Mode<TVeV9990BP2Engine>)->Name("V9990_BP2")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mode<TVeV9990BP4Engine>)->Name("V9990_BP4")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mode<TVeV9990BP6Engine>)->Name("V9990_BP6")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mode<TVeV9990BD8Engine>)->Name("V9990_BD8")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mode<TVeV9990BYJKEngine>)->Name("V9990_BYJK")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mode<TVeV9990BYUVEngine>)->Name("V9990_BYUV")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mode<TVeV9990BD16Engine>)->Name("V9990_BD16")->Unit(benchmark::kMillisecond);
