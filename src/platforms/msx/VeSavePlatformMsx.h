#pragma once
// The fifteen MSX screen engines: screens 2, 3, 4, 5, 6, 7, 8, 10 and 12 and the interlaced
// versions of 5 to 12, with their BSAVE screens, interlaced second pages, COPY pictures,
// palette files and MAG files.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"

// What distinguishes the modes.
struct TVeMSXModeInfo {
  int Screen;       // 2 ... 12
  bool Interlaced;  // two pages of alternate rows
  const char* Mode; // the catalogue's mode name
  int Width, Height;
  uint8_t Aspect;
  std::vector<TVePaletteType> PaletteTypes;
  uint32_t ModeMask; // "&Mode:" entries offered (bit v = value v); 0 for none
  uint8_t DefaultMode;
  int Colors; // 16, 4, 256; 0 for the YJK screens
  bool Cells() const { return Screen == 2 || Screen == 4; }
  bool Yjk() const { return Screen >= 10; }
};
// The mode of a screen number, or "Internal error".
const TVeMSXModeInfo& MsxModeInfo(int screen, bool interlaced);

// Palette modes of the MSX panels.
constexpr uint8_t msxModeBlackWhite = 0;
constexpr uint8_t msxModeGray = 1;
constexpr uint8_t msxModeColorBright = 10;
constexpr uint8_t msxModeColor = 11;
constexpr uint8_t msxModeCustom = 16;

class TVeMSXEngineOptions : public TVeDestFixedSizeEngineOptions {
public:
  explicit TVeMSXEngineOptions(const TVeMSXModeInfo& mode);
  const TVeMSXModeInfo& Mode() const { return *FMode; }

  TVeSize GetDefaultSize() const override { return {FMode->Width, FMode->Height}; }
  int GetWidth() const override { return FMode->Width; }
  int GetHeight() const override { return FMode->Height; }
  int GetCellWidth() const override { return FMode->Cells() ? 8 : 1; }
  int GetCellHeight() const override { return 1; }
  void SetPaletteType(TVePaletteType value) override;
  void SetPaletteMode(uint8_t value) override;
  // The colours the panel shows before a conversion, and the mode's hardware colours as the
  // base palette (the custom palette grid offers them). Screen 10 keeps its base palette: it
  // is the palette the first pass starts from.
  void PaletteChanged() override;

private:
  const TVeMSXModeInfo* FMode;
};

template <int S, bool I> class TVeMSXScrEngineOptionsT : public TVeMSXEngineOptions {
public:
  TVeMSXScrEngineOptionsT() : TVeMSXEngineOptions(MsxModeInfo(S, I)) {}
  // Screens 10 and 12 search their YJK encodings by Delta RGB.
  bool UsesColorDistance() const override { return S != 10 && S != 12; }
};

class TVeMSXEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeMSXEngineUI(TVeDestEngineOptions& options);
};

// The conversion of every MSX mode.
std::unique_ptr<TVeBitmap> MsxConvert(const TVeMSXModeInfo& mode, const TVeCancelFlag* cancel,
                                      const TVeBitmap32& source,
                                      std::unique_ptr<TVeStreamList>& files,
                                      TVeDestProgress& progress, TVeDestEngineOptions& options);

// The screens' rules: two colours in every 8 x 1 cell of screens 2 and 4, 16 or 4 of the
// V9938's 512 colours per screen, screen 8's fixed 256; the YJK screens are not described.
TVeModeRule MsxModeRule(const TVeMSXModeInfo& mode, const TVeDestEngineOptions& options);

template <int S, bool I>
class TVeMSXScrEngineT : public TVeDestEngineOf<TVeMSXScrEngineOptionsT<S, I>, TVeMSXEngineUI> {
public:
  static std::string PlatformName() { return "MSX"; }
  static std::string ModeName() { return MsxModeInfo(S, I).Mode; }
  static std::unique_ptr<TVeBitmap> Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                            std::unique_ptr<TVeStreamList>& files,
                                            TVeDestProgress& progress,
                                            TVeDestEngineOptions& options, const TVePalette256*,
                                            const TVePalette256*) {
    return MsxConvert(MsxModeInfo(S, I), cancel, source, files, progress, options);
  }
  static TVeModeRule ModeRule(const TVeDestEngineOptions& options) {
    return MsxModeRule(MsxModeInfo(S, I), options);
  }
};

using TVeMSXScr2Engine = TVeMSXScrEngineT<2, false>;
using TVeMSXScr3Engine = TVeMSXScrEngineT<3, false>;
using TVeMSXScr4Engine = TVeMSXScrEngineT<4, false>;
using TVeMSXScr5Engine = TVeMSXScrEngineT<5, false>;
using TVeMSXScr5InterlacedEngine = TVeMSXScrEngineT<5, true>;
using TVeMSXScr6Engine = TVeMSXScrEngineT<6, false>;
using TVeMSXScr6InterlacedEngine = TVeMSXScrEngineT<6, true>;
using TVeMSXScr7Engine = TVeMSXScrEngineT<7, false>;
using TVeMSXScr7InterlacedEngine = TVeMSXScrEngineT<7, true>;
using TVeMSXScr8Engine = TVeMSXScrEngineT<8, false>;
using TVeMSXScr8InterlacedEngine = TVeMSXScrEngineT<8, true>;
using TVeMSXScr10Engine = TVeMSXScrEngineT<10, false>;
using TVeMSXScr10InterlacedEngine = TVeMSXScrEngineT<10, true>;
using TVeMSXScr12Engine = TVeMSXScrEngineT<12, false>;
using TVeMSXScr12InterlacedEngine = TVeMSXScrEngineT<12, true>;

// Puts the fifteen engines in place of their catalogue entries (start-up only).
class TVeDestEngineList;
void RegisterMsxEngines(TVeDestEngineList& list);
