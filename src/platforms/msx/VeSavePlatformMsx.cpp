#include "VeSavePlatformMsx.h"
#include "VeSavePlatformMsxDisk.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeImage.h"
#include "VePaletteSteps.h"
#include "VePlatformMsx.h"
#include "VePlatformMsxMag.h"
#include "VePlatformMsxYJK.h"
#include "VeQuantization.h"
#include "VeStream.h"

// ---- Modes ----------------------------------------------------------------------------------

namespace {

constexpr uint32_t Bit(int v) {
  return 1u << v;
}
constexpr uint32_t ModesGray = Bit(msxModeBlackWhite) | Bit(msxModeGray) | Bit(msxModeColor);
constexpr uint32_t ModesCustom = ModesGray | Bit(msxModeCustom);
constexpr uint32_t ModesBright = ModesCustom | Bit(msxModeColorBright);
// The modes whose palette comes from the quantizer.
constexpr uint32_t ModesQuantized =
    Bit(msxModeColorBright) | Bit(msxModeColor) | Bit(msxModeCustom);

const std::vector<TVeMSXModeInfo>& Modes() {
  const std::vector<TVePaletteType> v9938 = {ptMSX9938}, both = {ptMSX9938, ptMSX9958};
  const std::vector<TVePaletteType> yjk = {ptMSXYJK}, yae = {ptMSXYJK, ptMSXYJK_YAE};
  static const std::vector<TVeMSXModeInfo> modes = {
      {2, false, "2 256x192x4", 256, 192, 12, {}, ModesGray, msxModeColor, 16},
      {3, false, "3 64x48x4", 64, 48, 12, v9938, ModesGray, msxModeColor, 16},
      {4, false, "4 256x192x4", 256, 192, 12, both, ModesCustom, msxModeColor, 16},
      {5, false, "5 256x212x4", 256, 212, 12, both, ModesCustom, msxModeColor, 16},
      {5, true, "5 256x424x4 Interlaced", 256, 424, 18, both, ModesCustom, msxModeColor, 16},
      {6, false, "6 512x212x2", 512, 212, 2, both, ModesBright, msxModeColorBright, 4},
      {6, true, "6 512x424x2 Interlaced", 512, 424, 12, both, ModesBright, msxModeColorBright, 4},
      {7, false, "7 512x212x4", 512, 212, 2, both, ModesCustom, msxModeColor, 16},
      {7, true, "7 512x424x4 Interlaced", 512, 424, 12, both, ModesCustom, msxModeColor, 16},
      {8, false, "8 256x212x8", 256, 212, 12, both, ModesGray, msxModeColor, 256},
      {8, true, "8 256x424x8 Interlaced", 256, 424, 18, both, ModesGray, msxModeColor, 256},
      {10, false, "10 256x212x12", 256, 212, 12, yae, 0, 0, 0},
      {10, true, "10 256x424x12 Interlaced", 256, 424, 18, yae, 0, 0, 0},
      {12, false, "12 256x212x15", 256, 212, 12, yjk, 0, 0, 0},
      {12, true, "12 256x424x15 Interlaced", 256, 424, 18, yjk, 0, 0, 0},
  };
  return modes;
}

// The file layout of a bitmap screen.
struct TVeMSXFiles {
  char Ext;         // last letter of the extensions: "sc5", "s15", "gl5", "pl5"
  int Bits;         // per pixel
  int MainBytes;    // data of the BSAVE screen (of page 0 when interlaced)
  int PageBytes;    // data of the second page
  int PaletteAt;    // palette registers in the screen, -1 for none
  bool PaletteFile; // COPY pictures come with a palette file
};

TVeMSXFiles FilesOf(const TVeMSXModeInfo& m) {
  switch (m.Screen) {
  case 5:
    return {'5', 4, 0x76A0, 0x6A00, 0x7680, true};
  case 6:
    return {'6', 2, 0x76A0, 0x6A00, 0x7680, true};
  case 7:
    return {'7', 4, 0xFAA0, 0xD400, 0xFA80, true};
  case 8:
    return {'8', 8, 0xD400, 0xD400, -1, false};
  case 10:
    return {'a', 8, 0xFAA0, 0xD400, 0xFA80, true};
  case 12:
    return {'c', 8, m.Interlaced ? 0xD400 : 0xFAA0, 0xD400, -1, false};
  default:
    VeInternalError();
  }
}

// The hardware palette type of the palette registers a mode writes.
TVePaletteType RegisterType(const TVeMSXModeInfo& m, const TVeDestEngineOptions& o) {
  return m.Yjk() ? ptMSX9958 : MsxHardwareType(o.PaletteType());
}

} // namespace

