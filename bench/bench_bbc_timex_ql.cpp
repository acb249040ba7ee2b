// BBC Micro, Timex and Sinclair QL screens on the astronaut photograph, on one worker.
#include "bbcmicro/VeSavePlatformBbcMicro.h"
#include "bench_support.h"
#include "sinclairql/VeSavePlatformSinclairQl.h"
#include "timex/VeSavePlatformTimex.h"

namespace {

void BM_BbcMode1(benchmark::State& state) {
  VeBenchEngine<TVeBbcMicroMode1Engine>(state);
}
void BM_BbcMode2(benchmark::State& state) {
  VeBenchEngine<TVeBbcMicroMode2Engine>(state);
}
void BM_TimexHiColor(benchmark::State& state) {
  VeBenchEngine<TVeTimexHiColorEngine>(state);
}
void BM_TimexHiRes(benchmark::State& state) {
  VeBenchEngine<TVeTimexHiResEngine>(state);
}
void BM_QlMode4(benchmark::State& state) {
  VeBenchEngine<TVeSinclairQlMode4Engine>(state);
}
void BM_QlGd2Mode32(benchmark::State& state) {
  VeBenchEngine<TVeSinclairQlGd2Mode32Engine>(state);
}

} // namespace

BENCHMARK(BM_BbcMode1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BbcMode2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimexHiColor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimexHiRes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QlMode4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QlGd2Mode32)->Unit(benchmark::kMillisecond);
