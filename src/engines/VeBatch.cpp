#include "VeBatch.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <dirent.h>
#include <exception>
#include <filesystem>
#include <sys/stat.h>

#include "VeAnimation.h"
#include "VeAnimationConvert.h"
#include "VeBitmap.h"
#include "VeOutputSet.h"
#include "VePictureCodecs.h"
#include "VePreparedCache.h"
#include "VeRowFeed.h"
#include "VeSource.h"
#include "VeSourceEngines.h"
#include "VeSourcePrepare.h"
#include "VeStream.h"
#include "VeThreadJob.h"

namespace {

std::string WithDelimiter(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

std::string Upper(std::string s) {
  for (char& c : s)
    c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::unique_ptr<TVeDestEngineOptions> CopyOptions(const TVeDestEngineClass& engine,
                                                  const TVeDestEngineOptions& options) {
  std::unique_ptr<TVeDestEngineOptions> copy = engine.Create()->CreateOptions();
  copy->Assign(options);
  return copy;
}

// The area outside the placed picture gets the border colour at full opacity.
void PaintBorder(TVeBitmap32& image, const TVeRect& rect, int borderColor) {
  const uint32_t quad = 0xFF000000u | uint32_t(borderColor & 0xFFFFFF);
  for (int y = 0; y < image.Height(); ++y) {
    uint32_t* row = image.Scanline(y);
    bool inside = y >= rect.Top && y < rect.Bottom;
    for (int x = 0; x < image.Width(); ++x)
      if (!inside || x < rect.Left || x >= rect.Right) row[x] = quad;
  }
}

bool Stopped(const std::atomic<bool>* stop) {
  return stop && stop->load(std::memory_order_acquire);
}

// Name (without extension) number attempt of a result: the source's stem, then with the
// source's extension added ("a.jpg" gives "a-jpg"), then numbers ("a-jpg-2").
std::string StemAttempt(const std::string& stem, const std::string& tag, int attempt) {
  std::string s = stem;
  if (attempt > 0 && !tag.empty()) s += "-" + tag;
  if (attempt > 1 || (attempt > 0 && tag.empty())) s += "-" + std::to_string(attempt);
  return s;
}

// The lower-case extension of a file name without its dot.
std::string ExtensionTag(const std::string& name) {
  const std::string ext = VeExtractFileExt(name);
  std::string tag;
  for (char c : ext.empty() ? std::string() : ext.substr(1))
    tag += char(std::tolower(static_cast<unsigned char>(c)));
  return tag;
}

} // namespace

TVeSize VeTargetSize(const TVeDestEngineOptions& options, int w, int h, TVeSize fixedSize) {
  TVeSize size = VeDimensionFromSource(options, w, h);
  if (fixedSize.Width > 0 && fixedSize.Height > 0) return fixedSize;
  if (fixedSize.Width > 0 && size.Width > 0)
    return {fixedSize.Width,
            int(std::max<int64_t>(1, VeMulDivRound(size.Height, fixedSize.Width, size.Width)))};
  if (fixedSize.Height > 0 && size.Height > 0)
    return {int(std::max<int64_t>(1, VeMulDivRound(size.Width, fixedSize.Height, size.Height))),
            fixedSize.Height};
  return size;
}

namespace {

// The run's options for a picture of w x h: the target size from the picture unless the
// dimension is locked.
std::unique_ptr<TVeDestEngineOptions> RunOptions(const TVeDestEngineClass& engine,
                                                 const TVeDestEngineOptions& options, int w, int h,
                                                 TVeSize fixedSize) {
  std::unique_ptr<TVeDestEngineOptions> run = CopyOptions(engine, options);
  if (!run->DimensionLock()) {
    TVeSize size = VeTargetSize(*run, w, h, fixedSize);
    run->BeginUpdate();
    run->SetWidth(size.Width);
    run->SetHeight(size.Height);
    run->EndUpdate();
  }
  VeApplyKeepPixels(*run);
  return run;
}

// A picture already of the result's size is converted as it is, not copied: it fills the
// whole result, so there is no border to paint. A picture made for an engine that starts on
// its rows starts as the border instead, for it is never painted afterwards.
void ResizeForRun(TVeResizeResult& prepared, const TVeDestEngineOptions& run,
                  const TVeBitmap32& picture, TVeRowFeed* feed, TVeRowFeed* made) {
  TVeAspectPair pair = run.GetAspectPair();
  VeResizeSourceInto(prepared, picture, run.GetWidth(), run.GetHeight(), pair.X, pair.Y,
                     VeRunPositionMode(run, picture.Width(), picture.Height()), false, nullptr,
                     false, feed, made, 0xFF000000u | uint32_t(run.BorderColor() & 0xFFFFFF));
}

TVeConversionResult ConvertResized(const TVeDestEngineClass& engine,
                                   std::unique_ptr<TVeDestEngineOptions> run,
                                   const TVeBitmap32& picture, TVeResizeResult& prepared,
                                   const TVePalette256* usedColors,
                                   const TVePalette256* sourcePalette, const TVeCancelFlag* cancel,
                                   TVeDestProgress& progress, const std::atomic<bool>* stop,
                                   TVeBitmap32* preparedCopy = nullptr) {
  TVeConversionResult result;
  if (Stopped(stop)) return result;
  if (!prepared.SameAsRegion) PaintBorder(prepared.Picture, prepared.Rect, run->BorderColor());
  const TVeBitmap32& input = prepared.SameAsRegion ? picture : prepared.Picture;
  if (preparedCopy) *preparedCopy = input;
  std::unique_ptr<TVePalette256> used, file;
  if (usedColors && usedColors->GetCount() > 0) used = std::make_unique<TVePalette256>(*usedColors);
  if (sourcePalette && sourcePalette->GetCount() > 0)
    file = std::make_unique<TVePalette256>(*sourcePalette);
  progress.SetProgress(0, 0);
  result.Bitmap =
      engine.Convert(cancel, input, result.Files, progress, *run, used.get(), file.get());
  if (!result.Bitmap) throw EInternalError();
  result.Frames = result.Bitmap->TakeFrames();
  result.Options = std::move(run);
  if (Stopped(stop)) result.Bitmap.reset();
  return result;
}

} // namespace

TVeConversionResult VeConvertPicture(const TVeDestEngineClass& engine,
                                     const TVeDestEngineOptions& options,
                                     const TVeBitmap32& picture, const TVePalette256* usedColors,
                                     const TVePalette256* sourcePalette,
                                     const TVeCancelFlag* cancel, TVeDestProgress& progress,
                                     const std::atomic<bool>* stop, TVeSize fixedSize,
                                     TVeBitmap32* preparedCopy, TVePreparedCache* cache) {
  std::unique_ptr<TVeDestEngineOptions> run =
      RunOptions(engine, options, picture.Width(), picture.Height(), fixedSize);
  TVeResizeResult prepared;
  if (cache) {
    // A copy, for the border is painted on it; at the result's size it costs next to nothing.
    const TVeAspectPair pair = run->GetAspectPair();
    const TVePrepareKey key{VePictureFingerprint(picture),
                            picture.Width(),
                            picture.Height(),
                            run->GetWidth(),
                            run->GetHeight(),
                            pair.X,
                            pair.Y,
                            VeRunPositionMode(*run, picture.Width(), picture.Height())};
    prepared = *cache->Get(picture, key);
  } else {
    ResizeForRun(prepared, *run, picture, nullptr, nullptr);
  }
  return ConvertResized(engine, std::move(run), picture, prepared, usedColors, sourcePalette,
                        cancel, progress, stop, preparedCopy);
}

namespace {

// release, when given, holds the bytes and is emptied once they are decoded: like the
// decoded picture once resized, its memory then serves the engine's buffers.
TVeFileConversion ConvertBytes(const TVeDestEngineClass& engine,
                               const TVeDestEngineOptions& options, int type, const uint8_t* data,
                               size_t size, std::vector<uint8_t>* release,
                               const TVeCancelFlag* cancel, TVeDestProgress& progress,
                               const std::atomic<bool>* stop, TVeSize fixedSize) {
  TVeFileConversion out;
  TVePictureResult picture;
  std::unique_ptr<TVeDestEngineOptions> run;
  TVeResizeResult prepared;
  // With two workers, the decoder on this thread and the resize on a worker reading each row
  // as it arrives; an engine that can, starts on the resized rows as they come.
  const bool overlap = ProcessorCount() >= 2;
  TVeRowFeed feed, made;
  auto decode = [&] {
    VeDecodeSourcePicture(type, data, size, picture, overlap ? &feed : nullptr);
    if (release) std::vector<uint8_t>().swap(*release);
  };
  auto resize = [&] {
    TVeRowFeedGuard madeGuard(overlap ? &made : nullptr);
    const TVeBitmap32* arriving = overlap ? feed.WaitPicture() : &picture.Image;
    if (!arriving) return;
    run = RunOptions(engine, options, arriving->Width(), arriving->Height(), fixedSize);
    const bool streamed = overlap && !Stopped(stop) && engine.ConvertsArrivingRows(*run);
    ResizeForRun(prepared, *run, *arriving, overlap ? &feed : nullptr, streamed ? &made : nullptr);
  };
  TVeConversionResult streamed;
  auto convert = [&] {
    // Announced only when the engine starts on the rows; run is final by then.
    const TVeBitmap32* rows = made.WaitPicture();
    if (!rows) return;
    progress.SetProgress(0, 0);
    streamed.Bitmap = engine.ConvertArriving(cancel, *rows, made, streamed.Files, progress, *run);
    if (!streamed.Bitmap) throw EInternalError();
  };
  if (!overlap) {
    try {
      decode();
    } catch (...) {
      out.DecodeError = std::current_exception();
      return out;
    }
    resize();
  } else {
    std::exception_ptr resizeError, convertError;
    {
      TVeJobList jobs;
      auto* decoding = VeAddCallJob(jobs, decode);
      auto* resizing = VeAddCallJob(jobs, resize);
      auto* converting = VeAddCallJob(jobs, convert);
      jobs.Run(cancel);
      out.DecodeError = decoding->Error;
      resizeError = resizing->Error;
      convertError = converting->Error;
    } // the workers go back to the pool for the engine's own jobs
    if (out.DecodeError) return out;
    if (resizeError) std::rethrow_exception(resizeError);
    if (convertError) std::rethrow_exception(convertError);
    if (streamed.Bitmap) {
      streamed.Frames = streamed.Bitmap->TakeFrames();
      streamed.Options = std::move(run);
      if (Stopped(stop)) streamed.Bitmap.reset();
      out.Result = std::move(streamed);
      return out;
    }
  }
  if (!prepared.SameAsRegion) picture.Image = TVeBitmap32();
  out.Result =
      ConvertResized(engine, std::move(run), picture.Image, prepared, picture.UsedColors.get(),
                     picture.FilePalette.get(), cancel, progress, stop);
  return out;
}

} // namespace

TVeFileConversion VeConvertPictureBytes(const TVeDestEngineClass& engine,
                                        const TVeDestEngineOptions& options, int type,
                                        const uint8_t* data, size_t size,
                                        const TVeCancelFlag* cancel, TVeDestProgress& progress,
                                        const std::atomic<bool>* stop, TVeSize fixedSize) {
  return ConvertBytes(engine, options, type, data, size, nullptr, cancel, progress, stop,
                      fixedSize);
}

TVeFileConversion VeConvertPictureBytes(const TVeDestEngineClass& engine,
                                        const TVeDestEngineOptions& options, int type,
                                        std::vector<uint8_t>&& data, const TVeCancelFlag* cancel,
                                        TVeDestProgress& progress, const std::atomic<bool>* stop,
                                        TVeSize fixedSize) {
  std::vector<uint8_t> bytes = std::move(data);
  return ConvertBytes(engine, options, type, bytes.data(), bytes.size(), &bytes, cancel, progress,
                      stop, fixedSize);
}

TVeLoadedPicture VeLoadPictureFile(const std::string& path, bool palettes) {
  std::vector<uint8_t> data = VeReadFile(path);
  int type = DetectPictureType(data.data(), data.size());
  if (type < vptBMP || type > vptGIF) throw EVeError("Unknown image type");
  TVeLoadedPicture loaded;
  if (type == vptJPEG) {
    loaded.Image = VeDecodeJpeg(data.data(), data.size());
    return loaded;
  }
  TVePictureResult r = VeDecodeToBitmap32(type, data.data(), data.size(),
                                          palettes ? unsigned(vpwAll) : unsigned(vpwPicture));
  loaded.Image = std::move(r.Image);
  if (palettes) {
    loaded.FilePalette = std::move(r.FilePalette);
    loaded.UsedColors = std::move(r.UsedColors);
  }
  return loaded;
}

namespace {

std::vector<std::string> FolderFiles(const std::string& folder, bool pictures) {
  std::string dir = WithDelimiter(folder);
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (!d) throw EVeError(std::string("Cannot read the folder: ") + std::strerror(errno));
  std::vector<std::string> files;
  static const char* const exts[] = {".JPG", ".JPEG", ".BMP", ".PNG", ".GIF"};
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    std::string path = dir + name;
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
    std::string ext = Upper(VeExtractFileExt(name));
    if (!pictures || std::find_if(std::begin(exts), std::end(exts),
                                  [&](const char* x) { return ext == x; }) != std::end(exts))
      files.push_back(path);
  }
  closedir(d);
  std::sort(files.begin(), files.end());
  return files;
}

} // namespace

std::vector<std::string> VeBatchFolderFiles(const std::string& folder) {
  return FolderFiles(folder, true);
}

std::vector<std::string> VeBatchFolderAllFiles(const std::string& folder) {
  return FolderFiles(folder, false);
}

int VeBatchShardOf(const std::string& relativeName, int count) {
  if (count < 1) VeInternalError();
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : relativeName) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  return int(hash % uint64_t(count)) + 1;
}

