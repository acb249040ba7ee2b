#include "VePack.h"

#include <lz4.h>
#include <lz4hc.h>

#include <algorithm>
#include <array>
#include <limits>
#include <string>
#include <utility>

#include "VeErrors.h"

std::vector<uint8_t> VeLz4Pack(const uint8_t* data, size_t size) {
  if (size > size_t(LZ4_MAX_INPUT_SIZE)) throw EVeError("Too large to pack as LZ4");
  std::vector<uint8_t> out(static_cast<size_t>(LZ4_compressBound(int(size))));
  int n = LZ4_compress_HC(reinterpret_cast<const char*>(data), reinterpret_cast<char*>(out.data()),
                          int(size), int(out.size()), LZ4HC_CLEVEL_MAX);
  if (n <= 0) throw EVeError("LZ4 packing failed");
  out.resize(size_t(n));
  return out;
}

std::vector<uint8_t> VeLz4Unpack(const uint8_t* data, size_t packedSize, size_t size) {
  if (packedSize > size_t(std::numeric_limits<int>::max()) || size > size_t(LZ4_MAX_INPUT_SIZE))
    throw EVeError("LZ4 block too large");
  std::vector<uint8_t> out(size);
  int n = LZ4_decompress_safe(reinterpret_cast<const char*>(data),
                              reinterpret_cast<char*>(out.data()), int(packedSize), int(size));
  if (n < 0 || size_t(n) != size) throw EVeError("Broken LZ4 block");
  return out;
}

namespace {

// Bits of the interlaced Elias gamma code of v >= 1.
int GammaBits(size_t v) {
  int bits = 1;
  for (; v > 1; v >>= 1)
    bits += 2;
  return bits;
}

// The parse: a forward search that keeps the cheapest few ways (arrivals) of reaching each byte,
// told apart by last offset and by whether a literal run is open, since both decide what the
// next block may be and cost. Exhaustive over offsets it would be too slow for 54 KB screens.
constexpr int Slots = 6;
constexpr uint32_t NoCost = std::numeric_limits<uint32_t>::max();
enum : uint8_t { Literals, LastOffset, NewOffset };

struct TArrival {
  uint32_t Cost = NoCost;
  uint32_t Offset = 0;
  uint32_t From = 0; // where the block starts
  uint8_t FromSlot = 0;
  uint8_t Kind = NewOffset;
};

// Two open literal runs of one offset are weighed without their length codes: the longer run
// has paid for its code already, so a split that looks cheaper now costs more later.
void Arrive(std::array<TArrival, Slots>& at, size_t pos, const TArrival& a) {
  int empty = -1, worst = -1;
  for (int k = 0; k < Slots; ++k) {
    TArrival& x = at[size_t(k)];
    if (x.Cost == NoCost) {
      if (empty < 0) empty = k;
    } else if (x.Offset == a.Offset && (x.Kind == Literals) == (a.Kind == Literals)) {
      int64_t mine = a.Cost, theirs = x.Cost;
      if (a.Kind == Literals) {
        mine -= GammaBits(pos - a.From);
        theirs -= GammaBits(pos - x.From);
      }
      if (mine < theirs) x = a;
      return;
    } else if (worst < 0 || x.Cost > at[size_t(worst)].Cost) {
      worst = k;
    }
  }
  if (empty >= 0)
    at[size_t(empty)] = a;
  else if (a.Cost < at[size_t(worst)].Cost)
    at[size_t(worst)] = a;
}

class TBitWriter {
public:
  std::vector<uint8_t> Out;
  bool Backtrack = false; // the next bit goes into the lowest bit of the last byte

  void Bit(bool v) {
    if (Backtrack) {
      if (v) Out.back() |= 1;
      Backtrack = false;
      return;
    }
    if (!FMask) {
      FMask = 0x80;
      FIndex = Out.size();
      Out.push_back(0);
    }
    if (v) Out[FIndex] |= FMask;
    FMask >>= 1;
  }
  void Gamma(size_t v, bool invert = false) {
    size_t top = 1;
    while (top <= v / 2)
      top <<= 1;
    while (top >>= 1) {
      Bit(false);
      Bit(((v & top) != 0) != invert);
    }
    Bit(true);
  }

private:
  size_t FIndex = 0;
  uint8_t FMask = 0;
};

} // namespace

