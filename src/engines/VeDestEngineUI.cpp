#include "VeDestEngineUI.h"

#include <algorithm>
#include <mutex>

#include "VeColorDistance.h"
#include "VePalette.h"
#include "VePaletteList.h"

namespace {
std::mutex LibraryLock;
TVePaletteLibrary Library;
} // namespace

void VeSetPaletteLibrary(TVePaletteLibrary library) {
  std::lock_guard<std::mutex> lock(LibraryLock);
  Library = std::move(library);
}

std::vector<std::pair<std::string, const TVePalette256*>> VePaletteLibraryEntries() {
  TVePaletteLibrary library;
  {
    std::lock_guard<std::mutex> lock(LibraryLock);
    library = Library;
  }
  if (library) return library();
  // By default the program's shared palette list.
  std::vector<std::pair<std::string, const TVePalette256*>> entries;
  TVePaletteList& shared = TVePaletteList::Shared();
  for (int i = 0; i < shared.Count(); ++i)
    entries.emplace_back(shared.Items(i)->Name, shared.Items(i));
  return entries;
}

int TVeUIControl::SelectedValue(int fallback) const {
  if (ItemIndex < 0 || ItemIndex >= int(Values.size())) return fallback;
  return Values[size_t(ItemIndex)];
}

// ---------------------------------------------------------------------------------------------

TVeDestEngineUI::~TVeDestEngineUI() = default;

const TVeUIControl* TVeDestEngineUI::Find(int id) const {
  for (const TVeUIControl& c : FControls)
    if (c.Id == id) return &c;
  return nullptr;
}

TVeUIControl* TVeDestEngineUI::FindMutable(int id) {
  for (TVeUIControl& c : FControls)
    if (c.Id == id) return &c;
  return nullptr;
}

TVeUIControl& TVeDestEngineUI::Add(TVeUIControl control) {
  control.Row = FRow;
  FControls.push_back(std::move(control));
  return FControls.back();
}

void TVeDestEngineUI::Select(int id, int itemIndex) {
  TVeUIControl* c = FindMutable(id);
  if (!c || itemIndex < -1 || itemIndex >= int(c->Items.size())) return;
  c->ItemIndex = itemIndex;
  ControlsChanged();
}

void TVeDestEngineUI::SelectValue(int id, int value) {
  const TVeUIControl* c = Find(id);
  if (!c) return;
  auto it = std::find(c->Values.begin(), c->Values.end(), value);
  if (it != c->Values.end()) Select(id, int(it - c->Values.begin()));
}

void TVeDestEngineUI::SetValue(int id, int value) {
  TVeUIControl* c = FindMutable(id);
  if (!c) return;
  if (c->Kind == TVeControlKind::IntEdit || c->Kind == TVeControlKind::Slider)
    value = std::clamp(value, c->Min, std::max(c->Min, c->Max));
  c->Value = value;
  ControlsChanged();
}

void TVeDestEngineUI::SetChecked(int id, bool checked) {
  TVeUIControl* c = FindMutable(id);
  if (!c) return;
  c->Checked = checked;
  ControlsChanged();
}

void TVeDestEngineUI::SetText(int id, const std::string& text) {
  TVeUIControl* c = FindMutable(id);
  if (!c) return;
  c->Text = text;
  ControlsChanged();
}

void TVeDestEngineUI::Press(int) {}

// ---------------------------------------------------------------------------------------------

void TVeSourceDestUI::SetSourcePictureSize(int w, int h) {
  FSourceWidth = std::max(w, 0);
  FSourceHeight = std::max(h, 0);
}

// ---------------------------------------------------------------------------------------------

TVeDestEngineUIEx::TVeDestEngineUIEx(TVeDestEngineOptions& options) : TVeSourceDestUI(options) {}

void TVeDestEngineUIEx::EndPanelUpdate() {
  if (FUpdateLock > 0 && --FUpdateLock == 0) ControlsChanged();
}

