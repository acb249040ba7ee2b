// The TI-99/4A bitmap screen: its palette variants, two colours per 8 x 1 line on a
// photograph, the TI-Artist pair read back as the preview, and the modes left as previews.
#include <gtest/gtest.h>

#include <set>

#include "VeDest.h"
#include "VeDestEngineList.h"
#include "VeGenericEngine.h"
#include "VePlatforms.h"
#include "VeThreadJob.h"
#include "msx/VePlatformMsx.h"
#include "platforms/msx/test_msx_support.h"
#include "test_engine_run.h"
#include "ti99/VeOpenPlatformTi99.h"
#include "ti99/VePlatformTi99.h"
#include "ti99/VeSavePlatformTi99.h"

using namespace msxtest;

namespace {

TVeEngineRun RunBitmap(const std::function<void(TVeDestEngineOptions&)>& setup = {}) {
  static const TVeBitmap32 photo = Photo(256, 192);
  return VeRunEngine<TVeTI99BitmapEngine>(photo, setup);
}

std::unique_ptr<TVeBitmap> ReadBack(const TVeEngineRun& r, TVePaletteType type,
                                    std::string* description = nullptr) {
  auto folder = Saved(*r.Files->GetStream(0));
  RegisterTi99Loaders();
  auto list = ProbeSource(folder.get());
  auto* e = Loader<TVeTIArtistEngine>(*list);
  if (!e) return nullptr;
  e->PaletteType = type;
  if (description) *description = e->Description;
  return e->CreateBitmap();
}

} // namespace

TEST(Ti99, PaletteVariants) {
  TVePalette256 calc, msx;
  Ti99MakePalette(calc, ptTI99Calculated);
  Ti99MakePalette(msx, ptTI99MSX);
  ASSERT_EQ(calc.Count(), 16);
  ASSERT_EQ(msx.Count(), 16);
  EXPECT_EQ(calc.GetRGBQuad(1), 0x000000u);
  EXPECT_EQ(calc.GetRGBQuad(2), 0x21C842u);
  EXPECT_EQ(calc.GetRGBQuad(4), 0x5455EDu);
  EXPECT_EQ(calc.GetRGBQuad(6), 0xD4524Du);
  EXPECT_EQ(calc.GetRGBQuad(13), 0xC95BBAu);
  EXPECT_EQ(calc.GetRGBQuad(14), 0xCCCCCCu);
  EXPECT_EQ(calc.GetRGBQuad(15), 0xFFFFFFu);
  for (int i = 0; i < 16; ++i)
    EXPECT_EQ(msx.GetRGBQuad(i), uint32_t(MsxTms9918Colors[i][0]) << 16 |
                                     uint32_t(MsxTms9918Colors[i][1]) << 8 |
                                     MsxTms9918Colors[i][2]);
}

TEST(Ti99, RealModesAndTheOthersSayPreviewOnly) {
  VeRegisterPlatforms();
  TVeDestEngineList& list = DestEngineList();
  const TVeDestSubTypes& modes = list.GetSubTypes(list.IndexOf("TI-99/4A"));
  ASSERT_EQ(modes.Count(), 12);
  for (int i = 0; i < modes.Count(); ++i) {
    const TVeDestEngineClass* c = modes.GetEngineClass(i);
    const std::string& name = modes.Strings(i);
    const bool real = name == "9918A 256x192x4" || name == "9918A 64x48x4" ||
                      name == "9918A 64x192x4" || name == "9918A 64x48x8 Dual" ||
                      name.rfind("V9938", 0) == 0 || name.rfind("F18A", 0) == 0;
    EXPECT_EQ(c->PreviewOnly(), !real) << modes.Strings(i);
  }
  EXPECT_EQ(list.Find("TI-99/4A", "9918A 64x48x4")->GetDisplayScale(), 4);
  const TVeDestEngineClass* lines = list.Find("TI-99/4A", "9918A 64x192x4");
  ASSERT_TRUE(lines);
  EXPECT_EQ(lines->GetDisplayScale(), 1);
  // Four TMS9918A pixels wide: 4 x 1.138.
  EXPECT_EQ(lines->Create()->CreateOptions()->GetAspectPair(), (TVeAspectPair{500, 2276}));
  const TVeDestEngineClass* c = list.Find("TI-99/4A", "9918A 256x192x4");
  ASSERT_TRUE(c);
  EXPECT_EQ(modes.GetEngineClass(0), c);
  auto options = c->Create()->CreateOptions();
  EXPECT_EQ(options->AspectIndex(), 12);
  EXPECT_EQ(options->PaletteType(), ptTI99Calculated);
  auto ui = c->Create()->CreateUI(*options);
  EXPECT_TRUE(ui->Has(ciPaletteTypeList));
  EXPECT_TRUE(ui->Has(ciPaletteMode));
  EXPECT_TRUE(ui->Has(ciLimitErrorInsideBlock));
}

