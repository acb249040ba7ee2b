#include "VeDest.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "VeBitmap.h"
#include "VeColor.h"
#include "VePalette.h"
#include "VePaletteList.h"
#include "VeStream.h"

// ---------------------------------------------------------------------------------------------
// Work job and thread

TVeDestWorkJob::TVeDestWorkJob() = default;
TVeDestWorkJob::~TVeDestWorkJob() = default;

void TVeDestWorkJob::Execute() noexcept {
  try {
    std::unique_ptr<TVeBitmap> bitmap =
        Engine->Convert(Cancel, *Source, Files, *Progress, *Options, UsedColors, SourcePalette);
    if (bitmap) {
      Frames = bitmap->TakeFrames();
      Result = std::move(bitmap);
    }
  } catch (...) {
    // A failed or cancelled run yields nothing.
    Result.reset();
    Frames.reset();
    Files.reset();
  }
}

static std::unique_ptr<TVePalette256> CopyPalette(const TVePalette256* p) {
  if (!p || p->GetCount() < 1) return nullptr;
  auto copy = std::make_unique<TVePalette256>();
  copy->Assign(p);
  return copy;
}

TVeDestWorkThread::TVeDestWorkThread(int generation, TVeDestProgress& progress,
                                     std::unique_ptr<TVeDestEngineOptions> options,
                                     const TVeDestEngineClass* engine,
                                     const TVePalette256* usedColors,
                                     const TVePalette256* sourcePalette, const TVeBitmap32& source,
                                     int borderColor, std::function<void()> finished)
    : FGeneration(generation), FSource(source), FSourcePalette(CopyPalette(sourcePalette)),
      FUsedColors(CopyPalette(usedColors)), FOptions(std::move(options)) {
  FJob.Source = &FSource;
  FJob.SourcePalette = FSourcePalette.get();
  FJob.UsedColors = FUsedColors.get();
  FJob.Engine = engine;
  FJob.Options = FOptions.get();
  FJob.BorderColor = borderColor;
  FJob.Progress = &progress;
  FJob.Cancel = &FCancel;
  FThread = std::thread([this, finished = std::move(finished)] {
    FJob.Execute();
    FFinished.store(true, std::memory_order_release);
    if (finished) finished();
  });
}

TVeDestWorkThread::~TVeDestWorkThread() {
  if (FThread.joinable()) FThread.join();
}

TVeDestWorkJob& TVeDestWorkThread::Wait() {
  if (FThread.joinable()) FThread.join();
  return FJob;
}

// ---------------------------------------------------------------------------------------------
// Resize thread

TVeDestResizeThread::TVeDestResizeThread(int sourceGeneration, bool displayCopy, int positionMode,
                                         TVeAspectPair pair, int height, int width,
                                         const TVeBitmap32& source, int runPositionMode,
                                         bool keepPixels, std::function<void()> finished)
    : FSourceGeneration(sourceGeneration), FDisplayCopy(displayCopy), FPositionMode(positionMode),
      FRunPositionMode(runPositionMode), FKeepPixels(keepPixels), FPair(pair), FWidth(width),
      FHeight(height), FSource(source) {
  FThread = std::thread([this, finished = std::move(finished)] {
    try {
      TVeResizeResult r = VeResizeSource(FSource, FWidth, FHeight, FPair.X, FPair.Y,
                                         FRunPositionMode, FDisplayCopy);
      FOut.Image = std::make_unique<TVeBitmap32>(std::move(r.Picture));
      FOut.ImageRect = r.Rect;
      if (r.HasNative) {
        FOut.DisplayImage = std::make_unique<TVeBitmap32>(std::move(r.NativePicture));
        FOut.DisplayRect = r.NativeRect;
      }
    } catch (...) {
      // A failed preparation leaves no prepared image.
      FOut = TVeDestPrepared();
    }
    FFinished.store(true, std::memory_order_release);
    if (finished) finished();
  });
}

TVeDestResizeThread::~TVeDestResizeThread() {
  if (FThread.joinable()) FThread.join();
}

TVeDestPrepared& TVeDestResizeThread::Wait() {
  if (FThread.joinable()) FThread.join();
  return FOut;
}

// ---------------------------------------------------------------------------------------------
// Controller