// ---- TVeBatchThread

TVeBatchThread::TVeBatchThread(std::vector<std::string> files, TVeSaveFormat format,
                               const TVeDestEngineClass& engine,
                               const TVeDestEngineOptions& options, std::string destFolder,
                               std::string sourceFolder, bool replaceReadOnly, TVeSize fixedSize,
                               TVeBatchShard shard)
    : FFiles(std::move(files)), FSourceFolder(WithDelimiter(std::move(sourceFolder))),
      FDestFolder(WithDelimiter(std::move(destFolder))), FEngine(&engine),
      FOptions(CopyOptions(engine, options)), FFormat(format),
      FLoadPalettes(FOptions->EngineFlagC()), FReplaceReadOnly(replaceReadOnly),
      FFixedSize(fixedSize), FShard(shard) {
  if (shard.Count < 1 || shard.Index < 1 || shard.Index > shard.Count) VeInternalError();
  FThread = std::thread([this] { Execute(); });
}

TVeBatchThread::TVeBatchThread(TVeBatchImport, std::vector<std::string> files, TVeSaveFormat format,
                               std::string destFolder, std::string sourceFolder,
                               bool replaceReadOnly, TVeBatchShard shard)
    : FFiles(std::move(files)), FSourceFolder(WithDelimiter(std::move(sourceFolder))),
      FDestFolder(WithDelimiter(std::move(destFolder))), FEngine(nullptr), FFormat(format),
      FLoadPalettes(false), FReplaceReadOnly(replaceReadOnly), FShard(shard) {
  if (format == sfNative || shard.Count < 1 || shard.Index < 1 || shard.Index > shard.Count)
    VeInternalError();
  FThread = std::thread([this] { Execute(); });
}

