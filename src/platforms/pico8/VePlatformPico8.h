#pragma once
// The Pico-8: a 128 x 128 screen of 16 slots, each showing one of 32 colours (the 16 base
// colours, values 0-15, and 16 further ones, values 128-143), and the ".p8" text cartridge
// that carries a picture in its sprite sheet.
#include <cstdint>
#include <string>
#include <vector>

class TVePalette256;

constexpr int Pico8Size = 128;
constexpr int Pico8Slots = 16;
constexpr int Pico8Pixels = Pico8Size * Pico8Size;

// The 32 colours in value order: 0-15, then 128-143.
uint32_t Pico8ColorRGB(int value);
// Colour value (0-15 or 128-143) of entry 0-31 of that order, and back (-1 for no colour).
int Pico8ColorValue(int entry);
int Pico8ColorEntry(int value);
// The 16 base colours, the 16 further colours, or all 32, in value order.
const TVePalette256& Pico8BasePalette();
const TVePalette256& Pico8ExtraPalette();
const TVePalette256& Pico8AllColors();

// A picture as the cartridge holds it: a slot (0-15) per pixel, rows top to bottom, and the
// colour value each slot shows.
struct TVePico8Picture {
  std::vector<uint8_t> Slots = std::vector<uint8_t>(Pico8Pixels, 0);
  uint8_t ScreenPalette[Pico8Slots] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  // Slot colours in slot order.
  void MakePalette(TVePalette256& palette) const;
};

// The cartridge text: a program that sets the screen palette and copies the sprite sheet
// to the screen, and the sheet in "__gfx__", one hex digit per pixel.
std::string Pico8Cartridge(const TVePico8Picture& picture);

// Reads a cartridge's sprite sheet and, when its program sets the screen palette the way
// Pico8Cartridge writes it, that palette. False with a reason when the text is not a
// cartridge or its sheet is damaged.
bool Pico8ReadCartridge(const uint8_t* data, int32_t size, TVePico8Picture& picture,
                        std::string& problem, bool& paletteFound);
// The first line every cartridge starts with.
bool Pico8IsCartridge(const uint8_t* data, int32_t size);
