#include "VeAnimationConvert.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "VeAnimation.h"
#include "VeBitmap.h"
#include "VeRuleCheck.h"
#include "VeSaveResult.h"
#include "VeSource.h"
#include "VeStream.h"

std::string VeFrameBase(const std::string& base, size_t k) {
  char number[16];
  std::snprintf(number, sizeof number, ".%04zu", k);
  return VeChangeFileExt(base, "") + number + ".x";
}

namespace {

std::unique_ptr<TVeDestEngineOptions> CopyOptions(const TVeDestEngineClass& engine,
                                                  const TVeDestEngineOptions& options) {
  std::unique_ptr<TVeDestEngineOptions> copy = engine.Create()->CreateOptions();
  copy->Assign(options);
  return copy;
}

// The mode that chooses its colours from the picture and takes a given palette as the
// command line's --palette gives it; other modes with a free palette keep choosing per frame.
bool ChoosesPalette(const TVeDestEngineClass& engine) {
  return engine.GetPlatformName() == "Common" && engine.GetModeName() == "Palette";
}

// Modes that choose some of the machine's colours for the whole screen.
bool ChoosesScreenPalette(const TVeDestEngineClass& engine, const TVeDestEngineOptions& o) {
  const TVeModeRule rule = engine.GetModeRule(o);
  return rule.ColorsPerScreen > 0 &&
         (rule.ChannelBits > 0 || int(rule.Colors.size()) > rule.ColorsPerScreen);
}

bool SamePalette(const TVePalette256& a, const TVePalette256& b) {
  if (a.GetCount() != b.GetCount()) return false;
  for (int i = 0; i < a.GetCount(); ++i)
    if (a.GetRGBQuad(i) != b.GetRGBQuad(i)) return false;
  return true;
}

// One frame-sized picture with bands of 8 rows taken from every frame in turn, so that a
// palette chosen from it serves them all.
TVeBitmap32 PaletteSample(const TVeAnimation& animation) {
  TVeBitmap32 sample(animation.Width, animation.Height);
  const size_t n = animation.Frames.size();
  for (int y = 0; y < animation.Height; ++y) {
    const TVeBitmap32& from = animation.Frames[size_t(y / 8) % n].Image;
    std::copy_n(from.Scanline(y), animation.Width, sample.Scanline(y));
  }
  return sample;
}

int MaxDifference(const TVeBitmap32& a, const TVeBitmap32& b, int x0, int y0, int x1, int y1) {
  int most = 0;
  for (int y = y0; y < y1; ++y) {
    const uint32_t* p = a.Scanline(y);
    const uint32_t* q = b.Scanline(y);
    for (int x = x0; x < x1; ++x)
      for (int shift = 0; shift < 24; shift += 8)
        most = std::max(most, std::abs(int(p[x] >> shift & 255) - int(q[x] >> shift & 255)));
  }
  return most;
}

void CopyCell(const TVeBitmap32& from, TVeBitmap32& to, int x0, int y0, int x1, int y1) {
  for (int y = y0; y < y1; ++y)
    std::copy(from.Scanline(y) + x0, from.Scanline(y) + x1, to.Scanline(y) + x0);
}

} // namespace

void VeStabilityCell(const TVeDestEngineClass& engine, const TVeDestEngineOptions& run, int& width,
                     int& height) {
  const TVeModeRule rule = engine.GetModeRule(run);
  width = height = 8;
  if (rule.CellWidth > 0 && rule.CellHeight > 0) {
    width = rule.CellWidth;
    height = rule.CellHeight;
  } else if (run.GetCellWidth() > 1 || run.GetCellHeight() > 1) {
    width = run.GetCellWidth();
    height = run.GetCellHeight();
  }
}

