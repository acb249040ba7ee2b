#include "VeSaveResult.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "VeErrors.h"
#include "VeOutputSet.h"

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

std::string VeNameWithExtension(const std::string& path, const std::string& ext) {
  std::string have = VeExtractFileExt(path);
  bool same = have.size() == ext.size() + 1;
  for (size_t i = 0; same && i < ext.size(); ++i)
    same = std::tolower(static_cast<unsigned char>(have[i + 1])) ==
           std::tolower(static_cast<unsigned char>(ext[i]));
  return same ? path : path + "." + ext;
}

std::string VeFrameFileName(const std::string& path, int frame) {
  return VeChangeFileExt(path, "." + std::to_string(frame) + VeExtractFileExt(path));
}

void VeWriteFileAtomic(const std::string& path, const void* data, size_t size) {
  if (path.empty() || path.back() == '/') throw EVeError("Cannot write file: invalid name");
  const uint8_t* p = static_cast<const uint8_t*>(data);
  TVeOutputSet set;
  set.MakeFolders = false;
  set.Add(path, std::vector<uint8_t>(p, p + size));
  set.Commit(true);
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

void VeAddResultPicture(TVeOutputSet& set, const TVeBitmap& bitmap, const TVeBitmapList* frames,
                        const std::string& path, TVeSaveFormat format) {
  if (format == sfNative) VeInternalError();
  set.Add(path, VeEncodeResult(bitmap, format));
  for (int k = 0; frames && k < frames->Count(); ++k)
    set.Add(VeFrameFileName(path, k), VeEncodeResult(*frames->GetBitmap(k), format));
}

std::vector<std::string> VeSaveResultPicture(const TVeBitmap& bitmap, const TVeBitmapList* frames,
                                             const std::string& path, TVeSaveFormat format,
                                             bool replaceReadOnly) {
  TVeOutputSet set;
  VeAddResultPicture(set, bitmap, frames, path, format);
  return set.Commit(replaceReadOnly);
}

#include "VeStream.h"

namespace {

// stem: the file name without extension, to which "." and the format's extension are added.
void AddByBatchRule(TVeOutputSet& set, const TVeBitmap& bitmap, TVeSaveFormat format,
                    const std::string& stem) {
  if (format == sfGIF && bitmap.BitCount() > 8) format = sfBMP;
  set.Add(stem + "." + VeSaveFormatExt(format), VeEncodeResult(bitmap, format));
}

} // namespace

void VeAddResultFiles(TVeOutputSet& set, const TVeBitmap& bitmap, const TVeBitmapList* frames,
                      TVeStreamList* streams, TVeSaveFormat format, const std::string& base) {
  if (format == sfNative) {
    if (streams && streams->Count() > 0) {
      for (int i = 0; i < streams->Count(); ++i) {
        TVeStream* s = streams->GetStream(i);
        set.AddStream(*s, VeChangeFileExt(base, "." + s->Extension), false);
      }
      return;
    }
    format = sfBMP;
  }
  std::string stem = VeChangeFileExt(base, "");
  AddByBatchRule(set, bitmap, format, stem);
  for (int k = 0; frames && k < frames->Count(); ++k)
    AddByBatchRule(set, *frames->GetBitmap(k), format, stem + "." + std::to_string(k));
}

std::vector<std::string> VeSaveResultFiles(const TVeBitmap& bitmap, const TVeBitmapList* frames,
                                           TVeStreamList* streams, TVeSaveFormat format,
                                           const std::string& base, bool replaceReadOnly) {
  TVeOutputSet set;
  VeAddResultFiles(set, bitmap, frames, streams, format, base);
  return set.Commit(replaceReadOnly);
}
