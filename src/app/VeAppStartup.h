#pragma once
// What the program sets up before its window exists: the shared palette list, filled from
// the "Palettes" folder, and the palette choosers' view of it.
#include <QString>

// The palette folder: beside the program, or the installed data folder.
QString VePalettesFolder();
// What the program sets up before any window exists: the platforms' engines and loaders, and
// the links between core units (the aspect table for the import model, the palette list for
// the option panels).
void VeInstallCoreLinks();
void VeAppStartup();
