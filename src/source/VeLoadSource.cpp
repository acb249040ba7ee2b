#include "VeLoadSource.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

namespace {

std::string Lower(std::string s) {
  for (char& c : s)
    c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && Lower(a) == Lower(b);
}

} // namespace

std::string VeLowerExt(const std::string& name) {
  const std::string file = VeExtractFileName(name);
  const size_t dot = file.rfind('.');
  return dot == std::string::npos ? std::string() : Lower(file.substr(dot));
}

const TVeLoadSourceRec* TVeLoadSource::FindFile(const std::string&) {
  return nullptr;
}

TVeFileLoadSource::TVeFileLoadSource(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  Folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  if (const TVeLoadSourceRec* rec = FindFile(VeExtractFileName(path))) {
    Name = rec->Name;
    Ext = rec->Ext;
    Data = rec->Data.data();
    Size = rec->Size;
  } else {
    Name = VeExtractFileName(path);
    Ext = VeLowerExt(Name);
  }
}

const TVeLoadSourceRec* TVeFileLoadSource::FindFile(const std::string& name) {
  for (const auto& rec : Files)
    if (SameText(rec->Name, name)) return rec.get();
  // Names come from file contents too: never leave the folder.
  if (name.empty() || name.find_first_of("/\\") != std::string::npos || name == "." || name == "..")
    return nullptr;
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path file = fs::path(Folder.empty() ? "." : Folder) / name;
  if (!fs::is_regular_file(file, ec)) {
    // Names differ only in case on systems that care about case.
    file.clear();
    for (fs::directory_iterator it(Folder.empty() ? "." : Folder, ec), end; !ec && it != end;
         it.increment(ec))
      if (SameText(it->path().filename().string(), name) && it->is_regular_file(ec)) {
        file = it->path();
        break;
      }
    if (file.empty()) return nullptr;
  }
  const uintmax_t size = fs::file_size(file, ec);
  if (ec || size >= uintmax_t(MaxFileSize)) return nullptr;
  std::ifstream in(file, std::ios::binary);
  if (!in) return nullptr;
  auto rec = std::make_unique<TVeLoadSourceRec>();
  rec->Data.resize(size_t(size));
  if (size && !in.read(reinterpret_cast<char*>(rec->Data.data()), std::streamsize(size)))
    return nullptr;
  rec->Name = name;
  rec->Ext = VeLowerExt(name);
  rec->Size = int32_t(size);
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
