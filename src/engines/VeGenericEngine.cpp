#include "VeGenericEngine.h"

#include <cctype>

#include "VeBitmap.h"
#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeImage.h"
#include "VePalette.h"
#include "VeThreadJob.h"

namespace {

// Reads the digits at s[i..]; false when there are none or the number is absurdly long.
bool ReadNumber(const std::string& s, size_t& i, int& value) {
  size_t start = i;
  value = 0;
  while (i < s.size() && std::isdigit((unsigned char)s[i])) {
    if (i - start >= 5) return false;
    value = value * 10 + (s[i] - '0');
    ++i;
  }
  return i > start;
}

} // namespace

TVeGenericFormat VeGenericFormat(const std::string& platform, const std::string& mode) {
  TVeGenericFormat f;
  if (platform == "Common") {
    f.VariableSize = true;
    f.Width = 0;
    f.Height = 0;
    f.Bits = mode == "B/W" ? 1 : 8;
    return f;
  }
  for (size_t i = 0; i < mode.size(); ++i) {
    if (!std::isdigit((unsigned char)mode[i]) ||
        (i > 0 && std::isdigit((unsigned char)mode[i - 1])))
      continue;
    size_t j = i;
    int w, h, b;
    if (!ReadNumber(mode, j, w) || j >= mode.size() || mode[j] != 'x') continue;
    ++j;
    if (!ReadNumber(mode, j, h)) continue;
    if (w < 8 || h < 8 || w > 2048 || h > 2048) continue;
    f.Width = w;
    f.Height = h;
    if (j < mode.size() && mode[j] == 'x') {
      ++j;
      if (ReadNumber(mode, j, b) && b >= 1 && b <= 16) f.Bits = b;
    }
    break;
  }
  return f;
}

// ---------------------------------------------------------------------------------------------

TVeGenericEngineUI::TVeGenericEngineUI(TVeDestEngineOptions& options, bool variableSize)
    : TVeDestEngineUIEx(options) {
  if (variableSize) AddDimension(false);
  AddPositionBorder();
  AddDithering(false);
}

TVeGenericEngineClass::TVeGenericEngineClass(std::string platform, std::string mode,
                                             int displayScale, std::string reason)
    : FPlatform(std::move(platform)), FMode(std::move(mode)),
      FDisplayScale(displayScale < 1 ? 1 : displayScale),
      FFormat(VeGenericFormat(FPlatform, FMode)), FReason(std::move(reason)) {}

void VeMarkPreviewOnly(TVeDestEngineList& list, const std::string& platform,
                       const std::string& mode, const std::string& reason) {
  const TVeDestEngineClass* current = list.Find(platform, mode);
  // A mode that became real keeps its engine.
  if (!current || current->GetPlatformName() != platform || current->GetModeName() != mode ||
      !current->PreviewOnly())
    return;
  list.Replace(
      std::make_unique<TVeGenericEngineClass>(platform, mode, current->GetDisplayScale(), reason));
}

std::unique_ptr<TVeDestEngine> TVeGenericEngineClass::NewEngine() const {
  return std::make_unique<TVeGenericEngine>();
}

const TVeGenericFormat& TVeGenericEngine::Format() const {
  auto* c = dynamic_cast<const TVeGenericEngineClass*>(Class());
  if (!c) VeInternalError();
  return c->Format();
}

std::unique_ptr<TVeDestEngineUI> TVeGenericEngine::CreateUI(TVeDestEngineOptions& options) const {
  return std::make_unique<TVeGenericEngineUI>(options, Format().VariableSize);
}

std::unique_ptr<TVeDestEngineOptions> TVeGenericEngine::CreateOptions() const {
  const TVeGenericFormat& f = Format();
  if (f.VariableSize) return VeNewOptions<TVeGenericVariableEngineOptions>();
  return VeNewOptions<TVeGenericEngineOptions>(TVeSize{f.Width, f.Height});
}

// ---------------------------------------------------------------------------------------------

namespace {

// The fixed palette of a depth: black and white, four grays, the 16-colour cube, or an RGB
// palette with the bits shared out green first (3-3-2 for 8 bits, 5-6-5 for 16).
std::unique_ptr<TVePalette> MakeGenericPalette(int bits) {
  auto p = std::make_unique<TVePalette256>();
  switch (bits) {
  case 1:
    p->MakeBlackWhite();
    return p;
  case 2:
    p->MakeGray4();
    return p;
  case 4:
    p->MakeCube16();
    return p;
  default:
    break;
  }
  int g = (bits + 2) / 3, r = (bits + 1) / 3, b = bits / 3;
  return std::make_unique<TVePaletteRGB>(r, g, b);
}

} // namespace

std::unique_ptr<TVeBitmap>
TVeGenericEngineClass::Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                               std::unique_ptr<TVeStreamList>&, TVeDestProgress& progress,
                               TVeDestEngineOptions& options, const TVePalette256*,
                               const TVePalette256*) const {
  std::unique_ptr<TVePalette> palette = MakeGenericPalette(FFormat.Bits);
  const bool indexed = palette->GetCount() <= 256;
  if (indexed && !dynamic_cast<TVePalette256*>(palette.get())) {
    // Small bit-depth palettes are listed explicitly, so the bitmap and the options hold them.
    auto listed = std::make_unique<TVePalette256>();
    listed->Assign(palette.get());
    palette = std::move(listed);
  }
  progress.SetProgress(1, 0);
  TVeImage image(source);
  std::unique_ptr<TVeBitmap> result =
      image.Dither(cancel, VeDitherOptionsOf(options), nullptr, *palette);
  if (indexed)
    options.SetPalette(static_cast<TVePalette256*>(palette.get()));
  else
    options.SetPalette(nullptr);
  progress.Step();
  return result;
}
