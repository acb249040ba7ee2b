#include "VeDestEngineOptions.h"

#include <algorithm>

#include "VeColorDistance.h"
#include "VePalette.h"
#include "VeThresholdMatrix.h"

const TVeAspectRatio VeAspectRatios[VeAspectCount] = {
    {"1:2.4", 12, 5},        {"1:2", 2, 1},      {"1.138:2", 1000, 569},
    {"0.6:1", 5, 3},         {"1:1.37", 48, 35}, {"0.7375:1", 10000, 7375},
    {"3:4", 4, 3},           {"2:3", 3, 2},      {"1:1.2", 6, 5},
    {"0.92:1", 100, 92},     {"1:1", 1, 1},      {"1.25:1", 4, 5},
    {"1.138:1", 500, 569},   {"1:0.75", 3, 4},   {"7:5", 5, 7},
    {"1.475:1", 1000, 1475}, {"1.5:1", 2, 3},    {"2:1", 1, 2},
    {"2.276:1", 250, 569},   {"8:3", 3, 8},      {"4:1", 1, 4},
    {"4.552:1", 500, 2276},
};

const char* const VePositionModes[VePositionModeCount] = {
    "Fit source in result", "Fit result in source", "Stretched", "Centred"};

const char* const VePaletteModes[VePaletteModeCount] = {
    "Black/white",
    "Gray",
    "Gray (green)",
    "Gray (red)",
    "5 colors",
    "8 colors",
    "8 from 15 colors",
    "8 from 16 colors",
    "Color (17 from 256, fast)",
    "Color (64 from 256, slow)",
    "\xD0\xA1olor (bright)", // U+0421, a Cyrillic capital letter that looks like C
    "\xD0\xA1olor",
    "4 colors per image",
    "4 colors per line",
    "RGB",
    "GRB",
    "Custom",
};

static_assert(dmOrderedBayer == VeOrderedBayer && dmBlueNoise == VeOrderedBlueNoise);

const char* const VeDitherMethods[VeDitherMethodCount] = {"None",
                                                          "Floyd\xE2\x80\x93Steinberg",
                                                          "Jarvis, Judice & Ninke",
                                                          "Stucki",
                                                          "Burkes",
                                                          "Sierra",
                                                          "Two-row Sierra",
                                                          "Sierra Lite",
                                                          "Atkinson",
                                                          "Ordered (Bayer 8x8)",
                                                          "Blue noise"};

TVeDestEngineOptions::TVeDestEngineOptions() = default;
TVeDestEngineOptions::~TVeDestEngineOptions() = default;

void TVeDestEngineOptions::AfterConstruction() {
  TVeSize size = GetDefaultSize();
  FWidth = size.Width;
  FHeight = size.Height;
  FNativeAspect = FAspectIndex;
  PaletteChanged();
}

void TVeDestEngineOptions::BeginUpdate() {
  FModified = false;
  ++FUpdateLock;
}

void TVeDestEngineOptions::EndUpdate() {
  if (FUpdateLock <= 0) return; // unbalanced call: keep the lock at 0
  if (--FUpdateLock == 0) Changed();
}

void TVeDestEngineOptions::Changed() {
  PaletteChanged();
}

void TVeDestEngineOptions::MatchColor(int& color, const TVePalette256& palette) const {
  if (palette.GetCount() == 0) return;
  TVeColor c;
  c.SetRGBQuad(uint32_t(color) & 0xFFFFFF);
  int index = palette.FindNearestLin(c.GetLinRGB());
  color = int(palette.GetRGBQuad(index) & 0xFFFFFF);
}

// The upper bound keeps every picture made for the target within the mode's maximum, so a
// huge source cannot make the preparation allocate without limit.
void TVeDestEngineOptions::SetWidth(int value) {
  Store(FWidth, Clamp(value, 0, GetMaxSize().Width));
}

void TVeDestEngineOptions::SetHeight(int value) {
  Store(FHeight, Clamp(value, 0, GetMaxSize().Height));
}

void TVeDestEngineOptions::SetPaletteType(TVePaletteType value) {
  Store(FPaletteType, value);
}

void TVeDestEngineOptions::SetPaletteMode(uint8_t value) {
  Store(FPaletteMode, value);
}

