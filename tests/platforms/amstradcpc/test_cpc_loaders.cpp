// CPC loaders: which files they take and how sure they are, the companion files, and files
// that lie about themselves.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "test_cpc_support.h"

using namespace cpctest;

namespace {

TBytes BytesOf(const TVeStream& s) {
  return s.Bytes();
}

// A folder holding the stream as "pic.<ext>" and its companion files, some left out or
// replaced.
std::unique_ptr<TFolder> FolderOf(const TVeStream& s, const std::string& name,
                                  const std::map<std::string, TBytes>& replace = {},
                                  const std::set<std::string>& leave = {}) {
  TBytes main = s.Bytes();
  if (replace.count(s.Extension)) main = replace.at(s.Extension);
  auto folder = std::make_unique<TFolder>(name, main);
  const std::string stem = name.substr(0, name.rfind('.'));
  for (int i = 0; i < s.SubCount(); ++i) {
    const TVeStream* sub = s.GetSubStream(i);
    if (leave.count(sub->Extension)) continue;
    folder->Add(stem + "." + sub->Extension,
                replace.count(sub->Extension) ? replace.at(sub->Extension) : sub->Bytes());
  }
  return folder;
}

void Rechecksum(TBytes& f) {
  const uint16_t sum = CpcHeaderChecksum(f.data());
  f[67] = uint8_t(sum);
  f[68] = uint8_t(sum >> 8);
}

const TRun& Mode1() {
  static const TRun r = ConvertMode(CpcModeInfo(2));
  return r;
}

} // namespace

TEST(CpcLoaders, StandardScreensByModeAndName) {
  const TVeStream& scr = Mode1().File("scr");
  auto withPal = FolderOf(scr, "pic.scr");
  EXPECT_EQ(PriorityOf<TVeAmstradCPCMode1SourceEngine>(*withPal), 13);
  // The mode byte at 17D0 (or the .pal) keeps the other modes' loaders out.
  EXPECT_EQ(PriorityOf<TVeAmstradCPCMode0SourceEngine>(*withPal), 0);
  EXPECT_EQ(PriorityOf<TVeAmstradCPCMode2SourceEngine>(*withPal), 0);
  auto alone = FolderOf(scr, "PIC.BIN", {}, {"pal"});
  EXPECT_EQ(PriorityOf<TVeAmstradCPCMode1SourceEngine>(*alone), 9);
  EXPECT_EQ(PriorityOf<TVeAmstradCPCMode0SourceEngine>(*alone), 0);
  // A .pal saying mode 0 wins over the mode byte.
  TBytes pal = scr.GetSubStream(0)->Bytes();
  pal[128] = 0;
  auto palMode0 = FolderOf(scr, "pic.scr", {{"pal", pal}});
  EXPECT_EQ(PriorityOf<TVeAmstradCPCMode0SourceEngine>(*palMode0), 13);
  EXPECT_EQ(PriorityOf<TVeAmstradCPCMode1SourceEngine>(*palMode0), 0);
  // A file without its last 48 bytes is still a screen.
  TBytes shorter = BytesOf(scr);
  shorter.resize(16464);
  for (int at : {19, 24, 64}) {
    shorter[size_t(at)] = uint8_t(16336 & 0xFF);
    shorter[size_t(at + 1)] = uint8_t(16336 >> 8);
  }
  Rechecksum(shorter);
  TFolder shortFolder("pic.scr", shorter);
  EXPECT_EQ(PriorityOf<TVeAmstradCPCMode1SourceEngine>(shortFolder), 13);
}

TEST(CpcLoaders, HeadersThatLieAreRefused) {
  const TBytes good = BytesOf(Mode1().File("scr"));
  // A wrong checksum: no header, so no CPC screen.
  TBytes bad = good;
  bad[67] ^= 1;
  TFolder badSum("pic.scr", bad);
  auto list = ProbeAll(badSum);
  for (int i = 0; i < list->Count(); ++i)
    EXPECT_EQ(list->Engines(i)->Description.find("Amstrad"), std::string::npos)
        << list->Engines(i)->Description;
  // Lengths past the end of the file, with a checksum to match.
  TBytes longer = good;
  longer[20] = 0x41;
  Rechecksum(longer);
  TFolder pastEnd("pic.scr", longer);
  EXPECT_EQ(PriorityOf<TVeAmstradCPCMode1SourceEngine>(pastEnd), 0);
  // Another load address or entry.
  TBytes moved = good;
  moved[22] = 0x40;
  Rechecksum(moved);
  TFolder elsewhere("pic.scr", moved);
  EXPECT_EQ(PriorityOf<TVeAmstradCPCMode1SourceEngine>(elsewhere), 0);
  // Byte 66, the top of the real length.
  TBytes huge = good;
  huge[66] = 1;
  Rechecksum(huge);
  TFolder tooBig("pic.scr", huge);
  EXPECT_EQ(PriorityOf<TVeAmstradCPCMode1SourceEngine>(tooBig), 0);
}

