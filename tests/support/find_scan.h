// The straightforward search that find_period must agree with: every start
// i from `from` on, every later j, window compared write by write.
#pragma once

#include "edit/find.h"

// Same contract as find_period, quadratic time, no work memory. progress gets
// every value a bar would be set to, duplicates included.
FindResult find_period_scan(uint32_t from, uint32_t window, void (*progress)(int percent) = nullptr);
