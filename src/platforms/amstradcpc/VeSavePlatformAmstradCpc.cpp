#include "VeSavePlatformAmstradCpc.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeImage.h"
#include "VePaletteSteps.h"
#include "VePlatformAmstradCpc.h"
#include "VeQuantization.h"
#include "VeSavePlatformAmstradCpcDisk.h"

// ---- Modes ----------------------------------------------------------------------------------

namespace {

constexpr uint32_t Bit(int v) {
  return 1u << v;
}
constexpr uint32_t Modes0 =
    Bit(cpcModeBlackWhite) | Bit(cpcModeGray) | Bit(cpcModeColor) | Bit(cpcModeCustom);
constexpr uint32_t Modes1 = Modes0 | Bit(cpcModeColorBright);
constexpr uint32_t ModesB0 = Bit(cpcModeGray) | Bit(cpcModeColor) | Bit(cpcModeCustom);
constexpr uint32_t ModesB1 = ModesB0 | Bit(cpcModeColorBright);

const TVeCPCModeInfo Modes[] = {
    {"0 160x200x4", 0, cpcStandard, 160, 200, 17, true, false, Modes0, cpcModeColor, 100},
    {"0 192x272x4", 0, cpcOverscan, 192, 272, 17, true, true, Modes0, cpcModeColor, 100},
    {"1 320x200x2", 1, cpcStandard, 320, 200, 10, true, false, Modes1, cpcModeColorBright, 100},
    {"1 384x272x2", 1, cpcOverscan, 384, 272, 10, true, true, Modes1, cpcModeColorBright, 100},
    {"2 640x200x1", 2, cpcStandard, 640, 200, 1, false, false, 0, cpcModeBlackWhite, 100},
    {"2 768x272x1", 2, cpcOverscan, 768, 272, 1, false, false, 0, cpcModeBlackWhite, 100},
    {"2 512x256x1", 2, cpcHgb, 512, 256, 1, false, false, 0, cpcModeBlackWhite, 100},
    {"B0 192x272x8", 0, cpcFlicker, 192, 272, 17, true, false, ModesB0, cpcModeColor, 90},
    {"B1 384x272x4", 1, cpcFlicker, 384, 272, 10, true, false, ModesB1, cpcModeColorBright, 90},
};

// The palette type a mode really uses.
TVePaletteType TypeOf(const TVeCPCModeInfo& m, TVePaletteType type) {
  if (!m.PaletteTypes) return ptCPCGateArray;
  if (type == ptCPCPlus) return m.Plus ? ptCPCPlus : ptCPCGateArray;
  if (type >= ptCPCGateArray && type <= ptCPCASICRGB) return type;
  return ptCPCGateArray;
}

// The inks the firmware starts with (the flashing pens 14 and 15 at their first colour).
constexpr int DefaultInks[16] = {1, 24, 20, 6, 26, 0, 2, 8, 10, 12, 14, 16, 18, 22, 1, 16};

} // namespace

const TVeCPCModeInfo& CpcModeInfo(int index) {
  if (index < 0 || index >= int(std::size(Modes))) VeInternalError();
  return Modes[index];
}

// ---- AMSDOS streams -------------------------------------------------------------------------

TVeAmsdosStream::TVeAmsdosStream(const std::string& extension, uint8_t type, int dataLength,
                                 uint16_t load, uint16_t entry)
    : TVeStream(extension) {
  HeaderSize = CpcHeaderBytes;
  SetSize(size_t(CpcHeaderBytes + dataLength));
  CpcWriteHeader(Data(), type, uint16_t(dataLength), load, entry);
}

void TVeAmsdosStream::BeforeSave(const std::string& fileName) {
  CpcSetHeaderName(Data(), fileName);
}

// ---- Options and panel ----------------------------------------------------------------------

TVeCPCEngineOptions::TVeCPCEngineOptions(const TVeCPCModeInfo& mode) : TVeModeTableOptions(mode) {
  FAspectIndex = mode.Aspect;
  FPaletteType = ptCPCGateArray;
  FPaletteMode = mode.DefaultMode;
  FErrorDiffusion = mode.ErrorDiffusion;
  FMaxColorCount = mode.Pens();
  if (mode.Kind == cpcHgb) FFileFormatFlag = false;
}

void TVeCPCEngineOptions::SetPaletteType(TVePaletteType value) {
  TVeModeTableOptions::SetPaletteType(value);
  PaletteChanged();
}

