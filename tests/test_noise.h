#pragma once
// Bytes that no packer or parser can take for structure, the same on every run.
#include <cstddef>
#include <cstdint>
#include <vector>

inline std::vector<uint8_t> Noise(size_t n, unsigned seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    v[i] = uint8_t(seed >> 16);
  }
  return v;
}
