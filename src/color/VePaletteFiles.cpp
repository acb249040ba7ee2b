#include "VePaletteFiles.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <istream>
#include <optional>

#include "VeErrors.h"
#include "VeLoadSource.h"
#include "VePaletteList.h"
#include "VePictureCodecs.h"
#include "VeSource.h"

namespace {

[[noreturn]] void InvalidPalette() {
  throw EVeError("Invalid palette");
}
[[noreturn]] void ReadError() {
  throw EVeError("Stream read error");
}

constexpr size_t MaxLine = 1600;

// CR and LF end a line; runs of them are one separator; the end of the stream ends the last
// line. No line means the stream is used up.
std::optional<std::string> ReadLine(std::istream& s) {
  std::string line;
  for (;;) {
    const int c = s.get();
    if (c == std::char_traits<char>::eof()) {
      s.clear(s.rdstate() & ~(std::ios::failbit | std::ios::eofbit));
      if (line.empty()) return std::nullopt;
      return line;
    }
    if (c == '\r' || c == '\n') {
      if (line.empty()) continue;
      return line;
    }
    if (line.size() >= MaxLine) InvalidPalette();
    line.push_back(char(c));
  }
}

std::string TrimRight(const std::string& s) {
  size_t e = s.size();
  while (e > 0 && static_cast<unsigned char>(s[e - 1]) <= ' ')
    --e;
  return s.substr(0, e);
}

std::string Trim(const std::string& s) {
  size_t b = 0;
  while (b < s.size() && static_cast<unsigned char>(s[b]) <= ' ')
    ++b;
  return TrimRight(s.substr(b));
}

// A base-10 number in [lo, hi]; anything else is an invalid palette.
int Number(const std::string& text, int lo, int hi) {
  if (text.empty() || text.size() > 9) InvalidPalette();
  int v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') InvalidPalette();
    v = v * 10 + (c - '0');
  }
  if (v < lo || v > hi) InvalidPalette();
  return v;
}

// Text up to the first of the given separators; the rest (after it) goes to rest.
std::string Before(const std::string& s, const char* separators, std::string& rest) {
  const size_t p = s.find_first_of(separators);
  if (p == std::string::npos) {
    rest.clear();
    return s;
  }
  rest = s.substr(p + 1);
  return s.substr(0, p);
}

struct TRGB {
  int R, G, B;
};

// JASC "red green blue": split at spaces, each rest trimmed.
TRGB JascColorLine(const std::string& line) {
  std::string rest;
  const std::string red = Before(Trim(line), " ", rest);
  const std::string green = Before(Trim(rest), " ", rest);
  return {Number(red, 0, 255), Number(green, 0, 255), Number(Trim(rest), 0, 255)};
}

// Keeps the update bracket balanced when a reader fails half-way.
struct TUpdate {
  TVePalette256& P;
  explicit TUpdate(TVePalette256& p) : P(p) { P.BeginUpdate(); }
  ~TUpdate() { P.EndUpdate(); }
};

void ReadJasc(TVePalette256& palette, std::istream& s) {
  auto l1 = ReadLine(s);
  if (!l1 || TrimRight(*l1) != "JASC-PAL") InvalidPalette();
  auto l2 = ReadLine(s);
  if (!l2 || Trim(*l2) != "0100") InvalidPalette();
  auto l3 = ReadLine(s);
  if (!l3) InvalidPalette();
  const int n = Number(Trim(*l3), 1, 256);
  TUpdate update(palette);
  palette.Clear();
  for (int i = 0; i < n; ++i) {
    auto line = ReadLine(s);
    if (!line) InvalidPalette();
    const TRGB c = JascColorLine(*line);
    palette.AddRGB(uint8_t(c.R), uint8_t(c.G), uint8_t(c.B));
  }
}

