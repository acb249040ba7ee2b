#include "VeSavePlatformIbm.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeImage.h"
#include "VePaletteSteps.h"
#include "VePlatformIbm.h"
#include "VeQuantization.h"
#include "VeStream.h"

// ---- Modes ----------------------------------------------------------------------------------

namespace {

constexpr uint32_t Bit(int v) {
  return 1u << v;
}
constexpr uint32_t ModesPlain = Bit(ibmModeBlackWhite) | Bit(ibmModeGray) | Bit(ibmModeColor);
constexpr uint32_t ModesQuantized = Bit(ibmModeColor) | Bit(ibmModeCustom);

// Pixel aspects on a 4:3 screen: 320 x 200 pixels are 1.2 times as high as wide, 640 x 200
// ones 2.4 times, 640 x 350 ones 1.37 times; 640 x 480 pixels are square.
const std::array<TVeIbmModeInfo, IbmModeCount>& Modes() {
  static const std::array<TVeIbmModeInfo, IbmModeCount> modes = {{
      {TVeIbmKind::Cga4, "CGA 320x200x2", 320, 200, 8, 4, 0},
      {TVeIbmKind::Cga2, "CGA 640x200x1", 640, 200, 0, 2, 0},
      {TVeIbmKind::EgaRgbi, "EGA 320x200x4", 320, 200, 8, 16, ModesPlain},
      {TVeIbmKind::EgaRgbi, "EGA 640x200x4", 640, 200, 0, 16, ModesPlain},
      {TVeIbmKind::Ega64, "EGA 640x350x4", 640, 350, 4, 16, ModesPlain | Bit(ibmModeCustom)},
      {TVeIbmKind::Vga256, "VGA 320x200x8", 320, 200, 8, 256, ModesPlain},
      {TVeIbmKind::Vga16, "VGA 640x480x4", 640, 480, 10, 16, ModesPlain},
  }};
  return modes;
}

const std::vector<TVePaletteType>& CgaTypes() {
  static const std::vector<TVePaletteType> types = {ptAuto,
                                                    ptBackGreenRedYellowLow,
                                                    ptBackGreenRedYellowHigh,
                                                    ptBackCyanMagentaWhiteLow,
                                                    ptBackCyanMagentaWhiteHigh,
                                                    ptBackCyanRedWhiteLow,
                                                    ptBackCyanRedWhiteHigh};
  return types;
}

// The hardware colours a mode picks from.
const TVePalette& Hardware(const TVeIbmModeInfo& m) {
  static const TVePalette256 rgbi = [] {
    TVePalette256 p;
    IbmMakeCgaPalette(p);
    return p;
  }();
  switch (m.Kind) {
  case TVeIbmKind::Ega64:
    return IbmEgaHardwarePalette();
  case TVeIbmKind::Vga256:
  case TVeIbmKind::Vga16:
    return IbmVgaHardwarePalette();
  default:
    return rgbi;
  }
}

void AddQuad(TVePalette256& p, uint32_t q) {
  p.AddRGB(uint8_t(q >> 16), uint8_t(q >> 8), uint8_t(q));
}

void BlackWhite(TVePalette256& p) {
  p.Clear();
  AddQuad(p, 0);
  AddQuad(p, 0xFFFFFF);
}

// The grays among a mode's hardware colours, darkest first.
void Grays(const TVeIbmModeInfo& m, TVePalette256& p) {
  p.Clear();
  const TVePalette& hw = Hardware(m);
  std::vector<uint32_t> grays;
  for (int i = 0; i < hw.GetCount(); ++i) {
    const uint32_t q = hw.GetRGBQuad(i);
    if ((q >> 16 & 255) == (q & 255) && (q >> 8 & 255) == (q & 255)) grays.push_back(q);
  }
  std::sort(grays.begin(), grays.end());
  for (uint32_t q : grays)
    AddQuad(p, q);
}

} // namespace