static const TVeDestEngineClass& EngineOf(const TVeDest& dest) {
  if (!dest.EngineClass() || !dest.Options()) VeInternalError();
  return *dest.EngineClass();
}

TVeBatchThread::TVeBatchThread(std::vector<std::string> files, TVeSaveFormat format,
                               const TVeDest& dest, std::string destFolder,
                               std::string sourceFolder)
    : TVeBatchThread(std::move(files), format, EngineOf(dest), *dest.Options(),
                     std::move(destFolder), std::move(sourceFolder)) {}

TVeBatchThread::~TVeBatchThread() {
  Stop();
  WaitFor();
}

void TVeBatchThread::Stop() {
  FTerminated.store(true, std::memory_order_release);
  FCancel.store(1, std::memory_order_relaxed);
}

void TVeBatchThread::WaitFor() {
  if (FThread.joinable()) FThread.join();
}

TVeBatchStatus TVeBatchThread::Status() const {
  TVeBatchStatus s;
  uint32_t total = 0, done = 0;
  {
    std::lock_guard<std::mutex> lock(FLock);
    s.Index = FIndex;
    s.Count = FCount;
    s.FileName = FCurrent;
    FShown->GetProgress(total, done);
  }
  s.MaxPosition = int64_t(s.Count) * 100;
  s.Position = int64_t(s.Index) * 100;
  if (total > 0) s.Position += VeMulDivRound(std::min(done, total), 100, total);
  s.Position = std::min(s.Position, s.MaxPosition);
  return s;
}

