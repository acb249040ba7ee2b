// The commands of velmora-cli over the core: the registry, the source loading, the
// conversion pipeline, the batch thread and the savers.
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "VeAnimation.h"
#include "VeAnimationConvert.h"
#include "VeBatch.h"
#include "VeBitmap.h"
#include "VeCli.h"
#include "VeCommonEngines.h"
#include "VeDestEngineList.h"
#include "VeDestEngineUI.h"
#include "VeExport.h"
#include "VeLoadSource.h"
#include "VeOutputSet.h"
#include "VePaletteFiles.h"
#include "VePlatforms.h"
#include "VeSaveResult.h"
#include "VeSource.h"
#include "VeSourceEngines.h"
#include "VeStream.h"
#include "VeThreadJob.h"

// Declared in VeCliFields.cpp.
std::string VeSetFieldName(const std::string& assignment);
// Applies FIELD=VALUE; returns a note when the value was clamped, had no effect, or the
// field is not used by the panel's mode.
std::string VeApplySet(TVeDestEngineOptions& options, const std::string& assignment,
                       const TVeDestEngineUI* panel);
int VePaletteTypeByName(const std::string& text);
// The enumeration name of a palette type ("ptPulsar").
const char* VePaletteTypeIdent(int type);

namespace {

// The registry with every real engine in place of the catalogue's generic entries.
TVeDestEngineList& Registry() {
  TVeDestEngineList& list = DestEngineList();
  VeRegisterCommonEngines(list); // does nothing once the registry's set-up has done it
  return list;
}

const TVeDestEngineClass& FindEngine(const std::string& platform, const std::string& mode) {
  TVeDestEngineList& list = Registry();
  int p = list.IndexOf(platform);
  if (p < 0) throw EVeUsage("unknown platform \"" + platform + "\" (see velmora-cli list)");
  const TVeDestSubTypes& modes = list.GetSubTypes(p);
  int m = mode.empty() ? 0 : modes.IndexOf(mode);
  if (m < 0 || m >= modes.Count())
    throw EVeUsage("unknown mode \"" + mode + "\" for platform \"" + list.Strings(p) +
                   "\" (see velmora-cli list)");
  return *modes.GetEngineClass(m);
}

TVeSaveFormat ParseFormat(const std::string& format) {
  if (VeSameText(format, "bmp")) return sfBMP;
  if (VeSameText(format, "png")) return sfPNG;
  if (VeSameText(format, "gif")) return sfGIF;
  if (VeSameText(format, "native")) return sfNative;
  throw EVeUsage("unknown format \"" + format + "\" (native, bmp, png or gif)");
}

// Runs a load and names the file in its error message when the message does not.
template <class F> void NamingFile(const std::string& file, F load) {
  try {
    load();
  } catch (const EVeUsage&) {
    throw;
  } catch (const EVeError& e) {
    // Messages that name the file quote it or start with it; a short name such as "a" may
    // stand in any message by chance.
    std::string m = e.what();
    if (m.find("\"" + file + "\"") != std::string::npos || m.rfind(file + ": ", 0) == 0) throw;
    throw EVeError(file + ": " + m);
  }
}

void Note(const std::string& text) {
  std::fprintf(stderr, "note: %s\n", text.c_str());
}

// The options of the chosen engine with the command line's settings, starting from what the
// desktop program's controller gives a new engine, so that both write the same files.
// fixedSize gets a Width or Height given alone: that side is kept and the other follows
// each picture's proportions.
std::unique_ptr<TVeDestEngineOptions>
MakeOptions(const TVeDestEngineClass& engine, const TVeCliConvertSettings& s, TVeSize& fixedSize) {
  bool widthSet = false, heightSet = false, lockSet = false;
  for (const std::string& a : s.Sets) {
    std::string field = VeSetFieldName(a);
    widthSet = widthSet || field == "Width";
    heightSet = heightSet || field == "Height";
    lockSet = lockSet || field == "DimensionLock";
  }
  std::unique_ptr<TVePalette256> palette;
  if (!s.PaletteFile.empty()) {
    palette = std::make_unique<TVePalette256>();
    NamingFile(s.PaletteFile, [&] { VeLoadPaletteFromFile(*palette, s.PaletteFile); });
  }
  std::unique_ptr<TVeDestEngine> instance = engine.Create();
  std::unique_ptr<TVeDestEngineOptions> options = instance->CreateOptions();
  std::unique_ptr<TVeDestEngineUI> panel = instance->CreateUI(*options);
  // A palette file stands for a palette chosen in the "P&alette:" list, so it applies to the
  // modes whose panel has that list.
  if (palette && !panel->Has(ciPaletteList))
    throw EVeUsage("--palette does not apply to \"" + engine.GetPlatformName() + "\" \"" +
                   engine.GetModeName() + "\" (try -p Common -m Palette)");
  options->BeginUpdate();
  VeApplyControllerDefaults(*options);
  // Both sides given: that size for every picture.
  if (widthSet && heightSet && !lockSet) options->SetDimensionLock(true);
  for (const std::string& a : s.Sets) {
    std::string note = VeApplySet(*options, a, panel.get());
    if (!note.empty()) Note(note);
  }
  if (palette) {
    options->SetPaletteType(ptColored);
    options->SetPalette(palette.get());
  }
  options->EndUpdate();
  fixedSize = {0, 0};
  if (widthSet != heightSet && !options->DimensionLock() && panel->Has(ciWidth))
    fixedSize = widthSet ? TVeSize{options->GetWidth(), 0} : TVeSize{0, options->GetHeight()};
  return options;
}

// Writes a set of files, turning a refusal into advice on what to do instead.
std::vector<std::string> CommitFiles(TVeOutputSet& set, bool force, const char* renameHint) {
  try {
    return set.Commit(force);
  } catch (const EVeOutputRefused& e) {
    if (e.Kind == TVeOutputRefusal::ReadOnly)
      throw EVeError(std::string(e.what()) + " (--force replaces it)");
    if (e.Kind == TVeOutputRefusal::InputFile && renameHint)
      throw EVeError(std::string(e.what()) + " (" + renameHint + ")");
    throw;
  }
}

// The picture format a name asks for by its extension, or a usage error naming those that
// can be written.
TVeSaveFormat PictureFormatOf(const std::string& option, const std::string& path) {
  std::string ext = VeExtractFileExt(path);
  std::string lower;
  for (char c : ext)
    lower += char(std::tolower(static_cast<unsigned char>(c)));
  if (lower == ".png") return sfPNG;
  if (lower == ".bmp") return sfBMP;
  if (lower == ".gif") return sfGIF;
  throw EVeUsage(
      option + " " + path + ": " +
      (ext.empty() ? std::string("the name has no extension") : "cannot write " + ext + " files") +
      "; use a name ending in .png, .bmp or .gif");
}

// Draws the batch or conversion progress while work runs on another thread.
template <class TWork, class TPoll>
void RunWithProgress(const char* caption, TWork work, TPoll poll) {
  TVeCliProgressBar bar(caption, poll);
  work();
  bar.Finish();
}

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\')
      out += char('\\'), out += char(c);
    else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else
      out += char(c);
  }
  return out + "\"";
}

