// velmora-cli: the converter for scripts and build pipelines.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <limits>
#include <tuple>

#include "VeCli.h"
#include "VeMemory.h"

namespace {

// single: the options of converting one picture, which a batch has no use for.
void AddConvertOptions(CLI::App* cmd, TVeCliConvertSettings& s, bool single) {
  cmd->add_option("-p,--platform", s.Platform, "Target platform (default \"ZX Spectrum\")");
  cmd->add_option("-m,--mode", s.Mode, "Screen mode (default: the platform's first mode)");
  cmd->add_option("-f,--format", s.Format, "Output format: native, bmp, png or gif")
      ->check(CLI::IsMember({"native", "bmp", "png", "gif"}, CLI::ignore_case));
  cmd->add_option("--set", s.Sets, "Set an option field: FIELD=VALUE (repeatable)")
      ->allow_extra_args(false);
  cmd->add_option("--palette", s.PaletteFile, "Palette file for the \"Palette\" mode");
  if (single) {
    cmd->add_option("--region", s.Region, "Source region LEFT,TOP,RIGHT,BOTTOM");
    cmd->add_option("--preview", s.Preview,
                    "Also write the result picture to this file (.png, .bmp or .gif)");
    cmd->add_option(
           "--export", s.Exports,
           "Also export the native files: c, asm, raw, lz4, zx0, tap, tap-show, tap-giga or dsk "
           "(repeatable)")
        ->allow_extra_args(false);
    cmd->add_flag("!--no-stability", s.Stability,
                  "Animations: convert every cell of every frame afresh (dithering may crawl)");
    cmd->add_option("--stability-threshold", s.StabilityThreshold,
                    "Animations: largest change in a cell's source that keeps its previous "
                    "result (default 12)")
        ->check(CLI::Range(0, 255));
    cmd->add_flag("--palette-per-frame", s.PalettePerFrame,
                  "Animations: choose a free palette per frame rather than once for all");
  }
  cmd->add_flag("--force", s.Force, "Replace existing files even when they are read-only");
  cmd->add_option("--threads", s.Threads, "Worker threads (default: one per processor)")
      ->check(CLI::Range(1, 256));
}

} // namespace

