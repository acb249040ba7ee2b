// The files of one command land together or not at all, and never over what it reads.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

#include "VeOutputSet.h"
#include "VeStream.h"

namespace fs = std::filesystem;

namespace {

class OutputSet : public ::testing::Test {
protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() /
          ("velmora-out-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir);
  }
  void TearDown() override { fs::remove_all(Dir); }

  std::string P(const std::string& name) const { return (Dir / name).string(); }
  static void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  static std::string Read(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
  }
  static std::vector<uint8_t> B(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
  }
  // Every entry of the folder: nothing temporary may be left after a commit.
  size_t Entries() const {
    size_t n = 0;
    for (auto& e : fs::recursive_directory_iterator(Dir)) {
      (void)e;
      ++n;
    }
    return n;
  }
  static TVeOutputRefusal RefusalOf(TVeOutputSet& set, bool force = false) {
    try {
      set.Commit(force);
    } catch (const EVeOutputRefused& e) {
      return e.Kind;
    }
    ADD_FAILURE() << "the set was written";
    return TVeOutputRefusal::NoName;
  }

  fs::path Dir;
};

} // namespace

TEST_F(OutputSet, AnInputIsNeverReplacedHoweverItIsNamed) {
  Write(P("a.png"), "source");
  fs::create_symlink(P("a.png"), P("link.png"));
  fs::create_hard_link(P("a.png"), P("hard.png"));
  fs::create_directories(Dir / "sub");
  const std::string spellings[] = {P("a.png"), P("sub/../a.png"), (Dir / "." / "a.png").string(),
                                   P("link.png"), P("hard.png")};
  for (const std::string& name : spellings) {
    TVeOutputSet set;
    set.Protect(P("a.png"));
    set.Add(P("new.bmp"), B("first"));
    set.Add(name, B("result"));
    EXPECT_EQ(RefusalOf(set, true), TVeOutputRefusal::InputFile) << name;
    EXPECT_EQ(Read(P("a.png")), "source");
    EXPECT_FALSE(fs::exists(P("new.bmp"))) << "nothing is written once refused";
  }
  // The same through a symbolic link to the input.
  TVeOutputSet set;
  set.Protect(P("link.png"));
  set.Add(P("a.png"), B("result"));
  EXPECT_EQ(RefusalOf(set), TVeOutputRefusal::InputFile);
}

TEST_F(OutputSet, ADeviceOrPipeIsNeverReplacedNorWrittenInto) {
  fs::create_symlink("/dev/null", P("null.png"));
  ASSERT_EQ(::mkfifo(P("pipe.png").c_str(), 0666), 0);
  fs::create_symlink(P("pipe.png"), P("to-pipe.png"));
  for (const char* name : {"null.png", "pipe.png", "to-pipe.png"}) {
    TVeOutputSet set;
    set.Add(P("first.bmp"), B("first"));
    set.Add(P(name), B("result"));
    EXPECT_EQ(RefusalOf(set, true), TVeOutputRefusal::Special) << name;
    EXPECT_FALSE(fs::exists(P("first.bmp"))) << name;
  }
  EXPECT_TRUE(fs::is_symlink(P("null.png")));
  EXPECT_TRUE(fs::is_fifo(P("pipe.png")));
  // A new file takes 0666 less the umask, never a device's mode.
  const mode_t old = ::umask(022);
  TVeOutputSet set;
  set.Add(P("new.png"), B("result"));
  set.Commit();
  ::umask(old);
  struct stat st;
  ASSERT_EQ(::stat(P("new.png").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST_F(OutputSet, TwoFilesNeverShareOneName) {
  TVeOutputSet set;
  set.Add(P("x.png"), B("one"));
  set.Add(P("./x.png"), B("two"));
  EXPECT_EQ(RefusalOf(set), TVeOutputRefusal::Duplicate);
  EXPECT_FALSE(fs::exists(P("x.png")));

  // A companion named like its own file.
  TVeStream stream("scr");
  stream.AddNewSub("scr", 3);
  TVeOutputSet companions;
  EXPECT_THROW(companions.AddStream(stream, P("pic.scr"), false), EVeOutputRefused);
}

TEST_F(OutputSet, AllOrNothing) {
  Write(P("keep.img"), "old picture");
  // Refused before writing: the second name is a folder.
  fs::create_directories(Dir / "pic.mg8");
  {
    TVeOutputSet set;
    set.Add(P("keep.img"), B("new picture"));
    set.Add(P("pic.mg8"), B("second"));
    EXPECT_EQ(RefusalOf(set), TVeOutputRefusal::Folder);
  }
  EXPECT_EQ(Read(P("keep.img")), "old picture");
  const size_t before = Entries();
  // Failing while writing: the second file's folder cannot be made (a file stands there).
  // The first file is back as it was and nothing new remains.
  Write(P("blocker"), "x");
  {
    TVeOutputSet set;
    set.Add(P("keep.img"), B("new picture"));
    set.Add(P("made/deeper/new.png"), B("new"));
    set.Add(P("blocker/pic.mc"), B("second"));
    EXPECT_THROW(set.Commit(), EVeError);
  }
  EXPECT_EQ(Read(P("keep.img")), "old picture");
  EXPECT_FALSE(fs::exists(Dir / "made")) << "folders made for the set are removed";
  EXPECT_EQ(Entries(), before + 1);
  // And a good set lands whole, leaving nothing temporary.
  TVeOutputSet set;
  set.Add(P("keep.img"), B("new picture"));
  set.Add(P("out/pic.mg8"), B("second"));
  EXPECT_EQ(set.Commit(), (std::vector<std::string>{P("keep.img"), P("out/pic.mg8")}));
  EXPECT_EQ(Read(P("keep.img")), "new picture");
  EXPECT_EQ(Read(P("out/pic.mg8")), "second");
  EXPECT_EQ(Entries(), before + 3);
}

TEST_F(OutputSet, ReadOnlyFilesNeedForceAndReplacedFilesKeepTheirMode) {
  Write(P("ro.png"), "old");
  ::chmod(P("ro.png").c_str(), 0444);
  {
    TVeOutputSet set;
    set.Add(P("ro.png"), B("new"));
    EXPECT_EQ(RefusalOf(set), TVeOutputRefusal::ReadOnly);
    EXPECT_EQ(Read(P("ro.png")), "old");
  }
  Write(P("private.png"), "old");
  ::chmod(P("private.png").c_str(), 0640);
  TVeOutputSet set;
  set.Add(P("ro.png"), B("new"));
  set.Add(P("private.png"), B("new"));
  set.Add(P("fresh.png"), B("new"));
  set.Commit(true);
  struct stat st;
  ASSERT_EQ(::stat(P("ro.png").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0444u);
  ASSERT_EQ(::stat(P("private.png").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(Read(P("ro.png")), "new");
  // A new file is an ordinary file for the user: 0666 less the umask.
  mode_t mask = ::umask(022);
  ::umask(mask);
  ASSERT_EQ(::stat(P("fresh.png").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0666u & ~mask);
}
