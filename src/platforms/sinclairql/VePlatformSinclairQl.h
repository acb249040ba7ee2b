#pragma once
// Sinclair QL screens: the eight colours, the 32 KB screen of modes 4 and 8 with their pixel
// words, the 16-bit pixels of the GD2 colour modes 32 and 33 and the header of PIC files.
#include <array>
#include <cstdint>
#include <vector>

#include "VeBitmap.h"
#include "VePalette.h"

// Colour numbers: bit 0 blue, bit 1 red, bit 2 green, each at full level.
uint32_t QlColorRGB(int c);
// Mode 8: the eight colours in number order. Mode 4: black, red, green, white, as the pixel
// values green << 1 | red.
void QlMakeMode8Palette(TVePalette256& palette);
void QlMakeMode4Palette(TVePalette256& palette);

// 256 rows of 128 bytes from $20000; a pixel word is big-endian, its even byte first.
constexpr int QlScreenBytes = 32768;
constexpr int QlRowBytes = 128;
constexpr int QlScreenHeight = 256;

// Mode 4: 8 pixels per word, green bits in the even byte, red in the odd one.
// Mode 8: 4 pixels per word; even byte G F per pixel (F the flash bit, never set here), odd
// byte R B per pixel.
class TVeQlScreen : public TVeData {
public:
  TVeQlScreen(int mode, uint8_t* data);
  int GetPixel(int x, int y) const override;
  void SetPixel(int x, int y, int value) override;

private:
  int FMode;
  uint8_t* FData;
};
// Flash bits set anywhere in a mode 8 screen (a mode 4 picture sets them as green pixels).
bool QlAnyFlashBit(const uint8_t* data);

// GD2 colour modes: 32 is RGB 5-6-5 with its bytes swapped (GGGBBBBB RRRRRGGG), 33 is
// GGGGGRRRRRBBBBBW big-endian, W the lowest bit of all three 6-bit channels.
constexpr int QlGd2Width = 512;
constexpr int QlGd2Height = 480;
uint16_t QlGd2Encode(int mode, int r, int g, int b, int w = 0);
// The channel levels of a pixel: 5, 6 and 5 bits (mode 32) or 6 bits each (mode 33).
std::array<int, 3> QlGd2Decode(int mode, uint8_t first, uint8_t second);
// The colours a mode's file can hold (65536 of 5-6-5 for 32; for 33 those with W clear, the
// channels at the even 6-bit levels): index r << 11 | g << 5 | b or r << 10 | g << 5 | b.
const TVePaletteRGB& QlGd2Palette(int mode);
// RGB-quad of decoded levels, as the palette of the mode shows them.
uint32_t QlGd2RGB(int mode, const std::array<int, 3>& levels);

// PIC file: 4AFC, width, height, bytes per line (big-endian words), mode byte, a zero.
constexpr int QlPicHeaderBytes = 10;
void QlWritePicHeader(uint8_t* to, int width, int height, int lineBytes, int mode);
struct TVeQlPicHeader {
  int Width = 0, Height = 0, LineBytes = 0, Mode = 0;
};
bool QlReadPicHeader(const uint8_t* data, int32_t size, TVeQlPicHeader& header);
// Bytes per line of a mode's picture of width w (0 for a mode this program does not know).
int QlLineBytes(int mode, int width);
