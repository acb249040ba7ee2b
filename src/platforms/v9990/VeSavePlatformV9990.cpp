#include "VeSavePlatformV9990.h"

#include <algorithm>
#include <vector>

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeImage.h"
#include "VePaletteSteps.h"
#include "VePlatformV9990.h"
#include "VeQuantization.h"
#include "VeStream.h"
#include "msx/VePlatformMsxYJK.h"

const TVeV9990ModeInfo& V9990ModeInfo(int index) {
  using K = TVeV9990Kind;
  static const TVeV9990ModeInfo modes[V9990ModeCount] = {
      {"BP2 256x212x2", V9990Width, V9990Height, K::Palette, 2, 4, G9bPaletteColors},
      {"BP4 256x212x4", V9990Width, V9990Height, K::Palette, 4, 16, G9bPaletteColors},
      {"BP6 256x212x6", V9990Width, V9990Height, K::Palette, 8, 64, G9bPaletteColors},
      {"BD8 256x212x8", V9990Width, V9990Height, K::Bd8, 8, 0, G9bFixedColors},
      {"BYJK 256x212x8", V9990Width, V9990Height, K::Yjk, 8, 0, G9bYjk},
      {"BYUV 256x212x8", V9990Width, V9990Height, K::Yuv, 8, 0, G9bYuv},
      {"BD16 256x212x16", V9990Width, V9990Height, K::Bd16, 16, 0, G9bPaletteColors},
  };
  if (index < 0 || index >= V9990ModeCount) VeInternalError();
  return modes[index];
}

// B1 runs the pixel clock of MSX screen 5 (21.48 MHz / 4), so its pixels take screen 5's
// shape on a 60 Hz display.
constexpr uint8_t V9990AspectB1 = 12; // "1.138:1"

TVeV9990EngineOptions::TVeV9990EngineOptions(const TVeV9990ModeInfo& mode)
    : TVeModeTableOptions(mode) {
  FAspectIndex = V9990AspectB1;
  if (mode.Colors) FMaxColorCount = mode.Colors;
}

TVeV9990EngineUI::TVeV9990EngineUI(TVeDestEngineOptions& options) : TVeDestEngineUIEx(options) {
  auto* own = dynamic_cast<TVeV9990EngineOptions*>(&options);
  if (!own) VeInternalError();
  const TVeV9990ModeInfo& m = own->Mode();
  AddPositionBorder();
  if (m.Colors) {
    AddPaletteSeparator();
    AddPaletteView(std::min(m.Colors, 16), (m.Colors + 15) / 16);
    AddMaxColorCount(m.Colors);
  }
  AddDithering(false);
}

