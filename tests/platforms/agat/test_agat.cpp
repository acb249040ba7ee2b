// Agat: both readings of the 16 colours and the palette-number tables, the video memory
// layouts, every mode on a photograph read back to exactly the preview, and files that lie.
#include <gtest/gtest.h>

#include <set>

#include "VeErrors.h"
#include "VeThreadJob.h"
#include "agat/VeOpenPlatformAgat.h"
#include "agat/VePlatformAgat.h"
#include "agat/VeSavePlatformAgat.h"
#include "platforms/msx/test_msx_support.h"
#include "platforms/test_palette_types.h"

using namespace msxtest;
using namespace typetest;

namespace {

const char* const SingleModes[] = {"64x64x4",   "128x128x4", "128x256x4",
                                   "256x256x1", "256x256x2", "512x256x1"};

const TVeAgatModeInfo& Info(const std::string& mode) {
  for (int i = 0; i < AgatModeCount; ++i)
    if (mode == AgatModeInfo(i).Mode) return AgatModeInfo(i);
  throw std::runtime_error("no row for " + mode);
}

std::set<uint32_t> ColorsOf(const TVePalette256& p) {
  const std::vector<uint32_t> q = Quads(p);
  return {q.begin(), q.end()};
}

// The file's palette number, then its loader's picture under the same reading.
std::unique_ptr<TVeBitmap32> Reopened(const TVeStream& file, TVePaletteType type) {
  RegisterAgatLoaders();
  auto folder = Saved(file);
  auto list = ProbeSource(folder.get());
  auto* e = Loader<TVeAgatSourceEngine>(*list);
  if (!e) return nullptr;
  e->PaletteType = type;
  return e->CreateBitmap()->ToBitmap32();
}

} // namespace

TEST(Agat, BothReadingsOfTheColours) {
  TVePalette256 p;
  AgatMakeColors(p, AgatCommunityColors);
  std::vector<uint32_t> q = Quads(p);
  ASSERT_EQ(q.size(), 16u);
  EXPECT_EQ(q[0], 0x000000u);
  EXPECT_EQ(q[1], 0xD90000u);
  EXPECT_EQ(q[6], 0x00D9D9u);
  EXPECT_EQ(q[8], 0x262626u);
  EXPECT_EQ(q[9], 0xFF2626u);
  EXPECT_EQ(q[12], 0x2626FFu);
  EXPECT_EQ(q[15], 0xFFFFFFu);
  AgatMakeColors(p, AgatFullFirstColors);
  q = Quads(p);
  EXPECT_EQ(q[0], 0x000000u);
  EXPECT_EQ(q[2], 0x00FF00u);
  EXPECT_EQ(q[7], 0xFFFFFFu);
  EXPECT_EQ(q[8], 0x000000u);
  EXPECT_EQ(q[13], 0x7F007Fu);
  EXPECT_EQ(q[15], 0x7F7F7Fu);
  // The palette numbers name black, white and the primaries in either reading.
  AgatMakePalette(p, agat4Colors, 1, AgatCommunityColors);
  EXPECT_EQ(Quads(p), (std::vector<uint32_t>{0xFFFFFF, 0xD90000, 0x00D900, 0x0000D9}));
  AgatMakePalette(p, agat4Colors, 3, AgatFullFirstColors);
  EXPECT_EQ(Quads(p), (std::vector<uint32_t>{0x000000, 0xFF0000, 0x000000, 0x0000FF}));
  AgatMakePalette(p, agatMono, 1, AgatFullFirstColors);
  EXPECT_EQ(Quads(p), (std::vector<uint32_t>{0xFFFFFF, 0x000000}));
  AgatMakePalette(p, agatMono, 3, AgatCommunityColors);
  EXPECT_EQ(Quads(p), (std::vector<uint32_t>{0x00D900, 0x000000}));
}

