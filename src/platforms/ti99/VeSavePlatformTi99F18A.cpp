#include "VeSavePlatformTi99F18A.h"

#include <cstring>
#include <exception>
#include <vector>

#include "VeDest.h"
#include "VeImage.h"
#include "VePlatformTi99F18A.h"
#include "VeQuantization.h"
#include "VeStream.h"
#include "VeThreadJob.h"
#include "msx/VePlatformMsx.h"

// ---- Options and panel -----------------------------------------------------------------------

TVeF18AEngineOptions::TVeF18AEngineOptions() {
  // The pixel of the TMS9918A modes.
  FAspectIndex = 12;
  FPaletteType = ptF18ACustom;
  FPaletteMode = ti99ModeColor;
  FDitherMethod = dmJarvisJudiceNinke;
  FLimitErrorInsideBlock = false;
  FLimitErrorAtBoundary = false;
}

void TVeF18AEngineOptions::SetPaletteType(TVePaletteType value) {
  TVeDestFixedSizeEngineOptions::SetPaletteType(value);
  PaletteChanged();
}

void TVeF18AEngineOptions::PaletteChanged() {
  // The custom registers are known only once a picture is converted; until then the view
  // shows where they start.
  TVePalette256 palette;
  Ti99F18AMakePowerOnPalette(palette);
  SetPalette(&palette);
}

TVeF18AEngineUI::TVeF18AEngineUI(TVeDestEngineOptions& options, bool scanline)
    : TVeDestEngineUIEx(options) {
  AddPositionBorder();
  // The backdrop register picks one of the sixteen, so any of the 4096 for custom colours.
  SetBorderColors([](const TVeDestEngineOptions& o) {
    std::vector<int> colors;
    if (o.PaletteType() != ptF18APowerOn) return colors;
    TVePalette256 p;
    Ti99F18AMakePowerOnPalette(p);
    for (int i = 1; i < p.Count(); ++i)
      colors.push_back(int(p.GetRGBQuad(i) & 0xFFFFFF));
    return colors;
  });
  AddPaletteSeparator();
  if (scanline) {
    AddPaletteMode(1u << ti99ModeGray | 1u << ti99ModeColor);
  } else {
    AddPaletteTypeList({{"Custom", ptF18ACustom}, {"Power-on", ptF18APowerOn}});
    AddPaletteMode(1u << ti99ModeBlackWhite | 1u << ti99ModeGray | 1u << ti99ModeColor);
    AddPaletteView(16, 1);
  }
  AddDithering(true);
}

// ---- Palettes --------------------------------------------------------------------------------

namespace {

// Registers 0-15 for some pixels: 0 transparent, then up to 15 colours of the 4096 (grays:
// of the 16 grays) chosen for them, darkest first.
TVePalette256 ChooseRegisters(const TVeCancelFlag* cancel, const TVePixel* pixels, size_t count,
                              bool gray, bool singleThread) {
  TVePalette256 grays;
  if (gray) Ti99F18AMakeGrayPalette(grays);
  TVeQuantization q(cancel, 15, gray);
  q.Hardware = gray ? static_cast<const TVePalette*>(&grays) : &Ti99F18AHardwarePalette();
  q.SingleThread = singleThread;
  q.AddPixels(pixels, count);
  TVePalette256 chosen;
  q.Execute(chosen);
  TVePalette256 registers;
  Ti99F18AAddColor(registers, Ti99F18APowerOn[0]);
  for (int i = 0; i < chosen.Count() && i < 15; ++i)
    Ti99F18AAddColor(registers, Ti99F18AColorOf(chosen.Color(i)));
  return registers;
}

// The picture as the cells will see it, for choosing the registers.
TVeImage FixedImage(const TVeBitmap32& source, const TVeDestEngineOptions& options, bool gray) {
  TVeImage image(source);
  image.ApplyFixes(options.SaturationFix(), options.LightnessFix());
  if (gray) image.MakeGray();
  return image;
}

// Lines first..last on one worker; every line's registers depend on its own pixels only.
class TLinesJob : public TVeJob {
public:
  TLinesJob(TVeJobList* list, const TVeCancelFlag* cancel, const TVeImage& image, bool gray,
            std::vector<TVePalette256>& lines, int first, int last)
      : TVeJob(list), FCancel(cancel), FImage(image), FGray(gray), FLines(lines), FFirst(first),
        FLast(last) {}
  void Execute() override {
    try {
      for (int y = FFirst; y <= FLast; ++y)
        FLines[size_t(y)] =
            ChooseRegisters(FCancel, FImage.Scanline(y), size_t(FImage.Width()), FGray, true);
    } catch (...) {
      Failure = std::current_exception();
    }
  }
  std::exception_ptr Failure;

private:
  const TVeCancelFlag* FCancel;
  const TVeImage& FImage;
  bool FGray;
  std::vector<TVePalette256>& FLines;
  int FFirst, FLast;
};

std::vector<TVePalette256> ChooseLineRegisters(const TVeCancelFlag* cancel, const TVeImage& image,
                                               bool gray) {
  std::vector<TVePalette256> lines(size_t(image.Height()));
  TVeRangeSplitter split;
  split.Init(image.Height(), 0);
  TVeJobList jobs;
  int first, last;
  while (split.Next(first, last))
    new TLinesJob(&jobs, cancel, image, gray, lines, first, last);
  jobs.Run(cancel);
  VeCheckCancel(cancel);
  for (int i = 0; i < jobs.Count(); ++i)
    if (jobs.Job<TLinesJob>(i)->Failure) std::rethrow_exception(jobs.Job<TLinesJob>(i)->Failure);
  return lines;
}

void WriteRegisters(uint8_t* at, const TVePalette256& palette) {
  for (int i = 0; i < 16; ++i)
    Ti99F18AWriteRegister(at + 2 * i,
                          i < palette.Count() ? Ti99F18AColorOf(palette.Color(i)) : 0x000);
}

} // namespace

