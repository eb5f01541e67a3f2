// A frame number as the time it starts at.
#pragma once

#include <cstdint>

// "%d:%02d:%02d.%03d" at 50 frames per second; buffer of at least 16 bytes.
char* format_time(uint32_t frame, char* buffer);
