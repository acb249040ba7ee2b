#include "VeByteReader.h"

#include <cstring>

bool TVeByteReader::ReadByte(uint8_t& value) {
  if (Remaining < 1) return false;
  value = *Pos++;
  --Remaining;
  return true;
}

bool TVeByteReader::ReadWord(uint16_t& value) {
  if (Remaining < 2) return false;
  value = uint16_t(Pos[0] | Pos[1] << 8);
  Pos += 2;
  Remaining -= 2;
  return true;
}

bool TVeByteReader::ReadDWord(uint32_t& value) {
  if (Remaining < 4) return false;
  value =
      uint32_t(Pos[0]) | uint32_t(Pos[1]) << 8 | uint32_t(Pos[2]) << 16 | uint32_t(Pos[3]) << 24;
  Pos += 4;
  Remaining -= 4;
  return true;
}

bool TVeByteReader::Read(void* buffer, int32_t count) {
  if (count < 0 || Remaining < count) return false;
  if (count > 0) std::memcpy(buffer, Pos, size_t(count));
  Pos += count;
  Remaining -= count;
  return true;
}

const uint8_t* TVeByteReader::Take(int32_t count) {
  if (count < 0 || Remaining < count) return nullptr;
  const uint8_t* p = Pos;
  Pos += count;
  Remaining -= count;
  return p;
}

void TVeByteReader::Skip(int32_t count) {
  if (count <= 0) return; // never walks backwards out of the range
  if (Remaining > 0) Pos += count < Remaining ? count : Remaining;
  // Saturate instead of overflowing when a hostile count is added to a negative remainder.
  int64_t left = int64_t(Remaining) - count;
  Remaining = left < INT32_MIN ? INT32_MIN : int32_t(left);
}
