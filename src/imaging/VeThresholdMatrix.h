#pragma once
// Threshold matrices of the ordered dithering methods. A pixel's threshold depends on its
// position in the target only, so the result does not depend on the scan order or on how
// the rows are shared among workers.
#include <cstdint>

constexpr int VeBayerSize = 8;
constexpr int VeBlueNoiseSize = 64;
// Ranks 0..63 and 0..4095, row by row (tables made by scripts/threshold-matrix.py).
extern const uint8_t VeBayerMatrix[VeBayerSize * VeBayerSize];
extern const uint16_t VeBlueNoiseMatrix[VeBlueNoiseSize * VeBlueNoiseSize];

// The ordered methods follow the error-diffusion kernels in the options' list.
constexpr int VeOrderedBayer = 9;
constexpr int VeOrderedBlueNoise = 10;

inline bool VeIsOrderedDither(int method) {
  return method == VeOrderedBayer || method == VeOrderedBlueNoise;
}

// The threshold of (x, y) in (0, 1), centred in its rank's step; 0.5 for other methods.
inline double VeOrderedThreshold(int method, int x, int y) {
  if (method == VeOrderedBayer)
    return (VeBayerMatrix[(y & (VeBayerSize - 1)) * VeBayerSize + (x & (VeBayerSize - 1))] + 0.5) /
           (VeBayerSize * VeBayerSize);
  if (method == VeOrderedBlueNoise)
    return (VeBlueNoiseMatrix[(y & (VeBlueNoiseSize - 1)) * VeBlueNoiseSize +
                              (x & (VeBlueNoiseSize - 1))] +
            0.5) /
           (VeBlueNoiseSize * VeBlueNoiseSize);
  return 0.5;
}
