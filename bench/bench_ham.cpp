// Hold-and-modify conversions on photographs, on one worker: the SAM Coupé line-change mode
// (construction of the line palettes included) and the Vector-06C modes.
#include "VeHAMImage.h"
#include "bench_support.h"
#include "samcoupe/VePlatformSamCoupe.h"
#include "samcoupe/VeSavePlatformSamCoupe.h"
#include "vector06c/VeSavePlatformVector06c.h"

namespace {

void BM_SamHam(benchmark::State& state) {
  VeBenchEngine<TVeSamMode4HAMEngine>(state, "astronaut.png");
}
void BM_SamHamCoffee(benchmark::State& state) {
  VeBenchEngine<TVeSamMode4HAMEngine>(state, "coffee.png");
}
void BM_SamMode4(benchmark::State& state) {
  VeBenchEngine<TVeSamMode4Engine>(state, "astronaut.png");
}
void BM_VectorHam1(benchmark::State& state) {
  VeBenchEngine<TVeVectorHAM1Engine>(state, "astronaut.png");
}
void BM_VectorHam2(benchmark::State& state) {
  VeBenchEngine<TVeVectorHAM2Engine>(state, "astronaut.png");
}

// The line palettes alone.
void BM_HamPaletteSam(benchmark::State& state) {
  const TVeImage image(VeBenchPhotograph("astronaut.png", 256, 192));
  SetProcessorCount(1);
  for (auto _ : state) {
    TVeHAMPalette ham(nullptr, SamHamType, SamHamLineLimit, SamHamChanges, 16, SamPalette(), image);
    benchmark::DoNotOptimize(ham.Passes());
  }
  SetProcessorCount(0);
}

} // namespace

BENCHMARK(BM_SamHam)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SamHamCoffee)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SamMode4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VectorHam1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VectorHam2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HamPaletteSam)->Unit(benchmark::kMillisecond);
