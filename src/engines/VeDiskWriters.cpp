#include "VeDiskWriters.h"

#include <deque>
#include <mutex>

#include "VeErrors.h"
#include "VeExport.h"
#include "VeStream.h"

namespace {

std::mutex& Lock() {
  static std::mutex lock;
  return lock;
}

std::deque<TVeDiskWriter>& Writers() {
  static std::deque<TVeDiskWriter> writers;
  return writers;
}

const TVeDiskWriter* Find(const TVeStream& s) {
  for (const TVeDiskWriter& w : Writers())
    if (w.Extension == s.Extension && (!w.Accepts || w.Accepts(s))) return &w;
  return nullptr;
}

std::vector<uint8_t> WriteDisk(const std::vector<const TVeStreamList*>& frames,
                               const std::string& name, const std::string& mode) {
  const TVeDiskWriter* writer = nullptr;
  const TVeStreamList* first = frames.empty() ? nullptr : frames.front();
  for (int i = 0; first && !writer && i < first->Count(); ++i)
    writer = VeFindDiskWriter(*first->GetStream(i));
  if (!writer) throw EVeError("No file of this mode can be put on a disk image");
  return writer->Write(frames, name, mode);
}

} // namespace

void VeRegisterDiskWriter(TVeDiskWriter writer) {
  {
    std::lock_guard<std::mutex> lock(Lock());
    for (const TVeDiskWriter& w : Writers())
      if (w.Name == writer.Name) return;
    Writers().push_back(std::move(writer));
  }
  TVeExporter dsk;
  dsk.Kind = "dsk";
  dsk.Caption = "Disk image";
  dsk.Extension = "dsk";
  dsk.WholeName = true;
  dsk.Accepts = [](const TVeStream& s) { return VeFindDiskWriter(s) != nullptr; };
  dsk.WriteAll = WriteDisk;
  VeRegisterExporter(std::move(dsk)); // once: a kind is not added twice
}

const TVeDiskWriter* VeFindDiskWriter(const TVeStream& stream) {
  std::lock_guard<std::mutex> lock(Lock());
  return Find(stream);
}

std::string VeDiskFileName(const std::string& name, size_t index, size_t count,
                           const std::string& extension) {
  // One "-" for each character neither a letter nor a digit (however long in UTF-8): both
  // AMSDOS and MSX-DOS take it, and it reads the same in the CPC's file header.
  auto clean = [](const std::string& s, size_t n) {
    std::string out;
    for (size_t i = 0; i < s.size() && out.size() < n; ++i) {
      char c = s[i];
      if ((static_cast<unsigned char>(c) & 0xC0) == 0x80) continue;
      if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
      out += (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ? c : '-';
    }
    return out;
  };
  // A single screen keeps the whole 8 characters; several are numbered from 1.
  const std::string number = count > 1 ? std::to_string(index + 1) : "";
  if (number.size() > 7) VeInternalError();
  const size_t width = count > 1 ? std::to_string(count).size() : 0;
  std::string base = clean(name, 8 - width);
  if (base.empty()) base = "PIC";
  if (count > 1) base += std::string(width - number.size(), '0') + number;
  return base + "." + clean(extension, 3);
}
