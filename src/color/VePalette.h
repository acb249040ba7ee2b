#pragma once
// Palettes: an ordered set of colours a conversion may use; the index of a colour is the
// pixel value of an indexed bitmap. TVePalette256 lists its colours explicitly (up to 729);
// TVePaletteRGB stands for every combination of per-channel hardware levels.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "VeColor.h"
#include "VeColorDistance.h"
#include "VeErrors.h"
#include "VePaletteType.h"

class TVePalette {
public:
  virtual ~TVePalette() = default;

  // A new palette of the same class with the same colours.
  virtual std::unique_ptr<TVePalette> Clone() const = 0;
  // True when every colour of other (by its bytes) is present; false for an empty other.
  virtual bool ContainsAll(const TVePalette* other) const;
  // Nearest index by DeltaRGB, lowest index on ties; -1 for an empty palette.
  virtual int FindNearestLin(const TVeLinRGBColor& c) const = 0;
  virtual int GetCount() const = 0;
  virtual TVeLinRGBColor GetLinRGB(int index) const = 0;
  virtual double GetLinGray(int index) const = 0;
  virtual TVeStdRGBColor GetStdRGB(int index) const = 0;
  virtual uint32_t GetRGBQuad(int index) const = 0;
  // Index whose luminance is nearest (first on ties); -1 for an empty palette.
  virtual int FindNearestGray(const TVeColor& c) const = 0;
  // Nearest by a colour-difference method (VeColorDistance.h), lowest index on ties.
  virtual int FindNearest(int method, const TVeColor& c) const;
  // The same for a linear value.
  int FindNearestBy(int method, const TVeLinRGBColor& c) const;
  // First index whose bytes equal the RGB-quad value, or -1.
  virtual int FindExact(uint32_t rgbQuad) const = 0;

  int Count() const { return GetCount(); }
};

// Prepared search entry: linear value and luminance, contiguous for the nearest scan.
struct TVeSearchEntry {
  double R, G, B, Y;
};

// Entries ordered by green, the heaviest channel of the "Delta RGB" distance, for an exact
// nearest search that stops once green alone is farther than the best match. It finds what
// a plain scan finds, ties to the lowest index included.
class TVeGreenIndex {
public:
  void Build(const TVeSearchEntry* entries, int count);
  void Clear();
  bool Empty() const { return FOrder.empty(); }
  // The nearest entry and its distance; -1 for a value that is not finite.
  int Nearest(const TVeSearchEntry* entries, double r, double g, double b, double& dist) const;

private:
  std::vector<double> FGreens;
  std::vector<uint16_t> FOrder;
};

struct TVeLuminanceRange {
  int Darkest = -1;
  int Brightest = -1;
  double Difference = 0;
};

class TVePalette256 : public TVePalette {
public:
  static constexpr int MaxColors = 729; // 27 x 27; indexed bitmaps accept at most 256

  std::string FileName;           // full path of the file it was loaded from, empty otherwise
  std::string Name;               // file name without folder, shown in palette choosers
  bool Temporary = false;         // added for the current picture only
  std::function<void()> OnChange; // fired by Changed unless an update is in progress

  TVePalette256();
  // A palette that never holds more than capacity colours (1 to MaxColors) and reserves
  // only that: thousands of small cell candidates would otherwise each reserve MaxColors.
  explicit TVePalette256(int capacity);
  // Copies colours, FileName, Name and Temporary; not OnChange. The copy has room for
  // MaxColors.
  TVePalette256(const TVePalette256& o);
  TVePalette256& operator=(const TVePalette256& o);
  ~TVePalette256() override;

  // -- TVePalette
  std::unique_ptr<TVePalette> Clone() const override;
  std::unique_ptr<TVePalette256> Clone256() const;
  int FindNearestLin(const TVeLinRGBColor& c) const override;
  int GetCount() const override { return FCount; }
  TVeLinRGBColor GetLinRGB(int index) const override { return At(index).GetLinRGB(); }
  double GetLinGray(int index) const override { return At(index).GetLinGray(); }
  TVeStdRGBColor GetStdRGB(int index) const override { return At(index).GetStdRGB(); }
  uint32_t GetRGBQuad(int index) const override { return At(index).GetRGBQuad(); }
  int FindNearestGray(const TVeColor& c) const override;
  int FindNearest(int method, const TVeColor& c) const override;
  int FindExact(uint32_t rgbQuad) const override;
  // The entries in a perceptual method's space, in index order.
  const TVePerceptual* PerceptualEntries(int method) const;

