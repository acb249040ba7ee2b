#include "VeOpenPlatformIbm.h"

#include <algorithm>

#include "VePlatformIbm.h"

namespace {

uint8_t AspectOf(int width, int height) {
  if (height == 200) return width >= 640 ? 0 : 8;
  if (width == 640 && height == 350) return 4;
  return 10;
}

} // namespace

// ---- PCX ------------------------------------------------------------------------------------

TVeSourceMatch TVePCXEngine::Check(TVeLoadSource* source) {
  TVePcxPicture h;
  if (!source || !IbmReadPcxHeader(source->Data, source->Size, h)) return 0;
  return TVeSourceMatch(smVerified | (source->Ext == ".pcx" ? smExtension : 0));
}

TVePCXEngine::TVePCXEngine(TVeLoadSource* source) : TVeSourceEngine(source, "TVePCXEngine") {
  TVePcxPicture h;
  if (!source || !IbmReadPcxHeader(source->Data, source->Size, h)) return;
  Width = h.Width;
  Height = h.Height;
  BitsPerPixel = h.BitsPerPixel * h.Planes;
  PixelAspect = AspectOf(Width, Height);
  Description = "PCX" + SizeText() + " image";
  if (h.PaletteMissing) {
    Description += " (no palette: gray levels)";
    Notes.push_back("the 256-colour palette that ends an 8-bit PCX file is missing or damaged; "
                    "gray levels 0 to 255 are shown in its place");
  }
}

std::unique_ptr<TVeBitmap> TVePCXEngine::CreateBitmap() {
  if (!Source) VeInternalError();
  TVePcxPicture pic;
  if (!IbmReadPcxHeader(Source->Data, Source->Size, pic)) throw EVeError("Unknown image type");
  if (pic.Width != Width || pic.Height != Height) VeInternalError();
  Palette->BeginUpdate();
  Palette->Clear();
  for (uint32_t q : pic.Palette)
    Palette->AddRGB(uint8_t(q >> 16), uint8_t(q >> 8), uint8_t(q));
  Palette->EndUpdate();
  // Rows go straight into the picture, made when the first row is decoded: the data has
  // been found long enough by then, and nothing else the size of the picture is held.
  std::unique_ptr<TVeBitmap> bmp;
  IbmDecodePcxRows(Source->Data, Source->Size, pic, [&](int y, const uint8_t* indices) {
    if (!bmp) {
      if (BitsPerPixel == 8)
        bmp = std::make_unique<TVeBitmap8>(Width, Palette.get(), Height);
      else
        bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
    }
    for (int x = 0; x < Width; ++x)
      bmp->SetPixel(x, y, indices[x]);
  });
  return bmp;
}

// ---- CGA BSAVE ------------------------------------------------------------------------------

TVeSourceMatch TVeCGABsaveEngine::CheckFormat(TVeLoadSource* source, int bits) {
  if (!source || !source->Data || source->Size < IbmBsaveHeaderBytes + IbmCgaUsedBytes) return 0;
  const uint8_t* d = source->Data;
  const int segment = d[1] | d[2] << 8, offset = d[3] | d[4] << 8, length = d[5] | d[6] << 8;
  if (d[0] != 0xFD || segment != 0xB800 || offset != 0 || length < IbmCgaUsedBytes ||
      length > IbmCgaBytes)
    return 0;
  // BASIC may end the file with an end-of-file byte.
  const int32_t rest = source->Size - IbmBsaveHeaderBytes;
  const bool exact = rest == length || (rest == length + 1 && d[source->Size - 1] == 0x1A);
  TVeCgaRegisters regs;
  const bool named =
      IbmReadCgaTag(d + IbmBsaveHeaderBytes, std::min(rest, int32_t(length)), regs) &&
      regs.HiRes() == (bits == 1);
  const int found = smVerified | (exact ? smExactSize : 0) | (named ? smNameHint : 0);
  if (source->Ext == ".bsv") return TVeSourceMatch(found | smExtension);
  return exact ? TVeSourceMatch(found) : 0;
}

TVeCGABsaveEngine::TVeCGABsaveEngine(TVeLoadSource* source, const char* className, int bits)
    : TVeSourceEngine(source, className), FBits(bits) {
  Width = bits == 2 ? 320 : 640;
  Height = 200;
  BitsPerPixel = bits;
  PixelAspect = AspectOf(Width, Height);
  if (bits == 2) {
    PaletteTypes = {ptBackGreenRedYellowLow,    ptBackGreenRedYellowHigh, ptBackCyanMagentaWhiteLow,
                    ptBackCyanMagentaWhiteHigh, ptBackCyanRedWhiteLow,    ptBackCyanRedWhiteHigh};
    // What the BIOS selects for the 320 x 200 modes.
    PaletteType = ptBackCyanMagentaWhiteHigh;
    FRegs = {0x0A, 0x30};
  } else {
    FRegs = {0x1E, 15};
  }
  TVeCgaRegisters tagged;
  if (source && source->Data && source->Size > IbmBsaveHeaderBytes &&
      IbmReadCgaTag(source->Data + IbmBsaveHeaderBytes, source->Size - IbmBsaveHeaderBytes,
                    tagged) &&
      tagged.HiRes() == (bits == 1)) {
    FRegs = tagged;
    if (bits == 2) PaletteType = IbmCgaPaletteTypeOf(tagged);
  }
  Description = "CGA" + SizeText() + " BSAVE image";
}

std::unique_ptr<TVeBitmap> TVeCGABsaveEngine::CreateBitmap() {
  if (!Source || CheckFormat(Source, FBits) == 0) throw EVeError("The CGA BSAVE file is too short");
  if (FBits == 2) {
    const TVePaletteType t =
        IbmIsCgaPaletteType(PaletteType) ? PaletteType : ptBackCyanMagentaWhiteHigh;
    IbmMakeCga4Palette(*Palette, t, FRegs.Color & 15);
  } else {
    const uint8_t* fore = IbmCgaColors[FRegs.Color & 15];
    Palette->BeginUpdate();
    Palette->Clear();
    Palette->AddRGB(0, 0, 0);
    Palette->AddRGB(fore[0], fore[1], fore[2]);
    Palette->EndUpdate();
  }
  auto bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  const uint8_t* mem = Source->Data + IbmBsaveHeaderBytes;
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) {
      const int bit = x * FBits;
      const uint8_t b = mem[IbmCgaRowOffset(y) + bit / 8];
      bmp->SetPixel(x, y, (b >> (8 - FBits - bit % 8)) & ((1 << FBits) - 1));
    }
  return bmp;
}

TVeCGA4BsaveEngine::TVeCGA4BsaveEngine(TVeLoadSource* source)
    : TVeCGABsaveEngine(source, "TVeCGA4BsaveEngine", 2) {}

TVeCGA2BsaveEngine::TVeCGA2BsaveEngine(TVeLoadSource* source)
    : TVeCGABsaveEngine(source, "TVeCGA2BsaveEngine", 1) {}

void RegisterIbmLoaders() {
  static const bool done = [] {
    RegisterSourceEngine(VeSourceEngineClass<TVePCXEngine>("TVePCXEngine", {".pcx"}));
    RegisterSourceEngine(VeSourceEngineClass<TVeCGA4BsaveEngine>("TVeCGA4BsaveEngine", {".bsv"}));
    RegisterSourceEngine(VeSourceEngineClass<TVeCGA2BsaveEngine>("TVeCGA2BsaveEngine", {".bsv"}));
    return true;
  }();
  (void)done;
}