TVeAnimationConversion VeConvertAnimation(const TVeDestEngineClass& engine,
                                          const TVeDestEngineOptions& options,
                                          const TVeAnimation& animation,
                                          const TVeAnimationSettings& settings,
                                          const TVeCancelFlag* cancel, TVeDestProgress& progress,
                                          TVeSize fixedSize, std::atomic<int>* framesDone) {
  TVeAnimationConversion out;
  std::unique_ptr<TVeDestEngineOptions> base = CopyOptions(engine, options);
  bool fixedForMode = false;
  if (!settings.PalettePerFrame && animation.Frames.size() > 1 && ChoosesPalette(engine)) {
    TVeConversionResult r = VeConvertPicture(engine, *base, PaletteSample(animation), nullptr,
                                             nullptr, cancel, progress, nullptr, fixedSize);
    // Only a palette reduced to the colour count was chosen; a generated one stays as it is.
    if (r.Options && r.Options->Palette().GetCount() > 0 &&
        r.Options->Palette().GetCount() <= r.Options->MaxColorCount()) {
      const TVePalette256 palette = r.Options->Palette();
      base->BeginUpdate();
      base->SetPaletteType(ptColored);
      base->SetPalette(&palette);
      base->EndUpdate();
      out.SharedPalette = true;
    }
  } else if (!settings.PalettePerFrame && animation.Frames.size() > 1 &&
             ChoosesScreenPalette(engine, *base)) {
    // The platforms' modes take it as a palette fixed for the mode; whether a mode's engine
    // does is seen in the frames' palettes below.
    TVeConversionResult r = VeConvertPicture(engine, *base, PaletteSample(animation), nullptr,
                                             nullptr, cancel, progress, nullptr, fixedSize);
    if (r.Options && r.Options->Palette().GetCount() > 0) {
      const TVePalette256 palette = r.Options->Palette();
      base->SetFixedPalette(&palette);
      fixedForMode = true;
      out.SharedPaletteAsked = true;
    }
  }

  TVeBitmap32 reference; // per cell, the source its kept result was made from
  TVeBitmap32 previous;  // the previous frame's result
  for (size_t k = 0; k < animation.Frames.size(); ++k) {
    TVeBitmap32 prepared;
    // Each frame with the palettes a true-colour picture of it has, as converted alone.
    const TVeBitmap32& image = animation.Frames[k].Image;
    const std::unique_ptr<TVePalette256> colors = VeCollectColors(image);
    TVeConversionResult r = VeConvertPicture(engine, *base, image, colors.get(), colors.get(),
                                             cancel, progress, nullptr, fixedSize, &prepared);
    if (!r.Bitmap) throw EInternalError();
    std::unique_ptr<TVeBitmap32> plain = r.Bitmap->ToBitmap32();
    const int w = plain->Width(), h = plain->Height();
    const bool comparable = settings.Stability && k > 0 && prepared.Width() == w &&
                            prepared.Height() == h && previous.Width() == w &&
                            previous.Height() == h && reference.Width() == w &&
                            reference.Height() == h;
    bool mixed = false;
    if (comparable) {
      int cw = 8, ch = 8;
      VeStabilityCell(engine, *r.Options, cw, ch);
      TVeBitmap32 mix = *plain;
      std::vector<char> changed;
      int64_t cells = 0, kept = 0;
      for (int y = 0; y < h; y += ch)
        for (int x = 0; x < w; x += cw) {
          const int x1 = std::min(w, x + cw), y1 = std::min(h, y + ch);
          const bool still = MaxDifference(prepared, reference, x, y, x1, y1) <= settings.Threshold;
          changed.push_back(!still);
          ++cells;
          if (still) {
            CopyCell(previous, mix, x, y, x1, y1);
            ++kept;
          }
        }
      out.Cells += cells;
      bool accepted = kept == 0 || mix == *plain;
      if (!accepted) {
        // The mix is encoded as drawn art: it must come back pixel for pixel, which a mix of
        // cells that each obey a per-cell rule does.
        const TVeModeRule rule = engine.GetModeRule(*r.Options);
        if (!rule.Checkable || VeCheckRule(rule, mix).empty()) {
          std::unique_ptr<TVeDestEngineOptions> keep = CopyOptions(engine, *r.Options);
          keep->BeginUpdate();
          keep->SetKeepPixels(true);
          keep->SetDimensionLock(true);
          keep->SetWidth(w);
          keep->SetHeight(h);
          keep->EndUpdate();
          TVeConversionResult again =
              VeConvertPicture(engine, *keep, mix, nullptr, nullptr, cancel, progress);
          if (again.Bitmap && *again.Bitmap->ToBitmap32() == mix) {
            again.Options = std::move(r.Options);
            r = std::move(again);
            accepted = true;
          }
        }
      }
      if (accepted) {
        out.KeptCells += kept;
        size_t i = 0;
        for (int y = 0; y < h; y += ch)
          for (int x = 0; x < w; x += cw)
            if (changed[i++])
              CopyCell(prepared, reference, x, y, std::min(w, x + cw), std::min(h, y + ch));
        previous = std::move(mix);
        mixed = true;
      } else {
        ++out.FallbackFrames;
      }
    }
    if (!mixed) {
      reference = std::move(prepared);
      previous = std::move(*plain);
    }
    out.Frames.push_back(std::move(r));
    out.DelaysMs.push_back(animation.Frames[k].DelayMs);
    if (framesDone) framesDone->fetch_add(1);
  }
  if (fixedForMode) {
    out.SharedPalette = true;
    for (const TVeConversionResult& f : out.Frames)
      out.SharedPalette = out.SharedPalette && f.Options &&
                          SamePalette(f.Options->Palette(), out.Frames[0].Options->Palette());
  }
  return out;
}
