// velmora-thumbnailer -s SIZE -i INPUT -o OUTPUT: a native screen file as a PNG of at most
// SIZE x SIZE, shown with the pixel aspect of the loader that takes it. File managers run it
// on whatever lies in a folder, so a hostile file must cost little and leave nothing behind.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

#include "VeErrors.h"
#include "VeLoadSource.h"
#include "VeOutputSet.h"
#include "VePictureCodecs.h"
#include "VePlatforms.h"
#include "VeSourceEngines.h"
#include "VeSourcePrepare.h"
#include "VeThreadJob.h"

namespace {

// Screen files are small; anything larger is not worth a thumbnail.
constexpr int64_t MaxInputSize = 4 << 20;
constexpr rlim_t MaxMemory = rlim_t(200) << 20;
constexpr rlim_t MaxCpuSeconds = 2;
constexpr int MaxThumbnailSize = 4096;

void Limit(int resource, rlim_t value) {
  struct rlimit l;
  if (::getrlimit(resource, &l) != 0) return;
  // Only lowered: an already tighter limit stays.
  if (l.rlim_max == RLIM_INFINITY || l.rlim_max > value) l.rlim_max = value;
  l.rlim_cur = std::min(l.rlim_max, value);
  ::setrlimit(resource, &l);
}

[[noreturn]] void Usage() {
  throw EVeError("usage: velmora-thumbnailer -s SIZE -i INPUT -o OUTPUT");
}

int ParseSize(const char* text) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v < 1 || v > MaxThumbnailSize)
    throw EVeError(std::string("bad size \"") + text + "\" (1 to " +
                   std::to_string(MaxThumbnailSize) + ")");
  return int(v);
}

std::vector<uint8_t> Thumbnail(const std::string& input, int size) {
  struct stat st;
  if (::stat(input.c_str(), &st) != 0) throw EVeError(input + ": " + std::strerror(errno));
  if (!S_ISREG(st.st_mode)) throw EVeError(input + ": not a regular file");
  if (st.st_size > MaxInputSize)
    throw EVeError(input + ": too large for a screen file (" + std::to_string(st.st_size) +
                   " bytes)");

  VeRegisterPlatforms();
  TVeFileLoadSource source(input);
  if (source.Size == 0) throw EVeError(input + ": " + source.EmptyReason());
  std::unique_ptr<TVeSourceEngineList> engines = ProbeSource(&source);
  if (engines->Count() == 0) throw EVeError(input + ": Unknown image type");
  TVeImportModel model(*engines);
  const TVeBitmap* bitmap = model.Bitmap();
  if (!bitmap || bitmap->Width() <= 0 || bitmap->Height() <= 0)
    throw EVeError(input + ": nothing to show");
  std::unique_ptr<TVeBitmap32> picture = bitmap->ToBitmap32(1, 1);

  // The size the machine shows: a pixel a / b times as high as wide.
  const auto [a, b] = VeAspectPair(model.Engine()->PixelAspect);
  // Stretched along the long side of the pixel, so no picture detail is lost before scaling.
  const double shownW = picture->Width() * (a < b ? double(b) / a : 1.0);
  const double shownH = picture->Height() * (a > b ? double(a) / b : 1.0);
  // Never enlarged: a file manager scales small thumbnails itself.
  const double scale = std::min({1.0, size / shownW, size / shownH});
  const int w = std::clamp(int(shownW * scale + 0.5), 1, size);
  const int h = std::clamp(int(shownH * scale + 0.5), 1, size);
  TVeBitmap32 thumb(w, h, 0xFFFFFFFFu);
  VeResampleInto(*picture, thumb, TVeRect{0, 0, w, h});

  // The writer takes every row before it encodes, so each row needs its own bytes.
  std::vector<uint8_t> bgr(size_t(w) * size_t(h) * 3);
  for (int y = 0; y < h; ++y) {
    const uint32_t* p = thumb.Scanline(y);
    uint8_t* d = bgr.data() + size_t(y) * size_t(w) * 3;
    for (int x = 0; x < w; ++x, d += 3) {
      d[0] = uint8_t(p[x]);
      d[1] = uint8_t(p[x] >> 8);
      d[2] = uint8_t(p[x] >> 16);
    }
  }
  return VeWritePng(
      w, h, 24, {}, [&](int y) { return bgr.data() + size_t(y) * size_t(w) * 3; }, "Velmora");
}

} // namespace

// The sanitizers reserve terabytes of address space before main: a cap on it would fail
// every allocation there, so sanitized builds keep only the processor-time cap.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool CapAddressSpace = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool CapAddressSpace = false;
#else
constexpr bool CapAddressSpace = true;
#endif
#else
constexpr bool CapAddressSpace = true;
#endif

int main(int argc, char** argv) {
  if (CapAddressSpace) Limit(RLIMIT_AS, MaxMemory);
  Limit(RLIMIT_CPU, MaxCpuSeconds);
  try {
    // One worker: each thread's stack and heap arena would eat into the memory limit.
    SetProcessorCount(1);
    int size = 0;
    std::string input, output;
    for (int i = 1; i < argc; ++i) {
      const std::string arg = argv[i];
      if (i + 1 >= argc) Usage();
      if (arg == "-s")
        size = ParseSize(argv[++i]);
      else if (arg == "-i")
        input = argv[++i];
      else if (arg == "-o")
        output = argv[++i];
      else
        Usage();
    }
    if (size == 0 || input.empty() || output.empty()) Usage();
    std::vector<uint8_t> png = Thumbnail(input, size);
    // Written beside the target and renamed into place: a failure leaves no partial file.
    TVeOutputSet set;
    set.MakeFolders = false;
    set.Protect(input);
    set.Add(output, std::move(png));
    set.Commit(true);
    return 0;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "velmora-thumbnailer: out of memory\n");
  } catch (const std::exception& e) {
    std::string m = e.what();
    std::replace(m.begin(), m.end(), '\n', ' ');
    std::fprintf(stderr, "velmora-thumbnailer: %s\n", m.c_str());
  } catch (...) {
    std::fprintf(stderr, "velmora-thumbnailer: failed\n");
  }
  return 1;
}
