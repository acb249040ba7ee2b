// ZX Spectrum tapes and snapshots: the screen is found inside and decoded by the plain
// screen loader; broken or hostile containers are simply not offered.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "VeBitmap.h"
#include "VeLoadSource.h"
#include "zxspectrum/VeOpenPlatformZxSpectrum.h"
#include "zxspectrum/VeOpenPlatformZxSpectrumContainers.h"
#include "zxspectrum/VePlatformZxSpectrum.h"

namespace {

using TBytes = std::vector<uint8_t>;

// A recognisable screen: pixel byte i holds i, attributes count up.
TBytes Screen(uint8_t seed = 0) {
  TBytes s(ZxScreenBytes);
  for (int i = 0; i < ZxScreenBytes; ++i)
    s[size_t(i)] = uint8_t(i * 7 + seed);
  return s;
}

void Append(TBytes& to, const TBytes& bytes) {
  to.insert(to.end(), bytes.begin(), bytes.end());
}
void Word(TBytes& to, unsigned v) {
  to.push_back(uint8_t(v));
  to.push_back(uint8_t(v >> 8));
}
void DWord(TBytes& to, uint32_t v) {
  Word(to, v & 0xFFFF);
  Word(to, v >> 16);
}
TBytes Text(const char* s) {
  return TBytes(s, s + std::strlen(s));
}

TBytes Deflate(const TBytes& data) {
  uLongf size = compressBound(uLong(data.size()));
  TBytes out(size);
  EXPECT_EQ(compress(out.data(), &size, data.data(), uLong(data.size())), Z_OK);
  out.resize(size);
  return out;
}

// A tape block: length, flag, data, checksum.
void TapBlock(TBytes& tape, uint8_t flag, const TBytes& data, bool goodChecksum = true) {
  Word(tape, unsigned(data.size() + 2));
  uint8_t check = flag;
  for (uint8_t b : data)
    check ^= b;
  tape.push_back(flag);
  Append(tape, data);
  tape.push_back(goodChecksum ? check : uint8_t(check ^ 1));
}

struct TProbe {
  TVeMemoryLoadSource Source;
  std::unique_ptr<TVeSourceEngineList> List;
  TProbe(const std::string& name, const TBytes& bytes)
      : Source(name, int32_t(bytes.size()), bytes.data()) {
    RegisterZxSpectrumLoaders();
    List = ProbeSource(&Source);
  }
  template <class T> TVeSourceEngine* Get() const {
    for (int i = 0; i < List->Count(); ++i)
      if (auto* e = dynamic_cast<T*>(List->Engines(i))) return e;
    return nullptr;
  }
};

// The screen the standard loader decodes from these bytes.
std::unique_ptr<TVeBitmap32> Decoded(const TBytes& scr) {
  TVeMemoryLoadSource src("screen.scr", int32_t(scr.size()), scr.data());
  TVeZxSpectrumColorEngine e(&src);
  return e.CreateBitmap()->ToBitmap32();
}

template <class T>
void ExpectScreen(const std::string& name, const TBytes& file, const TBytes& screen, int priority) {
  TProbe p(name, file);
  TVeSourceEngine* e = p.Get<T>();
  ASSERT_TRUE(e) << name;
  EXPECT_EQ(e->Priority, priority) << name;
  EXPECT_EQ(e->Description, "ZX Spectrum 256x192x4 image");
  EXPECT_EQ(e->PaletteTypes.size(), 3u);
  auto bmp = e->CreateBitmap();
  ASSERT_TRUE(bmp);
  EXPECT_TRUE(*bmp->ToBitmap32() == *Decoded(screen)) << name;
}

template <class T> void ExpectNone(const std::string& name, const TBytes& file) {
  TProbe p(name, file);
  EXPECT_FALSE(p.Get<T>()) << name << " (" << file.size() << " bytes)";
}

} // namespace

TEST(ZxTape, TapOffersTheFirstScreenOnTheTape) {
  TBytes tape;
  TapBlock(tape, 0, TBytes(17, 3));    // a header
  TapBlock(tape, 255, TBytes(100, 9)); // a program
  const TBytes screen = Screen();
  TapBlock(tape, 255, screen);
  TapBlock(tape, 255, Screen(1));
  ExpectScreen<TVeZxSpectrumTAPEngine>("game.tap", tape, screen, 13);
  ExpectNone<TVeZxSpectrumTAPEngine>("game.bin", tape);

  // A monochrome 6144-byte block before it is offered first.
  TBytes mono;
  TapBlock(mono, 255, TBytes(ZxPixelBytes, 0x0F));
  TapBlock(mono, 255, screen);
  TProbe p("mono.tap", mono);
  ASSERT_TRUE(p.Get<TVeZxSpectrumTAPEngine>());
  EXPECT_EQ(p.Get<TVeZxSpectrumTAPEngine>()->BitsPerPixel, 1);

  // A broken checksum ends the tape, even with a screen after it.
  TBytes broken;
  TapBlock(broken, 255, TBytes(100, 9), false);
  TapBlock(broken, 255, screen);
  ExpectNone<TVeZxSpectrumTAPEngine>("broken.tap", broken);
  // Cut short inside the screen block.
  tape.resize(tape.size() - 2 * ZxScreenBytes);
  TBytes cut = tape;
  cut.resize(cut.size() - 10);
  ExpectNone<TVeZxSpectrumTAPEngine>("cut.tap", cut);
}

