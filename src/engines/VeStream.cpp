#include "VeStream.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

#include "VeErrors.h"

// ---------------------------------------------------------------------------------------
// TVeStream

TVeStream::TVeStream(std::string extension) : Extension(std::move(extension)) {}

TVeStream::~TVeStream() = default;

void TVeStream::Write(const void* data, size_t count) {
  if (count == 0) return;
  if (Position + count > FBytes.size()) FBytes.resize(Position + count);
  std::memcpy(FBytes.data() + Position, data, count);
  Position += count;
}

void TVeStream::AdjustFileName(std::string&) {}

void TVeStream::BeforeSave(const std::string&) {}

TVeStream* TVeStream::AddSub(TVeStream* stream) {
  return AddSub(std::unique_ptr<TVeStream>(stream));
}

TVeStream* TVeStream::AddSub(std::unique_ptr<TVeStream> stream) {
  if (!FSubStreams) FSubStreams = std::make_unique<TVeStreamList>();
  return FSubStreams->Add(std::move(stream));
}

TVeStream* TVeStream::AddNewSub(const std::string& extension, long long size, uint8_t fill) {
  if (!FSubStreams) FSubStreams = std::make_unique<TVeStreamList>();
  return FSubStreams->AddNew(extension, size, fill);
}

int TVeStream::SubCount() const {
  return FSubStreams ? FSubStreams->Count() : 0;
}

TVeStream* TVeStream::GetSubStream(int index) const {
  if (!FSubStreams) VeInternalError();
  return FSubStreams->GetStream(index);
}

std::string TVeStream::Label() const {
  std::string label = Extension.empty() ? std::string("RAW") : Extension;
  for (char& c : label)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  for (int i = 0; i < SubCount(); ++i)
    label += "/" + GetSubStream(i)->Label();
  return label;
}

// ---------------------------------------------------------------------------------------
// TVeStreamList

TVeStreamList::~TVeStreamList() = default;

TVeStream* TVeStreamList::Add(TVeStream* stream) {
  return Add(std::unique_ptr<TVeStream>(stream));
}

TVeStream* TVeStreamList::Add(std::unique_ptr<TVeStream> stream) {
  if (!stream) VeInternalError();
  FStreams.push_back(std::move(stream)); // on failure the unique_ptr frees the stream
  return FStreams.back().get();
}

TVeStream* TVeStreamList::AddNew(const std::string& extension, long long size, uint8_t fill) {
  auto stream = std::make_unique<TVeStream>(extension);
  if (size > 0) stream->SetSize(size_t(size), fill);
  return Add(std::move(stream));
}

TVeStream* TVeStreamList::GetStream(int index) const {
  if (index < 0 || index >= Count()) VeInternalError();
  return FStreams[size_t(index)].get();
}

// ---------------------------------------------------------------------------------------
// Writing

namespace {

[[noreturn]] void ThrowWriteError(const std::filesystem::path& path, int error) {
  throw EVeError("Cannot write file \"" + path.string() + "\": " + std::strerror(error));
}

// Writes the bytes to a new file in the target's folder, then renames it over the target,
// so that a failure never leaves a truncated file under the final name.
void WriteFileAtomically(const std::filesystem::path& path, const uint8_t* data, size_t size) {
  static std::atomic<unsigned> counter{0};
  const std::filesystem::path folder = path.parent_path();
  std::filesystem::path temp;
  int fd = -1;
  for (int attempt = 0; fd < 0; ++attempt) {
    temp = folder / ("." + path.filename().string() + "." + std::to_string(getpid()) + "." +
                     std::to_string(counter.fetch_add(1)) + ".tmp");
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && (errno != EEXIST || attempt >= 100)) ThrowWriteError(path, errno);
  }
  int error = 0;
  for (size_t done = 0; done < size && !error;) {
    ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0) {
      if (errno != EINTR) error = errno;
    } else {
      done += size_t(n);
    }
  }
  if (!error && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && !error) error = errno;
  if (!error && std::rename(temp.c_str(), path.c_str()) != 0) error = errno;
  if (error) {
    ::unlink(temp.c_str());
    ThrowWriteError(path, error);
  }
}

void WriteStreamTree(TVeStream& stream, std::filesystem::path path, bool adjustName,
                     std::vector<std::string>* written) {
  std::string name = path.filename().string();
  if (adjustName) {
    stream.AdjustFileName(name);
    path.replace_filename(name);
  }
  if (name.empty() || name == "." || name == "..")
    throw EVeError("Cannot write file \"" + path.string() + "\": no file name");
  stream.BeforeSave(name);
  WriteFileAtomically(path, stream.Data(), stream.Size());
  if (written) written->push_back(path.string());
  for (int i = 0; i < stream.SubCount(); ++i) {
    TVeStream& sub = *stream.GetSubStream(i);
    std::filesystem::path subPath = path;
    subPath.replace_extension(sub.Extension.empty() ? std::string() : "." + sub.Extension);
    // A companion must never overwrite the file it belongs to.
    if (subPath == path)
      throw EVeError("Cannot write file \"" + subPath.string() +
                     "\": the companion file has the same name");
    WriteStreamTree(sub, subPath, adjustName, written);
  }
}

} // namespace

void VeWriteStream(TVeStream& stream, const std::string& fileName, bool adjustName,
                   std::vector<std::string>* written) {
  WriteStreamTree(stream, std::filesystem::path(fileName), adjustName, written);
}
