#include "VePlatformMsxMag.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

#include "VeErrors.h"

namespace {

const char Signature[] = "MAKI02  ";
constexpr int SignatureBytes = 8;
constexpr int HeaderBytes = 32;
// Largest picture side read; MAG pictures are screen sized.
constexpr int MaxSide = 4096;

// Where each flag copies its two bytes from: units (two bytes) to the left, rows up.
constexpr int CopyX[16] = {0, 1, 2, 4, 0, 1, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0};
constexpr int CopyY[16] = {0, 0, 0, 0, 1, 1, 2, 2, 2, 4, 4, 4, 8, 8, 8, 16};

void Put16(std::vector<uint8_t>& f, size_t at, int v) {
  f[at] = uint8_t(v);
  f[at + 1] = uint8_t(v >> 8);
}
void Put32(std::vector<uint8_t>& f, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    f[at + size_t(i)] = uint8_t(v >> (8 * i));
}
int Get16(const uint8_t* p) {
  return p[0] | p[1] << 8;
}
uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Pixel bytes of a row: two pixels per byte with 16 colours.
int RowBytes(int width, bool colors256) {
  return colors256 ? width : width / 2;
}

// Without the converter (a system without its code page modules) only ASCII passes, so
// that a missing module never stops a conversion.
std::string AsciiOnly(const std::string& text, bool utf8Input) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      out += char(c);
      continue;
    }
    out += '?';
    if (utf8Input)
      while (i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80)
        ++i;
    else if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC))
      ++i; // the second byte of a double-byte character
  }
  return out;
}

std::string Convert(const std::string& text, const char* to, const char* from, bool utf8Input) {
  iconv_t cd = iconv_open(to, from);
  if (cd == iconv_t(-1)) return AsciiOnly(text, utf8Input);
  std::string out;
  std::vector<char> in(text.begin(), text.end());
  char* src = in.data();
  size_t left = in.size();
  char buffer[256];
  while (left > 0) {
    char* dst = buffer;
    size_t room = sizeof buffer;
    const size_t r = iconv(cd, &src, &left, &dst, &room);
    out.append(buffer, size_t(dst - buffer));
    if (r != size_t(-1)) continue;
    if (errno == E2BIG) continue;
    // A character the other side has no code for, or a broken sequence: "?" in its place.
    out += '?';
    size_t skip = 1;
    if (utf8Input && errno == EILSEQ) {
      const unsigned char lead = static_cast<unsigned char>(*src);
      skip = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    }
    if (errno == EINVAL) skip = left;
    skip = skip > left ? left : skip;
    src += skip;
    left -= skip;
  }
  char* dst = buffer;
  size_t room = sizeof buffer;
  iconv(cd, nullptr, nullptr, &dst, &room);
  out.append(buffer, size_t(dst - buffer));
  iconv_close(cd);
  return out;
}

} // namespace

std::string VeUtf8ToCodePage932(const std::string& text) {
  return Convert(text, "CP932", "UTF-8", true);
}

std::string VeCodePage932ToUtf8(const std::string& text) {
  return Convert(text, "UTF-8", "CP932", false);
}

// ---- Writing --------------------------------------------------------------------------------

