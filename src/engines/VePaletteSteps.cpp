#include "VePaletteSteps.h"

#include <algorithm>
#include <limits>
#include <map>

#include "VeCellImage.h"
#include "VeHAMImage.h"
#include "VeImage.h"
#include "VePalette.h"
#include "VeProgress.h"
#include "VeQuantization.h"

int VeColorLimit(const TVeDestEngineOptions& o, int most) {
  const int n = o.MaxColorCount();
  return n <= 1 || n > most ? most : n;
}

bool VeTakeFixedPalette(const TVeDestEngineOptions& options, int k, TVePalette256& palette) {
  const TVePalette256& fixed = options.FixedPalette();
  if (k <= 0 || fixed.GetCount() == 0) return false;
  palette.Clear();
  for (int i = 0; i < std::min(k, fixed.GetCount()); ++i)
    palette.AddColor(fixed.Color(i));
  return true;
}

std::unique_ptr<TVeBitmap> VeQuantizeAndDither(const TVeCancelFlag* cancel,
                                               const TVeBitmap32& source,
                                               TVeDestEngineOptions& options,
                                               const TVePalette256& machine, int most,
                                               TVePalette256& palette, TVeDestProgress& progress) {
  TVeQuantizationArgs args;
  args.Abort = cancel;
  args.K = VeColorLimit(options, most);
  args.Method = options.UsesColorDistance() ? options.ColorDistance() : 0;
  if (!VeTakeFixedPalette(options, args.K, palette)) {
    TVeImage image(source);
    image.ApplyFixes(options.SaturationFix(), options.LightnessFix());
    QuantizeImage(args, palette, &machine, nullptr, image);
  }
  options.SetPalette(&palette);
  progress.Step();
  return VeDitherToPalette(cancel, source, options, palette, progress);
}

std::unique_ptr<TVeBitmap> VeDitherToPalette(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                             const TVeDestEngineOptions& options,
                                             const TVePalette256& palette,
                                             TVeDestProgress& progress) {
  TVeImage image(source);
  TVeDitherOptions d = VeDitherOptionsOf(options);
  d.GrayPalette = false;
  auto result = image.DitherPalette(cancel, d, nullptr, palette, nullptr);
  progress.Step();
  return result;
}

void VeSetFirstLinePalette(const TVeHAMPalette& ham, TVeDestEngineOptions& options) {
  TVePalette256 first;
  for (int i = 0; i < ham.Line(0)->SlotCount(); ++i)
    first.AddSysColor(TVeStdRGBColor::FromRGBQuad(ham.Line(0)->GetColor(i)->Quad).SysColor());
  options.SetPalette(&first);
}

int VeNearestPalette(const TVeBitmap32& source, const TVeDestEngineOptions& options,
                     const std::vector<TVePalette256>& candidates) {
  std::unique_ptr<TVeBitmap32> fixed;
  if (options.SaturationFix() || options.LightnessFix()) {
    TVeImage image(source);
    image.ApplyFixes(options.SaturationFix(), options.LightnessFix());
    fixed = image.ToBitmap32();
  }
  const TVeBitmap32& picture = fixed ? *fixed : source;
  // Every other pixel of every other line is plenty to rank a few palettes.
  std::vector<double> samples;
  for (int y = 0; y < picture.Height(); y += 2)
    for (int x = 0; x < picture.Width(); x += 2) {
      const uint32_t q = picture.Pixel(x, y);
      samples.push_back(ByteToLinear(uint8_t(q >> 16)));
      samples.push_back(ByteToLinear(uint8_t(q >> 8)));
      samples.push_back(ByteToLinear(uint8_t(q)));
    }
  // Palettes of the same colours cost the same: each set is measured once.
  std::map<std::vector<uint32_t>, double> costs;
  int best = 0;
  double bestCost = std::numeric_limits<double>::max();
  for (size_t i = 0; i < candidates.size(); ++i) {
    std::vector<uint32_t> set;
    for (int k = 0; k < candidates[i].Count(); ++k)
      set.push_back(candidates[i].GetRGBQuad(k) & 0xFFFFFF);
    std::sort(set.begin(), set.end());
    set.erase(std::unique(set.begin(), set.end()), set.end());
    auto found = costs.find(set);
    if (found == costs.end()) {
      std::vector<double> lin;
      for (uint32_t q : set) {
        lin.push_back(ByteToLinear(uint8_t(q >> 16)));
        lin.push_back(ByteToLinear(uint8_t(q >> 8)));
        lin.push_back(ByteToLinear(uint8_t(q)));
      }
      double cost = 0;
      for (size_t s = 0; s < samples.size(); s += 3) {
        double nearest = std::numeric_limits<double>::max();
        for (size_t c = 0; c < lin.size(); c += 3) {
          const double dr = samples[s] - lin[c], dg = samples[s + 1] - lin[c + 1],
                       db = samples[s + 2] - lin[c + 2];
          nearest = std::min(nearest, VeCellWR * dr * dr + VeCellWG * dg * dg + VeCellWB * db * db);
        }
        cost += nearest;
      }
      found = costs.emplace(set, cost).first;
    }
    if (found->second < bestCost) {
      bestCost = found->second;
      best = int(i);
    }
  }
  return best;
}
