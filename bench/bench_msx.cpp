// MSX screens on a 256 x 212 photograph, on one worker.
#include "bench_support.h"
#include "msx/VeMsxYJKPTables.h"
#include "msx/VeMsxYJKTables.h"
#include "msx/VeSavePlatformMsx.h"

namespace {

template <class E>
void RunMsx(benchmark::State& state, void (*setup)(TVeDestEngineOptions&) = nullptr) {
  // The range tables are built once per process, before any conversion.
  VeMsxYJKTable();
  VeMsxYJKPTable();
  VeBenchEngine<E>(state, "astronaut.png", 500, 569, setup);
}

void BM_MsxScreen2(benchmark::State& state) {
  RunMsx<TVeMSXScr2Engine>(state);
}
BENCHMARK(BM_MsxScreen2)->Unit(benchmark::kMillisecond);

void BM_MsxScreen5(benchmark::State& state) {
  RunMsx<TVeMSXScr5Engine>(state);
}
BENCHMARK(BM_MsxScreen5)->Unit(benchmark::kMillisecond);

void BM_MsxScreen8(benchmark::State& state) {
  RunMsx<TVeMSXScr8Engine>(state);
}
BENCHMARK(BM_MsxScreen8)->Unit(benchmark::kMillisecond);

void BM_MsxScreen12(benchmark::State& state) {
  RunMsx<TVeMSXScr12Engine>(state);
}
BENCHMARK(BM_MsxScreen12)->Unit(benchmark::kMillisecond);

// Every pass the attribute palette needs, from an empty base palette.
void BM_MsxScreen10YJKYAE(benchmark::State& state) {
  RunMsx<TVeMSXScr10Engine>(state, [](TVeDestEngineOptions& o) { o.SetPaletteType(ptMSXYJK_YAE); });
}
BENCHMARK(BM_MsxScreen10YJKYAE)->Unit(benchmark::kMillisecond);

// Building the YJK range table (once per process in a program).
void BM_MsxYJKRangeTable(benchmark::State& state) {
  for (auto _ : state) {
    TVeYjkRangeTable table(TVeYjkDecoder::YJK, false);
    benchmark::DoNotOptimize(&table);
  }
}
BENCHMARK(BM_MsxYJKRangeTable)->Unit(benchmark::kMillisecond);

} // namespace
