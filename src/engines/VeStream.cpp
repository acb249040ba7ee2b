#include "VeStream.h"

#include <cstring>
#include <filesystem>

#include "VeErrors.h"
#include "VeOutputSet.h"

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

void VeVisitStreamFiles(TVeStream& stream, const std::string& fileName, bool adjustName,
                        const std::function<void(TVeStream&, const std::string&)>& visit) {
  std::filesystem::path path(fileName);
  std::string name = path.filename().string();
  if (adjustName) {
    stream.AdjustFileName(name);
    path.replace_filename(name);
  }
  if (name.empty() || name == "." || name == "..")
    throw EVeOutputRefused(TVeOutputRefusal::NoName, path.string(),
                           "Cannot write file \"" + path.string() + "\": no file name");
  visit(stream, path.string());
  for (int i = 0; i < stream.SubCount(); ++i) {
    TVeStream& sub = *stream.GetSubStream(i);
    std::filesystem::path subPath = path;
    subPath.replace_extension(sub.Extension.empty() ? std::string() : "." + sub.Extension);
    if (subPath == path)
      throw EVeOutputRefused(TVeOutputRefusal::Duplicate, subPath.string(),
                             "Cannot write file \"" + subPath.string() +
                                 "\": the companion file has the same name");
    VeVisitStreamFiles(sub, subPath.string(), adjustName, visit);
  }
}

void VeWriteStream(TVeStream& stream, const std::string& fileName, bool adjustName,
                   std::vector<std::string>* written) {
  TVeOutputSet set;
  set.MakeFolders = false;
  set.AddStream(stream, fileName, adjustName);
  std::vector<std::string> names = set.Commit(true);
  if (written) written->insert(written->end(), names.begin(), names.end());
}