TEST(ZxTape, TzxWalksItsBlocks) {
  const TBytes screen = Screen(5);
  TBytes tzx = Text("ZXTape!");
  tzx.push_back(0x1A);
  tzx.push_back(1);
  tzx.push_back(20);
  tzx.push_back(0x30); // text description
  tzx.push_back(3);
  Append(tzx, Text("abc"));
  tzx.push_back(0x12); // pure tone
  Append(tzx, TBytes(4, 0));
  tzx.push_back(0x10); // standard block: a header
  Word(tzx, 1000);
  Word(tzx, 19);
  Append(tzx, TBytes(19, 0));
  tzx.push_back(0x11); // turbo block holding the screen
  TBytes turbo(18, 0);
  turbo[15] = uint8_t((ZxScreenBytes + 2) & 0xFF);
  turbo[16] = uint8_t((ZxScreenBytes + 2) >> 8);
  Append(tzx, turbo);
  tzx.push_back(255);
  Append(tzx, screen);
  tzx.push_back(0);
  ExpectScreen<TVeZxSpectrumTZXEngine>("game.tzx", tzx, screen, 13);
  ExpectScreen<TVeZxSpectrumTZXEngine>("game.bin", tzx, screen, 9);
  // An unknown block ends the walk before the screen.
  TBytes unknown = tzx;
  unknown[10] = 0x7F;
  ExpectNone<TVeZxSpectrumTZXEngine>("game.tzx", unknown);
  // A length pointing far past the end is refused, not followed.
  TBytes huge = Text("ZXTape!");
  huge.push_back(0x1A);
  Append(huge, TBytes(2, 1));
  huge.push_back(0x19);
  DWord(huge, 0xFFFFFFF0u);
  Append(huge, TBytes(ZxScreenBytes, 0));
  ExpectNone<TVeZxSpectrumTZXEngine>("huge.tzx", huge);
}

TEST(ZxSnapshot, SzxFindsTheScreenPageAndUnpacksIt) {
  const TBytes page5 = Screen(2), page7 = Screen(3);
  auto ramp = [](TBytes& f, int page, const TBytes& screen, bool packed) {
    TBytes data = screen;
    data.resize(16384, 0);
    if (packed) data = Deflate(data);
    Append(f, Text("RAMP"));
    DWord(f, uint32_t(data.size() + 3));
    Word(f, packed ? 1 : 0);
    f.push_back(uint8_t(page));
    Append(f, data);
  };
  auto spcr = [](TBytes& f, uint8_t port) {
    Append(f, Text("SPCR"));
    DWord(f, 8);
    TBytes c(8, 0);
    c[1] = port;
    Append(f, c);
  };
  TBytes szx = Text("ZXST");
  Append(szx, TBytes(4, 1));
  spcr(szx, 0x08); // shadow screen
  ramp(szx, 5, page5, true);
  ramp(szx, 7, page7, true);
  ExpectScreen<TVeZxSpectrumSZXEngine>("snap.szx", szx, page7, 13);
  // The same choice made after the pages: too late, page 5 is shown.
  TBytes late = Text("ZXST");
  Append(late, TBytes(4, 1));
  ramp(late, 5, page5, false);
  spcr(late, 0x08);
  ramp(late, 7, page7, false);
  ExpectScreen<TVeZxSpectrumSZXEngine>("snap.bin", late, page5, 9);
  // A page that does not inflate far enough is not offered.
  TBytes bad = Text("ZXST");
  Append(bad, TBytes(4, 1));
  Append(bad, Text("RAMP"));
  const TBytes tiny = Deflate(TBytes(100, 1));
  DWord(bad, uint32_t(tiny.size() + 3));
  Word(bad, 1);
  bad.push_back(5);
  Append(bad, tiny);
  ExpectNone<TVeZxSpectrumSZXEngine>("bad.szx", bad);
  // A stored page chunk at the very end of the file: its length counts the three header
  // bytes, so up to 6914 it holds less than a screen and must not be read past its end.
  for (uint32_t length : {6912u, 6913u, 6914u, 6915u}) {
    TBytes end = Text("ZXST");
    Append(end, TBytes(4, 1));
    Append(end, Text("RAMP"));
    DWord(end, length);
    Word(end, 0);
    end.push_back(5);
    const TBytes screen = Screen(5);
    Append(end, TBytes(screen.begin(), screen.begin() + (length - 3)));
    ASSERT_EQ(end.size(), 8 + 8 + size_t(length));
    if (length < 6915)
      ExpectNone<TVeZxSpectrumSZXEngine>("end.szx", end);
    else
      ExpectScreen<TVeZxSpectrumSZXEngine>("end.szx", end, screen, 13);
  }
}

