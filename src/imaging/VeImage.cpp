#include "VeImage.h"

#include <algorithm>
#include <cmath>

#include "VeErrors.h"
#include "VeFlickMap.h"
#include "VeNearestGrid.h"
#include "VeThresholdMatrix.h"

// ---- kernels ----

namespace {

constexpr TVeKernel MakeKernel(int divisor, std::initializer_list<TVeKernelTap> taps) {
  TVeKernel k;
  k.Divisor = divisor;
  for (const TVeKernelTap& t : taps)
    k.Taps[k.Count++] = t;
  return k;
}

const TVeKernel Kernels[VeKernelCount] = {
    TVeKernel{},
    // Floyd-Steinberg
    MakeKernel(16, {{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}}),
    // Jarvis, Judice & Ninke
    MakeKernel(48, {{1, 0, 7},
                    {2, 0, 5},
                    {-2, 1, 3},
                    {-1, 1, 5},
                    {0, 1, 7},
                    {1, 1, 5},
                    {2, 1, 3},
                    {-2, 2, 1},
                    {-1, 2, 3},
                    {0, 2, 5},
                    {1, 2, 3},
                    {2, 2, 1}}),
    // Stucki
    MakeKernel(42, {{1, 0, 8},
                    {2, 0, 4},
                    {-2, 1, 2},
                    {-1, 1, 4},
                    {0, 1, 8},
                    {1, 1, 4},
                    {2, 1, 2},
                    {-2, 2, 1},
                    {-1, 2, 2},
                    {0, 2, 4},
                    {1, 2, 2},
                    {2, 2, 1}}),
    // Burkes
    MakeKernel(32, {{1, 0, 8}, {2, 0, 4}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4}, {2, 1, 2}}),
    // Sierra
    MakeKernel(32, {{1, 0, 5},
                    {2, 0, 3},
                    {-2, 1, 2},
                    {-1, 1, 4},
                    {0, 1, 5},
                    {1, 1, 4},
                    {2, 1, 2},
                    {-1, 2, 2},
                    {0, 2, 3},
                    {1, 2, 2}}),
    // Two-row Sierra
    MakeKernel(16, {{1, 0, 4}, {2, 0, 3}, {-2, 1, 1}, {-1, 1, 2}, {0, 1, 3}, {1, 1, 2}, {2, 1, 1}}),
    // Sierra Lite
    MakeKernel(4, {{1, 0, 2}, {-1, 1, 1}, {0, 1, 1}}),
    // Atkinson: six eighths, a quarter of the error is dropped
    MakeKernel(8, {{1, 0, 1}, {2, 0, 1}, {-1, 1, 1}, {0, 1, 1}, {1, 1, 1}, {0, 2, 1}}),
};

inline void CheckAbort(const TVeCancelFlag* abort) {
  if (abort && abort->load(std::memory_order_relaxed) != 0) VeAbort();
}

// Luminance exactly as the colour record computes it.
inline double Lum(double r, double g, double b) {
  return VeLumR * r + VeLumG * g + VeLumB * b;
}

inline double Dist(double r1, double g1, double b1, const TVeSearchEntry& e) {
  const double dr = r1 - e.R, dg = g1 - e.G, db = b1 - e.B;
  return VeLumR * dr * dr + VeLumG * dg * dg + VeLumB * db * db;
}

// Kernel taps prepared for one row: weight and the share's divisor. A power-of-two divisor
// is applied as a multiplication by its exact reciprocal, which rounds identically.
struct TRowTap {
  int Offset; // stored-column offset in scan direction
  int Row;    // 0..2
  double Weight;
};

struct TShare {
  double Div;
  double Recip;
  bool Pow2;
  explicit TShare(int divisor)
      : Div(divisor), Recip(1.0 / divisor), Pow2((divisor & (divisor - 1)) == 0) {}
  double operator()(double e, double w) const { return Pow2 ? e * w * Recip : e * w / Div; }
};

// Writes an index into a result bitmap at a stored column, whatever its kind.
inline void PutIndex(uint8_t* row, int bitCount, int sx, int v) {
  switch (bitCount) {
  case 1: {
    uint8_t& b = row[sx >> 3];
    const int shift = 7 - (sx & 7);
    b = uint8_t((b & ~(1 << shift)) | ((v & 1) << shift));
    break;
  }
  case 4: {
    uint8_t& b = row[sx >> 1];
    b = (sx & 1) ? uint8_t((b & 0xF0) | (v & 15)) : uint8_t((b & 0x0F) | (v & 15) << 4);
    break;
  }
  case 8:
    row[sx] = uint8_t(v);
    break;
  default: {
    uint8_t* p = row + 3 * sx;
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
  }
  }
}

// Runs fn(first, last) over row ranges, on worker threads when there are several.
template <class Fn> void ForRows(int rows, Fn fn) {
  VeForRanges(rows, 64, nullptr, fn);
}

void CheckSize(int width, int height) {
  if (width < 0 || height < 0 || int64_t(width) * height > TVeBitmap32::MaxPixels)
    throw EVeError("Picture too large");
}

// The nearest search of a level palette, done as the palette does it (the two levels around
// each channel, eight combinations in the same order) but with a bucket table in place of
// the binary search and without a virtual call per pixel.
class TLevelSearch {
public:
  explicit TLevelSearch(const TVePaletteRGB& p) : FPalette(p) {
    for (int ch = 0; ch < 3; ++ch) {
      const TVePaletteRGB::TChannel& c = p.Channel(ch);
      FLin[ch] = c.Lin.data();
      FCount[ch] = c.Count;
      int a = 0;
      for (int b = 0; b < Buckets; ++b) {
        const double start = double(b) / Buckets;
        while (a < c.Count - 1 && c.Lin[size_t(a)] < start)
          ++a;
        FStart[ch][b] = int16_t(a);
      }
    }
  }

