#pragma once
// Job lists run on a process-wide pool of worker threads.
//
// A caller fills a TVeJobList with jobs (each job adds itself to the list given to its
// constructor), calls Run, reads the results out of the jobs and frees the list. A worker
// thread stays bound to its job until the job object is destroyed, so results may be read
// at leisure after Run; only then does the thread go back to the idle pool.
//
// Typical caller:
//   if (ProcessorCount() < 2) { DoRange(0, n - 1); return; }
//   TVeRangeSplitter s; s.Init(n, 0);
//   TVeJobList list; int first, last;
//   while (s.Next(first, last)) new TMyJob(&list, first, last);
//   list.Run(cancel);
//   for (int i = 0; i < list.Count(); ++i) ... list.Job<TMyJob>(i)->Result ...
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <utility>
#include <vector>

#include "VeErrors.h"

// The cancel flag of a conversion run: written by the controller, polled by the workers.
using TVeCancelFlag = std::atomic<std::uint8_t>;

// Raises the silent abort when the flag is present and set.
inline void VeCheckCancel(const TVeCancelFlag* cancel) {
  if (cancel && cancel->load(std::memory_order_relaxed) != 0) VeAbort();
}

// Number of workers a caller should split its work into (at least 1). Taken from the
// machine unless the environment variable VELMORA_THREADS or SetProcessorCount says
// otherwise.
int ProcessorCount();
// Overrides ProcessorCount for the whole process; 0 restores the default (VELMORA_THREADS
// when set, else the machine's number of logical processors). Values are clamped to
// 1 ... MaxProcessorCount.
void SetProcessorCount(int count);
// Overrides ProcessorCount on the calling thread only (0 removes it): a batch that converts
// one picture per thread sets 1, so that each conversion stays on its own thread.
void SetThreadProcessorCount(int count);
// The default ProcessorCount returns when no override is set.
int DefaultProcessorCount();
constexpr int MaxProcessorCount = 256;

class TVeJobList;
class TVeThread;

class TVeJob {
public:
  explicit TVeJob(TVeJobList* list = nullptr);
  virtual ~TVeJob();
  TVeJob(const TVeJob&) = delete;
  TVeJob& operator=(const TVeJob&) = delete;

  // The work. Runs on a pool thread (or inline); touches only the job's own fields and
  // data no other job of the list writes. Exceptions are swallowed by the runner.
  virtual void Execute() {}

  TVeJobList* List() const { return FList; }

private:
  friend class TVeJobList;
  void ReleaseThread();

  TVeJobList* FList;
  TVeThread* FThread = nullptr; // worker bound to this job until the job dies
};

class TVeJobList {
public:
  TVeJobList() = default;
  // Destroys the remaining jobs from the last to the first.
  ~TVeJobList();
  TVeJobList(const TVeJobList&) = delete;
  TVeJobList& operator=(const TVeJobList&) = delete;

  // Runs every job in parallel and returns when all have finished. Then raises EAbort
  // when cancel is non-null and set. Never abandons a running job.
  void Run(const TVeCancelFlag* cancel = nullptr);

  int Count() const { return int(FJobs.size()); }
  TVeJob* Jobs(int index) const { return FJobs.at(size_t(index)); }
  template <class T> T* Job(int index) const { return static_cast<T*>(Jobs(index)); }

  // Frees every job (last to first); the list can be filled again.
  void Clear();

private:
  friend class TVeJob;
  void Add(TVeJob* job) { FJobs.push_back(job); }
  void Remove(TVeJob* job);

  std::vector<TVeJob*> FJobs;
};

// Cuts an index range into at most ProcessorCount contiguous parts of nearly equal size;
// each part's size is remaining / parts left, rounded to nearest with ties to even.
struct TVeRangeSplitter {
  int Remaining = 0;
  int NextStart = 0;
  int Parts = 0;

  void Init(int count, int start);
  // Next inclusive range [first, last]; false when nothing is left.
  bool Next(int& first, int& last);
};

// Pool counters, for tests and diagnostics.
struct TVeThreadPoolStats {
  int Created = 0; // threads created since start-up
  int Idle = 0;    // threads waiting in the idle pool now
};
TVeThreadPoolStats VeThreadPoolStats();

// A job that runs a function and keeps its exception for the caller.
template <class F> class TVeCallJob : public TVeJob {
public:
  TVeCallJob(TVeJobList* list, F fn) : TVeJob(list), FFn(std::move(fn)) {}
  void Execute() override {
    try {
      FFn();
    } catch (...) {
      Error = std::current_exception();
    }
  }
  std::exception_ptr Error;

private:
  F FFn;
};

template <class F> TVeCallJob<F>* VeAddCallJob(TVeJobList& jobs, F fn) {
  return new TVeCallJob<F>(&jobs, std::move(fn));
}

// Runs body(first, last) over contiguous parts of [0, count) on the workers, or at once on
// the calling thread when there is one worker or fewer than minCount items. Each part must
// write only its own items, so the result is the same with any number of workers. The first
// part's exception, in part order, is raised again here; a set cancel flag raises the abort
// after the run.
template <class F>
void VeForRanges(int count, int minCount, const TVeCancelFlag* cancel, F&& body) {
  if (count <= 0) return;
  if (ProcessorCount() < 2 || count < minCount) {
    body(0, count - 1);
    VeCheckCancel(cancel);
    return;
  }
  TVeRangeSplitter splitter;
  splitter.Init(count, 0);
  TVeJobList jobs;
  std::vector<std::exception_ptr*> errors;
  int first, last;
  while (splitter.Next(first, last))
    errors.push_back(&VeAddCallJob(jobs, [&body, first, last] { body(first, last); })->Error);
  jobs.Run(cancel);
  for (std::exception_ptr* e : errors)
    if (*e) std::rethrow_exception(*e);
}
