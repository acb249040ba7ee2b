// Damaged native files and odd outputs through the command line, as a user meets them: every
// failure names its file, and what a loader leaves out is said rather than silently dropped.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "test_cli.h"

namespace {

class CliHostile : public CliTest {
protected:
  // Converts the sample photograph and returns what was written, one name a line.
  std::string Convert(const std::string& platform, const std::string& mode, const char* out) {
    TRun r = Run({"convert", Sample("astronaut.png"), "-p", platform, "-m", mode, "-o", out});
    EXPECT_EQ(r.Status, 0) << r.Err;
    return r.Out;
  }
  void Cut(const char* from, const char* to, std::uintmax_t keep) {
    fs::copy_file(Dir / from, Dir / to);
    fs::resize_file(Dir / to, keep);
  }
};

TEST_F(CliHostile, ImportErrorsNameTheirFile) {
  Convert("IBM", "VGA 320x200x8", "v");
  Cut("v.pcx", "cut.pcx", 300);
  TRun r = Run({"import", "cut.pcx", "-o", "x.png"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "error: cut.pcx: The PCX file is truncated\n");

  Convert("TI-99/4A", "F18A 256x192x4", "f");
  Cut("f.f18a", "short.f18a", 12319);
  r = Run({"import", "short.f18a", "-o", "x.png"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "error: short.f18a: The F18A dump is 12319 bytes long, not 12320\n");
  EXPECT_FALSE(fs::exists(Dir / "x.png"));

  // A usage mistake stays one, with a short bound.
  r = Run({"import", "f.f18a", "-o", "x.png", "--candidate", "-1"});
  EXPECT_EQ(r.Status, 2);
  EXPECT_NE(r.Err.find("--candidate"), std::string::npos) << r.Err;
  EXPECT_LT(r.Err.size(), 120u) << r.Err;
}

TEST_F(CliHostile, AVgaPcxWithoutItsPaletteSaysSo) {
  Convert("IBM", "VGA 320x200x8", "v");
  const std::uintmax_t size = fs::file_size(Dir / "v.pcx");
  Cut("v.pcx", "bare.pcx", size - 769);
  TRun probe = Run({"probe", "bare.pcx"});
  EXPECT_NE(probe.Out.find("(no palette: gray levels)"), std::string::npos) << probe.Out;
  TRun r = Run({"import", "bare.pcx", "-o", "bare.png"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Err.find("note: bare.pcx: the 256-colour palette"), std::string::npos) << r.Err;
  // The whole file says nothing.
  r = Run({"import", "v.pcx", "-o", "whole.png"});
  EXPECT_EQ(r.Err, "");
}

TEST_F(CliHostile, AnUnusableSecondPageIsSaid) {
  Convert("MSX", "5 256x424x4 Interlaced", "i");
  ASSERT_TRUE(fs::exists(Dir / "i.s15"));
  const std::uintmax_t size = fs::file_size(Dir / "i.s15");
  fs::resize_file(Dir / "i.s15", size - 1);
  TRun probe = Run({"probe", "i.sc5"});
  EXPECT_NE(probe.Out.find("(second page ignored)"), std::string::npos) << probe.Out;
  TRun r = Run({"import", "i.sc5", "-o", "one.png"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Err.find("note: i.sc5: the second page i.s15 is not a BSAVE file"), std::string::npos)
      << r.Err;
  // A folder, or a link that loops, in the page's place is said too.
  fs::remove(Dir / "i.s15");
  fs::create_directory(Dir / "i.s15");
  r = Run({"import", "i.sc5", "-o", "two.png"});
  EXPECT_NE(r.Err.find("i.s15 cannot be read: Is a folder"), std::string::npos) << r.Err;
  fs::remove(Dir / "i.s15");
  fs::create_symlink("i.s15", Dir / "i.s15");
  r = Run({"import", "i.sc5", "-o", "three.png"});
  EXPECT_NE(r.Err.find("i.s15 cannot be read"), std::string::npos) << r.Err;
  // No page at all is an ordinary screen 5 picture.
  fs::remove(Dir / "i.s15");
  r = Run({"import", "i.sc5", "-o", "four.png"});
  EXPECT_EQ(r.Err, "");
}

TEST_F(CliHostile, AMissingFrameFileIsNamed) {
  Convert("Amstrad CPC", "B0 192x272x8", "p");
  fs::remove(Dir / "p.eve");
  TRun r = Run({"import", "p.pph", "-o", "p.png"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "error: p.pph: The ModeR frame file p.eve is missing\n");
  r = Run({"convert", "p.pph", "-p", "Common", "-o", "q"});
  EXPECT_EQ(r.Err, "error: p.pph: The ModeR frame file p.eve is missing\n");
}

TEST_F(CliHostile, NeverReplacesADeviceOrALinkToOne) {
  Convert("MSX", "5 256x212x4", "m");
  fs::create_symlink("/dev/null", Dir / "n.png");
  TRun r = Run({"import", "m.sc5", "-o", "n.png", "--force"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("not a regular file"), std::string::npos) << r.Err;
  EXPECT_TRUE(fs::is_symlink(Dir / "n.png"));
}

} // namespace
