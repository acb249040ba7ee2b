#pragma once
// The resized picture of the last conversion, kept for the next one that prepares the same
// picture in the same way: a change of an engine option (dithering, colour fixes, palette)
// then converts at once instead of resampling a large photograph again.
#include <cstdint>
#include <memory>
#include <mutex>

#include "VeBitmap32.h"
#include "VeSourcePrepare.h"

// A fingerprint of a picture's size and pixels, so that another picture (or the same one
// changed) never takes a kept preparation; 64-bit, word by word in four lanes.
uint64_t VePictureFingerprint(const TVeBitmap32& picture);

// Everything the preparation of a run reads: the picture and the resize's arguments. The
// border colour is not among them: it is painted on a copy after the resize.
struct TVePrepareKey {
  uint64_t Fingerprint = 0;
  int SourceWidth = 0, SourceHeight = 0;
  int Width = 0, Height = 0;
  int AspectX = 0, AspectY = 0;
  int Mode = 0; // the position mode the run uses (VeRunPositionMode)
  bool operator==(const TVePrepareKey&) const = default;
};

// One kept preparation, shared by the threads that convert; any other key replaces it.
class TVePreparedCache {
public:
  // The resize of picture for key (whose fingerprint and source size must be picture's), as
  // VeResizeSourceInto makes it without a copy of a picture already of the result's size.
  std::shared_ptr<const TVeResizeResult> Get(const TVeBitmap32& picture, const TVePrepareKey& key,
                                             const TVeCancelFlag* cancel = nullptr);
  void Clear();
  // How often a preparation was reused or made since the cache was built.
  int Hits() const;
  int Misses() const;

private:
  mutable std::mutex FLock;
  TVePrepareKey FKey;
  std::shared_ptr<const TVeResizeResult> FKept;
  int FHits = 0, FMisses = 0;
};