std::vector<int> TVeDestEngineUIEx::OfferedAspects(int current, const std::vector<int>& given) {
  std::vector<bool> offer(VeAspectCount, false);
  if (given.empty()) {
    if (current >= 0 && current < VeAspectCount) offer[size_t(current)] = true;
    if (current == 2) offer[1] = true;
    if (current == 18) offer[17] = true;
    if (current == 21) offer[20] = true;
  } else {
    for (int i : given)
      if (i >= 0 && i < VeAspectCount) offer[size_t(i)] = true;
  }
  offer[VeAspectSquare] = true;
  std::vector<int> result;
  for (int i = 0; i < VeAspectCount; ++i)
    if (offer[size_t(i)]) result.push_back(i);
  return result;
}

std::string TVeDestEngineUIEx::PaletteNumberText(int number, int number2) {
  std::string s = std::to_string(number);
  if (number2 >= 0) s += ", " + std::to_string(number2);
  return s;
}

void TVeDestEngineUIEx::AddListControl(int id, TVeControlGroup group, const std::string& caption,
                                       std::vector<std::string> items, std::vector<int> values,
                                       int current) {
  TVeUIControl c;
  c.Id = id;
  c.Kind = TVeControlKind::List;
  c.Group = group;
  c.Caption = caption;
  c.Items = std::move(items);
  c.Values = std::move(values);
  auto it = std::find(c.Values.begin(), c.Values.end(), current);
  c.ItemIndex = it == c.Values.end() ? (c.Values.empty() ? -1 : 0) : int(it - c.Values.begin());
  if (id >= ciPaletteList && id <= ciPaletteNumberList)
    FShownPaletteChoice[size_t(id - ciPaletteList)] = c.ItemIndex;
  NewRow();
  Add(std::move(c));
}

static TVeUIControl MakeControl(int id, TVeControlKind kind, TVeControlGroup group,
                                const std::string& caption) {
  TVeUIControl c;
  c.Id = id;
  c.Kind = kind;
  c.Group = group;
  c.Caption = caption;
  return c;
}

static TVeUIControl MakeRange(int id, TVeControlKind kind, TVeControlGroup group,
                              const std::string& caption, int lo, int hi, int value) {
  TVeUIControl c = MakeControl(id, kind, group, caption);
  c.Min = lo;
  c.Max = hi;
  c.Value = std::clamp(value, lo, std::max(lo, hi));
  return c;
}

static TVeUIControl MakeCheck(int id, TVeControlGroup group, const std::string& caption,
                              bool checked) {
  TVeUIControl c = MakeControl(id, TVeControlKind::CheckBox, group, caption);
  c.Checked = checked;
  return c;
}

void TVeDestEngineUIEx::AddDimension(bool nativeButton) {
  const TVeDestEngineOptions& o = Options();
  const auto g = TVeControlGroup::Dimension;
  TVeSize mn = o.GetMinSize(), mx = o.GetMaxSize();
  NewRow();
  Add(MakeControl(ciDimensionLabel, TVeControlKind::Label, g, "&Dimension:"));
  Add(MakeRange(ciWidth, TVeControlKind::IntEdit, g, "", mn.Width, mx.Width, o.Width()));
  TVeUIControl x = MakeControl(ciDimensionX, TVeControlKind::Label, g, "");
  x.Text = " x ";
  Add(std::move(x));
  Add(MakeRange(ciHeight, TVeControlKind::IntEdit, g, "", mn.Height, mx.Height, o.Height()));
  if (nativeButton) {
    NewRow();
    FNativeState = true;
    Add(MakeControl(ciNativeDimension, TVeControlKind::Button, g, "&Native dimension"));
  }
  NewRow();
  Add(MakeCheck(ciDimensionLock, g, "Lock", o.DimensionLock()));
}

void TVeDestEngineUIEx::AddPositionBorder(const std::vector<int>& aspects) {
  const TVeDestEngineOptions& o = Options();
  const auto g = TVeControlGroup::PositionBorder;
  std::vector<std::string> names;
  std::vector<int> values;
  for (int i = 0; i < VePositionModeCount; ++i) {
    names.push_back(VePositionModes[i]);
    values.push_back(i);
  }
  AddListControl(ciPosition, g, "P&osition:", names, values, o.PositionMode());
  std::vector<int> offered = OfferedAspects(o.AspectIndex(), aspects);
  if (offered.size() > 1) {
    names.clear();
    for (int i : offered)
      names.push_back(VeAspectRatios[i].Label);
    AddListControl(ciAspect, g, "Pixel aspect &ratio:", names, offered, o.AspectIndex());
  }
  NewRow();
  TVeUIControl box = MakeControl(ciBorderColor, TVeControlKind::ColorBox, g, "&Border color:");
  box.Value = o.BorderColor();
  Add(std::move(box));
  Add(MakeControl(ciBorderSelect, TVeControlKind::Button, g, "Select..."));
  NewRow();
  Add(MakeCheck(ciKeepPixels, g, "Keep pixels", o.KeepPixels()));
}