void VeApplyControllerDefaults(TVeDestEngineOptions& options) {
  options.BeginUpdate();
  options.SetPositionMode(VeDefaultPositionMode);
  options.SetBorderColor(VeDefaultBorderColor);
  options.EndUpdate();
}

TVeDest::TVeDest() : FResultPalette(std::make_unique<TVePalette256>()) {}

TVeDest::~TVeDest() {
  if (FSource) FSource->RemoveClient(this);
  FSource = nullptr;
  FRegionImage = nullptr;
  FEngine.reset();
  FreePrepared();
  ReleaseResult();
  FResizeThread.reset();
  if (FWorkThread) FWorkThread->Cancel();
  FWorkThread.reset();
  FOptions.reset();
}

void TVeDest::FreePrepared() {
  FPrepared.reset();
  FPreparedDisplay.reset();
}

void TVeDest::ReleaseResult() {
  FResultPreview.reset();
  FResultBitmap.reset();
  FOutputFiles.reset();
  FFrames.reset();
}

void TVeDest::SetSource(TVeSource* source) {
  if (source == FSource) return;
  if (FSource) FSource->RemoveClient(this);
  FSource = nullptr;
  FRegionImage = nullptr;
  FFilePalette = nullptr;
  FUsedColors = nullptr;
  FreePrepared();
  Restart(true);
  FSource = source;
  if (FSource) FSource->AddClient(this); // delivers the current region picture at once
}

void TVeDest::RegionImageChanged(const TVeBitmap32* regionImage, const TVePalette256* filePalette,
                                 const TVePalette256* usedColors) {
  ++FSourceGeneration;
  FRegionImage = regionImage;
  FFilePalette = filePalette;
  FUsedColors = usedColors;
  FreePrepared();
  Restart(true);
}

void TVeDest::SetEngine(const TVeDestEngineClass* engine) {
  FEngine.reset();
  FOptions.reset();
  FEngineClass = engine;
  if (engine) {
    FEngine = engine->Create();
    FOptions = FEngine->CreateOptions();
    FOptions->BeginUpdate();
    FOptions->SetPositionMode(FPositionMode);
    FOptions->SetBorderColor(FBorderColor);
    if (FRegionImage) {
      // The region's own size; one beyond the mode's maximum is fitted inside it with its
      // proportions kept, rather than cut to a distorted size.
      TVeSize size{FRegionImage->Width(), FRegionImage->Height()};
      TVeSize mx = FOptions->GetMaxSize();
      if (size.Width > mx.Width || size.Height > mx.Height) {
        auto square = VeNewOptions<TVeDestEngineOptions>();
        size = VeDimensionFromSource(*square, size.Width, size.Height);
      }
      FOptions->SetWidth(size.Width);
      FOptions->SetHeight(size.Height);
    }
    FOptions->EndUpdate();
    FEngineScale = std::max(1, engine->GetDisplayScale());
  } else {
    FEngineScale = 1;
  }
  Restart(true);
}

std::unique_ptr<TVeDestEngineUI> TVeDest::CreateEngineUI() {
  if (!FEngine || !FOptions) return nullptr;
  std::unique_ptr<TVeDestEngineUI> ui = FEngine->CreateUI(*FOptions);
  if (auto* ex = dynamic_cast<TVeDestEngineUIEx*>(ui.get())) {
    ex->SetDest(this);
    const TVeBitmap32* picture = FSource && FSource->Image() ? FSource->Image() : FRegionImage;
    if (picture) ex->SetSourcePictureSize(picture->Width(), picture->Height());
    ex->RefreshPaletteControls();
    ex->Refresh();
  }
  return ui;
}

void TVeDest::OptionsChanged() {
  if (!FOptions) return;
  if (FPositionMode != FOptions->PositionMode() || !(FAspectPair == FOptions->GetAspectPair()) ||
      FPreparedKeepPixels != FOptions->KeepPixels())
    FreePrepared();
  Restart(false);
}

void TVeDest::PaintBorder(TVeBitmap32& image, const TVeRect& r, uint32_t quad) {
  for (int y = 0; y < image.Height(); ++y) {
    uint32_t* row = image.Scanline(y);
    const bool inside = y >= r.Top && y < r.Bottom;
    for (int x = 0; x < image.Width(); ++x)
      if (!inside || x < r.Left || x >= r.Right) row[x] = quad;
  }
}

