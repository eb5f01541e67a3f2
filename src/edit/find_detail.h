// The period search behind find_period, with the window hash as a template
// parameter so that the tests can run it with deliberately weak hashes and
// make sure that hash collisions never change the answer.
//
// One pass over the work sequence E (the song's writes before its last frame
// end, compared by register and value). Each position x that can start the
// later window of a repetition is looked up, by the hash of its window, among
// the earlier starts p < x in [from, half); the table keeps the smallest such
// p for every hash value. Taking x in increasing order, the first x that
// meets a start p below the best one found so far is that p's smallest
// partner, so the pass ends with the smallest start i and, for it, the
// smallest j. A hash match is always confirmed on the records themselves.
#pragma once

#include "edit/find.h"
#include "song/song.h"

#include <cstdlib>
#include <cstring>

namespace find_detail {

__extension__ typedef unsigned __int128 u128;

// Polynomial hash of a window of writes modulo the Mersenne prime 2^61 - 1,
// over keys (reg << 8 | value) + 1, rolled one write at a time.
class PolyHash61 {
public:
    static constexpr uint64_t P = (uint64_t{1} << 61) - 1;
    static constexpr uint64_t BASE = 0x0B3C2D1E5F6A7981ull % P;

    explicit PolyHash61(uint32_t window) : window_(window), top_(1)
    {
        // BASE^window by squaring: a window may be as long as 2^32 - 1.
        uint64_t power = BASE;
        for (uint32_t e = window; e != 0; e >>= 1) {
            if (e & 1)
                top_ = mul(top_, power);
            power = mul(power, power);
        }
    }

    // Hash of the window that starts at e.
    uint64_t first(const MusicEvent* e) const
    {
        uint64_t h = 0;
        for (uint32_t k = 0; k < window_; ++k)
            h = add(mul(h, BASE), key(e[k]));
        return h;
    }

    // Hash of the window at e + 1, given h, the hash of the window at e.
    uint64_t next(uint64_t h, const MusicEvent* e) const
    {
        uint64_t shifted = mul(h, BASE) + key(e[window_]);
        uint64_t dropped = mul(key(e[0]), top_);
        return add(shifted, P - dropped);
    }

private:
    static uint64_t key(const MusicEvent& e) { return (uint64_t{e.reg} << 8 | e.value) + 1; }

    static uint64_t mul(uint64_t a, uint64_t b)
    {
        u128 m = static_cast<u128>(a) * b;
        uint64_t r = (static_cast<uint64_t>(m) & P) + static_cast<uint64_t>(m >> 61);
        return r >= P ? r - P : r;
    }

    // a < 2^62, b <= P
    static uint64_t add(uint64_t a, uint64_t b)
    {
        uint64_t r = (a & P) + (a >> 61) + b;
        r = (r & P) + (r >> 61);
        return r >= P ? r - P : r;
    }