  int Nearest(double r, double g, double b, int lv[3]) const {
    int lo[3][2];
    Bracket(0, r, lo[0]);
    Bracket(1, g, lo[1]);
    Bracket(2, b, lo[2]);
    double best = 0;
    int br = -1, bg = 0, bb = 0;
    for (int ri = 0; ri < 2; ++ri) {
      const double dr = r - FLin[0][lo[0][ri]];
      for (int gi = 0; gi < 2; ++gi) {
        const double dg = g - FLin[1][lo[1][gi]];
        for (int bi = 0; bi < 2; ++bi) {
          const double db = b - FLin[2][lo[2][bi]];
          const double d = VeLumR * dr * dr + VeLumG * dg * dg + VeLumB * db * db;
          if (br < 0 || d < best) {
            best = d;
            br = lo[0][ri];
            bg = lo[1][gi];
            bb = lo[2][bi];
          }
        }
      }
    }
    lv[0] = br;
    lv[1] = bg;
    lv[2] = bb;
    return FPalette.IndexOfLevels(br, bg, bb);
  }

private:
  static constexpr int Buckets = 4096;

  void Bracket(int ch, double v, int out[2]) const {
    const double* l = FLin[ch];
    const int n = FCount[ch];
    if (v < l[0]) {
      out[0] = out[1] = 0;
    } else if (v >= l[n - 1]) {
      out[0] = out[1] = n - 1;
    } else {
      // Every level before the bucket's start lies below the bucket, so below v.
      int a = FStart[ch][std::clamp(int(v * Buckets), 0, Buckets - 1)];
      while (l[a] < v)
        ++a;
      out[0] = a > 0 ? a - 1 : 0;
      out[1] = out[0] + 1;
    }
  }

  const TVePaletteRGB& FPalette;
  const double* FLin[3];
  int FCount[3];
  int16_t FStart[3][Buckets];
};

// The distinct levels of one channel of a palette, or of its luminance. The palette driver
// spreads a value over the two levels around it: in linear light, so that a flat area keeps
// its mean, and with the local step, as machine levels are seldom evenly spaced in linear
// light (0, 0.22 and 1 on the CPC).
struct TOrderedLevels {
  std::vector<double> L;
  void Finish() {
    std::sort(L.begin(), L.end());
    L.erase(std::unique(L.begin(), L.end()), L.end());
  }
  // The step between the levels around v; none outside the range, where the end level is
  // the answer anyway, and none for a value on the top level.
  double Gap(double v) const {
    const auto it = std::upper_bound(L.begin(), L.end(), v);
    if (it == L.begin() || it == L.end()) return 0.0;
    return *it - *(it - 1);
  }
};

// Mean step between neighbouring levels, 0 for fewer than two.
double MeanGap(std::vector<double> levels) {
  std::sort(levels.begin(), levels.end());
  levels.erase(std::unique(levels.begin(), levels.end()), levels.end());
  if (levels.size() < 2) return 0.0;
  return (levels.back() - levels.front()) / double(levels.size() - 1);
}

} // namespace

double VeOrderedSpreadOf(const double* values, int count, int channels) {
  // Channels without a step (all colours share the level) do not count.
  double sum = 0.0;
  int used = 0;
  for (int c = 0; c < channels; ++c) {
    std::vector<double> v(size_t(std::max(count, 0)));
    for (int i = 0; i < count; ++i)
      v[size_t(i)] = values[size_t(i) * size_t(channels) + size_t(c)];
    const double g = MeanGap(std::move(v));
    if (g > 0) {
      sum += g;
      ++used;
    }
  }
  return used ? sum / used : 0.0;
}

double VeOrderedSpread(const TVePalette& palette, bool gray) {
  if (const auto* rgb = dynamic_cast<const TVePaletteRGB*>(&palette); rgb && !gray) {
    double sum = 0.0;
    int used = 0;
    for (int c = 0; c < 3; ++c) {
      const auto& ch = rgb->Channel(c);
      const double g = MeanGap(std::vector<double>(ch.Lin.begin(), ch.Lin.begin() + ch.Count));
      if (g > 0) {
        sum += g;
        ++used;
      }
    }
    return used ? sum / used : 0.0;
  }
  const int n = std::max(palette.GetCount(), 0);
  std::vector<double> v;
  v.reserve(size_t(n) * (gray ? 1 : 3));
  for (int i = 0; i < n; ++i) {
    if (gray) {
      v.push_back(palette.GetLinGray(i));
    } else {
      const TVeLinRGBColor c = palette.GetLinRGB(i);
      v.insert(v.end(), {c.R, c.G, c.B});
    }
  }
  return VeOrderedSpreadOf(v.data(), n, gray ? 1 : 3);
}

const TVeKernel& VeDitherKernel(int method) {
  // Drivers without the ordered methods diffuse as Floyd-Steinberg rather than not at all.
  if (VeIsOrderedDither(method)) return Kernels[1];
  if (method <= 0 || method >= VeKernelCount) return Kernels[0];
  return Kernels[method];
}

// ---- construction ----

TVeImage::TVeImage(int width, int height) {
  CheckSize(width, height);
  FWidth = width;
  FHeight = height;
  FPixels.assign(size_t(width) * size_t(height), TVePixel());
}

// The pixel buffer leaves its records unwritten until the image fills them.
static_assert(std::is_trivially_copyable_v<TVePixel> && std::is_trivially_destructible_v<TVePixel>);

TVeImage::TVeImage(const TVeBitmap32& source) : TVeImage(source, true) {}

TVeImage::TVeImage(const TVeBitmap32& source, bool fill) {
  CheckSize(source.Width(), source.Height());
  FWidth = source.Width();
  FHeight = source.Height();
  // Written once, by the workers row by row: a default fill first would only be
  // overwritten, and on one thread.
  FPixels.resize(size_t(FWidth) * size_t(FHeight));
  if (fill) ForRows(FHeight, [&](int first, int last) { FillRows(source, first, last); });
}

void TVeImage::FillRows(const TVeBitmap32& source, int first, int last) {
  for (int y = first; y <= last; ++y) {
    const uint32_t* in = source.Scanline(y);
    TVePixel* out = Scanline(y);
    for (int x = 0; x < FWidth; ++x)
      out[x].InitRGBQuad(in[x] & 0xFFFFFF);
  }
}

TVeImage::TVeImage(const TVeImage& other)
    : Reversed(other.Reversed), TotalError(other.TotalError), FPixels(other.FPixels),
      FWidth(other.FWidth), FHeight(other.FHeight) {}

TVeImage& TVeImage::operator=(const TVeImage& other) {
  if (this != &other) {
    Reversed = other.Reversed;
    TotalError = other.TotalError;
    FPixels = other.FPixels;
    FWidth = other.FWidth;
    FHeight = other.FHeight;
  }
  return *this;
}

TVeImage::~TVeImage() = default;

