#include "VePlatformSymbOS.h"

#include <algorithm>

#include "VeByteReader.h"
#include "VePalette.h"
#include "amstradcpc/VePlatformAmstradCpc.h"
#include "msx/VePlatformMsx.h"

// Bright yellow, black, orange and bright red: our reading of the desktop SymbOS paints on a
// CPC (window background, text, frames and bars); the file format names no colours.
const uint8_t SymbOSCpcInks[4] = {24, 0, 15, 6};

int SymbOSColorCount(TVePaletteType type) {
  return type == SymbOSMsxColors ? 16 : 4;
}

void SymbOSMakePalette(TVePalette256& palette, TVePaletteType type) {
  if (type == SymbOSMsxColors) {
    // What an MSX2 shows before a program sets its palette registers.
    MsxMakeScreen4Palette(palette, ptMSX9938);
    return;
  }
  TVePalette256 inks;
  CpcMakePalette(inks, ptCPCGateArray);
  palette.BeginUpdate();
  palette.Clear();
  for (uint8_t ink : SymbOSCpcInks)
    palette.AddLin(inks.GetLinRGB(ink));
  palette.EndUpdate();
}

namespace {

void PutWord(std::vector<uint8_t>& out, int value) {
  out.push_back(uint8_t(value));
  out.push_back(uint8_t(value >> 8));
}

// CPC mode 1 order: pixel k of a byte has its low bit at bit 7 - k, its high bit at 3 - k.
uint8_t Pack4(const uint8_t* row, int count) {
  uint8_t b = 0;
  for (int k = 0; k < count; ++k)
    b |= uint8_t(((row[k] & 1) << (7 - k)) | (((row[k] >> 1) & 1) << (3 - k)));
  return b;
}

int Pixel4(uint8_t b, int k) {
  return ((b >> (7 - k)) & 1) | (((b >> (3 - k)) & 1) << 1);
}

} // namespace

std::vector<uint8_t> SgxWrite(const uint8_t* indices, int width, int height, bool sixteenColors) {
  std::vector<uint8_t> out;
  const int most = sixteenColors ? SgxExtended16MaxPixels : SgxSimpleMaxPixels;
  for (int top = 0; top < height; top += SgxChunkLines) {
    if (top > 0) out.insert(out.end(), {SgxLineFeed, 0, 0});
    const int h = std::min(SgxChunkLines, height - top);
    for (int left = 0; left < width; left += most) {
      const int w = std::min(most, width - left);
      int rowBytes;
      if (sixteenColors) {
        rowBytes = (w + 3) / 4 * 2; // even
        out.insert(out.end(), {SgxExtended, SgxType16});
        PutWord(out, rowBytes);
        PutWord(out, w);
        PutWord(out, h);
      } else {
        rowBytes = (w + 3) / 4;
        out.insert(out.end(), {uint8_t(rowBytes), uint8_t(w), uint8_t(h)});
      }
      for (int y = top; y < top + h; ++y) {
        const uint8_t* row = indices + size_t(y) * size_t(width) + size_t(left);
        const size_t at = out.size();
        out.resize(at + size_t(rowBytes), 0);
        if (sixteenColors) {
          for (int x = 0; x < w; ++x)
            out[at + size_t(x / 2)] |= uint8_t((row[x] & 15) << (x & 1 ? 0 : 4));
        } else {
          for (int x = 0; x < w; x += 4)
            out[at + size_t(x / 4)] = Pack4(row + x, std::min(4, w - x));
        }
      }
    }
  }
  return out;
}

