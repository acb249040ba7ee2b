#pragma once
// The destination controller: owns the current engine and its options, prepares the source
// region for the engine on a resize thread, runs the conversion on a work thread, and hands
// results to the views that observe it. Every change of source, engine or option bumps a
// generation; a run whose generation (or border colour) is stale is cancelled and its result
// dropped.
//
// The controller never blocks and owns no timer: the host calls Tick() every 100 ms (the
// desktop application from a timer, tests and tools in a loop, see RunUntilIdle) for the
// progress, and at once after the wake-up (SetWakeUp) says a thread has finished.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "VeBitmap32.h"
#include "VeDestEngine.h"
#include "VeProgress.h"
#include "VeSource.h"
#include "VeSourcePrepare.h"

class TVeBitmap;
class TVeBitmapList;
class TVePalette256;
class TVeStreamList;
class TVeDest;

// Every observer derives from this; the controller looks for the interfaces below.
class IVeDestObserver {
public:
  virtual ~IVeDestObserver() = default;
};

class IVeDestClient : public virtual IVeDestObserver {
public:
  // The prepared picture: the display copy when it exists and pixels are not square.
  virtual void DestSourceView(int zoom, const TVeBitmap32* image, bool busy) = 0;
  // The result preview (null when there is none yet); frames only while flicker is shown.
  virtual void DestResultView(TVeAspectPair pair, int zoom, bool busy, const TVeBitmapList* frames,
                              const TVeBitmap32* preview) = 0;
  // Once per delivered result.
  virtual void DestPalette(const TVePalette256& palette, int number, int number2) = 0;
};

class IVeDestProgressClient : public virtual IVeDestObserver {
public:
  virtual void DestProgress(uint32_t total, uint32_t done) = 0;
};

// Controls inside an option panel that want to know the controller.
class IVeWantDest : public virtual IVeDestObserver {
public:
  virtual void AttachDest(TVeDest* dest) = 0;
};

// One conversion: built on the UI thread, executed on the work thread.
struct TVeDestWorkJob {
  const TVeBitmap32* Source = nullptr;
  const TVePalette256* SourcePalette = nullptr;
  const TVePalette256* UsedColors = nullptr;
  const TVeDestEngineClass* Engine = nullptr;
  TVeDestEngineOptions* Options = nullptr;
  int BorderColor = 0;
  TVeDestProgress* Progress = nullptr;
  const TVeCancelFlag* Cancel = nullptr;
  // Outputs; whatever is not taken is freed with the job.
  std::unique_ptr<TVeBitmap> Result;
  std::unique_ptr<TVeBitmapList> Frames;
  std::unique_ptr<TVeStreamList> Files;

  TVeDestWorkJob();
  ~TVeDestWorkJob();
  // Swallows every exception: a failed run leaves the outputs empty.
  void Execute() noexcept;
};

class TVeDestWorkThread {
public:
  TVeDestWorkThread(int generation, TVeDestProgress& progress,
                    std::unique_ptr<TVeDestEngineOptions> options, const TVeDestEngineClass* engine,
                    const TVePalette256* usedColors, const TVePalette256* sourcePalette,
                    const TVeBitmap32& source, int borderColor,
                    std::function<void()> finished = nullptr);
  ~TVeDestWorkThread(); // waits for the thread
  TVeDestWorkThread(const TVeDestWorkThread&) = delete;
  TVeDestWorkThread& operator=(const TVeDestWorkThread&) = delete;

  int Generation() const { return FGeneration; }
  void Cancel() { FCancel.store(1, std::memory_order_relaxed); }
  bool Cancelled() const { return FCancel.load(std::memory_order_relaxed) != 0; }
  bool Finished() const { return FFinished.load(std::memory_order_acquire); }
  // Waits for the thread; after this the job's outputs may be taken.
  TVeDestWorkJob& Wait();
  // Valid only once finished: the engine may change its options copy while it runs.
  const TVeDestEngineOptions& Options() const { return *FOptions; }
  // The border colour of the prepared picture the run started from.
  int StartBorderColor() const { return FJob.BorderColor; }

private:
  int FGeneration;
  TVeCancelFlag FCancel{0};
  std::atomic<bool> FFinished{false};
  TVeBitmap32 FSource;
  std::unique_ptr<TVePalette256> FSourcePalette;
  std::unique_ptr<TVePalette256> FUsedColors;
  std::unique_ptr<TVeDestEngineOptions> FOptions;
  TVeDestWorkJob FJob;
  std::thread FThread;
};

