#include "VePlatformScorpionGmx.h"

#include "zxspectrum/VePlatformZxSpectrum.h"

std::vector<TVeCellPair> GmxPairs() {
  std::vector<TVeCellPair> pairs;
  for (int i = 0; i < ZxSpectrumPairCount; ++i) {
    const TVeZxSpectrumPair& p = ZxSpectrumPair(i);
    const int attr = (p.Ink & zxBright ? ZxAttrBright : 0) | (p.Paper & 7) << 3 | (p.Ink & 7);
    pairs.push_back({p.Paper, p.Ink, attr});
  }
  return pairs;
}

TVeScorpionGmxScreen::TVeScorpionGmxScreen(uint8_t* data, bool fat)
    : TVeCellScreen(fat ? GmxFatWidth : GmxWidth, data, GmxHeight), FFat(fat) {}

int TVeScorpionGmxScreen::GetPixel(int x, int y) const {
  x = StoredX(x);
  if (FFat) return Data()[y * GmxRowBytes + (x >> 1)] >> (x & 1 ? 0 : 4) & 1;
  return Data()[y * GmxRowBytes + (x >> 3)] >> (7 - (x & 7)) & 1;
}

void TVeScorpionGmxScreen::SetPixel(int x, int y, int value) {
  x = StoredX(x);
  uint8_t& b = Data()[y * GmxRowBytes + (x >> (FFat ? 1 : 3))];
  const uint8_t bits = FFat ? uint8_t(x & 1 ? 0x0F : 0xF0) : uint8_t(0x80 >> (x & 7));
  b = value & 1 ? uint8_t(b | bits) : uint8_t(b & ~bits);
}

int TVeScorpionGmxScreen::GetAttr(int cellX, int cellY) const {
  if (Reversed) cellX = GmxRowBytes - 1 - cellX;
  return Data()[GmxPixelBytes + cellY * GmxRowBytes + cellX];
}

void TVeScorpionGmxScreen::SetAttr(int cellX, int cellY, int attr) {
  if (Reversed) cellX = GmxRowBytes - 1 - cellX;
  Data()[GmxPixelBytes + cellY * GmxRowBytes + cellX] = uint8_t(attr);
}

bool GmxIsFat(const uint8_t* data) {
  auto solid = [](int nibble) { return nibble == 0 || nibble == 15; };
  for (int i = 0; i < GmxPixelBytes; ++i)
    if (!solid(data[i] >> 4) || !solid(data[i] & 15)) return false;
  return true;
}
