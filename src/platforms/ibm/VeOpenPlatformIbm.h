#pragma once
// Loaders of IBM PC pictures: PCX pictures and BASIC's BSAVE images of the CGA memory.
#include <memory>

#include "VeSourceEngines.h"
#include "ibm/VePlatformIbm.h"

// PCX with 1, 2, 4 or 8 bits in one plane or 1 bit in four planes.
class TVePCXEngine : public TVeSourceEngine {
public:
  explicit TVePCXEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

// A BSAVE image of B800:0000. Only Velmora's own files keep the mode and colours (in a tag);
// otherwise the 320 x 200 loader offers the six CGA palettes (with a black background) and
// the 640 x 200 one shows white on black.
class TVeCGABsaveEngine : public TVeSourceEngine {
public:
  TVeCGABsaveEngine(TVeLoadSource* source, const char* className, int bits);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
  // A tag naming the other mode leaves out the hint that ranks this reading first.
  static TVeSourceMatch CheckFormat(TVeLoadSource* source, int bits);

private:
  int FBits;
  TVeCgaRegisters FRegs; // as the tag says, or the BIOS's choice
};

class TVeCGA4BsaveEngine : public TVeCGABsaveEngine {
public:
  explicit TVeCGA4BsaveEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source) { return CheckFormat(source, 2); }
};

class TVeCGA2BsaveEngine : public TVeCGABsaveEngine {
public:
  explicit TVeCGA2BsaveEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source) { return CheckFormat(source, 1); }
};

void RegisterIbmLoaders();
