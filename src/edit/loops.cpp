#include "edit/loops.h"

#include "song/song.h"

#include <algorithm>
#include <unordered_map>

namespace {

constexpr uint32_t NONE = UINT32_MAX;

// Open addressing for 64-bit hashes; several entries may share a hash.
class HashSlots {
public:
    explicit HashSlots(size_t expected)
    {
        size_t size = 16;
        while (size < 2 * expected)
            size *= 2;
        keys.assign(size, 0);
        values.assign(size, NONE);
        mask = size - 1;
    }
    // The slots to look at for key, in order, until one whose value is NONE.
    size_t first(uint64_t key) const { return static_cast<size_t>(key ^ (key >> 32)) & mask; }
    size_t next(size_t slot) const { return (slot + 1) & mask; }

    std::vector<uint64_t> keys;
    std::vector<uint32_t> values;

private:
    size_t mask;
};

uint64_t mix(uint64_t h)
{
    h ^= h >> 31;
    h *= 0x7FB5D329728EA185ull;
    h ^= h >> 27;
    h *= 0x81DADEF4BC2DD44Dull;
    return h ^ (h >> 33);
}

struct FrameSpan {
    const MusicEvent* first;
    const MusicEvent* end;
};

bool same_writes(FrameSpan a, FrameSpan b)
{
    if (a.end - a.first != b.end - b.first)
        return false;
    for (; a.first < a.end; ++a.first, ++b.first)
        if (a.first->reg != b.first->reg || a.first->value != b.first->value)
            return false;
    return true;
}

// Arithmetic modulo the prime 2^61 - 1 for the rolling hash of a stretch of
// frame numbers: collisions are as rare as for a random function.
__extension__ typedef unsigned __int128 Wide;
constexpr uint64_t MOD = (uint64_t{1} << 61) - 1;
constexpr uint64_t BASE = 0x1F2E3D4C5B6A798ull % MOD;

uint64_t mul_mod(uint64_t a, uint64_t b)
{
    const Wide p = static_cast<Wide>(a) * b;
    uint64_t r = static_cast<uint64_t>(p & MOD) + static_cast<uint64_t>(p >> 61);
    return r >= MOD ? r - MOD : r;
}

uint64_t add_mod(uint64_t a, uint64_t b)
{
    const uint64_t r = a + b;
    return r >= MOD ? r - MOD : r;
}

// For each position j of the reversed sequence, the length of its longest
// common prefix with the whole: for ids, z[p] is how many frames at the end
// repeat the frames p earlier.
std::vector<uint32_t> common_tails(const std::vector<uint32_t>& ids, const std::atomic<bool>* stop)
{
    const uint32_t n = static_cast<uint32_t>(ids.size());
    const auto rev = [&](uint32_t k) { return ids[n - 1 - k]; };
    std::vector<uint32_t> z(n, 0);
    uint32_t l = 0, r = 0;  // the rightmost match [l, r) found so far
    for (uint32_t i = 1; i < n; ++i) {
        if ((i & 0xFFFF) == 0 && stop_asked(stop))
            return z;
        uint32_t k = i < r ? std::min(r - i, z[i - l]) : 0;
        while (i + k < n && rev(k) == rev(i + k))
            ++k;
        z[i] = k;
        if (i + k > r) {
            l = i;
            r = i + k;
        }
    }
    return z;
}

// The shortest period of ids[from, to).
uint32_t shortest_period(const std::vector<uint32_t>& ids, uint32_t from, uint32_t to)
{
    const uint32_t n = to - from;
    if (n == 0)
        return 0;
    std::vector<uint32_t> border(n, 0);
    for (uint32_t i = 1; i < n; ++i) {
        uint32_t k = border[i - 1];
        while (k > 0 && ids[from + i] != ids[from + k])
            k = border[k - 1];
        if (ids[from + i] == ids[from + k])
            ++k;
        border[i] = k;
    }
    return n - border[n - 1];
}

// A repetition whose frames are at least two rounds of a shorter period.
bool made_of_a_shorter_one(const std::vector<uint32_t>& ids, const LoopCandidate& c)
{
    const uint32_t from = c.start + c.period;
    const uint32_t p = shortest_period(ids, from, from + c.length);
    return p < c.period && 2 * uint64_t{p} <= c.length;
}

// Every repetition that reaches the end: the frames at the end that repeat
// the ones p earlier, for each period p. Multiples of a period that reaches
// the end repeat from the very same start, so they are passed over.
void to_end_candidates(const std::vector<uint32_t>& ids, uint32_t min_frames, std::vector<LoopCandidate>& out,
                       const std::atomic<bool>* stop)
{
    const uint32_t n = static_cast<uint32_t>(ids.size());
    const std::vector<uint32_t> z = common_tails(ids, stop);
    std::vector<bool> multiple(n, false);
    for (uint32_t p = 1; p < n && !stop_asked(stop); ++p) {
        if (z[p] < min_frames || multiple[p])
            continue;
        for (uint64_t m = 2 * uint64_t{p}; m < n; m += p)
            multiple[m] = true;
        const LoopCandidate c{n - z[p] - p, p, z[p], true};
        if (p > 1 && !made_of_a_shorter_one(ids, c))
            out.push_back(c);
    }
}

// The repetitions that stop before the end, from stretches of `window`
// frames at multiples of `window`, each against its nearest earlier copies.
void other_candidates(const std::vector<uint32_t>& ids, uint32_t min_frames, std::vector<LoopCandidate>& out,
                      const std::atomic<bool>* stop)
{
    const uint32_t n = static_cast<uint32_t>(ids.size());
    const uint32_t window = (min_frames + 1) / 2;
    if (window == 0 || n < 2 * window)
        return;

    // The hash of every stretch, and the previous stretch with the same hash.
    const uint32_t count = n - window + 1;
    std::vector<uint32_t> previous(count, NONE);
    {
        uint64_t top = 1;  // BASE^(window - 1)
        for (uint32_t k = 1; k < window; ++k)
            top = mul_mod(top, BASE);
        const auto value = [&](uint32_t j) { return mix(ids[j] + 1) % MOD; };
        HashSlots last(count);
        uint64_t h = 0;
        for (uint32_t k = 0; k < window; ++k)
            h = add_mod(mul_mod(h, BASE), value(k));
        for (uint32_t j = 0;; ++j) {
            if ((j & 0xFFFF) == 0 && stop_asked(stop))
                return;
            size_t slot = last.first(h);
            while (last.values[slot] != NONE && last.keys[slot] != h)
                slot = last.next(slot);
            previous[j] = last.values[slot];
            last.keys[slot] = h;
            last.values[slot] = j;
            if (j + 1 == count)
                break;
            h = add_mod(h, MOD - mul_mod(value(j), top));
            h = add_mod(mul_mod(h, BASE), value(j + window));
        }
    }

    // The end of the last repetition found at each period.
    std::vector<uint32_t> found_until(n, 0);
    std::vector<LoopCandidate> runs;
    for (uint32_t a = window; a + window <= n; a += window) {
        if (stop_asked(stop))
            return;
        int tried = 0;
        for (uint32_t i = previous[a]; i != NONE && tried < LOOP_NEAREST; i = previous[i], ++tried) {
            const uint32_t p = a - i;
            if (found_until[p] > a)
                continue;  // inside a repetition already found
            uint32_t end = a;
            while (end < n && ids[end] == ids[end - p])
                ++end;
            if (end < a + window)
                continue;  // not the same frames after all
            uint32_t begin = a;
            while (begin > p && ids[begin - 1] == ids[begin - 1 - p])
                --begin;
            found_until[p] = end;
            if (end - begin >= min_frames && end < n)
                runs.push_back(LoopCandidate{begin - p, p, end - begin, false});
        }
    }

    // A period that is a multiple of a shorter one over the same frames.
    std::sort(runs.begin(), runs.end(), [](const LoopCandidate& x, const LoopCandidate& y) {
        const uint32_t xe = x.start + x.period + x.length, ye = y.start + y.period + y.length;
        if (x.start != y.start)
            return x.start < y.start;
        return xe != ye ? xe < ye : x.period < y.period;
    });
    for (size_t k = 0; k < runs.size() && !stop_asked(stop); ++k) {
        const LoopCandidate& c = runs[k];
        const uint32_t end = c.start + c.period + c.length;
        bool multiple = false;
        for (size_t m = k;
             m-- > 0 && runs[m].start == c.start && runs[m].start + runs[m].period + runs[m].length == end;)
            multiple = multiple || c.period % runs[m].period == 0;
        if (!multiple && c.period > 1 && !made_of_a_shorter_one(ids, c))
            out.push_back(c);
    }
}

}  // namespace

