#include "VeOpenPlatformMsx.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <vector>

#include "VeByteReader.h"
#include "VePlatformMsx.h"
#include "VePlatformMsxMag.h"
#include "VePlatformMsxYJK.h"

struct TVeMsxScreenFormat {
  int Screen;
  std::array<const char*, 4> Exts; // the mode's own extensions, with the dot
  int32_t MinData;                 // data bytes a file needs after its header
  std::vector<int32_t> Sizes;      // exact file sizes
  int Width, Bits;
  int PaletteAt;   // palette registers in the data, -1 for none
  int32_t PageMin; // size of a second interlaced page file, 0 for none
  char Letter;     // last letter of the extensions
};

struct TVeMsxCopyFormat {
  int Screen;
  std::array<const char*, 2> Exts;
  int Bits;
  bool PaletteFile;
  char Letter;
};

namespace {

const TVeMsxScreenFormat& ScreenFormat(int screen) {
  static const std::vector<TVeMsxScreenFormat> formats = {
      {2, {".sc2", ".s02", ".sr2", ".grp"}, 0x3800, {14343, 16391}, 256, 4, -1, 0, '2'},
      {3, {".sc3", ".s03", ".sr3", nullptr}, 1536, {1543, 16391}, 64, 4, -1, 0, '3'},
      {4, {".sc4", ".s04", ".sr4", nullptr}, 0x3800, {14343, 16391}, 256, 4, 0x1B80, 0, '4'},
      {5,
       {".sc5", ".s05", ".sr5", ".ge5"},
       0x6A00,
       {27143, 30375, 30471, 32775},
       256,
       4,
       0x7680,
       27143,
       '5'},
      {6,
       {".sc6", ".s06", ".sr6", ".ge6"},
       0x6A00,
       {27143, 30351, 30375, 32775},
       512,
       2,
       0x7680,
       27143,
       '6'},
      {7, {".sc7", ".s07", ".sr7", ".ge7"}, 0xD400, {54279, 64167}, 512, 4, 0xFA80, 54279, '7'},
      {8, {".sc8", ".s08", ".sr8", ".ge8"}, 0xD400, {54279, 64135}, 256, 8, -1, 54279, '8'},
      {10, {".sca", ".s0a", ".sra", ".gea"}, 64160, {64167}, 256, 8, 0xFA80, 54279, 'a'},
      {12, {".scc", ".s0c", ".src", ".gec"}, 0xC000, {49159, 54279, 64167}, 256, 8, -1, 54279, 'c'},
  };
  for (const TVeMsxScreenFormat& f : formats)
    if (f.Screen == screen) return f;
  VeInternalError();
}

const TVeMsxCopyFormat& CopyFormat(int screen) {
  static const std::vector<TVeMsxCopyFormat> formats = {
      {5, {".gl5", ".sh5"}, 4, true, '5'},  {6, {".gl6", ".sh6"}, 2, true, '6'},
      {7, {".gl7", ".sh7"}, 4, true, '7'},  {8, {".gl8", ".sh8"}, 8, false, '8'},
      {10, {".gla", ".sha"}, 8, true, 'a'}, {12, {".glc", ".shc"}, 8, false, 'c'},
  };
  for (const TVeMsxCopyFormat& f : formats)
    if (f.Screen == screen) return f;
  VeInternalError();
}

template <size_t N> bool OwnExtension(const TVeLoadSource* s, const std::array<const char*, N>& e) {
  for (const char* x : e)
    if (x && s->Ext == x) return true;
  return false;
}

// A palette file holds the 16 registers, repeated eight times.
bool PaletteFileUsable(const TVeLoadSourceRec* rec) {
  return rec && (rec->Size == MsxPaletteFileBytes || rec->Size == MsxPaletteBytes);
}

bool AllZero(const uint8_t* p, int n) {
  return std::all_of(p, p + n, [](uint8_t b) { return b == 0; });
}

uint8_t ScreenAspect(int width, bool interlaced) {
  if (width >= 512) return interlaced ? 12 : 2;
  return interlaced ? 18 : 12;
}

int BitsShown(int screen) {
  return screen == 10 ? 12 : screen == 12 ? 15 : screen == 6 ? 2 : screen == 8 ? 8 : 4;
}

// Pixel x of a row of packed pixels, high bits first.
inline int Packed(const uint8_t* row, int x, int bits) {
  const int perByte = 8 / bits;
  const int shift = 8 - bits * (x % perByte + 1);
  return (row[x / perByte] >> shift) & ((1 << bits) - 1);
}

// A YJK picture; rowOf(y) gives the bytes of row y.
template <class TRowOf>
std::unique_ptr<TVeBitmap> DecodeYjk(int width, int height, TRowOf rowOf,
                                     const TVePalette256* attributePalette) {
  auto bmp = std::make_unique<TVeBitmap24>(width, height);
  std::vector<uint32_t> quads(static_cast<size_t>(width));
  for (int y = 0; y < height; ++y) {
    VeMsxDecodeYjkRow(rowOf(y), width, TVeYjkDecoder::YJK, attributePalette, quads.data());
    for (int x = 0; x < width; ++x)
      bmp->SetPixel(x, y, int(quads[size_t(x)]));
  }
  return bmp;
}

} // namespace