const TVeMSXModeInfo& MsxModeInfo(int screen, bool interlaced) {
  for (const TVeMSXModeInfo& m : Modes())
    if (m.Screen == screen && m.Interlaced == interlaced) return m;
  VeInternalError();
}

// ---- Options and panel ----------------------------------------------------------------------

TVeMSXEngineOptions::TVeMSXEngineOptions(const TVeMSXModeInfo& mode) : FMode(&mode) {
  FAspectIndex = mode.Aspect;
  FPaletteType = mode.PaletteTypes.empty() ? ptMSX9938 : mode.PaletteTypes.front();
  FPaletteMode = mode.DefaultMode;
  FMaxColorCount = mode.Colors > 0 && mode.Colors <= 16 ? mode.Colors : 256;
  switch (mode.Screen) {
  case 2:
    FDitherMethod = dmJarvisJudiceNinke;
    FLimitErrorInsideBlock = false;
    FLimitErrorAtBoundary = false;
    break;
  case 3:
    FDitherMethod = dmNone;
    break;
  case 6:
    FErrorDiffusion = 80;
    break;
  default:
    break;
  }
}

void TVeMSXEngineOptions::SetPaletteType(TVePaletteType value) {
  TVeDestFixedSizeEngineOptions::SetPaletteType(value);
  PaletteChanged();
}

void TVeMSXEngineOptions::SetPaletteMode(uint8_t value) {
  TVeDestFixedSizeEngineOptions::SetPaletteMode(value);
  PaletteChanged();
}

TVeModeRule MsxModeRule(const TVeMSXModeInfo& mode, const TVeDestEngineOptions& options) {
  TVeModeRule rule;
  if (mode.Yjk()) {
    rule.Reason = "YJK pixels share their colour in groups of four";
    return rule;
  }
  rule.Checkable = true;
  const TVePaletteType type = MsxHardwareType(options.PaletteType());
  TVePalette256 p;
  switch (mode.Screen) {
  case 2:
    MsxMakeTms9918Palette(p);
    break;
  case 8:
    MsxMakeScreen8Palette(p, type);
    break;
  default:
    MsxMakeHardwarePalette(p, type);
    rule.ColorsPerScreen = mode.Colors;
    break;
  }
  if (mode.Screen == 2 || mode.Screen == 4) {
    rule.CellWidth = 8;
    rule.CellHeight = 1;
    rule.ColorsPerCell = 2;
  }
  VeAddRuleColors(rule, p);
  return rule;
}

void TVeMSXEngineOptions::PaletteChanged() {
  const TVePaletteType type = MsxHardwareType(FPaletteType);
  TVePalette256 shown, hardware;
  switch (FMode->Screen) {
  case 2:
    MsxMakeTms9918Palette(shown);
    hardware = shown;
    break;
  case 8:
    MsxMakeScreen8Palette(shown, type);
    hardware = shown;
    break;
  case 10:
    // The palette the first attribute pass starts from.
    if (FPaletteType == ptMSXYJK_YAE) shown = BasePalette();
    SetPalette(&shown);
    return;
  case 12:
    SetPalette(nullptr);
    return;
  default:
    if (FPaletteMode == msxModeBlackWhite)
      MsxMakeBlackWhitePalette(shown, type);
    else if (FPaletteMode == msxModeGray && FMode->Screen != 4)
      MsxMakeGrayPalette(shown, type);
    else
      MsxMakeScreen4Palette(shown, type);
    MsxMakeHardwarePalette(hardware, type);
    break;
  }
  SetPalette(&shown);
  SetBasePalette(&hardware);
}

