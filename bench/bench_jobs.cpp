#include <benchmark/benchmark.h>

#include "VeThreadJob.h"

namespace {

struct TEmptyJob : TVeJob {
  using TVeJob::TVeJob;
  void Execute() override { benchmark::ClobberMemory(); }
};

// Dispatch overhead of one job list: fill, run, wait, free.
void BM_JobListEmptyJobs(benchmark::State& state) {
  const int jobs = int(state.range(0));
  SetProcessorCount(jobs);
  for (auto _ : state) {
    TVeJobList list;
    for (int i = 0; i < jobs; ++i)
      new TEmptyJob(&list);
    list.Run();
  }
  SetProcessorCount(0);
}
BENCHMARK(BM_JobListEmptyJobs)->DenseRange(2, 8, 2)->UseRealTime();

} // namespace
