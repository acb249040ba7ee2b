#pragma once
// The bytes a native loader works on: a file with its companion files, or a piece of memory.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "VeSaveResult.h" // VeExtractFileName

// A file read into memory. Data is owned; Size mirrors Data.size().
struct TVeLoadSourceRec {
  std::string Name; // as asked
  std::string Ext;  // lower-cased, with the dot
  std::vector<uint8_t> Data;
  int32_t Size = 0;
};

// Lower-cased extension of a file name including the dot ("" when there is none).
std::string VeLowerExt(const std::string& name);
// The name of a companion file: the extension replaced, in the letter case of the old one.
std::string VeCompanionName(const std::string& name, const std::string& ext);

class TVeLoadSource {
public:
  std::string Name; // file name without folder
  std::string Ext;  // lower-cased extension with the dot
  const uint8_t* Data = nullptr;
  int32_t Size = 0;

  virtual ~TVeLoadSource() = default;
  // A companion file (or the main file) by name; nullptr when there is none.
  virtual const TVeLoadSourceRec* FindFile(const std::string& name);
  // Why a companion that is there cannot be read ("Is a folder", "File too large (...)",
  // ...); empty when it reads, or when there is nothing of that name.
  virtual std::string CompanionProblem(const std::string& name);
};

class TVeFileLoadSource : public TVeLoadSource {
public:
  // Larger files are never read.
  static constexpr int64_t MaxFileSize = 10485760;

  std::string Folder; // with its trailing delimiter
  std::vector<std::unique_ptr<TVeLoadSourceRec>> Files;

  explicit TVeFileLoadSource(const std::string& path);
  const TVeLoadSourceRec* FindFile(const std::string& name) override;
  std::string CompanionProblem(const std::string& name) override;
  // What to tell the user when Size is 0: why the main file could not be read ("No such
  // file", "File too large (...)", ...), or "Unknown image type" for an empty file.
  std::string EmptyReason() const;

private:
  const TVeLoadSourceRec* Load(const std::string& name, std::string& problem);

  std::string FMainProblem;
};

// Bytes owned by the caller, for example a screen taken out of a snapshot.
class TVeMemoryLoadSource : public TVeLoadSource {
public:
  TVeMemoryLoadSource(const std::string& name, int32_t size, const uint8_t* data);
};