TVeMSXEngineUI::TVeMSXEngineUI(TVeDestEngineOptions& options) : TVeDestEngineUIEx(options) {
  auto* own = dynamic_cast<TVeMSXEngineOptions*>(&options);
  if (!own) VeInternalError();
  const TVeMSXModeInfo& m = own->Mode();
  AddPositionBorder();
  // The backdrop of the TMS9918 screens is one of its fifteen colours (0 is transparent).
  if (m.Screen == 2 || m.Screen == 3)
    SetBorderColors([](const TVeDestEngineOptions&) {
      TVePalette256 p;
      MsxMakeTms9918Palette(p);
      std::vector<int> colors;
      for (int i = 1; i < p.Count(); ++i)
        colors.push_back(int(p.GetRGBQuad(i) & 0xFFFFFF));
      return colors;
    });
  // Screen 12 has no palette to choose or show: no empty "Palette" group.
  if (m.PaletteTypes.size() >= 2 || m.ModeMask || m.Colors == 256 || m.Screen != 12)
    AddPaletteSeparator();
  if (m.PaletteTypes.size() >= 2) {
    std::vector<std::pair<std::string, TVePaletteType>> types;
    for (TVePaletteType t : m.PaletteTypes)
      types.emplace_back(VePaletteTypeName(t), t);
    AddPaletteTypeList(types);
  }
  if (m.ModeMask) AddPaletteMode(m.ModeMask, (m.ModeMask & Bit(msxModeCustom)) != 0);
  if (m.Colors == 256)
    AddPaletteView(16, 16);
  else if (m.Screen != 12)
    AddPaletteView(m.Colors == 4 ? 4 : 16, 1);
  // Screens whose palette the quantizer finds offer a colour limit.
  if (m.Colors > 0 && m.Colors <= 16 && m.Screen != 2) {
    AddMaxColorCount(m.Colors);
    TVeUIControl* count = FindMutable(ciMaxColorCount);
    count->TieId = ciPaletteMode;
    count->TieMask = m.Screen == 4 ? Bit(msxModeCustom) : ModesQuantized;
    UpdateTies();
  }
  AddDithering(m.Cells());
  if (m.Screen >= 5) AddComment();
}

// ---- Palettes of a conversion -------------------------------------------------------------