// ---- Base -----------------------------------------------------------------------------------

TVeBaseMSXEngine::TVeBaseMSXEngine(TVeLoadSource* source, const char* className)
    : TVeSourceEngine(source, className) {
  PaletteTypes = {ptMSX9938, ptMSX9958};
  PaletteType = ptMSX9938;
  PixelAspect = 12;
}

// ---- BSAVE screens --------------------------------------------------------------------------

TVeSourceMatch TVeSCEngine::CheckFormat(TVeLoadSource* source, const TVeMsxScreenFormat& f) {
  if (!source || !source->Data || source->Size < MsxBsaveHeaderBytes) return 0;
  const bool exact = std::find(f.Sizes.begin(), f.Sizes.end(), source->Size) != f.Sizes.end();
  if (OwnExtension(source, f.Exts)) {
    if (source->Data[0] != 0xFE || source->Size - MsxBsaveHeaderBytes < f.MinData) return 0;
    return TVeSourceMatch(smVerified | smExtension | (exact ? smExactSize : 0));
  }
  if (exact && MsxBsaveHeaderConsistent(source->Data, source->Size))
    return TVeSourceMatch(smVerified | smExactSize);
  return 0;
}

TVeSCEngine::TVeSCEngine(TVeLoadSource* source, const char* className,
                         const TVeMsxScreenFormat& format)
    : TVeBaseMSXEngine(source, className), FFormat(format) {
  const int screen = format.Screen;
  const int rowBytes = format.Width * format.Bits / 8;
  const int32_t data = source && source->Data ? source->Size - MsxBsaveHeaderBytes : 0;
  if (screen <= 4)
    FRows = screen == 3 ? 48 : 192;
  else
    FRows = std::clamp(data / rowBytes, 0, MsxBitmapRows);
  Width = format.Width;
  Height = FRows;
  BitsPerPixel = BitsShown(screen);
  const std::string letter(1, format.Letter);
  const std::string& ext = source ? source->Ext : std::string();
  // The second page of an interlaced picture. One that is there but unusable is said, as
  // the picture then shows one field only.
  bool pageRefused = false;
  if (format.PageMin > 0 && (ext == ".sc" + letter || ext == ".s0" + letter)) {
    const std::string pageName = VeCompanionName(source->Name, ".s1" + letter);
    const TVeLoadSourceRec* page = source->FindFile(pageName);
    if (page && page->Size >= format.PageMin && page->Data[0] == 0xFE &&
        (page->Size - MsxBsaveHeaderBytes) / rowBytes >= FRows) {
      FPage = page;
      Height = 2 * FRows;
    } else if (page || !source->CompanionProblem(pageName).empty()) {
      pageRefused = true;
      const std::string why = page ? "is not a BSAVE file of the first page's rows"
                                   : "cannot be read: " + source->CompanionProblem(pageName);
      Notes.push_back("the second page " + pageName + " " + why +
                      "; only the first field is shown");
    }
  }
  // A palette file beside a screen that keeps no palette of its own.
  bool refused = false;
  if (screen != 2 && (ext == ".sr" + letter || format.PaletteAt < 0) && screen != 8 &&
      screen != 12) {
    const TVeLoadSourceRec* pl = source->FindFile(VeCompanionName(source->Name, ".pl" + letter));
    if (PaletteFileUsable(pl))
      FPaletteFile = pl;
    else
      refused = pl != nullptr;
  }
  PixelAspect = ScreenAspect(Width, FPage != nullptr);
  if (screen == 2 || screen == 12) PaletteTypes.clear(); // fixed colours
  if (screen == 10) PaletteType = ptMSX9958;             // only the V9958 shows YJK
  Description = "MSX" + SizeText() + " screen " + std::to_string(screen) +
                (FPage ? " interlaced" : "") + " image" +
                (refused ? " (palette file ignored)" : "") +
                (pageRefused ? " (second page ignored)" : "");
  if (refused)
    Notes.push_back("the palette file " + VeCompanionName(source->Name, ".pl" + letter) +
                    " is not usable; the screen's own colours are shown");
}

