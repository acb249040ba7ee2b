// --set FIELD=VALUE: the options fields a script may set, by their names in the options
// record, with values as numbers, true/false, list captions or enumeration names.
#include <functional>
#include <map>

#include "VeCli.h"
#include "VeDestEngineOptions.h"

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
  if (v < 0) return ListValue("PaletteType", text, names);
  return v;
}

int IntValue(const std::string& field, const std::string& text, int64_t lo, int64_t hi) {
  int64_t v = VeParseInteger(text, field);
  if (v < lo || v > hi)
    throw EVeUsage("value " + text + " out of range for " + field + " (" + std::to_string(lo) +
                   " to " + std::to_string(hi) + ")");
  return int(v);
}

using TSetter =
    std::function<void(TVeDestEngineOptions&, const std::string& field, const std::string& value)>;

const std::vector<std::pair<std::string, TSetter>>& Fields() {
  using O = TVeDestEngineOptions;
  using S = const std::string&;
  auto intField = [](void (O::*set)(int), int64_t lo, int64_t hi) -> TSetter {
    return [=](O& o, S f, S v) { (o.*set)(IntValue(f, v, lo, hi)); };
  };
  auto byteField = [](void (O::*set)(uint8_t)) -> TSetter {
    return [=](O& o, S f, S v) { (o.*set)(uint8_t(IntValue(f, v, 0, 255))); };
  };
  auto boolField = [](void (O::*set)(bool)) -> TSetter {
    return [=](O& o, S f, S v) { (o.*set)(VeParseBool(v, f)); };
  };
  auto listField = [](void (O::*set)(int), std::vector<std::string> labels) -> TSetter {
    return [=](O& o, S f, S v) { (o.*set)(ListValue(f, v, labels)); };
  };
  auto byteListField = [](void (O::*set)(uint8_t), std::vector<std::string> labels) -> TSetter {
    return [=](O& o, S f, S v) { (o.*set)(uint8_t(ListValue(f, v, labels))); };
  };
  std::vector<std::string> aspects;
  for (const TVeAspectRatio& a : VeAspectRatios)
    aspects.push_back(a.Label);
  const int64_t big = 1 << 20;
  static const std::vector<std::pair<std::string, TSetter>> fields = {
      {"Width", intField(&O::SetWidth, 0, big)},
      {"Height", intField(&O::SetHeight, 0, big)},
      {"DimensionLock", boolField(&O::SetDimensionLock)},
      {"PositionMode",
       listField(&O::SetPositionMode, Labels(VePositionModes, VePositionModeCount))},
      {"AspectIndex", listField(&O::SetAspectIndex, aspects)},
      {"BorderColor", [](O& o, S f, S v) { o.SetBorderColor(VeParseColor(v, f)); }},
      {"PaletteType", [](O& o, S, S v) { o.SetPaletteType(TVePaletteType(PaletteTypeValue(v))); }},
      {"PaletteUsage", byteField(&O::SetPaletteUsage)},
      {"BorderColorIndex", intField(&O::SetBorderColorIndex, -big, big)},
      {"PaletteNumber", intField(&O::SetPaletteNumber, -big, big)},
      {"PaletteNumber2", intField(&O::SetPaletteNumber2, -big, big)},
      {"MaxFlickering", intField(&O::SetMaxFlickering, -big, big)},
      {"ColorUsage",
       byteListField(&O::SetColorUsage, {"Dark and bright", "Dark only",
                                         "Dark only but force set bright bit", "Bright only"})},
      {"Calculation", byteListField(&O::SetCalculation, {"Standard", "Linear"})},
      {"MaxColorCount", intField(&O::SetMaxColorCount, -big, big)},
      {"KeepWholePalette", boolField(&O::SetKeepWholePalette)},
      {"GrayPalette", boolField(&O::SetGrayPalette)},
      {"UseOnlyOriginalColors", boolField(&O::SetUseOnlyOriginalColors)},
      {"PaletteMode",
       [](O& o, S f, S v) {
         o.SetPaletteMode(uint8_t(ListValue(f, v, Labels(VePaletteModes, VePaletteModeCount))));
       }},
      {"FlickerStyle", byteListField(&O::SetFlickerStyle, {"Lines", "Chessboard", "Mixed"})},
      {"SafeMode", boolField(&O::SetSafeMode)},
      {"HamInitialLines", intField(&O::SetHamInitialLines, -big, big)},
      {"HamPrevLines", intField(&O::SetHamPrevLines, -big, big)},
      {"HamNextLines", intField(&O::SetHamNextLines, -big, big)},
      {"HamMaxChanges", intField(&O::SetHamMaxChanges, -big, big)},
      {"DitherMethod",
       listField(&O::SetDitherMethod, Labels(VeDitherMethods, VeDitherMethodCount))},
      {"ErrorDiffusion", intField(&O::SetErrorDiffusion, -big, big)},
      {"LimitErrorInsideBlock", boolField(&O::SetLimitErrorInsideBlock)},
      {"LimitErrorAtBoundary", boolField(&O::SetLimitErrorAtBoundary)},
      {"Serpentine", boolField(&O::SetSerpentine)},
      {"LightnessFix", intField(&O::SetLightnessFix, -big, big)},
      {"SaturationFix", intField(&O::SetSaturationFix, -big, big)},
      {"FileFormatFlag", boolField(&O::SetFileFormatFlag)},
      {"Comment", [](O& o, S, S v) { o.SetComment(v); }},
  };
  return fields;
}

} // namespace

std::string VeSetFieldName(const std::string& assignment) {
  size_t eq = assignment.find('=');
  if (eq == std::string::npos || eq == 0)
    throw EVeUsage("--set needs FIELD=VALUE, got \"" + assignment + "\"");
  std::string name = VeTrim(assignment.substr(0, eq));
  for (auto& [field, setter] : Fields())
    if (VeSameText(field, name)) return field;
  std::string known;
  for (auto& [field, setter] : Fields())
    known += (known.empty() ? "" : ", ") + field;
  throw EVeUsage("unknown options field \"" + name + "\" (known fields: " + known + ")");
}

void VeApplySet(TVeDestEngineOptions& options, const std::string& assignment) {
  std::string name = VeSetFieldName(assignment);
  std::string value = assignment.substr(assignment.find('=') + 1);
  for (auto& [field, setter] : Fields())
    if (field == name) setter(options, field, value);
}

int VePaletteTypeByName(const std::string& text) {
  return PaletteTypeValue(text);
}

const char* VePaletteTypeName(int type) {
  return type >= 0 && type < PaletteTypeCount ? PaletteTypeNames[type] : "?";
}