// "red green blue [name]", the fields separated by any run of spaces and tabs.
TRGB GimpColorLine(const std::string& line) {
  int v[3];
  size_t p = 0;
  for (int& c : v) {
    p = line.find_first_not_of(" \t", p);
    if (p == std::string::npos) InvalidPalette();
    const size_t e = line.find_first_of(" \t", p);
    c = Number(line.substr(p, e == std::string::npos ? std::string::npos : e - p), 0, 255);
    p = e;
  }
  return {v[0], v[1], v[2]};
}

bool StartsWith(const std::string& s, const char* prefix) {
  return s.compare(0, std::strlen(prefix), prefix) == 0;
}

// As GIMP writes and reads them: the signature line, optional "Name:" and "Columns:" lines
// before the colours, "#" comments and blank lines anywhere.
void ReadGimp(TVePalette256& palette, std::istream& s) {
  auto l1 = ReadLine(s);
  if (!l1 || TrimRight(*l1) != "GIMP Palette") InvalidPalette();
  TUpdate update(palette);
  palette.Clear();
  bool header = true;
  while (auto line = ReadLine(s)) {
    const std::string text = Trim(*line);
    if (text.empty() || text[0] == '#') continue;
    if (header && (StartsWith(text, "Name:") || StartsWith(text, "Columns:"))) continue;
    header = false;
    const TRGB c = GimpColorLine(text);
    palette.AddUnique(uint8_t(c.R), uint8_t(c.G), uint8_t(c.B));
  }
  if (palette.Count() == 0) InvalidPalette();
}

uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void ReadExact(std::istream& s, void* buffer, size_t n) {
  if (n && !s.read(static_cast<char*>(buffer), std::streamsize(n))) ReadError();
}

void ReadRiff(TVePalette256& palette, std::istream& s) {
  uint8_t head[8];
  ReadExact(s, head, 8);
  const uint32_t size = Le32(head + 4);
  if (size > 2048) InvalidPalette();
  std::vector<uint8_t> body(size);
  ReadExact(s, body.data(), size);
  if (size < 4 || std::memcmp(body.data(), "PAL ", 4) != 0) InvalidPalette();
  size_t pos = 4;
  for (;;) {
    if (body.size() - pos < 8) ReadError();
    const uint8_t* chunk = body.data() + pos;
    const uint32_t chunkSize = Le32(chunk + 4);
    pos += 8;
    if (std::memcmp(chunk, "data", 4) != 0) {
      if (chunkSize > body.size() - pos) ReadError();
      pos += chunkSize;
      continue;
    }
    if (chunkSize < 5) InvalidPalette();
    if (body.size() - pos < 4) ReadError();
    const uint8_t* d = body.data() + pos;
    const unsigned version = d[0] | d[1] << 8, count = d[2] | d[3] << 8;
    if (version != 0x0300 || count < 1 || count > 256 || chunkSize != 4 * count + 4)
      InvalidPalette();
    if (body.size() - pos < chunkSize) ReadError();
    TUpdate update(palette);
    palette.Clear();
    for (unsigned i = 0; i < count; ++i)
      palette.AddUnique(d[4 + 4 * i], d[5 + 4 * i], d[6 + 4 * i]);
    return;
  }
}

void ReadRaw(TVePalette256& palette, std::istream& s) {
  TUpdate update(palette);
  palette.Clear();
  uint8_t table[768];
  ReadExact(s, table, sizeof table);
  int count = 256;
  uint8_t trailer[4];
  if (s.read(reinterpret_cast<char*>(trailer), 4)) {
    const int c = trailer[0] << 8 | trailer[1];
    if (c <= 256 && trailer[2] == 0xFF && trailer[3] == 0xFF) count = c;
  }
  s.clear(s.rdstate() & ~(std::ios::failbit | std::ios::eofbit));
  for (int i = 0; i < count; ++i)
    palette.AddRGB(table[3 * i], table[3 * i + 1], table[3 * i + 2]);
}

