#include "edit/loop_facts.h"

#include "audio/chip.h"
#include "audio/seek.h"
#include "edit/intro_loop.h"
#include "song/song.h"
#include "song/song_time.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int STATE_REGS = REG_ENV_COARSE + 1;  // registers 0..12
// Frames walked between two looks at the stop flag.
constexpr uint32_t STOP_EVERY = 4096;

QByteArray time_of(uint32_t frames)
{
    char text[16];
    return QByteArray(format_time(frames, text));
}

QByteArray frame_and_time(uint32_t frame)
{
    return QByteArray::number(frame) + " (" + time_of(frame) + ")";
}

// Registers 0..12 at the start of each frame, walked forward from a reset
// chip at frame 0.
struct Walk {
    uint32_t frame = 0;
    uint8_t regs[STATE_REGS] = {};

    void to(uint32_t f)
    {
        for (; frame < f; ++frame) {
            const MusicEvent* end = frame_end_event(frame);
            for (const MusicEvent* e = frames[frame].first_event; e < end; ++e)
                if (e->reg < STATE_REGS)
                    regs[e->reg] = e->value & reg_mask[e->reg];
        }
    }
};

bool writes(uint32_t f, int reg)
{
    const MusicEvent* end = frame_end_event(f);
    for (const MusicEvent* e = frames[f].first_event; e < end; ++e)
        if (e->reg == reg)
            return true;
    return false;
}

// The register that differs a period later at `from` for the longest, and
// the first frame (up to `to`) from which it no longer does.
void longest_difference(uint32_t from, uint32_t to, uint32_t period, LoopFacts& facts, const std::atomic<bool>* stop)
{
    Walk here, there;
    uint32_t until[STATE_REGS];
    bool open[STATE_REGS];
    int left = 0;
    here.to(from);
    there.to(from + period);
    for (int r = 0; r < STATE_REGS; ++r) {
        open[r] = here.regs[r] != there.regs[r] && !writes(from, r);
        until[r] = from;
        left += open[r];
    }
    for (uint32_t f = from; f <= to && left > 0; ++f) {
        if (f % STOP_EVERY == 0 && stop_asked(stop))
            return;
        here.to(f);
        there.to(f + period);
        for (int r = 0; r < STATE_REGS; ++r) {
            if (open[r] && (here.regs[r] == there.regs[r] || writes(f, r))) {
                open[r] = false;
                until[r] = f;
                --left;
            }
        }
    }
    for (int r = 0; r < STATE_REGS; ++r) {
        if (open[r])
            until[r] = to;
        if (until[r] > from && (facts.moved_reg < 0 || until[r] > facts.moved_until)) {
            facts.moved_reg = r;
            facts.moved_until = until[r];
        }
    }
}

// Whether two envelopes sound the same from now on under the same writes.
bool same_envelope(Envelope a, Envelope b)
{
    // One about to come to rest at 0 sounds as one at rest there.
    for (Envelope* e : {&a, &b}) {
        if (!e->stopped && e->level == 0 && !e->rising && !e->cont)
            e->stopped = true;
    }
    // One at rest is heard at its level alone until a restart sets it anew,
    // whatever shape brought it there.
    if (a.stopped || b.stopped)
        return a.stopped && b.stopped && a.level == b.level;
    return a.period == b.period && a.count == b.count && a.level == b.level && a.rising == b.rising
        && a.stopped == b.stopped && a.cont == b.cont && a.attack == b.attack && a.alternate == b.alternate
        && a.hold == b.hold;
}

bool envelope_sounds(const ChipState& s)
{
    for (int c = 0; c < 3; ++c)
        if (s.regs[amp_reg(c)] & AMP_ENVELOPE)
            return true;
    return false;
}

// Frame f's writes applied to the chip state s.
void apply(ChipState& s, uint32_t f)
{
    const MusicEvent* end = frame_end_event(f);
    for (const MusicEvent* e = frames[f].first_event; e < end; ++e)
        chip_write(s, e->reg, e->value);
}

