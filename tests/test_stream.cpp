#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

#include "VeErrors.h"
#include "VeStream.h"

namespace fs = std::filesystem;

namespace {

class Streams : public ::testing::Test {
protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() /
          ("velmora-stream-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir);
  }
  void TearDown() override { fs::remove_all(Dir); }

  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (auto& e : fs::directory_iterator(Dir))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  static std::string Read(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
  }

  fs::path Dir;
};

// A stream with a name-dependent header, like the disk-system headers of some machines.
struct THeaderStream : TVeStream {
  using TVeStream::TVeStream;
  void AdjustFileName(std::string& name) override {
    // Names of at most 8 characters before the extension, upper case.
    auto dot = name.rfind('.');
    std::string base = name.substr(0, dot), ext = dot == std::string::npos ? "" : name.substr(dot);
    if (base.size() > 8) base.resize(8);
    for (char& c : base)
      c = char(toupper(c));
    name = base + ext;
  }
  void BeforeSave(const std::string& name) override {
    SetSize(std::max<size_t>(Size(), 12));
    std::fill(Data(), Data() + 12, ' ');
    std::copy(name.begin(), name.begin() + std::min<size_t>(12, name.size()), Data());
  }
};

} // namespace

TEST_F(Streams, LabelsAndAddNew) {
  TVeStreamList list;
  TVeStream* raw = list.AddNew("", 0);
  TVeStream* scr = list.AddNew("scr", 6912);
  TVeStream* eve = list.AddNew("eve", -3, 0x55);
  eve->AddNewSub("odd", 4, 0xAA);
  TVeStream* nested = list.Add(new TVeStream("a"));
  nested->AddNewSub("b", 1)->AddNewSub("c", 1);
  nested->AddNewSub("Pal", 1);

  ASSERT_EQ(list.Count(), 4);
  EXPECT_EQ(raw->Label(), "RAW");
  EXPECT_EQ(scr->Label(), "SCR");
  EXPECT_EQ(eve->Label(), "EVE/ODD");
  EXPECT_EQ(nested->Label(), "A/B/C/PAL");
  EXPECT_EQ(list.GetExtension(1), "scr");
  EXPECT_EQ(list.Streams(2), eve);

  EXPECT_EQ(raw->Size(), 0u);
  EXPECT_EQ(eve->Size(), 0u);
  ASSERT_EQ(scr->Size(), 6912u);
  EXPECT_TRUE(std::all_of(scr->Data(), scr->Data() + 6912, [](uint8_t b) { return b == 0; }));
  TVeStream* odd = eve->GetSubStream(0);
  EXPECT_EQ(odd->Bytes(), std::vector<uint8_t>(4, 0xAA));
  EXPECT_EQ(eve->SubCount(), 1);
  EXPECT_EQ(odd->SubCount(), 0);

  // Sequential writes grow the stream; writes inside overwrite.
  TVeStream s("bin");
  s.Write("abcd", 4);
  s.Position = 2;
  s.WriteByte('X');
  s.Write("YZW", 3);
  EXPECT_EQ(std::string(s.Bytes().begin(), s.Bytes().end()), "abXYZW");

  EXPECT_THROW(list.GetStream(4), EInternalError);
  EXPECT_THROW(odd->GetSubStream(0), EInternalError);
}

TEST_F(Streams, WritesCompanionFilesDepthFirstUnderOneBaseName) {
  TVeStream root("eve");
  root.Write("even", 4);
  TVeStream* odd = root.AddNewSub("odd", 3, 'o');
  odd->AddNewSub("pal", 2, 'p');
  root.AddNewSub("", 1, 'r');

  std::vector<std::string> written;
  VeWriteStream(root, (Dir / "pic.1.eve").string(), true, &written);
  std::vector<std::string> expected = {(Dir / "pic.1.eve").string(), (Dir / "pic.1.odd").string(),
                                       (Dir / "pic.1.pal").string(), (Dir / "pic.1").string()};
  EXPECT_EQ(written, expected);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"pic.1", "pic.1.eve", "pic.1.odd", "pic.1.pal"}));
  EXPECT_EQ(Read(Dir / "pic.1.eve"), "even");
  EXPECT_EQ(Read(Dir / "pic.1.odd"), "ooo");
  EXPECT_EQ(Read(Dir / "pic.1.pal"), "pp");
  EXPECT_EQ(Read(Dir / "pic.1"), "r");

  // Saving again over longer files leaves exactly the new bytes.
  TVeStream shorter("eve");
  shorter.Write("e", 1);
  VeWriteStream(shorter, (Dir / "pic.1.eve").string());
  EXPECT_EQ(Read(Dir / "pic.1.eve"), "e");
}