std::vector<uint8_t> VeEncodeMag(const TVeMagPicture& p) {
  const int align = p.Colors256 ? 4 : 8;
  if (p.Width <= 0 || p.Height <= 0 || p.Width % align != 0 ||
      p.Pixels.size() != size_t(p.Width) * size_t(p.Height))
    VeInternalError();
  const int colors = p.Colors256 ? 256 : 16;
  const int rowBytes = RowBytes(p.Width, p.Colors256);
  const int units = rowBytes / 2, flagBytes = units / 2;

  // The pixel bytes as on screen.
  std::vector<uint8_t> bytes(size_t(rowBytes) * size_t(p.Height), 0);
  for (int y = 0; y < p.Height; ++y)
    for (int x = 0; x < p.Width; ++x) {
      const uint8_t v = p.Pixels[size_t(y) * size_t(p.Width) + size_t(x)];
      uint8_t& b = bytes[size_t(y) * size_t(rowBytes) + size_t(p.Colors256 ? x : x / 2)];
      b = p.Colors256 ? v : uint8_t(b | (v & 15) << (x % 2 ? 0 : 4));
    }
  auto unit = [&](int y, int u) { return &bytes[size_t(y) * size_t(rowBytes) + size_t(2 * u)]; };

  std::vector<uint8_t> flagA(size_t((int64_t(flagBytes) * p.Height + 7) / 8), 0), flagB, pixels;
  std::vector<uint8_t> previous(size_t(flagBytes), 0), row(size_t(flagBytes), 0);
  int64_t bit = 0;
  for (int y = 0; y < p.Height; ++y) {
    for (int u = 0; u < units; ++u) {
      int flag = 0;
      for (int n = 1; n < 16 && !flag; ++n) {
        const int sx = u - CopyX[n], sy = y - CopyY[n];
        if (sx >= 0 && sy >= 0 && std::memcmp(unit(sy, sx), unit(y, u), 2) == 0) flag = n;
      }
      if (!flag) pixels.insert(pixels.end(), unit(y, u), unit(y, u) + 2);
      uint8_t& f = row[size_t(u / 2)];
      f = u % 2 ? uint8_t((f & 0xF0) | flag) : uint8_t(flag << 4);
    }
    for (int i = 0; i < flagBytes; ++i, ++bit) {
      const uint8_t change = row[size_t(i)] ^ previous[size_t(i)];
      if (!change) continue;
      flagA[size_t(bit / 8)] = uint8_t(flagA[size_t(bit / 8)] | 0x80 >> (bit % 8));
      flagB.push_back(change);
    }
    previous = row;
  }

  std::string comment = VeUtf8ToCodePage932(p.Comment);
  for (char& c : comment)
    if (static_cast<unsigned char>(c) < 0x20) c = ' '; // 1A would end the comment
  if (comment.size() < 19) comment.resize(19, ' ');
  std::string machine = p.Machine;
  machine.resize(4, ' ');

  // Built in one string first: GCC 12 at -O3 misreads inserts into a short vector as an
  // out-of-bounds move (-Warray-bounds).
  std::string head(Signature, SignatureBytes);
  head += machine;
  head += comment;
  head += char(0x1A);
  std::vector<uint8_t> f(head.begin(), head.end());
  const size_t h = f.size();
  f.resize(h + HeaderBytes + size_t(3 * colors), 0);
  f[h + 1] = p.MachineCode;
  f[h + 2] = p.MachineFlag;
  f[h + 3] = uint8_t(p.ScreenMode | (p.Colors256 ? VeMag256Colors : 0));
  Put16(f, h + 8, p.Width - 1);
  Put16(f, h + 10, p.Height - 1);
  const uint32_t aAt = uint32_t(HeaderBytes + 3 * colors);
  const uint32_t bAt = aAt + uint32_t(flagA.size());
  const uint32_t pAt = bAt + uint32_t(flagB.size());
  Put32(f, h + 12, aAt);
  Put32(f, h + 16, bAt);
  Put32(f, h + 20, uint32_t(flagB.size()));
  Put32(f, h + 24, pAt);
  Put32(f, h + 28, uint32_t(pixels.size()));
  for (int i = 0; i < colors; ++i) {
    const uint32_t q = size_t(i) < p.Palette.size() ? p.Palette[size_t(i)] : 0;
    f[h + HeaderBytes + size_t(3 * i)] = uint8_t(q >> 8);      // green
    f[h + HeaderBytes + size_t(3 * i + 1)] = uint8_t(q >> 16); // red
    f[h + HeaderBytes + size_t(3 * i + 2)] = uint8_t(q);       // blue
  }
  f.insert(f.end(), flagA.begin(), flagA.end());
  f.insert(f.end(), flagB.begin(), flagB.end());
  f.insert(f.end(), pixels.begin(), pixels.end());
  return f;
}

// ---- Reading --------------------------------------------------------------------------------

namespace {
// The stored rectangle: 16-colour rows start and end on 8-pixel boundaries, 256-colour rows
// on 4-pixel ones.
int AlignedX0(const TVeMagHeader& h) {
  return h.X0 & ~(h.Colors == 256 ? 3 : 7);
}
int AlignedWidth(const TVeMagHeader& h) {
  return (h.X1 | (h.Colors == 256 ? 3 : 7)) - AlignedX0(h) + 1;
}
bool Inside(uint32_t at, uint32_t count, int32_t size) {
  return at <= uint32_t(size) && count <= uint32_t(size) - at;
}
} // namespace

