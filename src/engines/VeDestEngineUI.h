#pragma once
// The option panel of an engine as a model without any widget set: the controls in screen
// order with their captions, value lists, ranges and ties, bound to one options object. A host
// (the desktop application, or a test) renders the controls, feeds user input back through
// Select/SetValue/SetChecked/SetText/Press and reads the state back after each change.
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "VeDestEngineOptions.h"

class TVePalette256;

// What a panel needs of the destination controller (TVeDest implements it).
class IVeOptionsHost {
public:
  virtual ~IVeOptionsHost() = default;
  // The panel wrote its controls and the options really changed.
  virtual void OptionsChanged() = 0;
  // Repaints the prepared borders at once.
  virtual void SetBorderColor(int rgb) = 0;
};

enum class TVeControlKind : uint8_t {
  Separator,
  Label,
  Edit,
  IntEdit,
  List,
  PictureList,
  CheckBox,
  Slider,
  Button,
  ColorBox,
  PaletteView,
};

// The groups in the order a panel may show them.
enum class TVeControlGroup : uint8_t {
  Dimension = 1,
  PositionBorder,
  Palette,
  Ham,
  Dithering,
  FileFormat,
  Comment,
  Custom,
};

enum TVeControlId : int {
  ciWidth,
  ciDimensionX, // the " x " between the two edits
  ciHeight,
  ciDimensionLabel,
  ciNativeDimension,
  ciDimensionLock,
  ciPosition,
  ciAspect,
  ciBorderColor,
  ciBorderSelect,
  ciPaletteSeparator,
  ciPaletteList,       // palette types and palettes of the shared list
  ciPaletteTypeList,   // the engine's own palette types (optionally with pictures)
  ciPaletteNumberList, // hardware palette numbers
  ciPaletteView,
  ciMaxColorCount,
  ciKeepWholePalette,
  ciGrayPalette,
  ciUseOnlyOriginalColors,
  ciFixedPalette,
  ciFixedPaletteView,
  ciPaletteUsage,
  ciPaletteMode,
  ciPaletteModeEdit,
  ciBorderColorIndex,
  ciCalculation,
  ciColorUsage,
  ciMaxFlickering,
  ciFlickerStyle,
  ciSafeMode,
  ciPaletteNumberLabel,
  ciHamSeparator,
  ciHamInitialLines,
  ciHamPrevLines,
  ciHamNextLines,
  ciHamMaxChanges,
  ciDitherSeparator,
  ciDitherMethod,
  ciErrorDiffusion,
  ciLimitErrorInsideBlock,
  ciLimitErrorAtBoundary,
  ciSerpentine,
  ciLightnessFix,
  ciSaturationFix,
  ciFileFormatSeparator,
  ciFileFormatFlag,
  ciCommentSeparator,
  ciComment,
  ciColorDistance,
  ciKeepPixels,
  ciCustom = 1000, // engine panels number their own controls from here
};

struct TVeUIControl {
  int Id = 0;
  TVeControlKind Kind = TVeControlKind::Label;
  TVeControlGroup Group = TVeControlGroup::Custom;
  int Row = 0;         // controls with the same row sit on one line, left to right
  std::string Caption; // label before the control, button or check box text, separator title
  std::string Text;    // edit text, label text
  std::vector<std::string> Items; // list entries, in display order
  std::vector<int> Values;        // the field value stored for each entry
  int Min = 0, Max = 0;           // ranges of integer edits and sliders
  int Value = 0;                  // integer edit or slider value; colour of a colour box
  int ItemIndex = -1;             // selected list entry, -1 for none
  bool Checked = false;
  bool Enabled = true;
  // Tie: enabled only while the list TieId holds one of the values in TieMask (bit v = value v).
  int TieId = -1;
  uint32_t TieMask = 0;
  // Palette views show a copy; Columns x Rows swatches.
  std::shared_ptr<TVePalette256> Palette;
  int Columns = 0, Rows = 0;
  bool OriginalPaletteView = false;

  // The value of the selected entry of a list, or fallback with none selected.
  int SelectedValue(int fallback = 0) const;
};

// Where panels find the palette library: name and palette per entry, in list order. Without
// an installed one it is the program's shared palette list.
using TVePaletteLibrary =
    std::function<std::vector<std::pair<std::string, const TVePalette256*>>()>;
void VeSetPaletteLibrary(TVePaletteLibrary library);
std::vector<std::pair<std::string, const TVePalette256*>> VePaletteLibraryEntries();

class TVeDestEngineUI {
public:
  explicit TVeDestEngineUI(TVeDestEngineOptions& options) : FOptions(&options) {}
  virtual ~TVeDestEngineUI();
  TVeDestEngineUI(const TVeDestEngineUI&) = delete;
  TVeDestEngineUI& operator=(const TVeDestEngineUI&) = delete;

  TVeDestEngineOptions& Options() const { return *FOptions; }
  const std::vector<TVeUIControl>& Controls() const { return FControls; }
  const TVeUIControl* Find(int id) const;
  bool Has(int id) const { return Find(id) != nullptr; }

  // Host input; each (except while the panel is updating or loading) ends in ControlsChanged.
  void Select(int id, int itemIndex);
  void SelectValue(int id, int value); // selects the entry that stores value, if any
  void SetValue(int id, int value);
  void SetChecked(int id, bool checked);
  void SetText(int id, const std::string& text);
  virtual void Press(int id);

