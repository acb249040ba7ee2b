#include "VeOutputSet.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "VeStream.h"

namespace fs = std::filesystem;

namespace {

[[noreturn]] void ThrowWriteError(const std::string& path, int error) {
  throw EVeError("Cannot write file \"" + path + "\": " + std::strerror(error));
}

// A name beside target that nothing else uses: ".name.<pid>.<n><suffix>".
fs::path SideName(const fs::path& target, const char* suffix) {
  static std::atomic<unsigned> counter{0};
  return target.parent_path() / ("." + target.filename().string() + "." + std::to_string(getpid()) +
                                 "." + std::to_string(counter.fetch_add(1)) + suffix);
}

// Writes a temporary file beside target with the mode (and, where allowed, the owner) of
// the file it replaces; new files get 0666 less the umask, as any program's.
fs::path WriteTemporary(const fs::path& target, const std::vector<uint8_t>& bytes,
                        const struct stat* existing) {
  fs::path temp;
  int fd = -1;
  for (int attempt = 0; fd < 0; ++attempt) {
    temp = SideName(target, ".tmp");
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && (errno != EEXIST || attempt >= 100)) ThrowWriteError(target.string(), errno);
  }
  int error = 0;
  for (size_t done = 0; done < bytes.size() && !error;) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno != EINTR) error = errno;
    } else {
      done += size_t(n);
    }
  }
  if (!error && existing) {
    if (existing->st_uid != geteuid() || existing->st_gid != getegid())
      (void)!::fchown(fd, existing->st_uid, existing->st_gid); // only root may; fine if not
    if (::fchmod(fd, existing->st_mode & 07777) != 0) error = errno;
  }
  if (!error && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && !error) error = errno;
  if (error) {
    ::unlink(temp.c_str());
    ThrowWriteError(target.string(), error);
  }
  return temp;
}

} // namespace

std::string VeNormalPath(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::absolute(fs::path(path), ec);
  if (ec) p = fs::path(path);
  fs::path c = fs::weakly_canonical(p, ec);
  return (ec ? p.lexically_normal() : c).string();
}

bool VeSameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0)
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  return VeNormalPath(a) == VeNormalPath(b);
}

void TVeOutputSet::Protect(const std::string& path) {
  if (!path.empty()) FProtected.push_back(path);
}

void TVeOutputSet::Add(const std::string& path, std::vector<uint8_t> bytes) {
  FNames.push_back(path);
  FBytes.push_back(std::move(bytes));
}

void TVeOutputSet::AddStream(TVeStream& stream, const std::string& fileName, bool adjustName) {
  VeVisitStreamFiles(stream, fileName, adjustName, [this](TVeStream& s, const std::string& path) {
    s.BeforeSave(fs::path(path).filename().string());
    Add(path, s.Bytes());
  });
}

bool TVeOutputSet::Takes(const std::string& path) const {
  for (const std::string& n : FNames)
    if (VeSameFile(n, path)) return true;
  for (const std::string& n : FProtected)
    if (VeSameFile(n, path)) return true;
  return false;
}

