#pragma once
// Loaders of the SAM Coupé screen files Velmora writes: modes 3 and 4, the interlaced pair of
// fields and the line-change screens.
#include <memory>

#include "VeSourceEngines.h"

struct TVeSamFileFormat;

class TVeSamScreenEngine : public TVeSourceEngine {
public:
  TVeSamScreenEngine(TVeLoadSource* source, const char* className, const TVeSamFileFormat& format);
  std::unique_ptr<TVeBitmap> CreateBitmap() override;
  static TVeSourceMatch CheckFormat(TVeLoadSource* source, const TVeSamFileFormat& format);

protected:
  const TVeSamFileFormat& FFormat;
};

#define VE_SAM_LOADER(Class)                                                                       \
  class Class : public TVeSamScreenEngine {                                                        \
  public:                                                                                          \
    explicit Class(TVeLoadSource* source);                                                         \
    static TVeSourceMatch Check(TVeLoadSource* source);                                            \
  };

VE_SAM_LOADER(TVeSamMode3SourceEngine)
VE_SAM_LOADER(TVeSamMode4SourceEngine)
VE_SAM_LOADER(TVeSamInterlacedSourceEngine)
VE_SAM_LOADER(TVeSamHAMSourceEngine)

// Adds the loaders to the registry; later calls do nothing.
void RegisterSamCoupeLoaders();