// ---- whole-image operations ----

std::unique_ptr<TVeBitmap32> TVeImage::ToBitmap32() const {
  auto result = std::make_unique<TVeBitmap32>(FWidth, FHeight);
  ForRows(FHeight, [&](int first, int last) {
    for (int y = first; y <= last; ++y) {
      const TVePixel* in = Scanline(y);
      uint32_t* out = result->Scanline(y);
      for (int x = 0; x < FWidth; ++x)
        out[x] = in[x].GetRGBQuad() | 0xFF000000u;
    }
  });
  return result;
}

double TVeImage::MaxLuminance() const {
  double m = 0.0;
  for (const TVePixel& c : FPixels)
    m = std::max(m, c.GetLinGray());
  return m;
}

void TVeImage::MakeGray() {
  ForRows(FHeight, [&](int first, int last) {
    for (int y = first; y <= last; ++y) {
      TVePixel* row = Scanline(y);
      for (int x = 0; x < FWidth; ++x)
        row[x].MakeGray();
    }
  });
}

void TVeImage::ApplyFixes(int saturationFix, int lightnessFix) {
  const TVeColorFix fix(lightnessFix, saturationFix);
  if (!fix.Active()) return;
  ForRows(FHeight, [&](int first, int last) { ApplyFixesRows(fix, first, last); });
}

void TVeImage::ApplyFixesRows(const TVeColorFix& fix, int first, int last) {
  if (!fix.Active()) return;
  for (int y = first; y <= last; ++y) {
    TVePixel* row = Scanline(y);
    for (int x = 0; x < FWidth; ++x) {
      TVeColor c = row[x].Color();
      fix.Apply(c);
      row[x].Assign(c);
    }
  }
}

void TVeImage::PrepareAll() {
  ForRows(FHeight, [&](int first, int last) {
    for (int y = first; y <= last; ++y) {
      const TVePixel* row = Scanline(y);
      for (int x = 0; x < FWidth; ++x)
        row[x].GetLinGray();
    }
  });
}

void TVeImage::LimitLuminance(double y) {
  LimitLuminanceRows(y, 0, FHeight - 1);
}

void TVeImage::LimitLuminanceRows(double y, int first, int last) {
  for (int row = first; row <= last; ++row) {
    TVePixel* c = Scanline(row);
    for (int x = 0; x < FWidth; ++x) {
      const double l = c[x].GetLinGray();
      if (l > y) {
        const double f = y / l;
        const TVeLinRGBColor v = c[x].GetLinRGB();
        c[x].SetLinRGB(v.R * f, v.G * f, v.B * f);
      }
    }
  }
}

void TVeImage::FitLuminance(const TVePalette256& palette) {
  double lo = 1.0, hi = 0.0;
  for (int i = 0; i < palette.GetCount(); ++i) {
    const TVeColor& e = palette.Color(i);
    if (e.Excluded) continue;
    lo = std::min(lo, e.GetLinGray());
    hi = std::max(hi, e.GetLinGray());
  }
  for (TVePixel& c : FPixels) {
    const double l = c.GetLinGray();
    const TVeLinRGBColor v = c.GetLinRGB();
    if (l > hi) {
      const double f = hi / l;
      c.SetLinRGB(v.R * f, v.G * f, v.B * f);
    } else if (l < lo) {
      auto lift = [&](double ch) { return 1 - (1 - ch) * (1 - lo) / (1 - l); };
      c.SetLinRGB(lift(v.R), lift(v.G), lift(v.B));
    }
  }
}

void TVeImage::SetHeight(int height) {
  CheckSize(FWidth, height);
  FHeight = height;
  FPixels.assign(size_t(FWidth) * size_t(height), TVePixel());
}

void TVeImage::CopyRows(const TVeImage& image, int firstRow) {
  // Reading past the source's last row would copy memory that is not a picture.
  if (image.FWidth != FWidth || firstRow < 0 || firstRow + int64_t(FHeight) > image.FHeight)
    VeInternalError();
  std::copy_n(image.Scanline(firstRow), size_t(FWidth) * size_t(FHeight), FPixels.begin());
}

void TVeImage::CollectColors(TVePalette256& palette, int firstRow, int rows) const {
  firstRow = std::clamp(firstRow, 0, FHeight);
  int last = rows <= 0 ? FHeight : std::min<int64_t>(int64_t(firstRow) + rows, FHeight);
  for (int y = firstRow; y < last; ++y) {
    const TVePixel* row = Scanline(y);
    for (int x = 0; x < FWidth; ++x) {
      const TVeStdRGBColor s = row[x].GetStdRGB();
      palette.AddUnique(s.R, s.G, s.B);
    }
  }
}

std::vector<uint32_t> VeFixedQuads(const TVeBitmap32& source, int saturationFix, int lightnessFix,
                                   bool gray) {
  const int w = source.Width(), h = source.Height();
  std::vector<uint32_t> quads(size_t(std::max(w, 0)) * size_t(std::max(h, 0)));
  const TVeColorFix fix(lightnessFix, saturationFix);
  ForRows(h, [&](int first, int last) {
    for (int y = first; y <= last; ++y) {
      const uint32_t* in = source.Scanline(y);
      uint32_t* out = quads.data() + size_t(y) * size_t(w);
      for (int x = 0; x < w; ++x) {
        TVePixel p;
        p.InitRGBQuad(in[x] & 0xFFFFFF);
        if (fix.Active()) {
          TVeColor c = p.Color();
          fix.Apply(c);
          p.Assign(c);
        }
        if (gray) p.MakeGray();
        out[x] = p.GetRGBQuad();
      }
    }
  });
  return quads;
}

// ---- diffusion of a single error, as the cell images use it ----

void TVeImage::DiffuseGray(int x, int y, double error, int method) {
  const TVeKernel& k = VeDitherKernel(method);
  const TShare share(k.Divisor);
  for (int i = 0; i < k.Count; ++i) {
    const TVeKernelTap& t = k.Taps[i];
    const int tx = x + t.DX, ty = y + t.DY;
    if (tx < 0 || tx >= FWidth || ty >= FHeight) continue;
    TVePixel* p = GetPixels(tx, ty);
    p->SetLinGray(p->GetLinGray() + share(error, t.Weight));
  }
}

