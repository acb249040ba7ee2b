#pragma once
// The options record every destination engine reads during a conversion and writes back
// what it decided. Setters clamp instead of rejecting and set Modified only on a real change,
// so that only a real change starts a new conversion.
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "VePaletteType.h"

class TVePalette256;

// One entry of the pixel aspect ratio table. A native pixel is X/Y times as high as wide
// relative to a square one.
struct TVeAspectRatio {
  const char* Label;
  int X;
  int Y;
};

constexpr int VeAspectCount = 22;
constexpr int VeAspectSquare = 10; // "1:1"
extern const TVeAspectRatio VeAspectRatios[VeAspectCount];

constexpr int VePositionModeCount = 4;
extern const char* const VePositionModes[VePositionModeCount];
enum : uint8_t { pmFitSourceInResult, pmFitResultInSource, pmStretched, pmCentred };

// One list shared by all platforms; each panel offers a subset by bit mask (bit v = value v).
// Entries 10 and 11 begin with the Cyrillic capital letter U+0421 (UTF-8 D0 A1).
constexpr int VePaletteModeCount = 17;
extern const char* const VePaletteModes[VePaletteModeCount];
enum : uint8_t {
  pmBlackWhite,
  pmGray,
  pmGrayGreen,
  pmGrayRed,
  pm5Colors,
  pm8Colors,
  pm8From15Colors,
  pm8From16Colors,
  pmColor17From256,
  pmColor64From256,
  pmColorBright,
  pmColor,
  pm4ColorsPerImage,
  pm4ColorsPerLine,
  pmRGB,
  pmGRB,
  pmCustom
};

// The error-diffusion kernels, then the ordered methods (VeThresholdMatrix.h); stored
// settings keep their numbers, so new methods go at the end.
constexpr int VeDitherMethodCount = 11;
extern const char* const VeDitherMethods[VeDitherMethodCount];
enum : uint8_t {
  dmNone,
  dmFloydSteinberg,
  dmJarvisJudiceNinke,
  dmStucki,
  dmBurkes,
  dmSierra,
  dmTwoRowSierra,
  dmSierraLite,
  dmAtkinson,
  dmOrderedBayer,
  dmBlueNoise
};

constexpr int VeAllowedColorCount = 4096;
using TVeAllowedColors = std::array<uint8_t, VeAllowedColorCount>;

struct TVeSize {
  int Width = 0;
  int Height = 0;
  bool operator==(const TVeSize&) const = default;
};

struct TVeAspectPair {
  int X = 1;
  int Y = 1;
  bool operator==(const TVeAspectPair&) const = default;
};

// Every options object must be finished by AfterConstruction() once the most derived
// constructor has run (the default size and the palette hook are virtual); VeNewOptions does
// both steps.
class TVeDestEngineOptions {
public:
  TVeDestEngineOptions();
  virtual ~TVeDestEngineOptions();
  TVeDestEngineOptions(const TVeDestEngineOptions&) = delete;
  TVeDestEngineOptions& operator=(const TVeDestEngineOptions&) = delete;

  // Width and Height from GetDefaultSize, NativeAspect := AspectIndex, then the palette hook.
  void AfterConstruction();

  void BeginUpdate();
  void EndUpdate();
  int UpdateLock() const { return FUpdateLock; }
  bool Modified() const { return FModified; }

  // Copies every field from another options object; the update lock and Modified stay.
  void Assign(const TVeDestEngineOptions& other);

  // Virtual operations in their slot order.
  virtual void Changed();
  virtual void MatchColor(int& color, const TVePalette256& palette) const;
  virtual TVeSize GetMinSize() const { return {8, 8}; }
  virtual TVeSize GetMaxSize() const { return {2048, 2048}; }
  virtual TVeSize GetDefaultSize() const { return {0, 0}; }
  virtual int GetWidth() const { return FWidth; }
  virtual void SetWidth(int value);
  virtual int GetHeight() const { return FHeight; }
  virtual void SetHeight(int value);
  virtual int GetCellWidth() const { return 1; }
  virtual int GetCellHeight() const { return 1; }
  virtual void SetPaletteType(TVePaletteType value);
  virtual void SetPaletteMode(uint8_t value);
  virtual void PaletteChanged() {}

