// Numbers, seconds and positions as a person types them: on the command
// line and in the window's fields.
#pragma once

#include <QByteArray>

#include <cstdint>

// A plain decimal number that fits 32 bits, no sign, no spaces.
bool parse_number(const QByteArray& text, uint32_t& value);

// Seconds with up to three decimals ("5", "0.5", "2.25"), in milliseconds.
bool parse_seconds(const QByteArray& text, uint32_t& ms);

// A position in the song as a frame: a plain number is a frame; a time
// "M:SS.mmm" or "H:MM:SS.mmm" (as the status line writes it; the fraction
// may have one to three digits or be left out) or seconds with a trailing
// "s" ("12.5s") name the frame that starts at that time, or the nearest one
// for a time between two frames. False for anything else and for a frame
// number of 2^32 or more.
bool parse_position(const QByteArray& text, uint32_t* frame);
