#pragma once
// The working pixel of an image: linear RGB and its luminance, 32 bytes. A full colour record
// per pixel cost four times that; every other representation a pixel is asked for derives
// from its linear value exactly as the record derives it, so results do not change.
#include "VeColor.h"

class TVePixel {
public:
  TVePixel() = default;

  // Bytes round-trip exactly through the linear table.
  void InitStdRGB(uint8_t r, uint8_t g, uint8_t b) {
    InitLin(ByteToLinear(r), ByteToLinear(g), ByteToLinear(b));
  }
  void InitRGBQuad(uint32_t quad) {
    const TVeStdRGBColor s = TVeStdRGBColor::FromRGBQuad(quad);
    InitStdRGB(s.R, s.G, s.B);
  }
  void InitLin(double r, double g, double b) {
    FLin = {r, g, b};
    FY = FLin.Luminance();
  }
  void InitLin(const TVeLinRGBColor& v) { InitLin(v.R, v.G, v.B); }

  // As on the record: storing the value already held keeps the luminance, which may have
  // been set on its own as a gray.
  void SetLinRGB(const TVeLinRGBColor& v) {
    if (FLin == v) return;
    InitLin(v.R, v.G, v.B);
  }
  void SetLinRGB(double r, double g, double b) { SetLinRGB(TVeLinRGBColor{r, g, b}); }
  void SetLinGray(double y) {
    SetLinRGB(y, y, y);
    FY = y;
  }
  void MakeGray() { SetLinGray(FY); }
  // Takes over what a colour record reads as linear value and luminance.
  void Assign(const TVeColor& c) {
    FLin = c.GetLinRGB();
    FY = c.GetLinGray();
  }

  const TVeLinRGBColor& GetLinRGB() const { return FLin; }
  double GetLinGray() const { return FY; }
  uint8_t GetGrayByte() const { return LinearToByte(FY); }
  TVeStdRGBColor GetStdRGB() const {
    return {LinearToByte(FLin.R), LinearToByte(FLin.G), LinearToByte(FLin.B)};
  }
  uint32_t GetRGBQuad() const { return GetStdRGB().RGBQuad(); }
  uint32_t GetSysColor() const { return GetStdRGB().SysColor(); }
  bool IsGray() const {
    const TVeStdRGBColor s = GetStdRGB();
    return s.R == s.G && s.G == s.B;
  }
  // The colour record of this pixel, for searches by other distances and for the fixes.
  TVeColor Color() const { return TVeColor::FromLinGray(FLin, FY); }

private:
  TVeLinRGBColor FLin;
  double FY = 0;
};

inline double DeltaRGB(const TVePixel& c1, const TVeColor& c2) {
  return DeltaRGB(c1.GetLinRGB(), c2.GetLinRGB());
}
