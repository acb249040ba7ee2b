#pragma once
// Runs one engine's conversion the way the conversion run does: fresh options of the
// engine's class, optionally set inside an update bracket, then its static Convert.
#include <functional>
#include <memory>
#include <vector>

#include "VeBitmap.h"
#include "VeDest.h"
#include "VeStream.h"

struct TVeEngineRun {
  std::unique_ptr<TVeBitmap> Result;
  std::unique_ptr<TVeStreamList> Files;
  std::unique_ptr<TVeDestEngineOptions> Options;
  const std::vector<uint8_t>& File(int i = 0) const { return Files->GetStream(i)->Bytes(); }
};

template <class E>
TVeEngineRun VeRunEngine(const TVeBitmap32& source,
                         const std::function<void(TVeDestEngineOptions&)>& setup = {}) {
  TVeEngineRun r;
  E engine;
  r.Options = engine.CreateOptions();
  if (setup) {
    r.Options->BeginUpdate();
    setup(*r.Options);
    r.Options->EndUpdate();
  }
  TVeDestProgress progress;
  r.Result = E::Convert(nullptr, source, r.Files, progress, *r.Options, nullptr, nullptr);
  return r;
}
