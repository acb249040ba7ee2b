#include "VeExport.h"

#include <cctype>
#include <cstdio>
#include <deque>
#include <mutex>

#include "VeErrors.h"
#include "VeOutputSet.h"
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

std::vector<uint8_t> WriteC(const TVeStream& s, const std::string& name, const std::string& mode,
                            const std::string& file) {
  std::string out =
      "/* " + mode + ": " + file + ", " + std::to_string(s.Size()) + " bytes, made by Velmora */\n";
  out += "#define " + name + "_SIZE " + std::to_string(s.Size()) + "\n";
  out += "const unsigned char " + name + "[" + std::to_string(s.Size()) + "] = {";
  char buf[8];
  for (size_t i = 0; i < s.Size(); ++i) {
    out += i % 16 == 0 ? "\n  " : " ";
    std::snprintf(buf, sizeof buf, "0x%02X", s[i]);
    out += buf;
    if (i + 1 < s.Size()) out += ',';
  }
  out += "\n};\n";
  return Bytes(out);
}

// "0FFh": hexadecimal that every Z80 assembler reads.
std::vector<uint8_t> WriteAsm(const TVeStream& s, const std::string& name, const std::string& mode,
                              const std::string& file) {
  std::string out =
      "; " + mode + ": " + file + ", " + std::to_string(s.Size()) + " bytes, made by Velmora\n";
  out += name + "_SIZE equ " + std::to_string(s.Size()) + "\n" + name + ":\n";
  char buf[8];
  for (size_t i = 0; i < s.Size(); ++i) {
    out += i % 16 == 0 ? "    defb " : ",";
    std::snprintf(buf, sizeof buf, "0%02Xh", s[i]);
    out += buf;
    if (i % 16 == 15 || i + 1 == s.Size()) out += "\n";
  }
  return Bytes(out);
}

std::vector<uint8_t> WriteRaw(const TVeStream& s, const std::string&, const std::string&,
                              const std::string&) {
  auto [data, size] = Payload(s);
  return std::vector<uint8_t>(data, data + size);
}

std::mutex& Lock() {
  static std::mutex lock;
  return lock;
}

// A deque, so that exporters found stay where they are while platforms add theirs.
std::deque<TVeExporter>& List() {
  static std::deque<TVeExporter> list = {
      {"c", "C header", "h", false, nullptr, WriteC},
      {"asm", "Assembler include", "asm", false, nullptr, WriteAsm},
      {"raw", "Raw data", "bin", false, nullptr, WriteRaw},
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
