// Native screen files: every registered loader probes the bytes under each name a user
// might give them, and every loader that accepts them decodes its picture.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "VeBitmap.h"
#include "VeLoadSource.h"
#include "VePlatforms.h"
#include "VeSourceEngines.h"

namespace {

// The bytes as a file whose companion files (second pages, palette files) hold the second
// half of the bytes.
class TCompanionSource : public TVeLoadSource {
public:
  TCompanionSource(const std::string& name, const uint8_t* data, size_t size) {
    Name = name;
    Ext = VeLowerExt(name);
    Data = data;
    Size = int32_t(size);
    FCompanion.Data.assign(data + size / 2, data + size);
    FCompanion.Size = int32_t(FCompanion.Data.size());
  }
  const TVeLoadSourceRec* FindFile(const std::string& name) override {
    FCompanion.Name = name;
    FCompanion.Ext = VeLowerExt(name);
    return &FCompanion;
  }

private:
  TVeLoadSourceRec FCompanion;
};

void ProbeAndDecode(TVeLoadSource& source) {
  try {
    std::unique_ptr<TVeSourceEngineList> engines = ProbeSource(&source);
    for (int i = 0; engines && i < engines->Count(); ++i) {
      try {
        engines->Engines(i)->CreateBitmap();
      } catch (const std::exception&) {
      }
    }
  } catch (const std::exception&) {
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 18)) return 0;
  VeRegisterPlatforms();
  for (const char* name : {"fuzz.scr", "fuzz.tap", "fuzz.tzx", "fuzz.szx", "fuzz.rzx", "fuzz.z80",
                           "fuzz.sna", "fuzz.sp", "fuzz.bin"}) {
    TVeMemoryLoadSource source(name, int32_t(size), data);
    ProbeAndDecode(source);
  }
  for (const char* name : {"fuzz.sc2", "fuzz.sc3", "fuzz.sr4", "fuzz.sc5", "fuzz.s06", "fuzz.sr7",
                           "fuzz.sc8", "fuzz.sca", "fuzz.scc", "fuzz.gl5", "fuzz.gl6", "fuzz.gl8",
                           "fuzz.gla", "fuzz.glc", "fuzz.mag", "fuzz.bb0", "fuzz.bb1",
                           "fuzz.bb2", "fuzz.bb4", "fuzz.bb5", "fuzz.pic", "fuzz_scr"}) {
    TCompanionSource source(name, data, size);
    ProbeAndDecode(source);
  }
  // Amstrad CPC: screens with .pal/.kit beside them, ModeR pictures with their frames.
  for (const char* name : {"fuzz.scr", "fuzz.hgb", "fuzz.pph"}) {
    TCompanionSource source(name, data, size);
    ProbeAndDecode(source);
  }
  for (const char* name :
       {"fuzz.ss3", "fuzz.ss4", "fuzz.ssi", "fuzz.ssh", "fuzz.v6c", "fuzz.v6h"}) {
    TVeMemoryLoadSource source(name, int32_t(size), data);
    ProbeAndDecode(source);
  }
  // IBM PC and TI-99/4A pictures (the TI-Artist pattern file finds its colour file).
  for (const char* name :
       {"fuzz.pcx", "fuzz.bsv", "fuzz.tiap", "fuzz.vdp", "fuzz.f18a", "fuzz.f18s", "fuzz.vdd"}) {
    TCompanionSource source(name, data, size);
    ProbeAndDecode(source);
  }
  return 0;
}