bool plays_alone(uint32_t start, uint32_t period, const std::atomic<bool>* stop)
{
    if (start == 0)
        return true;
    ChipState chained = chip_state_at(start);
    ChipState alone;  // a reset chip, opened by the lead-in
    const LeadIn lead = loop_lead_in(start);
    for (int i = 0; i < lead.count; ++i)
        chip_write(alone, lead.reg[i], lead.value[i]);
    for (uint32_t f = start; f < start + period && !stop_asked(stop); ++f) {
        apply(chained, f);
        apply(alone, f);
        if (same_envelope(chained.chip.env, alone.chip.env))
            break;  // the same writes keep them the same
        if (envelope_sounds(chained))
            return false;
        chip_advance(chained, SAMPLES_PER_FRAME);
        chip_advance(alone, SAMPLES_PER_FRAME);
    }
    return true;
}

}  // namespace

LoopFacts loop_facts(uint32_t candidate_start, uint32_t start, uint32_t period, const std::atomic<bool>* stop)
{
    LoopFacts facts{std::min(candidate_start, start), start, period, start, false, -1, 0, true};
    if (period == 0 || start > frame_count || period > frame_count - start)
        return facts;
    uint32_t end = start + period;
    while (end < frame_count && same_frame_writes(end, end - period)) {
        if (++end % STOP_EVERY == 0 && stop_asked(stop))
            return facts;
    }
    facts.repeat_end = end;
    facts.to_end = end == frame_count;
    if (facts.candidate_start < start)
        longest_difference(facts.candidate_start, start, period, facts, stop);
    facts.alone_exact = plays_alone(start, period, stop);
    return facts;
}

QByteArray start_moved_text(const LoopFacts& facts)
{
    if (facts.start <= facts.candidate_start)
        return {};
    QByteArray text = "starts at " + frame_and_time(facts.start) + ", not " + QByteArray::number(facts.candidate_start);
    if (facts.moved_reg >= 0)
        text += ": R" + QByteArray::number(facts.moved_reg) + " differs until frame "
            + QByteArray::number(facts.moved_until);
    return text;
}

QByteArray left_out_text(const LoopFacts& facts)
{
    if (facts.to_end)
        return {};
    const uint32_t left = frame_count - facts.repeat_end;
    return "its repetition stops at frame " + frame_and_time(facts.repeat_end) + ": the pieces leave out the last "
        + QByteArray::number(left) + (left == 1 ? " frame (" : " frames (") + time_of(left) + ") of the song";
}

QByteArray alone_text(const LoopFacts& facts)
{
    return facts.alone_exact ? "the loop piece plays right on its own"
                             : "the loop piece needs its intro: it plays an envelope the intro started";
}

QByteArray loop_refusal_text(uint32_t start, uint32_t period)
{
    uint32_t better = UINT32_MAX;
    if (loop_chains(start, period, &better))
        return {};
    if (uint64_t{start} + period > frame_count)
        return "frame " + QByteArray::number(uint64_t{start} + period) + " is past the end of the song (frame "
            + QByteArray::number(frame_count) + ")";
    QByteArray text = "the song does not repeat exactly with period " + QByteArray::number(period) + " from frame "
        + QByteArray::number(start);
    if (better != UINT32_MAX)
        text += "; it does from frame " + frame_and_time(better) + " on";
    return text;
}

QByteArray no_loop_text(const std::vector<LoopCandidate>& loops)
{
    QByteArray text = "no loop: the song does not end repeating itself";
    const auto longest
        = std::max_element(loops.begin(), loops.end(),
                           [](const LoopCandidate& a, const LoopCandidate& b) { return a.length < b.length; });
    if (longest == loops.end())
        return text;
    const uint32_t from = longest->start + longest->period;
    return text + "; its longest repetition, " + time_of(longest->length) + " from " + time_of(from) + ", stops "
        + time_of(frame_count - std::min(frame_count, from + longest->length)) + " before the end";
}

QByteArray candidate_reach_text(const LoopCandidate& c)
{
    if (c.to_end)
        return "to the end";
    const uint32_t end = c.start + c.period + c.length;
    return "inner, stops " + time_of(frame_count - std::min(frame_count, end)) + " before the end";
}