// Indices into fixed tables are kept inside them, so a stray value cannot read past the end.
void TVeDestEngineOptions::SetPositionMode(int v) {
  Store(FPositionMode, uint8_t(Clamp(v, 0, VePositionModeCount - 1)));
}

void TVeDestEngineOptions::SetNativeAspect(int v) {
  Store(FNativeAspect, uint8_t(Clamp(v, 0, VeAspectCount - 1)));
}

void TVeDestEngineOptions::SetAspectIndex(int v) {
  Store(FAspectIndex, uint8_t(Clamp(v, 0, VeAspectCount - 1)));
}

void TVeDestEngineOptions::SetColorDistance(int v) {
  Store(FColorDistance, uint8_t(Clamp(v, 0, VeDistanceCount - 1)));
}

void TVeDestEngineOptions::SetDitherMethod(int v) {
  Store(FDitherMethod, uint8_t(Clamp(v, 0, VeDitherMethodCount - 1)));
}

TVeAspectPair TVeDestEngineOptions::GetAspectPair() const {
  const TVeAspectRatio& a = VeAspectRatios[std::min<int>(FAspectIndex, VeAspectCount - 1)];
  return {a.X, a.Y};
}

void TVeDestEngineOptions::GetBorderRGB(uint8_t& r, uint8_t& g, uint8_t& b) const {
  r = uint8_t(FBorderColor >> 16);
  g = uint8_t(FBorderColor >> 8);
  b = uint8_t(FBorderColor);
}

static TVePalette256& MakePalette(std::unique_ptr<TVePalette256>& p) {
  if (!p) p = std::make_unique<TVePalette256>();
  return *p;
}

TVePalette256& TVeDestEngineOptions::Palette() {
  return MakePalette(FPalette);
}
const TVePalette256& TVeDestEngineOptions::Palette() const {
  return MakePalette(FPalette);
}
TVePalette256& TVeDestEngineOptions::BasePalette() {
  return MakePalette(FBasePalette);
}
const TVePalette256& TVeDestEngineOptions::BasePalette() const {
  return MakePalette(FBasePalette);
}
TVePalette256& TVeDestEngineOptions::FixedPalette() {
  return MakePalette(FFixedPalette);
}
const TVePalette256& TVeDestEngineOptions::FixedPalette() const {
  return MakePalette(FFixedPalette);
}

void TVeDestEngineOptions::StorePalette(std::unique_ptr<TVePalette256>& field,
                                        const TVePalette256* value) {
  TVePalette256& p = MakePalette(field);
  if (value == &p) return;
  // The hidden flags are part of the contents: a palette that only hides other entries
  // (a new flicker limit, say) must still be taken.
  auto sameHidden = [&] {
    for (int i = 0; value && i < value->Count(); ++i)
      if (p.Color(i).Excluded != value->Color(i).Excluded) return false;
    return true;
  };
  if (p.Equals(value) && sameHidden()) return;
  p.Assign(value);
  FModified = true;
}

void TVeDestEngineOptions::SetPalette(const TVePalette256* value) {
  StorePalette(FPalette, value);
}
void TVeDestEngineOptions::SetBasePalette(const TVePalette256* value) {
  StorePalette(FBasePalette, value);
}
void TVeDestEngineOptions::SetFixedPalette(const TVePalette256* value) {
  StorePalette(FFixedPalette, value);
}

