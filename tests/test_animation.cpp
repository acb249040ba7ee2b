// Animated GIFs composed frame by frame, picture sequences, and the animated GIF writer.
#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include <gif_lib.h>

#include "VeAnimation.h"
#include "VeAnimationConvert.h"
#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeErrors.h"
#include "VePictureCodecs.h"
#include "VePlatforms.h"
#include "VeSource.h"
#include "VeStream.h"

namespace fs = std::filesystem;

namespace {

struct TGifFrame {
  int Left, Top, Width, Height;
  std::vector<uint8_t> Pixels;
  int Disposal, DelayCs, Transparent;
  bool Interlaced = false; // Pixels then hold the rows in the file's four-pass order
};

int WriteToVector(GifFileType* gif, const GifByteType* data, int count) {
  auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
  out->insert(out->end(), data, data + count);
  return count;
}

// An animated GIF of w x h with a global table of red, green, blue, yellow and background red.
std::vector<uint8_t> MakeGif(int w, int h, const std::vector<TGifFrame>& frames) {
  std::vector<uint8_t> out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, WriteToVector, &error);
  EGifSetGifVersion(gif, true);
  GifColorType colors[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
  ColorMapObject* map = GifMakeMapObject(4, colors);
  EXPECT_NE(EGifPutScreenDesc(gif, w, h, 2, 0, map), GIF_ERROR);
  for (const TGifFrame& f : frames) {
    GraphicsControlBlock gcb{f.Disposal, false, f.DelayCs, f.Transparent};
    GifByteType ext[4];
    size_t n = EGifGCBToExtension(&gcb, ext);
    EXPECT_NE(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(n), ext), GIF_ERROR);
    EXPECT_NE(EGifPutImageDesc(gif, f.Left, f.Top, f.Width, f.Height, f.Interlaced, nullptr),
              GIF_ERROR);
    for (int y = 0; y < f.Height; ++y)
      EXPECT_NE(EGifPutLine(gif, const_cast<uint8_t*>(f.Pixels.data()) + y * f.Width, f.Width),
                GIF_ERROR);
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return out;
}

constexpr uint32_t R = 0xFFFF0000, G = 0xFF00FF00, B = 0xFF0000FF, Y = 0xFFFFFF00;

// Frames with each disposal: 1 keeps, 2 clears to the background, 3 restores the picture
// before it (seen in the fourth frame).
std::vector<uint8_t> DisposalGif() {
  return MakeGif(4, 4,
                 {{0, 0, 4, 4, std::vector<uint8_t>(16, 1), DISPOSE_DO_NOT, 10, -1},
                  {1, 1, 2, 2, {2, 2, 2, 2}, DISPOSE_BACKGROUND, 20, -1},
                  {0, 0, 2, 2, {3, 2, 2, 3}, DISPOSE_PREVIOUS, 30, 3},
                  {3, 3, 1, 1, {3}, DISPOSAL_UNSPECIFIED, 40, -1}});
}

std::vector<uint32_t> Pixels(const TVeBitmap32& b) {
  return std::vector<uint32_t>(b.Data(), b.Data() + b.PixelCount());
}

} // namespace

TEST(Animation, GifFramesComposedWithTheirDisposal) {
  const std::vector<uint8_t> gif = DisposalGif();
  EXPECT_EQ(VeGifFrameCount(gif.data(), gif.size()), 4);
  TVeAnimation a = VeDecodeGifAnimation(gif.data(), gif.size());
  ASSERT_EQ(a.Frames.size(), 4u);
  EXPECT_EQ(a.Width, 4);
  EXPECT_EQ(a.Height, 4);
  const std::vector<uint32_t> want[4] = {
      {G, G, G, G, G, G, G, G, G, G, G, G, G, G, G, G},
      {G, G, G, G, G, B, B, G, G, B, B, G, G, G, G, G},
      // The blue square cleared to red, then transparent corners show what lies below.
      {G, B, G, G, B, R, R, G, G, R, R, G, G, G, G, G},
      // The third frame undone.
      {G, G, G, G, G, R, R, G, G, R, R, G, G, G, G, Y},
  };
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(Pixels(a.Frames[k].Image), want[k]) << "frame " << k;
    EXPECT_EQ(a.Frames[k].DelayMs, (k + 1) * 100);
  }
  // The first frame is the picture a still decode gives.
  TVePicture still = VeDecodeGif(gif.data(), gif.size());
  for (int i = 0; i < 16; ++i)
    EXPECT_EQ(still.Palette[still.Pixels[size_t(i / 4 * still.Stride + i % 4)]] | 0xFF000000u,
              want[0][size_t(i)]);
}