  TVeAspectPair GetAspectPair() const;
  void GetBorderRGB(uint8_t& r, uint8_t& g, uint8_t& b) const;

  int Width() const { return GetWidth(); }
  int Height() const { return GetHeight(); }

  bool DimensionLock() const { return FDimensionLock; }
  void SetDimensionLock(bool v) { Store(FDimensionLock, v); }
  uint8_t PositionMode() const { return FPositionMode; }
  void SetPositionMode(int v);
  uint8_t NativeAspect() const { return FNativeAspect; }
  void SetNativeAspect(int v);
  uint8_t AspectIndex() const { return FAspectIndex; }
  void SetAspectIndex(int v);
  int BorderColor() const { return FBorderColor; }
  void SetBorderColor(int v) { Store(FBorderColor, v & 0xFFFFFF); }

  // The three palettes are made on first use; the setters copy the contents.
  TVePalette256& Palette();
  const TVePalette256& Palette() const;
  void SetPalette(const TVePalette256* value);
  TVePaletteType PaletteType() const { return FPaletteType; }
  uint8_t PaletteUsage() const { return FPaletteUsage; }
  void SetPaletteUsage(uint8_t v) { Store(FPaletteUsage, v); }
  TVePalette256& BasePalette();
  const TVePalette256& BasePalette() const;
  void SetBasePalette(const TVePalette256* value);
  TVePalette256& FixedPalette();
  const TVePalette256& FixedPalette() const;
  void SetFixedPalette(const TVePalette256* value);