void TVeCPCEngineOptions::SetPaletteMode(uint8_t value) {
  TVeModeTableOptions::SetPaletteMode(value);
  PaletteChanged();
}

void TVeCPCEngineOptions::PaletteChanged() {
  const TVePaletteType type = TypeOf(*FMode, FPaletteType);
  TVePalette256 all, shown;
  CpcMakePalette(all, type);
  if (FMode->Screen == 2 || FPaletteMode == cpcModeBlackWhite) {
    CpcMakeBlackWhitePalette(shown, type);
  } else if (FPaletteMode == cpcModeGray) {
    CpcMakeGrayPalette(shown, type);
  } else {
    for (int i = 0; i < FMode->Pens(); ++i)
      shown.AddColor(all.Color(DefaultInks[i]));
  }
  if (FMode->Flicker()) {
    TVePalette256 mix;
    mix.MakeMixTable(&shown, FMaxFlickering, FMode->Pens());
    shown = mix;
  }
  SetPalette(&shown);
  SetBasePalette(&all);
}

TVeModeRule TVeCPCFamily::ModeRule(const Info& mode, const TVeDestEngineOptions& options) {
  TVeModeRule rule;
  if (mode.Kind != cpcStandard && mode.Kind != cpcOverscan) {
    rule.Reason = mode.Flicker() ? "two frames mix their colours" : "";
    return rule;
  }
  rule.Checkable = true;
  rule.ColorsPerScreen = mode.Pens();
  TVePalette256 all;
  CpcMakePalette(all, TypeOf(mode, options.PaletteType()));
  VeAddRuleColors(rule, all);
  return rule;
}

TVeCPCEngineUI::TVeCPCEngineUI(TVeDestEngineOptions& options) : TVeDestEngineUIEx(options) {
  auto* own = dynamic_cast<TVeCPCEngineOptions*>(&options);
  if (!own) VeInternalError();
  const TVeCPCModeInfo& m = own->Mode();
  AddPositionBorder();
  // The Gate Array's border is one of the 27 colours; the Plus ASIC's any of its 4096.
  SetBorderColors([](const TVeDestEngineOptions& o) {
    std::vector<int> colors;
    if (o.PaletteType() == ptCPCPlus) return colors;
    TVePalette256 p;
    CpcMakePalette(p, o.PaletteType());
    for (int i = 0; i < p.Count(); ++i)
      colors.push_back(int(p.GetRGBQuad(i) & 0xFFFFFF));
    return colors;
  });
  AddPaletteSeparator();
  if (m.PaletteTypes) {
    std::vector<std::pair<std::string, TVePaletteType>> types;
    for (TVePaletteType t : {ptCPCGateArray, ptCPCGateArrayRGB, ptCPCASIC, ptCPCASICRGB})
      types.emplace_back(VePaletteTypeName(t), t);
    if (m.Plus) types.emplace_back(VePaletteTypeName(ptCPCPlus), ptCPCPlus);
    AddPaletteTypeList(types);
  }
  if (m.ModeMask) AddPaletteMode(m.ModeMask, (m.ModeMask & Bit(cpcModeCustom)) != 0);
  if (m.Flicker())
    AddPaletteView(m.Pens(), m.Pens());
  else
    AddPaletteView(m.Pens(), 1);
  if (m.Flicker()) AddMaxFlickering();
  AddDithering(false);
  if (m.Kind == cpcHgb) AddFileFormat("AMSDos header");
}

// ---- Palettes of a conversion -------------------------------------------------------------

