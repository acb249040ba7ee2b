#include "VeOpenPlatformBbcMicro.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <mutex>
#include <string>

#include "VeErrors.h"
#include "VePlatformBbcMicro.h"

namespace {

std::string OwnExtension(const TVeBbcModeInfo& m) {
  return ".bb" + std::to_string(m.Mode);
}

// The companion file of the same name with another extension, in the letter case of the old.
std::string Companion(const std::string& name, const std::string& ext) {
  const size_t dot = name.rfind('.');
  std::string e = ext;
  if (dot != std::string::npos &&
      std::any_of(name.begin() + std::ptrdiff_t(dot), name.end(),
                  [](char c) { return std::isupper(static_cast<unsigned char>(c)); }))
    for (char& c : e)
      c = char(std::toupper(static_cast<unsigned char>(c)));
  return (dot == std::string::npos ? name : name.substr(0, dot)) + e;
}

} // namespace

TVeSourceMatch TVeBbcMicroScreenEngine::CheckMode(TVeLoadSource* source, const TVeBbcModeInfo& m) {
  // A dump holds no header: only the extension tells the mode, and the size must be whole.
  if (!source || !source->Data || source->Ext != OwnExtension(m) || source->Size != m.ScreenBytes())
    return 0;
  return TVeSourceMatch(smExtension | smExactSize);
}

TVeBbcMicroScreenEngine::TVeBbcMicroScreenEngine(TVeLoadSource* source, const TVeBbcModeInfo& mode)
    : TVeSourceEngine(source, "TVeBbcMicroScreenEngine"), FMode(mode) {
  Width = mode.Width;
  Height = BbcScreenHeight;
  BitsPerPixel = mode.Bits;
  PixelAspect = mode.Aspect;
  PaletteColumns = mode.Shown();
  bool refused = false;
  if (source) {
    const TVeLoadSourceRec* vdu = source->FindFile(Companion(source->Name, ".vdu"));
    std::vector<int> logical;
    if (vdu && BbcReadVduPalette(vdu->Data.data(), vdu->Size, mode, logical))
      FVdu = vdu;
    else
      refused = vdu != nullptr;
  }
  Description = "BBC Micro" + SizeText() + " mode " + std::to_string(mode.Mode) + " screen" +
                (refused ? " (palette file ignored)" : "");
}

std::unique_ptr<TVeBitmap> TVeBbcMicroScreenEngine::CreateBitmap() {
  if (!Source || !Source->Data || Source->Size < FMode.ScreenBytes())
    throw EVeError("The BBC Micro screen file is too short");
  std::vector<int> logical = BbcDefaultLogical(FMode);
  if (FVdu) BbcReadVduPalette(FVdu->Data.data(), FVdu->Size, FMode, logical);
  Palette->BeginUpdate();
  Palette->Clear();
  for (int l = 0; l < FMode.Colors(); ++l) {
    const uint32_t rgb = BbcPhysicalRGB(logical[size_t(l)]);
    Palette->AddRGB(uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb));
  }
  Palette->EndUpdate();
  auto bmp = std::make_unique<TVeBitmap4>(Width, Palette.get(), Height);
  // The screen object only reads through its pointer.
  TVeBbcScreen screen(FMode, const_cast<uint8_t*>(Source->Data));
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x)
      bmp->SetPixel(x, y, screen.GetPixel(x, y));
  return bmp;
}

template <int M>
TVeBbcMicroModeSourceEngine<M>::TVeBbcMicroModeSourceEngine(TVeLoadSource* source)
    : TVeBbcMicroScreenEngine(source, BbcModeInfo(M)) {}

template <int M> TVeSourceMatch TVeBbcMicroModeSourceEngine<M>::Check(TVeLoadSource* source) {
  return CheckMode(source, BbcModeInfo(M));
}

void RegisterBbcMicroLoaders() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterSourceEngine(VeSourceEngineClass<TVeBbcMicroModeSourceEngine<0>>(
        "TVeBbcMicroMode0SourceEngine", {".bb0"}));
    RegisterSourceEngine(VeSourceEngineClass<TVeBbcMicroModeSourceEngine<1>>(
        "TVeBbcMicroMode1SourceEngine", {".bb1"}));
    RegisterSourceEngine(VeSourceEngineClass<TVeBbcMicroModeSourceEngine<2>>(
        "TVeBbcMicroMode2SourceEngine", {".bb2"}));
    RegisterSourceEngine(VeSourceEngineClass<TVeBbcMicroModeSourceEngine<4>>(
        "TVeBbcMicroMode4SourceEngine", {".bb4"}));
    RegisterSourceEngine(VeSourceEngineClass<TVeBbcMicroModeSourceEngine<5>>(
        "TVeBbcMicroMode5SourceEngine", {".bb5"}));
  });
}
