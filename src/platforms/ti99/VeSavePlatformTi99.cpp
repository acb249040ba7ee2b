#include "VeSavePlatformTi99.h"

#include <cstring>
#include <vector>

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeImage.h"
#include "VePlatformTi99.h"
#include "VeSavePlatformTi99F18A.h"
#include "VeStream.h"
#include "msx/VePlatformMsx.h"

// ---- The two TMS9918A modes -----------------------------------------------------------------

TVeTI99EngineOptions::TVeTI99EngineOptions() {
  // The TMS9918A pixel on a 4:3 screen, as on the MSX.
  FAspectIndex = 12;
  FPaletteType = ptTI99Calculated;
  FPaletteMode = ti99ModeColor;
}

void TVeTI99EngineOptions::SetPaletteType(TVePaletteType value) {
  TVeDestFixedSizeEngineOptions::SetPaletteType(value);
  PaletteChanged();
}

void TVeTI99EngineOptions::PaletteChanged() {
  TVePalette256 palette;
  Ti99MakePalette(palette, FPaletteType);
  SetPalette(&palette);
}

namespace {
// The backdrop register holds one of the fifteen colours (0 is transparent).
std::vector<int> Ti99BorderColors(const TVeDestEngineOptions& o) {
  TVePalette256 palette;
  Ti99MakePalette(palette, o.PaletteType());
  std::vector<int> colors;
  for (int i = 1; i < palette.Count(); ++i)
    colors.push_back(int(palette.GetRGBQuad(i) & 0xFFFFFF));
  return colors;
}
} // namespace

TVeTI99EngineUI::TVeTI99EngineUI(TVeDestEngineOptions& options, bool limits, bool flicker)
    : TVeDestEngineUIEx(options) {
  AddPositionBorder();
  SetBorderColors(Ti99BorderColors);
  AddPaletteSeparator();
  AddPaletteTypeList({{VePaletteTypeName(ptTI99Calculated), ptTI99Calculated},
                      {VePaletteTypeName(ptTI99MSX), ptTI99MSX}});
  AddPaletteMode(1u << ti99ModeBlackWhite | 1u << ti99ModeGray | 1u << ti99ModeColor);
  AddPaletteView(16, flicker ? 16 : 1);
  if (flicker) AddMaxFlickering();
  AddDithering(limits);
}

// ---- Bitmap mode -----------------------------------------------------------------------------

TVeTI99BitmapEngineOptions::TVeTI99BitmapEngineOptions() {
  FDitherMethod = dmJarvisJudiceNinke;
  FLimitErrorInsideBlock = false;
  FLimitErrorAtBoundary = false;
}

namespace {

// The 15 colours a picture shows (entry 0 is transparent, shown as black like entry 1).
TVeModeRule Ti99Rule(const TVeDestEngineOptions& options) {
  TVeModeRule rule;
  rule.Checkable = true;
  TVePalette256 palette;
  Ti99MakePalette(palette, options.PaletteType());
  for (int i = 1; i < palette.GetCount(); ++i)
    rule.Colors.push_back(palette.GetRGBQuad(i) & 0xFFFFFF);
  return rule;
}

} // namespace

TVeModeRule TVeTI99BitmapEngine::ModeRule(const TVeDestEngineOptions& options) {
  TVeModeRule rule = Ti99Rule(options);
  rule.CellWidth = 8;
  rule.CellHeight = 1;
  rule.ColorsPerCell = 2;
  return rule;
}

TVeModeRule TVeTI99MulticolorEngine::ModeRule(const TVeDestEngineOptions& options) {
  return Ti99Rule(options);
}

std::unique_ptr<TVeBitmap>
TVeTI99BitmapEngine::Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                             std::unique_ptr<TVeStreamList>& files, TVeDestProgress& progress,
                             TVeDestEngineOptions& options, const TVePalette256*,
                             const TVePalette256*) {
  if (source.Width() != 256 || source.Height() != 192) VeInternalError();
  TVePalette256 palette;
  Ti99MakePalette(palette, options.PaletteType());
  options.SetPalette(&palette);
  // The cells work on the MSX layout of video memory; the two tables are copied out of it.
  std::vector<uint8_t> vram(MsxScreen2Data);
  TVeMSXScreen2Screen screen(vram.data());
  screen.Initialise();
  std::unique_ptr<TVeBitmap> result;
  if (options.PaletteMode() == ti99ModeBlackWhite) {
    TVeImage image(source);
    result =
        image.DitherTwoColorsBits(cancel, VeDitherOptionsOf(options), 15, 1, &palette, &screen);
  } else {
    if (options.PaletteMode() == ti99ModeGray) options.SetGrayPalette(true);
    TVeMSXScreen2Image image(8, source, 1);
    result = image.Convert(cancel, VeCellOptionsOf(options), &screen, &progress);
  }
  files = std::make_unique<TVeStreamList>();
  TVeStream* patterns = files->AddNew("tiap", Ti99TableBytes);
  std::memcpy(patterns->Data(), vram.data(), Ti99TableBytes);
  TVeStream* colors = patterns->AddNewSub("tiac", Ti99TableBytes);
  std::memcpy(colors->Data(), vram.data() + MsxScreen2Colors, Ti99TableBytes);
  return result;
}

