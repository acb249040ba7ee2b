#pragma once
// Packers of the native files for the unpackers that 8-bit code already carries: an LZ4 block
// (through liblz4) and ZX0 (its second, current format, read forwards).
#include <cstddef>
#include <cstdint>
#include <vector>

// A raw LZ4 block, no frame: the highest compression level, size matters more than speed.
std::vector<uint8_t> VeLz4Pack(const uint8_t* data, size_t size);
// Unpacks a block that must give exactly size bytes; raises EVeError otherwise.
std::vector<uint8_t> VeLz4Unpack(const uint8_t* data, size_t packedSize, size_t size);

// ZX0 as the standard forward unpacker reads it. The first block of the format is always a
// literal one, so an empty input cannot be packed: raises EVeError.
std::vector<uint8_t> VeZx0Pack(const uint8_t* data, size_t size);
// Reads no byte outside data and writes at most maxSize bytes; raises EVeError on a truncated
// or broken stream, on more than maxSize bytes and on bytes after the end marker.
std::vector<uint8_t> VeZx0Unpack(const uint8_t* data, size_t packedSize, size_t maxSize);

// The largest offset the format can carry.
constexpr size_t VeZx0MaxOffset = 32640;