TEST(Ti99, TwoColoursPerLineOfEightAndNeverTransparent) {
  for (uint8_t mode : {ti99ModeColor, ti99ModeGray}) {
    const TVeEngineRun r = RunBitmap([mode](auto& o) { o.SetPaletteMode(mode); });
    std::set<int> used;
    for (int y = 0; y < 192; ++y)
      for (int cx = 0; cx < 32; ++cx) {
        std::set<int> cell;
        for (int x = cx * 8; x < cx * 8 + 8; ++x)
          cell.insert(r.Result->GetPixel(x, y));
        EXPECT_LE(cell.size(), 2u);
        EXPECT_FALSE(cell.count(0));
        used.insert(cell.begin(), cell.end());
      }
    if (mode == ti99ModeGray)
      for (int c : used)
        EXPECT_TRUE(c == 1 || c == 14 || c == 15) << c;
    else
      EXPECT_GT(used.size(), 6u);
  }
}

TEST(Ti99, TIArtistPairReadsBackAsThePreview) {
  for (TVePaletteType type : {ptTI99Calculated, ptTI99MSX})
    for (uint8_t mode : {ti99ModeColor, ti99ModeGray, ti99ModeBlackWhite}) {
      SCOPED_TRACE(std::to_string(int(type)) + " mode " + std::to_string(mode));
      const TVeEngineRun r = RunBitmap([=](auto& o) {
        o.SetPaletteType(type);
        o.SetPaletteMode(mode);
      });
      ASSERT_EQ(r.Files->Count(), 1);
      const TVeStream* p = r.Files->GetStream(0);
      EXPECT_EQ(p->Extension, "tiap");
      ASSERT_EQ(p->Size(), 6144u);
      ASSERT_EQ(p->SubCount(), 1);
      EXPECT_EQ(p->GetSubStream(0)->Extension, "tiac");
      EXPECT_EQ(p->GetSubStream(0)->Size(), 6144u);
      auto bmp = ReadBack(r, type);
      ASSERT_TRUE(bmp);
      EXPECT_TRUE(*bmp->ToBitmap32() == *r.Result->ToBitmap32());
    }
}

TEST(Ti99, SameFilesWithAnyWorkerCount) {
  auto bytes = [] {
    const TVeEngineRun r = RunBitmap();
    return std::make_pair(r.File(0), r.Files->GetStream(0)->GetSubStream(0)->Bytes());
  };
  SetProcessorCount(1);
  const auto one = bytes();
  SetProcessorCount(3);
  const auto three = bytes();
  SetProcessorCount(0);
  EXPECT_TRUE(one == three);
}

TEST(Ti99, DamagedOrLonePatternFiles) {
  const TVeEngineRun r = RunBitmap();
  const TBytes patterns = r.File(0);
  // Without its colour file: white on black, and the description says so.
  TFolder alone("pic.tiap", patterns);
  RegisterTi99Loaders();
  EXPECT_NE(TVeTIArtistEngine::Check(&alone), 0);
  TVeTIArtistEngine e(&alone);
  EXPECT_NE(e.Description.find("no colour file"), std::string::npos);
  auto bmp = e.CreateBitmap();
  for (int x = 0; x < 8; ++x)
    EXPECT_EQ(bmp->GetPixel(x, 0), (patterns[0] >> (7 - x)) & 1 ? 15 : 1);
  // A colour file of the wrong size is not used; a short pattern file is no picture.
  TFolder bad("pic.tiap", patterns);
  bad.Add("pic.tiac", TBytes(100, 0x4F));
  TVeTIArtistEngine e2(&bad);
  EXPECT_NE(e2.Description.find("no colour file"), std::string::npos);
  TFolder cut("pic.tiap", TBytes(patterns.begin(), patterns.begin() + 6000));
  EXPECT_EQ(TVeTIArtistEngine::Check(&cut), 0);
  TVeTIArtistEngine e3(&cut);
  EXPECT_THROW(e3.CreateBitmap(), EVeError);
}

