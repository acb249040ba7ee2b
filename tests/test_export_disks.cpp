// Disk images of every screen of a conversion: the CPC data disk as cpmtools reads it, the MSX
// 2DD disk as mtools reads it, their loaders, their 8.3 names and the screens they refuse.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "VeDiskWriters.h"
#include "VeErrors.h"
#include "VeExport.h"
#include "VeOutputSet.h"
#include "VePlatforms.h"
#include "VeStream.h"
#include "amstradcpc/VePlatformAmstradCpc.h"
#include "amstradcpc/VeSavePlatformAmstradCpc.h"
#include "amstradcpc/VeSavePlatformAmstradCpcDisk.h"
#include "msx/VePlatformMsx.h"
#include "msx/VeSavePlatformMsxDisk.h"
#include "test_cli.h"
#include "test_noise.h"

using namespace std::string_literals;

namespace {

bool Have(const char* tool) {
  return std::system(("command -v " + std::string(tool) + " >/dev/null 2>&1").c_str()) == 0;
}

unsigned Word(const std::vector<uint8_t>& v, size_t at) {
  return unsigned(v[at] | v[at + 1] << 8);
}

class DiskExportTest : public CliTest {
protected:
  void SetUp() override {
    VeRegisterPlatforms();
    Dir = fs::temp_directory_path() /
          ("velmora-disks-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir);
  }

  // A CPC standard screen as the engines write it, its mode and inks in the gap bytes.
  void AddCpcScreen(unsigned seed, int mode) {
    Frames.push_back(std::make_unique<TVeStreamList>());
    auto s =
        std::make_unique<TVeAmsdosStream>("scr", CpcTypeBinary, CpcScreenBytes, 0xC000, 0xC7D0);
    const std::vector<uint8_t> n = Noise(CpcScreenBytes, seed);
    std::copy(n.begin(), n.end(), s->FileData());
    s->FileData()[CpcModeAt] = uint8_t(mode);
    for (int i = 0; i < 16; ++i)
      s->FileData()[CpcInksAt + i] = uint8_t((i * 5 + int(seed)) % 27);
    s->FileData()[CpcBorderAt] = 13;
    Frames.back()->Add(std::move(s));
  }
  void AddBsave(const std::string& ext, int data, unsigned seed) {
    Frames.push_back(std::make_unique<TVeStreamList>());
    TVeStream* s = Frames.back()->AddNew(ext, MsxBsaveHeaderBytes + data);
    const std::vector<uint8_t> n = Noise(size_t(data), seed);
    std::copy(n.begin(), n.end(), s->Data() + MsxBsaveHeaderBytes);
    MsxWriteBsaveHeader(s->Data(), data);
  }
  // The image through an output set as the converter writes it; empty when refused.
  fs::path Export(const std::string& base) {
    std::vector<const TVeStreamList*> frames;
    for (auto& f : Frames)
      frames.push_back(f.get());
    TVeOutputSet set;
    VeAddExportAll(set, frames, *VeFindExporter("dsk"), (Dir / base).string(), "test");
    return fs::path(set.Commit().at(0));
  }
  TRun Shell(const std::string& command) {
    const std::string cmd = "cd " + Quote(Dir.string()) + " && " + command + " 2>&1";
    TRun r;
    FILE* p = popen(cmd.c_str(), "r");
    char buf[4096];
    for (size_t n; p && (n = fread(buf, 1, sizeof buf, p)) > 0;)
      r.Out.append(buf, n);
    r.Status = p ? pclose(p) : -1;
    return r;
  }

  std::vector<std::unique_ptr<TVeStreamList>> Frames;
};

// The file's bytes as cpmcp takes them off the image (whole 128-byte records).
std::vector<uint8_t> Records(std::vector<uint8_t> v) {
  while (v.size() % 128)
    v.push_back(0x1A);
  return v;
}

} // namespace

TEST(DiskNames, AreShortUpperCaseAndNeverShared) {
  EXPECT_EQ(VeDiskFileName("holiday", 0, 1, "sc5"), "HOLIDAY.SC5");
  EXPECT_EQ(VeDiskFileName("my picture.v2", 0, 1, "scr"), "MY-PICTU.SCR");
  EXPECT_EQ(VeDiskFileName("my picture", 2, 3, "scr"), "MY-PICT3.SCR");
  EXPECT_EQ(VeDiskFileName("", 0, 1, "scr"), "PIC.SCR");
  EXPECT_EQ(VeDiskFileName("élan", 0, 1, "sc8"), "-LAN.SC8") << "a UTF-8 letter is no DOS letter";
  // The CPC's header says "-" for "_".
  EXPECT_EQ(VeDiskFileName("my_pic", 0, 1, "scr"), "MY-PIC.SCR");
  EXPECT_EQ(CpcHeaderName("MY-PIC.SCR"), "MY-PIC  SCR");
  std::set<std::string> names;
  for (size_t i = 0; i < 112; ++i) {
    const std::string n = VeDiskFileName("anim", i, 112, "sc8");
    EXPECT_LE(n.find('.'), 8u) << n;
    names.insert(n);
  }
  EXPECT_EQ(names.size(), 112u);
  EXPECT_EQ(*names.begin(), "ANIM001.SC8");
}

TEST_F(DiskExportTest, CpcDiskHoldsEachScreenAndTheLoader) {
  AddCpcScreen(1, 0);
  AddCpcScreen(2, 1);
  AddCpcScreen(3, 2);
  const fs::path image = Export("show");
  const std::vector<uint8_t> dsk = Bytes(image);
  ASSERT_GT(dsk.size(), 256u);
  EXPECT_EQ(std::string(dsk.begin(), dsk.begin() + 21), "EXTENDED CPC DSK File");
  EXPECT_EQ(dsk[0x30], 40) << "tracks";
  EXPECT_EQ(dsk[0x31], 1) << "sides";
  // Track 0's information: 9 sectors of 512 bytes numbered C1 to C9.
  ASSERT_GT(dsk.size(), 0x200u);
  EXPECT_EQ(std::string(dsk.begin() + 0x100, dsk.begin() + 0x10A), "Track-Info");
  EXPECT_EQ(dsk[0x115], 9);
  std::set<int> ids;
  for (int s = 0; s < 9; ++s) {
    ids.insert(dsk[0x118 + 8 * s + 2]);
    EXPECT_EQ(dsk[0x118 + 8 * s + 3], 2) << "512-byte sectors";
  }
  EXPECT_EQ(ids, (std::set<int>{0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9}));

  // The loader: a BASIC file whose header checks, lines chained to the 00 00 end, each
  // screen's line setting its mode and loading it to &C000.
  const std::vector<uint8_t> loader = [&] {
    std::vector<TVeCpcDiskFile> s;
    for (int i = 0; i < 3; ++i) {
      TVeCpcDiskFile f{"SHOW" + std::to_string(i + 1) + ".SCR",
                       Frames[size_t(i)]->GetStream(0)->Bytes()};
      CpcSetHeaderName(f.Bytes.data(), f.Name);
      s.push_back(f);
    }
    return CpcDiskLoader(s);
  }();
  TVeCpcHeader h;
  ASSERT_TRUE(CpcReadHeader(loader.data(), int32_t(loader.size()), h));
  EXPECT_EQ(h.Type, CpcTypeBasic);
  EXPECT_EQ(h.Load, 0x0170);
  EXPECT_EQ(size_t(h.Length) + 128, loader.size());
  size_t at = 128;
  std::vector<std::vector<uint8_t>> lines;
  while (Word(loader, at) != 0) {
    const size_t len = Word(loader, at);
    ASSERT_LE(at + len + 2, loader.size());
    EXPECT_EQ(loader[at + len - 1], 0) << "a line ends with 0";
    lines.emplace_back(loader.begin() + long(at) + 4, loader.begin() + long(at + len) - 1);
    at += len;
  }
  EXPECT_EQ(at + 2, loader.size());
  ASSERT_EQ(lines.size(), 4u);
  for (int i = 0; i < 3; ++i) {
    const std::vector<uint8_t>& l = lines[size_t(i)];
    EXPECT_EQ(l[0], 0xAD) << "MODE";
    EXPECT_EQ(l[2], 0x0E + i) << "the screen's mode";
    const std::string text(l.begin(), l.end());
    EXPECT_NE(text.find("\xA8 \"SHOW" + std::to_string(i + 1) + ".SCR\",\x1C\x00\xC0"s),
              std::string::npos);
    EXPECT_NE(text.find("\x83 \x1C\x18\xBB"), std::string::npos) << "CALL &BB18 waits for a key";
    // One INK for each pen of the mode.
    size_t inks = 0;
    for (size_t k = 0; k + 1 < l.size(); ++k)
      inks += l[k] == 0x01 && l[k + 1] == 0xA2;
    EXPECT_EQ(inks, i == 0 ? 16u : i == 1 ? 4u : 2u);
  }

  if (!Have("cpmls") || !Have("cpmcp")) GTEST_SKIP() << "no cpmtools";
  TRun ls = Shell("cpmls -f cpcdata " + Quote(image.string()));
  ASSERT_EQ(ls.Status, 0) << ls.Out;
  for (const char* n : {"disc.bas", "show1.scr", "show2.scr", "show3.scr"})
    EXPECT_NE(ls.Out.find(n), std::string::npos) << n << " in\n" << ls.Out;
  for (int i = 0; i < 3; ++i) {
    const std::string n = "SHOW" + std::to_string(i + 1) + ".SCR";
    TRun cp = Shell("cpmcp -f cpcdata " + Quote(image.string()) + " 0:" + n + " out.scr");
    ASSERT_EQ(cp.Status, 0) << cp.Out;
    std::vector<uint8_t> want = Frames[size_t(i)]->GetStream(0)->Bytes();
    CpcSetHeaderName(want.data(), n);
    EXPECT_EQ(Bytes(Dir / "out.scr"), want) << n;
  }
  TRun cp = Shell("cpmcp -f cpcdata " + Quote(image.string()) + " 0:DISC.BAS disc.bas");
  ASSERT_EQ(cp.Status, 0) << cp.Out;
  EXPECT_EQ(Bytes(Dir / "disc.bas"), Records(loader));
}

TEST_F(DiskExportTest, CpcDiskRefusesWhatItCannotHold) {
  for (unsigned i = 0; i < 11; ++i)
    AddCpcScreen(i, 0);
  try {
    Export("full");
    ADD_FAILURE() << "eleven screens fit";
  } catch (const EVeError& e) {
    EXPECT_NE(std::string(e.what()).find("do not fit"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(fs::exists(Dir / "full.dsk"));
  Frames.pop_back();
  EXPECT_NO_THROW(Export("ten"));
  // A plain screen without the AMSDOS header is no CPC file.
  Frames.resize(1);
  Frames.push_back(std::make_unique<TVeStreamList>());
  Frames.back()->AddNew("scr", 6912);
  EXPECT_THROW(Export("mixed"), EVeError);
  EXPECT_FALSE(fs::exists(Dir / "mixed.dsk"));
}

TEST_F(DiskExportTest, MsxDiskHoldsEachScreenAndAutoexec) {
  AddBsave("sc8", 0xD400, 4);
  AddBsave("sc5", 0x76A0, 5);
  AddBsave("sc3", 1536, 6);
  TVeStream* pl = Frames.back()->GetStream(0)->AddNewSub("pl3", MsxPaletteFileBytes);
  for (int c = 0; c < 16; ++c) {
    (*pl)[size_t(2 * c)] = uint8_t((c & 7) << 4 | (7 - (c & 7)));
    (*pl)[size_t(2 * c + 1)] = uint8_t(c >> 1);
  }
  const fs::path image = Export("Slides");
  const std::vector<uint8_t> disk = Bytes(image);
  ASSERT_EQ(disk.size(), 737280u);
  // The BPB of the 2DD layout.
  EXPECT_EQ(Word(disk, 11), 512u);
  EXPECT_EQ(disk[13], 2);
  EXPECT_EQ(Word(disk, 14), 1u);
  EXPECT_EQ(disk[16], 2);
  EXPECT_EQ(Word(disk, 17), 112u);
  EXPECT_EQ(Word(disk, 19), 1440u);
  EXPECT_EQ(disk[21], 0xF9);
  EXPECT_EQ(Word(disk, 22), 3u);
  EXPECT_EQ(disk[512], 0xF9) << "the FAT starts with the media byte";
  EXPECT_TRUE(std::equal(disk.begin() + 512, disk.begin() + 2048, disk.begin() + 2048))
      << "both FATs agree";

  if (!Have("mdir") || !Have("mcopy")) GTEST_SKIP() << "no mtools";
  const std::string env = "MTOOLS_SKIP_CHECK=1 ";
  TRun dir = Shell(env + "mdir -b -i " + Quote(image.string()) + " ::");
  ASSERT_EQ(dir.Status, 0) << dir.Out;
  for (const char* n : {"AUTOEXEC.BAS", "SLIDES1.SC8", "SLIDES2.SC5", "SLIDES3.SC3"})
    EXPECT_NE(dir.Out.find(n), std::string::npos) << n << " in\n" << dir.Out;
  for (int i = 0; i < 3; ++i) {
    const std::string n =
        VeDiskFileName("Slides", size_t(i), 3, Frames[size_t(i)]->GetStream(0)->Extension);
    TRun cp = Shell(env + "mcopy -n -i " + Quote(image.string()) + " ::" + n + " out.bin");
    ASSERT_EQ(cp.Status, 0) << cp.Out;
    EXPECT_EQ(Bytes(Dir / "out.bin"), Frames[size_t(i)]->GetStream(0)->Bytes()) << n;
  }
  TRun cp = Shell(env + "mcopy -n -i " + Quote(image.string()) + " ::AUTOEXEC.BAS auto.bas");
  ASSERT_EQ(cp.Status, 0) << cp.Out;
  const std::string autoexec = ReadAll(Dir / "auto.bas");
  // Screen 3's sixteen colours run on into a second line: BASIC reads at most 255 characters.
  EXPECT_EQ(autoexec,
            "10 SCREEN 8:BLOAD\"SLIDES1.SC8\",S:A$=INPUT$(1)\r\n"
            "20 SCREEN 5:BLOAD\"SLIDES2.SC5\",S:COLOR=RESTORE:A$=INPUT$(1)\r\n"
            "30 SCREEN 3:BLOAD\"SLIDES3.SC3\",S:COLOR=(0,0,0,7):COLOR=(1,1,0,6):COLOR=(2,2,1,5):"
            "COLOR=(3,3,1,4):COLOR=(4,4,2,3):COLOR=(5,5,2,2):COLOR=(6,6,3,1):COLOR=(7,7,3,0):"
            "COLOR=(8,0,4,7):COLOR=(9,1,4,6)\r\n"
            "40 COLOR=(10,2,5,5):COLOR=(11,3,5,4):COLOR=(12,4,6,3):COLOR=(13,5,6,2):"
            "COLOR=(14,6,7,1):COLOR=(15,7,7,0):A$=INPUT$(1)\r\n"
            "50 COLOR=NEW:SCREEN 0:END\r\n\x1A");
  EXPECT_EQ(fs::file_size(Dir / "auto.bas"), autoexec.size());
}

TEST_F(DiskExportTest, MsxDiskRefusesWhatItCannotHold) {
  // 13 screen 8 files of 54 clusters fit in 713; a 14th does not.
  for (unsigned i = 0; i < 14; ++i)
    AddBsave("sc8", 0xD400, i);
  EXPECT_THROW(Export("full"), EVeError);
  EXPECT_FALSE(fs::exists(Dir / "full.dsk"));
  Frames.pop_back();
  EXPECT_NO_THROW(Export("thirteen"));
  // An interlaced pair needs two pages a BASIC loader does not show.
  Frames.clear();
  AddBsave("sc5", 0x76A0, 1);
  AddBsave("sc5", 0x76A0, 2);
  Frames.back()->GetStream(0)->AddNewSub("s15", 7 + 0x6A00);
  EXPECT_THROW(Export("interlaced"), EVeError);
  // A CPC screen among MSX screens.
  Frames.pop_back();
  AddCpcScreen(1, 0);
  EXPECT_THROW(Export("mixed"), EVeError);
}

TEST_F(DiskExportTest, ConvertWritesDisksTheToolsRead) {
  TRun r = Run({"convert", Sample("astronaut.png"), "-p", "Amstrad CPC", "-m", "0 160x200x4", "-o",
                "my_cpc", "--export", "dsk"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Out.find("my_cpc.dsk"), std::string::npos) << r.Out;
  r = Run({"convert", Sample("astronaut.png"), "-p", "MSX", "-m", "5 256x212x4", "-o", "msx",
           "--export", "dsk"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  // A mode whose files no disk takes.
  r = Run({"convert", Sample("astronaut.png"), "-o", "zx", "--export", "dsk"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_FALSE(fs::exists(Dir / "zx.scr"));

  if (Have("cpmcp")) {
    // The name in the AMSDOS header is the one on disk, "-" for "_" in both.
    TRun cp = Shell("cpmcp -f cpcdata my_cpc.dsk 0:MY-CPC.SCR out.scr");
    ASSERT_EQ(cp.Status, 0) << cp.Out;
    EXPECT_EQ(Bytes(Dir / "out.scr"), Bytes(Dir / "my_cpc.scr"))
        << "the screen as Velmora saves it";
  }
  if (Have("mcopy")) {
    TRun cp = Shell("MTOOLS_SKIP_CHECK=1 mcopy -n -i msx.dsk ::MSX.SC5 out.sc5");
    ASSERT_EQ(cp.Status, 0) << cp.Out;
    EXPECT_EQ(Bytes(Dir / "out.sc5"), Bytes(Dir / "msx.sc5"));
  }
}
