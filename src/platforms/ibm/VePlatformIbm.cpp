#include "VePlatformIbm.h"

#include <algorithm>

#include "VeByteReader.h"
#include "VeErrors.h"

// ---- Colours -------------------------------------------------------------------------------

const uint8_t IbmCgaColors[16][3] = {
    {0x00, 0x00, 0x00}, {0x00, 0x00, 0xAA}, {0x00, 0xAA, 0x00}, {0x00, 0xAA, 0xAA},
    {0xAA, 0x00, 0x00}, {0xAA, 0x00, 0xAA}, {0xAA, 0x55, 0x00}, {0xAA, 0xAA, 0xAA},
    {0x55, 0x55, 0x55}, {0x55, 0x55, 0xFF}, {0x55, 0xFF, 0x55}, {0x55, 0xFF, 0xFF},
    {0xFF, 0x55, 0x55}, {0xFF, 0x55, 0xFF}, {0xFF, 0xFF, 0x55}, {0xFF, 0xFF, 0xFF}};

const char* const IbmCgaColorNames[16] = {"Black",     "Blue",          "Green",       "Cyan",
                                          "Red",       "Magenta",       "Brown",       "Light gray",
                                          "Dark gray", "Light blue",    "Light green", "Light cyan",
                                          "Light red", "Light magenta", "Yellow",      "White"};

void IbmMakeCgaPalette(TVePalette256& palette) {
  palette.BeginUpdate();
  palette.Clear();
  for (const auto& c : IbmCgaColors)
    palette.AddRGB(c[0], c[1], c[2]);
  palette.EndUpdate();
}

bool IbmIsCgaPaletteType(TVePaletteType type) {
  return type >= ptBackGreenRedYellowLow && type <= ptBackCyanRedWhiteHigh;
}

const int* IbmCgaPaletteColors(TVePaletteType type) {
  // Palette 0, palette 1, and the palette of mode 5 (colour burst off), each without and
  // with the intensity bit.
  static const int colors[6][3] = {{2, 4, 6},    {10, 12, 14}, {3, 5, 7},
                                   {11, 13, 15}, {3, 4, 7},    {11, 12, 15}};
  if (!IbmIsCgaPaletteType(type)) VeInternalError();
  return colors[type - ptBackGreenRedYellowLow];
}

void IbmMakeCga4Palette(TVePalette256& palette, TVePaletteType type, int background) {
  const int* three = IbmCgaPaletteColors(type);
  const int b = std::clamp(background, 0, 15);
  palette.BeginUpdate();
  palette.Clear();
  palette.AddRGB(IbmCgaColors[b][0], IbmCgaColors[b][1], IbmCgaColors[b][2]);
  for (int i = 0; i < 3; ++i)
    palette.AddRGB(IbmCgaColors[three[i]][0], IbmCgaColors[three[i]][1], IbmCgaColors[three[i]][2]);
  palette.EndUpdate();
}

const TVePaletteRGB& IbmEgaHardwarePalette() {
  static const TVePaletteRGB ega(ptRGB222, true);
  return ega;
}

int IbmEgaRegister(int r, int g, int b) {
  // Bit 2/1/0 carry the 2/3 part of red/green/blue, bits 5/4/3 the 1/3 part.
  auto bits = [](int v, int high, int low) { return ((v >> 1) & 1) << high | (v & 1) << low; };
  return bits(r, 2, 5) | bits(g, 1, 4) | bits(b, 0, 3);
}

const TVePaletteRGB& IbmVgaHardwarePalette() {
  static const TVePaletteRGB vga(ptRGB666, true);
  return vga;
}

// ---- BSAVE ---------------------------------------------------------------------------------

void IbmWriteBsaveHeader(uint8_t* to, uint16_t segment, uint16_t offset, uint16_t length) {
  to[0] = 0xFD;
  to[1] = uint8_t(segment);
  to[2] = uint8_t(segment >> 8);
  to[3] = uint8_t(offset);
  to[4] = uint8_t(offset >> 8);
  to[5] = uint8_t(length);
  to[6] = uint8_t(length >> 8);
}

