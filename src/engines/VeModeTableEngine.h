#pragma once
// Engines of a platform whose modes are rows of one table: each mode's options are built
// from its row, and one function converts every mode. New platforms mostly take this shape,
// so the per-mode classes are written once here. A family class F provides
//   using Info = ...;    a row, with at least Mode (the catalogue's name), Width and Height
//   using Options = ...; a TVeModeTableOptions<Info> constructible from const Info&
//   using UI = ...;      the panel, constructible from TVeDestEngineOptions&
//   static const char* Platform();
//   static const Info& ModeInfo(int index);
//   static std::unique_ptr<TVeBitmap> Convert(const Info&, const TVeCancelFlag*,
//       const TVeBitmap32&, std::unique_ptr<TVeStreamList>&, TVeDestProgress&,
//       TVeDestEngineOptions&);
// and may provide static TVeModeRule ModeRule(const Info&, const TVeDestEngineOptions&).
#include <memory>
#include <string>
#include <utility>

#include "VeDestEngine.h"
#include "VeDestEngineList.h"
#include "VeDestEngineOptions.h"

// Options of a fixed-size mode described by a table row.
template <class Info> class TVeModeTableOptions : public TVeDestFixedSizeEngineOptions {
public:
  explicit TVeModeTableOptions(const Info& mode) : FMode(&mode) {}
  const Info& Mode() const { return *FMode; }
  TVeSize GetDefaultSize() const override { return {FMode->Width, FMode->Height}; }
  int GetWidth() const override { return FMode->Width; }
  int GetHeight() const override { return FMode->Height; }

protected:
  const Info* FMode;
};

// The options of row I, default-constructible as the registry needs.
template <class F, int I> class TVeModeTableOptionsOf : public F::Options {
public:
  TVeModeTableOptionsOf() : F::Options(F::ModeInfo(I)) {}
};

// The engine of row I.
template <class F, int I>
class TVeModeTableEngine : public TVeDestEngineOf<TVeModeTableOptionsOf<F, I>, typename F::UI> {
public:
  static std::string PlatformName() { return F::Platform(); }
  static std::string ModeName() { return F::ModeInfo(I).Mode; }
  static std::unique_ptr<TVeBitmap> Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                            std::unique_ptr<TVeStreamList>& files,
                                            TVeDestProgress& progress,
                                            TVeDestEngineOptions& options, const TVePalette256*,
                                            const TVePalette256*) {
    return F::Convert(F::ModeInfo(I), cancel, source, files, progress, options);
  }
  static TVeModeRule ModeRule(const TVeDestEngineOptions& options) requires requires {
    F::ModeRule(F::ModeInfo(I), options);
  }
  { return F::ModeRule(F::ModeInfo(I), options); }
};

// Puts the engines of rows 0 to N - 1 in place of their catalogue entries.
template <class F, int N> void VeReplaceModeTableEngines(TVeDestEngineList& list) {
  [&]<int... I>(std::integer_sequence<int, I...>) {
    (list.Replace(std::make_unique<TVeDestEngineClassOf<TVeModeTableEngine<F, I>>>()), ...);
  }
  (std::make_integer_sequence<int, N>{});
}
