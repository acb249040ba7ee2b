#include "VeOpenPlatformZxSpectrumExtra.h"

#include <cstring>
#include <string>

#include "VePictureCodecs.h"

#include "VePlatformZxSpectrum.h"
#include "VePlatformZxSpectrumGigascreen.h"
#include "zxspectrumnext/VePlatformZxSpectrumNext.h"

const uint8_t ZxHlrRoutine[84] = {
    0x76, 0xAF, 0xD3, 0xFE, 0x21, 0x00, 0x58, 0x11, 0x01, 0x58, 0x01, 0xFF, 0x02, 0x75,
    0xED, 0xB0, 0x21, 0x00, 0x40, 0xCD, 0x43, 0x80, 0x21, 0x00, 0x48, 0xCD, 0x43, 0x80,
    0x21, 0x00, 0x50, 0xCD, 0x43, 0x80, 0x76, 0x21, 0x5C, 0x80, 0x11, 0x00, 0x58, 0x01,
    0x00, 0x03, 0xED, 0xB0, 0x76, 0x21, 0x5C, 0x83, 0x11, 0x00, 0x58, 0x01, 0x00, 0x03,
    0xED, 0xB0, 0xAF, 0xDB, 0xFE, 0xF6, 0xE0, 0x3C, 0x28, 0xE0, 0xC9, 0x11, 0x54, 0x80,
    0x06, 0x08, 0x4C, 0x1A, 0x77, 0x13, 0x24, 0x10, 0xFA, 0x61, 0x2C, 0x20, 0xF0, 0xC9};

namespace {

void ZxLoader(TVeSourceEngine& e, int width, int height, int bits, const char* kind) {
  e.Width = width;
  e.Height = height;
  e.BitsPerPixel = bits;
  e.SetDefaultZxPaletteTypes();
  e.Description = "ZX Spectrum" + e.SizeText() + kind + " image";
}

int Ink(uint8_t a) {
  int ink, paper;
  TVeSourceEngine::ZxAttribute(a, ink, paper);
  return ink;
}
int Paper(uint8_t a) {
  int ink, paper;
  TVeSourceEngine::ZxAttribute(a, ink, paper);
  return paper;
}

// A standard screen at (64, 64) of 384 x 304 with the border around it. attrAt(x, y) gives
// the attribute offset of byte column x in pixel row y.
template <class TAttrAt>
std::unique_ptr<TVeBitmap> DecodeBordered(TVeSourceEngine& e, int borderAt, TAttrAt attrAt) {
  ZxSpectrumMakePalette(*e.Palette, e.PaletteType);
  auto bmp = std::make_unique<TVeBitmap8>(e.Width, e.Palette.get(), e.Height);
  const uint8_t* d = e.Source->Data;
  // Each border byte paints two runs of 8 pixels: bits 0-2 the left, bits 3-5 the right.
  const uint8_t* b = d + borderAt;
  auto runs = [&](int y, int x0, int bytes) {
    for (int i = 0; i < bytes; ++i, ++b)
      for (int half = 0; half < 2; ++half)
        for (int k = 0; k < 8; ++k)
          bmp->SetPixel(x0 + 16 * i + 8 * half + k, y, (*b >> (3 * half)) & 7);
  };
  for (int y = 0; y < 304; ++y) {
    if (y < 64 || y >= 256) {
      runs(y, 0, 24);
    } else {
      runs(y, 0, 4);
      runs(y, 320, 4);
    }
  }
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < 32; ++x) {
      const uint8_t a = d[attrAt(x, y)];
      TVeSourceEngine::Unpack1Bit(*bmp, 64 + 8 * x, 64 + y, d[ZxScreenOffset(y, x)], Ink(a),
                                  Paper(a));
    }
  return bmp;
}

} // namespace

// ---- Gigascreen variants ------------------------------------------------------------------

TVeZxSpectrumHlrEngine::TVeZxSpectrumHlrEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeZxSpectrumHlrEngine") {
  ZxLoader(*this, ZxScreenWidth, ZxScreenHeight, 8, " gigascreen");
  VeZxGigaCalculations(*this);
}

