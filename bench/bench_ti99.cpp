// TI-99/4A F18A screens on a photograph, on one worker (the TMS9918A bitmap mode is timed
// beside the IBM PC screens).
#include "VeSavePlatformTi99F18A.h"
#include "bench_support.h"

namespace {

// Sixteen registers chosen for the picture, then the cells.
void BM_Ti99F18A(benchmark::State& state) {
  VeBenchEngine<TVeF18ABitmapEngine>(state);
}
BENCHMARK(BM_Ti99F18A)->Unit(benchmark::kMillisecond);

// 192 register sets, one per line, then the cells with a list per line.
void BM_Ti99F18AScanline(benchmark::State& state) {
  VeBenchEngine<TVeF18AScanlineEngine>(state);
}
BENCHMARK(BM_Ti99F18AScanline)->Unit(benchmark::kMillisecond);

} // namespace