// The name frame k's files are derived from: "out/anim" gives "out/anim.0003.x", so that
// replacing the extension leaves "out/anim.0003.scr".
bool IsFolder(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Every frame converted in order, all their files in one set.
int ConvertAnimation(const std::string& input, const TVeAnimation& animation,
                     const std::string& output, const TVeCliConvertSettings& s,
                     const TVeDestEngineClass& engine, const TVeDestEngineOptions& options,
                     TVeSize fixedSize, TVeSaveFormat format,
                     std::optional<TVeSaveFormat> previewFormat,
                     const std::vector<const TVeExporter*>& exporters) {
  TVeAnimationSettings settings;
  settings.Stability = s.Stability;
  settings.Threshold = s.StabilityThreshold;
  settings.PalettePerFrame = s.PalettePerFrame;
  TVeDestProgress progress;
  std::atomic<int> done{0};
  const uint64_t count = animation.Frames.size();
  auto poll = [&] {
    uint32_t total = 0, part = 0;
    progress.GetProgress(total, part);
    const uint64_t frame =
        uint64_t(done.load()) * 1000 + (total ? uint64_t(part) * 1000 / total : 0);
    return std::pair<uint64_t, uint64_t>(frame, count * 1000);
  };
  TVeAnimationConversion converted;
  RunWithProgress(
      "Converting",
      [&] {
        converted = VeConvertAnimation(engine, options, animation, settings, nullptr, progress,
                                       fixedSize, &done);
      },
      poll);
  if (converted.SharedPaletteAsked && !converted.SharedPalette)
    Note("\"" + engine.GetModeName() + "\" chooses its colours frame by frame: the frames' " +
         "palettes differ");
  if (s.Stability && converted.Cells > 0)
    Note(std::to_string(count) + " frames; " +
         std::to_string(converted.KeptCells * 100 / converted.Cells) +
         "% of the cells kept from the frame before" +
         (converted.FallbackFrames
              ? " (" + std::to_string(converted.FallbackFrames) + " frames converted whole)"
              : std::string()));

  TVeOutputSet set;
  set.Protect(input);
  set.Protect(s.PaletteFile);
  const std::string base = output.empty() ? VeExtractFileName(input) : output;
  const std::string mode = engine.GetPlatformName() + " " + engine.GetModeName();
  std::vector<const TVeStreamList*> streams;
  std::vector<std::unique_ptr<TVeBitmap32>> shown;
  for (size_t k = 0; k < converted.Frames.size(); ++k) {
    TVeConversionResult& r = converted.Frames[k];
    VeAddResultFiles(set, *r.Bitmap, r.Frames.get(), r.Files.get(), format, VeFrameBase(base, k));
    if (r.Files) streams.push_back(r.Files.get());
    if (previewFormat) shown.push_back(r.Bitmap->ToBitmap32());
  }
  if (previewFormat) {
    if (*previewFormat == sfGIF) {
      std::vector<const TVeBitmap32*> pictures;
      for (auto& b : shown)
        pictures.push_back(b.get());
      set.Add(s.Preview, VeWriteGifAnimation(pictures, converted.DelaysMs));
    } else {
      // Pictures without frames of their own: one file per frame.
      for (size_t k = 0; k < converted.Frames.size(); ++k)
        set.Add(VeChangeFileExt(VeFrameBase(s.Preview, k), VeExtractFileExt(s.Preview)),
                VeEncodeResult(*converted.Frames[k].Bitmap, *previewFormat));
    }
  }
  for (const TVeExporter* e : exporters) {
    if (streams.size() != converted.Frames.size() || streams.empty() || streams[0]->Count() == 0)
      throw EVeError("\"" + engine.GetModeName() + "\" writes no native files to export");
    if (e->WriteAll) {
      VeAddExportAll(set, streams, *e, base, mode);
    } else {
      for (size_t k = 0; k < converted.Frames.size(); ++k)
        VeAddExportFiles(set, *converted.Frames[k].Files, *e, VeFrameBase(base, k), mode);
    }
  }
  for (const std::string& f : CommitFiles(set, s.Force, "choose another name with -o"))
    std::printf("%s\n", f.c_str());
  return 0;
}

} // namespace