TEST(Animation, InterlacedFramesComeBackInRowOrder) {
  // One column of ten rows, row y of colour y % 4, stored in the four passes (rows 0 and 8,
  // then 4, then 2 and 6, then the odd rows); the still decoder and the animation agree.
  std::vector<uint8_t> stored;
  for (int y : {0, 8, 4, 2, 6, 1, 3, 5, 7, 9})
    stored.push_back(uint8_t(y % 4));
  TGifFrame f{0, 0, 1, 10, stored, DISPOSE_DO_NOT, 10, -1};
  f.Interlaced = true;
  const std::vector<uint8_t> gif = MakeGif(1, 10, {f, f});
  const uint32_t colour[4] = {R, G, B, Y};
  const TVeAnimation a = VeDecodeGifAnimation(gif.data(), gif.size());
  ASSERT_EQ(a.Frames.size(), 2u);
  const TVePicture still = VeDecodeGif(gif.data(), gif.size());
  for (int y = 0; y < 10; ++y) {
    EXPECT_EQ(a.Frames[1].Image.Pixel(0, y), colour[y % 4]) << y;
    EXPECT_EQ(still.Row(y)[0], y % 4) << y;
  }
}

TEST(Animation, TransparentBackgroundShowsWhite) {
  const std::vector<uint8_t> gif = MakeGif(
      2, 1, {{0, 0, 1, 1, {2}, DISPOSE_BACKGROUND, 5, 3}, {1, 0, 1, 1, {2}, DISPOSE_DO_NOT, 5, 3}});
  TVeAnimation a = VeDecodeGifAnimation(gif.data(), gif.size());
  ASSERT_EQ(a.Frames.size(), 2u);
  EXPECT_EQ(Pixels(a.Frames[0].Image), (std::vector<uint32_t>{B, 0xFFFFFFFF}));
  EXPECT_EQ(Pixels(a.Frames[1].Image), (std::vector<uint32_t>{0xFFFFFFFF, B}));
}

TEST(Animation, BrokenAndOversizedGifsAreRefused) {
  const std::vector<uint8_t> gif = DisposalGif();
  // Every cut of the file fails cleanly.
  for (size_t n = 0; n < gif.size(); ++n)
    EXPECT_THROW(VeDecodeGifAnimation(gif.data(), n), EVeError) << n << " bytes";
  try {
    VeDecodeGifAnimation(gif.data(), gif.size() - 4);
    ADD_FAILURE();
  } catch (const EVeError& e) {
    EXPECT_STREQ(e.what(), "Truncated GIF file");
  }
  try {
    VeDecodeGifAnimation(gif.data(), gif.size(), 3);
    ADD_FAILURE();
  } catch (const EVeError& e) {
    EXPECT_STREQ(e.what(), "Animation too long (4 frames; the limit is 3)");
  }
  EXPECT_THROW(VeDecodeGifAnimation(gif.data(), gif.size(), 100, 16 * 3), EVeError);
  EXPECT_NO_THROW(VeDecodeGifAnimation(gif.data(), gif.size(), 4, 16 * 4));
  // A huge screen of tiny frames is refused before any canvas is taken.
  const std::vector<uint8_t> huge =
      MakeGif(20000, 20000, {{0, 0, 1, 1, {1}, DISPOSE_DO_NOT, 1, -1}});
  EXPECT_THROW(VeDecodeGifAnimation(huge.data(), huge.size()), EVeError);
}

TEST(Animation, WriterRoundTripsFramesAndDelays) {
  TVeBitmap32 a(3, 2, G), b(3, 2, B);
  b.Pixel(2, 1) = Y;
  std::vector<uint8_t> gif = VeWriteGifAnimation({&a, &b}, {70, 1230});
  TVeAnimation back = VeDecodeGifAnimation(gif.data(), gif.size());
  ASSERT_EQ(back.Frames.size(), 2u);
  EXPECT_EQ(back.Frames[0].Image, a);
  EXPECT_EQ(back.Frames[1].Image, b);
  EXPECT_EQ(back.Frames[0].DelayMs, 70);
  EXPECT_EQ(back.Frames[1].DelayMs, 1230);
  TVeBitmap32 many(300, 1);
  for (int x = 0; x < 300; ++x)
    many.Pixel(x, 0) = VeRGBQuad(uint8_t(x), uint8_t(x / 256), 0);
  EXPECT_THROW(VeWriteGifAnimation({&many}, {10}), EVeError);
}

