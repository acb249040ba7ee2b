// Archives of native screens through "batch --import", and batches divided with --shard among
// processes that write into one folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "VeBatch.h"
#include "VePlatforms.h"
#include "test_cli.h"

namespace {

class BatchImport : public CliTest {
protected:
  // Files of random bytes of a ZX screen's size: every one is a valid screen.
  void RandomScreens(const fs::path& folder, int count, uint32_t seed) {
    fs::create_directories(folder);
    std::mt19937 random(seed);
    for (int i = 0; i < count; ++i) {
      std::string bytes(6912, '\0');
      for (char& c : bytes)
        c = char(random() & 0xFF);
      std::ofstream(folder / ("s" + std::to_string(i) + ".scr"), std::ios::binary) << bytes;
    }
  }
  // A screen of the sample photograph written by velmora-cli itself.
  void Screen(const std::string& platform, const std::string& mode, const std::string& out) {
    TRun r = Run({"convert", Sample("coffee.png"), "-p", platform, "-m", mode, "-o", out});
    ASSERT_EQ(r.Status, 0) << r.Err;
  }
  std::set<std::string> Names(const fs::path& folder) {
    std::set<std::string> names;
    for (auto& e : fs::directory_iterator(folder))
      names.insert(e.path().filename().string());
    return names;
  }
};

TEST(BatchShard, PartsArePinnedToTheNameAlone) {
  // FNV-1a 64 of "a" is 0xaf63dc4c8601ec8c, of "" 0xcbf29ce484222325: parts computed on any
  // machine agree with these.
  EXPECT_EQ(VeBatchShardOf("a", 1000), int(0xaf63dc4c8601ec8cull % 1000) + 1);
  EXPECT_EQ(VeBatchShardOf("", 7), int(0xcbf29ce484222325ull % 7) + 1);
  // Bytes above 127 count as unsigned, as UTF-8 names are hashed everywhere.
  EXPECT_EQ(VeBatchShardOf("\xc3\xa9", 1 << 20), VeBatchShardOf("\xc3\xa9", 1 << 20));
  for (int n : {1, 2, 3, 16}) {
    std::map<int, int> sizes;
    for (int i = 0; i < 4000; ++i) {
      int part = VeBatchShardOf("screen" + std::to_string(i) + ".scr", n);
      ASSERT_GE(part, 1);
      ASSERT_LE(part, n);
      ++sizes[part];
    }
    // Every part gets its share, within a wide margin.
    EXPECT_EQ(int(sizes.size()), n);
    for (auto& [part, size] : sizes)
      EXPECT_GT(size, 4000 / n * 3 / 4) << part << "/" << n;
  }
}

TEST_F(BatchImport, PartsTogetherConvertEveryFileOnce) {
  RandomScreens(Dir / "src", 40, 7);
  TRun whole = Run({"batch", "--import", "src", "all"});
  ASSERT_EQ(whole.Status, 0) << whole.Err;
  ASSERT_EQ(Lines(whole.Out).size(), 40u);
  for (int n : {2, 3, 5}) {
    const std::string dest = "parts" + std::to_string(n);
    std::vector<std::string> written;
    for (int i = 1; i <= n; ++i) {
      TRun r = Run({"batch", "--import", "--shard", std::to_string(i) + "/" + std::to_string(n),
                    "src", dest, "--threads", i % 2 ? "1" : "2"});
      ASSERT_EQ(r.Status, 0) << r.Err;
      for (const std::string& line : Lines(r.Out))
        written.push_back(line);
    }
    std::sort(written.begin(), written.end());
    EXPECT_EQ(std::adjacent_find(written.begin(), written.end()), written.end()) << n;
    EXPECT_EQ(written.size(), 40u) << n;
    ASSERT_EQ(Names(Dir / dest), Names(Dir / "all")) << n;
    for (const std::string& name : Names(Dir / "all"))
      EXPECT_EQ(ReadAll(Dir / dest / name), ReadAll(Dir / "all" / name)) << name;
  }

  // More parts than files: the empty ones are no failure.
  fs::create_directories(Dir / "one");
  fs::copy_file(Dir / "src" / "s0.scr", Dir / "one" / "s0.scr");
  int converted = 0;
  for (int i = 1; i <= 8; ++i) {
    TRun r = Run({"batch", "--import", "--shard", std::to_string(i) + "/8", "one", "out"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    converted += int(Lines(r.Out).size());
    if (r.Out.empty()) {
      EXPECT_NE(r.Err.find("holds none of its 1 files"), std::string::npos) << r.Err;
    }
  }
  EXPECT_EQ(converted, 1);
}

TEST_F(BatchImport, APartDoesNotDependOnTheListingOrder) {
  RandomScreens(Dir / "src", 12, 3);
  VeRegisterPlatforms();
  std::vector<std::string> files = VeBatchFolderAllFiles((Dir / "src").string());
  std::vector<std::string> reversed(files.rbegin(), files.rend());
  std::vector<std::string> results[2];
  int k = 0;
  for (const auto* list : {&files, &reversed}) {
    TVeBatchThread batch(TVeBatchImport{}, *list, sfPNG, (Dir / ("d" + std::to_string(k))).string(),
                         (Dir / "src").string(), false, {2, 3});
    batch.WaitFor();
    EXPECT_EQ(batch.ListedCount(), 12);
    EXPECT_EQ(batch.FailedCount(), 0);
    for (TVeBatchLogEntry e; batch.TakeLogEntry(e);)
      results[k].push_back(e.Name);
    std::sort(results[k].begin(), results[k].end());
    ++k;
  }
  EXPECT_EQ(results[0], results[1]);
  std::vector<std::string> expected;
  for (const std::string& f : files)
    if (VeBatchShardOf(VeExtractFileName(f), 3) == 2) expected.push_back(VeExtractFileName(f));
  EXPECT_EQ(results[0], expected);
}

TEST_F(BatchImport, DecodesAsTheImportCommandDoes) {
  fs::create_directories(Dir / "src");
  Screen("ZX Spectrum", "", "src/zx");
  Screen("MSX", "5 256x212x4", "src/msx");
  Screen("Amstrad CPC", "0 160x200x4", "src/cpc");
  // The batch takes every file of the folder; only the screens stay.
  for (auto& e : fs::directory_iterator(Dir / "src"))
    if (e.path().filename() != "zx.scr" && e.path().filename() != "msx.sc5" &&
        e.path().filename() != "cpc.scr")
      fs::remove(e.path());
  TRun r = Run({"batch", "--import", "src", "dst"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "dst/cpc.png\ndst/msx.png\ndst/zx.png\n");
  for (const char* name : {"zx.scr", "msx.sc5", "cpc.scr"}) {
    const std::string single = std::string(name) + ".png";
    ASSERT_EQ(Run({"import", "src/" + std::string(name), "-o", single}).Status, 0);
    EXPECT_EQ(ReadAll(Dir / "dst" / VeChangeFileExt(name, ".png")), ReadAll(Dir / single)) << name;
  }
  // Other picture formats as import -o writes them.
  r = Run({"batch", "--import", "src", "bmp", "-f", "bmp", "--threads", "1"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  ASSERT_EQ(Run({"import", "src/zx.scr", "-o", "zx.bmp"}).Status, 0);
  EXPECT_EQ(ReadAll(Dir / "bmp" / "zx.bmp"), ReadAll(Dir / "zx.bmp"));
}

TEST_F(BatchImport, ADamagedFileFailsAloneAndSaysWhy) {
  fs::create_directories(Dir / "src");
  Screen("ZX Spectrum", "", "src/good");
  Screen("TI-99/4A", "F18A 256x192x4", "f");
  fs::copy_file(Dir / "f.f18a", Dir / "src" / "short.f18a");
  fs::resize_file(Dir / "src" / "short.f18a", 12319);
  fs::copy_file(Dir / "src" / "good.scr", Dir / "src" / "cut.scr");
  fs::resize_file(Dir / "src" / "cut.scr", 6000);
  std::ofstream(Dir / "src" / "empty.scr").close();
  TRun r = Run({"batch", "--import", "src", "dst"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Out, "dst/good.png\n");
  std::vector<std::string> errors = Lines(r.Err);
  std::sort(errors.begin(), errors.end());
  EXPECT_EQ(errors, (std::vector<std::string>{
                        "error: 3 of 4 files not imported",
                        "error: src/cut.scr: Unknown image type",
                        "error: src/empty.scr: Unknown image type",
                        "error: src/short.f18a: The F18A dump is 12319 bytes long, not 12320",
                    }));
  EXPECT_EQ(Names(Dir / "dst"), std::set<std::string>{"good.png"});
}

TEST_F(BatchImport, NamesStayApartAcrossParts) {
  // "a.scr" and "a.sc5" both want a.png, whichever processes convert them.
  fs::create_directories(Dir / "src");
  Screen("ZX Spectrum", "", "src/a");
  Screen("MSX", "5 256x212x4", "m");
  fs::copy_file(Dir / "m.sc5", Dir / "src" / "a.sc5");
  fs::copy_file(Dir / "src" / "a.scr", Dir / "src" / "a-scr.scr");
  ASSERT_NE(VeBatchShardOf("a.sc5", 2), VeBatchShardOf("a.scr", 2));
  TRun whole = Run({"batch", "--import", "src", "all"});
  ASSERT_EQ(whole.Status, 0) << whole.Err;
  EXPECT_EQ(whole.Out, "all/a-scr.png\nall/a.png\nall/a-scr-2.png\n");
  for (int i : {2, 1}) {
    TRun r = Run({"batch", "--import", "--shard", std::to_string(i) + "/2", "src", "parts"});
    ASSERT_EQ(r.Status, 0) << r.Err;
  }
  ASSERT_EQ(Names(Dir / "parts"), Names(Dir / "all"));
  for (const std::string& name : Names(Dir / "all"))
    EXPECT_EQ(ReadAll(Dir / "parts" / name), ReadAll(Dir / "all" / name)) << name;

  // Results written into the sources' own folder never replace one.
  const std::string screen = ReadAll(Dir / "src" / "a.scr");
  TRun r = Run({"batch", "--import", "src", "src", "-f", "gif"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(ReadAll(Dir / "src" / "a.scr"), screen);
}

TEST_F(BatchImport, BadPartsAndOptionsAreRefused) {
  RandomScreens(Dir / "src", 1, 1);
  const std::vector<std::pair<std::string, std::string>> shards = {
      {"0/4", "numbered from 1 to 4"},
      {"5/4", "numbered from 1 to 4"},
      {"1/0", "at least 1"},
      {"x", "expected PART/PARTS"},
      {"1/4/2", "expected PART/PARTS"},
      {"-1/4", "expected PART/PARTS"},
      {"1/99999999", "expected PART/PARTS"},
      {"", "expected PART/PARTS"}};
  for (auto& [value, says] : shards) {
    TRun r = Run({"batch", "--import", "--shard", value, "src", "dst"});
    EXPECT_EQ(r.Status, 2) << value;
    EXPECT_NE(r.Err.find(says), std::string::npos) << value << ": " << r.Err;
  }
  for (const std::vector<std::string>& extra :
       {std::vector<std::string>{"-f", "native"}, {"-p", "MSX"}, {"--set", "Dither=None"}}) {
    std::vector<std::string> args = {"batch", "--import", "src", "dst"};
    args.insert(args.end(), extra.begin(), extra.end());
    EXPECT_EQ(Run(args).Status, 2) << extra[0];
  }
  EXPECT_FALSE(fs::exists(Dir / "dst"));
  // Without --import a part of a folder of pictures.
  fs::create_directories(Dir / "pics");
  fs::copy_file(Sample("coffee.png"), Dir / "pics" / "a.png");
  fs::copy_file(Sample("coffee.png"), Dir / "pics" / "b.png");
  std::string out;
  for (const char* part : {"1/2", "2/2"})
    out += Run({"batch", "--shard", part, "pics", "dst", "-p", "Common", "-m", "B/W"}).Out;
  std::vector<std::string> lines = Lines(out);
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines, (std::vector<std::string>{"dst/a.bmp", "dst/b.bmp"}));
}

} // namespace
