#include "VeOpenPlatformAmstradCpc.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <utility>

#include "VePlatformAmstradCpc.h"

namespace {

constexpr int32_t StandardSize = CpcHeaderBytes + CpcScreenBytes; // 16512
constexpr int32_t StandardShortSize = StandardSize - 48;          // without the last gap
constexpr int32_t OverscanSize = CpcHeaderBytes + CpcOverscanBytes;
constexpr int32_t PalSize = CpcHeaderBytes + 239;
constexpr int32_t KitSize = CpcHeaderBytes + 32;

const TVeLoadSourceRec* Companion(TVeLoadSource* s, const char* ext) {
  return s ? s->FindFile(VeCompanionName(s->Name, ext)) : nullptr;
}

// A header whose lengths all give the data that follows it.
bool WholeFileHeader(const uint8_t* data, int32_t size, TVeCpcHeader& h) {
  if (!CpcReadHeader(data, size, h)) return false;
  const int32_t n = size - CpcHeaderBytes;
  return h.Length == n && h.LogicalLength == n && h.RealLength == n && h.RealLengthHigh == 0;
}

// The ".pal" companion: 239 bytes of data after a header, the mode first.
bool PalUsable(const TVeLoadSourceRec* rec) {
  TVeCpcHeader h;
  return rec && rec->Size == PalSize && WholeFileHeader(rec->Data.data(), rec->Size, h) &&
         rec->Data[CpcHeaderBytes] <= 2;
}
bool KitUsable(const TVeLoadSourceRec* rec) {
  TVeCpcHeader h;
  return rec && rec->Size == KitSize && WholeFileHeader(rec->Data.data(), rec->Size, h);
}

// Firmware colours of the 16 pens of a ".pal" file.
void PalPens(const TVeLoadSourceRec* rec, int* pens) {
  for (int i = 0; i < 16; ++i)
    pens[i] = CpcFirmwareOfHardware(rec->Data[size_t(CpcHeaderBytes + 3 + 12 * i)]);
}

// 16 Plus colours of two bytes, red * 16 + blue, then green.
void PlusPens(const uint8_t* from, TVePalette256& palette) {
  palette.BeginUpdate();
  palette.Clear();
  for (int i = 0; i < 16; ++i)
    palette.AddRGB(uint8_t((from[2 * i] >> 4) * 17), uint8_t((from[2 * i + 1] & 15) * 17),
                   uint8_t((from[2 * i] & 15) * 17));
  palette.EndUpdate();
}

uint8_t AspectOfMode(int mode) {
  return mode == 0 ? 17 : mode == 1 ? 10 : 1;
}

// Pixels of a screen whose byte of (row, column) is at offset(y, col) in data (bytes past
// the end read as 0).
template <class TOffset>
void Unpack(TVeBitmap& bmp, int mode, const uint8_t* data, int32_t size, TOffset offset) {
  const int ppb = CpcPixelsPerByte(mode);
  for (int y = 0; y < bmp.Height(); ++y)
    for (int x = 0; x < bmp.Width(); ++x) {
      const int at = offset(y, x / ppb);
      const uint8_t b = at < size ? data[at] : 0;
      bmp.SetPixel(x, y, CpcUnpackPixel(b, mode, x % ppb));
    }
}

std::unique_ptr<TVeBitmap> NewBitmap(int mode, int width, int height, const TVePalette256* p) {
  if (mode == 2) return std::make_unique<TVeBitmap1>(width, p, height);
  return std::make_unique<TVeBitmap4>(width, p, height);
}

int Pens(int mode) {
  return mode == 0 ? 16 : mode == 1 ? 4 : 2;
}

} // namespace

// ---- Base -----------------------------------------------------------------------------------

TVeBaseAmstradCPCEngine::TVeBaseAmstradCPCEngine(TVeLoadSource* source, const char* className)
    : TVeSourceEngine(source, className) {
  PaletteTypes = {ptCPCGateArray, ptCPCGateArrayRGB, ptCPCASIC, ptCPCASICRGB};
  PaletteType = ptCPCGateArray;
}

