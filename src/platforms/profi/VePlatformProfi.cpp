#include "VePlatformProfi.h"

std::vector<TVeCellPair> ProfiPairs() {
  std::vector<TVeCellPair> pairs;
  for (int c = 0; c < 16; ++c)
    pairs.push_back({c, c, ProfiAttr(c, c)});
  for (int paper = 0; paper < 16; ++paper)
    for (int ink = paper + 1; ink < 16; ++ink)
      pairs.push_back({paper, ink, ProfiAttr(ink, paper)});
  return pairs;
}

TVeProfiScreen::TVeProfiScreen(uint8_t* data) : TVeCellScreen(ProfiWidth, data, ProfiHeight) {}

int TVeProfiScreen::GetPixel(int x, int y) const {
  x = StoredX(x);
  return Data()[ProfiOffset(y, x >> 3)] >> (7 - (x & 7)) & 1;
}

void TVeProfiScreen::SetPixel(int x, int y, int value) {
  x = StoredX(x);
  uint8_t& b = Data()[ProfiOffset(y, x >> 3)];
  const uint8_t bit = uint8_t(0x80 >> (x & 7));
  b = value & 1 ? uint8_t(b | bit) : uint8_t(b & ~bit);
}

int TVeProfiScreen::GetAttr(int cellX, int cellY) const {
  if (Reversed) cellX = ProfiWidth / 8 - 1 - cellX;
  return Data()[ProfiPageBytes + ProfiOffset(cellY, cellX)];
}

void TVeProfiScreen::SetAttr(int cellX, int cellY, int attr) {
  if (Reversed) cellX = ProfiWidth / 8 - 1 - cellX;
  Data()[ProfiPageBytes + ProfiOffset(cellY, cellX)] = uint8_t(attr);
}
