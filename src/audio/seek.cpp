#include "audio/seek.h"

#include "audio/chip.h"
#include "song/song.h"

namespace {

// Applies what one playing tick hands the chip for frame f: the frame's
// writes, then registers 0..12 of the next frame's image, as far as the
// queue holds them.
void apply_tick(ChipState& chip, uint32_t f, const MusicEvent* first, const MusicEvent* end)
{
    int queued = 0;
    for (const MusicEvent* e = first; e < end && queued < REG_QUEUE_MAX; ++e, ++queued)
        chip_write(chip, e->reg, e->value);
    const uint8_t* image = frames[f + 1].regs;
    for (uint8_t r = 0; r <= REG_ENV_COARSE && queued < REG_QUEUE_MAX; ++r, ++queued)
        if (chip.regs[r] != (image[r] & reg_mask[r]))  // the same value again changes nothing
            chip_write(chip, r, image[r]);
}

}  // namespace

void chip_seek(ChipState& chip, uint32_t frame)
{
    chip = ChipState{};
    if (frame > frame_count)
        frame = frame_count;
    if (frame == 0 || !frames[0].first_event)
        return;

    // Samples rendered since the registers last changed, not yet counted.
    uint64_t pending = 0;
    const MusicEvent* const last = music + event_count;
    for (uint32_t f = 0; f < frame; ++f) {
        const MusicEvent* const first = frames[f].first_event;
        const MusicEvent* e = first;
        bool shape = false;
        for (; e < last && e->frame == f; ++e)
            shape |= e->reg == REG_ENV_SHAPE;
        // Without an envelope restart and with registers 0..12 as the next
        // image has them, the tick changes nothing the chip holds.
        bool changes = shape || e - first > REG_QUEUE_MAX - 1 - REG_ENV_COARSE;
        const uint8_t* image = frames[f + 1].regs;
        for (uint8_t r = 0; r <= REG_ENV_COARSE && !changes; ++r)
            changes = chip.regs[r] != (image[r] & reg_mask[r]);
        if (changes) {
            chip_advance(chip, pending);
            pending = 0;
            apply_tick(chip, f, first, e);
        }
        pending += SAMPLES_PER_FRAME;
    }
    chip_advance(chip, pending);
}

ChipState chip_state_at(uint32_t frame)
{
    ChipState chip;
    chip_seek(chip, frame);
    return chip;
}

void chip_seek(uint32_t frame)
{
    chip_reset();
    chip_restore(chip_state_at(frame));
    reg_queue_len = 0;
}