  // -- Entries. GetPColor hands out a writable record and so drops the prepared search
  // data; read through Color() to keep it.
  TVeColor* GetPColor(int index);
  const TVeColor* GetPColor(int index) const { return &At(index); }
  const TVeColor& Color(int index) const { return At(index); }
  TVeColor* PColors() {
    Dirty();
    return FColors.data();
  }

  // -- Changes ("notify" = Changed)
  void Changed();
  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }

  void Clear();
  void Assign(const TVePalette* p);
  void AssignAll(const TVePalette256* p);
  // Same count and equal RGB-quads; null equals an empty palette.
  bool Equals(const TVePalette* p) const;
  void Insert(int index, uint32_t sysColor);
  int AddUnique(uint8_t r, uint8_t g, uint8_t b);
  int AddUniqueColor(const TVeColor& c);
  int AddUniqueLin(const TVeLinRGBColor& c);
  int AddColor(const TVeColor& c);
  int AddLin(const TVeLinRGBColor& c);
  int AddSysColor(uint32_t sysColor);
  int AddRGB(uint8_t r, uint8_t g, uint8_t b);
  void AddPaletteUnique(const TVePalette* p);
  void Delete(int index);
  int IndexOf(uint32_t rgbQuad) const; // as FindExact, "Internal error" when absent

  int FindNearestSysColor(uint32_t sysColor) const;
  int FindNearestByLuminance(double y) const;
  // Over entries not Excluded (at least one must be left).
  TVeLuminanceRange LuminanceRange() const;
  void SortByLuminance(int from = 0);
  void ClearExcluded();
  // last = 0 means Count - 1.
  void NormalizeToWhite(int first = 0, int last = 0);
  void StretchToBlack(int first = 0, int last = 0);
  // Completes this palette with the source colours farthest from those already chosen.
  void MergeFarthest(const TVePalette* source, int maxCount);
  // Places a two-colour choice (dark first) without exceeding maxCount; returns the
  // indices of pair colours 0 and 1.
  std::pair<int, int> FitPair(const TVePalette256& pair, int maxCount);
  // Merges a user's gray palette; returns true when it has more than two colours.
  bool FitGray(TVePalette256& gray, int maxCount, int& darkest, int& brightest);
  // Fill every entry's caches and the prepared search array, so that concurrent searches
  // only read.
  void PrepareSearch() const;
  // n x n perceived colours of two alternating colours (n = 0: source count).
  void MakeMixTable(const TVePalette* source, int maxDifferencePercent, int n);

  // -- Fixed builders (replace the contents, no notification)
  void MakeGray4();            // bytes 0, 85, 170, 255 as grays
  void MakeRGB64RedSlowest();  // channel bytes 0, 85, 170, 255; red slowest
  void MakeRGB64BlueSlowest(); // 2-bit levels; blue slowest, red fastest
  void MakeRGB256();           // blue 2-bit, green and red 3-bit levels; red fastest
  void MakeBlackWhite();       // linear 0 and 1
  void MakeNearest8Plus8(const TVePalette* from); // at most 16 colours of another palette
  void MakeCube8BlueSlowest();                    // bytes {0, 255}; blue slowest, red fastest
  void MakeCube8RedSlowest();                     // bytes {0, 255}; red slowest, blue fastest
  void MakeCube8Dim();                            // bytes {0, 188}; green slowest, blue fastest
  void MakeCube16();                              // {0, 188} then {0, 255}
  void MakeCube16(uint8_t a0, uint8_t a1, uint8_t b0, uint8_t b1);
  void MakeCube64(uint32_t levels); // four bytes (lowest first); blue slowest, red fastest

  // Whether the prepared search array is current (for tests and diagnostics).
  bool SearchPrepared() const { return FSearchValid; }
  // From this many entries on, the nearest search walks the entries ordered by green.
  static constexpr int GreenSearchMin = 24;