void TVeDestEngineUIEx::AddPaletteSeparator() {
  NewRow();
  Add(MakeControl(ciPaletteSeparator, TVeControlKind::Separator, TVeControlGroup::Palette,
                  "Palette"));
}

// The entries of "P&alette:": the generated types, then copies of the library's palettes.
// selected: the entry to keep (a type, or a palette equal to it), else the options' choice.
void TVeDestEngineUIEx::FillPaletteList(std::vector<std::string>& names, std::vector<int>& values,
                                        int& current, const TVePalette256* keep) {
  const TVeDestEngineOptions& o = Options();
  names.clear();
  values.clear();
  for (int i = 0; i < 10; ++i) {
    names.push_back(VePaletteTypeName(TVePaletteType(i)));
    values.push_back(i);
  }
  FListPalettes.clear();
  if (current < 0 || current > int(ptRGB111))
    current = o.PaletteType() <= ptRGB111 && !keep ? int(o.PaletteType()) : -1;
  const TVePalette256* match =
      keep ? keep : (o.PaletteType() == ptColored ? &o.Palette() : nullptr);
  for (auto& [name, palette] : VePaletteLibraryEntries()) {
    if (!palette) continue;
    auto copy = std::make_shared<TVePalette256>();
    copy->Assign(palette);
    int value = 10 + int(FListPalettes.size());
    if (current < 0 && match && copy->Equals(match)) current = value;
    FListPalettes.push_back(std::move(copy));
    names.push_back(name);
    values.push_back(value);
  }
}

void TVeDestEngineUIEx::AddPaletteList() {
  std::vector<std::string> names;
  std::vector<int> values;
  int current = -1;
  FillPaletteList(names, values, current, nullptr);
  AddListControl(ciPaletteList, TVeControlGroup::Palette, "P&alette:", names, values, current);
  // With no matching entry nothing is selected, which stands for the options' own palette.
  TVeUIControl* c = FindMutable(ciPaletteList);
  if (current < 0) c->ItemIndex = FShownPaletteChoice[0] = -1;
}

void TVeDestEngineUIEx::PaletteLibraryChanged() {
  if (TVeUIControl* list = FindMutable(ciPaletteList)) {
    // Keep the entry shown: a generated type by its value, a library palette by its colours.
    int current = -1;
    std::shared_ptr<TVePalette256> keep;
    const int value = list->SelectedValue(-1);
    if (value >= 0 && value <= int(ptRGB111))
      current = value;
    else if (value >= 10 && size_t(value - 10) < FListPalettes.size())
      keep = FListPalettes[size_t(value - 10)];
    FillPaletteList(list->Items, list->Values, current, keep.get());
    auto it = std::find(list->Values.begin(), list->Values.end(), current);
    list->ItemIndex = it == list->Values.end() ? -1 : int(it - list->Values.begin());
    FShownPaletteChoice[0] = list->ItemIndex;
  }
  TVeDestEngineOptions& o = Options();
  o.BeginUpdate();
  RefreshFixedPaletteList();
  o.EndUpdate();
  // A fixed palette that left the library is no longer offered, nor used.
  if (o.Modified() && FDest) FDest->OptionsChanged();
}

void TVeDestEngineUIEx::AddPaletteTypeList(
    const std::vector<std::pair<std::string, TVePaletteType>>& types, bool pictures) {
  std::vector<std::string> names;
  std::vector<int> values;
  for (auto& [name, type] : types) {
    names.push_back(name);
    values.push_back(int(type));
  }
  AddListControl(ciPaletteTypeList, TVeControlGroup::Palette, "P&alette:", names, values,
                 Options().PaletteType());
  if (pictures) FindMutable(ciPaletteTypeList)->Kind = TVeControlKind::PictureList;
}

