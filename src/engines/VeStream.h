#pragma once
// Native output files of a conversion: named in-memory byte blocks, each with optional
// companion files (sub-streams) that are saved next to it under the same base name.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TVeStreamList;

class TVeStream {
public:
  explicit TVeStream(std::string extension = std::string());
  virtual ~TVeStream();
  TVeStream(const TVeStream&) = delete;
  TVeStream& operator=(const TVeStream&) = delete;

  // Without the dot ("scr", "pal"); may be empty.
  std::string Extension;
  // Bytes of the machine's file header before the data (a disk or loader header), which a
  // raw export leaves out.
  size_t HeaderSize = 0;

  // The bytes.
  size_t Size() const { return FBytes.size(); }
  uint8_t* Data() { return FBytes.data(); }
  const uint8_t* Data() const { return FBytes.data(); }
  uint8_t& operator[](size_t index) { return FBytes[index]; }
  uint8_t operator[](size_t index) const { return FBytes[index]; }
  std::vector<uint8_t>& Bytes() { return FBytes; }
  const std::vector<uint8_t>& Bytes() const { return FBytes; }
  // Grows with fill bytes or truncates; the position is kept.
  void SetSize(size_t size, uint8_t fill = 0) { FBytes.resize(size, fill); }

  // Sequential writing, as into a memory stream: writes at Position, growing as needed.
  size_t Position = 0;
  void Write(const void* data, size_t count);
  void WriteByte(uint8_t value) { Write(&value, 1); }

  // Called before an interactive save with the file name without folder; may change it.
  virtual void AdjustFileName(std::string& fileName);
  // Called with the final file name without folder, just before the bytes are written;
  // subclasses put the name into a file header here.
  virtual void BeforeSave(const std::string& fileName);

  // Companion files; the list is created on first use and owned by the stream.
  TVeStream* AddSub(TVeStream* stream);
  TVeStream* AddSub(std::unique_ptr<TVeStream> stream);
  TVeStream* AddNewSub(const std::string& extension, long long size, uint8_t fill = 0);
  int SubCount() const;
  TVeStream* GetSubStream(int index) const;
  TVeStreamList* SubStreams() const { return FSubStreams.get(); }

  // "SCR", "RAW" for an empty extension, then "/" and each sub-stream's label: "EVE/ODD".
  std::string Label() const;

private:
  std::vector<uint8_t> FBytes;
  std::unique_ptr<TVeStreamList> FSubStreams;
};

class TVeStreamList {
public:
  TVeStreamList() = default;
  ~TVeStreamList();
  TVeStreamList(const TVeStreamList&) = delete;
  TVeStreamList& operator=(const TVeStreamList&) = delete;

  // Takes ownership, also when appending fails (the stream is then freed).
  TVeStream* Add(TVeStream* stream);
  TVeStream* Add(std::unique_ptr<TVeStream> stream);
  // A new stream of exactly size bytes (none when size <= 0), each holding fill.
  TVeStream* AddNew(const std::string& extension, long long size, uint8_t fill = 0);

  int Count() const { return int(FStreams.size()); }
  TVeStream* GetStream(int index) const;
  TVeStream* Streams(int index) const { return GetStream(index); }
  const std::string& GetExtension(int index) const { return GetStream(index)->Extension; }
  const std::string& Extensions(int index) const { return GetExtension(index); }

private:
  std::vector<std::unique_ptr<TVeStream>> FStreams;
};

// Writes stream under fileName (folder + name) and then its companion files depth first,
// each named like the file it belongs to with the extension replaced by its own. With
// adjustName the stream may first change its name part (interactive saving; the batch
// converter passes false). The files are written all or nothing and replace existing ones
// (a save the user has confirmed). A failure raises EVeError naming the path. The names
// written are appended to written (when given).
// Calls visit for stream under fileName and then for its companion files depth first, each
// with the name it is written under (the file it belongs to, with its own extension). With
// adjustName the stream may first change its name part (interactive saving).
void VeVisitStreamFiles(TVeStream& stream, const std::string& fileName, bool adjustName,
                        const std::function<void(TVeStream&, const std::string&)>& visit);

void VeWriteStream(TVeStream& stream, const std::string& fileName, bool adjustName = true,
                   std::vector<std::string>* written = nullptr);
