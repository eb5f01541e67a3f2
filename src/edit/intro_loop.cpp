#include "edit/intro_loop.h"

#include "audio/chip.h"
#include "audio/seek.h"
#include "edit/editing.h"
#include "edit/names.h"
#include "song/song.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int STATE_REGS = REG_ENV_COARSE + 1;  // registers 0..12

// The chip's registers 0..12 at the start of each frame, walked forward
// from frame 0 (not the frame images, which start afresh in every
// appended file).
class RegWalk {
public:
    // At the start of frame 0: a reset chip.
    RegWalk() : frame(0) { memset(regs, 0, sizeof regs); }

    void advance_to(uint32_t f)
    {
        for (; frame < f; ++frame) {
            const MusicEvent* end = frame_end_event(frame);
            for (const MusicEvent* e = frames[frame].first_event; e < end; ++e)
                if (e->reg < STATE_REGS)
                    regs[e->reg] = e->value & reg_mask[e->reg];
        }
    }

    uint32_t frame;
    uint8_t regs[STATE_REGS];
};

// Registers 0..12 of frame f's own writes.
void written_by(uint32_t f, bool written[STATE_REGS])
{
    std::fill(written, written + STATE_REGS, false);
    const MusicEvent* end = frame_end_event(f);
    for (const MusicEvent* e = frames[f].first_event; e < end; ++e)
        if (e->reg < STATE_REGS)
            written[e->reg] = true;
}

// Registers 0..12 that frame a does not write hold the same in both walks.
bool same_state(uint32_t a, const RegWalk& x, const RegWalk& y)
{
    bool written[STATE_REGS];
    written_by(a, written);
    for (int r = 0; r < STATE_REGS; ++r)
        if (!written[r] && x.regs[r] != y.regs[r])
            return false;
    return true;
}

// The first frame s in from .. last (inclusive) where registers 0..12
// repeat period frames later; UINT32_MAX when none does. Frames from `from`
// on must repeat their writes a period later up to last + period.
uint32_t first_state_repeat(uint32_t from, uint32_t last, uint32_t period)
{
    RegWalk here, there;
    here.advance_to(from);
    there.advance_to(from + period);
    for (uint32_t s = from; s <= last; ++s) {
        if (same_state(s, here, there))
            return s;
        here.advance_to(s + 1);
        there.advance_to(s + 1 + period);
    }
    return UINT32_MAX;
}

}  // namespace

bool same_frame_writes(uint32_t a, uint32_t b)
{
    const MusicEvent* ea = frames[a].first_event;
    const MusicEvent* eb = frames[b].first_event;
    const MusicEvent* end_a = frame_end_event(a);
    const MusicEvent* end_b = frame_end_event(b);
    if (end_a - ea != end_b - eb)
        return false;
    for (; ea < end_a; ++ea, ++eb)
        if (ea->reg != eb->reg || ea->value != eb->value)
            return false;
    return true;
}

bool exact_start(const LoopCandidate& c, uint32_t* start)
{
    if (c.period == 0 || c.length == 0)
        return false;
    // Exact repetition must remain for this long after the second pass begins.
    const uint32_t keep = std::min(SEAM_FRAMES, c.length);
    const uint32_t last = c.start + c.length - keep;
    const uint32_t s = first_state_repeat(c.start, last, c.period);
    if (s == UINT32_MAX)
        return false;
    *start = s;
    return true;
}

bool loop_chains(uint32_t start, uint32_t period, uint32_t* better)
{
    if (better)
        *better = UINT32_MAX;
    if (period == 0 || start > frame_count || period > frame_count - start)
        return false;
    const uint32_t second = start + period;
    uint32_t repeat = 0;
    while (second + repeat < frame_count && same_frame_writes(second + repeat, start + repeat))
        ++repeat;
    if (repeat == 0 || (repeat < SEAM_FRAMES && second + repeat < frame_count))
        return false;
    const uint32_t keep = std::min(SEAM_FRAMES, repeat);
    const uint32_t s = first_state_repeat(start, start + repeat - keep, period);
    if (s == start)
        return true;
    if (better)
        *better = s;
    return false;
}