void TVeBaseAmstradCPCEngine::SetFirmwarePens(const int* firmware, int count) {
  TVePalette256 all;
  CpcMakePalette(all, PaletteType);
  Palette->BeginUpdate();
  Palette->Clear();
  for (int i = 0; i < count; ++i) {
    const int f = firmware[i];
    Palette->AddColor(all.Color(f >= 0 && f < CpcColorCount ? f : 0));
  }
  Palette->EndUpdate();
}

// ---- Standard screens -----------------------------------------------------------------------

namespace {
bool StandardFile(const TVeLoadSource* s) {
  if (!s || !s->Data || (s->Size != StandardSize && s->Size != StandardShortSize)) return false;
  TVeCpcHeader h;
  return WholeFileHeader(s->Data, s->Size, h) && h.Type == CpcTypeBinary && h.Load == 0xC000 &&
         h.Entry == 0xC7D0;
}
} // namespace

TVeSourceMatch TVeAmstradCPCScreenSourceEngine::CheckMode(TVeLoadSource* source, int mode) {
  if (!StandardFile(source)) return 0;
  const TVeLoadSourceRec* pal = Companion(source, ".pal");
  const int fileMode =
      PalUsable(pal) ? pal->Data[CpcHeaderBytes] : source->Data[CpcHeaderBytes + CpcModeAt];
  if (fileMode != mode) return 0;
  return TVeSourceMatch(smVerified | smExactSize | (source->Ext == ".scr" ? smExtension : 0));
}

TVeAmstradCPCScreenSourceEngine::TVeAmstradCPCScreenSourceEngine(TVeLoadSource* source,
                                                                 const char* className, int mode)
    : TVeBaseAmstradCPCEngine(source, className), FMode(mode) {
  Width = 160 << mode;
  Height = 200;
  BitsPerPixel = mode == 0 ? 4 : mode == 1 ? 2 : 1;
  PixelAspect = AspectOfMode(mode);
  PaletteColumns = Pens(mode);
  const TVeLoadSourceRec* pal = Companion(source, ".pal");
  if (PalUsable(pal)) FPalFile = pal;
  Description = "Amstrad CPC" + SizeText() + " mode " + std::to_string(mode) + " screen" +
                (pal && !FPalFile ? " (palette file ignored)" : "");
}

std::unique_ptr<TVeBitmap> TVeAmstradCPCScreenSourceEngine::CreateBitmap() {
  if (!StandardFile(Source)) throw EVeError("The Amstrad CPC screen file is damaged");
  const uint8_t* data = Source->Data + CpcHeaderBytes;
  const int32_t size = Source->Size - CpcHeaderBytes;
  int pens[16];
  if (FPalFile) {
    PalPens(FPalFile, pens);
  } else {
    for (int i = 0; i < 16; ++i)
      pens[i] = data[CpcInksAt + i];
  }
  SetFirmwarePens(pens, Pens(FMode));
  auto bmp = NewBitmap(FMode, Width, Height, Palette.get());
  Unpack(*bmp, FMode, data, size, CpcScreenOffset);
  return bmp;
}

