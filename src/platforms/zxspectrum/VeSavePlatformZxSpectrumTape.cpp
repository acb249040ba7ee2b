#include "VeSavePlatformZxSpectrumTape.h"

#include "VeErrors.h"
#include "VeExport.h"
#include "VeSaveResult.h"
#include "VeStream.h"

namespace {
constexpr uint8_t TokLoad = 0xEF, TokScreen = 0xAA, TokPause = 0xF2;
} // namespace

// One block of the tape: its length, the flag byte, the data and the XOR of flag and data.
void ZxTapeAddBlock(std::vector<uint8_t>& tape, uint8_t flag, const std::vector<uint8_t>& data) {
  const size_t length = data.size() + 2;
  tape.push_back(uint8_t(length));
  tape.push_back(uint8_t(length >> 8));
  tape.push_back(flag);
  uint8_t sum = flag;
  for (uint8_t b : data) {
    tape.push_back(b);
    sum ^= b;
  }
  tape.push_back(sum);
}

void ZxTapePut16(std::vector<uint8_t>& v, unsigned value) {
  v.push_back(uint8_t(value));
  v.push_back(uint8_t(value >> 8));
}

std::vector<uint8_t> ZxTapeHeader(uint8_t type, const std::string& name, unsigned length,
                                  unsigned param1, unsigned param2) {
  std::vector<uint8_t> h;
  h.push_back(type);
  for (size_t i = 0; i < 10; ++i) {
    char c = i < name.size() ? name[i] : ' ';
    h.push_back(uint8_t(c >= 32 && c < 127 ? c : '_'));
  }
  ZxTapePut16(h, length);
  ZxTapePut16(h, param1);
  ZxTapePut16(h, param2);
  return h;
}

std::vector<uint8_t> ZxSpectrumScreenTape(const uint8_t* screen, size_t size,
                                          const std::string& name) {
  if (size != 6144 && size != 6912) VeInternalError();
  // 10 LOAD "" SCREEN$ : PAUSE 0 (a number is its digits and then its 5-byte form).
  std::vector<uint8_t> line = {TokLoad, '"', '"', TokScreen, ':', TokPause, '0',
                               0x0E,    0,   0,   0,         0,   0,        0x0D};
  std::vector<uint8_t> program = {0x00, 0x0A};
  ZxTapePut16(program, unsigned(line.size()));
  program.insert(program.end(), line.begin(), line.end());

  std::vector<uint8_t> tape;
  const unsigned length = unsigned(program.size());
  ZxTapeAddBlock(tape, 0x00, ZxTapeHeader(0, name, length, 10, length));
  ZxTapeAddBlock(tape, 0xFF, program);
  ZxTapeAddBlock(tape, 0x00, ZxTapeHeader(3, name, unsigned(size), 16384, 32768));
  ZxTapeAddBlock(tape, 0xFF, std::vector<uint8_t>(screen, screen + size));
  return tape;
}

void RegisterZxSpectrumTapeExport() {
  TVeExporter tap;
  tap.Kind = "tap";
  tap.Caption = "ZX Spectrum tape";
  tap.Extension = "tap";
  tap.WholeName = true;
  tap.Accepts = [](const TVeStream& s) {
    return s.HeaderSize == 0 && (s.Size() == 6144 || s.Size() == 6912);
  };
  tap.Write = [](const TVeStream& s, const std::string&, const std::string&,
                 const std::string& file) {
    return ZxSpectrumScreenTape(s.Data(), s.Size(), VeChangeFileExt(file, ""));
  };
  VeRegisterExporter(std::move(tap));
}
