#include "VePlatformZxSpectrum.h"

#include "VeDestEngineOptions.h"

const TVeZxSpectrumLevels ZxSpectrumLevelTable[ZxSpectrumLevelCount] = {
    {ptPulsar, "Pulsar (205)", 0, 118, 205, 233, 255, 159, {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}}},
    {ptColoredLinear,
     "Linear",
     0,
     150,
     188,
     232,
     255,
     188,
     {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}}},
    {ptVardel, "Vardel (160)", 0, 96, 160, 224, 255, 160, {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}}},
    {ptStdRGBMiddle,
     "RGB (128)",
     0,
     150,
     128,
     232,
     255,
     188,
     {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}}},
    {ptOrthodox, "Orthodox", 0, 118, 205, 233, 255, 159, {{208, 0, 0}, {0, 228, 0}, {0, 0, 255}}},
};

const TVeZxSpectrumLevels& ZxSpectrumLevels(TVePaletteType type) {
  for (const auto& l : ZxSpectrumLevelTable)
    if (l.PaletteType == type) return l;
  return ZxSpectrumLevelTable[1];
}

TVePaletteType ZxSpectrumPaletteType(TVePaletteType type) {
  return ZxSpectrumLevels(type).PaletteType;
}

namespace {
// Nearest integer of n / 255 for n >= 0; 255 is odd, so no exact halves occur.
int Div255Round(int n) {
  return (2 * n + 255) / 510;
}
} // namespace

uint32_t ZxSpectrumOutputRGB(const TVeZxSpectrumLevels& lv, int lR, int lG, int lB) {
  int out[3];
  for (int r = 0; r < 3; ++r) {
    int n = lv.Matrix[r][0] * lR + lv.Matrix[r][1] * lG + lv.Matrix[r][2] * lB;
    int v = Div255Round(n);
    out[r] = v < 0 ? 0 : (v > 255 ? 255 : v);
  }
  return uint32_t(out[0]) << 16 | uint32_t(out[1]) << 8 | uint32_t(out[2]);
}

uint32_t ZxSpectrumColorRGB(TVePaletteType type, int i) {
  const TVeZxSpectrumLevels& lv = ZxSpectrumLevels(type);
  int on = i >= 8 ? lv.Bright : lv.Dark;
  int b = (i & 1) ? on : lv.Black;
  int r = (i & 2) ? on : lv.Black;
  int g = (i & 4) ? on : lv.Black;
  return ZxSpectrumOutputRGB(lv, r, g, b);
}

void ZxSpectrumMakePalette(TVePalette256& palette, TVePaletteType type) {
  palette.BeginUpdate();
  palette.Clear();
  for (int i = 0; i < 16; ++i) {
    const uint32_t q = ZxSpectrumColorRGB(type, i);
    palette.AddRGB(uint8_t(q >> 16), uint8_t(q >> 8), uint8_t(q));
  }
  palette.EndUpdate();
}

void ZxSpectrumMakeGrayPalette(TVePalette256& palette, TVePaletteType type) {
  palette.BeginUpdate();
  palette.Clear();
  for (int i : {0, 7, 8, 15}) {
    const uint32_t q = ZxSpectrumColorRGB(type, i);
    palette.AddRGB(uint8_t(q >> 16), uint8_t(q >> 8), uint8_t(q));
  }
  palette.EndUpdate();
}

void ZxSpectrumMakeBlackWhitePalette(TVePalette256& palette) {
  palette.BeginUpdate();
  palette.Clear();
  palette.AddLin(TVeLinRGBColor{0, 0, 0});
  palette.AddLin(TVeLinRGBColor{1, 1, 1});
  palette.EndUpdate();
}

namespace {
struct TPairTable {
  TVeZxSpectrumPair Pairs[ZxSpectrumPairCount];
  TPairTable() {
    int n = 0;
    for (int bright = 0; bright <= 8; bright += 8) {
      for (int k = 0; k < 8; ++k)
        Pairs[n++] = {uint8_t(k + bright), uint8_t(k + bright)};
      for (int p = 0; p < 8; ++p)
        for (int q = p + 1; q < 8; ++q)
          Pairs[n++] = {uint8_t(p + bright), uint8_t(q + bright)};
    }
  }
};
const TPairTable& PairTable() {
  static const TPairTable table;
  return table;
}
} // namespace

