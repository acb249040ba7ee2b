#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

#include "VeBatch.h"
#include "VeBitmap.h"
#include "VeCommonEngines.h"
#include "VePictureCodecs.h"
#include "VeStream.h"
#include "VeThreadJob.h"

namespace fs = std::filesystem;

namespace {

// Records what it was given; two flicker frames, and optionally a native file; may wait
// for the cancel flag.
struct TProbeEngine : TVeDestEngine {
  static inline std::atomic<int> Runs{0};
  static inline std::atomic<bool> SawPalettes{false};
  static inline std::atomic<bool> WaitForCancel{false};
  static inline std::atomic<bool> NativeFile{false};
  static std::string PlatformName() { return "Test"; }
  static std::string ModeName() { return "Probe"; }
  static std::unique_ptr<TVeBitmap> Convert(const TVeCancelFlag* cancel, const TVeBitmap32& src,
                                            std::unique_ptr<TVeStreamList>& files,
                                            TVeDestProgress& progress, TVeDestEngineOptions&,
                                            const TVePalette256* used, const TVePalette256* file) {
    ++Runs;
    SawPalettes = used != nullptr || file != nullptr;
    progress.SetProgress(4, 1);
    while (WaitForCancel) {
      VeCheckCancel(cancel);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    TVePalette256 pal;
    pal.AddRGB(0, 0, 0);
    pal.AddRGB(255, 255, 255);
    auto bmp = std::make_unique<TVeBitmap4>(src.Width(), &pal, src.Height());
    bmp->AddFrame(&pal);
    bmp->AddFrame(&pal);
    if (NativeFile) {
      files = std::make_unique<TVeStreamList>();
      files->AddNew("scr", 10, 1);
    }
    return bmp;
  }
  std::unique_ptr<TVeDestEngineUI> CreateUI(TVeDestEngineOptions& o) const override {
    return std::make_unique<TVeDestEngineUIEx>(o);
  }
  std::unique_ptr<TVeDestEngineOptions> CreateOptions() const override {
    return VeNewOptions<TVeDestEngineOptions>();
  }
};

class BatchTest : public ::testing::Test {
protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() /
          ("velmora-batch-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir / "src");
    TProbeEngine::Runs = 0;
    TProbeEngine::WaitForCancel = false;
    TProbeEngine::NativeFile = false;
  }
  void TearDown() override { fs::remove_all(Dir); }

  void Write(const fs::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  // A 4-bit PNG of 24 x 16 with a palette, and the same picture as a JPEG.
  std::vector<uint8_t> PalettedPng() {
    std::vector<uint8_t> rows(16 * 12);
    for (size_t i = 0; i < rows.size(); ++i)
      rows[i] = uint8_t(i * 7);
    return VeWritePng(24, 16, 4, std::vector<uint32_t>(16, 0x336699),
                      [&](int y) { return rows.data() + y * 12; });
  }
  std::vector<uint8_t> Jpeg() {
    TVeBitmap32 b(30, 20, 0xFF808080);
    for (int x = 0; x < 30; ++x)
      b.Pixel(x, 5) = 0xFFFF0000;
    return VeWriteJpeg(b);
  }

  std::vector<std::string> RunBatch(TVeBatchThread& batch) {
    batch.WaitFor();
    EXPECT_TRUE(batch.Finished());
    std::vector<std::string> log;
    for (std::string l = batch.TakeLogLine(); !l.empty(); l = batch.TakeLogLine())
      log.push_back(l);
    return log;
  }

  TVeDestEngineClassOf<TProbeEngine> Probe;
  TVeDestEngineClassOf<TVeCustomPaletteEngine> Palette;
  fs::path Dir;
};

} // namespace

TEST_F(BatchTest, ConvertsOnlyPicturesOfTheFolder) {
  Write(Dir / "src" / "a.JPEG", Jpeg());
  std::ofstream(Dir / "src" / "b.txt") << "text";
  fs::create_directories(Dir / "src" / "folder.png");
  auto options = Palette.Create()->CreateOptions();
  options->SetMaxColorCount(0); // a true-colour result
  TVeBatchThread batch({}, sfGIF, Palette, *options, (Dir / "dst").string(),
                       (Dir / "src").string());
  EXPECT_EQ(RunBatch(batch), std::vector<std::string>{"a.JPEG: OK"});
  EXPECT_EQ(batch.FailedCount(), 0);
  // GIF cannot hold the 24-bit result, so it is written as BMP.
  std::vector<std::string> out;
  for (auto& e : fs::directory_iterator(Dir / "dst"))
    out.push_back(e.path().filename());
  EXPECT_EQ(out, std::vector<std::string>{"a.bmp"});
  TVeBatchStatus st = batch.Status();
  EXPECT_EQ(st.Count, 1);
  EXPECT_EQ(st.Index, 1);
  EXPECT_EQ(st.Position, st.MaxPosition);
}

TEST_F(BatchTest, FramesNativeFilesAndFailures) {
  Write(Dir / "src" / "photo.jpg", Jpeg());
  std::ofstream(Dir / "src" / "bad.gif") << "GIF8 but not really";
  std::vector<std::string> files = {(Dir / "src" / "bad.gif").string(),
                                    (Dir / "src" / "photo.jpg").string()};
  auto options = Probe.Create()->CreateOptions();
  {
    TVeBatchThread batch(files, sfPNG, Probe, *options, (Dir / "png").string(), "-");
    auto log = RunBatch(batch);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], files[0] + ": Unknown image type");
    EXPECT_EQ(log[1], "photo.jpg: OK");
    EXPECT_EQ(batch.FailedCount(), 1);
    for (const char* n : {"photo.png", "photo.0.png", "photo.1.png"})
      EXPECT_TRUE(fs::exists(Dir / "png" / n)) << n;
  }
  {
    // "Native" without files writes BMP, frames included.
    TVeBatchThread batch({files[1]}, sfNative, Probe, *options, (Dir / "nat").string(), "-");
    RunBatch(batch);
    EXPECT_TRUE(fs::exists(Dir / "nat" / "photo.bmp"));
    EXPECT_TRUE(fs::exists(Dir / "nat" / "photo.1.bmp"));
  }
  {
    TProbeEngine::NativeFile = true;
    TVeBatchThread batch({files[1]}, sfNative, Probe, *options, (Dir / "scr").string(), "-");
    RunBatch(batch);
    std::vector<std::string> out;
    for (auto& e : fs::directory_iterator(Dir / "scr"))
      out.push_back(e.path().filename());
    EXPECT_EQ(out, std::vector<std::string>{"photo.scr"});
  }
}

