#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "VeBitmap.h"
#include "VeColor.h"
#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeGenericEngine.h"
#include "VePalette.h"
#include "VeSource.h"
#include "VeThreadJob.h"

namespace {

// What a test engine saw and how it should behave; shared with its worker thread.
struct TTestState {
  std::atomic<int> Calls{0};
  std::atomic<int> Aborted{0};
  std::atomic<bool> Started{false};
  std::atomic<bool> Block{false};
  std::atomic<bool> Throw{false};
  std::mutex Lock;
  TVeBitmap32 LastSource;
  int LastDitherMethod = -1;
};

class TTestEngineClass;

class TTestOptions : public TVeDestFixedSizeEngineOptions {
public:
  TTestOptions(TVeSize size, int aspect) : FSize(size) { FAspectIndex = uint8_t(aspect); }
  TVeSize GetDefaultSize() const override { return FSize; }
  TVeSize GetMaxSize() const override {
    return {std::max(FSize.Width, 2048), std::max(FSize.Height, 2048)};
  }

private:
  TVeSize FSize;
};

class TTestEngine : public TVeDestEngine {
public:
  std::unique_ptr<TVeDestEngineUI> CreateUI(TVeDestEngineOptions& options) const override {
    return std::make_unique<TVeGenericEngineUI>(options, false);
  }
  std::unique_ptr<TVeDestEngineOptions> CreateOptions() const override;
};

// Converts every picture into one flat colour, so a shown result tells which engine made it.
class TTestEngineClass : public TVeDestEngineClass {
public:
  TTestEngineClass(std::string mode, uint32_t color, TTestState& state, int aspect = 10,
                   int scale = 1, TVeSize size = {32, 24})
      : Mode(std::move(mode)), Color(color), State(state), Aspect(aspect), Scale(scale),
        Size(size) {}
  std::string GetPlatformName() const override { return "Test"; }
  std::string GetModeName() const override { return Mode; }
  int GetDisplayScale() const override { return Scale; }

  std::unique_ptr<TVeBitmap> Convert(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                     std::unique_ptr<TVeStreamList>&, TVeDestProgress& progress,
                                     TVeDestEngineOptions& options, const TVePalette256*,
                                     const TVePalette256*) const override {
    ++State.Calls;
    {
      std::lock_guard<std::mutex> lock(State.Lock);
      State.LastSource = source;
      State.LastDitherMethod = options.DitherMethod();
    }
    progress.SetProgress(2, 1);
    State.Started = true;
    if (State.Throw) throw EVeError("boom");
    try {
      while (State.Block) {
        VeCheckCancel(cancel);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    } catch (EAbort&) {
      ++State.Aborted;
      throw;
    }
    TVePalette256 palette;
    palette.AddRGB(uint8_t(Color >> 16), uint8_t(Color >> 8), uint8_t(Color));
    auto bitmap = std::make_unique<TVeBitmap8>(source.Width(), &palette, source.Height());
    options.SetPalette(&palette);
    options.SetPaletteNumber(7);
    options.SetPaletteNumber2(-1);
    return bitmap;
  }

  std::string Mode;
  uint32_t Color;
  TTestState& State;
  int Aspect;
  int Scale;
  TVeSize Size;

protected:
  std::unique_ptr<TVeDestEngine> NewEngine() const override {
    return std::make_unique<TTestEngine>();
  }
};

std::unique_ptr<TVeDestEngineOptions> TTestEngine::CreateOptions() const {
  auto* c = static_cast<const TTestEngineClass*>(Class());
  return VeNewOptions<TTestOptions>(c->Size, c->Aspect);
}

struct TRecorder : IVeDestClient, IVeDestProgressClient {
  struct TResult {
    TVeAspectPair Pair;
    int Zoom;
    bool Busy;
    bool HasPreview;
    int Width, Height;
    uint32_t Pixel;
  };
  std::vector<TResult> Results;
  std::vector<const TVeBitmap32*> Sources;
  std::vector<int> PaletteNumbers;
  std::vector<std::pair<uint32_t, uint32_t>> Progress;
  std::function<void()> OnPalette;

