#pragma once
// Loaders of the Amstrad CPC screen files: standard screens of modes 0, 1 and 2 with their
// ".pal" files, overscan screens with ".pal" or ".kit", ".hgb" screens and the ModeR ".pph"
// pictures with their ".eve" and ".odd" frames.
#include <cstdint>
#include <memory>

#include "VeSourceEngines.h"

// What every CPC loader starts from: the Gate Array and ASIC palettes to choose from.
class TVeBaseAmstradCPCEngine : public TVeSourceEngine {
public:
  TVeBaseAmstradCPCEngine(TVeLoadSource* source, const char* className);

protected:
  // Pens given as firmware colours (numbers past 26 read as 0) in the chosen palette type.
  void SetFirmwarePens(const int* firmware, int count);
};

// A standard 16 KB screen at C000 of one mode.
class TVeAmstradCPCScreenSourceEngine : public TVeBaseAmstradCPCEngine {
public:
  TVeAmstradCPCScreenSourceEngine(TVeLoadSource* source, const char* className, int mode);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
  static TVeSourceMatch CheckMode(TVeLoadSource* source, int mode);

protected:
  int FMode;
  const TVeLoadSourceRec* FPalFile = nullptr;
};

#define VE_CPC_SCREEN_LOADER(Class)                                                                \
  class Class : public TVeAmstradCPCScreenSourceEngine {                                           \
  public:                                                                                          \
    explicit Class(TVeLoadSource* source);                                                         \
    static TVeSourceMatch Check(TVeLoadSource* source);                                            \
  };

VE_CPC_SCREEN_LOADER(TVeAmstradCPCMode0SourceEngine)
VE_CPC_SCREEN_LOADER(TVeAmstradCPCMode1SourceEngine)
VE_CPC_SCREEN_LOADER(TVeAmstradCPCMode2SourceEngine)

// An overscan screen: the BASIC loader file with its 96-byte lines over two 16 KB banks.
class TVeAmstradCPCOverscanSourceEngine : public TVeBaseAmstradCPCEngine {
public:
  explicit TVeAmstradCPCOverscanSourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;

private:
  int FMode = -1;
};

// The 512 x 256 two-colour screen, with or without its AMSDOS header.
class TVeAmstradCPCHgbSourceEngine : public TVeBaseAmstradCPCEngine {
public:
  explicit TVeAmstradCPCHgbSourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

// A ModeR picture: the pens in ".pph", the two alternating frames in ".eve" and ".odd".
class TVeAmstradCPCModeRSourceEngine : public TVeBaseAmstradCPCEngine {
public:
  explicit TVeAmstradCPCModeRSourceEngine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

// Adds the loaders to the registry in their order; later calls do nothing.
void RegisterAmstradCpcLoaders();