TEST_F(BatchTest, LogsWhyAFileCannotBeRead) {
  // The list was made earlier: the file went away, or a folder took a picture's name.
  fs::create_directories(Dir / "src" / "folder.png");
  std::vector<std::string> files = {(Dir / "src" / "gone.png").string(),
                                    (Dir / "src" / "folder.png").string()};
  auto options = Probe.Create()->CreateOptions();
  TVeBatchThread batch(files, sfPNG, Probe, *options, (Dir / "dst").string(), "-");
  auto log = RunBatch(batch);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], files[0] + ": No such file");
  EXPECT_EQ(log[1], files[1] + ": Is a folder");
  EXPECT_EQ(batch.FailedCount(), 2);
}

TEST_F(BatchTest, PalettesOnlyWhenTheEngineAsks) {
  Write(Dir / "src" / "p.png", PalettedPng());
  auto options = Probe.Create()->CreateOptions();
  {
    TVeBatchThread batch({}, sfBMP, Probe, *options, (Dir / "d1").string(), (Dir / "src").string());
    RunBatch(batch);
    EXPECT_EQ(TProbeEngine::Runs, 1);
    EXPECT_FALSE(TProbeEngine::SawPalettes);
  }
  options->SetEngineFlagC(true);
  TVeBatchThread batch({}, sfBMP, Probe, *options, (Dir / "d2").string(), (Dir / "src").string());
  RunBatch(batch);
  EXPECT_TRUE(TProbeEngine::SawPalettes);
}

TEST_F(BatchTest, SizeFollowsEachPictureUnlessLocked) {
  Write(Dir / "src" / "a.jpg", Jpeg());
  TVeDestEngineClassOf<TVeCustomBWEngine> bw;
  auto options = bw.Create()->CreateOptions();
  options->SetWidth(100);
  options->SetHeight(100);
  TVeBatchThread batch({}, sfBMP, bw, *options, (Dir / "free").string(), (Dir / "src").string());
  RunBatch(batch);
  auto bmp = [&](const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::vector<uint8_t> d((std::istreambuf_iterator<char>(f)), {});
    return VeDecodeBmp(d.data(), d.size());
  };
  TVePicture a = bmp(Dir / "free" / "a.bmp");
  EXPECT_EQ(a.Width, 30);
  EXPECT_EQ(a.Height, 20);
  options->SetDimensionLock(true);
  TVeBatchThread locked({}, sfBMP, bw, *options, (Dir / "locked").string(), (Dir / "src").string());
  RunBatch(locked);
  TVePicture b = bmp(Dir / "locked" / "a.bmp");
  EXPECT_EQ(b.Width, 100);
  EXPECT_EQ(b.Height, 100);
}

