#include "VeSavePlatformZxSpectrumShowTapes.h"

#include "VeDiskWriters.h"
#include "VeErrors.h"
#include "VeExport.h"
#include "VePlatformZxSpectrum.h"
#include "VeSavePlatformZxSpectrumTape.h"
#include "VeStream.h"

namespace {

constexpr uint8_t TokLoad = 0xEF, TokScreen = 0xAA, TokPause = 0xF2, TokCode = 0xAF,
                  TokClear = 0xFD, TokRandomize = 0xF9, TokUsr = 0xC0;
// Line numbers go up in tens and stop at 9999.
constexpr unsigned LastLine = 9999;

// A number in a BASIC line: its digits, then 0E and the 5-byte small-integer form.
void Number(std::vector<uint8_t>& line, unsigned value) {
  for (char c : std::to_string(value))
    line.push_back(uint8_t(c));
  line.insert(line.end(), {0x0E, 0, 0, uint8_t(value), uint8_t(value >> 8), 0});
}

void Line(std::vector<uint8_t>& program, unsigned number, std::vector<uint8_t> body) {
  body.push_back(0x0D);
  program.push_back(uint8_t(number >> 8)); // line numbers are big-endian
  program.push_back(uint8_t(number));
  ZxTapePut16(program, unsigned(body.size()));
  program.insert(program.end(), body.begin(), body.end());
}

void AddProgram(std::vector<uint8_t>& tape, const std::string& name,
                const std::vector<uint8_t>& program) {
  const unsigned length = unsigned(program.size());
  ZxTapeAddBlock(tape, 0x00, ZxTapeHeader(0, name, length, 10, length));
  ZxTapeAddBlock(tape, 0xFF, program);
}

void AddCode(std::vector<uint8_t>& tape, const std::string& name, const uint8_t* data, size_t size,
             unsigned at) {
  ZxTapeAddBlock(tape, 0x00, ZxTapeHeader(3, name, unsigned(size), at, 32768));
  ZxTapeAddBlock(tape, 0xFF, std::vector<uint8_t>(data, data + size));
}

// "name" with the screen's number, within the 10 characters of a tape name.
std::string Numbered(const std::string& name, size_t index) {
  const std::string n = std::to_string(index + 1);
  return name.substr(0, 9 - n.size()) + " " + n;
}

// The first file of each frame that test takes; EVeError names a frame without one.
std::vector<TVeZxScreenBytes> Pick(const std::vector<const TVeStreamList*>& frames,
                                   bool (*test)(const TVeStream&), const char* what) {
  std::vector<TVeZxScreenBytes> out;
  for (size_t f = 0; f < frames.size(); ++f) {
    const TVeStreamList* list = frames[f];
    for (int i = 0; list && i < list->Count(); ++i)
      if (test(*list->GetStream(i))) {
        out.push_back({list->GetStream(i)->Data(), list->GetStream(i)->Size()});
        break;
      }
    if (out.size() != f + 1)
      throw EVeError("Screen " + std::to_string(f + 1) + " has no " + what + " to put on tape");
  }
  return out;
}

bool PlainScreen(const TVeStream& s) {
  return s.HeaderSize == 0 && (s.Size() == 6144 || s.Size() == size_t(ZxScreenBytes));
}

bool TwoFrames(const TVeStream& s) {
  return s.HeaderSize == 0 && s.Size() == 2 * size_t(ZxScreenBytes) &&
         (s.Extension == "img" || s.Extension == "lce");
}

} // namespace

std::vector<uint8_t> ZxSpectrumSlideShowTape(const std::vector<TVeZxScreenBytes>& screens,
                                             const std::string& name) {
  if (screens.empty()) throw EVeError("A slide-show tape needs at least one screen");
  if (screens.size() * 10 > LastLine)
    throw EVeError("A slide-show tape holds at most " + std::to_string(LastLine / 10) +
                   " screens, not " + std::to_string(screens.size()));
  // n0 LOAD "" SCREEN$ : PAUSE 0, one line a screen; after the last key the program ends.
  std::vector<uint8_t> program;
  for (size_t i = 0; i < screens.size(); ++i) {
    if (screens[i].Size != 6144 && screens[i].Size != size_t(ZxScreenBytes)) VeInternalError();
    std::vector<uint8_t> body = {TokLoad, '"', '"', TokScreen, ':', TokPause};
    Number(body, 0);
    Line(program, unsigned(10 * (i + 1)), body);
  }
  std::vector<uint8_t> tape;
  AddProgram(tape, name, program);
  for (size_t i = 0; i < screens.size(); ++i)
    AddCode(tape, Numbered(name, i), screens[i].Data, screens[i].Size, 16384);
  return tape;
}

