// The YJK encoders of screens 10 and 12: the group search against a plain transcription of
// its rules, the byte layout against the preview, and the attribute passes.
#include <gtest/gtest.h>

#include <random>

#include "VeColor.h"
#include "VeDest.h"
#include "VeThreadJob.h"
#include "msx/VeMsxYJKPTables.h"
#include "msx/VeMsxYJKTables.h"
#include "msx/VePlatformMsx.h"
#include "msx/VePlatformMsxYJK.h"
#include "msx/VeSavePlatformMsx.h"
#include "test_msx_support.h"

using namespace msxtest;

namespace {

TVeLinRGBColor Lin(int level) {
  return {Level31ToLinear(level >> 10), Level31ToLinear((level >> 5) & 31),
          Level31ToLinear(level & 31)};
}

TVeLinRGBColor Lin(const TVeYjkLevels& c) {
  return {Level31ToLinear(c.R), Level31ToLinear(c.G), Level31ToLinear(c.B)};
}

// The group search exactly as stated: K outer, J inner, every Y, starting bests 10000.
std::pair<int, int> ReferenceGroup(const int level[4], const TVeYjkRangeTable& table,
                                   const TVePalette256* palette) {
  int jMin = 31, jMax = -32, kMin = 31, kMax = -32;
  for (int i = 0; i < 4; ++i) {
    jMin = std::min<int>(jMin, table[level[i]].JMin);
    jMax = std::max<int>(jMax, table[level[i]].JMax);
    kMin = std::min<int>(kMin, table[level[i]].KMin);
    kMax = std::max<int>(kMax, table[level[i]].KMax);
  }
  const int step = table.EvenY() ? 2 : 1;
  double bestCost = 10000;
  int bestJ = 0, bestK = 0, bestS = 0, bestPal = 0;
  for (int k = kMin; k <= kMax; ++k)
    for (int j = jMin; j <= jMax; ++j) {
      double cost = 0;
      int pals = 0;
      for (int i = 0; i < 4; ++i) {
        double best = 10000;
        for (int y = 0; y < 32; y += step)
          best = std::min(best, DeltaRGB(Lin(level[i]), Lin(VeDecodeYJK(y, j, k))));
        if (palette && palette->Count() > 0) {
          const int p = palette->FindNearestLin(Lin(level[i]));
          const double e = DeltaRGB(Lin(level[i]), palette->GetLinRGB(p));
          if (e < best) {
            best = e;
            ++pals;
          }
        }
        cost += best;
      }
      const int s = std::abs(j) + std::abs(k);
      if (cost < bestCost ||
          (cost == bestCost && (pals < bestPal || (pals == bestPal && s < bestS)))) {
        bestCost = cost;
        bestJ = j;
        bestK = k;
        bestS = s;
        bestPal = pals;
      }
    }
  return {bestJ, bestK};
}

void ExpectReferenceGroups(const TVeYJKImage& image, int w, int h, const TVeYjkRangeTable& table,
                           const TVePalette256* palette) {
  for (int y = 0; y < h; ++y)
    for (int g = 0; g < w / 4; ++g) {
      int level[4];
      for (int i = 0; i < 4; ++i)
        level[i] = image.PixelLevels(4 * g + i, y);
      const auto [j, k] = ReferenceGroup(level, table, palette);
      ASSERT_EQ(image.GroupJ(g, y), j) << g << "," << y;
      ASSERT_EQ(image.GroupK(g, y), k) << g << "," << y;
    }
}

// Noise with strong colour changes inside the groups.
TVeBitmap32 Noise(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  TVeBitmap32 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b.Pixel(x, y) = VeRGBQuad(uint8_t(rng()), uint8_t(rng()), uint8_t(rng()));
  return b;
}

std::unique_ptr<TVeDestEngineOptions> Screen12Options() {
  return TVeMSXScr12Engine().CreateOptions();
}

// The preview against the bytes decoded as the machine decodes them.
void ExpectBytesShowPreview(const std::vector<uint8_t>& bytes, const TVeBitmap& preview,
                            const TVePalette256* palette) {
  const int w = preview.Width();
  std::vector<uint32_t> quads(static_cast<size_t>(w));
  for (int y = 0; y < preview.Height(); ++y) {
    VeMsxDecodeYjkRow(&bytes[size_t(y) * size_t(w)], w, TVeYjkDecoder::YJK, palette, quads.data());
    for (int x = 0; x < w; ++x)
      ASSERT_EQ(uint32_t(preview.GetPixel(x, y)), quads[size_t(x)]) << x << "," << y;
  }
}

} // namespace

