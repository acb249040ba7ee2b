#include "VeGenericEngine.h"

#include <cctype>

#include "VeBitmap.h"
#include "VeDest.h"
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
                                             int displayScale)
    : FPlatform(std::move(platform)), FMode(std::move(mode)),
      FDisplayScale(displayScale < 1 ? 1 : displayScale),
      FFormat(VeGenericFormat(FPlatform, FMode)) {}

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
  const int w = source.Width(), h = source.Height();
  std::unique_ptr<TVePalette> palette = MakeGenericPalette(FFormat.Bits);
  const bool indexed = palette->GetCount() <= 256;
  std::unique_ptr<TVeBitmap> result;
  if (indexed) {
    auto* p256 = static_cast<TVePalette256*>(palette.get());
    p256->PrepareSearch();
    result = VeCreateResultBitmap(w, p256, h, FFormat.Bits == 1);
    options.SetPalette(p256);
  } else {
    result = std::make_unique<TVeBitmap24>(w, h);
    options.SetPalette(nullptr);
  }
  progress.SetProgress(uint32_t(h), 0);
  // The last pixel's answer is kept, as flat areas repeat the same colour.
  uint32_t lastQuad = 0;
  int lastValue = -1;
  for (int y = 0; y < h; ++y) {
    VeCheckCancel(cancel);
    const uint32_t* row = source.Scanline(y);
    for (int x = 0; x < w; ++x) {
      const uint32_t quad = row[x] & 0xFFFFFF;
      if (lastValue < 0 || quad != lastQuad) {
        TVeColor c;
        c.SetRGBQuad(quad);
        int index = palette->FindNearestLin(c.GetLinRGB());
        lastValue = indexed ? index : int(palette->GetRGBQuad(index));
        lastQuad = quad;
      }
      result->SetPixel(x, y, lastValue);
    }
    progress.Step();
  }
  return result;
}
