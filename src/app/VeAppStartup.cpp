#include "VeAppStartup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "VeDestEngineUI.h"
#include "VePaletteFiles.h"
#include "VePaletteList.h"
#include "VePlatforms.h"
#include "VeSourceEngines.h"

QString VePalettesFolder() {
  // The first folder that is there, as the place palettes are saved to and opened from.
  for (const auto& f : TVePaletteList::SearchFolders())
    if (QFileInfo(QString::fromStdString(f.string())).isDir())
      return QDir::cleanPath(QString::fromStdString(f.string()));
  return QString::fromStdString(TVePaletteList::DefaultFolder().string());
}

void VeInstallCoreLinks() {
  // Every platform's engines and loaders (a no-op once they are registered).
  VeRegisterPlatforms();
  VeInstallPaletteFileLoader();
  VeSetAspectLookup([](int index) {
    if (index < 0 || index >= VeAspectCount) return std::pair<int, int>(1, 1);
    return std::pair<int, int>(VeAspectRatios[index].X, VeAspectRatios[index].Y);
  });
  VeSetPaletteLibrary([] {
    std::vector<std::pair<std::string, const TVePalette256*>> entries;
    TVePaletteList& list = TVePaletteList::Shared();
    for (int i = 0; i < list.Count(); ++i)
      if (const TVePalette256* p = list.Items(i)) entries.emplace_back(p->Name, p);
    return entries;
  });
}

void VeAppStartup() {
  VeInstallCoreLinks();
  TVePaletteList::Shared().Create(TVePaletteList::SearchFolders());
}
