#include "VeProgress.h"

void TVeDestProgress::SetProgress(uint32_t total, uint32_t done) {
  std::lock_guard<std::mutex> lock(FLock);
  FTotal = total;
  FDone = done;
}

void TVeDestProgress::Step() {
  std::lock_guard<std::mutex> lock(FLock);
  ++FDone;
}

void TVeDestProgress::GetProgress(uint32_t& total, uint32_t& done) const {
  std::lock_guard<std::mutex> lock(FLock);
  total = FTotal;
  done = FDone;
}