std::string TVeBatchLogEntry::Text() const {
  if (Failed) return Name + ": " + Message;
  std::string text = Name + ": OK";
  if (Frames > 1) text += ", " + std::to_string(Frames) + " frames";
  if (!Written.empty()) {
    std::string first = VeExtractFileName(Written.front());
    std::string usual =
        VeChangeFileExt(Frames > 1 ? VeFrameBase(Name, 0) : Name, VeExtractFileExt(first));
    if (first != usual) text += " as " + first;
  }
  return text;
}

std::string TVeBatchThread::TakeLogLine() {
  TVeBatchLogEntry entry;
  return TakeLogEntry(entry) ? entry.Text() : std::string();
}

bool TVeBatchThread::TakeLogEntry(TVeBatchLogEntry& entry) {
  std::lock_guard<std::mutex> lock(FLock);
  if (FLog.empty()) return false;
  entry = std::move(FLog.front());
  FLog.pop_front();
  return true;
}

int TVeBatchThread::FailedCount() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FFailed;
}

int TVeBatchThread::ListedCount() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FListed;
}

int TVeBatchThread::DoneCount() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FDone;
}

void TVeBatchThread::Log(TVeBatchLogEntry entry) {
  std::lock_guard<std::mutex> lock(FLock);
  if (entry.Failed) ++FFailed;
  ++FDone;
  FLog.push_back(std::move(entry));
}

