// The PSG file format: a 16-byte header, then one-byte commands.
//   0x00..0x0F v  write v to that chip register
//   0xFE n        wait 4n frames (4n frame ends)
//   0xFF          frame end
//   anything else is undefined and rejects the file at that byte.
#pragma once

#include <cstdint>

constexpr int PSG_HEADER_LEN = 16;
// The header's first four bytes; the other twelve are written as zeros.
inline constexpr char PSG_SIGNATURE[4] = {'P', 'S', 'G', 0x1A};
constexpr uint8_t PSG_WAIT = 0xFE;
constexpr uint32_t PSG_WAIT_MAX = 255;  // the longest wait, in units of 4 frames
constexpr uint8_t PSG_FRAME_END = 0xFF;
