#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

#include "VeSaveResult.h"

namespace fs = std::filesystem;

namespace {

fs::path MakeTempDir(const std::string& tag) {
  fs::path dir = fs::temp_directory_path() /
                 ("velmora-" + tag + "-" + std::to_string(getpid()) + "-" +
                  std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

std::string ReadAll(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

} // namespace

TEST(SaveNames, ExtensionsAndFrames) {
  EXPECT_EQ(VeChangeFileExt("dir.x/photo.jpg", ".bmp"), "dir.x/photo.bmp");
  EXPECT_EQ(VeChangeFileExt("dir.x/photo", ".scr"), "dir.x/photo.scr");
  EXPECT_EQ(VeChangeFileExt("a.b.c", ".png"), "a.b.png");
  EXPECT_EQ(VeExtractFileExt("dir.x/photo"), "");
  EXPECT_EQ(VeExtractFileName("/a/b/c.png"), "c.png");
  EXPECT_EQ(VeFrameFileName("out/picture.png", 0), "out/picture.0.png");
  EXPECT_EQ(VeFrameFileName("out/picture.png", 1), "out/picture.1.png");
}

TEST(SaveAtomic, WritesWholeFileAndLeavesNoTemporary) {
  fs::path dir = MakeTempDir("atomic");
  fs::path target = dir / "result.bin";
  std::string old = "old contents that are longer";
  std::ofstream(target, std::ios::binary) << old;
  std::vector<uint8_t> bytes = {1, 2, 3, 0, 5};
  VeWriteFileAtomic(target.string(), bytes);
  EXPECT_EQ(ReadAll(target), std::string("\1\2\3\0\5", 5));
  int files = 0;
  for (auto& e : fs::directory_iterator(dir))
    files += e.is_regular_file();
  EXPECT_EQ(files, 1);
  // A folder that does not exist: an error, and nothing is created.
  EXPECT_THROW(VeWriteFileAtomic((dir / "missing" / "x.bin").string(), bytes), EVeError);
  EXPECT_FALSE(fs::exists(dir / "missing"));
  // A target that is a folder: the rename fails and the temporary file is removed.
  fs::create_directories(dir / "sub.png");
  fs::create_directories(dir / "sub.png" / "keep");
  EXPECT_THROW(VeWriteFileAtomic((dir / "sub.png").string(), bytes), EVeError);
  files = 0;
  for (auto& e : fs::directory_iterator(dir))
    files += e.is_regular_file();
  EXPECT_EQ(files, 1);
  fs::remove_all(dir);
}
