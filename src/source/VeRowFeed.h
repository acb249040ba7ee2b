#pragma once
// Rows of a picture handed from its decoder to a reader on another worker as they are
// finished, so that the reader's work overlaps the decoding. The decoder sizes the picture,
// announces it, then reports its rows in order, and ends, well or not; the reader waits for
// the rows it needs and stops when the decoding failed.
#include <condition_variable>
#include <mutex>

#include "VeBitmap32.h"

class TVeRowFeed {
public:
  // Decoder side. The picture has its full size and stays where it is; no row is final yet.
  void Begin(const TVeBitmap32* picture);
  // Rows [0, done) are final.
  void Rows(int done);
  // No more rows come: every row is final (ok), or the decoding failed.
  void End(bool ok);

  // Reader side. The picture once announced; null when the decoding failed first.
  const TVeBitmap32* WaitPicture();
  // Waits until rows [0, rows) are final and gives how many are (at least rows); -1 when the
  // decoding failed before.
  int WaitRows(int rows);
  bool Begun();

private:
  std::mutex FLock;
  std::condition_variable FChanged;
  const TVeBitmap32* FPicture = nullptr;
  int FDone = 0;
  int FWanted = 0; // rows the reader waits for, 0 when it is not waiting
  bool FEnded = false;
  bool FFailed = false;
};
