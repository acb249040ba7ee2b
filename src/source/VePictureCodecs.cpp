#include "VePictureCodecs.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <istream>
#include <memory>

#include <gif_lib.h>
#include <jerror.h>
#include <jpeglib.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include "VeErrors.h"
#include "VeGifMemory.h"
#include "VeRowFeed.h"

// ---------------------------------------------------------------------------------------
// Recognition

int DetectPictureType(const uint8_t* data, size_t size) {
  if (size < 8) return vptNone;
  if (data[0] == 'B' && data[1] == 'M') return vptBMP;
  if (data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return vptJPEG;
  if (data[0] == 0x89 && data[1] == 0x50 && data[2] == 0x4E && data[3] == 0x47) return vptPNG;
  if (std::memcmp(data, "GIF8", 4) == 0 &&
      (std::memcmp(data + 4, "9a", 2) == 0 || std::memcmp(data + 4, "7a", 2) == 0))
    return vptGIF;
  if (std::memcmp(data, "JASC-PAL", 8) == 0) return vptJASC;
  if (std::memcmp(data, "RIFF", 4) == 0) return vptRIFF;
  if (std::memcmp(data, "GIMP Pal", 8) == 0)
    return size >= 12 && std::memcmp(data, "GIMP Palette", 12) == 0 ? vptGIMP : vptNone;
  return vptNone;
}

int DetectPictureType(std::istream& stream) {
  uint8_t head[12];
  const std::streampos start = stream.tellg();
  stream.read(reinterpret_cast<char*>(head), sizeof head);
  const size_t got = size_t(stream.gcount());
  stream.clear();
  stream.seekg(start);
  return DetectPictureType(head, got);
}

void VeCheckPictureSize(int64_t width, int64_t height) {
  if (width <= 0 || height <= 0) throw EVeError("Invalid picture size");
  if (width > VeMaxPictureSide || height > VeMaxPictureSide || width * height > VeMaxPicturePixels)
    throw EVeError("Picture too large (" + std::to_string(width) + " x " + std::to_string(height) +
                   " pixels)");
}

void TVePicture::Allocate(int width, int height, int bitsPerPixel) {
  VeCheckPictureSize(width, height);
  Width = width;
  Height = height;
  BitsPerPixel = bitsPerPixel;
  Stride = VeDibStride(width, bitsPerPixel);
  Pixels.assign(size_t(Stride) * size_t(height), 0);
}

// ---------------------------------------------------------------------------------------
// Files

namespace {

// What went wrong, as the user is told it.
std::string FileErrorText(int error) {
  switch (error) {
  case ENOENT:
  case ENOTDIR:
    return "No such file";
  case EACCES:
  case EPERM:
    return "Permission denied";
  case EISDIR:
    return "Is a folder";
  default:
    return std::strerror(error);
  }
}

std::string LimitText(int64_t limit) {
  if (limit % (int64_t(1) << 20) == 0) return std::to_string(limit >> 20) + " MB";
  return std::to_string(limit) + " bytes";
}

// A regular file open for reading; closed when it goes out of scope.
class TInputFile {
public:
  explicit TInputFile(const std::string& path) {
    // Not blocking keeps a named pipe from hanging the open; regular files ignore it.
    FFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (FFd < 0) throw EVeError(FileErrorText(errno));
    struct stat st;
    if (::fstat(FFd, &st) != 0) throw EVeError(FileErrorText(errno));
    if (S_ISDIR(st.st_mode)) throw EVeError("Is a folder");
    // Devices and pipes hold no picture.
    if (!S_ISREG(st.st_mode)) throw EVeError("Unknown image type");
    FSize = int64_t(st.st_size);
  }
  TInputFile(const TInputFile&) = delete;
  TInputFile& operator=(const TInputFile&) = delete;
  ~TInputFile() {
    if (FFd >= 0) ::close(FFd);
  }
  int64_t Size() const { return FSize; }
  // Up to n bytes from the current position; fewer only at the end of the file.
  size_t Read(uint8_t* buffer, size_t n) {
    size_t got = 0;
    while (got < n) {
      const ssize_t r = ::read(FFd, buffer + got, n - got);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) throw EVeError(FileErrorText(errno));
      if (r == 0) break;
      got += size_t(r);
    }
    return got;
  }

private:
  int FFd = -1;
  int64_t FSize = 0;
};

} // namespace

std::vector<uint8_t> VeReadFile(const std::string& path, int64_t limit) {
  TInputFile f(path);
  if (f.Size() > limit)
    throw EVeError("File too large (" + std::to_string(f.Size()) + " bytes; the limit is " +
                   LimitText(limit) + ")");
  std::vector<uint8_t> data(static_cast<size_t>(f.Size()));
  // A file cut short while being read keeps what it had.
  data.resize(f.Read(data.data(), data.size()));
  return data;
}

std::vector<uint8_t> VeReadFileHead(const std::string& path, size_t n) {
  TInputFile f(path);
  std::vector<uint8_t> data(n);
  data.resize(f.Read(data.data(), n));
  return data;
}

