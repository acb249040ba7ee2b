#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "VeColor.h"
#include "VePalette.h"

namespace {
std::vector<TVeColor> RandomColors(size_t n) {
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> u(0, 1);
  std::vector<TVeColor> v(n);
  for (TVeColor& c : v)
    c.InitLin(u(rng), u(rng), u(rng));
  return v;
}
} // namespace

static void BM_GetLinRGBCached(benchmark::State& state) {
  std::vector<TVeColor> v = RandomColors(1024);
  for (TVeColor& c : v)
    c.GetLinGray();
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(v[i].GetLinRGB());
    i = (i + 1) & 1023;
  }
}
BENCHMARK(BM_GetLinRGBCached);

static void BM_GetLinGrayCached(benchmark::State& state) {
  std::vector<TVeColor> v = RandomColors(1024);
  for (TVeColor& c : v)
    c.GetLinGray();
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(v[i].GetLinGray());
    i = (i + 1) & 1023;
  }
}
BENCHMARK(BM_GetLinGrayCached);

// Byte to linear and back, as when a source pixel enters and the result leaves.
static void BM_ByteRoundTrip(benchmark::State& state) {
  unsigned b = 0;
  for (auto _ : state) {
    TVeColor c;
    c.InitStdRGB(uint8_t(b), uint8_t(b * 7), uint8_t(b * 13));
    const TVeLinRGBColor l = c.GetLinRGB();
    TVeColor d;
    d.InitLin(l);
    benchmark::DoNotOptimize(d.GetStdRGB());
    ++b;
  }
}
BENCHMARK(BM_ByteRoundTrip);

static void BM_LinearToByte(benchmark::State& state) {
  std::vector<TVeColor> v = RandomColors(1024);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(LinearToByte(v[i].GetLinRGB().G));
    i = (i + 1) & 1023;
  }
}
BENCHMARK(BM_LinearToByte);

static void BM_FindNearestLin256(benchmark::State& state) {
  const int n = int(state.range(0));
  std::vector<TVeColor> entries = RandomColors(size_t(n) + 1024);
  TVePalette256 p;
  for (int i = 0; i < n; ++i)
    p.AddColor(entries[size_t(i)]);
  p.PrepareSearch();
  std::vector<TVeColor> targets = RandomColors(1024);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(p.FindNearestLin(targets[i].GetLinRGB()));
    i = (i + 1) & 1023;
  }
}
BENCHMARK(BM_FindNearestLin256)->Arg(2)->Arg(16)->Arg(256)->Arg(729);

static void BM_FindNearestLinRGB(benchmark::State& state) {
  TVePaletteRGB p(TVePaletteType(state.range(0)));
  std::vector<TVeColor> targets = RandomColors(1024);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(p.FindNearestLin(targets[i].GetLinRGB()));
    i = (i + 1) & 1023;
  }
}
BENCHMARK(BM_FindNearestLinRGB)->Arg(ptRGB565)->Arg(ptRGB888)->Arg(ptRGB111);