#define VE_CPC_SCREEN_DEFINE(Class, mode)                                                          \
  Class::Class(TVeLoadSource* source) : TVeAmstradCPCScreenSourceEngine(source, #Class, mode) {}   \
  TVeSourceMatch Class::Check(TVeLoadSource* source) {                                             \
    return CheckMode(source, mode);                                                                \
  }

VE_CPC_SCREEN_DEFINE(TVeAmstradCPCMode0SourceEngine, 0)
VE_CPC_SCREEN_DEFINE(TVeAmstradCPCMode1SourceEngine, 1)
VE_CPC_SCREEN_DEFINE(TVeAmstradCPCMode2SourceEngine, 2)

// ---- Overscan -------------------------------------------------------------------------------

namespace {

enum class TPaletteFrom { None, Kit, Pal, FileInks, FilePlus };

struct TOverscanPlan {
  int Mode = -1;
  TPaletteFrom From = TPaletteFrom::None;
  const TVeLoadSourceRec* File = nullptr;
  bool Ignored = false; // a companion file was there but unusable
};

TOverscanPlan PlanOverscan(TVeLoadSource* s) {
  TOverscanPlan p;
  if (!s || !s->Data || s->Size != OverscanSize) return p;
  TVeCpcHeader h;
  if (!WholeFileHeader(s->Data, s->Size, h) || h.Type != CpcTypeBasic ||
      h.Load != CpcOverscanLoad || h.Entry != 0)
    return p;
  const uint8_t* d = s->Data + CpcHeaderBytes;
  const TVeLoadSourceRec* pal = Companion(s, ".pal");
  const TVeLoadSourceRec* kit = Companion(s, ".kit");
  const bool palOk = PalUsable(pal), kitOk = KitUsable(kit);
  p.Ignored = (pal && !palOk) || (kit && !kitOk);
  const int token = d[CpcOverscanModeAt];
  const bool own = token >= 14 && token <= 16;
  p.Mode = own ? token - 14 : palOk ? pal->Data[CpcHeaderBytes] : -1;
  if (p.Mode < 0) return p;
  if (kitOk) {
    p.From = TPaletteFrom::Kit;
    p.File = kit;
  } else if (palOk) {
    p.From = TPaletteFrom::Pal;
    p.File = pal;
  } else if (own && d[CpcOverscanPlusAt] == 0) {
    p.From = TPaletteFrom::FileInks;
  } else if (own && d[CpcOverscanPlusAt] == 1) {
    p.From = TPaletteFrom::FilePlus;
  }
  return p;
}

} // namespace

TVeSourceMatch TVeAmstradCPCOverscanSourceEngine::Check(TVeLoadSource* source) {
  const TOverscanPlan p = PlanOverscan(source);
  if (p.Mode < 0 || p.From == TPaletteFrom::None) return 0;
  return TVeSourceMatch(smVerified | smExactSize | (source->Ext == ".scr" ? smExtension : 0));
}

TVeAmstradCPCOverscanSourceEngine::TVeAmstradCPCOverscanSourceEngine(TVeLoadSource* source)
    : TVeBaseAmstradCPCEngine(source, "TVeAmstradCPCOverscanSourceEngine") {
  const TOverscanPlan p = PlanOverscan(source);
  FMode = p.Mode < 0 ? 1 : p.Mode;
  Width = 192 << FMode;
  Height = 272;
  BitsPerPixel = FMode == 0 ? 4 : FMode == 1 ? 2 : 1;
  PixelAspect = AspectOfMode(FMode);
  PaletteColumns = Pens(FMode);
  // Plus colours are the file's own: there is nothing to choose.
  if (p.From == TPaletteFrom::Kit || p.From == TPaletteFrom::FilePlus) PaletteTypes.clear();
  Description = "Amstrad CPC" + SizeText() + " mode " + std::to_string(FMode) + " overscan screen" +
                (p.Ignored ? " (palette file ignored)" : "");
}

std::unique_ptr<TVeBitmap> TVeAmstradCPCOverscanSourceEngine::CreateBitmap() {
  const TOverscanPlan p = PlanOverscan(Source);
  if (p.Mode != FMode || p.From == TPaletteFrom::None)
    throw EVeError("The Amstrad CPC overscan file is damaged");
  const uint8_t* data = Source->Data + CpcHeaderBytes;
  const int32_t size = Source->Size - CpcHeaderBytes;
  int pens[16];
  switch (p.From) {
  case TPaletteFrom::Kit:
    PlusPens(p.File->Data.data() + CpcHeaderBytes, *Palette);
    break;
  case TPaletteFrom::FilePlus:
    PlusPens(data + CpcOverscanPlusColorsAt, *Palette);
    break;
  case TPaletteFrom::Pal:
    PalPens(p.File, pens);
    SetFirmwarePens(pens, 16);
    break;
  default:
    for (int i = 0; i < 16; ++i)
      pens[i] = CpcFirmwareOfHardware(data[CpcOverscanInksAt + i]);
    SetFirmwarePens(pens, 16);
    break;
  }
  while (Palette->Count() > Pens(FMode))
    Palette->Delete(Palette->Count() - 1);
  auto bmp = NewBitmap(FMode, Width, Height, Palette.get());
  Unpack(*bmp, FMode, data, size, CpcOverscanOffset);
  return bmp;
}

// ---- .hgb -----------------------------------------------------------------------------------

namespace {
// The header size of an ".hgb" file: 128, 0 without header, -1 when it is none.
int HgbHeader(const TVeLoadSource* s) {
  if (!s || !s->Data) return -1;
  if (s->Size == CpcScreenBytes) return 0;
  TVeCpcHeader h;
  if (s->Size == StandardSize && WholeFileHeader(s->Data, s->Size, h) && h.Type == CpcTypeBinary)
    return CpcHeaderBytes;
  return -1;
}
} // namespace

TVeSourceMatch TVeAmstradCPCHgbSourceEngine::Check(TVeLoadSource* source) {
  const int header = HgbHeader(source);
  if (header < 0) return 0;
  const TVeSourceMatch ext = source->Ext == ".hgb" ? smExtension : 0;
  return TVeSourceMatch(smExactSize | ext | (header ? smVerified : 0));
}

TVeAmstradCPCHgbSourceEngine::TVeAmstradCPCHgbSourceEngine(TVeLoadSource* source)
    : TVeBaseAmstradCPCEngine(source, "TVeAmstradCPCHgbSourceEngine") {
  Width = 512;
  Height = 256;
  BitsPerPixel = 1;
  PixelAspect = 1;
  PaletteColumns = 2;
  Description = "Amstrad CPC" + SizeText() + " HGB screen";
}

std::unique_ptr<TVeBitmap> TVeAmstradCPCHgbSourceEngine::CreateBitmap() {
  const int header = HgbHeader(Source);
  if (header < 0) throw EVeError("The Amstrad CPC HGB file is damaged");
  const int pens[2] = {0, 26};
  SetFirmwarePens(pens, 2);
  auto bmp = NewBitmap(2, Width, Height, Palette.get());
  Unpack(*bmp, 2, Source->Data + header, Source->Size - header, CpcHgbOffset);
  return bmp;
}

// ---- ModeR .pph -----------------------------------------------------------------------------

namespace {

struct TModeRPlan {
  bool Valid = false;
  int Mode = 0;     // screen mode of the frames
  int RowBytes = 0; // bytes per line
  int Height = 0;
  const uint8_t* Pens = nullptr;
  const TVeLoadSourceRec* Even = nullptr;
  const TVeLoadSourceRec* Odd = nullptr;
  std::string Problem; // with a good header: which frame file is missing or unusable
};

// A frame file: a header and at least the bytes of the frame.
bool FrameUsable(const TVeLoadSourceRec* rec, int32_t bytes) {
  TVeCpcHeader h;
  return rec && CpcReadHeader(rec->Data.data(), rec->Size, h) &&
         rec->Size - CpcHeaderBytes >= bytes && h.Length >= bytes;
}

TModeRPlan PlanModeR(TVeLoadSource* s) {
  TModeRPlan p;
  if (!s || !s->Data || (s->Size != 150 && s->Size != 138)) return p;
  TVeCpcHeader h;
  if (!WholeFileHeader(s->Data, s->Size, h)) return p;
  const uint8_t* d = s->Data + CpcHeaderBytes;
  const int code = d[0];
  if (s->Size == 150 ? (code != 3 && code != 4) : code != 5) return p;
  const int width = d[1] | d[2] << 8, height = d[3] | d[4] << 8;
  if (width < 1 || width > 384 || width % 4 != 0 || height < 1 || height > 272 || d[5] != 1)
    return p;
  p.Mode = code == 5 ? 1 : 0;
  p.RowBytes = width / 4;
  p.Height = height;
  p.Pens = d + 6;
  const int32_t bytes = int32_t(height) * p.RowBytes;
  p.Even = Companion(s, ".eve");
  p.Odd = Companion(s, ".odd");
  p.Valid = FrameUsable(p.Even, bytes) && FrameUsable(p.Odd, bytes);
  // The header alone cannot show a picture; say which frame file stops it.
  for (const auto& [rec, ext] : {std::pair{p.Even, ".eve"}, std::pair{p.Odd, ".odd"}}) {
    if (!p.Problem.empty() || FrameUsable(rec, bytes)) continue;
    const std::string name = VeCompanionName(s->Name, ext);
    const std::string why = s->CompanionProblem(name);
    p.Problem = "The ModeR frame file " + name +
                (rec           ? " is not a frame of this picture"
                 : why.empty() ? " is missing"
                               : " cannot be read: " + why);
  }
  return p;
}

} // namespace

// A header without its frames is still offered under its extension, so that opening it
// names the frame file at fault.
TVeSourceMatch TVeAmstradCPCModeRSourceEngine::Check(TVeLoadSource* source) {
  const TModeRPlan p = PlanModeR(source);
  if (!p.Valid) return !p.Problem.empty() && source->Ext == ".pph" ? smExtension : 0;
  return TVeSourceMatch(smVerified | smExactSize | (source->Ext == ".pph" ? smExtension : 0));
}

TVeAmstradCPCModeRSourceEngine::TVeAmstradCPCModeRSourceEngine(TVeLoadSource* source)
    : TVeBaseAmstradCPCEngine(source, "TVeAmstradCPCModeRSourceEngine") {
  const TModeRPlan p = PlanModeR(source);
  Width = p.RowBytes * CpcPixelsPerByte(p.Mode);
  Height = p.Height;
  BitsPerPixel = p.Mode == 0 ? 8 : 4;
  PixelAspect = AspectOfMode(p.Mode);
  PaletteColumns = Pens(p.Mode);
  Description = "Amstrad CPC" + SizeText() + " ModeR flicker image";
}

std::unique_ptr<TVeBitmap> TVeAmstradCPCModeRSourceEngine::CreateBitmap() {
  const TModeRPlan p = PlanModeR(Source);
  if (!p.Valid && !p.Problem.empty()) throw EVeError(p.Problem);
  if (!p.Valid || p.Height != Height) throw EVeError("The Amstrad CPC ModeR files are damaged");
  const int n = Pens(p.Mode);
  int firmware[16];
  for (int i = 0; i < n; ++i)
    firmware[i] = p.Pens[i];
  SetFirmwarePens(firmware, n);
  TVePalette256 pens = *Palette;
  Palette->MakeMixTable(&pens, 100, n);
  std::unique_ptr<TVeBitmap> bmp;
  if (n == 16)
    bmp = std::make_unique<TVeBitmap8>(Width, Palette.get(), Height);
  else
    bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  TVeBitmap* even = bmp->AddFrame(&pens);
  TVeBitmap* odd = bmp->AddFrame(&pens);
  const int rowBytes = p.RowBytes;
  auto linear = [rowBytes](int y, int col) { return y * rowBytes + col; };
  Unpack(*even, p.Mode, p.Even->Data.data() + CpcHeaderBytes, p.Even->Size - CpcHeaderBytes,
         linear);
  Unpack(*odd, p.Mode, p.Odd->Data.data() + CpcHeaderBytes, p.Odd->Size - CpcHeaderBytes, linear);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x)
      bmp->SetPixel(x, y, even->GetPixel(x, y) * n + odd->GetPixel(x, y));
  return bmp;
}

