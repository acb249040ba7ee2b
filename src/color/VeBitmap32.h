#pragma once
// A 32-bit picture: the form in which every source enters the core and every preview
// leaves it. Pixels are RGB-quads with alpha in the top byte (0xAARRGGBB), i.e. the bytes
// blue, green, red, alpha in memory, as in a 32-bit device-independent bitmap. Rows are
// stored top-down; Scanline(y) hides the order from callers.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

#include "VeErrors.h"

// Leaves new elements uninitialised, for buffers filled completely anyway (by a decoder, or
// by workers each writing their own rows): the zero-fill would be a pass over memory that is
// about to be overwritten, on one thread. Plain records (trivially copyable and destructible)
// skip even their member initialisers; the allocation itself gives them their lifetime.
template <class T> struct TVeNoFillAllocator : std::allocator<T> {
  template <class U> struct rebind { using other = TVeNoFillAllocator<U>; };
  TVeNoFillAllocator() = default;
  template <class U> TVeNoFillAllocator(const TVeNoFillAllocator<U>&) noexcept {}
  template <class U> void construct(U* p) noexcept {
    if constexpr (!(std::is_trivially_copyable_v<U> && std::is_trivially_destructible_v<U>))
      ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... A> void construct(U* p, A&&... a) {
    ::new (static_cast<void*>(p)) U(std::forward<A>(a)...);
  }
};

class TVeBitmap32 {
public:
  // Guards every allocation made for a picture, so a hostile header cannot ask for more.
  static constexpr int64_t MaxPixels = int64_t(1) << 28; // 268 million pixels, 1 GiB

  TVeBitmap32() = default;
  TVeBitmap32(int width, int height, uint32_t fill = 0) { SetSize(width, height, fill); }

  void SetSize(int width, int height, uint32_t fill = 0) {
    if (width < 0 || height < 0 || int64_t(width) * height > MaxPixels)
      throw EVeError("Picture too large");
    FWidth = width;
    FHeight = height;
    FPixels.assign(size_t(width) * size_t(height), fill);
  }
  // The same size without any fill: the caller writes every pixel before reading one.
  void SetSizeUnfilled(int width, int height) {
    if (width < 0 || height < 0 || int64_t(width) * height > MaxPixels)
      throw EVeError("Picture too large");
    FWidth = width;
    FHeight = height;
    FPixels.clear();
    FPixels.resize(size_t(width) * size_t(height));
  }

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  bool Empty() const { return FWidth == 0 || FHeight == 0; }

  uint32_t* Scanline(int y) { return FPixels.data() + size_t(y) * size_t(FWidth); }
  const uint32_t* Scanline(int y) const { return FPixels.data() + size_t(y) * size_t(FWidth); }
  uint32_t& Pixel(int x, int y) { return Scanline(y)[x]; }
  uint32_t Pixel(int x, int y) const { return Scanline(y)[x]; }

  uint32_t* Data() { return FPixels.data(); }
  const uint32_t* Data() const { return FPixels.data(); }
  size_t PixelCount() const { return FPixels.size(); }

  void Fill(uint32_t value) { std::fill(FPixels.begin(), FPixels.end(), value); }

  bool operator==(const TVeBitmap32& o) const {
    return FWidth == o.FWidth && FHeight == o.FHeight && FPixels == o.FPixels;
  }

private:
  int FWidth = 0;
  int FHeight = 0;
  std::vector<uint32_t, TVeNoFillAllocator<uint32_t>> FPixels;
};

inline constexpr uint32_t VeRGBQuad(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
  return uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | b;
}