TEST(Agat, VideoMemoryLayouts) {
  std::vector<uint8_t> page(16384);
  // 16 colours: the high nibble is the left pixel.
  const TVeAgatScreen& low = Info("64x64x4").Screen;
  AgatSetPixel(low, page.data(), 3, 2, 0xC);
  EXPECT_EQ(page[2 * 32 + 1], 0x0C);
  AgatSetPixel(low, page.data(), 2, 2, 0x5);
  EXPECT_EQ(page[2 * 32 + 1], 0x5C);
  EXPECT_EQ(Info("128x128x4").Screen.PageBytes(), 8192);
  // Odd lines of the 16 KB modes lie 0x2000 on.
  std::fill(page.begin(), page.end(), 0);
  const TVeAgatScreen& lines = Info("128x256x4").Screen;
  AgatSetPixel(lines, page.data(), 127, 255, 0xF);
  EXPECT_EQ(page[0x2000 + 127 * 64 + 63], 0x0F);
  const TVeAgatScreen& color = Info("256x256x2").Screen;
  AgatSetPixel(color, page.data(), 4, 3, 3);
  EXPECT_EQ(page[0x2000 + 64 + 1], 0xC0);
  EXPECT_EQ(AgatGetPixel(color, page.data(), 4, 3), 3);
  const TVeAgatScreen& mono = Info("512x256x1").Screen;
  AgatSetPixel(mono, page.data(), 9, 4, 1);
  EXPECT_EQ(page[2 * 64 + 1], 0x40);
  // 256 x 256 mono: lines one after another.
  const TVeAgatScreen& mono256 = Info("256x256x1").Screen;
  EXPECT_FALSE(mono256.Split);
  EXPECT_EQ(AgatPixelOffset(mono256, 255, 255), 8191);
}

TEST(Agat, PhotographKeepsTheModesColoursAndReadsBack) {
  for (const char* mode : SingleModes) {
    for (TVePaletteType type : {AgatCommunityColors, AgatFullFirstColors}) {
      SCOPED_TRACE(std::string(mode) + " " + std::to_string(int(type)));
      const TVeAgatModeInfo& m = Info(mode);
      const TConversion r = ConvertWithType("Agat", mode, type);
      ASSERT_EQ(r.Files->Count(), 1);
      EXPECT_EQ(r.Files->GetExtension(0), m.Ext);
      const std::vector<uint8_t>& f = r.Files->GetStream(0)->Bytes();
      const int data = m.Screen.PageBytes();
      ASSERT_EQ(int(f.size()), AgatFileBytes(data));
      EXPECT_EQ(f[0] | f[1] << 8, AgatLoadAddress);
      EXPECT_EQ(f[2] | f[3] << 8, data);
      // The tail's sector repeats the data's last 4 bytes, then "VR".
      const uint8_t* tail = f.data() + AgatHeaderBytes + data;
      EXPECT_EQ(tail[0], 0xD6);
      EXPECT_EQ(tail[1], 0xD2);
      const int number = tail[3];
      ASSERT_LT(number, AgatPaletteNumbers);
      if (m.Screen.Kind == agat16Colors) {
        EXPECT_EQ(number, 0);
      }
      TVePalette256 p;
      AgatMakePalette(p, m.Screen.Kind, number, type);
      const std::set<uint32_t> allowed = ColorsOf(p);
      const auto shown = r.Result->ToBitmap32();
      ASSERT_EQ(shown->Width(), m.Width);
      std::set<uint32_t> used;
      for (int y = 0; y < m.Height; ++y)
        for (int x = 0; x < m.Width; ++x) {
          const uint32_t c = shown->Pixel(x, y) & 0xFFFFFF;
          ASSERT_TRUE(allowed.count(c)) << x << "," << y;
          used.insert(c);
        }
      EXPECT_GE(used.size(), m.Screen.Kind == agat16Colors ? 8u : 2u);
      const auto back = Reopened(*r.Files->GetStream(0), type);
      ASSERT_TRUE(back);
      EXPECT_TRUE(*back == *shown);
    }
  }
}

