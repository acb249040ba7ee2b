#pragma once
// A ZX Spectrum tape that shows a screen: a BASIC loader that runs LOAD "" SCREEN$ and
// waits for a key, followed by the screen as a CODE block at 16384.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The ".tap" image of a 6144- or 6912-byte screen; name is the program's name on tape
// (cut or padded to 10 characters, printable ASCII only).
std::vector<uint8_t> ZxSpectrumScreenTape(const uint8_t* screen, size_t size,
                                          const std::string& name);

// Adds the "tap" export for the family's plain screens.
void RegisterZxSpectrumTapeExport();
