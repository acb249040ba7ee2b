#include "VeRowFeed.h"

void TVeRowFeed::Begin(const TVeBitmap32* picture) {
  std::lock_guard<std::mutex> lock(FLock);
  FPicture = picture;
  FDone = 0;
  FChanged.notify_all();
}

void TVeRowFeed::Rows(int done) {
  std::lock_guard<std::mutex> lock(FLock);
  FDone = done;
  // Woken only once some reader's rows are there: each wake costs the maker a system call.
  if (FWanted > 0 && done >= FWanted) {
    FWanted = 0;
    FChanged.notify_all();
  }
}

void TVeRowFeed::End(bool ok) {
  std::lock_guard<std::mutex> lock(FLock);
  if (FEnded) return;
  FEnded = true;
  FFailed = !ok;
  if (ok && FPicture) FDone = FPicture->Height();
  FChanged.notify_all();
}

const TVeBitmap32* TVeRowFeed::WaitPicture() {
  std::unique_lock<std::mutex> lock(FLock);
  FChanged.wait(lock, [this] { return FPicture || FEnded; });
  return FFailed ? nullptr : FPicture;
}

int TVeRowFeed::WaitRows(int rows) {
  std::unique_lock<std::mutex> lock(FLock);
  while (FDone < rows && !FEnded) {
    // Every reader still short of its rows states its need again after a wake.
    if (FWanted == 0 || rows < FWanted) FWanted = rows;
    FChanged.wait(lock);
  }
  return FDone >= rows ? FDone : -1;
}

bool TVeRowFeed::Begun() {
  std::lock_guard<std::mutex> lock(FLock);
  return FPicture != nullptr;
}