TEST(CpcLoaders, PalFileOfTheWrongSizeIsIgnored) {
  const TVeStream& scr = Mode1().File("scr");
  TBytes pal = scr.GetSubStream(0)->Bytes();
  pal.resize(300);
  auto folder = FolderOf(scr, "pic.scr", {{"pal", pal}});
  auto list = ProbeAll(*folder);
  auto* e = msxtest::Loader<TVeAmstradCPCMode1SourceEngine>(*list);
  ASSERT_TRUE(e);
  EXPECT_NE(e->Description.find("(palette file ignored)"), std::string::npos);
  // The inks in the file give the same picture.
  auto bmp = e->CreateBitmap();
  EXPECT_TRUE(*bmp->ToBitmap32() == *Mode1().Result->ToBitmap32());
}

TEST(CpcLoaders, OverscanNeedsAPalette) {
  const TRun r = ConvertMode(CpcModeInfo(3));
  const TVeStream& scr = r.File("scr");
  auto whole = FolderOf(scr, "pic.scr");
  EXPECT_EQ(PriorityOf<TVeAmstradCPCOverscanSourceEngine>(*whole), 13);
  auto alone = FolderOf(scr, "pic.bin", {}, {"pal"});
  EXPECT_EQ(PriorityOf<TVeAmstradCPCOverscanSourceEngine>(*alone), 9);
  // No palette flag and no companion: nothing to show it with.
  TBytes noFlag = BytesOf(scr);
  noFlag[128 + CpcOverscanPlusAt] = 7;
  auto lost = FolderOf(scr, "pic.scr", {{"scr", noFlag}}, {"pal"});
  EXPECT_EQ(PriorityOf<TVeAmstradCPCOverscanSourceEngine>(*lost), 0);
  // ... but a .pal beside it gives mode and inks.
  auto saved = FolderOf(scr, "pic.scr", {{"scr", noFlag}});
  EXPECT_EQ(PriorityOf<TVeAmstradCPCOverscanSourceEngine>(*saved), 13);
  // A mode token that is no digit 0-2 and no .pal: the mode is unknown.
  TBytes noMode = BytesOf(scr);
  noMode[128 + CpcOverscanModeAt] = 0x20;
  auto unknown = FolderOf(scr, "pic.scr", {{"scr", noMode}}, {"pal"});
  EXPECT_EQ(PriorityOf<TVeAmstradCPCOverscanSourceEngine>(*unknown), 0);
  // A .kit gives the Plus colours, and a damaged one is ignored.
  const TRun plus = ConvertMode(CpcModeInfo(3), [](auto& o) { o.SetPaletteType(ptCPCPlus); });
  TBytes kit = plus.File("scr").GetSubStream(1)->Bytes();
  kit[67] ^= 1;
  auto damaged = FolderOf(plus.File("scr"), "pic.scr", {{"kit", kit}});
  auto list = ProbeAll(*damaged);
  auto* e = msxtest::Loader<TVeAmstradCPCOverscanSourceEngine>(*list);
  ASSERT_TRUE(e);
  EXPECT_NE(e->Description.find("(palette file ignored)"), std::string::npos);
}

TEST(CpcLoaders, HgbWithAndWithoutHeader) {
  const TRun plain = ConvertMode(CpcModeInfo(6));
  TFolder hgb("pic.hgb", plain.File("hgb").Bytes());
  EXPECT_EQ(PriorityOf<TVeAmstradCPCHgbSourceEngine>(hgb), 5);
  TFolder bin("pic.bin", plain.File("hgb").Bytes());
  EXPECT_EQ(PriorityOf<TVeAmstradCPCHgbSourceEngine>(bin), 1);
  const TRun header = ConvertMode(CpcModeInfo(6), [](auto& o) { o.SetFileFormatFlag(true); });
  TFolder hgb2("pic.hgb", header.File("hgb").Bytes());
  EXPECT_EQ(PriorityOf<TVeAmstradCPCHgbSourceEngine>(hgb2), 13);
  TFolder bin2("pic.bin", header.File("hgb").Bytes());
  EXPECT_EQ(PriorityOf<TVeAmstradCPCHgbSourceEngine>(bin2), 9);
  TBytes broken = header.File("hgb").Bytes();
  broken[67] ^= 1;
  TFolder hgb3("pic.hgb", broken);
  EXPECT_EQ(PriorityOf<TVeAmstradCPCHgbSourceEngine>(hgb3), 0);
}