    uint32_t window_;
    uint64_t top_;  // BASE^window
};

inline bool same_writes(const MusicEvent* a, const MusicEvent* b, uint32_t n)
{
    for (uint32_t k = 0; k < n; ++k)
        if (a[k].reg != b[k].reg || a[k].value != b[k].value)
            return false;
    return true;
}

// The progress-bar values of the search, in the order a bar would show them:
// the starting percentage, then one value per multiple of 1,000 among the
// starts tried (from .. i when found, from .. half - 1 otherwise), then 100
// when nothing was found. Percentages are worked out in unsigned 32-bit
// arithmetic.
inline void report_start(void (*progress)(int), uint32_t from, uint32_t half)
{
    if (progress && from < half)
        progress(static_cast<int>(from * 100u / half));
}

inline void report_rest(void (*progress)(int), uint32_t from, uint32_t half, bool found, uint32_t i)
{
    if (!progress)
        return;
    const uint64_t stop = found ? uint64_t{i} + 1 : half;
    for (uint64_t m = (uint64_t{from} + 999) / 1000 * 1000; m < stop; m += 1000)
        progress(static_cast<int>(static_cast<uint32_t>(m) * 100u / half));
    if (!found)
        progress(100);
}

// Work memory, released on every way out.
struct Buffer {
    void* p = nullptr;
    ~Buffer() { std::free(p); }
};

// Positions stored in the table are below 2^24; the top byte of a slot holds
// eight more bits of the hash so that most foreign slots are passed over
// without reading the position's full hash. The slot number comes from the
// top bits of the mixed hash (at most 24 of them for the largest song), the
// tag from bits 32 to 39.
constexpr uint32_t EMPTY = 0xFFFFFFFFu;
constexpr uint32_t POS_BITS = 24;
constexpr uint32_t POS_MASK = (1u << POS_BITS) - 1;
static_assert(MUSIC_MAX_LEN / 2 < POS_MASK, "table positions must fit in 24 bits");

// How many hashes are computed ahead of the position being looked up, so
// that their table slots can be fetched into the cache in the meantime.
constexpr uint32_t AHEAD = 16;
constexpr uint32_t RING = 32;  // power of two, > AHEAD

template <class Hash>
FindStatus search(uint32_t from, uint32_t window, FindResult& result, void (*progress)(int), const Hash& hash)
{
    const MusicEvent* const E = music;
    const uint32_t M = writes_before_last_frame();
    const uint32_t half = M / 2;
    // x is a possible later start while x + window < M; p is a possible first
    // start while p < half and some later start exists after it. A window
    // of M writes or more fits nowhere.
    const uint32_t jend = M > window ? M - window : 0;
    const uint32_t iend = jend == 0 ? 0 : jend - 1 < half ? jend - 1 : half;

    if (from >= iend) {
        report_start(progress, from, half);
        report_rest(progress, from, half, false, 0);
        result = FindResult{false, 0, 0, 0};
        return FIND_DONE;
    }

    // h[q - from]: hash of the window at q, for the starts q in [from, iend)
    // that are still below the best start when they are passed.
    const uint32_t n = iend - from;
    uint32_t bits = 4;
    while ((uint64_t{1} << bits) * 3 < uint64_t{n} * 4)  // load factor at most 3/4
        ++bits;
    const uint32_t mask = (1u << bits) - 1;

    Buffer hbuf, tbuf;
    hbuf.p = std::malloc(sizeof(uint64_t) * n);
    tbuf.p = std::malloc(sizeof(uint32_t) << bits);
    if (!hbuf.p || !tbuf.p)
        return FIND_NO_MEMORY;
    uint64_t* const h = static_cast<uint64_t*>(hbuf.p);
    uint32_t* const table = static_cast<uint32_t*>(tbuf.p);
    std::memset(table, 0xFF, sizeof(uint32_t) << bits);

    report_start(progress, from, half);

    auto mix = [](uint64_t v) { return v * 0x9E3779B97F4A7C15ull; };
    auto slot_of = [&](uint64_t mixed) { return static_cast<uint32_t>(mixed >> (64 - bits)); };
    auto tag_of = [](uint64_t mixed) { return static_cast<uint32_t>(mixed >> 32) & 0xFFu; };

    uint64_t ring[RING];
    uint32_t ahead = from;  // ring holds the hashes of from .. ahead - 1
    ring[ahead % RING] = hash.first(E + ahead);
    ++ahead;
    auto fill_to = [&](uint32_t limit) {
        for (; ahead < limit; ++ahead) {
            uint64_t v = hash.next(ring[(ahead - 1) % RING], E + ahead - 1);
            ring[ahead % RING] = v;
            __builtin_prefetch(table + slot_of(mix(v)));
        }
    };

    uint32_t best = iend;  // best start so far; iend while none
    uint32_t best_j = 0;
    for (uint32_t x = from; x < jend; ++x) {
        fill_to(jend - x > AHEAD ? x + AHEAD + 1 : jend);
        const uint64_t hx = ring[x % RING];
        const uint64_t mixed = mix(hx);
        const uint32_t tag = tag_of(mixed);

        uint32_t s = slot_of(mixed);
        uint32_t p = EMPTY;
        for (;; s = (s + 1) & mask) {
            const uint32_t e = table[s];
            if (e == EMPTY)
                break;
            if (e >> POS_BITS == tag && h[(e & POS_MASK) - from] == hx) {
                p = e & POS_MASK;
                break;
            }
        }

        if (p != EMPTY && p < best) {
            if (same_writes(E + p, E + x, window)) {
                best = p;
                best_j = x;
            } else {
                // A collision: some later start with the same hash may still
                // hold the same writes. Try them in order.
                const uint32_t limit = best < x ? best : x;
                for (uint32_t q = p + 1; q < limit; ++q) {
                    if (h[q - from] == hx && same_writes(E + q, E + x, window)) {
                        best = q;
                        best_j = x;
                        break;
                    }
                }
            }
            if (best == from)
                break;
        }

        if (x < iend && x < best) {
            h[x - from] = hx;
            if (p == EMPTY)
                table[s] = tag << POS_BITS | x;
        }
    }

    const bool found = best < iend;
    report_rest(progress, from, half, found, best);
    result = found ? FindResult{true, best, best_j, E[best_j].frame} : FindResult{false, 0, 0, 0};
    return FIND_DONE;
}

}  // namespace find_detail
