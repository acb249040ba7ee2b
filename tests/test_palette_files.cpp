// Palette files: every reader's acceptance rules, failures, and the JASC round trip.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "VePaletteFiles.h"
#include "VePaletteList.h"
#include "VePictureCodecs.h"

namespace {

namespace fs = std::filesystem;

class PaletteFiles : public ::testing::Test {
protected:
  void SetUp() override {
    FDir = fs::temp_directory_path() /
           ("velmora-pal-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(FDir);
    fs::create_directories(FDir);
  }
  void TearDown() override { fs::remove_all(FDir); }

  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = (FDir / name).string();
    VeWriteFile(path, std::vector<uint8_t>(bytes.begin(), bytes.end()));
    return path;
  }
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    return Write(name, std::string(bytes.begin(), bytes.end()));
  }

  fs::path FDir;
};

std::string ErrorOf(TVePalette256& p, const std::string& text) {
  std::istringstream s(text);
  try {
    VeLoadPaletteFromStream(p, s);
  } catch (const EVeError& e) {
    return e.what();
  }
  return "";
}

uint32_t Quad(const TVePalette256& p, int i) {
  return p.GetRGBQuad(i);
}

std::string Riff(const std::string& chunks) {
  std::string body = "PAL " + chunks;
  std::string s = "RIFF";
  const uint32_t n = uint32_t(body.size());
  s += {char(n), char(n >> 8), char(n >> 16), char(n >> 24)};
  return s + body;
}

std::string Chunk(const std::string& id, const std::string& data) {
  const uint32_t n = uint32_t(data.size());
  return id + std::string{char(n), char(n >> 8), char(n >> 16), char(n >> 24)} + data;
}

std::string RiffData(int count, int extra = 0) {
  std::string d = {0, 3, char(count), char(count >> 8)};
  for (int i = 0; i < count; ++i)
    d += {char(i), char(2 * i), char(3 * i), 0};
  return d + std::string(size_t(extra), '\0');
}

std::string RawTable() {
  std::string t;
  for (int i = 0; i < 256; ++i)
    t += {char(i), char(255 - i), char(i / 2)};
  return t;
}

} // namespace

TEST_F(PaletteFiles, JascSignatureCountAndColourLines) {
  TVePalette256 p;
  EXPECT_EQ(ErrorOf(p, "JASC-PAL   \r\n0100\r\n2\r\n1 2 3\r\n4 5 6\r\n"), "");
  ASSERT_EQ(p.Count(), 2);
  EXPECT_EQ(Quad(p, 1), 0x040506u);
  EXPECT_EQ(ErrorOf(p, " JASC-PAL\r\n0100\r\n1\r\n1 2 3\r\n"), "Unknown palette type");
  // Three announced, four present: three are read. LF and CR alone separate too.
  EXPECT_EQ(ErrorOf(p, "JASC-PAL\n0100\n\n3\r1 1 1\r\r2 2 2\n3 3 3\n4 4 4\n"), "");
  EXPECT_EQ(p.Count(), 3);
  // Duplicates stay, so indices match the file; two spaces before green are fine.
  EXPECT_EQ(ErrorOf(p, "JASC-PAL\r\n 0100 \r\n 2 \r\n9  9 9\r\n9 9  9\r\n"), "");
  EXPECT_EQ(p.Count(), 2);
  // Four announced, three present: fails, keeping the colours read.
  EXPECT_EQ(ErrorOf(p, "JASC-PAL\r\n0100\r\n4\r\n1 1 1\r\n2 2 2\r\n3 3 3\r\n"), "Invalid palette");
  EXPECT_EQ(p.Count(), 3);
  EXPECT_EQ(ErrorOf(p, "JASC-PAL\r\n0100\r\n1\r\n1 2\r\n"), "Invalid palette");
  EXPECT_EQ(ErrorOf(p, "JASC-PAL\r\n0100\r\n1\r\n1 2 256\r\n"), "Invalid palette");
  EXPECT_EQ(ErrorOf(p, "JASC-PAL\r\n0100\r\n1\r\n1 2 -3\r\n"), "Invalid palette");
  EXPECT_EQ(ErrorOf(p, "JASC-PAL\r\n0100\r\n1\r\n1 2 3 4\r\n"), "Invalid palette");
  // Failures before the colours leave the palette as it was.
  p.Clear();
  p.AddRGB(7, 7, 7);
  EXPECT_EQ(ErrorOf(p, "JASC-PAL\r\n0101\r\n1\r\n1 2 3\r\n"), "Invalid palette");
  EXPECT_EQ(ErrorOf(p, "JASC-PAL\r\n0100\r\n0\r\n"), "Invalid palette");
  EXPECT_EQ(ErrorOf(p, "JASC-PAL\r\n0100\r\n257\r\n"), "Invalid palette");
  EXPECT_EQ(ErrorOf(p, "JASC-PAL\r\n0100\r\n"), "Invalid palette");
  ASSERT_EQ(p.Count(), 1);
  EXPECT_EQ(Quad(p, 0), 0x070707u);
  // A line beyond 1600 bytes is refused rather than read without end.
  EXPECT_EQ(ErrorOf(p, "JASC-PAL\r\n0100\r\n1\r\n1 2 " + std::string(1600, '3') + "\r\n"),
            "Invalid palette");
}

