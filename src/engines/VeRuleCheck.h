#pragma once
// The rule a screen mode puts on its colours, as engines describe it, and the check of a
// picture of the mode's size against it: for pixel art drawn for the machine, which must
// pass as it is.
#include <cstdint>
#include <string>
#include <vector>

class TVeBitmap32;
class TVePalette;

struct TVeModeRule {
  bool Checkable = false;
  std::string Reason; // why a mode is not checkable, when known
  int CellWidth = 0;  // attribute cells; 0 for none
  int CellHeight = 0;
  int ColorsPerCell = 0; // limits; 0 for none
  int ColorsPerLine = 0;
  int ColorsPerScreen = 0;
  // The machine's colours (0xRRGGBB); a colour may appear more than once.
  std::vector<uint32_t> Colors;
  // Per colour, when given: the groups it belongs to (bit mask); the colours of one cell
  // must share a group (the ZX Spectrum's bright bit).
  std::vector<uint8_t> Groups;
  std::string GroupsBroken = "dark and bright colours mixed";
  // In place of a list of Colors: any colour whose channels the machine holds in this many
  // bits (a VGA DAC: 6; a free 24-bit palette: 8).
  int ChannelBits = 0;
  // The screen's colours must lie in one of these sets but for FreeColors others (CGA: one of
  // its fixed triples and a background of any of the 16 colours).
  std::vector<std::vector<uint32_t>> ScreenSets;
  int FreeColors = 0;
};

// Appends a palette's colours to the rule's machine colours.
void VeAddRuleColors(TVeModeRule& rule, const TVePalette& palette);

struct TVeRuleBreak {
  std::string Kind; // "cell", "line", "screen" or "block"
  int X = 0, Y = 0, Width = 0, Height = 0;
  std::string What;
  // "cell 8,16 (8x8): 3 colours, at most 2"
  std::string Text() const;
};

// Largest difference in any channel at which a pixel still counts as a machine colour.
constexpr int VeRuleTolerance = 8;

// Every cell, line or screen that breaks the rule, in reading order; colours the machine
// lacks are reported per cell, or per 8 x 8 block in a mode without cells. The picture must
// be the mode's size (the caller checks).
std::vector<TVeRuleBreak> VeCheckRule(const TVeModeRule& rule, const TVeBitmap32& picture);
