// MSX loaders: which files they take and how sure they are, the companion pages and palette
// files, MAG pictures, and files that lie about themselves.
#include <gtest/gtest.h>

#include <random>

#include "msx/VePlatformMsx.h"
#include "msx/VePlatformMsxMag.h"
#include "msx/VePlatformMsxYJK.h"
#include "test_msx_support.h"

using namespace msxtest;

namespace {

// A BSAVE file of the given data length; data byte i holds i * 7.
TBytes Bsave(int dataLength) {
  TBytes f(size_t(MsxBsaveHeaderBytes + dataLength));
  MsxWriteBsaveHeader(f.data(), dataLength);
  for (int i = 0; i < dataLength; ++i)
    f[size_t(MsxBsaveHeaderBytes + i)] = uint8_t(i * 7);
  return f;
}

// The priority of loader T for the bytes under a name, 0 when it does not take them.
template <class T> int PriorityOf(const TBytes& bytes, const std::string& name) {
  TFolder folder(name, bytes);
  auto list = Probe(folder);
  T* e = Loader<T>(*list);
  return e ? e->Priority : 0;
}

// A 16-colour palette of registers: colour i has red i & 7, green (i * 3) & 7, blue 7 - i & 7.
TBytes PaletteFile() {
  TBytes f(MsxPaletteFileBytes);
  for (int k = 0; k < 8; ++k)
    for (int i = 0; i < 16; ++i) {
      f[size_t(32 * k + 2 * i)] = uint8_t((i & 7) << 4 | (7 - (i & 7)));
      f[size_t(32 * k + 2 * i + 1)] = uint8_t((i * 3) & 7);
    }
  return f;
}

TVeMagPicture MagPicture(int w, int h, bool colors256) {
  TVeMagPicture p;
  p.Width = w;
  p.Height = h;
  p.Colors256 = colors256;
  p.Pixels.resize(size_t(w * h));
  std::mt19937 rng(3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      // Runs, repeats from rows above and noise, so that every kind of flag occurs.
      p.Pixels[size_t(y * w + x)] =
          uint8_t((y % 5 == 0 ? rng() : x / 6 + (y / 3) * 2) % (colors256 ? 256 : 16));
  for (int i = 0; i < (colors256 ? 256 : 16); ++i)
    p.Palette.push_back(uint32_t(i * 0x010305) & 0xFFFFFF);
  return p;
}

} // namespace

TEST(MsxLoaders, BsaveScreensByExtensionAndBySize) {
  const TBytes sc5 = Bsave(0x76A0); // 30375 bytes, an exact size
  // Own extensions: verified, extension, exact size.
  for (const char* name : {"a.sc5", "A.SC5", "a.s05", "a.sr5", "a.ge5"})
    EXPECT_EQ(PriorityOf<TVeSC5Engine>(sc5, name), 13) << name;
  // Another extension: only with an exact size and the whole header right.
  EXPECT_EQ(PriorityOf<TVeSC5Engine>(sc5, "a.bin"), 9);
  TBytes odd = sc5;
  odd[5] = 1; // an execution address
  EXPECT_EQ(PriorityOf<TVeSC5Engine>(odd, "a.bin"), 0);
  EXPECT_EQ(PriorityOf<TVeSC5Engine>(odd, "a.sc5"), 13);
  // A header that claims more than the file holds is not taken under another name, and under
  // its own the loader reads only what is there.
  TBytes claims = Bsave(0x6A00);
  claims[3] = 0xFF;
  claims[4] = 0xFF;
  EXPECT_EQ(PriorityOf<TVeSC5Engine>(claims, "a.bin"), 0);
  EXPECT_EQ(PriorityOf<TVeSC5Engine>(claims, "a.sc5"), 13);
  {
    TFolder folder("a.sc5", claims);
    auto list = Probe(folder);
    auto bmp = Loader<TVeSC5Engine>(*list)->CreateBitmap();
    EXPECT_EQ(bmp->Height(), 212);
  }
  // Too short for the mode, or not a BSAVE file at all.
  EXPECT_EQ(PriorityOf<TVeSC5Engine>(Bsave(0x69FF), "a.sc5"), 0);
  TBytes notBsave = sc5;
  notBsave[0] = 0xFD;
  EXPECT_EQ(PriorityOf<TVeSC5Engine>(notBsave, "a.sc5"), 0);
  EXPECT_EQ(PriorityOf<TVeSC5Engine>(TBytes(3, 0xFE), "a.sc5"), 0);
  // Longer than the mode needs, with its own extension: verified, not exact.
  EXPECT_EQ(PriorityOf<TVeSC5Engine>(Bsave(0x7000), "a.sc5"), 12);

  // The other modes' sizes.
  EXPECT_EQ(PriorityOf<TVeSC2Engine>(Bsave(0x3800), "a.grp"), 13);
  EXPECT_EQ(PriorityOf<TVeSC3Engine>(Bsave(1536), "a.bin"), 9);
  EXPECT_EQ(PriorityOf<TVeSC6Engine>(Bsave(30351 - 7), "a.bin"), 9);
  EXPECT_EQ(PriorityOf<TVeSC8Engine>(Bsave(64128), "a.bin"), 9);
  EXPECT_EQ(PriorityOf<TVeSCAEngine>(Bsave(64159), "a.sca"), 0);
  EXPECT_EQ(PriorityOf<TVeSCCEngine>(Bsave(0xC000), "a.bin"), 9);
  TFolder folder("a.scc", Bsave(0xC000));
  auto list = Probe(folder);
  auto* scc = Loader<TVeSCCEngine>(*list);
  ASSERT_TRUE(scc);
  EXPECT_EQ(scc->Height, 192); // 192 rows are all there is
  EXPECT_EQ(scc->CreateBitmap()->Height(), 192);
}

TEST(MsxLoaders, CompanionPagesAndPalettes) {
  TBytes sc7 = Bsave(0xFAA0);
  std::memcpy(sc7.data() + MsxBsaveHeaderBytes + 0xFA80, PaletteFile().data(), 32);
  TBytes s17 = Bsave(0xD400);
  for (size_t i = MsxBsaveHeaderBytes; i < s17.size(); ++i)
    s17[i] = 0x11;
  // ".s07" finds its second page as ".s17" and shows both, rows alternating.
  for (const char* name : {"Pic.SC7", "pic.s07"}) {
    TFolder folder(name, sc7);
    folder.Add(std::string(name[0] == 'P' ? "Pic.S17" : "pic.s17"), s17);
    auto list = Probe(folder);
    auto* e = Loader<TVeSC7Engine>(*list);
    ASSERT_TRUE(e) << name;
    ASSERT_TRUE(e->SecondPage()) << name;
    EXPECT_EQ(e->Height, 424);
    EXPECT_EQ(e->PixelAspect, 12);
    auto bmp = e->CreateBitmap();
    const uint8_t first = sc7[MsxBsaveHeaderBytes + 256 * 3];
    EXPECT_EQ(bmp->GetPixel(0, 6), first >> 4) << "row 3 of page 0";
    EXPECT_EQ(bmp->GetPixel(0, 7), 1) << "row 3 of page 1";
    EXPECT_EQ(bmp->Palette().GetRGBQuad(5),
              MsxHardwarePalette(ptMSX9938).GetRGBQuad(
                  MsxHardwarePalette(ptMSX9938).IndexOfLevels(5, 7, 2)));
  }
  // A page too short, or without a header, is left out.
  {
    TFolder folder("pic.sc7", sc7);
    TBytes shortPage = s17;
    shortPage.pop_back();
    folder.Add("pic.s17", shortPage);
    auto list = Probe(folder);
    EXPECT_FALSE(Loader<TVeSC7Engine>(*list)->SecondPage());
    EXPECT_EQ(Loader<TVeSC7Engine>(*list)->Height, 212);
  }
  // ".sr5" takes its palette from ".pl5"; a palette file of the wrong size is named.
  TBytes sr5 = Bsave(0x6A00);
  for (size_t i = MsxBsaveHeaderBytes; i < sr5.size(); ++i)
    sr5[i] = 0x23;
  {
    TFolder folder("pic.sr5", sr5);
    folder.Add("pic.pl5", PaletteFile());
    auto list = Probe(folder);
    auto* e = Loader<TVeSC5Engine>(*list);
    auto bmp = e->CreateBitmap();
    EXPECT_EQ(bmp->GetPixel(0, 0), 2);
    EXPECT_EQ(bmp->Palette().GetRGBQuad(2),
              MsxHardwarePalette(ptMSX9938).GetRGBQuad(
                  MsxHardwarePalette(ptMSX9938).IndexOfLevels(2, 6, 5)));
    EXPECT_EQ(e->Description, "MSX 256x212x4 screen 5 image");
  }
  {
    TFolder folder("pic.sr5", sr5);
    folder.Add("pic.pl5", TBytes(100, 0x77));
    auto list = Probe(folder);
    auto* e = Loader<TVeSC5Engine>(*list);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Description, "MSX 256x212x4 screen 5 image (palette file ignored)");
    TVePalette256 screen4;
    MsxMakeScreen4Palette(screen4, ptMSX9938);
    EXPECT_TRUE(e->CreateBitmap()->Palette().Equals(&screen4));
  }
  // The palette type chooses the DAC.
  {
    TFolder folder("pic.sc7", sc7);
    auto list = Probe(folder);
    auto* e = Loader<TVeSC7Engine>(*list);
    e->PaletteType = ptMSX9958;
    EXPECT_EQ(e->CreateBitmap()->Palette().GetRGBQuad(5),
              MsxHardwarePalette(ptMSX9958).GetRGBQuad(
                  MsxHardwarePalette(ptMSX9958).IndexOfLevels(5, 7, 2)));
  }
}

