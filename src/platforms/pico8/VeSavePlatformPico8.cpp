#include "VeSavePlatformPico8.h"

#include <algorithm>

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VePaletteSteps.h"
#include "VePlatformPico8.h"
#include "VeStream.h"

namespace {

const TVePalette256& ChoiceSet(int choice) {
  return choice == pico8Extra ? Pico8ExtraPalette()
         : choice == pico8Any ? Pico8AllColors()
                              : Pico8BasePalette();
}

int Choice(const TVeDestEngineOptions& o) {
  return std::clamp(o.PaletteNumber(), int(pico8Base), int(pico8Any));
}

// The colour value of a chosen colour: the set's own colour, the nearest should the
// quantizer ever hand back another.
int ColorValue(uint32_t quad) {
  const TVePalette256& all = Pico8AllColors();
  int k = all.FindExact(quad);
  if (k < 0)
    k = all.FindNearestLin(
        TVeColor::FromStdRGB(uint8_t(quad >> 16), uint8_t(quad >> 8), uint8_t(quad)).GetLinRGB());
  return Pico8ColorValue(k);
}

} // namespace

TVePico8EngineOptions::TVePico8EngineOptions() {
  FMaxColorCount = Pico8Slots;
}

void TVePico8EngineOptions::PaletteChanged() {
  TVePalette256 p(ChoiceSet(Choice(*this)));
  SetPalette(&p);
}

TVePico8EngineUI::TVePico8EngineUI(TVeDestEngineOptions& options) : TVeDestEngineUIEx(options) {
  AddPositionBorder();
  AddPaletteSeparator();
  AddPaletteNumberList({"Base colours", "Further colours (128-143)", "Any 16 of the 32"});
  AddPaletteView(16, 2);
  AddMaxColorCount(Pico8Slots);
  AddDithering(false);
}

// The screen palette's 16 slots, each any of the 32 colours.
TVeModeRule TVePico8Engine::ModeRule(const TVeDestEngineOptions&) {
  TVeModeRule rule;
  rule.Checkable = true;
  rule.ColorsPerScreen = Pico8Slots;
  VeAddRuleColors(rule, Pico8AllColors());
  return rule;
}

std::unique_ptr<TVeBitmap>
TVePico8Engine::Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                        std::unique_ptr<TVeStreamList>& files, TVeDestProgress& progress,
                        TVeDestEngineOptions& options, const TVePalette256*, const TVePalette256*) {
  if (source.Width() != Pico8Size || source.Height() != Pico8Size) VeInternalError();
  progress.SetProgress(2, 0);
  const int choice = Choice(options);
  TVePalette256 chosen;
  auto dithered =
      VeQuantizeAndDither(cancel, source, options, ChoiceSet(choice), Pico8Slots, chosen, progress);
  // A fixed set keeps the machine's own slot numbers, so that a cartridge of the base
  // colours needs no palette at all; any 16 of the 32 take the slots in the chosen order.
  TVePico8Picture picture;
  int slotOf[Pico8Slots] = {};
  for (int i = 0; i < chosen.Count() && i < Pico8Slots; ++i) {
    const int value = ColorValue(chosen.GetRGBQuad(i));
    const int slot = choice == pico8Any ? i : value & 15;
    slotOf[i] = slot;
    picture.ScreenPalette[slot] = uint8_t(value);
  }
  if (choice == pico8Extra)
    for (int s = 0; s < Pico8Slots; ++s)
      picture.ScreenPalette[s] = uint8_t(128 + s);
  for (int y = 0; y < Pico8Size; ++y)
    for (int x = 0; x < Pico8Size; ++x)
      picture.Slots[size_t(y * Pico8Size + x)] = uint8_t(slotOf[dithered->GetPixel(x, y) & 15]);

  TVePalette256 slots;
  picture.MakePalette(slots);
  options.SetPalette(&slots);
  auto result = std::make_unique<TVeBitmap4>(Pico8Size, &slots, Pico8Size);
  for (int y = 0; y < Pico8Size; ++y)
    for (int x = 0; x < Pico8Size; ++x)
      result->SetPixel(x, y, picture.Slots[size_t(y * Pico8Size + x)]);
  const std::string text = Pico8Cartridge(picture);
  files = std::make_unique<TVeStreamList>();
  files->AddNew("p8", 0)->Bytes().assign(text.begin(), text.end());
  return result;
}

void RegisterPico8Engines(TVeDestEngineList& list) {
  list.Replace(std::make_unique<TVeDestEngineClassOf<TVePico8Engine>>());
}