TEST(MsxYjk, FlatMidGrayIsOneTriple) {
  const uint8_t v = MsxLevel5Byte(16);
  TVeBitmap32 gray(64, 8, VeRGBQuad(v, v, v));
  auto o = Screen12Options();
  o->SetDitherMethod(dmNone);
  TVeYJKImage image(gray);
  std::vector<uint8_t> bytes;
  TVeDestProgress progress;
  image.Convert(nullptr, *o, &progress, bytes);
  for (size_t i = 0; i < bytes.size(); i += 4) {
    // Y = 14 everywhere; K = 2 in pixels 0 and 1, J = 2 in pixels 2 and 3.
    ASSERT_EQ(bytes[i], (14 << 3) | 2);
    ASSERT_EQ(bytes[i + 1], 14 << 3);
    ASSERT_EQ(bytes[i + 2], (14 << 3) | 2);
    ASSERT_EQ(bytes[i + 3], 14 << 3);
  }
  uint32_t total, done;
  progress.GetProgress(total, done);
  EXPECT_EQ(total, 8u); // one step per row
  EXPECT_EQ(done, 8u);
}

TEST(MsxYjk, ExactGroupsAreReproduced) {
  // Four luminances over one chrominance pair, in every group.
  const int ys[4] = {4, 10, 20, 27};
  TVeBitmap32 pic(32, 2);
  for (int x = 0; x < 32; ++x)
    for (int y = 0; y < 2; ++y) {
      const TVeYjkLevels c = VeDecodeYJK(ys[x % 4], 5 - x / 4, -3 + y);
      pic.Pixel(x, y) = VeRGBQuad(MsxLevel5Byte(c.R), MsxLevel5Byte(c.G), MsxLevel5Byte(c.B));
    }
  auto o = Screen12Options();
  o->SetDitherMethod(dmNone);
  TVeYJKImage image(pic);
  std::vector<uint8_t> bytes;
  auto preview = image.Convert(nullptr, *o, nullptr, bytes);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 32; ++x)
      ASSERT_EQ(uint32_t(preview->GetPixel(x, y)), pic.Pixel(x, y) & 0xFFFFFF) << x << "," << y;
}

TEST(MsxYjk, GroupSearchFollowsTheRules) {
  const TVeBitmap32 photo = Photo(256, 212);
  TVeBitmap32 crop(64, 24);
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 64; ++x)
      crop.Pixel(x, y) = photo.Pixel(96 + x, 100 + y);
  const TVeBitmap32 noise = Noise(32, 6, 5);
  for (const TVeBitmap32* pic : {static_cast<const TVeBitmap32*>(&crop), &noise}) {
    auto o = Screen12Options();
    TVeYJKImage image(*pic);
    std::vector<uint8_t> bytes;
    auto preview = image.Convert(nullptr, *o, nullptr, bytes);
    ExpectReferenceGroups(image, pic->Width(), pic->Height(), VeMsxYJKTable(), nullptr);
    // The four pixels of a group share J and K; the bytes show the preview.
    for (int y = 0; y < pic->Height(); ++y)
      for (int g = 0; g < pic->Width() / 4; ++g) {
        int fields[4], j, k;
        VeMsxUnpackYjk(&bytes[size_t(y * pic->Width() + 4 * g)], fields, j, k);
        ASSERT_EQ(j, image.GroupJ(g, y));
        ASSERT_EQ(k, image.GroupK(g, y));
      }
    ExpectBytesShowPreview(bytes, *preview, nullptr);
  }
}

