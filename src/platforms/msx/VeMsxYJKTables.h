#pragma once
// The J and K ranges a colour can take in the YJK encodings of screens 10 and 12, for each of
// the 32768 colours of 5-bit levels. A colour that some (Y, J, K) shows exactly has the
// smallest and largest J and K of all such triples; any other colour takes the ranges of the
// colours it is nearest to, so the group search always has something to try.
#include <cstddef>
#include <cstdint>
#include <vector>

// Levels (0-31) a (Y, J, K) triple shows.
struct TVeYjkLevels {
  int R, G, B;
};

inline int VeYjkClamp(int v) {
  return v < 0 ? 0 : (v > 31 ? 31 : v);
}
// Floor of (5Y - 2J - K + bias) / 4, a negative numerator giving 0, then clamped. The V9958
// rounds (bias 2); the V9990 drops the fraction (bias 0).
constexpr int VeYjkBiasV9958 = 2;
constexpr int VeYjkBiasV9990 = 0;
inline int VeYjkThird(int y, int j, int k, int bias = VeYjkBiasV9958) {
  const int n = 5 * y - 2 * j - k + bias;
  return n < 0 ? 0 : VeYjkClamp(n >> 2);
}
// Screen 12: red Y + J, green Y + K, blue the third value.
inline TVeYjkLevels VeDecodeYJK(int y, int j, int k, int bias = VeYjkBiasV9958) {
  return {VeYjkClamp(y + j), VeYjkClamp(y + k), VeYjkThird(y, j, k, bias)};
}
// The YUV variant: red Y + J, blue Y + K, green the third value.
inline TVeYjkLevels VeDecodeYUV(int y, int j, int k, int bias = VeYjkBiasV9958) {
  return {VeYjkClamp(y + j), VeYjkThird(y, j, k, bias), VeYjkClamp(y + k)};
}

// Index of a colour of 5-bit levels.
constexpr int VeRGB555Index(int r, int g, int b) {
  return r << 10 | g << 5 | b;
}

// Eight signed bytes per colour: a representative Y, J, K, then Jmin, Jmax, Kmin, Kmax, 0.
struct TVeYjkRangeEntry {
  int8_t Y, J, K;
  int8_t JMin, JMax, KMin, KMax;
  int8_t Zero;
};
static_assert(sizeof(TVeYjkRangeEntry) == 8);

enum class TVeYjkDecoder : uint8_t { YJK, YUV };

class TVeYjkRangeTable {
public:
  // Every Y (only even ones when evenY), J and K decoded with the given decoder and bias.
  TVeYjkRangeTable(TVeYjkDecoder decoder, bool evenY, int bias = VeYjkBiasV9958);

  const TVeYjkRangeEntry& operator[](int index) const { return FEntries[size_t(index)]; }
  // Whether some triple shows the colour exactly.
  bool Exact(int index) const { return FExact[size_t(index)] != 0; }
  int ExactCount() const;
  TVeYjkDecoder Decoder() const { return FDecoder; }
  bool EvenY() const { return FEvenY; }
  int Bias() const { return FBias; }

private:
  TVeYjkDecoder FDecoder;
  bool FEvenY;
  int FBias;
  std::vector<TVeYjkRangeEntry> FEntries;
  std::vector<uint8_t> FExact;
};

// The screen 12 table (every Y).
const TVeYjkRangeTable& VeMsxYJKTable();
