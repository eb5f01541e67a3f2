#include "audio/playback.h"

#include "audio/chip.h"
#include "audio/seek.h"
#include "song/song.h"

namespace {

bool clock_moves_slider;  // inside play_tick's move of the play slider

}  // namespace

uint32_t play_from;

void queue_frame_regs(uint32_t f)
{
    for (uint8_t r = 0; r <= REG_ENV_COARSE; ++r)
        reg_queue_push(r, frames[f].regs[r]);
}

void playback_start(uint32_t frame)
{
    chip_seek(frame);
    play_pos = frame;
    play_from = frame;
    play_event = frames[frame].first_event;
    playing = 1;
}

void seek_play(uint32_t v)
{
    play_pos = v;
    play_event = frames[v].first_event;
    if (!clock_moves_slider)
        play_from = v;
    if (playing == 1 && !clock_moves_slider)
        chip_seek(v);
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
    clock_moves_slider = true;
    move_play_slider(p);
    clock_moves_slider = false;
    // The next frame's image leaves registers 0..12 as the song has them
    // there, whether or not the slider took the move.
    queue_frame_regs(p);

    chip_render_frame();
    return true;
}

void play_frame(ChipState& chip, uint32_t f, ChipFrame& out)
{
    RegQueue queue;
    const MusicEvent* end = frame_end_event(f);
    for (const MusicEvent* e = frames[f].first_event; e < end; ++e)
        queue.push(e->reg, e->value);
    for (uint8_t r = 0; r <= REG_ENV_COARSE; ++r)
        queue.push(r, frames[f + 1].regs[r]);
    chip_render_frame(chip, queue, out);
}
