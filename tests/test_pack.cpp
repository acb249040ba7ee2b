// Packed exports: LZ4 blocks that liblz4 gives back, ZX0 streams in the format's bit order that
// the core's unpacker gives back, an unpacker that survives hostile streams, and includes
// that carry the right sizes.
#include <gtest/gtest.h>
#include <lz4.h>

#include <sstream>

#include "VeErrors.h"
#include "VeExport.h"
#include "VePack.h"
#include "VePlatforms.h"
#include "VeStream.h"
#include "test_cli.h"
#include "test_noise.h"

namespace {

std::vector<uint8_t> Zx0RoundTrip(const std::vector<uint8_t>& data) {
  std::vector<uint8_t> packed = VeZx0Pack(data.data(), data.size());
  return VeZx0Unpack(packed.data(), packed.size(), data.size());
}

std::vector<uint8_t> Lz4Unpack(const std::vector<uint8_t>& packed, size_t size) {
  std::vector<uint8_t> out(size + 1);
  int n =
      LZ4_decompress_safe(reinterpret_cast<const char*>(packed.data()),
                          reinterpret_cast<char*>(out.data()), int(packed.size()), int(out.size()));
  out.resize(n < 0 ? 0 : size_t(n));
  return out;
}

} // namespace

// Worked by hand from the format: a literal "a" (gamma 1 = "1"), a copy of 8 from the starting
// offset 1 ("0" + gamma 8 = "0000001"), a literal "b" ("0" + "1"), and the end marker ("1" and
// gamma 256 with its data bits inverted). Bits fill a byte from the top, and a byte of bits is
// placed where its first bit is written, before the literals that follow.
TEST(Zx0, HandWorkedStream) {
  const std::string text = "aaaaaaaaab";
  const std::vector<uint8_t> data(text.begin(), text.end());
  const std::vector<uint8_t> expected = {0x80, 0x61, 0xB5, 0x62, 0x55, 0x58};
  EXPECT_EQ(VeZx0Pack(data.data(), data.size()), expected);
  EXPECT_EQ(VeZx0Unpack(expected.data(), expected.size(), 100), data);
  // A new offset: "abcab" is literals "abc", then offset 3 (high part gamma 1, low byte
  // (127 - 2) << 1 = FAh whose lowest bit is the length's first gamma bit: length-1 = 1 sets
  // it), the end marker.
  const std::vector<uint8_t> abcab = {'a', 'b', 'c', 'a', 'b'};
  std::vector<uint8_t> packed = VeZx0Pack(abcab.data(), abcab.size());
  // "0 1 1" for gamma 3, then the selector "1", gamma 1 "1" (not inverted: 1 has no data bits).
  ASSERT_GE(packed.size(), 5u);
  EXPECT_EQ(packed[0] >> 3, 0b01111);
  EXPECT_EQ(std::vector<uint8_t>(packed.begin() + 1, packed.begin() + 4),
            std::vector<uint8_t>(abcab.begin(), abcab.begin() + 3));
  EXPECT_EQ(packed[4], 0xFB);
  EXPECT_EQ(Zx0RoundTrip(abcab), abcab);
}

TEST(Zx0, RoundTripsAndEdgeCases) {
  EXPECT_THROW(VeZx0Pack(nullptr, 0), EVeError);
  std::vector<std::vector<uint8_t>> cases = {
      {42},
      std::vector<uint8_t>(16384, 0),
      Noise(6912, 1), // incompressible
      Noise(3, 2),
  };
  // Long runs of several values, and repeats far back: past 128, and near the largest offset.
  std::vector<uint8_t> runs;
  for (int v = 0; v < 20; ++v)
    runs.insert(runs.end(), size_t(v * 97 % 700 + 1), uint8_t(v % 3));
  cases.push_back(runs);
  std::vector<uint8_t> far = Noise(300, 3);
  std::vector<uint8_t> filler = Noise(VeZx0MaxOffset - 300, 4);
  far.insert(far.end(), filler.begin(), filler.end());
  std::vector<uint8_t> head(far.begin(), far.begin() + 300);
  far.insert(far.end(), head.begin(), head.end()); // 300 bytes again at the largest offset
  cases.push_back(far);
  std::vector<uint8_t> mid = Noise(200, 5);
  mid.insert(mid.end(), mid.begin(), mid.begin() + 150); // offset 200
  cases.push_back(mid);
  for (const std::vector<uint8_t>& data : cases) {
    std::vector<uint8_t> packed = VeZx0Pack(data.data(), data.size());
    EXPECT_EQ(VeZx0Unpack(packed.data(), packed.size(), data.size()), data) << data.size();
    // Incompressible data grows by little.
    EXPECT_LE(packed.size(), data.size() + data.size() / 512 + 8);
  }
  // Zeros and the far repeat pack well: the parse found the long match and the far offset.
  std::vector<uint8_t> zeros = VeZx0Pack(cases[1].data(), cases[1].size());
  EXPECT_LT(zeros.size(), 16u);
  std::vector<uint8_t> farPacked = VeZx0Pack(far.data(), far.size());
  std::vector<uint8_t> noRepeat = VeZx0Pack(far.data(), far.size() - 300);
  EXPECT_LT(farPacked.size(), noRepeat.size() + 20);
}

