#include "accurate/accurate_render.h"

#include "song/song.h"

#include <algorithm>
#include <vector>

namespace {

// The clock / 8 tick at which frame f's writes reach the chip.
uint64_t tick_of(const AccurateSetup& s, uint64_t f)
{
    return f * s.chip.clock * 1000 / (8 * uint64_t{s.frame_millihertz});
}

}  // namespace

uint64_t accurate_sample_of(const AccurateSetup& s, uint32_t frame)
{
    return uint64_t{frame} * s.chip.rate * 1000 / s.frame_millihertz;
}

bool accurate_render(const AccurateSetup& setup, uint32_t from, uint32_t to,
                     const std::function<bool(const int16_t*, size_t)>& sink)
{
    PsgModel chip(setup.chip);
    const uint64_t first = accurate_sample_of(setup, from);
    const uint64_t last = accurate_sample_of(setup, to);
    std::vector<int16_t> buf;
    // Past the song's last frame the chip runs on without writes until the
    // last sample is settled.
    for (uint64_t f = 0; uint64_t(chip.taken()) < last; ++f) {
        if (f < frame_count) {
            const uint32_t frame = static_cast<uint32_t>(f);
            const MusicEvent* const stop = frame_end_event(frame);
            for (const MusicEvent* e = frames[frame].first_event; e && e < stop; ++e)
                chip.write(e->reg, e->value);
        }
        buf.clear();
        const int64_t at = chip.taken();
        chip.run_to(tick_of(setup, f + 1));
        const size_t n = chip.take(buf);
        // Pairs at..at + n - 1, of which first..last - 1 are wanted.
        const uint64_t lo = std::max<uint64_t>(first, uint64_t(at));
        const uint64_t hi = std::min<uint64_t>(last, uint64_t(at) + n);
        if (hi > lo && !sink(buf.data() + 2 * (lo - uint64_t(at)), hi - lo))
            return false;
    }
    return true;
}