void VeCliStartup() {
  VeRegisterPlatforms();
  VeInstallPaletteFileLoader();
  Registry();
}

int VeCliList(bool json) {
  TVeDestEngineList& list = Registry();
  if (json) std::printf("[\n");
  bool first = true;
  for (int p = 0; p < list.Count(); ++p) {
    const TVeDestSubTypes& modes = list.GetSubTypes(p);
    for (int m = 0; m < modes.Count(); ++m) {
      const TVeDestEngineClass* engine = modes.GetEngineClass(m);
      std::unique_ptr<TVeDestEngineOptions> options = engine->Create()->CreateOptions();
      std::string size = "any";
      if (dynamic_cast<TVeDestFixedSizeEngineOptions*>(options.get()))
        size = std::to_string(options->GetWidth()) + "x" + std::to_string(options->GetHeight());
      if (json) {
        const std::string reason = engine->PreviewOnlyReason();
        std::printf("%s  {\"platform\": %s, \"mode\": %s, \"size\": %s, \"scale\": %d, "
                    "\"preview_only\": %s%s%s}",
                    first ? "" : ",\n", JsonString(list.Strings(p)).c_str(),
                    JsonString(modes.Strings(m)).c_str(), JsonString(size).c_str(),
                    engine->GetDisplayScale(), engine->PreviewOnly() ? "true" : "false",
                    reason.empty() ? "" : ", \"preview_reason\": ",
                    reason.empty() ? "" : JsonString(reason).c_str());
      } else {
        // A fifth column marks the modes that do not follow their machine yet, a sixth says
        // why, where the machine's rules are known not to be derivable.
        const std::string reason = engine->PreviewOnlyReason();
        std::printf("%s\t%s\t%s\t%d%s%s\n", list.Strings(p).c_str(), modes.Strings(m).c_str(),
                    size.c_str(), engine->GetDisplayScale(),
                    engine->PreviewOnly() ? "\tpreview only" : "",
                    reason.empty() ? "" : ("\t" + reason).c_str());
      }
      first = false;
    }
  }
  if (json) std::printf("\n]\n");
  return 0;
}

