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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 18)) return 0;
  VeRegisterPlatforms();
  for (const char* name : {"fuzz.scr", "fuzz.tap", "fuzz.tzx", "fuzz.szx", "fuzz.rzx", "fuzz.z80",
                           "fuzz.sna", "fuzz.sp", "fuzz.bin"}) {
    TVeMemoryLoadSource source(name, int32_t(size), data);
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
  return 0;
}
