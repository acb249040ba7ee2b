// Loading sources: picture conversion, load sources, the loader registry and ranking, the
// source controller and the folder list.
#include <gtest/gtest.h>

#include <chrono>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "VeByteReader.h"
#include "VeLoadSource.h"
#include "VeSource.h"
#include "VeSourceEngines.h"

namespace {

namespace fs = std::filesystem;

class TempDir {
public:
  TempDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    FPath = fs::temp_directory_path() / ("velmora-src-" + std::to_string(getpid()) + "-" +
                                         std::string(info->test_suite_name()) + "-" + info->name());
    fs::remove_all(FPath);
    fs::create_directories(FPath);
  }
  ~TempDir() { fs::remove_all(FPath); }
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    const std::string p = (FPath / name).string();
    VeWriteFile(p, bytes);
    return p;
  }
  std::string Path() const { return FPath.string(); }

private:
  fs::path FPath;
};

std::vector<uint8_t> Bytes(const std::string& s) {
  return {s.begin(), s.end()};
}

// A 4-bit BMP whose pixels use indices 0-3 and 15 with a 4-entry palette.
std::vector<uint8_t> Bmp4WithShortPalette() {
  TVePicture p;
  p.Allocate(4, 2, 4);
  p.Row(0)[0] = 0x01, p.Row(0)[1] = 0x2F; // 0 1 2 15
  p.Row(1)[0] = 0xF3, p.Row(1)[1] = 0x31; // 15 3 3 1
  return VeWriteBmp(4, 2, 4, {0x000000, 0xFF0000, 0x00FF00, 0x0000FF},
                    [&](int y) { return p.Row(y); });
}

// Test loaders: a class per tag, whose probe answers from a table the test sets.
std::map<int, TVeSourceMatch> GMatch;
std::map<int, bool> GThrowInProbe, GThrowInCtor;
std::map<int, std::string> GExt; // when set, only files with this extension are taken

template <int Tag> class TFakeEngine : public TVeSourceEngine {
public:
  explicit TFakeEngine(TVeLoadSource* s) : TVeSourceEngine(s, "TFakeEngine") {
    if (GThrowInCtor[Tag]) throw EVeError("broken loader");
    Width = 8;
    Height = 2;
    BitsPerPixel = 1;
    MakeBlackWhitePalette();
    Description = "Fake" + std::to_string(Tag) + SizeText() + " image";
  }
  static TVeSourceMatch Check(TVeLoadSource* s) {
    if (GThrowInProbe[Tag]) throw EVeError("broken probe");
    if (!GExt[Tag].empty() && s->Ext != GExt[Tag]) return 0;
    return GMatch[Tag];
  }
  std::unique_ptr<TVeBitmap> CreateBitmap() override {
    auto b = std::make_unique<TVeBitmap1>(Width, Palette.get(), Height);
    for (int y = 0; y < Height; ++y)
      Unpack1Bit(*b, 0, y, y < Source->Size ? Source->Data[y] : 0, 1, 0);
    return b;
  }
};

// Keeps the global registry as it was before the test.
class RegistryScope {
public:
  RegistryScope() : FCount(RegisteredSourceEngines().size()) {
    GMatch.clear();
    GThrowInProbe.clear();
    GThrowInCtor.clear();
    GExt.clear();
  }
  ~RegistryScope() { TruncateSourceEngines(FCount); }

private:
  size_t FCount;
};

struct TRecorder : IVeSourceClient {
  int ImageCalls = 0, RegionCalls = 0;
  const TVeBitmap32* LastImage = nullptr;
  const TVeBitmap32* LastRegion = nullptr;
  void SourceImageChanged(TVeSource*, const TVeBitmap32* image) override {
    ++ImageCalls;
    LastImage = image;
  }
  void SourceRegionChanged(TVeSource*, const TVeBitmap32* region, const TVePalette256*,
                           const TVePalette256*) override {
    ++RegionCalls;
    LastRegion = region;
  }
};

} // namespace

