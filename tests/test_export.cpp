// Exports: C and assembler includes give back the same bytes, raw data leaves the file header
// out, and a ZX tape is one the machine loads.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>

#include "VeBitmap.h"
#include "VeExport.h"
#include "VeLoadSource.h"
#include "VeOutputSet.h"
#include "VePlatforms.h"
#include "VeStream.h"
#include "test_cli.h"
#include "test_noise.h"
#include "zxspectrum/VeOpenPlatformZxSpectrum.h"
#include "zxspectrum/VeOpenPlatformZxSpectrumContainers.h"
#include "zxspectrum/VeSavePlatformZxSpectrumTape.h"

namespace {

std::string AsText(const std::vector<uint8_t>& v) {
  return std::string(v.begin(), v.end());
}

const TVeExporter& Exporter(const char* kind) {
  VeRegisterPlatforms(); // the platforms add their exporters as they register
  const TVeExporter* e = VeFindExporter(kind);
  if (!e) throw std::runtime_error(std::string("no exporter ") + kind);
  return *e;
}

} // namespace

TEST(Export, CHeaderCompilesBackToTheSameBytes) {
  TVeStream s("scr");
  s.Bytes() = Noise(6912, 7);
  std::string header =
      AsText(Exporter("c").Write(s, "astro_scr", "ZX Spectrum 256x192x4", "astro.scr"));
  EXPECT_NE(header.find("#define astro_scr_SIZE 6912"), std::string::npos);
  EXPECT_NE(header.find("const unsigned char astro_scr[6912] = {"), std::string::npos);
  EXPECT_EQ(VeIdentifierOf("8-bit pic.scr"), "_8_bit_pic_scr");

  if (std::system("command -v cc >/dev/null 2>&1") != 0) GTEST_SKIP() << "no C compiler";
  fs::path dir = fs::temp_directory_path() / ("velmora-export-" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "astro_scr.h") << header;
  std::ofstream(dir / "main.c") << "#include <stdio.h>\n#include \"astro_scr.h\"\n"
                                   "int main(void) { return fwrite(astro_scr, 1, astro_scr_SIZE,"
                                   " stdout) != sizeof astro_scr; }\n";
  std::string cmd =
      "cd '" + dir.string() + "' && cc -std=c99 -Wall -Werror -o main main.c && ./main > out.bin";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::ifstream out(dir / "out.bin", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(out)), {});
  EXPECT_EQ(bytes, AsText(s.Bytes()));
  fs::remove_all(dir);
}

TEST(Export, AssemblerLinesAndRawData) {
  TVeStream s("mg8");
  s.Bytes() = Noise(100, 3);
  s.HeaderSize = 7;
  std::string text = AsText(Exporter("asm").Write(s, "pic_mg8", "ZX Spectrum Giga", "pic.mg8"));
  // Every data line is "defb" and up to 16 "0XXh" values; read back they are the file.
  std::istringstream in(text);
  std::string line;
  std::vector<uint8_t> back;
  bool label = false, size = false;
  while (std::getline(in, line)) {
    label = label || line == "pic_mg8:";
    size = size || line == "pic_mg8_SIZE equ 100";
    if (line.rfind("    defb ", 0) != 0) continue;
    std::istringstream values(line.substr(9));
    std::string v;
    int count = 0;
    while (std::getline(values, v, ',')) {
      ASSERT_EQ(v.size(), 4u) << v;
      EXPECT_EQ(v[0], '0');
      EXPECT_EQ(v[3], 'h');
      back.push_back(uint8_t(std::stoi(v.substr(1, 2), nullptr, 16)));
      ++count;
    }
    EXPECT_LE(count, 16);
  }
  EXPECT_TRUE(label && size) << text.substr(0, 200);
  EXPECT_EQ(back, s.Bytes());
  // Raw data is the file without its header.
  std::vector<uint8_t> raw = Exporter("raw").Write(s, "pic_mg8", "", "pic.mg8");
  EXPECT_EQ(raw, std::vector<uint8_t>(s.Bytes().begin() + 7, s.Bytes().end()));
}

