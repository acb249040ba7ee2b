#pragma once
// Exports of a conversion's native files in the forms makers put straight into their
// projects: C and assembler includes, the bare data, and what a platform adds (a tape).
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TVeStream;
class TVeStreamList;
class TVeOutputSet;

struct TVeExporter {
  std::string Kind;       // the command-line name: "c", "asm", "raw", "lz4", "zx0", "tap"
  std::string Caption;    // the menu entry: "C header", ...
  std::string Extension;  // of the written file, without the dot
  bool WholeName = false; // named after the result ("pic.tap") rather than each file ("pic_scr.h")
  // Whether the exporter takes a native file (by its stream); all files when not set.
  std::function<bool(const TVeStream&)> Accepts;
  // The export of one native file. name is the identifier made from the file's name, mode
  // "Platform mode", file the native file's name.
  std::function<std::vector<uint8_t>(const TVeStream& stream, const std::string& name,
                                     const std::string& mode, const std::string& file)>
      Write;
  // Packed data: named after the native file ("pic.scr.zx0"), and written with a C header and
  // an assembler include of the packed bytes beside it ("pic_scr_zx0.h", "pic_scr_zx0.asm").
  bool Packed = false;
  // An export of every screen of a conversion in one file (a slide-show tape, a disk), named
  // after the result ("pic.tap"); name is the result's name without folder and extension. frames
  // holds each screen's native files in showing order: one entry for a still picture, one per frame
  // for an animation. When set, Write is not used.
  std::function<std::vector<uint8_t>(const std::vector<const TVeStreamList*>& frames,
                                     const std::string& name, const std::string& mode)>
      WriteAll;
};

// The exporters in menu order: those of every mode first, then the platforms' own.
std::vector<TVeExporter> VeExporters();
const TVeExporter* VeFindExporter(const std::string& kind);
// For platforms, at registration; an exporter of a known kind is not added twice.
void VeRegisterExporter(TVeExporter exporter);

// A C identifier made from a file name: "astro.scr" gives "astro_scr", "8bit.scr" "_8bit_scr".
std::string VeIdentifierOf(const std::string& fileName);

// Queues the exports of kind for each native file (companions included) named after base as
// the native files are. Raises EVeError when no file can take that kind.
void VeAddExportFiles(TVeOutputSet& set, TVeStreamList& streams, const TVeExporter& exporter,
                      const std::string& base, const std::string& mode);
// Queues one file of an exporter with WriteAll for all frames of a conversion, named base with
// the exporter's extension.
void VeAddExportAll(TVeOutputSet& set, const std::vector<const TVeStreamList*>& frames,
                    const TVeExporter& exporter, const std::string& base, const std::string& mode);