TEST(PictureToBitmap32, IndexBeyondPaletteIsBlackAndNotUsed) {
  const auto file = Bmp4WithShortPalette();
  TVePictureResult r = PictureToBitmap32(VeDecodeBmp(file.data(), file.size()));
  EXPECT_EQ(r.Image.Pixel(3, 0), 0xFF000000u); // index 15: black, opaque in the end
  EXPECT_EQ(r.Image.Pixel(0, 1), 0xFF000000u);
  EXPECT_EQ(r.Image.Pixel(1, 0), 0xFFFF0000u);
  ASSERT_TRUE(r.FilePalette);
  EXPECT_EQ(r.FilePalette->Count(), 4);
  ASSERT_TRUE(r.UsedColors);
  // Colours in pixel order: 0 (black) 1 2 then 3; index 15 adds nothing.
  ASSERT_EQ(r.UsedColors->Count(), 4);
  EXPECT_EQ(r.UsedColors->GetRGBQuad(0), 0x000000u);
  EXPECT_EQ(r.UsedColors->GetRGBQuad(3), 0x0000FFu);
  EXPECT_EQ(r.UsedColors->Color(0).UseCount, 0); // black only once, at index 0
  EXPECT_EQ(r.UsedColors->Color(3).UseCount, 1);
}

TEST(PictureToBitmap32, DepthsPalettesAndLimits) {
  // 1 bit: used colours are the file palette itself.
  TVePicture one;
  one.Allocate(8, 1, 1);
  one.Palette = {0x101010, 0xF0F0F0, 0x123456};
  one.Row(0)[0] = 0x80;
  TVePictureResult r = PictureToBitmap32(one);
  EXPECT_EQ(r.Image.Pixel(0, 0), 0xFFF0F0F0u);
  EXPECT_EQ(r.Image.Pixel(1, 0), 0xFF101010u);
  ASSERT_TRUE(r.UsedColors);
  EXPECT_EQ(r.UsedColors->Count(), 3);
  // Without a palette an indexed picture is refused.
  one.Palette.clear();
  try {
    PictureToBitmap32(one);
    FAIL();
  } catch (const EVeError& e) {
    EXPECT_STREQ(e.what(), "Invalid palette");
  }
  // 32 bits: the fourth byte is ignored; palettes collect colours in pixel order.
  TVePicture q;
  q.Allocate(3, 1, 32);
  const uint8_t px[12] = {1, 2, 3, 0, 9, 9, 9, 0, 1, 2, 3, 77};
  std::memcpy(q.Row(0), px, 12);
  r = PictureToBitmap32(q, vpwPicture | vpwUsedColors);
  EXPECT_EQ(r.Image.Pixel(0, 0), 0xFF030201u);
  EXPECT_EQ(r.Image.Pixel(2, 0), 0xFF030201u);
  EXPECT_FALSE(r.FilePalette); // not asked for
  ASSERT_TRUE(r.UsedColors);
  EXPECT_EQ(r.UsedColors->Count(), 2);
  EXPECT_EQ(r.UsedColors->Color(0).UseCount, 1);
  // More than 729 colours: both palettes are absent, the picture is complete.
  TVePicture many;
  many.Allocate(1000, 2, 24);
  for (int x = 0; x < 1000; ++x)
    many.Row(1)[3 * x] = uint8_t(x), many.Row(1)[3 * x + 1] = uint8_t(x >> 8);
  r = PictureToBitmap32(many);
  EXPECT_FALSE(r.FilePalette);
  EXPECT_FALSE(r.UsedColors);
  EXPECT_EQ(r.Image.Pixel(999, 1), 0xFF0003E7u);
  // Exactly 729 colours still fit.
  many.Allocate(729, 1, 24);
  for (int x = 0; x < 729; ++x)
    many.Row(0)[3 * x] = uint8_t(x), many.Row(0)[3 * x + 1] = uint8_t(x >> 8);
  r = PictureToBitmap32(many);
  ASSERT_TRUE(r.FilePalette);
  EXPECT_EQ(r.FilePalette->Count(), 729);
}

