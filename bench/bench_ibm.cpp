// IBM PC and TI-99/4A screens on a photograph, on one worker.
#include "bench_support.h"
#include "ibm/VeSavePlatformIbm.h"
#include "ti99/VeSavePlatformTi99.h"

namespace {

// "Auto" palette and "Best" background: 96 candidate palettes before the dithering.
void BM_IbmCga320Auto(benchmark::State& state) {
  VeBenchEngine<TVeIbmCga320Engine>(state);
}
void BM_IbmEga350(benchmark::State& state) {
  VeBenchEngine<TVeIbmEga350Engine>(state);
}
void BM_IbmVga256(benchmark::State& state) {
  VeBenchEngine<TVeIbmVga256Engine>(state);
}
void BM_Ti99Bitmap(benchmark::State& state) {
  VeBenchEngine<TVeTI99BitmapEngine>(state);
}

} // namespace

BENCHMARK(BM_IbmCga320Auto)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IbmEga350)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IbmVga256)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ti99Bitmap)->Unit(benchmark::kMillisecond);