TVeSourceMatch TVeZxSpectrumHlrEngine::Check(TVeLoadSource* source) {
  if (!source || !source->Data || source->Size != 1628 ||
      std::memcmp(source->Data, ZxHlrRoutine, sizeof ZxHlrRoutine) != 0)
    return 0;
  return VeZxSizeMatch(source, 1628, ".hlr", nullptr, true);
}

std::unique_ptr<TVeBitmap> TVeZxSpectrumHlrEngine::CreateBitmap() {
  VeZxNeedBytes(*this, 1628);
  VeZxPairPalette(*this);
  auto bmp = std::make_unique<TVeBitmap8>(Width, Palette.get(), Height);
  const TVeZxFrames frames = VeZxAddFrames(*this, *bmp);
  const uint8_t* d = Source->Data;
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < 32; ++x) {
      const uint8_t a1 = d[92 + 32 * (y / 8) + x], a2 = d[860 + 32 * (y / 8) + x];
      const uint8_t bits = d[84 + y % 8]; // the same pattern in every cell
      for (int i = 0; i < 8; ++i) {
        const bool set = bits >> (7 - i) & 1;
        frames.Set(*bmp, 8 * x + i, y, set ? Ink(a1) : Paper(a1), set ? Ink(a2) : Paper(a2));
      }
    }
  return bmp;
}

TVeZxSpectrumStlEngine::TVeZxSpectrumStlEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeZxSpectrumStlEngine") {
  ZxLoader(*this, 64, 48, 8, " gigascreen");
  VeZxGigaCalculations(*this);
}

TVeSourceMatch TVeZxSpectrumStlEngine::Check(TVeLoadSource* source) {
  return VeZxSizeMatch(source, 3072, ".stl");
}

std::unique_ptr<TVeBitmap> TVeZxSpectrumStlEngine::CreateBitmap() {
  VeZxNeedBytes(*this, 3072);
  VeZxPairPalette(*this);
  auto bmp = std::make_unique<TVeBitmap8>(Width, Palette.get(), Height);
  const TVeZxFrames frames = VeZxAddFrames(*this, *bmp);
  const uint8_t* d = Source->Data;
  for (int y = 0; y < 48; ++y)
    for (int g = 0; g < 16; ++g) {
      const uint8_t* q = d + 64 * y + 4 * g; // two frame-1 attributes, two frame-2 ones
      for (int p = 0; p < 4; ++p) {
        const bool ink = p & 1;
        const uint8_t a1 = q[p / 2], a2 = q[2 + p / 2];
        frames.Set(*bmp, 4 * g + p, y, ink ? Ink(a1) : Paper(a1), ink ? Ink(a2) : Paper(a2));
      }
    }
  return bmp;
}

// ---- ".ch$" -------------------------------------------------------------------------------

namespace {
bool ChrHeader(const TVeLoadSource* s, int& w, int& h, int& kind) {
  if (!s || !s->Data || s->Size < 7 || std::memcmp(s->Data, "chr$", 4) != 0) return false;
  w = s->Data[4];
  h = s->Data[5];
  kind = s->Data[6];
  return w && h && (kind == 8 || kind == 9 || kind == 18) && s->Size >= w * h * kind + 7;
}
} // namespace

TVeZxSpectrumChrEngine::TVeZxSpectrumChrEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeZxSpectrumChrEngine") {
  int w = 0, h = 0, kind = 9;
  ChrHeader(source, w, h, kind);
  if (kind == 8) {
    Width = 8 * w;
    Height = 8 * h;
    BitsPerPixel = 1;
    MakeBlackWhitePalette(false);
    Description = "ZX Spectrum" + SizeText() + " B/W" + " image";
  } else if (kind == 9) {
    ZxLoader(*this, 8 * w, 8 * h, 4, "");
  } else {
    ZxLoader(*this, 8 * w, 8 * h, 8, " gigascreen");
    VeZxGigaCalculations(*this);
  }
}