const TVeZxSpectrumPair& ZxSpectrumPair(int index) {
  if (unsigned(index) >= unsigned(ZxSpectrumPairCount)) VeInternalError();
  return PairTable().Pairs[index];
}

// ---- Screens ------------------------------------------------------------------------------

TVeZxSpectrumColorScreen::TVeZxSpectrumColorScreen(uint8_t* data)
    : TVeCellScreen(ZxScreenWidth, data, ZxScreenHeight) {}

int TVeZxSpectrumColorScreen::GetPixel(int x, int y) const {
  x = StoredX(x);
  return (Data()[ZxScreenOffset(y, x >> 3)] >> (7 - (x & 7))) & 1;
}

void TVeZxSpectrumColorScreen::SetPixel(int x, int y, int value) {
  x = StoredX(x);
  uint8_t& b = Data()[ZxScreenOffset(y, x >> 3)];
  const uint8_t bit = uint8_t(0x80 >> (x & 7));
  b = value ? uint8_t(b | bit) : uint8_t(b & ~bit);
}

int TVeZxSpectrumColorScreen::GetAttr(int cellX, int cellY) const {
  if (Reversed) cellX = 31 - cellX;
  return Data()[ZxAttrOffset(cellX, cellY)];
}

void TVeZxSpectrumColorScreen::SetAttr(int cellX, int cellY, int attr) {
  if (Reversed) cellX = 31 - cellX;
  Data()[ZxAttrOffset(cellX, cellY)] = uint8_t(attr);
}

TVeZxSpectrumBWScreen::TVeZxSpectrumBWScreen(uint8_t* data)
    : TVeCellScreen(ZxScreenWidth, data, ZxScreenHeight) {}

int TVeZxSpectrumBWScreen::GetPixel(int x, int y) const {
  x = StoredX(x);
  return ((Data()[ZxScreenOffset(y, x >> 3)] >> (7 - (x & 7))) & 1) ^ 1;
}

void TVeZxSpectrumBWScreen::SetPixel(int x, int y, int value) {
  x = StoredX(x);
  uint8_t& b = Data()[ZxScreenOffset(y, x >> 3)];
  const uint8_t bit = uint8_t(0x80 >> (x & 7));
  b = value ? uint8_t(b & ~bit) : uint8_t(b | bit);
}

TVeZxSpectrumInterlacedScreen::TVeZxSpectrumInterlacedScreen(uint8_t* data)
    : TVeCellScreen(ZxScreenWidth, data, 2 * ZxScreenHeight) {}

namespace {
inline int InterlacedOffset(int x, int y) {
  return (y & 1) * ZxScreenBytes + ZxScreenOffset(y >> 1, x >> 3);
}
} // namespace

int TVeZxSpectrumInterlacedScreen::GetPixel(int x, int y) const {
  x = StoredX(x);
  return (Data()[InterlacedOffset(x, y)] >> (7 - (x & 7))) & 1;
}

void TVeZxSpectrumInterlacedScreen::SetPixel(int x, int y, int value) {
  x = StoredX(x);
  uint8_t& b = Data()[InterlacedOffset(x, y)];
  const uint8_t bit = uint8_t(0x80 >> (x & 7));
  b = value ? uint8_t(b | bit) : uint8_t(b & ~bit);
}

int TVeZxSpectrumInterlacedScreen::GetAttr(int cellX, int cellY) const {
  if (Reversed) cellX = 31 - cellX;
  return Data()[ZxAttrOffset(cellX, cellY)];
}

void TVeZxSpectrumInterlacedScreen::SetAttr(int cellX, int cellY, int attr) {
  if (Reversed) cellX = 31 - cellX;
  Data()[ZxAttrOffset(cellX, cellY)] = uint8_t(attr);
  Data()[ZxScreenBytes + ZxAttrOffset(cellX, cellY)] = uint8_t(attr);
}