  void DestSourceView(int, const TVeBitmap32* image, bool) override { Sources.push_back(image); }
  void DestResultView(TVeAspectPair pair, int zoom, bool busy, const TVeBitmapList*,
                      const TVeBitmap32* preview) override {
    TResult r{pair, zoom, busy, preview != nullptr, 0, 0, 0};
    if (preview) {
      r.Width = preview->Width();
      r.Height = preview->Height();
      if (!preview->Empty()) r.Pixel = preview->Pixel(0, 0) & 0xFFFFFF;
    }
    Results.push_back(r);
  }
  void DestPalette(const TVePalette256&, int number, int) override {
    PaletteNumbers.push_back(number);
    if (OnPalette) OnPalette();
  }
  void DestProgress(uint32_t total, uint32_t done) override { Progress.push_back({total, done}); }

  int Shown(uint32_t color) const {
    int n = 0;
    for (const TResult& r : Results)
      if (!r.Busy && r.HasPreview && r.Width > 0 && r.Pixel == color) ++n;
    return n;
  }
};

TVeBitmap32 Gradient(int w, int h) {
  TVeBitmap32 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b.Pixel(x, y) = VeRGBQuad(uint8_t(x * 255 / std::max(w - 1, 1)),
                                uint8_t(y * 255 / std::max(h - 1, 1)), uint8_t((x + y) & 255));
  return b;
}

// Polls the controller as the host's timer would, until the engine has started.
void TickUntil(TVeDest& dest, const std::atomic<bool>& flag) {
  for (int i = 0; i < 20000 && !flag; ++i) {
    dest.Tick();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_TRUE(flag.load());
}

class VeDestTest : public ::testing::Test {
protected:
  TTestState StateA, StateB;
  TTestEngineClass EngineA{"A", 0xFF0000, StateA};
  TTestEngineClass EngineB{"B", 0x0000FF, StateB};
  TVeBitmap32 Region = Gradient(48, 48);
  TRecorder Views;
  TVeDest Dest;
};

} // namespace

TEST_F(VeDestTest, NoRegionImageStartsNoThread) {
  Dest.AddClient(&Views);
  ASSERT_EQ(Views.Results.size(), 1u); // attached views are told at once
  EXPECT_FALSE(Views.Results[0].HasPreview);
  Dest.SetEngine(&EngineA);
  EXPECT_FALSE(Dest.HasResizeThread());
  EXPECT_FALSE(Dest.HasWorkThread());
  EXPECT_TRUE(Dest.Idle());
  EXPECT_FALSE(Views.Results.back().Busy);
  EXPECT_FALSE(Views.Sources.empty());
  EXPECT_EQ(Views.Sources.back(), nullptr);
  Dest.Tick();
  EXPECT_EQ(StateA.Calls, 0);
}

TEST_F(VeDestTest, RunDeliversOnceAndStaysIdle) {
  Dest.AddClient(&Views);
  Dest.SetEngine(&EngineA);
  Dest.RegionImageChanged(&Region, nullptr, nullptr);
  EXPECT_TRUE(Views.Results.back().Busy);
  ASSERT_TRUE(Dest.RunUntilIdle());
  ASSERT_NE(Dest.ResultPreview(), nullptr);
  EXPECT_EQ(Dest.ResultPreview()->Width(), 32);
  EXPECT_EQ(Dest.ResultPreview()->Height(), 24);
  EXPECT_EQ(Views.Shown(0xFF0000), 1);
  EXPECT_EQ(Views.PaletteNumbers, std::vector<int>{7});
  EXPECT_EQ(Dest.ResultPalette().GetCount(), 1);
  for (int i = 0; i < 5; ++i)
    Dest.Tick();
  EXPECT_EQ(StateA.Calls, 1);

  // A client that restarts while the palette is delivered cannot discard the result.
  Views.OnPalette = [this] { Dest.Restart(false); };
  Dest.OptionsChanged();
  ASSERT_TRUE(Dest.RunUntilIdle());
  EXPECT_NE(Dest.ResultPreview(), nullptr);
  EXPECT_EQ(StateA.Calls, 2);
}

TEST_F(VeDestTest, ChangingTheModeTwiceShowsOnlyTheLast) {
  Dest.AddClient(&Views);
  Dest.RegionImageChanged(&Region, nullptr, nullptr);
  Dest.SetEngine(&EngineA);
  Dest.SetEngine(&EngineB); // before the first preparation finished
  ASSERT_TRUE(Dest.RunUntilIdle());
  EXPECT_EQ(StateA.Calls, 0);
  EXPECT_EQ(StateB.Calls, 1);
  EXPECT_EQ(Views.Shown(0xFF0000), 0);
  EXPECT_EQ(Views.Shown(0x0000FF), 1);

  // Now with the first engine's run already going: it is cancelled and never shown.
  StateA.Block = true;
  Dest.SetEngine(&EngineA);
  TickUntil(Dest, StateA.Started);
  Dest.SetEngine(&EngineB);
  EXPECT_TRUE(Dest.HasWorkThread());
  ASSERT_TRUE(Dest.RunUntilIdle());
  EXPECT_EQ(StateA.Calls, 1);
  EXPECT_EQ(StateA.Aborted, 1);
  EXPECT_EQ(StateB.Calls, 2);
  EXPECT_EQ(Views.Shown(0xFF0000), 0);
  EXPECT_EQ(Views.Shown(0x0000FF), 2);
}

TEST_F(VeDestTest, BorderColourChangeDiscardsTheRunningConversion) {
  Dest.AddClient(&Views);
  Dest.SetEngine(&EngineA);
  Dest.Options()->SetPositionMode(pmFitSourceInResult); // 48 x 48 into 32 x 24: side borders
  Dest.OptionsChanged();
  StateA.Block = true;
  Dest.RegionImageChanged(&Region, nullptr, nullptr);
  TickUntil(Dest, StateA.Started);
  Dest.Tick();
  EXPECT_EQ(Views.Progress, (std::vector<std::pair<uint32_t, uint32_t>>{{2, 1}}));
  Dest.Tick(); // unchanged progress is not sent again
  EXPECT_EQ(Views.Progress.size(), 1u);

  // Only the controller's border changes: the prepared picture is repainted at once...
  Dest.SetBorderColor(0x00FF00);
  ASSERT_NE(Dest.PreparedImage(), nullptr);
  EXPECT_EQ(Dest.PreparedImage()->Pixel(0, 0), 0xFF00FF00u);
  EXPECT_NE(Dest.PreparedImage()->Pixel(16, 12), 0xFF00FF00u);
  // ...and the run that started from the old border is dropped when it ends.
  StateA.Block = false;
  ASSERT_TRUE(Dest.RunUntilIdle());
  EXPECT_EQ(StateA.Calls, 2);
  EXPECT_EQ(Views.Shown(0xFF0000), 1);
  std::lock_guard<std::mutex> lock(StateA.Lock);
  EXPECT_EQ(StateA.LastSource.Pixel(0, 0), 0xFF00FF00u);
}

TEST_F(VeDestTest, ZoomAndSquarePixels) {
  Dest.SetViewZoom(0);
  EXPECT_EQ(Dest.ViewZoom(), 1);
  EXPECT_EQ(Dest.Zoom(), 1);
  Dest.SetZoom(-3);
  EXPECT_EQ(Dest.Zoom(), 1);

  TTestState state;
  TTestEngineClass wide("Wide", 0x123456, state, 1 /* "1:2" */, 2);
  Dest.AddClient(&Views);
  Dest.SetEngine(&wide);
  Dest.RegionImageChanged(&Region, nullptr, nullptr);
  ASSERT_TRUE(Dest.RunUntilIdle());
  EXPECT_EQ(Dest.Zoom(), 2); // the engine's scale arrives with the prepared picture
  Dest.SetViewZoom(3);
  EXPECT_EQ(Dest.Zoom(), 6);
  EXPECT_EQ(Views.Results.back().Zoom, 6);
  EXPECT_EQ(Views.Results.back().Pair, (TVeAspectPair{2, 1}));
  ASSERT_NE(Dest.PreparedDisplayImage(), nullptr);
  EXPECT_EQ(Views.Sources.back(), Dest.PreparedDisplayImage());

  Dest.SetSquarePixels(true);
  EXPECT_EQ(Views.Results.back().Pair, (TVeAspectPair{1, 1}));
  EXPECT_EQ(Views.Sources.back(), Dest.PreparedImage());

  TRecorder late;
  Dest.AddClient(&late);
  ASSERT_EQ(late.Results.size(), 1u);
  EXPECT_EQ(late.Results[0].Pair, (TVeAspectPair{1, 1}));
  EXPECT_EQ(late.Results[0].Width, 32);
  Dest.RemoveClient(&late);
}

TEST_F(VeDestTest, PasteIntoResult) {
  Dest.SetEngine(&EngineA);
  Dest.RegionImageChanged(&Region, nullptr, nullptr);
  ASSERT_TRUE(Dest.RunUntilIdle());
  EXPECT_FALSE(Dest.PasteResult(nullptr));
  TVeBitmap32 odd(33, 24);
  EXPECT_FALSE(Dest.PasteResult(&odd));
  EXPECT_EQ(StateA.Calls, 1);

  // Twice the prepared size: every 2 x 2 block becomes its mean in linear light.
  TVeBitmap32 big(64, 48);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x)
      big.Pixel(x, y) = ((x + y) & 1) ? VeRGBQuad(255, 255, 255) : VeRGBQuad(0, 0, 0);
  ASSERT_TRUE(Dest.PasteResult(&big));
  EXPECT_FALSE(Dest.PasteResult(&big)); // a run is going
  ASSERT_TRUE(Dest.RunUntilIdle());
  EXPECT_EQ(StateA.Calls, 2);
  {
    std::lock_guard<std::mutex> lock(StateA.Lock);
    ASSERT_EQ(StateA.LastSource.Width(), 32);
    const uint8_t mid = LinearToByte(0.5);
    EXPECT_EQ(StateA.LastSource.Pixel(5, 7), VeRGBQuad(mid, mid, mid));
    EXPECT_EQ(StateA.LastDitherMethod, dmNone);
  }
  ASSERT_NE(Dest.ResultPreview(), nullptr);

