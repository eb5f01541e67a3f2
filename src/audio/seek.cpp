#include "audio/seek.h"

#include "audio/chip.h"
#include "song/song.h"

namespace {

// Applies what one playing tick hands the chip for frame f: the frame's
// writes, then registers 0..12 of the next frame's image, as far as the
// queue holds them.
void apply_tick(uint32_t f, const MusicEvent* first, const MusicEvent* end)
{
    int queued = 0;
    for (const MusicEvent* e = first; e < end && queued < REG_QUEUE_MAX; ++e, ++queued)
        chip_write(e->reg, e->value);
    const uint8_t* image = frames[f + 1].regs;
    for (uint8_t r = 0; r <= REG_ENV_COARSE && queued < REG_QUEUE_MAX; ++r, ++queued)
        if (chip_regs[r] != (image[r] & reg_mask[r]))  // the same value again changes nothing
            chip_write(r, image[r]);
}

}  // namespace

void chip_seek(uint32_t frame)
{
    chip_reset();
    reg_queue_len = 0;
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
            changes = chip_regs[r] != (image[r] & reg_mask[r]);
        if (changes) {
            chip_advance(pending);
            pending = 0;
            apply_tick(f, first, e);
        }
        pending += SAMPLES_PER_FRAME;
    }
    chip_advance(pending);
}