TEST(MsxLoaders, CopyPictures) {
  auto copy = [](int w, int h, int bits) {
    TBytes f = {uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8)};
    f.resize(size_t(4 + (int64_t(w) * h * bits + 7) / 8), 0x5A);
    return f;
  };
  EXPECT_EQ(PriorityOf<TVeGL5Engine>(copy(13, 7, 4), "a.gl5"), 13);
  EXPECT_EQ(PriorityOf<TVeGL5Engine>(copy(13, 7, 4), "a.sh5"), 13);
  EXPECT_EQ(PriorityOf<TVeGL5Engine>(copy(13, 7, 4), "a.bin"), 0);
  TBytes longer = copy(13, 7, 4);
  longer.push_back(0);
  EXPECT_EQ(PriorityOf<TVeGL5Engine>(longer, "a.gl5"), 0);
  EXPECT_EQ(PriorityOf<TVeGL6Engine>(copy(9, 3, 2), "a.gl6"), 13);
  EXPECT_EQ(PriorityOf<TVeGL8Engine>(copy(9, 3, 8), "a.gl8"), 13);
  EXPECT_EQ(PriorityOf<TVeGLCEngine>(copy(9, 3, 8), "a.glc"), 0); // YJK groups of four
  EXPECT_EQ(PriorityOf<TVeGLCEngine>(copy(8, 3, 8), "a.glc"), 13);
  EXPECT_EQ(PriorityOf<TVeGL5Engine>(copy(8001, 1, 4), "a.gl5"), 0);
  EXPECT_EQ(PriorityOf<TVeGL5Engine>(TBytes{1, 0}, "a.gl5"), 0);

  // Pixels run on across rows: pixel 13 (row 1, column 0) is the low nibble of byte 6.
  TBytes f = copy(13, 7, 4);
  f[4 + 6] = 0x3C;
  TFolder folder("a.gl5", f);
  folder.Add("a.pl5", PaletteFile());
  auto list = Probe(folder);
  auto bmp = Loader<TVeGL5Engine>(*list)->CreateBitmap();
  EXPECT_EQ(bmp->GetPixel(12, 0), 3);
  EXPECT_EQ(bmp->GetPixel(0, 1), 12);
  EXPECT_EQ(bmp->Palette().GetRGBQuad(12),
            MsxHardwarePalette(ptMSX9938).GetRGBQuad(
                MsxHardwarePalette(ptMSX9938).IndexOfLevels(4, 4, 3)));
}

