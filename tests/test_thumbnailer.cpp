// velmora-thumbnailer as a file manager runs it: a thumbnail of the right size from a good
// screen file, and from anything else a non-zero status, one line, and no file at all.
#include <chrono>
#include <set>

#include "VeSource.h"
#include "test_cli.h"

class ThumbnailerTest : public CliTest {
protected:
  void SetUp() override {
    if (std::string(VELMORA_THUMBNAILER_PATH).empty())
      GTEST_SKIP() << "velmora-thumbnailer is not built";
    CliTest::SetUp();
  }

  TRun Thumb(const std::vector<std::string>& args) {
    std::string cmd = "cd " + Quote(Dir.string()) + " && " + Quote(VELMORA_THUMBNAILER_PATH);
    for (auto& a : args)
      cmd += " " + Quote(a);
    fs::path err = Dir.parent_path() / (Dir.filename().string() + ".stderr");
    cmd += " 2>" + Quote(err.string());
    TRun r;
    int st = std::system(cmd.c_str());
    r.Status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.Err = ReadAll(err);
    fs::remove(err);
    return r;
  }

  std::set<std::string> Listing() const {
    std::set<std::string> names;
    for (auto& e : fs::recursive_directory_iterator(Dir))
      names.insert(fs::relative(e.path(), Dir).string());
    return names;
  }

  // A ZX Spectrum screen as the converter writes it.
  fs::path WriteScreen() {
    TRun r = Run({"convert", Sample("astronaut.png"), "-o", "astro"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(fs::file_size(Dir / "astro.scr"), 6912u);
    return Dir / "astro.scr";
  }

  // Runs on a file that must be refused: status 1, one line naming the program, and the
  // folder exactly as it was (no thumbnail, no temporary file).
  void ExpectRefused(const std::vector<std::string>& args, const std::string& why) {
    SCOPED_TRACE(why);
    const std::set<std::string> before = Listing();
    TRun r = Thumb(args);
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err.rfind("velmora-thumbnailer: ", 0), 0u) << r.Err;
    EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1) << r.Err;
    EXPECT_EQ(Listing(), before);
  }
};

TEST_F(ThumbnailerTest, ScreenFitsTheAskedSizeWithItsAspect) {
  const std::string scr = WriteScreen().string();
  struct {
    const char* Size;
    int W, H;
  } cases[] = {{"128", 128, 96}, {"256", 256, 192}, {"100", 100, 75}, {"1024", 256, 192}};
  for (auto& c : cases) {
    SCOPED_TRACE(c.Size);
    TRun r = Thumb({"-s", c.Size, "-i", scr, "-o", "thumb.png"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(r.Err.empty()) << r.Err;
    std::vector<uint8_t> png = Bytes(Dir / "thumb.png");
    TVePicture pic = VeDecodePng(png.data(), png.size());
    EXPECT_EQ(pic.Width, c.W);
    EXPECT_EQ(pic.Height, c.H);
  }
  // At its own size the thumbnail is the screen itself: the import of the same file.
  TRun r = Run({"import", "astro.scr", "-o", "import.png"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  std::vector<uint8_t> a = Bytes(Dir / "import.png"), b = Bytes(Dir / "thumb.png");
  TVePicture imported = VeDecodePng(a.data(), a.size()), thumb = VeDecodePng(b.data(), b.size());
  ASSERT_EQ(imported.Width, thumb.Width);
  ASSERT_EQ(imported.Height, thumb.Height);
  TVeBitmap32 pa = PictureToBitmap32(imported, vpwPicture).Image;
  TVeBitmap32 pb = PictureToBitmap32(thumb, vpwPicture).Image;
  for (int y = 0; y < pa.Height(); ++y)
    for (int x = 0; x < pa.Width(); ++x)
      ASSERT_EQ(pa.Pixel(x, y) & 0xFFFFFF, pb.Pixel(x, y) & 0xFFFFFF) << x << "," << y;
}

TEST_F(ThumbnailerTest, WidePixelsAreShownWide) {
  // CPC mode 0: 160 x 200 pixels twice as wide as high, shown as 320 x 200.
  TRun r = Run(
      {"convert", Sample("astronaut.png"), "-p", "Amstrad CPC", "-m", "0 160x200x4", "-o", "cpc"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  struct {
    const char* Size;
    int W, H;
  } cases[] = {{"256", 256, 160}, {"400", 320, 200}};
  for (auto& c : cases) {
    SCOPED_TRACE(c.Size);
    r = Thumb({"-s", c.Size, "-i", "cpc.scr", "-o", "thumb.png"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    std::vector<uint8_t> png = Bytes(Dir / "thumb.png");
    TVePicture pic = VeDecodePng(png.data(), png.size());
    EXPECT_EQ(pic.Width, c.W);
    EXPECT_EQ(pic.Height, c.H);
  }
}

TEST_F(ThumbnailerTest, HostileFilesFailCleanly) {
  const fs::path scr = WriteScreen();
  std::vector<uint8_t> bytes = Bytes(scr);
  auto write = [&](const char* name, const std::vector<uint8_t>& data) {
    std::ofstream(Dir / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
  };
  write("cut.scr", std::vector<uint8_t>(bytes.begin(), bytes.begin() + 3000));
  write("empty.scr", {});
  std::vector<uint8_t> noise(3 << 20);
  uint32_t seed = 12345;
  for (auto& v : noise)
    v = uint8_t((seed = seed * 1103515245u + 12345u) >> 24);
  write("noise.scr", noise);
  fs::create_directory(Dir / "folder.scr");
  {
    // Too large to be a screen: refused before it is read, however much of it is there.
    std::ofstream big(Dir / "big.scr", std::ios::binary);
    big.seekp((64 << 20) - 1);
    big.put('\0');
  }

  const auto start = std::chrono::steady_clock::now();
  for (const char* name :
       {"cut.scr", "empty.scr", "noise.scr", "folder.scr", "big.scr", "missing.scr"})
    ExpectRefused({"-s", "128", "-i", name, "-o", "thumb.png"}, name);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));

  // Arguments a caller got wrong, and outputs that cannot be written.
  ExpectRefused({"-s", "0", "-i", "astro.scr", "-o", "thumb.png"}, "size 0");
  ExpectRefused({"-s", "12x", "-i", "astro.scr", "-o", "thumb.png"}, "size 12x");
  ExpectRefused({"-i", "astro.scr", "-o", "thumb.png"}, "no size");
  ExpectRefused({"-s", "128", "-i", "astro.scr", "-o"}, "no output");
  ExpectRefused({"-s", "128", "-i", "astro.scr", "-o", "astro.scr"}, "output is the input");
  ExpectRefused({"-s", "128", "-i", "astro.scr", "-o", "no/such/thumb.png"}, "no folder");
}

TEST_F(ThumbnailerTest, FailureKeepsAnEarlierThumbnail) {
  // All or nothing: a failed run neither truncates nor replaces the file at the output name.
  WriteScreen();
  ASSERT_EQ(Thumb({"-s", "64", "-i", "astro.scr", "-o", "thumb.png"}).Status, 0);
  const std::vector<uint8_t> before = Bytes(Dir / "thumb.png");
  std::ofstream(Dir / "cut.scr", std::ios::binary) << std::string(100, '\x55');
  ExpectRefused({"-s", "64", "-i", "cut.scr", "-o", "thumb.png"}, "cut");
  EXPECT_EQ(Bytes(Dir / "thumb.png"), before);
}
