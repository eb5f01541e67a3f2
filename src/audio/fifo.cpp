#include "audio/fifo.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

std::mutex lock;
uint8_t* ring;  // capacity bytes, a power of two
uint64_t capacity;
uint64_t head;   // index of the first byte
uint64_t count;  // bytes queued
uint8_t last_byte;
FifoStats stats;
bool producing;    // the clock was playing at its last tick
bool held = true;  // a playback waits for the reserve (see fifo.h)
bool overflowed;   // bytes were dropped for the bound since the last read
uint64_t reserve = FIFO_RESERVE_BYTES;
uint64_t served;  // bytes handed out by every read since the process began

void drop_oldest(uint64_t n)
{
    head = (head + n) & (capacity - 1);
    count -= n;
    stats.dropped_bytes += n;
}

void grow(uint64_t needed)
{
    uint64_t cap = capacity ? capacity : 1 << 16;
    while (cap < needed)
        cap *= 2;
    if (cap == capacity)
        return;
    auto* bigger = static_cast<uint8_t*>(malloc(cap));
    if (!bigger)
        abort();
    for (uint64_t i = 0; i < count; ++i)
        bigger[i] = ring[(head + i) & (capacity - 1)];
    free(ring);
    ring = bigger;
    capacity = cap;
    head = 0;
}

void push_locked(const uint8_t* bytes, uint64_t n)
{
    if (count + n > FIFO_MAX_BYTES) {
        overflowed = true;
        if (n > FIFO_MAX_BYTES) {  // more than the bound at once: its newest part
            stats.dropped_bytes += n - FIFO_MAX_BYTES;
            bytes += n - FIFO_MAX_BYTES;
            n = FIFO_MAX_BYTES;
        }
        drop_oldest(count + n - FIFO_MAX_BYTES);
    }
    if (count + n > capacity)
        grow(count + n);
    uint64_t tail = (head + count) & (capacity - 1);
    uint64_t first = capacity - tail < n ? capacity - tail : n;
    memcpy(ring + tail, bytes, first);
    memcpy(ring, bytes + first, n - first);
    count += n;
    if (count > stats.max_size)
        stats.max_size = count;
}

}  // namespace

void fifo_push(uint8_t byte)
{
    std::lock_guard<std::mutex> guard(lock);
    push_locked(&byte, 1);
}

void fifo_push_block(const uint8_t* bytes, uint64_t n)
{
    std::lock_guard<std::mutex> guard(lock);
    push_locked(bytes, n);
}

uint8_t fifo_take()
{
    std::lock_guard<std::mutex> guard(lock);
    uint8_t byte = ring[head];
    head = (head + 1) & (capacity - 1);
    --count;
    return byte;
}

void fifo_clear()
{
    std::lock_guard<std::mutex> guard(lock);
    head = 0;
    count = 0;
    stats = FifoStats{};
    producing = false;
    held = true;
    overflowed = false;
}

uint64_t fifo_size()
{
    std::lock_guard<std::mutex> guard(lock);
    return count;
}

int64_t fifo_read(uint8_t* data, int64_t maxlen)
{
    if (maxlen <= 0)
        return maxlen;
    std::lock_guard<std::mutex> guard(lock);
    if (overflowed) {  // the output is back after a stall: keep the newest reserve
        if (count > reserve)
            drop_oldest(count - reserve);
        overflowed = false;
        held = false;
    }
    if (held && (count >= reserve || (!producing && count > 0)))
        held = false;
    uint64_t want = static_cast<uint64_t>(maxlen);
    uint64_t n = held ? 0 : count < want ? count : want;
    uint64_t first = capacity - head < n ? capacity - head : n;
    if (n > 0) {
        memcpy(data, ring + head, first);
        memcpy(data + first, ring, n - first);
        head = (head + n) & (capacity - 1);
        count -= n;
        last_byte = data[n - 1];
    }
    ++stats.reads;
    served += want;
    if (n < want) {
        memset(data + n, last_byte, want - n);
        ++stats.filled_reads;
        stats.filled_bytes += want - n;
        if (held && producing)
            ++stats.held_reads;
    }
    if (count == 0 && !producing)
        held = true;
    return maxlen;
}

void fifo_set_producing(bool on)
{
    std::lock_guard<std::mutex> guard(lock);
    producing = on;
    if (count == 0 && !producing)
        held = true;
}

void fifo_set_reserve(uint64_t bytes)
{
    std::lock_guard<std::mutex> guard(lock);
    reserve = bytes;
}

uint8_t fifo_last_byte()
{
    std::lock_guard<std::mutex> guard(lock);
    return last_byte;
}

FifoStats fifo_stats()
{
    std::lock_guard<std::mutex> guard(lock);
    return stats;
}

void fifo_reset_stats()
{
    std::lock_guard<std::mutex> guard(lock);
    stats = FifoStats{};
    stats.max_size = count;
}

void fifo_drop_queued()
{
    std::lock_guard<std::mutex> guard(lock);
    head = 0;
    count = 0;
    producing = false;
    held = true;
}

uint64_t fifo_bytes_served()
{
    std::lock_guard<std::mutex> guard(lock);
    return served;
}
