#pragma once
// Grids of palette indices: raw screen layouts over memory owned by a platform engine, and
// displayable bitmaps that own their pixels and carry a palette. Every container has a mirror
// flag: while Reversed is set, column x addresses the stored column Width - 1 - x, so a
// serpentine scan can run every row "left to right" and still write where it read.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "VeBitmap32.h"
#include "VeColor.h"
#include "VePalette.h"

class TVeData {
public:
  virtual ~TVeData() = default;

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  int RowBytes() const { return FRowBytes; }
  bool Reversed = false;

  virtual int GetPixel(int x, int y) const = 0;
  // Writes only the value's low bits into its field; neighbouring fields keep their bits.
  virtual void SetPixel(int x, int y, int value) = 0;

protected:
  TVeData(int width, int height, int rowBytes)
      : FWidth(width), FHeight(height), FRowBytes(rowBytes) {}
  int StoredX(int x) const { return Reversed ? FWidth - 1 - x : x; }

  int FWidth;
  int FHeight;
  int FRowBytes;
};

class TVeBitmapData : public TVeData {
public:
  uint8_t* Data() const { return FData; }
  // Rows are top-down here; bitmaps override this with their bottom-up layout.
  virtual uint8_t* GetScanline(int y) const { return FData + ptrdiff_t(y) * FRowBytes; }

protected:
  TVeBitmapData(int width, int height, int rowBytes, uint8_t* data)
      : TVeData(width, height, rowBytes), FData(data) {}

  uint8_t* FData;
};

// Screen grids of the target machines. They never own their memory, which must hold
// RowBytes() * height bytes.
class TVeScreen1 : public TVeBitmapData {
public:
  TVeScreen1(int width, uint8_t* data, int height);
  int GetPixel(int x, int y) const override;
  void SetPixel(int x, int y, int value) override;
};

class TVeScreen2 : public TVeBitmapData {
public:
  TVeScreen2(int width, uint8_t* data, int height);
  int GetPixel(int x, int y) const override;
  void SetPixel(int x, int y, int value) override;
};

class TVeScreen4 : public TVeBitmapData {
public:
  TVeScreen4(int width, uint8_t* data, int height);
  int GetPixel(int x, int y) const override;
  void SetPixel(int x, int y, int value) override;
};

class TVeScreen8 : public TVeBitmapData {
public:
  TVeScreen8(int width, uint8_t* data, int height);
  int GetPixel(int x, int y) const override;
  void SetPixel(int x, int y, int value) override;
};

class TVeScreen16 : public TVeBitmapData {
public:
  TVeScreen16(int width, uint8_t* data, int height);
  int GetPixel(int x, int y) const override;
  void SetPixel(int x, int y, int value) override;
};

// The pixel memory of a bitmap with everything a BMP writer or a display needs: rows are
// bottom-up with the device-independent stride (padded to 4 bytes), and the colour table
// holds the RGB-quads a BMP file stores after its information header.
struct TVeDib {
  int Width = 0;
  int Height = 0;
  int BitCount = 0;
  int Stride = 0;
  std::vector<uint32_t> ColorTable;
  std::vector<uint8_t> Bits;
};

class TVeBitmapList;

class TVeBitmap : public TVeBitmapData {
public:
  ~TVeBitmap() override;
  TVeBitmap(const TVeBitmap&) = delete;
  TVeBitmap& operator=(const TVeBitmap&) = delete;

  // Device-independent stride of a row; 15 bits count as 16.
  static int DibStride(int width, int bitCount);

  const TVePalette256& Palette() const { return *FPalette; }
  int BitCount() const { return FBitCount; }

  // The owned pixel memory, or nullptr once handed over.
  const TVeDib* Handle() const { return FHandle.get(); }
  // Hands the pixel memory to the caller. The bitmap is left empty (0 x 0, no data), so
  // nothing can reach memory it no longer owns.
  std::unique_ptr<TVeDib> TakeHandle();

  // Further frames of a flickering result; nullptr until the first is added.
  TVeBitmapList* Frames() const { return FFrames.get(); }
  std::unique_ptr<TVeBitmapList> TakeFrames();
  // Appends a new bitmap of the same size whose kind suits the palette; the list owns it.
  TVeBitmap* AddFrame(const TVePalette* palette);

  uint8_t* GetScanline(int y) const override {
    return FData + ptrdiff_t(FHeight - 1 - y) * FRowBytes;
  }

  // An sx x sy block of RGB-quads (alpha 255) for every pixel.
  virtual std::unique_ptr<TVeBitmap32> ToBitmap32(int sx = 1, int sy = 1) const;
  virtual std::unique_ptr<TVeBitmap> CreateSame(int width, int height) const = 0;
  virtual TVeStdRGBColor GetStdRGB(int x, int y) const = 0;