void TVeDestEngineUIEx::AddPaletteNumberList(const std::vector<std::string>& names) {
  std::vector<int> values;
  for (size_t i = 0; i < names.size(); ++i)
    values.push_back(int(i));
  AddListControl(ciPaletteNumberList, TVeControlGroup::Palette, "P&alette:", names, values,
                 Options().PaletteNumber());
}

void TVeDestEngineUIEx::AddPaletteView(int columns, int rows, bool original) {
  NewRow();
  TVeUIControl c =
      MakeControl(ciPaletteView, TVeControlKind::PaletteView, TVeControlGroup::Palette, "");
  c.Columns = columns;
  c.Rows = rows;
  c.OriginalPaletteView = original;
  c.Palette = std::make_shared<TVePalette256>();
  c.Palette->Assign(&Options().Palette());
  Add(std::move(c));
}

void TVeDestEngineUIEx::AddMaxColorCount(int most) {
  NewRow();
  Add(MakeRange(ciMaxColorCount, TVeControlKind::IntEdit, TVeControlGroup::Palette,
                "Max color &count:", 0, most, Options().MaxColorCount()));
}

void TVeDestEngineUIEx::AddKeepWholePalette() {
  NewRow();
  Add(MakeCheck(ciKeepWholePalette, TVeControlGroup::Palette, "Keep &whole palette in output file",
                Options().KeepWholePalette()));
}

void TVeDestEngineUIEx::AddGrayPalette() {
  NewRow();
  Add(MakeCheck(ciGrayPalette, TVeControlGroup::Palette, "Use as &gray palette",
                Options().GrayPalette()));
}

void TVeDestEngineUIEx::AddUseOnlyOriginalColors() {
  NewRow();
  Add(MakeCheck(ciUseOnlyOriginalColors, TVeControlGroup::Palette, "Use only original colors",
                Options().UseOnlyOriginalColors()));
}

void TVeDestEngineUIEx::AddFixedPalette() {
  AddListControl(ciFixedPalette, TVeControlGroup::Palette, "&Fixed palette:", {"None"}, {0}, 0);
  NewRow();
  TVeUIControl v =
      MakeControl(ciFixedPaletteView, TVeControlKind::PaletteView, TVeControlGroup::Palette, "");
  v.Columns = 16;
  v.Rows = 1;
  v.Palette = std::make_shared<TVePalette256>();
  Add(std::move(v));
  RefreshFixedPaletteList(true);
}

void TVeDestEngineUIEx::AddPaletteUsage(const std::vector<std::string>& names) {
  std::vector<int> values;
  for (size_t i = 0; i < names.size(); ++i)
    values.push_back(int(i));
  AddListControl(ciPaletteUsage, TVeControlGroup::Palette, "&Usage:", names, values,
                 Options().PaletteUsage());
}

void TVeDestEngineUIEx::AddPaletteMode(uint32_t mask, bool editButton) {
  std::vector<std::string> names;
  std::vector<int> values;
  for (int v = 0; v < VePaletteModeCount; ++v)
    if (mask & (1u << v)) {
      names.push_back(VePaletteModes[v]);
      values.push_back(v);
    }
  AddListControl(ciPaletteMode, TVeControlGroup::Palette, "&Mode:", names, values,
                 Options().PaletteMode());
  if (editButton)
    Add(MakeControl(ciPaletteModeEdit, TVeControlKind::Button, TVeControlGroup::Palette,
                    "Edit..."));
}

void TVeDestEngineUIEx::AddBorderColorIndex(const std::vector<std::string>& names) {
  std::vector<int> values;
  for (size_t i = 0; i < names.size(); ++i)
    values.push_back(int(i));
  AddListControl(ciBorderColorIndex, TVeControlGroup::Palette, "Border color:", names, values,
                 Options().BorderColorIndex());
}

void TVeDestEngineUIEx::AddCalculation() {
  AddListControl(ciCalculation, TVeControlGroup::Palette, "&Calculation:", {"Standard", "Linear"},
                 {0, 1}, Options().Calculation());
}

