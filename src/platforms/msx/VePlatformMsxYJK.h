#pragma once
// Screens 10 and 12: pictures in the YJK encoding. Four horizontally adjacent pixels share a
// chrominance pair (J, K); each has its own luminance Y. The encoder dithers the picture to
// 5-bit levels and then searches, for every group of four pixels, the pair that lets the four
// luminances come closest. With the attribute bit (screen 10) a pixel whose Y field is odd
// shows a colour of a 16-colour palette instead, found by repeated passes.
#include <cstdint>
#include <memory>
#include <vector>

#include "VeImage.h"
#include "VeMsxYJKTables.h"

class TVeDestEngineOptions;
class TVeDestProgress;

// The four bytes of a group: Y in bits 3-7; the low bits hold K bits 0-2 (pixel 0), K bits 3-5
// (pixel 1), J bits 0-2 (pixel 2), J bits 3-5 (pixel 3). y[] are the 5-bit Y fields.
void VeMsxPackYjk(uint8_t* bytes, const int y[4], int j, int k);
// The Y fields and the signed J and K of a group.
void VeMsxUnpackYjk(const uint8_t* bytes, int y[4], int& j, int& k);

// RGB-quad of a colour of 5-bit levels as shown.
uint32_t VeMsxYjkQuad(const TVeYjkLevels& c);
// A row of YJK bytes as RGB-quads. With a palette, an odd Y field shows palette colour
// (Y div 2) (black beyond the palette). A partial last group takes 0 for its missing bytes.
void VeMsxDecodeYjkRow(const uint8_t* row, int width, TVeYjkDecoder decoder,
                       const TVePalette256* attributePalette, uint32_t* quads,
                       int bias = VeYjkBiasV9958);

class TVeYJKImage : public TVeImage {
public:
  explicit TVeYJKImage(const TVeBitmap32& source);
  ~TVeYJKImage() override;

  // Encodes the picture: bytes gets one byte per pixel, row after row; the result is the
  // 24-bit preview of the decoded colours.
  virtual std::unique_ptr<TVeBitmap> Convert(const TVeCancelFlag* cancel,
                                             TVeDestEngineOptions& options,
                                             TVeDestProgress* progress,
                                             std::vector<uint8_t>& bytes);

  // Inspection, for tests: the J and K chosen for group g of row y, and the 5-bit levels the
  // dithering gave a pixel.
  int GroupJ(int g, int y) const { return FGroupJ[size_t(y) * size_t(FGroups) + size_t(g)]; }
  int GroupK(int g, int y) const { return FGroupK[size_t(y) * size_t(FGroups) + size_t(g)]; }
  int PixelLevels(int x, int y) const { return FLevels[size_t(y) * size_t(FWidth) + size_t(x)]; }

protected:
  struct TPass;
  class TRowsJob;

  virtual const TVeYjkRangeTable& Table() const;
  // Step 1: the picture dithered to the 32768 colours of 5-bit levels.
  void DitherLevels(const TVeCancelFlag* cancel, const TVeDestEngineOptions& options);
  // One group pass over all rows, as jobs over bands of rows. With a palette (attribute
  // mode), pixels may take its colours; accumulate receives each pixel's YJK error * 100000.
  void RunPass(const TVeCancelFlag* cancel, TVeDestProgress* progress, const TVePalette256* palette,
               std::vector<uint8_t>& bytes, TVeBitmap& preview, std::vector<double>* accumulate);
  void EncodeRows(const TPass& pass, int first, int last) const;

  std::vector<uint16_t> FLevels; // r << 10 | g << 5 | b per pixel
  std::vector<int8_t> FGroupJ, FGroupK;
  int FGroups = 0;
  bool FAttribute = false; // even Y only, odd Y fields name palette colours
};

// The YUV variant: blue is Y + K and green the third value.
class TVeYUVImage : public TVeYJKImage {
public:
  using TVeYJKImage::TVeYJKImage;

protected:
  const TVeYjkRangeTable& Table() const override;
};

// Screen 10 with the attribute bit. Pass 0 uses the options' base palette (as V9958 colours,
// at most 16); every later pass (16 at most) quantizes a new palette from the colours weighted
// by the YJK error of the pass before, until the palette no longer changes. Without palette
// colours it is YJK with 16 luminances.
class TVeYJKYAEImage : public TVeYJKImage {
public:
  using TVeYJKImage::TVeYJKImage;
  static constexpr int MaxPasses = 16;

  // false: no palette colours at all (every pixel is YJK with an even Y).
  bool UsePalette = true;
  int Passes() const { return FPasses; }

  std::unique_ptr<TVeBitmap> Convert(const TVeCancelFlag* cancel, TVeDestEngineOptions& options,
                                     TVeDestProgress* progress,
                                     std::vector<uint8_t>& bytes) override;

protected:
  const TVeYjkRangeTable& Table() const override;

private:
  int FPasses = 0;
};
