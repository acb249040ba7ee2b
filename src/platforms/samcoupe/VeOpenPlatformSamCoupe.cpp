#include "VeOpenPlatformSamCoupe.h"

#include "VeErrors.h"
#include "VePlatformSamCoupe.h"

struct TVeSamFileFormat {
  const char* Ext; // with the dot
  int32_t Size;
  int Bits, Width, Height;
  bool Ham;
  int ClutAt;
  uint8_t Aspect;
  const char* Name;
};

namespace {

const TVeSamFileFormat Mode3{".ss3", SamFileBytes, 2, 512, 192, false, SamScreenBytes, 1, "mode 3"};
const TVeSamFileFormat Mode4{".ss4", SamFileBytes,   4,  256,     192,
                             false,  SamScreenBytes, 10, "mode 4"};
const TVeSamFileFormat Interlaced{
    ".ssi", SamInterlacedFileBytes, 4, 256, 384, false, 2 * SamScreenBytes,
    17,     "mode 4 interlaced"};
const TVeSamFileFormat Ham{".ssh", SamHamFileBytes,     4, 256, 192, true, SamScreenBytes,
                           10,     "mode 4 line-change"};

// Colour numbers have seven bits; a slot of the line changes one of the 16 CLUT entries.
bool Consistent(const uint8_t* data, const TVeSamFileFormat& f) {
  for (int i = 0; i < SamClutBytes; ++i)
    if (data[f.ClutAt + i] >= SamColorCount) return false;
  if (!f.Ham) return true;
  const uint8_t* changes = data + f.ClutAt + SamClutBytes;
  for (int i = 0; i < SamRows - 1; ++i)
    if (changes[2 * i] >= SamClutBytes || changes[2 * i + 1] >= SamColorCount) return false;
  return true;
}

inline int Packed(const uint8_t* row, int x, int bits) {
  const int perByte = 8 / bits;
  const int shift = 8 - bits * (x % perByte + 1);
  return (row[x / perByte] >> shift) & ((1 << bits) - 1);
}

} // namespace

TVeSourceMatch TVeSamScreenEngine::CheckFormat(TVeLoadSource* source, const TVeSamFileFormat& f) {
  if (!source || !source->Data || source->Ext != f.Ext || source->Size != f.Size) return 0;
  if (!Consistent(source->Data, f)) return 0;
  return TVeSourceMatch(smVerified | smExtension | smExactSize);
}

TVeSamScreenEngine::TVeSamScreenEngine(TVeLoadSource* source, const char* className,
                                       const TVeSamFileFormat& format)
    : TVeSourceEngine(source, className), FFormat(format) {
  Width = format.Width;
  Height = format.Height;
  BitsPerPixel = format.Ham ? 7 : format.Bits;
  PixelAspect = format.Aspect;
  PaletteColumns = 16;
  Description = std::string("SAM Coup\xC3\xA9") + SizeText() + " " + format.Name + " screen";
}

std::unique_ptr<TVeBitmap> TVeSamScreenEngine::CreateBitmap() {
  const TVeSamFileFormat& f = FFormat;
  if (!Source || !Source->Data || Source->Size != f.Size)
    throw EVeError("The SAM Coup\xC3\xA9 screen file has the wrong size");
  const uint8_t* data = Source->Data;
  if (!Consistent(data, f))
    throw EVeError("The SAM Coup\xC3\xA9 screen file holds invalid colours");
  const TVePalette256& sam = SamPalette();
  const uint8_t* clut = data + f.ClutAt;
  auto rowOf = [&](int y) {
    if (f.Height == 2 * SamRows)
      return data + (y % 2) * SamScreenBytes + size_t(y / 2) * SamRowBytes;
    return data + size_t(y) * SamRowBytes;
  };
  if (f.Ham) {
    *Palette = sam;
    auto bmp = std::make_unique<TVeBitmap8>(Width, Palette.get(), Height);
    uint8_t regs[SamClutBytes];
    for (int i = 0; i < SamClutBytes; ++i)
      regs[i] = clut[i];
    const uint8_t* changes = clut + SamClutBytes;
    for (int y = 0; y < Height; ++y) {
      if (y > 0) regs[changes[2 * (y - 1)]] = changes[2 * (y - 1) + 1];
      const uint8_t* row = rowOf(y);
      for (int x = 0; x < Width; ++x)
        bmp->SetPixel(x, y, regs[Packed(row, x, 4)]);
    }
    return bmp;
  }
  Palette->Clear();
  for (int i = 0; i < (1 << f.Bits); ++i)
    Palette->AddColor(sam.Color(clut[i]));
  auto bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  for (int y = 0; y < Height; ++y) {
    const uint8_t* row = rowOf(y);
    for (int x = 0; x < Width; ++x)
      bmp->SetPixel(x, y, Packed(row, x, f.Bits));
  }
  return bmp;
}

#define VE_SAM_DEFINE(Class, format)                                                               \
  Class::Class(TVeLoadSource* source) : TVeSamScreenEngine(source, #Class, format) {}              \
  TVeSourceMatch Class::Check(TVeLoadSource* source) {                                             \
    return CheckFormat(source, format);                                                            \
  }

VE_SAM_DEFINE(TVeSamMode3SourceEngine, Mode3)
VE_SAM_DEFINE(TVeSamMode4SourceEngine, Mode4)
VE_SAM_DEFINE(TVeSamInterlacedSourceEngine, Interlaced)
VE_SAM_DEFINE(TVeSamHAMSourceEngine, Ham)

void RegisterSamCoupeLoaders() {
  static const bool done = [] {
    RegisterSourceEngine(
        VeSourceEngineClass<TVeSamMode3SourceEngine>("TVeSamMode3SourceEngine", {".ss3"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeSamMode4SourceEngine>("TVeSamMode4SourceEngine", {".ss4"}));
    RegisterSourceEngine(VeSourceEngineClass<TVeSamInterlacedSourceEngine>(
        "TVeSamInterlacedSourceEngine", {".ssi"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeSamHAMSourceEngine>("TVeSamHAMSourceEngine", {".ssh"}));
    return true;
  }();
  (void)done;
}
