// Tapes of every screen of a conversion: the blocks, the BASIC loader and the viewer's code
// as the machine reads them, and the tape as the emulator's own tape tool lists it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

#include "VeErrors.h"
#include "VeExport.h"
#include "VeOutputSet.h"
#include "VePlatforms.h"
#include "VeStream.h"
#include "test_noise.h"
#include "zxspectrum/VeSavePlatformZxSpectrumShowTapes.h"

namespace fs = std::filesystem;

namespace {

struct TBlock {
  uint8_t Flag = 0;
  std::vector<uint8_t> Data; // without flag and checksum
};

// The blocks of a .tap, each checked for its XOR checksum.
std::vector<TBlock> Blocks(const std::vector<uint8_t>& tap) {
  std::vector<TBlock> blocks;
  size_t at = 0;
  while (at + 2 <= tap.size()) {
    const size_t len = size_t(tap[at] | tap[at + 1] << 8);
    EXPECT_GE(len, 2u);
    if (len < 2 || at + 2 + len > tap.size()) break;
    uint8_t x = 0;
    for (size_t i = 0; i < len; ++i)
      x ^= tap[at + 2 + i];
    EXPECT_EQ(x, 0) << "checksum of block " << blocks.size();
    blocks.push_back({tap[at + 2], std::vector<uint8_t>(tap.begin() + long(at) + 3,
                                                        tap.begin() + long(at + 1 + len))});
    at += 2 + len;
  }
  EXPECT_EQ(at, tap.size()) << "the blocks end with the tape";
  return blocks;
}

unsigned Word(const std::vector<uint8_t>& v, size_t at) {
  return unsigned(v[at] | v[at + 1] << 8);
}

// A header block: type, name, length, parameter 1.
void ExpectHeader(const TBlock& b, uint8_t type, const std::string& name, unsigned length,
                  unsigned param1) {
  ASSERT_EQ(b.Flag, 0x00);
  ASSERT_EQ(b.Data.size(), 17u);
  EXPECT_EQ(b.Data[0], type);
  EXPECT_EQ(std::string(b.Data.begin() + 1, b.Data.begin() + 11), name);
  EXPECT_EQ(Word(b.Data, 11), length);
  EXPECT_EQ(Word(b.Data, 13), param1);
}

// The lines of a BASIC program: number and body without the closing 0D.
std::vector<std::pair<unsigned, std::vector<uint8_t>>> Lines(const std::vector<uint8_t>& p) {
  std::vector<std::pair<unsigned, std::vector<uint8_t>>> lines;
  size_t at = 0;
  while (at + 4 <= p.size()) {
    const unsigned number = unsigned(p[at] << 8 | p[at + 1]);
    const size_t len = Word(p, at + 2);
    EXPECT_LE(at + 4 + len, p.size());
    if (at + 4 + len > p.size() || len == 0) break;
    EXPECT_EQ(p[at + 3 + len], 0x0D) << "line " << number << " ends with ENTER";
    lines.push_back(
        {number, std::vector<uint8_t>(p.begin() + long(at) + 4, p.begin() + long(at + 3 + len))});
    at += 4 + len;
  }
  EXPECT_EQ(at, p.size());
  return lines;
}

std::vector<uint8_t> Num(unsigned v) {
  std::vector<uint8_t> out;
  for (char c : std::to_string(v))
    out.push_back(uint8_t(c));
  out.insert(out.end(), {0x0E, 0, 0, uint8_t(v), uint8_t(v >> 8), 0});
  return out;
}

std::vector<uint8_t> Cat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class TapeExportTest : public ::testing::Test {
protected:
  void SetUp() override {
    VeRegisterPlatforms();
    Dir = fs::temp_directory_path() /
          ("velmora-tapes-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir);
  }
  void TearDown() override { fs::remove_all(Dir); }

  // One stream list a screen, each with a file of extension ext holding the bytes.
  void AddFrame(const std::string& ext, std::vector<uint8_t> bytes) {
    Frames.push_back(std::make_unique<TVeStreamList>());
    Frames.back()->AddNew(ext, 0)->Bytes() = std::move(bytes);
  }
  // The export of every frame, written through an output set as the converter does.
  std::vector<uint8_t> Export(const char* kind, const std::string& base) {
    const TVeExporter* e = VeFindExporter(kind);
    if (!e) throw std::runtime_error(std::string("no exporter ") + kind);
    std::vector<const TVeStreamList*> frames;
    for (auto& f : Frames)
      frames.push_back(f.get());
    TVeOutputSet set;
    VeAddExportAll(set, frames, *e, (Dir / base).string(), "ZX Spectrum test");
    const std::vector<std::string> names = set.Commit();
    EXPECT_EQ(names.size(), 1u);
    std::ifstream f(names.at(0), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
  }
  std::string Tzxlist(const std::vector<uint8_t>& tap) {
    const fs::path p = Dir / "list.tap";
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(tap.data()), std::streamsize(tap.size()));
    FILE* pipe = popen(("tzxlist '" + p.string() + "' 2>&1").c_str(), "r");
    std::string listing;
    char buf[4096];
    for (size_t n; pipe && (n = fread(buf, 1, sizeof buf, pipe)) > 0;)
      listing.append(buf, n);
    if (pipe) {
      EXPECT_EQ(pclose(pipe), 0) << listing;
    }
    return listing;
  }
  static size_t Count(const std::string& s, const std::string& what) {
    size_t n = 0;
    for (size_t at = 0; (at = s.find(what, at)) != std::string::npos; at += what.size())
      ++n;
    return n;
  }

  fs::path Dir;
  std::vector<std::unique_ptr<TVeStreamList>> Frames;
};

bool HaveTzxlist() {
  return std::system("command -v tzxlist >/dev/null 2>&1") == 0;
}

} // namespace

TEST_F(TapeExportTest, SlideShowLoadsEachScreenInTurn) {
  std::vector<std::vector<uint8_t>> screens;
  for (unsigned i = 0; i < 3; ++i) {
    screens.push_back(Noise(6912, 20 + i));
    AddFrame("scr", screens.back());
  }
  const std::vector<uint8_t> tap = Export("tap-show", "holiday");
  EXPECT_TRUE(fs::exists(Dir / "holiday.tap"));
  const std::vector<TBlock> blocks = Blocks(tap);
  ASSERT_EQ(blocks.size(), 8u);
  ExpectHeader(blocks[0], 0, "holiday   ", unsigned(blocks[1].Data.size()), 10);
  EXPECT_EQ(blocks[1].Flag, 0xFF);
  // n0 LOAD "" SCREEN$ : PAUSE 0 for each screen, lines 10, 20, 30.
  const auto lines = Lines(blocks[1].Data);
  ASSERT_EQ(lines.size(), 3u);
  for (unsigned i = 0; i < 3; ++i) {
    EXPECT_EQ(lines[i].first, 10 * (i + 1));
    EXPECT_EQ(lines[i].second, Cat({0xEF, '"', '"', 0xAA, ':', 0xF2}, Num(0)));
  }
  for (unsigned i = 0; i < 3; ++i) {
    ExpectHeader(blocks[2 + 2 * i], 3, "holiday " + std::to_string(i + 1) + " ", 6912, 16384);
    EXPECT_EQ(blocks[3 + 2 * i].Flag, 0xFF);
    EXPECT_EQ(blocks[3 + 2 * i].Data, screens[i]) << "screen " << i;
  }
  if (!HaveTzxlist()) GTEST_SKIP() << "no tzxlist";
  const std::string listing = Tzxlist(tap);
  EXPECT_EQ(Count(listing, "(PASS)"), 8u) << listing;
  EXPECT_EQ(listing.find("FAIL"), std::string::npos) << listing;
  EXPECT_NE(listing.find("Program: \"holiday   \" LINE 10"), std::string::npos) << listing;
  EXPECT_EQ(Count(listing, "SCREEN$  16384, 6912"), 3u) << listing;
}

TEST_F(TapeExportTest, SlideShowRefusesWhatItCannotShow) {
  AddFrame("scr", Noise(6912, 1));
  AddFrame("img", Noise(13824, 2)); // a two-frame screen is no plain screen
  EXPECT_THROW(Export("tap-show", "mixed"), EVeError);
  EXPECT_FALSE(fs::exists(Dir / "mixed.tap")) << "no tape of a refused show";
  std::vector<uint8_t> screen = Noise(6912, 3);
  std::vector<TVeZxScreenBytes> many(1000, {screen.data(), screen.size()});
  EXPECT_THROW(ZxSpectrumSlideShowTape(many, "x"), EVeError) << "line numbers stop at 9999";
  many.resize(999);
  EXPECT_NO_THROW(ZxSpectrumSlideShowTape(many, "x"));
  EXPECT_THROW(ZxSpectrumSlideShowTape({}, "x"), EVeError);
}

TEST_F(TapeExportTest, TwoFrameViewerLoadsBothScreensAndRunsTheViewer) {
  const std::vector<uint8_t> img = Noise(13824, 5), lce = Noise(13824, 6);
  AddFrame("img", img);
  AddFrame("lce", lce);
  const std::vector<uint8_t> tap = Export("tap-giga", "giga");
  const std::vector<TBlock> blocks = Blocks(tap);
  ASSERT_EQ(blocks.size(), 12u);
  ExpectHeader(blocks[0], 0, "giga      ", unsigned(blocks[1].Data.size()), 10);
  // 10 CLEAR 32767 : LOAD "" CODE, then n0 LOAD "" CODE : LOAD "" SCREEN$ : RANDOMIZE USR 32768
  const auto lines = Lines(blocks[1].Data);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].first, 10u);
  EXPECT_EQ(lines[0].second, Cat(Cat({0xFD}, Num(32767)), {':', 0xEF, '"', '"', 0xAF}));
  for (unsigned i = 1; i < 3; ++i) {
    EXPECT_EQ(lines[i].first, 10 * (i + 1));
    EXPECT_EQ(lines[i].second,
              Cat({0xEF, '"', '"', 0xAF, ':', 0xEF, '"', '"', 0xAA, ':', 0xF9, 0xC0}, Num(32768)));
  }
  const std::vector<uint8_t> viewer = ZxSpectrumTwoFrameViewer();
  ExpectHeader(blocks[2], 3, "viewer    ", unsigned(viewer.size()), 0x8000);
  EXPECT_EQ(blocks[3].Data, viewer);
  // The code stays below the second screen it copies from.
  EXPECT_LE(0x8000 + viewer.size(), 0x8100u);
  for (unsigned i = 0; i < 2; ++i) {
    const std::vector<uint8_t>& pair = i == 0 ? img : lce;
    ExpectHeader(blocks[4 + 4 * i], 3, "giga " + std::to_string(i + 1) + "    ", 6912, 0x8100);
    EXPECT_EQ(blocks[5 + 4 * i].Data, std::vector<uint8_t>(pair.begin() + 6912, pair.end()));
    ExpectHeader(blocks[6 + 4 * i], 3, "giga " + std::to_string(i + 1) + "    ", 6912, 16384);
    EXPECT_EQ(blocks[7 + 4 * i].Data, std::vector<uint8_t>(pair.begin(), pair.begin() + 6912));
  }
  if (!HaveTzxlist()) GTEST_SKIP() << "no tzxlist";
  const std::string listing = Tzxlist(tap);
  EXPECT_EQ(Count(listing, "(PASS)"), 12u) << listing;
  EXPECT_NE(listing.find("CODE  32768, " + std::to_string(viewer.size())), std::string::npos)
      << listing;
  EXPECT_EQ(Count(listing, "CODE  33024, 6912"), 2u) << listing;
  EXPECT_EQ(Count(listing, "SCREEN$  16384, 6912"), 2u) << listing;
}

