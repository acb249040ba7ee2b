// velmora-cli converting animations: every frame a screen of the mode, numbered files in one
// set, the animated preview, temporal stability and results independent of the worker count.
#include "test_cli.h"

#include "VeAnimation.h"
#include "VeSource.h"

namespace {

// A scene of 256 x 192: a still gradient with fixed noise, and a 16 x 16 square that moves 16
// pixels to the right each frame, starting at (sx, 88).
TVeBitmap32 Scene(int sx) {
  TVeBitmap32 b(256, 192);
  uint32_t seed = 12345;
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < 256; ++x) {
      seed = seed * 1103515245u + 12345u;
      const int g = std::min(255, (x + y) / 2 + int(seed >> 28));
      b.Pixel(x, y) = VeRGBQuad(uint8_t(g), uint8_t(g / 2), uint8_t(255 - g));
    }
  for (int y = 88; y < 104; ++y)
    for (int x = sx; x < sx + 16; ++x)
      b.Pixel(x, y) = VeRGBQuad(255, 255, 0);
  return b;
}

constexpr int SquareStart = 64, SquareStep = 16, SceneFrames = 5;

void WriteBytes(const fs::path& p, const std::vector<uint8_t>& bytes) {
  std::ofstream(p, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> SceneGif(int frames) {
  std::vector<TVeBitmap32> pictures;
  for (int k = 0; k < frames; ++k)
    pictures.push_back(Scene(SquareStart + k * SquareStep));
  std::vector<const TVeBitmap32*> pointers;
  for (auto& p : pictures)
    pointers.push_back(&p);
  std::vector<int> delays;
  for (int k = 0; k < frames; ++k)
    delays.push_back(40 + 10 * k);
  return VeWriteGifAnimation(pointers, delays);
}

void WritePng(const fs::path& p, const TVeBitmap32& b) {
  // The writer may ask for rows ahead, so every row is kept.
  const size_t stride = size_t(b.Width()) * 3;
  std::vector<uint8_t> rows(stride * size_t(b.Height()));
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      const uint32_t c = b.Pixel(x, y);
      uint8_t* q = rows.data() + size_t(y) * stride + size_t(x) * 3;
      q[0] = uint8_t(c), q[1] = uint8_t(c >> 8), q[2] = uint8_t(c >> 16);
    }
  WriteBytes(p, VeWritePng(b.Width(), b.Height(), 24, {},
                           [&](int y) { return rows.data() + size_t(y) * stride; }));
}

std::string FrameName(const std::string& stem, int k, const std::string& ext) {
  char n[16];
  std::snprintf(n, sizeof n, ".%04d.", k);
  return stem + n + ext;
}

TVeBitmap32 ReadPicture(const fs::path& p) {
  std::string s = ReadAll(p);
  std::vector<uint8_t> bytes(s.begin(), s.end());
  return VeDecodeToBitmap32(DetectPictureType(bytes.data(), bytes.size()), bytes.data(),
                            bytes.size())
      .Image;
}

} // namespace

class CliAnimation : public CliTest {};

