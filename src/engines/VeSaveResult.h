#pragma once
// Saving a conversion result: the result picture as BMP, PNG or GIF with one extra file per
// flicker frame, and the mode's native files. Shared by the save commands, the batch
// converter and the command line. Every file is written completely or not at all.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "VeErrors.h"

// Replaces the extension of the file name part (folders are left alone); ext includes the
// dot or is empty. A name without extension gets ext appended.
std::string VeChangeFileExt(const std::string& path, const std::string& ext);

// The extension of the file name part including the dot, or empty.
std::string VeExtractFileExt(const std::string& path);

// The file name part of a path (everything after the last '/').
std::string VeExtractFileName(const std::string& path);

// path when its extension is already ext (without the dot, any case), else path + "." + ext:
// a save command's format decides what its file is called, so "x.jpg" saved as PNG becomes
// "x.jpg.png" rather than PNG bytes under a JPEG name.
std::string VeNameWithExtension(const std::string& path, const std::string& ext);

// Name of frame k of a result saved under path: picture.png -> picture.0.png.
std::string VeFrameFileName(const std::string& path, int frame);

// Writes the whole buffer to a temporary file in the target's folder and renames it over
// the target (keeping its permissions), so a failure never leaves a truncated file that
// looks like a result. For saves the user has confirmed. Raises EVeError with the path.
void VeWriteFileAtomic(const std::string& path, const void* data, size_t size);
inline void VeWriteFileAtomic(const std::string& path, const std::vector<uint8_t>& bytes) {
  VeWriteFileAtomic(path, bytes.data(), bytes.size());
}

class TVeBitmap;
class TVeBitmapList;
struct TVeDib;
class TVeStreamList;
class TVeOutputSet;

// Result formats in the order of the batch dialog's "&Format:" list.
enum TVeSaveFormat : int { sfBMP = 0, sfPNG = 1, sfGIF = 2, sfNative = 3 };
// "bmp", "png", "gif" for the three picture formats.
const char* VeSaveFormatExt(TVeSaveFormat format);
// The picture format of a file name by its extension (case-insensitive); BMP otherwise.
TVeSaveFormat VeSaveFormatFromName(const std::string& path);

// The text of the PNG "Software" chunk.
inline constexpr const char* VeSoftwareName = "Velmora";

// Encodes a result picture. BMP keeps indexed bitmaps' palette and depth; PNG carries the
// "Software" text chunk and compression level 9; GIF takes at most 8 bits per pixel and
// raises EVeError for more.
std::vector<uint8_t> VeEncodeResult(const TVeBitmap& bitmap, TVeSaveFormat format);
std::vector<uint8_t> VeEncodeResult(const TVeDib& dib, TVeSaveFormat format);

// The picture under path and every frame k under VeFrameFileName(path, k), all in the given
// picture format: queued in a set, or written all or nothing. Returns the names written.
void VeAddResultPicture(TVeOutputSet& set, const TVeBitmap& bitmap, const TVeBitmapList* frames,
                        const std::string& path, TVeSaveFormat format);
std::vector<std::string> VeSaveResultPicture(const TVeBitmap& bitmap, const TVeBitmapList* frames,
                                             const std::string& path, TVeSaveFormat format,
                                             bool replaceReadOnly = false);

// The files of a result named after base (a path whose extension is replaced), as the batch
// converter writes them: the picture as base.ext and frame k as base.k.ext; GIF falls back
// to BMP for any image of more than 8 bits per pixel, frame by frame; sfNative writes each
// stream as base.<stream extension> with its companion files, or BMP when the conversion
// made no files. Queued in a set, or written all or nothing; returns the names written.
void VeAddResultFiles(TVeOutputSet& set, const TVeBitmap& bitmap, const TVeBitmapList* frames,
                      TVeStreamList* streams, TVeSaveFormat format, const std::string& base);
std::vector<std::string> VeSaveResultFiles(const TVeBitmap& bitmap, const TVeBitmapList* frames,
                                           TVeStreamList* streams, TVeSaveFormat format,
                                           const std::string& base, bool replaceReadOnly = false);
