#include "VeOpenPlatformZxSpectrumContainers.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>

#include "VeByteReader.h"
#include "VeOpenPlatformZxSpectrum.h"
#include "VePlatformZxSpectrum.h"

namespace {

// Match sets: verified, plus the extension when it is the format's own.
TVeSourceMatch Verified(const TVeZxScreenFind& find, bool ownExtension) {
  if (!find.Found()) return 0;
  return TVeSourceMatch(smVerified | smExactSize | (ownExtension ? smExtension : 0));
}

// A skip of a length read from the file: refused (reader left exhausted) when not there.
bool SkipBytes(TVeByteReader& r, uint64_t count) {
  if (count > uint64_t(std::max(r.Remaining, 0))) {
    r.Remaining = -1;
    return false;
  }
  r.Skip(int32_t(count));
  return true;
}

uint32_t Le24(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
}

// The screen as a copy (for screens that are unpacked or taken out of a larger page).
TVeZxScreenFind Copied(const uint8_t* data, int32_t size) {
  TVeZxScreenFind find;
  find.Extracted.assign(data, data + size);
  find.Data = find.Extracted.data();
  find.Size = size;
  return find;
}

TVeZxScreenFind InFile(const uint8_t* data, int32_t size) {
  TVeZxScreenFind find;
  find.Data = data;
  find.Size = size;
  return find;
}

const std::vector<TVeSourceEngineClass>& ColorScreenClass() {
  static const std::vector<TVeSourceEngineClass> classes{
      VeSourceEngineClass<TVeZxSpectrumColorEngine>("TVeZxSpectrumColorEngine")};
  return classes;
}

} // namespace

bool VeInflateInto(const uint8_t* data, size_t size, std::vector<uint8_t>& out, bool exact) {
  if (out.empty() || size > std::numeric_limits<uInt>::max() ||
      out.size() > std::numeric_limits<uInt>::max())
    return false;
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = uInt(size);
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  int status = Z_OK;
  while (status == Z_OK && z.avail_out > 0)
    status = inflate(&z, Z_NO_FLUSH);
  bool ok = z.avail_out == 0 && (status == Z_OK || status == Z_STREAM_END);
  if (ok && exact && status != Z_STREAM_END) {
    // Filled: the stream must end here, with nothing more to give.
    uint8_t extra;
    z.next_out = &extra;
    z.avail_out = 1;
    status = inflate(&z, Z_FINISH);
    ok = status == Z_STREAM_END && z.avail_out == 1;
  }
  inflateEnd(&z);
  return ok;
}

const std::vector<TVeSourceEngineClass>& ZxScreenEngineClasses() {
  static const std::vector<TVeSourceEngineClass> classes{
      VeSourceEngineClass<TVeZxSpectrumBWEngine>("TVeZxSpectrumBWEngine"),
      VeSourceEngineClass<TVeZxSpectrumColorEngine>("TVeZxSpectrumColorEngine")};
  return classes;
}

// ---- The shared part ----------------------------------------------------------------------

TVeBaseZxSpectrumSnapshotEngine::TVeBaseZxSpectrumSnapshotEngine(TVeLoadSource* source,
                                                                 const char* className)
    : TVeSourceEngine(source, className) {}

void TVeBaseZxSpectrumSnapshotEngine::UseInner(TVeZxScreenFind&& find,
                                               const std::vector<TVeSourceEngineClass>& classes) {
  if (!find.Found()) return;
  const uint8_t* data = find.Data;
  if (!find.Extracted.empty()) {
    FBuffer = std::move(find.Extracted);
    data = FBuffer.data();
  }
  FInnerSource = std::make_unique<TVeMemoryLoadSource>(
      find.InnerName.empty() ? std::string("screen.scr") : find.InnerName, find.Size, data);
  const TVeSourceEngineClass* best = nullptr;
  int bestPriority = 0;
  for (const TVeSourceEngineClass& c : classes) {
    const int p = VeMatchPriority(c.Check(FInnerSource.get()));
    if (p > bestPriority) {
      best = &c;
      bestPriority = p;
    }
  }
  if (!best) return;
  FInner = best->Create(FInnerSource.get());
  Description = FInner->Description;
  Width = FInner->Width;
  Height = FInner->Height;
  BitsPerPixel = FInner->BitsPerPixel;
  Palette->Assign(FInner->Palette.get());
  PaletteColumns = FInner->PaletteColumns;
  OptionFlags = FInner->OptionFlags;
  PixelAspect = FInner->PixelAspect;
  PaletteTypes = FInner->PaletteTypes;
  PaletteType = FInner->PaletteType;
  Calculations = FInner->Calculations;
  Calculation = FInner->Calculation;
}