TEST_F(PaletteFiles, GimpHeaderNamesAndRepeats) {
  TVePalette256 p;
  EXPECT_EQ(ErrorOf(p, "GIMP Palette\nName: Test\nColumns: 4\n#\n10 20 30\tdark blue\n"
                       "# a comment\n 10  20  30 again\n255 0 0\n"),
            "");
  ASSERT_EQ(p.Count(), 2);
  EXPECT_EQ(Quad(p, 0), 0x0A141Eu);
  EXPECT_EQ(p.Color(0).UseCount, 1);
  EXPECT_EQ(Quad(p, 1), 0xFF0000u);
  // No "#" line at all: the colours follow the optional header lines directly.
  EXPECT_EQ(ErrorOf(p, "GIMP Palette\nName: none\n10 20 30\n"), "");
  EXPECT_EQ(p.Count(), 1);
  EXPECT_EQ(ErrorOf(p, "GIMP Palette\n#\n"), "Invalid palette");
  EXPECT_EQ(ErrorOf(p, "GIMP Palette\n#\n10 20\n"), "Invalid palette");
  EXPECT_EQ(ErrorOf(p, "GIMP Palette   \n#\n1 2 3"), ""); // last line without a break
  EXPECT_EQ(p.Count(), 1);
}

TEST_F(PaletteFiles, GimpWrittenAsGimpWritesIt) {
  TVePalette256 p;
  // Tabs between the values, a line of spaces and comments among the colours.
  EXPECT_EQ(ErrorOf(p, "GIMP Palette\r\nName: Tabs\r\nColumns: 3\r\n"
                       "  0\t  0\t  0\tBlack\r\n   \r\n\t \r\n"
                       "# middle\r\n255\t128 \t 1\tOrange and gold\r\n\t9 9 9\r\n"),
            "");
  ASSERT_EQ(p.Count(), 3);
  EXPECT_EQ(Quad(p, 0), 0x000000u);
  EXPECT_EQ(Quad(p, 1), 0xFF8001u);
  EXPECT_EQ(Quad(p, 2), 0x090909u);
  EXPECT_EQ(ErrorOf(p, "GIMP Palette\n1 2 3\n4 5 6\n"), "");
  EXPECT_EQ(p.Count(), 2);
  EXPECT_EQ(ErrorOf(p, "GIMP Palette\nColumns: 0\n\t\n"), "Invalid palette");
  // Header lines belong before the colours; two numbers or a value out of range fail.
  EXPECT_EQ(ErrorOf(p, "GIMP Palette\n1 2 3\nName: late\n"), "Invalid palette");
  EXPECT_EQ(ErrorOf(p, "GIMP Palette\n1\t2\n"), "Invalid palette");
  EXPECT_EQ(ErrorOf(p, "GIMP Palette\n1\t2\t256\n"), "Invalid palette");
  EXPECT_EQ(ErrorOf(p, "GIMP Palette\n1 2 3x\n"), "Invalid palette");
}