void TVeDestEngineOptions::Assign(const TVeDestEngineOptions& o) {
  if (&o == this) return;
  // Through the setters, so that Modified tells whether anything differed; the size goes
  // through the virtual accessors so fixed-size options keep their own.
  SetWidth(o.GetWidth());
  SetHeight(o.GetHeight());
  Store(FDimensionLock, o.FDimensionLock);
  Store(FPositionMode, o.FPositionMode);
  Store(FNativeAspect, o.FNativeAspect);
  Store(FAspectIndex, o.FAspectIndex);
  Store(FBorderColor, o.FBorderColor);
  SetPalette(o.FPalette.get());
  Store(FPaletteType, o.FPaletteType);
  Store(FPaletteUsage, o.FPaletteUsage);
  SetBasePalette(o.FBasePalette.get());
  SetFixedPalette(o.FFixedPalette.get());
  Store(FBorderColorIndex, o.FBorderColorIndex);
  Store(FPaletteNumber, o.FPaletteNumber);
  Store(FEngineFlagA, o.FEngineFlagA);
  Store(FPaletteNumber2, o.FPaletteNumber2);
  Store(FMaxFlickering, o.FMaxFlickering);
  Store(FColorUsage, o.FColorUsage);
  Store(FCalculation, o.FCalculation);
  Store(FEngineFlagB, o.FEngineFlagB);
  Store(FMaxColorCount, o.FMaxColorCount);
  Store(FKeepWholePalette, o.FKeepWholePalette);
  Store(FGrayPalette, o.FGrayPalette);
  Store(FEnginePercent, o.FEnginePercent);
  Store(FEngineFlagC, o.FEngineFlagC);
  Store(FUseOnlyOriginalColors, o.FUseOnlyOriginalColors);
  Store(FPaletteMode, o.FPaletteMode);
  Store(FAllowedColors1, o.FAllowedColors1);
  Store(FAllowedColors2, o.FAllowedColors2);
  Store(FFlickerStyle, o.FFlickerStyle);
  Store(FSafeMode, o.FSafeMode);
  Store(FEngineWord1, o.FEngineWord1);
  Store(FEngineWord2, o.FEngineWord2);
  Store(FEngineByte1, o.FEngineByte1);
  Store(FEngineByte2, o.FEngineByte2);
  Store(FHamInitialLines, o.FHamInitialLines);
  Store(FHamPrevLines, o.FHamPrevLines);
  Store(FHamNextLines, o.FHamNextLines);
  Store(FHamMaxChanges, o.FHamMaxChanges);
  Store(FDitherMethod, o.FDitherMethod);
  Store(FKeepPixels, o.FKeepPixels);
  Store(FColorDistance, o.FColorDistance);
  Store(FErrorDiffusion, o.FErrorDiffusion);
  Store(FLimitErrorInsideBlock, o.FLimitErrorInsideBlock);
  Store(FLimitErrorAtBoundary, o.FLimitErrorAtBoundary);
  Store(FSerpentine, o.FSerpentine);
  Store(FLightnessFix, o.FLightnessFix);
  Store(FSaturationFix, o.FSaturationFix);
  Store(FFileFormatFlag, o.FFileFormatFlag);
  Store(FComment, o.FComment);
}

int VeMulDivRound(int64_t a, int64_t b, int64_t c) {
  if (c <= 0) return 0;
  int64_t n = a * b;
  int64_t q = n / c, r = n % c;
  if (2 * r > c || (2 * r == c && (q & 1))) ++q;
  return int(q);
}

TVeSize VeDimensionFromSource(const TVeDestEngineOptions& options, int w, int h) {
  w = std::max(w, 0);
  h = std::max(h, 0);
  TVeAspectPair a = options.GetAspectPair();
  int m = std::max(a.X, a.Y);
  int64_t w1 = VeMulDivRound(a.X, w, m);
  int64_t h1 = VeMulDivRound(a.Y, h, m);
  TVeSize mx = options.GetMaxSize();
  if (w1 > mx.Width || h1 > mx.Height) {
    int64_t w2 = mx.Width;
    int64_t h2 = VeMulDivRound(h1, mx.Width, w1);
    if (h2 > mx.Height) {
      h2 = mx.Height;
      w2 = VeMulDivRound(w1, mx.Height, h1);
    }
    w1 = std::max<int64_t>(w2, 1);
    h1 = std::max<int64_t>(h2, 1);
  }
  TVeSize mn = options.GetMinSize();
  return {int(std::max<int64_t>(w1, mn.Width)), int(std::max<int64_t>(h1, mn.Height))};
}

int VeRunPositionMode(const TVeDestEngineOptions& options, int w, int h) {
  if (options.KeepPixels() && w == options.GetWidth() && h == options.GetHeight())
    return pmStretched;
  return options.PositionMode();
}

void VeApplyKeepPixels(TVeDestEngineOptions& run) {
  if (run.KeepPixels()) run.SetDitherMethod(dmNone);
}