TEST(Animation, SequencesByPatternInNumberOrder) {
  fs::path dir = fs::temp_directory_path() / ("velmora-anim-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  auto png = [&](const std::string& name, int w, uint32_t color) {
    std::vector<uint8_t> row(size_t(w) * 3);
    for (int x = 0; x < w; ++x) {
      row[size_t(x) * 3] = uint8_t(color), row[size_t(x) * 3 + 1] = uint8_t(color >> 8);
      row[size_t(x) * 3 + 2] = uint8_t(color >> 16);
    }
    VeWriteFile((dir / name).string(), VeWritePng(w, 2, 24, {}, [&](int) { return row.data(); }));
  };
  png("f010.png", 4, Y);
  png("f002.png", 4, G);
  png("f001.png", 4, R);
  png("f1.png", 4, B);    // not three digits
  png("f0003.png", 4, B); // four digits with a leading zero
  png("g001.png", 4, B);
  const std::string pattern = (dir / "f%03d.png").string();
  EXPECT_TRUE(VeIsFramePattern(pattern));
  EXPECT_FALSE(VeIsFramePattern((dir / "f001.png").string()));
  std::vector<std::string> files = VeExpandFramePattern(pattern);
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(fs::path(files[0]).filename(), "f001.png");
  EXPECT_EQ(fs::path(files[2]).filename(), "f010.png");
  TVeAnimation a = VeLoadPictureSequence(files);
  ASSERT_EQ(a.Frames.size(), 3u);
  EXPECT_EQ(a.Frames[0].Image.Pixel(0, 0), R);
  EXPECT_EQ(a.Frames[2].Image.Pixel(3, 1), Y);
  EXPECT_EQ(a.Frames[1].DelayMs, VeSequenceDelayMs);
  EXPECT_THROW(VeLoadPictureSequence(files, 2), EVeError);
  png("f004.png", 5, G);
  try {
    VeLoadPictureSequence(VeExpandFramePattern(pattern));
    ADD_FAILURE();
  } catch (const EVeError& e) {
    EXPECT_NE(std::string(e.what()).find("f004.png: the picture is 5x2, the first frame 4x2"),
              std::string::npos)
        << e.what();
  }
  fs::remove_all(dir);
}

TEST(Animation, SourceShowsTheChosenFrameInItsRegion) {
  const std::vector<uint8_t> gif = DisposalGif();
  TVeSource source;
  source.OpenData(gif.data(), gif.size(), vptGIF, "anim.gif");
  ASSERT_EQ(source.AnimationFrames(), 4);
  EXPECT_EQ(source.AnimationFrame(), 0);
  source.SetRegion({1, 1, 3, 3});
  source.SetAnimationFrame(2);
  EXPECT_EQ(Pixels(*source.Image()),
            (std::vector<uint32_t>{G, B, G, G, B, R, R, G, G, R, R, G, G, G, G, G}));
  EXPECT_EQ(Pixels(*source.RegionImage()), (std::vector<uint32_t>{R, R, R, R}));
  source.SetAnimationFrame(9); // out of range: nothing changes
  EXPECT_EQ(source.AnimationFrame(), 2);
  // A still picture, and an animation cut short, have no frames to choose.
  std::vector<uint8_t> cut(gif.begin(), gif.end() - 4);
  source.OpenData(cut.data(), cut.size(), vptGIF, "cut.gif");
  EXPECT_EQ(source.AnimationFrames(), 0);
  EXPECT_EQ(Pixels(*source.Image()), std::vector<uint32_t>(16, G));
}

TEST(AnimationPalette, ScreenPaletteModesShareOnePaletteUnlessAskedPerFrame) {
  // A red frame and a blue one in modes that choose some of the machine's colours for the
  // screen: one palette for both by default, each its own when asked.
  VeRegisterPlatforms();
  TVeAnimation a;
  for (int k = 0; k < 2; ++k) {
    TVeBitmap32 b(128, 128);
    for (int y = 0; y < 128; ++y)
      for (int x = 0; x < 128; ++x) {
        const uint8_t v = uint8_t(64 + x), w = uint8_t(y * 2);
        b.Pixel(x, y) = k == 0 ? VeRGBQuad(v, w / 2, 0) : VeRGBQuad(0, w / 2, v);
      }
    a.Frames.push_back({std::move(b), 100});
  }
  a.Width = a.Height = 128;
  for (auto [platform, mode] : {std::pair{"SAM Coupé", "4 256x192x4"},
                                {"ZX Spectrum Next", "256x192x8"},
                                {"Amstrad CPC", "0 160x200x4"},
                                {"MSX", "5 256x212x4"}}) {
    SCOPED_TRACE(std::string(platform) + " " + mode);
    const TVeDestEngineClass* engine = DestEngineList().Find(platform, mode);
    ASSERT_TRUE(engine && engine->GetModeName() == mode);
    auto options = engine->Create()->CreateOptions();
    VeApplyControllerDefaults(*options);
    TVeDestProgress progress;
    for (bool perFrame : {false, true}) {
      TVeAnimationSettings settings;
      settings.PalettePerFrame = perFrame;
      settings.Stability = false;
      TVeAnimationConversion c =
          VeConvertAnimation(*engine, *options, a, settings, nullptr, progress);
      ASSERT_EQ(c.Frames.size(), 2u);
      std::vector<uint32_t> p[2];
      for (int k = 0; k < 2; ++k)
        for (int i = 0; i < c.Frames[size_t(k)].Options->Palette().GetCount(); ++i)
          p[k].push_back(c.Frames[size_t(k)].Options->Palette().GetRGBQuad(i));
      EXPECT_EQ(c.SharedPalette, !perFrame);
      if (perFrame)
        EXPECT_NE(p[0], p[1]);
      else
        EXPECT_EQ(p[0], p[1]);
    }
  }
}
