#include "VeSavePlatformVector06c.h"

#include <algorithm>
#include <vector>

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeHAMImage.h"
#include "VeImage.h"
#include "VePaletteSteps.h"
#include "VePlatformVector06c.h"
#include "VeQuantization.h"
#include "VeStream.h"

const TVeVectorModeInfo& VectorModeInfo(int index) {
  static const TVeVectorModeInfo modes[] = {
      {"256x256x4", -1, 256, 256},
      {"256x256x4 HAM1", 1, 256, 256},
      {"256x256x4 HAM2", 2, 256, 256},
  };
  if (index < 0 || index >= 3) VeInternalError();
  return modes[index];
}

TVeVectorEngineOptions::TVeVectorEngineOptions(const TVeVectorModeInfo& mode)
    : TVeModeTableOptions(mode) {
  // 256 pixels at 6 MHz across a line: a pixel is about 1.25 times as wide as high.
  FAspectIndex = 11;
  FMaxColorCount = 16;
  if (mode.HamType >= 0) {
    FEngineFlagA = uint8_t(mode.HamType);
    FHamMaxChanges = VectorHamMostChanges;
  }
}

TVeVectorEngineUI::TVeVectorEngineUI(TVeDestEngineOptions& options) : TVeDestEngineUIEx(options) {
  auto* own = dynamic_cast<TVeVectorEngineOptions*>(&options);
  if (!own) VeInternalError();
  const bool ham = own->Mode().HamType >= 0;
  AddPositionBorder();
  AddPaletteSeparator();
  AddPaletteView(16, 1);
  if (!ham) {
    AddMaxColorCount(16);
  } else {
    AddHam(false, false, true);
    // Only the change count steers these modes; the slider shows what the conversion uses.
    FControls.erase(std::remove_if(FControls.begin(), FControls.end(),
                                   [](const TVeUIControl& c) { return c.Id == ciHamInitialLines; }),
                    FControls.end());
    TVeUIControl* changes = FindMutable(ciHamMaxChanges);
    changes->Max = VectorHamMostChanges;
    changes->Value = std::clamp(options.HamMaxChanges(), 1, VectorHamMostChanges);
  }
  AddDithering(false);
}

namespace {

uint8_t RegisterByte(uint32_t quad) {
  const TVePalette256& v = VectorPalette();
  int k = v.FindExact(quad);
  if (k < 0)
    k = v.FindNearestLin(
        TVeColor::FromStdRGB(uint8_t(quad >> 16), uint8_t(quad >> 8), uint8_t(quad)).GetLinRGB());
  return uint8_t(k);
}

class TVeVectorHAMImage : public TVeHAMImage {
public:
  TVeVectorHAMImage(const TVeBitmap32& source, uint8_t* palette, uint8_t* changes, int perLine)
      : TVeHAMImage(source), FPalette(palette), FChanges(changes), FPerLine(perLine) {}

protected:
  void WriteInitialPalette(const TVePalette*, const TVeHAMLine& line) override {
    for (int i = 0; i < line.SlotCount() && i < VectorPaletteBytes; ++i)
      FPalette[i] = RegisterByte(line.GetColor(i)->Quad);
  }
  void WriteChange(const TVePalette*, int slot, int line, const TVeHAMChange& c) override {
    if (line != FLine) {
      FLine = line;
      FEntry = 0;
    }
    if (FEntry >= FPerLine) VeInternalError();
    uint8_t* at = FChanges + 2 * ((line - 1) * FPerLine + FEntry++);
    at[0] = uint8_t(slot);
    at[1] = RegisterByte(c.Quad());
  }

private:
  uint8_t* FPalette;
  uint8_t* FChanges;
  int FPerLine;
  int FLine = 0, FEntry = 0;
};

std::unique_ptr<TVeBitmap> ConvertHam(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                      std::unique_ptr<TVeStreamList>& files,
                                      TVeDestProgress& progress, TVeDestEngineOptions& options) {
  progress.SetProgress(2, 0);
  const TVePalette256& target = VectorPalette();
  const int type = std::clamp(int(options.EngineFlagA()), 0, 2);
  const int changes = std::clamp(options.HamMaxChanges(), 1, VectorHamMostChanges);
  TVeImage prepared(source);
  prepared.ApplyFixes(options.SaturationFix(), options.LightnessFix());
  TVeHAMPalette ham(cancel, type, 0, changes, 16, target, prepared);
  progress.Step();
  const int perLine = ham.MaxChanges();
  files = std::make_unique<TVeStreamList>();
  TVeStream* file = files->AddNew("v6h", VectorHamFileBytes(perLine));
  uint8_t* data = file->Data();
  data[VectorFileBytes] = uint8_t(perLine);
  TVeVectorHAMImage image(source, data + VectorScreenBytes, data + VectorFileBytes + 1, perLine);
  TVeVectorScreen screen(data);
  TVeDitherOptions d = VeDitherOptionsOf(options);
  d.GrayPalette = false;
  auto result = image.Convert(cancel, d, &target, ham, &screen);
  VeSetFirstLinePalette(ham, options);
  progress.Step();
  return result;
}

} // namespace

std::unique_ptr<TVeBitmap> VectorConvert(const TVeVectorModeInfo& m, const TVeCancelFlag* cancel,
                                         const TVeBitmap32& source,
                                         std::unique_ptr<TVeStreamList>& files,
                                         TVeDestProgress& progress, TVeDestEngineOptions& options) {
  if (source.Width() != VectorSize || source.Height() != VectorSize) VeInternalError();
  if (m.HamType >= 0) return ConvertHam(cancel, source, files, progress, options);
  progress.SetProgress(2, 0);
  TVePalette256 palette;
  auto result =
      VeQuantizeAndDither(cancel, source, options, VectorPalette(), 16, palette, progress);
  files = std::make_unique<TVeStreamList>();
  TVeStream* file = files->AddNew("v6c", VectorFileBytes);
  uint8_t* data = file->Data();
  TVeVectorScreen screen(data);
  for (int y = 0; y < VectorSize; ++y)
    for (int x = 0; x < VectorSize; ++x)
      screen.SetPixel(x, y, result->GetPixel(x, y));
  for (int i = 0; i < palette.Count() && i < VectorPaletteBytes; ++i)
    data[VectorScreenBytes + i] = RegisterByte(palette.GetRGBQuad(i));
  return result;
}

void RegisterVector06cEngines(TVeDestEngineList& list) {
  VeReplaceModeTableEngines<TVeVectorFamily, 3>(list);
}