void TVeDest::SetBorderColor(int rgb) {
  FBorderColor = rgb & 0xFFFFFF;
  if (!FPrepared) return;
  const uint32_t quad = 0xFF000000u | uint32_t(FBorderColor);
  PaintBorder(*FPrepared, FPreparedRect, quad);
  if (FPreparedDisplay) PaintBorder(*FPreparedDisplay, FDisplayRect, quad);
  SendSourceView(false);
}

void TVeDest::BeginUpdate() {
  ++FUpdateLock;
}

void TVeDest::EndUpdate() {
  if (FUpdateLock > 0) --FUpdateLock;
  Restart(false);
}

void TVeDest::AddClient(IVeDestObserver* client) {
  if (!client || std::find(FClients.begin(), FClients.end(), client) != FClients.end()) return;
  FClients.push_back(client);
  if (auto* c = dynamic_cast<IVeDestClient*>(client)) {
    if (!FOptions || FSquarePixels)
      c->DestResultView({1, 1}, FZoom, false, nullptr, FPrepared.get());
    else
      c->DestResultView(FOptions->GetAspectPair(), FZoom, false, nullptr, FPreparedDisplay.get());
  }
}

void TVeDest::RemoveClient(IVeDestObserver* client) {
  FClients.erase(std::remove(FClients.begin(), FClients.end(), client), FClients.end());
}

const TVeBitmap32* TVeDest::SourceViewImage() const {
  if (FPreparedDisplay && !FSquarePixels) return FPreparedDisplay.get();
  return FPrepared.get();
}

TVeAspectPair TVeDest::ViewPair() const {
  if (FSquarePixels || !FOptions) return {1, 1};
  return FOptions->GetAspectPair();
}

// Clients may remove themselves while being told, so each round works on a copy of the list.
void TVeDest::SendSourceView(bool busy) {
  const std::vector<IVeDestObserver*> clients = FClients;
  for (IVeDestObserver* o : clients)
    if (auto* c = dynamic_cast<IVeDestClient*>(o))
      c->DestSourceView(FZoom, SourceViewImage(), busy);
}

void TVeDest::SendResultView(bool busy) {
  const std::vector<IVeDestObserver*> clients = FClients;
  const TVeBitmapList* frames = FShowFlicker ? FFrames.get() : nullptr;
  for (IVeDestObserver* o : clients)
    if (auto* c = dynamic_cast<IVeDestClient*>(o))
      c->DestResultView(ViewPair(), FZoom, busy, frames, FResultPreview.get());
}

void TVeDest::SendPalette(int number, int number2) {
  const std::vector<IVeDestObserver*> clients = FClients;
  for (IVeDestObserver* o : clients)
    if (auto* c = dynamic_cast<IVeDestClient*>(o)) c->DestPalette(*FResultPalette, number, number2);
}

void TVeDest::SendProgress(uint32_t total, uint32_t done) {
  const std::vector<IVeDestObserver*> clients = FClients;
  for (IVeDestObserver* o : clients)
    if (auto* c = dynamic_cast<IVeDestProgressClient*>(o)) c->DestProgress(total, done);
}

void TVeDest::SetZoom(int n) {
  if (n <= 0) n = 1;
  if (n == FZoom) return;
  FZoom = n;
  if (FPrepared) SendSourceView(false);
  if (FResultPreview) SendResultView(false);
}

void TVeDest::SetViewZoom(int n) {
  if (n <= 0) n = 1;
  FViewZoom = n;
  SetZoom(FViewZoom * FEngineScale);
}

void TVeDest::SetSquarePixels(bool value) {
  if (value == FSquarePixels) return;
  FSquarePixels = value;
  if (FPrepared) SendSourceView(false);
  if (FResultPreview) SendResultView(false);
}

void TVeDest::SetShowFlicker(bool value) {
  if (value == FShowFlicker) return;
  FShowFlicker = value;
  if (FPrepared) SendSourceView(false);
  if (FResultPreview) SendResultView(false);
}

std::unique_ptr<TVeBitmapList> TVeDest::SourceFrames() const {
  // An imported flickering file's own frames, while the result shows exactly its picture.
  const TVeBitmapList* frames = FSource ? FSource->Frames() : nullptr;
  const TVeBitmap32* picture = FSource ? FSource->Image() : nullptr;
  if (!frames || !picture || !FResultPreview) return nullptr;
  if (FResultPreview->Width() != picture->Width() || FResultPreview->Height() != picture->Height())
    return nullptr;
  for (size_t i = 0; i < picture->PixelCount(); ++i)
    if ((FResultPreview->Data()[i] ^ picture->Data()[i]) & 0xFFFFFFu) return nullptr;
  auto copy = std::make_unique<TVeBitmapList>();
  for (int i = 0; i < frames->Count(); ++i)
    copy->Add(frames->GetBitmap(i)->Scale(1, 1));
  return copy;
}

