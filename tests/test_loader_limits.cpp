// Memory a hostile native file can make a loader take: a header claiming the largest picture
// the loader accepts, with little or just enough data behind it. Each case runs in a child
// process whose address space may grow by a fixed amount only, so an allocation out of
// proportion to the file fails there instead of passing unnoticed.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "VeBitmap.h"
#include "VeDestEngineList.h"
#include "VeErrors.h"
#include "VeLoadSource.h"
#include "VePlatforms.h"
#include "VeSourceEngines.h"
#include "platforms/msx/test_msx_support.h"

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool Sanitized = true; // the sanitizers reserve terabytes of address space
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool Sanitized = true;
#else
constexpr bool Sanitized = false;
#endif
#else
constexpr bool Sanitized = false;
#endif

int64_t AddressSpaceBytes() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmSize:") {
      int64_t kb = 0;
      status >> kb;
      return kb * 1024;
    }
    status.ignore(1 << 12, '\n');
  }
  return 0;
}

// Probe, then decode by every loader that takes it.
void DecodeAll(TVeLoadSource& source) {
  auto list = ProbeSource(&source);
  for (int i = 0; list && i < list->Count(); ++i) {
    try {
      list->Engines(i)->CreateBitmap();
    } catch (const EVeError&) {
    }
  }
}

// Runs `body` in a child allowed `more` bytes of address space beyond the parent's; 0 when
// it finished (with pictures or clean errors), else 1 (an allocation refused) or 2.
int RunWithin(int64_t more, const std::function<void()>& body) {
  VeRegisterPlatforms();
  const int64_t base = AddressSpaceBytes();
  const pid_t pid = fork();
  if (pid == 0) {
    rlimit limit{rlim_t(base + more), rlim_t(base + more)};
    setrlimit(RLIMIT_AS, &limit);
    try {
      body();
    } catch (const EVeError&) {
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s\n", e.what());
      _exit(1); // bad_alloc: more memory than allowed
    }
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 2;
}

int DecodeWithin(const std::string& name, const std::vector<uint8_t>& bytes, int64_t more) {
  return RunWithin(more, [&] {
    TVeMemoryLoadSource source(name, int32_t(bytes.size()), bytes.data());
    DecodeAll(source);
  });
}

void PutWord(std::vector<uint8_t>& b, size_t at, int v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}

// A one-bit PCX header of w x h.
std::vector<uint8_t> PcxHeader(int w, int h, int bits, int planes) {
  std::vector<uint8_t> b(128, 0);
  b[0] = 0x0A;
  b[1] = 5;
  b[2] = 1;
  b[3] = uint8_t(bits);
  PutWord(b, 8, w - 1);
  PutWord(b, 10, h - 1);
  b[65] = uint8_t(planes);
  PutWord(b, 66, (w * bits + 7) / 8);
  return b;
}

} // namespace

TEST(LoaderLimits, PcxClaimingTheLargestPicture) {
  if (Sanitized) GTEST_SKIP() << "address-space limits do not mix with the sanitizers";
  constexpr int64_t MB = 1 << 20;
  // 8192 x 8192 in eight bits with a few kilobytes behind it: refused before any picture
  // is held.
  std::vector<uint8_t> thin = PcxHeader(8192, 8192, 8, 1);
  for (int i = 0; i < 4096; ++i)
    thin.insert(thin.end(), {0xFF, 0x55});
  EXPECT_EQ(DecodeWithin("thin.pcx", thin, 16 * MB), 0);
  // The same picture in one bit, every run of the 266 KB file used: the picture itself
  // (half a byte a pixel) and little more.
  std::vector<uint8_t> full = PcxHeader(8192, 8192, 1, 1);
  for (int i = 0; i < 133154; ++i)
    full.insert(full.end(), {0xFF, 0x55});
  EXPECT_EQ(DecodeWithin("full.pcx", full, 64 * MB), 0);
}

TEST(LoaderLimits, EveryFormatWithItsHeaderAtTheExtremes) {
  if (Sanitized) GTEST_SKIP() << "address-space limits do not mix with the sanitizers";
  // Every file of every finished mode, with each header word in turn at its largest, as it
  // is and padded to a megabyte: no loader may take more than 256 MB for any of them.
  constexpr int64_t MB = 1 << 20;
  VeRegisterPlatforms();
  int files = 0;
  std::vector<const TVeDestEngineClass*> modes;
  for (int p = 0; p < DestEngineList().Count(); ++p)
    for (int m = 0; m < DestEngineList().GetSubTypes(p).Count(); ++m)
      modes.push_back(DestEngineList().GetSubTypes(p).GetEngineClass(m));
  for (const TVeDestEngineClass* c : modes) {
    // Modes of the picture's own size write ordinary pictures, bounded by their decoders.
    if (c->PreviewOnly() || c->Create()->CreateOptions()->Width() <= 0) continue;
    const msxtest::TConversion r = msxtest::ConvertPhoto(c->GetPlatformName(), c->GetModeName());
    for (int main = 0; r.Files && main < r.Files->Count(); ++main) {
      const std::vector<uint8_t>& bytes = r.Files->GetStream(main)->Bytes();
      if (bytes.size() < 2) continue;
      ++files;
      const std::string name = "pic." + r.Files->GetStream(main)->Extension;
      SCOPED_TRACE(c->GetPlatformName() + " " + c->GetModeName() + ": " + name);
      const int status = RunWithin(256 * MB, [&] {
        for (size_t at = 0; at + 1 < bytes.size() && at < 32; at += 2)
          for (bool padded : {false, true}) {
            msxtest::TBytes variant = bytes;
            variant[at] = variant[at + 1] = 0xFF;
            if (padded) variant.resize(MB, 0xFF);
            msxtest::TFolder folder(name, variant);
            for (int k = 0; k < r.Files->Count(); ++k)
              if (k != main)
                folder.Add("pic." + r.Files->GetStream(k)->Extension,
                           r.Files->GetStream(k)->Bytes());
            DecodeAll(folder);
          }
      });
      EXPECT_EQ(status, 0);
    }
  }
  EXPECT_GT(files, 80);
}
