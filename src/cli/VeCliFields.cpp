// --set FIELD=VALUE: the options fields a script may set, by their names in the options
// record, with values as numbers, true/false, list captions or enumeration names.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>

#include "VeCli.h"
#include "VeColorDistance.h"
#include "VeDestEngineOptions.h"
#include "VeDestEngineUI.h"
#include "VePaletteType.h"

namespace {

// Identifiers of the palette types, in enumeration order.
const char* const PaletteTypeNames[] = {"ptRGB888",
                                        "ptRGB777",
                                        "ptRGB666",
                                        "ptRGB565",
                                        "ptRGB555",
                                        "ptRGB444",
                                        "ptRGB333",
                                        "ptRGB332",
                                        "ptRGB222",
                                        "ptRGB111",
                                        "ptFixed",
                                        "ptOptimized",
                                        "ptAuto",
                                        "ptColored",
                                        "ptCPCGateArray",
                                        "ptCPCGateArrayRGB",
                                        "ptCPCASIC",
                                        "ptCPCASICRGB",
                                        "ptCPCPlus",
                                        "ptMSX9938",
                                        "ptMSX9958",
                                        "ptMSXYJK",
                                        "ptMSXYJK_YAE",
                                        "ptMSXYUV",
                                        "ptPulsar",
                                        "ptColoredLinear",
                                        "ptVardel",
                                        "ptStdRGBMiddle",
                                        "ptOrthodox",
                                        "ptColored15",
                                        "ptColored16of256",
                                        "ptColored15x1",
                                        "ptColored15x2",
                                        "ptColored64x1",
                                        "ptColored64x2",
                                        "ptColoredMSX",
                                        "ptColoredCPC",
                                        "ptColoredEMU",
                                        "ptColoredEMUStudio",
                                        "ptColoredVirtualVector",
                                        "ptColoredDDp",
                                        "ptBackGreenRedYellowLow",
                                        "ptBackGreenRedYellowHigh",
                                        "ptBackCyanMagentaWhiteLow",
                                        "ptBackCyanMagentaWhiteHigh",
                                        "ptBackCyanRedWhiteLow",
                                        "ptBackCyanRedWhiteHigh",
                                        "ptV10",
                                        "ptV11",
                                        "ptV11Gray",
                                        "ptColored5",
                                        "ptColored8",
                                        "ptColored16",
                                        "ptColoredBRGB",
                                        "ptColoredWRGB",
                                        "ptColored4096",
                                        "ptGray8",
                                        "ptGray16",
                                        "ptGrayBRGB",
                                        "ptGrayWRGB",
                                        "ptTI99Calculated",
                                        "ptTI99MSX",
                                        "ptTI99Adam",
                                        "ptTI99Convert9918",
                                        "ptPMD85A",
                                        "ptPMD85B",
                                        "ptPMD85C",
                                        "ptPMD85D",
                                        "ptPMD85E",
                                        "ptPMD85F",
                                        "ptPMD85GCustom",
                                        "ptPMD85H"};
constexpr int PaletteTypeCount = int(sizeof(PaletteTypeNames) / sizeof(PaletteTypeNames[0]));
static_assert(PaletteTypeCount == int(ptPMD85H) + 1, "one name per palette type");

std::vector<std::string> Labels(const char* const* items, int count) {
  return std::vector<std::string>(items, items + count);
}

// A value chosen from a list: a caption, an index, or for palette types also the
// enumeration name or the display name without "pt".
int ListValue(const std::string& field, const std::string& text,
              const std::vector<std::string>& labels) {
  int v = VeMatchLabel(text, labels);
  if (v < 0) {
    std::string known;
    for (size_t i = 0; i < labels.size() && i < 24; ++i)
      known += (i ? ", " : "") + labels[i];
    throw EVeUsage("invalid value \"" + text + "\" for " + field + " (one of: " + known +
                   (labels.size() > 24 ? ", ..." : "") + ")");
  }
  return v;
}

int PaletteTypeValue(const std::string& text) {
  std::vector<std::string> names = Labels(PaletteTypeNames, PaletteTypeCount);
  int v = VeMatchLabel(text, names);
  if (v < 0) v = VeMatchLabel("pt" + VeTrim(text), names);
  if (v < 0) {
    // The names the desktop program shows ("Pulsar (205)").
    std::vector<std::string> shown;
    for (int t = 0; t < PaletteTypeCount; ++t)
      shown.push_back(VePaletteTypeName(TVePaletteType(t)));
    v = VeMatchLabel(text, shown);
  }
  if (v < 0) return ListValue("PaletteType", text, names);
  return v;
}

int64_t IntValue(const std::string& field, const std::string& text) {
  return VeParseInteger(text, field);
}

using O = TVeDestEngineOptions;

// One settable field: how its text is read, how it is stored and read back (as a number, so
// that a clamped or ignored value can be told), and the panel control that serves it.
struct TField {
  std::string Name;
  std::function<int64_t(const std::string& field, const std::string& text)> Parse;
  std::function<void(O&, int64_t)> Set;
  std::function<int64_t(const O&)> Get;
  int Control = -1;                // -1: every mode uses it
  std::vector<std::string> Labels; // list fields: what a value is called in a note
};

template <class T>
TField IntField(const char* name, void (O::*set)(T), T (O::*get)() const, int control) {
  return {name,
          IntValue,
          [=](O& o, int64_t v) {
            (o.*set)(T(std::clamp<int64_t>(v, std::numeric_limits<T>::min(),
                                           std::numeric_limits<T>::max())));
          },
          [=](const O& o) { return int64_t((o.*get)()); },
          control,
          {}};
}

TField BoolField(const char* name, void (O::*set)(bool), bool (O::*get)() const, int control) {
  return {name,
          [](const std::string& f, const std::string& t) { return int64_t(VeParseBool(t, f)); },
          [=](O& o, int64_t v) { (o.*set)(v != 0); },
          [=](const O& o) { return int64_t((o.*get)()); },
          control,
          {"false", "true"}};
}

template <class T>
TField ListField(const char* name, void (O::*set)(T), uint8_t (O::*get)() const,
                 std::vector<std::string> labels, int control) {
  return {name,
          [labels](const std::string& f, const std::string& t) {
            return int64_t(ListValue(f, t, labels));
          },
          [=](O& o, int64_t v) { (o.*set)(T(v)); },
          [=](const O& o) { return int64_t((o.*get)()); },
          control,
          labels};
}

const std::vector<TField>& Fields() {
  static const std::vector<TField> fields = [] {
    std::vector<std::string> aspects;
    for (const TVeAspectRatio& a : VeAspectRatios)
      aspects.push_back(a.Label);
    std::vector<TField> f;
    f.push_back(IntField<int>("Width", &O::SetWidth, &O::GetWidth, ciWidth));
    f.push_back(IntField<int>("Height", &O::SetHeight, &O::GetHeight, ciHeight));
    f.push_back(
        BoolField("DimensionLock", &O::SetDimensionLock, &O::DimensionLock, ciDimensionLock));
    f.push_back(ListField<int>("PositionMode", &O::SetPositionMode, &O::PositionMode,
                               Labels(VePositionModes, VePositionModeCount), ciPosition));
    f.push_back(
        ListField<int>("AspectIndex", &O::SetAspectIndex, &O::AspectIndex, aspects, ciAspect));
    f.push_back(
        {"BorderColor",
         [](const std::string& fl, const std::string& t) { return int64_t(VeParseColor(t, fl)); },
         [](O& o, int64_t v) { o.SetBorderColor(int(v)); },
         [](const O& o) { return int64_t(o.BorderColor()); },
         ciBorderColor,
         {}});
    f.push_back(
        {"PaletteType",
         [](const std::string&, const std::string& t) { return int64_t(PaletteTypeValue(t)); },
         [](O& o, int64_t v) { o.SetPaletteType(TVePaletteType(v)); },
         [](const O& o) { return int64_t(o.PaletteType()); }, -1,
         Labels(PaletteTypeNames, PaletteTypeCount)});
    f.push_back(
        IntField<uint8_t>("PaletteUsage", &O::SetPaletteUsage, &O::PaletteUsage, ciPaletteUsage));
    f.push_back(IntField<int>("BorderColorIndex", &O::SetBorderColorIndex, &O::BorderColorIndex,
                              ciBorderColorIndex));
    f.push_back(IntField<int>("PaletteNumber", &O::SetPaletteNumber, &O::PaletteNumber, -1));
    f.push_back(IntField<int>("PaletteNumber2", &O::SetPaletteNumber2, &O::PaletteNumber2, -1));
    f.push_back(
        IntField<int>("MaxFlickering", &O::SetMaxFlickering, &O::MaxFlickering, ciMaxFlickering));
    f.push_back(ListField<uint8_t>(
        "ColorUsage", &O::SetColorUsage, &O::ColorUsage,
        {"Dark and bright", "Dark only", "Dark only but force set bright bit", "Bright only"},
        ciColorUsage));
    f.push_back(ListField<uint8_t>("Calculation", &O::SetCalculation, &O::Calculation,
                                   {"Standard", "Linear"}, ciCalculation));
    f.push_back(
        IntField<int>("MaxColorCount", &O::SetMaxColorCount, &O::MaxColorCount, ciMaxColorCount));
    f.push_back(BoolField("KeepWholePalette", &O::SetKeepWholePalette, &O::KeepWholePalette,
                          ciKeepWholePalette));
    f.push_back(BoolField("GrayPalette", &O::SetGrayPalette, &O::GrayPalette, ciGrayPalette));
    f.push_back(BoolField("UseOnlyOriginalColors", &O::SetUseOnlyOriginalColors,
                          &O::UseOnlyOriginalColors, ciUseOnlyOriginalColors));
    f.push_back(ListField<uint8_t>("PaletteMode", &O::SetPaletteMode, &O::PaletteMode,
                                   Labels(VePaletteModes, VePaletteModeCount), ciPaletteMode));
    f.push_back(ListField<uint8_t>("FlickerStyle", &O::SetFlickerStyle, &O::FlickerStyle,
                                   {"Lines", "Chessboard", "Mixed"}, ciFlickerStyle));
    f.push_back(BoolField("SafeMode", &O::SetSafeMode, &O::SafeMode, ciSafeMode));
    f.push_back(IntField<int>("HamInitialLines", &O::SetHamInitialLines, &O::HamInitialLines,
                              ciHamInitialLines));
    f.push_back(
        IntField<int>("HamPrevLines", &O::SetHamPrevLines, &O::HamPrevLines, ciHamPrevLines));
    f.push_back(
        IntField<int>("HamNextLines", &O::SetHamNextLines, &O::HamNextLines, ciHamNextLines));
    f.push_back(
        IntField<int>("HamMaxChanges", &O::SetHamMaxChanges, &O::HamMaxChanges, ciHamMaxChanges));
    f.push_back(ListField<int>("DitherMethod", &O::SetDitherMethod, &O::DitherMethod,
                               Labels(VeDitherMethods, VeDitherMethodCount), ciDitherMethod));
    f.push_back(ListField<int>("ColorDistance", &O::SetColorDistance, &O::ColorDistance,
                               Labels(VeDistanceNames, VeDistanceCount), ciColorDistance));
    f.push_back(BoolField("KeepPixels", &O::SetKeepPixels, &O::KeepPixels, ciKeepPixels));
    f.push_back(IntField<int>("ErrorDiffusion", &O::SetErrorDiffusion, &O::ErrorDiffusion,
                              ciErrorDiffusion));
    f.push_back(BoolField("LimitErrorInsideBlock", &O::SetLimitErrorInsideBlock,
                          &O::LimitErrorInsideBlock, ciLimitErrorInsideBlock));
    f.push_back(BoolField("LimitErrorAtBoundary", &O::SetLimitErrorAtBoundary,
                          &O::LimitErrorAtBoundary, ciLimitErrorAtBoundary));
    f.push_back(BoolField("Serpentine", &O::SetSerpentine, &O::Serpentine, ciSerpentine));
    f.push_back(
        IntField<int>("LightnessFix", &O::SetLightnessFix, &O::LightnessFix, ciLightnessFix));
    f.push_back(
        IntField<int>("SaturationFix", &O::SetSaturationFix, &O::SaturationFix, ciSaturationFix));
    f.push_back(
        BoolField("FileFormatFlag", &O::SetFileFormatFlag, &O::FileFormatFlag, ciFileFormatFlag));
    f.push_back({"Comment", nullptr, nullptr, nullptr, ciComment, {}});
    return f;
  }();
  return fields;
}

const TField& FieldOf(const std::string& name) {
  for (const TField& f : Fields())
    if (f.Name == name) return f;
  VeInternalError();
}

std::string Shown(const TField& f, int64_t v) {
  if (v >= 0 && size_t(v) < f.Labels.size()) return f.Labels[size_t(v)];
  if (f.Name == "BorderColor") {
    char buf[16];
    std::snprintf(buf, sizeof buf, "#%06X", unsigned(v) & 0xFFFFFFu);
    return buf;
  }
  return std::to_string(v);
}

} // namespace

