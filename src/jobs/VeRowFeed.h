#pragma once
// Rows of a picture handed from the worker that makes them (a decoder, a resize) to readers
// on other workers as they are finished, so that the readers' work overlaps the making. The
// maker sizes the picture, announces it, then reports its rows in order, and ends, well or
// not; each reader waits for the rows it needs and stops when the making failed.
#include <condition_variable>
#include <mutex>

#include "VeBitmap32.h"
#include "VeErrors.h"

class TVeRowFeed {
public:
  // Maker side. The picture has its full size and stays where it is; no row is final yet.
  void Begin(const TVeBitmap32* picture);
  // Rows [0, done) are final.
  void Rows(int done);
  // No more rows come: every row is final (ok), or the making failed.
  void End(bool ok);

  // Reader side, any number of readers. The picture once announced; null when the making
  // failed first, or ended without announcing one.
  const TVeBitmap32* WaitPicture();
  // Waits until rows [0, rows) are final and gives how many are (at least rows); -1 when the
  // making failed before.
  int WaitRows(int rows);
  // The same, raising the silent abort when the making failed.
  void WaitRowsOrAbort(int rows) {
    if (WaitRows(rows) < 0) VeAbort();
  }
  bool Begun();

private:
  std::mutex FLock;
  std::condition_variable FChanged;
  const TVeBitmap32* FPicture = nullptr;
  int FDone = 0;
  int FWanted = 0; // the fewest rows a waiting reader needs, 0 when none waits
  bool FEnded = false;
  bool FFailed = false;
};

// Ends a feed as failed on every way out but Finish, so that no reader waits forever.
class TVeRowFeedGuard {
public:
  explicit TVeRowFeedGuard(TVeRowFeed* feed) : FFeed(feed) {}
  ~TVeRowFeedGuard() {
    if (FFeed) FFeed->End(false);
  }
  TVeRowFeedGuard(const TVeRowFeedGuard&) = delete;
  TVeRowFeedGuard& operator=(const TVeRowFeedGuard&) = delete;
  void Finish() {
    if (FFeed) FFeed->End(true);
    FFeed = nullptr;
  }

private:
  TVeRowFeed* FFeed;
};