TEST(MsxLoaders, MagPicturesRoundTrip) {
  for (bool colors256 : {false, true}) {
    TVeMagPicture p = MagPicture(64, 40, colors256);
    p.MachineCode = VeMagMachineMSX;
    p.MachineFlag = colors256 ? 8 : 5;
    p.Comment = "コーヒー Kaffee"; // Japanese and Latin letters
    const TBytes file = VeEncodeMag(p);
    ASSERT_EQ(std::memcmp(file.data(), "MAKI02  MSX2", 12), 0);
    const std::string stored = VeUtf8ToCodePage932(p.Comment);
    EXPECT_EQ(stored.size(), 15u); // four double-byte characters, a space, six letters
    ASSERT_EQ(std::memcmp(file.data() + 12, stored.data(), stored.size()), 0);
    EXPECT_EQ(file[12 + 19], 0x1A) << "padded with spaces to 19 bytes";

    TVeMagPicture back;
    VeDecodeMag(file.data(), int32_t(file.size()), back);
    EXPECT_EQ(back.Width, 64);
    EXPECT_EQ(back.Height, 40);
    EXPECT_EQ(back.Pixels, p.Pixels);
    EXPECT_EQ(back.Palette, p.Palette);
    EXPECT_EQ(back.Comment, p.Comment);

    TFolder folder("pic.mag", file);
    auto list = Probe(folder);
    auto* e = Loader<TVeMAGv2Engine>(*list);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Priority, 12);
    EXPECT_EQ(e->Comment, p.Comment);
    auto bmp = e->CreateBitmap();
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 64; ++x)
        ASSERT_EQ(bmp->GetPixel(x, y), p.Pixels[size_t(y * 64 + x)]);
    EXPECT_EQ(PriorityOf<TVeMAGv2Engine>(file, "pic.bin"), 8);
  }
  // Characters code page 932 does not have become "?".
  EXPECT_EQ(VeUtf8ToCodePage932("a\xE2\x82\xAC"
                                "b"),
            "a?b");                                           // the euro sign
  EXPECT_EQ(VeCodePage932ToUtf8("\x82\xA0"), "\xE3\x81\x82"); // hiragana a
}

