#include "VePlatformMsx.h"

#include <algorithm>
#include <cstring>
#include <utility>

const uint8_t MsxTms9918Colors[16][3] = {
    {0, 0, 0},      {1, 1, 1},       {62, 184, 73},   {116, 208, 125},
    {89, 85, 224},  {128, 118, 241}, {185, 94, 81},   {101, 219, 239},
    {219, 101, 89}, {255, 137, 125}, {204, 195, 94},  {222, 208, 135},
    {58, 162, 65},  {183, 102, 181}, {204, 204, 204}, {255, 255, 255},
};

const int MsxV9958Dac[8] = {0, 4, 9, 13, 18, 22, 27, 31};

void MsxMakeTms9918Palette(TVePalette256& palette) {
  palette.BeginUpdate();
  palette.Clear();
  for (const auto& c : MsxTms9918Colors)
    palette.AddRGB(c[0], c[1], c[2]);
  palette.EndUpdate();
}

TVePaletteType MsxHardwareType(TVePaletteType type) {
  return type == ptMSX9958 ? ptMSX9958 : ptMSX9938;
}

const TVePaletteRGB& MsxHardwarePalette(TVePaletteType type) {
  static const TVePaletteRGB v9938(ptMSX9938, true), v9958(ptMSX9958, true);
  return MsxHardwareType(type) == ptMSX9958 ? v9958 : v9938;
}

void MsxMakeHardwarePalette(TVePalette256& palette, TVePaletteType type) {
  palette.BeginUpdate();
  palette.Assign(&MsxHardwarePalette(type));
  palette.EndUpdate();
}

namespace {
void AddHardware(TVePalette256& palette, const TVePaletteRGB& hw, int r, int g, int b) {
  palette.AddLin(hw.GetLinRGB(hw.IndexOfLevels(r, g, b)));
}
} // namespace

void MsxMakeGrayPalette(TVePalette256& palette, TVePaletteType type) {
  const TVePaletteRGB& hw = MsxHardwarePalette(type);
  palette.BeginUpdate();
  palette.Clear();
  for (int v = 0; v < 8; ++v)
    AddHardware(palette, hw, v, v, v);
  palette.EndUpdate();
}

void MsxMakeBlackWhitePalette(TVePalette256& palette, TVePaletteType type) {
  const TVePaletteRGB& hw = MsxHardwarePalette(type);
  palette.BeginUpdate();
  palette.Clear();
  AddHardware(palette, hw, 0, 0, 0);
  AddHardware(palette, hw, 7, 7, 7);
  palette.EndUpdate();
}

void MsxMakeScreen4Palette(TVePalette256& palette, TVePaletteType type) {
  const TVePaletteRGB& hw = MsxHardwarePalette(type);
  palette.BeginUpdate();
  palette.Clear();
  for (const auto& c : MsxTms9918Colors) {
    const TVeColor tms = TVeColor::FromStdRGB(c[0], c[1], c[2]);
    palette.AddLin(hw.GetLinRGB(hw.FindNearestLin(tms.GetLinRGB())));
  }
  palette.EndUpdate();
}

namespace {
// Linear value of a 3-bit level as the palette type shows it.
double LevelLinear(TVePaletteType type, int v) {
  return MsxHardwareType(type) == ptMSX9958 ? Level31ToLinear(MsxV9958Dac[v]) : Level7ToLinear(v);
}
constexpr int Screen8Blue[4] = {0, 2, 4, 7};
} // namespace

void MsxMakeScreen8Palette(TVePalette256& palette, TVePaletteType type) {
  palette.BeginUpdate();
  palette.Clear();
  for (int i = 0; i < 256; ++i)
    palette.AddLin({LevelLinear(type, (i >> 2) & 7), LevelLinear(type, i >> 5),
                    LevelLinear(type, Screen8Blue[i & 3])});
  palette.EndUpdate();
}

void MsxMakeScreen8GrayPalette(TVePalette256& palette, TVePaletteType type) {
  palette.BeginUpdate();
  palette.Clear();
  for (int b = 0; b < 4; ++b) {
    const int v = Screen8Blue[b];
    palette.AddLin({LevelLinear(type, v), LevelLinear(type, v), LevelLinear(type, v)});
  }
  palette.EndUpdate();
}

std::vector<bool> MsxBrightColors() {
  std::vector<bool> bright(512, false);
  for (int i = 0; i < 512; ++i) {
    const int r = i >> 6, g = (i >> 3) & 7, b = i & 7;
    bright[size_t(i)] = i == 0 || r == 7 || g == 7 || b == 7;
  }
  return bright;
}

// ---- Palette registers ----------------------------------------------------------------------

