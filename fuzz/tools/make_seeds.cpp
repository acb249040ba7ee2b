// Turns native files into fuzz inputs (see fuzz_source.h): for fuzz_loader one input per
// loader that takes the file, led by the loader's number and the extension's; for
// fuzz_native one input led by the extension's number. Companion files go in in the order
// the loaders ask for them, so the fuzz targets see exactly the files they were made from.
//   velmora-fuzz-seeds OUT_DIR FILE...   writes OUT_DIR/loader and OUT_DIR/native
#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "../fuzz_source.h"
#include "VeBitmap.h"
#include "VeLoadSource.h"
#include "VePlatforms.h"
#include "VeSourceEngines.h"

namespace fs = std::filesystem;

namespace {

// Serves a real file's companions and writes down every name asked, in order.
class TRecordingSource : public TVeLoadSource {
public:
  explicit TRecordingSource(TVeFileLoadSource& real) : FReal(real) {
    Name = real.Name;
    Ext = real.Ext;
    Data = real.Data;
    Size = real.Size;
  }
  const TVeLoadSourceRec* FindFile(const std::string& name) override {
    if (name == Name) return nullptr;
    const TVeLoadSourceRec* rec = FReal.FindFile(name);
    if (std::find(Asked.begin(), Asked.end(), name) == Asked.end()) {
      Asked.push_back(name);
      Found.push_back(rec);
    }
    return rec;
  }
  std::vector<std::string> Asked;
  std::vector<const TVeLoadSourceRec*> Found;

private:
  TVeFileLoadSource& FReal;
};

void Write(const fs::path& to, std::vector<uint8_t> head, const TRecordingSource& s) {
  head.insert(head.end(), s.Data, s.Data + s.Size);
  for (const TVeLoadSourceRec* rec : s.Found) {
    head.insert(head.end(), fuzzsource::Marker, fuzzsource::Marker + fuzzsource::MarkerBytes);
    if (rec) head.insert(head.end(), rec->Data.begin(), rec->Data.end());
  }
  std::ofstream(to, std::ios::binary)
      .write(reinterpret_cast<const char*>(head.data()), std::streamsize(head.size()));
}

template <class F> void Quietly(F f) {
  try {
    f();
  } catch (const std::exception&) {
  }
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s OUT_DIR FILE...\n", argv[0]);
    return 2;
  }
  VeRegisterPlatforms();
  const fs::path out = argv[1];
  fs::create_directories(out / "loader");
  fs::create_directories(out / "native");
  const auto& classes = RegisteredSourceEngines();
  std::vector<std::string> all = VeSourceFileExtensions();
  all.push_back(".bin");
  int written = 0;
  for (int i = 2; i < argc; ++i) {
    TVeFileLoadSource real(argv[i]);
    if (real.Size == 0) continue;
    const std::string stem = fs::path(argv[i]).filename().string();
    for (size_t k = 0; k < classes.size() && k < 256; ++k) {
      const TVeSourceEngineClass& c = classes[k];
      TRecordingSource rec(real);
      bool taken = false;
      Quietly([&] {
        if (c.Check(&rec) == 0) return;
        taken = true;
        c.Create(&rec)->CreateBitmap();
      });
      if (!taken) continue;
      const auto at = std::find(c.Extensions.begin(), c.Extensions.end(), real.Ext);
      Write(out / "loader" / (std::to_string(k) + "-" + stem),
            {uint8_t(k), uint8_t(at - c.Extensions.begin())}, rec);
      ++written;
    }
    TRecordingSource rec(real);
    Quietly([&] {
      std::unique_ptr<TVeSourceEngineList> list = ProbeSource(&rec);
      for (int e = 0; list && e < list->Count(); ++e)
        Quietly([&] { list->Engines(e)->CreateBitmap(); });
    });
    const auto at = std::find(all.begin(), all.end(), real.Ext);
    Write(out / "native" / stem, {uint8_t((at - all.begin()) % 256)}, rec);
    ++written;
  }
  std::printf("%d seeds from %d files\n", written, argc - 2);
  return 0;
}
