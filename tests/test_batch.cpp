#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <png.h>
#include <thread>
#include <unistd.h>

#include "VeAnimation.h"
#include "VeBatch.h"
#include "VeBitmap.h"
#include "VeCommonEngines.h"
#include "VeDestEngineList.h"
#include "VePictureCodecs.h"
#include "VeRowFeed.h"
#include "VeSource.h"
#include "VeSourcePrepare.h"
#include "VeStream.h"
#include "VeThreadJob.h"
#include "zxspectrum/VePlatformZxSpectrum.h"
#include "zxspectrum/VeSavePlatformZxSpectrum.h"

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
    SawPalettes = used != nullptr || file != nullptr;
    progress.SetProgress(4, 1);
    ++Runs; // after the progress, which the tests read once they see the run
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

TEST_F(BatchTest, AnimatedGifsGiveEveryFrame) {
  // Three frames of a moving bar, and a one-frame GIF beside it that stays a still.
  std::vector<TVeBitmap32> frames;
  for (int k = 0; k < 3; ++k) {
    TVeBitmap32 b(32, 16, 0xFF204060);
    for (int y = 0; y < 16; ++y)
      b.Pixel(4 + 8 * k, y) = 0xFFFFFFFF;
    frames.push_back(std::move(b));
  }
  std::vector<const TVeBitmap32*> pictures;
  for (const TVeBitmap32& b : frames)
    pictures.push_back(&b);
  Write(Dir / "src" / "anim.gif", VeWriteGifAnimation(pictures, {100, 100, 100}));
  Write(Dir / "src" / "still.gif", VeWriteGifAnimation({pictures[0]}, {0}));
  auto options = Palette.Create()->CreateOptions();
  options->SetMaxColorCount(4);
  TVeBatchThread batch({}, sfPNG, Palette, *options, (Dir / "dst").string(),
                       (Dir / "src").string());
  EXPECT_EQ(RunBatch(batch), (std::vector<std::string>{"anim.gif: OK, 3 frames", "still.gif: OK"}));
  std::vector<std::string> out;
  for (auto& e : fs::directory_iterator(Dir / "dst"))
    out.push_back(e.path().filename());
  std::sort(out.begin(), out.end());
  EXPECT_EQ(out, (std::vector<std::string>{"anim.0000.png", "anim.0001.png", "anim.0002.png",
                                           "still.png"}));
  // Each frame shows its own bar.
  for (int k = 0; k < 3; ++k) {
    char name[32];
    std::snprintf(name, sizeof name, "anim.%04d.png", k);
    const std::vector<uint8_t> png = VeReadFile((Dir / "dst" / name).string());
    TVePictureResult r = VeDecodeToBitmap32(vptPNG, png.data(), png.size(), vpwPicture);
    EXPECT_EQ(r.Image.Pixel(4 + 8 * k, 3) & 0xFFFFFF, 0xFFFFFFu) << name;
    EXPECT_NE(r.Image.Pixel(4 + 8 * ((k + 1) % 3), 3) & 0xFFFFFF, 0xFFFFFFu) << name;
  }
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

namespace {

// Keeps the picture and palettes it was given.
struct TCaptureEngine : TVeDestEngine {
  static inline TVeBitmap32 Input;
  static inline int Used = -1, File = -1;
  static std::string PlatformName() { return "Test"; }
  static std::string ModeName() { return "Capture"; }
  static std::unique_ptr<TVeBitmap> Convert(const TVeCancelFlag*, const TVeBitmap32& src,
                                            std::unique_ptr<TVeStreamList>&, TVeDestProgress&,
                                            TVeDestEngineOptions&, const TVePalette256* used,
                                            const TVePalette256* file) {
    Input = src;
    Used = used ? used->GetCount() : -1;
    File = file ? file->GetCount() : -1;
    TVePalette256 pal;
    pal.AddRGB(0, 0, 0);
    return std::make_unique<TVeBitmap4>(src.Width(), &pal, src.Height());
  }
  std::unique_ptr<TVeDestEngineUI> CreateUI(TVeDestEngineOptions& o) const override {
    return std::make_unique<TVeDestEngineUIEx>(o);
  }
  std::unique_ptr<TVeDestEngineOptions> CreateOptions() const override {
    return VeNewOptions<TVeDestEngineOptions>();
  }
};

// A PNG through libpng itself, for the kinds the program's own writer never makes: pixels
// holds the rows, 3 or 4 bytes a pixel.
std::vector<uint8_t> LibPngOf(int w, int h, int colorType, bool interlaced,
                              std::vector<uint8_t> pixels) {
  struct TOut {
    static void Write(png_structp png, png_bytep d, size_t n) {
      auto* v = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
      v->insert(v->end(), d, d + n);
    }
    static void Flush(png_structp) {}
  };
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &out, TOut::Write, TOut::Flush);
  png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, colorType,
               interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  const int channels = colorType == PNG_COLOR_TYPE_RGBA ? 4 : 3;
  std::vector<png_bytep> rows(static_cast<size_t>(h));
  for (int y = 0; y < h; ++y)
    rows[size_t(y)] = pixels.data() + size_t(y) * w * channels;
  png_write_info(png, info);
  png_write_image(png, rows.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

std::vector<uint8_t> LibPng(int w, int h, int colorType, bool interlaced) {
  std::vector<uint8_t> pixels(size_t(w) * h * (colorType == PNG_COLOR_TYPE_RGBA ? 4 : 3));
  for (size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = uint8_t(i * 31 + i / 97 * 5 + (i % 7) * 40);
  return LibPngOf(w, h, colorType, interlaced, std::move(pixels));
}

} // namespace

TEST_F(BatchTest, BytesConvertAsTheDecodedPictureWhileTheRowsArrive) {
  // Every kind of picture file, converted from its bytes with the resize reading the rows as
  // the decoder delivers them, gives the engine what decoding first gives it.
  TVeDestEngineClassOf<TCaptureEngine> capture;
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> files = {
      {"rgb", LibPng(301, 157, PNG_COLOR_TYPE_RGB, false)},
      {"alpha", LibPng(120, 90, PNG_COLOR_TYPE_RGBA, false)},
      {"interlaced", LibPng(77, 61, PNG_COLOR_TYPE_RGB, true)},
      {"result's size", LibPng(64, 48, PNG_COLOR_TYPE_RGB, false)},
      {"indexed", PalettedPng()},
      {"jpeg", Jpeg()},
      {"large jpeg",
       [] {
         TVeBitmap32 b(203, 150);
         for (int y = 0; y < 150; ++y)
           for (int x = 0; x < 203; ++x)
             b.Pixel(x, y) = 0xFF000000u | uint32_t(x * 9 % 256) << 16 |
                             uint32_t(y * 5 % 256) << 8 | uint32_t((x ^ y) % 256);
         return VeWriteJpeg(b);
       }()},
  };
  for (const auto& [kind, bytes] : files) {
    const int type = DetectPictureType(bytes.data(), bytes.size());
    for (bool locked : {false, true}) {
      auto options = capture.Create()->CreateOptions();
      options->BeginUpdate();
      options->SetDimensionLock(locked);
      options->SetWidth(64);
      options->SetHeight(48);
      options->EndUpdate();
      TVePictureResult ref;
      VeDecodeSourcePicture(type, bytes.data(), bytes.size(), ref);
      TVeDestProgress progress;
      SetProcessorCount(1);
      const TVeConversionResult plain =
          VeConvertPicture(capture, *options, ref.Image, ref.UsedColors.get(),
                           ref.FilePalette.get(), nullptr, progress);
      const TVeBitmap32 want = TCaptureEngine::Input;
      const int used = TCaptureEngine::Used, file = TCaptureEngine::File;
      for (int workers : {1, 2, 3}) {
        SetProcessorCount(workers);
        TCaptureEngine::Input = TVeBitmap32();
        TVeFileConversion c = VeConvertPictureBytes(capture, *options, type, bytes.data(),
                                                    bytes.size(), nullptr, progress);
        EXPECT_FALSE(c.DecodeError) << kind;
        ASSERT_TRUE(c.Result.Bitmap) << kind;
        EXPECT_EQ(c.Result.Options->GetWidth(), plain.Options->GetWidth()) << kind;
        EXPECT_TRUE(TCaptureEngine::Input == want) << kind << " " << workers << " workers";
        EXPECT_EQ(TCaptureEngine::Used, used) << kind;
        EXPECT_EQ(TCaptureEngine::File, file) << kind;
        // Handed over, the bytes are taken and freed; the picture stays the same.
        std::vector<uint8_t> copy = bytes;
        TCaptureEngine::Input = TVeBitmap32();
        c = VeConvertPictureBytes(capture, *options, type, std::move(copy), nullptr, progress);
        EXPECT_FALSE(c.DecodeError) << kind;
        EXPECT_TRUE(copy.empty());
        EXPECT_TRUE(TCaptureEngine::Input == want) << kind << " " << workers << " workers";
      }
    }
  }
  SetProcessorCount(0);
}

TEST_F(BatchTest, BytesThatDoNotDecodeReportTheDecodersErrorAndConvertNothing) {
  // Cut before the header ends, and inside the rows: the resize waiting for rows that never
  // come must stop, and the error is the one decoding alone raises.
  TVeDestEngineClassOf<TCaptureEngine> capture;
  auto options = capture.Create()->CreateOptions();
  TVeBitmap32 big(320, 240);
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320; ++x)
      big.Pixel(x, y) = 0xFF000000u | uint32_t(x * 7 % 256) << 8 | uint32_t(y % 256);
  for (const auto& [type, whole] : {std::pair{vptPNG, LibPng(300, 200, PNG_COLOR_TYPE_RGB, false)},
                                    std::pair{vptJPEG, VeWriteJpeg(big)}})
    for (size_t keep : {size_t(20), whole.size() / 2, whole.size() - 20}) {
      const std::vector<uint8_t> cut(whole.begin(), whole.begin() + ptrdiff_t(keep));
      std::string expected;
      try {
        TVePictureResult r;
        VeDecodeSourcePicture(type, cut.data(), cut.size(), r);
      } catch (const EVeError& e) {
        expected = e.what();
      }
      ASSERT_FALSE(expected.empty()) << keep;
      for (int workers : {1, 2}) {
        SetProcessorCount(workers);
        TVeDestProgress progress;
        TCaptureEngine::Used = -2;
        TVeFileConversion c = VeConvertPictureBytes(capture, *options, type, cut.data(), cut.size(),
                                                    nullptr, progress);
        ASSERT_TRUE(c.DecodeError) << keep;
        EXPECT_FALSE(c.Result.Bitmap);
        EXPECT_EQ(TCaptureEngine::Used, -2) << "the engine ran";
        try {
          std::rethrow_exception(c.DecodeError);
        } catch (const EVeError& e) {
          EXPECT_EQ(std::string(e.what()), expected) << keep << " " << workers;
        }
      }
    }
  SetProcessorCount(0);
}

namespace {

// Keeps the rows as they arrive (the finished picture through Convert), and fails on the
// row FailAt when that is set.
struct TRowsEngine : TCaptureEngine {
  static inline std::atomic<int> FailAt{-1};
  static inline std::atomic<int> RowsSeen{0};
  static std::string ModeName() { return "Rows"; }
  static bool ConvertsArrivingRows(const TVeDestEngineOptions&) { return true; }
  static std::unique_ptr<TVeBitmap> ConvertArriving(const TVeCancelFlag*, const TVeBitmap32& src,
                                                    TVeRowFeed& rows,
                                                    std::unique_ptr<TVeStreamList>&,
                                                    TVeDestProgress&, TVeDestEngineOptions&) {
    Input = TVeBitmap32(src.Width(), src.Height());
    RowsSeen = 0;
    for (int y = 0; y < src.Height(); ++y) {
      if (y == FailAt) throw EVeError("Engine failed on a row");
      if (rows.WaitRows(y + 1) < 0) VeAbort();
      std::copy(src.Scanline(y), src.Scanline(y) + src.Width(), Input.Scanline(y));
      ++RowsSeen;
    }
    TVePalette256 pal;
    pal.AddRGB(0, 0, 0);
    return std::make_unique<TVeBitmap4>(src.Width(), &pal, src.Height());
  }
};

// A photograph-like picture: smooth gradients, hard edges and some noise.
TVeBitmap32 Scene(int w, int h) {
  TVeBitmap32 b(w, h);
  uint32_t seed = 12345;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      seed = seed * 1103515245u + 12345u;
      const int n = int(seed >> 27) - 16;
      const int r = std::clamp(x * 255 / w + n, 0, 255);
      const int g = std::clamp((x / 23 + y / 17) % 2 ? 200 + n : 40 + n, 0, 255);
      const int bl = std::clamp(y * 255 / h - n, 0, 255);
      b.Pixel(x, y) = 0xFF000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(bl);
    }
  return b;
}

std::vector<uint8_t> PngOf(const TVeBitmap32& b) {
  std::vector<uint8_t> pixels;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      const uint32_t p = b.Pixel(x, y);
      pixels.insert(pixels.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)});
    }
  return LibPngOf(b.Width(), b.Height(), PNG_COLOR_TYPE_RGB, false, std::move(pixels));
}

} // namespace