void TVeImage::DiffuseColor(int x, int y, const TVeLinRGBColor& error, int method) {
  const TVeKernel& k = VeDitherKernel(method);
  const TShare share(k.Divisor);
  for (int i = 0; i < k.Count; ++i) {
    const TVeKernelTap& t = k.Taps[i];
    const int tx = x + t.DX, ty = y + t.DY;
    if (tx < 0 || tx >= FWidth || ty >= FHeight) continue;
    TVePixel* p = GetPixels(tx, ty);
    const TVeLinRGBColor v = p->GetLinRGB();
    p->SetLinRGB(v.R + share(error.R, t.Weight), v.G + share(error.G, t.Weight),
                 v.B + share(error.B, t.Weight));
  }
}

// ---- the diffusion window ----
// The drivers keep the pixels under diffusion in a small window of plain doubles instead of
// going through the colour records for every tap. The arithmetic is the same as adding each
// share to the record's linear value, in the same order; a record is written once, when its
// pixel is quantized or when the window moves past it.

void TVeImage::WindowBegin(int rows, bool gray) {
  FWindowRows = std::min(FHeight, rows + 2);
  FWindow.assign(size_t(4) * size_t(FWidth + 4), TWork{});
  for (int y = 0; y < 2 && y < FWindowRows; ++y)
    WindowLoad(y, gray);
}

void TVeImage::WindowLoad(int y, bool gray) {
  TWork* w = WindowRow(y);
  if (FSource) {
    // The records the image would hold, one at a time.
    const uint32_t* in = FSource->Scanline(y);
    TVePixel p;
    for (int x = 0; x < FWidth; ++x) {
      p.InitRGBQuad(in[x] & 0xFFFFFF);
      const TVeLinRGBColor& v = p.GetLinRGB();
      w[x].R = v.R;
      w[x].G = v.G;
      w[x].B = v.B;
      if (gray) {
        w[x].Y = p.GetLinGray();
        w[x].YValid = true;
      }
    }
    return;
  }
  const TVePixel* row = Scanline(y);
  for (int x = 0; x < FWidth; ++x) {
    const TVeLinRGBColor& v = row[x].GetLinRGB();
    w[x].R = v.R;
    w[x].G = v.G;
    w[x].B = v.B;
    if (gray) {
      w[x].Y = row[x].GetLinGray();
      w[x].YValid = true;
    }
  }
}

void TVeImage::WindowStore(int y, int fromX, int toX) {
  if (FSource) return; // nobody reads the image after the dither
  TWork* w = WindowRow(y);
  TVePixel* row = Scanline(y);
  for (int x = fromX; x < toX; ++x)
    row[x].SetLinRGB(w[x].R, w[x].G, w[x].B);
}

// ---- palette and trial drivers ----

