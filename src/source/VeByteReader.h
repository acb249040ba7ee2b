#pragma once
// A bounded cursor over a byte range, for loaders walking containers (tapes, chunked
// snapshots). Every read tests the bytes left first and leaves the cursor alone on failure.
#include <cstdint>

struct TVeByteReader {
  const uint8_t* Pos = nullptr;
  int32_t Remaining = 0;

  TVeByteReader() = default;
  TVeByteReader(const void* data, int32_t size)
      : Pos(static_cast<const uint8_t*>(data)), Remaining(size < 0 ? 0 : size) {}

  bool ReadByte(uint8_t& value);
  bool ReadWord(uint16_t& value);  // little-endian
  bool ReadDWord(uint32_t& value); // little-endian
  bool Read(void* buffer, int32_t count);
  // Pointer to the next count bytes (and moves past them), or nullptr when they are not there.
  const uint8_t* Take(int32_t count);
  // Skips without a test: a skip past the end leaves Remaining negative, so every later read
  // fails. The pointer itself never moves beyond the end of the range.
  void Skip(int32_t count);
};
