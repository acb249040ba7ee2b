#include "VeOpenPlatformSymbOS.h"

#include <mutex>

#include "VeErrors.h"
#include "VeLoadSource.h"

namespace {

bool Walk(const TVeLoadSource* s, TVeSgxLayout& layout, std::string& problem) {
  if (!s || !s->Data) {
    problem = "it is empty";
    return false;
  }
  return SgxWalk(s->Data, s->Size, layout, problem);
}

} // namespace

TVeSymbOSSourceEngine::TVeSymbOSSourceEngine(TVeLoadSource* source)
    : TVeSourceEngine(source, "TVeSymbOSSourceEngine") {
  TVeSgxLayout layout;
  std::string problem;
  if (Walk(source, layout, problem)) {
    Width = layout.Width;
    Height = layout.Height;
    BitsPerPixel = layout.SixteenColors ? 4 : 2;
    PaletteType = layout.SixteenColors ? SymbOSMsxColors : SymbOSCpcColors;
    PaletteTypes = {PaletteType};
    Description = "SymbOS" + SizeText() + " picture of " + std::to_string(layout.Chunks.size()) +
                  (layout.Chunks.size() == 1 ? " chunk" : " chunks");
  } else {
    Description = "SymbOS picture that cannot be read";
  }
}

// The file has no signature: the extension and a walk through all its chunks decide. An
// ".sgx" that does not walk is still taken, so that opening it says what is wrong.
TVeSourceMatch TVeSymbOSSourceEngine::Check(TVeLoadSource* source) {
  if (!source || source->Ext != ".sgx") return 0;
  TVeSgxLayout layout;
  std::string problem;
  return TVeSourceMatch(Walk(source, layout, problem) ? smVerified | smExtension : smExtension);
}

std::unique_ptr<TVeBitmap> TVeSymbOSSourceEngine::CreateBitmap() {
  TVeSgxLayout layout;
  std::string problem;
  if (!Walk(Source, layout, problem))
    throw EVeError("The SymbOS picture " + (Source ? Source->Name : std::string()) +
                   " cannot be read: " + problem);
  Width = layout.Width;
  Height = layout.Height;
  const std::vector<uint8_t> indices = SgxIndices(Source->Data, layout);
  SymbOSMakePalette(*Palette, layout.SixteenColors ? SymbOSMsxColors : SymbOSCpcColors);
  auto bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x)
      bmp->SetPixel(x, y, indices[size_t(y) * size_t(Width) + size_t(x)]);
  return bmp;
}

void RegisterSymbOSLoaders() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterSourceEngine(
        VeSourceEngineClass<TVeSymbOSSourceEngine>("TVeSymbOSSourceEngine", {".sgx"}));
  });
}
