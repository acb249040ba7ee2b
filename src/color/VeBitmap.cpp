#include "VeBitmap.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "VeErrors.h"

namespace {

// Screens size themselves from the width; refuse what cannot be addressed.
int CheckedRowBytes(int width, int height, int64_t rowBytes) {
  if (width < 0 || height < 0 || rowBytes > INT_MAX) VeInternalError();
  return int(rowBytes);
}

TVeStdRGBColor StdRGBOfQuad(uint32_t quad) {
  return TVeStdRGBColor::FromRGBQuad(quad);
}

} // namespace

// ---- screens ----

TVeScreen1::TVeScreen1(int width, uint8_t* data, int height)
    : TVeBitmapData(width, height, CheckedRowBytes(width, height, (int64_t(width) + 7) / 8), data) {
}

int TVeScreen1::GetPixel(int x, int y) const {
  x = StoredX(x);
  return (GetScanline(y)[x >> 3] >> (7 - (x & 7))) & 1;
}

void TVeScreen1::SetPixel(int x, int y, int value) {
  x = StoredX(x);
  uint8_t& b = GetScanline(y)[x >> 3];
  int shift = 7 - (x & 7);
  b = uint8_t((b & ~(1 << shift)) | ((value & 1) << shift));
}

TVeScreen2::TVeScreen2(int width, uint8_t* data, int height)
    : TVeBitmapData(width, height, CheckedRowBytes(width, height, (int64_t(width) + 3) / 4), data) {
}

int TVeScreen2::GetPixel(int x, int y) const {
  x = StoredX(x);
  return (GetScanline(y)[x >> 2] >> (6 - 2 * (x & 3))) & 3;
}

void TVeScreen2::SetPixel(int x, int y, int value) {
  x = StoredX(x);
  uint8_t& b = GetScanline(y)[x >> 2];
  int shift = 6 - 2 * (x & 3);
  b = uint8_t((b & ~(3 << shift)) | ((value & 3) << shift));
}

TVeScreen4::TVeScreen4(int width, uint8_t* data, int height)
    : TVeBitmapData(width, height, CheckedRowBytes(width, height, (int64_t(width) + 1) / 2), data) {
}

int TVeScreen4::GetPixel(int x, int y) const {
  x = StoredX(x);
  uint8_t b = GetScanline(y)[x >> 1];
  return (x & 1) ? b & 15 : b >> 4;
}

void TVeScreen4::SetPixel(int x, int y, int value) {
  x = StoredX(x);
  uint8_t& b = GetScanline(y)[x >> 1];
  b = (x & 1) ? uint8_t((b & 0xF0) | (value & 15)) : uint8_t((b & 0x0F) | (value & 15) << 4);
}

TVeScreen8::TVeScreen8(int width, uint8_t* data, int height)
    : TVeBitmapData(width, height, CheckedRowBytes(width, height, width), data) {}

int TVeScreen8::GetPixel(int x, int y) const {
  return GetScanline(y)[StoredX(x)];
}

void TVeScreen8::SetPixel(int x, int y, int value) {
  GetScanline(y)[StoredX(x)] = uint8_t(value);
}

TVeScreen16::TVeScreen16(int width, uint8_t* data, int height)
    : TVeBitmapData(width, height, CheckedRowBytes(width, height, 2 * int64_t(width)), data) {}

int TVeScreen16::GetPixel(int x, int y) const {
  const uint8_t* p = GetScanline(y) + 2 * ptrdiff_t(StoredX(x));
  return p[0] | p[1] << 8;
}

void TVeScreen16::SetPixel(int x, int y, int value) {
  uint8_t* p = GetScanline(y) + 2 * ptrdiff_t(StoredX(x));
  p[0] = uint8_t(value);
  p[1] = uint8_t(value >> 8);
}

// ---- bitmaps ----

int TVeBitmap::DibStride(int width, int bitCount) {
  if (bitCount == 15) bitCount = 16;
  int64_t bits = int64_t(width) * bitCount;
  return int(((bits + 31) & ~int64_t(31)) / 8);
}

TVeBitmap::TVeBitmap(int width, int height, int bitCount, const TVePalette* palette)
    : TVeBitmapData(width, height, 0, nullptr), FPalette(std::make_unique<TVePalette256>()),
      FBitCount(bitCount) {
  // The window system refuses such bitmaps; refuse them the same way before allocating.
  if (width < 0 || height < 0 || int64_t(width) * height > TVeBitmap32::MaxPixels ||
      int64_t(width) * bitCount > int64_t(INT_MAX) - 31)
    throw EVeError("Out of resources");
  FPalette->Assign(palette);
  FRowBytes = DibStride(width, bitCount);

  auto dib = std::make_unique<TVeDib>();
  dib->Width = width;
  dib->Height = height;
  dib->BitCount = bitCount;
  dib->Stride = FRowBytes;
  if (bitCount <= 8) {
    int n = std::min(1 << bitCount, FPalette->GetCount());
    if (bitCount == 1 && FPalette->GetCount() == 0) {
      dib->ColorTable = {0x000000, 0xFFFFFF};
    } else {
      dib->ColorTable.resize(size_t(n));
      for (int i = 0; i < n; ++i)
        dib->ColorTable[size_t(i)] = FPalette->GetRGBQuad(i);
    }
  }
  dib->Bits.assign(size_t(FRowBytes) * size_t(height), 0);
  FData = dib->Bits.data();
  FHandle = std::move(dib);
}

