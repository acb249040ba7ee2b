#pragma once
// Loaders of the MSX screen files: BSAVE screens with their second interlaced pages and
// palette files, COPY pictures and MAG pictures.
#include <cstdint>
#include <memory>

#include "VeSourceEngines.h"

struct TVeMsxScreenFormat;

// What every MSX loader starts from: the V9938 and V9958 palettes to choose from and the
// pixel shape of the screens.
class TVeBaseMSXEngine : public TVeSourceEngine {
public:
  TVeBaseMSXEngine(TVeLoadSource* source, const char* className);
};

// A BSAVE screen of one mode.
class TVeSCEngine : public TVeBaseMSXEngine {
public:
  TVeSCEngine(TVeLoadSource* source, const char* className, const TVeMsxScreenFormat& format);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;

  // How a file of another extension or a malformed one is judged.
  static TVeSourceMatch CheckFormat(TVeLoadSource* source, const TVeMsxScreenFormat& format);

  // The second page found beside the file (null when none), and whether a palette file
  // beside it was refused.
  const TVeLoadSourceRec* SecondPage() const { return FPage; }

protected:
  const TVeMsxScreenFormat& FFormat;
  const TVeLoadSourceRec* FPage = nullptr;
  const TVeLoadSourceRec* FPaletteFile = nullptr;
  int FRows = 0; // rows of one page
};

#define VE_MSX_SC_LOADER(Class)                                                                    \
  class Class : public TVeSCEngine {                                                               \
  public:                                                                                          \
    explicit Class(TVeLoadSource* source);                                                         \
    static TVeSourceMatch Check(TVeLoadSource* source);                                            \
  };

VE_MSX_SC_LOADER(TVeSC2Engine)
VE_MSX_SC_LOADER(TVeSC3Engine)
VE_MSX_SC_LOADER(TVeSC4Engine)
VE_MSX_SC_LOADER(TVeSC5Engine)
VE_MSX_SC_LOADER(TVeSC6Engine)
VE_MSX_SC_LOADER(TVeSC7Engine)
VE_MSX_SC_LOADER(TVeSC8Engine)
VE_MSX_SC_LOADER(TVeSCAEngine)
VE_MSX_SC_LOADER(TVeSCCEngine)

struct TVeMsxCopyFormat;

// A COPY picture: width, height and the packed pixels.
class TVeGLEngine : public TVeBaseMSXEngine {
public:
  TVeGLEngine(TVeLoadSource* source, const char* className, const TVeMsxCopyFormat& format);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
  static TVeSourceMatch CheckFormat(TVeLoadSource* source, const TVeMsxCopyFormat& format);

protected:
  const TVeMsxCopyFormat& FFormat;
  const TVeLoadSourceRec* FPaletteFile = nullptr;
};

#define VE_MSX_GL_LOADER(Class)                                                                    \
  class Class : public TVeGLEngine {                                                               \
  public:                                                                                          \
    explicit Class(TVeLoadSource* source);                                                         \
    static TVeSourceMatch Check(TVeLoadSource* source);                                            \
  };

VE_MSX_GL_LOADER(TVeGL5Engine)
VE_MSX_GL_LOADER(TVeGL6Engine)
VE_MSX_GL_LOADER(TVeGL7Engine)
VE_MSX_GL_LOADER(TVeGL8Engine)
VE_MSX_GL_LOADER(TVeGLAEngine)
VE_MSX_GL_LOADER(TVeGLCEngine)

// MAG version 2, MSX screens (YJK included) and the 16- and 256-colour pictures of other
// machines.
class TVeMAGv2Engine : public TVeBaseMSXEngine {
public:
  explicit TVeMAGv2Engine(TVeLoadSource* source);
  static TVeSourceMatch Check(TVeLoadSource* source);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
};

// Adds the loaders to the registry in their order; later calls do nothing.
void RegisterMsxLoaders();
