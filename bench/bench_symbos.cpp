// The SymbOS mode on the astronaut photograph, on one worker, in both hosts' colours.
#include "bench_support.h"
#include "symbos/VeSavePlatformSymbOS.h"

namespace {

void Msx(TVeDestEngineOptions& o) {
  o.SetPaletteType(SymbOSMsxColors);
}
void Cpc(TVeDestEngineOptions& o) {
  o.SetPaletteType(SymbOSCpcColors);
}

void BM_SymbOSMsx(benchmark::State& state) {
  VeBenchEngine<TVeSymbOSEngine>(state, "astronaut.png", 1, 1, Msx);
}
void BM_SymbOSCpc(benchmark::State& state) {
  VeBenchEngine<TVeSymbOSEngine>(state, "astronaut.png", 1, 1, Cpc);
}

} // namespace

BENCHMARK(BM_SymbOSMsx)->Name("SymbOS_MSX2_16")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SymbOSCpc)->Name("SymbOS_CPC_4")->Unit(benchmark::kMillisecond);