std::unique_ptr<TVeBitmap> TVeSCEngine::CreateBitmap() {
  const TVeMsxScreenFormat& f = FFormat;
  const int rowBytes = f.Width * f.Bits / 8;
  const int32_t need = f.Screen <= 4 ? f.MinData : FRows * rowBytes;
  if (!Source || !Source->Data || Source->Size - MsxBsaveHeaderBytes < need || FRows <= 0)
    throw EVeError("The MSX screen file is too short");
  const uint8_t* vram = Source->Data + MsxBsaveHeaderBytes;
  const int32_t data = Source->Size - MsxBsaveHeaderBytes;

  // The palette: a palette file, the registers in the file, or the colours of screen 4.
  const TVePaletteType type = MsxHardwareType(PaletteType);
  TVePalette256 registers;
  if (FPaletteFile)
    MsxReadPaletteRegisters(FPaletteFile->Data.data(), registers, type);
  else if (f.PaletteAt >= 0 && data >= f.PaletteAt + MsxPaletteBytes &&
           !AllZero(vram + f.PaletteAt, MsxPaletteBytes))
    MsxReadPaletteRegisters(vram + f.PaletteAt, registers, type);
  else if (f.Screen != 10)
    MsxMakeScreen4Palette(registers, type);

  if (f.Screen == 2 || f.Screen == 4) {
    if (f.Screen == 2)
      MsxMakeTms9918Palette(*Palette);
    else
      *Palette = registers;
    auto bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
    // Each third of the screen has its own pattern and colour bank; the name table says
    // which pattern each character shows.
    for (int cy = 0; cy < 24; ++cy)
      for (int cx = 0; cx < 32; ++cx) {
        const int name = vram[MsxScreen2Names + cy * 32 + cx];
        for (int row = 0; row < 8; ++row) {
          const int at = (cy / 8) * 0x800 + name * 8 + row;
          const uint8_t pattern = vram[at], colors = vram[MsxScreen2Colors + at];
          Unpack1Bit(*bmp, cx * 8, cy * 8 + row, pattern, colors >> 4, colors & 15);
        }
      }
    return bmp;
  }
  if (f.Screen == 3) {
    *Palette = registers;
    auto bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x) {
        const uint8_t b = vram[MsxScreen3Offset(x, y)];
        bmp->SetPixel(x, y, x % 2 ? b & 15 : b >> 4);
      }
    return bmp;
  }

  // Bitmap screens: page 0 holds rows 0, 2, 4, ... of an interlaced picture.
  auto rowOf = [&](int y) {
    if (!FPage) return vram + size_t(y) * size_t(rowBytes);
    const uint8_t* page = (y % 2 ? FPage->Data.data() + MsxBsaveHeaderBytes : vram);
    return page + size_t(y / 2) * size_t(rowBytes);
  };
  if (f.Screen >= 10) {
    Palette->Clear();
    if (f.Screen == 10) *Palette = registers;
    return DecodeYjk(Width, Height, rowOf, f.Screen == 10 ? Palette.get() : nullptr);
  }
  std::unique_ptr<TVeBitmap> bmp;
  if (f.Screen == 8) {
    MsxMakeScreen8Palette(*Palette, type);
    bmp = std::make_unique<TVeBitmap8>(Width, Palette.get(), Height);
  } else {
    *Palette = registers;
    bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  }
  for (int y = 0; y < Height; ++y) {
    const uint8_t* row = rowOf(y);
    for (int x = 0; x < Width; ++x)
      bmp->SetPixel(x, y, Packed(row, x, f.Bits));
  }
  return bmp;
}