int VeCliConvert(const std::string& input, const std::string& output,
                 const TVeCliConvertSettings& s) {
  if (s.Threads > 0) SetProcessorCount(s.Threads);
  const TVeDestEngineClass& engine = FindEngine(s.Platform, s.Mode);
  TVeSaveFormat format = ParseFormat(s.Format);
  TVeSize fixedSize;
  std::unique_ptr<TVeDestEngineOptions> options = MakeOptions(engine, s, fixedSize);
  if (engine.PreviewOnly())
    Note("\"" + engine.GetPlatformName() + "\" \"" + engine.GetModeName() + "\" is " +
         std::string(VePreviewOnlyCaption + 1, std::strlen(VePreviewOnlyCaption) - 2));
  std::optional<TVeCliRegion> region;
  if (!s.Region.empty()) region = VeParseRegion(s.Region);
  std::optional<TVeSaveFormat> previewFormat;
  if (!s.Preview.empty()) previewFormat = PictureFormatOf("--preview", s.Preview);
  std::vector<const TVeExporter*> exporters;
  for (const std::string& kind : s.Exports) {
    const TVeExporter* e = VeFindExporter(kind);
    if (!e) {
      std::string known;
      for (const TVeExporter& x : VeExporters())
        known += (known.empty() ? "" : ", ") + x.Kind;
      throw EVeUsage("unknown export \"" + kind + "\" (" + known + ")");
    }
    exporters.push_back(e);
  }

  // As the main window opens a file: pictures by content with their palettes, anything
  // else through the best native loader. A whole picture is decoded and converted in one go,
  // which lets the resize overlap the decoding.
  TVeDestProgress progress;
  TVeConversionResult result;
  auto poll = [&progress] {
    uint32_t total = 0, done = 0;
    progress.GetProgress(total, done);
    return std::pair<uint64_t, uint64_t>(done, total);
  };
  // Animations: a folder of frames, a numbered pattern, or a GIF of more than one picture.
  std::unique_ptr<TVeAnimation> animation;
  int type = vptNone;
  std::vector<uint8_t> data;
  std::vector<std::string> folderFiles;
  if (IsFolder(input)) folderFiles = VeBatchFolderFiles(input);
  // A folder without pictures is refused below as any folder is.
  if (!folderFiles.empty()) {
    animation = std::make_unique<TVeAnimation>(VeLoadPictureSequence(folderFiles));
  } else if (VeIsFramePattern(input) && ::access(input.c_str(), F_OK) != 0) {
    std::vector<std::string> files;
    NamingFile(input, [&] { files = VeExpandFramePattern(input); });
    if (files.empty()) throw EVeError(input + ": no file matches the pattern");
    animation = std::make_unique<TVeAnimation>(VeLoadPictureSequence(files));
  } else if (!region) {
    NamingFile(input, [&] {
      type = VePictureFileType(input);
      if (type != vptNone) data = VeReadPictureFile(input);
      if (type == vptGIF && VeGifFrameCount(data.data(), data.size(), 2) > 1)
        animation = std::make_unique<TVeAnimation>(VeDecodeGifAnimation(data.data(), data.size()));
    });
  }
  if (animation) {
    if (region) throw EVeUsage("--region does not apply to animations");
    return ConvertAnimation(input, *animation, output, s, engine, *options, fixedSize, format,
                            previewFormat, exporters);
  }
  if (type != vptNone) {
    TVeFileConversion converted;
    RunWithProgress(
        "Converting",
        [&] {
          converted = VeConvertPictureBytes(engine, *options, type, std::move(data), nullptr,
                                            progress, nullptr, fixedSize);
        },
        poll);
    if (converted.DecodeError)
      NamingFile(input, [&] { std::rethrow_exception(converted.DecodeError); });
    result = std::move(converted.Result);
  } else {
    TVeSource source;
    NamingFile(input, [&] { source.OpenFile(input); });
    if (region) {
      const TVeBitmap32& image = *source.Image();
      if (region->Right > image.Width() || region->Bottom > image.Height())
        throw EVeUsage("--region " + s.Region + " reaches outside the picture (" +
                       std::to_string(image.Width()) + "x" + std::to_string(image.Height()) + ")");
      source.SetRegion(
          {int(region->Left), int(region->Top), int(region->Right), int(region->Bottom)});
    }
    RunWithProgress(
        "Converting",
        [&] {
          result = VeConvertPicture(engine, *options, *source.RegionImage(), source.UsedColors(),
                                    source.FilePalette(), nullptr, progress, nullptr, fixedSize);
        },
        poll);
  }

  // Everything this conversion writes goes in one set: all of it lands, or none.
  TVeOutputSet set;
  set.Protect(input);
  set.Protect(s.PaletteFile);
  std::string base = output.empty() ? VeExtractFileName(input) : output;
  VeAddResultFiles(set, *result.Bitmap, result.Frames.get(), result.Files.get(), format, base);
  if (previewFormat) set.Add(s.Preview, VeEncodeResult(*result.Bitmap, *previewFormat));
  for (const TVeExporter* e : exporters) {
    if (!result.Files || result.Files->Count() == 0)
      throw EVeError("\"" + engine.GetModeName() + "\" writes no native files to export");
    VeAddExportFiles(set, *result.Files, *e, base,
                     engine.GetPlatformName() + " " + engine.GetModeName());
  }
  for (const std::string& f : CommitFiles(set, s.Force, "choose another name with -o"))
    std::printf("%s\n", f.c_str());
  return 0;
}

