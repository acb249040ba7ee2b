#pragma once
// The picture being converted, as a grid of colour records, and the error-diffusion drivers
// that turn it into palette indices. Error lives in linear RGB and is never clamped: only the
// final byte conversion of a colour clamps.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "VeBitmap.h"
#include "VeBitmap32.h"
#include "VeColor.h"
#include "VePalette.h"
#include "VePixel.h"
#include "VeThreadJob.h"

// What the drivers read of the conversion options.
struct TVeDitherOptions {
  uint8_t DitherMethod = 1; // 0 none, 1..8 the kernels below, 9 and 10 ordered
  int ErrorDiffusion = 90;  // strength in percent, also of the ordered methods' offsets
  bool Serpentine = true;
  int LightnessFix = 0;
  int SaturationFix = 0;
  bool GrayPalette = false;            // match by luminance only
  int Distance = 0;                    // nearest-colour method (VeColorDistance.h)
  const TVePalette* Palette = nullptr; // DitherTrial's palette when none is given
};

// Reads the dithering fields of an options record (the engines' options class or any type
// with the same getters), so this unit needs no engine headers.
template <class TOptions> TVeDitherOptions VeDitherOptionsOf(const TOptions& o) {
  TVeDitherOptions d;
  d.DitherMethod = o.DitherMethod();
  d.ErrorDiffusion = o.ErrorDiffusion();
  d.Serpentine = o.Serpentine();
  d.LightnessFix = o.LightnessFix();
  d.SaturationFix = o.SaturationFix();
  d.GrayPalette = o.GrayPalette();
  d.Distance = o.UsesColorDistance() ? o.ColorDistance() : 0;
  d.Palette = &o.Palette();
  return d;
}

// Methods 0 ("None") to 8; the names (dmFloydSteinberg ...) are the options' enumeration.
constexpr int VeKernelCount = 9;

// One tap of a kernel: DX to the right in scan direction, DY rows down.
struct TVeKernelTap {
  int8_t DX, DY;
  int8_t Weight;
};

struct TVeKernel {
  int Divisor = 1;
  int Count = 0; // taps used; 0 spreads nothing
  TVeKernelTap Taps[12] = {};
};

// The kernel of a method; the ordered methods get Floyd-Steinberg's (for the drivers that
// do not order), any other method outside 1..8 the empty kernel.
const TVeKernel& VeDitherKernel(int method);

// The ordered methods move each pixel by (threshold - 0.5) * spread before the nearest-colour
// search: a flat area between two levels then mixes them in proportion. The palette driver
// takes, per channel (or in luminance for gray work), the step between the palette's levels
// around the value; the true-colour driver and the cells take this: the palette's mean step
// between neighbouring levels, at full strength.
double VeOrderedSpread(const TVePalette& palette, bool gray);
// The same over count colours of `channels` interleaved values each.
double VeOrderedSpreadOf(const double* values, int count, int channels);

// The RGB-quads a working image of the picture would hold after the fixes (and the gray
// step): what quantization counts, without a full-size image.
std::vector<uint32_t> VeFixedQuads(const TVeBitmap32& source, int saturationFix, int lightnessFix,
                                   bool gray);

