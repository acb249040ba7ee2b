// Runs the built velmora-cli on real pictures and checks what it prints and writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "VeDestEngineList.h"
#include "VePictureCodecs.h"
#include "VePlatforms.h"
#include "test_cli.h"

TEST_F(CliTest, ListShowsEveryModeInRegistryOrder) {
  TRun r = Run({"list"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  auto lines = Lines(r.Out);
  ASSERT_EQ(lines.size(), 145u);
  EXPECT_EQ(lines[0], "Common\tB/W\tany\t1");
  EXPECT_EQ(lines[1], "Common\tPalette\tany\t1");
  EXPECT_EQ(lines[2], "Common\tOriginal palette\tany\t1");
  bool zx = false;
  for (auto& l : lines)
    zx = zx || l == "ZX Spectrum\t256x192x4\t256x192\t1";
  EXPECT_TRUE(zx);
  EXPECT_EQ(lines.back().rfind("ZX Spectrum UlaPlus\t", 0), 0u);
  // Real modes have four columns; placeholders a fifth that says so, and a sixth with the
  // reason where the machine's rules are known not to be derivable.
  int reasons = 0;
  for (auto& l : lines) {
    size_t tabs = size_t(std::count(l.begin(), l.end(), '\t'));
    if (tabs == 5) {
      ++reasons;
      EXPECT_NE(l.find("\tpreview only\t"), std::string::npos) << l;
      continue;
    }
    EXPECT_TRUE(tabs == 3 ||
                (tabs == 4 && l.size() > 13 && l.compare(l.size() - 13, 13, "\tpreview only") == 0))
        << l;
  }
  EXPECT_GE(reasons, 2);
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "Timex\t512x192x2\t512x192\t1\tpreview only\t"
                      "no Timex screen shows four colours at 512 x 192"),
            lines.end());

  TRun j = Run({"list", "--json"});
  ASSERT_EQ(j.Status, 0) << j.Err;
  EXPECT_EQ(j.Out.front(), '[');
  EXPECT_NE(j.Out.find("\"platform\": \"Common\", \"mode\": \"B/W\", \"size\": \"any\", "
                       "\"scale\": 1"),
            std::string::npos)
      << j.Out.substr(0, 300);
  EXPECT_NE(j.Out.find("\"preview_only\": true, \"preview_reason\": \"no Timex screen"),
            std::string::npos);
}

