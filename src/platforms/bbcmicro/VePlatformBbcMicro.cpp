#include "VePlatformBbcMicro.h"

#include "VeErrors.h"

uint32_t BbcPhysicalRGB(int c) {
  c &= 7;
  return (c & 1 ? 0xFF0000u : 0) | (c & 2 ? 0x00FF00u : 0) | (c & 4 ? 0x0000FFu : 0);
}

void BbcMakePhysicalPalette(TVePalette256& palette) {
  palette.BeginUpdate();
  palette.Clear();
  for (int c = 0; c < BbcPhysicalColors; ++c)
    palette.AddRGB(c & 1 ? 255 : 0, c & 2 ? 255 : 0, c & 4 ? 255 : 0);
  palette.EndUpdate();
}

// Pixel clocks of 16, 8 and 4 MHz against the 7.375 MHz of a square pixel on a PAL field:
// pixels 2.17, 1.085 and 0.54 times as high as wide, nearest table entries "1:2", "0.92:1"
// and "2:1".
const std::vector<TVeBbcModeInfo>& BbcModes() {
  static const std::vector<TVeBbcModeInfo> modes = {
      {0, "0 640x256x1", 640, 1, 1}, {1, "1 320x256x2", 320, 2, 9},  {2, "2 160x256x4", 160, 4, 17},
      {4, "4 320x256x1", 320, 1, 9}, {5, "5 160x256x2", 160, 2, 17},
  };
  return modes;
}

const TVeBbcModeInfo& BbcModeInfo(int mode) {
  for (const TVeBbcModeInfo& m : BbcModes())
    if (m.Mode == mode) return m;
  VeInternalError();
}

// Pixel x of a byte of p = 8 / bits pixels uses the bits 7 - x, 7 - x - p, ...: bit i of the
// colour (i = bits - 1 first) sits at 7 - x - (bits - 1 - i) * p.
int BbcUnpackPixel(uint8_t b, int x, int bits) {
  const int perByte = 8 / bits;
  int c = 0;
  for (int i = bits - 1, k = 0; i >= 0; --i, ++k)
    c |= ((b >> (7 - x - k * perByte)) & 1) << i;
  return c;
}

uint8_t BbcPackPixel(int c, int x, int bits) {
  const int perByte = 8 / bits;
  int b = 0;
  for (int i = bits - 1, k = 0; i >= 0; --i, ++k)
    b |= ((c >> i) & 1) << (7 - x - k * perByte);
  return uint8_t(b);
}

TVeBbcScreen::TVeBbcScreen(const TVeBbcModeInfo& mode, uint8_t* data)
    : TVeData(mode.Width, BbcScreenHeight, mode.ByteColumns()), FMode(mode), FData(data) {}

int TVeBbcScreen::GetPixel(int x, int y) const {
  x = StoredX(x);
  const int perByte = 8 / FMode.Bits;
  const uint8_t b = FData[BbcScreenOffset(FMode.ByteColumns(), x / perByte, y)];
  return BbcUnpackPixel(b, x % perByte, FMode.Bits);
}

void TVeBbcScreen::SetPixel(int x, int y, int value) {
  x = StoredX(x);
  const int perByte = 8 / FMode.Bits;
  uint8_t& b = FData[BbcScreenOffset(FMode.ByteColumns(), x / perByte, y)];
  const uint8_t mask = BbcPackPixel((1 << FMode.Bits) - 1, x % perByte, FMode.Bits);
  b = uint8_t((b & ~mask) | BbcPackPixel(value, x % perByte, FMode.Bits));
}

std::vector<int> BbcDefaultLogical(const TVeBbcModeInfo& mode) {
  switch (mode.Colors()) {
  case 2:
    return {0, 7};
  case 4:
    return {0, 1, 3, 7};
  default: {
    std::vector<int> all(16);
    for (int i = 0; i < 16; ++i)
      all[size_t(i)] = i;
    return all;
  }
  }
}

std::vector<uint8_t> BbcVduPalette(const std::vector<int>& physical) {
  std::vector<uint8_t> bytes;
  for (size_t l = 0; l < physical.size(); ++l) {
    const uint8_t command[BbcVduCommandBytes] = {19, uint8_t(l), uint8_t(physical[l] & 15),
                                                 0,  0,          0};
    bytes.insert(bytes.end(), command, command + BbcVduCommandBytes);
  }
  return bytes;
}

bool BbcReadVduPalette(const uint8_t* data, int32_t size, const TVeBbcModeInfo& mode,
                       std::vector<int>& physical) {
  physical = BbcDefaultLogical(mode);
  if (!data || size <= 0 || size % BbcVduCommandBytes != 0) return false;
  for (int32_t at = 0; at < size; at += BbcVduCommandBytes) {
    const uint8_t* c = data + at;
    // The machine takes the logical number modulo the mode's colours.
    if (c[0] != 19 || c[2] > 15) return false;
    physical[size_t(c[1] % mode.Colors())] = c[2];
  }
  return true;
}