// What the resize thread hands back.
struct TVeDestPrepared {
  std::unique_ptr<TVeBitmap32> Image;        // exactly the target size
  std::unique_ptr<TVeBitmap32> DisplayImage; // native aspect; only when the pair is not 1:1
  TVeRect ImageRect;
  TVeRect DisplayRect;
};

class TVeDestResizeThread {
public:
  TVeDestResizeThread(int sourceGeneration, bool displayCopy, int positionMode, TVeAspectPair pair,
                      int height, int width, const TVeBitmap32& source, int runPositionMode,
                      bool keepPixels, std::function<void()> finished = nullptr);
  ~TVeDestResizeThread(); // waits for the thread
  TVeDestResizeThread(const TVeDestResizeThread&) = delete;
  TVeDestResizeThread& operator=(const TVeDestResizeThread&) = delete;

  int SourceGeneration() const { return FSourceGeneration; }
  int PositionMode() const { return FPositionMode; }
  bool KeepPixels() const { return FKeepPixels; }
  TVeAspectPair Pair() const { return FPair; }
  bool Finished() const { return FFinished.load(std::memory_order_acquire); }
  // Waits for the thread; the outputs (empty after a failure) may then be taken.
  TVeDestPrepared& Wait();

private:
  int FSourceGeneration;
  bool FDisplayCopy;
  int FPositionMode;    // the options' mode
  int FRunPositionMode; // the one used (VeRunPositionMode)
  bool FKeepPixels;
  TVeAspectPair FPair;
  int FWidth, FHeight;
  TVeBitmap32 FSource;
  TVeDestPrepared FOut;
  std::atomic<bool> FFinished{false};
  std::thread FThread;
};

// What a controller gives the options of every new engine until the user changes them; the
// command line starts from the same, so both write the same files by default.
inline constexpr int VeDefaultPositionMode = pmFitResultInSource;
inline constexpr int VeDefaultBorderColor = 0;
void VeApplyControllerDefaults(TVeDestEngineOptions& options);

class TVeDest : public IVeOptionsHost, public IVeSourceClient {
public:
  TVeDest();
  ~TVeDest() override;
  TVeDest(const TVeDest&) = delete;
  TVeDest& operator=(const TVeDest&) = delete;

  // -- Source side. The source controller must outlive the link (or be unlinked with
  // SetSource(nullptr)); its pictures are used until it reports new ones.
  void SetSource(TVeSource* source);
  TVeSource* Source() const { return FSource; }
  void SourceImageChanged(TVeSource*, const TVeBitmap32*) override {}
  void SourceRegionChanged(TVeSource*, const TVeBitmap32* regionImage,
                           const TVePalette256* filePalette,
                           const TVePalette256* usedColors) override {
    RegionImageChanged(regionImage, filePalette, usedColors);
  }
  // The three pictures stay alive until the next call (or RegionImageChanged(nullptr, ...)).
  void RegionImageChanged(const TVeBitmap32* regionImage, const TVePalette256* filePalette,
                          const TVePalette256* usedColors);

  // -- Engine and options
  void SetEngine(const TVeDestEngineClass* engine);
  const TVeDestEngineClass* EngineClass() const { return FEngineClass; }
  TVeDestEngine* Engine() const { return FEngine.get(); }
  TVeDestEngineOptions* Options() const { return FOptions.get(); }
  // The engine's panel bound to the controller's options; option panels are linked here.
  std::unique_ptr<TVeDestEngineUI> CreateEngineUI();
  void OptionsChanged() override;
  void SetBorderColor(int rgb) override;
  int BorderColor() const { return FBorderColor; }

  void BeginUpdate();
  void EndUpdate();

  // Called on the resize or work thread as it finishes, so the host can Tick() at once
  // rather than at its next poll; it must not touch the controller itself. Threads take
  // the one set when they start.
  void SetWakeUp(std::function<void()> wake) { FWakeUp = std::move(wake); }

  // -- Observers, notified in list order.
  void AddClient(IVeDestObserver* client);
  void RemoveClient(IVeDestObserver* client);

  // -- View state
  void SetZoom(int n);
  void SetViewZoom(int n);
  int Zoom() const { return FZoom; }
  int ViewZoom() const { return FViewZoom; }
  int EngineScale() const { return FEngineScale; }
  void SetSquarePixels(bool value);
  bool SquarePixels() const { return FSquarePixels; }
  void SetShowFlicker(bool value);
  bool GetShowFlicker() const { return FShowFlicker; }
  // The result's frames: those the engine made, or an imported flickering file's own while
  // the result is exactly its picture (as "Original palette" shows it).
  bool HasFrames() const;