TEST_F(Streams, AdjustedNameReachesHeaderAndCompanions) {
  auto root = std::make_unique<THeaderStream>("cpc");
  root->SetSize(16, 0xEE);
  root->AddSub(std::make_unique<THeaderStream>("pal"));

  std::vector<std::string> written;
  VeWriteStream(*root, (Dir / "longpicturename.cpc").string(), true, &written);
  ASSERT_EQ(written.size(), 2u);
  EXPECT_EQ(written[0], (Dir / "LONGPICT.cpc").string());
  EXPECT_EQ(written[1], (Dir / "LONGPICT.pal").string());
  EXPECT_EQ(Read(Dir / "LONGPICT.cpc").substr(0, 13), "LONGPICT.cpc\xEE");
  EXPECT_EQ(Read(Dir / "LONGPICT.pal"), "LONGPICT.pal");

  // The batch converter keeps the name as given, but the header still gets it.
  VeWriteStream(*root, (Dir / "batchname1.cpc").string(), false);
  EXPECT_EQ(Read(Dir / "batchname1.cpc").substr(0, 12), "batchname1.c");
  EXPECT_TRUE(fs::exists(Dir / "batchname1.pal"));
}

TEST_F(Streams, FailedWritesRaiseNameThePathAndLeaveNoTemporaryFile) {
  TVeStream s("scr");
  s.SetSize(100, 1);
  std::vector<std::string> written;
  std::string missing = (Dir / "missing" / "pic.scr").string();
  try {
    VeWriteStream(s, missing, true, &written);
    FAIL() << "no exception";
  } catch (const EVeError& e) {
    EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
  }
  EXPECT_TRUE(written.empty());
  EXPECT_TRUE(Entries().empty());

  // The target is a folder: the bytes reach the temporary file, the rename fails, and the
  // temporary file is removed again.
  fs::create_directory(Dir / "pic.scr");
  EXPECT_THROW(VeWriteStream(s, (Dir / "pic.scr").string(), true, &written), EVeError);
  EXPECT_TRUE(written.empty());
  EXPECT_EQ(Entries(), std::vector<std::string>{"pic.scr"});

  // A companion that fails: the files of one save land together, so the main file is not
  // written either.
  TVeStream root("eve");
  root.AddNewSub("scr", 1);
  EXPECT_THROW(VeWriteStream(root, (Dir / "pic.eve").string(), true, &written), EVeError);
  EXPECT_TRUE(written.empty());
  EXPECT_EQ(Entries(), (std::vector<std::string>{"pic.scr"}));
}

TEST_F(Streams, CompanionNeverOverwritesItsOwnFile) {
  TVeStream root("scr");
  root.Write("main", 4);
  root.AddNewSub("scr", 1, 'x');
  std::vector<std::string> written;
  EXPECT_THROW(VeWriteStream(root, (Dir / "a.scr").string(), true, &written), EVeError);
  EXPECT_FALSE(fs::exists(Dir / "a.scr"));
  EXPECT_TRUE(written.empty());

  TVeStream bare("");
  bare.AddNewSub("", 1);
  EXPECT_THROW(VeWriteStream(bare, (Dir / "b").string()), EVeError);
  EXPECT_FALSE(fs::exists(Dir / "b"));
  EXPECT_THROW(VeWriteStream(bare, (Dir).string() + "/"), EVeError);
}