bool SgxWalk(const uint8_t* data, int32_t size, TVeSgxLayout& layout, std::string& problem) {
  layout = TVeSgxLayout();
  TVeByteReader r(data, size);
  int x = 0, y = 0, rowHeight = 0;
  auto fail = [&](const std::string& what) {
    problem = what;
    return false;
  };
  auto endRow = [&] {
    if (x == 0) return;
    y += rowHeight;
    ++layout.Rows;
    x = 0;
    rowHeight = 0;
  };
  while (r.Remaining > 0) {
    const int32_t at = size - r.Remaining;
    const std::string where = "at byte " + std::to_string(at);
    uint8_t first = 0;
    r.ReadByte(first);
    if (first == SgxLineFeed) {
      if (!r.Take(SgxLineFeedBytes - 1))
        return fail("the line feed chunk " + where + " is cut short");
      endRow();
      continue;
    }
    // A chunk cannot be 0 bytes wide; the byte ends the picture.
    if (first == 0) break;
    const int kind = first & ~SgxCompressed;
    if (kind != SgxExtended && kind > SgxSimpleMaxBytes)
      return fail("byte " + std::to_string(first) + " " + where + " starts no chunk");
    if (first & SgxCompressed)
      return fail("the chunk " + where +
                  " is compressed (ZX0); Velmora reads uncompressed SGX pictures only");
    TVeSgxChunk c;
    c.X = x;
    c.Y = y;
    if (kind == SgxExtended) {
      uint8_t type = 0;
      uint16_t rowBytes = 0, width = 0, height = 0;
      if (!r.ReadByte(type) || !r.ReadWord(rowBytes) || !r.ReadWord(width) || !r.ReadWord(height))
        return fail("the chunk header " + where + " is cut short");
      c.RowBytes = rowBytes;
      c.Width = width;
      c.Height = height;
      if (type == SgxType16) {
        c.SixteenColors = true;
        if (rowBytes < 2 || rowBytes > SgxExtended16MaxBytes || rowBytes % 2 ||
            width > SgxExtended16MaxPixels || width > 2 * rowBytes)
          return fail("the 16-colour chunk " + where + " has a width the format does not allow");
      } else if (type == SgxType4) {
        if (rowBytes < 1 || width > SgxExtended4MaxPixels || width > 4 * rowBytes)
          return fail("the 4-colour chunk " + where + " has a width the format does not allow");
      } else {
        return fail("the chunk " + where + " is of type " + std::to_string(type) +
                    ", which is not read (types 0 and 5 are)");
      }
    } else {
      uint8_t width = 0, height = 0;
      if (!r.ReadByte(width) || !r.ReadByte(height))
        return fail("the chunk header " + where + " is cut short");
      c.RowBytes = kind;
      c.Width = width;
      c.Height = height;
      if (width > SgxSimpleMaxPixels || width > 4 * kind)
        return fail("the 4-colour chunk " + where + " has a width the format does not allow");
    }
    if (c.Width < 1 || c.Height < 1) return fail("the chunk " + where + " is empty");
    if (x + c.Width > SgxMaxSide || y + c.Height > SgxMaxSide)
      return fail("the picture is larger than " + std::to_string(SgxMaxSide) + " pixels a side");
    const int32_t bytes = c.RowBytes * c.Height;
    c.DataAt = size - r.Remaining;
    if (!r.Take(bytes))
      return fail("the chunk " + where + " is cut short: it needs " + std::to_string(bytes) +
                  " bytes of pixels, " + std::to_string(r.Remaining) + " are left");
    layout.SixteenColors = layout.SixteenColors || c.SixteenColors;
    layout.Chunks.push_back(c);
    x += c.Width;
    rowHeight = std::max(rowHeight, c.Height);
    layout.Width = std::max(layout.Width, x);
    layout.Height = std::max(layout.Height, y + c.Height);
  }
  endRow();
  if (layout.Chunks.empty()) return fail("it holds no picture chunk");
  if (int64_t(layout.Width) * layout.Height > SgxMaxPixels)
    return fail("the picture of " + std::to_string(layout.Width) + " x " +
                std::to_string(layout.Height) + " pixels is larger than Velmora opens");
  return true;
}

std::vector<uint8_t> SgxIndices(const uint8_t* data, const TVeSgxLayout& layout) {
  std::vector<uint8_t> out(size_t(layout.Width) * size_t(layout.Height), 0);
  for (const TVeSgxChunk& c : layout.Chunks)
    for (int y = 0; y < c.Height; ++y) {
      const uint8_t* row = data + c.DataAt + int32_t(y) * c.RowBytes;
      uint8_t* to = out.data() + size_t(c.Y + y) * size_t(layout.Width) + size_t(c.X);
      for (int x = 0; x < c.Width; ++x)
        to[x] = uint8_t(c.SixteenColors ? (row[x / 2] >> (x & 1 ? 0 : 4)) & 15
                                        : Pixel4(row[x / 4], x & 3));
    }
  return out;
}
