#pragma once
// What the Spectrum clones' tests share: the colours of a preview's cells checked against
// the mode's rule, and a conversion's files with one worker and with several.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "VeErrors.h"
#include "VeThreadJob.h"
#include "platforms/msx/test_msx_support.h"

namespace clonetest {

inline std::set<uint32_t> Colours(const TVePalette256& p) {
  std::set<uint32_t> s;
  for (int i = 0; i < p.Count(); ++i)
    s.insert(p.GetRGBQuad(i) & 0xFFFFFF);
  return s;
}

// Every pixel is one of `allowed` and no cellWidth x 1 cell holds more than `most` colours;
// `same` (if set) is asked of every cell's colours too. Returns the colours used.
inline std::set<uint32_t>
CheckCells(const TVeBitmap& result, int cellWidth, const std::set<uint32_t>& allowed, size_t most,
           const std::function<bool(const std::set<uint32_t>&)>& same = {}) {
  const auto shown = result.ToBitmap32();
  std::set<uint32_t> used;
  for (int y = 0; y < shown->Height(); ++y)
    for (int cx = 0; cx < shown->Width(); cx += cellWidth) {
      std::set<uint32_t> cell;
      for (int x = cx; x < cx + cellWidth; ++x) {
        const uint32_t q = shown->Pixel(x, y) & 0xFFFFFF;
        EXPECT_TRUE(allowed.count(q)) << x << "," << y;
        cell.insert(q);
      }
      EXPECT_LE(cell.size(), most) << cx << "," << y;
      if (same) {
        EXPECT_TRUE(same(cell)) << cx << "," << y;
      }
      if (::testing::Test::HasFailure()) return used;
      used.insert(cell.begin(), cell.end());
    }
  return used;
}

// The bytes of every file of a conversion (sub-files after their main file).
inline std::vector<msxtest::TBytes> AllFiles(const msxtest::TConversion& c) {
  std::vector<msxtest::TBytes> files;
  for (int i = 0; i < c.Files->Count(); ++i) {
    const TVeStream* s = c.Files->GetStream(i);
    files.push_back(s->Bytes());
    for (int k = 0; k < s->SubCount(); ++k)
      files.push_back(s->GetSubStream(k)->Bytes());
  }
  return files;
}

inline std::vector<msxtest::TBytes> FilesWithWorkers(int workers, const std::string& platform,
                                                     const std::string& mode) {
  SetProcessorCount(workers);
  const auto files = AllFiles(msxtest::ConvertPhoto(platform, mode));
  SetProcessorCount(0);
  return files;
}

inline std::string Message(TVeSourceEngine& e) {
  try {
    e.CreateBitmap();
  } catch (const EVeError& err) {
    return err.what();
  }
  return "";
}

} // namespace clonetest
