#pragma once
// The seven IBM PC engines: CGA 320 x 200 in four colours and 640 x 200 in two, the EGA
// 16-colour screens and the VGA 256-colour and 640 x 480 screens, with BSAVE pictures of the
// CGA memory and PCX pictures.
#include <cstdint>
#include <memory>
#include <string>

#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"
#include "VeModeTableEngine.h"
#include "VeRuleCheck.h"

enum class TVeIbmKind : uint8_t {
  Cga4,    // background of 16 and one of six fixed triples
  Cga2,    // black and one foreground of 16
  EgaRgbi, // 200-line EGA: the monitor shows only the 16 RGBI colours
  Ega64,   // 350 lines: 16 of the 64 rgbRGB colours
  Vga256,  // 256 of the 262144 DAC colours
  Vga16,   // 16 palette registers through the DAC
};

struct TVeIbmModeInfo {
  TVeIbmKind Kind;
  const char* Mode; // the catalogue's mode name
  int Width, Height;
  uint8_t Aspect;
  int Colors;
  uint32_t ModeMask; // "&Mode:" entries offered; 0 for none
};
// The modes in catalogue order (0 to 6).
constexpr int IbmModeCount = 7;
const TVeIbmModeInfo& IbmModeInfo(int index);

// Choices of the CGA lists that mean "the best for the picture".
constexpr int ibmBestColor = 16;
constexpr uint8_t ibmModeBlackWhite = 0;
constexpr uint8_t ibmModeGray = 1;
constexpr uint8_t ibmModeColor = 11;
constexpr uint8_t ibmModeCustom = 16;

class TVeIbmEngineOptions : public TVeModeTableOptions<TVeIbmModeInfo> {
public:
  explicit TVeIbmEngineOptions(const TVeIbmModeInfo& mode);
  void SetPaletteType(TVePaletteType value) override;
  void SetPaletteMode(uint8_t value) override;
  void PaletteChanged() override;
};

class TVeIbmEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeIbmEngineUI(TVeDestEngineOptions& options);
};

std::unique_ptr<TVeBitmap> IbmConvert(const TVeIbmModeInfo& mode, const TVeCancelFlag* cancel,
                                      const TVeBitmap32& source,
                                      std::unique_ptr<TVeStreamList>& files,
                                      TVeDestProgress& progress, TVeDestEngineOptions& options);

struct TVeIbmFamily {
  using Info = TVeIbmModeInfo;
  using Options = TVeIbmEngineOptions;
  using UI = TVeIbmEngineUI;
  static const char* Platform() { return "IBM"; }
  static const Info& ModeInfo(int index) { return IbmModeInfo(index); }
  static constexpr auto& Convert = IbmConvert;
  static TVeModeRule ModeRule(const Info& mode, const TVeDestEngineOptions& options);
};
template <int M> using TVeIbmEngineT = TVeModeTableEngine<TVeIbmFamily, M>;

using TVeIbmCga320Engine = TVeIbmEngineT<0>;
using TVeIbmCga640Engine = TVeIbmEngineT<1>;
using TVeIbmEga320Engine = TVeIbmEngineT<2>;
using TVeIbmEga640Engine = TVeIbmEngineT<3>;
using TVeIbmEga350Engine = TVeIbmEngineT<4>;
using TVeIbmVga256Engine = TVeIbmEngineT<5>;
using TVeIbmVga640Engine = TVeIbmEngineT<6>;

class TVeDestEngineList;
void RegisterIbmEngines(TVeDestEngineList& list);
