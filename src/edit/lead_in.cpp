#include "edit/lead_in.h"

#include "audio/chip.h"
#include "audio/seek.h"
#include "song/song.h"

namespace {

constexpr uint8_t TRIANGLE_RISING = 14, TRIANGLE_FALLING = 10;

void add(LeadIn& lead, uint8_t reg, uint8_t value)
{
    lead.reg[lead.count] = reg;
    lead.value[lead.count] = value;
    ++lead.count;
}

// The place of an envelope level and direction in a triangle's 32 steps:
// 0..15 rising, 16..31 falling from 15.
int triangle_phase(const Envelope& e)
{
    return e.rising ? e.level : 16 + (15 - e.level);
}

}  // namespace

LeadIn piece_lead_in(uint32_t frame)
{
    LeadIn lead{};
    if (frame == 0 || frame > frame_count || !frames[frame].first_event)
        return lead;

    const ChipState at = chip_state_at(frame);

    bool written[REG_COUNT] = {};
    int own_shape = -1;  // the frame's first shape write
    const MusicEvent* end = frame_end_event(frame);
    for (const MusicEvent* e = frames[frame].first_event; e < end; ++e) {
        written[e->reg] = true;
        if (e->reg == REG_ENV_SHAPE && own_shape < 0)
            own_shape = e->value & reg_mask[REG_ENV_SHAPE];
    }
    for (uint8_t r = 0; r <= REG_ENV_COARSE; ++r)
        if (at.regs[r] != 0 && !written[r])
            add(lead, r, at.regs[r]);

    const Envelope& env = at.chip.env;
    const uint8_t flags = static_cast<uint8_t>((env.alternate ? SHAPE_ALTERNATE : 0) | (env.hold ? SHAPE_HOLD : 0));
    const uint8_t carry_flags = SHAPE_CONTINUE | flags;
    if (own_shape >= 0) {
        // The frame restarts the envelope itself; a shape 0..7 still keeps
        // the flags of the shape before it, so the piece's chip holds what
        // the song's does.
        if (own_shape < SHAPE_CONTINUE && flags != 0)
            add(lead, REG_ENV_SHAPE, carry_flags);
        return lead;
    }
    // At rest at level 0 (also an envelope never started, whose next step
    // stops it there): a reset chip's envelope is the same.
    if (env.level == 0 && (env.stopped || (!env.rising && !env.cont)))
        return lead;

    uint8_t shape = at.regs[REG_ENV_SHAPE];
    if (env.cont && env.alternate && !env.hold) {
        const int phase = triangle_phase(env);
        shape = phase >= 8 && phase < 24 ? TRIANGLE_FALLING : TRIANGLE_RISING;
    }
    if (shape < SHAPE_CONTINUE && flags != 0)
        add(lead, REG_ENV_SHAPE, carry_flags);
    add(lead, REG_ENV_SHAPE, shape);
    return lead;
}