void TVeBatchThread::Execute() {
  try {
    if (FFiles.empty())
      FFiles = FEngine ? VeBatchFolderFiles(FSourceFolder) : VeBatchFolderAllFiles(FSourceFolder);
  } catch (const std::exception& e) {
    TVeBatchLogEntry entry;
    entry.Name = entry.Path = FSourceFolder;
    entry.Failed = true;
    entry.Message = e.what();
    Log(std::move(entry));
    FFinished.store(true, std::memory_order_release);
    return;
  }
  // Every source is kept from being written over, also those of other parts.
  for (const std::string& path : FFiles) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0)
      FSourceIds.insert({uint64_t(st.st_dev), uint64_t(st.st_ino)});
  }
  const int listed = int(FFiles.size());
  if (FShard.Count > 1) {
    PlanNames(FFiles);
    std::vector<std::string> part;
    for (std::string& path : FFiles)
      if (FPlannedStems.count(path)) part.push_back(std::move(path));
    FFiles = std::move(part);
  }
  {
    std::lock_guard<std::mutex> lock(FLock);
    FListed = listed;
    FIndex = 0;
    FCount = int(FFiles.size());
  }
  const int count = int(FFiles.size());
  const int workers = std::min(ProcessorCount(), count);
  if (workers < 2) {
    for (const std::string& path : FFiles) {
      ConvertFile(path);
      FProgress.SetProgress(1, 0);
      {
        std::lock_guard<std::mutex> lock(FLock);
        ++FIndex;
      }
      if (FTerminated.load(std::memory_order_acquire)) break;
    }
  } else {
    RunParallel(workers);
  }
  FFinished.store(true, std::memory_order_release);
}