bool TVeDest::HasFrames() const {
  return FFrames && FFrames->Count() > 0;
}

void TVeDest::Restart(bool refreshSourceView) {
  if (FDelivering) return;
  ++FConversionGeneration;
  ReleaseResult();
  FResultPalette->Clear();
  FPrepareFailed = false;
  if (!FRegionImage) {
    SendSourceView(false);
    SendResultView(false);
    return;
  }
  if (refreshSourceView) SendSourceView(true);
  SendResultView(true);
  if (FUpdateLock == 0) PrepareTick();
}

void TVeDest::Tick() {
  if (FResizeTimer) PrepareTick();
  if (FWorkTimer) WorkTick();
}

void TVeDest::PrepareTick() {
  if (FResizeThread) {
    if (!FResizeThread->Finished()) return;
    TVeDestPrepared& out = FResizeThread->Wait();
    if (FRegionImage && FResizeThread->SourceGeneration() == FSourceGeneration) {
      if (out.Image) {
        FPrepared = std::move(out.Image);
        FPreparedDisplay = std::move(out.DisplayImage);
        FPositionMode = FResizeThread->PositionMode();
        FAspectPair = FResizeThread->Pair();
        FPreparedKeepPixels = FResizeThread->KeepPixels();
        FPreparedRect = out.ImageRect;
        FDisplayRect = out.DisplayRect;
        FZoom = FViewZoom * FEngineScale;
        SetBorderColor(FOptions ? FOptions->BorderColor() : FBorderColor);
      } else {
        // Nothing to convert: clear the waiting views instead of leaving them busy.
        FPrepareFailed = true;
        SendSourceView(false);
        SendResultView(false);
      }
    }
    FResizeThread.reset();
    FResizeTimer = false;
  }
  if (!FRegionImage) {
    FreePrepared();
    return;
  }
  if (!FOptions) return; // no engine: nothing to prepare for
  if (FPrepared &&
      (FOptions->Width() != FPrepared->Width() || FOptions->Height() != FPrepared->Height() ||
       !(FOptions->GetAspectPair() == FAspectPair)))
    FreePrepared();
  if (FPrepared) {
    FResizeTimer = false;
    WorkTick();
    return;
  }
  if (FPrepareFailed) return;
  TVePaletteList::Shared().RemoveTemporary();
  if (FOptions->Palette().Temporary) FOptions->Palette().Clear();
  FResizeThread = std::make_unique<TVeDestResizeThread>(
      FSourceGeneration, true, FOptions->PositionMode(), FOptions->GetAspectPair(),
      FOptions->Height(), FOptions->Width(), *FRegionImage,
      VeRunPositionMode(*FOptions, FRegionImage->Width(), FRegionImage->Height()),
      FOptions->KeepPixels(), FWakeUp);
  FResizeTimer = true;
}

std::unique_ptr<TVeDestEngineOptions> TVeDest::RunOptions() const {
  std::unique_ptr<TVeDestEngineOptions> copy = FEngine->CreateOptions();
  copy->Assign(*FOptions);
  VeApplyKeepPixels(*copy);
  return copy;
}

// The run remembers the border colour its picture was painted with rather than the options'
// one, so a border set on the controller alone cannot make every run stale.
void TVeDest::StartWork(const TVeBitmap32& source, std::unique_ptr<TVeDestEngineOptions> options) {
  FLastTotal = 0;
  FLastDone = 0;
  FProgress.SetProgress(0, 0);
  FWorkThread = std::make_unique<TVeDestWorkThread>(FConversionGeneration, FProgress,
                                                    std::move(options), FEngineClass, FUsedColors,
                                                    FFilePalette, source, FBorderColor, FWakeUp);
  FWorkTimer = true;
}

