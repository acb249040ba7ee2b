// Vector-06C: register bytes, the plane layout, the three modes' files opened again showing
// exactly the preview, the change count steering the line-change modes, and files that lie.
#include <gtest/gtest.h>

#include <random>

#include "VeDestEngineUI.h"
#include "VeThreadJob.h"
#include "platforms/msx/test_msx_support.h"
#include "samcoupe/VeOpenPlatformSamCoupe.h"
#include "test_engine_run.h"
#include "vector06c/VeOpenPlatformVector06c.h"
#include "vector06c/VePlatformVector06c.h"
#include "vector06c/VeSavePlatformVector06c.h"

using namespace msxtest;

namespace {

std::unique_ptr<TVeBitmap> Reopen(const TVeStream& stream) {
  RegisterVector06cLoaders();
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

template <class E>
TVeEngineRun RunVector(const std::function<void(TVeDestEngineOptions&)>& setup = {}) {
  return VeRunEngine<E>(Photo(256, 256), setup);
}

// Register bytes per line after replaying a line-change file.
std::vector<std::array<uint8_t, 16>> Replay(const std::vector<uint8_t>& f) {
  std::vector<std::array<uint8_t, 16>> lines;
  std::array<uint8_t, 16> regs;
  std::copy(f.begin() + VectorScreenBytes, f.begin() + VectorFileBytes, regs.begin());
  const int m = f[VectorFileBytes];
  lines.push_back(regs);
  for (int y = 1; y < 256; ++y) {
    for (int k = 0; k < m; ++k) {
      const uint8_t* c = f.data() + VectorFileBytes + 1 + 2 * ((y - 1) * m + k);
      regs[c[0] & 15] = c[1];
    }
    lines.push_back(regs);
  }
  return lines;
}

} // namespace

TEST(Vector06c, RegisterBytesAndPlanes) {
  const TVePalette256& p = VectorPalette();
  ASSERT_EQ(p.Count(), 256);
  EXPECT_EQ(p.GetRGBQuad(0x07), 0xFF0000u); // BBGGGRRR
  EXPECT_EQ(p.GetRGBQuad(0x38), 0x00FF00u);
  EXPECT_EQ(p.GetRGBQuad(0xC0), 0x0000FFu);
  EXPECT_EQ(p.GetRGBQuad(0x49), 0x242455u);
  // Pixel (9, 0): column 1, the column's last byte (top row), bit 6; plane p holds bit p.
  std::vector<uint8_t> planes(VectorScreenBytes);
  TVeVectorScreen s(planes.data());
  s.SetPixel(9, 0, 0b1010);
  EXPECT_EQ(planes[VectorPlaneBytes * 1 + 256 + 255], 0x40);
  EXPECT_EQ(planes[VectorPlaneBytes * 3 + 256 + 255], 0x40);
  EXPECT_EQ(planes[256 + 255] | planes[2 * VectorPlaneBytes + 256 + 255], 0);
  s.SetPixel(8, 255, 15);
  EXPECT_EQ(planes[256], 0x80);
  EXPECT_EQ(s.GetPixel(9, 0), 0b1010);
  s.SetPixel(9, 0, 0);
  EXPECT_EQ(VectorPixel(planes.data(), 9, 0), 0);
}

TEST(Vector06c, EveryModeOpensAgainAsItsPreview) {
  {
    TVeEngineRun r = RunVector<TVeVectorEngine>();
    EXPECT_EQ(r.Files->GetExtension(0), "v6c");
    EXPECT_EQ(int(r.File().size()), VectorFileBytes);
    auto back = Reopen(*r.Files->GetStream(0));
    ASSERT_TRUE(back);
    ExpectSamePicture(*r.Result, *back);
  }
  for (int changes : {1, 3}) {
    SCOPED_TRACE(changes);
    auto setup = [changes](TVeDestEngineOptions& o) { o.SetHamMaxChanges(changes); };
    std::vector<TVeEngineRun> runs;
    runs.push_back(RunVector<TVeVectorHAM1Engine>(setup));
    runs.push_back(RunVector<TVeVectorHAM2Engine>(setup));
    for (const TVeEngineRun& r : runs) {
      EXPECT_EQ(r.Files->GetExtension(0), "v6h");
      EXPECT_EQ(int(r.File().size()), VectorHamFileBytes(changes));
      auto back = Reopen(*r.Files->GetStream(0));
      ASSERT_TRUE(back);
      ExpectSamePicture(*r.Result, *back);
    }
  }
}

TEST(Vector06c, LineChangesKeepToTheCountAndHam1KeepsBlack) {
  auto setup = [](TVeDestEngineOptions& o) { o.SetHamMaxChanges(2); };
  TVeEngineRun ham1 = RunVector<TVeVectorHAM1Engine>(setup);
  const auto lines = Replay(ham1.File());
  for (int y = 0; y < 256; ++y) {
    EXPECT_EQ(lines[size_t(y)][0], 0) << "register 0 left black on line " << y;
    if (y == 0) continue;
    int differ = 0;
    for (int i = 0; i < 16; ++i)
      differ += lines[size_t(y)][size_t(i)] != lines[size_t(y) - 1][size_t(i)];
    EXPECT_LE(differ, 2) << "line " << y;
  }
  TVeEngineRun ham2 = RunVector<TVeVectorHAM2Engine>(setup);
  EXPECT_NE(ham1.File(), ham2.File());
}

TEST(Vector06c, PanelShowsTheChangeCountTheConversionUses) {
  TVeVectorHAM2Engine engine;
  auto options = engine.CreateOptions();
  EXPECT_EQ(options->HamMaxChanges(), VectorHamMostChanges);
  auto ui = engine.CreateUI(*options);
  const TVeUIControl* c = ui->Find(ciHamMaxChanges);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->Value, VectorHamMostChanges);
  EXPECT_EQ(c->Max, VectorHamMostChanges);
  EXPECT_FALSE(ui->Has(ciHamInitialLines)); // nothing here reads it
  ui->SetValue(ciHamMaxChanges, 2);
  EXPECT_EQ(options->HamMaxChanges(), 2);
  // The plain screen offers no HAM group.
  TVeVectorEngine plain;
  auto po = plain.CreateOptions();
  EXPECT_FALSE(plain.CreateUI(*po)->Has(ciHamMaxChanges));
}

