#include "VeSavePlatformAmstradCpcDisk.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <libdsk.h>
#include <mutex>
#include <unistd.h>

#include "VeDiskWriters.h"
#include "VeErrors.h"
#include "VePlatformAmstradCpc.h"
#include "VeStream.h"

namespace {

// The CPC data format: no reserved tracks, 1K blocks, the directory in blocks 0 and 1.
constexpr int Tracks = 40, Sectors = 9, SectorBytes = 512, BlockBytes = 1024;
constexpr int DiskBytes = Tracks * Sectors * SectorBytes;
constexpr int Blocks = DiskBytes / BlockBytes, DirBlocks = 2, DirEntries = 64;
constexpr int BlocksPerEntry = 16, RecordBytes = 128, RecordsPerEntry = 128;

// Locomotive BASIC tokens.
constexpr uint8_t TokBorder = 0x82, TokCall = 0x83, TokEnd = 0x98, TokInk = 0xA2, TokLoad = 0xA8,
                  TokMode = 0xAD, Colon = 0x01;
// Firmware: KM WAIT KEY.
constexpr unsigned WaitKey = 0xBB18;
constexpr uint16_t BasicStart = 0x0170;

// A standard screen as the CPC engines write it: binary, 16384 bytes at C000.
bool StandardScreen(const TVeStream& s) {
  TVeCpcHeader h;
  return s.HeaderSize == size_t(CpcHeaderBytes) &&
         s.Size() == size_t(CpcHeaderBytes + CpcScreenBytes) &&
         CpcReadHeader(s.Data(), int32_t(s.Size()), h) && h.Type == CpcTypeBinary &&
         h.Load == 0xC000 && h.Length == CpcScreenBytes;
}

void Number(std::vector<uint8_t>& line, unsigned v) {
  if (v < 10)
    line.push_back(uint8_t(0x0E + v));
  else if (v < 256)
    line.insert(line.end(), {0x19, uint8_t(v)});
  else
    line.insert(line.end(), {0x1A, uint8_t(v), uint8_t(v >> 8)});
}

void Hex(std::vector<uint8_t>& line, unsigned v) {
  line.insert(line.end(), {0x1C, uint8_t(v), uint8_t(v >> 8)});
}

void Keyword(std::vector<uint8_t>& line, uint8_t token) {
  if (!line.empty()) line.push_back(Colon);
  line.insert(line.end(), {token, ' '});
}

// A line: its length (all of it), number, tokens and the closing 0.
void Line(std::vector<uint8_t>& program, unsigned number, const std::vector<uint8_t>& body) {
  const size_t length = body.size() + 5;
  if (length > 255) VeInternalError();
  program.insert(program.end(),
                 {uint8_t(length), uint8_t(length >> 8), uint8_t(number), uint8_t(number >> 8)});
  program.insert(program.end(), body.begin(), body.end());
  program.push_back(0);
}

// A temporary file removed when it goes out of scope.
struct TTempFile {
  std::string Path;
  TTempFile() {
    std::string t = (std::filesystem::temp_directory_path() / "velmora-dsk-XXXXXX").string();
    const int fd = mkstemp(t.data());
    if (fd < 0) throw EVeError("Cannot make a temporary file for the disk image");
    close(fd);
    Path = t;
  }
  ~TTempFile() { std::remove(Path.c_str()); }
};

void Check(dsk_err_t e, const char* what) {
  if (e != DSK_ERR_OK)
    throw EVeError(std::string("LibDsk could not ") + what + ": " + dsk_strerror(e));
}

std::vector<uint8_t> WriteDisk(const std::vector<const TVeStreamList*>& frames,
                               const std::string& name, const std::string&) {
  std::vector<TVeCpcDiskFile> screens;
  for (size_t f = 0; f < frames.size(); ++f) {
    const TVeStream* found = nullptr;
    for (int i = 0; frames[f] && !found && i < frames[f]->Count(); ++i)
      if (frames[f]->GetStream(i)->Extension == "scr" && StandardScreen(*frames[f]->GetStream(i)))
        found = frames[f]->GetStream(i);
    if (!found)
      throw EVeError("Screen " + std::to_string(f + 1) +
                     " is no standard CPC screen (.scr at &C000) to put on a disk");
    TVeCpcDiskFile file{VeDiskFileName(name, f, frames.size(), "scr"), found->Bytes()};
    CpcSetHeaderName(file.Bytes.data(), file.Name);
    screens.push_back(std::move(file));
  }
  if (screens.empty()) throw EVeError("A disk image needs at least one screen");
  std::vector<TVeCpcDiskFile> files = {{"DISC.BAS", CpcDiskLoader(screens)}};
  files.insert(files.end(), screens.begin(), screens.end());
  return CpcEdskImage(CpcDataDiskSectors(files));
}

} // namespace