  virtual void ControlsChanged() {}
  // Called after the control list or a caption changed, so the host can lay out again.
  std::function<void()> OnLayoutChanged;

protected:
  TVeUIControl& Add(TVeUIControl control);
  TVeUIControl* FindMutable(int id);
  void NewRow() { ++FRow; }

  TVeDestEngineOptions* FOptions;
  std::vector<TVeUIControl> FControls;
  int FRow = 0;
  int FUpdateLock = 0;
  bool FLoading = false;
};

// A panel that knows the destination controller and the source picture.
class TVeSourceDestUI : public TVeDestEngineUI {
public:
  using TVeDestEngineUI::TVeDestEngineUI;
  void SetDest(IVeOptionsHost* dest) { FDest = dest; }
  IVeOptionsHost* Dest() const { return FDest; }
  // Size of the whole source picture (0 x 0 when none); the "Image dimension" state needs it.
  void SetSourcePictureSize(int w, int h);
  bool HasSourcePicture() const { return FSourceWidth > 0 && FSourceHeight > 0; }

protected:
  IVeOptionsHost* FDest = nullptr;
  int FSourceWidth = 0, FSourceHeight = 0;
};

// The common option panel: engines build theirs from the group builders below, in screen order.
class TVeDestEngineUIEx : public TVeSourceDestUI {
public:
  explicit TVeDestEngineUIEx(TVeDestEngineOptions& options);

  // Writes every present control into its field; absent controls leave their fields alone.
  virtual void ReadControls();
  virtual bool IsOptionPanel() const { return true; }
  // Asks the host to show a palette in a separate window; the default does nothing.
  virtual void ShowPalette(const TVePalette256& /*palette*/, int /*number*/) {}
  virtual void Refresh() {}

  void ControlsChanged() override;
  void Press(int id) override;

  // A new region image of w x h: fits the dimension to it unless "Lock" holds.
  void SourceSizeToDimension(int w, int h);
  // "Select..." confirmed in the host's colour dialog.
  void BorderColorSelected(int rgb);
  // The colours the machine's border can show (24-bit RGB), for the host's "Select..."
  // dialog; empty where any colour goes.
  std::vector<int> BorderColors() const;
  // Copies the options' palette into the palette view and shows the palette numbers.
  void RefreshPaletteControls();
  // The palette library changed: the palette lists offer its entries afresh, keeping the
  // entries chosen where they are still there.
  void PaletteLibraryChanged();
  // A delivered result: its palette and numbers go to the palette view and label.
  void ShowResultPalette(const TVePalette256* palette, int number, int number2);

  // The aspect indices offered for a mode, in table order.
  static std::vector<int> OfferedAspects(int current, const std::vector<int>& given);
  static std::string PaletteNumberText(int number, int number2);

protected:
  void BeginPanelUpdate() { ++FUpdateLock; }
  void EndPanelUpdate();

  // Group builders, called in screen order by the engine panels' constructors.
  void AddDimension(bool nativeButton = true);
  void AddPositionBorder(const std::vector<int>& aspects = {});
  // Restricts "Select..." to the colours this function gives for the current options.
  void SetBorderColors(std::function<std::vector<int>(const TVeDestEngineOptions&)> colors) {
    FBorderColors = std::move(colors);
  }
  void AddPaletteSeparator();
  // "P&alette:" with the generated types "RGB888".."RGB111" and the palettes of the library.
  void AddPaletteList();
  void AddPaletteTypeList(const std::vector<std::pair<std::string, TVePaletteType>>& types,
                          bool pictures = false);
  void AddPaletteNumberList(const std::vector<std::string>& names);
  void AddPaletteView(int columns, int rows, bool original = false);
  // Up to `most` colours, the options' count held to that.
  void AddMaxColorCount(int most = 256);
  void AddKeepWholePalette();
  void AddGrayPalette();
  void AddUseOnlyOriginalColors();
  void AddFixedPalette();
  void AddPaletteUsage(const std::vector<std::string>& names);
  void AddPaletteMode(uint32_t mask, bool editButton = false);
  void AddBorderColorIndex(const std::vector<std::string>& names);
  void AddCalculation();
  // Color usage values offered (0..3); tied to the palette mode list when tieMask != 0.
  void AddColorUsage(const std::vector<int>& values, uint32_t tieMask = 0);
  void AddMaxFlickering();
  void AddFlickerStyle();
  void AddSafeMode();
  void AddPaletteNumberLabel();
  void AddHam(bool prevLines, bool nextLines, bool maxChanges);
  void AddDithering(bool limits);
  void AddFileFormat(const std::string& caption);
  void AddComment();

  void UpdateTies();
  void RefreshFixedPaletteList(bool fromOptions = false);
  void FillPaletteList(std::vector<std::string>& names, std::vector<int>& values, int& current,
                       const TVePalette256* keep);
  void AddListControl(int id, TVeControlGroup group, const std::string& caption,
                      std::vector<std::string> items, std::vector<int> values, int current);

  bool FNativeState = true; // the button reads "&Native dimension"
  // The entries of the three palette lists when the palette view was last filled.
  std::array<int, 3> FShownPaletteChoice{-1, -1, -1};
  // Copies of the library palettes behind the "&Fixed palette:" and "P&alette:" entries (the
  // library may drop its temporary palettes at any time).
  std::vector<std::shared_ptr<TVePalette256>> FFixedChoices;
  std::vector<std::shared_ptr<TVePalette256>> FListPalettes;
  std::function<std::vector<int>(const TVeDestEngineOptions&)> FBorderColors;
};
