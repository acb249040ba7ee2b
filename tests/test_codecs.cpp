// Picture codecs: recognition, BMP variants, round trips, and hostile input.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include <gif_lib.h>
#include <zlib.h>

#include "VePictureCodecs.h"
#include "VeSource.h"

namespace {

template <size_t N> int Detect(const char (&s)[N]) {
  return DetectPictureType(reinterpret_cast<const uint8_t*>(s), N - 1);
}

void Put16(std::vector<uint8_t>& v, unsigned x) {
  v.push_back(uint8_t(x));
  v.push_back(uint8_t(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
  Put16(v, x & 0xFFFF);
  Put16(v, x >> 16);
}

// A BMP with a 40-byte header (or a longer one with masks inside it), hand-made.
std::vector<uint8_t> MakeBmp(int32_t w, int32_t h, int bpp, uint32_t compression,
                             const std::vector<uint32_t>& palette, const std::vector<uint8_t>& bits,
                             const std::vector<uint32_t>& masks = {}) {
  std::vector<uint8_t> v{'B', 'M'};
  const uint32_t off = uint32_t(14 + 40 + 4 * masks.size() + 4 * palette.size());
  Put32(v, uint32_t(off + bits.size()));
  Put32(v, 0);
  Put32(v, off);
  Put32(v, 40);
  Put32(v, uint32_t(w));
  Put32(v, uint32_t(h));
  Put16(v, 1);
  Put16(v, unsigned(bpp));
  Put32(v, compression);
  Put32(v, uint32_t(bits.size()));
  Put32(v, 0);
  Put32(v, 0);
  Put32(v, uint32_t(palette.size()));
  Put32(v, 0);
  for (uint32_t m : masks)
    Put32(v, m);
  for (uint32_t c : palette)
    Put32(v, c);
  v.insert(v.end(), bits.begin(), bits.end());
  return v;
}

uint32_t Px32(const TVePicture& p, int x, int y) {
  uint32_t v;
  std::memcpy(&v, p.Row(y) + 4 * x, 4);
  return v;
}

// Every shorter prefix must end in EVeError, never a crash or a silent success.
template <class F> void ExpectPrefixesFail(const std::vector<uint8_t>& file, F decode) {
  for (size_t n = 0; n < file.size(); ++n) {
    std::vector<uint8_t> part(file.begin(), file.begin() + std::ptrdiff_t(n));
    EXPECT_THROW(decode(part), EVeError) << "prefix of " << n << " bytes";
  }
}

// Flipped bytes may decode or fail with EVeError; anything else is a fault.
template <class F> void ExpectCorruptionSafe(const std::vector<uint8_t>& file, F decode) {
  uint32_t seed = 12345;
  for (int round = 0; round < 400; ++round) {
    std::vector<uint8_t> bad = file;
    for (int k = 0; k < 3; ++k) {
      seed = seed * 1103515245 + 12345;
      bad[(seed >> 8) % bad.size()] = uint8_t(seed >> 20);
    }
    try {
      decode(bad);
    } catch (const EVeError&) {
    }
  }
}

} // namespace

TEST(PictureDetect, SignaturesInOrder) {
  EXPECT_EQ(Detect("BM\x01\x02\x03\x04\x05\x06"), vptBMP);
  EXPECT_EQ(Detect("BMJASC-PAL"), vptBMP); // "BM" is tested first
  EXPECT_EQ(Detect("\xFF\xD8\xFF\xE0\0\0\0\0"), vptJPEG);
  EXPECT_EQ(Detect("\x89PNG\r\n\x1a\n"), vptPNG);
  EXPECT_EQ(Detect("GIF89a\0\0"), vptGIF);
  EXPECT_EQ(Detect("GIF87a\0\0"), vptGIF);
  EXPECT_EQ(Detect("GIF88a\0\0"), vptNone);
  EXPECT_EQ(Detect("GIF8xyzw"), vptNone);
  EXPECT_EQ(Detect("JASC-PAL\r\n"), vptJASC);
  EXPECT_EQ(Detect(" JASC-PAL\r\n"), vptNone);
  EXPECT_EQ(Detect("RIFF\0\0\0\0PAL "), vptRIFF);
  EXPECT_EQ(Detect("GIMP Palette\n"), vptGIMP);
  EXPECT_EQ(Detect("GIMP Palettx\n"), vptNone);
  EXPECT_EQ(Detect("GIMP Pal"), vptNone); // 12 bytes are needed
  EXPECT_EQ(Detect("BM"), vptNone);       // fewer than 8 bytes
}

TEST(PictureDetect, StreamPositionRestored) {
  std::istringstream s(std::string("xxGIF89a......"));
  s.seekg(2);
  EXPECT_EQ(DetectPictureType(s), vptGIF);
  EXPECT_EQ(s.tellg(), 2);
  std::istringstream shortStream("GIMP Pal");
  EXPECT_EQ(DetectPictureType(shortStream), vptNone);
  EXPECT_EQ(shortStream.tellg(), 0);
  EXPECT_TRUE(shortStream.good());
}

TEST(BmpCodec, IndexedAnd24BitRoundTrip) {
  for (int bpp : {1, 4, 8, 24}) {
    const int w = 13, h = 5;
    TVePicture src;
    src.Allocate(w, h, bpp);
    for (int y = 0; y < h; ++y)
      for (int i = 0; i < (w * bpp + 7) / 8; ++i)
        src.Row(y)[i] = uint8_t(y * 31 + i * 7);
    // Pad bits of the last byte are not part of the picture.
    if (bpp < 8)
      for (int y = 0; y < h; ++y)
        src.Row(y)[(w * bpp - 1) / 8] &= uint8_t(0xFF << (8 - (w * bpp) % 8) % 8);
    std::vector<uint32_t> pal;
    if (bpp <= 8)
      for (int i = 0; i < (1 << bpp); ++i)
        pal.push_back(uint32_t(i * 0x010203) & 0xFFFFFF);
    auto file = VeWriteBmp(w, h, bpp, pal, [&](int y) { return src.Row(y); });
    EXPECT_EQ(DetectPictureType(file.data(), file.size()), vptBMP);
    TVePicture back = VeDecodeBmp(file.data(), file.size());
    EXPECT_EQ(back.BitsPerPixel, bpp);
    EXPECT_FALSE(back.Converted);
    EXPECT_EQ(back.Palette, pal);
    EXPECT_EQ(back.Pixels, src.Pixels) << bpp;
  }
}

TEST(BmpCodec, TopDownBottomUpAndCoreHeader) {
  // 2x2 24-bit: rows padded to 8 bytes.
  std::vector<uint8_t> bits = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
  TVePicture up = VeDecodeBmp(MakeBmp(2, 2, 24, 0, {}, bits).data(), 70);
  TVePicture down = VeDecodeBmp(MakeBmp(2, -2, 24, 0, {}, bits).data(), 70);
  EXPECT_EQ(up.Row(0)[0], 7); // the first file row is the bottom one
  EXPECT_EQ(down.Row(0)[0], 1);
  // OS/2 core header: 12 bytes, three-byte palette entries.
  std::vector<uint8_t> v{'B', 'M'};
  Put32(v, 0);
  Put32(v, 0);
  Put32(v, 14 + 12 + 6);
  Put32(v, 12);
  Put16(v, 3);
  Put16(v, 1);
  Put16(v, 1);
  Put16(v, 1);
  v.insert(v.end(), {0, 0, 255, 255, 255, 255, 0xA0, 0, 0, 0});
  TVePicture core = VeDecodeBmp(v.data(), v.size());
  ASSERT_EQ(core.Palette.size(), 2u);
  EXPECT_EQ(core.Palette[0], 0xFF0000u);
  EXPECT_EQ(core.Row(0)[0], 0xA0);
}

TEST(BmpCodec, BitFieldsAnd32Bit) {
  // 16-bit without masks is 5-5-5.
  std::vector<uint8_t> b16 = {0x00, 0x7C, 0xE0, 0x03}; // red, green
  TVePicture p = VeDecodeBmp(MakeBmp(2, 1, 16, 0, {}, b16).data(), 54 + 4);
  EXPECT_TRUE(p.Converted);
  EXPECT_EQ(Px32(p, 0, 0), 0xFFFF0000u);
  EXPECT_EQ(Px32(p, 1, 0), 0xFF00FF00u);
  // 5-6-5 masks after the header.
  std::vector<uint8_t> b565 = {0x1F, 0x00, 0x20, 0x00}; // blue, darkest green step
  auto f = MakeBmp(2, 1, 16, 3, {}, b565, {0xF800, 0x07E0, 0x001F});
  p = VeDecodeBmp(f.data(), f.size());
  EXPECT_EQ(Px32(p, 0, 0), 0xFF0000FFu);
  EXPECT_EQ(Px32(p, 1, 0), 0xFF000400u); // 1 of 63 steps is 4 of 255
  // 32-bit with a zero fourth byte stays 32-bit; the byte is ignored later.
  auto f32 = MakeBmp(1, 1, 32, 0, {}, {10, 20, 30, 0});
  p = VeDecodeBmp(f32.data(), f32.size());
  EXPECT_EQ(p.BitsPerPixel, 32);
  EXPECT_FALSE(p.Converted);
}

TEST(BmpCodec, Rle8AndRle4) {
  // RLE8 4x3: row 0 (bottom) = run of 3 x 5 then end of line; delta to (1, 2);
  // absolute 3 pixels 7 8 9 (padded); end of picture.
  std::vector<uint8_t> rle8 = {3, 5, 0, 0, 0, 2, 1, 1, 0, 3, 7, 8, 9, 0, 0, 1};
  auto f = MakeBmp(4, 3, 8, 1, {0, 0xFFFFFF, 0, 0, 0, 0x123456, 0, 0, 0, 0}, rle8);
  TVePicture p = VeDecodeBmp(f.data(), f.size());
  EXPECT_EQ(p.BitsPerPixel, 8);
  const uint8_t bottom[4] = {5, 5, 5, 0};
  EXPECT_EQ(std::memcmp(p.Row(2), bottom, 4), 0);
  const uint8_t top[4] = {0, 7, 8, 9};
  EXPECT_EQ(std::memcmp(p.Row(0), top, 4), 0);
  // RLE4 3x1: run of 3 alternating 1, 2; a run longer than the row is clipped.
  std::vector<uint8_t> rle4 = {9, 0x12, 0, 1};
  f = MakeBmp(3, 1, 4, 2, {0, 1, 2}, rle4);
  p = VeDecodeBmp(f.data(), f.size());
  EXPECT_EQ(p.Row(0)[0], 0x12);
  EXPECT_EQ(p.Row(0)[1], 0x10);
  // Runaway RLE (no end marker) fails as truncated.
  f = MakeBmp(3, 2, 8, 1, {0}, {1, 0});
  EXPECT_THROW(VeDecodeBmp(f.data(), f.size()), EVeError);
}

TEST(BmpCodec, PaletteNeverReadsIntoPixels) {
  // Announces 256 colours but the pixels start after 4.
  auto f = MakeBmp(8, 1, 4, 0, {1, 2, 3, 4}, {0xFF, 0xFF, 0xFF, 0xFF});
  f[46] = 0; // colours used = 0 means 16
  TVePicture p = VeDecodeBmp(f.data(), f.size());
  EXPECT_EQ(p.Palette.size(), 4u);
}

TEST(BmpCodec, HostileHeadersAndTruncation) {
  auto huge = MakeBmp(100000, 100000, 24, 0, {}, {1, 2, 3, 4});
  try {
    VeDecodeBmp(huge.data(), huge.size());
    FAIL();
  } catch (const EVeError& e) {
    EXPECT_STREQ(e.what(), "Picture too large (100000 x 100000 pixels)");
  }
  auto neg = MakeBmp(-5, 5, 24, 0, {}, {1, 2, 3, 4});
  EXPECT_THROW(VeDecodeBmp(neg.data(), neg.size()), EVeError);
  auto minH = MakeBmp(5, INT32_MIN, 24, 0, {}, {1, 2, 3, 4});
  EXPECT_THROW(VeDecodeBmp(minH.data(), minH.size()), EVeError);
  auto depth = MakeBmp(5, 5, 7, 0, {}, {1, 2, 3, 4});
  EXPECT_THROW(VeDecodeBmp(depth.data(), depth.size()), EVeError);
  auto hdr = MakeBmp(5, 5, 24, 0, {}, {1});
  hdr[14] = 0xFF, hdr[15] = 0xFF, hdr[16] = 0xFF, hdr[17] = 0x7F; // header size 2 GiB
  EXPECT_THROW(VeDecodeBmp(hdr.data(), hdr.size()), EVeError);
  auto off = MakeBmp(1, 1, 24, 0, {}, {1, 2, 3, 0});
  off[10] = 0xF0, off[13] = 0xFF; // pixels far beyond the end
  EXPECT_THROW(VeDecodeBmp(off.data(), off.size()), EVeError);

  std::vector<uint8_t> bits(3 * 8);
  auto f = MakeBmp(5, 3, 8, 0, {0, 0xFFFFFF}, bits);
  // The padding after the last row may be missing; anything shorter fails.
  std::vector<uint8_t> needed(f.begin(), f.end() - 3);
  EXPECT_NO_THROW(VeDecodeBmp(needed.data(), needed.size()));
  ExpectPrefixesFail(needed,
                     [](const std::vector<uint8_t>& d) { VeDecodeBmp(d.data(), d.size()); });
  std::vector<uint8_t> rle = {3, 1, 0, 0, 0, 3, 1, 1, 1, 0, 0, 0, 0, 2, 1, 1, 0, 1};
  auto r = MakeBmp(4, 3, 8, 1, {0, 0xFFFFFF}, rle);
  ExpectCorruptionSafe(f, [](const std::vector<uint8_t>& d) { VeDecodeBmp(d.data(), d.size()); });
  ExpectCorruptionSafe(r, [](const std::vector<uint8_t>& d) { VeDecodeBmp(d.data(), d.size()); });
}

namespace {

std::vector<uint8_t> PngChunk(const char* type, const std::vector<uint8_t>& body) {
  std::vector<uint8_t> c;
  const uint32_t n = uint32_t(body.size());
  c.insert(c.end(), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
  c.insert(c.end(), type, type + 4);
  c.insert(c.end(), body.begin(), body.end());
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
  crc = crc32(crc, body.data(), uInt(body.size()));
  c.insert(c.end(), {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)});
  return c;
}

// A hand-made PNG: IHDR, optional extra chunks, and the given raw (filtered) rows.
std::vector<uint8_t> MakePng(uint32_t w, uint32_t h, int depth, int colorType,
                             const std::vector<uint8_t>& raw,
                             const std::vector<std::vector<uint8_t>>& extra = {}) {
  std::vector<uint8_t> f = {0x89, 'P', 'N', 'G', 13, 10, 26, 10};
  std::vector<uint8_t> ihdr = {uint8_t(w >> 24),
                               uint8_t(w >> 16),
                               uint8_t(w >> 8),
                               uint8_t(w),
                               uint8_t(h >> 24),
                               uint8_t(h >> 16),
                               uint8_t(h >> 8),
                               uint8_t(h),
                               uint8_t(depth),
                               uint8_t(colorType),
                               0,
                               0,
                               0};
  auto c = PngChunk("IHDR", ihdr);
  f.insert(f.end(), c.begin(), c.end());
  for (auto& e : extra)
    f.insert(f.end(), e.begin(), e.end());
  uLongf zsize = compressBound(uLong(raw.size()));
  std::vector<uint8_t> z(zsize);
  compress(z.data(), &zsize, raw.data(), uLong(raw.size()));
  z.resize(zsize);
  c = PngChunk("IDAT", z);
  f.insert(f.end(), c.begin(), c.end());
  c = PngChunk("IEND", {});
  f.insert(f.end(), c.begin(), c.end());
  return f;
}

} // namespace

TEST(PngCodec, IndexedAnd24BitRoundTrip) {
  const int w = 7, h = 3;
  for (int bpp : {1, 4, 8, 24}) {
    TVePicture src;
    src.Allocate(w, h, bpp);
    for (int y = 0; y < h; ++y)
      for (int i = 0; i < (w * bpp + 7) / 8; ++i)
        src.Row(y)[i] = uint8_t(y * 17 + i * 5);
    if (bpp < 8)
      for (int y = 0; y < h; ++y)
        src.Row(y)[(w * bpp - 1) / 8] &= uint8_t(0xFF << (8 - (w * bpp) % 8) % 8);
    std::vector<uint32_t> pal;
    if (bpp <= 8)
      for (int i = 0; i < (1 << bpp); ++i)
        pal.push_back(uint32_t(0xFFFFFF - i * 0x010101));
    auto file = VeWritePng(
        w, h, bpp, pal, [&](int y) { return src.Row(y); }, "Velmora");
    EXPECT_NE(
        std::search(file.begin(), file.end(), std::begin("Software"), std::end("Software") - 1),
        file.end());
    TVePicture back = VeDecodePng(file.data(), file.size());
    EXPECT_EQ(back.BitsPerPixel, bpp);
    EXPECT_EQ(back.Palette, pal);
    EXPECT_EQ(back.Pixels, src.Pixels) << bpp;
  }
}

TEST(PngCodec, TransparencyLiesOnWhite) {
  // RGBA: opaque red, fully transparent black, half-transparent black.
  std::vector<uint8_t> raw = {0, 255, 0, 0, 255, 0, 0, 0, 0, 0, 0, 0, 128};
  auto f = MakePng(3, 1, 8, 6, raw);
  TVePicture p = VeDecodePng(f.data(), f.size());
  EXPECT_TRUE(p.Converted);
  EXPECT_EQ(Px32(p, 0, 0), 0xFFFF0000u);
  EXPECT_EQ(Px32(p, 1, 0), 0xFFFFFFFFu);
  EXPECT_EQ(Px32(p, 2, 0), 0xFF7F7F7Fu);
  // Palette with tRNS keeps its palette and carries the alpha per entry.
  auto plte = PngChunk("PLTE", {0, 0, 0, 10, 20, 30});
  auto trns = PngChunk("tRNS", {0});
  f = MakePng(2, 1, 8, 3, {0, 0, 1}, {plte, trns});
  p = VeDecodePng(f.data(), f.size());
  EXPECT_EQ(p.BitsPerPixel, 8);
  EXPECT_EQ(p.Palette, (std::vector<uint32_t>{0, 0x0A141E}));
  EXPECT_EQ(p.PaletteAlpha, (std::vector<uint8_t>{0, 255}));
  // Grey is converted to 32 bits.
  f = MakePng(1, 1, 8, 0, {0, 77});
  p = VeDecodePng(f.data(), f.size());
  EXPECT_EQ(p.BitsPerPixel, 32);
  EXPECT_EQ(Px32(p, 0, 0), 0xFF4D4D4Du);
  // 16 bits per channel RGB.
  f = MakePng(1, 1, 16, 2, {0, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC});
  p = VeDecodePng(f.data(), f.size());
  EXPECT_EQ(Px32(p, 0, 0), 0xFF12569Au);
}

TEST(PngCodec, TrueColourStraightInto32BitRowsAsThePictureRecordGives) {
  // Each kind without a palette, decoded into 32-bit rows, must give the pixels and both
  // palettes the picture record gives; a PNG of indices is left to the record.
  std::vector<std::vector<uint8_t>> files = {
      MakePng(2, 2, 8, 2, {0, 1, 2, 3, 4, 5, 6, 1, 7, 8, 9, 10, 11, 12}),
      MakePng(2, 1, 8, 2, {0, 1, 2, 3, 4, 5, 6}, {PngChunk("tRNS", {0, 1, 0, 2, 0, 3})}),
      MakePng(3, 1, 8, 6, {0, 255, 0, 0, 255, 0, 0, 0, 0, 0, 0, 0, 128}),
      MakePng(2, 1, 8, 0, {0, 77, 200}),
      MakePng(2, 1, 8, 4, {0, 77, 0, 200, 100}),
      MakePng(1, 1, 16, 2, {0, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}),
      MakePng(4, 1, 2, 3, {0, 0x1B}, {PngChunk("PLTE", {0, 0, 0, 9, 9, 9, 80, 80, 80, 255, 1, 2})}),
  };
  // A photograph-like picture with more colours than a palette keeps.
  TVePicture many;
  many.Allocate(64, 40, 24);
  for (int y = 0; y < 40; ++y)
    for (int i = 0; i < 64 * 3; ++i)
      many.Row(y)[i] = uint8_t(y * 13 + i * 7 + (i * y) % 5);
  files.push_back(VeWritePng(64, 40, 24, {}, [&](int y) { return many.Row(y); }));
  for (size_t n = 0; n < files.size(); ++n) {
    const auto& f = files[n];
    const TVePictureResult ref = PictureToBitmap32(VeDecodePng(f.data(), f.size()), vpwAll);
    TVeBitmap32 direct;
    ASSERT_TRUE(VeDecodePngTrueColor(f.data(), f.size(), direct)) << n;
    EXPECT_TRUE(direct == ref.Image) << n;
    const TVePictureResult r = VeDecodeToBitmap32(vptPNG, f.data(), f.size(), vpwAll);
    EXPECT_TRUE(r.Image == ref.Image) << n;
    for (auto [a, b] : {std::pair{r.FilePalette.get(), ref.FilePalette.get()},
                        std::pair{r.UsedColors.get(), ref.UsedColors.get()}}) {
      ASSERT_EQ(a == nullptr, b == nullptr) << n;
      if (!a) continue;
      ASSERT_EQ(a->Count(), b->Count()) << n;
      for (int i = 0; i < a->Count(); ++i) {
        EXPECT_EQ(a->GetRGBQuad(i), b->GetRGBQuad(i)) << n;
        EXPECT_EQ(a->GetPColor(i)->UseCount, b->GetPColor(i)->UseCount) << n;
      }
    }
  }
  EXPECT_EQ(VeDecodeToBitmap32(vptPNG, files.back().data(), files.back().size()).FilePalette,
            nullptr); // the colour too many drops it
  // Indices stay with the record, and the result is still the same picture.
  auto indexed = MakePng(2, 1, 8, 3, {0, 0, 1}, {PngChunk("PLTE", {0, 0, 0, 10, 20, 30})});
  TVeBitmap32 untouched(1, 1, 0x12345678);
  EXPECT_FALSE(VeDecodePngTrueColor(indexed.data(), indexed.size(), untouched));
  EXPECT_EQ(untouched.Pixel(0, 0), 0x12345678u);
  EXPECT_TRUE(VeDecodeToBitmap32(vptPNG, indexed.data(), indexed.size()).Image ==
              PictureToBitmap32(VeDecodePng(indexed.data(), indexed.size())).Image);
  // Broken files fail as clearly as through the record.
  auto shortData = MakePng(4, 4, 8, 2, {0, 1, 2, 3});
  EXPECT_THROW(VeDecodePngTrueColor(shortData.data(), shortData.size(), untouched), EVeError);
  const auto& whole = files.back();
  ExpectPrefixesFail(std::vector<uint8_t>(whole.begin(), whole.end() - 12),
                     [&](const std::vector<uint8_t>& d) {
                       TVeBitmap32 out;
                       VeDecodePngTrueColor(d.data(), d.size(), out);
                     });
}

TEST(PngCodec, HostileAndTruncated) {
  auto huge = MakePng(100000, 100000, 8, 2, {0, 1, 2, 3});
  try {
    VeDecodePng(huge.data(), huge.size());
    FAIL();
  } catch (const EVeError& e) {
    EXPECT_STREQ(e.what(), "Picture too large (100000 x 100000 pixels)");
  }
  // Too little image data for the rows.
  auto shortData = MakePng(4, 4, 8, 2, {0, 1, 2, 3});
  EXPECT_THROW(VeDecodePng(shortData.data(), shortData.size()), EVeError);
  TVePicture src;
  src.Allocate(9, 4, 8);
  auto f = VeWritePng(9, 4, 8, {0, 0xFFFFFF}, [&](int y) { return src.Row(y); });
  // Everything short of the end of the image data must fail.
  const size_t iend = 12;
  std::vector<uint8_t> head(f.begin(), f.end() - iend);
  ExpectPrefixesFail(head, [](const std::vector<uint8_t>& d) { VeDecodePng(d.data(), d.size()); });
  ExpectCorruptionSafe(f, [](const std::vector<uint8_t>& d) { VeDecodePng(d.data(), d.size()); });
}

TEST(GifCodec, RoundTripAndTransparentIndex) {
  TVePicture src;
  src.Allocate(5, 3, 8);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x)
      src.Row(y)[x] = uint8_t((x + y) % 3);
  auto f = VeWriteGif(5, 3, 8, {0xFF0000, 0x00FF00, 0x0000FF}, [&](int y) { return src.Row(y); });
  TVePicture p = VeDecodeGif(f.data(), f.size());
  EXPECT_EQ(p.BitsPerPixel, 8);
  ASSERT_EQ(p.Palette.size(), 4u); // GIF maps come in powers of two
  EXPECT_EQ(p.Palette[1], 0x00FF00u);
  EXPECT_EQ(p.Pixels, src.Pixels);
  EXPECT_TRUE(p.PaletteAlpha.empty());

  // A frame smaller than the screen with a transparent index.
  std::vector<uint8_t> out;
  int err = 0;
  GifFileType* gif = EGifOpen(
      &out,
      [](GifFileType* g, const GifByteType* d, int n) {
        auto* o = static_cast<std::vector<uint8_t>*>(g->UserData);
        o->insert(o->end(), d, d + n);
        return n;
      },
      &err);
  ASSERT_NE(gif, nullptr);
  GifColorType colors[2] = {{1, 2, 3}, {200, 100, 50}};
  ColorMapObject* map = GifMakeMapObject(2, colors);
  EGifSetGifVersion(gif, true);
  ASSERT_NE(EGifPutScreenDesc(gif, 4, 2, 1, 0, map), GIF_ERROR);
  GifByteType gce[4] = {1, 0, 0, 0}; // transparent index 0
  ASSERT_NE(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, gce), GIF_ERROR);
  ASSERT_NE(EGifPutImageDesc(gif, 1, 0, 2, 1, false, nullptr), GIF_ERROR);
  GifPixelType line[2] = {1, 0};
  ASSERT_NE(EGifPutLine(gif, line, 2), GIF_ERROR);
  EGifCloseFile(gif, &err);
  GifFreeMapObject(map);
  p = VeDecodeGif(out.data(), out.size());
  ASSERT_EQ(p.Width, 4);
  ASSERT_EQ(p.Height, 2);
  EXPECT_EQ(p.PaletteAlpha, (std::vector<uint8_t>{0, 255}));
  EXPECT_EQ(p.Row(0)[0], 0);
  EXPECT_EQ(p.Row(0)[1], 1);
  EXPECT_EQ(p.Row(1)[3], 0);
}

