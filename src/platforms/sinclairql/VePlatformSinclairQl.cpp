#include "VePlatformSinclairQl.h"

#include <memory>

#include "VeColor.h"
#include "VeErrors.h"

uint32_t QlColorRGB(int c) {
  return (c & 2 ? 0xFF0000u : 0) | (c & 4 ? 0x00FF00u : 0) | (c & 1 ? 0x0000FFu : 0);
}

void QlMakeMode8Palette(TVePalette256& palette) {
  palette.BeginUpdate();
  palette.Clear();
  for (int c = 0; c < 8; ++c)
    palette.AddRGB(c & 2 ? 255 : 0, c & 4 ? 255 : 0, c & 1 ? 255 : 0);
  palette.EndUpdate();
}

void QlMakeMode4Palette(TVePalette256& palette) {
  palette.BeginUpdate();
  palette.Clear();
  palette.AddRGB(0, 0, 0);
  palette.AddRGB(255, 0, 0);
  palette.AddRGB(0, 255, 0);
  palette.AddRGB(255, 255, 255);
  palette.EndUpdate();
}

TVeQlScreen::TVeQlScreen(int mode, uint8_t* data)
    : TVeData(mode == 8 ? 256 : 512, QlScreenHeight, QlRowBytes), FMode(mode), FData(data) {}

int TVeQlScreen::GetPixel(int x, int y) const {
  x = StoredX(x);
  if (FMode == 8) {
    const uint8_t* w = FData + y * QlRowBytes + (x >> 2) * 2;
    const int s = 7 - 2 * (x & 3);
    return (w[0] >> s & 1) << 2 | (w[1] >> s & 1) << 1 | (w[1] >> (s - 1) & 1);
  }
  const uint8_t* w = FData + y * QlRowBytes + (x >> 3) * 2;
  const int s = 7 - (x & 7);
  return (w[0] >> s & 1) << 1 | (w[1] >> s & 1);
}

void TVeQlScreen::SetPixel(int x, int y, int value) {
  x = StoredX(x);
  const auto put = [](uint8_t& b, int bit, int on) {
    b = on ? uint8_t(b | 1 << bit) : uint8_t(b & ~(1 << bit));
  };
  if (FMode == 8) {
    uint8_t* w = FData + y * QlRowBytes + (x >> 2) * 2;
    const int s = 7 - 2 * (x & 3);
    put(w[0], s, value >> 2 & 1);
    put(w[0], s - 1, 0);
    put(w[1], s, value >> 1 & 1);
    put(w[1], s - 1, value & 1);
    return;
  }
  uint8_t* w = FData + y * QlRowBytes + (x >> 3) * 2;
  const int s = 7 - (x & 7);
  put(w[0], s, value >> 1 & 1);
  put(w[1], s, value & 1);
}

bool QlAnyFlashBit(const uint8_t* data) {
  for (int i = 0; i < QlScreenBytes; i += 2)
    if (data[i] & 0x55) return true;
  return false;
}

uint16_t QlGd2Encode(int mode, int r, int g, int b, int w) {
  if (mode == 32) {
    const uint16_t v = uint16_t(r << 11 | g << 5 | b);
    return uint16_t((v & 0xFF) << 8 | v >> 8); // stored low byte first
  }
  return uint16_t(g << 11 | r << 6 | b << 1 | (w & 1));
}

std::array<int, 3> QlGd2Decode(int mode, uint8_t first, uint8_t second) {
  if (mode == 32) {
    const int v = second << 8 | first;
    return {v >> 11 & 31, v >> 5 & 63, v & 31};
  }
  const int v = first << 8 | second;
  const int w = v & 1;
  return {(v >> 6 & 31) * 2 + w, (v >> 11 & 31) * 2 + w, (v >> 1 & 31) * 2 + w};
}

const TVePaletteRGB& QlGd2Palette(int mode) {
  static const TVePaletteRGB rgb565(ptRGB565);
  static const TVePaletteRGB even555 = [] {
    std::vector<double> lin;
    for (int l = 0; l < 32; ++l)
      lin.push_back(Level63ToLinear(2 * l));
    return TVePaletteRGB(lin, lin, lin);
  }();
  return mode == 32 ? rgb565 : even555;
}

uint32_t QlGd2RGB(int mode, const std::array<int, 3>& l) {
  if (mode == 32) return QlGd2Palette(32).GetRGBQuad(l[0] << 11 | l[1] << 5 | l[2]);
  // Odd levels (W set) are outside the file palette: their own bytes.
  if ((l[0] & 1) == 0)
    return QlGd2Palette(33).GetRGBQuad(l[0] / 2 << 10 | l[1] / 2 << 5 | l[2] / 2);
  const auto byte = [](int v) { return uint32_t((v * 255 + 31) / 63); };
  return byte(l[0]) << 16 | byte(l[1]) << 8 | byte(l[2]);
}

void QlWritePicHeader(uint8_t* to, int width, int height, int lineBytes, int mode) {
  const uint8_t h[QlPicHeaderBytes] = {0x4A,
                                       0xFC,
                                       uint8_t(width >> 8),
                                       uint8_t(width),
                                       uint8_t(height >> 8),
                                       uint8_t(height),
                                       uint8_t(lineBytes >> 8),
                                       uint8_t(lineBytes),
                                       uint8_t(mode),
                                       0};
  for (int i = 0; i < QlPicHeaderBytes; ++i)
    to[i] = h[i];
}

bool QlReadPicHeader(const uint8_t* data, int32_t size, TVeQlPicHeader& h) {
  if (!data || size < QlPicHeaderBytes || data[0] != 0x4A || data[1] != 0xFC) return false;
  h.Width = data[2] << 8 | data[3];
  h.Height = data[4] << 8 | data[5];
  h.LineBytes = data[6] << 8 | data[7];
  h.Mode = data[8];
  return true;
}

int QlLineBytes(int mode, int width) {
  switch (mode) {
  case 4:
    return (width + 7) / 8 * 2;
  case 8:
    return (width + 3) / 4 * 2;
  case 32:
  case 33:
    return width * 2;
  default:
    return 0;
  }
}
