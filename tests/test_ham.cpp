// Hold-and-modify line palettes: what a machine shows after replaying the change lists must be
// the line palettes the picture was dithered with, lines that fit keep their colours, and the
// fixed black of types 0 and 1 stays where it is.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "VeErrors.h"
#include "VeHAMImage.h"
#include "platforms/msx/test_msx_support.h"

namespace {

// 64 colours of two bits per channel: every byte is 0, 85, 170 or 255.
const TVePaletteRGB& Target() {
  static const TVePaletteRGB p(2, 2, 2);
  return p;
}

uint32_t Level(int r, int g, int b) {
  return uint32_t(r * 85) << 16 | uint32_t(g * 85) << 8 | uint32_t(b * 85);
}

TVeBitmap32 BitmapOf(const std::vector<std::vector<uint32_t>>& rows) {
  TVeBitmap32 b(int(rows[0].size()), int(rows.size()));
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      b.Pixel(x, y) = rows[size_t(y)][size_t(x)];
  return b;
}

TVeImage ImageOf(const std::vector<std::vector<uint32_t>>& rows) {
  return TVeImage(BitmapOf(rows));
}

TVeImage PhotoImage(int w, int h) {
  return TVeImage(msxtest::Photo(w, h));
}

std::set<uint32_t> SlotColors(const TVeHAMLine& line) {
  std::set<uint32_t> s;
  for (int i = 0; i < line.SlotCount(); ++i)
    s.insert(line.GetColor(i)->Quad);
  return s;
}

std::set<uint32_t> RowColors(const std::vector<uint32_t>& row) {
  return std::set<uint32_t>(row.begin(), row.end());
}

// Replays the change lists as the machine would and checks that every line shows its line
// palette; returns the number of lines with at least one real change.
int ReplayChanges(TVeHAMPalette& ham) {
  std::vector<uint32_t> regs;
  const TVeHAMLine& first = *ham.Line(0);
  for (int i = 0; i < first.SlotCount(); ++i)
    regs.push_back(first.GetColor(i)->Quad);
  int changing = 0;
  for (int y = 1; y < ham.LineCount(); ++y) {
    const TVeHAMLine& line = *ham.Line(y);
    const std::vector<TVeHAMChange>& changes = ham.Changes(y);
    EXPECT_EQ(int(changes.size()), ham.MaxChanges());
    bool real = false;
    bool fillersStarted = false;
    for (const TVeHAMChange& c : changes) {
      if (c.Filler) {
        fillersStarted = true;
        EXPECT_EQ(c.Slot, 0);
        EXPECT_EQ(c.Quad(), line.GetColor(0)->Quad) << "a filler rewrites slot 0 as it is";
      } else {
        EXPECT_FALSE(fillersStarted) << "real changes come first";
        real = true;
      }
      if (regs.size() <= size_t(c.Slot)) regs.resize(size_t(c.Slot) + 1, 0xFFFFFFFF);
      regs[size_t(c.Slot)] = c.Quad();
    }
    changing += real;
    EXPECT_LE(line.SlotCount(), ham.ColorsPerLine());
    for (int i = 0; i < line.SlotCount(); ++i) {
      if (size_t(i) >= regs.size()) {
        ADD_FAILURE() << "slot " << i << " never written, line " << y;
        return changing;
      }
      EXPECT_EQ(regs[size_t(i)], line.GetColor(i)->Quad) << "line " << y << " slot " << i;
    }
  }
  return changing;
}

class TRecordingImage : public TVeHAMImage {
public:
  using TVeHAMImage::TVeHAMImage;
  int Initial = 0;
  std::vector<std::pair<int, TVeHAMChange>> Writes;

protected:
  void WriteInitialPalette(const TVePalette*, const TVeHAMLine&) override { ++Initial; }
  void WriteChange(const TVePalette*, int slot, int line, const TVeHAMChange& c) override {
    EXPECT_EQ(slot, c.Slot);
    Writes.emplace_back(line, c);
  }
};

TVeDitherOptions NoDither() {
  TVeDitherOptions d;
  d.DitherMethod = 0;
  return d;
}

} // namespace

