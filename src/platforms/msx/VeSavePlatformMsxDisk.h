#pragma once
// The MSX disk of a conversion: a 720 KB double-sided FAT12 image (the MSX-DOS 2DD layout)
// holding each screen's BSAVE file and an AUTOEXEC.BAS that shows them in turn.
#include <cstdint>
#include <string>
#include <vector>

struct TVeMsxDiskFile {
  std::string Name; // 8.3, upper case
  std::vector<uint8_t> Bytes;
};

// The 1440 sectors: boot sector with its BPB, two FATs of 3 sectors, 112 root entries, then
// each file in clusters of 2 sectors from cluster 2 on. Raises EVeError when the files do not
// fit. Every entry carries the date 1 January 2000, so one conversion always gives one image.
std::vector<uint8_t> MsxDiskImage(const std::vector<TVeMsxDiskFile>& files);
// The ASCII BASIC program: for each file SCREEN, BLOAD ,S, the palette (COLOR=RESTORE for
// the screens that keep it in video memory, COLOR=(n,r,g,b) from screen 3's palette file)
// and a key wait. palettes holds screen 3's 32-byte register blocks (empty for the others).
std::vector<uint8_t> MsxAutoexec(const std::vector<TVeMsxDiskFile>& screens,
                                 const std::vector<std::vector<uint8_t>>& palettes);

// Registers the disk writer for the BSAVE screens.
void RegisterMsxDiskWriter();
