// What velmora-cli writes: never over its inputs, all or nothing, under names that say what
// the files hold, with every clamped or ignored option said.
#include <chrono>
#include <cstdlib>
#include <sys/stat.h>
#include <thread>

#include "VeAnimation.h"
#include "VeBatch.h"
#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VePictureCodecs.h"
#include "VePlatforms.h"
#include "VeSaveResult.h"
#include "VeSource.h"
#include "VeStream.h"
#include "test_cli.h"

namespace {

std::string VeTrimCopy(const std::string& s) {
  size_t b = s.find_first_not_of(" \t"), e = s.find_last_not_of(" \t\r");
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

std::string Errors(const TRun& r) {
  return "status " + std::to_string(r.Status) + ", stderr: " + r.Err;
}

} // namespace

TEST_F(CliTest, NoCommandReplacesItsOwnInput) {
  fs::copy_file(Sample("coffee.png"), Dir / "coffee.png");
  const std::string original = ReadAll(Dir / "coffee.png");
  fs::create_symlink("coffee.png", Dir / "link.png");
  fs::create_hard_link(Dir / "coffee.png", Dir / "hard.png");
  std::ofstream(Dir / "x.scr", std::ios::binary) << std::string(6912, '\x38');
  const std::string screen = ReadAll(Dir / "x.scr");
  fs::copy_file(Sample("coffee.png"), Dir / "pic.png");
  ASSERT_EQ(
      Run({"convert", "pic.png", "-p", "Common", "-m", "Palette", "-f", "gif", "-o", "tmp"}).Status,
      0);
  fs::rename(Dir / "tmp.gif", Dir / "pic.gif");
  const std::string gif = ReadAll(Dir / "pic.gif");
  std::ofstream(Dir / "my.pal") << "JASC-PAL\r\n0100\r\n2\r\n0 0 0\r\n255 255 255\r\n";
  const std::string pal = ReadAll(Dir / "my.pal");

  struct TCase {
    std::vector<std::string> Args;
    std::string File, Content;
  } cases[] = {
      {{"convert", "coffee.png", "-p", "Common", "-m", "Palette", "-f", "png"},
       "coffee.png",
       original},
      {{"convert", "./coffee.png", "-p", "Common", "-f", "bmp", "--preview", "link.png"},
       "coffee.png",
       original},
      {{"convert", "coffee.png", "-p", "Common", "-f", "bmp", "--preview", "hard.png"},
       "coffee.png",
       original},
      {{"convert", "coffee.png", "-p", "Common", "-m", "Palette", "--palette", "pic.gif", "-f",
        "gif", "-o", "pic"},
       "pic.gif",
       gif},
      {{"import", "x.scr", "-o", "x.scr.png"}, "", ""}, // fine: a new file
      {{"palette", "my.pal", "-o", "./my.pal"}, "my.pal", pal},
  };
  for (const TCase& c : cases) {
    TRun r = Run(c.Args);
    if (c.File.empty()) {
      EXPECT_EQ(r.Status, 0) << c.Args[0] << ": " << Errors(r);
      continue;
    }
    EXPECT_EQ(r.Status, 1) << c.Args[0] << " " << c.Args[1] << ": " << Errors(r);
    EXPECT_NE(r.Err.find("one of the files being read"), std::string::npos) << r.Err;
    EXPECT_TRUE(r.Out.empty()) << r.Out;
    EXPECT_EQ(ReadAll(Dir / c.File), c.Content) << c.File;
  }
  // Nothing of the refused conversions was left behind either.
  EXPECT_FALSE(fs::exists(Dir / "coffee.bmp"));
  EXPECT_EQ(ReadAll(Dir / "x.scr"), screen);

  // A batch whose results go into its own folder keeps every source and names the results
  // apart from them.
  fs::create_directories(Dir / "pics");
  fs::copy_file(Sample("coffee.png"), Dir / "pics" / "a.png");
  TRun r = Run({"batch", "pics", "pics", "-p", "Common", "-m", "B/W", "-f", "png"});
  EXPECT_EQ(r.Status, 0) << Errors(r);
  EXPECT_EQ(r.Out, "pics/a-png.png\n");
  EXPECT_EQ(ReadAll(Dir / "pics" / "a.png"), original);
}

TEST_F(CliTest, BatchResultsNeverShareOneName) {
  fs::create_directories(Dir / "src");
  for (const char* name : {"a.png", "a.bmp", "a.gif", "a-png.png"}) {
    TRun r = Run({"convert", Sample("coffee.png"), "-p", "Common", "-m", "Palette", "-f",
                  VeExtractFileExt(name).substr(1), "-o", std::string("src/") + name});
    ASSERT_EQ(r.Status, 0) << Errors(r);
  }
  TRun r = Run({"batch", "src", "dst", "-p", "Common", "-m", "B/W", "-f", "png"});
  ASSERT_EQ(r.Status, 0) << Errors(r);
  // First come, first served in name order; a taken name gets the source's extension, then
  // a number.
  EXPECT_EQ(r.Out, "dst/a-png.png\ndst/a.png\ndst/a-gif.png\ndst/a-png-2.png\n");
  size_t files = 0;
  for (auto& e : fs::directory_iterator(Dir / "dst"))
    files += e.is_regular_file();
  EXPECT_EQ(files, 4u);

  // The core's log says which result went where.
  VeRegisterPlatforms();
  const TVeDestEngineClass* bw = DestEngineList().GetSubTypes(0).GetEngineClass(0);
  auto options = bw->Create()->CreateOptions();
  TVeBatchThread batch({}, sfPNG, *bw, *options, (Dir / "dst2").string(), (Dir / "src").string());
  batch.WaitFor();
  std::vector<std::string> log;
  for (std::string line = batch.TakeLogLine(); !line.empty(); line = batch.TakeLogLine())
    log.push_back(line);
  EXPECT_EQ(log, (std::vector<std::string>{"a-png.png: OK", "a.bmp: OK", "a.gif: OK as a-gif.png",
                                           "a.png: OK as a-png-2.png"}));
}

TEST_F(CliTest, AFailedCommandLeavesNothingBehind) {
  // The preview cannot be written (its folder is a file): the native file must not remain.
  std::ofstream(Dir / "blocker") << "x";
  TRun r = Run(
      {"convert", Sample("astronaut.png"), "-o", "out/astro", "--preview", "blocker/preview.png"});
  EXPECT_EQ(r.Status, 1) << Errors(r);
  EXPECT_FALSE(fs::exists(Dir / "out" / "astro.scr"));
  EXPECT_FALSE(fs::exists(Dir / "out"));
  // A two-file mode whose second file cannot be written keeps neither; an old first file
  // stays as it was.
  fs::create_directories(Dir / "g" / "astro.mg8");
  std::ofstream(Dir / "g" / "astro.img") << "old";
  r = Run({"convert", Sample("astronaut.png"), "-m", "256x192x4 Giga", "-o", "g/astro"});
  EXPECT_EQ(r.Status, 1) << Errors(r);
  EXPECT_NE(r.Err.find("Is a folder"), std::string::npos) << r.Err;
  EXPECT_EQ(ReadAll(Dir / "g" / "astro.img"), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(Dir / "g"), fs::directory_iterator()), 2);
}

