// The byte FIFO between the playback clock and the audio output. A ring
// buffer that grows up to its bound: constant-time push and take. A lock
// guards it, because the audio back end may read from a thread of its own.
//
// Bound: it holds at most FIFO_MAX_BYTES, one second of sound. A push that
// would pass the bound first drops the oldest bytes (the output has not
// read for a second: it stalled, or its sound server went away). The bound
// is a whole number of frames and the clock pushes whole frames, so what is
// left still starts on a frame, and stereo pairs stay aligned. The first
// read after such a drop also drops the backlog down to the reserve (below):
// when the output comes back, it plays what the clock renders now, with the
// usual delay, not the second that waited for it.
#pragma once

#include "audio/chip.h"

#include <cstdint>

void fifo_push(uint8_t byte);
void fifo_push_block(const uint8_t* bytes, uint64_t count);
uint8_t fifo_take();  // the FIFO must not be empty
// Drops every byte and puts the pull side back as at start: held back for a
// playback, clock not producing, statistics zero. The reserve size stays.
void fifo_clear();
uint64_t fifo_size();
// Drops what is queued, as a stop does: the sound ends now, and the next
// playback waits for its reserve. The statistics stay.
void fifo_drop_queued();
// Every byte the reads have handed out (sound and fill) since the process
// began: with the output's own clock, how much it has still to play.
uint64_t fifo_bytes_served();
constexpr uint64_t FIFO_MAX_BYTES = 50 * FRAME_BYTES;  // 176,400: one second at 44,100 Hz

// The pull side: fills all of data, first from the FIFO and then with
// copies of the last byte handed out; never short. Returns maxlen.
//
// Start-up reserve: once the FIFO has run dry while the clock was not
// producing (before any playback, after a stop or the end of a song), a new
// playback is held back: reads get only the fill byte until the FIFO holds
// the reserve, then it is served as usual. The audio output pulls in bursts
// of several frames, and a playback that started from one frame would meet
// them short, with a hole in the sound each time. While the clock is not
// producing, whatever is queued is served at once, down to the last byte.
// A FIFO that runs dry in the middle of a playback is not held back again:
// the short read has already left one frame more for the bursts to come,
// and waiting for the whole reserve would only make the hole longer.
int64_t fifo_read(uint8_t* data, int64_t maxlen);
uint8_t fifo_last_byte();

// Whether the playback clock pushes frames; the clock tells after each tick.
void fifo_set_producing(bool producing);
// The reserve in bytes: one read of the audio output and one frame more for
// a late tick. With the output's buffer of four frames (AUDIO_BUFFER_BYTES)
// it reads one frame a tick; everything queued is heard that much later.
constexpr uint64_t FIFO_RESERVE_BYTES = 2 * FRAME_BYTES;
void fifo_set_reserve(uint64_t bytes);

// Statistics of the pull side since the last fifo_clear: reads that had to
// be filled with the last byte (held_reads of them while a playback waited
// for its reserve), the largest size the FIFO reached, and the bytes it
// dropped to keep its bound.
struct FifoStats {
    uint64_t reads;
    uint64_t filled_reads;
    uint64_t filled_bytes;
    uint64_t max_size;
    uint64_t held_reads;
    uint64_t dropped_bytes;
};
FifoStats fifo_stats();
void fifo_reset_stats();
