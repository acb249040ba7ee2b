#pragma once
// The destination-engine contract. Every target screen mode is one engine class. The
// registry holds one TVeDestEngineClass object per engine class (the class-level operations:
// names, display scale, the virtual constructor and the conversion); the controller creates
// an engine instance from it for the instance-level operations (options and option panel).
// Engines are stateless: everything a conversion needs arrives as arguments.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"
#include "VeRuleCheck.h"

class TVeBitmap;
class TVeBitmap32;
class TVeDestProgress; // VeProgress.h
class TVePalette256;
class TVeStreamList;
class TVeDestEngineClass;
class TVeRowFeed; // VeRowFeed.h

// The cancel flag of a run: written by the controller, polled by the worker (and by job lists).
using TVeCancelFlag = std::atomic<std::uint8_t>;

class TVeDestEngine {
public:
  virtual ~TVeDestEngine();

  // The panel of the mode, bound to the given options object (not owned).
  virtual std::unique_ptr<TVeDestEngineUI> CreateUI(TVeDestEngineOptions& options) const = 0;
  // A fresh options object of the engine's own class with that class's defaults.
  virtual std::unique_ptr<TVeDestEngineOptions> CreateOptions() const = 0;

  const TVeDestEngineClass* Class() const { return FClass; }

private:
  friend class TVeDestEngineClass;
  const TVeDestEngineClass* FClass = nullptr;
};

// The static ConvertArriving an engine class may provide as well (see
// TVeDestEngineClass::ConvertArriving), with a static "bool ConvertsArrivingRows(const
// TVeDestEngineOptions&)".
using TVeConvertArrivingFunction = std::unique_ptr<TVeBitmap>(const TVeCancelFlag* cancel,
                                                              const TVeBitmap32& source,
                                                              TVeRowFeed& rows,
                                                              std::unique_ptr<TVeStreamList>& files,
                                                              TVeDestProgress& progress,
                                                              TVeDestEngineOptions& options);

// The static Convert every engine class provides (see TVeDestEngineClass::Convert), so an
// engine declares it as "static TVeConvertFunction Convert;".
using TVeConvertFunction = std::unique_ptr<TVeBitmap>(
    const TVeCancelFlag* cancel, const TVeBitmap32& source, std::unique_ptr<TVeStreamList>& files,
    TVeDestProgress& progress, TVeDestEngineOptions& options, const TVePalette256* usedColors,
    const TVePalette256* sourcePalette);

// An engine whose options and panel are the classes TOptions and TUI.
template <class TOptions, class TUI> class TVeDestEngineOf : public TVeDestEngine {
public:
  std::unique_ptr<TVeDestEngineUI> CreateUI(TVeDestEngineOptions& options) const override {
    return std::make_unique<TUI>(options);
  }
  std::unique_ptr<TVeDestEngineOptions> CreateOptions() const override {
    return VeNewOptions<TOptions>();
  }
};

class TVeDestEngineClass {
public:
  virtual ~TVeDestEngineClass();