TEST(RowFeed, WakesEveryReaderForItsOwnRowsAndAllOfThemAtAFailure) {
  TVeBitmap32 picture(4, 100);
  for (bool ok : {true, false}) {
    TVeRowFeed feed;
    std::atomic<int> got10{0}, got60{0}, gotAll{0};
    std::thread a([&] { got10 = feed.WaitRows(10); });
    std::thread b([&] { got60 = feed.WaitRows(60); });
    std::thread c([&] {
      const TVeBitmap32* p = feed.WaitPicture();
      gotAll = p ? feed.WaitRows(p->Height()) : -2;
    });
    feed.Begin(&picture);
    for (int rows = 5; rows <= 50; rows += 5) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
      feed.Rows(rows);
    }
    a.join(); // ten rows are there, whatever comes later
    EXPECT_GE(got10, 10);
    feed.End(ok);
    feed.End(!ok); // the first end holds
    b.join();
    c.join();
    EXPECT_EQ(got60, ok ? 100 : -1);
    // A reader that comes after the failure does not even get the picture.
    if (ok)
      EXPECT_EQ(gotAll, 100);
    else
      EXPECT_TRUE(gotAll == -1 || gotAll == -2) << gotAll;
  }
  // A guard ends the feed as failed unless finished.
  TVeRowFeed failed, finished;
  {
    TVeRowFeedGuard g(&failed), h(&finished);
    finished.Begin(&picture);
    h.Finish();
  }
  EXPECT_EQ(failed.WaitPicture(), nullptr);
  EXPECT_EQ(failed.WaitRows(1), -1);
  EXPECT_EQ(finished.WaitRows(100), 100);
}

