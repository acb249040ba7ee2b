#pragma once
// What the CPC tests share: conversions through the registry and the loaders of the files.
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VePlatforms.h"
#include "amstradcpc/VeOpenPlatformAmstradCpc.h"
#include "amstradcpc/VePlatformAmstradCpc.h"
#include "amstradcpc/VeSavePlatformAmstradCpc.h"
#include "platforms/msx/test_msx_support.h"

namespace cpctest {

using msxtest::FindStream;
using msxtest::Saved;
using msxtest::TBytes;
using msxtest::TFolder;

struct TRun {
  std::unique_ptr<TVeBitmap> Result;
  std::unique_ptr<TVeStreamList> Files;
  std::unique_ptr<TVeDestEngineOptions> Options;
  const TVeStream& File(const std::string& ext) const {
    const TVeStream* s = FindStream(*Files, ext);
    if (!s) throw std::runtime_error("no ." + ext);
    return *s;
  }
};

inline const TVeBitmap32& PhotoFor(int w, int h) {
  static std::map<std::pair<int, int>, TVeBitmap32> photos;
  auto it = photos.find({w, h});
  if (it == photos.end()) it = photos.emplace(std::make_pair(w, h), msxtest::Photo(w, h)).first;
  return it->second;
}

// A conversion through the registry, the way the conversion run makes one.
inline TRun ConvertMode(const TVeCPCModeInfo& m,
                        const std::function<void(TVeDestEngineOptions&)>& setup = {},
                        const TVeBitmap32* picture = nullptr) {
  VeRegisterPlatforms();
  const TVeDestEngineClass* c = DestEngineList().Find("Amstrad CPC", m.Mode);
  if (!c || c->GetModeName() != m.Mode) throw std::runtime_error("no engine");
  TRun r;
  r.Options = c->Create()->CreateOptions();
  if (setup) {
    r.Options->BeginUpdate();
    setup(*r.Options);
    r.Options->EndUpdate();
  }
  TVeDestProgress progress;
  r.Result = c->Convert(nullptr, picture ? *picture : PhotoFor(m.Width, m.Height), r.Files,
                        progress, *r.Options, nullptr, nullptr);
  return r;
}

inline std::unique_ptr<TVeSourceEngineList> ProbeAll(TVeLoadSource& source) {
  VeRegisterPlatforms();
  return ProbeSource(&source);
}

// The priority of loader T for the source, 0 when it does not take it.
template <class T> int PriorityOf(TVeLoadSource& source) {
  auto list = ProbeAll(source);
  T* e = msxtest::Loader<T>(*list);
  return e ? e->Priority : 0;
}

} // namespace cpctest
