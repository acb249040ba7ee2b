#include "VeThreadJob.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

// ---------------------------------------------------------------------------------------
// Processor count

namespace {

std::atomic<int> GProcessorOverride{0};

int ComputeDefaultProcessorCount() {
  if (const char* env = std::getenv("VELMORA_THREADS"); env && *env) {
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(env, &end, 10);
    if (errno == 0 && end != env && *end == '\0' && v >= 1)
      return int(std::min<long>(v, MaxProcessorCount));
  }
  unsigned hw = std::thread::hardware_concurrency();
  return std::clamp(int(hw), 1, MaxProcessorCount);
}

} // namespace

int DefaultProcessorCount() {
  static const int value = ComputeDefaultProcessorCount();
  return value;
}

namespace {
thread_local int GThreadProcessors = 0;
}

void SetThreadProcessorCount(int count) {
  GThreadProcessors = count <= 0 ? 0 : std::min(count, MaxProcessorCount);
}

int ProcessorCount() {
  if (GThreadProcessors > 0) return GThreadProcessors;
  int v = GProcessorOverride.load(std::memory_order_relaxed);
  return v > 0 ? v : DefaultProcessorCount();
}

void SetProcessorCount(int count) {
  GProcessorOverride.store(count <= 0 ? 0 : std::min(count, MaxProcessorCount),
                           std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------------------
// Worker threads and the idle pool

class TVeThread {
public:
  TVeThread() : FThread([this] { Execute(); }) {}
  // Only for a thread that is not running a job: ends its loop and joins it.
  ~TVeThread() {
    {
      std::lock_guard lock(FLock);
      FQuit = true;
      FWake.notify_one();
    }
    if (FThread.joinable()) FThread.join();
  }

  // Hands a job to an idle thread.
  void Start(TVeJob* job) {
    std::lock_guard lock(FLock);
    FJob = job;
    FDone = false;
    FStart = true;
    FWake.notify_one();
  }
  void WaitDone() {
    std::unique_lock lock(FLock);
    FDoneSignal.wait(lock, [this] { return FDone; });
  }

private:
  void Execute();

  std::mutex FLock;
  std::condition_variable FWake;       // start, quit
  std::condition_variable FDoneSignal; // job finished
  TVeJob* FJob = nullptr;
  bool FStart = false;
  bool FDone = false;
  bool FQuit = false;
  std::thread FThread; // last: starts once everything above exists
};

namespace {

// Never freed: jobs still alive when the program ends (on another thread, or in static
// objects) hand their threads back after static destruction has begun.
struct TVePool {
  std::mutex Lock;
  std::vector<TVeThread*> Idle;
  bool Closed = false;
  int Created = 0;
};

TVePool& Pool() {
  static TVePool* pool = new TVePool;
  return *pool;
}

// Null when the pool has been shut down or no thread could be created: the caller then
// runs the job itself.
TVeThread* PoolAcquire() {
  TVePool& pool = Pool();
  {
    std::lock_guard lock(pool.Lock);
    if (pool.Closed) return nullptr;
    if (!pool.Idle.empty()) {
      TVeThread* t = pool.Idle.back();
      pool.Idle.pop_back();
      return t;
    }
    ++pool.Created;
  }
  try {
    return new TVeThread;
  } catch (...) {
    return nullptr;
  }
}

// Called when the job a thread was bound to is destroyed. Once the pool is closed the
// thread is ended here instead; it has finished its job, so this never waits long.
void PoolRelease(TVeThread* thread) {
  TVePool& pool = Pool();
  {
    std::lock_guard lock(pool.Lock);
    if (!pool.Closed) {
      pool.Idle.push_back(thread);
      return;
    }
  }
  delete thread;
}

void PoolShutdown() {
  TVePool& pool = Pool();
  std::vector<TVeThread*> idle;
  {
    std::lock_guard lock(pool.Lock);
    pool.Closed = true;
    idle.swap(pool.Idle);
  }
  // Threads still bound to jobs are ended when their jobs are destroyed.
  for (auto it = idle.rbegin(); it != idle.rend(); ++it)
    delete *it;
}

struct TVePoolFinalizer {
  TVePoolFinalizer() { Pool(); }
  ~TVePoolFinalizer() { PoolShutdown(); }
} GPoolFinalizer;

void RunInline(TVeJob* job) {
  try {
    job->Execute();
  } catch (...) {
    // A failed job simply leaves its result fields untouched.
  }
}

} // namespace

void TVeThread::Execute() {
  std::unique_lock lock(FLock);
  for (;;) {
    FWake.wait(lock, [this] { return FStart || FQuit; });
    if (!FStart) break;
    FStart = false;
    TVeJob* job = FJob;
    lock.unlock();
    RunInline(job);
    lock.lock();
    FJob = nullptr;
    FDone = true;
    FDoneSignal.notify_all();
  }
}

TVeThreadPoolStats VeThreadPoolStats() {
  TVePool& pool = Pool();
  std::lock_guard lock(pool.Lock);
  return {pool.Created, int(pool.Idle.size())};
}

// ---------------------------------------------------------------------------------------
// Jobs and job lists

TVeJob::TVeJob(TVeJobList* list) : FList(list) {
  if (FList) FList->Add(this);
}

TVeJob::~TVeJob() {
  ReleaseThread();
  if (FList) FList->Remove(this);
}

void TVeJob::ReleaseThread() {
  if (TVeThread* t = FThread) {
    FThread = nullptr;
    t->WaitDone();
    PoolRelease(t);
  }
}

TVeJobList::~TVeJobList() {
  Clear();
}

void TVeJobList::Clear() {
  while (!FJobs.empty()) {
    TVeJob* job = FJobs.back();
    FJobs.pop_back();
    job->FList = nullptr;
    delete job;
  }
}

void TVeJobList::Remove(TVeJob* job) {
  auto it = std::find(FJobs.rbegin(), FJobs.rend(), job);
  if (it != FJobs.rend()) FJobs.erase(std::next(it).base());
}

void TVeJobList::Run(const TVeCancelFlag* cancel) {
  const size_t n = FJobs.size();
  // A second run must not leave the first run's threads bound forever.
  for (TVeJob* job : FJobs)
    job->ReleaseThread();
  if (n == 1 || (n > 1 && ProcessorCount() < 2)) {
    for (TVeJob* job : FJobs)
      RunInline(job);
  } else if (n > 1) {
    // The caller would only wait, so it takes the first job itself.
    for (size_t i = 1; i < n; ++i) {
      if (TVeThread* t = PoolAcquire()) {
        FJobs[i]->FThread = t;
        t->Start(FJobs[i]);
      }
    }
    RunInline(FJobs[0]);
    for (size_t i = 1; i < n; ++i) {
      if (TVeThread* t = FJobs[i]->FThread)
        t->WaitDone();
      else
        RunInline(FJobs[i]);
    }
  }
  VeCheckCancel(cancel);
}

// ---------------------------------------------------------------------------------------
// Range splitter

void TVeRangeSplitter::Init(int count, int start) {
  if (count < 0) count = 0;
  Remaining = count;
  NextStart = start;
  Parts = std::min(count, ProcessorCount());
}

bool TVeRangeSplitter::Next(int& first, int& last) {
  if (Remaining <= 0 || Parts <= 0) return false;
  int n = Remaining;
  if (Parts != 1) {
    // remaining / parts, rounded to nearest with ties to even
    int q = Remaining / Parts;
    int r2 = 2 * (Remaining % Parts);
    if (r2 > Parts || (r2 == Parts && (q & 1))) ++q;
    n = std::min(n, std::max(q, 1));
  }
  first = NextStart;
  last = first + n - 1;
  Remaining -= n;
  NextStart += n;
  --Parts;
  return true;
}