TVeBitmap::~TVeBitmap() = default;

std::unique_ptr<TVeDib> TVeBitmap::TakeHandle() {
  FData = nullptr;
  FWidth = 0;
  FHeight = 0;
  return std::move(FHandle);
}

std::unique_ptr<TVeBitmapList> TVeBitmap::TakeFrames() {
  return std::move(FFrames);
}

TVeBitmap* TVeBitmap::AddFrame(const TVePalette* palette) {
  std::unique_ptr<TVeBitmap> frame;
  int n = palette ? palette->GetCount() : INT_MAX;
  if (n <= 256) {
    if (n > 16)
      frame = std::make_unique<TVeBitmap8>(FWidth, palette, FHeight);
    else if (n < 3)
      frame = std::make_unique<TVeBitmap1>(FWidth, palette, FHeight);
    else
      frame = std::make_unique<TVeBitmap4>(FWidth, palette, FHeight);
  } else {
    frame = std::make_unique<TVeBitmap24>(FWidth, FHeight);
  }
  if (!FFrames) FFrames = std::make_unique<TVeBitmapList>();
  return FFrames->Add(std::move(frame));
}

uint32_t TVeBitmap::TableQuad(int index) const {
  if (!FHandle || index < 0 || size_t(index) >= FHandle->ColorTable.size()) return 0;
  return FHandle->ColorTable[size_t(index)];
}

std::unique_ptr<TVeBitmap32> TVeBitmap::ToBitmap32(int sx, int sy) const {
  if (sx <= 0 || sy <= 0) VeInternalError();
  if (int64_t(FWidth) * sx > INT_MAX || int64_t(FHeight) * sy > INT_MAX)
    throw EVeError("Picture too large");
  auto result = std::make_unique<TVeBitmap32>(FWidth * sx, FHeight * sy);
  // The colour table, not the palette: a 1-bit bitmap without palette still shows black
  // and white, and indices beyond the palette give black.
  uint32_t table[256];
  for (int i = 0; i < 256; ++i)
    table[i] = TableQuad(i) | 0xFF000000u;
  for (int y = 0; y < FHeight; ++y) {
    uint32_t* out = result->Scanline(y * sy);
    // Read in stored order whatever the mirror flag says.
    const uint8_t* row = GetScanline(y);
    for (int x = 0; x < FWidth; ++x) {
      int v;
      switch (FBitCount) {
      case 1:
        v = (row[x >> 3] >> (7 - (x & 7))) & 1;
        break;
      case 4:
        v = (x & 1) ? row[x >> 1] & 15 : row[x >> 1] >> 4;
        break;
      default:
        v = row[x];
        break;
      }
      std::fill_n(out + ptrdiff_t(x) * sx, sx, table[v]);
    }
    for (int k = 1; k < sy; ++k)
      std::memcpy(result->Scanline(y * sy + k), out, sizeof(uint32_t) * size_t(FWidth) * sx);
  }
  return result;
}

std::unique_ptr<TVeBitmap> TVeBitmap::Scale(int sx, int sy) const {
  if (sx <= 0 || sy <= 0) VeInternalError();
  if (int64_t(FWidth) * sx > INT_MAX || int64_t(FHeight) * sy > INT_MAX)
    throw EVeError("Out of resources");
  std::unique_ptr<TVeBitmap> result = CreateSame(FWidth * sx, FHeight * sy);
  // Work in stored columns on both sides, whatever the mirror flags.
  bool saved = Reversed;
  const_cast<TVeBitmap*>(this)->Reversed = false;
  for (int y = 0; y < FHeight; ++y)
    for (int x = 0; x < FWidth; ++x) {
      int v = GetPixel(x, y);
      for (int j = 0; j < sy; ++j)
        for (int i = 0; i < sx; ++i)
          result->SetPixel(x * sx + i, y * sy + j, v);
    }
  const_cast<TVeBitmap*>(this)->Reversed = saved;
  return result;
}

TVeBitmap1::TVeBitmap1(int width, const TVePalette* palette, int height)
    : TVeBitmap(width, height, 1, palette) {}

std::unique_ptr<TVeBitmap> TVeBitmap1::CreateSame(int width, int height) const {
  return std::make_unique<TVeBitmap1>(width, nullptr, height);
}