std::string VeSetFieldName(const std::string& assignment) {
  size_t eq = assignment.find('=');
  if (eq == std::string::npos || eq == 0)
    throw EVeUsage("--set needs FIELD=VALUE, got \"" + assignment + "\"");
  std::string name = VeTrim(assignment.substr(0, eq));
  for (const TField& f : Fields())
    if (VeSameText(f.Name, name)) return f.Name;
  std::string known;
  for (const TField& f : Fields())
    known += (known.empty() ? "" : ", ") + f.Name;
  throw EVeUsage("unknown options field \"" + name + "\" (known fields: " + known + ")");
}

std::string VeApplySet(TVeDestEngineOptions& options, const std::string& assignment,
                       const TVeDestEngineUI* panel) {
  const TField& f = FieldOf(VeSetFieldName(assignment));
  std::string value = assignment.substr(assignment.find('=') + 1);
  const bool used = !panel || f.Control < 0 || panel->Has(f.Control);
  if (!f.Parse) {
    options.SetComment(value);
    return used ? std::string() : f.Name + " is not used by this mode; ignored";
  }
  const int64_t wanted = f.Parse(f.Name, value);
  const int64_t before = f.Get(options);
  f.Set(options, wanted);
  const int64_t after = f.Get(options);
  if (!used) return f.Name + " is not used by this mode; ignored";
  if (after == wanted) return std::string();
  if (after == before)
    return f.Name + "=" + VeTrim(value) + " has no effect in this mode (it stays " +
           Shown(f, after) + ")";
  return f.Name + "=" + VeTrim(value) + " is out of range; " + Shown(f, after) + " is used";
}

int VePaletteTypeByName(const std::string& text) {
  return PaletteTypeValue(text);
}

const char* VePaletteTypeIdent(int type) {
  return type >= 0 && type < PaletteTypeCount ? PaletteTypeNames[type] : "?";
}