TEST(MsxLoaders, BrokenMagFiles) {
  TVeMagPicture p = MagPicture(64, 40, false);
  const TBytes good = VeEncodeMag(p);
  TVeMagHeader h;
  ASSERT_TRUE(VeReadMagHeader(good.data(), int32_t(good.size()), h));
  const size_t header = size_t(h.HeaderAt);
  auto put32 = [](TBytes& f, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
      f[at + size_t(i)] = uint8_t(v >> (8 * i));
  };
  // Streams that lie beyond the file: not offered.
  TBytes f = good;
  put32(f, header + 28, uint32_t(good.size())); // pixel stream size
  EXPECT_EQ(PriorityOf<TVeMAGv2Engine>(f, "a.mag"), 0);
  f = good;
  put32(f, header + 16, 0xFFFFFFF0u); // flag B offset
  EXPECT_EQ(PriorityOf<TVeMAGv2Engine>(f, "a.mag"), 0);
  f = good;
  f.resize(good.size() - 1);
  EXPECT_EQ(PriorityOf<TVeMAGv2Engine>(f, "a.mag"), 0);
  f = good;
  f[header + 8] = 0xFF; // wider than any screen
  f[header + 9] = 0xFF;
  EXPECT_EQ(PriorityOf<TVeMAGv2Engine>(f, "a.mag"), 0);
  // Streams that inside the file run short: a clear message.
  f = good;
  put32(f, header + 28, h.PixelsSize - 2);
  TFolder folder("a.mag", f);
  auto list = Probe(folder);
  auto* e = Loader<TVeMAGv2Engine>(*list);
  ASSERT_TRUE(e);
  EXPECT_THROW(
      {
        try {
          e->CreateBitmap();
        } catch (const EVeError& error) {
          EXPECT_STREQ(error.what(), "Corrupt MAG file");
          throw;
        }
      },
      EVeError);
  // A flag that copies from above the first row.
  f = good;
  f[header + h.FlagA] |= 0x80; // the first flag byte changes ...
  f[header + h.FlagB] = 0x40;  // ... to "copy from the row above"
  EXPECT_EQ(PriorityOf<TVeMAGv2Engine>(f, "a.mag"), 12);
  TFolder above("a.mag", f);
  auto list2 = Probe(above);
  EXPECT_THROW(Loader<TVeMAGv2Engine>(*list2)->CreateBitmap(), EVeError);
  EXPECT_EQ(PriorityOf<TVeMAGv2Engine>(Bytes("MAKI01  MSX2 x\x1A"), "a.mag"), 0);
}

TEST(MsxLoaders, DamagedFilesNeverReadPastTheirEnd) {
  // Every loader on truncated and scrambled versions of real files: each is either not
  // offered, decoded, or refused with a message.
  std::vector<std::pair<std::string, TBytes>> files = {
      {"a.sc2", Bsave(0x3800)},
      {"a.sc3", Bsave(1536)},
      {"a.sc4", Bsave(0x4000)},
      {"a.sc5", Bsave(0x76A0)},
      {"a.sc6", Bsave(0x6A00)},
      {"a.sc7", Bsave(0xFAA0)},
      {"a.sc8", Bsave(0xD400)},
      {"a.sca", Bsave(64160)},
      {"a.scc", Bsave(0xC000)},
      {"a.mag", VeEncodeMag(MagPicture(32, 16, false))},
      {"b.mag", VeEncodeMag(MagPicture(32, 16, true))},
  };
  std::mt19937 rng(11);
  int decoded = 0;
  for (const auto& [name, bytes] : files)
    for (int round = 0; round < 40; ++round) {
      TBytes f = bytes;
      if (round % 2) f.resize(size_t(rng() % (f.size() + 1)));
      for (int k = 0; k < round % 7; ++k)
        if (!f.empty()) f[rng() % f.size()] = uint8_t(rng());
      TFolder folder(name, f);
      folder.Add(name.substr(0, 2) + "s1" + name.substr(name.size() - 1), f);
      folder.Add(name.substr(0, 2) + "pl" + name.substr(name.size() - 1), f);
      auto list = Probe(folder);
      for (int i = 0; i < list->Count(); ++i) {
        try {
          if (list->Engines(i)->CreateBitmap()) ++decoded;
        } catch (const EVeError&) {
        }
      }
    }
  EXPECT_GT(decoded, 50);
}
