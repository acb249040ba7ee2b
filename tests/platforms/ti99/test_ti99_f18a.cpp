// The F18A bitmap modes: 12-bit palette registers, two colours per 8 x 1 line with sixteen
// registers for the picture or for each line, and the raw dumps read back as the preview.
#include <gtest/gtest.h>

#include <set>

#include "VeDestEngineList.h"
#include "VePlatforms.h"
#include "VeThreadJob.h"
#include "platforms/msx/test_msx_support.h"
#include "test_engine_run.h"
#include "ti99/VeOpenPlatformTi99.h"
#include "ti99/VePlatformTi99F18A.h"
#include "ti99/VeSavePlatformTi99F18A.h"

using namespace msxtest;

namespace {

const TVeBitmap32& Picture() {
  static const TVeBitmap32 photo = Photo(256, 192);
  return photo;
}

template <class E>
TVeEngineRun F18ARun(const std::function<void(TVeDestEngineOptions&)>& setup = {}) {
  return VeRunEngine<E>(Picture(), setup);
}

bool OnGrid(uint32_t quad) {
  for (int shift : {0, 8, 16})
    if ((quad >> shift & 0xFF) % 17) return false;
  return true;
}

// Checks the cell rule on a preview: at most two colours per 8 x 1 group, every colour on the
// 12-bit grid; returns the distinct colours of every line.
std::vector<std::set<uint32_t>> CheckCells(const TVeBitmap& result) {
  const auto pic = result.ToBitmap32();
  std::vector<std::set<uint32_t>> lines(192);
  for (int y = 0; y < 192; ++y)
    for (int cx = 0; cx < 32; ++cx) {
      std::set<uint32_t> cell;
      for (int x = cx * 8; x < cx * 8 + 8; ++x)
        cell.insert(pic->Pixel(x, y) & 0xFFFFFF);
      EXPECT_LE(cell.size(), 2u) << cx << ", " << y;
      for (uint32_t c : cell)
        EXPECT_TRUE(OnGrid(c)) << std::hex << c;
      lines[size_t(y)].insert(cell.begin(), cell.end());
    }
  return lines;
}

std::set<uint32_t> AllOf(const std::vector<std::set<uint32_t>>& lines) {
  std::set<uint32_t> all;
  for (const auto& l : lines)
    all.insert(l.begin(), l.end());
  return all;
}

template <class T> std::unique_ptr<TVeBitmap> ReadBack(const TVeEngineRun& r) {
  auto folder = Saved(*r.Files->GetStream(0));
  RegisterTi99Loaders();
  auto list = ProbeSource(folder.get());
  auto* e = Loader<T>(*list);
  if (!e) return nullptr;
  return e->CreateBitmap();
}

} // namespace

TEST(Ti99F18A, RegistersHoldTwelveBitColours) {
  TVePalette256 on;
  Ti99F18AMakePowerOnPalette(on);
  ASSERT_EQ(on.Count(), 16);
  EXPECT_EQ(on.GetRGBQuad(1) & 0xFFFFFF, 0x000000u);
  EXPECT_EQ(on.GetRGBQuad(2) & 0xFFFFFF, 0x22CC33u);
  EXPECT_EQ(on.GetRGBQuad(4) & 0xFFFFFF, 0x5544FFu);
  EXPECT_EQ(on.GetRGBQuad(6) & 0xFFFFFF, 0xDD5544u);
  EXPECT_EQ(on.GetRGBQuad(14) & 0xFFFFFF, 0xCCCCCCu);
  EXPECT_EQ(on.GetRGBQuad(15) & 0xFFFFFF, 0xFFFFFFu);
  // Every value becomes a colour whose levels are k / 15 of full scale and back.
  TVePalette256 p;
  for (int v = 0; v < 4096; v += 7) {
    p.Clear();
    Ti99F18AAddColor(p, TVeF18AColor(v));
    EXPECT_EQ(Ti99F18AColorOf(p.Color(0)), v);
    EXPECT_DOUBLE_EQ(p.GetLinRGB(0).G, Level15ToLinear(v >> 4 & 15));
    EXPECT_EQ(LinearToLevel(p.GetLinRGB(0).B, 15), v & 15);
  }
  // The data port takes 0000RRRR, then GGGGBBBB.
  uint8_t bytes[2] = {0xFF, 0xFF};
  Ti99F18AWriteRegister(bytes, 0x5D6);
  EXPECT_EQ(bytes[0], 0x05);
  EXPECT_EQ(bytes[1], 0xD6);
  EXPECT_EQ(Ti99F18AReadRegister(bytes), 0x5D6);
}

