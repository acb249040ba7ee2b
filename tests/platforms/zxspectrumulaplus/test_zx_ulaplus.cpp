// ZX Spectrum ULA+: the 256-colour palette of each version, the four colour tables, the cell
// rule, the colour counts of the modes, the files and their loaders.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "VeBitmap.h"
#include "VeDest.h"
#include "VeLoadSource.h"
#include "VePalette.h"
#include "VeStream.h"
#include "VeThreadJob.h"
#include "test_engine_run.h"
#include "zxspectrumulaplus/VeOpenPlatformZxSpectrumUlaPlus.h"
#include "zxspectrumulaplus/VePlatformZxSpectrumUlaPlus.h"
#include "zxspectrumulaplus/VeSavePlatformZxSpectrumUlaPlus.h"

namespace {

TVeBitmap32 Photo() {
  TVeBitmap32 b(256, 192);
  for (int y = 0; y < 192; ++y)
    for (int x = 0; x < 256; ++x)
      b.Pixel(x, y) = VeRGBQuad(uint8_t(x), uint8_t((x * y) >> 7), uint8_t(255 - y));
  return b;
}

using TSetup = std::function<void(TVeDestEngineOptions&)>;
TSetup Mode(uint8_t mode, TVePaletteType type = ptV11) {
  return [mode, type](TVeDestEngineOptions& o) {
    o.SetPaletteType(type);
    o.SetPaletteMode(mode);
  };
}

// The working entry the file shows at (x, y), from its attribute and pixel bit.
int FileEntry(const std::vector<uint8_t>& file, bool timex, int x, int y) {
  const uint8_t a =
      file[size_t(timex ? ZxPixelBytes + ZxScreenOffset(y, x / 8) : ZxAttrOffset(x / 8, y / 8))];
  const bool set = file[size_t(ZxScreenOffset(y, x / 8))] >> (7 - x % 8) & 1;
  return 16 * (a >> 6) + (set ? 8 + (a & 7) : (a >> 3 & 7));
}

// The table byte of a working entry: a group's ink entries come first in the file.
int TableAt(int entry) {
  const int g = entry / 16, i = entry % 16;
  return 16 * g + (i < 8 ? 8 + i : i - 8);
}

std::set<uint32_t> Colors(const TVeBitmap& b) {
  std::set<uint32_t> out;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      out.insert(b.Palette().GetRGBQuad(b.GetPixel(x, y)));
  return out;
}

template <class E> TVeEngineRun RunUla(const TSetup& setup) {
  return VeRunEngine<E>(Photo(), setup);
}

} // namespace

TEST(ZxUlaPlus, PaletteOfEachVersion) {
  EXPECT_EQ(ULAPlusLevel(0), 0);
  EXPECT_EQ(ULAPlusLevel(1), 36);
  EXPECT_EQ(ULAPlusLevel(3), 109);
  EXPECT_EQ(ULAPlusLevel(6), 219);
  EXPECT_EQ(ULAPlusLevel(7), 255);
  // Entry 32 G + 4 R + B: G = 5, R = 2, B = 2.
  const int n = 32 * 5 + 4 * 2 + 2;
  EXPECT_EQ(ULAPlusColorRGB(ptV11, n), uint32_t(73) << 16 | 182 << 8 | 182);
  EXPECT_EQ(ULAPlusColorRGB(ptV10, n), uint32_t(73) << 16 | 182 << 8 | 146);
  for (TVePaletteType t : {ptV10, ptV11}) {
    TVePalette256 p;
    ULAPlusMakePalette(p, t);
    ASSERT_EQ(p.Count(), 256);
    std::set<int> blues;
    for (int i = 0; i < 256; ++i)
      blues.insert(p.GetStdRGB(i).B);
    EXPECT_EQ(blues,
              (t == ptV10 ? std::set<int>{0, 109, 146, 255} : std::set<int>{0, 109, 182, 255}));
    EXPECT_EQ(p.GetRGBQuad(255), 0xFFFFFFu);
  }
  // "v1.1 (Gray)": every entry the gray of its "v1.1" colour.
  TVePalette256 colour, gray;
  ULAPlusMakePalette(colour, ptV11);
  ULAPlusMakePalette(gray, ptV11Gray);
  for (int i = 0; i < 256; ++i) {
    const TVeStdRGBColor s = gray.GetStdRGB(i);
    ASSERT_TRUE(s.R == s.G && s.G == s.B) << i;
    ASSERT_NEAR(gray.GetLinGray(i), colour.GetLinGray(i), 1e-9) << i;
  }
  // Other types are taken as "v1.1"; the grays of the palette are its exact grays.
  EXPECT_EQ(ULAPlusPaletteType(ptPulsar), ptV11);
  TVePalette256 grays;
  ULAPlusMakeGrayPalette(grays, ptV10);
  ASSERT_EQ(grays.Count(), 4);
  EXPECT_EQ(grays.GetRGBQuad(2), 0x929292u);
}