void MsxWritePaletteRegisters(uint8_t* to, const TVePalette256& palette, TVePaletteType type) {
  const TVePaletteRGB& hw = MsxHardwarePalette(type);
  std::memset(to, 0, MsxPaletteBytes);
  for (int i = 0; i < 16 && i < palette.Count(); ++i) {
    int index = hw.FindExact(palette.GetRGBQuad(i));
    if (index < 0) index = hw.FindNearestLin(palette.GetLinRGB(i));
    const int r = index >> 6, g = (index >> 3) & 7, b = index & 7;
    to[2 * i] = uint8_t(r << 4 | b);
    to[2 * i + 1] = uint8_t(g);
  }
}

void MsxReadPaletteRegisters(const uint8_t* from, TVePalette256& palette, TVePaletteType type) {
  const TVePaletteRGB& hw = MsxHardwarePalette(type);
  palette.BeginUpdate();
  palette.Clear();
  for (int i = 0; i < 16; ++i)
    AddHardware(palette, hw, (from[2 * i] >> 4) & 7, from[2 * i + 1] & 7, from[2 * i] & 7);
  palette.EndUpdate();
}

void MsxWritePaletteFile(uint8_t* to, const TVePalette256& palette, TVePaletteType type) {
  MsxWritePaletteRegisters(to, palette, type);
  for (int k = 1; k < 8; ++k)
    std::memcpy(to + k * MsxPaletteBytes, to, MsxPaletteBytes);
}

// ---- BSAVE ----------------------------------------------------------------------------------

void MsxWriteBsaveHeader(uint8_t* to, int dataLength) {
  const int end = dataLength - 1;
  const uint8_t header[MsxBsaveHeaderBytes] = {0xFE, 0, 0, uint8_t(end), uint8_t(end >> 8), 0, 0};
  std::memcpy(to, header, sizeof header);
}

bool MsxReadBsaveHeader(const uint8_t* data, int32_t size, TVeMsxBsaveHeader& h) {
  if (!data || size < MsxBsaveHeaderBytes) return false;
  h.Id = data[0];
  h.Start = uint16_t(data[1] | data[2] << 8);
  h.End = uint16_t(data[3] | data[4] << 8);
  h.Exec = uint16_t(data[5] | data[6] << 8);
  return true;
}

bool MsxBsaveHeaderConsistent(const uint8_t* data, int32_t size) {
  TVeMsxBsaveHeader h;
  if (!MsxReadBsaveHeader(data, size, h)) return false;
  return h.Id == 0xFE && h.Start == 0 && h.Exec == 0 && (h.End == size - 8 || h.End == size - 7);
}

// ---- Screen 2 -------------------------------------------------------------------------------

TVeMSXScreen2Screen::TVeMSXScreen2Screen(uint8_t* data) : TVeCellScreen(256, data, 192) {}

int TVeMSXScreen2Screen::GetPixel(int x, int y) const {
  x = StoredX(x);
  return (Data()[MsxScreen2Offset(x, y)] >> (7 - (x & 7))) & 1;
}

void TVeMSXScreen2Screen::SetPixel(int x, int y, int value) {
  x = StoredX(x);
  uint8_t& b = Data()[MsxScreen2Offset(x, y)];
  const uint8_t bit = uint8_t(0x80 >> (x & 7));
  b = value & 1 ? uint8_t(b | bit) : uint8_t(b & ~bit);
}

int TVeMSXScreen2Screen::GetAttr(int cellX, int cellY) const {
  if (Reversed) cellX = 31 - cellX;
  return Data()[MsxScreen2Colors + MsxScreen2Offset(cellX * 8, cellY)];
}

void TVeMSXScreen2Screen::SetAttr(int cellX, int cellY, int attr) {
  if (Reversed) cellX = 31 - cellX;
  Data()[MsxScreen2Colors + MsxScreen2Offset(cellX * 8, cellY)] = uint8_t(attr);
}

void TVeMSXScreen2Screen::Initialise() {
  for (int i = 0; i < 768; ++i)
    Data()[MsxScreen2Names + i] = uint8_t(i);
  std::memset(Data() + MsxScreen2Colors, 0xF1, 0x1800);
}

// ---- Screens 2 and 4 as cells -------------------------------------------------------------

std::unique_ptr<TVeBitmap> TVeMSXScreen2Image::CreateResult() {
  return std::make_unique<TVeBitmap4>(FWidth, FPalette.get(), FHeight);
}

TVeCellPaletteList* TVeMSXScreen2Image::CreateCellPalettes() {
  auto* list = new TVeCellPaletteList;
  if (FGray) {
    static const int pairs[6][2] = {{1, 1}, {14, 14}, {15, 15}, {14, 1}, {15, 1}, {15, 14}};
    for (const auto& p : pairs)
      list->Add(new TVeCellPaperIncPalette(*FPalette, p[1], p[0]));
    return list;
  }
  const int n = FPalette->Count();
  for (int i = 1; i < n; ++i)
    list->Add(new TVeCellPaperIncPalette(*FPalette, i, i));
  for (int i = 1; i < n; ++i)
    for (int j = i + 1; j < n; ++j)
      list->Add(new TVeCellPaperIncPalette(*FPalette, i, j));
  return list;
}