  // -- The run
  void Restart(bool refreshSourceView);
  // One poll: runs the preparation tick and the work tick while their timers are enabled.
  void Tick();
  void PrepareTick();
  void WorkTick();
  bool ResizeTimerEnabled() const { return FResizeTimer; }
  bool WorkTimerEnabled() const { return FWorkTimer; }
  bool Idle() const { return !FResizeTimer && !FWorkTimer; }
  bool HasResizeThread() const { return FResizeThread != nullptr; }
  bool HasWorkThread() const { return FWorkThread != nullptr; }
  // Blocks until the running threads have finished (they are not taken over).
  void WaitForThreads() const;
  // Tick until nothing is pending; false when maxTicks ran out first.
  bool RunUntilIdle(int maxTicks = 100000);

  // -- Paste into result; a null bitmap stands for data without one.
  bool CanPasteResult(const TVeBitmap32* bitmap) const { return bitmap != nullptr; }
  bool PasteResult(const TVeBitmap32* bitmap);

  // -- Results
  const TVeBitmap* ResultBitmap() const { return FResultBitmap.get(); }
  const TVeBitmap32* ResultPreview() const { return FResultPreview.get(); }
  const TVePalette256& ResultPalette() const { return *FResultPalette; }
  TVeStreamList* OutputFiles() const { return FOutputFiles.get(); }
  const TVeBitmapList* Frames() const { return FFrames.get(); }
  const TVeBitmap32* PreparedImage() const { return FPrepared.get(); }
  const TVeBitmap32* PreparedDisplayImage() const { return FPreparedDisplay.get(); }
  const TVeBitmap32* RegionImage() const { return FRegionImage; }
  int SourceGeneration() const { return FSourceGeneration; }
  int ConversionGeneration() const { return FConversionGeneration; }

private:
  std::unique_ptr<TVeBitmapList> SourceFrames() const;
  void FreePrepared();
  void ReleaseResult();
  void SendSourceView(bool busy);
  void SendResultView(bool busy);
  void SendPalette(int number, int number2);
  void SendProgress(uint32_t total, uint32_t done);
  const TVeBitmap32* SourceViewImage() const;
  TVeAspectPair ViewPair() const;
  void StartWork(const TVeBitmap32& source, std::unique_ptr<TVeDestEngineOptions> options);
  std::unique_ptr<TVeDestEngineOptions> RunOptions() const;
  static void PaintBorder(TVeBitmap32& image, const TVeRect& rect, uint32_t quad);

  int FZoom = 1;
  int FViewZoom = 1;
  int FEngineScale = 1;
  bool FSquarePixels = false;
  bool FShowFlicker = false;
  int FSourceGeneration = 0;
  const TVeBitmap32* FRegionImage = nullptr;
  const TVePalette256* FFilePalette = nullptr;
  const TVePalette256* FUsedColors = nullptr;
  std::unique_ptr<TVeBitmap32> FPrepared;
  std::unique_ptr<TVeBitmap32> FPreparedDisplay;
  int FPositionMode = VeDefaultPositionMode;
  int FBorderColor = VeDefaultBorderColor;
  TVeAspectPair FAspectPair;
  bool FPreparedKeepPixels = false;
  TVeRect FPreparedRect;
  TVeRect FDisplayRect;
  int FConversionGeneration = 0;
  std::unique_ptr<TVeBitmap32> FResultPreview;
  std::unique_ptr<TVeBitmap> FResultBitmap;
  std::unique_ptr<TVePalette256> FResultPalette;
  std::unique_ptr<TVeStreamList> FOutputFiles;
  std::unique_ptr<TVeBitmapList> FFrames;
  std::unique_ptr<TVeDestEngineOptions> FOptions;
  int FUpdateLock = 0;
  bool FDelivering = false;
  std::unique_ptr<TVeDestResizeThread> FResizeThread;
  bool FResizeTimer = false;
  std::unique_ptr<TVeDestWorkThread> FWorkThread;
  bool FWorkTimer = false;
  // A preparation that failed for the current source and settings is not retried until
  // the next change, so a picture the resize cannot handle does not loop.
  bool FPrepareFailed = false;
  TVeDestProgress FProgress;
  uint32_t FLastTotal = 0, FLastDone = 0;
  std::vector<IVeDestObserver*> FClients;
  TVeSource* FSource = nullptr;
  std::function<void()> FWakeUp;
  const TVeDestEngineClass* FEngineClass = nullptr;
  std::unique_ptr<TVeDestEngine> FEngine;
};