TVeSourceMatch TVeZxSpectrumChrEngine::Check(TVeLoadSource* source) {
  int w, h, kind;
  if (!ChrHeader(source, w, h, kind)) return 0;
  return TVeSourceMatch(smVerified | smExactSize | (source->Ext == ".ch$" ? smExtension : 0));
}

std::unique_ptr<TVeBitmap> TVeZxSpectrumChrEngine::CreateBitmap() {
  int w, h, kind;
  if (!ChrHeader(Source, w, h, kind)) VeInternalError();
  std::unique_ptr<TVeBitmap> bmp;
  TVeZxFrames frames{};
  if (kind == 8) {
    bmp = std::make_unique<TVeBitmap1>(Width, Palette.get(), Height);
  } else if (kind == 9) {
    ZxSpectrumMakePalette(*Palette, PaletteType);
    bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  } else {
    VeZxPairPalette(*this);
    bmp = std::make_unique<TVeBitmap8>(Width, Palette.get(), Height);
    frames = VeZxAddFrames(*this, *bmp);
  }
  const uint8_t* cell = Source->Data + 7;
  for (int cy = 0; cy < h; ++cy)
    for (int cx = 0; cx < w; ++cx, cell += kind)
      for (int r = 0; r < 8; ++r) {
        if (kind == 8) {
          Unpack1Bit(*bmp, 8 * cx, 8 * cy + r, cell[r], 1, 0);
        } else if (kind == 9) {
          Unpack1Bit(*bmp, 8 * cx, 8 * cy + r, cell[r], Ink(cell[8]), Paper(cell[8]));
        } else {
          for (int i = 0; i < 8; ++i) {
            const int c1 = (cell[r] >> (7 - i) & 1) ? Ink(cell[8]) : Paper(cell[8]);
            const int c2 = (cell[9 + r] >> (7 - i) & 1) ? Ink(cell[17]) : Paper(cell[17]);
            frames.Set(*bmp, 8 * cx + i, 8 * cy + r, c1, c2);
          }
        }
      }
  return bmp;
}

// ---- Screens with a border ----------------------------------------------------------------

TVeZxSpectrumBscEngine::TVeZxSpectrumBscEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeZxSpectrumBscEngine") {
  ZxLoader(*this, 384, 304, 8, "");
}

TVeSourceMatch TVeZxSpectrumBscEngine::Check(TVeLoadSource* source) {
  return VeZxSizeMatch(source, 11136, ".bsc");
}

std::unique_ptr<TVeBitmap> TVeZxSpectrumBscEngine::CreateBitmap() {
  VeZxNeedBytes(*this, 11136);
  return DecodeBordered(*this, ZxScreenBytes, [](int x, int y) { return ZxAttrOffset(x, y / 8); });
}

TVeZxSpectrumBmc4Engine::TVeZxSpectrumBmc4Engine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeZxSpectrumBmc4Engine") {
  ZxLoader(*this, 384, 304, 8, "");
}

TVeSourceMatch TVeZxSpectrumBmc4Engine::Check(TVeLoadSource* source) {
  return VeZxSizeMatch(source, 11904, ".bmc4");
}

std::unique_ptr<TVeBitmap> TVeZxSpectrumBmc4Engine::CreateBitmap() {
  VeZxNeedBytes(*this, 11904);
  // Rows 0-3 of a cell take the first attribute set, rows 4-7 the second.
  return DecodeBordered(*this, 7680, [](int x, int y) {
    return (y % 8 < 4 ? ZxPixelBytes : ZxScreenBytes) + 32 * (y / 8) + x;
  });
}

TVeZxSpectrumBspEngine::TVeZxSpectrumBspEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeZxSpectrumBspEngine") {
  ZxLoader(*this, 384, 304, 8, " gigascreen");
  VeZxGigaCalculations(*this);
  if (!Check(source)) return;
  // Title and author, 32 characters each, spaces trimmed.
  auto field = [&](int at) {
    std::string t;
    for (int i = 0; i < 32 && source->Data[at + i]; ++i)
      t += char(source->Data[at + i]);
    const size_t first = t.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    return t.substr(first, t.find_last_not_of(' ') - first + 1);
  };
  const std::string title = field(6), author = field(38);
  Comment = !title.empty() && !author.empty() ? title + " / " + author : title + author;
}

