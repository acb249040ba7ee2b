#pragma once
// The range table of the YUV variant (red Y + J, blue Y + K).
#include "VeMsxYJKTables.h"

const TVeYjkRangeTable& VeMsxYUVTable();
