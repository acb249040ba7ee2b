#include "VePlatformV9990.h"

#include <memory>

#include "VeByteReader.h"

const TVePaletteRGB& V9990Colors15() {
  static const TVePaletteRGB palette(ptRGB555);
  return palette;
}

const TVePaletteRGB& V9990Bd8Colors() {
  static const std::unique_ptr<TVePaletteRGB> palette = TVePaletteRGB::CreateTabled256();
  return *palette;
}

const TVeYjkRangeTable& V9990YjkTable() {
  static const TVeYjkRangeTable table(TVeYjkDecoder::YJK, false, VeYjkBiasV9990);
  return table;
}

const TVeYjkRangeTable& V9990YuvTable() {
  static const TVeYjkRangeTable table(TVeYjkDecoder::YUV, false, VeYjkBiasV9990);
  return table;
}

namespace {

constexpr int G9bMaxWidth = 2048;
constexpr int32_t G9bVramBytes = 512 * 1024;

bool KnownFormat(int depth, int type) {
  switch (depth) {
  case 2:
  case 4:
    return type == G9bPaletteColors;
  case 8:
    return type == G9bPaletteColors || type == G9bFixedColors || type == G9bYjk || type == G9bYuv;
  case 16:
    return type == G9bPaletteColors;
  default:
    return false;
  }
}

} // namespace

int32_t V9990G9bBytes(const TVeG9bHeader& h) {
  return G9bHeaderBytes + 3 * h.Colors + h.PixelBytes();
}

int32_t V9990WriteG9b(uint8_t* to, const TVeG9bHeader& h, const TVePalette256* palette) {
  const int32_t data = h.PixelBytes();
  const uint8_t header[G9bHeaderBytes] = {'G',
                                          '9',
                                          'B',
                                          uint8_t(G9bHeaderSize),
                                          0,
                                          uint8_t(h.BitDepth),
                                          uint8_t(h.ColorType),
                                          uint8_t(h.Colors),
                                          uint8_t(h.Width),
                                          uint8_t(h.Width >> 8),
                                          uint8_t(h.Height),
                                          uint8_t(h.Height >> 8),
                                          0,
                                          uint8_t(data),
                                          uint8_t(data >> 8),
                                          uint8_t(data >> 16)};
  for (int i = 0; i < G9bHeaderBytes; ++i)
    to[i] = header[i];
  uint8_t* out = to + G9bHeaderBytes;
  const TVePaletteRGB& colors = V9990Colors15();
  for (int i = 0; i < h.Colors; ++i, out += 3) {
    out[0] = out[1] = out[2] = 0;
    if (!palette || i >= palette->Count()) continue;
    int k = colors.FindExact(palette->GetRGBQuad(i));
    if (k < 0) k = colors.FindNearestLin(palette->GetLinRGB(i));
    out[0] = uint8_t(k >> 10);
    out[1] = uint8_t((k >> 5) & 31);
    out[2] = uint8_t(k & 31);
  }
  return int32_t(out - to);
}

std::string V9990ReadG9b(const uint8_t* data, int32_t size, TVeG9bHeader& h) {
  TVeByteReader r(data, size);
  const uint8_t* id = r.Take(3);
  if (!id || id[0] != 'G' || id[1] != '9' || id[2] != 'B') return "has no G9B header";
  uint16_t headerSize = 0;
  if (!r.ReadWord(headerSize) || headerSize < G9bHeaderSize) return "has a short G9B header";
  // Later versions may lengthen the header: what follows the known fields is skipped.
  TVeByteReader fields(r.Pos, r.Remaining);
  if (!r.Take(headerSize)) return "ends inside its header";
  uint8_t depth = 0, type = 0, colors = 0, compression = 0, d0 = 0, d1 = 0, d2 = 0;
  uint16_t width = 0, height = 0;
  fields.ReadByte(depth);
  fields.ReadByte(type);
  fields.ReadByte(colors);
  fields.ReadWord(width);
  fields.ReadWord(height);
  fields.ReadByte(compression);
  fields.ReadByte(d0);
  fields.ReadByte(d1);
  fields.ReadByte(d2);
  h.BitDepth = depth;
  h.ColorType = type;
  h.Colors = colors;
  h.Width = width;
  h.Height = height;
  h.Compression = compression;
  h.DataSize = int32_t(d0) | int32_t(d1) << 8 | int32_t(d2) << 16;
  if (!KnownFormat(depth, type)) return "has an unknown bit depth or colour type";
  if (compression != 0) return "is compressed, which is not supported";
  if (width == 0 || height == 0 || width > G9bMaxWidth || (width * depth) % 8 != 0 ||
      h.PixelBytes() > G9bVramBytes)
    return "has a picture size the V9990 cannot show";
  if (colors > V9990PaletteEntries) return "has more than 64 palette colours";
  h.PaletteAt = size - r.Remaining;
  if (!r.Take(3 * colors)) return "ends inside its palette";
  for (int i = 0; i < 3 * colors; ++i)
    if (data[h.PaletteAt + i] > 31) return "has palette levels above 31";
  h.PixelsAt = size - r.Remaining;
  if (h.DataSize != h.PixelBytes() || !r.Take(h.PixelBytes()))
    return "must hold " + std::to_string(h.PixelBytes()) + " bytes of pixels";
  return {};
}