const TVeIbmModeInfo& IbmModeInfo(int index) {
  if (index < 0 || index >= IbmModeCount) VeInternalError();
  return Modes()[size_t(index)];
}

// The machine's rule, whatever colours the options chose: a picture drawn with any of the
// mode's palettes passes.
TVeModeRule TVeIbmFamily::ModeRule(const Info& mode, const TVeDestEngineOptions&) {
  TVeModeRule rule;
  rule.Checkable = true;
  rule.ColorsPerScreen = mode.Colors;
  auto cga = [](int i) {
    return uint32_t(IbmCgaColors[i][0]) << 16 | uint32_t(IbmCgaColors[i][1]) << 8 |
           IbmCgaColors[i][2];
  };
  switch (mode.Kind) {
  case TVeIbmKind::Cga4:
  case TVeIbmKind::Cga2:
  case TVeIbmKind::EgaRgbi:
    for (int i = 0; i < 16; ++i)
      rule.Colors.push_back(cga(i));
    if (mode.Kind == TVeIbmKind::Cga4) {
      for (int t = ptBackGreenRedYellowLow; t <= ptBackCyanRedWhiteHigh; ++t) {
        const int* three = IbmCgaPaletteColors(TVePaletteType(t));
        rule.ScreenSets.push_back({cga(three[0]), cga(three[1]), cga(three[2])});
      }
      rule.FreeColors = 1; // the background
    } else if (mode.Kind == TVeIbmKind::Cga2) {
      rule.ScreenSets.push_back({cga(0)}); // black and one foreground
      rule.FreeColors = 1;
    }
    break;
  case TVeIbmKind::Ega64:
    VeAddRuleColors(rule, IbmEgaHardwarePalette());
    break;
  case TVeIbmKind::Vga256:
  case TVeIbmKind::Vga16:
    rule.ChannelBits = 6;
    break;
  }
  return rule;
}

// ---- Options and panel ----------------------------------------------------------------------

TVeIbmEngineOptions::TVeIbmEngineOptions(const TVeIbmModeInfo& mode) : TVeModeTableOptions(mode) {
  FAspectIndex = mode.Aspect;
  FPaletteMode = ibmModeColor;
  FMaxColorCount = mode.Colors;
  if (mode.Kind == TVeIbmKind::Cga4) {
    FPaletteType = ptAuto;
    FBorderColorIndex = ibmBestColor;
  } else if (mode.Kind == TVeIbmKind::Cga2) {
    FPaletteNumber = ibmBestColor;
  } else if (mode.Kind == TVeIbmKind::Ega64) {
    FPaletteType = ptRGB222;
  } else if (mode.Kind == TVeIbmKind::Vga256 || mode.Kind == TVeIbmKind::Vga16) {
    FPaletteType = ptRGB666;
  }
}

void TVeIbmEngineOptions::SetPaletteType(TVePaletteType value) {
  TVeModeTableOptions::SetPaletteType(value);
  PaletteChanged();
}

void TVeIbmEngineOptions::SetPaletteMode(uint8_t value) {
  TVeModeTableOptions::SetPaletteMode(value);
  PaletteChanged();
}