TEST(Agat, SameFilesWithAnyWorkerCount) {
  auto all = [](int workers) {
    SetProcessorCount(workers);
    std::vector<std::vector<uint8_t>> files;
    for (const char* mode : SingleModes)
      files.push_back(
          ConvertWithType("Agat", mode, AgatCommunityColors).Files->GetStream(0)->Bytes());
    SetProcessorCount(0);
    return files;
  };
  EXPECT_TRUE(all(1) == all(3));
}

TEST(Agat, FilesWithoutTailOpenAndFilesThatLieAreRefused) {
  RegisterAgatLoaders();
  // A 256 x 256 four-colour page without its tail: palette number 0.
  TBytes plain(AgatHeaderBytes + 16384, 0);
  plain[1] = 0x40;
  plain[3] = 0x40;
  plain[AgatHeaderBytes] = 0x1B; // values 0 1 2 3
  TFolder folder("pic.gvr", plain);
  auto list = ProbeSource(&folder);
  auto* e = Loader<TVeAgatSourceEngine>(*list);
  ASSERT_TRUE(e);
  const auto bmp = e->CreateBitmap()->ToBitmap32();
  EXPECT_EQ(bmp->Pixel(0, 0) & 0xFFFFFF, 0x000000u);
  EXPECT_EQ(bmp->Pixel(3, 0) & 0xFFFFFF, 0x0000D9u);
  // The same bytes under another mode's extension, a wrong length word, a cut file: offered
  // by extension only, so that opening says what is wrong.
  TFolder other("pic.gsr", plain);
  auto others = ProbeSource(&other);
  ASSERT_TRUE(Loader<TVeAgatSourceEngine>(*others));
  EXPECT_FALSE(Loader<TVeAgatSourceEngine>(*others)->MatchSet & smVerified);
  EXPECT_THROW(Loader<TVeAgatSourceEngine>(*others)->CreateBitmap(), EVeError);
  TBytes lying = plain;
  lying[3] = 0x20;
  TFolder liar("liar.gvr", lying);
  auto liars = ProbeSource(&liar);
  ASSERT_TRUE(Loader<TVeAgatSourceEngine>(*liars));
  EXPECT_FALSE(Loader<TVeAgatSourceEngine>(*liars)->MatchSet & smVerified);
  EXPECT_THROW(Loader<TVeAgatSourceEngine>(*liars)->CreateBitmap(), EVeError);
  TFolder cut("cut.gvr", TBytes(plain.begin(), plain.end() - 1));
  auto cuts = ProbeSource(&cut);
  ASSERT_TRUE(Loader<TVeAgatSourceEngine>(*cuts));
  try {
    Loader<TVeAgatSourceEngine>(*cuts)->CreateBitmap();
    ADD_FAILURE();
  } catch (const EVeError& x) {
    EXPECT_NE(std::string(x.what()).find("cut.gvr"), std::string::npos);
    EXPECT_NE(std::string(x.what()).find("16640"), std::string::npos);
  }
}

TEST(Agat, OnlyHamStaysAPreviewAndSaysWhy) {
  VeRegisterPlatforms();
  TVeDestEngineList& list = DestEngineList();
  const TVeDestSubTypes& modes = list.GetSubTypes(list.IndexOf("Agat"));
  ASSERT_EQ(modes.Count(), 13);
  for (int i = 0; i < modes.Count(); ++i) {
    const TVeDestEngineClass* c = modes.GetEngineClass(i);
    const std::string mode = modes.Strings(i);
    const bool ham = mode == "128x128x4 HAM";
    EXPECT_EQ(c->PreviewOnly(), ham) << mode;
    EXPECT_EQ(c->PreviewOnlyReason().find("no palette") != std::string::npos, ham) << mode;
    EXPECT_EQ(c->GetDisplayScale(), mode.rfind("64x64", 0) == 0 ? 2 : 1) << mode;
  }
}

namespace {

const char* const GigascreenModes[] = {"64x64x8 Gigascreen",   "128x128x8 Gigascreen",
                                       "128x256x8 Gigascreen", "256x256x2 Gigascreen",
                                       "256x256x4 Gigascreen", "512x256x2 Gigascreen"};

std::unique_ptr<TVeBitmap32> Frame(const TVeBitmap& b, int k) {
  return b.Frames()->GetBitmap(k)->ToBitmap32();
}

} // namespace

