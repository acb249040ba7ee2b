#include "VeExport.h"

#include <cctype>
#include <cstdio>
#include <deque>
#include <mutex>

#include "VeErrors.h"
#include "VeOutputSet.h"
#include "VePack.h"
#include "VeSaveResult.h"
#include "VeStream.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& s) {
  return std::vector<uint8_t>(s.begin(), s.end());
}

// The data without the machine's file header.
std::pair<const uint8_t*, size_t> Payload(const TVeStream& s) {
  size_t skip = std::min(s.HeaderSize, s.Size());
  return {s.Data() + skip, s.Size() - skip};
}

// The values of a C array, 16 to a line.
std::string CValues(const uint8_t* data, size_t size) {
  std::string out;
  char buf[8];
  for (size_t i = 0; i < size; ++i) {
    out += i % 16 == 0 ? "\n  " : " ";
    std::snprintf(buf, sizeof buf, "0x%02X", data[i]);
    out += buf;
    if (i + 1 < size) out += ',';
  }
  return out + "\n};\n";
}

// "0FFh": hexadecimal that every Z80 assembler reads.
std::string AsmLines(const uint8_t* data, size_t size) {
  std::string out;
  char buf[8];
  for (size_t i = 0; i < size; ++i) {
    out += i % 16 == 0 ? "    defb " : ",";
    std::snprintf(buf, sizeof buf, "0%02Xh", data[i]);
    out += buf;
    if (i % 16 == 15 || i + 1 == size) out += "\n";
  }
  return out;
}

std::vector<uint8_t> WriteC(const TVeStream& s, const std::string& name, const std::string& mode,
                            const std::string& file) {
  std::string out =
      "/* " + mode + ": " + file + ", " + std::to_string(s.Size()) + " bytes, made by Velmora */\n";
  out += "#define " + name + "_SIZE " + std::to_string(s.Size()) + "\n";
  out += "const unsigned char " + name + "[" + std::to_string(s.Size()) + "] = {";
  return Bytes(out + CValues(s.Data(), s.Size()));
}

std::vector<uint8_t> WriteAsm(const TVeStream& s, const std::string& name, const std::string& mode,
                              const std::string& file) {
  std::string out =
      "; " + mode + ": " + file + ", " + std::to_string(s.Size()) + " bytes, made by Velmora\n";
  out += name + "_SIZE equ " + std::to_string(s.Size()) + "\n" + name + ":\n";
  return Bytes(out + AsmLines(s.Data(), s.Size()));
}

// The includes of packed data carry both sizes: the unpacker's buffer needs the second.
std::vector<uint8_t> PackedC(const std::vector<uint8_t>& packed, const std::string& name,
                             const std::string& about, size_t unpacked) {
  const std::string size = std::to_string(packed.size()), full = std::to_string(unpacked);
  std::string out = "/* " + about + ", made by Velmora */\n";
  out += "#define " + name + "_SIZE " + size + "\n";
  out += "#define " + name + "_UNPACKED_SIZE " + full + "\n";
  out += "const unsigned " + name + "_size = " + size + ";\n";
  out += "const unsigned " + name + "_unpacked_size = " + full + ";\n";
  out += "const unsigned char " + name + "[" + size + "] = {";
  return Bytes(out + CValues(packed.data(), packed.size()));
}

std::vector<uint8_t> PackedAsm(const std::vector<uint8_t>& packed, const std::string& name,
                               const std::string& about, size_t unpacked) {
  std::string out = "; " + about + ", made by Velmora\n";
  out += name + "_SIZE equ " + std::to_string(packed.size()) + "\n";
  out += name + "_UNPACKED_SIZE equ " + std::to_string(unpacked) + "\n" + name + ":\n";
  return Bytes(out + AsmLines(packed.data(), packed.size()));
}

std::vector<uint8_t> WriteRaw(const TVeStream& s, const std::string&, const std::string&,
                              const std::string&) {
  auto [data, size] = Payload(s);
  return std::vector<uint8_t>(data, data + size);
}

// What the packers take is the data without the file header: what the unpacker puts in memory.
std::vector<uint8_t> WriteLz4(const TVeStream& s, const std::string&, const std::string&,
                              const std::string&) {
  auto [data, size] = Payload(s);
  return VeLz4Pack(data, size);
}

std::vector<uint8_t> WriteZx0(const TVeStream& s, const std::string&, const std::string&,
                              const std::string&) {
  auto [data, size] = Payload(s);
  return VeZx0Pack(data, size);
}

