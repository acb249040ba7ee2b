#include "VeSavePlatformSamCoupe.h"

#include <algorithm>
#include <vector>

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeHAMImage.h"
#include "VeImage.h"
#include "VePaletteSteps.h"
#include "VePlatformSamCoupe.h"
#include "VeQuantization.h"
#include "VeStream.h"

const TVeSamModeInfo& SamModeInfo(int index) {
  static const TVeSamModeInfo modes[] = {
      {3, false, false, "3 512x192x2", 512, 192, 1, 4},
      {4, false, false, "4 256x192x4", 256, 192, VeAspectSquare, 16},
      {4, true, false, "4 256x384x4 Interlaced", 256, 384, 17, 16},
      {4, false, true, "4 256x192x4 HAM1/127", 256, 192, VeAspectSquare, 16},
  };
  if (index < 0 || index >= 4) VeInternalError();
  return modes[index];
}

// Modes 3 and 4: 4 or 16 of the 128 colours on the whole screen (both fields of the interlaced
// mode share the CLUT); the line-change mode's palette moves down the screen.
TVeModeRule TVeSamFamily::ModeRule(const Info& mode, const TVeDestEngineOptions&) {
  TVeModeRule rule;
  if (mode.Ham) {
    rule.Reason = "the palette changes from line to line";
    return rule;
  }
  rule.Checkable = true;
  rule.ColorsPerScreen = mode.Colors;
  VeAddRuleColors(rule, SamPalette());
  return rule;
}

TVeSamEngineOptions::TVeSamEngineOptions(const TVeSamModeInfo& mode) : TVeModeTableOptions(mode) {
  FAspectIndex = mode.Aspect;
  FMaxColorCount = mode.Colors;
  FHamMaxChanges = SamHamChanges;
}

TVeSamEngineUI::TVeSamEngineUI(TVeDestEngineOptions& options) : TVeDestEngineUIEx(options) {
  auto* own = dynamic_cast<TVeSamEngineOptions*>(&options);
  if (!own) VeInternalError();
  const TVeSamModeInfo& m = own->Mode();
  AddPositionBorder();
  AddPaletteSeparator();
  AddPaletteView(m.Colors, 1);
  // The line-change mode chooses its colours line by line.
  if (!m.Ham) {
    AddMaxColorCount(m.Colors);
  }
  AddDithering(false);
}

namespace {

uint8_t ColorNumber(uint32_t quad) {
  const TVePalette256& sam = SamPalette();
  int k = sam.FindExact(quad);
  if (k < 0)
    k = sam.FindNearestLin(
        TVeColor::FromStdRGB(uint8_t(quad >> 16), uint8_t(quad >> 8), uint8_t(quad)).GetLinRGB());
  return uint8_t(k);
}

void WriteClut(uint8_t* to, const TVePalette256& palette) {
  for (int i = 0; i < palette.Count() && i < SamClutBytes; ++i)
    to[i] = ColorNumber(palette.GetRGBQuad(i));
}

// Rows first, first + step, ... of an index grid into a screen.
void PackRows(const TVeData& pixels, int first, int step, int bits, uint8_t* screen) {
  const int perByte = 8 / bits;
  for (int y = first, row = 0; y < pixels.Height() && row < SamRows; y += step, ++row)
    for (int x = 0; x < pixels.Width(); ++x) {
      const int shift = 8 - bits * (x % perByte + 1);
      screen[row * SamRowBytes + x / perByte] |=
          uint8_t((pixels.GetPixel(x, y) & ((1 << bits) - 1)) << shift);
    }
}

class TVeSamHAMImage : public TVeHAMImage {
public:
  TVeSamHAMImage(const TVeBitmap32& source, uint8_t* clut, uint8_t* changes)
      : TVeHAMImage(source), FClut(clut), FChanges(changes) {}

protected:
  void WriteInitialPalette(const TVePalette*, const TVeHAMLine& line) override {
    for (int i = 0; i < line.SlotCount() && i < SamClutBytes; ++i)
      FClut[i] = ColorNumber(line.GetColor(i)->Quad);
  }
  void WriteChange(const TVePalette*, int slot, int line, const TVeHAMChange& c) override {
    // One change per line: the entry of line y sits at 2 (y - 1).
    uint8_t* at = FChanges + 2 * (line - 1);
    at[0] = uint8_t(slot);
    at[1] = ColorNumber(c.Quad());
  }

private:
  uint8_t* FClut;
  uint8_t* FChanges;
};

std::unique_ptr<TVeBitmap> ConvertHam(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                      std::unique_ptr<TVeStreamList>& files,
                                      TVeDestProgress& progress, TVeDestEngineOptions& options) {
  progress.SetProgress(2, 0);
  const TVePalette256& sam = SamPalette();
  TVeImage prepared(source);
  prepared.ApplyFixes(options.SaturationFix(), options.LightnessFix());
  TVeHAMPalette ham(cancel, SamHamType, SamHamLineLimit, SamHamChanges, 16, sam, prepared);
  progress.Step();
  files = std::make_unique<TVeStreamList>();
  TVeStream* file = files->AddNew("ssh", SamHamFileBytes);
  uint8_t* screen = file->Data();
  TVeSamHAMImage image(source, screen + SamScreenBytes, screen + SamScreenBytes + SamClutBytes);
  TVeScreen4 slots(256, screen, SamRows);
  TVeDitherOptions d = VeDitherOptionsOf(options);
  d.GrayPalette = false;
  auto result = image.Convert(cancel, d, &sam, ham, &slots);
  // The palette shown: the colours of the first line.
  VeSetFirstLinePalette(ham, options);
  progress.Step();
  return result;
}

} // namespace

std::unique_ptr<TVeBitmap> SamConvert(const TVeSamModeInfo& m, const TVeCancelFlag* cancel,
                                      const TVeBitmap32& source,
                                      std::unique_ptr<TVeStreamList>& files,
                                      TVeDestProgress& progress, TVeDestEngineOptions& options) {
  if (source.Width() != m.Width || source.Height() != m.Height) VeInternalError();
  if (m.Ham) return ConvertHam(cancel, source, files, progress, options);
  progress.SetProgress(2, 0);
  TVePalette256 palette;
  auto result =
      VeQuantizeAndDither(cancel, source, options, SamPalette(), m.Colors, palette, progress);

  files = std::make_unique<TVeStreamList>();
  const int bits = m.Screen == 3 ? 2 : 4;
  TVeStream* file = files->AddNew(m.Interlaced    ? "ssi"
                                  : m.Screen == 3 ? "ss3"
                                                  : "ss4",
                                  m.Interlaced ? SamInterlacedFileBytes : SamFileBytes);
  uint8_t* data = file->Data();
  if (m.Interlaced) {
    PackRows(*result, 0, 2, bits, data);
    PackRows(*result, 1, 2, bits, data + SamScreenBytes);
    WriteClut(data + 2 * SamScreenBytes, palette);
  } else {
    PackRows(*result, 0, 1, bits, data);
    WriteClut(data + SamScreenBytes, palette);
  }
  return result;
}

void RegisterSamCoupeEngines(TVeDestEngineList& list) {
  VeReplaceModeTableEngines<TVeSamFamily, 4>(list);
}