void TVeIbmEngineOptions::PaletteChanged() {
  TVePalette256 shown, hardware;
  shown.BeginUpdate();
  switch (FMode->Kind) {
  case TVeIbmKind::Cga4: {
    const TVePaletteType t =
        IbmIsCgaPaletteType(FPaletteType) ? FPaletteType : ptBackCyanMagentaWhiteHigh;
    IbmMakeCga4Palette(shown, t, FBorderColorIndex == ibmBestColor ? 0 : FBorderColorIndex);
    break;
  }
  case TVeIbmKind::Cga2: {
    const int fg = FPaletteNumber >= 0 && FPaletteNumber < 16 ? FPaletteNumber : 15;
    AddQuad(shown, 0);
    shown.AddRGB(IbmCgaColors[fg][0], IbmCgaColors[fg][1], IbmCgaColors[fg][2]);
    break;
  }
  default:
    // The colours the registers hold after a mode set: the 16 RGBI colours.
    if (FPaletteMode == ibmModeBlackWhite)
      BlackWhite(shown);
    else if (FPaletteMode == ibmModeGray)
      Grays(*FMode, shown);
    else
      IbmMakeCgaPalette(shown);
    break;
  }
  shown.EndUpdate();
  // The custom grid offers the 64 EGA colours.
  if (FMode->Kind == TVeIbmKind::Ega64) hardware.Assign(&IbmEgaHardwarePalette());
  SetPalette(&shown);
  SetBasePalette(&hardware);
}

TVeIbmEngineUI::TVeIbmEngineUI(TVeDestEngineOptions& options) : TVeDestEngineUIEx(options) {
  auto* own = dynamic_cast<TVeIbmEngineOptions*>(&options);
  if (!own) VeInternalError();
  const TVeIbmModeInfo& m = own->Mode();
  AddPositionBorder();
  AddPaletteSeparator();
  std::vector<std::string> colors(IbmCgaColorNames, IbmCgaColorNames + 16);
  colors.emplace_back("Best");
  if (m.Kind == TVeIbmKind::Cga4) {
    std::vector<std::pair<std::string, TVePaletteType>> types;
    for (TVePaletteType t : CgaTypes())
      types.emplace_back(VePaletteTypeName(t), t);
    AddPaletteTypeList(types);
    AddBorderColorIndex(colors);
    AddPaletteView(4, 1);
  } else if (m.Kind == TVeIbmKind::Cga2) {
    // Port 3D9 picks the foreground; background and border stay black.
    AddPaletteNumberList(colors);
    AddPaletteView(2, 1);
  } else {
    AddPaletteMode(m.ModeMask, (m.ModeMask & Bit(ibmModeCustom)) != 0);
    AddPaletteView(16, m.Colors == 256 ? 16 : 1);
    AddMaxColorCount(m.Colors);
    TVeUIControl* count = FindMutable(ciMaxColorCount);
    count->TieId = ciPaletteMode;
    count->TieMask = ModesQuantized;
    UpdateTies();
  }
  AddDithering(false);
}

// ---- Conversion -----------------------------------------------------------------------------