TEST_F(PaletteFiles, RiffChunksAndSizes) {
  TVePalette256 p;
  EXPECT_EQ(ErrorOf(p, Riff(Chunk("junk", "abc\0") + Chunk("data", RiffData(3)))), "");
  ASSERT_EQ(p.Count(), 3);
  EXPECT_EQ(Quad(p, 2), 0x020406u);
  EXPECT_EQ(ErrorOf(p, Riff(Chunk("data", RiffData(3, 2)))), "Invalid palette"); // 4c + 6
  EXPECT_EQ(ErrorOf(p, Riff(Chunk("data", RiffData(0)))), "Invalid palette");
  std::string badVersion = RiffData(1);
  badVersion[1] = 2;
  EXPECT_EQ(ErrorOf(p, Riff(Chunk("data", badVersion))), "Invalid palette");
  EXPECT_EQ(ErrorOf(p, Riff(Chunk("data", RiffData(256)) + std::string(2048, 'x'))),
            "Invalid palette"); // s above 2048
  EXPECT_EQ(ErrorOf(p, Riff(Chunk("junk", "abcd"))), "Stream read error");
  std::string longJunk = Riff(Chunk("junk", "ab"));
  longJunk[20] = char(200); // the chunk claims more than there is
  EXPECT_EQ(ErrorOf(p, longJunk), "Stream read error");
  std::string cut = Riff(Chunk("data", RiffData(3)));
  EXPECT_EQ(ErrorOf(p, cut.substr(0, cut.size() - 5)), "Stream read error");
  std::string notPal = Riff(Chunk("data", RiffData(1)));
  notPal[8] = 'X';
  EXPECT_EQ(ErrorOf(p, notPal), "Invalid palette");
}

TEST_F(PaletteFiles, RawTablesAndTheActRule) {
  TVePalette256 p;
  VeLoadPaletteFromFile(p, Write("a.act", RawTable() + std::string("\x00\x10\xFF\xFF", 4)));
  EXPECT_EQ(p.Count(), 16);
  EXPECT_EQ(p.Name, "a.act");
  EXPECT_EQ(Quad(p, 1), 0x01FE00u);
  VeLoadPaletteFromFile(p, Write("b.act", RawTable() + std::string("\x00\x10\x00\x00", 4)));
  EXPECT_EQ(p.Count(), 256);
  VeLoadPaletteFromFile(p, Write("c.act", RawTable() + std::string("\x00\x00\xFF\xFF", 4)));
  EXPECT_EQ(p.Count(), 0);
  VeLoadPaletteFromFile(p, Write("d.act", RawTable() + std::string("\x01\x01\xFF\xFF", 4)));
  EXPECT_EQ(p.Count(), 256); // count above 256 ignored
  // 768 bytes starting "BM": raw by size as .pal, a broken BMP as .act.
  std::string bm = RawTable();
  bm[0] = 'B', bm[1] = 'M';
  VeLoadPaletteFromFile(p, Write("x.pal", bm));
  EXPECT_EQ(p.Count(), 256);
  TVePalette256 q;
  const std::string act = Write("x.act", bm);
  EXPECT_THROW(VeLoadPaletteFromFile(q, act), EVeError);
  EXPECT_EQ(q.FileName, act);
  EXPECT_EQ(q.Name, "x.act");
  // Other sizes of headerless data are not palettes.
  EXPECT_EQ(ErrorOf(p, RawTable() + "xx"), "Unknown palette type");
}

TEST_F(PaletteFiles, HeadedPalettesOfRawTableSize) {
  // Text and RIFF palettes that happen to be 768 or 772 bytes long go by their header.
  auto padded = [](std::string s, size_t size, const std::string& filler) {
    while (s.size() + filler.size() <= size)
      s += filler;
    s.resize(size, '\n');
    return s;
  };
  TVePalette256 p;
  const std::string jasc = padded("JASC-PAL\r\n0100\r\n2\r\n1 2 3\r\n4 5 6\r\n", 768, "\r\n");
  VeLoadPaletteFromFile(p, Write("j.pal", jasc));
  ASSERT_EQ(p.Count(), 2);
  EXPECT_EQ(Quad(p, 1), 0x040506u);
  const std::string gimp = padded("GIMP Palette\nName: t\n#\n7 8 9\n", 772, "# padding\n");
  VeLoadPaletteFromFile(p, Write("g.pal", gimp));
  ASSERT_EQ(p.Count(), 1);
  EXPECT_EQ(Quad(p, 0), 0x070809u);
  const std::string data = Chunk("data", RiffData(3));
  const std::string riff = Riff(Chunk("junk", std::string(768 - 20 - data.size(), 'x')) + data);
  ASSERT_EQ(riff.size(), 768u);
  VeLoadPaletteFromFile(p, Write("r.pal", riff));
  ASSERT_EQ(p.Count(), 3);
  EXPECT_EQ(Quad(p, 2), 0x020406u);
  // "RIFF" alone is no RIFF palette header: such a table stays raw.
  std::string riffish = RawTable();
  riffish.replace(0, 4, "RIFF");
  VeLoadPaletteFromFile(p, Write("t.pal", riffish));
  EXPECT_EQ(p.Count(), 256);
}

