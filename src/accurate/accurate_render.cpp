#include "accurate/accurate_render.h"

#include "accurate/accurate_player.h"

#include <vector>

uint64_t accurate_sample_of(const AccurateSetup& s, uint32_t frame)
{
    return uint64_t{frame} * s.chip.rate * 1000 / s.frame_millihertz;
}

uint64_t accurate_tick_of(const AccurateSetup& s, uint32_t frame)
{
    return uint64_t{frame} * s.chip.clock * 1000 / (8 * uint64_t{s.frame_millihertz});
}

bool accurate_render(const AccurateSetup& setup, uint32_t from, uint32_t to,
                     const std::function<bool(const int16_t*, size_t)>& sink)
{
    AccuratePlayer player(setup, song_frame_writes());
    player.seek(from);
    std::vector<int16_t> buf;
    for (uint32_t f = from; f < to; ++f) {
        buf.clear();
        const size_t n = player.render_frame(buf);
        if (n && !sink(buf.data(), n))
            return false;
    }
    return true;
}
