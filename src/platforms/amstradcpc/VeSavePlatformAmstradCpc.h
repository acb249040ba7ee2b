#pragma once
// The nine Amstrad CPC screen engines: modes 0, 1 and 2, their overscan versions, the
// 512 x 256 ".hgb" screen and the B0/B1 flicker modes, with their AMSDOS files.
#include <cstdint>
#include <memory>
#include <string>

#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"
#include "VeModeTableEngine.h"
#include "VeStream.h"

enum TVeCPCKind : uint8_t { cpcStandard, cpcOverscan, cpcHgb, cpcFlicker };

// What distinguishes the modes.
struct TVeCPCModeInfo {
  const char* Mode; // the catalogue's mode name
  int Screen;       // firmware screen mode 0, 1, 2
  TVeCPCKind Kind;
  int Width, Height;
  uint8_t Aspect;
  bool PaletteTypes; // the Gate Array and ASIC types are offered
  bool Plus;         // ptCPCPlus is offered too
  uint32_t ModeMask; // "&Mode:" entries offered (bit v = value v); 0 for none
  uint8_t DefaultMode;
  int ErrorDiffusion;
  int Pens() const { return Screen == 0 ? 16 : Screen == 1 ? 4 : 2; }
  bool Flicker() const { return Kind == cpcFlicker; }
  // Bytes of one pixel row.
  int RowBytes() const { return Width / (Screen == 0 ? 2 : Screen == 1 ? 4 : 8); }
};
// Modes by catalogue position 0 ... 8, or "Internal error".
const TVeCPCModeInfo& CpcModeInfo(int index);

// Palette modes of the CPC panels.
constexpr uint8_t cpcModeBlackWhite = 0;
constexpr uint8_t cpcModeGray = 1;
constexpr uint8_t cpcModeColorBright = 10;
constexpr uint8_t cpcModeColor = 11;
constexpr uint8_t cpcModeCustom = 16;

// A file with an AMSDOS header whose name part is set when it is saved.
class TVeAmsdosStream : public TVeStream {
public:
  // A stream of the header and dataLength bytes of data, the header filled with a blank name.
  TVeAmsdosStream(const std::string& extension, uint8_t type, int dataLength, uint16_t load,
                  uint16_t entry);
  uint8_t* FileData() { return Data() + HeaderSize; }
  void BeforeSave(const std::string& fileName) override;
};

class TVeCPCEngineOptions : public TVeModeTableOptions<TVeCPCModeInfo> {
public:
  explicit TVeCPCEngineOptions(const TVeCPCModeInfo& mode);
  void SetPaletteType(TVePaletteType value) override;
  void SetPaletteMode(uint8_t value) override;
  // The colours the panel shows before a conversion, and the 27 colours as the base palette
  // (the custom palette grid offers them).
  void PaletteChanged() override;
};

class TVeCPCEngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeCPCEngineUI(TVeDestEngineOptions& options);
};

// The conversion of every CPC mode.
std::unique_ptr<TVeBitmap> CpcConvert(const TVeCPCModeInfo& mode, const TVeCancelFlag* cancel,
                                      const TVeBitmap32& source,
                                      std::unique_ptr<TVeStreamList>& files,
                                      TVeDestProgress& progress, TVeDestEngineOptions& options);

struct TVeCPCFamily {
  using Info = TVeCPCModeInfo;
  using Options = TVeCPCEngineOptions;
  using UI = TVeCPCEngineUI;
  static const char* Platform() { return "Amstrad CPC"; }
  static const Info& ModeInfo(int index) { return CpcModeInfo(index); }
  static constexpr auto& Convert = CpcConvert;
  static TVeModeRule ModeRule(const Info& mode, const TVeDestEngineOptions& options);
};
template <int I> using TVeAmstradCPCEngineT = TVeModeTableEngine<TVeCPCFamily, I>;

using TVeAmstradCPCMode0Engine = TVeAmstradCPCEngineT<0>;
using TVeAmstradCPCMode0ExEngine = TVeAmstradCPCEngineT<1>;
using TVeAmstradCPCMode1Engine = TVeAmstradCPCEngineT<2>;
using TVeAmstradCPCMode1ExEngine = TVeAmstradCPCEngineT<3>;
using TVeAmstradCPCMode2Engine = TVeAmstradCPCEngineT<4>;
using TVeAmstradCPCMode2ExEngine = TVeAmstradCPCEngineT<5>;
using TVeAmstradCPCMode2HGBEngine = TVeAmstradCPCEngineT<6>;
using TVeAmstradCPCModeB0Engine = TVeAmstradCPCEngineT<7>;
using TVeAmstradCPCModeB1Engine = TVeAmstradCPCEngineT<8>;

// Puts the nine engines in place of their catalogue entries (start-up only).
class TVeDestEngineList;
void RegisterAmstradCpcEngines(TVeDestEngineList& list);
