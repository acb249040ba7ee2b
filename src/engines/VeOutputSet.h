#pragma once
// The files one command writes, committed together: every file of a conversion is in place
// or none is, no input of the command is ever replaced, no two files share one name, and a
// replaced file keeps its permissions.
#include <cstdint>
#include <string>
#include <vector>

#include "VeErrors.h"

// Why a set of files was refused before anything was written.
enum class TVeOutputRefusal {
  InputFile, // the name is one of the files the command reads
  Duplicate, // two files of the set share one name
  ReadOnly,  // an existing file that may not be replaced without being forced
  Folder,    // the name is a folder
  NoName,    // the name has no file name part
  Special,   // the name is, or links to, a device, pipe or socket
};

class EVeOutputRefused : public EVeError {
public:
  EVeOutputRefused(TVeOutputRefusal kind, std::string path, const std::string& message)
      : EVeError(message), Kind(kind), Path(std::move(path)) {}
  TVeOutputRefusal Kind;
  std::string Path;
};

class TVeStream;

class TVeOutputSet {
public:
  // A file the command reads; no file of the set may be that file, however it is spelt
  // (another path, a symbolic or a hard link).
  void Protect(const std::string& path);
  // Queues a file; later files with the same name are refused at Check.
  void Add(const std::string& path, std::vector<uint8_t> bytes);
  // Queues a stream under fileName and its companion files depth first, each named like the
  // file it belongs to with its own extension. With adjustName the stream may first change
  // its name part (interactive saving). The stream's header is filled for the final name.
  void AddStream(TVeStream& stream, const std::string& fileName, bool adjustName);

  // The queued names, in order.
  const std::vector<std::string>& Names() const { return FNames; }
  bool Empty() const { return FNames.empty(); }
  // True when path names the same file as a queued name or a protected file.
  bool Takes(const std::string& path) const;

  // Raises EVeOutputRefused for the first rule the set breaks; writes nothing. An existing
  // file without write permission is replaced only with replaceReadOnly.
  void Check(bool replaceReadOnly) const;
  // Check, then write every file: first each to a temporary file beside it, then all are
  // renamed into place. On any failure the files that existed before are restored, the new
  // ones and the folders made for them are removed, and EVeError names the file. Returns the
  // names written, in order.
  std::vector<std::string> Commit(bool replaceReadOnly = false);

  // Whether Commit makes missing folders (and removes them again on failure).
  bool MakeFolders = true;

private:
  std::vector<std::string> FNames;
  std::vector<std::vector<uint8_t>> FBytes;
  std::vector<std::string> FProtected;
};

// The same identity test used by the set: both paths exist and are one file, or they are
// spelt the same once made absolute and normal.
bool VeSameFile(const std::string& a, const std::string& b);
// The path made absolute, with its existing part's links resolved and "." and ".." removed.
std::string VeNormalPath(const std::string& path);