namespace {

constexpr uint8_t CgaTag[4] = {'C', 'G', 'A', 'R'};

int CgaColorIndex(const TVePalette256& palette, int i) {
  const uint32_t q = palette.GetRGBQuad(i);
  for (int c = 0; c < 16; ++c)
    if (q == (uint32_t(IbmCgaColors[c][0]) << 16 | uint32_t(IbmCgaColors[c][1]) << 8 |
              IbmCgaColors[c][2]))
      return c;
  return -1;
}

} // namespace

bool IbmCgaRegistersOf(const TVePalette256& palette, bool hiRes, TVeCgaRegisters& regs) {
  if (hiRes) {
    const int fore = palette.Count() >= 2 ? CgaColorIndex(palette, 1) : -1;
    if (fore < 0) return false;
    regs = {0x1E, fore};
    return true;
  }
  const int back = palette.Count() >= 4 ? CgaColorIndex(palette, 0) : -1;
  if (back < 0) return false;
  for (int t = ptBackGreenRedYellowLow; t <= ptBackCyanRedWhiteHigh; ++t) {
    const int* three = IbmCgaPaletteColors(TVePaletteType(t));
    if (CgaColorIndex(palette, 1) != three[0] || CgaColorIndex(palette, 2) != three[1] ||
        CgaColorIndex(palette, 3) != three[2])
      continue;
    const int k = t - ptBackGreenRedYellowLow; // palette 0, 1, burst off; each low, high
    regs.Mode = k >= 4 ? 0x0E : 0x0A;
    regs.Color = back | (k & 1) << 4 | (k >= 2 ? 0x20 : 0);
    return true;
  }
  return false;
}

void IbmWriteCgaTag(uint8_t* memory, const TVeCgaRegisters& regs) {
  std::copy(CgaTag, CgaTag + 4, memory + IbmCgaTagOffset);
  memory[IbmCgaTagOffset + 4] = uint8_t(regs.Mode);
  memory[IbmCgaTagOffset + 5] = uint8_t(regs.Color);
}

bool IbmReadCgaTag(const uint8_t* memory, int32_t length, TVeCgaRegisters& regs) {
  if (length < IbmCgaTagOffset + 6 || !std::equal(CgaTag, CgaTag + 4, memory + IbmCgaTagOffset))
    return false;
  const int mode = memory[IbmCgaTagOffset + 4], color = memory[IbmCgaTagOffset + 5];
  if ((mode != 0x0A && mode != 0x0E && mode != 0x1E) || color > 0x3F) return false;
  regs = {mode, mode == 0x1E ? color & 15 : color};
  return true;
}

TVePaletteType IbmCgaPaletteTypeOf(const TVeCgaRegisters& regs) {
  const int k = (regs.Mode & 0x04) ? 4 : (regs.Color & 0x20) ? 2 : 0;
  return TVePaletteType(ptBackGreenRedYellowLow + k + ((regs.Color >> 4) & 1));
}

// ---- PCX -----------------------------------------------------------------------------------