std::vector<uint8_t> ZxSpectrumTwoFrameViewer() {
  // Listed in docs/formats/zxspectrum.md, "Two-frame viewer tape".
  return {
      0xF3,             // 8000 di
      0x3A, 0x5C, 0x5B, // 8001 ld a,(5B5Ch)  ; BANKM, 128 BASIC's copy of port 7FFDh
      0xF5,             // 8004 push af
      0xE6, 0xF0,       // 8005 and 0F0h      ; bank 0..2 and screen bit 3 clear
      0xF6, 0x07,       // 8007 or 07h        ; bank 7 at C000h, bank 5 shown
      0x32, 0x5C, 0x5B, // 8009 ld (5B5Ch),a
      0x01, 0xFD, 0x7F, // 800C ld bc,7FFDh
      0xED, 0x79,       // 800F out (c),a
      0x21, 0x00, 0x81, // 8011 ld hl,8100h   ; the second screen as loaded
      0x11, 0x00, 0xC0, // 8014 ld de,0C000h
      0x01, 0x00, 0x1B, // 8017 ld bc,1B00h
      0xED, 0xB0,       // 801A ldir
      0x57,             // 801C ld d,a
      0xFB,             // 801D ei
      0xAF,             // 801E wait: xor a   ; every keyboard row
      0xDB, 0xFE,       // 801F in a,(0FEh)
      0x2F,             // 8021 cpl
      0xE6, 0x1F,       // 8022 and 1Fh
      0x20, 0xF8,       // 8024 jr nz,wait    ; until the keys are let go
      0x76,             // 8026 show: halt
      0x7A,             // 8027 ld a,d
      0xEE, 0x08,       // 8028 xor 08h       ; the other screen
      0x57,             // 802A ld d,a
      0x32, 0x5C, 0x5B, // 802B ld (5B5Ch),a
      0x01, 0xFD, 0x7F, // 802E ld bc,7FFDh
      0xED, 0x79,       // 8031 out (c),a
      0xAF,             // 8033 xor a
      0xDB, 0xFE,       // 8034 in a,(0FEh)
      0x2F,             // 8036 cpl
      0xE6, 0x1F,       // 8037 and 1Fh
      0x28, 0xEB,       // 8039 jr z,show
      0xF1,             // 803B pop af
      0x32, 0x5C, 0x5B, // 803C ld (5B5Ch),a
      0x01, 0xFD, 0x7F, // 803F ld bc,7FFDh
      0xED, 0x79,       // 8042 out (c),a
      0xC9,             // 8044 ret
  };
}

std::vector<uint8_t> ZxSpectrumTwoFrameTape(const std::vector<TVeZxScreenBytes>& pairs,
                                            const std::string& name) {
  if (pairs.empty()) throw EVeError("A viewer tape needs at least one picture");
  if ((pairs.size() + 1) * 10 > LastLine)
    throw EVeError("A viewer tape holds at most " + std::to_string(LastLine / 10 - 1) +
                   " pictures, not " + std::to_string(pairs.size()));
  // 10 CLEAR 32767 : LOAD "" CODE
  // n0 LOAD "" CODE : LOAD "" SCREEN$ : RANDOMIZE USR 32768, one line a picture.
  // The second screen comes first: the "Bytes:" line LOAD prints lands on the screen that
  // SCREEN$ then overwrites.
  std::vector<uint8_t> program, first = {TokClear};
  Number(first, ZxViewerAt - 1);
  first.insert(first.end(), {':', TokLoad, '"', '"', TokCode});
  Line(program, 10, first);
  for (size_t i = 0; i < pairs.size(); ++i) {
    if (pairs[i].Size != 2 * size_t(ZxScreenBytes)) VeInternalError();
    std::vector<uint8_t> body = {TokLoad, '"', '"',       TokCode, ':',          TokLoad,
                                 '"',     '"', TokScreen, ':',     TokRandomize, TokUsr};
    Number(body, ZxViewerAt);
    Line(program, unsigned(10 * (i + 2)), body);
  }
  std::vector<uint8_t> tape;
  AddProgram(tape, name, program);
  const std::vector<uint8_t> viewer = ZxSpectrumTwoFrameViewer();
  AddCode(tape, "viewer", viewer.data(), viewer.size(), ZxViewerAt);
  for (size_t i = 0; i < pairs.size(); ++i) {
    const std::string n = Numbered(name, i);
    AddCode(tape, n, pairs[i].Data + ZxScreenBytes, ZxScreenBytes, ZxViewerSecondAt);
    AddCode(tape, n, pairs[i].Data, ZxScreenBytes, 16384);
  }
  return tape;
}

void RegisterZxSpectrumShowTapeExports() {
  TVeExporter show;
  show.Kind = "tap-show";
  show.Caption = "Slide-show tape";
  show.Extension = "tap";
  show.WholeName = true;
  show.Accepts = PlainScreen;
  show.WriteAll = [](const std::vector<const TVeStreamList*>& frames, const std::string& name,
                     const std::string&) {
    return ZxSpectrumSlideShowTape(Pick(frames, PlainScreen, "ZX Spectrum screen"), name);
  };
  VeRegisterExporter(std::move(show));

  TVeExporter giga;
  giga.Kind = "tap-giga";
  giga.Caption = "Two-frame viewer tape (128K)";
  giga.Extension = "tap";
  giga.WholeName = true;
  giga.Accepts = TwoFrames;
  giga.WriteAll = [](const std::vector<const TVeStreamList*>& frames, const std::string& name,
                     const std::string&) {
    return ZxSpectrumTwoFrameTape(Pick(frames, TwoFrames, "two-frame screen (.img, .lce)"), name);
  };
  VeRegisterExporter(std::move(giga));
}