std::unique_ptr<TVeBitmap> TVeBaseZxSpectrumSnapshotEngine::CreateBitmap() {
  if (!FInner) VeInternalError();
  FInner->PaletteType = PaletteType;
  FInner->Calculation = Calculation;
  std::unique_ptr<TVeBitmap> bitmap = FInner->CreateBitmap();
  Palette->Assign(FInner->Palette.get());
  return bitmap;
}

// ---- ".tap" -------------------------------------------------------------------------------

TVeZxScreenFind TVeZxSpectrumTAPEngine::Find(const TVeLoadSource* source) {
  if (!source || !source->Data || source->Ext != ".tap") return {};
  TVeByteReader r(source->Data, source->Size);
  uint16_t length;
  while (r.ReadWord(length)) {
    if (length <= 1 || length > r.Remaining) break;
    const uint8_t* block = r.Take(length);
    uint8_t check = 0;
    for (int i = 0; i < length; ++i)
      check ^= block[i];
    if (check != 0) break;       // a broken block ends the tape
    if (block[0] == 0) continue; // a header
    if (block[0] != 255) break;
    if (length < 3) continue;
    TVeMemoryLoadSource probe("screen.scr", length - 2, block + 1);
    for (const TVeSourceEngineClass& c : ZxScreenEngineClasses())
      if (c.Check(&probe)) return InFile(block + 1, length - 2);
  }
  return {};
}

TVeSourceMatch TVeZxSpectrumTAPEngine::Check(TVeLoadSource* source) {
  return Verified(Find(source), true);
}

TVeZxSpectrumTAPEngine::TVeZxSpectrumTAPEngine(TVeLoadSource* source)
    : TVeBaseZxSpectrumSnapshotEngine(source, "TVeZxSpectrumTAPEngine") {
  UseInner(Find(source), ZxScreenEngineClasses());
}

// ---- ".tzx" -------------------------------------------------------------------------------

TVeZxScreenFind TVeZxSpectrumTZXEngine::Find(const TVeLoadSource* source) {
  static const uint8_t signature[7] = {'Z', 'X', 'T', 'a', 'p', 'e', '!'};
  if (!source || !source->Data || source->Size <= 10 ||
      std::memcmp(source->Data, signature, 7) != 0 ||
      (source->Data[7] != 0x1A && source->Data[7] != 0))
    return {};
  TVeByteReader r(source->Data + 10, source->Size - 10);
  // A standard-speed or turbo data block of 6914 bytes: flag, screen, checksum.
  auto screenBlock = [&](uint32_t length, TVeZxScreenFind& find) {
    if (length != ZxScreenBytes + 2) return SkipBytes(r, length);
    r.Skip(1);
    if (const uint8_t* screen = r.Take(ZxScreenBytes)) find = InFile(screen, ZxScreenBytes);
    return false;
  };
  TVeZxScreenFind find;
  uint8_t id;
  while (!find.Found() && r.ReadByte(id)) {
    bool more = true;
    uint8_t b8;
    uint16_t w16;
    uint32_t d32;
    switch (id) {
    case 0x10:
      more = SkipBytes(r, 2) && r.ReadWord(w16) && screenBlock(w16, find);
      break;
    case 0x11:
      if (const uint8_t* h = r.Take(18))
        more = screenBlock(Le24(h + 15), find);
      else
        more = false;
      break;
    case 0x12:
      more = SkipBytes(r, 4);
      break;
    case 0x13:
      more = r.ReadByte(b8) && SkipBytes(r, 2u * b8);
      break;
    case 0x14:
      if (const uint8_t* h = r.Take(10))
        more = SkipBytes(r, Le24(h + 7));
      else
        more = false;
      break;
    case 0x15:
      if (const uint8_t* h = r.Take(8))
        more = SkipBytes(r, Le24(h + 5));
      else
        more = false;
      break;
    case 0x16:
    case 0x17:
    case 0x18:
    case 0x19:
    case 0x2A:
    case 0x2B:
      more = r.ReadDWord(d32) && SkipBytes(r, d32);
      break;
    case 0x20:
    case 0x23:
    case 0x24:
      more = SkipBytes(r, 2);
      break;
    case 0x22:
    case 0x25:
    case 0x27:
      break;
    case 0x26:
      more = r.ReadWord(w16) && SkipBytes(r, 2u * w16);
      break;
    case 0x28:
    case 0x32:
      more = r.ReadWord(w16) && SkipBytes(r, w16);
      break;
    case 0x21:
    case 0x30:
      more = r.ReadByte(b8) && SkipBytes(r, b8);
      break;
    case 0x31:
      more = SkipBytes(r, 1) && r.ReadByte(b8) && SkipBytes(r, b8);
      break;
    case 0x33:
      more = r.ReadByte(b8) && SkipBytes(r, 3u * b8);
      break;
    case 0x35:
      more = SkipBytes(r, 16) && r.ReadDWord(d32) && SkipBytes(r, d32);
      break;
    case 0x5A:
      more = SkipBytes(r, 9);
      break;
    default:
      more = false; // an unknown block cannot be stepped over
    }
    if (!more) break;
  }
  return find;
}