// The viewer's jumps land on their instructions and every port write keeps BANKM in step.
TEST_F(TapeExportTest, ViewerCodeHoldsTogether) {
  const std::vector<uint8_t> v = ZxSpectrumTwoFrameViewer();
  ASSERT_EQ(v.size(), 0x45u);
  EXPECT_EQ(v.back(), 0xC9) << "returns to BASIC";
  // jr nz,wait at 8024 and jr z,show at 8039: the targets are "xor a" and "halt".
  EXPECT_EQ(v[0x24], 0x20);
  EXPECT_EQ(0x26 + int8_t(v[0x25]), 0x1E);
  EXPECT_EQ(v[0x1E], 0xAF);
  EXPECT_EQ(v[0x39], 0x28);
  EXPECT_EQ(0x3B + int8_t(v[0x3A]), 0x26);
  EXPECT_EQ(v[0x26], 0x76);
  // ld hl,8100h and ld de,0C000h: the second screen is copied into bank 7.
  EXPECT_EQ(Word(v, 0x12), ZxViewerSecondAt);
  EXPECT_EQ(Word(v, 0x15), 0xC000u);
  EXPECT_EQ(Word(v, 0x18), 6912u);
  size_t outs = 0, banks = 0;
  for (size_t i = 0; i + 1 < v.size(); ++i) {
    outs += v[i] == 0xED && v[i + 1] == 0x79;
    banks += v[i] == 0x32 && Word(v, i + 1) == 0x5B5C;
  }
  EXPECT_EQ(outs, 3u);
  EXPECT_EQ(banks, 3u);
}
