// Amstrad CPC screens on a photograph, on one worker.
#include "amstradcpc/VeSavePlatformAmstradCpc.h"
#include "bench_support.h"

namespace {

// The photograph prepared with the mode's own pixel aspect.
template <class E> void RunCpc(benchmark::State& state) {
  const TVeAspectPair a = E().CreateOptions()->GetAspectPair();
  VeBenchEngine<E>(state, "astronaut.png", a.X, a.Y);
}

void BM_CpcMode0(benchmark::State& state) {
  RunCpc<TVeAmstradCPCMode0Engine>(state);
}
BENCHMARK(BM_CpcMode0)->Unit(benchmark::kMillisecond);

void BM_CpcMode1(benchmark::State& state) {
  RunCpc<TVeAmstradCPCMode1Engine>(state);
}
BENCHMARK(BM_CpcMode1)->Unit(benchmark::kMillisecond);

void BM_CpcMode1Overscan(benchmark::State& state) {
  RunCpc<TVeAmstradCPCMode1ExEngine>(state);
}
BENCHMARK(BM_CpcMode1Overscan)->Unit(benchmark::kMillisecond);

void BM_CpcModeB0(benchmark::State& state) {
  RunCpc<TVeAmstradCPCModeB0Engine>(state);
}
BENCHMARK(BM_CpcModeB0)->Unit(benchmark::kMillisecond);

void BM_CpcModeB1(benchmark::State& state) {
  RunCpc<TVeAmstradCPCModeB1Engine>(state);
}
BENCHMARK(BM_CpcModeB1)->Unit(benchmark::kMillisecond);

} // namespace