// ---- V9938 modes ------------------------------------------------------------------------------

namespace {

TVeEngineRun RunV9938(int index, const std::function<void(TVeDestEngineOptions&)>& setup = {}) {
  VeRegisterPlatforms();
  const TVeMSXModeInfo& m = Ti99V9938ModeInfo(index);
  const TVeDestEngineClass* c = DestEngineList().Find("TI-99/4A", m.Mode);
  if (!c || c->GetModeName() != m.Mode) throw std::runtime_error("no engine");
  TVeEngineRun r;
  r.Options = c->Create()->CreateOptions();
  if (setup) {
    r.Options->BeginUpdate();
    setup(*r.Options);
    r.Options->EndUpdate();
  }
  TVeDestProgress progress;
  r.Result = c->Convert(nullptr, Photo(m.Width, m.Height), r.Files, progress, *r.Options, nullptr,
                        nullptr);
  return r;
}

// The MSX loader ranked first reads a stream (with its companions) back.
std::unique_ptr<TVeBitmap> ReadMsx(const TVeStream& s) {
  auto folder = Saved(s);
  auto list = Probe(*folder);
  if (list->Count() == 0) return nullptr;
  return list->Engines(0)->CreateBitmap();
}

} // namespace

TEST(Ti99, V9938ModesAreTheMsxScreensOfTheSameChip) {
  for (int i = 0; i < Ti99V9938ModeCount; ++i) {
    const TVeMSXModeInfo& m = Ti99V9938ModeInfo(i);
    SCOPED_TRACE(m.Mode);
    const TVeDestEngineClass* c = DestEngineList().Find("TI-99/4A", m.Mode);
    ASSERT_TRUE(c);
    EXPECT_FALSE(c->PreviewOnly());
    const TVeEngineRun r = RunV9938(i);
    ASSERT_EQ(r.Result->Width(), m.Width);
    ASSERT_EQ(r.Result->Height(), m.Height);
    EXPECT_EQ(r.Options->PaletteType(), ptMSX9938);
    // G6: at most 16 colours, each a V9938 colour; G7: the fixed GRB332 colours.
    std::set<uint32_t> shown;
    const auto pic = r.Result->ToBitmap32();
    for (int y = 0; y < m.Height; ++y)
      for (int x = 0; x < m.Width; ++x)
        shown.insert(pic->Pixel(x, y) & 0xFFFFFF);
    EXPECT_LE(shown.size(), m.Screen == 7 ? 16u : 256u);
    TVePalette256 table;
    if (m.Screen == 7)
      MsxMakeHardwarePalette(table, ptMSX9938);
    else
      MsxMakeScreen8Palette(table, ptMSX9938);
    for (uint32_t c : shown)
      EXPECT_GE(table.FindExact(c), 0) << std::hex << c;
    // Every file reads back as the preview; a 192-line picture in a BSAVE screen fills the
    // top of the 212 rows.
    for (int f = 0; f < r.Files->Count(); ++f) {
      const TVeStream* s = r.Files->GetStream(f);
      auto bmp = ReadMsx(*s);
      ASSERT_TRUE(bmp) << s->Extension;
      const bool bsave = s->Extension.rfind("sc", 0) == 0;
      if (m.Height == 192 && bsave) {
        ASSERT_EQ(bmp->Height(), 212);
        const auto back = bmp->ToBitmap32();
        for (int y = 0; y < 192; y += 7)
          for (int x = 0; x < m.Width; x += 5)
            ASSERT_EQ(back->Pixel(x, y), pic->Pixel(x, y)) << s->Extension;
      } else {
        EXPECT_TRUE(*bmp->ToBitmap32() == *pic) << s->Extension;
      }
    }
  }
}

