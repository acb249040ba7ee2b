#include "VeOpenPlatformSinclairQl.h"

#include <cctype>
#include <mutex>
#include <string>

#include "VeErrors.h"
#include "VePlatformSinclairQl.h"

namespace {

bool QdosScreenName(const std::string& name) {
  if (name.size() < 4) return false;
  std::string tail = name.substr(name.size() - 4);
  for (char& c : tail)
    c = char(std::tolower(static_cast<unsigned char>(c)));
  return tail == "_scr";
}

uint8_t ModeAspect(int mode) {
  return mode == 4 ? 5 : mode == 8 ? 15 : 11;
}

// Mode 4 and 8 bytes of w x h pixels with lineBytes per row.
std::unique_ptr<TVeBitmap> DecodeScreen(TVeSourceEngine& e, int mode, const uint8_t* data,
                                        int lineBytes) {
  if (mode == 4)
    QlMakeMode4Palette(*e.Palette);
  else
    QlMakeMode8Palette(*e.Palette);
  auto bmp = std::make_unique<TVeBitmap4>(e.Width, e.Palette.get(), e.Height);
  for (int y = 0; y < e.Height; ++y) {
    // One row as a screen row: the decoder reads only the row's own bytes.
    TVeQlScreen row(mode, const_cast<uint8_t*>(data + size_t(y) * size_t(lineBytes)));
    for (int x = 0; x < e.Width; ++x)
      bmp->SetPixel(x, y, row.GetPixel(x, 0));
  }
  return bmp;
}

} // namespace

// ---- Screen dumps ---------------------------------------------------------------------------

TVeSourceMatch TVeSinclairQlScreenEngine::CheckMode(TVeLoadSource* source, int mode) {
  if (!source || !source->Data || source->Size != QlScreenBytes) return 0;
  const bool own = source->Ext == ".scr" || QdosScreenName(source->Name);
  if (!own) return 0;
  const bool flash = QlAnyFlashBit(source->Data);
  const bool fits = mode == 8 ? !flash : flash;
  return TVeSourceMatch(smExtension | smExactSize | (fits ? smNameHint : 0));
}

TVeSinclairQlScreenEngine::TVeSinclairQlScreenEngine(TVeLoadSource* source, int mode)
    : TVeSourceEngine(source, "TVeSinclairQlScreenEngine"), FMode(mode) {
  Width = mode == 8 ? 256 : 512;
  Height = QlScreenHeight;
  BitsPerPixel = mode == 8 ? 3 : 2;
  PixelAspect = ModeAspect(mode);
  PaletteColumns = mode == 8 ? 8 : 4;
  Description = "Sinclair QL" + SizeText() + " mode " + std::to_string(mode) + " screen";
}

std::unique_ptr<TVeBitmap> TVeSinclairQlScreenEngine::CreateBitmap() {
  if (!Source || !Source->Data || Source->Size < QlScreenBytes)
    throw EVeError("The QL screen file is too short");
  return DecodeScreen(*this, FMode, Source->Data, QlRowBytes);
}

// ---- PIC files ------------------------------------------------------------------------------

namespace {
// The header of a PIC file whose pixels are all there, else false.
bool UsablePic(const TVeLoadSource* source, TVeQlPicHeader& h) {
  if (!source || !QlReadPicHeader(source->Data, source->Size, h)) return false;
  const int need = QlLineBytes(h.Mode, h.Width);
  if (need == 0 || h.Width < 1 || h.Height < 1 || h.Width > 4096 || h.Height > 4096 ||
      h.LineBytes < need)
    return false;
  return int64_t(QlPicHeaderBytes) + int64_t(h.LineBytes) * h.Height <= source->Size;
}
} // namespace

TVeSourceMatch TVeSinclairQlPicSourceEngine::Check(TVeLoadSource* source) {
  TVeQlPicHeader h;
  if (!UsablePic(source, h)) return 0;
  const bool exact = int64_t(QlPicHeaderBytes) + int64_t(h.LineBytes) * h.Height == source->Size;
  return TVeSourceMatch(smVerified | (source->Ext == ".pic" ? smExtension : 0) |
                        (exact ? smExactSize : 0));
}

TVeSinclairQlPicSourceEngine::TVeSinclairQlPicSourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeSinclairQlPicSourceEngine") {
  TVeQlPicHeader h;
  if (UsablePic(source, h)) {
    Width = h.Width;
    Height = h.Height;
    FMode = h.Mode;
    FLineBytes = h.LineBytes;
  }
  BitsPerPixel = FMode == 4 ? 2 : FMode == 8 ? 3 : 16;
  PixelAspect = ModeAspect(FMode);
  PaletteColumns = FMode == 4 ? 4 : 8;
  Description = "Sinclair QL" + SizeText() + " mode " + std::to_string(FMode) + " PIC image";
}

std::unique_ptr<TVeBitmap> TVeSinclairQlPicSourceEngine::CreateBitmap() {
  TVeQlPicHeader h;
  if (!UsablePic(Source, h) || h.Mode != FMode || h.Width != Width || h.Height != Height)
    throw EVeError("The QL PIC file is damaged");
  const uint8_t* data = Source->Data + QlPicHeaderBytes;
  if (FMode == 4 || FMode == 8) return DecodeScreen(*this, FMode, data, FLineBytes);
  Palette->Clear();
  auto bmp = std::make_unique<TVeBitmap24>(Width, Height);
  for (int y = 0; y < Height; ++y) {
    const uint8_t* row = data + size_t(y) * size_t(FLineBytes);
    for (int x = 0; x < Width; ++x)
      bmp->SetPixel(x, y, int(QlGd2RGB(FMode, QlGd2Decode(FMode, row[2 * x], row[2 * x + 1]))));
  }
  return bmp;
}

void RegisterSinclairQlLoaders() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterSourceEngine(VeSourceEngineClass<TVeSinclairQlMode4SourceEngine>(
        "TVeSinclairQlMode4SourceEngine", {".scr"}));
    RegisterSourceEngine(VeSourceEngineClass<TVeSinclairQlMode8SourceEngine>(
        "TVeSinclairQlMode8SourceEngine", {".scr"}));
    RegisterSourceEngine(VeSourceEngineClass<TVeSinclairQlPicSourceEngine>(
        "TVeSinclairQlPicSourceEngine", {".pic"}));
  });
}
