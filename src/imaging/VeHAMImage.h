#pragma once
// Hold-and-modify line palettes: a palette per picture line in which at most a few slots
// change from one line to the next, the slots that carry over keeping their colour; and the
// dithering image that converts the picture line by line and reports the changes.
#include <cstdint>
#include <memory>
#include <vector>

#include "VeColor.h"
#include "VeImage.h"
#include "VePalette.h"
#include "VeThreadJob.h"

class TVeHAMPalette;

// One slot of a line palette.
class TVeHAMColor {
public:
  uint32_t Quad = 0; // RGB-quad of the slot colour
  TVeLinRGBColor Lin;
  int Index = 0; // slot index in its line
  // Accumulator of the pixel colours assigned to the slot.
  TVeLinRGBColor Sum;
  double Count = 0;
  // The colour of the previous line this slot continues, and the one of the next line that
  // continues it.
  TVeHAMColor* Predecessor = nullptr;
  TVeHAMColor* Successor = nullptr;
  // The pairing used while choosing the lines that may not change.
  TVeHAMColor* TentativeSuccessor = nullptr;
  TVeHAMColor* TentativePredecessor = nullptr;

  void SetColor(uint32_t quad, const TVeLinRGBColor& lin) {
    Quad = quad;
    Lin = lin;
  }
};

// A distinct colour of a picture line.
struct TVeHAMPixelColor {
  uint32_t Quad = 0;
  TVeLinRGBColor Lin;
  uint32_t Count = 0;
};

class TVeHAMLine {
public:
  explicit TVeHAMLine(TVeHAMPalette* owner) : FOwner(owner) {}
  TVeHAMPalette* Owner() const { return FOwner; }

  int SlotCount() const { return int(FSlots.size()); }
  TVeHAMColor* GetColor(int slot) const { return FSlots.at(size_t(slot)).get(); }
  // Appends a slot of the given colour.
  TVeHAMColor* AddSlot(uint32_t quad, const TVeLinRGBColor& lin);
  // Puts the slots in the given order (a permutation of the current slots).
  void Reorder(std::vector<TVeHAMColor*> order);

  std::vector<TVeHAMPixelColor> Colors; // the distinct colours of the picture line
  bool Locked = false;
  double ChangeCost = 0;

private:
  TVeHAMPalette* FOwner;
  std::vector<std::unique_ptr<TVeHAMColor>> FSlots;
};

// Chains of slots that no pixel uses, shortest first (stable).
struct TVeHAMUnusedEntry {
  int Line = 0;
  TVeHAMColor* Head = nullptr;
  int Length = 0;
};
class TVeHAMUnusedList {
public:
  void Clear() { FItems.clear(); }
  void Add(const TVeHAMUnusedEntry& e) { FItems.push_back(e); }
  void Sort();
  int Count() const { return int(FItems.size()); }
  const TVeHAMUnusedEntry& operator[](int i) const { return FItems.at(size_t(i)); }

private:
  std::vector<TVeHAMUnusedEntry> FItems;
};

// One entry of the change list between two lines: 8 bytes as the engines store them.
struct TVeHAMChange {
  int32_t Slot = 0;
  uint8_t R = 0, G = 0, B = 0;
  uint8_t Filler = 1; // 1: rewrites slot 0 with its own colour
  uint32_t Quad() const { return uint32_t(R) << 16 | uint32_t(G) << 8 | B; }
};
static_assert(sizeof(TVeHAMChange) == 8);

class TVeHAMPalette {
public:
  // type: 0 and 1 hold black in slot 0 on every line (0 quantizes crowded lines without it,
  // 1 with black preset), 2 lets every slot change. lineLimit: at most this many lines change
  // (0: no limit). The picture is the prepared dithering image (fixes applied).
  TVeHAMPalette(const TVeCancelFlag* abort, int type, int lineLimit, int maxChanges,
                int colorsPerLine, const TVePalette& target, const TVeImage& picture);
  ~TVeHAMPalette();
  TVeHAMPalette(const TVeHAMPalette&) = delete;
  TVeHAMPalette& operator=(const TVeHAMPalette&) = delete;

  int ColorsPerLine() const { return FColorsPerLine; }
  int MaxChanges() const { return FMaxChanges; }
  int Type() const { return FType; }
  int FirstChangeable() const { return FFirst; }
  const TVePalette& Target() const { return *FTarget; }
  int LineCount() const { return int(FLines.size()); }
  TVeHAMLine* Line(int y) const { return FLines.at(size_t(y)).get(); }
  // Passes of the construction loop (for tests and diagnostics).
  int Passes() const { return FPasses; }
  // Longest construction; guards against a snapped colour that keeps moving in a cycle.
  static constexpr int MaxPasses = 200;

  // The change list from line y - 1 to line y (y > 0), MaxChanges entries.
  const std::vector<TVeHAMChange>& Changes(int y);

private:
  void BuildLine(int y, const TVeImage& picture);
  void Link();
  void LimitLines();
  void ReorderSlots();
  void Accumulate();
  bool SnapChains();
  bool RefillIdleChains();
  bool SlotCountsDiffer() const;
  void Finish();
  double NearestSlotDistance(const TVeHAMLine& line, const TVeLinRGBColor& c) const;

  const TVeCancelFlag* FAbort;
  int FType, FLineLimit, FMaxChanges, FColorsPerLine, FFirst;
  const TVePalette* FTarget;
  std::vector<std::unique_ptr<TVeHAMLine>> FLines;
  TVeHAMUnusedList FUnused;
  std::vector<TVeHAMChange> FChanges;
  int FPasses = 0;
};

// The dithering image of a hold-and-modify mode.
class TVeHAMImage : public TVeImage {
public:
  using TVeImage::TVeImage;
  ~TVeHAMImage() override;

  // Fixes, grey in gray mode, then line by line: the line palette, the hooks, and every pixel
  // to its nearest slot. The result holds target-palette indices (24-bit colours without a
  // target palette); the screen, when given, receives slot indices.
  std::unique_ptr<TVeBitmap> Convert(const TVeCancelFlag* abort, const TVeDitherOptions& options,
                                     const TVePalette* target, TVeHAMPalette& ham,
                                     TVeData* screen = nullptr);

  // The colours the result uses, or null when they did not fit a palette.
  const TVePalette256* UsedColors() const { return FUsed.get(); }

protected:
  virtual void WriteInitialPalette(const TVePalette* /*target*/, const TVeHAMLine& /*line*/) {}
  virtual void WriteChange(const TVePalette* /*target*/, int /*slot*/, int /*line*/,
                           const TVeHAMChange& /*change*/) {}

private:
  std::unique_ptr<TVePalette256> FUsed;
};