TEST(Ti99F18A, RealModesInTheirCataloguePlaces) {
  VeRegisterPlatforms();
  TVeDestEngineList& list = DestEngineList();
  const TVeDestSubTypes& modes = list.GetSubTypes(list.IndexOf("TI-99/4A"));
  ASSERT_EQ(modes.Count(), 12);
  EXPECT_EQ(modes.Strings(4), "F18A 256x192x4");
  EXPECT_EQ(modes.Strings(5), "F18A 256x192x4 Scanline");
  for (int i : {4, 5}) {
    const TVeDestEngineClass* c = modes.GetEngineClass(i);
    EXPECT_FALSE(c->PreviewOnly());
    auto options = c->Create()->CreateOptions();
    EXPECT_EQ(options->AspectIndex(), 12);
    EXPECT_EQ(options->PaletteType(), ptF18ACustom);
    auto ui = c->Create()->CreateUI(*options);
    EXPECT_TRUE(ui->Has(ciPaletteMode));
    EXPECT_TRUE(ui->Has(ciLimitErrorAtBoundary));
    // Only the plain mode has one palette to choose and show.
    EXPECT_EQ(ui->Has(ciPaletteTypeList), i == 4);
    EXPECT_EQ(ui->Has(ciPaletteView), i == 4);
  }
}

TEST(Ti99F18A, PictureChoosesSixteenRegisters) {
  struct TCase {
    TVePaletteType Type;
    uint8_t Mode;
  };
  for (const TCase& t :
       {TCase{ptF18ACustom, ti99ModeColor}, TCase{ptF18ACustom, ti99ModeGray},
        TCase{ptF18APowerOn, ti99ModeColor}, TCase{ptF18ACustom, ti99ModeBlackWhite}}) {
    SCOPED_TRACE(std::to_string(int(t.Type)) + " mode " + std::to_string(t.Mode));
    const TVeEngineRun r = F18ARun<TVeF18ABitmapEngine>([&](auto& o) {
      o.SetPaletteType(t.Type);
      o.SetPaletteMode(t.Mode);
    });
    const std::set<uint32_t> used = AllOf(CheckCells(*r.Result));
    EXPECT_LE(used.size(), 16u);
    // Colour 0 is transparent: no cell shows it.
    for (int y = 0; y < 192; ++y)
      for (int x = 0; x < 256; ++x)
        ASSERT_NE(r.Result->GetPixel(x, y), 0);
    const TVePalette256& palette = r.Options->Palette();
    if (t.Mode == ti99ModeGray) {
      for (uint32_t c : used)
        EXPECT_TRUE((c >> 16) == (c & 0xFF) && (c >> 8 & 0xFF) == (c & 0xFF)) << std::hex << c;
    }
    if (t.Mode == ti99ModeBlackWhite) {
      EXPECT_LE(used.size(), 2u);
    }
    if (t.Mode == ti99ModeColor) {
      EXPECT_GT(used.size(), 8u);
    }
    if (t.Type == ptF18APowerOn) {
      TVePalette256 on;
      Ti99F18AMakePowerOnPalette(on);
      for (uint32_t c : used)
        EXPECT_GE(on.FindExact(c), 0) << std::hex << c;
    }
    // The registers in the file are the palette of the preview.
    const auto& file = r.File(0);
    ASSERT_EQ(file.size(), size_t(Ti99F18ABytes));
    for (int i = 0; i < palette.Count(); ++i) {
      TVePalette256 one;
      Ti99F18AAddColor(one, Ti99F18AReadRegister(file.data() + Ti99F18APaletteAt + 2 * i));
      EXPECT_EQ(one.GetRGBQuad(0), palette.GetRGBQuad(i)) << i;
    }
  }
}

TEST(Ti99F18A, EveryLineChoosesItsOwnRegisters) {
  for (uint8_t mode : {ti99ModeColor, ti99ModeGray}) {
    SCOPED_TRACE(int(mode));
    const TVeEngineRun r = F18ARun<TVeF18AScanlineEngine>([&](auto& o) { o.SetPaletteMode(mode); });
    ASSERT_EQ(r.Result->Width(), 256);
    ASSERT_EQ(r.Result->Height(), 192);
    const auto lines = CheckCells(*r.Result);
    for (const auto& line : lines)
      EXPECT_LE(line.size(), 15u); // register 0 stays transparent
    // The picture as a whole shows far more than one palette could.
    EXPECT_GT(AllOf(lines).size(), mode == ti99ModeColor ? 40u : 15u);
    ASSERT_EQ(r.Files->Count(), 1);
    const auto& file = r.File(0);
    ASSERT_EQ(file.size(), size_t(Ti99F18AScanlineBytes));
    for (int at = Ti99F18APaletteAt; at < Ti99F18AScanlineBytes; at += 2)
      ASSERT_EQ(file[size_t(at)] & 0xF0, 0) << at;
  }
}

