#pragma once
// Total and done of a conversion run: written by the worker (and the cell images and
// quantizers it runs), read by the UI thread.
#include <cstdint>
#include <mutex>

class TVeDestProgress {
public:
  void SetProgress(uint32_t total, uint32_t done);
  void Step();
  void GetProgress(uint32_t& total, uint32_t& done) const;

private:
  mutable std::mutex FLock;
  uint32_t FTotal = 0;
  uint32_t FDone = 0;
};