int VeCliBatch(const std::string& sourceDir, const std::string& destDir,
               const TVeCliConvertSettings& s) {
  if (s.Threads > 0) SetProcessorCount(s.Threads);
  TVeSaveFormat format = ParseFormat(s.Format);
  const TVeBatchShard shard{s.ShardIndex, s.ShardCount};
  const TVeDestEngineClass* engine = nullptr;
  TVeSize fixedSize;
  std::unique_ptr<TVeDestEngineOptions> options;
  if (!s.Import) {
    engine = &FindEngine(s.Platform, s.Mode);
    options = MakeOptions(*engine, s, fixedSize);
  }
  struct stat st;
  if (::stat(sourceDir.c_str(), &st) != 0) throw EVeError(sourceDir + ": " + std::strerror(errno));
  if (!S_ISDIR(st.st_mode)) throw EVeUsage(sourceDir + " is not a folder");
  std::vector<std::string> files =
      s.Import ? VeBatchFolderAllFiles(sourceDir) : VeBatchFolderFiles(sourceDir);
  if (files.empty())
    throw EVeError(sourceDir + (s.Import ? std::string(": no files to import")
                                         : ": no pictures to convert (.jpg, .jpeg, .bmp, .png "
                                           "or .gif)"));

  std::unique_ptr<TVeBatchThread> started =
      s.Import ? std::make_unique<TVeBatchThread>(TVeBatchImport{}, files, format, destDir,
                                                  sourceDir, s.Force, shard)
               : std::make_unique<TVeBatchThread>(files, format, *engine, *options, destDir,
                                                  sourceDir, s.Force, fixedSize, shard);
  TVeBatchThread& batch = *started;
  TVeCliProgressBar bar("Batch", [&batch] {
    TVeBatchStatus st = batch.Status();
    return std::pair<uint64_t, uint64_t>(uint64_t(st.Position), uint64_t(st.MaxPosition));
  });
  // Written files go to standard output like convert's; failures are error lines.
  auto flush = [&] {
    TVeBatchLogEntry e;
    while (batch.TakeLogEntry(e)) {
      if (e.Failed) {
        bar.Print(stderr, "error: " + e.Path + ": " + e.Message);
      } else {
        for (const std::string& f : e.Written)
          bar.Print(stdout, f);
      }
    }
  };
  while (!batch.Finished()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    flush();
  }
  batch.WaitFor();
  flush();
  bar.Finish();
  // An empty part is no failure: a job array may well have more parts than files.
  const int count = batch.Status().Count;
  if (count == 0)
    Note("part " + std::to_string(shard.Index) + "/" + std::to_string(shard.Count) + " of " +
         sourceDir + " holds none of its " + std::to_string(files.size()) + " files");
  int failed = batch.FailedCount();
  if (failed > 0)
    std::fprintf(stderr, "error: %d of %d %s\n", failed, count,
                 s.Import ? "files not imported" : "pictures not converted");
  return failed > 0 ? 1 : 0;
}