#define VE_MSX_SC_DEFINE(Class, screen)                                                            \
  Class::Class(TVeLoadSource* source) : TVeSCEngine(source, #Class, ScreenFormat(screen)) {}       \
  TVeSourceMatch Class::Check(TVeLoadSource* source) {                                             \
    return CheckFormat(source, ScreenFormat(screen));                                              \
  }

VE_MSX_SC_DEFINE(TVeSC2Engine, 2)
VE_MSX_SC_DEFINE(TVeSC3Engine, 3)
VE_MSX_SC_DEFINE(TVeSC4Engine, 4)
VE_MSX_SC_DEFINE(TVeSC5Engine, 5)
VE_MSX_SC_DEFINE(TVeSC6Engine, 6)
VE_MSX_SC_DEFINE(TVeSC7Engine, 7)
VE_MSX_SC_DEFINE(TVeSC8Engine, 8)
VE_MSX_SC_DEFINE(TVeSCAEngine, 10)
VE_MSX_SC_DEFINE(TVeSCCEngine, 12)

// ---- COPY pictures --------------------------------------------------------------------------

namespace {
// Width and height of a COPY picture whose size fits them exactly, else false.
bool CopySize(const TVeLoadSource* s, const TVeMsxCopyFormat& f, int& w, int& h) {
  TVeByteReader r(s->Data, s->Size);
  uint16_t width, height;
  if (!r.ReadWord(width) || !r.ReadWord(height)) return false;
  if (width < 1 || width > 8000 || height < 1 || height > 8000) return false;
  if (f.Screen >= 10 && width % 4 != 0) return false; // YJK comes in groups of four
  const int perByte = 8 / f.Bits;
  const int64_t bytes = (int64_t(width) * height + perByte - 1) / perByte;
  if (bytes != r.Remaining) return false;
  w = width;
  h = height;
  return true;
}
} // namespace

TVeSourceMatch TVeGLEngine::CheckFormat(TVeLoadSource* source, const TVeMsxCopyFormat& f) {
  if (!source || !source->Data || !OwnExtension(source, f.Exts)) return 0;
  int w, h;
  if (!CopySize(source, f, w, h)) return 0;
  return TVeSourceMatch(smVerified | smExtension | smExactSize);
}

TVeGLEngine::TVeGLEngine(TVeLoadSource* source, const char* className,
                         const TVeMsxCopyFormat& format)
    : TVeBaseMSXEngine(source, className), FFormat(format) {
  int w = 0, h = 0;
  if (source && source->Data && CopySize(source, format, w, h)) {
    Width = w;
    Height = h;
  }
  BitsPerPixel = BitsShown(format.Screen);
  bool refused = false;
  if (format.PaletteFile && source) {
    const TVeLoadSourceRec* pl =
        source->FindFile(VeCompanionName(source->Name, ".pl" + std::string(1, format.Letter)));
    if (PaletteFileUsable(pl))
      FPaletteFile = pl;
    else
      refused = pl != nullptr;
  }
  PixelAspect = ScreenAspect(format.Screen == 6 || format.Screen == 7 ? 512 : 256, false);
  if (format.Screen == 12) PaletteTypes.clear();
  if (format.Screen == 10) PaletteType = ptMSX9958;
  Description = "MSX" + SizeText() + " COPY image" + (refused ? " (palette file ignored)" : "");
}

std::unique_ptr<TVeBitmap> TVeGLEngine::CreateBitmap() {
  const TVeMsxCopyFormat& f = FFormat;
  int w, h;
  if (!Source || !Source->Data || !CopySize(Source, f, w, h) || w != Width || h != Height)
    throw EVeError("The MSX COPY file does not match its header");
  const uint8_t* pixels = Source->Data + 4;
  const TVePaletteType type = MsxHardwareType(PaletteType);
  TVePalette256 registers;
  if (FPaletteFile)
    MsxReadPaletteRegisters(FPaletteFile->Data.data(), registers, type);
  else if (f.Screen != 10)
    MsxMakeScreen4Palette(registers, type);
  if (f.Screen >= 10) {
    Palette->Clear();
    if (f.Screen == 10) *Palette = registers;
    auto rowOf = [&](int y) { return pixels + size_t(y) * size_t(Width); };
    return DecodeYjk(Width, Height, rowOf, f.Screen == 10 ? Palette.get() : nullptr);
  }
  std::unique_ptr<TVeBitmap> bmp;
  if (f.Screen == 8) {
    MsxMakeScreen8Palette(*Palette, type);
    bmp = std::make_unique<TVeBitmap8>(Width, Palette.get(), Height);
  } else {
    *Palette = registers;
    bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  }
  // The pixels run on across rows without padding.
  int64_t n = 0;
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x, ++n) {
      const int perByte = 8 / f.Bits;
      const int shift = 8 - f.Bits * int(n % perByte + 1);
      bmp->SetPixel(x, y, (pixels[n / perByte] >> shift) & ((1 << f.Bits) - 1));
    }
  return bmp;
}

