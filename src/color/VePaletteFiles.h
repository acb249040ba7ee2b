#pragma once
// Palette files: JASC and GIMP text palettes, RIFF palettes, raw 768/772-byte tables (.act)
// and the palettes of BMP, PNG and GIF pictures are read; JASC is written.
#include <iosfwd>
#include <string>

#include "VePalette.h"

// Sets FileName and Name, then reads the file. A file of exactly 768 or 772 bytes is a raw
// table unless its extension is ".act" or it begins with a JASC, GIMP or RIFF palette
// header; those go by their content like any other file.
void VeLoadPaletteFromFile(TVePalette256& palette, const std::string& path);
// Reads by content from the current position. An unknown kind fails with "Unknown palette
// type" unless silent, in which case nothing happens.
void VeLoadPaletteFromStream(TVePalette256& palette, std::istream& stream, bool silent = false);
// JASC text: lines end with CR LF, one after the last line too.
std::string VePaletteToJASC(const TVePalette256& palette);
void VeSavePaletteJASC(const TVePalette256& palette, const std::string& path);
// Makes the shared palette list's folder scan read files with VeLoadPaletteFromFile.
void VeInstallPaletteFileLoader();