  // CreateSame(sx * w, sy * h) filled by pixel repetition.
  std::unique_ptr<TVeBitmap> Scale(int sx, int sy) const;

protected:
  TVeBitmap(int width, int height, int bitCount, const TVePalette* palette);
  // The colour table entry of an index, 0 beyond the table.
  uint32_t TableQuad(int index) const;

  std::unique_ptr<TVePalette256> FPalette;
  int FBitCount;
  std::unique_ptr<TVeDib> FHandle;
  std::unique_ptr<TVeBitmapList> FFrames;
};

class TVeBitmap1 : public TVeBitmap {
public:
  // Without a palette the bitmap shows black and white.
  TVeBitmap1(int width, const TVePalette* palette, int height);
  int GetPixel(int x, int y) const override {
    x = StoredX(x);
    return (GetScanline(y)[x >> 3] >> (7 - (x & 7))) & 1;
  }
  void SetPixel(int x, int y, int value) override {
    x = StoredX(x);
    uint8_t& b = GetScanline(y)[x >> 3];
    int shift = 7 - (x & 7);
    b = uint8_t((b & ~(1 << shift)) | ((value & 1) << shift));
  }
  std::unique_ptr<TVeBitmap> CreateSame(int width, int height) const override;
  TVeStdRGBColor GetStdRGB(int x, int y) const override;
  void Invert();
};

class TVeBitmap4 : public TVeBitmap {
public:
  TVeBitmap4(int width, const TVePalette* palette, int height);
  int GetPixel(int x, int y) const override {
    x = StoredX(x);
    uint8_t b = GetScanline(y)[x >> 1];
    return (x & 1) ? b & 15 : b >> 4;
  }
  void SetPixel(int x, int y, int value) override {
    x = StoredX(x);
    uint8_t& b = GetScanline(y)[x >> 1];
    b = (x & 1) ? uint8_t((b & 0xF0) | (value & 15)) : uint8_t((b & 0x0F) | (value & 15) << 4);
  }
  std::unique_ptr<TVeBitmap> CreateSame(int width, int height) const override;
  TVeStdRGBColor GetStdRGB(int x, int y) const override;
};

class TVeBitmap8 : public TVeBitmap {
public:
  TVeBitmap8(int width, const TVePalette* palette, int height);
  int GetPixel(int x, int y) const override { return GetScanline(y)[StoredX(x)]; }
  void SetPixel(int x, int y, int value) override { GetScanline(y)[StoredX(x)] = uint8_t(value); }
  std::unique_ptr<TVeBitmap> CreateSame(int width, int height) const override;
  TVeStdRGBColor GetStdRGB(int x, int y) const override;
};

// Values are RGB-quads (red << 16 | green << 8 | blue), stored as blue, green, red bytes.
class TVeBitmap24 : public TVeBitmap {
public:
  TVeBitmap24(int width, int height);
  explicit TVeBitmap24(const TVeBitmap32& source);
  int GetPixel(int x, int y) const override {
    const uint8_t* p = GetScanline(y) + 3 * ptrdiff_t(StoredX(x));
    return p[2] << 16 | p[1] << 8 | p[0];
  }
  void SetPixel(int x, int y, int value) override {
    uint8_t* p = GetScanline(y) + 3 * ptrdiff_t(StoredX(x));
    p[0] = uint8_t(value);
    p[1] = uint8_t(value >> 8);
    p[2] = uint8_t(value >> 16);
  }
  std::unique_ptr<TVeBitmap32> ToBitmap32(int sx = 1, int sy = 1) const override;
  std::unique_ptr<TVeBitmap> CreateSame(int width, int height) const override;
  TVeStdRGBColor GetStdRGB(int x, int y) const override;
};

// The bitmap kind a dithering result gets for a palette of `count` colours: more than 256 is
// an internal error, more than 16 gives 8 bits, at most 2 gives 1 bit when asked for, else 4.
std::unique_ptr<TVeBitmap> VeCreateResultBitmap(int width, const TVePalette* palette, int height,
                                                bool oneBit);

class TVeBitmapList {
public:
  // Takes ownership; the caller's pointer is left empty. Returns the stored bitmap.
  TVeBitmap* Add(std::unique_ptr<TVeBitmap>&& bitmap);
  int Count() const { return int(FItems.size()); }
  TVeBitmap* GetBitmap(int i) const;
  TVeBitmap* operator[](int i) const { return GetBitmap(i); }

private:
  std::vector<std::unique_ptr<TVeBitmap>> FItems;
};

class TVeBitmap32List {
public:
  TVeBitmap32* Add(std::unique_ptr<TVeBitmap32>&& bitmap);
  int Count() const { return int(FItems.size()); }
  TVeBitmap32* GetBitmap(int i) const;
  TVeBitmap32* operator[](int i) const { return GetBitmap(i); }

private:
  std::vector<std::unique_ptr<TVeBitmap32>> FItems;
};