TEST(Ti99, V9938SameFilesWithAnyWorkerCount) {
  for (int i : {1, 2, 3}) {
    SCOPED_TRACE(Ti99V9938ModeInfo(i).Mode);
    auto bytes = [i] {
      const TVeEngineRun r = RunV9938(i);
      std::vector<std::vector<uint8_t>> all;
      for (int f = 0; f < r.Files->Count(); ++f)
        all.push_back(r.Files->GetStream(f)->Bytes());
      return all;
    };
    SetProcessorCount(1);
    const auto one = bytes();
    SetProcessorCount(3);
    const auto three = bytes();
    SetProcessorCount(0);
    EXPECT_TRUE(one == three);
  }
}

// ---- Multicolour mode -------------------------------------------------------------------------

TEST(Ti99, MulticolorBlocksReadBackAsThePreview) {
  static const TVeBitmap32 photo = Photo(64, 48);
  for (TVePaletteType type : {ptTI99Calculated, ptTI99MSX})
    for (uint8_t mode : {ti99ModeColor, ti99ModeGray, ti99ModeBlackWhite}) {
      SCOPED_TRACE(std::to_string(int(type)) + " mode " + std::to_string(mode));
      const TVeEngineRun r = VeRunEngine<TVeTI99MulticolorEngine>(photo, [=](auto& o) {
        o.SetPaletteType(type);
        o.SetPaletteMode(mode);
      });
      ASSERT_EQ(r.Result->Width(), 64);
      ASSERT_EQ(r.Result->Height(), 48);
      std::set<int> used;
      for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
          used.insert(r.Result->GetPixel(x, y));
      EXPECT_FALSE(used.count(0)); // transparent
      if (mode == ti99ModeGray) {
        for (int c : used)
          EXPECT_TRUE(c == 1 || c == 14 || c == 15) << c;
      }
      if (mode == ti99ModeColor) {
        EXPECT_GT(used.size(), 5u);
      }
      ASSERT_EQ(r.Files->Count(), 1);
      ASSERT_EQ(r.File(0).size(), 1536u);
      // Block (3, 9) sits in the low nibble of byte ((9 / 8) * 32 + 3 / 2) * 8 + 9 % 8.
      EXPECT_EQ(r.File(0)[size_t((32 + 1) * 8 + 1)] & 15, r.Result->GetPixel(3, 9));
      TFolder saved("pic.vdp", r.File(0));
      RegisterTi99Loaders();
      auto list = ProbeSource(&saved);
      auto* e = Loader<TVeTIMulticolorEngine>(*list);
      ASSERT_TRUE(e);
      e->PaletteType = type;
      EXPECT_TRUE(*e->CreateBitmap()->ToBitmap32() == *r.Result->ToBitmap32());
    }
  TFolder cut("pic.vdp", TBytes(1000, 0x12));
  EXPECT_EQ(TVeTIMulticolorEngine::Check(&cut), 0);
  TVeTIMulticolorEngine e(&cut);
  EXPECT_THROW(e.CreateBitmap(), EVeError);
}

// ---- Lines of four ----------------------------------------------------------------------------

namespace {
TVeEngineRun RunLines(const std::function<void(TVeDestEngineOptions&)>& setup = {}) {
  static const TVeBitmap32 photo = Photo(64, 192);
  return VeRunEngine<TVeTI99LinesEngine>(photo, setup);
}
} // namespace

