#pragma once
// The library of user palettes: loaded from the "Palettes" folder beside the program and
// offered in palette choosers. Palettes recognised as flicker mix tables are kept apart.
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "VePalette.h"

class TVePaletteList;

class IVePaletteListClient {
public:
  virtual ~IVePaletteListClient() = default;
  virtual void PaletteListChanged(TVePaletteList* list) = 0;
};

class TVePaletteList {
public:
  // Loads a palette file into a palette (setting FileName and Name); throws on failure.
  using TLoader = std::function<void(TVePalette256& palette, const std::string& path)>;
  // The palette-file reader; empty until the palette-file unit installs it.
  static TLoader& Loader();
  static void SetLoader(TLoader loader);

  // The list shared by the whole program (empty until Create is called on it).
  static TVePaletteList& Shared();
  // "Palettes" beside the running program.
  static std::filesystem::path DefaultFolder();
  // Where palettes are looked for, first wins: beside the program, the user's
  // $XDG_DATA_HOME/velmora/palettes, each $XDG_DATA_DIRS/velmora/palettes, then the
  // installed share/velmora/palettes beside the program's bin folder. Each folder once.
  static std::vector<std::filesystem::path> SearchFolders();

  TVePaletteList() = default;
  TVePaletteList(const TVePaletteList&) = delete;
  TVePaletteList& operator=(const TVePaletteList&) = delete;
  ~TVePaletteList();

  // Loads every file of the folder, silently skipping files that fail, then sorts.
  void Create(const std::filesystem::path& folder);
  // Every folder in turn; a file name already loaded from an earlier folder is skipped, so
  // the user's copy of a palette hides the system's.
  void Create(const std::vector<std::filesystem::path>& folders);
  // Loads and adds one file; on failure nothing is added and the error is passed on.
  TVePalette256* LoadFromFile(const std::string& path);
  // Takes ownership. An entry with the same FileName and Name (case-insensitive) is
  // replaced in place; otherwise mix tables go to GigaScreeanItem, others to Items.
  TVePalette256* Add(std::unique_ptr<TVePalette256> palette);
  void RemoveTemporary();
  // By Name, case-insensitive ascending; equal names keep their order.
  void Sort();
  void Clear();

  // The client is told at once.
  void AddClient(IVePaletteListClient* client);
  void RemoveClient(IVePaletteListClient* client);

  int Count() const { return int(FItems.size()); }
  TVePalette256* Items(int index) const;
  int GigaScreeanCount() const { return int(FGiga.size()); }
  TVePalette256* GigaScreeanItem(int index) const;

  // 256 colours, black at 0 and 136, white at 255, symmetric in a 16 x 16 arrangement.
  static bool IsMixTable(const TVePalette256& p);

private:
  void Notify();

  std::vector<std::unique_ptr<TVePalette256>> FItems;
  std::vector<std::unique_ptr<TVePalette256>> FGiga;
  std::vector<IVePaletteListClient*> FClients;
};