TEST_F(CliTest, ReadOnlyFilesAreReplacedOnlyWhenForced) {
  std::ofstream(Dir / "coffee.png") << "old";
  ::chmod((Dir / "coffee.png").c_str(), 0444);
  std::vector<std::string> args = {"convert", Sample("coffee.png"), "-p", "Common", "-f", "png"};
  TRun r = Run(args);
  EXPECT_EQ(r.Status, 1) << Errors(r);
  EXPECT_NE(r.Err.find("read-only (--force replaces it)"), std::string::npos) << r.Err;
  EXPECT_EQ(ReadAll(Dir / "coffee.png"), "old");
  args.push_back("--force");
  r = Run(args);
  EXPECT_EQ(r.Status, 0) << Errors(r);
  EXPECT_NE(ReadAll(Dir / "coffee.png"), "old");
  struct stat st;
  ASSERT_EQ(::stat((Dir / "coffee.png").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0444u) << "a replaced file keeps its permissions";
}

TEST_F(CliTest, AFileHoldsWhatItsExtensionSays) {
  std::ofstream(Dir / "x.scr", std::ios::binary) << std::string(6912, '\x38');
  std::ofstream(Dir / "two.pal") << "JASC-PAL\r\n0100\r\n2\r\n0 0 0\r\n255 255 255\r\n";
  const std::vector<std::vector<std::string>> refused = {
      {"import", "x.scr", "-o", "x.jpg"},
      {"import", "x.scr", "-o", "x.txt"},
      {"import", "x.scr", "-o", "noextension"},
      {"convert", Sample("coffee.png"), "-p", "Common", "--preview", "pv.jpg"},
      {"palette", "two.pal", "-o", "copy.gpl"},
  };
  for (const auto& args : refused) {
    TRun r = Run(args);
    EXPECT_EQ(r.Status, 2) << args[0] << " " << args.back() << ": " << Errors(r);
    EXPECT_TRUE(r.Err.find(".png, .bmp or .gif") != std::string::npos ||
                r.Err.find(".pal") != std::string::npos)
        << r.Err;
  }
  size_t files = 0;
  for (auto& e : fs::directory_iterator(Dir))
    files += e.is_regular_file() && e.path().filename().string()[0] != '.';
  EXPECT_EQ(files, 2u) << "nothing was written";
  // Upper-case extensions are fine, and the bytes follow them.
  TRun r = Run({"import", "x.scr", "-o", "X.GIF"});
  ASSERT_EQ(r.Status, 0) << Errors(r);
  EXPECT_EQ(ReadAll(Dir / "X.GIF").substr(0, 3), "GIF");
}

TEST_F(CliTest, OptionValuesAreCheckedAndAdjustmentsSaid) {
  // Width alone: the height follows the picture (512 x 512).
  TRun r = Run({"convert", Sample("astronaut.png"), "-p", "Common", "-m", "Palette", "-f", "png",
                "--set", "Width=600"});
  ASSERT_EQ(r.Status, 0) << Errors(r);
  std::vector<uint8_t> png = Bytes(Dir / "astronaut.png");
  TVePicture pic = VeDecodePng(png.data(), png.size());
  EXPECT_EQ(pic.Width, 600);
  EXPECT_EQ(pic.Height, 600);
  EXPECT_TRUE(r.Err.empty()) << r.Err;

  struct TCase {
    std::vector<std::string> Sets;
    std::string Note;
  } cases[] = {
      {{"Width=5000", "Height=100"}, "note: Width=5000 is out of range; 2048 is used"},
      {{"MaxColorCount=-5"}, "note: MaxColorCount=-5 is out of range; 0 is used"},
      {{"ErrorDiffusion=300"}, "note: ErrorDiffusion=300 is out of range; 100 is used"},
  };
  for (const TCase& c : cases) {
    std::vector<std::string> args = {
        "convert", Sample("coffee.png"), "-p", "Common", "-m", "Palette", "-f", "bmp"};
    for (const std::string& s : c.Sets)
      args.insert(args.end(), {"--set", s});
    r = Run(args);
    EXPECT_EQ(r.Status, 0) << Errors(r);
    EXPECT_NE(r.Err.find(c.Note), std::string::npos) << c.Sets[0] << ": " << r.Err;
  }
  // Fields the ZX Spectrum screen does not use are said to be ignored.
  for (const char* set :
       {"Width=100", "Comment=hello", "Calculation=Linear", "FileFormatFlag=false"}) {
    r = Run({"convert", Sample("coffee.png"), "-o", "zx", "--set", set});
    EXPECT_EQ(r.Status, 0) << Errors(r);
    std::string field = std::string(set).substr(0, std::string(set).find('='));
    EXPECT_NE(r.Err.find("note: " + field + " is not used by this mode; ignored"),
              std::string::npos)
        << set << ": " << r.Err;
  }
  // A region number beyond any int is refused, not wrapped.
  r = Run({"convert", Sample("coffee.png"), "-p", "Common", "--region", "0,0,4294967396,100"});
  EXPECT_EQ(r.Status, 2) << Errors(r);
  EXPECT_NE(r.Err.find("outside the picture"), std::string::npos) << r.Err;
}

TEST_F(CliTest, EveryFrontEndWritesTheSameFilesByDefault) {
  VeRegisterPlatforms();
  struct TMode {
    std::vector<std::string> Args;
    int Platform, Mode;
    std::string Ext;
  } modes[] = {{{}, DestEngineList().IndexOf("ZX Spectrum"), 0, "scr"},
               {{"-p", "Common", "-m", "Palette", "-f", "png"}, 0, 1, "png"}};
  for (const TMode& m : modes) {
    std::vector<std::string> args = {"convert", Sample("astronaut.png"), "-o", "cli"};
    args.insert(args.end(), m.Args.begin(), m.Args.end());
    TRun r = Run(args);
    ASSERT_EQ(r.Status, 0) << Errors(r);
    const std::string cli = ReadAll(Dir / ("cli." + m.Ext));

    // The desktop program: the controller with a new engine on the opened picture.
    TVeSource source;
    source.OpenFile(Sample("astronaut.png"));
    TVeDest dest;
    const TVeDestEngineClass* engine =
        DestEngineList().GetSubTypes(m.Platform).GetEngineClass(m.Mode);
    dest.SetSource(&source);
    dest.SetEngine(engine);
    ASSERT_TRUE(dest.RunUntilIdle());
    ASSERT_TRUE(dest.ResultBitmap());
    std::string gui;
    if (m.Ext == "png") {
      std::vector<uint8_t> bytes = VeEncodeResult(*dest.ResultBitmap(), sfPNG);
      gui.assign(bytes.begin(), bytes.end());
    } else {
      ASSERT_TRUE(dest.OutputFiles());
      const TVeStream& s = *dest.OutputFiles()->GetStream(0);
      gui.assign(s.Bytes().begin(), s.Bytes().end());
    }
    EXPECT_TRUE(cli == gui) << "command line and desktop differ for " << m.Ext;

    // The batch, in the desktop program and on the command line.
    fs::create_directories(Dir / "in");
    fs::copy_file(Sample("astronaut.png"), Dir / "in" / "astronaut.png",
                  fs::copy_options::overwrite_existing);
    TVeBatchThread batch({}, m.Ext == "png" ? sfPNG : sfNative, dest, (Dir / "b").string(),
                         (Dir / "in").string());
    batch.WaitFor();
    EXPECT_TRUE(ReadAll(Dir / "b" / ("astronaut." + m.Ext)) == cli)
        << "batch differs for " << m.Ext;
  }
}

TEST_F(CliTest, ReadmeExamplesRunAsWritten) {
  const fs::path root = fs::path(VELMORA_SAMPLES_DIR).parent_path();
  std::ifstream readme(root / "README.md");
  ASSERT_TRUE(readme) << "README.md not found beside " << VELMORA_SAMPLES_DIR;
  // The indented command lines of the "Command line" section, continuations joined.
  std::vector<std::string> commands;
  std::string line, pending;
  bool inSection = false;
  while (std::getline(readme, line)) {
    if (line.rfind("## ", 0) == 0) inSection = line == "## Command line";
    if (!inSection || line.rfind("    ", 0) != 0) continue;
    std::string text = VeTrimCopy(line);
    if (pending.empty() && text.rfind("velmora-cli ", 0) != 0) continue;
    bool more = !text.empty() && text.back() == '\\';
    if (more) text.pop_back();
    pending += text;
    if (!more) {
      commands.push_back(pending);
      pending.clear();
    }
  }
  ASSERT_GE(commands.size(), 10u);

  // What the examples name: a photograph, palettes, a screen, drawn art and folders.
  fs::create_directories(Dir / "samples");
  fs::copy_file(Sample("astronaut.png"), Dir / "samples" / "astronaut.png");
  WriteSampleJpeg(Dir / "photo.jpg");
  std::ofstream(Dir / "my.pal") << "JASC-PAL\r\n0100\r\n3\r\n0 0 0\r\n255 128 1\r\n9 9 9\r\n";
  std::ofstream(Dir / "colours.gpl") << "GIMP Palette\nName: Three\n#\n0 0 0 Black\n255 0 0 Red\n";
  fs::create_directories(Dir / "pictures");
  fs::copy_file(Sample("coffee.png"), Dir / "pictures" / "coffee.png");
  // The preview doubles as pixel art drawn for the mode.
  ASSERT_EQ(Run({"convert", Sample("coffee.png"), "-o", "game", "--preview", "drawn.png"}).Status,
            0);
  ASSERT_TRUE(fs::exists(Dir / "game.scr"));
  fs::create_directories(Dir / "screens");
  fs::copy_file(Dir / "game.scr", Dir / "screens" / "game.scr");
  // An animation of two frames, as a GIF and as numbered pictures.
  TVeBitmap32 first(64, 48, VeRGBQuad(200, 40, 40)), second(64, 48, VeRGBQuad(40, 40, 200));
  const std::vector<uint8_t> anim = VeWriteGifAnimation({&first, &second}, {100, 100});
  std::ofstream(Dir / "anim.gif", std::ios::binary)
      .write(reinterpret_cast<const char*>(anim.data()), std::streamsize(anim.size()));
  fs::create_directories(Dir / "frames");
  ASSERT_EQ(Run({"import", "game.scr", "-o", "frames/shot0000.png"}).Status, 0);
  ASSERT_EQ(Run({"import", "game.scr", "-o", "frames/shot0001.png"}).Status, 0);

  const std::string bin = fs::path(VELMORA_CLI_PATH).parent_path().string();
  for (const std::string& command : commands) {
    std::string cmd = "cd " + Quote(Dir.string()) + " && PATH=" + Quote(bin) + ":\"$PATH\" " +
                      command + " >/dev/null 2>" + Quote((Dir / ".stderr").string());
    int st = std::system(cmd.c_str());
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << command << "\n"
                                                       << ReadAll(Dir / ".stderr");
  }
}