int VeCliProbe(const std::string& file) {
  TVeFileLoadSource source(file);
  if (source.Size == 0) throw EVeError(file + ": " + source.EmptyReason());
  std::unique_ptr<TVeSourceEngineList> engines = ProbeSource(&source);
  if (!engines || engines->Count() == 0) throw EVeError(file + ": Unknown image type");
  // The first column is what import's --candidate takes; the list is best first.
  std::printf("candidate\tpriority\tloader\n");
  for (int i = 0; i < engines->Count(); ++i)
    std::printf("%d\t%d\t%s\n", i, engines->Engines(i)->Priority,
                engines->Engines(i)->Description.c_str());
  return 0;
}

int VeCliImport(const std::string& file, const std::string& output, int candidate,
                const std::string& paletteType, const std::string& calculation, bool force) {
  TVeSaveFormat format = PictureFormatOf("-o", output);
  TVeFileLoadSource source(file);
  if (source.Size == 0) throw EVeError(file + ": " + source.EmptyReason());
  std::unique_ptr<TVeSourceEngineList> engines = ProbeSource(&source);
  if (!engines || engines->Count() == 0) throw EVeError(file + ": Unknown image type");
  if (candidate >= engines->Count())
    throw EVeUsage("--candidate " + std::to_string(candidate) + ": only " +
                   std::to_string(engines->Count()) + " loader(s) take this file");
  // Only the chosen loader decodes: a better one that fails must not stop it.
  std::unique_ptr<TVeImportModel> decoded;
  NamingFile(file, [&] { decoded = std::make_unique<TVeImportModel>(*engines, candidate); });
  TVeImportModel& model = *decoded;
  TVeSourceEngine* engine = model.Engine();
  for (const std::string& note : engine->Notes)
    Note(file + ": " + note);
  if (!paletteType.empty()) {
    int type = VePaletteTypeByName(paletteType);
    bool offered = false;
    std::string names;
    for (TVePaletteType t : engine->PaletteTypes) {
      offered = offered || int(t) == type;
      names += (names.empty() ? "" : ", ") + std::string(VePaletteTypeIdent(int(t))) + " (\"" +
               VePaletteTypeName(t) + "\")";
    }
    if (!offered)
      throw EVeUsage(
          "--palette-type " + paletteType + " is not offered by this loader " +
          (names.empty() ? std::string("(it has no palette choice)") : "(offered: " + names + ")"));
    NamingFile(file, [&] { model.SetPaletteType(TVePaletteType(type)); });
  }
  if (!calculation.empty()) {
    uint8_t c = VeSameText(calculation, "standard") ? vcStandard : vcLinear;
    if (!(engine->Calculations & (1 << c))) {
      std::string offered;
      if (engine->Calculations & (1 << vcStandard)) offered = "standard";
      if (engine->Calculations & (1 << vcLinear))
        offered += offered.empty() ? "linear" : " or linear";
      throw EVeUsage("--calculation " + calculation + " is not offered by this loader" +
                     (offered.empty() ? std::string() : " (offered: " + offered + ")"));
    }
    NamingFile(file, [&] { model.SetCalculation(c); });
  }
  TVeOutputSet set;
  set.Protect(file);
  set.Add(output, VeEncodeResult(*model.Bitmap(), format));
  for (const std::string& f : CommitFiles(set, force, "choose another name with -o"))
    std::printf("%s\n", f.c_str());
  return 0;
}