namespace {

// Sum over the pixels of the distance to the nearest of a set of RGBI colours, from a table
// of the distance of every pixel to each of the 16 colours.
struct TVeRgbiCost {
  std::vector<std::array<double, 16>> Distance;
  explicit TVeRgbiCost(const TVeImage& image) {
    const size_t n = size_t(image.Width()) * size_t(image.Height());
    Distance.resize(n);
    std::array<TVeColor, 16> colors;
    for (int c = 0; c < 16; ++c)
      colors[size_t(c)].SetRGBQuad(uint32_t(IbmCgaColors[c][0]) << 16 |
                                   uint32_t(IbmCgaColors[c][1]) << 8 | IbmCgaColors[c][2]);
    const TVePixel* px = image.Scanline(0);
    for (size_t i = 0; i < n; ++i)
      for (size_t c = 0; c < 16; ++c)
        Distance[i][c] = DeltaRGB(px[i], colors[c]);
  }
  double Cost(const int* set, int count) const {
    double sum = 0;
    for (const auto& d : Distance) {
      double best = d[size_t(set[0])];
      for (int k = 1; k < count; ++k)
        best = std::min(best, d[size_t(set[k])]);
      sum += best;
    }
    return sum;
  }
};

// CGA 320 x 200: the palette type and background nearest to the picture, the first best in
// list order.
TVePalette256 ChooseCga4(const TVeCancelFlag* cancel, const TVeImage& image,
                         TVeDestEngineOptions& o) {
  std::vector<TVePaletteType> types;
  if (IbmIsCgaPaletteType(o.PaletteType()))
    types.push_back(o.PaletteType());
  else
    types.assign(CgaTypes().begin() + 1, CgaTypes().end());
  std::vector<int> backs;
  if (o.BorderColorIndex() >= 0 && o.BorderColorIndex() < 16)
    backs.push_back(o.BorderColorIndex());
  else
    for (int b = 0; b < 16; ++b)
      backs.push_back(b);
  TVePaletteType bestType = types.front();
  int bestBack = backs.front();
  if (types.size() * backs.size() > 1) {
    const TVeRgbiCost cost(image);
    double best = 0;
    bool first = true;
    for (TVePaletteType t : types)
      for (int b : backs) {
        if (cancel && *cancel) VeAbort();
        const int* three = IbmCgaPaletteColors(t);
        const int set[4] = {b, three[0], three[1], three[2]};
        const double c = cost.Cost(set, 4);
        if (first || c < best) {
          best = c;
          bestType = t;
          bestBack = b;
          first = false;
        }
      }
  }
  TVePalette256 palette;
  IbmMakeCga4Palette(palette, bestType, bestBack);
  return palette;
}

// CGA 640 x 200: black and the foreground nearest to the picture.
TVePalette256 ChooseCga2(const TVeCancelFlag* cancel, const TVeImage& image,
                         TVeDestEngineOptions& o) {
  int fg = o.PaletteNumber();
  if (fg < 0 || fg >= 16) {
    const TVeRgbiCost cost(image);
    double best = 0;
    for (int c = 0; c < 16; ++c) {
      if (cancel && *cancel) VeAbort();
      const int set[2] = {0, c};
      const double v = cost.Cost(set, 2);
      if (c == 0 || v < best) {
        best = v;
        fg = c;
      }
    }
  }
  TVePalette256 palette;
  AddQuad(palette, 0);
  palette.AddRGB(IbmCgaColors[fg][0], IbmCgaColors[fg][1], IbmCgaColors[fg][2]);
  return palette;
}

// The 16- and 256-colour modes: the palette mode's colours for the picture.
TVePalette256 ChooseColors(const TVeIbmModeInfo& m, const TVeCancelFlag* cancel, TVeImage& image,
                           TVeDestEngineOptions& o) {
  TVePalette256 palette;
  TVeQuantizationArgs args;
  args.Abort = cancel;
  args.K = VeColorLimit(o, m.Colors);
  args.Method = o.ColorDistance();
  const TVePalette& hw = Hardware(m);
  switch (o.PaletteMode()) {
  case ibmModeBlackWhite:
    BlackWhite(palette);
    return palette;
  case ibmModeGray: {
    TVePalette256 grays;
    Grays(m, grays);
    if (args.K >= grays.Count()) return grays;
    image.MakeGray();
    args.Gray = true;
    QuantizeImage(args, palette, &grays, nullptr, image);
    return palette;
  }
  case ibmModeCustom: {
    std::vector<bool> used(size_t(hw.GetCount()));
    for (int i = 0; i < hw.GetCount() && i < VeAllowedColorCount; ++i)
      used[size_t(i)] = o.AllowedColors1()[size_t(i)] != 0;
    QuantizeUsed(args, palette, &hw, used, nullptr, image);
    return palette;
  }
  default:
    // 200-line EGA with all 16 colours: the registers as set by the BIOS.
    if (m.Kind == TVeIbmKind::EgaRgbi && args.K >= 16) {
      IbmMakeCgaPalette(palette);
      return palette;
    }
    QuantizeImage(args, palette, &hw, nullptr, image);
    return palette;
  }
}

std::vector<uint32_t> Quads(const TVePalette256& p) {
  std::vector<uint32_t> q;
  for (int i = 0; i < p.Count(); ++i)
    q.push_back(p.GetRGBQuad(i));
  return q;
}

void WriteFiles(const TVeIbmModeInfo& m, const TVeBitmap& result, const TVePalette256& palette,
                std::unique_ptr<TVeStreamList>& files) {
  files = std::make_unique<TVeStreamList>();
  const bool cga = m.Kind == TVeIbmKind::Cga4 || m.Kind == TVeIbmKind::Cga2;
  if (cga) {
    // DEF SEG = &HB800: BSAVE "name", 0, &H4000
    TVeStream* bsv = files->AddNew("bsv", IbmBsaveHeaderBytes + IbmCgaBytes);
    IbmWriteBsaveHeader(bsv->Data(), 0xB800, 0, IbmCgaBytes);
    uint8_t* mem = bsv->Data() + IbmBsaveHeaderBytes;
    const int bits = m.Kind == TVeIbmKind::Cga4 ? 2 : 1;
    for (int y = 0; y < m.Height; ++y)
      for (int x = 0; x < m.Width; ++x) {
        const int bit = x * bits;
        mem[IbmCgaRowOffset(y) + bit / 8] |=
            uint8_t((result.GetPixel(x, y) & ((1 << bits) - 1)) << (8 - bits - bit % 8));
      }
    TVeCgaRegisters regs;
    if (IbmCgaRegistersOf(palette, bits == 1, regs)) IbmWriteCgaTag(mem, regs);
  }
  TVePcxPicture pcx;
  pcx.Width = m.Width;
  pcx.Height = m.Height;
  pcx.Palette = Quads(palette);
  if (m.Kind == TVeIbmKind::Cga4) {
    pcx.BitsPerPixel = 2;
  } else if (m.Kind == TVeIbmKind::Cga2) {
    pcx.BitsPerPixel = 1;
  } else if (m.Kind == TVeIbmKind::Vga256) {
    pcx.BitsPerPixel = 8;
  } else {
    // The four bit planes of EGA and VGA memory.
    pcx.BitsPerPixel = 1;
    pcx.Planes = 4;
  }
  pcx.Pixels.resize(size_t(m.Width) * size_t(m.Height));
  for (int y = 0; y < m.Height; ++y)
    for (int x = 0; x < m.Width; ++x)
      pcx.Pixels[size_t(y) * size_t(m.Width) + size_t(x)] = uint8_t(result.GetPixel(x, y));
  files->AddNew("pcx", 0)->Bytes() = IbmEncodePcx(pcx);
}

} // namespace

