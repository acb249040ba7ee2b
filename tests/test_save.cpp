#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

#include "VeBitmap.h"
#include "VePictureCodecs.h"
#include "VeSaveResult.h"
#include "VeStream.h"

namespace fs = std::filesystem;

namespace {

fs::path MakeTempDir(const std::string& tag) {
  fs::path dir = fs::temp_directory_path() /
                 ("velmora-" + tag + "-" + std::to_string(getpid()) + "-" +
                  std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

std::string ReadAll(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

} // namespace

TEST(SaveNames, ExtensionsAndFrames) {
  EXPECT_EQ(VeChangeFileExt("dir.x/photo.jpg", ".bmp"), "dir.x/photo.bmp");
  EXPECT_EQ(VeChangeFileExt("dir.x/photo", ".scr"), "dir.x/photo.scr");
  EXPECT_EQ(VeChangeFileExt("a.b.c", ".png"), "a.b.png");
  EXPECT_EQ(VeExtractFileExt("dir.x/photo"), "");
  EXPECT_EQ(VeExtractFileName("/a/b.c/d.png"), "d.png");
  EXPECT_EQ(VeExtractFileName("plain"), "plain");
  EXPECT_EQ(VeFrameFileName("out/picture.png", 0), "out/picture.0.png");
  EXPECT_EQ(VeFrameFileName("out/picture.png", 1), "out/picture.1.png");
  // The save command's format names the file.
  EXPECT_EQ(VeNameWithExtension("out/x.jpg", "png"), "out/x.jpg.png");
  EXPECT_EQ(VeNameWithExtension("out/x", "png"), "out/x.png");
  EXPECT_EQ(VeNameWithExtension("out/x.PNG", "png"), "out/x.PNG");
  EXPECT_EQ(VeNameWithExtension("dir.scr/x", "scr"), "dir.scr/x.scr");
}

TEST(SaveAtomic, WritesWholeFileAndLeavesNoTemporary) {
  fs::path dir = MakeTempDir("atomic");
  fs::path target = dir / "result.bin";
  std::string old = "old contents that are longer";
  std::ofstream(target, std::ios::binary) << old;
  std::vector<uint8_t> bytes = {1, 2, 3, 0, 5};
  VeWriteFileAtomic(target.string(), bytes);
  EXPECT_EQ(ReadAll(target), std::string("\1\2\3\0\5", 5));
  int files = 0;
  for (auto& e : fs::directory_iterator(dir))
    files += e.is_regular_file();
  EXPECT_EQ(files, 1);
  // A folder that does not exist: an error, and nothing is created.
  EXPECT_THROW(VeWriteFileAtomic((dir / "missing" / "x.bin").string(), bytes), EVeError);
  EXPECT_FALSE(fs::exists(dir / "missing"));
  // A target that is a folder: the rename fails and the temporary file is removed.
  fs::create_directories(dir / "sub.png");
  fs::create_directories(dir / "sub.png" / "keep");
  EXPECT_THROW(VeWriteFileAtomic((dir / "sub.png").string(), bytes), EVeError);
  files = 0;
  for (auto& e : fs::directory_iterator(dir))
    files += e.is_regular_file();
  EXPECT_EQ(files, 1);
  fs::remove_all(dir);
}

namespace {

std::vector<uint8_t> ReadBytes(const fs::path& p) {
  std::string s = ReadAll(p);
  return std::vector<uint8_t>(s.begin(), s.end());
}

// A 4-bit result of 5 x 3 pixels over a 16-colour palette with two flicker frames.
std::unique_ptr<TVeBitmap> MakeFlickerResult(TVePalette256& pal) {
  for (int i = 0; i < 16; ++i)
    pal.AddRGB(uint8_t(i * 16), uint8_t(255 - i), uint8_t(i));
  auto bmp = std::make_unique<TVeBitmap4>(5, &pal, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x)
      bmp->SetPixel(x, y, (x + 5 * y) % 16);
  TVeBitmap* a = bmp->AddFrame(&pal);
  TVeBitmap* b = bmp->AddFrame(nullptr);
  a->SetPixel(1, 1, 7);
  b->SetPixel(2, 2, 0x123456);
  return bmp;
}

} // namespace

TEST(SaveResult, PicturesKeepDepthPaletteAndSoftwareChunk) {
  TVePalette256 pal;
  auto bmp = MakeFlickerResult(pal);

  std::vector<uint8_t> bmpFile = VeEncodeResult(*bmp, sfBMP);
  TVePicture b = VeDecodeBmp(bmpFile.data(), bmpFile.size());
  EXPECT_EQ(b.BitsPerPixel, 4);
  ASSERT_EQ(b.Palette.size(), 16u);
  EXPECT_EQ(b.Palette[3], pal.GetRGBQuad(3));
  EXPECT_EQ(b.Row(2)[0] >> 4, 10); // pixel (0, 2) = 10: rows stay top-down

  std::vector<uint8_t> png = VeEncodeResult(*bmp, sfPNG);
  std::string text(png.begin(), png.end());
  EXPECT_NE(text.find(std::string("tEXtSoftware\0Velmora", 20)), std::string::npos);
  TVePicture p = VeDecodePng(png.data(), png.size());
  EXPECT_EQ(p.Palette.size(), 16u);
  EXPECT_EQ(p.Row(1)[1] >> 4, 7); // pixels (2, 1) and (3, 1), high nibble first
  EXPECT_EQ(p.Row(1)[1] & 15, 8);

  std::vector<uint8_t> gif = VeEncodeResult(*bmp, sfGIF);
  TVePicture g = VeDecodeGif(gif.data(), gif.size());
  EXPECT_EQ(g.Width, 5);
  EXPECT_EQ(g.Palette[15], pal.GetRGBQuad(15));

  // A true-colour picture cannot be a GIF; interactive saving refuses it.
  TVeBitmap24 tc(4, 4);
  EXPECT_THROW(VeEncodeResult(tc, sfGIF), EVeError);
  std::vector<uint8_t> tcBmp = VeEncodeResult(tc, sfBMP);
  EXPECT_EQ(VeDecodeBmp(tcBmp.data(), tcBmp.size()).BitsPerPixel, 24);
  // A 1-bit result without palette shows black and white.
  TVeBitmap1 bw(9, nullptr, 2);
  bw.SetPixel(8, 1, 1);
  std::vector<uint8_t> bwPng = VeEncodeResult(bw, sfPNG);
  TVePicture q = VeDecodePng(bwPng.data(), bwPng.size());
  EXPECT_EQ(q.BitsPerPixel, 1);
  EXPECT_EQ(q.Palette, (std::vector<uint32_t>{0x000000, 0xFFFFFF}));
}

TEST(SaveResult, FramesGetTheirOwnFiles) {
  fs::path dir = MakeTempDir("frames");
  TVePalette256 pal;
  auto bmp = MakeFlickerResult(pal);
  // Two flicker frames saved as PNG give three files.
  auto written = VeSaveResultPicture(*bmp, bmp->Frames(), (dir / "picture.png").string(), sfPNG);
  ASSERT_EQ(written.size(), 3u);
  EXPECT_EQ(written[1], (dir / "picture.0.png").string());
  EXPECT_EQ(written[2], (dir / "picture.1.png").string());
  for (auto& w : written) {
    std::vector<uint8_t> data = ReadBytes(w);
    EXPECT_EQ(VeDecodePng(data.data(), data.size()).Width, 5);
  }
  // Interactive GIF of a true-colour frame is refused rather than written half.
  EXPECT_THROW(VeSaveResultPicture(*bmp, bmp->Frames(), (dir / "g.gif").string(), sfGIF), EVeError);
  EXPECT_FALSE(fs::exists(dir / "g.gif"));
  EXPECT_FALSE(fs::exists(dir / "g.0.gif"));
  EXPECT_FALSE(fs::exists(dir / "g.1.gif"));
  fs::remove_all(dir);
}

TEST(SaveResult, BatchNamingAndFallbacks) {
  fs::path dir = MakeTempDir("batchnames");
  TVePalette256 pal;
  auto bmp = MakeFlickerResult(pal);
  std::string base = (dir / "photo.jpg").string();
  // GIF decides frame by frame: the 24-bit frame becomes a BMP.
  auto gif = VeSaveResultFiles(*bmp, bmp->Frames(), nullptr, sfGIF, base);
  ASSERT_EQ(gif.size(), 3u);
  EXPECT_EQ(gif[0], (dir / "photo.gif").string());
  EXPECT_EQ(gif[1], (dir / "photo.0.gif").string());
  EXPECT_EQ(gif[2], (dir / "photo.1.bmp").string());
  // Native without files writes BMP.
  auto native = VeSaveResultFiles(*bmp, nullptr, nullptr, sfNative, base);
  EXPECT_EQ(native, std::vector<std::string>{(dir / "photo.bmp").string()});
  TVeStreamList empty;
  EXPECT_EQ(VeSaveResultFiles(*bmp, nullptr, &empty, sfNative, base), native);
  // Native with files: each stream under its extension, companions depth first.
  TVeStreamList streams;
  TVeStream* scr = streams.AddNew("scr", 6912, 0x38);
  scr->AddNewSub("pal", 3, 1);
  streams.AddNew("", 2, 7);
  auto files = VeSaveResultFiles(*bmp, bmp->Frames(), &streams, sfNative, base);
  std::vector<std::string> want = {(dir / "photo.scr").string(), (dir / "photo.pal").string(),
                                   (dir / "photo.").string()};
  EXPECT_EQ(files, want);
  EXPECT_EQ(fs::file_size(dir / "photo.scr"), 6912u);
  EXPECT_EQ(ReadAll(dir / "photo.pal"), std::string(3, '\1'));
  fs::remove_all(dir);
}
