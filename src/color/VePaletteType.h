#pragma once
#include <cstdint>

// Shared by palettes, options and every engine; values are stored in options and files,
// so the order must never change.
enum TVePaletteType : uint8_t {
  ptRGB888, ptRGB777, ptRGB666, ptRGB565, ptRGB555, ptRGB444, ptRGB333, ptRGB332,
  ptRGB222, ptRGB111, ptFixed, ptOptimized, ptAuto,
  ptColored, ptCPCGateArray, ptCPCGateArrayRGB, ptCPCASIC, ptCPCASICRGB, ptCPCPlus,
  ptMSX9938, ptMSX9958, ptMSXYJK, ptMSXYJK_YAE, ptMSXYUV,
  ptPulsar, ptColoredLinear, ptVardel, ptStdRGBMiddle, ptOrthodox,
  ptColored15, ptColored16of256, ptColored15x1, ptColored15x2, ptColored64x1, ptColored64x2,
  ptColoredMSX, ptColoredCPC, ptColoredEMU, ptColoredEMUStudio, ptColoredVirtualVector,
  ptColoredDDp,
  ptBackGreenRedYellowLow, ptBackGreenRedYellowHigh, ptBackCyanMagentaWhiteLow,
  ptBackCyanMagentaWhiteHigh, ptBackCyanRedWhiteLow, ptBackCyanRedWhiteHigh,
  ptV10, ptV11, ptV11Gray,
  ptColored5, ptColored8, ptColored16, ptColoredBRGB, ptColoredWRGB, ptColored4096,
  ptGray8, ptGray16, ptGrayBRGB, ptGrayWRGB,
  ptTI99Calculated, ptTI99MSX, ptTI99Adam, ptTI99Convert9918,
  ptPMD85A, ptPMD85B, ptPMD85C, ptPMD85D, ptPMD85E, ptPMD85F, ptPMD85GCustom, ptPMD85H,
};

static_assert(ptMSX9938 == 19 && ptMSX9958 == 20, "palette type values are persistent");
