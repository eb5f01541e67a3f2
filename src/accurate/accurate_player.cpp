#include "accurate/accurate_player.h"

#include "song/song.h"

#include <algorithm>

FrameWrites song_frame_writes()
{
    return [](uint32_t f, std::vector<PsgWrite>& out) {
        if (f >= frame_count)
            return;
        const MusicEvent* const stop = frame_end_event(f);
        for (const MusicEvent* e = frames[f].first_event; e && e < stop; ++e)
            out.push_back({e->reg, e->value});
    };
}

AccuratePlayer::AccuratePlayer(const AccurateSetup& setup, FrameWrites w)
    : config(setup), writes(std::move(w)), reset(setup.chip)
{
    seek(0);
}

void AccuratePlayer::seek(uint32_t frame)
{
    chip = reset;
    next.reset();
    coming = Taken{};
    fed = 0;
    out_frame = frame;
    heard = Taken{};
    heard.first = accurate_sample_of(config, frame);
    // To the pre-roll of the frame's segment without a sound, where the
    // chip settles as the copy made there when playing does.
    const uint32_t segment = frame / SEGMENT * SEGMENT;
    settled_at = NONE;
    if (segment == 0)
        return;
    for (; fed < segment - PREROLL; ++fed) {
        frame_writes.clear();
        writes(fed, frame_writes);
        for (const PsgWrite& w : frame_writes)
            chip->write(w.reg, w.value);
        chip->skip_to(accurate_tick_of(config, fed + 1));
    }
    chip->settle();
    settled_at = fed;
}

void AccuratePlayer::take(PsgModel& from, Taken& into)
{
    const uint64_t at = static_cast<uint64_t>(from.taken());
    scratch.clear();
    const size_t n = from.take(scratch);
    // Pairs at .. at + n - 1; those before into.end() are not wanted.
    const uint64_t skip = std::min<uint64_t>(n, into.end() > at ? into.end() - at : 0);
    into.pairs.insert(into.pairs.end(), scratch.begin() + static_cast<std::ptrdiff_t>(2 * skip), scratch.end());
}

void AccuratePlayer::feed()
{
    if (fed >= SEGMENT - PREROLL && (fed + PREROLL) % SEGMENT == 0 && fed != settled_at) {
        next = *chip;
        next->settle();
        next_from = fed + PREROLL;
        coming = Taken{};
        coming.first = accurate_sample_of(config, next_from);
    }
    frame_writes.clear();
    writes(fed, frame_writes);
    const uint64_t until = accurate_tick_of(config, fed + 1);
    for (const PsgWrite& w : frame_writes)
        chip->write(w.reg, w.value);
    chip->run_to(until);
    take(*chip, heard);
    if (next) {
        for (const PsgWrite& w : frame_writes)
            next->write(w.reg, w.value);
        next->run_to(until);
        take(*next, coming);
    }
    ++fed;
}

size_t AccuratePlayer::render_frame(std::vector<int16_t>& out)
{
    if (next && out_frame >= next_from) {
        chip = std::move(next);
        next.reset();
        std::swap(heard, coming);
    }
    const uint64_t lo = accurate_sample_of(config, out_frame);
    const uint64_t hi = accurate_sample_of(config, out_frame + 1);
    while (heard.end() < hi)
        feed();
    // heard holds the frame's pairs from its first on (a seek set its start
    // there; a change of chip starts a segment, and so a frame).
    const auto begin = heard.pairs.begin() + static_cast<std::ptrdiff_t>(2 * (lo - heard.first));
    const auto end = heard.pairs.begin() + static_cast<std::ptrdiff_t>(2 * (hi - heard.first));
    out.insert(out.end(), begin, end);
    heard.pairs.erase(heard.pairs.begin(), end);
    heard.first = hi;
    ++out_frame;
    return hi - lo;
}