TEST(Export, ZxTapeLoadsTheScreen) {
  const std::vector<uint8_t> screen = Noise(6912, 11);
  std::vector<uint8_t> tap = ZxSpectrumScreenTape(screen.data(), screen.size(), "astronaut pic");
  // Four blocks: program header, program, code header, code; each with its XOR checksum.
  size_t at = 0;
  std::vector<std::vector<uint8_t>> blocks;
  while (at + 2 <= tap.size()) {
    size_t len = tap[at] | tap[at + 1] << 8;
    ASSERT_LE(at + 2 + len, tap.size());
    std::vector<uint8_t> b(tap.begin() + long(at) + 2, tap.begin() + long(at + 2 + len));
    uint8_t x = 0;
    for (uint8_t v : b)
      x ^= v;
    EXPECT_EQ(x, 0) << "checksum of block " << blocks.size();
    blocks.push_back(b);
    at += 2 + len;
  }
  EXPECT_EQ(at, tap.size());
  ASSERT_EQ(blocks.size(), 4u);
  const std::vector<uint8_t>& ph = blocks[0];
  ASSERT_EQ(ph.size(), 19u);
  EXPECT_EQ(ph[0], 0x00); // header flag
  EXPECT_EQ(ph[1], 0);    // program
  EXPECT_EQ(std::string(ph.begin() + 2, ph.begin() + 12), "astronaut ");
  // 10 LOAD "" SCREEN$ : PAUSE 0, auto-started at line 10.
  const std::vector<uint8_t> program = {0x00, 0x0A, 14,   0x00, 0xEF, 0x22, 0x22, 0xAA, 0x3A,
                                        0xF2, 0x30, 0x0E, 0,    0,    0,    0,    0,    0x0D};
  EXPECT_EQ(std::vector<uint8_t>(blocks[1].begin() + 1, blocks[1].end() - 1), program);
  EXPECT_EQ(blocks[1][0], 0xFF);
  EXPECT_EQ(ph[12] | ph[13] << 8, int(program.size()));
  EXPECT_EQ(ph[14] | ph[15] << 8, 10);
  EXPECT_EQ(ph[16] | ph[17] << 8, int(program.size()));
  const std::vector<uint8_t>& ch = blocks[2];
  EXPECT_EQ(ch[1], 3); // code
  EXPECT_EQ(ch[12] | ch[13] << 8, 6912);
  EXPECT_EQ(ch[14] | ch[15] << 8, 16384);
  EXPECT_EQ(std::vector<uint8_t>(blocks[3].begin() + 1, blocks[3].end() - 1), screen);

  // Velmora's own tape loader finds exactly the screen.
  RegisterZxSpectrumLoaders();
  TVeMemoryLoadSource tape("astro.tap", int32_t(tap.size()), tap.data());
  TVeMemoryLoadSource plain("astro.scr", int32_t(screen.size()), screen.data());
  TVeZxSpectrumTAPEngine fromTape(&tape);
  std::unique_ptr<TVeSourceEngineList> engines = ProbeSource(&tape);
  TVeSourceEngine* found = nullptr;
  for (int i = 0; i < engines->Count(); ++i)
    if (dynamic_cast<TVeZxSpectrumTAPEngine*>(engines->Engines(i))) found = engines->Engines(i);
  ASSERT_TRUE(found);
  TVeZxSpectrumColorEngine fromScreen(&plain);
  EXPECT_TRUE(*found->CreateBitmap()->ToBitmap32() == *fromScreen.CreateBitmap()->ToBitmap32());
}

TEST_F(CliTest, ExportsJoinTheConversionsFiles) {
  TRun r = Run({"convert", Sample("astronaut.png"), "-o", "out/astro", "--export", "c", "--export",
                "asm", "--export", "raw", "--export", "tap"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "out/astro.scr\nout/astro_scr.h\nout/astro_scr.asm\nout/astro_scr.bin\n"
                   "out/astro.tap\n");
  EXPECT_EQ(ReadAll(Dir / "out" / "astro_scr.bin"), ReadAll(Dir / "out" / "astro.scr"));
  // A kind that no file of the mode takes, and an unknown kind.
  r = Run(
      {"convert", Sample("astronaut.png"), "-m", "256x192x4 Giga", "-o", "g", "--export", "tap"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_FALSE(fs::exists(Dir / "g.img")) << "nothing of a failed conversion is written";
  r = Run({"convert", Sample("astronaut.png"), "--export", "basic"});
  EXPECT_EQ(r.Status, 2);
  // The platforms' kinds follow in the order the platforms register.
  EXPECT_NE(r.Err.find("(c, asm, raw, lz4, zx0, "), std::string::npos) << r.Err;
  for (const char* kind : {" tap,", " tap-show,", " dsk,"})
    EXPECT_NE(r.Err.find(kind), std::string::npos) << kind << r.Err;
}

// The tape as the emulator's own tape tool reads it (fuse-emulator-utils), when installed.
TEST_F(CliTest, ZxTapeReadsInTzxlist) {
  if (std::system("command -v tzxlist >/dev/null 2>&1") != 0) GTEST_SKIP() << "no tzxlist";
  TRun r = Run({"convert", Sample("astronaut.png"), "-o", "astro", "--export", "tap"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  FILE* p = popen(("tzxlist " + Quote((Dir / "astro.tap").string()) + " 2>&1").c_str(), "r");
  ASSERT_TRUE(p);
  std::string listing;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
    listing.append(buf, n);
  EXPECT_EQ(pclose(p), 0) << listing;
  size_t passes = 0;
  for (size_t at = 0; (at = listing.find("(PASS)", at)) != std::string::npos; ++at)
    ++passes;
  EXPECT_EQ(passes, 4u) << listing;
  EXPECT_EQ(listing.find("FAIL"), std::string::npos) << listing;
  EXPECT_NE(listing.find("Program: \"astro     \" LINE 10"), std::string::npos) << listing;
  EXPECT_NE(listing.find("SCREEN$  16384, 6912"), std::string::npos) << listing;
}