namespace {

// Screens 3, 5, 6, 7: the mode's colours for the picture; also screen 4's custom colours.
TVePalette256 ChoosePalette(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                            TVeDestEngineOptions& options, int most) {
  const TVePaletteType type = MsxHardwareType(options.PaletteType());
  const TVePaletteRGB& hardware = MsxHardwarePalette(type);
  TVeQuantizationArgs args;
  args.Abort = cancel;
  args.K = VeColorLimit(options, most);
  args.Method = options.UsesColorDistance() ? options.ColorDistance() : 0;
  TVePalette256 palette;
  if (options.PaletteMode() == msxModeBlackWhite) {
    MsxMakeBlackWhitePalette(palette, type);
    return palette;
  }
  if (VeTakeFixedPalette(options, args.K, palette)) return palette;
  TVeImage image(source);
  image.ApplyFixes(options.SaturationFix(), options.LightnessFix());
  if (options.PaletteMode() == msxModeGray) {
    TVePalette256 grays;
    MsxMakeGrayPalette(grays, type);
    if (args.K >= grays.Count()) return grays;
    image.MakeGray();
    args.Gray = true;
    QuantizeImage(args, palette, &grays, nullptr, image);
    return palette;
  }
  if (options.PaletteMode() == msxModeCustom) {
    std::vector<bool> used(512);
    for (int i = 0; i < 512; ++i)
      used[size_t(i)] = options.AllowedColors1()[size_t(i)] != 0;
    QuantizeUsed(args, palette, &hardware, used, nullptr, image);
  } else if (options.PaletteMode() == msxModeColorBright) {
    QuantizeUsed(args, palette, &hardware, MsxBrightColors(), nullptr, image);
  } else {
    QuantizeImage(args, palette, &hardware, nullptr, image);
  }
  return palette;
}

// ---- Cells (screens 2 and 4) ----------------------------------------------------------------

std::unique_ptr<TVeBitmap> ConvertCells(const TVeMSXModeInfo& m, const TVeCancelFlag* cancel,
                                        const TVeBitmap32& source,
                                        std::unique_ptr<TVeStreamList>& files,
                                        TVeDestProgress& progress, TVeDestEngineOptions& options) {
  const TVePaletteType type = MsxHardwareType(options.PaletteType());
  TVePalette256 palette;
  if (m.Screen == 2) {
    MsxMakeTms9918Palette(palette);
  } else if (options.PaletteMode() == msxModeCustom) {
    // Colour 0 stays out of the cells, so the custom colours take 1 to 15.
    const TVePalette256 chosen = ChoosePalette(cancel, source, options, 15);
    palette.AddLin(MsxHardwarePalette(type).GetLinRGB(0));
    for (int i = 0; i < chosen.Count(); ++i)
      palette.AddColor(chosen.Color(i));
  } else {
    MsxMakeScreen4Palette(palette, type);
  }
  options.SetPalette(&palette);

  const int data = m.Screen == 2 ? MsxScreen2Data : MsxScreen4Data;
  files = std::make_unique<TVeStreamList>();
  TVeStream* file = files->AddNew(m.Screen == 2 ? "sc2" : "sc4", MsxBsaveHeaderBytes + data);
  uint8_t* vram = file->Data() + MsxBsaveHeaderBytes;
  MsxWriteBsaveHeader(file->Data(), data);
  TVeMSXScreen2Screen screen(vram);
  screen.Initialise();
  if (m.Screen == 4) MsxWritePaletteRegisters(vram + MsxScreen4Palette, palette, type);

  if (options.PaletteMode() == msxModeBlackWhite) {
    // White on black everywhere: a set bit is white.
    TVeImage image(source);
    return image.DitherTwoColorsBits(cancel, VeDitherOptionsOf(options), 15, 1, &palette, &screen);
  }
  if (options.PaletteMode() == msxModeGray) options.SetGrayPalette(true);
  TVeMSXScreen2Image image(8, source, 1);
  return image.Convert(cancel, VeCellOptionsOf(options), &screen, &progress);
}

// ---- Files of the bitmap screens ------------------------------------------------------------

void AddMag(TVeStreamList& files, const TVeMSXModeInfo& m, const TVeData& pixels,
            const TVePalette256& palette, const std::string& comment) {
  TVeMagPicture mag;
  mag.Width = pixels.Width();
  mag.Height = pixels.Height();
  mag.Colors256 = m.Colors == 256 || m.Yjk();
  mag.MachineCode = VeMagMachineMSX;
  mag.MachineFlag = uint8_t(m.Screen | (m.Interlaced ? VeMagInterlaced : 0));
  mag.ScreenMode = m.Width == 512 && !m.Interlaced ? VeMagTallPixels : 0;
  mag.Comment = comment;
  mag.Palette.assign(mag.Colors256 ? 256 : 16, 0);
  for (int i = 0; i < palette.Count() && size_t(i) < mag.Palette.size(); ++i)
    mag.Palette[size_t(i)] = palette.GetRGBQuad(i);
  mag.Pixels.resize(size_t(mag.Width) * size_t(mag.Height));
  for (int y = 0; y < mag.Height; ++y)
    for (int x = 0; x < mag.Width; ++x)
      mag.Pixels[size_t(y) * size_t(mag.Width) + size_t(x)] = uint8_t(pixels.GetPixel(x, y));
  const std::vector<uint8_t> bytes = VeEncodeMag(mag);
  files.AddNew("mag", 0)->Bytes() = bytes;
}

// The BSAVE screen (with its second page), the COPY picture with its palette file, and MAG.
void WriteBitmapFiles(const TVeMSXModeInfo& m, std::unique_ptr<TVeStreamList>& files,
                      const TVeData& pixels, const TVeDestEngineOptions& options) {
  const TVeMSXFiles f = FilesOf(m);
  const TVePaletteType type = RegisterType(m, options);
  const TVePalette256& palette = options.Palette();
  const std::string ext(1, f.Ext);
  files = std::make_unique<TVeStreamList>();

  TVeStream* screen = files->AddNew("sc" + ext, MsxBsaveHeaderBytes + f.MainBytes);
  MsxWriteBsaveHeader(screen->Data(), f.MainBytes);
  uint8_t* vram = screen->Data() + MsxBsaveHeaderBytes;
  MsxPackRows(pixels, 0, m.Interlaced ? 2 : 1, f.Bits, vram);
  if (f.PaletteAt >= 0) MsxWritePaletteRegisters(vram + f.PaletteAt, palette, type);
  if (m.Interlaced) {
    TVeStream* page = screen->AddNewSub("s1" + ext, MsxBsaveHeaderBytes + f.PageBytes);
    MsxWriteBsaveHeader(page->Data(), f.PageBytes);
    MsxPackRows(pixels, 1, 2, f.Bits, page->Data() + MsxBsaveHeaderBytes);
  } else {
    TVeStream* copy = files->AddNew("gl" + ext, 0);
    copy->Bytes() = MsxCopyPicture(pixels, f.Bits);
    if (f.PaletteFile) {
      TVeStream* pl = copy->AddNewSub("pl" + ext, MsxPaletteFileBytes);
      MsxWritePaletteFile(pl->Data(), palette, type);
    }
  }
  AddMag(*files, m, pixels, palette, options.Comment());
}

std::unique_ptr<TVeBitmap> ConvertBitmap(const TVeMSXModeInfo& m, const TVeCancelFlag* cancel,
                                         const TVeBitmap32& source,
                                         std::unique_ptr<TVeStreamList>& files,
                                         TVeDestProgress& progress, TVeDestEngineOptions& options) {
  progress.SetProgress(1, 0);
  const TVePaletteType type = MsxHardwareType(options.PaletteType());
  const uint8_t mode = options.PaletteMode();
  TVePalette256 palette, search;
  if (m.Screen == 8) {
    // Every colour is fixed: the preview's indices are the screen's bytes.
    MsxMakeScreen8Palette(palette, type);
    if (mode == msxModeGray)
      MsxMakeScreen8GrayPalette(search, type);
    else
      search = palette;
  } else {
    palette = ChoosePalette(cancel, source, options, m.Colors);
    search = palette;
  }
  options.SetPalette(&palette);
  if (mode == msxModeGray) options.SetGrayPalette(true);
  TVeImage image(source);
  const TVeDitherOptions d = VeDitherOptionsOf(options);
  std::unique_ptr<TVeBitmap> result;
  if (mode == msxModeBlackWhite)
    result = m.Screen == 8 ? image.DitherTwoColors(cancel, d, 0xFF, 0x00, &palette, nullptr)
                           : image.DitherTwoColors(cancel, d, 1, 0, &palette, nullptr);
  else
    result = image.DitherPalette(cancel, d, m.Screen == 8 ? &palette : nullptr, search, nullptr);
  progress.Step();

  if (m.Screen == 3) {
    files = std::make_unique<TVeStreamList>();
    TVeStream* sc3 = files->AddNew("sc3", MsxBsaveHeaderBytes + MsxScreen3Data);
    MsxWriteBsaveHeader(sc3->Data(), MsxScreen3Data);
    uint8_t* vram = sc3->Data() + MsxBsaveHeaderBytes;
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x)
        vram[MsxScreen3Offset(x, y)] |= uint8_t((result->GetPixel(x, y) & 15) << (x % 2 ? 0 : 4));
    // The file keeps no palette; the palette file beside it does.
    TVeStream* pl = sc3->AddNewSub("pl3", MsxPaletteFileBytes);
    MsxWritePaletteFile(pl->Data(), palette, type);
    return result;
  }
  WriteBitmapFiles(m, files, *result, options);
  return result;
}