TVeSourceMatch TVeZxSpectrumBspEngine::Check(TVeLoadSource* source) {
  if (!source || !source->Data || source->Size <= 13895) return 0;
  const uint8_t* d = source->Data;
  if (d[0] != 'b' || d[1] != 's' || d[2] != 'p' || d[3] != 0xC0 || d[4] != 0) return 0;
  return TVeSourceMatch(smVerified | smExactSize | (source->Ext == ".bsp" ? smExtension : 0));
}

std::unique_ptr<TVeBitmap> TVeZxSpectrumBspEngine::CreateBitmap() {
  VeZxNeedBytes(*this, 72 + 2 * ZxScreenBytes);
  // The two screens at 72 and 72 + 6912, drawn inside the border area.
  return VeZxDecodeGiga(
      *this, 72, 72 + ZxScreenBytes,
      [](int frame, int x, int y) { return 72 + frame * ZxScreenBytes + ZxAttrOffset(x, y / 8); },
      64, 64);
}

// ---- ".sxg" -------------------------------------------------------------------------------

namespace {
struct TSxg {
  int Version = 0, Bits = 0, Width = 0, Height = 0, Colors = 0, PaletteAt = 0, PixelsAt = 0,
      RowBytes = 0;
};

bool SxgHeader(const TVeLoadSource* s, TSxg& h) {
  if (!s || !s->Data || s->Size < 16) return false;
  const uint8_t* d = s->Data;
  auto word = [d](int at) { return d[at] | d[at + 1] << 8; };
  if (d[0] != 0x7F || d[1] != 'S' || d[2] != 'X' || d[3] != 'G') return false;
  h.Version = d[4];
  if ((h.Version != 2 && h.Version != 3) || d[6] != 0 || (d[7] != 1 && d[7] != 2)) return false;
  h.Bits = d[7] == 1 ? 4 : 8;
  h.Width = word(8);
  h.Height = word(10);
  const int p = word(12), q = word(14);
  if (!h.Width || !h.Height || p <= 1 || q <= 1) return false;
  h.Colors = (q - p + 2) / 2;
  if (h.Colors < 1 || h.Colors > (h.Bits == 4 ? 16 : 256)) return false;
  h.PaletteAt = 14 + p;
  h.PixelsAt = 16 + q;
  h.RowBytes = h.Version == 2 ? (h.Bits * h.Width + 7) / 8 : (h.Bits * h.Width + 15) / 16 * 2;
  return int64_t(s->Size) >= int64_t(h.RowBytes) * h.Height + q + 16 &&
         h.PaletteAt + 2 * h.Colors <= s->Size;
}
} // namespace

TVeZxSpectrumSxgEngine::TVeZxSpectrumSxgEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeZxSpectrumSxgEngine") {
  TSxg h;
  if (SxgHeader(source, h)) {
    Width = h.Width;
    Height = h.Height;
    BitsPerPixel = h.Bits;
  }
  Description = "ZX Evolution" + SizeText() + " image";
}

TVeSourceMatch TVeZxSpectrumSxgEngine::Check(TVeLoadSource* source) {
  TSxg h;
  if (!SxgHeader(source, h)) return 0;
  return TVeSourceMatch(smVerified | smExactSize | (source->Ext == ".sxg" ? smExtension : 0));
}

