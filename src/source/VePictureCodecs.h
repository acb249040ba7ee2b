#pragma once
// Ordinary picture files (BMP, JPEG, PNG, GIF): recognition by the first bytes, decoding
// into a plain picture record, and the writers used for results. PNG, JPEG and GIF go
// through libpng, libjpeg-turbo and giflib; BMP has its own small codec because no system
// library reads it with its palette intact.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "VeBitmap32.h"

class TVeRowFeed;

// Return values of DetectPictureType.
enum : int {
  vptNone = 0,
  vptBMP = 1,
  vptJPEG = 2,
  vptPNG = 3,
  vptGIF = 4,
  vptJASC = 5,
  vptGIMP = 6,
  vptRIFF = 7,
};

// Type of the bytes by their signature. Fewer than 8 bytes are never a known type.
int DetectPictureType(const uint8_t* data, size_t size);
// Same on a stream; the stream position is restored (also after a short read).
int DetectPictureType(std::istream& stream);

// Decoders refuse pictures above these sizes before taking any pixel memory. 64 Mi pixels
// (256 MiB as a 32-bit picture) holds every camera picture up to 8K video frames and 61 MP
// sensors while keeping a hostile header from exhausting memory; no side may exceed 65535.
constexpr int64_t VeMaxPicturePixels = int64_t(1) << 26;
constexpr int VeMaxPictureSide = 65535;
// Throws "Picture too large (W x H pixels)" when the size is beyond the limits, and
// "Invalid picture size" for an empty or negative one.
void VeCheckPictureSize(int64_t width, int64_t height);

// A decoded picture before it becomes a 32-bit source picture.
// BitsPerPixel 1, 4 or 8: Pixels hold indices (1-bit: most significant bit first, 4-bit:
// high nibble first) into Palette. 24: bytes blue, green, red. 32: blue, green, red and an
// ignored fourth byte. Pictures of any other depth (16-bit BMP, grey, alpha or 16-bit PNG,
// ...) arrive already converted to 32 bits with Converted set.
struct TVePicture {
  int Width = 0;
  int Height = 0;
  int BitsPerPixel = 0;
  bool Converted = false;
  std::vector<uint32_t> Palette;     // RGB-quads 0x00RRGGBB
  std::vector<uint8_t> PaletteAlpha; // per palette entry; empty means all opaque
  int Stride = 0;                    // bytes per row, a multiple of 4 as in a DIB
  std::vector<uint8_t> Pixels;       // rows top-down

  // Sizes the pixel buffer (zero-filled) after checking the limits.
  void Allocate(int width, int height, int bitsPerPixel);
  uint8_t* Row(int y) { return Pixels.data() + size_t(y) * size_t(Stride); }
  const uint8_t* Row(int y) const { return Pixels.data() + size_t(y) * size_t(Stride); }
};

inline int VeDibStride(int width, int bitsPerPixel) {
  return int((int64_t(width) * bitsPerPixel + 31) / 32 * 4);
}

// A colour with the given alpha as it looks on white.
inline uint32_t VeBlendOnWhite(uint32_t rgb, unsigned alpha) {
  if (alpha >= 255) return rgb & 0xFFFFFF;
  auto mix = [alpha](unsigned c) { return (c * alpha + 255 * (255 - alpha) + 127) / 255; };
  return mix(rgb >> 16 & 255) << 16 | mix(rgb >> 8 & 255) << 8 | mix(rgb & 255);
}

// Decoders; each is bounded by the bytes it gets and throws EVeError with a clear message
// on truncated or corrupt data.
TVePicture VeDecodeBmp(const uint8_t* data, size_t size);
TVePicture VeDecodePng(const uint8_t* data, size_t size);
TVePicture VeDecodeGif(const uint8_t* data, size_t size); // first frame
// A PNG without a palette straight into 32-bit rows (alpha laid on white, then 255), the
// pixels PictureToBitmap32 makes of VeDecodePng's record. False, leaving out alone, for a
// PNG of palette indices, which only VeDecodePng keeps as such. With a feed, the rows are
// decoded into out itself and handed to the feed's reader as they are finished (the feed is
// not ended here); on failure out holds part of the picture.
bool VeDecodePngTrueColor(const uint8_t* data, size_t size, TVeBitmap32& out,
                          TVeRowFeed* feed = nullptr);
// JPEG goes straight to a 32-bit picture (alpha 255).
TVeBitmap32 VeDecodeJpeg(const uint8_t* data, size_t size);
// The same into out; with a feed, the rows are handed to its reader as they are finished (the
// feed is not ended here), and on failure out holds part of the picture.
void VeDecodeJpegInto(const uint8_t* data, size_t size, TVeBitmap32& out,
                      TVeRowFeed* feed = nullptr);
// Decodes BMP, PNG or GIF by DetectPictureType's number; other numbers throw
// "Unknown image type".
TVePicture VeDecodePicture(int type, const uint8_t* data, size_t size);

// Every source file is read here, so each failure is told the same way: "No such file",
// "Permission denied", "Is a folder", "File too large (N bytes; the limit is L)" for a
// file of more than limit bytes, "Unknown image type" for a device or pipe, or the system's
// own text. The messages do not name the file: callers add the name where it is needed.
constexpr int64_t VeMaxReadFileSize = INT32_MAX;
// The whole file.
std::vector<uint8_t> VeReadFile(const std::string& path, int64_t limit = VeMaxReadFileSize);
// Its first n bytes, or all of a shorter file.
std::vector<uint8_t> VeReadFileHead(const std::string& path, size_t n);
void VeWriteFile(const std::string& path, const std::vector<uint8_t>& data);

// Writers over plain buffers. Row(y) gives row y counted from the top, in the layout of
// TVePicture (indices packed most significant first, or blue, green, red bytes), at least
// (width * bitsPerPixel + 7) / 8 bytes long.
using TVeRowSource = std::function<const uint8_t*(int y)>;
// BMP: 1, 4 or 8 bits with a palette of RGB-quads, or 24 bits.
std::vector<uint8_t> VeWriteBmp(int width, int height, int bitsPerPixel,
                                const std::vector<uint32_t>& palette, const TVeRowSource& row);
// PNG: 1, 2, 4 or 8 bits with a palette, or 24 bits; compression level 9 and an optional
// "Software" text chunk.
std::vector<uint8_t> VeWritePng(int width, int height, int bitsPerPixel,
                                const std::vector<uint32_t>& palette, const TVeRowSource& row,
                                const std::string& software = std::string());
// GIF: 1, 2, 4 or 8 bits with a palette.
std::vector<uint8_t> VeWriteGif(int width, int height, int bitsPerPixel,
                                const std::vector<uint32_t>& palette, const TVeRowSource& row);
// JPEG from a 32-bit picture (for tests and benchmarks).
std::vector<uint8_t> VeWriteJpeg(const TVeBitmap32& picture, int quality = 90);

// The libraries that read and write pictures, each as name and version ("libpng 1.6.39").
std::vector<std::string> VeLibraryVersions();