void VeWriteFile(const std::string& path, const std::vector<uint8_t>& data) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f) throw EVeError("Cannot create file \"" + path + "\"");
  f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
  if (!f.flush()) throw EVeError("Cannot write file \"" + path + "\"");
}

// ---------------------------------------------------------------------------------------
// BMP

namespace {

uint16_t Le16(const uint8_t* p) {
  return uint16_t(p[0] | p[1] << 8);
}
uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void Put16(std::vector<uint8_t>& v, unsigned x) {
  v.push_back(uint8_t(x));
  v.push_back(uint8_t(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
  Put16(v, x & 0xFFFF);
  Put16(v, x >> 16);
}

[[noreturn]] void BmpTruncated() {
  throw EVeError("Truncated BMP file");
}
[[noreturn]] void BmpCorrupt() {
  throw EVeError("Corrupt BMP file");
}

// Extracts one channel of a bit-field pixel scaled to 0..255.
struct TBitField {
  uint32_t Mask = 0;
  int Shift = 0;
  uint32_t Max = 0;
  explicit TBitField(uint32_t mask) : Mask(mask) {
    if (!mask) return;
    while (!(mask >> Shift & 1))
      ++Shift;
    Max = mask >> Shift;
  }
  unsigned Get(uint32_t px) const {
    if (!Max) return 0;
    return unsigned((uint64_t((px & Mask) >> Shift) * 255 + Max / 2) / Max);
  }
};

void SetIndex(uint8_t* row, int x, int bpp, unsigned v) {
  if (bpp == 8) {
    row[x] = uint8_t(v);
  } else { // 4 bits
    uint8_t& b = row[x >> 1];
    b = (x & 1) ? uint8_t((b & 0xF0) | (v & 15)) : uint8_t((b & 0x0F) | (v & 15) << 4);
  }
}

// RLE8 / RLE4 into an indexed picture; rows arrive bottom-up. Writes outside the picture
// are clipped; every step consumes input, so the loop ends with the data.
void DecodeBmpRle(TVePicture& pic, const uint8_t* p, const uint8_t* end, int bpp) {
  int x = 0, line = 0;
  const int w = pic.Width, h = pic.Height;
  auto put = [&](unsigned v) {
    if (x < w && line < h) SetIndex(pic.Row(h - 1 - line), x, bpp, v);
    ++x;
  };
  while (line < h) {
    if (end - p < 2) BmpTruncated();
    const unsigned count = p[0], value = p[1];
    p += 2;
    if (count) {
      for (unsigned i = 0; i < count && x < w; ++i)
        put(bpp == 8 ? value : (i & 1 ? value & 15 : value >> 4));
      continue;
    }
    if (value == 0) { // end of line
      x = 0;
      ++line;
    } else if (value == 1) { // end of picture
      return;
    } else if (value == 2) { // delta
      if (end - p < 2) BmpTruncated();
      x += p[0];
      line += p[1];
      p += 2;
    } else { // absolute run, padded to a 16-bit boundary
      const size_t bytes = bpp == 8 ? value : (value + 1) / 2;
      const size_t padded = (bytes + 1) & ~size_t(1);
      if (size_t(end - p) < bytes) BmpTruncated();
      for (unsigned i = 0; i < value; ++i)
        put(bpp == 8 ? p[i] : (i & 1 ? p[i / 2] & 15 : p[i / 2] >> 4));
      p += size_t(end - p) < padded ? size_t(end - p) : padded;
    }
  }
}

} // namespace

TVePicture VeDecodeBmp(const uint8_t* data, size_t size) {
  if (size < 2 || data[0] != 'B' || data[1] != 'M') throw EVeError("Not a BMP file");
  if (size < 14 + 12) BmpTruncated();
  const uint32_t headerSize = Le32(data + 14);
  if (headerSize < 12 || (headerSize > 12 && headerSize < 16)) BmpCorrupt();
  if (headerSize > size - 14) BmpTruncated();
  const uint8_t* h = data + 14;
  const bool core = headerSize == 12;
  int64_t width, height;
  unsigned bpp, compression = 0;
  uint32_t colorsUsed = 0;
  if (core) {
    width = Le16(h + 4);
    height = Le16(h + 6);
    bpp = Le16(h + 10);
  } else {
    width = int32_t(Le32(h + 4));
    height = int32_t(Le32(h + 8));
    bpp = Le16(h + 14);
    if (headerSize >= 20) compression = Le32(h + 16);
    if (headerSize >= 36) colorsUsed = Le32(h + 32);
  }
  const bool topDown = height < 0;
  if (topDown) height = -height;
  VeCheckPictureSize(width, height);
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
    throw EVeError("Unsupported BMP format (" + std::to_string(bpp) + " bits per pixel)");
  const bool rle = compression == 1 || compression == 2;
  const bool bitFields = compression == 3 || compression == 6;
  if ((compression == 1 && bpp != 8) || (compression == 2 && bpp != 4) ||
      (bitFields && bpp != 16 && bpp != 32) || compression > 6 || compression == 4 ||
      compression == 5 || (core && (bpp == 16 || bpp == 32)))
    throw EVeError("Unsupported BMP compression");
  if (rle && topDown) BmpCorrupt();

  // Colour masks sit inside a long header or right after a 40-byte one.
  size_t paletteStart = 14 + headerSize;
  uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
  if (bpp == 32) masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
  if (bitFields) {
    const uint8_t* m = h + 40;
    if (headerSize < 52) {
      const size_t extra = compression == 6 ? 16 : 12;
      if (size < paletteStart + extra) BmpTruncated();
      m = data + paletteStart;
      paletteStart += extra;
    }
    for (int i = 0; i < 3; ++i)
      masks[i] = Le32(m + 4 * i);
  }

  uint32_t offBits = Le32(data + 10);
  const size_t entrySize = core ? 3 : 4;
  TVePicture pic;
  if (bpp <= 8) {
    size_t n = colorsUsed && colorsUsed < (1u << bpp) ? colorsUsed : (1u << bpp);
    if (colorsUsed > (1u << bpp) && colorsUsed <= 256) n = colorsUsed;
    // The palette cannot reach into the pixels nor past the end.
    const size_t limit = offBits >= paletteStart && offBits <= size ? offBits : size;
    const size_t fit = limit > paletteStart ? (limit - paletteStart) / entrySize : 0;
    if (n > fit) n = fit;
    for (size_t i = 0; i < n; ++i) {
      const uint8_t* e = data + paletteStart + i * entrySize;
      pic.Palette.push_back(uint32_t(e[2]) << 16 | uint32_t(e[1]) << 8 | e[0]);
    }
    if (offBits == 0) offBits = uint32_t(paletteStart + n * entrySize);
  } else if (offBits == 0) {
    offBits = uint32_t(paletteStart);
  }
  if (offBits < 14 + headerSize) BmpCorrupt();
  if (offBits > size) BmpTruncated();
  const uint8_t* bits = data + offBits;
  const size_t available = size - offBits;

  const bool converted = bpp == 16 || bitFields;
  pic.Allocate(int(width), int(height), converted ? 32 : int(bpp));
  pic.Converted = converted;
  if (rle) {
    DecodeBmpRle(pic, bits, data + size, int(bpp));
    return pic;
  }
  const size_t stride = size_t(VeDibStride(int(width), int(bpp)));
  const size_t rowBytes = (size_t(width) * bpp + 7) / 8;
  if (available < stride * size_t(height - 1) + rowBytes) BmpTruncated();
  const TBitField r(masks[0]), g(masks[1]), b(masks[2]);
  for (int64_t line = 0; line < height; ++line) {
    const uint8_t* src = bits + size_t(line) * stride;
    uint8_t* dst = pic.Row(int(topDown ? line : height - 1 - line));
    if (!converted) {
      std::memcpy(dst, src, rowBytes);
      continue;
    }
    uint32_t* out = reinterpret_cast<uint32_t*>(dst);
    for (int64_t x = 0; x < width; ++x) {
      const uint32_t px = bpp == 16 ? Le16(src + 2 * x) : Le32(src + 4 * x);
      out[x] = VeRGBQuad(uint8_t(r.Get(px)), uint8_t(g.Get(px)), uint8_t(b.Get(px)));
    }
  }
  return pic;
}

std::vector<uint8_t> VeWriteBmp(int width, int height, int bitsPerPixel,
                                const std::vector<uint32_t>& palette, const TVeRowSource& row) {
  if (bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8 && bitsPerPixel != 24)
    VeInternalError();
  if (width <= 0 || height <= 0 || (bitsPerPixel <= 8 && palette.size() > (1u << bitsPerPixel)))
    VeInternalError();
  const size_t stride = size_t(VeDibStride(width, bitsPerPixel));
  const size_t rowBytes = (size_t(width) * bitsPerPixel + 7) / 8;
  const size_t colors = bitsPerPixel <= 8 ? palette.size() : 0;
  const size_t offBits = 14 + 40 + 4 * colors;
  const size_t total = offBits + stride * size_t(height);
  if (total > UINT32_MAX) throw EVeError("Picture too large");
  std::vector<uint8_t> out;
  out.reserve(total);
  out.push_back('B');
  out.push_back('M');
  Put32(out, uint32_t(total));
  Put32(out, 0);
  Put32(out, uint32_t(offBits));
  Put32(out, 40);
  Put32(out, uint32_t(width));
  Put32(out, uint32_t(height));
  Put16(out, 1);
  Put16(out, unsigned(bitsPerPixel));
  Put32(out, 0); // uncompressed
  Put32(out, uint32_t(stride * size_t(height)));
  Put32(out, 2835); // 72 dpi
  Put32(out, 2835);
  Put32(out, uint32_t(colors));
  Put32(out, 0);
  for (size_t i = 0; i < colors; ++i)
    Put32(out, palette[i] & 0xFFFFFF);
  for (int y = height - 1; y >= 0; --y) {
    const uint8_t* src = row(y);
    out.insert(out.end(), src, src + rowBytes);
    out.resize(out.size() + stride - rowBytes, 0);
  }
  return out;
}

// ---------------------------------------------------------------------------------------
// PNG. libpng reports errors by longjmp, so the functions that hold a setjmp keep only
// plain data alive and leave allocation and exceptions to their callers.

namespace {

struct TPngState {
  png_structp Png = nullptr;
  png_infop Info = nullptr;
  const uint8_t* Data = nullptr;
  size_t Size = 0;
  size_t Pos = 0;
  std::vector<uint8_t>* Out = nullptr;
  char Message[256] = {};
};

void PngError(png_structp png, png_const_charp message) {
  auto* s = static_cast<TPngState*>(png_get_error_ptr(png));
  std::snprintf(s->Message, sizeof s->Message, "%s", message);
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

void PngRead(png_structp png, png_bytep out, size_t count) {
  auto* s = static_cast<TPngState*>(png_get_io_ptr(png));
  if (count > s->Size - s->Pos) png_error(png, "unexpected end of file");
  std::memcpy(out, s->Data + s->Pos, count);
  s->Pos += count;
}

void PngWrite(png_structp png, png_bytep data, size_t count) {
  auto* s = static_cast<TPngState*>(png_get_io_ptr(png));
  s->Out->insert(s->Out->end(), data, data + count);
}

void PngFlush(png_structp) {}

bool PngReadHeader(TPngState* s) {
  if (setjmp(png_jmpbuf(s->Png))) return false;
  png_set_read_fn(s->Png, s, PngRead);
  png_set_user_limits(s->Png, 0x7FFFFFFF, 0x7FFFFFFF); // the caller applies its own limits
  png_read_info(s->Png, s->Info);
  return true;
}

bool PngReadRows(TPngState* s, png_bytepp rows) {
  if (setjmp(png_jmpbuf(s->Png))) return false;
  png_read_update_info(s->Png, s->Info);
  png_read_image(s->Png, rows);
  return true;
}

// The same in parts, for a picture without interlacing: the next count rows.
bool PngStartRows(TPngState* s) {
  if (setjmp(png_jmpbuf(s->Png))) return false;
  png_read_update_info(s->Png, s->Info);
  return true;
}

bool PngReadSomeRows(TPngState* s, png_bytepp rows, int count) {
  if (setjmp(png_jmpbuf(s->Png))) return false;
  png_read_rows(s->Png, rows, nullptr, png_uint_32(count));
  return true;
}

struct TPngReadGuard {
  TPngState& S;
  ~TPngReadGuard() { png_destroy_read_struct(&S.Png, S.Info ? &S.Info : nullptr, nullptr); }
};

[[noreturn]] void PngFailed(const TPngState& s) {
  throw EVeError(std::string("Invalid PNG file: ") + (s.Message[0] ? s.Message : "read error"));
}

// A PNG opened over the bytes with its header read and its size checked; libpng's state is
// freed with it.
struct TPngOpen {
  TPngState S;
  TPngReadGuard Guard{S};
  int64_t Width = 0, Height = 0;
  int ColorType = 0, Depth = 0;
  TPngOpen(const uint8_t* data, size_t size) {
    S.Data = data;
    S.Size = size;
    S.Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &S, PngError, PngWarning);
    if (!S.Png) throw std::bad_alloc();
    S.Info = png_create_info_struct(S.Png);
    if (!S.Info) throw std::bad_alloc();
    if (!PngReadHeader(&S)) PngFailed(S);
    Width = png_get_image_width(S.Png, S.Info);
    Height = png_get_image_height(S.Png, S.Info);
    VeCheckPictureSize(Width, Height);
    ColorType = png_get_color_type(S.Png, S.Info);
    Depth = png_get_bit_depth(S.Png, S.Info);
  }
  TPngOpen(const TPngOpen&) = delete;
  TPngOpen& operator=(const TPngOpen&) = delete;
};

} // namespace

bool VeDecodePngTrueColor(const uint8_t* data, size_t size, TVeBitmap32& out, TVeRowFeed* feed) {
  TPngOpen png(data, size);
  TPngState& s = png.S;
  const int64_t width = png.Width, height = png.Height;
  const int colorType = png.ColorType, depth = png.Depth;
  if (colorType == PNG_COLOR_TYPE_PALETTE && (depth == 1 || depth == 4 || depth == 8)) return false;
  // The transforms of VeDecodePng, with the fourth byte added for plain RGB as well, so
  // libpng writes the 32-bit rows itself.
  const bool plain = colorType == PNG_COLOR_TYPE_RGB && depth == 8 &&
                     png_get_valid(s.Png, s.Info, PNG_INFO_tRNS) == 0;
  if (!plain) {
    png_set_expand(s.Png);
    png_set_strip_16(s.Png);
    png_set_gray_to_rgb(s.Png);
  }
  png_set_bgr(s.Png);
  png_set_filler(s.Png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(s.Png);
  auto finish = [plain](TVeBitmap32& image, int first, int last) {
    if (plain) return;
    for (int y = first; y < last; ++y) {
      uint32_t* row = image.Scanline(y);
      for (int x = 0; x < image.Width(); ++x)
        row[x] = 0xFF000000u | VeBlendOnWhite(row[x], row[x] >> 24);
    }
  };
  // With a feed, into the caller's picture, which the reader sees from the start; rows go
  // out in parts, each finished, so that the reader wakes up seldom.
  TVeBitmap32 local;
  TVeBitmap32& image = feed ? out : local;
  image.SetSizeUnfilled(int(width), int(height));
  if (feed) feed->Begin(&image);
  std::vector<png_bytep> rows(static_cast<size_t>(height));
  for (int y = 0; y < int(height); ++y)
    rows[size_t(y)] = reinterpret_cast<png_bytep>(image.Scanline(y));
  if (!feed || png_get_interlace_type(s.Png, s.Info) != PNG_INTERLACE_NONE) {
    if (!PngReadRows(&s, rows.data())) PngFailed(s);
    finish(image, 0, int(height));
    if (feed) feed->Rows(int(height));
  } else {
    if (!PngStartRows(&s)) PngFailed(s);
    constexpr int part = 16;
    for (int y = 0; y < int(height); y += part) {
      const int n = std::min(part, int(height) - y);
      if (!PngReadSomeRows(&s, rows.data() + y, n)) PngFailed(s);
      finish(image, y, y + n);
      feed->Rows(y + n);
    }
  }
  if (!feed) out = std::move(local);
  return true;
}

TVePicture VeDecodePng(const uint8_t* data, size_t size) {
  TPngOpen png(data, size);
  TPngState& s = png.S;
  const int64_t width = png.Width, height = png.Height;
  const int colorType = png.ColorType, depth = png.Depth;
  const bool hasTrns = png_get_valid(s.Png, s.Info, PNG_INFO_tRNS) != 0;

  TVePicture pic;
  bool indexed = colorType == PNG_COLOR_TYPE_PALETTE && (depth == 1 || depth == 4 || depth == 8);
  if (indexed) {
    png_colorp colors = nullptr;
    int count = 0;
    if (png_get_PLTE(s.Png, s.Info, &colors, &count) && colors) {
      for (int i = 0; i < count && i < 256; ++i)
        pic.Palette.push_back(uint32_t(colors[i].red) << 16 | uint32_t(colors[i].green) << 8 |
                              colors[i].blue);
    }
    png_bytep alpha = nullptr;
    int alphaCount = 0;
    if (hasTrns && png_get_tRNS(s.Png, s.Info, &alpha, &alphaCount, nullptr) && alpha) {
      pic.PaletteAlpha.assign(pic.Palette.size(), 255);
      for (int i = 0; i < alphaCount && i < int(pic.PaletteAlpha.size()); ++i)
        pic.PaletteAlpha[size_t(i)] = alpha[i];
    }
    pic.Allocate(int(width), int(height), depth);
  } else if (colorType == PNG_COLOR_TYPE_RGB && depth == 8 && !hasTrns) {
    png_set_bgr(s.Png);
    pic.Allocate(int(width), int(height), 24);
  } else {
    // Every other kind becomes blue, green, red, alpha bytes, then lies on white.
    png_set_expand(s.Png);
    png_set_strip_16(s.Png);
    png_set_gray_to_rgb(s.Png);
    png_set_bgr(s.Png);
    png_set_filler(s.Png, 0xFF, PNG_FILLER_AFTER);
    pic.Allocate(int(width), int(height), 32);
    pic.Converted = true;
  }
  png_set_interlace_handling(s.Png);
  std::vector<png_bytep> rows(static_cast<size_t>(height));
  for (int y = 0; y < int(height); ++y)
    rows[size_t(y)] = pic.Row(y);
  if (!PngReadRows(&s, rows.data())) PngFailed(s);
  if (pic.Converted) {
    for (int y = 0; y < pic.Height; ++y) {
      uint32_t* p = reinterpret_cast<uint32_t*>(pic.Row(y));
      for (int x = 0; x < pic.Width; ++x)
        p[x] = 0xFF000000u | VeBlendOnWhite(p[x], p[x] >> 24);
    }
  }
  return pic;
}

namespace {

bool PngWriteAll(TPngState* s, int width, int height, int bpp, const png_color* colors,
                 int colorCount, png_bytepp rows, const char* software) {
  if (setjmp(png_jmpbuf(s->Png))) return false;
  png_set_write_fn(s->Png, s, PngWrite, PngFlush);
  png_set_compression_level(s->Png, 9);
  if (bpp == 24) {
    png_set_IHDR(s->Png, s->Info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  } else {
    png_set_IHDR(s->Png, s->Info, png_uint_32(width), png_uint_32(height), bpp,
                 PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_PLTE(s->Png, s->Info, colors, colorCount);
  }
  png_text text;
  std::memset(&text, 0, sizeof text);
  if (software && *software) {
    text.compression = PNG_TEXT_COMPRESSION_NONE;
    text.key = const_cast<char*>("Software");
    text.text = const_cast<char*>(software);
    png_set_text(s->Png, s->Info, &text, 1);
  }
  png_write_info(s->Png, s->Info);
  if (bpp == 24) png_set_bgr(s->Png);
  png_write_image(s->Png, rows);
  png_write_end(s->Png, s->Info);
  return true;
}

} // namespace

std::vector<uint8_t> VeWritePng(int width, int height, int bitsPerPixel,
                                const std::vector<uint32_t>& palette, const TVeRowSource& row,
                                const std::string& software) {
  if (width <= 0 || height <= 0) VeInternalError();
  if (bitsPerPixel != 24) {
    if (bitsPerPixel != 1 && bitsPerPixel != 2 && bitsPerPixel != 4 && bitsPerPixel != 8)
      VeInternalError();
    if (palette.empty() || palette.size() > (1u << bitsPerPixel)) VeInternalError();
  }
  std::vector<png_color> colors;
  for (uint32_t c : palette)
    colors.push_back(png_color{png_byte(c >> 16), png_byte(c >> 8), png_byte(c)});
  std::vector<png_bytep> rows(static_cast<size_t>(height));
  for (int y = 0; y < height; ++y)
    rows[size_t(y)] = const_cast<png_bytep>(row(y));
  std::vector<uint8_t> out;
  TPngState s;
  s.Out = &out;
  s.Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &s, PngError, PngWarning);
  if (!s.Png) throw std::bad_alloc();
  s.Info = png_create_info_struct(s.Png);
  const bool ok = s.Info && PngWriteAll(&s, width, height, bitsPerPixel, colors.data(),
                                        int(colors.size()), rows.data(), software.c_str());
  png_destroy_write_struct(&s.Png, &s.Info);
  if (!ok) throw EVeError(std::string("Cannot write PNG: ") + s.Message);
  return out;
}

// ---------------------------------------------------------------------------------------
// JPEG, with the same care for libjpeg's longjmp.

namespace {

struct TJpegError {
  jpeg_error_mgr Mgr;
  jmp_buf Jump;
  bool Truncated = false;
  char Message[JMSG_LENGTH_MAX] = {};
};

void JpegErrorExit(j_common_ptr info) {
  auto* e = reinterpret_cast<TJpegError*>(info->err);
  info->err->format_message(info, e->Message);
  std::longjmp(e->Jump, 1);
}

void JpegMessage(j_common_ptr info, int level) {
  auto* e = reinterpret_cast<TJpegError*>(info->err);
  if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) e->Truncated = true;
}

struct TJpegRead {
  jpeg_decompress_struct Info;
  TJpegError Error;
  bool Created = false;
};

bool JpegReadHeader(TJpegRead* r, const uint8_t* data, size_t size) {
  r->Info.err = jpeg_std_error(&r->Error.Mgr);
  r->Error.Mgr.error_exit = JpegErrorExit;
  r->Error.Mgr.emit_message = JpegMessage;
  if (setjmp(r->Error.Jump)) return false;
  jpeg_create_decompress(&r->Info);
  r->Created = true;
  jpeg_mem_src(&r->Info, data, (unsigned long)size);
  jpeg_read_header(&r->Info, TRUE);
  return true;
}

// Rows go straight into the 32-bit picture; CMYK passes through a scratch row. A feed is told
// of the finished rows every 16 rows.
bool JpegReadRows(TJpegRead* r, uint8_t* pixels, size_t stride, uint8_t* scratch,
                  TVeRowFeed* feed) {
  if (setjmp(r->Error.Jump)) return false;
  const bool cmyk = r->Info.jpeg_color_space == JCS_CMYK || r->Info.jpeg_color_space == JCS_YCCK;
  r->Info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
  r->Info.scale_num = r->Info.scale_denom = 1;
  jpeg_start_decompress(&r->Info);
  const bool inverted = r->Info.saw_Adobe_marker;
  while (r->Info.output_scanline < r->Info.output_height) {
    uint8_t* dst = pixels + size_t(r->Info.output_scanline) * stride;
    JSAMPROW row = cmyk ? scratch : dst;
    if (jpeg_read_scanlines(&r->Info, &row, 1) != 1) break;
    if (cmyk)
      for (JDIMENSION x = 0; x < r->Info.output_width; ++x) {
        unsigned c = scratch[4 * x], m = scratch[4 * x + 1], y = scratch[4 * x + 2],
                 k = scratch[4 * x + 3];
        if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
        dst[4 * x] = uint8_t((y * k + 127) / 255);
        dst[4 * x + 1] = uint8_t((m * k + 127) / 255);
        dst[4 * x + 2] = uint8_t((c * k + 127) / 255);
        dst[4 * x + 3] = 255;
      }
    if (feed && r->Info.output_scanline % 16 == 0) feed->Rows(int(r->Info.output_scanline));
  }
  jpeg_finish_decompress(&r->Info);
  return true;
}

[[noreturn]] void JpegFailed(const TJpegRead& r) {
  throw EVeError(std::string("Invalid JPEG file: ") + r.Error.Message);
}

} // namespace

TVeBitmap32 VeDecodeJpeg(const uint8_t* data, size_t size) {
  TVeBitmap32 bmp;
  VeDecodeJpegInto(data, size, bmp);
  return bmp;
}

void VeDecodeJpegInto(const uint8_t* data, size_t size, TVeBitmap32& bmp, TVeRowFeed* feed) {
  auto r = std::make_unique<TJpegRead>();
  struct TGuard {
    TJpegRead* R;
    ~TGuard() {
      if (R->Created) jpeg_destroy_decompress(&R->Info);
    }
  } guard{r.get()};
  if (size < 4) throw EVeError("Truncated JPEG file");
  if (!JpegReadHeader(r.get(), data, size)) JpegFailed(*r);
  VeCheckPictureSize(r->Info.image_width, r->Info.image_height);
  if (r->Error.Truncated) throw EVeError("Truncated JPEG file");
  bmp.SetSize(int(r->Info.image_width), int(r->Info.image_height));
  if (feed) feed->Begin(&bmp);
  std::vector<uint8_t> scratch(size_t(r->Info.image_width) * 4);
  if (!JpegReadRows(r.get(), reinterpret_cast<uint8_t*>(bmp.Data()), size_t(bmp.Width()) * 4,
                    scratch.data(), feed))
    JpegFailed(*r);
  if (r->Error.Truncated) throw EVeError("Truncated JPEG file");
  if (int(r->Info.output_width) != bmp.Width() || int(r->Info.output_height) != bmp.Height())
    throw EVeError("Invalid JPEG file");
}

namespace {

struct TJpegWrite {
  jpeg_compress_struct Info;
  TJpegError Error;
  bool Created = false;
  unsigned char* Buffer = nullptr;
  unsigned long Size = 0;
};

bool JpegWriteAll(TJpegWrite* w, const TVeBitmap32* picture, int quality) {
  w->Info.err = jpeg_std_error(&w->Error.Mgr);
  w->Error.Mgr.error_exit = JpegErrorExit;
  if (setjmp(w->Error.Jump)) return false;
  jpeg_create_compress(&w->Info);
  w->Created = true;
  jpeg_mem_dest(&w->Info, &w->Buffer, &w->Size);
  w->Info.image_width = JDIMENSION(picture->Width());
  w->Info.image_height = JDIMENSION(picture->Height());
  w->Info.input_components = 4;
  w->Info.in_color_space = JCS_EXT_BGRX;
  jpeg_set_defaults(&w->Info);
  jpeg_set_quality(&w->Info, quality, TRUE);
  jpeg_start_compress(&w->Info, TRUE);
  while (w->Info.next_scanline < w->Info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(
        reinterpret_cast<const uint8_t*>(picture->Scanline(int(w->Info.next_scanline))));
    jpeg_write_scanlines(&w->Info, &row, 1);
  }
  jpeg_finish_compress(&w->Info);
  return true;
}

} // namespace

std::vector<uint8_t> VeWriteJpeg(const TVeBitmap32& picture, int quality) {
  if (picture.Empty()) VeInternalError();
  auto w = std::make_unique<TJpegWrite>();
  const bool ok = JpegWriteAll(w.get(), &picture, quality);
  std::vector<uint8_t> out;
  if (ok) out.assign(w->Buffer, w->Buffer + w->Size);
  if (w->Created) jpeg_destroy_compress(&w->Info);
  std::free(w->Buffer);
  if (!ok) throw EVeError(std::string("Cannot write JPEG: ") + w->Error.Message);
  return out;
}

// ---------------------------------------------------------------------------------------
// GIF

TVePicture VeDecodeGif(const uint8_t* data, size_t size) {
  TVeGifInput input{data, size, 0};
  int error = 0;
  TVeGifCloser gif{DGifOpen(&input, VeGifRead, &error)};
  if (!gif.Gif) VeGifFailed(error);
  int transparent = -1;
  for (;;) {
    GifRecordType record;
    if (DGifGetRecordType(gif.Gif, &record) == GIF_ERROR) VeGifFailed(gif.Gif->Error);
    if (record == TERMINATE_RECORD_TYPE) throw EVeError("Invalid GIF file: no picture");
    if (record == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* ext = nullptr;
      if (DGifGetExtension(gif.Gif, &code, &ext) == GIF_ERROR) VeGifFailed(gif.Gif->Error);
      if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4 && (ext[1] & 1))
        transparent = ext[4];
      while (ext) {
        if (DGifGetExtensionNext(gif.Gif, &ext) == GIF_ERROR) VeGifFailed(gif.Gif->Error);
      }
      continue;
    }
    if (record != IMAGE_DESC_RECORD_TYPE) continue;
    if (DGifGetImageDesc(gif.Gif) == GIF_ERROR) VeGifFailed(gif.Gif->Error);
    break;
  }
  const GifImageDesc& desc = gif.Gif->Image;
  const int64_t left = desc.Left, top = desc.Top, fw = desc.Width, fh = desc.Height;
  VeCheckPictureSize(fw, fh);
  const int64_t width = std::max<int64_t>(gif.Gif->SWidth, left + fw);
  const int64_t height = std::max<int64_t>(gif.Gif->SHeight, top + fh);
  VeCheckPictureSize(width, height);

  TVePicture pic;
  const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif.Gif->SColorMap;
  if (map && map->Colors) {
    for (int i = 0; i < map->ColorCount && i < 256; ++i)
      pic.Palette.push_back(uint32_t(map->Colors[i].Red) << 16 |
                            uint32_t(map->Colors[i].Green) << 8 | map->Colors[i].Blue);
  }
  if (transparent >= 0 && transparent < int(pic.Palette.size())) {
    pic.PaletteAlpha.assign(pic.Palette.size(), 255);
    pic.PaletteAlpha[size_t(transparent)] = 0;
  }
  pic.Allocate(int(width), int(height), 8);
  // Around a smaller first frame lies the transparent colour, or else the background.
  if (fw != width || fh != height) {
    const int around = transparent >= 0 ? transparent : gif.Gif->SBackGroundColor;
    std::fill(pic.Pixels.begin(), pic.Pixels.end(), uint8_t(around));
  }
  auto readRow = [&](int64_t y) {
    if (DGifGetLine(gif.Gif, pic.Row(int(top + y)) + left, int(fw)) == GIF_ERROR)
      VeGifFailed(gif.Gif->Error);
  };
  VeGifForRows(desc.Interlace, fh, readRow);
  return pic;
}

std::vector<uint8_t> VeWriteGif(int width, int height, int bitsPerPixel,
                                const std::vector<uint32_t>& palette, const TVeRowSource& row) {
  if (width <= 0 || height <= 0 || width > 65535 || height > 65535) VeInternalError();
  if ((bitsPerPixel != 1 && bitsPerPixel != 2 && bitsPerPixel != 4 && bitsPerPixel != 8) ||
      palette.empty() || palette.size() > (1u << bitsPerPixel))
    VeInternalError();
  int mapBits = 1;
  while ((1u << mapBits) < palette.size())
    ++mapBits;
  std::vector<GifColorType> colors(size_t(1) << mapBits, GifColorType{0, 0, 0});
  for (size_t i = 0; i < palette.size(); ++i)
    colors[i] = GifColorType{GifByteType(palette[i] >> 16), GifByteType(palette[i] >> 8),
                             GifByteType(palette[i])};
  std::vector<uint8_t> out;
  TVeGifOutput output{&out};
  int error = 0;
  GifFileType* gif = EGifOpen(&output, VeGifWrite, &error);
  if (!gif) throw EVeError("Cannot write GIF");
  ColorMapObject* map = GifMakeMapObject(1 << mapBits, colors.data());
  bool ok = map && EGifPutScreenDesc(gif, width, height, mapBits, 0, map) != GIF_ERROR &&
            EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) != GIF_ERROR;
  std::vector<GifPixelType> line(static_cast<size_t>(width));
  for (int y = 0; ok && y < height; ++y) {
    const uint8_t* src = row(y);
    for (int x = 0; x < width; ++x) {
      const int bit = x * bitsPerPixel;
      line[size_t(x)] =
          GifPixelType(src[bit >> 3] >> (8 - bitsPerPixel - (bit & 7)) & ((1 << bitsPerPixel) - 1));
    }
    ok = EGifPutLine(gif, line.data(), width) != GIF_ERROR;
  }
  if (EGifCloseFile(gif, &error) == GIF_ERROR) ok = false;
  GifFreeMapObject(map);
  if (!ok) throw EVeError("Cannot write GIF");
  return out;
}

// ---------------------------------------------------------------------------------------

TVePicture VeDecodePicture(int type, const uint8_t* data, size_t size) {
  switch (type) {
  case vptBMP:
    return VeDecodeBmp(data, size);
  case vptPNG:
    return VeDecodePng(data, size);
  case vptGIF:
    return VeDecodeGif(data, size);
  default:
    throw EVeError("Unknown image type");
  }
}

#define VE_STRINGIZE2(x) #x
#define VE_STRINGIZE(x) VE_STRINGIZE2(x)

std::vector<std::string> VeLibraryVersions() {
  std::vector<std::string> out;
  out.push_back(std::string("zlib ") + zlibVersion());
  out.push_back(std::string("libpng ") + png_get_libpng_ver(nullptr));
#ifdef LIBJPEG_TURBO_VERSION
  out.push_back("libjpeg-turbo " VE_STRINGIZE(LIBJPEG_TURBO_VERSION));
#else
  out.push_back("libjpeg " + std::to_string(JPEG_LIB_VERSION));
#endif
  out.push_back("giflib " + std::to_string(GIFLIB_MAJOR) + "." + std::to_string(GIFLIB_MINOR) +
                "." + std::to_string(GIFLIB_RELEASE));
  return out;
}
