#pragma once
// The engine behind every catalogue entry that has no engine of its own yet. It honours the
// engine contract with what the mode name tells: "320x200x4" is 320 x 200 pixels in 16
// colours. The palette is a fixed RGB palette of that many colours, the picture is dithered
// to it with the options' method, and no native files are produced.
#include <string>

#include "VeDestEngine.h"

class TVeDestEngineList;

struct TVeGenericFormat {
  int Width = 256;
  int Height = 192;
  int Bits = 4;              // colours = 2^Bits
  bool VariableSize = false; // the size follows the source picture
  bool operator==(const TVeGenericFormat&) const = default;
};

// Size and bit depth from a catalogue entry. The first "WxH" or "WxHxB" in the mode name
// gives them; without a size 256 x 192 is used, without a depth 4 bits (16 colours). The
// "Common" entries follow the source size: "B/W" in 1 bit, the others in 8 bits.
TVeGenericFormat VeGenericFormat(const std::string& platform, const std::string& mode);

class TVeGenericEngineOptions : public TVeDestFixedSizeEngineOptions {
public:
  explicit TVeGenericEngineOptions(TVeSize size) : FSize(size) {}
  TVeSize GetDefaultSize() const override { return FSize; }

private:
  TVeSize FSize;
};

class TVeGenericVariableEngineOptions : public TVeDestEngineOptions {};

class TVeGenericEngineUI : public TVeDestEngineUIEx {
public:
  TVeGenericEngineUI(TVeDestEngineOptions& options, bool variableSize);
};

class TVeGenericEngineClass : public TVeDestEngineClass {
public:
  TVeGenericEngineClass(std::string platform, std::string mode, int displayScale,
                        std::string reason = {});

  std::string GetPlatformName() const override { return FPlatform; }
  std::string GetModeName() const override { return FMode; }
  int GetDisplayScale() const override { return FDisplayScale; }
  bool PreviewOnly() const override { return true; }
  std::string PreviewOnlyReason() const override { return FReason; }
  const TVeGenericFormat& Format() const { return FFormat; }

  std::unique_ptr<TVeBitmap> Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                     std::unique_ptr<TVeStreamList>& files,
                                     TVeDestProgress& progress, TVeDestEngineOptions& options,
                                     const TVePalette256* usedColors,
                                     const TVePalette256* sourcePalette) const override;

protected:
  std::unique_ptr<TVeDestEngine> NewEngine() const override;

private:
  std::string FPlatform;
  std::string FMode;
  int FDisplayScale;
  TVeGenericFormat FFormat;
  std::string FReason;
};

// Keeps a mode's placeholder and records why its machine's rules cannot be followed.
void VeMarkPreviewOnly(TVeDestEngineList& list, const std::string& platform,
                       const std::string& mode, const std::string& reason);

class TVeGenericEngine : public TVeDestEngine {
public:
  std::unique_ptr<TVeDestEngineUI> CreateUI(TVeDestEngineOptions& options) const override;
  std::unique_ptr<TVeDestEngineOptions> CreateOptions() const override;

private:
  const TVeGenericFormat& Format() const;
};
