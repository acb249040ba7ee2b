#pragma once
// File naming and safe writing shared by the save commands, the batch converter and the
// command line.
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

// The file name part of a path.
std::string VeExtractFileName(const std::string& path);

// Name of frame k of a result saved under path: picture.png -> picture.0.png.
std::string VeFrameFileName(const std::string& path, int frame);

// Writes the whole buffer to a temporary file in the target's folder and renames it over
// the target, so a failure never leaves a truncated file that looks like a result.
// Raises EVeError with the path on failure; the temporary file is removed.
void VeWriteFileAtomic(const std::string& path, const void* data, size_t size);
inline void VeWriteFileAtomic(const std::string& path, const std::vector<uint8_t>& bytes) {
  VeWriteFileAtomic(path, bytes.data(), bytes.size());
}
