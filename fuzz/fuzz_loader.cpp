// One native loader per input: the first byte chooses the loader, the second its file name
// (one of the loader's extensions, or another), so that an input costs one probe and one
// decode and the fuzzer learns each format's paths at thousands of inputs a second.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "VeBitmap.h"
#include "VePlatforms.h"
#include "VeSourceEngines.h"
#include "fuzz_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > (1u << 20)) return 0;
  VeRegisterPlatforms();
  const auto& classes = RegisteredSourceEngines();
  const TVeSourceEngineClass& loader = classes[data[0] % classes.size()];
  const size_t names = loader.Extensions.size() + 1;
  const size_t pick = data[1] % names;
  const std::string ext = pick < loader.Extensions.size() ? loader.Extensions[pick] : ".bin";
  fuzzsource::TSplitSource source("fuzz" + ext, data + 2, size - 2);
  try {
    if (loader.Check(&source) == 0) return 0;
    std::unique_ptr<TVeSourceEngine> engine = loader.Create(&source);
    engine->CreateBitmap();
  } catch (const std::exception&) {
  }
  return 0;
}