namespace {

constexpr int PcxHeaderBytes = 128;
constexpr int PcxTrailerBytes = 769;
constexpr int PcxMaxSide = 8192;

void PutWord(uint8_t* p, int v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
int GetWord(const uint8_t* p) {
  return p[0] | p[1] << 8;
}

int PcxBytesPerLine(int width, int bits) {
  const int bytes = (width * bits + 7) / 8;
  return bytes + (bytes & 1); // even, as the format asks
}

// One line of one plane, runs never crossing it.
void EncodeLine(const uint8_t* line, int count, std::vector<uint8_t>& out) {
  for (int i = 0; i < count;) {
    int run = 1;
    while (i + run < count && run < 63 && line[i + run] == line[i])
      ++run;
    if (run > 1 || line[i] >= 0xC0) out.push_back(uint8_t(0xC0 | run));
    out.push_back(line[i]);
    i += run;
  }
}

} // namespace

std::vector<uint8_t> IbmEncodePcx(const TVePcxPicture& pic) {
  if (pic.Width < 1 || pic.Height < 1 || pic.Width > PcxMaxSide || pic.Height > PcxMaxSide ||
      pic.Pixels.size() != size_t(pic.Width) * size_t(pic.Height))
    VeInternalError();
  const int bits = pic.BitsPerPixel, planes = pic.Planes;
  const int bpl = PcxBytesPerLine(pic.Width, bits);
  std::vector<uint8_t> out(PcxHeaderBytes, 0);
  out[0] = 0x0A;
  out[1] = 5;
  out[2] = 1;
  out[3] = uint8_t(bits);
  PutWord(&out[8], pic.Width - 1);
  PutWord(&out[10], pic.Height - 1);
  PutWord(&out[12], 72);
  PutWord(&out[14], 72);
  if (bits * planes <= 4)
    for (size_t i = 0; i < 16 && i < pic.Palette.size(); ++i) {
      out[16 + 3 * i] = uint8_t(pic.Palette[i] >> 16);
      out[17 + 3 * i] = uint8_t(pic.Palette[i] >> 8);
      out[18 + 3 * i] = uint8_t(pic.Palette[i]);
    }
  out[65] = uint8_t(planes);
  PutWord(&out[66], bpl);
  PutWord(&out[68], 1);
  std::vector<uint8_t> line(static_cast<size_t>(bpl));
  for (int y = 0; y < pic.Height; ++y) {
    const uint8_t* row = &pic.Pixels[size_t(y) * size_t(pic.Width)];
    for (int p = 0; p < planes; ++p) {
      std::fill(line.begin(), line.end(), uint8_t(0));
      for (int x = 0; x < pic.Width; ++x) {
        const int v = planes > 1 ? (row[x] >> p) & 1 : row[x] & ((1 << bits) - 1);
        const int bit = x * bits;
        line[size_t(bit / 8)] |= uint8_t(v << (8 - bits - bit % 8));
      }
      EncodeLine(line.data(), bpl, out);
    }
  }
  if (bits == 8 && planes == 1) {
    out.push_back(0x0C);
    for (size_t i = 0; i < 256; ++i) {
      const uint32_t q = i < pic.Palette.size() ? pic.Palette[i] : 0;
      out.push_back(uint8_t(q >> 16));
      out.push_back(uint8_t(q >> 8));
      out.push_back(uint8_t(q));
    }
  }
  return out;
}

bool IbmReadPcxHeader(const uint8_t* data, int32_t size, TVePcxPicture& h) {
  if (!data || size < PcxHeaderBytes + 1) return false;
  if (data[0] != 0x0A || data[2] != 1 || data[1] > 5 || data[1] == 1) return false;
  const int bits = data[3], planes = data[65];
  const bool known = (planes == 1 && (bits == 1 || bits == 2 || bits == 4 || bits == 8)) ||
                     (planes == 4 && bits == 1);
  if (!known) return false;
  const int x0 = GetWord(data + 4), y0 = GetWord(data + 6);
  const int x1 = GetWord(data + 8), y1 = GetWord(data + 10);
  if (x1 < x0 || y1 < y0) return false;
  const int w = x1 - x0 + 1, h0 = y1 - y0 + 1;
  if (w > PcxMaxSide || h0 > PcxMaxSide) return false;
  const int bpl = GetWord(data + 66);
  // Writers pad lines to a word or so, never by much.
  if (bpl < (w * bits + 7) / 8 || bpl > (w * bits + 7) / 8 + 64) return false;
  h.Width = w;
  h.Height = h0;
  h.BitsPerPixel = bits;
  h.Planes = planes;
  h.Palette.clear();
  if (bits == 8) {
    // The trailer; without one the picture is gray.
    const bool trailer =
        size >= PcxHeaderBytes + PcxTrailerBytes && data[size - PcxTrailerBytes] == 0x0C;
    h.PaletteMissing = !trailer;
    for (int i = 0; i < 256; ++i) {
      if (trailer) {
        const uint8_t* p = data + size - 768 + 3 * i;
        h.Palette.push_back(uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
      } else {
        h.Palette.push_back(uint32_t(i) * 0x010101u);
      }
    }
  } else {
    for (int i = 0; i < 16; ++i) {
      const uint8_t* p = data + 16 + 3 * i;
      h.Palette.push_back(uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
    }
    h.Palette.resize(size_t(1) << (bits * planes));
    // A two-colour picture with an empty palette is black and white.
    if (bits * planes == 1 && h.Palette[0] == 0 && h.Palette[1] == 0) h.Palette[1] = 0xFFFFFF;
  }
  return true;
}

void IbmDecodePcxRows(const uint8_t* data, int32_t size, const TVePcxPicture& pic,
                      const std::function<void(int y, const uint8_t* indices)>& row) {
  const int bpl = GetWord(data + 66);
  const int lineBytes = bpl * pic.Planes;
  const int64_t total = int64_t(lineBytes) * pic.Height;
  // Two bytes give at most 63: a shorter file cannot hold the picture.
  if (total > int64_t(size) * 32) throw EVeError("The PCX file is truncated");
  // Count the runs before anything is held for the picture, so that a header claiming far
  // more than the data holds costs no memory.
  {
    TVeByteReader r(data + PcxHeaderBytes, size - PcxHeaderBytes);
    int64_t n = 0;
    uint8_t b;
    while (n < total) {
      if (!r.ReadByte(b)) throw EVeError("The PCX file is truncated");
      int count = 1;
      if (b >= 0xC0) {
        count = b & 0x3F;
        if (!r.ReadByte(b)) throw EVeError("The PCX file is truncated");
      }
      n += count;
    }
  }
  // Runs may go on from one plane or line into the next.
  std::vector<uint8_t> line(static_cast<size_t>(lineBytes));
  std::vector<uint8_t> indices(static_cast<size_t>(pic.Width));
  TVeByteReader r(data + PcxHeaderBytes, size - PcxHeaderBytes);
  int pending = 0;
  uint8_t value = 0;
  const int bits = pic.BitsPerPixel;
  for (int y = 0; y < pic.Height; ++y) {
    for (int at = 0; at < lineBytes;) {
      if (pending == 0) {
        uint8_t b;
        if (!r.ReadByte(b)) throw EVeError("The PCX file is truncated");
        pending = 1;
        if (b >= 0xC0) {
          pending = b & 0x3F;
          if (!r.ReadByte(b)) throw EVeError("The PCX file is truncated");
        }
        value = b;
        continue;
      }
      const int n = std::min(pending, lineBytes - at);
      std::fill_n(line.begin() + at, n, value);
      at += n;
      pending -= n;
    }
    std::fill(indices.begin(), indices.end(), uint8_t(0));
    for (int p = 0; p < pic.Planes; ++p)
      for (int x = 0; x < pic.Width; ++x) {
        const int bit = x * bits;
        const int v = (line[size_t(p * bpl + bit / 8)] >> (8 - bits - bit % 8)) & ((1 << bits) - 1);
        indices[size_t(x)] = uint8_t(pic.Planes > 1 ? indices[size_t(x)] | v << p : v);
      }
    row(y, indices.data());
  }
}

TVePcxPicture IbmDecodePcx(const uint8_t* data, int32_t size) {
  TVePcxPicture pic;
  if (!IbmReadPcxHeader(data, size, pic)) throw EVeError("Unknown image type");
  pic.Pixels.assign(size_t(pic.Width) * size_t(pic.Height), 0);
  IbmDecodePcxRows(data, size, pic, [&](int y, const uint8_t* indices) {
    std::copy_n(indices, pic.Width, &pic.Pixels[size_t(y) * size_t(pic.Width)]);
  });
  return pic;
}