  // The result's own size is taken as it is.
  TVeBitmap32 same(32, 24, VeRGBQuad(1, 2, 3));
  ASSERT_TRUE(Dest.PasteResult(&same));
  ASSERT_TRUE(Dest.RunUntilIdle());
  std::lock_guard<std::mutex> lock(StateA.Lock);
  EXPECT_EQ(StateA.LastSource.Pixel(31, 23), VeRGBQuad(1, 2, 3));
}

TEST_F(VeDestTest, FailingEngineShowsEmptyResultAndDoesNotLoop) {
  Dest.AddClient(&Views);
  StateA.Throw = true;
  Dest.SetEngine(&EngineA);
  Dest.RegionImageChanged(&Region, nullptr, nullptr);
  ASSERT_TRUE(Dest.RunUntilIdle());
  ASSERT_NE(Dest.ResultPreview(), nullptr);
  EXPECT_TRUE(Dest.ResultPreview()->Empty());
  EXPECT_EQ(Dest.OutputFiles(), nullptr);
  EXPECT_FALSE(Dest.HasFrames());
  for (int i = 0; i < 5; ++i)
    Dest.Tick();
  EXPECT_EQ(StateA.Calls, 1);
  EXPECT_FALSE(Dest.HasWorkThread());
  EXPECT_FALSE(Views.Results.back().Busy);

  StateA.Throw = false;
  Dest.OptionsChanged(); // the next change runs again
  ASSERT_TRUE(Dest.RunUntilIdle());
  EXPECT_EQ(StateA.Calls, 2);
  EXPECT_EQ(Views.Shown(0xFF0000), 1);
}

TEST_F(VeDestTest, UpdateLockDefersThePreparation) {
  Dest.SetEngine(&EngineA);
  Dest.BeginUpdate();
  Dest.RegionImageChanged(&Region, nullptr, nullptr);
  EXPECT_FALSE(Dest.HasResizeThread());
  Dest.EndUpdate();
  EXPECT_TRUE(Dest.HasResizeThread() || Dest.HasWorkThread());
  ASSERT_TRUE(Dest.RunUntilIdle());
  EXPECT_EQ(StateA.Calls, 1);
}

TEST_F(VeDestTest, OptionPanelChangesRestartTheRun) {
  Dest.SetEngine(&EngineA);
  Dest.RegionImageChanged(&Region, nullptr, nullptr);
  ASSERT_TRUE(Dest.RunUntilIdle());
  std::unique_ptr<TVeDestEngineUI> ui = Dest.CreateEngineUI();
  ASSERT_NE(ui, nullptr);
  ui->SelectValue(ciDitherMethod, dmFloydSteinberg); // unchanged: nothing to do
  EXPECT_TRUE(Dest.Idle());
  ui->SelectValue(ciDitherMethod, dmAtkinson);
  EXPECT_FALSE(Dest.Idle());
  ASSERT_TRUE(Dest.RunUntilIdle());
  EXPECT_EQ(StateA.Calls, 2);
  std::lock_guard<std::mutex> lock(StateA.Lock);
  EXPECT_EQ(StateA.LastDitherMethod, dmAtkinson);
}

// The host learns of each finished thread without polling, and an engine option keeps the
// prepared picture: the run after it starts on the work thread at once.
TEST_F(VeDestTest, WakeUpTellsOfEachFinishedThread) {
  std::atomic<int> wakes{0};
  Dest.SetWakeUp([&wakes] { ++wakes; });
  Dest.AddClient(&Views);
  Dest.SetEngine(&EngineA);
  auto tickAfterWake = [&](int n) {
    for (int i = 0; i < 20000 && wakes < n; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(wakes, n);
    Dest.Tick();
  };
  // The engine waits until the test has seen its thread: a run that ends within the tick
  // that started it is taken over at once, and no thread would be left to see.
  StateA.Block = true;
  Dest.RegionImageChanged(&Region, nullptr, nullptr);
  ASSERT_TRUE(Dest.HasResizeThread());
  tickAfterWake(1); // prepared: the work thread starts
  ASSERT_TRUE(Dest.HasWorkThread());
  StateA.Block = false;
  tickAfterWake(2);
  EXPECT_TRUE(Dest.Idle());
  EXPECT_EQ(Views.Shown(0xFF0000), 1);

  StateA.Block = true;
  std::unique_ptr<TVeDestEngineUI> ui = Dest.CreateEngineUI();
  ui->SelectValue(ciDitherMethod, dmAtkinson);
  EXPECT_FALSE(Dest.HasResizeThread());
  ASSERT_TRUE(Dest.HasWorkThread());
  StateA.Block = false;
  tickAfterWake(3);
  EXPECT_TRUE(Dest.Idle());
  EXPECT_EQ(Views.Shown(0xFF0000), 2);
  EXPECT_EQ(StateA.Calls, 2);
}

TEST_F(VeDestTest, DestroyingWhileConvertingCancelsAndWaits) {
  StateA.Block = true;
  {
    TVeDest dest;
    dest.SetEngine(&EngineA);
    dest.RegionImageChanged(&Region, nullptr, nullptr);
    TickUntil(dest, StateA.Started);
    dest.Tick();
  }
  EXPECT_EQ(StateA.Aborted, 1);
}

TEST_F(VeDestTest, FailedPreparationIsNotRetriedUntilTheNextChange) {
  // A target too large for any picture: the preparation fails every time.
  TTestState state;
  TTestEngineClass huge("Huge", 0, state, 10, 1, {20000, 20000});
  Dest.AddClient(&Views);
  Dest.SetEngine(&huge);
  Dest.RegionImageChanged(&Region, nullptr, nullptr);
  ASSERT_TRUE(Dest.RunUntilIdle(1000));
  EXPECT_EQ(Dest.PreparedImage(), nullptr);
  EXPECT_FALSE(Views.Results.back().Busy);
  for (int i = 0; i < 5; ++i)
    Dest.Tick();
  EXPECT_FALSE(Dest.HasResizeThread());
  EXPECT_EQ(state.Calls, 0);

  Dest.SetEngine(&EngineA); // a change tries again
  ASSERT_TRUE(Dest.RunUntilIdle());
  EXPECT_EQ(StateA.Calls, 1);
}

TEST_F(VeDestTest, OversizedRegionKeepsItsProportions) {
  TVeGenericEngineClass common("Common", "Palette", 1);
  TVeBitmap32 wide(2100, 30, VeRGBQuad(10, 20, 30));
  Dest.RegionImageChanged(&wide, nullptr, nullptr);
  Dest.SetEngine(&common);
  EXPECT_EQ(Dest.Options()->Width(), 2048);
  EXPECT_EQ(Dest.Options()->Height(), 29);
  Dest.SetEngine(nullptr);
  EXPECT_TRUE(Dest.RunUntilIdle());
}

TEST_F(VeDestTest, FollowsTheSourceController) {
  TVeSource source;
  source.OpenFile(std::string(VELMORA_SAMPLES_DIR) + "/coffee.png");
  Dest.AddClient(&Views);
  Dest.SetEngine(&EngineA);
  Dest.SetSource(&source);
  EXPECT_EQ(Dest.RegionImage(), source.RegionImage());
  ASSERT_TRUE(Dest.RunUntilIdle());
  EXPECT_EQ(Views.Shown(0xFF0000), 1);

  std::unique_ptr<TVeDestEngineUI> ui = Dest.CreateEngineUI();
  ASSERT_NE(ui, nullptr);
  source.SetRegion({0, 0, 300, 200});
  EXPECT_EQ(Dest.RegionImage()->Width(), 300);
  ASSERT_TRUE(Dest.RunUntilIdle());
  EXPECT_EQ(StateA.Calls, 2);

  Dest.SetSource(nullptr);
  EXPECT_EQ(Dest.RegionImage(), nullptr);
  EXPECT_EQ(Dest.ResultPreview(), nullptr);
  EXPECT_FALSE(Views.Results.back().HasPreview);
  EXPECT_TRUE(Dest.Idle());
}

TEST(VeDestCatalogue, EveryModeConvertsToItsNativeSize) {
  const TVeDestEngineList& list = DestEngineList();
  TVeBitmap32 picture = Gradient(96, 64);
  TVeDest dest;
  dest.RegionImageChanged(&picture, nullptr, nullptr);
  int modes = 0;
  for (int p = 0; p < list.Count(); ++p) {
    const TVeDestSubTypes& sub = list.GetSubTypes(p);
    for (int m = 0; m < sub.Count(); ++m, ++modes) {
      SCOPED_TRACE(list.Strings(p) + " / " + sub.Strings(m));
      dest.SetEngine(sub.GetEngineClass(m));
      ASSERT_TRUE(dest.RunUntilIdle());
      const TVeBitmap32* preview = dest.ResultPreview();
      ASSERT_NE(preview, nullptr);
      ASSERT_FALSE(preview->Empty());
      // Interlaced v2 shows its two fields one above the other, every pixel doubled across.
      const int scale =
          list.Strings(p) == "ZX Spectrum" && sub.Strings(m) == "256x384x4 Interlaced v2" ? 2 : 1;
      EXPECT_EQ(preview->Width(), scale * dest.Options()->Width());
      EXPECT_EQ(preview->Height(), scale * dest.Options()->Height());
      if (list.Strings(p) == "Common") {
        EXPECT_EQ(preview->Width(), 96);
        EXPECT_EQ(preview->Height(), 64);
      }
      // A mode that writes none of its machine's files must say it is only a preview.
      if (list.Strings(p) != "Common" && !dest.OutputFiles()) {
        EXPECT_TRUE(sub.GetEngineClass(m)->PreviewOnly());
      }
    }
  }
  EXPECT_EQ(modes, 145);
}
