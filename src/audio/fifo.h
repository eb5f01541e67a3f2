// The byte FIFO between the playback clock and the audio output. A growing
// ring buffer: constant-time push and take. A lock guards it, because the
// audio back end may read from a thread of its own.
#pragma once

#include <cstdint>

void fifo_push(uint8_t byte);
void fifo_push_block(const uint8_t* bytes, uint64_t count);
uint8_t fifo_take();  // the FIFO must not be empty
void fifo_clear();
uint64_t fifo_size();

// The pull side: fills all of data, first from the FIFO and then with
// copies of the last byte handed out; never short. Returns maxlen.
int64_t fifo_read(uint8_t* data, int64_t maxlen);
uint8_t fifo_last_byte();

// Statistics of the pull side since the last fifo_clear: reads that had to
// be filled with the last byte, and the largest size the FIFO reached.
struct FifoStats {
    uint64_t reads;
    uint64_t filled_reads;
    uint64_t filled_bytes;
    uint64_t max_size;
};
FifoStats fifo_stats();
void fifo_reset_stats();
