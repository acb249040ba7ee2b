#pragma once
// The colour record of every palette entry and error value (image pixels keep only what
// they need, in TVePixel). It keeps several
// representations of one colour side by side and fills each lazily from whichever was set
// last. All colour arithmetic works on linear RGB; bytes are only the input and output form.
#include <cstddef>
#include <cstdint>

#include "VeErrors.h"

// Luminance weights; they recur in the distance, gray matching and palette sorting.
inline constexpr double VeLumR = 0.212655;
inline constexpr double VeLumG = 0.715158;
inline constexpr double VeLumB = 0.072187;

// Gamma-encoded (sRGB) bytes.
struct TVeStdRGBColor {
  uint8_t R = 0, G = 0, B = 0;
  friend bool operator==(const TVeStdRGBColor&, const TVeStdRGBColor&) = default;
  // Packed forms: RGB-quad has blue in the low byte, system colour has red in the low byte.
  uint32_t RGBQuad() const { return uint32_t(R) << 16 | uint32_t(G) << 8 | B; }
  uint32_t SysColor() const { return uint32_t(B) << 16 | uint32_t(G) << 8 | R; }
  static TVeStdRGBColor FromRGBQuad(uint32_t q) {
    return {uint8_t(q >> 16), uint8_t(q >> 8), uint8_t(q)};
  }
  static TVeStdRGBColor FromSysColor(uint32_t c) {
    return {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)};
  }
};

// Linear light, nominally 0..1; out-of-range values are legal (error diffusion) and are only
// clamped when turned back into bytes.
struct TVeLinRGBColor {
  double R = 0, G = 0, B = 0;
  friend bool operator==(const TVeLinRGBColor&, const TVeLinRGBColor&) = default;
  TVeLinRGBColor& operator+=(const TVeLinRGBColor& o) {
    R += o.R;
    G += o.G;
    B += o.B;
    return *this;
  }
  friend TVeLinRGBColor operator+(TVeLinRGBColor a, const TVeLinRGBColor& b) { return a += b; }
  // a + k * b
  static TVeLinRGBColor AddScaled(const TVeLinRGBColor& a, int k, const TVeLinRGBColor& b) {
    return {a.R + k * b.R, a.G + k * b.G, a.B + k * b.B};
  }
  // The colour the eye sees when two colours alternate ("Linear" flicker mixing).
  static TVeLinRGBColor Mean(const TVeLinRGBColor& a, const TVeLinRGBColor& b) {
    return {(a.R + b.R) / 2, (a.G + b.G) / 2, (a.B + b.B) / 2};
  }
  double Luminance() const { return VeLumR * R + VeLumG * G + VeLumB * B; }
};

struct TVeHSL {
  double H = 0, S = 0, L = 0; // each 0..1; hue 1.0 stands for 360 degrees
  friend bool operator==(const TVeHSL&, const TVeHSL&) = default;
};
struct TVeXYZ {
  double X = 0, Y = 0, Z = 0; // linear white has Y = 100
  friend bool operator==(const TVeXYZ&, const TVeXYZ&) = default;
};
struct TVeLab {
  double L = 0, A = 0, B = 0;
  friend bool operator==(const TVeLab&, const TVeLab&) = default;
};

// Reference white (D65, 2 degree observer).
inline constexpr double VeWhiteX = 95.047;
inline constexpr double VeWhiteY = 100.000;
inline constexpr double VeWhiteZ = 108.883;

// ---- Transfer curves -------------------------------------------------------------------

double SRGBToLinear(double c);
double LinearToSRGB(double v);
// 255 * LinearToSRGB(v), clamped to 0..255, rounded to nearest with ties to even.
uint8_t LinearToByte(double v);
// Table lookup: SRGBToLinear(b / 255).
double ByteToLinear(uint8_t b);

