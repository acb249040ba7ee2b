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

// The pieces of a tape, for the tapes that load more.
// Appends a block: its length, the flag byte (00 header, FF data), the data and the XOR of all.
void ZxTapeAddBlock(std::vector<uint8_t>& tape, uint8_t flag, const std::vector<uint8_t>& data);
// A header block's 17 bytes: type (0 program, 3 code), name, data length and the parameters.
std::vector<uint8_t> ZxTapeHeader(uint8_t type, const std::string& name, unsigned length,
                                  unsigned param1, unsigned param2);
void ZxTapePut16(std::vector<uint8_t>& v, unsigned value);

// Adds the "tap" export for the family's plain screens.
void RegisterZxSpectrumTapeExport();