TEST(ZxSnapshot, SpSnaAndZ80) {
  const TBytes screen = Screen(4);
  TBytes sp = Text("SP");
  Word(sp, 0xC000);
  Word(sp, 0x4000);
  Append(sp, TBytes(32, 0));
  Append(sp, screen);
  sp.resize(38 + 0xC000, 0);
  ExpectScreen<TVeZxSpectrumSPEngine>("a.sp", sp, screen, 13);
  sp.pop_back();
  ExpectNone<TVeZxSpectrumSPEngine>("a.sp", sp);

  TBytes sna(27, 0);
  Append(sna, screen);
  sna.resize(49179, 0);
  ExpectScreen<TVeZxSpectrumSNAEngine>("a.sna", sna, screen, 13);
  ExpectNone<TVeZxSpectrumSNAEngine>("a.bin", sna);

  // Version 1, compressed: runs of ED ED n v and a lone ED.
  TBytes packedScreen;
  TBytes expect;
  for (int i = 0; i < 250; ++i) {
    Append(packedScreen, {0xED, 0xED, 30, uint8_t(i)});
    expect.insert(expect.end(), 30, uint8_t(i));
    packedScreen.push_back(0xED);
    packedScreen.push_back(0x01);
    expect.push_back(0xED);
    expect.push_back(0x01);
  }
  expect.resize(ZxScreenBytes);
  TBytes v1(30, 0);
  v1[6] = 0x34;  // program counter: version 1
  v1[12] = 0x20; // compressed
  Append(v1, packedScreen);
  ExpectScreen<TVeZxSpectrumZ80Engine>("a.z80", v1, expect, 13);
  v1.resize(30 + 200 * 6); // ends before the screen is complete
  ExpectNone<TVeZxSpectrumZ80Engine>("a.z80", v1);

  // Version 3, 128K with the shadow screen selected: bank 7 is page 10.
  auto v3 = [&](uint8_t port) {
    TBytes f(30, 0);
    Word(f, 54);
    TBytes extra(54, 0);
    extra[2] = 4; // 128K
    extra[3] = port;
    Append(f, extra);
    for (int page : {8, 10}) {
      TBytes data = page == 8 ? screen : Screen(9);
      data.resize(16384, 0);
      Word(f, 0xFFFF);
      f.push_back(uint8_t(page));
      Append(f, data);
    }
    return f;
  };
  ExpectScreen<TVeZxSpectrumZ80Engine>("b.z80", v3(0x08), Screen(9), 13);
  ExpectScreen<TVeZxSpectrumZ80Engine>("b.z80", v3(0x00), screen, 13);
}

TEST(ZxSnapshot, RzxCarriesAPackedSnapshot) {
  const TBytes screen = Screen(6);
  TBytes sna(27, 0);
  Append(sna, screen);
  sna.resize(49179, 0);
  const TBytes packed = Deflate(sna);
  TBytes rzx = Text("RZX!");
  Append(rzx, TBytes(6, 0));
  rzx.push_back(0x10); // creator
  DWord(rzx, 29 + 5);
  Append(rzx, TBytes(29, 0));
  rzx.push_back(0x30);
  DWord(rzx, uint32_t(packed.size() + 12 + 5));
  DWord(rzx, 2); // packed
  Append(rzx, Text("SNA"));
  rzx.push_back(0);
  DWord(rzx, uint32_t(sna.size()));
  Append(rzx, packed);
  ExpectScreen<TVeZxSpectrumRZXEngine>("play.rzx", rzx, screen, 13);
  // A claimed size the stream does not fill exactly is refused.
  TBytes wrong = rzx;
  const size_t sizeAt = 10 + 5 + 29 + 5 + 8;
  wrong[sizeAt] = uint8_t(wrong[sizeAt] + 1);
  ExpectNone<TVeZxSpectrumRZXEngine>("play.rzx", wrong);
}

TEST(ZxContainers, TruncationsAreNeverOffered) {
  // Every prefix of a good tape or snapshot is rejected or still decodes: nothing crashes.
  TBytes tape;
  TapBlock(tape, 255, Screen());
  for (size_t n = 0; n < tape.size(); n += 97) {
    TBytes cut(tape.begin(), tape.begin() + std::ptrdiff_t(n));
    TProbe p("t.tap", cut);
    for (int i = 0; i < p.List->Count(); ++i)
      EXPECT_NO_THROW(p.List->Engines(i)->CreateBitmap());
  }
}
