#include "VeMsxYJKPTables.h"

const TVeYjkRangeTable& VeMsxYJKPTable() {
  static const TVeYjkRangeTable table(TVeYjkDecoder::YJK, true);
  return table;
}