std::vector<uint8_t> CpcDiskLoader(const std::vector<TVeCpcDiskFile>& screens) {
  std::vector<uint8_t> program;
  unsigned number = 10;
  for (const TVeCpcDiskFile& s : screens) {
    const uint8_t* d = s.Bytes.data() + CpcHeaderBytes;
    const unsigned mode = d[CpcModeAt] % 3;
    std::vector<uint8_t> body;
    Keyword(body, TokMode);
    Number(body, mode);
    Keyword(body, TokBorder);
    Number(body, d[CpcBorderAt] % 27);
    for (unsigned pen = 0; pen < (mode == 0 ? 16u : mode == 1 ? 4u : 2u); ++pen) {
      Keyword(body, TokInk);
      Number(body, pen);
      body.push_back(',');
      Number(body, d[CpcInksAt + pen] % 27);
    }
    Keyword(body, TokLoad);
    body.push_back('"');
    body.insert(body.end(), s.Name.begin(), s.Name.end());
    body.insert(body.end(), {'"', ','});
    Hex(body, 0xC000);
    Keyword(body, TokCall);
    Hex(body, WaitKey);
    Line(program, number, body);
    number += 10;
  }
  // The firmware's own colours again, and a clear screen for "Ready".
  std::vector<uint8_t> last;
  const unsigned inks[4] = {1, 24, 20, 6};
  for (unsigned pen = 0; pen < 4; ++pen) {
    Keyword(last, TokInk);
    Number(last, pen);
    last.push_back(',');
    Number(last, inks[pen]);
  }
  Keyword(last, TokBorder);
  Number(last, 1);
  Keyword(last, TokMode);
  Number(last, 1);
  Keyword(last, TokEnd);
  last.pop_back(); // END takes nothing after it
  Line(program, number, last);
  program.insert(program.end(), {0, 0});
  if (program.size() > 0x8000) throw EVeError("Too many screens for one disk loader");

  std::vector<uint8_t> file(CpcHeaderBytes);
  CpcWriteHeader(file.data(), CpcTypeBasic, uint16_t(program.size()), BasicStart, 0);
  CpcSetHeaderName(file.data(), "DISC.BAS");
  file.insert(file.end(), program.begin(), program.end());
  return file;
}

std::vector<uint8_t> CpcDataDiskSectors(const std::vector<TVeCpcDiskFile>& files) {
  std::vector<uint8_t> disk(DiskBytes, 0xE5);
  int block = DirBlocks, entry = 0;
  for (const TVeCpcDiskFile& f : files) {
    const size_t dot = f.Name.find('.');
    const std::string base = f.Name.substr(0, dot),
                      ext = dot == std::string::npos ? "" : f.Name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || ext.size() > 3) VeInternalError();
    const int records = int((f.Bytes.size() + RecordBytes - 1) / RecordBytes);
    const int blocks = (records * RecordBytes + BlockBytes - 1) / BlockBytes;
    const int entries = std::max(1, (blocks + BlocksPerEntry - 1) / BlocksPerEntry);
    if (block + blocks > Blocks)
      throw EVeError("The files do not fit on a CPC data disk (" +
                     std::to_string(Blocks - DirBlocks) + " KB): " + f.Name + " is one too many");
    if (entry + entries > DirEntries)
      throw EVeError("The files need more than the " + std::to_string(DirEntries) +
                     " directory entries of a CPC data disk");
    std::memcpy(disk.data() + size_t(block) * BlockBytes, f.Bytes.data(), f.Bytes.size());
    for (int e = 0; e < entries; ++e) {
      uint8_t* d = disk.data() + size_t(entry++) * 32;
      std::memset(d, 0, 32);
      d[0] = 0; // user 0
      for (int i = 0; i < 8; ++i)
        d[1 + i] = uint8_t(i < int(base.size()) ? base[size_t(i)] : ' ');
      for (int i = 0; i < 3; ++i)
        d[9 + i] = uint8_t(i < int(ext.size()) ? ext[size_t(i)] : ' ');
      d[12] = uint8_t(e & 0x1F); // extent, low bits
      d[14] = uint8_t(e >> 5);   // extent, high bits
      d[15] = uint8_t(std::min(RecordsPerEntry, records - e * RecordsPerEntry));
      for (int b = 0; b < BlocksPerEntry && e * BlocksPerEntry + b < blocks; ++b)
        d[16 + b] = uint8_t(block + e * BlocksPerEntry + b);
    }
    // The unused end of the last record is 1A, as CP/M pads text.
    const size_t end = size_t(block) * BlockBytes + f.Bytes.size();
    std::memset(disk.data() + end, 0x1A, size_t(records) * RecordBytes - f.Bytes.size());
    block += blocks;
  }
  return disk;
}

std::vector<uint8_t> CpcEdskImage(const std::vector<uint8_t>& sectors) {
  if (sectors.size() != size_t(DiskBytes)) VeInternalError();
  // LibDsk keeps state of its own across drives; batch conversions take turns.
  static std::mutex lock;
  std::lock_guard<std::mutex> hold(lock);
  TTempFile temp;
  DSK_GEOMETRY geom;
  Check(dg_stdformat(&geom, FMT_CPCDATA, nullptr, nullptr), "take the CPC data format");
  DSK_PDRIVER drive = nullptr;
  Check(dsk_creat(&drive, temp.Path.c_str(), "edsk", nullptr), "create the image");
  try {
    for (int c = 0; c < Tracks; ++c)
      Check(dsk_apform(drive, &geom, dsk_pcyl_t(c), 0, 0xE5), "format a track");
    for (int s = 0; s < Tracks * Sectors; ++s)
      Check(dsk_lwrite(drive, &geom, sectors.data() + size_t(s) * SectorBytes, dsk_lsect_t(s)),
            "write a sector");
  } catch (...) {
    dsk_close(&drive);
    throw;
  }
  Check(dsk_close(&drive), "finish the image");
  std::ifstream in(temp.Path, std::ios::binary);
  std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), {});
  if (image.empty()) throw EVeError("LibDsk wrote no disk image");
  return image;
}

void RegisterAmstradCpcDiskWriter() {
  TVeDiskWriter w;
  w.Name = "Amstrad CPC data disk";
  w.Extension = "scr";
  w.Accepts = StandardScreen;
  w.Write = WriteDisk;
  VeRegisterDiskWriter(std::move(w));
}