namespace {

// The screen 12 encoder with the V9990's decoding.
class TVeV9990YJKImage : public TVeYJKImage {
public:
  using TVeYJKImage::TVeYJKImage;

protected:
  const TVeYjkRangeTable& Table() const override { return V9990YjkTable(); }
};

class TVeV9990YUVImage : public TVeYJKImage {
public:
  using TVeYJKImage::TVeYJKImage;

protected:
  const TVeYjkRangeTable& Table() const override { return V9990YuvTable(); }
};

void PackPixels(const TVeData& pixels, int bits, uint8_t* to) {
  const int perByte = 8 / bits;
  const int rowBytes = pixels.Width() * bits / 8;
  for (int y = 0; y < pixels.Height(); ++y)
    for (int x = 0; x < pixels.Width(); ++x) {
      const int shift = 8 - bits * (x % perByte + 1);
      to[y * rowBytes + x / perByte] |=
          uint8_t((pixels.GetPixel(x, y) & ((1 << bits) - 1)) << shift);
    }
}

uint8_t* AddG9b(std::unique_ptr<TVeStreamList>& files, const TVeV9990ModeInfo& m,
                const TVePalette256* palette) {
  TVeG9bHeader h;
  h.BitDepth = m.Bits;
  h.ColorType = m.ColorType;
  h.Colors = m.Colors;
  h.Width = m.Width;
  h.Height = m.Height;
  files = std::make_unique<TVeStreamList>();
  TVeStream* file = files->AddNew("g9b", V9990G9bBytes(h));
  return file->Data() + V9990WriteG9b(file->Data(), h, palette);
}

// BD8 and BD16: the picture dithered to the mode's fixed colours.
std::unique_ptr<TVeBitmap> ConvertDirect(const TVeV9990ModeInfo& m, const TVeCancelFlag* cancel,
                                         const TVeBitmap32& source, uint8_t* pixels,
                                         TVeDestEngineOptions& options) {
  const bool bd8 = m.Kind == TVeV9990Kind::Bd8;
  const TVePaletteRGB& colors = bd8 ? V9990Bd8Colors() : V9990Colors15();
  TVeImage image(source);
  TVeDitherOptions d = VeDitherOptionsOf(options);
  d.GrayPalette = false;
  std::unique_ptr<TVeBitmap> result = image.DitherTrueColor(cancel, d, colors);
  for (int y = 0; y < m.Height; ++y)
    for (int x = 0; x < m.Width; ++x) {
      const std::array<int, 3> l = colors.LevelsOf(uint32_t(result->GetPixel(x, y)));
      if (bd8) {
        *pixels++ = V9990Bd8Byte(l[0], l[1], l[2]);
      } else {
        const uint16_t w = V9990Bd16Word(l[0], l[1], l[2]);
        *pixels++ = uint8_t(w);
        *pixels++ = uint8_t(w >> 8);
      }
    }
  options.SetPalette(nullptr);
  return result;
}

} // namespace

std::unique_ptr<TVeBitmap> V9990Convert(const TVeV9990ModeInfo& m, const TVeCancelFlag* cancel,
                                        const TVeBitmap32& source,
                                        std::unique_ptr<TVeStreamList>& files,
                                        TVeDestProgress& progress, TVeDestEngineOptions& options) {
  if (source.Width() != m.Width || source.Height() != m.Height) VeInternalError();
  switch (m.Kind) {
  case TVeV9990Kind::Palette: {
    progress.SetProgress(2, 0);
    TVePalette256 palette;
    {
      TVeQuantizationArgs args;
      args.Abort = cancel;
      args.K = VeColorLimit(options, m.Colors);
      args.Method = options.ColorDistance();
      TVeImage image(source);
      image.ApplyFixes(options.SaturationFix(), options.LightnessFix());
      QuantizeImage(args, palette, &V9990Colors15(), nullptr, image);
    }
    options.SetPalette(&palette);
    progress.Step();
    auto result = VeDitherToPalette(cancel, source, options, palette, progress);
    PackPixels(*result, m.Bits, AddG9b(files, m, &palette));
    return result;
  }
  case TVeV9990Kind::Bd8:
  case TVeV9990Kind::Bd16: {
    progress.SetProgress(1, 0);
    auto result = ConvertDirect(m, cancel, source, AddG9b(files, m, nullptr), options);
    progress.Step();
    return result;
  }
  case TVeV9990Kind::Yjk:
  case TVeV9990Kind::Yuv: {
    // The groups of screen 12; the YUV decoder takes U where YJK has J and V where it has K.
    std::vector<uint8_t> bytes;
    std::unique_ptr<TVeBitmap> preview;
    if (m.Kind == TVeV9990Kind::Yjk) {
      TVeV9990YJKImage image(source);
      preview = image.Convert(cancel, options, &progress, bytes);
    } else {
      TVeV9990YUVImage image(source);
      preview = image.Convert(cancel, options, &progress, bytes);
    }
    uint8_t* pixels = AddG9b(files, m, nullptr);
    std::copy(bytes.begin(), bytes.end(), pixels);
    return preview;
  }
  }
  VeInternalError();
}

void RegisterV9990Engines(TVeDestEngineList& list) {
  VeReplaceModeTableEngines<TVeV9990Family, V9990ModeCount>(list);
}