TEST_F(PaletteFiles, UnknownKindsAndSilentMode) {
  TVePalette256 p;
  p.AddRGB(1, 2, 3);
  TVeBitmap32 b(4, 4, 0xFF808080);
  const auto jpeg = VeWriteJpeg(b);
  EXPECT_EQ(ErrorOf(p, std::string(jpeg.begin(), jpeg.end())), "Unknown palette type");
  std::istringstream s("nothing to see here");
  EXPECT_NO_THROW(VeLoadPaletteFromStream(p, s, true));
  EXPECT_EQ(p.Count(), 1);
  EXPECT_EQ(ErrorOf(p, "tiny"), "Unknown palette type");
  EXPECT_THROW(VeLoadPaletteFromFile(p, (FDir / "missing.pal").string()), EVeError);
}

TEST_F(PaletteFiles, PicturePalettes) {
  // A 4-bit BMP keeps its palette, unused entries included.
  TVePicture pic;
  pic.Allocate(2, 1, 4);
  auto bmp = VeWriteBmp(2, 1, 4, {0x112233, 0x445566, 0x778899}, [&](int y) { return pic.Row(y); });
  TVePalette256 p;
  VeLoadPaletteFromFile(p, Write("p.bmp", bmp));
  ASSERT_EQ(p.Count(), 3);
  EXPECT_EQ(Quad(p, 2), 0x778899u);
  // A 24-bit PNG gives its distinct colours in pixel order.
  TVePicture rgb;
  rgb.Allocate(3, 1, 24);
  const uint8_t px[9] = {1, 2, 3, 9, 9, 9, 1, 2, 3};
  std::memcpy(rgb.Row(0), px, 9);
  auto png = VeWritePng(3, 1, 24, {}, [&](int y) { return rgb.Row(y); });
  VeLoadPaletteFromFile(p, Write("p.png", png));
  ASSERT_EQ(p.Count(), 2);
  EXPECT_EQ(Quad(p, 0), 0x030201u);
  // 300 colours: too many for a palette file; 800: no palette at all.
  for (int n : {300, 800}) {
    TVePicture many;
    many.Allocate(n, 1, 24);
    for (int x = 0; x < n; ++x)
      many.Row(0)[3 * x] = uint8_t(x), many.Row(0)[3 * x + 1] = uint8_t(x >> 8);
    auto f = VeWritePng(n, 1, 24, {}, [&](int y) { return many.Row(y); });
    TVePalette256 q;
    try {
      VeLoadPaletteFromFile(q, Write("many.png", f));
      FAIL();
    } catch (const EVeError& e) {
      EXPECT_STREQ(e.what(), n == 300 ? "Too many colors" : "Invalid palette");
    }
  }
}

TEST_F(PaletteFiles, JascRoundTripAndOversizedPalette) {
  TVePalette256 p;
  p.AddRGB(0, 0, 0);
  p.AddRGB(255, 128, 1);
  p.AddRGB(0, 0, 0);
  const std::string path = (FDir / "r.pal").string();
  VeSavePaletteJASC(p, path);
  const auto bytes = VeReadFile(path);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
            "JASC-PAL\r\n0100\r\n3\r\n0 0 0\r\n255 128 1\r\n0 0 0\r\n");
  TVePalette256 q;
  VeLoadPaletteFromFile(q, path);
  EXPECT_TRUE(q.Equals(&p));
  ASSERT_EQ(q.Count(), 3);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(Quad(q, i), Quad(p, i));
  TVePalette256 big;
  for (int i = 0; i < 300; ++i)
    big.AddRGB(uint8_t(i), uint8_t(i >> 8), 0);
  VeSavePaletteJASC(big, path);
  EXPECT_THROW(VeLoadPaletteFromFile(q, path), EVeError);
}

TEST_F(PaletteFiles, FolderScanSkipsBadFiles) {
  VeInstallPaletteFileLoader();
  Write("good.pal", "JASC-PAL\r\n0100\r\n1\r\n1 2 3\r\n");
  Write("also.gpl", "GIMP Palette\n#\n4 5 6\n");
  Write("bad.pal", "JASC-PAL\r\n0100\r\n2\r\n1 2 3\r\n");
  Write("junk.txt", "hello");
  TVePaletteList list;
  list.Create(FDir);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Items(0)->Name, "also.gpl");
  EXPECT_EQ(list.Items(1)->Name, "good.pal");
}
