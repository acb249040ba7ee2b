// SymbOS: the hosts' desktop colours, the chunk bytes, pictures split into rows of chunks,
// the photograph in both palettes read back to exactly the preview, and files that lie.
#include <gtest/gtest.h>

#include <set>

#include "VeErrors.h"
#include "VePalette.h"
#include "VeThreadJob.h"
#include "platforms/msx/test_msx_support.h"
#include "platforms/test_palette_types.h"
#include "symbos/VeOpenPlatformSymbOS.h"
#include "symbos/VePlatformSymbOS.h"
#include "symbos/VeSavePlatformSymbOS.h"

using namespace msxtest;
using namespace typetest;

namespace {

std::unique_ptr<TVeSourceEngineList> Probe(TFolder& folder) {
  RegisterSymbOSLoaders();
  return ProbeSource(&folder);
}

// Indices of a test picture: a pattern that differs in every chunk and line.
std::vector<uint8_t> Pattern(int w, int h, int colours) {
  std::vector<uint8_t> p(size_t(w) * size_t(h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      p[size_t(y) * size_t(w) + size_t(x)] = uint8_t((x * 7 + y * 3 + x / 97) % colours);
  return p;
}

std::string Problem(const TBytes& bytes) {
  TVeSgxLayout layout;
  std::string problem;
  EXPECT_FALSE(SgxWalk(bytes.data(), int32_t(bytes.size()), layout, problem));
  return problem;
}

// What opening the bytes as "name" says; empty when the picture opens.
std::string OpenError(const std::string& name, const TBytes& bytes) {
  TFolder folder(name, bytes);
  auto list = Probe(folder);
  auto* e = Loader<TVeSymbOSSourceEngine>(*list);
  if (!e) return "not taken";
  try {
    e->CreateBitmap();
  } catch (const EVeError& error) {
    return error.what();
  }
  return std::string();
}

} // namespace

TEST(SymbOS, DesktopColours) {
  TVePalette256 msx, cpc;
  SymbOSMakePalette(msx, SymbOSMsxColors);
  SymbOSMakePalette(cpc, SymbOSCpcColors);
  // The MSX2 defaults: two blacks, the greens, blues and reds of the TMS9918 set, white.
  const std::vector<uint32_t> msxWant = {0x000000, 0x000000, 0x49B649, 0x6DDB6D, 0x4949DB, 0x6D6DFF,
                                         0xB66D49, 0x6DDBFF, 0xDB6D49, 0xFF926D, 0xDBB66D, 0xDBDB92,
                                         0x499249, 0xB66DB6, 0xDBDBDB, 0xFFFFFF};
  EXPECT_EQ(Quads(msx), msxWant);
  // Firmware colours 24, 0, 15 and 6 as the Gate Array shows them.
  EXPECT_EQ(Quads(cpc), (std::vector<uint32_t>{0xFAFA41, 0x00190F, 0xFABA41, 0xFA262B}));
  EXPECT_EQ(SymbOSColorCount(SymbOSMsxColors), 16);
  EXPECT_EQ(SymbOSColorCount(SymbOSCpcColors), 4);
}

TEST(SymbOS, ChunkBytes) {
  // Four colours: a simple chunk, CPC mode 1 bits (pixel k: low bit 7 - k, high bit 3 - k).
  const uint8_t four[] = {1, 2, 3, 0, 1, 3, 3, 3, 3, 3};
  EXPECT_EQ(SgxWrite(four, 5, 2, false), (TBytes{2, 5, 2, 0xA6, 0x80, 0xFF, 0x88}));
  // Sixteen colours: an extended chunk of type 5, high nibble first, an even byte width.
  const uint8_t sixteen[] = {1, 2, 15};
  EXPECT_EQ(SgxWrite(sixteen, 3, 1, true), (TBytes{64, 5, 2, 0, 3, 0, 1, 0, 0x12, 0xF0}));
  for (bool sixteenColours : {false, true}) {
    const TBytes file = SgxWrite(sixteenColours ? sixteen : four, sixteenColours ? 3 : 5,
                                 sixteenColours ? 1 : 2, sixteenColours);
    TVeSgxLayout layout;
    std::string problem;
    ASSERT_TRUE(SgxWalk(file.data(), int32_t(file.size()), layout, problem)) << problem;
    EXPECT_EQ(layout.SixteenColors, sixteenColours);
    const std::vector<uint8_t> back = SgxIndices(file.data(), layout);
    EXPECT_TRUE(std::equal(back.begin(), back.end(), sixteenColours ? sixteen : four));
  }
}

TEST(SymbOS, WidePicturesTakeRowsOfChunks) {
  struct Case {
    int W, H;
    bool Sixteen;
    std::vector<int> Widths; // of the chunks of a row
    int32_t LineFeedAt;
  };
  const Case cases[] = {
      // 508 + 92 pixels, 255 + 45 lines.
      {600, 300, true, {508, 92}, 8 + 254 * 255 + 8 + 46 * 255},
      // 252 + 48 pixels, 255 + 5 lines.
      {300, 260, false, {252, 48}, 3 + 63 * 255 + 3 + 12 * 255},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.W);
    const std::vector<uint8_t> picture = Pattern(c.W, c.H, c.Sixteen ? 16 : 4);
    const TBytes file = SgxWrite(picture.data(), c.W, c.H, c.Sixteen);
    ASSERT_GT(file.size(), size_t(c.LineFeedAt + 3));
    EXPECT_EQ(TBytes(file.begin() + c.LineFeedAt, file.begin() + c.LineFeedAt + 3),
              (TBytes{255, 0, 0}));
    TVeSgxLayout layout;
    std::string problem;
    ASSERT_TRUE(SgxWalk(file.data(), int32_t(file.size()), layout, problem)) << problem;
    EXPECT_EQ(layout.Width, c.W);
    EXPECT_EQ(layout.Height, c.H);
    EXPECT_EQ(layout.Rows, 2);
    ASSERT_EQ(layout.Chunks.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
      EXPECT_EQ(layout.Chunks[i].Width, c.Widths[i % 2]) << i;
      EXPECT_EQ(layout.Chunks[i].Height, i < 2 ? 255 : c.H - 255) << i;
      EXPECT_EQ(layout.Chunks[i].X, i % 2 ? c.Widths[0] : 0) << i;
    }
    EXPECT_TRUE(SgxIndices(file.data(), layout) == picture);
    // The loader composes the same picture.
    TFolder folder("wide.sgx", file);
    auto list = Probe(folder);
    auto* e = Loader<TVeSymbOSSourceEngine>(*list);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Width, c.W);
    auto bmp = e->CreateBitmap();
    for (int y = 0; y < c.H; y += 7)
      for (int x = 0; x < c.W; x += 3)
        ASSERT_EQ(bmp->GetPixel(x, y), picture[size_t(y) * size_t(c.W) + size_t(x)])
            << x << "," << y;
  }
}

