#pragma once
// What the MSX tests share: the photograph prepared for a mode, files of a conversion handed
// to the loaders with their companion files, and the loader of a class.
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "VeBitmap.h"
#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeLoadSource.h"
#include "VePictureCodecs.h"
#include "VePlatforms.h"
#include "VeSourceEngines.h"
#include "VeSourcePrepare.h"
#include "VeStream.h"
#include "msx/VeOpenPlatformMsx.h"
#include "test_photo.h"

namespace msxtest {

using TBytes = std::vector<uint8_t>;

// The coffee photograph as the conversion run prepares it for a w x h mode.
inline TVeBitmap32 Photo(int w, int h) {
  return TestPhoto(w, h);
}

// A mode's conversion of the photograph: the preview, the files and the options used.
struct TConversion {
  std::unique_ptr<TVeBitmap> Result;
  std::unique_ptr<TVeStreamList> Files;
  std::unique_ptr<TVeDestEngineOptions> Options;
};

inline TConversion ConvertPhoto(const std::string& platform, const std::string& mode,
                                const std::function<void(TVeDestEngineOptions&)>& setup = {}) {
  VeRegisterPlatforms();
  const TVeDestEngineClass* c = DestEngineList().Find(platform, mode);
  if (!c || c->GetModeName() != mode) throw std::runtime_error("no engine for " + mode);
  TConversion r;
  r.Options = c->Create()->CreateOptions();
  if (setup) {
    r.Options->BeginUpdate();
    setup(*r.Options);
    r.Options->EndUpdate();
  }
  const TVeBitmap32 photo = Photo(r.Options->Width(), r.Options->Height());
  TVeDestProgress progress;
  r.Result = c->Convert(nullptr, photo, r.Files, progress, *r.Options, nullptr, nullptr);
  return r;
}

// Files found by name, case-insensitively, as beside an opened file.
class TFolder : public TVeLoadSource {
public:
  TFolder(const std::string& name, const TBytes& bytes) {
    Add(name, bytes);
    Name = name;
    Ext = VeLowerExt(name);
    Data = FFiles.front()->Data.data();
    Size = FFiles.front()->Size;
  }
  void Add(const std::string& name, const TBytes& bytes) {
    auto rec = std::make_unique<TVeLoadSourceRec>();
    rec->Name = name;
    rec->Ext = VeLowerExt(name);
    rec->Data = bytes;
    rec->Size = int32_t(bytes.size());
    FFiles.push_back(std::move(rec));
    if (FFiles.size() == 1) {
      Data = FFiles.front()->Data.data();
      Size = FFiles.front()->Size;
    }
  }
  const TVeLoadSourceRec* FindFile(const std::string& name) override {
    for (auto& f : FFiles)
      if (Lower(f->Name) == Lower(name)) return f.get();
    return nullptr;
  }

private:
  static std::string Lower(std::string s) {
    for (char& c : s)
      if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
  }
  std::vector<std::unique_ptr<TVeLoadSourceRec>> FFiles;
};

// A stream of a conversion saved as "pic.<ext>" with its companion files beside it.
inline std::unique_ptr<TFolder> Saved(const TVeStream& stream, const std::string& stem = "pic") {
  auto folder = std::make_unique<TFolder>(stem + "." + stream.Extension, stream.Bytes());
  for (int i = 0; i < stream.SubCount(); ++i) {
    const TVeStream* sub = stream.GetSubStream(i);
    folder->Add(stem + "." + sub->Extension, sub->Bytes());
  }
  return folder;
}

inline const TVeStream* FindStream(const TVeStreamList& files, const std::string& ext) {
  for (int i = 0; i < files.Count(); ++i)
    if (files.GetExtension(i) == ext) return files.GetStream(i);
  return nullptr;
}

// The loader of class T among those that accept the source, or null.
template <class T> T* Loader(TVeSourceEngineList& list) {
  for (int i = 0; i < list.Count(); ++i)
    if (auto* e = dynamic_cast<T*>(list.Engines(i))) return e;
  return nullptr;
}

inline std::unique_ptr<TVeSourceEngineList> Probe(TVeLoadSource& source) {
  RegisterMsxLoaders();
  return ProbeSource(&source);
}

inline TBytes Bytes(const char* text) {
  return TBytes(text, text + std::strlen(text));
}

} // namespace msxtest