TEST(Ti99F18A, DumpsReadBackAsThePreview) {
  for (TVePaletteType type : {ptF18ACustom, ptF18APowerOn})
    for (uint8_t mode : {ti99ModeColor, ti99ModeGray, ti99ModeBlackWhite}) {
      SCOPED_TRACE(std::to_string(int(type)) + " mode " + std::to_string(mode));
      const TVeEngineRun r = F18ARun<TVeF18ABitmapEngine>([&](auto& o) {
        o.SetPaletteType(type);
        o.SetPaletteMode(mode);
      });
      ASSERT_EQ(r.Files->Count(), 1);
      EXPECT_EQ(r.Files->GetStream(0)->Extension, "f18a");
      auto bmp = ReadBack<TVeF18ASourceEngine>(r);
      ASSERT_TRUE(bmp);
      EXPECT_TRUE(*bmp->ToBitmap32() == *r.Result->ToBitmap32());
    }
  for (uint8_t mode : {ti99ModeColor, ti99ModeGray}) {
    SCOPED_TRACE(int(mode));
    const TVeEngineRun r = F18ARun<TVeF18AScanlineEngine>([&](auto& o) { o.SetPaletteMode(mode); });
    EXPECT_EQ(r.Files->GetStream(0)->Extension, "f18s");
    auto bmp = ReadBack<TVeF18AScanlineSourceEngine>(r);
    ASSERT_TRUE(bmp);
    EXPECT_TRUE(*bmp->ToBitmap32() == *r.Result->ToBitmap32());
  }
}

TEST(Ti99F18A, SameFilesWithAnyWorkerCount) {
  auto files = [] {
    return std::make_pair(F18ARun<TVeF18ABitmapEngine>().File(0),
                          F18ARun<TVeF18AScanlineEngine>().File(0));
  };
  SetProcessorCount(1);
  const auto one = files();
  SetProcessorCount(3);
  const auto three = files();
  SetProcessorCount(0);
  EXPECT_TRUE(one.first == three.first);
  EXPECT_TRUE(one.second == three.second);
}

TEST(Ti99F18A, WrongSizesAreRefusedWithAClearError) {
  RegisterTi99Loaders();
  const TBytes plain = F18ARun<TVeF18ABitmapEngine>().File(0);
  // Short, long, or the other mode's layout under the extension: taken by its name only, and
  // opening it says what is wrong.
  for (size_t size : {plain.size() - 1, plain.size() + 1, size_t(Ti99F18AScanlineBytes)}) {
    TFolder f("pic.f18a", TBytes(size, 0x01));
    EXPECT_EQ(TVeF18ASourceEngine::Check(&f), smExtension) << size;
    auto list = ProbeSource(&f);
    auto* e = Loader<TVeF18ASourceEngine>(*list);
    ASSERT_TRUE(e);
    try {
      e->CreateBitmap();
      ADD_FAILURE() << size;
    } catch (const EVeError& error) {
      EXPECT_EQ(std::string(error.what()),
                "The F18A dump is " + std::to_string(size) + " bytes long, not 12320");
    }
  }
  TFolder g("pic.f18s", plain);
  EXPECT_EQ(TVeF18AScanlineSourceEngine::Check(&g), smExtension);
  TVeF18AScanlineSourceEngine e(&g);
  EXPECT_THROW(e.CreateBitmap(), EVeError);
  // The right size under another extension is not taken for a dump.
  TFolder h("pic.bin", plain);
  EXPECT_EQ(TVeF18ASourceEngine::Check(&h), 0);
  // Register bytes with the top nibble set: still read, but not verified.
  TBytes odd = plain;
  odd[size_t(Ti99F18APaletteAt)] = 0xF0;
  TFolder o("pic.f18a", odd);
  EXPECT_EQ(TVeF18ASourceEngine::Check(&o) & smVerified, 0);
  EXPECT_NE(TVeF18ASourceEngine::Check(&o), 0);
}