  int BorderColorIndex() const { return FBorderColorIndex; }
  void SetBorderColorIndex(int v) { Store(FBorderColorIndex, v); }
  int PaletteNumber() const { return FPaletteNumber; }
  void SetPaletteNumber(int v) { Store(FPaletteNumber, v); }
  uint8_t EngineFlagA() const { return FEngineFlagA; }
  void SetEngineFlagA(uint8_t v) { Store(FEngineFlagA, v); }
  int PaletteNumber2() const { return FPaletteNumber2; }
  void SetPaletteNumber2(int v) { Store(FPaletteNumber2, v); }
  int MaxFlickering() const { return FMaxFlickering; }
  void SetMaxFlickering(int v) { Store(FMaxFlickering, Clamp(v, 0, 100)); }
  uint8_t ColorUsage() const { return FColorUsage; }
  void SetColorUsage(uint8_t v) { Store(FColorUsage, v); }
  uint8_t Calculation() const { return FCalculation; }
  void SetCalculation(uint8_t v) { Store(FCalculation, v); }
  uint8_t EngineFlagB() const { return FEngineFlagB; }
  void SetEngineFlagB(uint8_t v) { Store(FEngineFlagB, v); }
  int MaxColorCount() const { return FMaxColorCount; }
  void SetMaxColorCount(int v) { Store(FMaxColorCount, Clamp(v, 0, 256)); }
  bool KeepWholePalette() const { return FKeepWholePalette; }
  void SetKeepWholePalette(bool v) { Store(FKeepWholePalette, v); }
  bool GrayPalette() const { return FGrayPalette; }
  void SetGrayPalette(bool v) { Store(FGrayPalette, v); }
  int EnginePercent() const { return FEnginePercent; }
  void SetEnginePercent(int v) { Store(FEnginePercent, Clamp(v, 0, 100)); }
  bool EngineFlagC() const { return FEngineFlagC; }
  void SetEngineFlagC(bool v) { Store(FEngineFlagC, v); }
  bool UseOnlyOriginalColors() const { return FUseOnlyOriginalColors; }
  void SetUseOnlyOriginalColors(bool v) { Store(FUseOnlyOriginalColors, v); }
  uint8_t PaletteMode() const { return FPaletteMode; }
  const TVeAllowedColors& AllowedColors1() const { return FAllowedColors1; }
  void SetAllowedColors1(const TVeAllowedColors& v) { Store(FAllowedColors1, v); }
  const TVeAllowedColors& AllowedColors2() const { return FAllowedColors2; }
  void SetAllowedColors2(const TVeAllowedColors& v) { Store(FAllowedColors2, v); }
  uint8_t FlickerStyle() const { return FFlickerStyle; }
  void SetFlickerStyle(uint8_t v) { Store(FFlickerStyle, v); }
  bool SafeMode() const { return FSafeMode; }
  void SetSafeMode(bool v) { Store(FSafeMode, v); }
  // Engine-specific small fields: copied by Assign, set by no panel control.
  uint16_t EngineWord1() const { return FEngineWord1; }
  void SetEngineWord1(uint16_t v) { Store(FEngineWord1, v); }
  uint16_t EngineWord2() const { return FEngineWord2; }
  void SetEngineWord2(uint16_t v) { Store(FEngineWord2, v); }
  uint8_t EngineByte1() const { return FEngineByte1; }
  void SetEngineByte1(uint8_t v) { Store(FEngineByte1, v); }
  uint8_t EngineByte2() const { return FEngineByte2; }
  void SetEngineByte2(uint8_t v) { Store(FEngineByte2, v); }
  int HamInitialLines() const { return FHamInitialLines; }
  void SetHamInitialLines(int v) { Store(FHamInitialLines, v <= 0 ? 1 : v); }
  int HamPrevLines() const { return FHamPrevLines; }
  void SetHamPrevLines(int v) { Store(FHamPrevLines, v < 0 ? 0 : v); }
  int HamNextLines() const { return FHamNextLines; }
  void SetHamNextLines(int v) { Store(FHamNextLines, v < 0 ? 0 : v); }
  int HamMaxChanges() const { return FHamMaxChanges; }
  void SetHamMaxChanges(int v) { Store(FHamMaxChanges, v <= 0 ? 1 : v); }
  uint8_t DitherMethod() const { return FDitherMethod; }
  void SetDitherMethod(int v);
  // A method of VeColorDistance.h for the nearest-colour searches and the palette choice.
  uint8_t ColorDistance() const { return FColorDistance; }
  // False for modes whose conversion compares no colours by it (fixed encodings, flicker
  // searches and line changes held to Delta RGB); their panels leave the control out.
  virtual bool UsesColorDistance() const { return true; }
  void SetColorDistance(int v);
  // A source already of the mode's size is taken as it is (no resampling, no dithering): for
  // pictures drawn for the machine.
  bool KeepPixels() const { return FKeepPixels; }
  void SetKeepPixels(bool v) { Store(FKeepPixels, v); }
  int ErrorDiffusion() const { return FErrorDiffusion; }
  void SetErrorDiffusion(int v) { Store(FErrorDiffusion, Clamp(v, 0, 100)); }
  bool LimitErrorInsideBlock() const { return FLimitErrorInsideBlock; }
  void SetLimitErrorInsideBlock(bool v) { Store(FLimitErrorInsideBlock, v); }
  bool LimitErrorAtBoundary() const { return FLimitErrorAtBoundary; }
  void SetLimitErrorAtBoundary(bool v) { Store(FLimitErrorAtBoundary, v); }
  bool Serpentine() const { return FSerpentine; }
  void SetSerpentine(bool v) { Store(FSerpentine, v); }
  int LightnessFix() const { return FLightnessFix; }
  void SetLightnessFix(int v) { Store(FLightnessFix, Clamp(v, -90, 90)); }
  int SaturationFix() const { return FSaturationFix; }
  void SetSaturationFix(int v) { Store(FSaturationFix, Clamp(v, -90, 90)); }
  bool FileFormatFlag() const { return FFileFormatFlag; }
  void SetFileFormatFlag(bool v) { Store(FFileFormatFlag, v); }
  const std::string& Comment() const { return FComment; }
  void SetComment(const std::string& v) { Store(FComment, v); }

protected:
  template <class T> void Store(T& field, const T& value) {
    if (field == value) return;
    field = value;
    FModified = true;
  }
  static int Clamp(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }
  void StorePalette(std::unique_ptr<TVePalette256>& field, const TVePalette256* value);
  void MarkModified() { FModified = true; }