std::mutex& Lock() {
  static std::mutex lock;
  return lock;
}

// A deque, so that exporters found stay where they are while platforms add theirs.
std::deque<TVeExporter>& List() {
  static std::deque<TVeExporter> list = {
      {"c", "C header", "h", false, nullptr, WriteC, false, nullptr},
      {"asm", "Assembler include", "asm", false, nullptr, WriteAsm, false, nullptr},
      {"raw", "Raw data", "bin", false, nullptr, WriteRaw, false, nullptr},
      {"lz4", "LZ4 packed data", "lz4", false, nullptr, WriteLz4, true, nullptr},
      {"zx0", "ZX0 packed data", "zx0", false, nullptr, WriteZx0, true, nullptr},
  };
  return list;
}

} // namespace

std::vector<TVeExporter> VeExporters() {
  std::lock_guard<std::mutex> lock(Lock());
  return std::vector<TVeExporter>(List().begin(), List().end());
}

const TVeExporter* VeFindExporter(const std::string& kind) {
  std::lock_guard<std::mutex> lock(Lock());
  for (const TVeExporter& e : List())
    if (e.Kind == kind) return &e;
  return nullptr;
}

void VeRegisterExporter(TVeExporter exporter) {
  std::lock_guard<std::mutex> lock(Lock());
  for (const TVeExporter& e : List())
    if (e.Kind == exporter.Kind) return;
  List().push_back(std::move(exporter));
}

std::string VeIdentifierOf(const std::string& fileName) {
  std::string id;
  for (char c : fileName)
    id += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  if (id.empty() || std::isdigit(static_cast<unsigned char>(id[0]))) id = "_" + id;
  return id;
}

void VeAddExportFiles(TVeOutputSet& set, TVeStreamList& streams, const TVeExporter& exporter,
                      const std::string& base, const std::string& mode) {
  struct TFile {
    std::string Path;
    std::vector<uint8_t> Bytes;
  };
  if (exporter.WriteAll) {
    VeAddExportAll(set, {&streams}, exporter, base, mode);
    return;
  }
  std::vector<TFile> files;
  for (int i = 0; i < streams.Count(); ++i) {
    TVeStream& stream = *streams.GetStream(i);
    VeVisitStreamFiles(
        stream, VeChangeFileExt(base, "." + stream.Extension), false,
        [&](TVeStream& s, const std::string& path) {
          if (exporter.Accepts && !exporter.Accepts(s)) return;
          const std::string file = VeExtractFileName(path);
          s.BeforeSave(file);
          const std::string folder = path.substr(0, path.size() - file.size());
          if (exporter.Packed) {
            std::vector<uint8_t> packed = exporter.Write(s, VeIdentifierOf(file), mode, file);
            const std::string packedFile = file + "." + exporter.Extension;
            const std::string id = VeIdentifierOf(packedFile);
            const size_t unpacked = Payload(s).second;
            const std::string about = mode + ": " + file + ", " + exporter.Caption + ", " +
                                      std::to_string(packed.size()) + " bytes (" +
                                      std::to_string(unpacked) + " unpacked)";
            files.push_back({path + "." + exporter.Extension, packed});
            files.push_back({folder + id + ".h", PackedC(packed, id, about, unpacked)});
            files.push_back({folder + id + ".asm", PackedAsm(packed, id, about, unpacked)});
            return;
          }
          std::string name = exporter.WholeName
                                 ? VeChangeFileExt(path, "." + exporter.Extension)
                                 : folder + VeIdentifierOf(file) + "." + exporter.Extension;
          files.push_back({name, exporter.Write(s, VeIdentifierOf(file), mode, file)});
        });
  }
  if (files.empty()) throw EVeError("No file of this mode can be exported as " + exporter.Caption);
  for (TFile& f : files)
    set.Add(f.Path, std::move(f.Bytes));
}

void VeAddExportAll(TVeOutputSet& set, const std::vector<const TVeStreamList*>& frames,
                    const TVeExporter& exporter, const std::string& base, const std::string& mode) {
  if (!exporter.WriteAll) VeInternalError();
  // The writer gets the result's own name ("holiday 2"), which a tape or disk shows.
  const std::string name = VeChangeFileExt(base, "." + exporter.Extension);
  set.Add(name, exporter.WriteAll(frames, VeExtractFileName(VeChangeFileExt(base, "")), mode));
}
