#pragma once
// The five BBC Micro screen engines: modes 0, 1, 2, 4 and 5, each choosing its logical colours
// from the eight physical ones, written as the screen memory dump *LOAD reads back and the
// VDU 19 commands of its palette.
#include <memory>
#include <string>

#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"
#include "VePlatformBbcMicro.h"

// Palette modes of the BBC panels.
constexpr uint8_t bbcModeBlackWhite = 0;
constexpr uint8_t bbcModeColor = 11;
constexpr uint8_t bbcModeCustom = 16;

class TVeBbcMicroEngineOptions : public TVeDestFixedSizeEngineOptions {
public:
  explicit TVeBbcMicroEngineOptions(const TVeBbcModeInfo& mode);
  const TVeBbcModeInfo& Mode() const { return *FMode; }

  TVeSize GetDefaultSize() const override { return {FMode->Width, BbcScreenHeight}; }
  int GetWidth() const override { return FMode->Width; }
  int GetHeight() const override { return BbcScreenHeight; }
  void SetPaletteMode(uint8_t value) override;
  // The mode's default colours shown before a conversion; the eight colours as the base
  // palette (the custom grid offers them).
  void PaletteChanged() override;

private:
  const TVeBbcModeInfo* FMode;
};

template <int M> class TVeBbcMicroEngineOptionsT : public TVeBbcMicroEngineOptions {
public:
  TVeBbcMicroEngineOptionsT() : TVeBbcMicroEngineOptions(BbcModeInfo(M)) {}
};

class TVeBbcMicroEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeBbcMicroEngineUI(TVeDestEngineOptions& options);
};

std::unique_ptr<TVeBitmap> BbcMicroConvert(const TVeBbcModeInfo& mode, const TVeCancelFlag* cancel,
                                           const TVeBitmap32& source,
                                           std::unique_ptr<TVeStreamList>& files,
                                           TVeDestProgress& progress,
                                           TVeDestEngineOptions& options);

// The mode's logical colours, each one of the eight still physical colours.
TVeModeRule BbcMicroModeRule(const TVeBbcModeInfo& mode);

template <int M>
class TVeBbcMicroEngineT
    : public TVeDestEngineOf<TVeBbcMicroEngineOptionsT<M>, TVeBbcMicroEngineUI> {
public:
  static std::string PlatformName() { return "BBC Micro"; }
  static std::string ModeName() { return BbcModeInfo(M).Name; }
  static std::unique_ptr<TVeBitmap> Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                            std::unique_ptr<TVeStreamList>& files,
                                            TVeDestProgress& progress,
                                            TVeDestEngineOptions& options, const TVePalette256*,
                                            const TVePalette256*) {
    return BbcMicroConvert(BbcModeInfo(M), cancel, source, files, progress, options);
  }
  static TVeModeRule ModeRule(const TVeDestEngineOptions&) {
    return BbcMicroModeRule(BbcModeInfo(M));
  }
};

using TVeBbcMicroMode0Engine = TVeBbcMicroEngineT<0>;
using TVeBbcMicroMode1Engine = TVeBbcMicroEngineT<1>;
using TVeBbcMicroMode2Engine = TVeBbcMicroEngineT<2>;
using TVeBbcMicroMode4Engine = TVeBbcMicroEngineT<4>;
using TVeBbcMicroMode5Engine = TVeBbcMicroEngineT<5>;

// The screen dump's extension: "bb" and the mode number.
std::string BbcMicroExtension(const TVeBbcModeInfo& mode);

class TVeDestEngineList;
void RegisterBbcMicroEngines(TVeDestEngineList& list);