void TVeMSXScreen2Image::WriteCellAttr(TVeCellScreen* screen, int cellX, TVeCellPalette* pal,
                                       int cellY) {
  const auto* p = static_cast<TVeCellPaperIncPalette*>(pal);
  if (screen) screen->SetAttr(cellX, cellY, p->Ink << 4 | p->Paper);
}

void TVeMSXScreen2Image::WriteResultPixel(TVeBitmap* result, int x, int k, TVeCellPalette* pal,
                                          int y) {
  const auto* p = static_cast<TVeCellPaperIncPalette*>(pal);
  result->SetPixel(x, y, k ? p->Ink : p->Paper);
}

void TVeMSXScreen2Image::WriteScreenPixel(TVeCellScreen* screen, int x, int k, TVeCellPalette*,
                                          int y) {
  if (screen) screen->SetPixel(x, y, k);
}

// A pixel's in-cell term compares the picture pixel with one of the two colours, so the sum of
// each pixel's distance to the nearer colour never exceeds a candidate's cost. Candidates are
// tried from the smallest such bound up; once the bound passes the best cost, none of the
// rest can reach it. The lowest cost wins, the first in the list among equal ones, as in the
// exhaustive search.
int TVeMSXScreen2Image::FindOptimalColors(const TVeCellPaletteList& list, const TVeCellRect& rect,
                                          double& cost) {
  if (!Bounded) return TVeCellImage::FindOptimalColors(list, rect, cost);
  const int colors = FPalette->Count();
  std::vector<double> distance(size_t(rect.Width() * rect.Height() * colors));
  double* d = distance.data();
  for (int y = rect.Top; y < rect.Bottom; ++y)
    for (int x = rect.Left; x < rect.Right; ++x) {
      const double* p = PixelLin(x, y);
      for (int c = 0; c < colors; ++c) {
        const TVeLinRGBColor v = FPalette->Color(c).GetLinRGB();
        const double dr = p[0] - v.R, dg = p[1] - v.G, db = p[2] - v.B;
        *d++ = VeCellWR * dr * dr + VeCellWG * dg * dg + VeCellWB * db * db;
      }
    }
  std::vector<std::pair<double, int>> order;
  order.reserve(size_t(list.Count()));
  for (int i = 0; i < list.Count(); ++i) {
    const auto* pal = static_cast<const TVeCellPaperIncPalette*>(list.GetPalette(i));
    if (!pal->Enabled) continue;
    double bound = 0;
    for (const double* e = distance.data(); e < d; e += colors)
      bound += std::min(e[pal->Paper], e[pal->Ink]);
    order.emplace_back(bound, i);
  }
  std::sort(order.begin(), order.end());
  int best = -1;
  for (const auto& [bound, i] : order) {
    if (best >= 0 && bound > cost * (1 + 1e-12)) break;
    CheckCancel();
    const double c = CellCost(rect, *FSearchScratch, *list.GetPalette(i));
    if (best < 0 || c < cost || (c == cost && i < best)) {
      best = i;
      cost = c;
    }
  }
  return best;
}

// ---- Bitmap screens -------------------------------------------------------------------------

void MsxPackRows(const TVeData& pixels, int firstRow, int step, int bits, uint8_t* page) {
  const int perByte = 8 / bits;
  const int rowBytes = (pixels.Width() + perByte - 1) / perByte;
  const int mask = (1 << bits) - 1;
  uint8_t* out = page;
  for (int y = firstRow; y < pixels.Height(); y += step, out += rowBytes) {
    std::memset(out, 0, size_t(rowBytes));
    for (int x = 0; x < pixels.Width(); ++x) {
      const int shift = 8 - bits * (x % perByte + 1);
      out[x / perByte] = uint8_t(out[x / perByte] | (pixels.GetPixel(x, y) & mask) << shift);
    }
  }
}

std::vector<uint8_t> MsxCopyPicture(const TVeData& pixels, int bits) {
  const int w = pixels.Width(), h = pixels.Height();
  const int perByte = 8 / bits;
  const int64_t count = int64_t(w) * h;
  std::vector<uint8_t> file(size_t(4 + (count + perByte - 1) / perByte), 0);
  file[0] = uint8_t(w);
  file[1] = uint8_t(w >> 8);
  file[2] = uint8_t(h);
  file[3] = uint8_t(h >> 8);
  const int mask = (1 << bits) - 1;
  int64_t n = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x, ++n) {
      const int shift = 8 - bits * int(n % perByte + 1);
      uint8_t& b = file[size_t(4 + n / perByte)];
      b = uint8_t(b | (pixels.GetPixel(x, y) & mask) << shift);
    }
  return file;
}
