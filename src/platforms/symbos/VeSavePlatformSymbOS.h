#pragma once
// The SymbOS engine (the catalogue's mode without a name): a 320 x 200 picture dithered to
// the desktop colours of the host chosen as palette type and written as an uncompressed
// ".sgx" file, of 16-colour chunks for the MSX colours and 4-colour chunks for the CPC's.
#include <memory>
#include <string>

#include "VeDest.h"
#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"
#include "symbos/VePlatformSymbOS.h"

class TVeSymbOSEngineOptions
    : public TVeSizedOptions<TVeDestFixedSizeEngineOptions, SymbOSWidth, SymbOSHeight> {
public:
  TVeSymbOSEngineOptions();
  void SetPaletteType(TVePaletteType value) override;
  void PaletteChanged() override;
};

class TVeSymbOSEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeSymbOSEngineUI(TVeDestEngineOptions& options);
};

class TVeSymbOSEngine : public TVeDestEngineOf<TVeSymbOSEngineOptions, TVeSymbOSEngineUI> {
public:
  static std::string PlatformName() { return "SymbOS"; }
  static std::string ModeName() { return ""; }
  static TVeConvertFunction Convert;
};

class TVeDestEngineList;
void RegisterSymbOSEngines(TVeDestEngineList& list);
