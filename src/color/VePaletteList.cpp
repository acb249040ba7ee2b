#include "VePaletteList.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <set>
#include <system_error>

namespace {
int CompareNoCase(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const int ca = std::tolower(static_cast<unsigned char>(a[i]));
    const int cb = std::tolower(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}
} // namespace

TVePaletteList::TLoader& TVePaletteList::Loader() {
  static TLoader loader;
  return loader;
}

void TVePaletteList::SetLoader(TLoader loader) {
  Loader() = std::move(loader);
}

TVePaletteList& TVePaletteList::Shared() {
  static TVePaletteList list;
  return list;
}

std::filesystem::path TVePaletteList::DefaultFolder() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::filesystem::path("Palettes");
  return exe.parent_path() / "Palettes";
}

TVePaletteList::~TVePaletteList() = default;

std::vector<std::filesystem::path> TVePaletteList::SearchFolders() {
  namespace fs = std::filesystem;
  std::vector<fs::path> folders{DefaultFolder()};
  // Relative paths in the XDG variables are to be ignored.
  auto env = [](const char* name) -> std::string {
    const char* v = std::getenv(name);
    return v ? v : "";
  };
  std::string dataHome = env("XDG_DATA_HOME");
  if (dataHome.empty() || dataHome[0] != '/') {
    const std::string home = env("HOME");
    dataHome = home.empty() ? "" : home + "/.local/share";
  }
  if (!dataHome.empty()) folders.push_back(fs::path(dataHome) / "velmora" / "palettes");
  std::string dataDirs = env("XDG_DATA_DIRS");
  if (dataDirs.empty()) dataDirs = "/usr/local/share:/usr/share";
  for (size_t start = 0; start <= dataDirs.size();) {
    size_t end = dataDirs.find(':', start);
    if (end == std::string::npos) end = dataDirs.size();
    const std::string dir = dataDirs.substr(start, end - start);
    if (!dir.empty() && dir[0] == '/') folders.push_back(fs::path(dir) / "velmora" / "palettes");
    start = end + 1;
  }
  folders.push_back(DefaultFolder().parent_path().parent_path() / "share" / "velmora" / "palettes");
  std::vector<fs::path> unique;
  for (const fs::path& f : folders) {
    const fs::path n = f.lexically_normal();
    if (std::find(unique.begin(), unique.end(), n) == unique.end()) unique.push_back(n);
  }
  return unique;
}

void TVePaletteList::Create(const std::filesystem::path& folder) {
  Create(std::vector<std::filesystem::path>{folder});
}

void TVePaletteList::Create(const std::vector<std::filesystem::path>& folders) {
  std::set<std::string> taken;
  for (const auto& folder : folders) {
    std::error_code ec;
    std::vector<std::filesystem::path> files;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
      std::error_code fe;
      if (it->is_regular_file(fe) && !fe && !taken.count(it->path().filename().string()))
        files.push_back(it->path());
    }
    // Directory order is arbitrary; a fixed order keeps equal names in a stable order.
    std::sort(files.begin(), files.end());
    for (const auto& f : files) {
      taken.insert(f.filename().string());
      try {
        LoadFromFile(f.string());
      } catch (const std::exception&) {
        // A palette that cannot be read is left out without a message.
      }
    }
  }
  Sort();
  Notify();
}

TVePalette256* TVePaletteList::LoadFromFile(const std::string& path) {
  if (!Loader()) throw EVeError("No palette reader available");
  auto p = std::make_unique<TVePalette256>();
  Loader()(*p, path);
  if (p->FileName.empty()) p->FileName = path;
  if (p->Name.empty()) p->Name = std::filesystem::path(path).filename().string();
  return Add(std::move(p));
}

bool TVePaletteList::IsMixTable(const TVePalette256& p) {
  if (p.GetCount() != 256) return false;
  const TVeStdRGBColor black{0, 0, 0}, white{255, 255, 255};
  if (!(p.GetStdRGB(0) == black) || !(p.GetStdRGB(136) == black) || !(p.GetStdRGB(255) == white))
    return false;
  for (int i = 0; i < 16; ++i)
    for (int j = i + 1; j < 16; ++j)
      if (!(p.GetStdRGB(i * 16 + j) == p.GetStdRGB(j * 16 + i))) return false;
  return true;
}

TVePalette256* TVePaletteList::Add(std::unique_ptr<TVePalette256> palette) {
  if (!palette) VeInternalError();
  TVePalette256* result = palette.get();
  auto same = [&](const std::unique_ptr<TVePalette256>& e) {
    return CompareNoCase(e->FileName, result->FileName) == 0 &&
           CompareNoCase(e->Name, result->Name) == 0;
  };
  // Reloading a mix table replaces it as well, instead of listing it twice.
  auto it = std::find_if(FItems.begin(), FItems.end(), same);
  if (it != FItems.end()) {
    *it = std::move(palette);
  } else if (auto git = std::find_if(FGiga.begin(), FGiga.end(), same); git != FGiga.end()) {
    *git = std::move(palette);
  } else if (IsMixTable(*palette)) {
    FGiga.push_back(std::move(palette));
  } else {
    FItems.push_back(std::move(palette));
  }
  Notify();
  return result;
}

void TVePaletteList::RemoveTemporary() {
  auto temp = [](const std::unique_ptr<TVePalette256>& p) { return p->Temporary; };
  FItems.erase(std::remove_if(FItems.begin(), FItems.end(), temp), FItems.end());
  FGiga.erase(std::remove_if(FGiga.begin(), FGiga.end(), temp), FGiga.end());
  Notify();
}

void TVePaletteList::Sort() {
  std::stable_sort(FItems.begin(), FItems.end(), [](const auto& a, const auto& b) {
    return CompareNoCase(a->Name, b->Name) < 0;
  });
}

void TVePaletteList::Clear() {
  FItems.clear();
  FGiga.clear();
  Notify();
}

void TVePaletteList::AddClient(IVePaletteListClient* client) {
  if (!client) return;
  if (std::find(FClients.begin(), FClients.end(), client) == FClients.end())
    FClients.push_back(client);
  client->PaletteListChanged(this);
}

void TVePaletteList::RemoveClient(IVePaletteListClient* client) {
  FClients.erase(std::remove(FClients.begin(), FClients.end(), client), FClients.end());
}

TVePalette256* TVePaletteList::Items(int index) const {
  if (index < 0 || index >= Count()) VeInternalError();
  return FItems[size_t(index)].get();
}

TVePalette256* TVePaletteList::GigaScreeanItem(int index) const {
  if (index < 0 || index >= GigaScreeanCount()) VeInternalError();
  return FGiga[size_t(index)].get();
}

void TVePaletteList::Notify() {
  // A copy: a client may remove itself while being told.
  const std::vector<IVePaletteListClient*> clients = FClients;
  for (IVePaletteListClient* c : clients)
    c->PaletteListChanged(this);
}