std::vector<uint32_t> frame_ids(const std::atomic<bool>* stop)
{
    std::vector<uint32_t> ids(frame_count, 0);
    std::vector<FrameSpan> kinds{FrameSpan{nullptr, nullptr}};  // 0: no writes
    std::unordered_map<uint64_t, uint32_t> by_hash;
    const MusicEvent* e = music;
    const MusicEvent* const last = music + event_count;
    for (uint32_t f = 0; f < frame_count; ++f) {
        if ((f & 0xFFF) == 0 && stop_asked(stop))
            return ids;
        const FrameSpan frame{e, e};
        while (e < last && e->frame == f)
            ++e;
        if (frame.first == e)
            continue;
        const FrameSpan writes{frame.first, e};
        uint64_t h = 0x243F6A8885A308D3ull;
        for (const MusicEvent* w = writes.first; w < writes.end; ++w)
            h = mix(h + (uint64_t{w->reg} << 8 | w->value) + 1);
        // Frames with other writes and the same hash go under the next hash.
        for (;; h = mix(h + 1)) {
            const auto [at, fresh] = by_hash.try_emplace(h, static_cast<uint32_t>(kinds.size()));
            if (fresh)
                kinds.push_back(writes);
            if (fresh || same_writes(kinds[at->second], writes)) {
                ids[f] = at->second;
                break;
            }
        }
    }
    return ids;
}

std::vector<LoopCandidate> find_loops(uint32_t min_frames, const std::atomic<bool>* stop)
{
    if (min_frames == 0)
        min_frames = 1;
    const std::vector<uint32_t> ids = frame_ids(stop);
    std::vector<LoopCandidate> found;
    to_end_candidates(ids, min_frames, found, stop);
    other_candidates(ids, min_frames, found, stop);
    if (stop_asked(stop))
        return {};
    std::sort(found.begin(), found.end(), [](const LoopCandidate& x, const LoopCandidate& y) {
        if (x.to_end != y.to_end)
            return x.to_end;
        return x.start != y.start ? x.start < y.start : x.period < y.period;
    });
    return found;
}