TVeStdRGBColor TVeBitmap1::GetStdRGB(int x, int y) const {
  return StdRGBOfQuad(GetPixel(x, y) ? 0xFFFFFF : 0);
}

void TVeBitmap1::Invert() {
  // Padding bits flip too; nothing reads them.
  if (FHandle)
    for (uint8_t& b : FHandle->Bits)
      b = uint8_t(~b);
}

TVeBitmap4::TVeBitmap4(int width, const TVePalette* palette, int height)
    : TVeBitmap(width, height, 4, palette) {}

std::unique_ptr<TVeBitmap> TVeBitmap4::CreateSame(int width, int height) const {
  return std::make_unique<TVeBitmap4>(width, FPalette.get(), height);
}

TVeStdRGBColor TVeBitmap4::GetStdRGB(int x, int y) const {
  return FPalette->GetStdRGB(GetPixel(x, y));
}

TVeBitmap8::TVeBitmap8(int width, const TVePalette* palette, int height)
    : TVeBitmap(width, height, 8, palette) {}

std::unique_ptr<TVeBitmap> TVeBitmap8::CreateSame(int width, int height) const {
  return std::make_unique<TVeBitmap8>(width, FPalette.get(), height);
}

TVeStdRGBColor TVeBitmap8::GetStdRGB(int x, int y) const {
  return FPalette->GetStdRGB(GetPixel(x, y));
}

TVeBitmap24::TVeBitmap24(int width, int height) : TVeBitmap(width, height, 24, nullptr) {}

TVeBitmap24::TVeBitmap24(const TVeBitmap32& source)
    : TVeBitmap(source.Width(), source.Height(), 24, nullptr) {
  for (int y = 0; y < FHeight; ++y) {
    const uint32_t* in = source.Scanline(y);
    uint8_t* out = GetScanline(y);
    for (int x = 0; x < FWidth; ++x, out += 3) {
      out[0] = uint8_t(in[x]);
      out[1] = uint8_t(in[x] >> 8);
      out[2] = uint8_t(in[x] >> 16);
    }
  }
}

std::unique_ptr<TVeBitmap32> TVeBitmap24::ToBitmap32(int sx, int sy) const {
  if (sx <= 0 || sy <= 0) VeInternalError();
  if (int64_t(FWidth) * sx > INT_MAX || int64_t(FHeight) * sy > INT_MAX)
    throw EVeError("Picture too large");
  auto result = std::make_unique<TVeBitmap32>(FWidth * sx, FHeight * sy);
  for (int y = 0; y < FHeight; ++y) {
    uint32_t* out = result->Scanline(y * sy);
    const uint8_t* in = GetScanline(y);
    for (int x = 0; x < FWidth; ++x, in += 3)
      std::fill_n(out + ptrdiff_t(x) * sx, sx, VeRGBQuad(in[2], in[1], in[0]));
    for (int k = 1; k < sy; ++k)
      std::memcpy(result->Scanline(y * sy + k), out, sizeof(uint32_t) * size_t(FWidth) * sx);
  }
  return result;
}

std::unique_ptr<TVeBitmap> TVeBitmap24::CreateSame(int width, int height) const {
  return std::make_unique<TVeBitmap24>(width, height);
}

TVeStdRGBColor TVeBitmap24::GetStdRGB(int x, int y) const {
  return StdRGBOfQuad(uint32_t(GetPixel(x, y)));
}

std::unique_ptr<TVeBitmap> VeCreateResultBitmap(int width, const TVePalette* palette, int height,
                                                bool oneBit) {
  int n = palette ? palette->GetCount() : 0;
  if (n > 256) VeInternalError();
  if (n > 16) return std::make_unique<TVeBitmap8>(width, palette, height);
  if (n <= 2 && oneBit) return std::make_unique<TVeBitmap1>(width, palette, height);
  return std::make_unique<TVeBitmap4>(width, palette, height);
}

// ---- lists ----

TVeBitmap* TVeBitmapList::Add(std::unique_ptr<TVeBitmap>&& bitmap) {
  if (!bitmap) VeInternalError();
  FItems.push_back(std::move(bitmap));
  return FItems.back().get();
}

TVeBitmap* TVeBitmapList::GetBitmap(int i) const {
  if (i < 0 || i >= Count()) VeInternalError();
  return FItems[size_t(i)].get();
}

TVeBitmap32* TVeBitmap32List::Add(std::unique_ptr<TVeBitmap32>&& bitmap) {
  if (!bitmap) VeInternalError();
  FItems.push_back(std::move(bitmap));
  return FItems.back().get();
}

TVeBitmap32* TVeBitmap32List::GetBitmap(int i) const {
  if (i < 0 || i >= Count()) VeInternalError();
  return FItems[size_t(i)].get();
}