void ReadPicturePalette(TVePalette256& palette, std::istream& s, int type) {
  const std::streampos start = s.tellg();
  s.seekg(0, std::ios::end);
  const std::streamoff left = s.tellg() - start;
  s.seekg(start);
  if (left < 0 || left > TVeSource::MaxPictureFileSize) ReadError();
  std::vector<uint8_t> data(static_cast<size_t>(left));
  ReadExact(s, data.data(), data.size());
  TVePictureResult r =
      PictureToBitmap32(VeDecodePicture(type, data.data(), data.size()), vpwFilePalette);
  if (!r.FilePalette) InvalidPalette();
  if (r.FilePalette->Count() > 256) throw ETooManyColors();
  palette.Assign(r.FilePalette.get());
}

std::streamoff BytesLeft(std::istream& s) {
  const std::streampos start = s.tellg();
  if (start < 0) return -1;
  s.seekg(0, std::ios::end);
  const std::streamoff left = s.tellg() - start;
  s.seekg(start);
  return left;
}

// A JASC, GIMP or RIFF palette header at the start of the stream; the position is restored.
bool HasPaletteHeader(std::istream& s) {
  char head[12] = {};
  const std::streampos start = s.tellg();
  s.read(head, sizeof head);
  const size_t got = size_t(s.gcount());
  s.clear();
  s.seekg(start);
  return (got >= 8 && std::memcmp(head, "JASC-PAL", 8) == 0) ||
         (got >= 12 && std::memcmp(head, "GIMP Palette", 12) == 0) ||
         (got >= 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "PAL ", 4) == 0);
}

} // namespace

void VeLoadPaletteFromStream(TVePalette256& palette, std::istream& stream, bool silent) {
  const int type = DetectPictureType(stream);
  switch (type) {
  case vptBMP:
  case vptPNG:
  case vptGIF:
    ReadPicturePalette(palette, stream, type);
    return;
  case vptJASC:
    ReadJasc(palette, stream);
    return;
  case vptGIMP:
    ReadGimp(palette, stream);
    return;
  case vptRIFF:
    ReadRiff(palette, stream);
    return;
  case vptNone: {
    const std::streamoff left = BytesLeft(stream);
    if (left == 768 || left == 772) {
      ReadRaw(palette, stream);
      return;
    }
    break;
  }
  default:
    break;
  }
  if (!silent) throw EVeError("Unknown palette type");
}

void VeLoadPaletteFromFile(TVePalette256& palette, const std::string& path) {
  palette.FileName = path;
  palette.Name = VeExtractFileName(path);
  std::ifstream f(path, std::ios::binary);
  if (!f) throw EVeError("Cannot open file \"" + path + "\"");
  f.seekg(0, std::ios::end);
  const std::streamoff size = f.tellg();
  f.seekg(0);
  // The size alone makes a raw table, unless a text or RIFF palette header says otherwise.
  if ((size == 768 || size == 772) && VeLowerExt(path) != ".act" && !HasPaletteHeader(f))
    ReadRaw(palette, f);
  else
    VeLoadPaletteFromStream(palette, f, false);
}

std::string VePaletteToJASC(const TVePalette256& palette) {
  std::string text = "JASC-PAL\r\n0100\r\n" + std::to_string(palette.Count()) + "\r\n";
  for (int i = 0; i < palette.Count(); ++i) {
    const TVeStdRGBColor c = palette.GetStdRGB(i);
    text += std::to_string(c.R) + " " + std::to_string(c.G) + " " + std::to_string(c.B) + "\r\n";
  }
  return text;
}

void VeSavePaletteJASC(const TVePalette256& palette, const std::string& path) {
  const std::string text = VePaletteToJASC(palette);
  VeWriteFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

void VeInstallPaletteFileLoader() {
  TVePaletteList::SetLoader([](TVePalette256& palette, const std::string& path) {
    VeLoadPaletteFromFile(palette, path);
  });
}

namespace {
// Installed as soon as this unit is linked in.
const bool PaletteLoaderInstalled = (VeInstallPaletteFileLoader(), true);
} // namespace
