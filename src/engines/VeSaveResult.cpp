#include "VeSaveResult.h"

#include <cctype>
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
  std::string tmpl =
      path.substr(0, NameStart(path)) + "." + path.substr(NameStart(path)) + ".XXXXXX";
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

// ---- Result pictures

#include "VeBitmap.h"
#include "VePictureCodecs.h"

const char* VeSaveFormatExt(TVeSaveFormat format) {
  switch (format) {
  case sfPNG:
    return "png";
  case sfGIF:
    return "gif";
  default:
    return "bmp";
  }
}

TVeSaveFormat VeSaveFormatFromName(const std::string& path) {
  std::string ext = VeExtractFileExt(path);
  for (char& c : ext)
    c = char(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".png") return sfPNG;
  if (ext == ".gif") return sfGIF;
  return sfBMP;
}

namespace {

std::vector<uint8_t> Encode(int width, int height, int bitCount, std::vector<uint32_t> table,
                            const TVeRowSource& row, TVeSaveFormat format) {
  if (width <= 0 || height <= 0) throw EVeError("There is no result to save");
  if (bitCount <= 8) {
    // A colour table is never empty in a picture file; an empty palette shows black.
    if (table.empty()) table.push_back(0);
    if (table.size() > (size_t(1) << bitCount)) table.resize(size_t(1) << bitCount);
  } else {
    table.clear();
  }
  switch (format) {
  case sfPNG:
    return VeWritePng(width, height, bitCount, table, row, VeSoftwareName);
  case sfGIF:
    if (bitCount > 8) throw EVeError("GIF cannot hold a picture of more than 8 bits per pixel");
    return VeWriteGif(width, height, bitCount, table, row);
  default:
    return VeWriteBmp(width, height, bitCount, table, row);
  }
}

} // namespace

std::vector<uint8_t> VeEncodeResult(const TVeDib& dib, TVeSaveFormat format) {
  if (dib.BitCount != 1 && dib.BitCount != 4 && dib.BitCount != 8 && dib.BitCount != 24)
    VeInternalError();
  const uint8_t* bits = dib.Bits.data();
  int h = dib.Height, stride = dib.Stride;
  if (int64_t(stride) * h > int64_t(dib.Bits.size())) VeInternalError();
  return Encode(
      dib.Width, h, dib.BitCount, dib.ColorTable,
      [bits, h, stride](int y) { return bits + ptrdiff_t(h - 1 - y) * stride; }, format);
}

std::vector<uint8_t> VeEncodeResult(const TVeBitmap& bitmap, TVeSaveFormat format) {
  const TVeDib* dib = bitmap.Handle();
  if (!dib) throw EVeError("There is no result to save");
  return VeEncodeResult(*dib, format);
}

std::vector<std::string> VeSaveResultPicture(const TVeBitmap& bitmap, const TVeBitmapList* frames,
                                             const std::string& path, TVeSaveFormat format) {
  if (format == sfNative) VeInternalError();
  std::vector<std::string> written;
  VeWriteFileAtomic(path, VeEncodeResult(bitmap, format));
  written.push_back(path);
  for (int k = 0; frames && k < frames->Count(); ++k) {
    std::string name = VeFrameFileName(path, k);
    VeWriteFileAtomic(name, VeEncodeResult(*frames->GetBitmap(k), format));
    written.push_back(name);
  }
  return written;
}

#include "VeStream.h"

namespace {

// stem: the file name without extension, to which "." and the format's extension are added.
void SaveByBatchRule(const TVeBitmap& bitmap, TVeSaveFormat format, const std::string& stem,
                     std::vector<std::string>& written) {
  if (format == sfGIF && bitmap.BitCount() > 8) format = sfBMP;
  std::string path = stem + "." + VeSaveFormatExt(format);
  VeWriteFileAtomic(path, VeEncodeResult(bitmap, format));
  written.push_back(path);
}

} // namespace

std::vector<std::string> VeSaveResultFiles(const TVeBitmap& bitmap, const TVeBitmapList* frames,
                                           TVeStreamList* streams, TVeSaveFormat format,
                                           const std::string& base) {
  std::vector<std::string> written;
  if (format == sfNative) {
    if (streams && streams->Count() > 0) {
      for (int i = 0; i < streams->Count(); ++i) {
        TVeStream* s = streams->GetStream(i);
        VeWriteStream(*s, VeChangeFileExt(base, "." + s->Extension), false, &written);
      }
      return written;
    }
    format = sfBMP;
  }
  std::string stem = VeChangeFileExt(base, "");
  SaveByBatchRule(bitmap, format, stem, written);
  for (int k = 0; frames && k < frames->Count(); ++k)
    SaveByBatchRule(*frames->GetBitmap(k), format, stem + "." + std::to_string(k), written);
  return written;
}