void TVeDestEngineUIEx::AddColorUsage(const std::vector<int>& values, uint32_t tieMask) {
  static const char* const names[4] = {"Dark and bright", "Dark only",
                                       "Dark only but force set bright bit", "Bright only"};
  std::vector<std::string> items;
  std::vector<int> vals;
  for (int v : values)
    if (v >= 0 && v < 4) {
      items.push_back(names[v]);
      vals.push_back(v);
    }
  AddListControl(ciColorUsage, TVeControlGroup::Palette, "Color &usage:", items, vals,
                 Options().ColorUsage());
  if (tieMask) {
    TVeUIControl* c = FindMutable(ciColorUsage);
    c->TieId = ciPaletteMode;
    c->TieMask = tieMask;
    UpdateTies();
  }
}

void TVeDestEngineUIEx::AddMaxFlickering() {
  NewRow();
  Add(MakeRange(ciMaxFlickering, TVeControlKind::Slider, TVeControlGroup::Palette,
                "Max &flickering:", 0, 100, Options().MaxFlickering()));
}

void TVeDestEngineUIEx::AddFlickerStyle() {
  AddListControl(ciFlickerStyle, TVeControlGroup::Palette,
                 "St&yle:", {"Lines", "Chessboard", "Mixed"}, {0, 1, 2}, Options().FlickerStyle());
}

void TVeDestEngineUIEx::AddSafeMode() {
  NewRow();
  Add(MakeCheck(ciSafeMode, TVeControlGroup::Palette, "Safe mode", Options().SafeMode()));
}

void TVeDestEngineUIEx::AddPaletteNumberLabel() {
  NewRow();
  TVeUIControl c =
      MakeControl(ciPaletteNumberLabel, TVeControlKind::Label, TVeControlGroup::Palette, "");
  Add(std::move(c));
}

void TVeDestEngineUIEx::AddHam(bool prevLines, bool nextLines, bool maxChanges) {
  const TVeDestEngineOptions& o = Options();
  const auto g = TVeControlGroup::Ham;
  NewRow();
  Add(MakeControl(ciHamSeparator, TVeControlKind::Separator, g, "HAM"));
  NewRow();
  Add(MakeRange(ciHamInitialLines, TVeControlKind::Slider, g, "Initial palette lines:", 1, 100,
                o.HamInitialLines()));
  if (prevLines) {
    NewRow();
    Add(MakeRange(ciHamPrevLines, TVeControlKind::Slider, g,
                  nextLines ? "Prev lines:" : "Extra lines:", 0, 10, o.HamPrevLines()));
  }
  if (nextLines) {
    NewRow();
    Add(MakeRange(ciHamNextLines, TVeControlKind::Slider, g, "Next lines:", 0, 10,
                  o.HamNextLines()));
  }
  if (maxChanges) {
    // The engine stores the largest count it supports; the slider starts at 1.
    NewRow();
    Add(MakeRange(ciHamMaxChanges, TVeControlKind::Slider, g, "Max change count:", 1,
                  std::max(1, o.HamMaxChanges()), 1));
  }
}

void TVeDestEngineUIEx::AddDithering(bool limits) {
  const TVeDestEngineOptions& o = Options();
  const auto g = TVeControlGroup::Dithering;
  NewRow();
  Add(MakeControl(ciDitherSeparator, TVeControlKind::Separator, g, "Dithering"));
  std::vector<std::string> names;
  std::vector<int> values;
  for (int i = 0; i < VeDitherMethodCount; ++i) {
    names.push_back(VeDitherMethods[i]);
    values.push_back(i);
  }
  AddListControl(ciDitherMethod, g, "Me&thod:", names, values, o.DitherMethod());
  if (o.UsesColorDistance()) {
    NewRow();
    std::vector<std::string> distances;
    std::vector<int> distanceValues;
    for (int i = 0; i < VeDistanceCount; ++i) {
      distances.push_back(VeDistanceNames[i]);
      distanceValues.push_back(i);
    }
    AddListControl(ciColorDistance, g, "Color &distance:", distances, distanceValues,
                   o.ColorDistance());
  }
  NewRow();
  Add(MakeRange(ciErrorDiffusion, TVeControlKind::Slider, g, "&Error diffusion:", 0, 100,
                o.ErrorDiffusion()));
  if (limits) {
    NewRow();
    Add(MakeCheck(ciLimitErrorInsideBlock, g, "Limit error inside block",
                  o.LimitErrorInsideBlock()));
    NewRow();
    Add(MakeCheck(ciLimitErrorAtBoundary, g, "Limit error at block boundary",
                  o.LimitErrorAtBoundary()));
  }
  NewRow();
  Add(MakeCheck(ciSerpentine, g, "Serpentine scanning", o.Serpentine()));
  NewRow();
  Add(MakeRange(ciLightnessFix, TVeControlKind::Slider, g, "Lightness fix:", -90, 90,
                o.LightnessFix()));
  NewRow();
  Add(MakeRange(ciSaturationFix, TVeControlKind::Slider, g, "Saturation fix:", -90, 90,
                o.SaturationFix()));
}