TEST_F(BatchTest, AnEngineStartedOnArrivingRowsGetsTheFinishedRowsAndItsErrorsCome) {
  TVeDestEngineClassOf<TRowsEngine> rows;
  const std::vector<uint8_t> png = PngOf(Scene(300, 211));
  const int type = DetectPictureType(png.data(), png.size());
  auto options = rows.Create()->CreateOptions();
  options->BeginUpdate();
  options->SetDimensionLock(true);
  options->SetWidth(120);
  options->SetHeight(100);
  options->SetPositionMode(vpmFitSourceInResult); // bands of border above and below
  options->SetBorderColor(0x123456);
  options->EndUpdate();
  TVePictureResult ref;
  VeDecodeSourcePicture(type, png.data(), png.size(), ref);
  TVeDestProgress progress;
  SetProcessorCount(1);
  TRowsEngine::FailAt = -1;
  ASSERT_TRUE(
      VeConvertPicture(rows, *options, ref.Image, nullptr, nullptr, nullptr, progress).Bitmap);
  const TVeBitmap32 want = TCaptureEngine::Input;
  EXPECT_EQ(want.Pixel(0, 0), 0xFF123456u);
  for (int workers : {1, 2, 3}) {
    SetProcessorCount(workers);
    TCaptureEngine::Input = TVeBitmap32();
    TVeFileConversion c =
        VeConvertPictureBytes(rows, *options, type, png.data(), png.size(), nullptr, progress);
    ASSERT_TRUE(c.Result.Bitmap) << workers;
    EXPECT_TRUE(TCaptureEngine::Input == want) << workers << " workers";
    if (workers == 1) continue; // one worker converts the finished picture
    // The engine's own failure half-way comes out as it is, once the decoding is over.
    TRowsEngine::FailAt = 40;
    try {
      VeConvertPictureBytes(rows, *options, type, png.data(), png.size(), nullptr, progress);
      ADD_FAILURE() << "no error";
    } catch (const EVeError& e) {
      EXPECT_EQ(std::string(e.what()), "Engine failed on a row");
    }
    TRowsEngine::FailAt = -1;
    // A set cancel flag stops the run, and nothing waits forever.
    TVeCancelFlag cancel{1};
    EXPECT_THROW(
        VeConvertPictureBytes(rows, *options, type, png.data(), png.size(), &cancel, progress),
        EAbort);
  }
  // Cut inside the rows: the decoder's error, no result, and the engine saw no row the
  // decoder did not finish.
  const std::vector<uint8_t> cut(png.begin(), png.begin() + ptrdiff_t(png.size() / 2));
  SetProcessorCount(2);
  TRowsEngine::RowsSeen = 0; // stays so when the decoding fails before the engine starts
  TVeFileConversion c =
      VeConvertPictureBytes(rows, *options, type, cut.data(), cut.size(), nullptr, progress);
  EXPECT_TRUE(c.DecodeError);
  EXPECT_FALSE(c.Result.Bitmap);
  EXPECT_LT(TRowsEngine::RowsSeen, 100);
  SetProcessorCount(0);
}

