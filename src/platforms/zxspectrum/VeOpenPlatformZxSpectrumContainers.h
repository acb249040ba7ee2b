#pragma once
// ZX Spectrum files that hold a screen somewhere inside: tape images and snapshots. They
// decode nothing themselves: each finds the screen (every read bounded), hands it as an
// in-memory "screen.scr" to a plain screen loader and passes on what that one decodes.
#include <cstdint>
#include <memory>
#include <vector>

#include "VeLoadSource.h"
#include "VeSourceEngines.h"

// Where a container's screen is: in the file itself, or in bytes the probe extracted.
struct TVeZxScreenFind {
  const uint8_t* Data = nullptr;
  int32_t Size = 0;
  std::vector<uint8_t> Extracted; // Data points here when the screen had to be unpacked
  // An inner snapshot (a recording's ".z80" or ".sna"), named for its loader.
  std::string InnerName;
  bool Found() const { return Data != nullptr; }
};

class TVeBaseZxSpectrumSnapshotEngine : public TVeSourceEngine {
public:
  std::unique_ptr<TVeBitmap> CreateBitmap() override;

protected:
  TVeBaseZxSpectrumSnapshotEngine(TVeLoadSource* source, const char* className);
  // Makes the inner loader over the screen found: the best of the given classes that takes
  // it (as "screen.scr", or as InnerName), then copies its description and palette fields.
  void UseInner(TVeZxScreenFind&& find, const std::vector<TVeSourceEngineClass>& classes);

  std::vector<uint8_t> FBuffer;
  std::unique_ptr<TVeMemoryLoadSource> FInnerSource;
  std::unique_ptr<TVeSourceEngine> FInner;
};

#define VE_ZX_CONTAINER(Class)                                                                     \
  class Class : public TVeBaseZxSpectrumSnapshotEngine {                                           \
  public:                                                                                          \
    explicit Class(TVeLoadSource* source);                                                         \
    static TVeSourceMatch Check(TVeLoadSource* source);                                            \
    static TVeZxScreenFind Find(const TVeLoadSource* source);                                      \
  };
VE_ZX_CONTAINER(TVeZxSpectrumTAPEngine)
VE_ZX_CONTAINER(TVeZxSpectrumTZXEngine)
VE_ZX_CONTAINER(TVeZxSpectrumSZXEngine)
VE_ZX_CONTAINER(TVeZxSpectrumRZXEngine)
VE_ZX_CONTAINER(TVeZxSpectrumSPEngine)
VE_ZX_CONTAINER(TVeZxSpectrumSNAEngine)
VE_ZX_CONTAINER(TVeZxSpectrumZ80Engine)
#undef VE_ZX_CONTAINER

// zlib data into exactly out.size() bytes; with exact, the stream must also end there.
bool VeInflateInto(const uint8_t* data, size_t size, std::vector<uint8_t>& out, bool exact);

// The plain screen loaders a tape's data blocks are tried with: monochrome, then colour.
const std::vector<TVeSourceEngineClass>& ZxScreenEngineClasses();
// Adds the containers to the registry in their order; later calls do nothing.
void RegisterZxSpectrumContainerLoaders();