void TVeDestEngineUIEx::AddFileFormat(const std::string& caption) {
  const auto g = TVeControlGroup::FileFormat;
  NewRow();
  Add(MakeControl(ciFileFormatSeparator, TVeControlKind::Separator, g, "File format"));
  NewRow();
  Add(MakeCheck(ciFileFormatFlag, g, caption, Options().FileFormatFlag()));
}

void TVeDestEngineUIEx::AddComment() {
  const auto g = TVeControlGroup::Comment;
  NewRow();
  Add(MakeControl(ciCommentSeparator, TVeControlKind::Separator, g, "Comment"));
  NewRow();
  TVeUIControl c = MakeControl(ciComment, TVeControlKind::Edit, g, "&Comment:");
  c.Text = Options().Comment();
  Add(std::move(c));
}

// ---------------------------------------------------------------------------------------------

void TVeDestEngineUIEx::UpdateTies() {
  for (TVeUIControl& c : FControls) {
    if (c.TieId < 0) continue;
    const TVeUIControl* list = Find(c.TieId);
    int v = list ? list->SelectedValue(-1) : -1;
    c.Enabled = v >= 0 && v < 32 && (c.TieMask & (1u << v)) != 0;
  }
}

void TVeDestEngineUIEx::RefreshFixedPaletteList(bool fromOptions) {
  TVeUIControl* list = FindMutable(ciFixedPalette);
  if (!list) return;
  const TVePalette256& base = Options().BasePalette();
  // Keep the entry chosen in the list, or at first the one holding the options' fixed palette.
  std::shared_ptr<TVePalette256> chosen;
  if (fromOptions) {
    if (Options().FixedPalette().GetCount() > 0) {
      chosen = std::make_shared<TVePalette256>();
      chosen->Assign(&Options().FixedPalette());
    }
  } else if (list->ItemIndex > 0 && size_t(list->ItemIndex) <= FFixedChoices.size()) {
    chosen = FFixedChoices[size_t(list->ItemIndex - 1)];
  }
  list->Items = {"None"};
  list->Values = {0};
  FFixedChoices.clear();
  int select = 0;
  for (auto& [name, palette] : VePaletteLibraryEntries()) {
    if (!palette || palette->GetCount() >= base.GetCount() - 1 || !base.ContainsAll(palette))
      continue;
    auto copy = std::make_shared<TVePalette256>();
    copy->Assign(palette);
    FFixedChoices.push_back(copy);
    list->Items.push_back(name);
    list->Values.push_back(int(FFixedChoices.size()));
    if (select == 0 && chosen && chosen->Equals(copy.get())) select = int(FFixedChoices.size());
  }
  list->ItemIndex = select;
  const TVePalette256* choice = select > 0 ? FFixedChoices[size_t(select - 1)].get() : nullptr;
  Options().SetFixedPalette(choice);
  bool enabled = base.GetCount() >= 1;
  list->Enabled = enabled;
  if (TVeUIControl* view = FindMutable(ciFixedPaletteView)) {
    view->Enabled = enabled;
    view->Palette->Assign(choice);
  }
}

