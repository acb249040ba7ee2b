#include "VeRawDump.h"

#include "VeByteReader.h"
#include "VeErrors.h"

TVeSourceMatch VeRawDumpMatch(const TVeLoadSource* source, const char* ext, int32_t size) {
  if (!source || !source->Data || source->Ext != ext || source->Size != size) return 0;
  return TVeSourceMatch(smExtension | smExactSize);
}

const uint8_t* VeNeedRawDump(const TVeLoadSource* source, int32_t size, const std::string& kind) {
  TVeByteReader r(source ? source->Data : nullptr, source ? source->Size : 0);
  const uint8_t* data = r.Take(size);
  if (!data || r.Remaining != 0)
    throw EVeError("The " + kind + " " + (source ? source->Name : std::string()) + " must be " +
                   std::to_string(size) + " bytes");
  return data;
}
