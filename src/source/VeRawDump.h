#pragma once
// Loaders of raw memory dumps of one size: the probe takes the file by its extension and
// exact size; the decoder reads the whole file through the bounded reader, else refuses it
// naming the file and the size ("The <kind> <name> must be <size> bytes").
#include <cstdint>
#include <string>

#include "VeSourceEngines.h"

TVeSourceMatch VeRawDumpMatch(const TVeLoadSource* source, const char* ext, int32_t size);
const uint8_t* VeNeedRawDump(const TVeLoadSource* source, int32_t size, const std::string& kind);
