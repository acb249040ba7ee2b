#pragma once
// Batch conversion: many pictures converted one after another on a background thread with
// one engine and a snapshot of its options, the results written into a folder. Each picture
// runs the whole pipeline of a conversion (size, resize, border, engine) on that thread.
#include <atomic>
#include <cstdint>
#include <deque>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "VeDest.h"
#include "VeSaveResult.h"

class TVeBitmap;
class TVeBitmapList;
class TVeStreamList;
class TVePreparedCache;

// What one conversion yields.
struct TVeConversionResult {
  std::unique_ptr<TVeBitmap> Bitmap; // null when the conversion was stopped between steps
  std::unique_ptr<TVeBitmapList> Frames;
  std::unique_ptr<TVeStreamList> Files;
  std::unique_ptr<TVeDestEngineOptions> Options; // the run's copy, with the palette used
};

// Converts one picture as a conversion run does: the target size from the picture (unless
// the dimension is locked), the resize in the options' position mode and pixel aspect, the
// border colour outside the placed picture, then the engine on this thread with a private
// options copy. Engine failures propagate. When stop becomes true, the work ends after the
// current step and the result has no bitmap. A side of fixedSize above 0 is kept while the
// other follows the picture's proportions (unless the dimension is locked). With prepared,
// the picture the engine got (resized, with its border) is copied there. With a cache, a
// preparation kept there for the same picture and resize is reused (the same result).
TVeConversionResult VeConvertPicture(
    const TVeDestEngineClass& engine, const TVeDestEngineOptions& options,
    const TVeBitmap32& picture, const TVePalette256* usedColors, const TVePalette256* sourcePalette,
    const TVeCancelFlag* cancel, TVeDestProgress& progress, const std::atomic<bool>* stop = nullptr,
    TVeSize fixedSize = {0, 0}, TVeBitmap32* prepared = nullptr, TVePreparedCache* cache = nullptr);

// A picture file's bytes (DetectPictureType's number of a picture) decoded as TVeSource
// takes them, then converted whole as VeConvertPicture converts; the same result. With two
// workers or more, the resize runs on a worker while the decoder delivers the rows. A picture
// that cannot be decoded leaves its error in DecodeError and nothing converted; failures of
// the conversion propagate.
struct TVeFileConversion {
  std::exception_ptr DecodeError;
  TVeConversionResult Result;
};
TVeFileConversion VeConvertPictureBytes(const TVeDestEngineClass& engine,
                                        const TVeDestEngineOptions& options, int type,
                                        const uint8_t* data, size_t size,
                                        const TVeCancelFlag* cancel, TVeDestProgress& progress,
                                        const std::atomic<bool>* stop = nullptr,
                                        TVeSize fixedSize = {0, 0});
// The same taking the bytes, which are freed as soon as they are decoded.
TVeFileConversion VeConvertPictureBytes(const TVeDestEngineClass& engine,
                                        const TVeDestEngineOptions& options, int type,
                                        std::vector<uint8_t>&& data, const TVeCancelFlag* cancel,
                                        TVeDestProgress& progress,
                                        const std::atomic<bool>* stop = nullptr,
                                        TVeSize fixedSize = {0, 0});

// The target size for a picture of w x h: as the option panel computes it, or with one side
// of fixedSize kept and the other following the picture's proportions.
TVeSize VeTargetSize(const TVeDestEngineOptions& options, int w, int h, TVeSize fixedSize);

// A picture file loaded by content. Anything but BMP, JPEG, PNG and GIF raises "Unknown image
// type". The palettes are loaded only when asked for (a JPEG never has them).
struct TVeLoadedPicture {
  TVeBitmap32 Image;
  std::unique_ptr<TVePalette256> FilePalette;
  std::unique_ptr<TVePalette256> UsedColors;
};
TVeLoadedPicture VeLoadPictureFile(const std::string& path, bool palettes);

// The pictures of a folder (not its subfolders) with the extensions .JPG, .JPEG, .BMP, .PNG
// or .GIF in any case, as full paths sorted by name, so that results named after them are
// the same on every file system.
std::vector<std::string> VeBatchFolderFiles(const std::string& folder);
// Every file of a folder (not its subfolders), sorted the same way: native files go by
// many extensions, and by none.
std::vector<std::string> VeBatchFolderAllFiles(const std::string& folder);

// The part (1 to count) of a batch split into count parts that a source belongs to, from the
// FNV-1a 64 hash of its name relative to the source folder: the same on every machine, in
// every run, whatever the listing order.
int VeBatchShardOf(const std::string& relativeName, int count);

// Part Index of Count (1-based); 1 of 1 is the whole folder.
struct TVeBatchShard {
  int Index = 1;
  int Count = 1;
};

// Picks the batch that decodes native files with their best loader instead of converting.
struct TVeBatchImport {};

struct TVeBatchStatus {
  int Index = 0;           // the picture being converted, 0-based
  int Count = 0;           // number of pictures
  int64_t MaxPosition = 0; // Count * 100
  int64_t Position = 0;    // Index * 100 + the current picture's progress in percent
  std::string FileName;    // the picture being converted
};

