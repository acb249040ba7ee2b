#include "VePlatformPc8000.h"

void Pc8000MakePalette(TVePalette256& palette) {
  palette.BeginUpdate();
  palette.Clear();
  for (int c = 0; c < 16; ++c) {
    const uint8_t on = c & 1 ? 0xFF : 0xA8;
    palette.AddRGB(c & 8 ? on : 0, c & 2 ? on : 0, c & 4 ? on : 0);
  }
  palette.EndUpdate();
  palette.PrepareSearch();
}

std::vector<TVeCellPair> Pc8000Pairs() {
  std::vector<TVeCellPair> pairs;
  for (int c = 1; c < 16; ++c)
    pairs.push_back({c, c, Pc8000Color(c, c)});
  for (int paper = 1; paper < 16; ++paper)
    for (int ink = paper + 1; ink < 16; ++ink)
      pairs.push_back({paper, ink, Pc8000Color(ink, paper)});
  return pairs;
}