TEST(PictureToBitmap32, TransparentIndexLiesOnWhite) {
  TVePicture p;
  p.Allocate(2, 1, 8);
  p.Palette = {0x336699, 0x000000};
  p.PaletteAlpha = {0, 255};
  p.Row(0)[1] = 1;
  TVePictureResult r = PictureToBitmap32(p);
  EXPECT_EQ(r.Image.Pixel(0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(r.FilePalette->GetRGBQuad(0), 0x336699u); // the file's palette is kept
  EXPECT_EQ(r.UsedColors->GetRGBQuad(0), 0xFFFFFFu);  // what is seen is used
}

TEST(ByteReader, EveryReadIsBounded) {
  const uint8_t data[7] = {1, 2, 3, 4, 5, 6, 7};
  TVeByteReader r(data, 7);
  uint32_t d = 0;
  uint16_t w = 0;
  uint8_t b = 0;
  EXPECT_TRUE(r.ReadDWord(d));
  EXPECT_EQ(d, 0x04030201u);
  EXPECT_FALSE(r.ReadDWord(d)); // 3 left: position stays
  EXPECT_EQ(r.Remaining, 3);
  EXPECT_TRUE(r.ReadWord(w));
  EXPECT_EQ(w, 0x0605);
  EXPECT_EQ(r.Take(2), nullptr);
  uint8_t buf[2];
  EXPECT_FALSE(r.Read(buf, 2));
  EXPECT_FALSE(r.Read(buf, -1));
  EXPECT_TRUE(r.ReadByte(b));
  EXPECT_EQ(b, 7);
  EXPECT_FALSE(r.ReadByte(b));
  TVeByteReader s(data, 7);
  s.Skip(100); // past the end: nothing more can be read
  EXPECT_LT(s.Remaining, 0);
  EXPECT_FALSE(s.ReadByte(b));
  EXPECT_EQ(s.Take(0), nullptr);
  s.Skip(INT32_MAX);
  s.Skip(INT32_MAX);
  EXPECT_LT(s.Remaining, 0);
  TVeByteReader t(data, 7);
  t.Skip(-5);
  EXPECT_EQ(t.Remaining, 7);
  EXPECT_NE(t.Take(7), nullptr);
}

TEST(LoadSource, CompanionFilesAndTheSizeLimit) {
  TempDir dir;
  const std::string main = dir.Write("Pic.SCR", std::vector<uint8_t>(6912, 1));
  dir.Write("big.bin", std::vector<uint8_t>(10485761, 0));
  dir.Write("almost.bin", std::vector<uint8_t>(10485760, 0));
  dir.Write("Upper.DAT", Bytes("abc"));
  TVeFileLoadSource s(main);
  EXPECT_EQ(s.Name, "Pic.SCR");
  EXPECT_EQ(s.Ext, ".scr");
  EXPECT_EQ(s.Size, 6912);
  EXPECT_EQ(s.Folder, dir.Path() + "/");
  EXPECT_EQ(s.FindFile("big.bin"), nullptr);
  const TVeLoadSourceRec* almost = s.FindFile("almost.bin");
  ASSERT_NE(almost, nullptr);
  EXPECT_EQ(almost->Size, 10485760);
  EXPECT_EQ(s.FindFile("ALMOST.BIN"), almost); // cached, compared without case
  const TVeLoadSourceRec* upper = s.FindFile("upper.dat");
  ASSERT_NE(upper, nullptr);
  EXPECT_EQ(upper->Ext, ".dat");
  EXPECT_EQ(s.FindFile("missing"), nullptr);
  EXPECT_EQ(s.FindFile("../Pic.SCR"), nullptr); // names never leave the folder
  EXPECT_EQ(s.Files.size(), 3u);
  TVeFileLoadSource none(dir.Path() + "/nothing.scr");
  EXPECT_EQ(none.Size, 0);
  const uint8_t bytes[3] = {1, 2, 3};
  TVeMemoryLoadSource m("screen.SCR", 3, bytes);
  EXPECT_EQ(m.Ext, ".scr");
  EXPECT_EQ(m.Data, bytes);
  EXPECT_EQ(m.FindFile("screen.SCR"), nullptr);
}

// Folders are indexed once for names in another case; a changed folder is read again.
TEST(LoadSource, CompanionInAnotherCaseAfterTheFolderChanged) {
  TempDir dir;
  const std::string main = dir.Write("pic.scr", std::vector<uint8_t>(6912, 1));
  std::filesystem::last_write_time(dir.Path(), std::filesystem::file_time_type::clock::now() -
                                                   std::chrono::seconds(60));
  TVeFileLoadSource before(main);
  EXPECT_EQ(before.FindFile("pic.pal"), nullptr);
  EXPECT_EQ(before.FindFile("PIC.SCR")->Size, 6912);
  dir.Write("PIC.PAL", Bytes("abc"));
  TVeFileLoadSource after(main);
  const TVeLoadSourceRec* pal = after.FindFile("pic.pal");
  ASSERT_NE(pal, nullptr);
  EXPECT_EQ(pal->Size, 3);
}

// What the user is told when the file itself is the trouble, on every road a file takes.
TEST(LoadSource, SaysWhyTheFileCannotBeRead) {
  RegistryScope scope;
  TempDir dir;
  const std::string missing = dir.Path() + "/missing.scr";
  const std::string folder = dir.Path() + "/folder.scr";
  fs::create_directories(folder);
  const std::string big = dir.Write("big.scr", std::vector<uint8_t>(10485761, 0));
  const std::string empty = dir.Write("empty.scr", {});
  const std::string tooLarge = "File too large (10485761 bytes; the limit is 10 MB)";
  struct {
    std::string Path, Reason;
  } cases[] = {{missing, "No such file"}, {dir.Path() + "/none/x.scr", "No such file"},
               {folder, "Is a folder"},   {folder + "/", "Is a folder"},
               {big, tooLarge},           {empty, "Unknown image type"}};
  for (const auto& c : cases) {
    TVeFileLoadSource s(c.Path);
    EXPECT_EQ(s.Size, 0) << c.Path;
    EXPECT_EQ(s.EmptyReason(), c.Reason) << c.Path;
    TVeSource source;
    try {
      source.OpenFile(c.Path);
      ADD_FAILURE() << c.Path;
    } catch (const EVeError& e) {
      EXPECT_EQ(e.what(), c.Reason) << c.Path;
    }
  }
  // Exactly 10 MB is read; a companion that is missing or too large is simply absent.
  TVeFileLoadSource almost(dir.Write("almost.scr", std::vector<uint8_t>(10485760, 0)));
  EXPECT_EQ(almost.Size, 10485760);
  EXPECT_EQ(almost.EmptyReason(), "Unknown image type");
  EXPECT_EQ(almost.FindFile("big.scr"), nullptr);
  EXPECT_EQ(almost.FindFile("missing.scr"), nullptr);
}

TEST(LoadSource, SaysPermissionDenied) {
  if (geteuid() == 0) GTEST_SKIP() << "every file is readable to root";
  TempDir dir;
  const std::string locked = dir.Write("locked.scr", std::vector<uint8_t>(6912, 1));
  fs::permissions(locked, fs::perms::none);
  TVeFileLoadSource s(locked);
  EXPECT_EQ(s.Size, 0);
  EXPECT_EQ(s.EmptyReason(), "Permission denied");
  TVeSource source;
  try {
    source.OpenFile(locked);
    ADD_FAILURE();
  } catch (const EVeError& e) {
    EXPECT_STREQ(e.what(), "Permission denied");
  }
  fs::permissions(locked, fs::perms::owner_all);
}

TEST(SourceEngines, PriorityAndStableRanking) {
  RegistryScope scope;
  EXPECT_EQ(VeMatchPriority(smExtension | smExactSize), 5);
  EXPECT_EQ(VeMatchPriority(smExactSize), 1);
  EXPECT_EQ(VeMatchPriority(smVerified | smExtension | smNameHint | smExactSize), 15);
  RegisterSourceEngine(VeSourceEngineClass<TFakeEngine<1>>("A"));
  RegisterSourceEngine(VeSourceEngineClass<TFakeEngine<2>>("B"));
  RegisterSourceEngine(VeSourceEngineClass<TFakeEngine<3>>("C"));
  RegisterSourceEngine(VeSourceEngineClass<TFakeEngine<4>>("D"));
  RegisterSourceEngine(VeSourceEngineClass<TFakeEngine<5>>("E"));
  GMatch[1] = smExtension | smExactSize; // 5
  GMatch[2] = smExactSize;               // 1
  GMatch[3] = smExtension | smExactSize; // 5, after A
  GMatch[4] = smVerified;                // 8, first
  GMatch[5] = 0;                         // not taken
  const uint8_t data[16] = {};
  TVeMemoryLoadSource src("x.scr", 16, data);
  auto list = ProbeSource(&src);
  ASSERT_EQ(list->Count(), 4);
  EXPECT_EQ(list->Engines(0)->Description, "Fake4 8x2x1 image");
  EXPECT_EQ(list->Engines(1)->Description, "Fake1 8x2x1 image");
  EXPECT_EQ(list->Engines(2)->Description, "Fake3 8x2x1 image");
  EXPECT_EQ(list->Engines(3)->Description, "Fake2 8x2x1 image");
  EXPECT_EQ(list->Engines(1)->Priority, 5);
  EXPECT_EQ(list->Engines(1)->MatchSet, smExtension | smExactSize);
  EXPECT_EQ(list->Engines(1)->FileName, "x.scr");
  // A failing probe or constructor drops only that loader.
  GThrowInProbe[4] = true;
  GThrowInCtor[1] = true;
  list = ProbeSource(&src);
  ASSERT_EQ(list->Count(), 2);
  EXPECT_EQ(list->Engines(0)->Description, "Fake3 8x2x1 image");
}

TEST(SourceEngines, ExtensionsOfEveryLoaderOnce) {
  RegistryScope scope;
  const std::vector<std::string> builtIn = VeSourceFileExtensions();
  for (const char* e : {".scr", ".img", ".mg8", ".3", ".ch$", ".tap", ".tzx", ".z80", ".slt"})
    EXPECT_NE(std::find(builtIn.begin(), builtIn.end(), e), builtIn.end()) << e;
  std::set<std::string> seen;
  for (const std::string& e : builtIn) {
    EXPECT_TRUE(seen.insert(e).second) << e;
    EXPECT_EQ(e, VeLowerExt("x" + e));
  }
  // Extensions given by hand as "SCR" or ".Abc" still name one extension each.
  RegisterSourceEngine(VeSourceEngineClass<TFakeEngine<1>>("A", {".SCR", "Abc", ".abc", ""}));
  const std::vector<std::string> all = VeSourceFileExtensions();
  ASSERT_EQ(all.size(), builtIn.size() + 1);
  EXPECT_EQ(all.back(), ".abc");
}

TEST(SourceEngines, SharedDecodingRoutines) {
  TVeSourceEngine e(nullptr);
  EXPECT_EQ(e.Description, "TVeSourceEngine");
  EXPECT_EQ(e.CreateBitmap(), nullptr);
  e.MakeBlackWhitePalette(true);
  EXPECT_EQ(e.Palette->GetRGBQuad(0), 0xFFFFFFu);
  EXPECT_EQ(e.PaletteColumns, 2);
  e.MakeZxPalette(0xD7);
  ASSERT_EQ(e.Palette->Count(), 16);
  EXPECT_EQ(e.Palette->GetRGBQuad(1), 0x0000D7u); // blue
  EXPECT_EQ(e.Palette->GetRGBQuad(2), 0xD70000u); // red
  EXPECT_EQ(e.Palette->GetRGBQuad(4), 0x00D700u); // green
  EXPECT_EQ(e.Palette->GetRGBQuad(14), 0xFFFF00u);
  int ink, paper;
  TVeSourceEngine::ZxAttribute(0x47, ink, paper);
  EXPECT_EQ(ink, 15);
  EXPECT_EQ(paper, 8);
  TVeSourceEngine::ZxAttribute(0x38, ink, paper);
  EXPECT_EQ(ink, 0);
  EXPECT_EQ(paper, 7);

  TVeBitmap8 b(8, e.Palette.get(), 1);
  TVeSourceEngine::Unpack1Bit(b, 0, 0, 0xA0, 9, 3);
  EXPECT_EQ(b.GetPixel(0, 0), 9);
  EXPECT_EQ(b.GetPixel(1, 0), 3);
  EXPECT_EQ(b.GetPixel(2, 0), 9);
  TVeBitmap1 p0(8, nullptr, 1), p1(8, nullptr, 1);
  TVeSourceEngine::UnpackTwoPlanes(b, 0, 0, 0x81, 0x03, true, &p0, &p1);
  EXPECT_EQ(b.GetPixel(0, 0), 1);
  EXPECT_EQ(b.GetPixel(6, 0), 2);
  EXPECT_EQ(b.GetPixel(7, 0), 3);
  EXPECT_EQ(p1.GetPixel(6, 0), 1);
  EXPECT_EQ(p0.GetPixel(6, 0), 0);
  TVeSourceEngine::UnpackTwoPlanes(b, 0, 0, 0x81, 0x03, false);
  EXPECT_EQ(b.GetPixel(0, 0), 3); // least significant bit first
  TVeSourceEngine::Unpack2Bit(b, 0, 0, 0x1B);
  EXPECT_EQ(b.GetPixel(0, 0), 0);
  EXPECT_EQ(b.GetPixel(3, 0), 3);
  TVeSourceEngine::Unpack2BitPairs(b, 0, 0, 0x40, 0xC0);
  EXPECT_EQ(b.GetPixel(0, 0), 7);
  TVeSourceEngine::Unpack4BitPairs(b, 0, 0, 0x12, 0x34);
  EXPECT_EQ(b.GetPixel(0, 0), 0x13);
  EXPECT_EQ(b.GetPixel(1, 0), 0x24);
  e.MakeBlackWhitePalette();
  e.SavePalette();
  ASSERT_TRUE(e.SavedPalette);
  EXPECT_EQ(e.SavedPalette->Count(), 2);
  EXPECT_EQ(e.Palette->Count(), 4);
  EXPECT_EQ(e.PaletteColumns, 2);
  e.SetDefaultZxPaletteTypes();
  EXPECT_EQ(e.PaletteType, ptColoredLinear);
  EXPECT_EQ(e.PaletteTypes.size(), 3u);
}

TEST(SourceEngines, ImportModel) {
  RegistryScope scope;
  RegisterSourceEngine(VeSourceEngineClass<TFakeEngine<1>>("A"));
  RegisterSourceEngine(VeSourceEngineClass<TFakeEngine<2>>("B"));
  GMatch[1] = smExtension;
  GMatch[2] = smExtension;
  const uint8_t data[2] = {0xF0, 0x0F};
  TVeMemoryLoadSource src("shot.scr", 2, data);
  auto list = ProbeSource(&src);
  list->Engines(1)->PixelAspect = 3;
  VeSetAspectLookup([](int index) { return index == 3 ? std::pair{1, 2} : std::pair{1, 1}; });
  TVeImportModel m(*list);
  EXPECT_TRUE(m.ShowsChooser());
  EXPECT_EQ(m.EngineIndex(), 0);
  EXPECT_EQ(m.PixelWidth(), 1);
  EXPECT_EQ(m.SizeLabel(), "8x2x1");
  EXPECT_EQ(m.Preview().Pixel(0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(m.Preview().Pixel(0, 1), 0xFF000000u);
  m.SelectEngine(1); // aspect 1:2 gives wide pixels
  EXPECT_EQ(m.PixelWidth(), 2);
  EXPECT_EQ(m.PixelHeight(), 1);
  EXPECT_EQ(m.Preview().Width(), 16);
  EXPECT_EQ(m.SizeLabel(), "16x2x1");
  EXPECT_FALSE(m.PaletteTypeEnabled());
  EXPECT_EQ(m.PaletteDisplayColumns(), 2);
  EXPECT_EQ(m.SaveFormats(), (std::vector<std::string>{"BMP", "PNG", "GIF"}));
  for (const std::string& f : m.SaveFormats()) {
    const auto bytes = m.SaveImage(f);
    TVePictureResult back = PictureToBitmap32(
        VeDecodePicture(DetectPictureType(bytes.data(), bytes.size()), bytes.data(), bytes.size()));
    EXPECT_EQ(back.Image.Width(), 8) << f;
    EXPECT_EQ(back.Image.Pixel(0, 0), 0xFFFFFFFFu) << f;
    EXPECT_EQ(back.Image.Pixel(7, 0), 0xFF000000u) << f;
  }
  auto picture = m.ImportImage();
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->Width(), 16);
  auto palettes = m.ImportPalettes();
  ASSERT_EQ(palettes.size(), 1u);
  EXPECT_EQ(palettes[0]->Name, "shot.scr");
  EXPECT_EQ(palettes[0]->Count(), 2);
  list->Engines(1)->PaletteVariants = {"Light", "Dark"};
  palettes = m.ImportPalettes();
  ASSERT_EQ(palettes.size(), 2u);
  EXPECT_EQ(palettes[1]->Name, "shot.scr Dark");
  VeSetAspectLookup(nullptr);
  EXPECT_EQ(VeAspectPair(10), (std::pair{1, 1}));
  EXPECT_EQ(VeAspectPair(1), (std::pair{2, 1})); // "1:2": tall pixels
  EXPECT_EQ(VeAspectPair(99), (std::pair{1, 1}));
  list->Engines(0)->PixelAspect = 1;
  m.SelectEngine(0);
  EXPECT_EQ(m.PixelWidth(), 1);
  EXPECT_EQ(m.PixelHeight(), 2);
}

TEST(Source, PicturesByContentAndNativeFilesByLoaders) {
  RegistryScope scope;
  TempDir dir;
  RegisterSourceEngine(VeSourceEngineClass<TFakeEngine<1>>("A"));
  GMatch[1] = smExtension;
  GExt[1] = ".scr";
  TVeSource source;
  TRecorder rec;
  source.AddClient(&rec);
  EXPECT_EQ(rec.ImageCalls, 1); // told at once
  EXPECT_EQ(rec.RegionCalls, 1);
  // "BM" wins over any extension.
  source.OpenFile(dir.Write("picture.scr", Bmp4WithShortPalette()));
  ASSERT_FALSE(source.Empty());
  EXPECT_EQ(source.Image()->Width(), 4);
  EXPECT_EQ(source.Name(), "picture.scr");
  ASSERT_TRUE(source.FilePalette());
  EXPECT_EQ(source.Region(), (TVeRect{0, 0, 4, 2}));
  EXPECT_TRUE(*source.RegionImage() == *source.Image());
  EXPECT_EQ(rec.ImageCalls, 2);
  EXPECT_EQ(rec.RegionCalls, 2);
  // "GIF8" and two other bytes is no picture: the loader takes it.
  source.OpenFile(dir.Write("odd.scr", Bytes("GIF8xx\xFF\x01")));
  ASSERT_FALSE(source.Empty());
  EXPECT_EQ(source.Image()->Width(), 8);
  EXPECT_FALSE(source.FilePalette());
  EXPECT_EQ(source.Name(), "odd.scr");
  // The import dialog cancelled: nothing changes.
  source.OnImport = [](TVeSourceEngineList& engines) {
    EXPECT_EQ(engines.Count(), 1);
    return TVeSource::TImported();
  };
  source.OpenFile(dir.Write("other.scr", Bytes("12345678")));
  EXPECT_EQ(source.Name(), "odd.scr");
  // Nothing takes it, or nothing is there.
  try {
    source.OpenFile(dir.Write("odd.xyz", Bytes("12345678")));
    FAIL();
  } catch (const EVeError& e) {
    EXPECT_STREQ(e.what(), "Unknown image type");
  }
  EXPECT_THROW(source.OpenFile(dir.Write("empty.scr", {})), EVeError);
  EXPECT_EQ(source.Name(), "odd.scr");
  // A broken picture leaves the source empty and told.
  const int before = rec.ImageCalls;
  auto bad = Bmp4WithShortPalette();
  bad.resize(60);
  EXPECT_THROW(source.OpenFile(dir.Write("bad.bmp", bad)), EVeError);
  EXPECT_TRUE(source.Empty());
  EXPECT_GT(rec.ImageCalls, before);
  EXPECT_EQ(rec.LastImage, nullptr);
  source.RemoveClient(&rec);
}

TEST(Source, RegionDropsAndClose) {
  TempDir dir;
  TVeSource source;
  TRecorder rec;
  TVePicture pic;
  pic.Allocate(4, 4, 24);
  for (int i = 0; i < 12; ++i)
    pic.Row(1)[i] = uint8_t(i * 20);
  source.OpenPicture(pic);
  EXPECT_EQ(source.Name(), "Unnamed");
  source.AddClient(&rec);
  source.SetRegion({0, 0, 4, 4}); // unchanged: nothing happens
  EXPECT_EQ(rec.RegionCalls, 1);
  source.SetRegion({1, 1, 3, 5});
  EXPECT_EQ(rec.ImageCalls, 1);
  EXPECT_EQ(rec.RegionCalls, 2);
  ASSERT_EQ(rec.LastRegion->Width(), 2);
  EXPECT_EQ(rec.LastRegion->Pixel(0, 0), source.Image()->Pixel(1, 1));
  EXPECT_EQ(rec.LastRegion->Pixel(0, 3), 0xFFFFFFFFu); // below the picture: white
  std::string handed;
  source.OnOpenFile = [&](const std::string& p) { handed = p; };
  source.OpenDroppedFiles({"/a/b.png", "/c.png"});
  EXPECT_EQ(handed, "/a/b.png");
  source.OpenDroppedFiles({});
  source.Close();
  EXPECT_TRUE(source.Empty());
  EXPECT_EQ(rec.LastImage, nullptr);
  EXPECT_EQ(rec.LastRegion, nullptr);
  source.RemoveClient(&rec);
}

TEST(Source, FolderListAndDetaching) {
  TempDir dir;
  TVePicture pic;
  pic.Allocate(2, 2, 24);
  const auto png = VeWritePng(2, 2, 24, {}, [&](int y) { return pic.Row(y); });
  dir.Write("b.PNG", png);
  dir.Write("A.jpeg", VeWriteJpeg(TVeBitmap32(2, 2, 0xFF000000)));
  dir.Write("c.gif", png); // listed by name; content does not matter here
  dir.Write("d.scr", png);
  dir.Write("e.txt", png);
  fs::create_directories(fs::path(dir.Path()) / "sub.png");
  struct TFilesRecorder : IVeSourceFilesClient {
    int Calls = 0;
    void SourceFilesChanged(TVeSourceFiles*) override { ++Calls; }
  } rec;
  auto source = std::make_unique<TVeSource>();
  TVeSourceFiles files;
  files.SetSource(source.get());
  files.AddClient(&rec);
  files.Fill(dir.Path());
  EXPECT_EQ(files.Names(), (std::vector<std::string>{"A.jpeg", "b.PNG", "c.gif"}));
  EXPECT_EQ(rec.Calls, 1);
  files.Open(1);
  ASSERT_FALSE(source->Empty());
  EXPECT_EQ(source->Name(), "b.PNG");
  files.Open(0);
  EXPECT_EQ(source->Image()->Pixel(0, 0), 0xFF000000u);
  EXPECT_THROW(files.Fill(dir.Path() + "/no such folder"), EVeError);
  EXPECT_TRUE(files.Files().empty());
  EXPECT_TRUE(source->Empty());
  EXPECT_EQ(rec.Calls, 2);
  source.reset();
  EXPECT_EQ(files.Source(), nullptr);
}
