#pragma once
// How a fuzz input becomes a native file with its companion files. After the target's own
// leading bytes, the input is the main file, then, split at each "VeCo" marker, the
// companion files in the order the loader first asks for them (a second page, a palette
// file, the frames of a flicker picture). Every other name is absent. scripts/fuzz-seeds.sh
// writes real files in this shape, so a corpus starts from what the loaders really take.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "VeLoadSource.h"

namespace fuzzsource {

inline constexpr char Marker[] = "VeCo";
inline constexpr size_t MarkerBytes = 4;

class TSplitSource : public TVeLoadSource {
public:
  TSplitSource(const std::string& name, const uint8_t* data, size_t size) {
    std::vector<std::pair<size_t, size_t>> parts; // offset, length
    size_t start = 0;
    // One search per marker: a scan byte by byte cost as much as many a decode.
    while (start <= size) {
      const void* hit = memmem(data + start, size - start, Marker, MarkerBytes);
      if (!hit) break;
      const size_t at = size_t(static_cast<const uint8_t*>(hit) - data);
      parts.push_back({start, at - start});
      start = at + MarkerBytes;
    }
    parts.push_back({start, size - start});
    FMain.assign(data + parts[0].first, data + parts[0].first + parts[0].second);
    for (size_t k = 1; k < parts.size(); ++k) {
      auto rec = std::make_unique<TVeLoadSourceRec>();
      rec->Data.assign(data + parts[k].first, data + parts[k].first + parts[k].second);
      rec->Size = int32_t(rec->Data.size());
      FSpare.push_back(std::move(rec));
    }
    Name = name;
    Ext = VeLowerExt(name);
    Data = FMain.data();
    Size = int32_t(FMain.size());
  }
  // An empty part stands for a companion that is not there.
  const TVeLoadSourceRec* FindFile(const std::string& name) override {
    if (name == Name) return nullptr;
    for (const auto& rec : FGiven)
      if (rec->Name == name) return rec->Data.empty() ? nullptr : rec.get();
    if (FSpare.empty()) return nullptr;
    FGiven.push_back(std::move(FSpare.front()));
    FSpare.erase(FSpare.begin());
    FGiven.back()->Name = name;
    FGiven.back()->Ext = VeLowerExt(name);
    return FGiven.back()->Data.empty() ? nullptr : FGiven.back().get();
  }

private:
  std::vector<uint8_t> FMain;
  std::vector<std::unique_ptr<TVeLoadSourceRec>> FSpare, FGiven;
};

} // namespace fuzzsource