TEST(AgatGigascreen, TwoPagesOfTheBaseModeShownInTurnAndReadBack) {
  for (const char* mode : GigascreenModes) {
    SCOPED_TRACE(mode);
    const TVeAgatModeInfo& m = Info(mode);
    const TConversion r = ConvertWithType("Agat", mode, AgatCommunityColors);
    ASSERT_EQ(r.Files->Count(), 1);
    EXPECT_EQ(r.Files->GetExtension(0), m.Ext);
    const std::vector<uint8_t>& f = r.Files->GetStream(0)->Bytes();
    const int data = 2 * m.Screen.PageBytes();
    ASSERT_EQ(int(f.size()), AgatFileBytes(data));
    EXPECT_EQ(f[2] | f[3] << 8, data);
    ASSERT_TRUE(r.Result->Frames());
    ASSERT_EQ(r.Result->Frames()->Count(), 2);
    TVePalette256 p;
    AgatMakePalette(p, m.Screen.Kind, f[AgatHeaderBytes + data + 3], AgatCommunityColors);
    const std::set<uint32_t> allowed = ColorsOf(p);
    const auto a = Frame(*r.Result, 0), b = Frame(*r.Result, 1);
    const auto shown = r.Result->ToBitmap32();
    // Each page is a picture of the base mode; the preview is their mix.
    const int n = m.Screen.Colors();
    const uint8_t* first = f.data() + AgatHeaderBytes;
    const uint8_t* second = first + m.Screen.PageBytes();
    int differ = 0;
    for (int y = 0; y < m.Height; ++y)
      for (int x = 0; x < m.Width; ++x) {
        ASSERT_TRUE(allowed.count(a->Pixel(x, y) & 0xFFFFFF)) << x << "," << y;
        ASSERT_TRUE(allowed.count(b->Pixel(x, y) & 0xFFFFFF)) << x << "," << y;
        const int va = AgatGetPixel(m.Screen, first, x, y),
                  vb = AgatGetPixel(m.Screen, second, x, y);
        ASSERT_EQ(r.Result->GetPixel(x, y), va * n + vb);
        differ += va != vb;
      }
    EXPECT_GT(differ, 0);
    RegisterAgatLoaders();
    auto folder = Saved(*r.Files->GetStream(0));
    auto list = ProbeSource(folder.get());
    auto* e = Loader<TVeAgatSourceEngine>(*list);
    ASSERT_TRUE(e);
    const auto back = e->CreateBitmap();
    EXPECT_TRUE(*back->ToBitmap32() == *shown);
    ASSERT_TRUE(back->Frames() && back->Frames()->Count() == 2);
    EXPECT_TRUE(*Frame(*back, 0) == *a);
    EXPECT_TRUE(*Frame(*back, 1) == *b);
  }
}

TEST(AgatGigascreen, NoFlickeringAllowedShowsOnePictureTwice) {
  const TConversion r = ConvertPhoto("Agat", "512x256x2 Gigascreen",
                                     [](TVeDestEngineOptions& o) { o.SetMaxFlickering(0); });
  // Paper and ink differ in brightness, so no pixel may take both.
  EXPECT_TRUE(*Frame(*r.Result, 0) == *Frame(*r.Result, 1));
  const TConversion all = ConvertPhoto("Agat", "512x256x2 Gigascreen");
  EXPECT_FALSE(*Frame(*all.Result, 0) == *Frame(*all.Result, 1));
}

TEST(AgatGigascreen, SameFilesWithAnyWorkerCount) {
  auto all = [](int workers) {
    SetProcessorCount(workers);
    std::vector<std::vector<uint8_t>> files;
    for (const char* mode : GigascreenModes)
      files.push_back(
          ConvertWithType("Agat", mode, AgatCommunityColors).Files->GetStream(0)->Bytes());
    SetProcessorCount(0);
    return files;
  };
  EXPECT_TRUE(all(1) == all(3));
}