class TVeImage {
public:
  TVeImage(int width, int height);
  explicit TVeImage(const TVeBitmap32& source);
  TVeImage(const TVeImage& other);
  TVeImage& operator=(const TVeImage& other);
  virtual ~TVeImage();

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }

  // While set, column x means the stored column Width - 1 - x.
  bool Reversed = false;
  // Weighted squared distance summed over the pixels quantized by the palette and trial
  // drivers.
  double TotalError = 0.0;

  TVePixel* GetPixels(int x, int y) {
    return &FPixels[size_t(y) * size_t(FWidth) + size_t(Reversed ? FWidth - 1 - x : x)];
  }
  const TVePixel* GetPixels(int x, int y) const {
    return &FPixels[size_t(y) * size_t(FWidth) + size_t(Reversed ? FWidth - 1 - x : x)];
  }
  // Row y in stored order, whatever the mirror flag.
  TVePixel* Scanline(int y) { return FPixels.data() + size_t(y) * size_t(FWidth); }
  const TVePixel* Scanline(int y) const { return FPixels.data() + size_t(y) * size_t(FWidth); }

  std::unique_ptr<TVeBitmap32> ToBitmap32() const;
  double MaxLuminance() const;
  void MakeGray();
  void ApplyFixes(int saturationFix, int lightnessFix);
  void PrepareAll();
  void LimitLuminance(double y);
  // The same, and the fixes, over rows first..last only: each pixel's own arithmetic.
  void LimitLuminanceRows(double y, int first, int last);
  void ApplyFixesRows(const TVeColorFix& fix, int first, int last);
  void FitLuminance(const TVePalette256& palette);
  void SetHeight(int height);
  void CopyRows(const TVeImage& image, int firstRow);
  void CollectColors(TVePalette256& palette, int firstRow, int rows) const;

  // Spread an error from (x, y) with the kernel of a method, through GetPixels.
  void DiffuseGray(int x, int y, double error, int method);
  void DiffuseColor(int x, int y, const TVeLinRGBColor& error, int method);

  // ---- drivers ----
  // Luminance at or above 0.5 gives the light index. Without a palette the result is a
  // 1-bit bitmap without palette.
  std::unique_ptr<TVeBitmap> DitherTwoColors(const TVeCancelFlag* abort,
                                             const TVeDitherOptions& options, int lightIndex,
                                             int darkIndex, const TVePalette* palette,
                                             TVeData* data);
  // As DitherTwoColors, but the data grid receives 1 (light) and 0 (dark).
  std::unique_ptr<TVeBitmap> DitherTwoColorsBits(const TVeCancelFlag* abort,
                                                 const TVeDitherOptions& options, int lightIndex,
                                                 int darkIndex, const TVePalette* palette,
                                                 TVeData* data);
  // Searches `search`; with an output palette, writes the output index of the found colour.
  std::unique_ptr<TVeBitmap> DitherPalette(const TVeCancelFlag* abort,
                                           const TVeDitherOptions& options,
                                           const TVePalette* output, const TVePalette& search,
                                           TVeData* data = nullptr);
  // Dither(source) as TVeImage(source).Dither gives it, without the working record per pixel
  // when nothing but the dither needs one (no fixes, no gray step, at most 256 colours): the
  // rows are read from the picture as the diffusion reaches them.
  static std::unique_ptr<TVeBitmap> DitherSource(const TVeCancelFlag* abort,
                                                 const TVeDitherOptions& options,
                                                 const TVePalette* output, const TVePalette& search,
                                                 const TVeBitmap32& source);
  // For palettes of more than 256 colours: a 24-bit result.
  std::unique_ptr<TVeBitmap> DitherTrueColor(const TVeCancelFlag* abort,
                                             const TVeDitherOptions& options,
                                             const TVePalette& palette);
  std::unique_ptr<TVeBitmap> Dither(const TVeCancelFlag* abort, const TVeDitherOptions& options,
                                    const TVePalette* output, const TVePalette& search);
  // Dithers the top-left rows x columns (0: all) without fixes and without a bitmap.
  void DitherTrial(const TVeCancelFlag* abort, const TVeDitherOptions& options, int rows,
                   int columns, const TVePalette* palette = nullptr);
  void DitherWhole(const TVeCancelFlag* abort, const TVeDitherOptions& options, bool reversed,
                   const TVePalette* palette);

  // Two alternating frames, appended to the result's frame list.
  std::unique_ptr<TVeBitmap> DitherFlickerGray(const TVeCancelFlag* abort,
                                               const TVeDitherOptions& options, TVeData* data);
  std::unique_ptr<TVeBitmap> DitherFlickerPair(const TVeCancelFlag* abort,
                                               const TVeDitherOptions& options, int lightIndex,
                                               int darkIndex, const TVePalette& mixTable,
                                               TVeData* data);
  std::unique_ptr<TVeBitmap> DitherFlickerColor(const TVeCancelFlag* abort,
                                                const TVeDitherOptions& options,
                                                const TVePalette* output,
                                                const TVePalette& mixTable, TVeData* data);

protected:
  // Sized as source; with fill false no record is written until FillRows writes it.
  TVeImage(const TVeBitmap32& source, bool fill);
  // Records of rows first..last from the same rows of source.
  void FillRows(const TVeBitmap32& source, int first, int last);

  // One pixel under diffusion: its linear value and, in gray work, its luminance cache.
  struct TWork {
    double R, G, B;
    double Y;
    bool YValid;
  };

  std::unique_ptr<TVeBitmap> DitherTwoColorsImpl(const TVeCancelFlag* abort,
                                                 const TVeDitherOptions& options, int lightIndex,
                                                 int darkIndex, const TVePalette* palette,
                                                 TVeData* data, bool bits);
  template <class TPut>
  void DitherFlickerLevels(const TVeCancelFlag* abort, const TVeDitherOptions& options,
                           TVeData* data, TPut&& put);
  // The palette and trial drivers' loop over the top-left rows x columns.
  void DitherArea(const TVeCancelFlag* abort, const TVeDitherOptions& options, int rows,
                  int columns, const TVePalette* output, const TVePalette& search,
                  TVeBitmap* bitmap, TVeData* data);
  template <bool Gray>
  void DitherAreaT(const TVeCancelFlag* abort, const TVeDitherOptions& options, int rows,
                   int columns, const TVePalette* output, const TVePalette& search,
                   TVeBitmap* bitmap, TVeData* data);

  // The diffusion window: three rows of work cells, each padded by two on both sides so
  // that taps beyond the edges land in cells nobody reads.
  void WindowBegin(int rows, bool gray);
  TWork* WindowRow(int y) { return FWindow.data() + size_t(y % 3) * size_t(FWidth + 4) + 2; }
  void WindowLoad(int y, bool gray);
  void WindowStore(int y, int fromX, int toX);

  TVeImage() = default; // for DitherSource
  std::vector<TVePixel, TVeNoFillAllocator<TVePixel>> FPixels;
  // Set while the pixels are read from the picture rather than kept (DitherSource).
  const TVeBitmap32* FSource = nullptr;
  int FWidth = 0;
  int FHeight = 0;
  std::vector<TWork> FWindow;
  int FWindowRows = 0; // rows the window may load (rows beyond are outside the image)
};