void TVeOutputSet::Check(bool replaceReadOnly) const {
  for (size_t i = 0; i < FNames.size(); ++i) {
    const std::string& name = FNames[i];
    std::string file = fs::path(name).filename().string();
    if (file.empty() || file == "." || file == "..")
      throw EVeOutputRefused(TVeOutputRefusal::NoName, name,
                             "Cannot write file \"" + name + "\": no file name");
    struct stat st;
    if (::stat(name.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode))
        throw EVeOutputRefused(TVeOutputRefusal::Folder, name,
                               "Cannot write file \"" + name + "\": Is a folder");
      // Putting a file in place of a device (or of a link to one) would give it the
      // device's mode, often world-writable, and writing into the device is no result.
      if (!S_ISREG(st.st_mode))
        throw EVeOutputRefused(TVeOutputRefusal::Special, name,
                               "Refusing to replace \"" + name + "\": it is not a regular file");
      for (const std::string& input : FProtected)
        if (VeSameFile(input, name))
          throw EVeOutputRefused(TVeOutputRefusal::InputFile, name,
                                 "Refusing to replace \"" + name +
                                     "\": it is one of the files being read");
      // Root may write anything, so the permission bits decide as well.
      if (!replaceReadOnly && S_ISREG(st.st_mode) &&
          (::access(name.c_str(), W_OK) != 0 || (st.st_mode & 0222) == 0))
        throw EVeOutputRefused(TVeOutputRefusal::ReadOnly, name,
                               "Refusing to replace \"" + name + "\": the file is read-only");
    }
    for (size_t j = 0; j < i; ++j)
      if (VeSameFile(FNames[j], name))
        throw EVeOutputRefused(TVeOutputRefusal::Duplicate, name,
                               "Two results would be written to \"" + name + "\"");
  }
}

std::vector<std::string> TVeOutputSet::Commit(bool replaceReadOnly) {
  Check(replaceReadOnly);
  struct TEntry {
    fs::path Target, Temp, Backup;
    bool Existed = false, Linked = false, Placed = false;
    struct stat Old {};
  };
  std::vector<TEntry> entries(FNames.size());
  std::vector<fs::path> madeFolders; // deepest last
  auto rollBack = [&] {
    for (size_t i = entries.size(); i-- > 0;) {
      TEntry& e = entries[i];
      if (!e.Temp.empty()) ::unlink(e.Temp.c_str());
      if (e.Backup.empty()) {
        if (e.Placed) ::unlink(e.Target.c_str());
      } else if (e.Placed || !e.Linked) {
        ::rename(e.Backup.c_str(), e.Target.c_str());
      } else {
        ::unlink(e.Backup.c_str());
      }
    }
    for (size_t i = madeFolders.size(); i-- > 0;)
      ::rmdir(madeFolders[i].c_str());
  };
  try {
    for (size_t i = 0; i < entries.size(); ++i) {
      TEntry& e = entries[i];
      e.Target = fs::path(FNames[i]);
      e.Existed = ::stat(e.Target.c_str(), &e.Old) == 0;
      fs::path parent = e.Target.parent_path();
      if (MakeFolders && !e.Existed && !parent.empty()) {
        std::vector<fs::path> chain;
        std::error_code ec;
        for (fs::path p = parent; !p.empty() && !fs::exists(p, ec); p = p.parent_path())
          chain.push_back(p);
        for (size_t k = chain.size(); k-- > 0;) {
          if (::mkdir(chain[k].c_str(), 0777) != 0 && errno != EEXIST)
            throw EVeError("Cannot create folder " + chain[k].string() + ": " +
                           std::strerror(errno));
          madeFolders.push_back(chain[k]);
        }
      }
      e.Temp = WriteTemporary(e.Target, FBytes[i], e.Existed ? &e.Old : nullptr);
    }
    for (TEntry& e : entries) {
      if (e.Existed) {
        // A hard link keeps the old file under the backup name while the new one takes its
        // place; where links are not possible the old file is moved aside instead.
        e.Backup = SideName(e.Target, ".old");
        e.Linked = ::link(e.Target.c_str(), e.Backup.c_str()) == 0;
        if (!e.Linked && ::rename(e.Target.c_str(), e.Backup.c_str()) != 0) {
          int err = errno;
          e.Backup.clear();
          ThrowWriteError(e.Target.string(), err);
        }
      }
      if (::rename(e.Temp.c_str(), e.Target.c_str()) != 0)
        ThrowWriteError(e.Target.string(), errno);
      e.Temp.clear();
      e.Placed = true;
    }
  } catch (...) {
    rollBack();
    throw;
  }
  for (TEntry& e : entries)
    if (!e.Backup.empty()) ::unlink(e.Backup.c_str());
  return FNames;
}