  virtual std::string GetPlatformName() const = 0;
  virtual std::string GetModeName() const = 0;
  // Magnification of this mode's images in the views, on top of the user's zoom.
  virtual int GetDisplayScale() const { return 1; }
  // True for a mode that still lacks its machine's rules (palette, cells, files): its result
  // is a preview only and is shown as such.
  virtual bool PreviewOnly() const { return false; }
  // Why a preview-only mode cannot follow its machine, where that is known (else empty).
  virtual std::string PreviewOnlyReason() const { return {}; }
  // The colour rule of the mode with these options, for checking drawn pictures; not
  // checkable unless the engine describes it.
  virtual TVeModeRule GetModeRule(const TVeDestEngineOptions&) const { return {}; }
  // The virtual constructor; the controller creates engines only through it.
  std::unique_ptr<TVeDestEngine> Create() const {
    std::unique_ptr<TVeDestEngine> engine = NewEngine();
    engine->FClass = this;
    return engine;
  }
  // The conversion; runs on a worker thread and touches nothing but its arguments.
  //   cancel: becomes non-zero when the run is stale (may be passed on to job lists);
  //   source: the prepared picture, exactly the engine's width x height, border painted;
  //   files: null on entry; an engine with native files creates the list and adds streams;
  //   progress: Total and Done of the run;
  //   options: a private copy the engine may change (the palette it used goes here);
  //   usedColors: the distinct colours of the source, or null when there are too many;
  //   sourcePalette: the palette stored in the source file, or null.
  // Returns the result bitmap (with its frames for modes that alternate frames); failures
  // are exceptions.
  virtual std::unique_ptr<TVeBitmap> Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                             std::unique_ptr<TVeStreamList>& files,
                                             TVeDestProgress& progress,
                                             TVeDestEngineOptions& options,
                                             const TVePalette256* usedColors,
                                             const TVePalette256* sourcePalette) const = 0;
  // Whether ConvertArriving starts before the last row with these options: true for an
  // engine that reads the picture band by band from the top and needs neither usedColors
  // nor sourcePalette, so that it works while the picture is still decoded and resized.
  virtual bool ConvertsArrivingRows(const TVeDestEngineOptions&) const { return false; }
  // Convert of a source whose rows become final as rows reports them, with neither
  // usedColors nor sourcePalette; the same result as Convert of the finished source. A
  // failed making of the rows stops it with the silent abort. This one waits for every row.
  virtual std::unique_ptr<TVeBitmap> ConvertArriving(const TVeCancelFlag* cancel,
                                                     const TVeBitmap32& source, TVeRowFeed& rows,
                                                     std::unique_ptr<TVeStreamList>& files,
                                                     TVeDestProgress& progress,
                                                     TVeDestEngineOptions& options) const;

protected:
  virtual std::unique_ptr<TVeDestEngine> NewEngine() const = 0;
};

// The caption a preview-only mode's result carries.
inline constexpr const char* VePreviewOnlyCaption =
    "(preview only: no machine palette or files yet)";

// The class object of an engine class E that provides, as static members, PlatformName(),
// ModeName(), optionally DisplayScale(), and Convert with the arguments above.
template <class E> class TVeDestEngineClassOf final : public TVeDestEngineClass {
public:
  std::string GetPlatformName() const override { return E::PlatformName(); }
  std::string GetModeName() const override { return E::ModeName(); }
  int GetDisplayScale() const override {
    if constexpr (requires { E::DisplayScale(); })
      return E::DisplayScale();
    else
      return 1;
  }
  std::unique_ptr<TVeBitmap> Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                     std::unique_ptr<TVeStreamList>& files,
                                     TVeDestProgress& progress, TVeDestEngineOptions& options,
                                     const TVePalette256* usedColors,
                                     const TVePalette256* sourcePalette) const override {
    return E::Convert(cancel, source, files, progress, options, usedColors, sourcePalette);
  }
  TVeModeRule GetModeRule(const TVeDestEngineOptions& options) const override {
    if constexpr (requires { E::ModeRule(options); })
      return E::ModeRule(options);
    else
      return {};
  }
  bool ConvertsArrivingRows(const TVeDestEngineOptions& options) const override {
    if constexpr (requires { E::ConvertsArrivingRows(options); })
      return E::ConvertsArrivingRows(options);
    else
      return false;
  }
  std::unique_ptr<TVeBitmap> ConvertArriving(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                             TVeRowFeed& rows,
                                             std::unique_ptr<TVeStreamList>& files,
                                             TVeDestProgress& progress,
                                             TVeDestEngineOptions& options) const override {
    if constexpr (requires { E::ConvertArriving; })
      return E::ConvertArriving(cancel, source, rows, files, progress, options);
    else
      return TVeDestEngineClass::ConvertArriving(cancel, source, rows, files, progress, options);
  }

protected:
  std::unique_ptr<TVeDestEngine> NewEngine() const override { return std::make_unique<E>(); }
};
