#pragma once
// The YJK range table of screen 10 with its attribute bit: only even Y are YJK colours.
#include "VeMsxYJKTables.h"

const TVeYjkRangeTable& VeMsxYJKPTable();
