#pragma once
// The TI-99/4A bitmap screen of the TMS9918A: two colours per 8 x 1 line, the cell rules of
// MSX screen 2 in the TI's palette variants, saved as a TI-Artist picture.
#include <memory>
#include <string>

#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"
#include "VeRuleCheck.h"
#include "msx/VeSavePlatformMsx.h"

constexpr uint8_t ti99ModeBlackWhite = 0;
constexpr uint8_t ti99ModeGray = 1;
constexpr uint8_t ti99ModeColor = 11;

// What the two TMS9918A modes share: the palette types, modes and panel.
class TVeTI99EngineOptions : public TVeDestFixedSizeEngineOptions {
public:
  TVeTI99EngineOptions();
  void SetPaletteType(TVePaletteType value) override;
  void PaletteChanged() override;
};

class TVeTI99EngineUI : public TVeDestEngineUIEx {
public:
  // limits: the cells offer the two "Limit error" check boxes; flicker: the colours are
  // pairs shown on alternate frames.
  TVeTI99EngineUI(TVeDestEngineOptions& options, bool limits, bool flicker = false);
};

template <bool Limits, bool Flicker = false> class TVeTI99EngineUIOf : public TVeTI99EngineUI {
public:
  explicit TVeTI99EngineUIOf(TVeDestEngineOptions& options)
      : TVeTI99EngineUI(options, Limits, Flicker) {}
};

class TVeTI99BitmapEngineOptions : public TVeSizedOptions<TVeTI99EngineOptions, 256, 192> {
public:
  TVeTI99BitmapEngineOptions();
  int GetCellWidth() const override { return 8; }
  int GetCellHeight() const override { return 1; }
};

using TVeTI99BitmapEngineUI = TVeTI99EngineUIOf<true>;

class TVeTI99BitmapEngine
    : public TVeDestEngineOf<TVeTI99BitmapEngineOptions, TVeTI99BitmapEngineUI> {
public:
  static std::string PlatformName() { return "TI-99/4A"; }
  static std::string ModeName() { return "9918A 256x192x4"; }
  static TVeModeRule ModeRule(const TVeDestEngineOptions& options);
  static std::unique_ptr<TVeBitmap> Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                            std::unique_ptr<TVeStreamList>& files,
                                            TVeDestProgress& progress,
                                            TVeDestEngineOptions& options, const TVePalette256*,
                                            const TVePalette256*);
};

// Multicolour mode: 64 x 48 blocks of 4 x 4 pixels, each any of the 15 colours, saved as a
// raw dump of the pattern table (1536 bytes) under the standard name table.
class TVeTI99MulticolorEngineOptions : public TVeSizedOptions<TVeTI99EngineOptions, 64, 48> {
public:
  TVeTI99MulticolorEngineOptions();
};

using TVeTI99MulticolorEngineUI = TVeTI99EngineUIOf<false>;

class TVeTI99MulticolorEngine
    : public TVeDestEngineOf<TVeTI99MulticolorEngineOptions, TVeTI99MulticolorEngineUI> {
public:
  static std::string PlatformName() { return "TI-99/4A"; }
  static std::string ModeName() { return "9918A 64x48x4"; }
  static TVeModeRule ModeRule(const TVeDestEngineOptions& options);
  // The catalogue magnifies the 64 x 48 blocks four times.
  static int DisplayScale() { return 4; }
  static std::unique_ptr<TVeBitmap> Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                            std::unique_ptr<TVeStreamList>& files,
                                            TVeDestProgress& progress,
                                            TVeDestEngineOptions& options, const TVePalette256*,
                                            const TVePalette256*);
};

// Two multicolour screens shown on alternate frames: each 4 x 4 block the mix of its colour
// in frame A and in frame B. Saved as the two pattern-table dumps, frame A first (3072 bytes).
constexpr int Ti99DualBytes = 2 * 1536;

class TVeTI99DualEngineOptions : public TVeTI99MulticolorEngineOptions {
public:
  void PaletteChanged() override;
  bool UsesColorDistance() const override { return false; }
};

using TVeTI99DualEngineUI = TVeTI99EngineUIOf<false, true>;

class TVeTI99DualEngine : public TVeDestEngineOf<TVeTI99DualEngineOptions, TVeTI99DualEngineUI> {
public:
  static std::string PlatformName() { return "TI-99/4A"; }
  static std::string ModeName() { return "9918A 64x48x8 Dual"; }
  static int DisplayScale() { return 4; }
  // The preview's index is frame A's colour * 16 + frame B's; the frames hold colours 1-15.
  static std::unique_ptr<TVeBitmap> Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                            std::unique_ptr<TVeStreamList>& files,
                                            TVeDestProgress& progress,
                                            TVeDestEngineOptions& options, const TVePalette256*,
                                            const TVePalette256*);
};

// Lines of four: the bitmap mode with every pattern byte 0xF0 shows each 8 x 1 line's
// foreground in its left four pixels and its background in the right four, so 64 x 192
// blocks of 4 x 1 pixels, each any of the 15 colours; saved as the bitmap mode's TI-Artist pair.
class TVeTI99LinesEngineOptions : public TVeSizedOptions<TVeTI99EngineOptions, 64, 192> {
public:
  TVeTI99LinesEngineOptions();
};

using TVeTI99LinesEngineUI = TVeTI99EngineUIOf<false>;

class TVeTI99LinesEngine : public TVeDestEngineOf<TVeTI99LinesEngineOptions, TVeTI99LinesEngineUI> {
public:
  static std::string PlatformName() { return "TI-99/4A"; }
  static std::string ModeName() { return "9918A 64x192x4"; }
  static std::unique_ptr<TVeBitmap> Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                            std::unique_ptr<TVeStreamList>& files,
                                            TVeDestProgress& progress,
                                            TVeDestEngineOptions& options, const TVePalette256*,
                                            const TVePalette256*);
};

// The V9938 graphic modes 6 and 7 are the MSX screens 7 and 8 of the same chip: the MSX
// engines convert them and write their files. Modes 0 to 5 in catalogue order.
constexpr int Ti99V9938ModeCount = 6;
const TVeMSXModeInfo& Ti99V9938ModeInfo(int index);

template <int M> class TVeTI99V9938EngineOptionsT : public TVeMSXEngineOptions {
public:
  TVeTI99V9938EngineOptionsT() : TVeMSXEngineOptions(Ti99V9938ModeInfo(M)) {}
};

template <int M>
class TVeTI99V9938EngineT : public TVeDestEngineOf<TVeTI99V9938EngineOptionsT<M>, TVeMSXEngineUI> {
public:
  static std::string PlatformName() { return "TI-99/4A"; }
  static std::string ModeName() { return Ti99V9938ModeInfo(M).Mode; }
  static std::unique_ptr<TVeBitmap> Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                            std::unique_ptr<TVeStreamList>& files,
                                            TVeDestProgress& progress,
                                            TVeDestEngineOptions& options, const TVePalette256*,
                                            const TVePalette256*) {
    return MsxConvert(Ti99V9938ModeInfo(M), cancel, source, files, progress, options);
  }
};

class TVeDestEngineList;
void RegisterTi99Engines(TVeDestEngineList& list);