// One picture per worker, each conversion on its worker alone; results are written and
// logged here in source order, so names and log match a one-at-a-time run. Workers run at
// most a few pictures ahead of the writing, which bounds the results held in memory.
void TVeBatchThread::RunParallel(int workers) {
  const int count = int(FFiles.size());
  const int window = 2 * workers;
  std::vector<TConverted> slots(static_cast<size_t>(count));
  // The status shows the progress of the picture the writing waits for.
  std::vector<std::unique_ptr<TVeDestProgress>> progress;
  for (int i = 0; i < count; ++i)
    progress.push_back(std::make_unique<TVeDestProgress>());
  struct TShown {
    TVeBatchThread* Batch;
    ~TShown() {
      std::lock_guard<std::mutex> l(Batch->FLock);
      Batch->FShown = &Batch->FProgress;
    }
  } shown{this};
  std::vector<std::unique_ptr<TVeDestEngineOptions>> options;
  for (int w = 0; w < workers; ++w)
    options.push_back(FEngine ? CopyOptions(*FEngine, *FOptions) : nullptr);
  std::mutex lock;
  std::condition_variable changed;
  int next = 0, written = 0;
  auto work = [&](int w) {
    SetThreadProcessorCount(1);
    for (;;) {
      int i;
      {
        std::unique_lock<std::mutex> l(lock);
        changed.wait(l, [&] {
          return next >= count || next < written + window ||
                 FTerminated.load(std::memory_order_acquire);
        });
        if (next >= count || FTerminated.load(std::memory_order_acquire)) return;
        i = next++;
      }
      TConverted c =
          Convert(FFiles[size_t(i)], options[size_t(w)].get(), progress[size_t(i)].get());
      {
        std::lock_guard<std::mutex> l(lock);
        slots[size_t(i)] = std::move(c);
        slots[size_t(i)].Ready = true;
      }
      changed.notify_all();
    }
  };
  std::vector<std::thread> threads;
  for (int w = 0; w < workers; ++w)
    threads.emplace_back(work, w);
  for (int i = 0; i < count; ++i) {
    {
      std::lock_guard<std::mutex> l(FLock);
      FCurrent = FFiles[size_t(i)];
      FShown = progress[size_t(i)].get();
    }
    {
      std::unique_lock<std::mutex> l(lock);
      changed.wait(l, [&] { return slots[size_t(i)].Ready || (i >= next && FTerminated.load()); });
      if (!slots[size_t(i)].Ready) break;
    }
    WriteFile(FFiles[size_t(i)], slots[size_t(i)]);
    slots[size_t(i)] = TConverted();
    {
      std::lock_guard<std::mutex> l(lock);
      written = i + 1;
    }
    changed.notify_all();
    {
      std::lock_guard<std::mutex> l(FLock);
      ++FIndex;
      FShown = &FProgress;
    }
    if (FTerminated.load(std::memory_order_acquire)) break;
  }
  {
    std::lock_guard<std::mutex> l(lock);
    written = count; // releases waiting workers; they see the termination or the end
  }
  changed.notify_all();
  for (std::thread& t : threads)
    t.join();
}

// Each process of a divided batch sees the whole list, so all of them give every source the
// stem a whole run gives it when nothing fails; stems differ, and so do the names of results.
void TVeBatchThread::PlanNames(const std::vector<std::string>& listed) {
  std::set<std::string> claimed;
  for (const std::string& path : listed) {
    const std::string name = VeExtractFileName(path);
    const std::string stem = VeChangeFileExt(name, "");
    const std::string tag = ExtensionTag(name);
    std::string s;
    for (int attempt = 0;; ++attempt) {
      s = StemAttempt(stem, tag, attempt);
      if (claimed.count(s)) continue;
      // The picture's name must not be a source; native files are checked when written.
      if (FFormat != sfNative) {
        std::string picture = FDestFolder + s + "." + VeSaveFormatExt(FFormat);
        struct stat st;
        if (::stat(picture.c_str(), &st) == 0 &&
            FSourceIds.count({uint64_t(st.st_dev), uint64_t(st.st_ino)}))
          continue;
      }
      break;
    }
    claimed.insert(s);
    std::string relative =
        path.rfind(FSourceFolder, 0) == 0 ? path.substr(FSourceFolder.size()) : name;
    if (VeBatchShardOf(relative, FShard.Count) == FShard.Index) FPlannedStems[path] = s;
  }
}

bool TVeBatchThread::NameTaken(const std::string& path) const {
  if (FWrittenNames.count(VeNormalPath(path))) return true;
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 &&
         FSourceIds.count({uint64_t(st.st_dev), uint64_t(st.st_ino)}) > 0;
}

