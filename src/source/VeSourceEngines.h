#pragma once
// Native loaders ("source engines"): one class per native screen format. Each class judges a
// file with a cheap probe; the accepting ones are created, ranked, and one is confirmed by
// the user in the import dialog, whose behaviour is modelled here by TVeImportModel.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "VeBitmap.h"
#include "VeLoadSource.h"
#include "VePalette.h"
#include "VePaletteType.h"

// Probe result flags (bit values); the weight of a flag in the priority runs the other way.
enum : uint8_t {
  smVerified = 1 << 0,  // the content passed the format's own structure test (weight 8)
  smExtension = 1 << 1, // one of the format's own extensions (weight 4)
  smNameHint = 1 << 2,  // a further hint in the name, such as ".flash" before ".scr" (2)
  smExactSize = 1 << 3, // exactly the size the format needs (1)
};
using TVeSourceMatch = uint8_t;

// 0 (not taken) to 15.
int VeMatchPriority(TVeSourceMatch match);

// Calculations: bit 0 Standard, bit 1 Linear.
enum : uint8_t { vcStandard = 0, vcLinear = 1 };

class TVeSourceEngine {
public:
  TVeLoadSource* Source; // not owned
  TVeSourceMatch MatchSet = 0;
  int32_t Priority = 0;
  std::string FileName;
  std::string Description;
  std::string Comment;
  // What the loader had to leave out or guess (a companion file it could not use, a missing
  // palette), in words for the user; the picture still opens.
  std::vector<std::string> Notes;
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t BitsPerPixel = 0;
  std::unique_ptr<TVePalette256> Palette;
  std::unique_ptr<TVePalette256> SavedPalette;
  int PaletteColumns = 16;
  int32_t OptionFlags = 1024;
  uint8_t PixelAspect = 10; // 1:1
  std::vector<TVePaletteType> PaletteTypes;
  TVePaletteType PaletteType = ptRGB888;
  std::vector<std::string> PaletteVariants;
  std::string PaletteVariant;
  uint8_t Calculations = 0;
  uint8_t Calculation = vcLinear;

  explicit TVeSourceEngine(TVeLoadSource* source, const char* className = "TVeSourceEngine");
  virtual ~TVeSourceEngine() = default;
  TVeSourceEngine(const TVeSourceEngine&) = delete;
  TVeSourceEngine& operator=(const TVeSourceEngine&) = delete;

  // Class-level probe; the base takes nothing.
  static TVeSourceMatch Check(TVeLoadSource* source);
  // Decodes into a new indexed bitmap of Width x Height with Palette; nullptr in the base.
  virtual std::unique_ptr<TVeBitmap> CreateBitmap();
  virtual void GetVariantPalette(int index, TVePalette256& palette);

  // " " + width + "x" + height + "x" + bits per pixel.
  std::string SizeText() const;

  // -- Shared decoding routines of the loaders.
  void MakeBlackWhitePalette(bool whiteFirst = false);
  // Indices 0-7 at level `normal`, 8-15 at 255: blue = bit 0, red = bit 1, green = bit 2.
  void MakeZxPalette(uint8_t normal);
  // Ink = bits 0-2, paper = bits 3-5; bright (bit 6) adds 8 to both.
  static void ZxAttribute(uint8_t attribute, int& ink, int& paper);
  // Bits most significant first: set gives ink, clear gives paper. With 4 pixels per byte
  // only the high four bits are used.
  static void Unpack1Bit(TVeBitmap& bmp, int x, int y, uint8_t bits, int ink, int paper,
                         int pixelsPerByte = 8);
  // Eight pixels from two planes: (second plane bit) * 2 + (first plane bit); optionally the
  // planes also go to two 1-bit bitmaps.
  static void UnpackTwoPlanes(TVeBitmap& bmp, int x, int y, uint8_t first, uint8_t second,
                              bool msbFirst, TVeBitmap* firstPlane = nullptr,
                              TVeBitmap* secondPlane = nullptr);
  // Four 2-bit pixels of one byte, high bits first.
  static void Unpack2Bit(TVeBitmap& bmp, int x, int y, uint8_t bits);
  // Four pixels from two bytes: (pair of the first byte) * 4 + (pair of the second), high
  // pairs first.
  static void Unpack2BitPairs(TVeBitmap& bmp, int x, int y, uint8_t high, uint8_t low);
  // Two pixels from two bytes: (nibble of the first) << 4 | (nibble of the second), high
  // nibbles first.
  static void Unpack4BitPairs(TVeBitmap& bmp, int x, int y, uint8_t high, uint8_t low);
  // Keeps the palette in SavedPalette and shows the mixes of its colours instead.
  void SavePalette();
  // PaletteTypes = Pulsar, ColoredLinear, Vardel; ColoredLinear chosen.
  void SetDefaultZxPaletteTypes();
};

struct TVeSourceEngineClass {
  std::string Name;
  std::function<TVeSourceMatch(TVeLoadSource*)> Check;
  std::function<std::unique_ptr<TVeSourceEngine>(TVeLoadSource*)> Create;
  // The format's own extensions, lower case with the dot (".scr"); file dialogs offer them.
  std::vector<std::string> Extensions;
};

