// TI-99/4A F18A screens on a 256 x 192 photograph, on one worker.
#include "VeSavePlatformTi99F18A.h"
#include "bench_support.h"

namespace {

// The TMS9918A pixel, as on the MSX.
template <class E> void RunTi99(benchmark::State& state) {
  VeBenchEngine<E>(state, "astronaut.png", 500, 569);
}

void BM_Ti99F18A(benchmark::State& state) {
  RunTi99<TVeF18ABitmapEngine>(state);
}
BENCHMARK(BM_Ti99F18A)->Unit(benchmark::kMillisecond);

void BM_Ti99F18AScanline(benchmark::State& state) {
  RunTi99<TVeF18AScanlineEngine>(state);
}
BENCHMARK(BM_Ti99F18AScanline)->Unit(benchmark::kMillisecond);

} // namespace
