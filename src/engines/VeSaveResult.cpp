#include "VeSaveResult.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "VeErrors.h"

namespace {

size_t NameStart(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

// Position of the extension's dot inside the name part, or npos. A leading dot (".profile")
// is part of the name, not an extension.
size_t ExtDot(const std::string& path) {
  size_t start = NameStart(path);
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || dot < start) return std::string::npos;
  return dot;
}

} // namespace

std::string VeChangeFileExt(const std::string& path, const std::string& ext) {
  size_t dot = ExtDot(path);
  return (dot == std::string::npos ? path : path.substr(0, dot)) + ext;
}

std::string VeExtractFileExt(const std::string& path) {
  size_t dot = ExtDot(path);
  return dot == std::string::npos ? std::string() : path.substr(dot);
}

std::string VeExtractFileName(const std::string& path) {
  return path.substr(NameStart(path));
}

std::string VeFrameFileName(const std::string& path, int frame) {
  return VeChangeFileExt(path, "." + std::to_string(frame) + VeExtractFileExt(path));
}

void VeWriteFileAtomic(const std::string& path, const void* data, size_t size) {
  if (path.empty() || path.back() == '/') throw EVeError("Cannot write file: invalid name");
  std::string tmpl = path.substr(0, NameStart(path)) + "." + VeExtractFileName(path) + ".XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back(0);
  int fd = mkstemp(name.data());
  if (fd < 0) throw EVeError("Cannot write " + path + ": " + std::strerror(errno));
  const char* p = static_cast<const char*>(data);
  size_t left = size;
  int err = 0;
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      break;
    }
    p += n;
    left -= size_t(n);
  }
  // mkstemp creates the file 0600; results are ordinary files for the user.
  if (!err) {
    mode_t mask = umask(0);
    umask(mask);
    if (fchmod(fd, 0666 & ~mask) != 0) err = errno;
  }
  if (::close(fd) != 0 && !err) err = errno;
  if (!err && std::rename(name.data(), path.c_str()) != 0) err = errno;
  if (err) {
    std::remove(name.data());
    throw EVeError("Cannot write " + path + ": " + std::strerror(err));
  }
}
