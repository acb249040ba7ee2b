// ZX Spectrum Next Layer 2 and Pico-8 on the astronaut photograph, on one worker.
#include "bench_support.h"
#include "pico8/VeSavePlatformPico8.h"
#include "zxspectrumnext/VeSavePlatformZxSpectrumNext.h"

namespace {

void BM_ZxNextLayer2(benchmark::State& state) {
  VeBenchEngine<TVeZxSpectrumNextEngine>(state);
}
void BM_Pico8(benchmark::State& state) {
  VeBenchEngine<TVePico8Engine>(state);
}

} // namespace

BENCHMARK(BM_ZxNextLayer2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pico8)->Unit(benchmark::kMillisecond);