TEST_F(BatchTest, ZxCellsMadeWhileTheRowsArriveAreThoseOfTheWholePicture) {
  using TSet = std::function<void(TVeDestEngineOptions&)>;
  const std::vector<std::pair<const char*, TSet>> settings = {
      {"default", [](TVeDestEngineOptions&) {}},
      {"gray", [](TVeDestEngineOptions& o) { o.SetPaletteMode(zxModeGray); }},
      {"black and white", [](TVeDestEngineOptions& o) { o.SetPaletteMode(zxModeBlackWhite); }},
      {"dark only", [](TVeDestEngineOptions& o) { o.SetColorUsage(zxUsageDarkOnly); }},
      {"fixes",
       [](TVeDestEngineOptions& o) {
         o.SetSaturationFix(40);
         o.SetLightnessFix(-25);
       }},
      {"no limit at boundary, no serpentine",
       [](TVeDestEngineOptions& o) {
         o.SetLimitErrorAtBoundary(false);
         o.SetSerpentine(false);
       }},
      {"borders",
       [](TVeDestEngineOptions& o) {
         o.SetPositionMode(vpmFitSourceInResult);
         o.SetBorderColor(0x00D700);
       }},
  };
  // The standard screen with every setting and size; the other cell heights of the same
  // conversion with the defaults on one picture (they take long).
  const std::vector<std::pair<const char*, const char*>> modes = {
      {"ZX Spectrum", "256x192x4"},
      {"ZX Spectrum", "256x192x4 Multicolor 8x2"},
      {"ZX Spectrum", "256x384x4 Interlaced v1"},
      {"Timex", "256x192x4"}};
  for (const auto& [platform, mode] : modes) {
    const TVeDestEngineClass* zx = DestEngineList().Find(platform, mode);
    ASSERT_NE(zx, nullptr) << mode;
    const bool standard =
        std::string(platform) == "ZX Spectrum" && std::string(mode) == "256x192x4";
    // Wider than the screen, of its size (no resize), and shorter than one cell row per row.
    for (TVeSize size : {TVeSize{301, 157}, TVeSize{256, 192}, TVeSize{333, 40}}) {
      if (!standard && size.Width != 301) continue;
      const std::vector<uint8_t> png = PngOf(Scene(size.Width, size.Height));
      const int type = DetectPictureType(png.data(), png.size());
      TVePictureResult ref;
      VeDecodeSourcePicture(type, png.data(), png.size(), ref);
      for (size_t k = 0; k < settings.size() && (standard || k < 1); ++k) {
        const auto& [name, set] = settings[k];
        auto options = zx->Create()->CreateOptions();
        options->BeginUpdate();
        set(*options);
        options->EndUpdate();
        TVeDestProgress progress;
        SetProcessorCount(1);
        const TVeConversionResult plain =
            VeConvertPicture(*zx, *options, ref.Image, ref.UsedColors.get(), ref.FilePalette.get(),
                             nullptr, progress);
        ASSERT_TRUE(plain.Bitmap && plain.Files) << name;
        for (int workers : {2, 3}) {
          SetProcessorCount(workers);
          TVeFileConversion c =
              VeConvertPictureBytes(*zx, *options, type, png.data(), png.size(), nullptr, progress);
          ASSERT_TRUE(c.Result.Bitmap && c.Result.Files) << name;
          const std::string what = std::string(mode) + ", " + name + ", " +
                                   std::to_string(size.Width) + "x" + std::to_string(size.Height) +
                                   ", " + std::to_string(workers);
          EXPECT_TRUE(c.Result.Files->GetStream(0)->Bytes() == plain.Files->GetStream(0)->Bytes())
              << what;
          EXPECT_TRUE(*c.Result.Bitmap->ToBitmap32() == *plain.Bitmap->ToBitmap32()) << what;
          EXPECT_EQ(c.Result.Options->Palette().GetCount(), plain.Options->Palette().GetCount())
              << what;
        }
      }
      // A picture that stops decoding half-way leaves the engine that started on it: the
      // decoder's error, no result.
      const std::vector<uint8_t> cut(png.begin(), png.begin() + ptrdiff_t(png.size() * 2 / 3));
      auto options = zx->Create()->CreateOptions();
      TVeDestProgress progress;
      SetProcessorCount(2);
      TVeFileConversion c =
          VeConvertPictureBytes(*zx, *options, type, cut.data(), cut.size(), nullptr, progress);
      EXPECT_TRUE(c.DecodeError);
      EXPECT_FALSE(c.Result.Bitmap);
    }
  }
  SetProcessorCount(0);
}