namespace {

std::vector<bool> AllowedOf(const TVeDestEngineOptions& o) {
  std::vector<bool> used(CpcColorCount);
  for (int i = 0; i < CpcColorCount; ++i)
    used[size_t(i)] = o.AllowedColors1()[size_t(i)] != 0;
  return used;
}

// Black and every colour with a channel at full intensity, among the 4096 of the Plus.
std::vector<bool> PlusBrightColors() {
  std::vector<bool> bright(4096);
  for (int i = 0; i < 4096; ++i)
    bright[size_t(i)] = i == 0 || (i >> 8) == 15 || (i >> 4 & 15) == 15 || (i & 15) == 15;
  return bright;
}

bool IsGrayPicture(const TVeImage& image) {
  for (int y = 0; y < image.Height(); ++y) {
    const TVePixel* row = image.Scanline(y);
    for (int x = 0; x < image.Width(); ++x)
      if (!row[x].IsGray()) return false;
  }
  return true;
}

// The pens of a mode 0 or 1 picture, pen 0 first.
TVePalette256 ChoosePalette(const TVeCPCModeInfo& m, const TVeCancelFlag* cancel,
                            const TVeBitmap32& source, const TVeDestEngineOptions& options) {
  const TVePaletteType type = TypeOf(m, options.PaletteType());
  TVePalette256 palette;
  const uint8_t mode = m.Screen == 2 ? cpcModeBlackWhite : options.PaletteMode();
  if (mode == cpcModeBlackWhite) {
    CpcMakeBlackWhitePalette(palette, type);
    return palette;
  }
  if (mode == cpcModeGray) {
    CpcMakeGrayPalette(palette, type);
    return palette;
  }
  if (VeTakeFixedPalette(options, m.Pens(), palette)) return palette;
  TVeImage image(source);
  image.ApplyFixes(options.SaturationFix(), options.LightnessFix());
  TVeQuantizationArgs args;
  args.Abort = cancel;
  args.K = m.Pens();
  args.Method = options.ColorDistance();
  // Few inks must each look right on their own. Mode 0's sixteen cover a colour picture
  // anyway, and measure better with the plain snap; a gray picture still gets gray inks.
  args.PerceptualChoice = m.Pens() <= 4 || IsGrayPicture(image);
  TVePalette256 firmware;
  CpcMakePalette(firmware, type);
  if (mode == cpcModeCustom) {
    std::vector<bool> used = AllowedOf(options);
    if (std::none_of(used.begin(), used.end(), [](bool b) { return b; })) used.assign(27, true);
    QuantizeUsed(args, palette, &firmware, used, nullptr, image);
  } else if (mode == cpcModeColorBright) {
    if (type == ptCPCPlus)
      QuantizeUsed(args, palette, &CpcHardwarePalette(type), PlusBrightColors(), nullptr, image);
    else
      QuantizeUsed(args, palette, &firmware, CpcBrightColors(), nullptr, image);
  } else {
    QuantizeImage(args, palette, &CpcHardwarePalette(type), nullptr, image);
  }
  while (palette.Count() > m.Pens())
    palette.Delete(palette.Count() - 1);
  return palette;
}

// Firmware colour of each of the 16 pens; pens beyond the palette repeat pen 0.
std::array<int, 16> FirmwareInks(const TVePalette256& palette, TVePaletteType type) {
  std::array<int, 16> inks{};
  TVePalette256 firmware;
  CpcMakePalette(firmware, type);
  for (int i = 0; i < 16; ++i)
    inks[size_t(i)] = i < palette.Count() ? firmware.FindNearestLin(palette.GetLinRGB(i)) : -1;
  for (int& k : inks)
    if (k < 0) k = inks[0] < 0 ? 0 : inks[0];
  return inks;
}

int BorderFirmware(const TVeDestEngineOptions& o, TVePaletteType type) {
  uint8_t r, g, b;
  o.GetBorderRGB(r, g, b);
  return CpcNearestFirmware(TVeColor::FromStdRGB(r, g, b).GetLinRGB(), type);
}

TVeAmsdosStream* AddAmsdos(TVeStreamList& list, std::unique_ptr<TVeAmsdosStream> s) {
  return static_cast<TVeAmsdosStream*>(list.Add(std::move(s)));
}
TVeAmsdosStream* AddAmsdosSub(TVeStream& owner, std::unique_ptr<TVeAmsdosStream> s) {
  return static_cast<TVeAmsdosStream*>(owner.AddSub(std::move(s)));
}

// The ".pal" companion: the mode, each pen's hardware colour twelve times (40 hex beyond the
// palette), then the border's twelve times.
void AddPalFile(TVeStream& owner, int screen, const TVePalette256& palette, TVePaletteType type,
                int border) {
  auto* pal = AddAmsdosSub(
      owner, std::make_unique<TVeAmsdosStream>("pal", CpcTypeBinary, 239, 0x8809, 0x8809));
  uint8_t* d = pal->FileData();
  d[0] = uint8_t(screen);
  const std::array<int, 16> inks = FirmwareInks(palette, type);
  for (int i = 0; i < 16; ++i)
    std::memset(d + 3 + 12 * i, i < palette.Count() ? CpcHardwareColour[inks[size_t(i)]] : 0x40,
                12);
  std::memset(d + 3 + 12 * 16, CpcHardwareColour[border], 12);
}

// Pixel (x, y) of a pen grid into a screen at the offset of its byte.
template <class TOffset>
void PackScreen(const TVeData& pens, int screen, uint8_t* data, TOffset offset) {
  const int ppb = CpcPixelsPerByte(screen);
  for (int y = 0; y < pens.Height(); ++y)
    for (int x = 0; x < pens.Width(); ++x) {
      uint8_t& b = data[offset(y, x / ppb)];
      b = CpcPackPixel(b, screen, x % ppb, pens.GetPixel(x, y));
    }
}

void WriteStandard(const TVeCPCModeInfo& m, const TVeData& pens, const TVePalette256& palette,
                   TVePaletteType type, int border, TVeStreamList& files) {
  auto* scr = AddAmsdos(files, std::make_unique<TVeAmsdosStream>("scr", CpcTypeBinary,
                                                                 CpcScreenBytes, 0xC000, 0xC7D0));
  uint8_t* d = scr->FileData();
  PackScreen(pens, m.Screen, d, CpcScreenOffset);
  std::memcpy(d + CpcRoutineAt, CpcDisplayRoutine, sizeof CpcDisplayRoutine);
  d[CpcModeAt] = uint8_t(m.Screen);
  const std::array<int, 16> inks = FirmwareInks(palette, type);
  for (int i = 0; i < 16; ++i)
    d[CpcInksAt + i] = uint8_t(inks[size_t(i)]);
  d[CpcBorderAt] = uint8_t(border);
  AddPalFile(*scr, m.Screen, palette, type, border);
}

void WriteOverscan(const TVeCPCModeInfo& m, const TVeData& pens, const TVePalette256& palette,
                   TVePaletteType type, int border, TVeStreamList& files) {
  auto* scr = AddAmsdos(files, std::make_unique<TVeAmsdosStream>(
                                   "scr", CpcTypeBasic, CpcOverscanBytes, CpcOverscanLoad, 0x0000));
  uint8_t* d = scr->FileData();
  std::memcpy(d, CpcOverscanLoaderBlock, CpcOverscanLoader);
  d[CpcOverscanModeAt] = uint8_t(m.Screen + 14);
  d[CpcOverscanPlusAt] = type == ptCPCPlus ? 1 : 0;
  std::memcpy(d + CpcOverscanUnlockAt, CpcAsicUnlock, sizeof CpcAsicUnlock);
  PackScreen(pens, m.Screen, d, CpcOverscanOffset);
  const std::array<int, 16> inks = FirmwareInks(palette, type);
  TVePalette256 firmware;
  CpcMakePalette(firmware, type);
  for (int i = 0; i <= 16; ++i) {
    const int f = i < 16 ? inks[size_t(i)] : border;
    d[CpcOverscanInksAt + i] = CpcHardwareColour[f];
    // The Plus colours: the pen's own colour on the Plus, else its firmware colour there.
    uint32_t quad = firmware.GetRGBQuad(f);
    if (type == ptCPCPlus && i < 16) quad = palette.GetRGBQuad(i < palette.Count() ? i : 0);
    int r, g, b;
    CpcPlusLevels(quad, r, g, b);
    d[CpcOverscanPlusColorsAt + 2 * i] = uint8_t(r << 4 | b);
    d[CpcOverscanPlusColorsAt + 2 * i + 1] = uint8_t(g);
  }
  AddPalFile(*scr, m.Screen, palette, type, border);
  if (type == ptCPCPlus) {
    auto* kit = AddAmsdosSub(
        *scr, std::make_unique<TVeAmsdosStream>("kit", CpcTypeBinary, 32, 0x8809, 0x8809));
    for (int i = 0; i < 16; ++i) {
      int r, g, b;
      CpcPlusLevels(palette.GetRGBQuad(i < palette.Count() ? i : 0), r, g, b);
      kit->FileData()[2 * i] = uint8_t(r << 4 | b);
      kit->FileData()[2 * i + 1] = uint8_t(g);
    }
  }
}

void WriteHgb(const TVeData& pens, bool header, TVeStreamList& files) {
  uint8_t* d;
  if (header)
    d = AddAmsdos(files, std::make_unique<TVeAmsdosStream>("hgb", CpcTypeBinary, CpcScreenBytes,
                                                           0x0000, 0x0000))
            ->FileData();
  else
    d = files.AddNew("hgb", CpcScreenBytes)->Data();
  PackScreen(pens, 2, d, CpcHgbOffset);
}

// ---- Flicker modes --------------------------------------------------------------------------

// Counts how often the dithering picks each pair of colours.
class TPairCounter : public TVeData {
public:
  TPairCounter(int width, int height, int n)
      : TVeData(width, height, 0), Counts(size_t(n) * size_t(n)) {}
  int GetPixel(int, int) const override { return 0; }
  void SetPixel(int, int, int value) override { ++Counts[size_t(value)]; }
  std::vector<uint32_t> Counts;
};

class TPairImage : public TVeImage {
public:
  using TVeImage::TVeImage;
  void Count(const TVeCancelFlag* cancel, const TVeDitherOptions& d, const TVePalette& mix,
             TVeData& counter) {
    ApplyFixes(d.SaturationFix, d.LightnessFix);
    if (d.GrayPalette) MakeGray();
    Reversed = false;
    DitherArea(cancel, d, Height(), Width(), nullptr, mix, nullptr, &counter);
    Reversed = false;
  }
};

// Steps 1 and 2 of the pen choice: dither to every allowed pair of the candidate colours,
// then take pens greedily by how much their pairs were used.
TVePalette256 ChooseFlickerPens(const TVeCPCModeInfo& m, const TVeCancelFlag* cancel,
                                const TVeBitmap32& source, const TVeDestEngineOptions& options,
                                TVePaletteType type) {
  TVePalette256 firmware;
  CpcMakePalette(firmware, type);
  std::vector<int> candidates;
  const uint8_t mode = options.PaletteMode();
  const std::vector<bool> allowed = mode == cpcModeGray          ? std::vector<bool>{}
                                    : mode == cpcModeColorBright ? CpcBrightColors()
                                    : mode == cpcModeCustom      ? AllowedOf(options)
                                                                 : std::vector<bool>(27, true);
  for (int f = 0; f < CpcColorCount; ++f)
    if (mode == cpcModeGray ? (f == 0 || f == 13 || f == 26) : bool(allowed[size_t(f)]))
      candidates.push_back(f);
  if (candidates.empty())
    for (int f = 0; f < CpcColorCount; ++f)
      candidates.push_back(f);
  const int c = int(candidates.size());
  TVePalette256 colours;
  for (int f : candidates)
    colours.AddColor(firmware.Color(f));
  TVePalette256 mix;
  mix.MakeMixTable(&colours, options.MaxFlickering(), c);
  mix.PrepareSearch();
  TPairCounter counter(source.Width(), source.Height(), c);
  TPairImage image(source);
  image.Count(cancel, VeDitherOptionsOf(options), mix, counter);

  // count[i][j] over firmware numbers, both orders of a pair summed into i <= j.
  std::array<std::array<uint64_t, CpcColorCount>, CpcColorCount> count{};
  for (int p = 0; p < c; ++p)
    for (int i = 0; i < c; ++i) {
      const int a = std::min(candidates[size_t(p)], candidates[size_t(i)]);
      const int b = std::max(candidates[size_t(p)], candidates[size_t(i)]);
      count[size_t(a)][size_t(b)] += counter.Counts[size_t(p * c + i)];
    }
  TVePalette256 pens;
  std::vector<bool> taken(CpcColorCount);
  auto take = [&](int f) {
    if (taken[size_t(f)] || pens.Count() >= m.Pens()) return;
    taken[size_t(f)] = true;
    pens.AddColor(firmware.Color(f));
  };
  while (pens.Count() < m.Pens()) {
    uint64_t best = 0;
    int bi = -1, bj = -1;
    for (int i = 0; i < CpcColorCount; ++i)
      for (int j = i + 1; j < CpcColorCount; ++j) {
        const uint64_t s =
            count[size_t(i)][size_t(i)] + count[size_t(i)][size_t(j)] + count[size_t(j)][size_t(j)];
        if (s > best) {
          best = s;
          bi = i;
          bj = j;
        }
      }
    if (best == 0) break;
    if (count[size_t(bj)][size_t(bj)] > count[size_t(bi)][size_t(bi)]) {
      take(bj);
      take(bi);
    } else {
      take(bi);
      take(bj);
    }
    count[size_t(bi)][size_t(bi)] = count[size_t(bi)][size_t(bj)] = count[size_t(bj)][size_t(bj)] =
        0;
  }
  if (pens.Count() == 0) take(candidates.front());
  return pens;
}

// A frame as the CPC shows it, rows one after another.
void PackFrame(const TVeBitmap& frame, int screen, int rowBytes, uint8_t* to) {
  PackScreen(frame, screen, to, [rowBytes](int y, int col) { return y * rowBytes + col; });
}

std::unique_ptr<TVeBitmap> ConvertFlicker(const TVeCPCModeInfo& m, const TVeCancelFlag* cancel,
                                          const TVeBitmap32& source,
                                          std::unique_ptr<TVeStreamList>& files,
                                          TVeDestProgress& progress,
                                          TVeDestEngineOptions& options) {
  progress.SetProgress(2, 0);
  const TVePaletteType type = TypeOf(m, options.PaletteType());
  const int n = m.Pens();
  options.SetGrayPalette(options.PaletteMode() == cpcModeGray);
  const TVePalette256 pens = ChooseFlickerPens(m, cancel, source, options, type);
  progress.Step();
  TVePalette256 mix;
  mix.MakeMixTable(&pens, options.MaxFlickering(), n);
  options.SetPalette(&mix);
  TVeImage image(source);
  std::unique_ptr<TVeBitmap> result =
      image.DitherFlickerColor(cancel, VeDitherOptionsOf(options), nullptr, mix, nullptr);
  const TVeBitmapList* frames = result->Frames();
  if (!frames || frames->Count() != 2) VeInternalError();
  const TVeBitmap& even = *frames->GetBitmap(0);
  const TVeBitmap& odd = *frames->GetBitmap(1);
  // The preview's index names both pens: first frame's pen * n + second frame's.
  for (int y = 0; y < m.Height; ++y)
    for (int x = 0; x < m.Width; ++x)
      result->SetPixel(x, y, even.GetPixel(x, y) * n + odd.GetPixel(x, y));
  progress.Step();

  files = std::make_unique<TVeStreamList>();
  auto* pph = AddAmsdos(
      *files, std::make_unique<TVeAmsdosStream>("pph", CpcTypeBinary, n + 6, 0x2CE0, 0x0000));
  uint8_t* d = pph->FileData();
  const int rowBytes = m.RowBytes();
  d[0] = uint8_t(m.Screen == 0 ? 4 : 5);
  d[1] = uint8_t(rowBytes * 4);
  d[2] = uint8_t((rowBytes * 4) >> 8);
  d[3] = uint8_t(m.Height);
  d[4] = uint8_t(m.Height >> 8);
  d[5] = 1;
  const std::array<int, 16> inks = FirmwareInks(pens, type);
  for (int i = 0; i < n; ++i)
    d[6 + i] = uint8_t(inks[size_t(i)]);
  const int frameBytes = rowBytes * m.Height;
  for (int k = 0; k < 2; ++k) {
    auto* f = AddAmsdosSub(*pph, std::make_unique<TVeAmsdosStream>(
                                     k == 0 ? "eve" : "odd", CpcTypeBinary, frameBytes, 0x4000, 0));
    PackFrame(k == 0 ? even : odd, m.Screen, rowBytes, f->FileData());
  }
  return result;
}

} // namespace

