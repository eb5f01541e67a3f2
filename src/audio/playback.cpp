#include "audio/playback.h"

#include "audio/chip.h"
#include "song/song.h"

void queue_frame_regs(uint32_t f)
{
    for (uint8_t r = 0; r <= REG_ENV_COARSE; ++r)
        reg_queue_push(r, frames[f].regs[r]);
}

void playback_start(uint32_t frame, bool queue_image)
{
    play_pos = frame;
    play_event = frames[frame].first_event;
    if (queue_image)
        queue_frame_regs(frame);
    playing = 1;
}

void seek_play(uint32_t v)
{
    play_pos = v;
    play_event = frames[v].first_event;
    if (playing == 1)
        queue_frame_regs(v);
}

bool play_tick(void (*move_play_slider)(uint32_t p))
{
    if (playing == 0 || frame_count == 0 || play_event == nullptr)
        return false;
    uint32_t p = play_pos;
    if (p == frame_count) {
        playing = 0;
        return false;
    }

    const MusicEvent* end = music + event_count;
    MusicEvent* e = play_event;
    while (e < end && e->frame == p) {
        reg_queue_push(e->reg, e->value);
        ++e;
    }
    play_event = e;

    ++p;
    if (p > frame_count)
        p = frame_count;
    play_pos = p;
    move_play_slider(p);

    chip_render_frame();
    return true;
}