void TVeDestEngineUIEx::ReadControls() {
  TVeDestEngineOptions& o = Options();
  for (const TVeUIControl& c : FControls) {
    switch (c.Id) {
    case ciWidth:
      o.SetWidth(c.Value);
      break;
    case ciHeight:
      o.SetHeight(c.Value);
      break;
    case ciDimensionLock:
      o.SetDimensionLock(c.Checked);
      break;
    case ciPosition:
      o.SetPositionMode(c.SelectedValue(o.PositionMode()));
      break;
    case ciAspect:
      o.SetAspectIndex(c.SelectedValue(o.AspectIndex()));
      break;
    case ciBorderColor:
      o.SetBorderColor(c.Value);
      break;
    case ciPaletteList: {
      int v = c.SelectedValue(-1);
      if (v >= 0 && v <= int(ptRGB111)) {
        o.SetPaletteType(TVePaletteType(v));
        o.SetPalette(nullptr);
      } else {
        o.SetPaletteType(ptColored);
        if (v >= 10 && size_t(v - 10) < FListPalettes.size())
          o.SetPalette(FListPalettes[size_t(v - 10)].get());
      }
      break;
    }
    case ciPaletteTypeList:
      o.SetPaletteType(TVePaletteType(c.SelectedValue(o.PaletteType())));
      break;
    case ciPaletteNumberList:
      o.SetPaletteNumber(c.SelectedValue(o.PaletteNumber()));
      break;
    case ciMaxColorCount:
      o.SetMaxColorCount(c.Value);
      break;
    case ciKeepWholePalette:
      o.SetKeepWholePalette(c.Checked);
      break;
    case ciGrayPalette:
      o.SetGrayPalette(c.Checked);
      break;
    case ciUseOnlyOriginalColors:
      o.SetUseOnlyOriginalColors(c.Checked);
      break;
    case ciPaletteUsage:
      o.SetPaletteUsage(uint8_t(c.SelectedValue(o.PaletteUsage())));
      break;
    case ciPaletteMode:
      o.SetPaletteMode(uint8_t(c.SelectedValue(o.PaletteMode())));
      break;
    case ciBorderColorIndex:
      o.SetBorderColorIndex(c.SelectedValue(o.BorderColorIndex()));
      break;
    case ciCalculation:
      o.SetCalculation(uint8_t(c.SelectedValue(o.Calculation())));
      break;
    case ciColorUsage:
      o.SetColorUsage(uint8_t(c.SelectedValue(o.ColorUsage())));
      break;
    case ciMaxFlickering:
      o.SetMaxFlickering(c.Value);
      break;
    case ciFlickerStyle:
      o.SetFlickerStyle(uint8_t(c.SelectedValue(o.FlickerStyle())));
      break;
    case ciSafeMode:
      o.SetSafeMode(c.Checked);
      break;
    case ciHamInitialLines:
      o.SetHamInitialLines(c.Value);
      break;
    case ciHamPrevLines:
      o.SetHamPrevLines(c.Value);
      break;
    case ciHamNextLines:
      o.SetHamNextLines(c.Value);
      break;
    case ciHamMaxChanges:
      o.SetHamMaxChanges(c.Value);
      break;
    case ciDitherMethod:
      o.SetDitherMethod(c.SelectedValue(o.DitherMethod()));
      break;
    case ciColorDistance:
      o.SetColorDistance(c.SelectedValue(o.ColorDistance()));
      break;
    case ciKeepPixels:
      o.SetKeepPixels(c.Checked);
      break;
    case ciErrorDiffusion:
      o.SetErrorDiffusion(c.Value);
      break;
    case ciLimitErrorInsideBlock:
      o.SetLimitErrorInsideBlock(c.Checked);
      break;
    case ciLimitErrorAtBoundary:
      o.SetLimitErrorAtBoundary(c.Checked);
      break;
    case ciSerpentine:
      o.SetSerpentine(c.Checked);
      break;
    case ciLightnessFix:
      o.SetLightnessFix(c.Value);
      break;
    case ciSaturationFix:
      o.SetSaturationFix(c.Value);
      break;
    case ciFileFormatFlag:
      o.SetFileFormatFlag(c.Checked);
      break;
    case ciComment:
      o.SetComment(c.Text);
      break;
    default:
      break;
    }
  }
}

