#include "VePreparedCache.h"

uint64_t VePictureFingerprint(const TVeBitmap32& picture) {
  // Four independent lanes keep the multiplier busy; the memory read dominates anyway.
  constexpr uint64_t K = 0x9E3779B97F4A7C15ull;
  uint64_t lane[4] = {K, K ^ 1, K ^ 2, K ^ 3};
  const uint32_t* p = picture.Data();
  const size_t n = picture.PixelCount();
  size_t i = 0;
  for (; i + 8 <= n; i += 8)
    for (int k = 0; k < 4; ++k) {
      const uint64_t w = uint64_t(p[i + 2 * k]) | uint64_t(p[i + 2 * k + 1]) << 32;
      lane[k] = (lane[k] ^ w) * K;
      lane[k] ^= lane[k] >> 29;
    }
  for (; i < n; ++i)
    lane[0] = ((lane[0] ^ p[i]) * K) ^ (lane[0] >> 31);
  uint64_t h = uint64_t(picture.Width()) << 32 | uint32_t(picture.Height());
  for (uint64_t l : lane) {
    h = (h ^ l) * K;
    h ^= h >> 32;
  }
  return h;
}

std::shared_ptr<const TVeResizeResult> TVePreparedCache::Get(const TVeBitmap32& picture,
                                                             const TVePrepareKey& key,
                                                             const TVeCancelFlag* cancel) {
  {
    std::lock_guard<std::mutex> lock(FLock);
    if (FKept && FKey == key) {
      ++FHits;
      return FKept;
    }
  }
  // Resized outside the lock: a second thread with another key need not wait for this one.
  auto made = std::make_shared<TVeResizeResult>();
  VeResizeSourceInto(*made, picture, key.Width, key.Height, key.AspectX, key.AspectY, key.Mode,
                     false, cancel, false, nullptr);
  std::lock_guard<std::mutex> lock(FLock);
  ++FMisses;
  FKey = key;
  FKept = made;
  return made;
}

void TVePreparedCache::Clear() {
  std::lock_guard<std::mutex> lock(FLock);
  FKept.reset();
  FKey = TVePrepareKey();
}

int TVePreparedCache::Hits() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FHits;
}

int TVePreparedCache::Misses() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FMisses;
}
