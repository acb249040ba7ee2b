#pragma once
// The "dsk" export: a disk image holding every screen of a conversion. Platforms whose machines
// load disk images register a writer for their native files; the export takes the writer of
// the first screen's files, which then refuses (EVeError) screens of any other kind.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TVeStream;
class TVeStreamList;

struct TVeDiskWriter {
  std::string Name;      // who writes: a writer of a name already known is not added again
  std::string Extension; // of the native file it puts on disk, without the dot ("sc5")
  // More that a file of that extension must be (a header, a size); all when not set.
  std::function<bool(const TVeStream&)> Accepts;
  // The image of all frames; name is the result's name without folder and extension.
  std::function<std::vector<uint8_t>(const std::vector<const TVeStreamList*>& frames,
                                     const std::string& name, const std::string& mode)>
      Write;
};

// Adds a writer, and the "dsk" exporter with the first one. Writers are asked in the order
// they came; several may share an extension and tell their files apart with Accepts.
void VeRegisterDiskWriter(TVeDiskWriter writer);
// The writer for a native file, or null.
const TVeDiskWriter* VeFindDiskWriter(const TVeStream& stream);

// Upper-case 8.3 names for the files of a disk: name (cut to what is left of 8 characters
// after a number that tells the screens apart) with each screen's extension. Characters other
// than letters and digits become "-"; the same name and count always give the same names, and no
// two are equal. count is the number of screens, index the one named.
std::string VeDiskFileName(const std::string& name, size_t index, size_t count,
                           const std::string& extension);