TEST(HamPalette, LinesThatFitKeepTheirColours) {
  // Line y shows colours y .. y + 3 of a list of target colours: one new colour per line, so
  // one change per line is enough. Each colour also appears snapped from a nearby byte value.
  std::vector<uint32_t> list;
  for (int i = 0; i < 40; ++i)
    list.push_back(Level(i % 4, (i / 4) % 4, (i / 16) % 4));
  std::vector<std::vector<uint32_t>> rows;
  for (int y = 0; y < 30; ++y) {
    std::vector<uint32_t> row;
    for (int x = 0; x < 32; ++x)
      row.push_back(list[size_t(y + (x * 7 + y) % 4)]);
    rows.push_back(row);
  }
  for (int type : {0, 1, 2}) {
    SCOPED_TRACE(type);
    const int first = type == 2 ? 0 : 1;
    TVeImage image = ImageOf(rows);
    TVeHAMPalette ham(nullptr, type, 0, 1, 4 + first, Target(), image);
    for (int y = 0; y < 30; ++y) {
      const std::set<uint32_t> slots = SlotColors(*ham.Line(y));
      for (uint32_t c : RowColors(rows[size_t(y)]))
        EXPECT_TRUE(slots.count(c)) << "line " << y << " lost " << std::hex << c;
    }
    ReplayChanges(ham);
    // Without dithering the result is the picture itself.
    TVeHAMImage dither(BitmapOf(rows));
    auto result = dither.Convert(nullptr, NoDither(), &Target(), ham);
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 32; ++x)
        ASSERT_EQ(Target().GetRGBQuad(result->GetPixel(x, y)), rows[size_t(y)][size_t(x)]);
  }
  // Colours off the target snap to their nearest target colour.
  std::vector<std::vector<uint32_t>> off = rows;
  for (auto& row : off)
    for (uint32_t& c : row)
      c = (c & 0xFCFCFC) | 0x010101;
  TVeImage image = ImageOf(off);
  TVeHAMPalette ham(nullptr, 2, 0, 1, 4, Target(), image);
  for (int y = 0; y < 30; ++y)
    EXPECT_EQ(SlotColors(*ham.Line(y)), RowColors(rows[size_t(y)])) << "line " << y;
}

TEST(HamPalette, AsManyChangesAsSlotsCarryNothingOver) {
  // Every line its own random colours: nothing needs to carry over, so nothing may be lost.
  std::mt19937 rng(5);
  std::vector<std::vector<uint32_t>> rows;
  for (int y = 0; y < 24; ++y) {
    std::vector<uint32_t> pick;
    for (int i = 0; i < 6; ++i)
      pick.push_back(Level(int(rng() % 4), int(rng() % 4), int(rng() % 4)));
    std::vector<uint32_t> row;
    for (int x = 0; x < 24; ++x)
      row.push_back(pick[rng() % pick.size()]);
    rows.push_back(row);
  }
  for (int type : {1, 2}) {
    SCOPED_TRACE(type);
    const int first = type == 2 ? 0 : 1;
    TVeImage image = ImageOf(rows);
    TVeHAMPalette ham(nullptr, type, 0, 6, 6 + first, Target(), image);
    for (int y = 0; y < 24; ++y) {
      const std::set<uint32_t> slots = SlotColors(*ham.Line(y));
      for (uint32_t c : RowColors(rows[size_t(y)]))
        EXPECT_TRUE(slots.count(c)) << "line " << y;
    }
    ReplayChanges(ham);
  }
}

