#pragma once
// The coffee photograph as a conversion run prepares it for a w x h mode, for tests that need
// a real picture.
#include <string>
#include <vector>

#include "VeBitmap32.h"
#include "VePictureCodecs.h"
#include "VeSourcePrepare.h"

inline TVeBitmap32 TestPhoto(int w, int h) {
  static const TVeBitmap32 whole = [] {
    std::vector<uint8_t> data = VeReadFile(std::string(VELMORA_SAMPLES_DIR) + "/coffee.png");
    TVePicture png = VeDecodePng(data.data(), data.size());
    TVeBitmap32 b(png.Width, png.Height);
    const int bytes = png.BitsPerPixel / 8;
    for (int y = 0; y < png.Height; ++y)
      for (int x = 0; x < png.Width; ++x) {
        const uint8_t* p = png.Row(y) + x * bytes;
        b.Pixel(x, y) = VeRGBQuad(p[2], p[1], p[0]);
      }
    return b;
  }();
  return VeResizeSource(whole, w, h, 1, 1, 1, false).Picture;
}