std::unique_ptr<TVeBitmap> CpcConvert(const TVeCPCModeInfo& m, const TVeCancelFlag* cancel,
                                      const TVeBitmap32& source,
                                      std::unique_ptr<TVeStreamList>& files,
                                      TVeDestProgress& progress, TVeDestEngineOptions& options) {
  if (source.Width() != m.Width || source.Height() != m.Height) VeInternalError();
  if (m.Flicker()) return ConvertFlicker(m, cancel, source, files, progress, options);
  progress.SetProgress(1, 0);
  const TVePaletteType type = TypeOf(m, options.PaletteType());
  const TVePalette256 palette = ChoosePalette(m, cancel, source, options);
  options.SetPalette(&palette);
  options.SetGrayPalette(m.Screen != 2 && options.PaletteMode() == cpcModeGray);
  TVeImage image(source);
  std::unique_ptr<TVeBitmap> result =
      image.DitherPalette(cancel, VeDitherOptionsOf(options), nullptr, palette, nullptr);
  progress.Step();
  files = std::make_unique<TVeStreamList>();
  const int border = BorderFirmware(options, type);
  switch (m.Kind) {
  case cpcStandard:
    WriteStandard(m, *result, palette, type, border, *files);
    break;
  case cpcOverscan:
    WriteOverscan(m, *result, palette, type, border, *files);
    break;
  default:
    WriteHgb(*result, options.FileFormatFlag(), *files);
    break;
  }
  return result;
}

void RegisterAmstradCpcEngines(TVeDestEngineList& list) {
  RegisterAmstradCpcDiskWriter();
  VeReplaceModeTableEngines<TVeCPCFamily, 9>(list);
}