void TVeDest::WorkTick() {
  if (FWorkThread) {
    TVeDestWorkThread& t = *FWorkThread;
    if (t.Generation() != FConversionGeneration) t.Cancel();
    const bool usable = FRegionImage && FPrepared && t.Generation() == FConversionGeneration &&
                        t.StartBorderColor() == FBorderColor;
    if (!t.Finished()) {
      if (usable) {
        uint32_t total, done;
        FProgress.GetProgress(total, done);
        if (total != FLastTotal || done != FLastDone) {
          FLastTotal = total;
          FLastDone = done;
          SendProgress(total, done);
        }
      }
      return;
    }
    TVeDestWorkJob& job = t.Wait();
    if (usable) {
      // A failed run is taken over as an empty result, so it does not start again.
      FResultBitmap = std::move(job.Result);
      FResultPreview =
          FResultBitmap ? FResultBitmap->ToBitmap32(1, 1) : std::make_unique<TVeBitmap32>();
      FOutputFiles = std::move(job.Files);
      FFrames = std::move(job.Frames);
      if (!FFrames) FFrames = SourceFrames();
      FResultPalette->Assign(&t.Options().Palette());
      const int number = t.Options().PaletteNumber(), number2 = t.Options().PaletteNumber2();
      FWorkThread.reset();
      FWorkTimer = false;
      SendResultView(false);
      FDelivering = true;
      try {
        SendPalette(number, number2);
      } catch (...) {
        FDelivering = false;
        throw;
      }
      FDelivering = false;
      return; // the result is shown (or a client already asked for the next run)
    }
    FWorkThread.reset();
    FWorkTimer = false;
  }
  if (!FRegionImage || !FPrepared) {
    ReleaseResult();
    FWorkTimer = false;
    return;
  }
  if (FResultPreview || !FEngine) {
    FWorkTimer = false;
    return;
  }
  if (FWorkThread) return; // started meanwhile by a client's reaction
  StartWork(*FPrepared, RunOptions());
}

void TVeDest::WaitForThreads() const {
  while ((FResizeThread && !FResizeThread->Finished()) || (FWorkThread && !FWorkThread->Finished()))
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

bool TVeDest::RunUntilIdle(int maxTicks) {
  for (int i = 0; i < maxTicks && !Idle(); ++i) {
    WaitForThreads();
    Tick();
  }
  return Idle();
}

// ---------------------------------------------------------------------------------------------
// Paste into result

namespace {
// Each 2 x 2 block becomes the mean of its four colours in linear light.
std::unique_ptr<TVeBitmap32> HalveByAveraging(const TVeBitmap32& b) {
  const int w = b.Width() / 2, h = b.Height() / 2;
  auto out = std::make_unique<TVeBitmap32>(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint32_t p[4] = {b.Pixel(2 * x, 2 * y), b.Pixel(2 * x + 1, 2 * y),
                             b.Pixel(2 * x, 2 * y + 1), b.Pixel(2 * x + 1, 2 * y + 1)};
      double c[3] = {0, 0, 0};
      for (uint32_t q : p)
        for (int k = 0; k < 3; ++k)
          c[k] += ByteToLinear(uint8_t(q >> (16 - 8 * k)));
      out->Pixel(x, y) =
          VeRGBQuad(LinearToByte(c[0] / 4), LinearToByte(c[1] / 4), LinearToByte(c[2] / 4));
    }
  return out;
}
} // namespace

bool TVeDest::PasteResult(const TVeBitmap32* bitmap) {
  if (!bitmap || FResizeThread || FWorkThread || !FEngine || !FPrepared) return false;
  std::unique_ptr<TVeBitmap32> picture;
  if (bitmap->Width() == 2 * FPrepared->Width() && bitmap->Height() == 2 * FPrepared->Height())
    picture = HalveByAveraging(*bitmap);
  else if (FResultBitmap && bitmap->Width() == FResultBitmap->Width() &&
           bitmap->Height() == FResultBitmap->Height())
    picture = std::make_unique<TVeBitmap32>(*bitmap);
  else
    return false;
  ++FConversionGeneration;
  ReleaseResult();
  SendResultView(true);
  // Match the pasted pixels to the palette as they are: no fixes, no dithering.
  std::unique_ptr<TVeDestEngineOptions> options = RunOptions();
  options->SetLightnessFix(0);
  options->SetSaturationFix(0);
  options->SetDitherMethod(dmNone);
  options->SetHamPrevLines(0);
  StartWork(*picture, std::move(options));
  return true;
}