int VeCliPalette(const std::string& file, const std::string& output, bool force) {
  if (!output.empty() && !VeSameText(VeExtractFileExt(output), ".pal"))
    throw EVeUsage("-o " + output +
                   ": palettes are written as JASC files; use a name ending in .pal");
  TVePalette256 palette;
  NamingFile(file, [&] { VeLoadPaletteFromFile(palette, file); });
  if (!output.empty()) {
    std::string jasc = VePaletteToJASC(palette);
    TVeOutputSet set;
    set.Protect(file);
    set.Add(output, std::vector<uint8_t>(jasc.begin(), jasc.end()));
    CommitFiles(set, force, "choose another name with -o");
  }
  std::printf("%d\n", palette.GetCount());
  for (int i = 0; i < palette.GetCount(); ++i) {
    TVeStdRGBColor c = palette.GetStdRGB(i);
    std::printf("%d %d %d\n", c.R, c.G, c.B);
  }
  return 0;
}

int VeCliCheck(const std::string& file, const TVeCliConvertSettings& s) {
  const TVeDestEngineClass& engine = FindEngine(s.Platform, s.Mode);
  TVeSize fixedSize;
  std::unique_ptr<TVeDestEngineOptions> options = MakeOptions(engine, s, fixedSize);
  const std::string name = "\"" + engine.GetPlatformName() + "\" \"" + engine.GetModeName() + "\"";
  const TVeModeRule rule = engine.GetModeRule(*options);
  if (!rule.Checkable)
    throw EVeUsage(name + " has no rule check yet" +
                   (rule.Reason.empty() ? std::string() : " (" + rule.Reason + ")"));
  // A file that cannot be read is the caller's mistake, like a missing argument.
  TVeSource source;
  try {
    NamingFile(file, [&] { source.OpenFile(file); });
  } catch (const EVeUsage&) {
    throw;
  } catch (const EVeError& e) {
    throw EVeUsage(e.what());
  }
  const TVeBitmap32& picture = *source.Image();
  const int w = options->GetWidth(), h = options->GetHeight();
  if (picture.Width() != w || picture.Height() != h)
    throw EVeUsage(file + ": the picture is " + std::to_string(picture.Width()) + "x" +
                   std::to_string(picture.Height()) + ", " + name + " needs " + std::to_string(w) +
                   "x" + std::to_string(h));
  const std::vector<TVeRuleBreak> breaks = VeCheckRule(rule, picture);
  for (const TVeRuleBreak& b : breaks)
    std::printf("%s\n", b.Text().c_str());
  if (breaks.empty())
    std::printf("%s: obeys the rule of %s\n", file.c_str(), name.c_str());
  else
    std::printf("%s: %zu %s the rule of %s\n", file.c_str(), breaks.size(),
                breaks.size() == 1 ? "place breaks" : "places break", name.c_str());
  return breaks.empty() ? 0 : 1;
}