TVeZxSpectrumTricolorScreen::TVeZxSpectrumTricolorScreen(uint8_t* data)
    : TVeScreen4(ZxScreenWidth, data, ZxScreenHeight) {}

namespace {
// Plane order in the file and the colour bit each plane shows.
constexpr int TricolorPlaneBits[3] = {2, 4, 1}; // red, green, blue
} // namespace

int TVeZxSpectrumTricolorScreen::GetPixel(int x, int y) const {
  x = StoredX(x);
  const int offset = ZxScreenOffset(y, x >> 3);
  int k = 0;
  for (int plane = 0; plane < 3; ++plane)
    if ((Data()[plane * ZxPixelBytes + offset] >> (7 - (x & 7))) & 1) k |= TricolorPlaneBits[plane];
  return k;
}

void TVeZxSpectrumTricolorScreen::SetPixel(int x, int y, int value) {
  x = StoredX(x);
  const int offset = ZxScreenOffset(y, x >> 3);
  const uint8_t bit = uint8_t(0x80 >> (x & 7));
  for (int plane = 0; plane < 3; ++plane) {
    uint8_t& b = Data()[plane * ZxPixelBytes + offset];
    b = (value & TricolorPlaneBits[plane]) ? uint8_t(b | bit) : uint8_t(b & ~bit);
  }
}

TVeZxSpectrumBWGigascreenScreen::TVeZxSpectrumBWGigascreenScreen(uint8_t* data)
    : TVeScreen4(ZxScreenWidth, data, ZxScreenHeight) {}

int TVeZxSpectrumBWGigascreenScreen::GetPixel(int x, int y) const {
  x = StoredX(x);
  const int offset = ZxScreenOffset(y, x >> 3);
  int v = 0;
  for (int frame = 0; frame < 2; ++frame)
    if (!((Data()[frame * ZxPixelBytes + offset] >> (7 - (x & 7))) & 1)) v |= 1 << frame;
  return v;
}

void TVeZxSpectrumBWGigascreenScreen::SetPixel(int x, int y, int value) {
  x = StoredX(x);
  const int offset = ZxScreenOffset(y, x >> 3);
  const uint8_t bit = uint8_t(0x80 >> (x & 7));
  for (int frame = 0; frame < 2; ++frame) {
    uint8_t& b = Data()[frame * ZxPixelBytes + offset];
    b = (value >> frame & 1) ? uint8_t(b & ~bit) : uint8_t(b | bit);
  }
}

void ZxSpectrumMakeTricolorPalette(TVePalette256& palette, TVePaletteType type) {
  palette.BeginUpdate();
  palette.Clear();
  for (int k = 0; k < 8; ++k) {
    const uint32_t q = ZxSpectrumColorRGB(type, zxBright + k);
    palette.AddRGB(uint8_t(q >> 16), uint8_t(q >> 8), uint8_t(q));
  }
  palette.EndUpdate();
}

// ---- Pair lists ---------------------------------------------------------------------------

TVeZxSpectrumColorPaletteList::TVeZxSpectrumColorPaletteList(uint8_t colorUsage,
                                                             const TVePalette256& palette) {
  int first = 0, last = ZxSpectrumPairCount - 1;
  if (colorUsage == zxUsageDarkOnly || colorUsage == zxUsageDarkForceBright)
    last = 35;
  else if (colorUsage == zxUsageBrightOnly)
    first = 36;
  for (int i = first; i <= last; ++i) {
    const TVeZxSpectrumPair& p = ZxSpectrumPair(i);
    Add(new TVeCellPaperIncPalette(palette, p.Paper, p.Ink));
  }
}

TVeZxSpectrumGrayPaletteList::TVeZxSpectrumGrayPaletteList(const TVePalette256& palette) {
  static const TVeZxSpectrumPair pairs[] = {{0, 0}, {0, 7}, {7, 7}, {8, 15}, {15, 15}};
  for (const auto& p : pairs)
    Add(new TVeCellPaperIncPalette(palette, p.Paper, p.Ink));
}