TVeSourceMatch TVeZxSpectrumTZXEngine::Check(TVeLoadSource* source) {
  return Verified(Find(source), source && source->Ext == ".tzx");
}

TVeZxSpectrumTZXEngine::TVeZxSpectrumTZXEngine(TVeLoadSource* source)
    : TVeBaseZxSpectrumSnapshotEngine(source, "TVeZxSpectrumTZXEngine") {
  UseInner(Find(source), ColorScreenClass());
}

// ---- ".szx" -------------------------------------------------------------------------------

TVeZxScreenFind TVeZxSpectrumSZXEngine::Find(const TVeLoadSource* source) {
  if (!source || !source->Data || source->Size <= 8 || std::memcmp(source->Data, "ZXST", 4) != 0)
    return {};
  TVeByteReader r(source->Data + 8, source->Size - 8);
  int page = 5;
  const uint8_t* id;
  uint32_t length;
  while ((id = r.Take(4)) && r.ReadDWord(length)) {
    if (length > uint32_t(r.Remaining)) break;
    if (std::memcmp(id, "SPCR", 4) == 0 && length > 3) {
      const uint8_t* chunk = r.Take(int32_t(length));
      if (chunk[1] & 0x08) page = 7; // the last value written to port 7FFD
    } else if (std::memcmp(id, "RAMP", 4) == 0 && length > 2) {
      uint16_t flags;
      uint8_t ramPage;
      r.ReadWord(flags);
      r.ReadByte(ramPage);
      const int32_t rest = int32_t(length) - 3;
      if (ramPage != page) {
        r.Skip(rest);
        continue;
      }
      const uint8_t* data = r.Take(rest);
      if (flags & 1) {
        std::vector<uint8_t> screen(ZxScreenBytes);
        if (!VeInflateInto(data, size_t(rest), screen, false)) return {};
        return Copied(screen.data(), ZxScreenBytes);
      }
      // The page's bytes follow the three of the chunk's own header.
      if (rest >= ZxScreenBytes) return Copied(data, ZxScreenBytes);
      return {};
    } else {
      r.Skip(int32_t(length));
    }
  }
  return {};
}

TVeSourceMatch TVeZxSpectrumSZXEngine::Check(TVeLoadSource* source) {
  return Verified(Find(source), source && source->Ext == ".szx");
}

TVeZxSpectrumSZXEngine::TVeZxSpectrumSZXEngine(TVeLoadSource* source)
    : TVeBaseZxSpectrumSnapshotEngine(source, "TVeZxSpectrumSZXEngine") {
  UseInner(Find(source), ColorScreenClass());
}

// ---- ".rzx" -------------------------------------------------------------------------------

namespace {
// Snapshots inside a recording are never larger than a 128K ".sna"; this bounds unpacking.
constexpr uint32_t MaxRecordedSnapshot = 1u << 20;

const std::vector<TVeSourceEngineClass>& SnapshotClass(const std::string& ext) {
  static const std::vector<TVeSourceEngineClass> z80{
      VeSourceEngineClass<TVeZxSpectrumZ80Engine>("TVeZxSpectrumZ80Engine")};
  static const std::vector<TVeSourceEngineClass> sna{
      VeSourceEngineClass<TVeZxSpectrumSNAEngine>("TVeZxSpectrumSNAEngine")};
  return ext == "z80" ? z80 : sna;
}

std::string RecordedExtension(const TVeZxScreenFind& find) {
  return find.InnerName.substr(find.InnerName.rfind('.') + 1);
}
} // namespace

