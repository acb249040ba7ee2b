#include "VeLoadSource.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <unordered_map>

#include "VeErrors.h"
#include "VePictureCodecs.h"

namespace {

std::string Lower(std::string s) {
  for (char& c : s)
    c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && Lower(a) == Lower(b);
}

// The regular files of a folder by their lower-case names, kept while the folder is
// unchanged. A batch over a folder asks it for an absent companion of every file, and a
// listing per file made the whole batch quadratic in the folder's size.
class TFolderIndex {
public:
  // The name of a regular file of the folder equal to name but for case, or "".
  std::string Find(const std::filesystem::path& folder, const std::string& name) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_time_type stamp = fs::last_write_time(folder, ec);
    if (ec) return {};
    // A folder changed a moment ago may change again within its clock's tick (a few
    // milliseconds on Linux) without a new stamp: such a folder is listed afresh.
    const bool settled = fs::file_time_type::clock::now() - stamp > std::chrono::seconds(2);
    const std::string key = folder.lexically_normal().string();
    std::lock_guard<std::mutex> lock(FMutex);
    auto it = FFolders.find(key);
    if (it != FFolders.end() && it->second.Stamp == stamp && settled)
      return Lookup(it->second, name);
    TFolder listed;
    listed.Stamp = stamp;
    for (fs::directory_iterator d(folder, ec), end; !ec && d != end; d.increment(ec)) {
      std::error_code typeError;
      if (!d->is_regular_file(typeError)) continue;
      const std::string actual = d->path().filename().string();
      // Several spellings of one name: the same one every time, whatever the listing order.
      auto [at, added] = listed.Names.emplace(Lower(actual), actual);
      if (!added && actual < at->second) at->second = actual;
    }
    const std::string found = Lookup(listed, name);
    if (settled) {
      if (FFolders.size() >= MaxFolders) FFolders.clear();
      FFolders[key] = std::move(listed);
    }
    return found;
  }

private:
  static constexpr size_t MaxFolders = 16;
  struct TFolder {
    std::filesystem::file_time_type Stamp;
    std::unordered_map<std::string, std::string> Names;
  };
  static std::string Lookup(const TFolder& f, const std::string& name) {
    auto found = f.Names.find(Lower(name));
    return found == f.Names.end() ? std::string() : found->second;
  }
  std::mutex FMutex;
  std::unordered_map<std::string, TFolder> FFolders;
};

TFolderIndex& FolderIndex() {
  static TFolderIndex index;
  return index;
}

} // namespace

std::string VeLowerExt(const std::string& name) {
  const std::string file = VeExtractFileName(name);
  const size_t dot = file.rfind('.');
  return dot == std::string::npos ? std::string() : Lower(file.substr(dot));
}

std::string VeCompanionName(const std::string& name, const std::string& ext) {
  const size_t dot = name.rfind('.');
  const std::string old = dot == std::string::npos ? "" : name.substr(dot);
  const bool upper = std::any_of(
      old.begin(), old.end(), [](char c) { return std::isupper(static_cast<unsigned char>(c)); });
  std::string e = ext;
  if (upper)
    for (char& c : e)
      c = char(std::toupper(static_cast<unsigned char>(c)));
  return (dot == std::string::npos ? name : name.substr(0, dot)) + e;
}

const TVeLoadSourceRec* TVeLoadSource::FindFile(const std::string&) {
  return nullptr;
}

TVeFileLoadSource::TVeFileLoadSource(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  Folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  if (const TVeLoadSourceRec* rec = Load(VeExtractFileName(path), FMainProblem)) {
    Name = rec->Name;
    Ext = rec->Ext;
    Data = rec->Data.data();
    Size = rec->Size;
  } else {
    Name = VeExtractFileName(path);
    Ext = VeLowerExt(Name);
    // A path ending in a delimiter has no file name; the read says what it names.
    if (Name.empty()) {
      try {
        VeReadFileHead(path, 0);
      } catch (const EVeError& e) {
        FMainProblem = e.what();
      }
    }
  }
}

const TVeLoadSourceRec* TVeFileLoadSource::FindFile(const std::string& name) {
  std::string problem; // a missing companion file is simply absent
  return Load(name, problem);
}

std::string TVeLoadSource::CompanionProblem(const std::string&) {
  return {};
}

std::string TVeFileLoadSource::CompanionProblem(const std::string& name) {
  std::string problem;
  if (Load(name, problem) || problem == "No such file") return {};
  return problem;
}

std::string TVeFileLoadSource::EmptyReason() const {
  return FMainProblem.empty() ? std::string("Unknown image type") : FMainProblem;
}

const TVeLoadSourceRec* TVeFileLoadSource::Load(const std::string& name, std::string& problem) {
  for (const auto& rec : Files)
    if (SameText(rec->Name, name)) return rec.get();
  // Names come from file contents too: never leave the folder.
  if (name.empty() || name.find_first_of("/\\") != std::string::npos || name == "." ||
      name == "..") {
    problem = "No such file";
    return nullptr;
  }
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path file = fs::path(Folder.empty() ? "." : Folder) / name;
  if (!fs::is_regular_file(file, ec)) {
    // Names differ only in case on systems that care about case. Without such a file the
    // read below says what is wrong with the name asked for.
    const fs::path folder(Folder.empty() ? "." : Folder);
    const std::string actual = FolderIndex().Find(folder, name);
    if (!actual.empty()) file = folder / actual;
  }
  auto rec = std::make_unique<TVeLoadSourceRec>();
  try {
    rec->Data = VeReadFile(file.string(), MaxFileSize);
  } catch (const EVeError& e) {
    problem = e.what();
    return nullptr;
  }
  rec->Name = name;
  rec->Ext = VeLowerExt(name);
  rec->Size = int32_t(rec->Data.size());
  Files.push_back(std::move(rec));
  return Files.back().get();
}

TVeMemoryLoadSource::TVeMemoryLoadSource(const std::string& name, int32_t size,
                                         const uint8_t* data) {
  Name = name;
  Ext = VeLowerExt(name);
  Data = data;
  Size = size < 0 ? 0 : size;
}