// ---- Hardware channel levels -------------------------------------------------------------
// A channel of n bits has the top level M = 2^n - 1. Level k stands for SRGBToLinear(k / M);
// a linear value maps back to round(clamp(M * LinearToSRGB(v), 0, M)) with ties to even.
// Any M from 1 to 255 works; 3, 7, 15, 31, 63 and 255 are served from tables.
double LevelToLinear(int level, int maxLevel);
int LinearToLevel(double v, int maxLevel);
inline double Level3ToLinear(int k) {
  return LevelToLinear(k, 3);
}
inline double Level7ToLinear(int k) {
  return LevelToLinear(k, 7);
}
inline double Level15ToLinear(int k) {
  return LevelToLinear(k, 15);
}
inline double Level31ToLinear(int k) {
  return LevelToLinear(k, 31);
}
inline double Level63ToLinear(int k) {
  return LevelToLinear(k, 63);
}
inline int LinearToLevel7(double v) {
  return LinearToLevel(v, 7);
}
inline int LinearToLevel31(double v) {
  return LinearToLevel(v, 31);
}
inline int LinearToLevel63(double v) {
  return LinearToLevel(v, 63);
}

// ---- Colour difference -------------------------------------------------------------------

// "Delta RGB": luminance-weighted squared distance on linear values (no square root; only
// comparisons need it). Colour 1 is the target, colour 2 the candidate.
inline double DeltaRGB(const TVeLinRGBColor& c1, const TVeLinRGBColor& c2) {
  const double dr = c1.R - c2.R, dg = c1.G - c2.G, db = c1.B - c2.B;
  return VeLumR * dr * dr + VeLumG * dg * dg + VeLumB * db * db;
}
// Gray matching: distance of two luminances.
inline double DeltaGray(double y1, double y2) {
  return y1 > y2 ? y1 - y2 : y2 - y1;
}

// ---- The colour record -------------------------------------------------------------------

class TVeColor {
public:
  // Validity bits of the cached representations.
  enum : uint8_t {
    vStdRGB = 1,
    vLinRGB = 2,
    vGrayByte = 4,
    vLinGray = 8,
    vHSL = 16,
    vXYZ = 32,
    vLab = 64,
  };

  // Set by palettes for entries nearest-colour searches must not return.
  bool Excluded = false;
  // How often an added colour was already present in a palette.
  int32_t UseCount = 0;
  // Scratch value of palette reduction (largest distance to the colours already chosen).
  double Spread = 0;

  TVeColor() = default;
  static TVeColor FromStdRGB(uint8_t r, uint8_t g, uint8_t b) {
    TVeColor c;
    c.InitStdRGB(r, g, b);
    return c;
  }
  static TVeColor FromLin(const TVeLinRGBColor& v) {
    TVeColor c;
    c.InitLin(v);
    return c;
  }
  // A linear value whose luminance is already known (it may have been set as a gray).
  static TVeColor FromLinGray(const TVeLinRGBColor& v, double y) {
    TVeColor c;
    c.InitLin(v);
    c.FLinGray = y;
    c.FValid |= vLinGray;
    return c;
  }

  // -- Initialisers: clear every cache and Excluded, then store the value.
  void InitStdRGB(uint8_t r, uint8_t g, uint8_t b) {
    FValid = vStdRGB;
    Excluded = false;
    FStd = {r, g, b};
  }
  void InitSysColor(uint32_t sysColor) {
    const TVeStdRGBColor s = TVeStdRGBColor::FromSysColor(sysColor);
    InitStdRGB(s.R, s.G, s.B);
  }
  void InitRGBQuad(uint32_t quad) {
    const TVeStdRGBColor s = TVeStdRGBColor::FromRGBQuad(quad);
    InitStdRGB(s.R, s.G, s.B);
  }
  void InitLin(double r, double g, double b) {
    FValid = vLinRGB;
    Excluded = false;
    FLin = {r, g, b};
  }
  void InitLin(const TVeLinRGBColor& v) { InitLin(v.R, v.G, v.B); }
  // Zero the whole record (an empty colour).
  void Clear() { *this = TVeColor(); }
  bool IsEmpty() const { return (FValid & (vStdRGB | vLinRGB | vHSL | vXYZ | vLab)) == 0; }
  uint8_t ValidFlags() const { return FValid; }

