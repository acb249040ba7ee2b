#pragma once
// The Amstrad CPC disk of a conversion: an Extended DSK image in the CPC data format holding
// each standard screen as an AMSDOS file and a BASIC loader "DISC" that shows them in turn.
#include <cstdint>
#include <string>
#include <vector>

// A file on a CPC disk: its 8.3 name and its bytes (AMSDOS header included).
struct TVeCpcDiskFile {
  std::string Name;
  std::vector<uint8_t> Bytes;
};

// The 180 KB of the data format's 40 tracks of 9 sectors, in logical order, with the CP/M
// directory (64 entries in blocks 0 and 1) and the files from block 2 on. Raises EVeError when
// the files need more blocks or directory entries than the disk has.
std::vector<uint8_t> CpcDataDiskSectors(const std::vector<TVeCpcDiskFile>& files);
// The sectors written by LibDsk as an Extended DSK image.
std::vector<uint8_t> CpcEdskImage(const std::vector<uint8_t>& sectors);
// The tokenized Locomotive BASIC loader with its AMSDOS header ("DISC.BAS"): for each screen
// MODE, BORDER and INK as the screen file keeps them, LOAD to &C000 and a key wait (CALL &BB18).
std::vector<uint8_t> CpcDiskLoader(const std::vector<TVeCpcDiskFile>& screens);

// Registers the disk writer for the standard ".scr".
void RegisterAmstradCpcDiskWriter();