TEST(Vector06c, SameFilesWithAnyWorkerCount) {
  auto all = [](int workers) {
    SetProcessorCount(workers);
    std::vector<std::vector<uint8_t>> files = {RunVector<TVeVectorEngine>().File(),
                                               RunVector<TVeVectorHAM1Engine>().File(),
                                               RunVector<TVeVectorHAM2Engine>().File()};
    SetProcessorCount(0);
    return files;
  };
  EXPECT_TRUE(all(1) == all(3));
}

TEST(Vector06c, LoadersRefuseFilesThatLie) {
  TVeEngineRun r = RunVector<TVeVectorHAM2Engine>();
  auto priority = [](const TBytes& bytes, const std::string& name) {
    RegisterVector06cLoaders();
    TFolder folder(name, bytes);
    auto list = ProbeSource(&folder);
    auto* e = Loader<TVeVectorHAMSourceEngine>(*list);
    return e ? e->Priority : 0;
  };
  TBytes good = r.File();
  EXPECT_EQ(priority(good, "a.v6h"), 13);
  EXPECT_EQ(priority(good, "a.v6c"), 0);
  TBytes count = good;
  count[VectorFileBytes] = 3; // claims more changes than the file holds
  EXPECT_EQ(priority(count, "a.v6h"), 0);
  count[VectorFileBytes] = 0;
  EXPECT_EQ(priority(count, "a.v6h"), 0);
  TBytes slot = good;
  slot[VectorFileBytes + 1 + 40] = 16;
  EXPECT_EQ(priority(slot, "a.v6h"), 0);
  TFolder folder("a.v6h", slot);
  TVeVectorHAMSourceEngine direct(&folder);
  EXPECT_THROW(direct.CreateBitmap(), EVeError);
  TFolder truncated("a.v6c", TBytes(100, 0));
  TVeVectorSourceEngine plain(&truncated);
  EXPECT_THROW(plain.CreateBitmap(), EVeError);
}

TEST(Vector06c, RandomBytesOfEveryLoaderSizeNeverCrash) {
  // Both platforms' loaders: exact sizes pass the size check, so only the content checks
  // stand between random bytes and the decoders.
  RegisterVector06cLoaders();
  RegisterSamCoupeLoaders();
  std::mt19937 rng(11);
  const std::pair<const char*, int> files[] = {
      {"a.v6c", VectorFileBytes},
      {"a.v6h", VectorHamFileBytes(1)},
      {"a.v6h", VectorHamFileBytes(4)},
      {"a.ss3", 24592},
      {"a.ss4", 24592},
      {"a.ssi", 49168},
      {"a.ssh", 24974},
  };
  for (const auto& [name, size] : files)
    for (int round = 0; round < 4; ++round) {
      TBytes bytes(static_cast<size_t>(size));
      for (uint8_t& b : bytes)
        b = uint8_t(rng() % (round < 2 ? 16 : 256));
      if (std::string(name) == "a.v6h")
        bytes[VectorFileBytes] = uint8_t(size == VectorHamFileBytes(1) ? 1 : 4);
      TFolder folder(name, bytes);
      auto list = ProbeSource(&folder);
      for (int i = 0; list && i < list->Count(); ++i)
        EXPECT_NO_THROW(list->Engines(i)->CreateBitmap()) << name;
    }
}