TEST(ZxUlaPlus, TableBytesAttributesAndCandidates) {
  TVePalette256 ula;
  ULAPlusMakePalette(ula, ptV11);
  // Group 0: paper colours 10, 20; ink colour 30. Group 1 paper 40 only.
  std::vector<std::vector<TVeColor>> papers{{ula.Color(10), ula.Color(20)}, {ula.Color(40)}};
  std::vector<std::vector<TVeColor>> inks{{ula.Color(30)}, {}};
  TVePalette256 working;
  ULAPlusLayOut(working, papers, inks);
  ASSERT_EQ(working.Count(), 64);
  EXPECT_FALSE(working.Color(1).Excluded);
  EXPECT_TRUE(working.Color(2).Excluded);
  EXPECT_FALSE(working.Color(8).Excluded);
  EXPECT_TRUE(working.Color(24).Excluded); // group 1 has no ink
  uint8_t table[64];
  std::fill(table, table + 64, uint8_t(99));
  ULAPlusWriteTable(table, working, ula);
  EXPECT_EQ(table[0], 30); // group 0's first ink
  EXPECT_EQ(table[8], 10); // then its papers
  EXPECT_EQ(table[9], 20);
  EXPECT_EQ(table[10], 0); // hidden
  EXPECT_EQ(table[1], 0);
  EXPECT_EQ(table[16 + 8], 40);
  EXPECT_EQ(table[63], 0);

  // The candidates: one single per colour, then each group's papers with its inks.
  TVeULAPlusPalette64List list(working);
  ASSERT_EQ(list.Count(), 4 + 2);
  auto c = [&](int i) { return static_cast<TVeULAPlusColor*>(list.GetPalette(i)); };
  EXPECT_TRUE(c(0)->Single);
  EXPECT_EQ(c(0)->Attribute(), 0x00 | 0 << 3); // paper entry 0: paper 0, ink 0
  EXPECT_EQ(c(2)->Paper, 8);                   // the ink single
  EXPECT_EQ(c(2)->Attribute(), 0);             // ink 8 & 7 = 0, paper 0
  EXPECT_EQ(c(3)->Paper, 16);
  EXPECT_EQ(c(3)->Attribute(), 1 << 6); // group 1
  EXPECT_FALSE(c(4)->Single);
  EXPECT_EQ(c(5)->Paper, 1);
  EXPECT_EQ(c(5)->Ink, 8);
  EXPECT_EQ(c(5)->Attribute(), 1 << 3 | 0);
  // A single of an ink entry keeps its ink number, paper 0.
  TVeULAPlusColor inkSingle(working, TVeCellSingle{}, 0, 45);
  EXPECT_EQ(inkSingle.Attribute(), 2 << 6 | 5);
  // A restricting palette drops the entries whose colour it lacks.
  TVePalette256 only;
  only.AddColor(ula.Color(30));
  TVeULAPlusPalette64List restricted(working, &only);
  EXPECT_EQ(restricted.Count(), 1);

  // The layout of 17 colours: group 0 papers 0-7 with inks 1-8, groups 1 and 2 the rest.
  TVePalette256 seventeen;
  for (int i = 0; i < 17; ++i)
    seventeen.AddColor(ula.Color(i * 15));
  ULAPlusLayOut17(working, seventeen);
  EXPECT_EQ(working.GetRGBQuad(8), seventeen.GetRGBQuad(1));
  EXPECT_EQ(working.GetRGBQuad(16 + 8), seventeen.GetRGBQuad(9));
  EXPECT_EQ(working.GetRGBQuad(32), seventeen.GetRGBQuad(8));
  EXPECT_EQ(working.GetRGBQuad(32 + 15), seventeen.GetRGBQuad(16));
  for (int i = 48; i < 64; ++i)
    EXPECT_TRUE(working.Color(i).Excluded) << i;
}