std::unique_ptr<TVeBitmap> ConvertYjk(const TVeMSXModeInfo& m, const TVeCancelFlag* cancel,
                                      const TVeBitmap32& source,
                                      std::unique_ptr<TVeStreamList>& files,
                                      TVeDestProgress& progress, TVeDestEngineOptions& options) {
  std::vector<uint8_t> bytes;
  std::unique_ptr<TVeBitmap> preview;
  if (m.Screen == 10) {
    // Screen 10 always shows odd Y fields as palette colours, so plain YJK keeps to even Y.
    TVeYJKYAEImage image(source);
    image.UsePalette = options.PaletteType() == ptMSXYJK_YAE;
    preview = image.Convert(cancel, options, &progress, bytes);
  } else {
    TVeYJKImage image(source);
    preview = image.Convert(cancel, options, &progress, bytes);
  }
  TVeScreen8 pixels(m.Width, bytes.data(), m.Height);
  WriteBitmapFiles(m, files, pixels, options);
  return preview;
}

} // namespace

std::unique_ptr<TVeBitmap> MsxConvert(const TVeMSXModeInfo& m, const TVeCancelFlag* cancel,
                                      const TVeBitmap32& source,
                                      std::unique_ptr<TVeStreamList>& files,
                                      TVeDestProgress& progress, TVeDestEngineOptions& options) {
  if (source.Width() != m.Width || source.Height() != m.Height) VeInternalError();
  if (m.Cells()) return ConvertCells(m, cancel, source, files, progress, options);
  if (m.Yjk()) return ConvertYjk(m, cancel, source, files, progress, options);
  return ConvertBitmap(m, cancel, source, files, progress, options);
}

void RegisterMsxEngines(TVeDestEngineList& list) {
  RegisterMsxDiskWriter();
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeMSXScr2Engine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeMSXScr3Engine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeMSXScr4Engine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeMSXScr5Engine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeMSXScr5InterlacedEngine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeMSXScr6Engine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeMSXScr6InterlacedEngine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeMSXScr7Engine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeMSXScr7InterlacedEngine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeMSXScr8Engine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeMSXScr8InterlacedEngine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeMSXScr10Engine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeMSXScr10InterlacedEngine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeMSXScr12Engine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeMSXScr12InterlacedEngine>>());
}
