// The Soviet and Czechoslovak machines' modes on the astronaut photograph, on one worker.
#include "bench_support.h"
#include "bk0011/VeSavePlatformBk0011.h"
#include "corvette/VeSavePlatformCorvette.h"
#include "irisha/VeSavePlatformIrisha.h"
#include "lvov/VeSavePlatformLvov.h"
#include "mc0515/VeSavePlatformMc0515.h"
#include "okean240/VeSavePlatformOkean240.h"
#include "pmd85/VeSavePlatformPmd85.h"
#include "pp01/VeSavePlatformPp01.h"
#include "spetsialist/VeSavePlatformSpetsialist.h"
#include "uknc/VeSavePlatformUknc.h"

namespace {

template <class E> void BM_Mode(benchmark::State& state) {
  VeBenchEngine<E>(state);
}

} // namespace

BENCHMARK(BM_Mode<TVeBk0011Engine>)->Name("BK0011_256x256x2")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mode<TVeBk0011MonoEngine>)->Name("BK0011_512x256x1")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mode<TVeCorvetteEngine>)->Name("Corvette_512x256x3")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mode<TVeMc0515Engine>)->Name("MC0515_320x200x4")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mode<TVeMc0515HiResEngine>)->Name("MC0515_640x200x1")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mode<TVeIrishaEngine>)->Name("Irisha_320x200x1")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mode<TVeIrishaHighResEngine>)->Name("Irisha_640x200x1")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mode<TVeLvovWindowEngine>)->Name("Lvov_200x225x2")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mode<TVeLvovEngine>)->Name("Lvov_256x256x2")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mode<TVeOkean240Engine>)->Name("Okean240_256x256x2")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mode<TVeOkean240MonoEngine>)
    ->Name("Okean240_512x256x1")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mode<TVePmd85Engine>)->Name("PMD85_288x256x2")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mode<TVePmd85ColorAceEngine>)->Name("PMD85_ColorAce")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mode<TVePp01Engine>)->Name("PP01_256x256x3")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mode<TVeSpecialistEngine>)->Name("Specialist_384x256")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mode<TVeSpecialistMxEngine>)->Name("Specialist_MX")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mode<TVeUkncEngine>)->Name("UKNC_640x288x3")->Unit(benchmark::kMillisecond);