#define VE_MSX_GL_DEFINE(Class, screen)                                                            \
  Class::Class(TVeLoadSource* source) : TVeGLEngine(source, #Class, CopyFormat(screen)) {}         \
  TVeSourceMatch Class::Check(TVeLoadSource* source) {                                             \
    return CheckFormat(source, CopyFormat(screen));                                                \
  }

VE_MSX_GL_DEFINE(TVeGL5Engine, 5)
VE_MSX_GL_DEFINE(TVeGL6Engine, 6)
VE_MSX_GL_DEFINE(TVeGL7Engine, 7)
VE_MSX_GL_DEFINE(TVeGL8Engine, 8)
VE_MSX_GL_DEFINE(TVeGLAEngine, 10)
VE_MSX_GL_DEFINE(TVeGLCEngine, 12)

// ---- MAG ------------------------------------------------------------------------------------

namespace {
// The MSX screen a MAG picture was saved from, 0 for other machines.
int MagScreen(const TVeMagHeader& h) {
  if (h.MachineCode != VeMagMachineMSX) return 0;
  const int screen = h.MachineFlag & 0x7F;
  return screen >= 2 && screen <= 12 ? screen : 0;
}
bool MagYjk(const TVeMagHeader& h) {
  const int s = MagScreen(h);
  return (s == 10 || s == 12) && h.Colors == 256;
}
} // namespace

TVeSourceMatch TVeMAGv2Engine::Check(TVeLoadSource* source) {
  TVeMagHeader h;
  if (!source || !VeReadMagHeader(source->Data, source->Size, h)) return 0;
  if (MagYjk(h) && h.Width() % 4 != 0) return 0;
  return TVeSourceMatch(smVerified | (source->Ext == ".mag" ? smExtension : 0));
}

TVeMAGv2Engine::TVeMAGv2Engine(TVeLoadSource* source) : TVeBaseMSXEngine(source, "TVeMAGv2Engine") {
  TVeMagHeader h;
  if (!source || !VeReadMagHeader(source->Data, source->Size, h)) return;
  Width = h.Width();
  Height = h.Height();
  const int screen = MagScreen(h);
  BitsPerPixel = MagYjk(h) ? BitsShown(screen) : h.Colors == 256 ? 8 : 4;
  Comment = VeCodePage932ToUtf8(h.Comment);
  PaletteTypes.clear(); // the file stores its colours
  if (screen)
    PixelAspect = ScreenAspect(Width, (h.MachineFlag & VeMagInterlaced) != 0);
  else
    PixelAspect = (h.ScreenMode & VeMagTallPixels) ? 1 : 10;
  PaletteColumns = 16;
  Description = std::string(screen ? "MSX" : "MAG") + SizeText() + " MAG image";
}

std::unique_ptr<TVeBitmap> TVeMAGv2Engine::CreateBitmap() {
  if (!Source) VeInternalError();
  TVeMagHeader h;
  if (!VeReadMagHeader(Source->Data, Source->Size, h)) throw EVeError("Corrupt MAG file");
  TVeMagPicture pic;
  VeDecodeMag(Source->Data, Source->Size, pic);
  if (pic.Width != Width || pic.Height != Height) VeInternalError();
  Palette->BeginUpdate();
  Palette->Clear();
  const bool yjk = MagYjk(h);
  const size_t colors = yjk ? (MagScreen(h) == 10 ? 16 : 0) : pic.Palette.size();
  for (size_t i = 0; i < colors && i < pic.Palette.size(); ++i)
    Palette->AddRGB(uint8_t(pic.Palette[i] >> 16), uint8_t(pic.Palette[i] >> 8),
                    uint8_t(pic.Palette[i]));
  Palette->EndUpdate();
  if (yjk) {
    auto rowOf = [&](int y) { return &pic.Pixels[size_t(y) * size_t(Width)]; };
    return DecodeYjk(Width, Height, rowOf, MagScreen(h) == 10 ? Palette.get() : nullptr);
  }
  std::unique_ptr<TVeBitmap> bmp;
  if (pic.Colors256)
    bmp = std::make_unique<TVeBitmap8>(Width, Palette.get(), Height);
  else
    bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x)
      bmp->SetPixel(x, y, pic.Pixels[size_t(y) * size_t(Width) + size_t(x)]);
  return bmp;
}