TEST_F(CliTest, ConvertPaletteModeWritesIndexedPngAndPreview) {
  TRun r = Run({"convert", Sample("astronaut.png"), "-p", "common", "-m", "palette", "-f", "png",
                "--set", "MaxColorCount=16", "--set", "DitherMethod=Atkinson", "-o",
                "out/astro.jpg", "--preview", "prev.bmp", "--threads", "2"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  auto lines = Lines(r.Out);
  ASSERT_EQ(lines.size(), 2u) << r.Out;
  EXPECT_EQ(lines[0], "out/astro.png");
  EXPECT_EQ(lines[1], "prev.bmp");
  std::vector<uint8_t> png = Bytes(Dir / "out/astro.png");
  std::string text(png.begin(), png.end());
  EXPECT_NE(text.find(std::string("Software\0Velmora", 16)), std::string::npos);
  TVePicture pic = VeDecodePng(png.data(), png.size());
  EXPECT_EQ(pic.Width, 512);
  EXPECT_EQ(pic.Height, 512);
  EXPECT_LE(pic.BitsPerPixel, 8);
  EXPECT_LE(pic.Palette.size(), 16u);
  std::vector<uint8_t> bmp = Bytes(Dir / "prev.bmp");
  TVePicture prev = VeDecodeBmp(bmp.data(), bmp.size());
  EXPECT_EQ(prev.Width, 512);
  EXPECT_EQ(prev.Palette, pic.Palette);
}

TEST_F(CliTest, ConvertRegionAndNativeFallback) {
  // "B/W" has no native files, so the default format writes BMP; the region sets the size.
  TRun r = Run(
      {"convert", Sample("coffee.png"), "-p", "Common", "-m", "B/W", "--region", "100,50,300,250"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "coffee.bmp\n");
  std::vector<uint8_t> bmp = Bytes(Dir / "coffee.bmp");
  TVePicture pic = VeDecodeBmp(bmp.data(), bmp.size());
  EXPECT_EQ(pic.Width, 200);
  EXPECT_EQ(pic.Height, 200);
  EXPECT_EQ(pic.BitsPerPixel, 1);
}

TEST_F(CliTest, ConvertTrueColourGifFallsBackToBmp) {
  TRun r = Run({"convert", Sample("coffee.png"), "-p", "Common", "-m", "Palette", "--set",
                "MaxColorCount=0", "-f", "gif", "-o", "tc"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "tc.bmp\n");
  std::vector<uint8_t> bmp = Bytes(Dir / "tc.bmp");
  EXPECT_EQ(VeDecodeBmp(bmp.data(), bmp.size()).BitsPerPixel, 24);
}

TEST_F(CliTest, ErrorsAreOneLineWithUsageOrWorkStatus) {
  struct TCase {
    std::vector<std::string> Args;
    int Status;
    std::string Needle;
  } cases[] = {
      {{"convert", Sample("coffee.png"), "-p", "Atari ST"}, 2, "Atari ST"},
      {{"convert", Sample("coffee.png"), "-p", "Common", "-m", "Sepia"}, 2, "Sepia"},
      {{"convert", Sample("coffee.png"), "-p", "Common", "--set", "Dither=1"}, 2, "Dither"},
      {{"convert", Sample("coffee.png"), "-p", "Common", "--set", "Serpentine=maybe"}, 2, "maybe"},
      {{"convert", Sample("coffee.png"), "-p", "Common", "--set", "BorderColor=#12345"},
       2,
       "#12345"},
      {{"convert", Sample("coffee.png"), "-p", "Common", "--region", "5,5,5,9"}, 2, "region"},
      {{"convert", Sample("coffee.png"), "-p", "Common", "--region", "0,0,601,10"}, 2, "region"},
      {{"convert", Sample("coffee.png"), "-f", "tiff"}, 2, "tiff"},
      {{"convert"}, 2, "INPUT"},
      {{"frobnicate"}, 2, "frobnicate"},
      {{"convert", "missing.png", "-p", "Common"}, 1, "missing.png"},
      {{"convert", "notes.txt", "-p", "Common"}, 1, "Unknown image type"},
      {{"palette", "notes.txt"}, 1, ""},
  };
  std::ofstream(Dir / "notes.txt") << "just some words, not a picture at all\n";
  for (auto& c : cases) {
    TRun r = Run(c.Args);
    std::string what = c.Args[0] + (c.Args.size() > 1 ? " " + c.Args.back() : "");
    EXPECT_EQ(r.Status, c.Status) << what << ": " << r.Err;
    EXPECT_EQ(r.Err.rfind("error: ", 0), 0u) << what << ": " << r.Err;
    EXPECT_EQ(Lines(r.Err).size(), 1u) << what << ": " << r.Err;
    EXPECT_NE(r.Err.find(c.Needle), std::string::npos) << what << ": " << r.Err;
    EXPECT_TRUE(r.Out.empty()) << what << ": " << r.Out;
  }
  EXPECT_FALSE(fs::exists(Dir / "coffee.bmp"));
}

TEST_F(CliTest, BatchConvertsPicturesAndReportsFailures) {
  fs::path src = Dir / "src";
  fs::create_directories(src / "sub");
  std::ofstream(src / "b.txt") << "not a picture";
  std::ofstream(src / "broken.png") << "not a picture either";
  WriteSampleJpeg(src / "a.JPEG");
  fs::copy_file(Sample("coffee.png"), src / "sub" / "nested.png");

  TRun r = Run({"batch", "src", "dst", "-p", "Common", "-m", "B/W", "-f", "png"});
  EXPECT_EQ(r.Status, 1) << r.Err;
  // Written files on standard output as convert prints them; failures as error lines.
  EXPECT_EQ(r.Out, "dst/a.png\n");
  auto errors = Lines(r.Err);
  ASSERT_EQ(errors.size(), 2u) << r.Err;
  EXPECT_EQ(errors[0], "error: src/broken.png: Unknown image type");
  EXPECT_EQ(errors[1], "error: 1 of 2 pictures not converted");
  EXPECT_TRUE(fs::exists(Dir / "dst" / "a.png"));
  EXPECT_FALSE(fs::exists(Dir / "dst" / "nested.png"));
  EXPECT_FALSE(fs::exists(Dir / "dst" / "b.png"));

  fs::remove(src / "broken.png");
  r = Run({"batch", "src", "dst2", "-p", "Common", "-m", "Original palette"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "dst2/a.bmp\n");
  EXPECT_TRUE(fs::exists(Dir / "dst2" / "a.bmp"));

  EXPECT_EQ(Run({"batch", "nowhere", "dst3", "-p", "Common"}).Status, 1);
  // A folder without pictures is a mistake worth saying.
  fs::create_directories(Dir / "empty");
  r = Run({"batch", "empty", "dst4", "-p", "Common"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("error: empty: no pictures"), std::string::npos) << r.Err;
  // Options of a single conversion are not offered.
  r = Run({"batch", "--help"});
  EXPECT_EQ(r.Out.find("--preview"), std::string::npos) << r.Out;
  EXPECT_EQ(r.Out.find("--region"), std::string::npos) << r.Out;
}

// Packagers and scripts read the version without a command.
TEST_F(CliTest, VersionNeedsNoCommand) {
  TRun r = Run({"--version"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out.rfind("velmora-cli ", 0), 0u) << r.Out;
  EXPECT_EQ(Lines(r.Out).size(), 1u) << r.Out;
}

TEST_F(CliTest, PaletteFileIsListedAndWrittenAsJasc) {
  std::ofstream(Dir / "three.pal") << "JASC-PAL\r\n0100\r\n3\r\n0 0 0\r\n255 128 1\r\n9 9 9\r\n";
  TRun r = Run({"palette", "three.pal", "-o", "copy.pal"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "3\n0 0 0\n255 128 1\n9 9 9\n");
  std::string copy = ReadAll(Dir / "copy.pal");
  EXPECT_EQ(copy.rfind("JASC-PAL", 0), 0u);
  TRun again = Run({"palette", "copy.pal"});
  EXPECT_EQ(again.Out, r.Out);

  // The palette drives the "Palette" mode: every result colour comes from it.
  r = Run({"convert", Sample("coffee.png"), "-p", "Common", "-m", "Palette", "--palette",
           "three.pal", "-f", "png"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  std::vector<uint8_t> png = Bytes(Dir / "coffee.png");
  TVePicture pic = VeDecodePng(png.data(), png.size());
  std::vector<uint32_t> want = {0x000000, 0xFF8001, 0x090909};
  EXPECT_EQ(pic.Palette, want);
}

TEST_F(CliTest, ProbeRejectsOrdinaryFiles) {
  std::ofstream(Dir / "junk.bin") << "0123456789";
  TRun r = Run({"probe", "junk.bin"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("Unknown image type"), std::string::npos) << r.Err;
}

TEST_F(CliTest, DefaultModeWritesWhatItPrints) {
  // The default target is the first mode of "ZX Spectrum" in its native format.
  TRun r = Run({"convert", Sample("astronaut.png"), "-o", "out/astro"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  auto lines = Lines(r.Out);
  ASSERT_FALSE(lines.empty());
  for (auto& l : lines) {
    EXPECT_EQ(l.rfind("out/astro.", 0), 0u) << l;
    EXPECT_TRUE(fs::exists(Dir / l)) << l;
    EXPECT_GT(fs::file_size(Dir / l), 0u) << l;
  }
  // Nothing but the files printed: no temporary files are left behind.
  size_t files = 0;
  for (auto& e : fs::directory_iterator(Dir / "out"))
    files += e.is_regular_file();
  EXPECT_EQ(files, lines.size());
}

TEST_F(CliTest, ProbeAndImportANativeScreen) {
  // A 6912-byte screen: the bitmap third by third, then the attributes.
  std::string scr(6912, '\0');
  for (int i = 0; i < 6144; ++i)
    scr[size_t(i)] = char(i % 3 == 0 ? 0xF0 : 0x0F);
  for (int i = 6144; i < 6912; ++i)
    scr[size_t(i)] = char(0x38 | (i % 8));
  std::ofstream(Dir / "pic.scr", std::ios::binary) << scr;
  TRun probe = Run({"probe", "pic.scr"});
  if (probe.Status == 1 && probe.Err.find("Unknown image type") != std::string::npos)
    GTEST_SKIP() << "no loader takes ZX Spectrum screens yet";
  ASSERT_EQ(probe.Status, 0) << probe.Err;
  auto lines = Lines(probe.Out);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "candidate\tpriority\tloader");
  int last = 16;
  for (size_t i = 1; i < lines.size(); ++i) {
    std::istringstream row(lines[i]);
    int index = -1, priority = -1;
    row >> index >> priority;
    EXPECT_EQ(index, int(i - 1)) << lines[i];
    EXPECT_LE(priority, last) << "best first: " << lines[i];
    last = priority;
  }
  TRun imp = Run({"import", "pic.scr", "-o", "pic.png"});
  ASSERT_EQ(imp.Status, 0) << imp.Err;
  EXPECT_EQ(imp.Out, "pic.png\n");
  std::vector<uint8_t> png = Bytes(Dir / "pic.png");
  TVePicture pic = VeDecodePng(png.data(), png.size());
  EXPECT_EQ(pic.Width, 256);
  EXPECT_EQ(pic.Height, 192);
  TRun bad = Run({"import", "pic.scr", "-o", "x.png", "--candidate", "99"});
  EXPECT_EQ(bad.Status, 2);
  bad = Run({"import", "pic.scr", "-o", "x.png", "--palette-type", "ptNoSuchPalette"});
  EXPECT_EQ(bad.Status, 2);
}

TEST_F(CliTest, PaletteFileOnlyForModesWithAPaletteList) {
  std::ofstream(Dir / "two.pal") << "JASC-PAL\r\n0100\r\n2\r\n0 0 0\r\n255 255 255\r\n";
  TRun r = Run({"convert", Sample("coffee.png"), "--palette", "two.pal"});
  EXPECT_EQ(r.Status, 2);
  EXPECT_NE(r.Err.find("--palette"), std::string::npos) << r.Err;
  EXPECT_TRUE(r.Out.empty());
}

TEST_F(CliTest, SaysWhyAFileCannotBeRead) {
  fs::create_directories(Dir / "folder.scr");
  std::ofstream(Dir / "big.scr", std::ios::binary) << std::string(10485761, '\0');
  struct TCase {
    std::vector<std::string> Args;
    std::string Err;
  } cases[] = {
      {{"probe", "missing.scr"}, "error: missing.scr: No such file\n"},
      {{"import", "missing.scr", "-o", "x.png"}, "error: missing.scr: No such file\n"},
      {{"convert", "missing.scr", "-p", "Common"}, "error: missing.scr: No such file\n"},
      {{"probe", "folder.scr"}, "error: folder.scr: Is a folder\n"},
      {{"convert", "folder.scr", "-p", "Common"}, "error: folder.scr: Is a folder\n"},
      {{"probe", "big.scr"},
       "error: big.scr: File too large (10485761 bytes; the limit is 10 MB)\n"},
      {{"convert", "big.scr", "-p", "Common"},
       "error: big.scr: File too large (10485761 bytes; the limit is 10 MB)\n"},
  };
  for (auto& c : cases) {
    TRun r = Run(c.Args);
    EXPECT_EQ(r.Status, 1) << c.Args[0] << " " << c.Args[1];
    EXPECT_EQ(r.Err, c.Err) << c.Args[0] << " " << c.Args[1];
    EXPECT_TRUE(r.Out.empty()) << r.Out;
  }
}

TEST_F(CliTest, SaysPermissionDenied) {
  if (geteuid() == 0) GTEST_SKIP() << "every file is readable to root";
  std::ofstream(Dir / "locked.scr", std::ios::binary) << std::string(6912, '\1');
  fs::permissions(Dir / "locked.scr", fs::perms::none);
  for (const char* command : {"probe", "convert"}) {
    TRun r = Run({command, "locked.scr"});
    EXPECT_EQ(r.Status, 1) << command;
    EXPECT_EQ(r.Err, "error: locked.scr: Permission denied\n") << command;
  }
}

TEST_F(CliTest, CheckReportsRuleBreaksWithExitCodes) {
  TRun c = Run({"convert", Sample("coffee.png"), "-f", "png", "-o", "zx"});
  ASSERT_EQ(c.Status, 0) << c.Err;
  TRun ok = Run({"check", "zx.png"});
  EXPECT_EQ(ok.Status, 0) << ok.Out << ok.Err;
  EXPECT_NE(ok.Out.find("obeys the rule"), std::string::npos) << ok.Out;

  // Dark blue with dark red and dark green in cell 8,16: three colours of one brightness.
  VeRegisterPlatforms();
  const TVeDestEngineClass* zx = DestEngineList().Find("ZX Spectrum", "256x192x4");
  ASSERT_TRUE(zx);
  const TVeModeRule rule = zx->GetModeRule(*zx->Create()->CreateOptions());
  TVeBitmap32 flat(256, 192, 0xFF000000u | rule.Colors[1]);
  flat.Pixel(10, 18) = 0xFF000000u | rule.Colors[2];
  flat.Pixel(11, 18) = 0xFF000000u | rule.Colors[4];
  std::vector<uint8_t> rows(size_t(256) * 192 * 3);
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < 256; ++x) {
      const uint32_t q = flat.Pixel(x, y);
      uint8_t* p = &rows[(size_t(y) * 256 + size_t(x)) * 3];
      p[0] = uint8_t(q);
      p[1] = uint8_t(q >> 8);
      p[2] = uint8_t(q >> 16);
    }
  std::vector<uint8_t> png =
      VeWritePng(256, 192, 24, {}, [&](int y) { return &rows[size_t(y) * 256 * 3]; });
  VeWriteFile((Dir / "clash.png").string(), png);
  TRun bad = Run({"check", "clash.png", "-p", "ZX Spectrum", "-m", "256x192x4"});
  EXPECT_EQ(bad.Status, 1) << bad.Out << bad.Err;
  auto lines = Lines(bad.Out);
  ASSERT_EQ(lines.size(), 2u) << bad.Out;
  EXPECT_EQ(lines[0], "cell 8,16 (8x8): 3 colours, at most 2");

  TRun size = Run({"check", "clash.png", "-p", "Amstrad CPC", "-m", "1 320x200x2"});
  EXPECT_EQ(size.Status, 2);
  EXPECT_NE(size.Err.find("needs 320x200"), std::string::npos) << size.Err;
  TRun missing = Run({"check", "nothing.png"});
  EXPECT_EQ(missing.Status, 2) << missing.Err;
  TRun uncovered = Run({"check", "clash.png", "-p", "ZX Spectrum", "-m", "256x192x4 Giga"});
  EXPECT_EQ(uncovered.Status, 2);
  EXPECT_NE(uncovered.Err.find("has no rule check yet"), std::string::npos) << uncovered.Err;
}
