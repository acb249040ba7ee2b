#pragma once
// SAM Coupé screens: the 128 colours of its palette, the CLUT bytes, and the screen files
// Velmora writes for modes 3 and 4 (docs/formats/samcoupe.md has the layouts).
#include <cstdint>

#include "VePalette.h"

// A colour number is G1 R1 B1 BRIGHT G0 R0 B0 (bit 6 to bit 0): two bits per channel and a
// bright bit that lifts all three by half a step, eight levels per channel in all.
constexpr int SamColorCount = 128;
// Level 0..7 of a channel of a colour number (channel 0 red, 1 green, 2 blue).
int SamChannelLevel(int color, int channel);
// The 128 colours in colour-number order, shared and prepared for concurrent searches.
const TVePalette256& SamPalette();

// Modes 3 and 4: 192 rows of 128 bytes; mode 4 keeps two pixels per byte (left in the high
// nibble), mode 3 four (left in the high bits).
constexpr int SamRowBytes = 128;
constexpr int SamRows = 192;
constexpr int SamScreenBytes = SamRowBytes * SamRows; // 24576
constexpr int SamClutBytes = 16;

// File sizes: the screen (two for the interlaced mode), the CLUT, and for the line-change
// mode two bytes (slot, colour number) for each of lines 1 to 191.
constexpr int SamChangeBytes = 2 * (SamRows - 1);
constexpr int SamFileBytes = SamScreenBytes + SamClutBytes;
constexpr int SamInterlacedFileBytes = 2 * SamScreenBytes + SamClutBytes;
constexpr int SamHamFileBytes = SamScreenBytes + SamClutBytes + SamChangeBytes;