TEST(ZxUlaPlus, EveryCellShowsOnlyItsGroupAndTheModesKeepTheirColourCounts) {
  struct TCase {
    uint8_t Mode;
    bool Timex;
    size_t MaxColors;
  };
  for (TCase t : {TCase{ulaModeColor17, false, 17}, TCase{ulaModeColor64, false, 64},
                  TCase{ulaModeColor64, true, 64}, TCase{ulaModeGray, false, 4}}) {
    TVeEngineRun r = t.Timex ? RunUla<TVeULAPlusTimexEngine>(Mode(t.Mode))
                             : RunUla<TVeULAPlusEngine>(Mode(t.Mode));
    const auto& file = r.File();
    ASSERT_EQ(file.size(), size_t(t.Timex ? 12352 : 6976));
    EXPECT_EQ(r.Files->GetExtension(0), "scr");
    const TVePalette256& working = r.Options->Palette();
    ASSERT_EQ(working.Count(), 64);
    // Each pixel of the preview is the entry its cell's attribute and bit select: a colour of
    // the attribute's group, on the side the bit says.
    for (int y = 0; y < 192; ++y)
      for (int x = 0; x < 256; ++x)
        ASSERT_EQ(r.Result->GetPixel(x, y), FileEntry(file, t.Timex, x, y))
            << int(t.Mode) << " " << t.Timex << ": " << x << "," << y;
    const std::set<uint32_t> used = Colors(*r.Result);
    EXPECT_LE(used.size(), t.MaxColors) << int(t.Mode);
    EXPECT_GT(used.size(), 2u) << int(t.Mode);
    // The table names every used entry's colour.
    TVePalette256 ula;
    ULAPlusMakePalette(ula, ptV11);
    const uint8_t* table = file.data() + file.size() - 64;
    for (int e = 0; e < 64; ++e) {
      if (working.Color(e).Excluded) continue;
      EXPECT_EQ(ula.GetRGBQuad(table[TableAt(e)]), working.GetRGBQuad(e)) << e;
    }
  }
}

TEST(ZxUlaPlus, FilesReadBackAsThePreview) {
  struct TCase {
    uint8_t Mode;
    TVePaletteType Type;
    bool Timex;
  };
  for (TCase t : {TCase{ulaModeColor17, ptV11, false}, TCase{ulaModeColor64, ptV10, false},
                  TCase{ulaModeGray, ptV11, false}, TCase{ulaModeColor17, ptV11Gray, true},
                  TCase{ulaModeColor64, ptV11, true}}) {
    TVeEngineRun r = t.Timex ? RunUla<TVeULAPlusTimexEngine>(Mode(t.Mode, t.Type))
                             : RunUla<TVeULAPlusEngine>(Mode(t.Mode, t.Type));
    const auto& bytes = r.File();
    TVeMemoryLoadSource src("photo.scr", int32_t(bytes.size()), bytes.data());
    auto list = ProbeSource(&src);
    ASSERT_EQ(list->Count(), 1) << "only the ULA+ loader takes " << bytes.size() << " bytes";
    TVeSourceEngine* e = list->Engines(0);
    EXPECT_EQ(e->Priority, 5);
    EXPECT_EQ(e->Description,
              std::string(t.Timex ? "Timex" : "ZX Spectrum") + " 256x192x8 ULAPlus image");
    EXPECT_EQ(e->PaletteTypes, (std::vector<TVePaletteType>{ptV10, ptV11, ptV11Gray}));
    EXPECT_EQ(e->PaletteType, ptV11);
    e->PaletteType = t.Type;
    auto bmp = e->CreateBitmap();
    ASSERT_TRUE(bmp);
    EXPECT_TRUE(*bmp->ToBitmap32() == *r.Result->ToBitmap32())
        << int(t.Mode) << " " << int(t.Type) << " " << t.Timex;
  }
}

TEST(ZxUlaPlus, SameFileWithAnyWorkerCount) {
  std::vector<uint8_t> first;
  for (int workers : {1, 3}) {
    SetProcessorCount(workers);
    TVeEngineRun r = RunUla<TVeULAPlusEngine>(Mode(ulaModeColor64));
    if (first.empty())
      first = r.File();
    else
      EXPECT_EQ(r.File(), first) << workers << " workers";
  }
  SetProcessorCount(0);
}