std::vector<uint8_t> VeZx0Pack(const uint8_t* data, size_t size) {
  if (size == 0) throw EVeError("ZX0 cannot pack an empty file");
  if (size >= NoCost / 16) throw EVeError("Too large to pack as ZX0");
  // Lengths up to Short are all tried; longer matches only whole, which loses little and keeps
  // runs of blank screen linear. Inside such a match the search is skipped.
  constexpr size_t Short = 64, Long = 256, Depth = 128;
  std::vector<std::array<TArrival, Slots>> at(size + 1);
  at[0][0] = {0, 1, 0, 0, NewOffset}; // the start: a literal run may follow, and the offset is 1
  std::vector<int32_t> head(65536, -1), chain(size, -1);
  auto matchLength = [&](size_t i, size_t offset) {
    size_t n = 0;
    while (i + n < size && data[i + n] == data[i + n - offset])
      ++n;
    return n;
  };
  size_t longOffset = 0, longLength = 0;        // the long match still running at i
  std::vector<std::pair<size_t, size_t>> found; // offset, length: longer with each
  for (size_t i = 0; i < size; ++i) {
    std::array<TArrival, Slots>& here = at[i];
    int best = -1;
    for (int k = 0; k < Slots; ++k) {
      const TArrival& a = here[size_t(k)];
      if (a.Cost == NoCost) continue;
      if (best < 0 || a.Cost < here[size_t(best)].Cost) best = k;
      // One byte more of literals: a run goes on, or a new one starts after a match.
      if (a.Kind == Literals) {
        size_t run = i - a.From;
        Arrive(at[i + 1], i + 1,
               {a.Cost + 8 + uint32_t(GammaBits(run + 1) - GammaBits(run)), a.Offset, a.From,
                a.FromSlot, Literals});
      } else {
        Arrive(at[i + 1], i + 1,
               {a.Cost + (i ? 1u : 0u) + 1 + 8, a.Offset, uint32_t(i), uint8_t(k), Literals});
      }
      // Copy from the last offset: only after literals.
      if (a.Kind == Literals && a.Offset <= i) {
        size_t n = a.Offset == longOffset && longLength ? longLength : matchLength(i, a.Offset);
        for (size_t len = 1; len <= n; len = len < Short || len == n ? len + 1 : n)
          Arrive(at[i + len], i + len,
                 {a.Cost + 1 + uint32_t(GammaBits(len)), a.Offset, uint32_t(i), uint8_t(k),
                  LastOffset});
      }
    }
    // Copy from a new offset: the nearest offset for each length, as near ones cost less.
    found.clear();
    if (longLength > Long) {
      found.push_back({longOffset, longLength});
    } else if (i + 1 < size) {
      size_t key = data[i] | data[i + 1] << 8, depth = 0, longest = 1;
      for (int32_t j = head[key]; j >= 0 && depth < Depth; j = chain[size_t(j)], ++depth) {
        size_t offset = i - size_t(j);
        if (offset > VeZx0MaxOffset) break;
        size_t n = matchLength(i, offset);
        if (n <= longest) continue;
        found.push_back({offset, n});
        longest = n;
        if (n >= Long) break;
      }
    }
    if (best >= 0) {
      const TArrival& b = here[size_t(best)];
      size_t done = 1;
      for (auto [offset, n] : found) {
        uint32_t cost = b.Cost + 1 + uint32_t(GammaBits((offset - 1) / 128 + 1)) + 8 - 1;
        for (size_t len = done + 1; len <= n; len = len < Short || len == n ? len + 1 : n)
          Arrive(at[i + len], i + len,
                 {cost + uint32_t(GammaBits(len - 1)), uint32_t(offset), uint32_t(i), uint8_t(best),
                  NewOffset});
        done = n;
      }
    }
    if (longLength > Long) {
      --longLength;
    } else if (!found.empty() && found.back().second > Long) {
      longOffset = found.back().first;
      longLength = found.back().second - 1;
    } else {
      longLength = 0;
    }
    if (i + 1 < size) {
      size_t key = data[i] | data[i + 1] << 8;
      chain[i] = head[key];
      head[key] = int32_t(i);
    }
  }

  // The cheapest way to the end, back to the start.
  struct TBlock {
    size_t From, To, Offset;
    uint8_t Kind;
  };
  std::vector<TBlock> blocks;
  int slot = 0;
  for (int k = 1; k < Slots; ++k)
    if (at[size][size_t(k)].Cost < at[size][size_t(slot)].Cost) slot = k;
  for (size_t pos = size; pos > 0;) {
    const TArrival& a = at[pos][size_t(slot)];
    blocks.push_back({a.From, pos, a.Offset, a.Kind});
    pos = a.From;
    slot = a.FromSlot;
  }
  std::reverse(blocks.begin(), blocks.end());

  TBitWriter w;
  for (size_t b = 0; b < blocks.size(); ++b) {
    const TBlock& k = blocks[b];
    size_t len = k.To - k.From;
    if (k.Kind == Literals) {
      if (b > 0) w.Bit(false);
      w.Gamma(len);
      w.Out.insert(w.Out.end(), data + k.From, data + k.To);
    } else if (k.Kind == LastOffset) {
      w.Bit(false);
      w.Gamma(len);
    } else {
      w.Bit(true);
      w.Gamma((k.Offset - 1) / 128 + 1, true);
      w.Out.push_back(uint8_t((127 - (k.Offset - 1) % 128) << 1));
      w.Backtrack = true;
      w.Gamma(len - 1);
    }
  }
  w.Bit(true); // the end marker: a new offset whose high part would be 256
  w.Gamma(256, true);
  return std::move(w.Out);
}