TEST(SymbOS, PhotographInBothPalettesReadsBack) {
  for (TVePaletteType type : {SymbOSMsxColors, SymbOSCpcColors}) {
    SCOPED_TRACE(int(type));
    const bool sixteen = type == SymbOSMsxColors;
    const TConversion r = ConvertWithType("SymbOS", "", type);
    ASSERT_EQ(r.Files->Count(), 1);
    EXPECT_EQ(r.Files->GetExtension(0), "sgx");
    const TBytes& f = r.Files->GetStream(0)->Bytes();
    // One type-5 chunk of 160 bytes a line, or simple chunks of 252 and 68 pixels.
    EXPECT_EQ(f.size(), sixteen ? 8u + 160 * 200 : 3u + 63 * 200 + 3 + 17 * 200);
    EXPECT_EQ(f[0], sixteen ? 64 : 63);
    TVePalette256 palette;
    SymbOSMakePalette(palette, type);
    const std::vector<uint32_t> q = Quads(palette);
    const std::set<uint32_t> allowed(q.begin(), q.end());
    const auto shown = r.Result->ToBitmap32();
    ASSERT_EQ(shown->Width(), SymbOSWidth);
    ASSERT_EQ(shown->Height(), SymbOSHeight);
    std::set<uint32_t> used;
    for (int y = 0; y < SymbOSHeight; ++y)
      for (int x = 0; x < SymbOSWidth; ++x) {
        const uint32_t c = shown->Pixel(x, y) & 0xFFFFFF;
        ASSERT_TRUE(allowed.count(c)) << x << "," << y;
        used.insert(c);
      }
    EXPECT_GE(used.size(), sixteen ? 8u : 4u);
    auto folder = Saved(*r.Files->GetStream(0));
    auto list = Probe(*folder);
    auto* e = Loader<TVeSymbOSSourceEngine>(*list);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->PaletteType, type);
    EXPECT_EQ(e->BitsPerPixel, sixteen ? 4 : 2);
    EXPECT_TRUE(*e->CreateBitmap()->ToBitmap32() == *shown);
  }
}