TEST(ZxUlaPlus, GroupingPlacesFewCandidatesInListOrder) {
  TVePalette256 ula;
  ULAPlusMakePalette(ula, ptV11);
  TVePalette256 picture;
  for (int i = 0; i < 8; ++i)
    picture.AddColor(ula.Color(i * 31));
  TVeULAPlusPreparePaletteList list(picture); // 8 singles, 28 pairs
  std::vector<TVeULAPlusColor*> used;
  for (int i = 0; i < list.Count() && used.size() < 30; i += 1) {
    auto* c = static_cast<TVeULAPlusColor*>(list.GetPalette(i));
    c->Cells = 1;
    c->PaperUses = c->InkUses = 4;
    used.push_back(c);
  }
  TVeULAPlusQuantization grouping(nullptr, ula, false);
  TVePalette256 working;
  grouping.Execute(used, working);
  for (size_t m = 0; m < used.size(); ++m)
    EXPECT_EQ(used[m]->Group, int(m / 8)) << m;
  // Every pair can be drawn from its group's sides, every single from either side.
  auto side = [&](int g, bool paper, uint32_t rgb) {
    for (int i = 0; i < 8; ++i) {
      const TVeColor& e = working.Color(16 * g + (paper ? 0 : 8) + i);
      if (!e.Excluded && e.GetRGBQuad() == rgb) return true;
    }
    return false;
  };
  for (const TVeULAPlusColor* c : used) {
    if (c->Single) {
      EXPECT_TRUE(side(c->Group, true, c->PaperRGB) || side(c->Group, false, c->PaperRGB));
    } else {
      EXPECT_TRUE(side(c->Group, true, c->PaperRGB)) << c->Paper << "," << c->Ink;
      EXPECT_TRUE(side(c->Group, false, c->InkRGB)) << c->Paper << "," << c->Ink;
    }
  }
}

TEST(ZxUlaPlus, CustomModeKeepsToTheAllowedColours) {
  TVePalette256 ula;
  ULAPlusMakePalette(ula, ptV11);
  TVeAllowedColors allowed{};
  std::set<uint32_t> allowedColors;
  for (int n = 0; n < 256; n += 11) {
    allowed[size_t(n)] = 1;
    allowedColors.insert(ula.GetRGBQuad(n));
  }
  TVeEngineRun r = RunUla<TVeULAPlusEngine>([&](TVeDestEngineOptions& o) {
    o.SetPaletteMode(ulaModeCustom);
    o.SetAllowedColors1(allowed);
  });
  for (uint32_t c : Colors(*r.Result))
    EXPECT_TRUE(allowedColors.count(c)) << std::hex << c;
}

TEST(ZxUlaPlus, OptionsPanelAndProgress) {
  TVeULAPlusEngine engine;
  auto o = engine.CreateOptions();
  EXPECT_EQ(o->PaletteType(), ptV11);
  EXPECT_EQ(o->PaletteMode(), ulaModeColor17);
  EXPECT_EQ(o->ErrorDiffusion(), 80);
  EXPECT_EQ(o->GetCellHeight(), 8);
  EXPECT_EQ(o->Palette().Count(), 256);
  EXPECT_EQ(o->BasePalette().Count(), 256);
  o->SetPaletteMode(ulaModeGray);
  EXPECT_EQ(o->Palette().Count(), 4); // the grays
  o->SetPaletteType(ptV11Gray);
  EXPECT_EQ(o->Palette().Count(), 256);
  o->SetPaletteMode(ulaModeColor64);
  EXPECT_EQ(o->BasePalette().Count(), 0);
  auto ui = engine.CreateUI(*o);
  const TVeUIControl* types = ui->Find(ciPaletteTypeList);
  ASSERT_TRUE(types);
  EXPECT_EQ(types->Items, (std::vector<std::string>{"v1.0", "v1.1", "v1.1 (Gray)"}));
  const TVeUIControl* modes = ui->Find(ciPaletteMode);
  ASSERT_TRUE(modes);
  EXPECT_EQ(modes->Items, (std::vector<std::string>{"Gray", "Color (17 from 256, fast)",
                                                    "Color (64 from 256, slow)", "Custom"}));
  EXPECT_TRUE(ui->Has(ciPaletteModeEdit));
  EXPECT_TRUE(ui->Has(ciLimitErrorAtBoundary));

  TVeULAPlusTimexEngine timex;
  auto t = timex.CreateOptions();
  EXPECT_EQ(t->GetCellHeight(), 1);
  EXPECT_EQ(t->DitherMethod(), dmJarvisJudiceNinke);
  EXPECT_FALSE(t->LimitErrorInsideBlock());
  EXPECT_FALSE(t->LimitErrorAtBoundary());

  // "64 from 256" runs three passes and reports them as one.
  auto options = engine.CreateOptions();
  options->SetPaletteMode(ulaModeColor64);
  std::unique_ptr<TVeStreamList> files;
  TVeDestProgress progress;
  TVeULAPlusEngine::Convert(nullptr, Photo(), files, progress, *options, nullptr, nullptr);
  uint32_t total = 0, done = 0;
  progress.GetProgress(total, done);
  EXPECT_EQ(total, 3u * 768);
  EXPECT_EQ(done, total);
}
