#pragma once
// The Sinclair QL engines: modes 4 and 8 in their fixed colours (32 KB screen dump "scr" and
// "pic"), and the GD2 16-bit colour modes 32 and 33 ("pic"). "GD2 16 512x480x8" keeps its
// placeholder.
#include <memory>
#include <string>

#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"

constexpr uint8_t qlModeBlackWhite = 0;
constexpr uint8_t qlModeColor = 11;

class TVeSinclairQlEngineOptions : public TVeDestFixedSizeEngineOptions {
public:
  // mode: 4, 8, 32 or 33.
  explicit TVeSinclairQlEngineOptions(int mode);
  int Mode() const { return FMode; }
  TVeSize GetDefaultSize() const override;
  int GetWidth() const override { return GetDefaultSize().Width; }
  int GetHeight() const override { return GetDefaultSize().Height; }
  void SetPaletteMode(uint8_t value) override;
  void PaletteChanged() override;

private:
  int FMode;
};

template <int M> class TVeSinclairQlEngineOptionsT : public TVeSinclairQlEngineOptions {
public:
  TVeSinclairQlEngineOptionsT() : TVeSinclairQlEngineOptions(M) {}
  bool UsesColorDistance() const override { return M != 32 && M != 33; }
};

class TVeSinclairQlEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeSinclairQlEngineUI(TVeDestEngineOptions& options);
};

std::unique_ptr<TVeBitmap> SinclairQlConvert(int mode, const TVeCancelFlag* cancel,
                                             const TVeBitmap32& source,
                                             std::unique_ptr<TVeStreamList>& files,
                                             TVeDestProgress& progress,
                                             TVeDestEngineOptions& options);
const char* SinclairQlModeName(int mode);

template <int M>
class TVeSinclairQlEngineT
    : public TVeDestEngineOf<TVeSinclairQlEngineOptionsT<M>, TVeSinclairQlEngineUI> {
public:
  static std::string PlatformName() { return "Sinclair QL"; }
  static std::string ModeName() { return SinclairQlModeName(M); }
  static std::unique_ptr<TVeBitmap> Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                            std::unique_ptr<TVeStreamList>& files,
                                            TVeDestProgress& progress,
                                            TVeDestEngineOptions& options, const TVePalette256*,
                                            const TVePalette256*) {
    return SinclairQlConvert(M, cancel, source, files, progress, options);
  }
};

using TVeSinclairQlMode4Engine = TVeSinclairQlEngineT<4>;
using TVeSinclairQlMode8Engine = TVeSinclairQlEngineT<8>;
using TVeSinclairQlGd2Mode32Engine = TVeSinclairQlEngineT<32>;
using TVeSinclairQlGd2Mode33Engine = TVeSinclairQlEngineT<33>;

class TVeDestEngineList;
void RegisterSinclairQlEngines(TVeDestEngineList& list);