// One line of the batch log.
struct TVeBatchLogEntry {
  std::string Name; // the source's file name, or its full path before saving
  std::string Path; // the source's full path
  bool Failed = false;
  std::string Message;              // the error, when failed
  std::vector<std::string> Written; // the files written, when not failed
  int Frames = 0;                   // of an animation, 0 for a still
  // "a.jpg: OK", "a.jpg: OK as a-jpg.png" when its usual name was taken, "a.gif: OK, 3 frames",
  // or "a.jpg: message".
  std::string Text() const;
};

class TVeBatchThread {
public:
  // Starts at once. With an empty file list the pictures of sourceFolder are converted.
  // The engine's options are copied, so later changes do not reach a running batch.
  // Results are never written over a source of the batch nor over an earlier result of it:
  // a taken name gets the source's extension added to its stem ("a.jpg" gives "a-jpg.png"
  // when "a.png" is taken), then a number ("a-jpg-2.png"). An existing read-only file is
  // replaced only with replaceReadOnly.
  // With a shard, files (or the folder's listing) are filtered to that part, and every result
  // gets the name a run of the whole list gives it when no result fails: processes
  // converting other parts into the same folder never pick the same name. A result whose
  // name is then taken fails rather than moving to another name.
  TVeBatchThread(std::vector<std::string> files, TVeSaveFormat format,
                 const TVeDestEngineClass& engine, const TVeDestEngineOptions& options,
                 std::string destFolder, std::string sourceFolder, bool replaceReadOnly = false,
                 TVeSize fixedSize = {0, 0}, TVeBatchShard shard = {});
  // Native files decoded by their best loader with its default palette type, as a single
  // import does, each written as one picture of format (GIF falls back to BMP beyond
  // 8 bits per pixel). With an empty file list every file of sourceFolder is taken.
  TVeBatchThread(TVeBatchImport, std::vector<std::string> files, TVeSaveFormat format,
                 std::string destFolder, std::string sourceFolder, bool replaceReadOnly = false,
                 TVeBatchShard shard = {});
  // The same with the engine and options of a destination controller.
  TVeBatchThread(std::vector<std::string> files, TVeSaveFormat format, const TVeDest& dest,
                 std::string destFolder, std::string sourceFolder);
  // Requests termination and waits for the current step to return.
  ~TVeBatchThread();
  TVeBatchThread(const TVeBatchThread&) = delete;
  TVeBatchThread& operator=(const TVeBatchThread&) = delete;

  // Asks the thread to end: between steps and files, and inside the engine through the
  // cancel flag.
  void Stop();
  bool Finished() const { return FFinished.load(std::memory_order_acquire); }
  void WaitFor();

  TVeBatchStatus Status() const;
  // Removes and returns the first log line, or an empty string when there is none.
  std::string TakeLogLine();
  // Removes the first log entry into entry; false when there is none.
  bool TakeLogEntry(TVeBatchLogEntry& entry);
  // Pictures converted so far (failed or not).
  int DoneCount() const;
  // Pictures that failed so far.
  int FailedCount() const;
  // The sources of the whole list before a shard kept its part; known once Finished().
  int ListedCount() const;

private:
  // A picture converted but not yet written.
  struct TConverted {
    bool Ready = false;
    bool Failed = false;
    std::string Message;
    TVeConversionResult Result;
    std::vector<TVeConversionResult> Animation; // every frame of an animated GIF
    std::vector<uint8_t> Picture;               // an import's encoded picture
    TVeSaveFormat PictureFormat = sfPNG;
  };
  void Execute();
  void RunParallel(int workers);
  TConverted Convert(const std::string& path, const TVeDestEngineOptions* options,
                     TVeDestProgress* progress);
  void WriteFile(const std::string& path, TConverted& converted);
  void ConvertFile(const std::string& path);
  void Log(TVeBatchLogEntry entry);
  bool NameTaken(const std::string& path) const;
  void PlanNames(const std::vector<std::string>& listed);

  std::vector<std::string> FFiles;
  std::string FSourceFolder;
  std::string FDestFolder;
  const TVeDestEngineClass* FEngine; // null for an import
  std::unique_ptr<TVeDestEngineOptions> FOptions;
  TVeSaveFormat FFormat;
  bool FLoadPalettes;
  bool FReplaceReadOnly;
  TVeSize FFixedSize;
  TVeBatchShard FShard;
  // The stem (name without extension) each source of a shard is written under.
  std::map<std::string, std::string> FPlannedStems;
  // Only the batch thread reads these: the identities of the sources and the normal paths
  // of the results written so far.
  std::set<std::pair<uint64_t, uint64_t>> FSourceIds;
  std::set<std::string> FWrittenNames;

  mutable std::mutex FLock;
  int FIndex = 0;
  int FCount = 0;
  std::string FCurrent;
  std::deque<TVeBatchLogEntry> FLog;
  int FDone = 0;
  int FFailed = 0;
  int FListed = 0;
  TVeDestProgress FProgress;
  const TVeDestProgress* FShown = &FProgress; // the progress Status reports

  TVeCancelFlag FCancel{0};
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFinished{false};
  std::thread FThread;
};