TVeZxSpectrumColorNoFlashPaletteList::TVeZxSpectrumColorNoFlashPaletteList(
    const TVePalette256& palette) {
  for (int k = 0; k < 16; ++k)
    Add(new TVeCellPaperIncPalette(palette, k, k));
  for (int p = 0; p < 16; ++p)
    for (int q = p + 1; q < 16; ++q)
      Add(new TVeCellPaperIncPalette(palette, p, q));
}

TVeZxSpectrumGrayNoFlashPaletteList::TVeZxSpectrumGrayNoFlashPaletteList(
    const TVePalette256& palette) {
  static const TVeZxSpectrumPair pairs[] = {{0, 0}, {0, 7}, {0, 15}, {7, 7}, {7, 15}, {15, 15}};
  for (const auto& p : pairs)
    Add(new TVeCellPaperIncPalette(palette, p.Paper, p.Ink));
}

// ---- Cell image ---------------------------------------------------------------------------

std::unique_ptr<TVeBitmap> TVeSpectrumZxColorImage::Convert(const TVeCancelFlag* cancel,
                                                            TVeDestEngineOptions& options,
                                                            TVeCellScreen* screen,
                                                            TVeDestProgress* progress) {
  ColorUsage = options.ColorUsage();
  // Every candidate is a pair of palette entries: the bounded search finds the same choice.
  FPairBounds = true;
  return TVeCellImage::Convert(cancel, VeCellOptionsOf(options), screen, progress);
}

std::unique_ptr<TVeBitmap> TVeSpectrumZxColorImage::ConvertGray(const TVeCancelFlag* cancel,
                                                                TVeDestEngineOptions& options,
                                                                TVeCellScreen* screen,
                                                                TVeDestProgress* progress) {
  options.SetGrayPalette(true);
  ColorUsage = zxUsageDarkAndBright;
  FPairBounds = true;
  return TVeCellImage::Convert(cancel, VeCellOptionsOf(options), screen, progress);
}

void TVeSpectrumZxColorImage::Prepare() {
  PrepareBand(0, FHeight - 1);
}

void TVeSpectrumZxColorImage::PrepareBand(int first, int last) {
  // Dark pairs cannot show more than dark white; brighter pixels would only push error.
  if (!FGray && (ColorUsage == zxUsageDarkOnly || ColorUsage == zxUsageDarkForceBright))
    LimitLuminanceRows(FPalette->Color(zxWhite).GetLinGray(), first, last);
}

std::unique_ptr<TVeBitmap> TVeSpectrumZxColorImage::CreateResult() {
  return std::make_unique<TVeBitmap4>(FWidth, FPalette.get(), FHeight);
}

TVeCellPaletteList* TVeSpectrumZxColorImage::CreateCellPalettes() {
  if (FGray) return new TVeZxSpectrumGrayPaletteList(*FPalette);
  return new TVeZxSpectrumColorPaletteList(ColorUsage, *FPalette);
}

void TVeSpectrumZxColorImage::WriteCellAttr(TVeCellScreen* screen, int cellX, TVeCellPalette* pal,
                                            int cellY) {
  if (!screen) return;
  const auto* p = static_cast<TVeCellPaperIncPalette*>(pal);
  int attr = ((p->Paper & 7) << 3) | (p->Ink & 7);
  if (p->Ink > 7 || p->Paper > 7 || ColorUsage == zxUsageDarkForceBright) attr |= ZxAttrBright;
  screen->SetAttr(cellX, cellY, attr);
}

void TVeSpectrumZxColorImage::WriteResultPixel(TVeBitmap* result, int x, int k, TVeCellPalette* pal,
                                               int y) {
  const auto* p = static_cast<TVeCellPaperIncPalette*>(pal);
  int c = k == 1 ? p->Ink : p->Paper;
  // With the bright bit forced the machine shows the bright colours.
  if (ColorUsage == zxUsageDarkForceBright && c < 8) c += 8;
  result->SetPixel(x, y, c);
}

void TVeSpectrumZxColorImage::WriteScreenPixel(TVeCellScreen* screen, int x, int k, TVeCellPalette*,
                                               int y) {
  if (screen) screen->SetPixel(x, y, k);
}