// ---- Registration ---------------------------------------------------------------------------

void RegisterAmstradCpcLoaders() {
  static const bool done = [] {
    RegisterSourceEngine(VeSourceEngineClass<TVeAmstradCPCMode0SourceEngine>(
        "TVeAmstradCPCMode0SourceEngine", {".scr"}));
    RegisterSourceEngine(VeSourceEngineClass<TVeAmstradCPCMode1SourceEngine>(
        "TVeAmstradCPCMode1SourceEngine", {".scr"}));
    RegisterSourceEngine(VeSourceEngineClass<TVeAmstradCPCMode2SourceEngine>(
        "TVeAmstradCPCMode2SourceEngine", {".scr"}));
    RegisterSourceEngine(VeSourceEngineClass<TVeAmstradCPCOverscanSourceEngine>(
        "TVeAmstradCPCOverscanSourceEngine", {".scr"}));
    RegisterSourceEngine(VeSourceEngineClass<TVeAmstradCPCHgbSourceEngine>(
        "TVeAmstradCPCHgbSourceEngine", {".hgb"}));
    RegisterSourceEngine(VeSourceEngineClass<TVeAmstradCPCModeRSourceEngine>(
        "TVeAmstradCPCModeRSourceEngine", {".pph"}));
    return true;
  }();
  (void)done;
}