// ---- Registration ---------------------------------------------------------------------------

void RegisterMsxLoaders() {
  static const bool done = [] {
    RegisterSourceEngine(
        VeSourceEngineClass<TVeSC2Engine>("TVeSC2Engine", {".sc2", ".s02", ".sr2", ".grp"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeSC3Engine>("TVeSC3Engine", {".sc3", ".s03", ".sr3"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeSC4Engine>("TVeSC4Engine", {".sc4", ".s04", ".sr4"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeSC5Engine>("TVeSC5Engine", {".sc5", ".s05", ".sr5", ".ge5"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeSC6Engine>("TVeSC6Engine", {".sc6", ".s06", ".sr6", ".ge6"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeSC7Engine>("TVeSC7Engine", {".sc7", ".s07", ".sr7", ".ge7"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeSC8Engine>("TVeSC8Engine", {".sc8", ".s08", ".sr8", ".ge8"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeSCAEngine>("TVeSCAEngine", {".sca", ".s0a", ".sra", ".gea"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeSCCEngine>("TVeSCCEngine", {".scc", ".s0c", ".src", ".gec"}));
    RegisterSourceEngine(VeSourceEngineClass<TVeGL5Engine>("TVeGL5Engine", {".gl5", ".sh5"}));
    RegisterSourceEngine(VeSourceEngineClass<TVeGL6Engine>("TVeGL6Engine", {".gl6", ".sh6"}));
    RegisterSourceEngine(VeSourceEngineClass<TVeGL7Engine>("TVeGL7Engine", {".gl7", ".sh7"}));
    RegisterSourceEngine(VeSourceEngineClass<TVeGL8Engine>("TVeGL8Engine", {".gl8", ".sh8"}));
    RegisterSourceEngine(VeSourceEngineClass<TVeGLAEngine>("TVeGLAEngine", {".gla", ".sha"}));
    RegisterSourceEngine(VeSourceEngineClass<TVeGLCEngine>("TVeGLCEngine", {".glc", ".shc"}));
    RegisterSourceEngine(VeSourceEngineClass<TVeMAGv2Engine>("TVeMAGv2Engine", {".mag"}));
    return true;
  }();
  (void)done;
}
