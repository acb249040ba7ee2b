#pragma once
// The three Vector-06C screen engines: 256 x 256 in 16 of 256 colours, and the two
// line-change modes that rewrite a few palette registers between lines (HAM1 holds black in
// register 0, HAM2 may change every register).
#include <memory>
#include <string>

#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"

struct TVeVectorModeInfo {
  const char* Mode; // the catalogue's mode name
  int HamType;      // -1 for the plain screen
};
// Modes by catalogue position 0..2.
const TVeVectorModeInfo& VectorModeInfo(int index);

class TVeVectorEngineOptions : public TVeDestFixedSizeEngineOptions {
public:
  explicit TVeVectorEngineOptions(const TVeVectorModeInfo& mode);
  const TVeVectorModeInfo& Mode() const { return *FMode; }
  TVeSize GetDefaultSize() const override { return {256, 256}; }
  int GetWidth() const override { return 256; }
  int GetHeight() const override { return 256; }
  // The line-change type the conversion uses (engine flag A).
  int HamType() const { return EngineFlagA(); }

private:
  const TVeVectorModeInfo* FMode;
};

template <int I> class TVeVectorEngineOptionsT : public TVeVectorEngineOptions {
public:
  TVeVectorEngineOptionsT() : TVeVectorEngineOptions(VectorModeInfo(I)) {}
};

class TVeVectorEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeVectorEngineUI(TVeDestEngineOptions& options);
};

std::unique_ptr<TVeBitmap> VectorConvert(const TVeVectorModeInfo& mode, const TVeCancelFlag* cancel,
                                         const TVeBitmap32& source,
                                         std::unique_ptr<TVeStreamList>& files,
                                         TVeDestProgress& progress, TVeDestEngineOptions& options);

template <int I>
class TVeVectorEngineT : public TVeDestEngineOf<TVeVectorEngineOptionsT<I>, TVeVectorEngineUI> {
public:
  static std::string PlatformName() { return "Vector-06C"; }
  static std::string ModeName() { return VectorModeInfo(I).Mode; }
  static std::unique_ptr<TVeBitmap> Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                            std::unique_ptr<TVeStreamList>& files,
                                            TVeDestProgress& progress,
                                            TVeDestEngineOptions& options, const TVePalette256*,
                                            const TVePalette256*) {
    return VectorConvert(VectorModeInfo(I), cancel, source, files, progress, options);
  }
};

using TVeVectorEngine = TVeVectorEngineT<0>;
using TVeVectorHAM1Engine = TVeVectorEngineT<1>;
using TVeVectorHAM2Engine = TVeVectorEngineT<2>;

class TVeDestEngineList;
void RegisterVector06cEngines(TVeDestEngineList& list);
