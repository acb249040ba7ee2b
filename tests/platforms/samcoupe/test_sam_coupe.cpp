// SAM Coupé: the colour numbers, the four modes' files opened again showing exactly the
// preview, the line-change table replayed as the machine would, and files that lie.
#include <gtest/gtest.h>

#include <set>

#include "VeThreadJob.h"
#include "platforms/msx/test_msx_support.h"
#include "samcoupe/VeOpenPlatformSamCoupe.h"
#include "samcoupe/VePlatformSamCoupe.h"
#include "samcoupe/VeSavePlatformSamCoupe.h"
#include "test_engine_run.h"

using namespace msxtest;

namespace {

template <class E> TVeEngineRun RunSam(int index) {
  const TVeSamModeInfo& m = SamModeInfo(index);
  return VeRunEngine<E>(Photo(m.Width, m.Height));
}

std::unique_ptr<TVeBitmap> Reopen(const TVeStream& stream) {
  RegisterSamCoupeLoaders();
  auto folder = Saved(stream);
  auto list = ProbeSource(folder.get());
  if (!list || list->Count() == 0) return nullptr;
  return list->Engines(0)->CreateBitmap();
}

void ExpectSamePicture(const TVeBitmap& a, const TVeBitmap& b) {
  ASSERT_EQ(a.Width(), b.Width());
  ASSERT_EQ(a.Height(), b.Height());
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      ASSERT_EQ(a.GetStdRGB(x, y), b.GetStdRGB(x, y)) << x << "," << y;
}

template <class E> void ExpectRoundTrip(int index, const char* ext, int size) {
  SCOPED_TRACE(SamModeInfo(index).Mode);
  TVeEngineRun r = RunSam<E>(index);
  ASSERT_TRUE(r.Files);
  ASSERT_EQ(r.Files->Count(), 1);
  EXPECT_EQ(r.Files->GetExtension(0), ext);
  EXPECT_EQ(int(r.File().size()), size);
  auto back = Reopen(*r.Files->GetStream(0));
  ASSERT_TRUE(back);
  ExpectSamePicture(*r.Result, *back);
}

} // namespace

TEST(SamCoupe, ColourNumbersFollowTheBitLayout) {
  const TVePalette256& p = SamPalette();
  ASSERT_EQ(p.Count(), 128);
  std::set<uint32_t> distinct;
  for (int i = 0; i < 128; ++i)
    distinct.insert(p.GetRGBQuad(i));
  EXPECT_EQ(distinct.size(), 128u);
  // G1 R1 B1 BRIGHT G0 R0 B0.
  EXPECT_EQ(p.GetRGBQuad(0), 0x000000u);
  EXPECT_EQ(p.GetRGBQuad(127), 0xFFFFFFu);
  EXPECT_EQ(p.GetRGBQuad(0x22), 0xDB0000u); // R1 R0: level 6
  EXPECT_EQ(p.GetRGBQuad(0x08), 0x242424u); // bright alone: level 1 everywhere
  EXPECT_EQ(p.GetRGBQuad(0x44), 0x00DB00u);
  EXPECT_EQ(p.GetRGBQuad(0x01), 0x000049u); // B0: level 2
}

TEST(SamCoupe, EveryModeOpensAgainAsItsPreview) {
  ExpectRoundTrip<TVeSamMode3Engine>(0, "ss3", SamFileBytes);
  ExpectRoundTrip<TVeSamMode4Engine>(1, "ss4", SamFileBytes);
  ExpectRoundTrip<TVeSamMode4InterlacedEngine>(2, "ssi", SamInterlacedFileBytes);
  ExpectRoundTrip<TVeSamMode4HAMEngine>(3, "ssh", SamHamFileBytes);
}

TEST(SamCoupe, ModesKeepToTheirColourCounts) {
  TVeEngineRun m3 = RunSam<TVeSamMode3Engine>(0);
  EXPECT_LE(m3.Options->Palette().Count(), 4);
  EXPECT_EQ(m3.Result->Width(), 512);
  TVeEngineRun m4 =
      VeRunEngine<TVeSamMode4Engine>(Photo(256, 192), [](auto& o) { o.SetMaxColorCount(5); });
  EXPECT_LE(m4.Options->Palette().Count(), 5);
  // Every CLUT byte is a colour number of a palette colour.
  const uint8_t* clut = m4.File().data() + SamScreenBytes;
  for (int i = 0; i < m4.Options->Palette().Count(); ++i)
    EXPECT_EQ(SamPalette().GetRGBQuad(clut[i]), m4.Options->Palette().GetRGBQuad(i));
}

TEST(SamCoupe, LineChangesStayWithinTheMachinesLimits) {
  TVeEngineRun r = RunSam<TVeSamMode4HAMEngine>(3);
  const std::vector<uint8_t>& f = r.File();
  const uint8_t* changes = f.data() + SamScreenBytes + SamClutBytes;
  // At most 127 lines change anything: a filler rewrites slot 0 with the colour it holds.
  uint8_t regs[16];
  std::copy(f.begin() + SamScreenBytes, f.begin() + SamScreenBytes + 16, regs);
  int changing = 0;
  for (int y = 1; y < 192; ++y) {
    const uint8_t slot = changes[2 * (y - 1)], color = changes[2 * (y - 1) + 1];
    ASSERT_LT(slot, 16);
    ASSERT_LT(color, 128);
    changing += regs[slot] != color;
    regs[slot] = color;
  }
  EXPECT_LE(changing, SamHamLineLimit);
  EXPECT_GT(changing, 0);
}

TEST(SamCoupe, SameFilesWithAnyWorkerCount) {
  auto both = [](int workers) {
    SetProcessorCount(workers);
    std::vector<std::vector<uint8_t>> files;
    files.push_back(RunSam<TVeSamMode3Engine>(0).File());
    files.push_back(RunSam<TVeSamMode4Engine>(1).File());
    files.push_back(RunSam<TVeSamMode4InterlacedEngine>(2).File());
    files.push_back(RunSam<TVeSamMode4HAMEngine>(3).File());
    SetProcessorCount(0);
    return files;
  };
  EXPECT_TRUE(both(1) == both(3));
}

TEST(SamCoupe, LoadersRefuseFilesThatLie) {
  TVeEngineRun r = RunSam<TVeSamMode4HAMEngine>(3);
  auto priority = [](const TBytes& bytes, const std::string& name) {
    RegisterSamCoupeLoaders();
    TFolder folder(name, bytes);
    auto list = ProbeSource(&folder);
    auto* e = Loader<TVeSamHAMSourceEngine>(*list);
    return e ? e->Priority : 0;
  };
  TBytes good = r.File();
  EXPECT_EQ(priority(good, "a.ssh"), 13);
  EXPECT_EQ(priority(good, "a.bin"), 0);
  TBytes shortFile(good.begin(), good.end() - 1);
  EXPECT_EQ(priority(shortFile, "a.ssh"), 0);
  TBytes badSlot = good;
  badSlot[SamScreenBytes + SamClutBytes + 10] = 16;
  EXPECT_EQ(priority(badSlot, "a.ssh"), 0);
  TBytes badClut = good;
  badClut[SamScreenBytes + 3] = 0x80;
  EXPECT_EQ(priority(badClut, "a.ssh"), 0);
  // Decoding checks again what the probe saw.
  TFolder folder("a.ssh", badSlot);
  TVeSamHAMSourceEngine direct(&folder);
  EXPECT_THROW(direct.CreateBitmap(), EVeError);
}