TEST(Ti99, LinesOfFourAreATIArtistPairWithPatternsF0) {
  for (TVePaletteType type : {ptTI99Calculated, ptTI99MSX})
    for (uint8_t mode : {ti99ModeColor, ti99ModeGray, ti99ModeBlackWhite}) {
      SCOPED_TRACE(std::to_string(int(type)) + " mode " + std::to_string(mode));
      const TVeEngineRun r = RunLines([=](auto& o) {
        o.SetPaletteType(type);
        o.SetPaletteMode(mode);
      });
      ASSERT_EQ(r.Result->Width(), 64);
      ASSERT_EQ(r.Result->Height(), 192);
      std::set<int> used;
      for (int y = 0; y < 192; ++y)
        for (int x = 0; x < 64; ++x)
          used.insert(r.Result->GetPixel(x, y));
      EXPECT_FALSE(used.count(0)); // transparent
      const std::set<int> allowed = mode == ti99ModeBlackWhite ? std::set<int>{1, 15}
                                    : mode == ti99ModeGray     ? std::set<int>{1, 14, 15}
                                                               : std::set<int>{};
      for (int c : used) {
        EXPECT_TRUE(allowed.empty() || allowed.count(c)) << c;
      }
      if (mode == ti99ModeColor) {
        EXPECT_GT(used.size(), 6u);
      }
      ASSERT_EQ(r.Files->Count(), 1);
      const TVeStream* p = r.Files->GetStream(0);
      EXPECT_EQ(p->Extension, "tiap");
      ASSERT_EQ(p->SubCount(), 1);
      EXPECT_EQ(p->GetSubStream(0)->Extension, "tiac");
      const TBytes patterns = r.File(0), colors = p->GetSubStream(0)->Bytes();
      ASSERT_EQ(patterns.size(), 6144u);
      ASSERT_EQ(colors.size(), 6144u);
      for (uint8_t b : patterns) {
        ASSERT_EQ(b, 0xF0);
      }
      // Blocks (10, 13) and (11, 13) share the colour byte of cell column 5, line 13.
      const uint8_t c = colors[size_t(256 + 5 * 8 + 5)];
      EXPECT_EQ(c >> 4, r.Result->GetPixel(10, 13));
      EXPECT_EQ(c & 15, r.Result->GetPixel(11, 13));
      // The TI-Artist loader opens the pair as 256 x 192: the preview, each block four pixels.
      auto bmp = ReadBack(r, type);
      ASSERT_TRUE(bmp);
      ASSERT_EQ(bmp->Width(), 256);
      ASSERT_EQ(bmp->Height(), 192);
      EXPECT_TRUE(*bmp->ToBitmap32() == *r.Result->ToBitmap32(4, 1));
    }
}

TEST(Ti99, LinesOfFourSameFilesWithAnyWorkerCount) {
  auto bytes = [] {
    const TVeEngineRun r = RunLines();
    return std::make_pair(r.File(0), r.Files->GetStream(0)->GetSubStream(0)->Bytes());
  };
  SetProcessorCount(1);
  const auto one = bytes();
  SetProcessorCount(3);
  const auto three = bytes();
  SetProcessorCount(0);
  EXPECT_TRUE(one == three);
}

// ---- Two multicolour screens on alternate frames ------------------------------------------------

namespace {
TVeEngineRun RunDual(const std::function<void(TVeDestEngineOptions&)>& setup = {}) {
  static const TVeBitmap32 photo = Photo(64, 48);
  return VeRunEngine<TVeTI99DualEngine>(photo, setup);
}

std::unique_ptr<TVeBitmap> ReadDual(const TBytes& bytes, TVePaletteType type) {
  TFolder saved("pic.vdd", bytes);
  RegisterTi99Loaders();
  auto list = ProbeSource(&saved);
  auto* e = Loader<TVeTIDualEngine>(*list);
  if (!e) return nullptr;
  e->PaletteType = type;
  return e->CreateBitmap();
}
} // namespace

