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