std::unique_ptr<TVeBitmap> TVeZxSpectrumSxgEngine::CreateBitmap() {
  TSxg h;
  if (!SxgHeader(Source, h)) VeInternalError();
  VeCheckPictureSize(h.Width, h.Height);
  const uint8_t* d = Source->Data;
  // 5-bit levels: 0..24 spread over 0..255, anything above is full.
  auto level = [](int v) { return uint8_t(v >= 24 ? 255 : (v * 255 + 12) / 24); };
  Palette->BeginUpdate();
  Palette->Clear();
  for (int i = 0; i < h.Colors; ++i) {
    const int w = d[h.PaletteAt + 2 * i] | d[h.PaletteAt + 2 * i + 1] << 8;
    Palette->AddRGB(level(w >> 10 & 31), level(w >> 5 & 31), level(w & 31));
  }
  Palette->EndUpdate();
  std::unique_ptr<TVeBitmap> bmp;
  if (h.Bits == 4)
    bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  else
    bmp = std::make_unique<TVeBitmap8>(Width, Palette.get(), Height);
  for (int y = 0; y < h.Height; ++y) {
    const uint8_t* row = d + h.PixelsAt + int64_t(h.RowBytes) * y;
    for (int x = 0; x < h.Width; ++x) {
      const int v = h.Bits == 8 ? row[x] : (x & 1 ? row[x / 2] & 15 : row[x / 2] >> 4);
      bmp->SetPixel(x, y, v < h.Colors ? v : 0);
    }
  }
  return bmp;
}

// ---- ZX Spectrum Next ---------------------------------------------------------------------

TVeZxSpectrumNextNxiEngine::TVeZxSpectrumNextNxiEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeZxSpectrumNextNxiEngine") {
  Width = 256;
  Height = 192;
  BitsPerPixel = 8;
  Description = "ZX Spectrum Next" + SizeText() + " image";
}

TVeSourceMatch TVeZxSpectrumNextNxiEngine::Check(TVeLoadSource* source) {
  return VeZxSizeMatch(source, 49664, ".nxi");
}

std::unique_ptr<TVeBitmap> TVeZxSpectrumNextNxiEngine::CreateBitmap() {
  VeZxNeedBytes(*this, 49664);
  const uint8_t* d = Source->Data;
  NextReadPalette(d, *Palette);
  auto bmp = std::make_unique<TVeBitmap8>(Width, Palette.get(), Height);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x)
      bmp->SetPixel(x, y, d[512 + 256 * y + x]);
  return bmp;
}

TVeZxSpectrumNextSl2Engine::TVeZxSpectrumNextSl2Engine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeZxSpectrumNextSl2Engine") {
  Width = 256;
  Height = 192;
  BitsPerPixel = 8;
  // The palette file beside the screen where there is one; else the palette after reset,
  // each index its own RRRGGGBB colour with the ninth bit the OR of the two blue bits.
  const std::string name = source ? VeCompanionName(source->Name, ".nxp") : std::string();
  const TVeLoadSourceRec* nxp = source ? source->FindFile(name) : nullptr;
  if (nxp && nxp->Size == NextPaletteBytes) {
    NextReadPalette(nxp->Data.data(), *Palette);
  } else {
    const std::string why = nxp ? "is not 512 bytes" : source ? source->CompanionProblem(name) : "";
    if (!why.empty())
      Notes.push_back("the palette file " + name + (nxp ? " " : " cannot be read: ") + why +
                      "; the palette after reset is shown");
    Palette->BeginUpdate();
    for (int i = 0; i < 256; ++i) {
      const uint32_t c = NextColorRGB(i << 1 | ((i & 3) != 0));
      Palette->AddRGB(uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c));
    }
    Palette->EndUpdate();
  }
  Description = "ZX Spectrum Next" + SizeText() + " image";
}

TVeSourceMatch TVeZxSpectrumNextSl2Engine::Check(TVeLoadSource* source) {
  return VeZxSizeMatch(source, 49152, ".sl2");
}

std::unique_ptr<TVeBitmap> TVeZxSpectrumNextSl2Engine::CreateBitmap() {
  VeZxNeedBytes(*this, 49152);
  auto bmp = std::make_unique<TVeBitmap8>(Width, Palette.get(), Height);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x)
      bmp->SetPixel(x, y, Source->Data[256 * y + x]);
  return bmp;
}