std::vector<uint8_t> VeZx0Unpack(const uint8_t* data, size_t packedSize, size_t maxSize) {
  size_t pos = 0;
  uint8_t bits = 0, mask = 0;
  auto fail = [](const char* why) { throw EVeError(std::string("Broken ZX0 data: ") + why); };
  auto byte = [&]() -> uint8_t {
    if (pos >= packedSize) fail("it ends early");
    return data[pos++];
  };
  auto bit = [&]() -> bool {
    if (!mask) {
      bits = byte();
      mask = 0x80;
    }
    bool v = bits & mask;
    mask >>= 1;
    return v;
  };
  // With stop, the first control bit is already known (it came in the offset's byte).
  auto gamma = [&](size_t limit, bool invert = false, int stop = -1) {
    size_t v = 1;
    while (!(stop >= 0 ? std::exchange(stop, -1) : bit())) {
      if (v > limit / 2) fail("a length or offset too large");
      v = v * 2 + (bit() != invert);
    }
    return v;
  };
  std::vector<uint8_t> out;
  size_t offset = 1;
  auto copy = [&](size_t len) {
    if (len > maxSize - out.size()) fail("more data than expected");
    if (offset > out.size()) fail("an offset before the start");
    for (size_t n = 0; n < len; ++n)
      out.push_back(out[out.size() - offset]);
  };
  enum { Lit, Last, New } next = Lit;
  for (;;) {
    if (next == Lit) {
      size_t len = gamma(maxSize);
      if (len > maxSize - out.size()) fail("more data than expected");
      if (len > packedSize - pos) fail("it ends early");
      out.insert(out.end(), data + pos, data + pos + len);
      pos += len;
      next = bit() ? New : Last;
    } else if (next == Last) {
      copy(gamma(maxSize));
      next = bit() ? New : Lit;
    } else {
      size_t high = gamma(256, true);
      if (high == 256) break;
      uint8_t low = byte();
      offset = (high - 1) * 128 + (127 - (low >> 1)) + 1;
      copy(gamma(maxSize, false, low & 1) + 1);
      next = bit() ? New : Lit;
    }
  }
  if (pos != packedSize) fail("bytes after the end marker");
  return out;
}