int main(int argc, char** argv) {
  VeKeepPictureMemory();
  CLI::App app{"Velmora converts pictures into the screen modes of old home computers."};
  app.name("velmora-cli");
  app.require_subcommand(1);
  app.set_version_flag("--version", "velmora-cli " VELMORA_VERSION);

  bool json = false;
  auto* list = app.add_subcommand("list", "List every platform and screen mode");
  list->add_flag("--json", json, "Write the list as JSON");

  std::string input, output;
  TVeCliConvertSettings settings;
  auto* convert = app.add_subcommand("convert", "Convert one picture or native file");
  convert
      ->add_option("INPUT", input,
                   "Picture, native file, animated GIF, folder of frames or a pattern such as "
                   "frame%04d.png")
      ->required();
  convert->add_option("-o,--output", output,
                      "Name the written files are derived from (default: the input's name in "
                      "the current folder)");
  AddConvertOptions(convert, settings, true);

  std::string sourceDir, destDir;
  TVeCliConvertSettings batchSettings;
  auto* batch = app.add_subcommand("batch", "Convert every picture of a folder");
  batch->add_option("SOURCE_DIR", sourceDir, "Folder with the pictures")->required();
  batch->add_option("DEST_DIR", destDir, "Folder for the results")->required();
  AddConvertOptions(batch, batchSettings, false);
  batch->add_flag("--import", batchSettings.Import,
                  "Decode every file as a native screen into a picture (-f png by default)");
  std::string shard;
  batch->add_option("--shard", shard, "Convert only part PART of PARTS of the folder")
      ->type_name("PART/PARTS");

  std::string probeFile;
  auto* probe = app.add_subcommand("probe", "List the loaders that take a native file");
  probe->add_option("FILE", probeFile, "Native file")->required();

  std::string importFile, importOut, paletteType, calculation;
  int candidate = 0;
  bool importForce = false, paletteForce = false;
  auto* import = app.add_subcommand("import", "Decode a native file into a picture");
  import->add_option("FILE", importFile, "Native file")->required();
  import->add_option("-o,--output", importOut, "Picture to write (.png, .bmp or .gif)")->required();
  import->add_flag("--force", importForce, "Replace the picture even when it is read-only");
  import
      ->add_option("--candidate", candidate,
                   "Loader to use: the first column of probe (0, the best, by default)")
      ->check(CLI::Range(0, std::numeric_limits<int>::max()));
  import->add_option("--palette-type", paletteType, "Palette type offered by the loader");
  import->add_option("--calculation", calculation, "Colour calculation: standard or linear")
      ->check(CLI::IsMember({"standard", "linear"}, CLI::ignore_case));

  std::string paletteFile, paletteOut;
  auto* palette = app.add_subcommand("palette", "Show a palette file, or convert it to JASC");
  palette->add_option("FILE", paletteFile, "Palette file or picture")->required();
  palette->add_option("-o,--output", paletteOut, "Write the palette as a JASC .pal file");
  palette->add_flag("--force", paletteForce, "Replace the .pal file even when it is read-only");

  std::string checkFile;
  TVeCliConvertSettings checkSettings;
  auto* check =
      app.add_subcommand("check", "Check a picture drawn for a mode against the mode's rule");
  check->add_option("PICTURE", checkFile, "Picture of the mode's size")->required();
  check->add_option("-p,--platform", checkSettings.Platform,
                    "Target platform (default \"ZX Spectrum\")");
  check->add_option("-m,--mode", checkSettings.Mode,
                    "Screen mode (default: the platform's first mode)");
  check->add_option("--set", checkSettings.Sets, "Set an option field: FIELD=VALUE (repeatable)")
      ->allow_extra_args(false);

  if (argc >= 2 && argv[1][0] != '-') {
    bool known = false;
    for (const CLI::App* sub : app.get_subcommands({}))
      known = known || sub->get_name() == argv[1];
    if (!known) {
      std::fprintf(stderr,
                   "error: unknown command \"%s\" (list, convert, batch, check, probe, import or "
                   "palette)\n",
                   argv[1]);
      return 2;
    }
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "error: %s\n", e.what());
    return 2;
  }

  try {
    if (*batch && batch->get_option("--shard")->count() > 0)
      std::tie(batchSettings.ShardIndex, batchSettings.ShardCount) = VeParseShard(shard);
    if (*batch && batchSettings.Import) {
      for (const char* name : {"--platform", "--mode", "--set", "--palette"})
        if (batch->get_option(name)->count() > 0)
          throw EVeUsage(std::string(name) + " does not apply to --import, which decodes files");
      if (batch->get_option("--format")->count() == 0)
        batchSettings.Format = "png";
      else if (VeSameText(batchSettings.Format, "native"))
        throw EVeUsage("--import writes pictures: -f png, bmp or gif");
    }
    VeCliStartup();
    if (*list) return VeCliList(json);
    if (*convert) return VeCliConvert(input, output, settings);
    if (*batch) return VeCliBatch(sourceDir, destDir, batchSettings);
    if (*check) return VeCliCheck(checkFile, checkSettings);
    if (*probe) return VeCliProbe(probeFile);
    if (*import)
      return VeCliImport(importFile, importOut, candidate, paletteType, calculation, importForce);
    if (*palette) return VeCliPalette(paletteFile, paletteOut, paletteForce);
  } catch (const EVeUsage& e) {
    std::fprintf(stderr, "error: %s\n", e.what());
    return 2;
  } catch (const EAbort&) {
    std::fprintf(stderr, "error: cancelled\n");
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "error: %s\n", e.what());
    return 1;
  }
  return 2;
}
