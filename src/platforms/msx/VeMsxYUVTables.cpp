#include "VeMsxYUVTables.h"

const TVeYjkRangeTable& VeMsxYUVTable() {
  static const TVeYjkRangeTable table(TVeYjkDecoder::YUV, false);
  return table;
}