template <bool Gray>
void TVeImage::DitherAreaT(const TVeCancelFlag* abort, const TVeDitherOptions& options, int rows,
                           int columns, const TVePalette* output, const TVePalette& search,
                           TVeBitmap* bitmap, TVeData* data) {
  const int n = search.GetCount();
  if (n <= 0) VeInternalError();
  // Palettes of up to 256 colours are scanned here from a prepared copy; gray search in an
  // implicit palette goes through its own gray palette.
  const auto* search256 = dynamic_cast<const TVePalette256*>(&search);
  const bool localScan = n <= 256 && (!Gray || search256);
  std::vector<TVeSearchEntry> entries;
  TVeGreenIndex byGreen; // large palettes: the same answers as the scan, found sooner
  TVeNearestGrid grid;   // sooner still, for values inside its range
  // A perceptual distance: the entries in its space, scanned whole; palettes too large for
  // that search themselves.
  const int distance = Gray ? VeMethodDeltaRGB : options.Distance;
  if (!VeValidDistance(distance)) VeInternalError();
  std::vector<TVePerceptual> perceptual;
  if (distance != VeMethodDeltaRGB && n <= TVePalette256::MaxColors) {
    perceptual.resize(size_t(n));
    for (int i = 0; i < n; ++i)
      perceptual[size_t(i)] = VePerceptualOfLin(distance, search.GetLinRGB(i));
  }
  if (localScan) {
    entries.resize(size_t(n));
    for (int i = 0; i < n; ++i) {
      const TVeLinRGBColor v = search.GetLinRGB(i);
      entries[size_t(i)] = {v.R, v.G, v.B, search.GetLinGray(i)};
    }
    if (!Gray && distance == VeMethodDeltaRGB && n >= TVePalette256::GreenSearchMin) {
      byGreen.Build(entries.data(), n);
      grid.Build(entries.data(), n);
    }
  }
  // Output index and chosen colour per search index, filled on first use.
  std::vector<int> outIndex;
  std::vector<TVeSearchEntry> outColor;
  if (output) {
    outIndex.assign(size_t(n), -1);
    outColor.resize(size_t(n));
  }

  const int method = options.DitherMethod;
  const bool ordered = VeIsOrderedDither(method);
  const TVeKernel& kernel = VeDitherKernel(ordered ? 0 : method);
  const TShare share(kernel.Divisor);
  const double strength = options.ErrorDiffusion;
  const bool serpentine = options.Serpentine;
  TOrderedLevels levels[3];
  if (ordered) {
    if (const auto* rgb = dynamic_cast<const TVePaletteRGB*>(&search); rgb && !Gray) {
      for (int c = 0; c < 3; ++c)
        levels[c].L.assign(rgb->Channel(c).Lin.begin(),
                           rgb->Channel(c).Lin.begin() + rgb->Channel(c).Count);
    } else {
      for (int i = 0; i < n; ++i) {
        if constexpr (Gray) {
          levels[0].L.push_back(search.GetLinGray(i));
        } else {
          const TVeLinRGBColor c = search.GetLinRGB(i);
          levels[0].L.push_back(c.R);
          levels[1].L.push_back(c.G);
          levels[2].L.push_back(c.B);
        }
      }
    }
    for (auto& l : levels)
      l.Finish();
  }
  TVeColor probe;

  WindowBegin(rows, Gray);
  for (int y = 0; y < rows; ++y) {
    if (y + 2 < FWindowRows) WindowLoad(y + 2, Gray);
    const int dir = Reversed ? -1 : 1;
    TWork* rowp[3];
    for (int d = 0; d < 3; ++d)
      rowp[d] =
          y + d < FWindowRows ? WindowRow(y + d) : FWindow.data() + 3 * size_t(FWidth + 4) + 2;
    TRowTap taps[12];
    for (int i = 0; i < kernel.Count; ++i)
      taps[i] = {kernel.Taps[i].DX * dir, kernel.Taps[i].DY, double(kernel.Taps[i].Weight)};
    const int tapCount = kernel.Count;
    uint8_t* bmpRow = bitmap ? bitmap->GetScanline(y) : nullptr;
    const int bitCount = bitmap ? bitmap->BitCount() : 0;
    if (data) data->Reversed = Reversed;
    TWork* w0 = rowp[0];
    TVePixel* pixRow = FSource ? nullptr : Scanline(y);

    for (int x = 0; x < columns; ++x) {
      CheckAbort(abort);
      const int sx = Reversed ? FWidth - 1 - x : x;
      TWork& cell = w0[sx];
      const double vr = cell.R, vg = cell.G, vb = cell.B;
      // The searched value; the error is still measured from the pixel's own.
      double pr = vr, pg = vg, pb = vb, amount = 0.0;
      if (ordered) {
        amount = (VeOrderedThreshold(method, sx, y) - 0.5) * strength / 100;
        if constexpr (!Gray) {
          pr += amount * levels[0].Gap(vr);
          pg += amount * levels[1].Gap(vg);
          pb += amount * levels[2].Gap(vb);
        }
      }
      int k;
      if constexpr (Gray) {
        double vy = cell.YValid ? cell.Y : Lum(vr, vg, vb);
        if (ordered) vy += amount * levels[0].Gap(vy);
        if (localScan) {
          k = 0;
          double best = DeltaGray(vy, entries[0].Y);
          for (int i = 1; i < n; ++i) {
            const double d = DeltaGray(vy, entries[size_t(i)].Y);
            if (d < best) {
              best = d;
              k = i;
            }
          }
        } else {
          probe.SetLinGray(vy);
          k = search.FindNearestGray(probe);
        }
      } else if (distance != VeMethodDeltaRGB) {
        double found;
        k = perceptual.empty()
                ? search.FindNearestBy(distance, {pr, pg, pb})
                : VeNearestPerceptual(distance, VePerceptualOfLin(distance, {pr, pg, pb}),
                                      perceptual.data(), n, found);
      } else {
        double found;
        k = grid.Empty() ? -1 : grid.Nearest(pr, pg, pb);
        if (k < 0 && !byGreen.Empty()) k = byGreen.Nearest(entries.data(), pr, pg, pb, found);
        if (k < 0 && localScan) {
          k = 0;
          double best = Dist(pr, pg, pb, entries[0]);
          for (int i = 1; i < n; ++i) {
            const double d = Dist(pr, pg, pb, entries[size_t(i)]);
            if (d < best) {
              best = d;
              k = i;
            }
          }
        } else if (k < 0) {
          k = search.FindNearestLin({pr, pg, pb});
        }
      }
      TVeSearchEntry c;
      int written = k;
      if (output) {
        int& o = outIndex[size_t(k)];
        if (o < 0) {
          o = dynamic_cast<const TVePalette256*>(output)
                  ? static_cast<const TVePalette256*>(output)->IndexOf(search.GetRGBQuad(k))
                  : output->FindExact(search.GetRGBQuad(k));
          if (o < 0) VeInternalError();
          const TVeLinRGBColor l = output->GetLinRGB(o);
          outColor[size_t(k)] = {l.R, l.G, l.B, output->GetLinGray(o)};
        }
        written = o;
        c = outColor[size_t(k)];
      } else if (localScan) {
        c = entries[size_t(k)];
      } else {
        const TVeLinRGBColor l = search.GetLinRGB(k);
        c = {l.R, l.G, l.B, search.GetLinGray(k)};
      }
      if (bmpRow) PutIndex(bmpRow, bitCount, sx, written);
      if (data) data->SetPixel(x, y, written);
      TotalError += Dist(vr, vg, vb, c);
      if (pixRow) pixRow[sx].SetLinRGB(c.R, c.G, c.B);
      if (tapCount == 0) continue;
      double cr = c.R, cg = c.G, cb = c.B;
      if constexpr (Gray) cr = cg = cb = c.Y;
      const double er = (vr - cr) * strength / 100, eg = (vg - cg) * strength / 100,
                   eb = (vb - cb) * strength / 100;
      for (int i = 0; i < tapCount; ++i) {
        TWork& t = rowp[taps[i].Row][sx + taps[i].Offset];
        const double nr = t.R + share(er, taps[i].Weight);
        const double ng = t.G + share(eg, taps[i].Weight);
        const double nb = t.B + share(eb, taps[i].Weight);
        if constexpr (Gray) {
          if (nr != t.R || ng != t.G || nb != t.B) t.YValid = false;
        }
        t.R = nr;
        t.G = ng;
        t.B = nb;
      }
    }
    // Pixels of the row that the area left out may have received error.
    if (columns < FWidth) {
      if (Reversed)
        WindowStore(y, 0, FWidth - columns);
      else
        WindowStore(y, columns, FWidth);
    }
    if (serpentine) Reversed = !Reversed;
  }
  // Rows below the area hold the error sent down to them.
  for (int y = rows; y < FWindowRows; ++y)
    WindowStore(y, 0, FWidth);
  if (data) data->Reversed = false;
}

void TVeImage::DitherArea(const TVeCancelFlag* abort, const TVeDitherOptions& options, int rows,
                          int columns, const TVePalette* output, const TVePalette& search,
                          TVeBitmap* bitmap, TVeData* data) {
  rows = rows <= 0 ? FHeight : std::min(rows, FHeight);
  columns = columns <= 0 ? FWidth : std::min(columns, FWidth);
  TotalError = 0.0;
  if (rows == 0 || columns == 0) return;
  if (options.GrayPalette)
    DitherAreaT<true>(abort, options, rows, columns, output, search, bitmap, data);
  else
    DitherAreaT<false>(abort, options, rows, columns, output, search, bitmap, data);
}

std::unique_ptr<TVeBitmap> TVeImage::DitherPalette(const TVeCancelFlag* abort,
                                                   const TVeDitherOptions& options,
                                                   const TVePalette* output,
                                                   const TVePalette& search, TVeData* data) {
  ApplyFixes(options.SaturationFix, options.LightnessFix);
  TotalError = 0.0;
  if (options.GrayPalette) MakeGray();
  auto result = VeCreateResultBitmap(FWidth, output ? output : &search, FHeight, false);
  Reversed = false;
  DitherArea(abort, options, FHeight, FWidth, output, search, result.get(), data);
  Reversed = false;
  return result;
}

