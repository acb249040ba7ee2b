#include "VeAppStartup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "VeDestEngineUI.h"
#include "VePaletteFiles.h"
#include "VePaletteList.h"

QString VePalettesFolder() {
  const QString beside = QString::fromStdString(TVePaletteList::DefaultFolder().string());
  if (QFileInfo(beside).isDir()) return beside;
  const QString installed =
      QDir(QCoreApplication::applicationDirPath()).filePath("../share/velmora/Palettes");
  if (QFileInfo(installed).isDir()) return QDir::cleanPath(installed);
  return beside;
}

void VeAppStartup() {
  VeInstallPaletteFileLoader();
  TVePaletteList::Shared().Create(VePalettesFolder().toStdString());
  VeSetPaletteLibrary([] {
    std::vector<std::pair<std::string, const TVePalette256*>> entries;
    TVePaletteList& list = TVePaletteList::Shared();
    for (int i = 0; i < list.Count(); ++i)
      if (const TVePalette256* p = list.Items(i)) entries.emplace_back(p->Name, p);
    return entries;
  });
}