TEST(Zx0, HostileStreamsAreRefused) {
  std::vector<uint8_t> data = Noise(2000, 9);
  data.insert(data.end(), data.begin(), data.begin() + 1500);
  std::vector<uint8_t> packed = VeZx0Pack(data.data(), data.size());
  // Every truncation fails in its own bounds (the copy is exact-sized, so a read past its end
  // shows under the sanitizers).
  for (size_t n = 0; n < packed.size(); ++n) {
    std::vector<uint8_t> cut(packed.begin(), packed.begin() + long(n));
    EXPECT_THROW(VeZx0Unpack(cut.data(), cut.size(), data.size()), EVeError) << n;
  }
  // More output than allowed, trailing bytes.
  EXPECT_THROW(VeZx0Unpack(packed.data(), packed.size(), data.size() - 1), EVeError);
  std::vector<uint8_t> longer = packed;
  longer.push_back(0);
  EXPECT_THROW(VeZx0Unpack(longer.data(), longer.size(), data.size()), EVeError);
  // An offset before the start: literal "a", then a copy of 2 from offset 2.
  const std::vector<uint8_t> before = {0xE0, 'a', 0xFD};
  EXPECT_THROW(VeZx0Unpack(before.data(), before.size(), 100), EVeError);
  // Garbage: whatever it is, it ends in a result within bounds or a refusal.
  for (unsigned seed = 0; seed < 2000; ++seed) {
    std::vector<uint8_t> junk = Noise(1 + seed % 64, seed);
    try {
      EXPECT_LE(VeZx0Unpack(junk.data(), junk.size(), 4096).size(), 4096u);
    } catch (const EVeError&) {
    }
  }
  // Endless zero bits: a gamma code that never stops is refused, not looped over.
  std::vector<uint8_t> zeros(64, 0);
  EXPECT_THROW(VeZx0Unpack(zeros.data(), zeros.size(), 1 << 20), EVeError);
}

TEST(Lz4, BlocksRoundTripThroughLiblz4) {
  for (const std::vector<uint8_t>& data :
       {std::vector<uint8_t>{7}, std::vector<uint8_t>(16384, 0), Noise(6912, 1)}) {
    std::vector<uint8_t> packed = VeLz4Pack(data.data(), data.size());
    EXPECT_EQ(Lz4Unpack(packed, data.size()), data);
    EXPECT_EQ(VeLz4Unpack(packed.data(), packed.size(), data.size()), data);
    EXPECT_THROW(VeLz4Unpack(packed.data(), packed.size() - 1, data.size()), EVeError);
  }
}

// Conversions of the photograph, in every packed form: each gives back the raw data (the file
// without its header), and the includes state both sizes.
TEST_F(CliTest, PackedExportsOfConvertedScreens) {
  struct TCase {
    std::vector<std::string> Mode;
    std::string Base, Native;
  };
  const TCase cases[] = {
      {{}, "zx", "zx.scr"},
      {{"-p", "MSX", "-m", "5 256x212x4"}, "msx", "msx.sc5"},
      {{"-p", "Amstrad CPC", "-m", "0 160x200x4"}, "cpc", "cpc.scr"},
      {{"-p", "MSX", "-m", "8 256x212x8"}, "msx8", "msx8.sc8"},
  };
  for (const TCase& c : cases) {
    std::vector<std::string> args = {"convert", Sample("astronaut.png"), "-o", "out/" + c.Base};
    args.insert(args.end(), c.Mode.begin(), c.Mode.end());
    for (const char* kind : {"raw", "lz4", "zx0"}) {
      args.push_back("--export");
      args.push_back(kind);
    }
    TRun r = Run(args);
    ASSERT_EQ(r.Status, 0) << r.Err;
    const fs::path out = Dir / "out";
    std::string id = VeIdentifierOf(c.Native);
    std::vector<uint8_t> raw = Bytes((out / (id + ".bin")).string());
    ASSERT_FALSE(raw.empty()) << c.Native;
    for (const char* kind : {"lz4", "zx0"}) {
      const std::string packedName = c.Native + "." + kind;
      EXPECT_NE(r.Out.find("out/" + packedName + "\n"), std::string::npos) << r.Out;
      std::vector<uint8_t> packed = Bytes((out / packedName).string());
      EXPECT_LT(packed.size(), raw.size()) << packedName;
      EXPECT_EQ(std::string(kind) == "lz4" ? Lz4Unpack(packed, raw.size())
                                           : VeZx0Unpack(packed.data(), packed.size(), raw.size()),
                raw)
          << packedName;
      const std::string pid = VeIdentifierOf(packedName);
      std::string header = ReadAll(out / (pid + ".h"));
      EXPECT_NE(
          header.find("const unsigned " + pid + "_size = " + std::to_string(packed.size()) + ";"),
          std::string::npos)
          << header.substr(0, 400);
      EXPECT_NE(header.find("const unsigned " + pid +
                            "_unpacked_size = " + std::to_string(raw.size()) + ";"),
                std::string::npos);
      EXPECT_NE(
          header.find("const unsigned char " + pid + "[" + std::to_string(packed.size()) + "] = {"),
          std::string::npos);
      std::string asmText = ReadAll(out / (pid + ".asm"));
      EXPECT_NE(asmText.find(pid + "_SIZE equ " + std::to_string(packed.size()) + "\n"),
                std::string::npos);
      EXPECT_NE(asmText.find(pid + "_UNPACKED_SIZE equ " + std::to_string(raw.size()) + "\n"),
                std::string::npos);
      EXPECT_NE(asmText.find("\n" + pid + ":\n"), std::string::npos);
      // The defb lines are the packed bytes.
      std::istringstream in(asmText);
      std::string line;
      std::vector<uint8_t> back;
      while (std::getline(in, line)) {
        if (line.rfind("    defb ", 0) != 0) continue;
        std::istringstream values(line.substr(9));
        std::string v;
        while (std::getline(values, v, ','))
          back.push_back(uint8_t(std::stoi(v.substr(1, 2), nullptr, 16)));
      }
      EXPECT_EQ(back, packed) << pid;
    }
  }
}
