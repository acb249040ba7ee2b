// Picture decoding from hostile bytes: every outcome is a picture within the size limit or
// an exception with a message.
#include <cstddef>
#include <cstdint>
#include <exception>

#include "VeAnimation.h"
#include "VePictureCodecs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    const int type = DetectPictureType(data, size);
    if (type != 0) VeDecodePicture(type, data, size);
  } catch (const std::exception&) {
  }
  try {
    // Every frame of an animated GIF, within limits small enough for many runs a second.
    if (DetectPictureType(data, size) == vptGIF)
      VeDecodeGifAnimation(data, size, 64, int64_t(1) << 22);
  } catch (const std::exception&) {
  }
  return 0;
}