std::unique_ptr<TVeBitmap> TVeImage::DitherTrueColor(const TVeCancelFlag* abort,
                                                     const TVeDitherOptions& options,
                                                     const TVePalette& palette) {
  ApplyFixes(options.SaturationFix, options.LightnessFix);
  auto result = std::make_unique<TVeBitmap24>(FWidth, FHeight);
  if (palette.GetCount() <= 0) VeInternalError();
  const int method = options.DitherMethod;
  const bool ordered = VeIsOrderedDither(method);
  const TVeKernel& kernel = VeDitherKernel(ordered ? 0 : method);
  const TShare share(kernel.Divisor);
  const double strength = options.ErrorDiffusion;
  const double spread = ordered ? VeOrderedSpread(palette, false) * strength / 100 : 0.0;
  const auto* rgb = dynamic_cast<const TVePaletteRGB*>(&palette);
  std::unique_ptr<TLevelSearch> levels;
  const TVePaletteRGB::TChannel* ch[3] = {};
  if (rgb) {
    levels = std::make_unique<TLevelSearch>(*rgb);
    for (int i = 0; i < 3; ++i)
      ch[i] = &rgb->Channel(i);
  }
  Reversed = false;
  WindowBegin(FHeight, false);
  for (int y = 0; y < FHeight; ++y) {
    if (y + 2 < FWindowRows) WindowLoad(y + 2, false);
    const int dir = Reversed ? -1 : 1;
    TWork* rowp[3];
    for (int d = 0; d < 3; ++d)
      rowp[d] =
          y + d < FWindowRows ? WindowRow(y + d) : FWindow.data() + 3 * size_t(FWidth + 4) + 2;
    uint8_t* bmpRow = result->GetScanline(y);
    TVePixel* pixRow = Scanline(y);
    for (int x = 0; x < FWidth; ++x) {
      CheckAbort(abort);
      const int sx = Reversed ? FWidth - 1 - x : x;
      const TWork& cell = rowp[0][sx];
      const double vr = cell.R, vg = cell.G, vb = cell.B;
      double pr = vr, pg = vg, pb = vb;
      if (ordered) {
        const double offset = (VeOrderedThreshold(method, sx, y) - 0.5) * spread;
        pr += offset;
        pg += offset;
        pb += offset;
      }
      TVeLinRGBColor c;
      uint32_t quad;
      if (levels) {
        int lv[3];
        levels->Nearest(pr, pg, pb, lv);
        c = {ch[0]->Lin[size_t(lv[0])], ch[1]->Lin[size_t(lv[1])], ch[2]->Lin[size_t(lv[2])]};
        quad = uint32_t(ch[0]->Byte[size_t(lv[0])]) << 16 |
               uint32_t(ch[1]->Byte[size_t(lv[1])]) << 8 | ch[2]->Byte[size_t(lv[2])];
      } else {
        const int k = palette.FindNearestLin({pr, pg, pb});
        c = palette.GetLinRGB(k);
        quad = palette.GetRGBQuad(k);
      }
      PutIndex(bmpRow, 24, sx, int(quad));
      pixRow[sx].SetLinRGB(c);
      const double er = (vr - c.R) * strength / 100, eg = (vg - c.G) * strength / 100,
                   eb = (vb - c.B) * strength / 100;
      for (int i = 0; i < kernel.Count; ++i) {
        const TVeKernelTap& tp = kernel.Taps[i];
        TWork& t = rowp[tp.DY][sx + tp.DX * dir];
        const double wgt = tp.Weight;
        t.R += share(er, wgt);
        t.G += share(eg, wgt);
        t.B += share(eb, wgt);
      }
    }
    if (options.Serpentine) Reversed = !Reversed;
  }
  Reversed = false;
  return result;
}

std::unique_ptr<TVeBitmap> TVeImage::DitherSource(const TVeCancelFlag* abort,
                                                  const TVeDitherOptions& options,
                                                  const TVePalette* output,
                                                  const TVePalette& search,
                                                  const TVeBitmap32& source) {
  const TVePalette& used = output ? *output : search;
  if (options.GrayPalette || TVeColorFix(options.LightnessFix, options.SaturationFix).Active() ||
      used.GetCount() > 256) {
    TVeImage image(source);
    return image.Dither(abort, options, output, search);
  }
  TVeImage image;
  CheckSize(source.Width(), source.Height());
  image.FWidth = source.Width();
  image.FHeight = source.Height();
  image.FSource = &source;
  return image.DitherPalette(abort, options, output, search, nullptr);
}

std::unique_ptr<TVeBitmap> TVeImage::Dither(const TVeCancelFlag* abort,
                                            const TVeDitherOptions& options,
                                            const TVePalette* output, const TVePalette& search) {
  const TVePalette& used = output ? *output : search;
  if (used.GetCount() <= 256) return DitherPalette(abort, options, output, search, nullptr);
  return DitherTrueColor(abort, options, used);
}

void TVeImage::DitherTrial(const TVeCancelFlag* abort, const TVeDitherOptions& options, int rows,
                           int columns, const TVePalette* palette) {
  if (!palette) palette = options.Palette;
  if (!palette) VeInternalError();
  Reversed = false;
  DitherArea(abort, options, rows, columns, nullptr, *palette, nullptr, nullptr);
  Reversed = false;
}

void TVeImage::DitherWhole(const TVeCancelFlag* abort, const TVeDitherOptions& options,
                           bool reversed, const TVePalette* palette) {
  if (!palette) palette = options.Palette;
  if (!palette) VeInternalError();
  ApplyFixes(options.SaturationFix, options.LightnessFix);
  Reversed = reversed;
  DitherArea(abort, options, FHeight, FWidth, nullptr, *palette, nullptr, nullptr);
  Reversed = false;
}

// ---- two colours ----