bool VeReadMagHeader(const uint8_t* data, int32_t size, TVeMagHeader& h) {
  if (!data || size < SignatureBytes + 4 + 1 + HeaderBytes) return false;
  if (std::memcmp(data, Signature, SignatureBytes) != 0) return false;
  h.Machine.assign(reinterpret_cast<const char*>(data) + SignatureBytes, 4);
  int32_t end = SignatureBytes + 4;
  while (end < size && data[end] != 0x1A)
    ++end;
  if (end >= size) return false;
  h.Comment.assign(reinterpret_cast<const char*>(data) + SignatureBytes + 4,
                   size_t(end - SignatureBytes - 4));
  while (!h.Comment.empty() && h.Comment.back() == ' ')
    h.Comment.pop_back();
  h.HeaderAt = end + 1;
  if (size - h.HeaderAt < HeaderBytes) return false;
  const uint8_t* p = data + h.HeaderAt;
  h.MachineCode = p[1];
  h.MachineFlag = p[2];
  h.ScreenMode = p[3];
  h.Colors = (h.ScreenMode & VeMag256Colors) ? 256 : 16;
  h.X0 = Get16(p + 4);
  h.Y0 = Get16(p + 6);
  h.X1 = Get16(p + 8);
  h.Y1 = Get16(p + 10);
  h.FlagA = Get32(p + 12);
  h.FlagB = Get32(p + 16);
  h.FlagBSize = Get32(p + 20);
  h.PixelsAt = Get32(p + 24);
  h.PixelsSize = Get32(p + 28);
  if (h.X1 < h.X0 || h.Y1 < h.Y0 || h.Width() > MaxSide || h.Height() > MaxSide) return false;
  const int32_t rest = size - h.HeaderAt;
  if (!Inside(HeaderBytes, uint32_t(3 * h.Colors), rest)) return false;
  const int rowBytes = RowBytes(AlignedWidth(h), h.Colors == 256);
  const uint32_t flagABytes = uint32_t((int64_t(rowBytes / 4) * h.Height() + 7) / 8);
  return Inside(h.FlagA, flagABytes, rest) && Inside(h.FlagB, h.FlagBSize, rest) &&
         Inside(h.PixelsAt, h.PixelsSize, rest);
}

void VeDecodeMag(const uint8_t* data, int32_t size, TVeMagPicture& pic) {
  TVeMagHeader h;
  if (!VeReadMagHeader(data, size, h)) throw EVeError("Corrupt MAG file");
  const uint8_t* base = data + h.HeaderAt;
  const bool colors256 = h.Colors == 256;
  const int width = AlignedWidth(h), height = h.Height();
  const int rowBytes = RowBytes(width, colors256);
  const int units = rowBytes / 2, flagBytes = units / 2;
  const uint8_t* flagA = base + h.FlagA;
  const uint8_t* flagB = base + h.FlagB;
  const uint8_t* pixels = base + h.PixelsAt;
  uint32_t bAt = 0, pAt = 0;
  int64_t bit = 0;

  std::vector<uint8_t> bytes(size_t(rowBytes) * size_t(height), 0);
  std::vector<uint8_t> flags(size_t(flagBytes), 0);
  for (int y = 0; y < height; ++y) {
    for (int i = 0; i < flagBytes; ++i, ++bit)
      if (flagA[bit / 8] & (0x80 >> (bit % 8))) {
        if (bAt >= h.FlagBSize) throw EVeError("Corrupt MAG file");
        flags[size_t(i)] ^= flagB[bAt++];
      }
    uint8_t* row = &bytes[size_t(y) * size_t(rowBytes)];
    for (int u = 0; u < units; ++u) {
      const int flag = u % 2 ? flags[size_t(u / 2)] & 15 : flags[size_t(u / 2)] >> 4;
      if (flag == 0) {
        if (h.PixelsSize - pAt < 2) throw EVeError("Corrupt MAG file");
        std::memcpy(row + 2 * u, pixels + pAt, 2);
        pAt += 2;
        continue;
      }
      const int sx = u - CopyX[flag], sy = y - CopyY[flag];
      if (sx < 0 || sy < 0) throw EVeError("Corrupt MAG file");
      std::memcpy(row + 2 * u, &bytes[size_t(sy) * size_t(rowBytes) + size_t(2 * sx)], 2);
    }
  }

  pic.Width = h.Width();
  pic.Height = height;
  pic.Colors256 = colors256;
  pic.Machine = h.Machine;
  pic.MachineCode = h.MachineCode;
  pic.MachineFlag = h.MachineFlag;
  pic.ScreenMode = uint8_t(h.ScreenMode & ~VeMag256Colors);
  pic.Comment = VeCodePage932ToUtf8(h.Comment);
  pic.Palette.resize(size_t(h.Colors));
  for (int i = 0; i < h.Colors; ++i) {
    const uint8_t* c = base + HeaderBytes + 3 * i;
    pic.Palette[size_t(i)] = uint32_t(c[1]) << 16 | uint32_t(c[0]) << 8 | c[2];
  }
  const int skip = h.X0 - AlignedX0(h);
  pic.Pixels.assign(size_t(pic.Width) * size_t(height), 0);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < pic.Width; ++x) {
      const int sx = x + skip;
      const uint8_t b = bytes[size_t(y) * size_t(rowBytes) + size_t(colors256 ? sx : sx / 2)];
      pic.Pixels[size_t(y) * size_t(pic.Width) + size_t(x)] =
          colors256 ? b : uint8_t(sx % 2 ? b & 15 : b >> 4);
    }
}