  // -- Setters: storing a value equal to the valid cached one keeps every cache; otherwise
  // all other representations are dropped.
  void SetStdRGB(uint32_t sysColor) { SetStdRGB(TVeStdRGBColor::FromSysColor(sysColor)); }
  void SetRGBQuad(uint32_t quad) { SetStdRGB(TVeStdRGBColor::FromRGBQuad(quad)); }
  void SetStdRGB(const TVeStdRGBColor& v) {
    if ((FValid & vStdRGB) && FStd == v) return;
    FValid = vStdRGB;
    FStd = v;
  }
  void SetLinRGB(const TVeLinRGBColor& v) {
    if ((FValid & vLinRGB) && FLin == v) return;
    FValid = vLinRGB;
    FLin = v;
  }
  void SetLinRGB(double r, double g, double b) { SetLinRGB(TVeLinRGBColor{r, g, b}); }
  void SetHSL(double h, double s, double l) {
    const TVeHSL v{h, s, l};
    if ((FValid & vHSL) && FHSL == v) return;
    FValid = vHSL;
    FHSL = v;
  }
  void SetLab(double l, double a, double b) {
    const TVeLab v{l, a, b};
    if ((FValid & vLab) && FLab == v) return;
    FValid = vLab;
    FLab = v;
  }
  // Gray of linear level y: both the linear value and the luminance are known.
  void SetLinGray(double y) {
    SetLinRGB(y, y, y);
    FLinGray = y;
    FValid |= vLinGray;
  }
  // The gray of equal luminance.
  void MakeGray() { SetLinGray(GetLinGray()); }

  // -- Getters: computed on first use and cached. Reading an empty colour gives black.
  TVeStdRGBColor GetStdRGB() const {
    if (!(FValid & vStdRGB)) CalcStdRGB();
    return FStd;
  }
  uint32_t GetRGBQuad() const { return GetStdRGB().RGBQuad(); }
  uint32_t GetSysColor() const { return GetStdRGB().SysColor(); }
  const TVeLinRGBColor& GetLinRGB() const {
    if (!(FValid & vLinRGB)) CalcLinRGB();
    return FLin;
  }
  double GetLinGray() const {
    if (!(FValid & vLinGray)) {
      FLinGray = GetLinRGB().Luminance();
      FValid |= vLinGray;
    }
    return FLinGray;
  }
  uint8_t GetGrayByte() const {
    if (!(FValid & vGrayByte)) {
      FGrayByte = LinearToByte(GetLinGray());
      FValid |= vGrayByte;
    }
    return FGrayByte;
  }
  TVeHSL GetHSL() const {
    if (!(FValid & vHSL)) CalcHSL();
    return FHSL;
  }
  TVeXYZ GetXYZ() const {
    if (!(FValid & vXYZ)) CalcXYZ();
    return FXYZ;
  }
  TVeLab GetLab() const {
    if (!(FValid & vLab)) CalcLab();
    return FLab;
  }
  bool IsGray() const {
    const TVeStdRGBColor s = GetStdRGB();
    return s.R == s.G && s.G == s.B;
  }

private:
  void CalcStdRGB() const;
  void CalcLinRGB() const;
  void CalcHSL() const;
  void CalcXYZ() const;
  void CalcLab() const;

  // Caches are filled by const getters; a colour that several threads read must be read
  // once beforehand (palettes do this in PrepareSearch).
  mutable uint8_t FValid = 0;
  mutable TVeStdRGBColor FStd;
  mutable uint8_t FGrayByte = 0;
  mutable TVeLinRGBColor FLin;
  mutable double FLinGray = 0;
  mutable TVeHSL FHSL;
  mutable TVeXYZ FXYZ;
  mutable TVeLab FLab;
};

// Distances on colour records (linear values come from the records' caches).
inline double DeltaRGB(const TVeColor& c1, const TVeColor& c2) {
  return DeltaRGB(c1.GetLinRGB(), c2.GetLinRGB());
}
inline double DeltaGray(const TVeColor& c1, const TVeColor& c2) {
  return DeltaGray(c1.GetLinGray(), c2.GetLinGray());
}

// ---- "Lightness fix:" and "Saturation fix:" ------------------------------------------------
// Both take -90..90 percent; 0 skips the step. The lightness fix runs first.
class TVeColorFix {
public:
  TVeColorFix(int lightness, int saturation);
  bool Active() const { return FLight || FSat; }
  void Apply(TVeColor& c) const;
  void Apply(TVeColor* colors, size_t count) const;

private:
  bool FLight = false, FSat = false;
  double FLightF = 0, FSatF = 0;
};

void VeLightnessFix(TVeColor& c, int lightness);
void VeSaturationFix(TVeColor& c, int saturation);
