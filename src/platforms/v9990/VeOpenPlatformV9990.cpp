#include "VeOpenPlatformV9990.h"

#include <vector>

#include "VeErrors.h"
#include "VePlatformV9990.h"
#include "msx/VePlatformMsxYJK.h"

TVeSourceMatch TVeV9990G9bSourceEngine::Check(TVeLoadSource* source) {
  if (!source || !source->Data) return 0;
  TVeG9bHeader h;
  if (!V9990ReadG9b(source->Data, source->Size, h).empty()) return 0;
  // The header alone identifies the file; the extension only adds to it.
  return TVeSourceMatch(smVerified | (source->Ext == ".g9b" ? smExtension : 0));
}

TVeV9990G9bSourceEngine::TVeV9990G9bSourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeV9990G9bSourceEngine") {
  TVeG9bHeader h;
  const bool ok = source && source->Data && V9990ReadG9b(source->Data, source->Size, h).empty();
  Width = ok ? h.Width : 0;
  Height = ok ? h.Height : 0;
  BitsPerPixel = ok ? h.BitDepth : 8;
  PaletteColumns = 16;
  Description = "V9990" + SizeText() + " G9B picture";
}

std::unique_ptr<TVeBitmap> TVeV9990G9bSourceEngine::CreateBitmap() {
  if (!Source || !Source->Data) throw EVeError("The G9B picture is empty");
  TVeG9bHeader h;
  const std::string why = V9990ReadG9b(Source->Data, Source->Size, h);
  if (!why.empty()) throw EVeError("The G9B picture " + Source->Name + " " + why);
  const uint8_t* pixels = Source->Data + h.PixelsAt;
  const int rowBytes = h.Width * h.BitDepth / 8;
  if (h.ColorType == G9bPaletteColors && h.BitDepth <= 8) {
    // Pixel values beyond the file's colours show black; BP6 ignores bits 7-6.
    const uint8_t* pal = Source->Data + h.PaletteAt;
    const TVePaletteRGB& colors = V9990Colors15();
    Palette->Clear();
    const int entries = h.BitDepth == 8 ? V9990PaletteEntries : 1 << h.BitDepth;
    for (int i = 0; i < entries; ++i) {
      const uint32_t q =
          i < h.Colors
              ? colors.GetRGBQuad(colors.IndexOfLevels(pal[3 * i], pal[3 * i + 1], pal[3 * i + 2]))
              : 0;
      Palette->AddRGB(uint8_t(q >> 16), uint8_t(q >> 8), uint8_t(q));
    }
    auto bmp = std::make_unique<TVeBitmap8>(Width, Palette.get(), Height);
    const int bits = h.BitDepth, perByte = 8 / bits;
    const int mask = bits == 8 ? V9990PaletteEntries - 1 : (1 << bits) - 1;
    for (int y = 0; y < Height; ++y) {
      const uint8_t* row = pixels + size_t(y) * size_t(rowBytes);
      for (int x = 0; x < Width; ++x) {
        const int shift = 8 - bits * (x % perByte + 1);
        bmp->SetPixel(x, y, (row[x / perByte] >> shift) & mask);
      }
    }
    return bmp;
  }
  auto bmp = std::make_unique<TVeBitmap24>(Width, Height);
  std::vector<uint32_t> quads(static_cast<size_t>(Width));
  for (int y = 0; y < Height; ++y) {
    const uint8_t* row = pixels + size_t(y) * size_t(rowBytes);
    if (h.ColorType == G9bYjk || h.ColorType == G9bYuv) {
      VeMsxDecodeYjkRow(row, Width, h.ColorType == G9bYjk ? TVeYjkDecoder::YJK : TVeYjkDecoder::YUV,
                        nullptr, quads.data(), VeYjkBiasV9990);
    } else if (h.ColorType == G9bFixedColors) {
      for (int x = 0; x < Width; ++x)
        quads[size_t(x)] = V9990Bd8Colors().GetRGBQuad(V9990Bd8Index(row[x]));
    } else {
      for (int x = 0; x < Width; ++x)
        quads[size_t(x)] =
            V9990Colors15().GetRGBQuad(V9990Bd16Index(uint16_t(row[2 * x] | row[2 * x + 1] << 8)));
    }
    for (int x = 0; x < Width; ++x)
      bmp->SetPixel(x, y, int(quads[size_t(x)]));
  }
  return bmp;
}

void RegisterV9990Loaders() {
  static const bool done = [] {
    RegisterSourceEngine(
        VeSourceEngineClass<TVeV9990G9bSourceEngine>("TVeV9990G9bSourceEngine", {".g9b"}));
    return true;
  }();
  (void)done;
}