// A class record for a loader type T with a static Check and a (TVeLoadSource*) constructor.
template <class T>
TVeSourceEngineClass VeSourceEngineClass(const std::string& name,
                                         std::vector<std::string> extensions = {}) {
  return {name, [](TVeLoadSource* s) { return T::Check(s); },
          [](TVeLoadSource* s) { return std::unique_ptr<TVeSourceEngine>(new T(s)); },
          std::move(extensions)};
}

class TVeSourceEngineList {
public:
  TVeSourceEngineList() = default;
  TVeSourceEngineList(const TVeSourceEngineList&) = delete;
  TVeSourceEngineList& operator=(const TVeSourceEngineList&) = delete;
  ~TVeSourceEngineList(); // last first

  int Count() const { return int(FEngines.size()); }
  TVeSourceEngine* Engines(int index) const { return FEngines.at(size_t(index)).get(); }
  void Add(std::unique_ptr<TVeSourceEngine> engine) { FEngines.push_back(std::move(engine)); }
  // Stable: a later engine moves ahead only when its priority is strictly greater.
  void SortByPriority();

private:
  std::vector<std::unique_ptr<TVeSourceEngine>> FEngines;
};

// The global registry, in registration order. It knows no platform: the platform list
// (VePlatforms.h) fills it at start-up.
void RegisterSourceEngine(const TVeSourceEngineClass& engineClass);
const std::vector<TVeSourceEngineClass>& RegisteredSourceEngines();
// Every registered loader's extensions, lower case with the dot, each once, in registration
// order.
std::vector<std::string> VeSourceFileExtensions();
// For tests: takes the registry back to the given number of classes.
void TruncateSourceEngines(size_t count);

// Creates every registered loader that accepts the source, sorted by priority. A probe or
// constructor that throws drops only that loader.
std::unique_ptr<TVeSourceEngineList> ProbeSource(TVeLoadSource* source);

// The pixel aspect pair (a, b) of an index of the aspect table (a pixel a / b times as high
// as wide). A lookup may be installed in place of the table (tests do).
using TVeAspectLookup = std::function<std::pair<int, int>(int index)>;
void VeSetAspectLookup(TVeAspectLookup lookup);
std::pair<int, int> VeAspectPair(int index);

// The import dialog without its window.
class TVeImportModel {
public:
  // Decodes with loader `first` (the best by default) and no other.
  explicit TVeImportModel(TVeSourceEngineList& engines, int first = 0);

  int Count() const { return FEngines.Count(); }
  // One engine: a label with its description; several: a drop-down starting on the first.
  bool ShowsChooser() const { return Count() > 1; }
  std::vector<std::string> Descriptions() const;
  int EngineIndex() const { return FIndex; }
  TVeSourceEngine* Engine() const { return FEngines.Engines(FIndex); }
  // Sets the pixel multipliers from the engine's aspect entry and decodes.
  void SelectEngine(int index);

  int PixelWidth() const { return FPixelWidth; }
  int PixelHeight() const { return FPixelHeight; }
  void SetPixelWidth(int value);
  void SetPixelHeight(int value);

  bool PaletteTypeEnabled() const { return Engine()->PaletteTypes.size() >= 2; }
  bool VariantEnabled() const { return Engine()->PaletteVariants.size() >= 2; }
  bool CalculationShown() const { return (Engine()->Calculations & 3) == 3; }
  void SetPaletteType(TVePaletteType type);
  void SetPaletteVariant(const std::string& variant);
  void SetCalculation(uint8_t calculation);

  const TVeBitmap* Bitmap() const { return FBitmap.get(); }
  // Made on first use: saving the bitmap needs no 32-bit copy of a large picture.
  const TVeBitmap32& Preview() const;
  // Width x multiplier, "x", height x multiplier, "x", bits per pixel.
  std::string SizeLabel() const;
  // Columns of the palette display.
  int PaletteDisplayColumns() const;

  bool CanImportPalette() const { return Engine()->Palette && Engine()->Palette->Count() > 0; }
  // "BMP", "PNG" and, while the bitmap has at most 8 bits per pixel, "GIF".
  std::vector<std::string> SaveFormats() const;
  // The bitmap as a file of one of SaveFormats(); PNG carries "Software" = "Velmora".
  std::vector<uint8_t> SaveImage(const std::string& format) const;

  // "&Import image": the preview as the source picture.
  std::unique_ptr<TVeBitmap32> ImportImage() const;
  // The frames a flickering file shows alternately (its screens, at the preview's pixel
  // multipliers), or nullptr for a file of one frame.
  std::unique_ptr<TVeBitmapList> ImportFrames() const;
  // The palettes "Import image and palette" and "Import &palette" add to the palette list:
  // Palette named by FileName, or one per variant named FileName + " " + variant.
  std::vector<std::unique_ptr<TVePalette256>> ImportPalettes();

private:
  void Redecode();

  TVeSourceEngineList& FEngines;
  int FIndex = 0;
  int FPixelWidth = 1, FPixelHeight = 1;
  std::unique_ptr<TVeBitmap> FBitmap;
  mutable TVeBitmap32 FPreview;
};