std::unique_ptr<TVeBitmap> TVeImage::DitherTwoColorsImpl(const TVeCancelFlag* abort,
                                                         const TVeDitherOptions& options,
                                                         int lightIndex, int darkIndex,
                                                         const TVePalette* palette, TVeData* data,
                                                         bool bits) {
  ApplyFixes(options.SaturationFix, options.LightnessFix);
  MakeGray();
  std::unique_ptr<TVeBitmap> result =
      palette ? VeCreateResultBitmap(FWidth, palette, FHeight, true)
              : std::unique_ptr<TVeBitmap>(std::make_unique<TVeBitmap1>(FWidth, nullptr, FHeight));
  const int method = options.DitherMethod;
  const bool ordered = VeIsOrderedDither(method);
  const TVeKernel& kernel = VeDitherKernel(ordered ? 0 : method);
  const TShare share(kernel.Divisor);
  const double strength = double(options.ErrorDiffusion) / 100;
  const int bitCount = result->BitCount();
  Reversed = false;
  // After MakeGray every luminance is known and stays known: the window carries Y only.
  WindowBegin(FHeight, true);
  for (int y = 0; y < FHeight; ++y) {
    if (y + 2 < FWindowRows) WindowLoad(y + 2, true);
    const int dir = Reversed ? -1 : 1;
    TWork* rowp[3];
    for (int d = 0; d < 3; ++d)
      rowp[d] =
          y + d < FWindowRows ? WindowRow(y + d) : FWindow.data() + 3 * size_t(FWidth + 4) + 2;
    uint8_t* bmpRow = result->GetScanline(y);
    TVePixel* pixRow = Scanline(y);
    if (data) data->Reversed = Reversed;
    for (int x = 0; x < FWidth; ++x) {
      CheckAbort(abort);
      const int sx = Reversed ? FWidth - 1 - x : x;
      const double yl = rowp[0][sx].Y;
      // Black and white are one step apart: the ordered offset spans the strength.
      const bool light =
          (ordered ? yl + (VeOrderedThreshold(method, sx, y) - 0.5) * strength : yl) >= 0.5;
      const double target = light ? 1.0 : 0.0;
      const int index = light ? lightIndex : darkIndex;
      PutIndex(bmpRow, bitCount, sx, index);
      if (data) data->SetPixel(x, y, bits ? (light ? 1 : 0) : index);
      pixRow[sx].SetLinGray(target);
      const double e = strength * (yl - target);
      for (int i = 0; i < kernel.Count; ++i) {
        const TVeKernelTap& tp = kernel.Taps[i];
        TWork& t = rowp[tp.DY][sx + tp.DX * dir];
        t.Y += share(e, tp.Weight);
      }
    }
    if (options.Serpentine) Reversed = !Reversed;
  }
  Reversed = false;
  if (data) data->Reversed = false;
  return result;
}

std::unique_ptr<TVeBitmap> TVeImage::DitherTwoColors(const TVeCancelFlag* abort,
                                                     const TVeDitherOptions& options,
                                                     int lightIndex, int darkIndex,
                                                     const TVePalette* palette, TVeData* data) {
  return DitherTwoColorsImpl(abort, options, lightIndex, darkIndex, palette, data, false);
}

std::unique_ptr<TVeBitmap> TVeImage::DitherTwoColorsBits(const TVeCancelFlag* abort,
                                                         const TVeDitherOptions& options,
                                                         int lightIndex, int darkIndex,
                                                         const TVePalette* palette, TVeData* data) {
  return DitherTwoColorsImpl(abort, options, lightIndex, darkIndex, palette, data, true);
}

// ---- flicker drivers ----
// Less used and dominated by the frame choice, so they work on the records directly.

namespace {

int WholeRoot(int count) {
  int n = int(std::lround(std::sqrt(double(count))));
  if (n <= 0 || n * n != count) VeInternalError();
  return n;
}

// Black, gray 0.5 and white in linear light: the three levels two frames can show.
TVePalette256 FlickerLevels() {
  TVePalette256 p;
  p.AddLin({0.0, 0.0, 0.0});
  p.AddLin({0.5, 0.5, 0.5});
  p.AddLin({1.0, 1.0, 1.0});
  return p;
}

inline void PutStored(TVeBitmap* b, int sx, int y, int v) {
  PutIndex(b->GetScanline(y), b->BitCount(), sx, v);
}

} // namespace

// The two-level flicker drivers: every pixel is matched by luminance to black, gray 0.5 or
// white; gray alternates between the frames as the flicker map chooses. put(map, x, sx, y,
// k, chooseA) writes the pixel's frames and indices.
template <class TPut>
void TVeImage::DitherFlickerLevels(const TVeCancelFlag* abort, const TVeDitherOptions& options,
                                   TVeData* data, TPut&& put) {
  ApplyFixes(options.SaturationFix, options.LightnessFix);
  MakeGray();
  const TVePalette256 levels = FlickerLevels();
  TVeFlickMap map(FWidth, FHeight);
  const int method = options.DitherMethod;
  const double strength = options.ErrorDiffusion;
  Reversed = false;
  for (int y = 0; y < FHeight; ++y) {
    map.Reversed = Reversed;
    if (data) data->Reversed = Reversed;
    for (int x = 0; x < FWidth; ++x) {
      CheckAbort(abort);
      const int sx = Reversed ? FWidth - 1 - x : x;
      TVePixel* p = GetPixels(x, y);
      const TVeLinRGBColor v = p->GetLinRGB();
      const int k = levels.FindNearestGray(p->Color());
      put(map, x, sx, y, k, k == 1 && map.ChooseFrameA(x, y));
      const TVeLinRGBColor c = levels.GetLinRGB(k);
      p->SetLinRGB(c);
      DiffuseColor(x, y,
                   {(v.R - c.R) * strength / 100, (v.G - c.G) * strength / 100,
                    (v.B - c.B) * strength / 100},
                   method);
    }
    if (options.Serpentine) Reversed = !Reversed;
  }
  Reversed = false;
  if (data) data->Reversed = false;
}

std::unique_ptr<TVeBitmap> TVeImage::DitherFlickerGray(const TVeCancelFlag* abort,
                                                       const TVeDitherOptions& options,
                                                       TVeData* data) {
  const TVePalette256 levels = FlickerLevels();
  TVePalette256 bw;
  bw.MakeBlackWhite();
  auto result = VeCreateResultBitmap(FWidth, &levels, FHeight, false);
  TVeBitmap* frameA = result->AddFrame(&bw);
  TVeBitmap* frameB = result->AddFrame(&bw);
  DitherFlickerLevels(abort, options, data,
                      [&](TVeFlickMap& map, int x, int sx, int y, int k, bool chooseA) {
                        int a = k == 2 ? 1 : 0, b = a;
                        if (k == 1) {
                          a = chooseA ? 1 : 0;
                          b = 1 - a;
                        }
                        map.Set(x, y, b, a);
                        if (data) data->SetPixel(x, y, 2 * a + b);
                        PutStored(result.get(), sx, y, k);
                        PutStored(frameA, sx, y, a);
                        PutStored(frameB, sx, y, b);
                      });
  return result;
}