TVeBatchThread::TConverted TVeBatchThread::Convert(const std::string& path,
                                                   const TVeDestEngineOptions* options,
                                                   TVeDestProgress* progress) {
  TConverted c;
  TVeDestProgress own;
  try {
    if (!FEngine) {
      // As the import command by default: the best loader, its own palette type.
      TVeFileLoadSource source(path);
      if (source.Size == 0) throw EVeError(source.EmptyReason());
      std::unique_ptr<TVeSourceEngineList> engines = ProbeSource(&source);
      if (!engines || engines->Count() == 0) throw EVeError("Unknown image type");
      TVeImportModel model(*engines, 0);
      const TVeBitmap& bitmap = *model.Bitmap();
      c.PictureFormat = FFormat == sfGIF && bitmap.BitCount() > 8 ? sfBMP : FFormat;
      // Encoded here, on the worker: in an archive of small screens this is most of the work.
      c.Picture = VeEncodeResult(bitmap, c.PictureFormat);
      return c;
    }
    // An animated GIF becomes all its frames, as the command line converts it.
    if (Upper(VeExtractFileExt(path)) == ".GIF") {
      const std::vector<uint8_t> data = VeReadFile(path);
      if (VeGifFrameCount(data.data(), data.size(), 2) > 1) {
        const TVeAnimation animation = VeDecodeGifAnimation(data.data(), data.size());
        TVeAnimationConversion converted =
            VeConvertAnimation(*FEngine, *options, animation, TVeAnimationSettings(), &FCancel,
                               progress ? *progress : own, FFixedSize);
        c.Animation = std::move(converted.Frames);
        return c;
      }
    }
    TVeLoadedPicture picture = VeLoadPictureFile(path, FLoadPalettes);
    c.Result = VeConvertPicture(*FEngine, *options, picture.Image, picture.UsedColors.get(),
                                picture.FilePalette.get(), &FCancel, progress ? *progress : own,
                                &FTerminated, FFixedSize);
  } catch (const std::exception& e) {
    c.Failed = true;
    c.Message = e.what();
  }
  return c;
}

void TVeBatchThread::ConvertFile(const std::string& path) {
  {
    std::lock_guard<std::mutex> lock(FLock);
    FCurrent = path;
  }
  FProgress.SetProgress(1, 0);
  TConverted c = Convert(path, FOptions.get(), &FProgress);
  WriteFile(path, c);
}

void TVeBatchThread::WriteFile(const std::string& path, TConverted& converted) {
  TVeBatchLogEntry entry;
  entry.Name = entry.Path = path; // the full path until the results are being written
  if (converted.Failed) {
    entry.Failed = true;
    entry.Message = converted.Message;
    Log(std::move(entry));
    return;
  }
  TVeConversionResult& r = converted.Result;
  try {
    if (FEngine && !r.Bitmap && converted.Animation.empty()) return;
    std::error_code ec;
    std::filesystem::create_directories(FDestFolder, ec);
    const std::string name = VeExtractFileName(path);
    entry.Name = name;
    if (ec) throw EVeError("Cannot create folder " + FDestFolder + ": " + ec.message());
    // The usual name, then the source's extension added to the stem, then numbers; a part
    // of a divided batch takes its planned name or none.
    const std::string ext = VeExtractFileExt(name);
    const std::string stem = VeChangeFileExt(name, "");
    const std::string tag = ExtensionTag(name);
    auto planned = FPlannedStems.find(path);
    for (int attempt = 0;; ++attempt) {
      std::string s =
          planned != FPlannedStems.end() ? planned->second : StemAttempt(stem, tag, attempt);
      TVeOutputSet set;
      set.Protect(path);
      if (!FEngine)
        set.Add(FDestFolder + s + "." + VeSaveFormatExt(converted.PictureFormat),
                converted.Picture);
      else if (!converted.Animation.empty()) {
        entry.Frames = int(converted.Animation.size());
        for (size_t k = 0; k < converted.Animation.size(); ++k) {
          TVeConversionResult& f = converted.Animation[k];
          VeAddResultFiles(set, *f.Bitmap, f.Frames.get(), f.Files.get(), FFormat,
                           VeFrameBase(FDestFolder + s + (ext.empty() ? ".x" : ext), k));
        }
      } else
        VeAddResultFiles(set, *r.Bitmap, r.Frames.get(), r.Files.get(), FFormat,
                         FDestFolder + s + (ext.empty() ? ".x" : ext));
      const std::vector<std::string>& names = set.Names();
      auto taken = std::find_if(names.begin(), names.end(),
                                [&](const std::string& n) { return NameTaken(n); });
      if (taken != names.end()) {
        if (planned == FPlannedStems.end()) continue;
        throw EVeError("Cannot write " + *taken +
                       ": the name is taken by a source or another result");
      }
      entry.Written = set.Commit(FReplaceReadOnly);
      for (const std::string& n : entry.Written)
        FWrittenNames.insert(VeNormalPath(n));
      break;
    }
  } catch (const std::exception& e) {
    entry.Failed = true;
    entry.Message = e.what();
  }
  Log(std::move(entry));
}