namespace {
// Colour 0 is transparent: the blocks choose from 1 to 15 (gray: black, gray, white).
std::vector<int> Ti99OfferedColors(uint8_t mode) {
  if (mode == ti99ModeBlackWhite) return {1, 15};
  if (mode == ti99ModeGray) return {1, 14, 15};
  std::vector<int> offered;
  for (int i = 1; i < 16; ++i)
    offered.push_back(i);
  return offered;
}

// Each pixel of the source one of the offered colours; the result indexes `offered`.
std::unique_ptr<TVeBitmap> Ti99DitherBlocks(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                            TVeDestEngineOptions& options,
                                            const TVePalette256& palette,
                                            std::vector<int>& offered) {
  offered = Ti99OfferedColors(options.PaletteMode());
  TVePalette256 search;
  for (int i : offered)
    search.AddColor(palette.Color(i));
  if (options.PaletteMode() == ti99ModeGray) options.SetGrayPalette(true);
  TVeImage image(source);
  return image.DitherPalette(cancel, VeDitherOptionsOf(options), nullptr, search, nullptr);
}

// The blocks modes: the machine's palette in palette and options, every block of the source
// one colour, stored by write(x, y, colour) and in the result.
template <class Write>
std::unique_ptr<TVeBitmap> Ti99Blocks(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                      TVeDestEngineOptions& options, TVePalette256& palette,
                                      Write write) {
  Ti99MakePalette(palette, options.PaletteType());
  options.SetPalette(&palette);
  std::vector<int> offered;
  const std::unique_ptr<TVeBitmap> found =
      Ti99DitherBlocks(cancel, source, options, palette, offered);
  auto result = std::make_unique<TVeBitmap4>(source.Width(), &palette, source.Height());
  for (int y = 0; y < source.Height(); ++y)
    for (int x = 0; x < source.Width(); ++x) {
      const int c = offered[size_t(found->GetPixel(x, y))];
      result->SetPixel(x, y, c);
      write(x, y, c);
    }
  return result;
}
} // namespace

// ---- Multicolour mode ------------------------------------------------------------------------

TVeTI99MulticolorEngineOptions::TVeTI99MulticolorEngineOptions() {
  FDitherMethod = dmNone; // blocks this large show a diffusion pattern as noise
}

std::unique_ptr<TVeBitmap>
TVeTI99MulticolorEngine::Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                 std::unique_ptr<TVeStreamList>& files, TVeDestProgress& progress,
                                 TVeDestEngineOptions& options, const TVePalette256*,
                                 const TVePalette256*) {
  if (source.Width() != 64 || source.Height() != 48) VeInternalError();
  progress.SetProgress(1, 0);
  TVePalette256 palette;
  files = std::make_unique<TVeStreamList>();
  TVeStream* dump = files->AddNew("vdp", MsxScreen3Data);
  auto result = Ti99Blocks(cancel, source, options, palette, [&](int x, int y, int c) {
    dump->Data()[MsxScreen3Offset(x, y)] |= uint8_t(c << (x % 2 ? 0 : 4));
  });
  progress.Step();
  return result;
}

// ---- Two multicolour screens on alternate frames -----------------------------------------------

static_assert(Ti99DualBytes == 2 * MsxScreen3Data);

void TVeTI99DualEngineOptions::PaletteChanged() {
  TVePalette256 palette, mix;
  Ti99MakePalette(palette, FPaletteType);
  mix.MakeMixTable(&palette, FMaxFlickering, 16);
  SetPalette(&mix);
}