std::unique_ptr<TVeBitmap> TVeImage::DitherFlickerPair(const TVeCancelFlag* abort,
                                                       const TVeDitherOptions& options,
                                                       int lightIndex, int darkIndex,
                                                       const TVePalette& mixTable, TVeData* data) {
  const int n = WholeRoot(mixTable.GetCount());
  TVePalette256 pure;
  for (int i = 0; i < n; ++i)
    pure.AddLin(mixTable.GetLinRGB(i * n + i));
  auto result = VeCreateResultBitmap(FWidth, &mixTable, FHeight, false);
  TVeBitmap* frameA = result->AddFrame(&pure);
  TVeBitmap* frameB = result->AddFrame(&pure);
  DitherFlickerLevels(abort, options, data,
                      [&](TVeFlickMap& map, int x, int sx, int y, int k, bool chooseA) {
                        int a = k == 2 ? lightIndex : darkIndex, b = a;
                        if (k == 1) {
                          a = chooseA ? lightIndex : darkIndex;
                          b = chooseA ? darkIndex : lightIndex;
                        }
                        map.Set(x, y, b == lightIndex ? 1.0 : 0.0, a == lightIndex ? 1.0 : 0.0);
                        const int index = a * n + b;
                        if (data) data->SetPixel(x, y, index);
                        PutStored(result.get(), sx, y, index);
                        PutStored(frameA, sx, y, a);
                        PutStored(frameB, sx, y, b);
                      });
  return result;
}

std::unique_ptr<TVeBitmap> TVeImage::DitherFlickerColor(const TVeCancelFlag* abort,
                                                        const TVeDitherOptions& options,
                                                        const TVePalette* output,
                                                        const TVePalette& mixTable, TVeData* data) {
  const int count = mixTable.GetCount();
  const int n = WholeRoot(count);
  ApplyFixes(options.SaturationFix, options.LightnessFix);
  const bool gray = options.GrayPalette;
  if (gray) MakeGray();

  // Luminance of each pure colour, and the flicker of each pair.
  std::vector<double> pureY(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i)
    pureY[size_t(i)] = mixTable.GetLinGray(i * n + i);
  std::vector<double> diff(static_cast<size_t>(count));
  std::vector<uint32_t> quad(static_cast<size_t>(count));
  for (int j = 0; j < count; ++j) {
    diff[size_t(j)] = std::fabs(pureY[size_t(j / n)] - pureY[size_t(j % n)]);
    quad[size_t(j)] = mixTable.GetRGBQuad(j);
  }
  // A pair that looks like another one with less flicker is replaced by it.
  std::vector<int> alias(static_cast<size_t>(count));
  for (int j = 0; j < count; ++j) {
    int best = j;
    double bestD = diff[size_t(j)];
    for (int k = 0; k < count; ++k)
      if (k != j && quad[size_t(k)] == quad[size_t(j)] && diff[size_t(k)] < bestD) {
        bestD = diff[size_t(k)];
        best = k;
      }
    alias[size_t(j)] = best;
  }

  TVePalette256 pure;
  for (int i = 0; i < n; ++i)
    pure.AddLin(mixTable.GetLinRGB(i * n + i));
  std::vector<int> outOf(static_cast<size_t>(n), -1);
  if (output) {
    for (int i = 0; i < n; ++i) {
      const uint32_t q = mixTable.GetRGBQuad(i * n + i);
      const int o = output->FindExact(q);
      outOf[size_t(i)] = o; // checked when used
    }
  }
  auto result = VeCreateResultBitmap(FWidth, &mixTable, FHeight, false);
  TVeBitmap* frameA = result->AddFrame(output ? output : &pure);
  TVeBitmap* frameB = result->AddFrame(output ? output : &pure);
  TVeFlickMap map(FWidth, FHeight);
  const int method = options.DitherMethod;
  const double strength = options.ErrorDiffusion;
  Reversed = false;
  for (int y = 0; y < FHeight; ++y) {
    map.Reversed = Reversed;
    if (data) data->Reversed = Reversed;
    for (int x = 0; x < FWidth; ++x) {
      CheckAbort(abort);
      const int sx = Reversed ? FWidth - 1 - x : x;
      TVePixel* p = GetPixels(x, y);
      const TVeLinRGBColor v = p->GetLinRGB();
      int m = alias[size_t(gray ? mixTable.FindNearestGray(p->Color())
                                : mixTable.FindNearest(VeMethodDeltaRGB, p->Color()))];
      PutStored(result.get(), sx, y, m);
      int a = m / n, b = m % n;
      const bool chooseA = map.ChooseFrameA(x, y);
      if ((chooseA && pureY[size_t(a)] < pureY[size_t(b)]) ||
          (!chooseA && pureY[size_t(a)] > pureY[size_t(b)])) {
        m = b * n + a;
        std::swap(a, b);
      }
      map.Set(x, y, pureY[size_t(b)], pureY[size_t(a)]);
      TVeLinRGBColor c = mixTable.GetLinRGB(m);
      if (gray) {
        const double yc = mixTable.GetLinGray(m);
        c = {yc, yc, yc};
        p->SetLinGray(yc);
      } else {
        p->SetLinRGB(c);
      }
      DiffuseColor(x, y,
                   {(v.R - c.R) * strength / 100, (v.G - c.G) * strength / 100,
                    (v.B - c.B) * strength / 100},
                   method);
      int dataIndex = m;
      if (output) {
        a = outOf[size_t(a)];
        b = outOf[size_t(b)];
        if (a < 0 || b < 0) VeInternalError();
        dataIndex = b + a * output->GetCount();
      }
      if (data) data->SetPixel(x, y, dataIndex);
      PutStored(frameA, sx, y, a);
      PutStored(frameB, sx, y, b);
    }
    if (options.Serpentine) Reversed = !Reversed;
  }
  Reversed = false;
  if (data) data->Reversed = false;
  return result;
}