TEST(CpcLoaders, ModeRNeedsBothFrames) {
  const TRun r = ConvertMode(CpcModeInfo(7));
  const TVeStream& pph = r.File("pph");
  auto whole = FolderOf(pph, "pic.pph");
  EXPECT_EQ(PriorityOf<TVeAmstradCPCModeRSourceEngine>(*whole), 13);
  auto other = FolderOf(pph, "pic.dat");
  EXPECT_EQ(PriorityOf<TVeAmstradCPCModeRSourceEngine>(*other), 9);
  // Without a usable frame the header is still taken by its extension alone, so that
  // opening it names the frame file at fault rather than "Unknown image type".
  auto opening = [](TVeLoadSource& source) {
    auto list = ProbeAll(source);
    auto* e = msxtest::Loader<TVeAmstradCPCModeRSourceEngine>(*list);
    if (!e) return std::string("not taken");
    try {
      e->CreateBitmap();
    } catch (const EVeError& error) {
      return std::string(error.what());
    }
    return std::string("opened");
  };
  auto noOdd = FolderOf(pph, "pic.pph", {}, {"odd"});
  EXPECT_EQ(PriorityOf<TVeAmstradCPCModeRSourceEngine>(*noOdd), 4);
  EXPECT_EQ(opening(*noOdd), "The ModeR frame file pic.odd is missing");
  auto noOddOtherName = FolderOf(pph, "pic.dat", {}, {"odd"});
  EXPECT_EQ(PriorityOf<TVeAmstradCPCModeRSourceEngine>(*noOddOtherName), 0);
  TBytes shortEve = pph.GetSubStream(0)->Bytes();
  shortEve.resize(shortEve.size() - 1);
  auto cut = FolderOf(pph, "pic.pph", {{"eve", shortEve}});
  EXPECT_EQ(PriorityOf<TVeAmstradCPCModeRSourceEngine>(*cut), 4);
  EXPECT_EQ(opening(*cut), "The ModeR frame file pic.eve is not a frame of this picture");
  // Width and height out of range, with the checksum to match.
  for (auto change :
       std::vector<std::pair<int, int>>{{1, 0x7F}, {2, 0x02}, {3, 0}, {4, 0x02}, {5, 0}, {0, 5}}) {
    TBytes f = pph.Bytes();
    f[size_t(128 + change.first)] = uint8_t(change.second);
    if (change.first == 3) f[128 + 4] = 0;
    Rechecksum(f);
    auto bad = FolderOf(pph, "pic.pph", {{"pph", f}});
    EXPECT_EQ(PriorityOf<TVeAmstradCPCModeRSourceEngine>(*bad), 0) << change.first;
  }
  // Pen numbers past 26 read as black rather than past a table.
  TBytes pens = pph.Bytes();
  for (int i = 0; i < 16; ++i)
    pens[size_t(134 + i)] = 0xFF;
  Rechecksum(pens);
  auto odd = FolderOf(pph, "pic.pph", {{"pph", pens}});
  auto list = ProbeAll(*odd);
  auto* e = msxtest::Loader<TVeAmstradCPCModeRSourceEngine>(*list);
  ASSERT_TRUE(e);
  auto bmp = e->CreateBitmap();
  ASSERT_TRUE(bmp->Frames());
  EXPECT_EQ(bmp->Frames()->Count(), 2);
}

TEST(CpcLoaders, DamagedFilesNeverCrash) {
  // Every written file, with bytes changed at random (and the checksum made right half of
  // the time), probed and decoded by every loader that takes it.
  std::vector<TRun> runs;
  for (int k : {0, 1, 2, 6, 7, 8})
    runs.push_back(ConvertMode(CpcModeInfo(k), [](auto& o) { o.SetFileFormatFlag(true); }));
  std::mt19937 rng(7);
  for (const TRun& r : runs)
    for (int i = 0; i < r.Files->Count(); ++i) {
      const TVeStream& s = *r.Files->GetStream(i);
      for (int round = 0; round < 30; ++round) {
        std::map<std::string, TBytes> replace;
        TBytes f = s.Bytes();
        for (int k = 0; k < 6; ++k)
          f[rng() % std::min<size_t>(f.size(), 200)] = uint8_t(rng());
        if (round % 2) Rechecksum(f);
        replace[s.Extension] = f;
        if (s.SubCount() && round % 3 == 0) {
          TBytes sub = s.GetSubStream(0)->Bytes();
          sub.resize(rng() % (sub.size() + 1));
          replace[s.GetSubStream(0)->Extension] = sub;
        }
        auto folder = FolderOf(s, "pic." + s.Extension, replace);
        auto list = ProbeAll(*folder);
        for (int e = 0; e < list->Count(); ++e) {
          try {
            auto bmp = list->Engines(e)->CreateBitmap();
            if (bmp) {
              EXPECT_GT(bmp->Width(), 0);
            }
          } catch (const std::exception&) {
          }
        }
      }
    }
}
