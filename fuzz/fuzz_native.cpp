// Native screen files through recognition: every registered loader probes the bytes, and
// every loader that accepts them decodes its picture.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "VeBitmap.h"
#include "VeLoadSource.h"
#include "VePlatforms.h"
#include "VeSourceEngines.h"
#include "fuzz_source.h"

namespace {

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

// The first byte chooses the file's extension among every loader's (or none), as a user's
// file arrives: recognised by every loader at once, then decoded by each that takes it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > (1u << 20)) return 0;
  VeRegisterPlatforms();
  static const std::vector<std::string> extensions = [] {
    std::vector<std::string> e = VeSourceFileExtensions();
    e.push_back(".bin");
    e.push_back("");
    return e;
  }();
  fuzzsource::TSplitSource source("fuzz" + extensions[data[0] % extensions.size()], data + 1,
                                  size - 1);
  ProbeAndDecode(source);
  return 0;
}
