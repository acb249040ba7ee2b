#pragma once
// The Lvov engines: "256x256x2" (the whole screen) and "200x225x2" (the part of it a
// television shows, centred in the same memory). Each shows the four colours of the one
// palette byte that suits the picture best; the file is the video memory and that byte.
#include <memory>
#include <string>

#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"
#include "VeModeTableEngine.h"

struct TVeLvovModeInfo {
  const char* Mode; // the catalogue's mode name
  int Width, Height;
  int Left, Top; // where the picture lies on the screen
  const char* Extension;
};
// Modes by catalogue position 0..1.
const TVeLvovModeInfo& LvovModeInfo(int index);

class TVeLvovEngineOptions : public TVeModeTableOptions<TVeLvovModeInfo> {
public:
  explicit TVeLvovEngineOptions(const TVeLvovModeInfo& mode);
  void SetPaletteType(TVePaletteType value) override;
  void PaletteChanged() override;
};

class TVeLvovEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeLvovEngineUI(TVeDestEngineOptions& options);
};

// The palette byte whose four colours, at the options' level, lie nearest the picture's
// pixels (the lowest byte of equal cost).
uint8_t LvovBestPaletteByte(const TVeBitmap32& source, const TVeDestEngineOptions& options);

std::unique_ptr<TVeBitmap> LvovConvert(const TVeLvovModeInfo& mode, const TVeCancelFlag* cancel,
                                       const TVeBitmap32& source,
                                       std::unique_ptr<TVeStreamList>& files,
                                       TVeDestProgress& progress, TVeDestEngineOptions& options);

struct TVeLvovFamily {
  using Info = TVeLvovModeInfo;
  using Options = TVeLvovEngineOptions;
  using UI = TVeLvovEngineUI;
  static const char* Platform() { return "Lvov"; }
  static const Info& ModeInfo(int index) { return LvovModeInfo(index); }
  static constexpr auto& Convert = LvovConvert;
};
template <int I> using TVeLvovEngineT = TVeModeTableEngine<TVeLvovFamily, I>;

using TVeLvovWindowEngine = TVeLvovEngineT<0>;
using TVeLvovEngine = TVeLvovEngineT<1>;

class TVeDestEngineList;
void RegisterLvovEngines(TVeDestEngineList& list);