TVeZxScreenFind TVeZxSpectrumRZXEngine::Find(const TVeLoadSource* source) {
  if (!source || !source->Data || source->Size <= 10 || std::memcmp(source->Data, "RZX!", 4) != 0)
    return {};
  TVeByteReader r(source->Data + 10, source->Size - 10);
  uint8_t id;
  uint32_t length;
  while (r.ReadByte(id) && r.ReadDWord(length)) {
    if (length < 5) break;
    const uint32_t rest = length - 5;
    if (rest > uint32_t(r.Remaining)) break;
    if (id == 0x10) {
      if (rest < 24) break;
      r.Skip(int32_t(rest));
    } else if (id == 0x30) {
      if (rest <= 12) break;
      uint32_t flags, unpacked;
      r.ReadDWord(flags);
      const uint8_t* extBytes = r.Take(4);
      r.ReadDWord(unpacked);
      if ((flags & 1) || unpacked == 0) break; // external snapshots are not in the file
      const uint8_t* data = r.Take(int32_t(rest - 12));
      std::string ext;
      for (int i = 0; i < 4 && extBytes[i] && extBytes[i] != ' '; ++i)
        ext += char(std::tolower(extBytes[i]));
      if (ext != "z80" && ext != "sna") break;
      TVeZxScreenFind find;
      if (flags & 2) {
        if (unpacked > MaxRecordedSnapshot) break;
        std::vector<uint8_t> snapshot(unpacked);
        if (!VeInflateInto(data, rest - 12, snapshot, true)) break;
        find = Copied(snapshot.data(), int32_t(unpacked));
      } else {
        find = InFile(data, int32_t(rest - 12));
      }
      find.InnerName = "Snapshot." + ext;
      // Offered only when the snapshot's own loader takes it.
      TVeMemoryLoadSource probe(find.InnerName, find.Size, find.Data);
      if (!SnapshotClass(ext).front().Check(&probe)) break;
      return find;
    } else {
      r.Skip(int32_t(rest));
    }
  }
  return {};
}

TVeSourceMatch TVeZxSpectrumRZXEngine::Check(TVeLoadSource* source) {
  return Verified(Find(source), source && source->Ext == ".rzx");
}

TVeZxSpectrumRZXEngine::TVeZxSpectrumRZXEngine(TVeLoadSource* source)
    : TVeBaseZxSpectrumSnapshotEngine(source, "TVeZxSpectrumRZXEngine") {
  TVeZxScreenFind find = Find(source);
  if (!find.Found()) return;
  const std::string ext = RecordedExtension(find);
  UseInner(std::move(find), SnapshotClass(ext));
}

// ---- ".sp", ".sna" ------------------------------------------------------------------------

TVeZxScreenFind TVeZxSpectrumSPEngine::Find(const TVeLoadSource* source) {
  if (!source || !source->Data || source->Size <= 38) return {};
  const uint8_t* d = source->Data;
  const int length = d[2] | d[3] << 8, start = d[4] | d[5] << 8;
  if (d[0] != 'S' || d[1] != 'P' || (length != 0x4000 && length != 0xC000) || start != 0x4000 ||
      d[32] != 0 || d[33] != 0 || d[35] != 0 || source->Size != length + 38)
    return {};
  return InFile(d + 38, ZxScreenBytes);
}

TVeSourceMatch TVeZxSpectrumSPEngine::Check(TVeLoadSource* source) {
  return Verified(Find(source), source && source->Ext == ".sp");
}

TVeZxSpectrumSPEngine::TVeZxSpectrumSPEngine(TVeLoadSource* source)
    : TVeBaseZxSpectrumSnapshotEngine(source, "TVeZxSpectrumSPEngine") {
  UseInner(Find(source), ColorScreenClass());
}

TVeZxScreenFind TVeZxSpectrumSNAEngine::Find(const TVeLoadSource* source) {
  if (!source || !source->Data || source->Ext != ".sna") return {};
  if (source->Size != 49179 && source->Size != 131103 && source->Size != 147487) return {};
  return InFile(source->Data + 27, ZxScreenBytes);
}

TVeSourceMatch TVeZxSpectrumSNAEngine::Check(TVeLoadSource* source) {
  return Verified(Find(source), true);
}

TVeZxSpectrumSNAEngine::TVeZxSpectrumSNAEngine(TVeLoadSource* source)
    : TVeBaseZxSpectrumSnapshotEngine(source, "TVeZxSpectrumSNAEngine") {
  UseInner(Find(source), ColorScreenClass());
}