TEST(GifCodec, HostileAndTruncated) {
  // Logical screen of 65535 x 65535 with a 1 x 1 frame.
  TVePicture src;
  src.Allocate(1, 1, 8);
  auto f = VeWriteGif(1, 1, 1, {0, 0xFFFFFF}, [&](int y) { return src.Row(y); });
  f[6] = f[7] = f[8] = f[9] = 0xFF;
  EXPECT_THROW(VeDecodeGif(f.data(), f.size()), EVeError);
  TVePicture big;
  big.Allocate(40, 30, 8);
  for (size_t i = 0; i < big.Pixels.size(); ++i)
    big.Pixels[i] = uint8_t(i * 7 % 16);
  std::vector<uint32_t> pal(16, 0x808080);
  f = VeWriteGif(40, 30, 4, pal, [&](int y) { return big.Row(y); });
  // The trailer byte is not needed: the frame is complete without it.
  std::vector<uint8_t> head(f.begin(), f.end() - 2);
  ExpectPrefixesFail(head, [](const std::vector<uint8_t>& d) { VeDecodeGif(d.data(), d.size()); });
  ExpectCorruptionSafe(f, [](const std::vector<uint8_t>& d) { VeDecodeGif(d.data(), d.size()); });
}

TEST(JpegCodec, RoundTripGreyAndHostile) {
  TVeBitmap32 src(32, 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 32; ++x)
      src.Pixel(x, y) = VeRGBQuad(uint8_t(x * 8), uint8_t(y * 16), 128);
  auto f = VeWriteJpeg(src, 95);
  EXPECT_EQ(DetectPictureType(f.data(), f.size()), vptJPEG);
  TVeBitmap32 back = VeDecodeJpeg(f.data(), f.size());
  ASSERT_EQ(back.Width(), 32);
  ASSERT_EQ(back.Height(), 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 32; ++x) {
      const uint32_t a = src.Pixel(x, y), b = back.Pixel(x, y);
      EXPECT_EQ(b >> 24, 255u);
      for (int s = 0; s < 24; s += 8)
        EXPECT_NEAR(int(a >> s & 255), int(b >> s & 255), 12) << x << "," << y;
    }
  // The frame header patched to 30000 x 30000 is refused before decoding.
  auto huge = f;
  for (size_t i = 2; i + 9 < huge.size(); ++i)
    if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
      huge[i + 5] = huge[i + 7] = 0x75; // 30000 = 0x7530
      huge[i + 6] = huge[i + 8] = 0x30;
      break;
    }
  try {
    VeDecodeJpeg(huge.data(), huge.size());
    FAIL();
  } catch (const EVeError& e) {
    EXPECT_STREQ(e.what(), "Picture too large (30000 x 30000 pixels)");
  }
  ExpectPrefixesFail(f, [](const std::vector<uint8_t>& d) { VeDecodeJpeg(d.data(), d.size()); });
  ExpectCorruptionSafe(f, [](const std::vector<uint8_t>& d) { VeDecodeJpeg(d.data(), d.size()); });
}

TEST(JpegCodec, SamplePhotograph) {
  auto png = VeReadFile(std::string(VELMORA_SAMPLES_DIR) + "/coffee.png");
  TVePicture p = VeDecodePng(png.data(), png.size());
  EXPECT_EQ(p.Width, 600);
  EXPECT_EQ(p.Height, 400);
  EXPECT_THROW(VeReadFile(std::string(VELMORA_SAMPLES_DIR) + "/no such file.png"), EVeError);
}
