#pragma once
// What the GIF coders share around giflib: reading from and writing to memory, closing on
// every path, and the messages of its errors.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gif_lib.h>

#include "VeErrors.h"

struct TVeGifInput {
  const uint8_t* Data;
  size_t Size;
  size_t Pos;
};

inline int VeGifRead(GifFileType* gif, GifByteType* buffer, int count) {
  auto* in = static_cast<TVeGifInput*>(gif->UserData);
  if (count <= 0) return 0;
  const size_t n = std::min(in->Size - in->Pos, size_t(count));
  if (n) std::memcpy(buffer, in->Data + in->Pos, n);
  in->Pos += n;
  return int(n);
}

struct TVeGifCloser {
  GifFileType* Gif;
  ~TVeGifCloser() {
    int error = 0;
    if (Gif) DGifCloseFile(Gif, &error);
  }
};

[[noreturn]] inline void VeGifFailed(int error) {
  if (error == D_GIF_ERR_READ_FAILED || error == D_GIF_ERR_EOF_TOO_SOON)
    throw EVeError("Truncated GIF file");
  const char* text = GifErrorString(error);
  throw EVeError(std::string("Invalid GIF file: ") + (text ? text : "read error"));
}

struct TVeGifOutput {
  std::vector<uint8_t>* Out;
};

inline int VeGifWrite(GifFileType* gif, const GifByteType* data, int count) {
  auto* out = static_cast<TVeGifOutput*>(gif->UserData);
  out->Out->insert(out->Out->end(), data, data + count);
  return count;
}

// Calls read(y) for each row of a picture of h rows in the order GIF stores them: four
// passes when interlaced, else top to bottom.
template <class Read> void VeGifForRows(bool interlaced, int64_t h, Read read) {
  if (!interlaced) {
    for (int64_t y = 0; y < h; ++y)
      read(y);
    return;
  }
  static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass)
    for (int64_t y = start[pass]; y < h; y += step[pass])
      read(y);
}