// ---- Engines ---------------------------------------------------------------------------------

std::unique_ptr<TVeBitmap>
TVeF18ABitmapEngine::Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                             std::unique_ptr<TVeStreamList>& files, TVeDestProgress& progress,
                             TVeDestEngineOptions& options, const TVePalette256*,
                             const TVePalette256*) {
  if (source.Width() != 256 || source.Height() != 192) VeInternalError();
  const uint8_t mode = options.PaletteMode();
  const bool gray = mode == ti99ModeGray;
  const bool custom = options.PaletteType() != ptF18APowerOn && mode != ti99ModeBlackWhite;
  TVePalette256 palette;
  if (custom) {
    const TVeImage image = FixedImage(source, options, gray);
    palette = ChooseRegisters(cancel, image.Scanline(0), size_t(256 * 192), gray, false);
  } else {
    Ti99F18AMakePowerOnPalette(palette);
  }
  options.SetPalette(&palette);
  std::vector<uint8_t> vram(MsxScreen2Data);
  TVeMSXScreen2Screen screen(vram.data());
  screen.Initialise();
  std::unique_ptr<TVeBitmap> result;
  if (mode == ti99ModeBlackWhite) {
    // White on black everywhere: a set bit is white.
    TVeImage image(source);
    result =
        image.DitherTwoColorsBits(cancel, VeDitherOptionsOf(options), 15, 1, &palette, &screen);
  } else {
    if (gray) options.SetGrayPalette(true);
    TVeF18ABitmapImage image(8, source, 1);
    image.AnyPair = custom;
    result = image.Convert(cancel, VeCellOptionsOf(options), &screen, &progress);
  }
  files = std::make_unique<TVeStreamList>();
  uint8_t* d = files->AddNew("f18a", Ti99F18ABytes)->Data();
  std::memcpy(d, vram.data(), Ti99F18ATableBytes);
  std::memcpy(d + Ti99F18ATableBytes, vram.data() + MsxScreen2Colors, Ti99F18ATableBytes);
  WriteRegisters(d + Ti99F18APaletteAt, palette);
  return result;
}

std::unique_ptr<TVeBitmap>
TVeF18AScanlineEngine::Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                               std::unique_ptr<TVeStreamList>& files, TVeDestProgress& progress,
                               TVeDestEngineOptions& options, const TVePalette256*,
                               const TVePalette256*) {
  if (source.Width() != 256 || source.Height() != Ti99F18ALines) VeInternalError();
  const bool gray = options.PaletteMode() == ti99ModeGray;
  std::vector<TVePalette256> lines;
  if (options.PaletteType() == ptF18APowerOn) {
    lines.resize(Ti99F18ALines);
    for (TVePalette256& line : lines)
      Ti99F18AMakePowerOnPalette(line);
  } else {
    lines = ChooseLineRegisters(cancel, FixedImage(source, options, gray), gray);
  }
  if (gray) options.SetGrayPalette(true);
  std::vector<uint8_t> vram(MsxScreen2Data);
  TVeMSXScreen2Screen screen(vram.data());
  screen.Initialise();
  TVeF18AScanlineImage image(source, lines);
  TVeCellOptions cells = VeCellOptionsOf(options);
  cells.Palette = &lines[0];
  std::unique_ptr<TVeBitmap> result = image.Convert(cancel, cells, &screen, &progress);
  options.SetPalette(nullptr);
  files = std::make_unique<TVeStreamList>();
  uint8_t* d = files->AddNew("f18s", Ti99F18AScanlineBytes)->Data();
  std::memcpy(d, vram.data(), Ti99F18ATableBytes);
  std::memcpy(d + Ti99F18ATableBytes, vram.data() + MsxScreen2Colors, Ti99F18ATableBytes);
  for (int y = 0; y < Ti99F18ALines; ++y)
    WriteRegisters(d + Ti99F18APaletteAt + y * Ti99F18ARegisterBytes, lines[size_t(y)]);
  return result;
}