std::unique_ptr<TVeBitmap> IbmConvert(const TVeIbmModeInfo& m, const TVeCancelFlag* cancel,
                                      const TVeBitmap32& source,
                                      std::unique_ptr<TVeStreamList>& files,
                                      TVeDestProgress& progress, TVeDestEngineOptions& options) {
  if (source.Width() != m.Width || source.Height() != m.Height) VeInternalError();
  progress.SetProgress(1, 0);
  TVeImage fixed(source);
  fixed.ApplyFixes(options.SaturationFix(), options.LightnessFix());
  TVePalette256 palette;
  if (m.Kind == TVeIbmKind::Cga4)
    palette = ChooseCga4(cancel, fixed, options);
  else if (m.Kind == TVeIbmKind::Cga2)
    palette = ChooseCga2(cancel, fixed, options);
  else
    palette = ChooseColors(m, cancel, fixed, options);
  options.SetPalette(&palette);
  if (m.ModeMask && options.PaletteMode() == ibmModeGray) options.SetGrayPalette(true);
  TVeImage image(source);
  std::unique_ptr<TVeBitmap> result =
      image.DitherPalette(cancel, VeDitherOptionsOf(options), nullptr, palette, nullptr);
  progress.Step();
  WriteFiles(m, *result, palette, files);
  return result;
}

void RegisterIbmEngines(TVeDestEngineList& list) {
  VeReplaceModeTableEngines<TVeIbmFamily, IbmModeCount>(list);
}