TEST(SymbOS, SameFileWithAnyWorkerCount) {
  auto files = [](int workers) {
    SetProcessorCount(workers);
    std::vector<TBytes> f;
    for (TVePaletteType type : {SymbOSMsxColors, SymbOSCpcColors})
      f.push_back(ConvertWithType("SymbOS", "", type).Files->GetStream(0)->Bytes());
    SetProcessorCount(0);
    return f;
  };
  EXPECT_TRUE(files(1) == files(3));
}

TEST(SymbOS, FilesThatLieAreRefused) {
  const uint8_t pixels[] = {1, 2, 3, 0, 1, 3, 3, 3, 3, 3};
  const TBytes good = SgxWrite(pixels, 5, 2, true);
  for (size_t n = 0; n < good.size(); ++n) {
    const TBytes cut(good.begin(), good.begin() + long(n));
    const std::string problem = Problem(cut);
    EXPECT_FALSE(problem.empty()) << n;
    // The file is taken by its name, and opening it names the file and the fault.
    const std::string said = OpenError("cut.sgx", cut);
    EXPECT_EQ(said.rfind("The SymbOS picture cut.sgx cannot be read: ", 0), 0u) << n;
    if (n > 0) {
      EXPECT_NE(said.find(problem), std::string::npos) << n;
    }
  }
  EXPECT_NE(Problem({3, 10, 2, 0, 0, 0}).find("cut short: it needs 6 bytes"), std::string::npos);
  // Packed chunks, simple and extended, are named as such.
  EXPECT_NE(Problem({0x82, 5, 1, 2, 0, 1, 2}).find("compressed"), std::string::npos);
  EXPECT_NE(Problem({192, 5, 2, 0, 3, 0, 1, 0, 2, 0, 1, 2}).find("compressed"), std::string::npos);
  // Widths and types the format does not have.
  EXPECT_NE(Problem({63, 253, 1}).find("width"), std::string::npos);
  EXPECT_NE(Problem({2, 9, 1, 0, 0}).find("width"), std::string::npos);
  EXPECT_NE(Problem({64, 5, 3, 0, 6, 0, 1, 0, 0, 0, 0}).find("width"), std::string::npos);
  EXPECT_NE(Problem({64, 5, 0, 1, 2, 0, 1, 0}).find("width"), std::string::npos);
  EXPECT_NE(Problem({64, 0, 0, 1, 0, 4, 1, 0}).find("width"), std::string::npos);
  EXPECT_NE(Problem({64, 3, 2, 0, 4, 0, 1, 0, 0, 0}).find("type 3"), std::string::npos);
  EXPECT_NE(Problem({100, 1, 1, 0}).find("starts no chunk"), std::string::npos);
  EXPECT_NE(Problem({1, 4, 0}).find("empty"), std::string::npos);
  EXPECT_NE(Problem({255, 0, 0}).find("no picture"), std::string::npos);
  EXPECT_NE(Problem({255, 0}).find("line feed"), std::string::npos);
  // Far too wide: nine 1020-pixel chunks in one row.
  TBytes wide;
  for (int i = 0; i < 9; ++i) {
    wide.insert(wide.end(), {64, 0, 255, 0, 0xFC, 3, 1, 0});
    wide.resize(wide.size() + 255);
  }
  EXPECT_NE(Problem(wide).find("a side"), std::string::npos);
  // Too many pixels: 8000 wide, then 3000 rows of one-pixel chunks.
  TBytes tall;
  for (int i = 0; i < 8; ++i) {
    tall.insert(tall.end(), {64, 0, 250, 0, 0xE8, 3, 1, 0});
    tall.resize(tall.size() + 250);
  }
  for (int i = 0; i < 3000; ++i)
    tall.insert(tall.end(), {255, 0, 0, 1, 1, 1, 0});
  EXPECT_NE(Problem(tall).find("larger than Velmora opens"), std::string::npos);
  EXPECT_NE(OpenError("big.sgx", tall).find("larger than Velmora opens"), std::string::npos);
  EXPECT_NE(OpenError("packed.sgx", {0x82, 5, 1, 2, 0, 1, 2}).find("compressed"),
            std::string::npos);
  // A good file opens; under another name it is not taken.
  EXPECT_EQ(OpenError("pic.sgx", good), "");
  EXPECT_EQ(OpenError("pic.bin", good), "not taken");
}