TEST(MsxYjk, AttributePassesAgainstTheRules) {
  const TVeBitmap32 photo = Photo(256, 212);
  TVeBitmap32 crop(64, 32);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 64; ++x)
      crop.Pixel(x, y) = photo.Pixel(40 + x, 60 + y);
  auto o = TVeMSXScr10Engine().CreateOptions();
  o->SetPaletteType(ptMSXYJK_YAE);
  TVeYJKYAEImage image(crop);
  std::vector<uint8_t> bytes;
  auto preview = image.Convert(nullptr, *o, nullptr, bytes);
  // From an empty base palette the passes find one.
  EXPECT_GE(image.Passes(), 2);
  EXPECT_LE(image.Passes(), TVeYJKYAEImage::MaxPasses);
  const TVePalette256& palette = o->Palette();
  ASSERT_GT(palette.Count(), 0);
  ASSERT_LE(palette.Count(), 16);
  for (int i = 0; i < palette.Count(); ++i)
    EXPECT_GE(MsxHardwarePalette(ptMSX9958).FindExact(palette.GetRGBQuad(i)), 0);
  for (int i = 1; i < palette.Count(); ++i)
    EXPECT_LE(palette.GetLinGray(i - 1), palette.GetLinGray(i)) << "sorted";
  ExpectReferenceGroups(image, 64, 32, VeMsxYJKPTable(), &palette);
  ExpectBytesShowPreview(bytes, *preview, &palette);
  int palettePixels = 0;
  for (uint8_t b : bytes)
    palettePixels += (b >> 3) & 1;
  EXPECT_GT(palettePixels, 0);

  // Without the attribute bit in use every Y is even.
  auto plain = TVeMSXScr10Engine().CreateOptions();
  TVeYJKYAEImage yjk(crop);
  yjk.UsePalette = false;
  yjk.Convert(nullptr, *plain, nullptr, bytes);
  EXPECT_EQ(yjk.Passes(), 1);
  for (uint8_t b : bytes)
    ASSERT_EQ((b >> 3) & 1, 0);
  EXPECT_EQ(plain->Palette().Count(), 0);
}

TEST(MsxYjk, FullBasePaletteMakesOnePass) {
  const TVePaletteRGB& hw = MsxHardwarePalette(ptMSX9958);
  TVePalette256 base;
  for (int i = 0; i < 16; ++i)
    base.AddLin(hw.GetLinRGB(hw.IndexOfLevels(i % 8, (i * 3) % 8, 7 - i % 8)));
  auto o = TVeMSXScr10Engine().CreateOptions();
  o->SetPaletteType(ptMSXYJK_YAE);
  o->SetBasePalette(&base);
  TVeYJKYAEImage image(Photo(64, 16));
  std::vector<uint8_t> bytes;
  image.Convert(nullptr, *o, nullptr, bytes);
  EXPECT_EQ(image.Passes(), 1);
  TVePalette256 sorted = base;
  sorted.SortByLuminance();
  EXPECT_TRUE(o->Palette().Equals(&sorted));
}

TEST(MsxYjk, SameBytesWithAnyWorkerCount) {
  const TVeBitmap32 pic = Photo(256, 212);
  std::vector<uint8_t> first;
  TVePalette256 firstPalette;
  for (int workers : {1, 2, 5}) {
    SetProcessorCount(workers);
    auto o = TVeMSXScr10Engine().CreateOptions();
    o->SetPaletteType(ptMSXYJK_YAE);
    TVeYJKYAEImage image(pic);
    std::vector<uint8_t> bytes;
    image.Convert(nullptr, *o, nullptr, bytes);
    if (first.empty()) {
      first = bytes;
      firstPalette = o->Palette();
    } else {
      EXPECT_EQ(bytes, first) << workers << " workers";
      EXPECT_TRUE(o->Palette().Equals(&firstPalette)) << workers << " workers";
    }
  }
  SetProcessorCount(0);
}

TEST(MsxYjk, CancelStopsTheSearch) {
  TVeCancelFlag cancel{1};
  auto o = Screen12Options();
  TVeYJKImage image(Photo(256, 212));
  std::vector<uint8_t> bytes;
  EXPECT_THROW(image.Convert(&cancel, *o, nullptr, bytes), EAbort);
}

TEST(MsxYjk, TheYuvVariant) {
  auto o = Screen12Options();
  o->SetDitherMethod(dmNone);
  TVeYUVImage image(Noise(16, 2, 9));
  std::vector<uint8_t> bytes;
  auto preview = image.Convert(nullptr, *o, nullptr, bytes);
  std::vector<uint32_t> quads(16);
  for (int y = 0; y < 2; ++y) {
    VeMsxDecodeYjkRow(&bytes[size_t(16 * y)], 16, TVeYjkDecoder::YUV, nullptr, quads.data());
    for (int x = 0; x < 16; ++x)
      ASSERT_EQ(uint32_t(preview->GetPixel(x, y)), quads[size_t(x)]);
  }
}
