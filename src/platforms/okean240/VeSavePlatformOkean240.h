#pragma once
// The Okean-240 engines: "256x256x2" (the four colours of the palette number that suits the
// picture) and "512x256x1" (one colour on black, the number chosen likewise); the file
// ("okn") is the video page and the control byte. Their Gigascreen versions "256x256x4
// Gigascreen" and "512x256x2 Gigascreen" show both video pages on alternate frames ("okg":
// both pages and the control byte).
#include <memory>
#include <string>

#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"
#include "VeModeTableEngine.h"

struct TVeOkean240ModeInfo {
  const char* Mode; // the catalogue's mode name
  bool Color;       // 256 x 256 in four colours, else 512 x 256 in two
  int Width, Height;
  uint8_t Aspect;
  bool Giga = false; // both pages on alternate frames
};
// The modes 0..3.
const TVeOkean240ModeInfo& Okean240ModeInfo(int index);

class TVeOkean240EngineOptions : public TVeModeTableOptions<TVeOkean240ModeInfo> {
public:
  explicit TVeOkean240EngineOptions(const TVeOkean240ModeInfo& mode);
  bool UsesColorDistance() const override { return !FMode->Giga; }
  int GetCellWidth() const override { return FMode->Color ? 1 : FMode->Width; }
  int GetCellHeight() const override { return FMode->Color ? 1 : FMode->Height; }
  void SetPaletteType(TVePaletteType value) override;
  void PaletteChanged() override;
};

class TVeOkean240EngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeOkean240EngineUI(TVeDestEngineOptions& options);
};

std::unique_ptr<TVeBitmap> Okean240Convert(const TVeOkean240ModeInfo& mode,
                                           const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                           std::unique_ptr<TVeStreamList>& files,
                                           TVeDestProgress& progress,
                                           TVeDestEngineOptions& options);

struct TVeOkean240Family {
  using Info = TVeOkean240ModeInfo;
  using Options = TVeOkean240EngineOptions;
  using UI = TVeOkean240EngineUI;
  static const char* Platform() { return "Okean-240"; }
  static const Info& ModeInfo(int index) { return Okean240ModeInfo(index); }
  static constexpr auto& Convert = Okean240Convert;
};
template <int I> using TVeOkean240EngineT = TVeModeTableEngine<TVeOkean240Family, I>;

using TVeOkean240Engine = TVeOkean240EngineT<0>;
using TVeOkean240MonoEngine = TVeOkean240EngineT<1>;
using TVeOkean240GigaEngine = TVeOkean240EngineT<2>;
using TVeOkean240MonoGigaEngine = TVeOkean240EngineT<3>;

class TVeDestEngineList;
void RegisterOkean240Engines(TVeDestEngineList& list);
