#pragma once
// SymbOS pictures (".sgx"): chunks of 4 or 16 colours laid left to right, a line feed chunk
// starting the next row of chunks below. The file holds colour indices only; the colours are
// the host's desktop colours, which the user may change.
#include <cstdint>
#include <string>
#include <vector>

#include "VePaletteType.h"

class TVePalette256;

// The picture the engine writes: a CPC mode 1 screen, which every SymbOS host's desktop can
// show whole.
constexpr int SymbOSWidth = 320;
constexpr int SymbOSHeight = 200;

// The hosts' desktop colours: the MSX2's 16 default colours (written as 16-colour chunks)
// and four CPC inks (written as 4-colour chunks).
constexpr TVePaletteType SymbOSMsxColors = ptMSX9938;
constexpr TVePaletteType SymbOSCpcColors = ptCPCGateArray;
// Firmware colour numbers of the CPC desktop's pens 0-3.
extern const uint8_t SymbOSCpcInks[4];
// 16 for the MSX colours, 4 for any other type.
int SymbOSColorCount(TVePaletteType type);
void SymbOSMakePalette(TVePalette256& palette, TVePaletteType type);

// ---- SGX chunks ----------------------------------------------------------------------------

constexpr uint8_t SgxExtended = 64;    // first byte of an extended chunk
constexpr uint8_t SgxCompressed = 128; // set in the first byte of a packed chunk
constexpr uint8_t SgxLineFeed = 255;
constexpr int SgxLineFeedBytes = 3;
constexpr int SgxSimpleHeaderBytes = 3;
constexpr int SgxExtendedHeaderBytes = 8;
constexpr uint8_t SgxType4 = 0;
constexpr uint8_t SgxType16 = 5;
// Widths a chunk may have.
constexpr int SgxSimpleMaxBytes = 63;
constexpr int SgxSimpleMaxPixels = 252;
constexpr int SgxSimpleMaxHeight = 255;
constexpr int SgxExtended4MaxPixels = 1020;
constexpr int SgxExtended16MaxBytes = 254;
constexpr int SgxExtended16MaxPixels = 508;
// Lines the writer puts in one chunk: a chunk of 16 colours then fits one 64 KB bank.
constexpr int SgxChunkLines = 255;
// Pictures larger than this are refused before anything is held.
constexpr int SgxMaxSide = 8192;
constexpr int64_t SgxMaxPixels = int64_t(1) << 24;

// One chunk as found in a file: where it lies in the picture and where its data start.
struct TVeSgxChunk {
  int X = 0, Y = 0;
  int Width = 0, Height = 0, RowBytes = 0;
  bool SixteenColors = false;
  int32_t DataAt = 0;
};

struct TVeSgxLayout {
  int Width = 0, Height = 0;
  int Rows = 0;               // rows of chunks
  bool SixteenColors = false; // a chunk of 16 colours is there
  std::vector<TVeSgxChunk> Chunks;
};

// An index (0-3 or 0-15) per pixel, rows top to bottom, as chunks of 4 colours (simple
// chunks) or 16 colours (extended chunks of type 5), uncompressed.
std::vector<uint8_t> SgxWrite(const uint8_t* indices, int width, int height, bool sixteenColors);

// Walks the chunks with every read bounded; false with a reason for the user when the bytes
// are not an uncompressed SGX picture Velmora can show.
bool SgxWalk(const uint8_t* data, int32_t size, TVeSgxLayout& layout, std::string& problem);
// The picture's indices of a walked file; pixels no chunk covers are 0.
std::vector<uint8_t> SgxIndices(const uint8_t* data, const TVeSgxLayout& layout);