void TVeDestEngineUIEx::ControlsChanged() {
  if (FUpdateLock > 0 || FLoading) return;
  TVeDestEngineOptions& o = Options();
  // A new choice in one of the palette lists shows the options' palette afresh.
  bool paletteListChanged = false;
  for (int id : {ciPaletteList, ciPaletteTypeList, ciPaletteNumberList})
    if (const TVeUIControl* c = Find(id)) {
      int& shown = FShownPaletteChoice[size_t(id - ciPaletteList)];
      paletteListChanged = paletteListChanged || c->ItemIndex != shown;
      shown = c->ItemIndex;
    }
  o.BeginUpdate();
  ReadControls();
  o.EndUpdate();
  RefreshFixedPaletteList();
  UpdateTies();
  if (paletteListChanged) {
    if (TVeUIControl* view = FindMutable(ciPaletteView)) view->Palette->Assign(&o.Palette());
    if (TVeUIControl* label = FindMutable(ciPaletteNumberLabel)) label->Text.clear();
  }
  if (o.Modified() && FDest) FDest->OptionsChanged();
}

void TVeDestEngineUIEx::Press(int id) {
  if (id != ciNativeDimension) return;
  TVeUIControl* button = FindMutable(ciNativeDimension);
  TVeUIControl* w = FindMutable(ciWidth);
  TVeUIControl* h = FindMutable(ciHeight);
  TVeUIControl* aspect = FindMutable(ciAspect);
  auto selectAspect = [aspect](int index) {
    if (!aspect) return;
    auto it = std::find(aspect->Values.begin(), aspect->Values.end(), index);
    if (it != aspect->Values.end()) aspect->ItemIndex = int(it - aspect->Values.begin());
  };
  auto put = [](TVeUIControl* c, int v) {
    if (c) c->Value = std::clamp(v, c->Min, std::max(c->Min, c->Max));
  };
  if (FNativeState) {
    TVeSize size = Options().GetDefaultSize();
    put(w, size.Width);
    put(h, size.Height);
    selectAspect(Options().NativeAspect());
    if (HasSourcePicture()) {
      FNativeState = false;
      button->Caption = "&Image dimension";
    }
  } else if (HasSourcePicture()) {
    put(w, FSourceWidth);
    put(h, FSourceHeight);
    selectAspect(VeAspectSquare);
    FNativeState = true;
    button->Caption = "&Native dimension";
  }
  if (OnLayoutChanged) OnLayoutChanged();
  ControlsChanged();
}

void TVeDestEngineUIEx::SourceSizeToDimension(int w, int h) {
  TVeUIControl* we = FindMutable(ciWidth);
  TVeUIControl* he = FindMutable(ciHeight);
  const TVeUIControl* lock = Find(ciDimensionLock);
  if (lock && lock->Checked && we && he && we->Value > 0 && he->Value > 0) return;
  BeginPanelUpdate();
  TVeSize size = VeDimensionFromSource(Options(), w, h);
  if (we) we->Value = std::clamp(size.Width, we->Min, std::max(we->Min, we->Max));
  if (he) he->Value = std::clamp(size.Height, he->Min, std::max(he->Min, he->Max));
  EndPanelUpdate();
}

void TVeDestEngineUIEx::BorderColorSelected(int rgb) {
  rgb &= 0xFFFFFF;
  if (TVeUIControl* box = FindMutable(ciBorderColor)) box->Value = rgb;
  if (FDest) FDest->SetBorderColor(rgb);
  ControlsChanged();
}

std::vector<int> TVeDestEngineUIEx::BorderColors() const {
  return FBorderColors ? FBorderColors(Options()) : std::vector<int>{};
}

void TVeDestEngineUIEx::RefreshPaletteControls() {
  const TVeDestEngineOptions& o = Options();
  if (TVeUIControl* view = FindMutable(ciPaletteView)) view->Palette->Assign(&o.Palette());
  if (TVeUIControl* label = FindMutable(ciPaletteNumberLabel))
    label->Text = PaletteNumberText(o.PaletteNumber(), o.PaletteNumber2());
  RefreshFixedPaletteList(true);
  UpdateTies();
}

void TVeDestEngineUIEx::ShowResultPalette(const TVePalette256* palette, int number, int number2) {
  if (TVeUIControl* view = FindMutable(ciPaletteView))
    if (palette && palette->GetCount() > 0) view->Palette->Assign(palette);
  if (TVeUIControl* label = FindMutable(ciPaletteNumberLabel))
    label->Text = PaletteNumberText(number, number2);
}