TEST_F(BatchTest, StopEndsTheRunningConversion) {
  // One worker: the next picture is not started.
  SetProcessorCount(1);
  struct TReset {
    ~TReset() { SetProcessorCount(0); }
  } reset;
  Write(Dir / "src" / "a.jpg", Jpeg());
  Write(Dir / "src" / "b.jpg", Jpeg());
  TProbeEngine::WaitForCancel = true;
  auto options = Probe.Create()->CreateOptions();
  TVeBatchThread batch({}, sfBMP, Probe, *options, (Dir / "dst").string(), (Dir / "src").string());
  while (TProbeEngine::Runs == 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  TVeBatchStatus st = batch.Status();
  EXPECT_EQ(st.Count, 2);
  EXPECT_EQ(st.MaxPosition, 200);
  EXPECT_EQ(st.Position, 25); // progress (4, 1) of the first picture
  batch.Stop();
  auto log = RunBatch(batch);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].find(": "), log[0].size() - 2) << log[0]; // the silent abort's message
  EXPECT_EQ(TProbeEngine::Runs, 1);
  EXPECT_FALSE(fs::exists(Dir / "dst"));
}

TEST_F(BatchTest, SeveralWorkersWriteAndLogAsOne) {
  // Pictures whose results want the same names, and a failure between them: names, files and
  // log must not depend on which worker finishes first.
  Write(Dir / "src" / "a.jpg", Jpeg());
  Write(Dir / "src" / "a.png", PalettedPng());
  std::ofstream(Dir / "src" / "b.gif") << "GIF8 but not really";
  for (int i = 0; i < 7; ++i)
    Write(Dir / "src" / ("c" + std::to_string(i) + ".jpg"), Jpeg());
  auto options = Palette.Create()->CreateOptions();
  auto run = [&](int workers, const std::string& out) {
    SetProcessorCount(workers);
    TVeBatchThread batch({}, sfBMP, Palette, *options, (Dir / out).string(),
                         (Dir / "src").string());
    std::vector<std::string> log = RunBatch(batch);
    SetProcessorCount(0);
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
    for (auto& e : fs::directory_iterator(Dir / out)) {
      std::ifstream f(e.path(), std::ios::binary);
      files.emplace_back(e.path().filename(),
                         std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), {}));
    }
    std::sort(files.begin(), files.end());
    for (std::string& line : log)
      if (auto at = line.find((Dir / "src").string()); at != std::string::npos)
        line.replace(at, (Dir / "src").string().size(), "SRC");
    return std::make_pair(log, files);
  };
  const auto one = run(1, "one");
  ASSERT_EQ(one.first.size(), 10u);
  EXPECT_EQ(one.first[0], "a.jpg: OK");
  EXPECT_EQ(one.first[1], "a.png: OK as a-png.bmp");
  EXPECT_EQ(one.first[2], "SRC/b.gif: Unknown image type");
  for (int workers : {2, 3}) {
    const auto many = run(workers, "many" + std::to_string(workers));
    EXPECT_EQ(many.first, one.first) << workers << " workers";
    EXPECT_TRUE(many.second == one.second) << workers << " workers";
  }
}

TEST(ThreadProcessorCount, OverridesOnlyTheCallingThread) {
  SetProcessorCount(3);
  std::thread([] {
    SetThreadProcessorCount(1);
    EXPECT_EQ(ProcessorCount(), 1);
    SetThreadProcessorCount(0);
    EXPECT_EQ(ProcessorCount(), 3);
  }).join();
  EXPECT_EQ(ProcessorCount(), 3);
  SetProcessorCount(0);
}

TEST_F(BatchTest, StopEndsEveryWorkersConversion) {
  for (int i = 0; i < 6; ++i)
    Write(Dir / "src" / ("p" + std::to_string(i) + ".jpg"), Jpeg());
  SetProcessorCount(2);
  TProbeEngine::WaitForCancel = true;
  auto options = Probe.Create()->CreateOptions();
  TVeBatchThread batch({}, sfBMP, Probe, *options, (Dir / "dst").string(), (Dir / "src").string());
  while (TProbeEngine::Runs < 2)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  // The status follows the first picture, the one the writing waits for.
  EXPECT_EQ(batch.Status().Position, 25);
  batch.Stop();
  auto log = RunBatch(batch);
  SetProcessorCount(0);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(TProbeEngine::Runs, 2); // both workers' pictures, no third
  EXPECT_FALSE(fs::exists(Dir / "dst"));
}