// ---- ".z80" -------------------------------------------------------------------------------

namespace {
// The snapshot's run-length code (ED ED n v: n copies of v) until a screen is complete.
bool UnpackZ80(const uint8_t* in, int32_t size, std::vector<uint8_t>& out) {
  out.clear();
  int32_t i = 0;
  while (int(out.size()) < ZxScreenBytes) {
    if (i >= size) return false;
    const uint8_t b = in[i++];
    if (b != 0xED) {
      out.push_back(b);
      continue;
    }
    if (i >= size) return false;
    if (in[i] != 0xED) {
      out.push_back(0xED);
      continue;
    }
    if (i + 2 >= size) return false;
    const int count = in[i + 1];
    const uint8_t value = in[i + 2];
    i += 3;
    for (int k = 0; k < count && int(out.size()) < ZxScreenBytes; ++k)
      out.push_back(value);
  }
  return true;
}
} // namespace

TVeZxScreenFind TVeZxSpectrumZ80Engine::Find(const TVeLoadSource* source) {
  if (!source || !source->Data || (source->Ext != ".z80" && source->Ext != ".slt") ||
      source->Size <= 30)
    return {};
  TVeByteReader r(source->Data, source->Size);
  const uint8_t* header = r.Take(30);
  const uint8_t flags = header[12] == 0xFF ? 1 : header[12];
  std::vector<uint8_t> screen;
  if ((header[6] | header[7] << 8) != 0) { // version 1: one block of 48K memory
    if (!(flags & 0x20)) {
      if (r.Remaining < ZxScreenBytes) return {};
      return InFile(r.Pos, ZxScreenBytes);
    }
    if (!UnpackZ80(r.Pos, r.Remaining, screen)) return {};
    return Copied(screen.data(), ZxScreenBytes);
  }
  uint16_t extra;
  if (!r.ReadWord(extra)) return {};
  int page = 8; // bank 5
  if (extra < 23) {
    if (!SkipBytes(r, extra)) return {};
  } else {
    const uint8_t* e = r.Take(extra); // file bytes 32 onwards
    if (!e) return {};
    const uint8_t mode = e[2];
    const bool is128 = (mode == 3 && (extra == 23 || (e[5] & 0x80))) || (mode >= 4 && mode <= 16);
    if (is128 && (e[3] & 0x08)) page = 10; // bank 7, the shadow screen
  }
  uint16_t length;
  uint8_t blockPage;
  while (r.ReadWord(length) && r.ReadByte(blockPage)) {
    const int32_t stored = length == 0xFFFF ? 16384 : length;
    if (blockPage != page) {
      if (!SkipBytes(r, uint32_t(stored))) return {};
      continue;
    }
    const uint8_t* data = r.Take(stored);
    if (!data) return {};
    if (length == 0xFFFF) return Copied(data, ZxScreenBytes);
    if (!UnpackZ80(data, stored, screen)) return {};
    return Copied(screen.data(), ZxScreenBytes);
  }
  return {};
}

TVeSourceMatch TVeZxSpectrumZ80Engine::Check(TVeLoadSource* source) {
  return Verified(Find(source), true);
}

TVeZxSpectrumZ80Engine::TVeZxSpectrumZ80Engine(TVeLoadSource* source)
    : TVeBaseZxSpectrumSnapshotEngine(source, "TVeZxSpectrumZ80Engine") {
  UseInner(Find(source), ColorScreenClass());
}

// ---- Registration -------------------------------------------------------------------------

void RegisterZxSpectrumContainerLoaders() {
  static const bool done = [] {
    RegisterSourceEngine(
        VeSourceEngineClass<TVeZxSpectrumTAPEngine>("TVeZxSpectrumTAPEngine", {".tap"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeZxSpectrumTZXEngine>("TVeZxSpectrumTZXEngine", {".tzx"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeZxSpectrumSZXEngine>("TVeZxSpectrumSZXEngine", {".szx"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeZxSpectrumRZXEngine>("TVeZxSpectrumRZXEngine", {".rzx"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeZxSpectrumSPEngine>("TVeZxSpectrumSPEngine", {".sp"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeZxSpectrumSNAEngine>("TVeZxSpectrumSNAEngine", {".sna"}));
    RegisterSourceEngine(
        VeSourceEngineClass<TVeZxSpectrumZ80Engine>("TVeZxSpectrumZ80Engine", {".z80", ".slt"}));
    return true;
  }();
  (void)done;
}
