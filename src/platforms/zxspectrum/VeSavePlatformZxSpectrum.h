#pragma once
// The ZX Spectrum standard screen engine: "256x192x4" in the modes "Black/white" (6144-byte
// file), "Gray" and "Сolor" (6912-byte file with attributes).
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "VeBitmap32.h"
#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"
#include "VeRowFeed.h"

// Native size 256 x 192 with 8 x 8 attribute cells.
class TVeZxSpectrumEngineOptions : public TVeDestFixedSizeEngineOptions {
public:
  TVeSize GetDefaultSize() const override { return {256, 192}; }
  int GetWidth() const override { return 256; }
  int GetHeight() const override { return 192; }
  int GetCellWidth() const override { return 8; }
  int GetCellHeight() const override { return 8; }
};

// "Linear" palette, mode "Сolor", 90 % diffusion; the palette follows mode and type.
class TVeZxSpectrumColorEngineOptions : public TVeZxSpectrumEngineOptions {
public:
  TVeZxSpectrumColorEngineOptions();
  void SetPaletteType(TVePaletteType value) override;
  void SetPaletteMode(uint8_t value) override;
  void PaletteChanged() override;
};

// The standard screen's defaults: all of the error, and none dropped inside a cell. The
// cells' two colours then keep the picture's tone; with 90 % and the inside limit the
// results came out about 9 L* darker than their sources.
class TVeZxSpectrumStandardEngineOptions : public TVeZxSpectrumColorEngineOptions {
public:
  TVeZxSpectrumStandardEngineOptions();
};

// Palette modes offered: "Black/white", "Gray", "Сolor".
constexpr uint8_t zxModeBlackWhite = 0;
constexpr uint8_t zxModeGray = 1;
constexpr uint8_t zxModeColor = 11;
constexpr uint32_t ZxSpectrumModeMask = 2051;

// "Pulsar (205)", "Linear", "Vardel (160)" for the panels' palette type list.
std::vector<std::pair<std::string, TVePaletteType>> ZxSpectrumPaletteTypeList();
// The eight colours of the border (no bright) as the options' palette type shows them.
std::vector<int> ZxSpectrumBorderColors(const TVeDestEngineOptions& options);

class TVeZxSpectrumColorEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeZxSpectrumColorEngineUI(TVeDestEngineOptions& options);
};

// The conversion of an engine built on the ZX cell conversion, its source's rows still
// arriving through arriving, or whole when that is null.
using TVeZxCellsRun = std::unique_ptr<TVeBitmap>(const TVeCancelFlag* cancel,
                                                 const TVeBitmap32& source, TVeRowFeed* arriving,
                                                 std::unique_ptr<TVeStreamList>& files,
                                                 TVeDestProgress& progress,
                                                 TVeDestEngineOptions& options);

// The static conversions of an engine E that provides "static TVeZxCellsRun Run;": it starts
// on arriving rows in every mode but "Black/white", which dithers the whole picture at once.
template <class E> struct TVeZxCellsEngine {
  static std::unique_ptr<TVeBitmap> Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                            std::unique_ptr<TVeStreamList>& files,
                                            TVeDestProgress& progress,
                                            TVeDestEngineOptions& options, const TVePalette256*,
                                            const TVePalette256*) {
    return E::Run(cancel, source, nullptr, files, progress, options);
  }
  static bool ConvertsArrivingRows(const TVeDestEngineOptions& options) {
    return options.PaletteMode() != zxModeBlackWhite;
  }
  static std::unique_ptr<TVeBitmap> ConvertArriving(const TVeCancelFlag* cancel,
                                                    const TVeBitmap32& source, TVeRowFeed& rows,
                                                    std::unique_ptr<TVeStreamList>& files,
                                                    TVeDestProgress& progress,
                                                    TVeDestEngineOptions& options) {
    if (ConvertsArrivingRows(options))
      return E::Run(cancel, source, &rows, files, progress, options);
    rows.WaitRowsOrAbort(source.Height());
    return E::Run(cancel, source, nullptr, files, progress, options);
  }
};

// The attribute rule over the options' cells: two colours of one brightness per cell, or
// black and white alone in "Black/white".
TVeModeRule ZxSpectrumCellRule(const TVeDestEngineOptions& options);

class TVeZxSpectrumEngine
    : public TVeDestEngineOf<TVeZxSpectrumStandardEngineOptions, TVeZxSpectrumColorEngineUI>,
      public TVeZxCellsEngine<TVeZxSpectrumEngine> {
public:
  static std::string PlatformName() { return "ZX Spectrum"; }
  static std::string ModeName() { return "256x192x4"; }
  static TVeZxCellsRun Run;
  static TVeModeRule ModeRule(const TVeDestEngineOptions& o) { return ZxSpectrumCellRule(o); }
};

class TVeCellScreen;
// The cell conversion of the standard screen over any attribute screen: mode "Gray" with
// the gray pairs (reporting the four gray colours with the result), otherwise "Сolor". With
// arriving, the source's rows are still arriving through that feed.
std::unique_ptr<TVeBitmap>
ZxSpectrumConvertCells(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                       TVeDestProgress& progress, TVeDestEngineOptions& options,
                       TVeCellScreen& screen, TVeRowFeed* arriving = nullptr);

class TVeDestEngineList;
// Puts the platform's engines in place of their catalogue entries.
void RegisterZxSpectrumEngines(TVeDestEngineList& list);
