// The unpackers of packed exports from hostile bytes, and packing round trips of any input.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

#include "VePack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Hostile streams: a clean error or at most the bytes allowed, never a read outside data.
  for (size_t limit : {size_t(6912), size_t(65536)}) {
    try {
      if (VeZx0Unpack(data, size, limit).size() > limit) __builtin_trap();
    } catch (const std::exception&) {
    }
    try {
      if (VeLz4Unpack(data, size, limit).size() != limit) __builtin_trap();
    } catch (const std::exception&) {
    }
  }
  // Whatever is packed unpacks to itself; small inputs keep the runs quick.
  if (size == 0 || size > 4096) return 0;
  const std::vector<uint8_t> original(data, data + size);
  const std::vector<uint8_t> zx0 = VeZx0Pack(data, size);
  if (VeZx0Unpack(zx0.data(), zx0.size(), size) != original) __builtin_trap();
  const std::vector<uint8_t> lz4 = VeLz4Pack(data, size);
  if (VeLz4Unpack(lz4.data(), lz4.size(), size) != original) __builtin_trap();
  return 0;
}
