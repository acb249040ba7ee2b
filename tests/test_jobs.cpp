#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "VeThreadJob.h"

namespace {

// Restores the process-wide worker count after each test.
class ThreadJobs : public ::testing::Test {
protected:
  void TearDown() override { SetProcessorCount(0); }
};

struct TSumJob : TVeJob {
  TSumJob(TVeJobList* list, int first, int last, bool fail = false)
      : TVeJob(list), First(first), Last(last), Fail(fail) {}
  void Execute() override {
    Thread = std::this_thread::get_id();
    long s = 0;
    for (int i = First; i <= Last; ++i)
      s += i;
    if (Fail) throw std::runtime_error("job failed");
    Sum = s;
  }
  int First, Last;
  bool Fail;
  long Sum = -1;
  std::thread::id Thread;
};

std::vector<std::pair<int, int>> Split(int count, int start) {
  TVeRangeSplitter s;
  s.Init(count, start);
  std::vector<std::pair<int, int>> parts;
  int first, last;
  while (s.Next(first, last))
    parts.emplace_back(first, last);
  return parts;
}

} // namespace

TEST_F(ThreadJobs, SplitterRoundsTiesToEvenAndCoversTheRange) {
  SetProcessorCount(4);
  using P = std::vector<std::pair<int, int>>;
  EXPECT_EQ(Split(10, 0), (P{{0, 1}, {2, 4}, {5, 6}, {7, 9}}));
  EXPECT_EQ(Split(10, 5), (P{{5, 6}, {7, 9}, {10, 11}, {12, 14}}));
  EXPECT_TRUE(Split(0, 3).empty());
  EXPECT_TRUE(Split(-5, 0).empty());
  SetProcessorCount(8);
  EXPECT_EQ(Split(3, 0), (P{{0, 0}, {1, 1}, {2, 2}}));
  SetProcessorCount(1);
  EXPECT_EQ(Split(7, 1), (P{{1, 7}}));
  // Every count over every worker count: contiguous, complete, never more parts than
  // workers, part sizes differ by at most one.
  for (int workers = 1; workers <= 9; ++workers) {
    SetProcessorCount(workers);
    for (int count = 0; count <= 40; ++count) {
      auto parts = Split(count, 2);
      ASSERT_EQ(int(parts.size()), std::min(count, workers));
      int next = 2, lo = count, hi = 0;
      for (auto [f, l] : parts) {
        ASSERT_EQ(f, next);
        ASSERT_GE(l, f);
        lo = std::min(lo, l - f + 1);
        hi = std::max(hi, l - f + 1);
        next = l + 1;
      }
      EXPECT_EQ(next, count + 2);
      if (count > 0) {
        EXPECT_LE(hi - lo, 1) << count << " over " << workers;
      }
    }
  }
}

TEST_F(ThreadJobs, FailingJobKeepsItsResultOthersComplete) {
  for (int workers : {1, 4}) {
    SetProcessorCount(workers);
    TVeJobList list;
    new TSumJob(&list, 1, 10);
    new TSumJob(&list, 11, 20, true);
    new TSumJob(&list, 21, 30);
    new TSumJob(&list, 1, 100, true);
    list.Run(nullptr);
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(list.Job<TSumJob>(0)->Sum, 55);
    EXPECT_EQ(list.Job<TSumJob>(1)->Sum, -1);
    EXPECT_EQ(list.Job<TSumJob>(2)->Sum, 255);
    EXPECT_EQ(list.Job<TSumJob>(3)->Sum, -1);
  }
}

TEST_F(ThreadJobs, OneWorkerRunsInlineManyWorkersInParallel) {
  SetProcessorCount(1);
  {
    int created = VeThreadPoolStats().Created;
    TVeJobList list;
    for (int i = 0; i < 5; ++i)
      new TSumJob(&list, i, i + 3);
    list.Run();
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(list.Job<TSumJob>(i)->Thread, std::this_thread::get_id());
      EXPECT_EQ(list.Job<TSumJob>(i)->Sum, 4 * i + 6);
    }
    EXPECT_EQ(VeThreadPoolStats().Created, created);
  }
  SetProcessorCount(4);
  TVeJobList list;
  for (int i = 0; i < 4; ++i)
    new TSumJob(&list, i, i + 3);
  list.Run();
  std::set<std::thread::id> threads;
  for (int i = 0; i < 4; ++i) {
    threads.insert(list.Job<TSumJob>(i)->Thread);
    EXPECT_EQ(list.Job<TSumJob>(i)->Sum, 4 * i + 6);
  }
  // Jobs in flight at the same time run on distinct threads.
  EXPECT_EQ(threads.size(), 4u);
}