private:
  const TVeColor& At(int index) const {
    if (unsigned(index) >= unsigned(FCount)) VeInternalError();
    return FColors[size_t(index)];
  }
  TVeColor& AppendRaw(); // ETooManyColors when full
  void CheckRoom(int count) const; // ETooManyColors above the capacity
  void Dirty() { FSearchValid = FLabValid = FOklabValid = false; }
  void RebuildSearch() const;
  void ResetRaw();
  void CopyColorsFrom(const TVePalette256& o);
  void AddCube8(uint8_t lo, uint8_t hi, int order);
  int NearestWithDistance(const TVeLinRGBColor& c, double& dist) const;
  int ScanLuminance(double y) const;

  int FUpdateCount = 0;
  int FCount = 0;
  int FCapacity = MaxColors;
  // Capacity reserved once, so entry pointers stay valid while the palette lives.
  std::vector<TVeColor> FColors;
  mutable std::vector<TVeSearchEntry> FSearch;
  mutable TVeGreenIndex FGreenIndex; // large palettes only
  mutable bool FSearchValid = false;
  // The entries in L*a*b* and in Oklab, filled on first use.
  mutable std::vector<TVePerceptual> FLabSearch, FOklabSearch;
  mutable bool FLabValid = false, FOklabValid = false;
};

// Implicit palette of every combination of per-channel levels. Index packs the levels as
// red << (bitsG + bitsB) | green << bitsB | blue.
class TVePaletteRGB : public TVePalette {
public:
  struct TChannel {
    int Bits = 0;
    int Count = 0;
    std::array<double, 256> Lin{};
    std::array<uint8_t, 256> Byte{};
    std::array<int16_t, 256> LevelOfByte{}; // -1 where a byte is not a level
  };

  // ptRGB888 .. ptRGB111, ptMSX9938 and ptMSX9958; any other type is "Internal error".
  explicit TVePaletteRGB(TVePaletteType type, bool gray = false);
  // Uniform levels of 1 to 8 bits per channel.
  TVePaletteRGB(int bitsR, int bitsG, int bitsB, bool gray = false);
  // Levels given as linear values per channel (each count a power of two, ascending).
  TVePaletteRGB(const std::vector<double>& linR, const std::vector<double>& linG,
                const std::vector<double>& linB, bool gray = false);
  // The 256-colour layout: red and green levels 0, 4, 9, 13, 18, 22, 27, 31 and blue
  // levels 0, 11, 21, 31 (over 31).
  static std::unique_ptr<TVePaletteRGB> CreateTabled256(bool gray = false);
  TVePaletteRGB(const TVePaletteRGB& o);
  TVePaletteRGB& operator=(const TVePaletteRGB&) = delete;
  ~TVePaletteRGB() override;

  std::unique_ptr<TVePalette> Clone() const override;
  int FindNearestLin(const TVeLinRGBColor& c) const override;
  int GetCount() const override { return 1 << (FCh[0].Bits + FCh[1].Bits + FCh[2].Bits); }
  TVeLinRGBColor GetLinRGB(int index) const override;
  double GetLinGray(int index) const override { return GetLinRGB(index).Luminance(); }
  TVeStdRGBColor GetStdRGB(int index) const override;
  uint32_t GetRGBQuad(int index) const override { return GetStdRGB(index).RGBQuad(); }
  // Searches the gray palette ("Internal error" without one) and returns the index of the
  // chosen gray in this palette, so the result can be read back with GetLinRGB.
  int FindNearestGray(const TVeColor& c) const override;
  int FindNearest(int method, const TVeColor& c) const override;
  int FindExact(uint32_t rgbQuad) const override;
  // Fill what searches by a perceptual method read, so that concurrent searches only read.
  void PrepareSearch(int method) const;

  // Level indices (red, green, blue) of a colour of this palette; "Internal error" when a
  // byte is not a level.
  std::array<int, 3> LevelsOf(uint32_t rgbQuad) const;
  int IndexOfLevels(int r, int g, int b) const {
    return r << (FCh[1].Bits + FCh[2].Bits) | g << FCh[2].Bits | b;
  }
  const TChannel& Channel(int ch) const { return FCh[ch]; }
  bool HasGray() const { return FGray != nullptr; }
  const TVePalette256* GrayPalette() const { return FGray.get(); }

private:
  void InitUniform(int bitsR, int bitsG, int bitsB);
  void InitLevels(int ch, const std::vector<double>& lin);
  void BuildGray();
  void BuildGrayFromLevels();
  void SplitIndex(int index, int& r, int& g, int& b) const;

  int NearestPerceptualAround(int method, const TVeLinRGBColor& c) const;

  std::unique_ptr<TVePalette256> FGray;
  std::vector<int> FGrayIndex; // index in this palette of each gray palette entry
  std::array<TChannel, 3> FCh;
  // Every colour in L*a*b* or Oklab, for palettes small enough to scan whole.
  mutable std::shared_ptr<const std::vector<TVePerceptual>> FLabAll, FOklabAll;
};
