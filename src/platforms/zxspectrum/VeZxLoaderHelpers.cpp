#include "VeZxLoaderHelpers.h"

#include "VePlatformZxSpectrumGigascreen.h"

TVeSourceMatch VeZxSizeMatch(const TVeLoadSource* source, int32_t size, const char* ext,
                             const char* ext2, bool verified) {
  if (!source || !source->Data || source->Size != size) return 0;
  const bool own = source->Ext == ext || (ext2 && source->Ext == ext2);
  return TVeSourceMatch(smExactSize | (own ? smExtension : 0) | (verified ? smVerified : 0));
}

void VeZxNeedBytes(const TVeSourceEngine& e, int32_t size) {
  if (!e.Source || !e.Source->Data || e.Source->Size < size) VeInternalError();
}

void VeZxGigaCalculations(TVeSourceEngine& e, uint8_t first) {
  e.Calculations = 1 << vcStandard | 1 << vcLinear;
  e.Calculation = first;
}

TVeZxFrames VeZxAddFrames(TVeSourceEngine& e, TVeBitmap& mixed) {
  TVePalette256 pure;
  ZxSpectrumMakePalette(pure, ZxSpectrumPaletteType(e.PaletteType));
  TVeBitmap* first = mixed.AddFrame(&pure);
  TVeBitmap* second = mixed.AddFrame(&pure);
  return {first, second};
}

void VeZxPairPalette(TVeSourceEngine& e) {
  TVeZxMixedPaletteArgs args;
  args.PaletteType = ZxSpectrumPaletteType(e.PaletteType);
  args.Calculation = e.Calculation;
  ZxSpectrumMakeMixedPalette(*e.Palette, args);
  for (int i = 0; i < e.Palette->Count(); ++i)
    e.Palette->GetPColor(i)->Excluded = false; // every mix a file holds is shown
}
