#pragma once
// The PK-8000's graphics mode: the TMS9918's Graphics II layout (patterns at 0000h, names at
// 1800h, colours at 2000h of the video bank) with the colour byte's nibbles swapped, ink in
// the low one; docs/formats/pc8000.md has the layout.
#include <cstdint>
#include <vector>

#include "VePairCellImage.h"
#include "VePalette.h"
#include "msx/VePlatformMsx.h"

constexpr int Pc8000Width = 256;
constexpr int Pc8000Height = 192;
// The file: video bank 0000h-37FFh.
constexpr int Pc8000FileBytes = MsxScreen2Data;

// The 16 colours: bit 0 intensity, bit 1 green, bit 2 blue, bit 3 red; a channel is A8h, or
// FFh with intensity. 0 and 1 are both black.
void Pc8000MakePalette(TVePalette256& palette);

constexpr uint8_t Pc8000Color(int ink, int paper) {
  return uint8_t(paper << 4 | ink);
}
// Every pair of colours 1-15 once and each alone (0 is black again).
std::vector<TVeCellPair> Pc8000Pairs();