TEST_F(CliAnimation, FramesAreTheScreensOfTheirStills) {
  WriteBytes(Dir / "anim.gif", SceneGif(3));
  TRun r = Run({"convert", "anim.gif", "-o", "out/anim", "--no-stability", "--preview",
                "out/preview.gif", "--export", "c"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  std::vector<uint8_t> gif = Bytes(Dir / "anim.gif");
  TVeAnimation source = VeDecodeGifAnimation(gif.data(), gif.size());
  for (int k = 0; k < 3; ++k) {
    const std::string scr = FrameName("out/anim", k, "scr");
    ASSERT_TRUE(fs::exists(Dir / scr)) << r.Out;
    // The frame alone, converted as a still, gives the same screen.
    WritePng(Dir / "still.png", source.Frames[size_t(k)].Image);
    ASSERT_EQ(Run({"convert", "still.png", "-o", "still", "--force"}).Status, 0);
    EXPECT_EQ(Bytes(Dir / scr), Bytes(Dir / "still.scr")) << "frame " << k;
    // And it reads back through the loader as a screen of the mode.
    TRun back = Run({"import", scr, "-o", "back.png", "--force"});
    ASSERT_EQ(back.Status, 0) << back.Err;
    EXPECT_EQ(ReadPicture(Dir / "back.png").Width(), 256);
  }
  EXPECT_FALSE(fs::exists(Dir / FrameName("out/anim", 3, "scr")));
  EXPECT_TRUE(fs::exists(Dir / "out/anim_0002_scr.h")) << r.Out;
  // The preview is an animation of the results with the source's delays.
  std::vector<uint8_t> preview = Bytes(Dir / "out/preview.gif");
  TVeAnimation shown = VeDecodeGifAnimation(preview.data(), preview.size());
  ASSERT_EQ(shown.Frames.size(), 3u);
  EXPECT_EQ(shown.Frames[2].DelayMs, 60);
  WritePng(Dir / "f.png", shown.Frames[1].Image);
  TRun imported = Run({"import", FrameName("out/anim", 1, "scr"), "-o", "i.png", "--force"});
  ASSERT_EQ(imported.Status, 0);
  EXPECT_EQ(ReadPicture(Dir / "i.png"), shown.Frames[1].Image);
}

TEST_F(CliAnimation, StillGifsSequencesAndRefusals) {
  // A GIF of one picture converts as always: one unnumbered file.
  WriteBytes(Dir / "one.gif", SceneGif(1));
  TRun one = Run({"convert", "one.gif"});
  ASSERT_EQ(one.Status, 0) << one.Err;
  EXPECT_TRUE(fs::exists(Dir / "one.scr"));
  EXPECT_FALSE(fs::exists(Dir / "one.0000.scr"));
  // A folder and a pattern give the same numbered frames, here as PNG.
  fs::create_directories(Dir / "seq");
  for (int k = 0; k < 2; ++k) {
    char name[32];
    std::snprintf(name, sizeof name, "shot%03d.png", k + 1);
    WritePng(Dir / "seq" / name, Scene(SquareStart + k * SquareStep));
  }
  ASSERT_EQ(Run({"convert", "seq", "-o", "a/seq", "-f", "png"}).Status, 0);
  ASSERT_EQ(Run({"convert", "seq/shot%03d.png", "-o", "b/seq", "-f", "png"}).Status, 0);
  for (int k = 0; k < 2; ++k) {
    EXPECT_TRUE(fs::exists(Dir / ("a/" + FrameName("seq", k, "png"))));
    EXPECT_EQ(Bytes(Dir / ("a/" + FrameName("seq", k, "png"))),
              Bytes(Dir / ("b/" + FrameName("seq", k, "png"))));
  }
  // All or nothing: one frame's name taken by a read-only file stops every frame.
  fs::create_directories(Dir / "c");
  WriteBytes(Dir / ("c/" + FrameName("seq", 1, "scr")), {1});
  fs::permissions(Dir / ("c/" + FrameName("seq", 1, "scr")), fs::perms::owner_read);
  EXPECT_NE(Run({"convert", "seq", "-o", "c/seq"}).Status, 0);
  EXPECT_FALSE(fs::exists(Dir / ("c/" + FrameName("seq", 0, "scr"))));
  // Frames of another size, a pattern matching nothing, a broken animation.
  WritePng(Dir / "seq" / "shot003.png", TVeBitmap32(8, 8));
  TRun mixed = Run({"convert", "seq", "-o", "d/seq"});
  EXPECT_NE(mixed.Status, 0);
  EXPECT_NE(mixed.Err.find("shot003.png: the picture is 8x8"), std::string::npos) << mixed.Err;
  EXPECT_NE(Run({"convert", "none%02d.png"}).Status, 0);
  // Cut inside its second frame: refused, not taken as a still of the first.
  std::vector<uint8_t> gif = SceneGif(3);
  gif.resize(gif.size() / 2);
  WriteBytes(Dir / "cut.gif", gif);
  TRun cut = Run({"convert", "cut.gif"});
  EXPECT_EQ(cut.Status, 1);
  EXPECT_NE(cut.Err.find("Truncated GIF file"), std::string::npos) << cut.Err;
  EXPECT_TRUE(Lines(Run({"convert", "cut.gif"}).Out).empty());
}

TEST_F(CliAnimation, StabilityKeepsStillCellsAndWorkersDoNotMatter) {
  WriteBytes(Dir / "scene.gif", SceneGif(SceneFrames));
  TRun off = Run({"convert", "scene.gif", "-o", "off/s", "-f", "png", "--no-stability"});
  ASSERT_EQ(off.Status, 0) << off.Err;
  TRun on = Run({"convert", "scene.gif", "-o", "on/s", "-f", "png", "--threads", "2"});
  ASSERT_EQ(on.Status, 0) << on.Err;
  TRun one = Run({"convert", "scene.gif", "-o", "one/s", "-f", "png", "--threads", "1"});
  ASSERT_EQ(one.Status, 0) << one.Err;
  // Shares of the 8 x 8 cells that change between frames, away from the square's cells in
  // both frames, and of the square's own cells.
  auto shares = [&](const std::string& folder, double& outside, double& square) {
    int changedOut = 0, cellsOut = 0, changedIn = 0, cellsIn = 0;
    TVeBitmap32 before = ReadPicture(Dir / folder / FrameName("s", 0, "png"));
    for (int k = 1; k < SceneFrames; ++k) {
      TVeBitmap32 now = ReadPicture(Dir / folder / FrameName("s", k, "png"));
      const int a = SquareStart + (k - 1) * SquareStep, b = a + SquareStep;
      for (int cy = 0; cy < 24; ++cy)
        for (int cx = 0; cx < 32; ++cx) {
          bool differs = false;
          for (int y = cy * 8; y < cy * 8 + 8; ++y)
            for (int x = cx * 8; x < cx * 8 + 8; ++x)
              differs = differs || now.Pixel(x, y) != before.Pixel(x, y);
          const bool inSquare = cy * 8 >= 88 && cy * 8 < 104 && cx * 8 >= b && cx * 8 < b + 16;
          const bool near =
              cy * 8 + 8 > 80 && cy * 8 < 112 && cx * 8 + 8 > a - 8 && cx * 8 < b + 24;
          if (inSquare) ++cellsIn, changedIn += differs;
          if (!near) ++cellsOut, changedOut += differs;
        }
      before = std::move(now);
    }
    outside = double(changedOut) / cellsOut;
    square = double(changedIn) / cellsIn;
  };
  double offOut = 0, offSquare = 0, onOut = 0, onSquare = 0;
  shares("off", offOut, offSquare);
  shares("on", onOut, onSquare);
  std::printf("cells changing outside the square: %.1f%% without stability, %.1f%% with; the "
              "square's cells: %.0f%%, %.0f%%\n",
              offOut * 100, onOut * 100, offSquare * 100, onSquare * 100);
  EXPECT_GT(offOut, 0.05);
  EXPECT_LT(onOut, 0.01);
  EXPECT_GT(onSquare, 0.99);
  for (int k = 0; k < SceneFrames; ++k)
    EXPECT_EQ(Bytes(Dir / "on" / FrameName("s", k, "png")),
              Bytes(Dir / "one" / FrameName("s", k, "png")))
        << k;
}

TEST_F(CliAnimation, FreePaletteSharedByAllFramesUnlessAskedPerFrame) {
  // A red frame and a blue one: palettes chosen per frame differ, one for both holds both.
  TVeBitmap32 red(64, 64), blue(64, 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      red.Pixel(x, y) = VeRGBQuad(uint8_t(128 + x / 8 * 16), uint8_t(y / 8 * 32), 0);
      blue.Pixel(x, y) = VeRGBQuad(0, uint8_t(y / 8 * 32), uint8_t(128 + x / 8 * 16));
    }
  WriteBytes(Dir / "rb.gif", VeWriteGifAnimation({&red, &blue}, {100, 100}));
  auto palettes = [&](const std::string& stem) {
    std::vector<std::vector<uint32_t>> out;
    for (int k = 0; k < 2; ++k) {
      std::vector<uint8_t> png = Bytes(Dir / FrameName(stem, k, "png"));
      out.push_back(VeDecodePng(png.data(), png.size()).Palette);
    }
    return out;
  };
  const std::vector<std::string> args = {"-p",    "Common",          "-m", "Palette",
                                         "--set", "MaxColorCount=8", "-f", "png"};
  std::vector<std::string> shared = {"convert", "rb.gif", "-o", "shared"};
  shared.insert(shared.end(), args.begin(), args.end());
  std::vector<std::string> own = {"convert", "rb.gif", "-o", "own", "--palette-per-frame"};
  own.insert(own.end(), args.begin(), args.end());
  TRun a = Run(shared), b = Run(own);
  ASSERT_EQ(a.Status, 0) << a.Err;
  ASSERT_EQ(b.Status, 0) << b.Err;
  auto s = palettes("shared"), o = palettes("own");
  ASSERT_FALSE(s[0].empty());
  EXPECT_EQ(s[0], s[1]);
  EXPECT_NE(o[0], o[1]);
  EXPECT_LE(s[0].size(), 8u);
}
