#include "edit/optimize.h"

#include "audio/chip.h"
#include "song/song.h"

#include <cstring>

namespace {

constexpr int IMAGE_REGS = REG_ENV_COARSE + 1;  // registers a tick takes from the next image

// A frame whose writes and the next image fit the register queue: its writes
// go in order, those that matter, and the registers that the image changes
// without a write of the frame follow. held: registers 0..12 as the chip
// has them before the frame; becomes what it has after.
void encode_frame(RegisterDump& out, const MusicEvent* first, const MusicEvent* end, const uint8_t* image,
                  uint8_t* held)
{
    const MusicEvent* last_write[REG_COUNT] = {};
    for (const MusicEvent* e = first; e < end; ++e)
        last_write[e->reg] = e;
    for (const MusicEvent* e = first; e < end; ++e) {
        const bool keep = e->reg > REG_ENV_COARSE || (e == last_write[e->reg] && e->value != held[e->reg]);
        if (keep)
            out.write(e->reg, e->value);
    }
    for (int r = 0; r < IMAGE_REGS; ++r) {
        if (!last_write[r] && image[r] != held[r])
            out.write(static_cast<uint8_t>(r), image[r]);
        held[r] = image[r];
    }
}

// A frame that fills the register queue: what reached the chip, as playback
// queues it (the writes, then the image, up to REG_QUEUE_MAX pairs) - the
// registers it changed, its envelope restarts - and then its R14 and R15
// writes, which the chip ignores wherever the queue ends.
void encode_crowded_frame(RegisterDump& out, const MusicEvent* first, const MusicEvent* end, const uint8_t* image,
                          uint8_t* held)
{
    uint8_t after[IMAGE_REGS];
    memcpy(after, held, sizeof after);
    const MusicEvent* restarts[REG_QUEUE_MAX];
    int restart_count = 0;
    int queued = 0;
    for (const MusicEvent* e = first; e < end && queued < REG_QUEUE_MAX; ++e, ++queued) {
        if (e->reg < IMAGE_REGS)
            after[e->reg] = e->value;
        else if (e->reg == REG_ENV_SHAPE)
            restarts[restart_count++] = e;
    }
    for (int r = 0; r < IMAGE_REGS && queued < REG_QUEUE_MAX; ++r, ++queued)
        after[r] = image[r];

    for (int r = 0; r < IMAGE_REGS; ++r) {
        if (after[r] != held[r])
            out.write(static_cast<uint8_t>(r), after[r]);
        held[r] = after[r];
    }
    for (int k = 0; k < restart_count; ++k)
        out.write(REG_ENV_SHAPE, restarts[k]->value);
    for (const MusicEvent* e = first; e < end; ++e)
        if (e->reg > REG_ENV_SHAPE)
            out.write(e->reg, e->value);
}

}  // namespace

RegisterDump optimized_dump()
{
    RegisterDump out;
    out.writes.reserve(event_count);
    uint8_t held[IMAGE_REGS] = {};  // a reset chip
    const MusicEvent* e = music;
    const MusicEvent* const last = music + event_count;
    for (uint32_t f = 0; f < frame_count; ++f) {
        const MusicEvent* first = e;
        while (e < last && e->frame == f)
            ++e;
        const uint8_t* image = frames[f + 1].regs;
        if (e - first + IMAGE_REGS <= REG_QUEUE_MAX)
            encode_frame(out, first, e, image, held);
        else
            encode_crowded_frame(out, first, e, image, held);
        out.end_frame();
    }
    return out;
}

PsgImage optimized_psg()
{
    const RegisterDump dump = optimized_dump();
    return PsgImage{psg_encode(dump), static_cast<uint32_t>(dump.writes.size())};
}

PsgImage plain_psg()
{
    RegisterDump dump;
    dump.writes.reserve(event_count);
    const MusicEvent* e = music;
    const MusicEvent* const last = music + event_count;
    for (uint32_t f = 0; f < frame_count; ++f) {
        for (; e < last && e->frame == f; ++e)
            dump.write(e->reg, e->value);
        dump.end_frame();
    }
    return PsgImage{psg_encode(dump), static_cast<uint32_t>(dump.writes.size())};
}
