#pragma once
// The seven V9990 bitmap engines of mode B1: BP2, BP4 and BP6 choose 4, 16 or 64 colours of
// the 15-bit palette, BD8 and BD16 dither to fixed colours, BYJK and BYUV encode groups of
// four pixels as the MSX screen 12 does. Each writes a G9B picture.
#include <memory>
#include <string>

#include "VeDestEngine.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"
#include "VeModeTableEngine.h"

enum class TVeV9990Kind : uint8_t { Palette, Bd8, Yjk, Yuv, Bd16 };

struct TVeV9990ModeInfo {
  const char* Mode; // the catalogue's mode name
  int Width, Height;
  TVeV9990Kind Kind;
  int Bits;   // stored bits per pixel
  int Colors; // palette entries chosen, 0 for direct colour
  uint8_t ColorType;
};
// Modes by catalogue position 0..6.
constexpr int V9990ModeCount = 7;
const TVeV9990ModeInfo& V9990ModeInfo(int index);

class TVeV9990EngineOptions : public TVeModeTableOptions<TVeV9990ModeInfo> {
public:
  explicit TVeV9990EngineOptions(const TVeV9990ModeInfo& mode);
  bool UsesColorDistance() const override { return FMode->Kind == TVeV9990Kind::Palette; }
};

class TVeV9990EngineUI : public TVeDestEngineUIEx {
public:
  explicit TVeV9990EngineUI(TVeDestEngineOptions& options);
};

std::unique_ptr<TVeBitmap> V9990Convert(const TVeV9990ModeInfo& mode, const TVeCancelFlag* cancel,
                                        const TVeBitmap32& source,
                                        std::unique_ptr<TVeStreamList>& files,
                                        TVeDestProgress& progress, TVeDestEngineOptions& options);

struct TVeV9990Family {
  using Info = TVeV9990ModeInfo;
  using Options = TVeV9990EngineOptions;
  using UI = TVeV9990EngineUI;
  static const char* Platform() { return "MSX V9990 VDP"; }
  static const Info& ModeInfo(int index) { return V9990ModeInfo(index); }
  static constexpr auto& Convert = V9990Convert;
};
template <int I> using TVeV9990EngineT = TVeModeTableEngine<TVeV9990Family, I>;

using TVeV9990BP2Engine = TVeV9990EngineT<0>;
using TVeV9990BP4Engine = TVeV9990EngineT<1>;
using TVeV9990BP6Engine = TVeV9990EngineT<2>;
using TVeV9990BD8Engine = TVeV9990EngineT<3>;
using TVeV9990BYJKEngine = TVeV9990EngineT<4>;
using TVeV9990BYUVEngine = TVeV9990EngineT<5>;
using TVeV9990BD16Engine = TVeV9990EngineT<6>;

class TVeDestEngineList;
void RegisterV9990Engines(TVeDestEngineList& list);