std::unique_ptr<TVeBitmap> TVeTI99DualEngine::Convert(const TVeCancelFlag* cancel,
                                                      const TVeBitmap32& source,
                                                      std::unique_ptr<TVeStreamList>& files,
                                                      TVeDestProgress& progress,
                                                      TVeDestEngineOptions& options,
                                                      const TVePalette256*, const TVePalette256*) {
  if (source.Width() != 64 || source.Height() != 48) VeInternalError();
  progress.SetProgress(1, 0);
  TVePalette256 palette;
  Ti99MakePalette(palette, options.PaletteType());
  const std::vector<int> offered = Ti99OfferedColors(options.PaletteMode());
  const int n = int(offered.size());
  TVePalette256 search, pairs;
  for (int i : offered)
    search.AddColor(palette.Color(i));
  pairs.MakeMixTable(&search, options.MaxFlickering(), n);
  options.SetGrayPalette(options.PaletteMode() == ti99ModeGray);
  TVeImage image(source);
  const std::unique_ptr<TVeBitmap> found =
      image.DitherFlickerColor(cancel, VeDitherOptionsOf(options), nullptr, pairs, nullptr);
  const TVeBitmapList* frames = found->Frames();
  if (!frames || frames->Count() != 2) VeInternalError();
  // Every pair's true mix, so the preview shows what the screen shows whatever was allowed.
  TVePalette256 mix;
  mix.MakeMixTable(&palette, 100, 16);
  TVePalette256 shown;
  shown.MakeMixTable(&palette, options.MaxFlickering(), 16);
  options.SetPalette(&shown);
  auto result = std::make_unique<TVeBitmap8>(64, &mix, 48);
  TVeBitmap* a = result->AddFrame(&palette);
  TVeBitmap* b = result->AddFrame(&palette);
  files = std::make_unique<TVeStreamList>();
  TVeStream* dump = files->AddNew("vdd", Ti99DualBytes);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      const int ca = offered[size_t(frames->GetBitmap(0)->GetPixel(x, y))];
      const int cb = offered[size_t(frames->GetBitmap(1)->GetPixel(x, y))];
      a->SetPixel(x, y, ca);
      b->SetPixel(x, y, cb);
      result->SetPixel(x, y, ca * 16 + cb);
      const int shift = x % 2 ? 0 : 4;
      dump->Data()[MsxScreen3Offset(x, y)] |= uint8_t(ca << shift);
      dump->Data()[MsxScreen3Data + MsxScreen3Offset(x, y)] |= uint8_t(cb << shift);
    }
  progress.Step();
  return result;
}

// ---- Lines of four ---------------------------------------------------------------------------

TVeTI99LinesEngineOptions::TVeTI99LinesEngineOptions() {
  // A block is four TMS9918A pixels wide.
  FAspectIndex = 21;
  FDitherMethod = dmJarvisJudiceNinke;
}

std::unique_ptr<TVeBitmap> TVeTI99LinesEngine::Convert(const TVeCancelFlag* cancel,
                                                       const TVeBitmap32& source,
                                                       std::unique_ptr<TVeStreamList>& files,
                                                       TVeDestProgress& progress,
                                                       TVeDestEngineOptions& options,
                                                       const TVePalette256*, const TVePalette256*) {
  if (source.Width() != 64 || source.Height() != 192) VeInternalError();
  progress.SetProgress(1, 0);
  TVePalette256 palette;
  files = std::make_unique<TVeStreamList>();
  TVeStream* patterns = files->AddNew("tiap", Ti99TableBytes);
  std::memset(patterns->Data(), 0xF0, Ti99TableBytes);
  TVeStream* colors = patterns->AddNewSub("tiac", Ti99TableBytes);
  auto result = Ti99Blocks(cancel, source, options, palette, [&](int x, int y, int c) {
    // Even blocks are the line's set bits (high nibble), odd ones its clear bits.
    colors->Data()[y / 8 * 256 + x / 2 * 8 + y % 8] |= uint8_t(c << (x % 2 ? 0 : 4));
  });
  progress.Step();
  return result;
}

// ---- V9938 modes ------------------------------------------------------------------------------

const TVeMSXModeInfo& Ti99V9938ModeInfo(int index) {
  // Only the V9938 sits in the TI machines, so its palette is the one type offered.
  constexpr uint32_t gray = 1u << msxModeBlackWhite | 1u << msxModeGray | 1u << msxModeColor;
  constexpr uint32_t custom = gray | 1u << msxModeCustom;
  const std::vector<TVePaletteType> v9938 = {ptMSX9938};
  static const TVeMSXModeInfo modes[Ti99V9938ModeCount] = {
      {7, false, "V9938 512x192x4 G6", 512, 192, 2, v9938, custom, msxModeColor, 16},
      {7, false, "V9938 512x212x4 G6", 512, 212, 2, v9938, custom, msxModeColor, 16},
      {7, true, "V9938 512x424x4 G6 Interlaced", 512, 424, 12, v9938, custom, msxModeColor, 16},
      {8, false, "V9938 256x192x8 G7", 256, 192, 12, v9938, gray, msxModeColor, 256},
      {8, false, "V9938 256x212x8 G7", 256, 212, 12, v9938, gray, msxModeColor, 256},
      {8, true, "V9938 256x424x8 G7 Interlaced", 256, 424, 18, v9938, gray, msxModeColor, 256},
  };
  if (index < 0 || index >= Ti99V9938ModeCount) VeInternalError();
  return modes[index];
}

void RegisterTi99Engines(TVeDestEngineList& list) {
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeTI99BitmapEngine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeTI99MulticolorEngine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeTI99LinesEngine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeTI99DualEngine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeF18ABitmapEngine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeF18AScanlineEngine>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeTI99V9938EngineT<0>>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeTI99V9938EngineT<1>>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeTI99V9938EngineT<2>>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeTI99V9938EngineT<3>>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeTI99V9938EngineT<4>>>());
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVeTI99V9938EngineT<5>>>());
}