bool choose_loop(int pick, uint32_t* start, uint32_t* period)
{
    return choose_loop(pick, start, period, LOOP_MIN_FRAMES);
}

bool choose_loop(int pick, uint32_t* start, uint32_t* period, uint32_t min_frames)
{
    const std::vector<LoopCandidate> loops = find_loops(min_frames);
    if (pick < 0 || static_cast<size_t>(pick) > loops.size())
        return false;
    const int k = pick == 0 ? default_loop(loops, start) : pick - 1;
    if (k < 0 || (pick > 0 && !exact_start(loops[k], start)))
        return false;
    *period = loops[k].period;
    return true;
}

int default_loop(const std::vector<LoopCandidate>& loops, uint32_t* start, const std::atomic<bool>* stop)
{
    for (size_t k = 0; k < loops.size() && loops[k].to_end && !stop_asked(stop); ++k) {
        if (exact_start(loops[k], start))
            return static_cast<int>(k);
    }
    return -1;
}

LeadIn loop_lead_in(uint32_t start)
{
    LeadIn lead{};
    if (start == 0 || start > frame_count)
        return lead;
    RegWalk walk;
    walk.advance_to(start);
    bool written[STATE_REGS];
    written_by(start, written);
    for (int r = 0; r < STATE_REGS; ++r) {
        if (walk.regs[r] != 0 && !written[r]) {
            lead.reg[lead.count] = static_cast<uint8_t>(r);
            lead.value[lead.count] = walk.regs[r];
            ++lead.count;
        }
    }
    return lead;
}

bool save_intro_and_loop(const QByteArray& chosen, uint32_t start, uint32_t period)
{
    if (period == 0 || start > frame_count || period > frame_count - start)
        return false;
    const QByteArray head = head_name(chosen);
    return save_two_pieces(intro_name(head), start, loop_name(head), start + period, loop_lead_in(start));
}

QByteArray seam_sound(uint32_t start, uint32_t period)
{
    QByteArray pcm;
    if (period == 0 || start > frame_count || period > frame_count - start)
        return pcm;
    const uint32_t n = std::min(SEAM_FRAMES, period);
    const uint32_t join = start + period;
    const LeadIn lead = loop_lead_in(start);

    ChipState chip = chip_state_at(join - n);
    RegQueue queue;
    ChipFrame out;
    pcm.reserve(static_cast<qsizetype>(2 * n * FRAME_BYTES));
    // Each frame as the playback step plays it: the frame's writes, then
    // the image of the frame after it (registers 0..12 as the chain's file
    // holds them there), then the samples. After the join the chain plays
    // frame start + k of the loop piece, opened by its lead-in; there its
    // registers are the song's at start + k, since those at the join repeat
    // those at start.
    RegWalk pass, next;
    pass.advance_to(join - n);
    next.advance_to(start);
    for (uint32_t k = 0; k < 2 * n; ++k) {
        const uint32_t f = k < n ? join - n + k : start + (k - n);
        RegWalk& walk = k < n ? pass : next;
        if (k == n)
            for (int i = 0; i < lead.count; ++i)
                queue.push(lead.reg[i], lead.value[i]);
        const MusicEvent* end = frame_end_event(f);
        for (const MusicEvent* e = frames[f].first_event; e < end; ++e)
            queue.push(e->reg, e->value);
        walk.advance_to(f + 1);
        for (int r = 0; r < STATE_REGS; ++r)
            queue.push(static_cast<uint8_t>(r), walk.regs[r]);
        chip_render_frame(chip, queue, out);
        pcm.append(reinterpret_cast<const char*>(out.bytes), FRAME_BYTES);
    }
    return pcm;
}
