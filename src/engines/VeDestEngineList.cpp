#include "VeDestEngineList.h"

#include <algorithm>

#include "VeBitmap.h"
#include "VeColor.h"
#include "VeRowFeed.h"

namespace {

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = (unsigned char)a[i], y = (unsigned char)b[i];
    if (x >= 'A' && x <= 'Z') x = x - 'A' + 'a';
    if (y >= 'A' && y <= 'Z') y = y - 'A' + 'a';
    if (x != y) return false;
  }
  return true;
}

} // namespace

TVeDestEngine::~TVeDestEngine() = default;
TVeDestEngineClass::~TVeDestEngineClass() = default;

std::unique_ptr<TVeBitmap>
TVeDestEngineClass::ConvertArriving(const TVeCancelFlag* cancel, const TVeBitmap32& source,
                                    TVeRowFeed& rows, std::unique_ptr<TVeStreamList>& files,
                                    TVeDestProgress& progress,
                                    TVeDestEngineOptions& options) const {
  rows.WaitRowsOrAbort(source.Height());
  return Convert(cancel, source, files, progress, options, nullptr, nullptr);
}

int TVeDestSubTypes::IndexOf(const std::string& name) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (SameText(FItems[i].first, name)) return int(i);
  return -1;
}

int TVeDestEngineList::IndexOf(const std::string& name) const {
  for (size_t i = 0; i < FPlatforms.size(); ++i)
    if (SameText(FPlatforms[i].first, name)) return int(i);
  return -1;
}

int TVeDestEngineList::ModeCount() const {
  int n = 0;
  for (auto& p : FPlatforms)
    n += p.second->Count();
  return n;
}

const TVeDestEngineClass* TVeDestEngineList::Register(std::unique_ptr<TVeDestEngineClass> engine) {
  if (!engine) VeInternalError();
  const std::string platform = engine->GetPlatformName();
  const std::string mode = engine->GetModeName();
  // Reserve first, so that no step after taking ownership can fail half-way.
  FClasses.reserve(FClasses.size() + 1);
  const TVeDestEngineClass* result = engine.get();
  for (auto& p : FPlatforms)
    if (p.first == platform) {
      p.second->FItems.reserve(p.second->FItems.size() + 1);
      FClasses.push_back(std::move(engine));
      p.second->Add(mode, result);
      return result;
    }
  auto sub = std::make_unique<TVeDestSubTypes>();
  sub->Add(mode, result);
  FPlatforms.reserve(FPlatforms.size() + 1);
  FClasses.push_back(std::move(engine));
  FPlatforms.emplace_back(platform, std::move(sub));
  return result;
}

const TVeDestEngineClass* TVeDestEngineList::Replace(std::unique_ptr<TVeDestEngineClass> engine) {
  if (!engine) VeInternalError();
  const std::string platform = engine->GetPlatformName();
  const std::string mode = engine->GetModeName();
  for (auto& p : FPlatforms) {
    if (p.first != platform) continue;
    for (auto& item : p.second->FItems)
      if (item.first == mode) {
        FClasses.reserve(FClasses.size() + 1);
        item.second = engine.get();
        FClasses.push_back(std::move(engine));
        return item.second;
      }
  }
  return Register(std::move(engine));
}

const TVeDestEngineClass* TVeDestEngineList::Find(const std::string& platform,
                                                  const std::string& mode, int* platformIndex,
                                                  int* modeIndex) const {
  if (FPlatforms.empty()) return nullptr;
  int p = std::max(IndexOf(platform), 0);
  const TVeDestSubTypes& sub = GetSubTypes(p);
  int m = std::max(sub.IndexOf(mode), 0);
  if (platformIndex) *platformIndex = p;
  if (modeIndex) *modeIndex = m;
  return sub.Count() > 0 ? sub.GetEngineClass(m) : nullptr;
}

TVeDestEngineList& DestEngineList() {
  static TVeDestEngineList list;
  return list;
}

const TVeDestEngineClass* RegisterDestEngine(std::unique_ptr<TVeDestEngineClass> engine) {
  return DestEngineList().Register(std::move(engine));
}

const TVeDestEngineClass* ReplaceDestEngine(std::unique_ptr<TVeDestEngineClass> engine) {
  return DestEngineList().Replace(std::move(engine));
}

// ---------------------------------------------------------------------------------------------

TVeLinearLevels::TVeLinearLevels(int bits) {
  const int n = 1 << bits;
  FValues.resize(size_t(n));
  for (int k = 0; k < n; ++k)
    FValues[size_t(k)] = SRGBToLinear(double(k) / (n - 1));
}

std::pair<int, int> TVeLinearLevels::Enclose(double v) const {
  const int last = Count() - 1;
  if (!(v > 0)) return {0, 0}; // also NaN
  if (v >= 1) return {last, last};
  // First interval with value[k] <= v <= value[k + 1].
  auto it = std::lower_bound(FValues.begin(), FValues.end(), v);
  int hi = int(it - FValues.begin());
  if (hi > last) return {last, last};
  if (hi == 0) return {0, 0};
  return {hi - 1, hi};
}

const TVeLinearLevels& VeLinear5() {
  static const TVeLinearLevels table(5);
  return table;
}

const TVeLinearLevels& VeLinear6() {
  static const TVeLinearLevels table(6);
  return table;
}