TEST_F(ThreadJobs, ThreadsReturnToThePoolOnlyWhenTheirJobsDieAndAreReused) {
  SetProcessorCount(4);
  // Warm the pool so that creation counts below are stable.
  {
    TVeJobList warm;
    for (int i = 0; i < 4; ++i)
      new TSumJob(&warm, 0, 0);
    warm.Run();
  }
  auto before = VeThreadPoolStats();
  ASSERT_GE(before.Idle, 3);
  {
    TVeJobList list;
    for (int i = 0; i < 4; ++i)
      new TSumJob(&list, 0, 0);
    list.Run();
    // The three helper threads are bound to their jobs until the list is freed.
    EXPECT_EQ(VeThreadPoolStats().Idle, before.Idle - 3);
    // Freeing one job frees only its thread.
    delete list.Jobs(3);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(VeThreadPoolStats().Idle, before.Idle - 2);
  }
  EXPECT_EQ(VeThreadPoolStats().Idle, before.Idle);
  // A steady state creates no threads; running the same list twice does not strand any.
  for (int round = 0; round < 20; ++round) {
    TVeJobList list;
    for (int i = 0; i < 4; ++i)
      new TSumJob(&list, i, 9);
    list.Run();
    list.Run();
    EXPECT_EQ(list.Job<TSumJob>(3)->Sum, 42);
  }
  EXPECT_EQ(VeThreadPoolStats().Created, before.Created);
}

TEST_F(ThreadJobs, CancelRaisesAbortOnlyAfterEveryJobEnded) {
  struct TSlowJob : TVeJob {
    TSlowJob(TVeJobList* list, TVeCancelFlag* cancel, bool setter)
        : TVeJob(list), Cancel(cancel), Setter(setter) {}
    void Execute() override {
      if (Setter) Cancel->store(1);
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      Finished = true;
    }
    TVeCancelFlag* Cancel;
    bool Setter;
    bool Finished = false;
  };
  for (int workers : {1, 3}) {
    SetProcessorCount(workers);
    TVeCancelFlag cancel{0};
    TVeJobList list;
    for (int i = 0; i < 3; ++i)
      new TSlowJob(&list, &cancel, i == 1);
    EXPECT_THROW(list.Run(&cancel), EAbort);
    for (int i = 0; i < 3; ++i)
      EXPECT_TRUE(list.Job<TSlowJob>(i)->Finished);
  }
  // An empty list returns at once, but still reports a set flag.
  TVeJobList empty;
  TVeCancelFlag set{1};
  EXPECT_NO_THROW(empty.Run(nullptr));
  EXPECT_THROW(empty.Run(&set), EAbort);
}

TEST_F(ThreadJobs, ForRangesCoversEachItemOnceAndRaisesTheFirstPartsError) {
  for (int workers : {1, 3}) {
    SetProcessorCount(workers);
    // Below the threshold, or with one worker, the whole range runs on the caller.
    std::vector<std::pair<int, int>> parts;
    VeForRanges(10, 64, nullptr, [&](int first, int last) { parts.push_back({first, last}); });
    EXPECT_EQ(parts, (std::vector<std::pair<int, int>>{{0, 9}}));
    std::vector<int> hits(200, 0);
    VeForRanges(200, 64, nullptr, [&](int first, int last) {
      for (int i = first; i <= last; ++i)
        ++hits[size_t(i)];
    });
    EXPECT_EQ(hits, std::vector<int>(200, 1)) << workers;
    // Every part runs to its end; the error of the earliest failing part is the one raised.
    std::vector<int> done(200, 0);
    try {
      VeForRanges(200, 64, nullptr, [&](int first, int last) {
        for (int i = first; i <= last; ++i)
          done[size_t(i)] = 1;
        if (last >= 66) throw std::runtime_error("part ending at " + std::to_string(last));
      });
      ADD_FAILURE() << "no error raised";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), workers == 1 ? "part ending at 199" : "part ending at 66");
    }
    EXPECT_EQ(done, std::vector<int>(200, 1));
    TVeCancelFlag cancel{1};
    EXPECT_THROW(VeForRanges(200, 64, &cancel, [](int, int) {}), EAbort);
  }
}

TEST_F(ThreadJobs, ProcessorCountOverrideAndDefault) {
  int def = DefaultProcessorCount();
  EXPECT_GE(def, 1);
  if (!std::getenv("VELMORA_THREADS")) {
    EXPECT_EQ(def, std::clamp(int(std::thread::hardware_concurrency()), 1, MaxProcessorCount));
  }
  SetProcessorCount(3);
  EXPECT_EQ(ProcessorCount(), 3);
  SetProcessorCount(100000);
  EXPECT_EQ(ProcessorCount(), MaxProcessorCount);
  SetProcessorCount(-2);
  EXPECT_EQ(ProcessorCount(), def);
}

// The program may end while another thread is still running a job list: no hang, no
// crash, no terminate from a joinable thread.
TEST(ThreadJobsDeathTest, ExitWhileAListIsInFlight) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        SetProcessorCount(4);
        {
          TVeJobList warm; // leaves idle threads for the shutdown to join
          for (int i = 0; i < 4; ++i)
            new TSumJob(&warm, 0, 0);
          warm.Run();
        }
        std::thread caller([] {
          struct TWaitJob : TVeJob {
            using TVeJob::TVeJob;
            void Execute() override { std::this_thread::sleep_for(std::chrono::milliseconds(50)); }
          };
          TVeJobList list;
          for (int i = 0; i < 6; ++i)
            new TWaitJob(&list);
          list.Run();
        });
        caller.detach();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::exit(7);
      },
      ::testing::ExitedWithCode(7), "");
}