TEST(Ti99, DualFramesMixTwoMulticolourScreensAndReadBack) {
  VeRegisterPlatforms();
  const TVeDestEngineClass* c = DestEngineList().Find("TI-99/4A", "9918A 64x48x8 Dual");
  ASSERT_TRUE(c);
  auto options = c->Create()->CreateOptions();
  EXPECT_TRUE(c->Create()->CreateUI(*options)->Has(ciMaxFlickering));
  for (TVePaletteType type : {ptTI99Calculated, ptTI99MSX})
    for (uint8_t mode : {ti99ModeColor, ti99ModeGray, ti99ModeBlackWhite}) {
      SCOPED_TRACE(std::to_string(int(type)) + " mode " + std::to_string(mode));
      const TVeEngineRun r = RunDual([=](auto& o) {
        o.SetPaletteType(type);
        o.SetPaletteMode(mode);
      });
      ASSERT_EQ(r.Result->Width(), 64);
      ASSERT_EQ(r.Result->Height(), 48);
      const TVeBitmapList* frames = r.Result->Frames();
      ASSERT_TRUE(frames);
      ASSERT_EQ(frames->Count(), 2);
      const std::set<int> allowed = mode == ti99ModeBlackWhite ? std::set<int>{1, 15}
                                    : mode == ti99ModeGray     ? std::set<int>{1, 14, 15}
                                                               : std::set<int>{};
      int mixed = 0;
      for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
          const int a = frames->GetBitmap(0)->GetPixel(x, y);
          const int b = frames->GetBitmap(1)->GetPixel(x, y);
          ASSERT_TRUE(a >= 1 && a <= 15 && b >= 1 && b <= 15) << a << " " << b;
          ASSERT_TRUE(allowed.empty() || (allowed.count(a) && allowed.count(b)));
          ASSERT_EQ(r.Result->GetPixel(x, y), a * 16 + b);
          mixed += a != b;
        }
      EXPECT_GT(mixed, 0);
      ASSERT_EQ(r.Files->Count(), 1);
      EXPECT_EQ(r.Files->GetStream(0)->Extension, "vdd");
      const TBytes bytes = r.File(0);
      ASSERT_EQ(bytes.size(), 3072u);
      // Block (3, 9): frame A's nibble at ((9 / 8) * 32 + 3 / 2) * 8 + 9 % 8, frame B's 1536 on.
      EXPECT_EQ(bytes[size_t((32 + 1) * 8 + 1)] & 15, frames->GetBitmap(0)->GetPixel(3, 9));
      EXPECT_EQ(bytes[size_t(1536 + (32 + 1) * 8 + 1)] & 15, frames->GetBitmap(1)->GetPixel(3, 9));
      auto back = ReadDual(bytes, type);
      ASSERT_TRUE(back);
      EXPECT_TRUE(*back->ToBitmap32() == *r.Result->ToBitmap32());
      ASSERT_TRUE(back->Frames());
      ASSERT_EQ(back->Frames()->Count(), 2);
      for (int f = 0; f < 2; ++f)
        EXPECT_TRUE(*back->Frames()->GetBitmap(f)->ToBitmap32() ==
                    *frames->GetBitmap(f)->ToBitmap32());
    }
  // No flickering allowed: the two colours of a block are equally bright.
  const TVeEngineRun still = RunDual([](auto& o) { o.SetMaxFlickering(0); });
  TVePalette256 palette;
  Ti99MakePalette(palette, ptTI99Calculated);
  const TVeBitmapList* frames = still.Result->Frames();
  ASSERT_TRUE(frames);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      ASSERT_NEAR(palette.GetLinGray(frames->GetBitmap(0)->GetPixel(x, y)),
                  palette.GetLinGray(frames->GetBitmap(1)->GetPixel(x, y)), 1e-9);
    }
}

TEST(Ti99, DualSameFileWithAnyWorkerCountAndWrongSizesRefused) {
  SetProcessorCount(1);
  const TBytes one = RunDual().File(0);
  SetProcessorCount(3);
  const TBytes three = RunDual().File(0);
  SetProcessorCount(0);
  EXPECT_TRUE(one == three);
  for (size_t size : {size_t(1536), size_t(3071), size_t(3073)}) {
    TFolder bad("pic.vdd", TBytes(size, 0x12));
    RegisterTi99Loaders();
    const TVeSourceMatch m = TVeTIDualEngine::Check(&bad);
    EXPECT_NE(m, 0);
    EXPECT_FALSE(m & smVerified);
    TVeTIDualEngine e(&bad);
    try {
      e.CreateBitmap();
      ADD_FAILURE() << size;
    } catch (const EVeError& error) {
      EXPECT_NE(std::string(error.what()).find("not 3072"), std::string::npos) << error.what();
    }
  }
  TFolder other("pic.vdp", TBytes(3072, 0x12));
  EXPECT_EQ(TVeTIDualEngine::Check(&other), 0);
}