  // Subclass constructors set their mode's defaults straight into these fields.
  int FUpdateLock = 0;
  int FWidth = 0;
  int FHeight = 0;
  bool FDimensionLock = false;
  uint8_t FPositionMode = 0;
  uint8_t FNativeAspect = VeAspectSquare;
  uint8_t FAspectIndex = VeAspectSquare;
  int FBorderColor = 0;
  mutable std::unique_ptr<TVePalette256> FPalette;
  TVePaletteType FPaletteType = ptRGB888;
  uint8_t FPaletteUsage = 0;
  mutable std::unique_ptr<TVePalette256> FBasePalette;
  mutable std::unique_ptr<TVePalette256> FFixedPalette;
  int FBorderColorIndex = 0;
  int FPaletteNumber = 0;
  uint8_t FEngineFlagA = 0;
  int FPaletteNumber2 = 0;
  int FMaxFlickering = 100;
  uint8_t FColorUsage = 0;
  uint8_t FCalculation = 0;
  uint8_t FEngineFlagB = 0;
  int FMaxColorCount = 256;
  bool FKeepWholePalette = false;
  bool FGrayPalette = false;
  int FEnginePercent = 0;
  bool FEngineFlagC = false;
  bool FUseOnlyOriginalColors = false;
  uint8_t FPaletteMode = 0;
  TVeAllowedColors FAllowedColors1{};
  TVeAllowedColors FAllowedColors2{};
  uint8_t FFlickerStyle = 0;
  bool FSafeMode = false;
  uint16_t FEngineWord1 = 0;
  uint16_t FEngineWord2 = 0;
  uint8_t FEngineByte1 = 0;
  uint8_t FEngineByte2 = 0;
  int FHamInitialLines = 16;
  int FHamPrevLines = 4;
  int FHamNextLines = 4;
  int FHamMaxChanges = 1;
  uint8_t FDitherMethod = dmFloydSteinberg;
  uint8_t FColorDistance = 0; // "Delta RGB"
  bool FKeepPixels = false;
  int FErrorDiffusion = 90;
  bool FLimitErrorInsideBlock = true;
  bool FLimitErrorAtBoundary = true;
  bool FSerpentine = true;
  int FLightnessFix = 0;
  int FSaturationFix = 0;
  bool FFileFormatFlag = true;
  std::string FComment;
  bool FModified = false;
};

// The position mode a run uses for a source of w x h: "Keep pixels" places a source of the
// mode's size as it is, whatever the pixel aspect.
int VeRunPositionMode(const TVeDestEngineOptions& options, int w, int h);
// A run's copy of the options: "Keep pixels" matches every pixel alone.
void VeApplyKeepPixels(TVeDestEngineOptions& run);

// Options of modes whose size is fixed by the hardware: the size setters do nothing.
class TVeDestFixedSizeEngineOptions : public TVeDestEngineOptions {
public:
  void SetWidth(int) override {}
  void SetHeight(int) override {}
};

// Options of a mode of W x H pixels, on any options class.
template <class Base, int W, int H> class TVeSizedOptions : public Base {
public:
  TVeSize GetDefaultSize() const override { return {W, H}; }
  int GetWidth() const override { return W; }
  int GetHeight() const override { return H; }
};

template <class T, class... A> std::unique_ptr<T> VeNewOptions(A&&... args) {
  auto options = std::make_unique<T>(std::forward<A>(args)...);
  options->AfterConstruction();
  return options;
}

// The target size for a source of w x h: aspect-corrected, fitted inside GetMaxSize, raised
// to GetMinSize. Shared by the option panel and batch conversion.
TVeSize VeDimensionFromSource(const TVeDestEngineOptions& options, int w, int h);

// Rounds a non-negative ratio a * b / c to the nearest integer with ties to even.
int VeMulDivRound(int64_t a, int64_t b, int64_t c);
