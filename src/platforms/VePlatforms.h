#pragma once
// The one list of platforms: the catalogue of every platform's modes, and the platform
// units that put their real engines in place of the catalogue's generic entries and add
// their loaders. The engine and loader registries know no platform; this list fills both,
// platform by platform in catalogue order, which fixes the order of every list the user sees.
#include <vector>

class TVeDestEngineList;

// One catalogue entry: platform, mode name and display scale.
struct TVeCatalogueEntry {
  const char* Platform;
  const char* Mode;
  int DisplayScale;
};
// The 145 modes of the 34 platforms, in registration order.
const std::vector<TVeCatalogueEntry>& VeCatalogue();

// A platform with engines or loaders of its own.
struct TVePlatformUnit {
  const char* Platform;
  void (*RegisterEngines)(TVeDestEngineList& list); // replaces catalogue entries; may be null
  void (*RegisterLoaders)();                        // may be null
};
// In catalogue order.
const std::vector<TVePlatformUnit>& VePlatformUnits();

// Fills the engine registry with the catalogue (a generic engine behind every entry), then
// runs every unit in order. The programs call it at start-up; later calls do nothing.
void VeRegisterPlatforms();
