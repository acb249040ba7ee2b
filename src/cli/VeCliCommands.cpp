// The commands of velmora-cli over the core: the registry, the source loading, the
// conversion pipeline, the batch thread and the savers.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "VeBatch.h"
#include "VeBitmap.h"
#include "VeCli.h"
#include "VeCommonEngines.h"
#include "VeDestEngineList.h"
#include "VeLoadSource.h"
#include "VePaletteFiles.h"
#include "VePlatforms.h"
#include "VeSaveResult.h"
#include "VeSource.h"
#include "VeSourceEngines.h"
#include "VeStream.h"
#include "VeThreadJob.h"

// Declared in VeCliFields.cpp.
std::string VeSetFieldName(const std::string& assignment);
void VeApplySet(TVeDestEngineOptions& options, const std::string& assignment);
int VePaletteTypeByName(const std::string& text);
const char* VePaletteTypeName(int type);

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
    std::string m = e.what();
    if (m.find(file) != std::string::npos) throw;
    throw EVeError(file + ": " + m);
  }
}

// The options of the chosen engine with the command line's settings.
std::unique_ptr<TVeDestEngineOptions> MakeOptions(const TVeDestEngineClass& engine,
                                                  const TVeCliConvertSettings& s) {
  bool sizeSet = false, lockSet = false;
  for (const std::string& a : s.Sets) {
    std::string field = VeSetFieldName(a);
    sizeSet = sizeSet || field == "Width" || field == "Height";
    lockSet = lockSet || field == "DimensionLock";
  }
  std::unique_ptr<TVePalette256> palette;
  if (!s.PaletteFile.empty()) {
    palette = std::make_unique<TVePalette256>();
    NamingFile(s.PaletteFile, [&] { VeLoadPaletteFromFile(*palette, s.PaletteFile); });
  }
  std::unique_ptr<TVeDestEngine> instance = engine.Create();
  std::unique_ptr<TVeDestEngineOptions> options = instance->CreateOptions();
  // A palette file stands for a palette chosen in the "P&alette:" list, so it applies to the
  // modes whose panel has that list.
  if (palette && !instance->CreateUI(*options)->Has(ciPaletteList))
    throw EVeUsage("--palette does not apply to \"" + engine.GetPlatformName() + "\" \"" +
                   engine.GetModeName() + "\" (try -p Common -m Palette)");
  options->BeginUpdate();
  // An explicit size is kept whatever the picture's size.
  if (sizeSet && !lockSet) options->SetDimensionLock(true);
  for (const std::string& a : s.Sets)
    VeApplySet(*options, a);
  if (palette) {
    options->SetPaletteType(ptColored);
    options->SetPalette(palette.get());
  }
  options->EndUpdate();
  return options;
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

void MakeParentFolder(const std::string& path) {
  std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (parent.empty()) return;
  std::error_code ec;
  std::filesystem::create_directories(parent, ec);
  if (ec) throw EVeError("Cannot create folder " + parent.string() + ": " + ec.message());
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
        std::printf("%s  {\"platform\": %s, \"mode\": %s, \"size\": %s, \"scale\": %d}",
                    first ? "" : ",\n", JsonString(list.Strings(p)).c_str(),
                    JsonString(modes.Strings(m)).c_str(), JsonString(size).c_str(),
                    engine->GetDisplayScale());
      } else {
        std::printf("%s\t%s\t%s\t%d\n", list.Strings(p).c_str(), modes.Strings(m).c_str(),
                    size.c_str(), engine->GetDisplayScale());
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
  std::unique_ptr<TVeDestEngineOptions> options = MakeOptions(engine, s);
  std::optional<TVeCliRegion> region;
  if (!s.Region.empty()) region = VeParseRegion(s.Region);

  // As the main window opens a file: pictures by content with their palettes, anything
  // else through the best native loader.
  TVeSource source;
  NamingFile(input, [&] { source.OpenFile(input); });
  if (region) {
    const TVeBitmap32& image = *source.Image();
    if (region->Right > image.Width() || region->Bottom > image.Height())
      throw EVeUsage("--region " + s.Region + " reaches outside the picture (" +
                     std::to_string(image.Width()) + "x" + std::to_string(image.Height()) + ")");
    source.SetRegion({region->Left, region->Top, region->Right, region->Bottom});
  }

  TVeDestProgress progress;
  TVeConversionResult result;
  RunWithProgress(
      "Converting",
      [&] {
        result = VeConvertPicture(engine, *options, *source.RegionImage(), source.UsedColors(),
                                  source.FilePalette(), nullptr, progress);
      },
      [&progress] {
        uint32_t total = 0, done = 0;
        progress.GetProgress(total, done);
        return std::pair<uint64_t, uint64_t>(done, total);
      });

  std::string base = output.empty() ? VeExtractFileName(input) : output;
  MakeParentFolder(base);
  std::vector<std::string> written =
      VeSaveResultFiles(*result.Bitmap, result.Frames.get(), result.Files.get(), format, base);
  if (!s.Preview.empty()) {
    MakeParentFolder(s.Preview);
    VeWriteFileAtomic(s.Preview, VeEncodeResult(*result.Bitmap, VeSaveFormatFromName(s.Preview)));
    written.push_back(s.Preview);
  }
  for (const std::string& f : written)
    std::printf("%s\n", f.c_str());
  return 0;
}

int VeCliBatch(const std::string& sourceDir, const std::string& destDir,
               const TVeCliConvertSettings& s) {
  if (s.Threads > 0) SetProcessorCount(s.Threads);
  const TVeDestEngineClass& engine = FindEngine(s.Platform, s.Mode);
  TVeSaveFormat format = ParseFormat(s.Format);
  if (!s.Region.empty()) throw EVeUsage("--region does not apply to a batch");
  if (!s.Preview.empty()) throw EVeUsage("--preview does not apply to a batch");
  std::unique_ptr<TVeDestEngineOptions> options = MakeOptions(engine, s);

  TVeBatchThread batch({}, format, engine, *options, destDir, sourceDir);
  auto flush = [&batch] {
    for (std::string line = batch.TakeLogLine(); !line.empty(); line = batch.TakeLogLine())
      std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  };
  {
    TVeCliProgressBar bar("Batch", [&batch] {
      TVeBatchStatus st = batch.Status();
      return std::pair<uint64_t, uint64_t>(uint64_t(st.Position), uint64_t(st.MaxPosition));
    });
    while (!batch.Finished()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      if (batch.Finished()) break;
      // Keep the bar's line clean: log lines are printed once the bar is gone when stdout
      // and stderr share a terminal.
      flush();
    }
    bar.Finish();
  }
  batch.WaitFor();
  flush();
  return batch.FailedCount() > 0 ? 1 : 0;
}

int VeCliProbe(const std::string& file) {
  TVeFileLoadSource source(file);
  if (source.Size == 0) throw EVeError(file + ": Unknown image type");
  std::unique_ptr<TVeSourceEngineList> engines = ProbeSource(&source);
  if (!engines || engines->Count() == 0) throw EVeError(file + ": Unknown image type");
  for (int i = 0; i < engines->Count(); ++i)
    std::printf("%d\t%s\n", engines->Engines(i)->Priority,
                engines->Engines(i)->Description.c_str());
  return 0;
}

int VeCliImport(const std::string& file, const std::string& output, int candidate,
                const std::string& paletteType, const std::string& calculation) {
  TVeFileLoadSource source(file);
  if (source.Size == 0) throw EVeError(file + ": Unknown image type");
  std::unique_ptr<TVeSourceEngineList> engines = ProbeSource(&source);
  if (!engines || engines->Count() == 0) throw EVeError(file + ": Unknown image type");
  if (candidate >= engines->Count())
    throw EVeUsage("--candidate " + std::to_string(candidate) + ": only " +
                   std::to_string(engines->Count()) + " loader(s) take this file");
  TVeImportModel model(*engines);
  model.SelectEngine(candidate);
  TVeSourceEngine* engine = model.Engine();
  if (!paletteType.empty()) {
    int type = VePaletteTypeByName(paletteType);
    bool offered = false;
    std::string names;
    for (TVePaletteType t : engine->PaletteTypes) {
      offered = offered || int(t) == type;
      names += (names.empty() ? "" : ", ") + std::string(VePaletteTypeName(t));
    }
    if (!offered)
      throw EVeUsage("--palette-type " + paletteType + " is not offered by this loader" +
                     (names.empty() ? std::string() : " (offered: " + names + ")"));
    model.SetPaletteType(TVePaletteType(type));
  }
  if (!calculation.empty()) {
    uint8_t c = VeSameText(calculation, "standard") ? vcStandard : vcLinear;
    if (!(engine->Calculations & (1 << c)))
      throw EVeUsage("--calculation " + calculation + " is not offered by this loader");
    model.SetCalculation(c);
  }
  TVeSaveFormat format = VeSaveFormatFromName(output);
  MakeParentFolder(output);
  VeWriteFileAtomic(output, VeEncodeResult(*model.Bitmap(), format));
  std::printf("%s\n", output.c_str());
  return 0;
}

int VeCliPalette(const std::string& file, const std::string& output) {
  TVePalette256 palette;
  NamingFile(file, [&] { VeLoadPaletteFromFile(palette, file); });
  std::printf("%d\n", palette.GetCount());
  for (int i = 0; i < palette.GetCount(); ++i) {
    TVeStdRGBColor c = palette.GetStdRGB(i);
    std::printf("%d %d %d\n", c.R, c.G, c.B);
  }
  if (!output.empty()) {
    MakeParentFolder(output);
    std::string jasc = VePaletteToJASC(palette);
    VeWriteFileAtomic(output, jasc.data(), jasc.size());
  }
  return 0;
}