TEST(HamPalette, PhotographReplaysExactlyWithinMaxChanges) {
  TVeImage photo = PhotoImage(96, 72);
  for (int type : {0, 1, 2})
    for (int maxChanges : {1, 3}) {
      SCOPED_TRACE(testing::Message() << "type " << type << " changes " << maxChanges);
      TVeHAMPalette ham(nullptr, type, 0, maxChanges, 16, Target(), photo);
      ASSERT_EQ(ham.LineCount(), 72);
      EXPECT_LT(ham.Passes(), TVeHAMPalette::MaxPasses) << "the construction never settled";
      ReplayChanges(ham);
      for (int y = 0; y < 72; ++y) {
        const TVeHAMLine& line = *ham.Line(y);
        for (int i = 0; i < line.SlotCount(); ++i)
          ASSERT_GE(Target().FindExact(line.GetColor(i)->Quad), 0) << "unsnapped slot";
        if (type != 2) {
          EXPECT_EQ(line.GetColor(0)->Quad, 0u) << "black left slot 0, line " << y;
        }
        // Slots that differ from the previous line are at most the changes allowed.
        if (y > 0) {
          const TVeHAMLine& prev = *ham.Line(y - 1);
          int differ = 0;
          for (int i = 0; i < line.SlotCount(); ++i)
            differ += i >= prev.SlotCount() || prev.GetColor(i)->Quad != line.GetColor(i)->Quad;
          EXPECT_LE(differ, maxChanges) << "line " << y;
        }
        if (type == 2) continue;
        // Slot 0 appears in change entries only as a filler.
        if (y == 0) continue;
        for (const TVeHAMChange& c : ham.Changes(y)) {
          if (c.Slot == 0) {
            EXPECT_EQ(c.Filler, 1) << "line " << y;
          }
        }
      }
    }
}

TEST(HamPalette, LineLimitKeepsTheOtherLinesStill) {
  TVeImage photo = PhotoImage(64, 60);
  TVeHAMPalette limited(nullptr, 2, 20, 1, 16, Target(), photo);
  const int changing = ReplayChanges(limited);
  EXPECT_LE(changing, 20);
  EXPECT_GT(changing, 0);
  TVeHAMPalette free(nullptr, 2, 0, 1, 16, Target(), photo);
  EXPECT_GT(ReplayChanges(free), changing);
}

TEST(HamPalette, CancelledConstructionAborts) {
  TVeImage photo = PhotoImage(64, 48);
  TVeCancelFlag cancel{1};
  EXPECT_THROW(TVeHAMPalette(&cancel, 2, 0, 1, 16, Target(), photo), EAbort);
  TVeHAMPalette ham(nullptr, 2, 0, 1, 16, Target(), photo);
  TVeHAMImage image(msxtest::Photo(64, 48));
  EXPECT_THROW(image.Convert(&cancel, TVeDitherOptions{}, &Target(), ham), EAbort);
}

TEST(HamImage, HooksSeeEveryChangeAndScreenHoldsSlots) {
  const TVeBitmap32 source = msxtest::Photo(64, 40);
  TVeImage prepared(source);
  TVeHAMPalette ham(nullptr, 1, 0, 2, 16, Target(), prepared);
  TRecordingImage image(source);
  std::vector<uint8_t> bytes(size_t(64 * 40));
  TVeScreen8 screen(64, bytes.data(), 40);
  TVeDitherOptions d; // Floyd-Steinberg, serpentine
  auto result = image.Convert(nullptr, d, &Target(), ham, &screen);
  EXPECT_EQ(image.Initial, 1);
  ASSERT_EQ(image.Writes.size(), size_t(39 * 2));
  for (size_t i = 0; i < image.Writes.size(); ++i)
    EXPECT_EQ(image.Writes[i].first, int(i / 2) + 1);
  std::set<uint32_t> used;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 64; ++x) {
      const int slot = screen.GetPixel(x, y);
      ASSERT_LT(slot, ham.Line(y)->SlotCount());
      const uint32_t q = ham.Line(y)->GetColor(slot)->Quad;
      ASSERT_EQ(Target().GetRGBQuad(result->GetPixel(x, y)), q) << x << "," << y;
      used.insert(q);
    }
  ASSERT_TRUE(image.UsedColors());
  EXPECT_EQ(size_t(image.UsedColors()->Count()), used.size());
  // Without a target the result holds the colours themselves.
  TVeHAMImage plain(source);
  auto rgb = plain.Convert(nullptr, d, nullptr, ham);
  EXPECT_EQ(rgb->BitCount(), 24);
  EXPECT_EQ(uint32_t(rgb->GetPixel(5, 5)), Target().GetRGBQuad(result->GetPixel(5, 5)));
}
