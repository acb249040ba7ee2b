// TI-99/4A F18A screens and TMS9918A block modes on a photograph, on one worker (the TMS9918A
// bitmap mode is timed beside the IBM PC screens).
#include "bench_support.h"
#include "ti99/VeSavePlatformTi99.h"
#include "ti99/VeSavePlatformTi99F18A.h"

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

// Lines of four: one dithering to the 15 colours on 64 x 192 blocks of 4 x 1.
void BM_Ti99LinesOfFour(benchmark::State& state) {
  VeBenchEngine<TVeTI99LinesEngine>(state);
}
BENCHMARK(BM_Ti99LinesOfFour)->Unit(benchmark::kMillisecond);

// Two multicolour frames: the flicker dithering over the 15 x 15 pairs.
void BM_Ti99Dual(benchmark::State& state) {
  VeBenchEngine<TVeTI99DualEngine>(state);
}
BENCHMARK(BM_Ti99Dual)->Unit(benchmark::kMillisecond);

} // namespace
