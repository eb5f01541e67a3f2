// The song in memory: every register write tagged with its frame, and one
// record per frame with the register image at its start. Plain process-wide
// tables, reserved once for the largest song and never freed.
#pragma once

#include <cstdint>

constexpr uint32_t MUSIC_MAX_LEN = 13500000;  // register writes
constexpr uint32_t FRAMES_MAX_LEN = 900000;   // frame records
constexpr uint32_t FRAME_RATE = 50;           // frames per second

struct MusicEvent {
    uint8_t reg;     // chip register 0..15
    uint8_t value;   // byte written
    uint32_t frame;  // frame the write belongs to
};

struct FrameInfo {
    uint8_t regs[16];         // register image at the start of the frame
    MusicEvent* first_event;  // where the frame's writes begin
};

extern MusicEvent music[MUSIC_MAX_LEN];
extern uint32_t event_count;  // valid records in music
extern FrameInfo frames[FRAMES_MAX_LEN];
extern uint32_t frame_count;  // frame ends read; also the last frame's number

// Positions shared by the transport, the reader and the editing commands.
extern uint32_t play_pos;       // frame the next tick plays
extern uint32_t cut_pos;        // the cut position
extern int playing;             // 1 while playback runs
extern MusicEvent* play_event;  // next write to play; null before the first read
extern uint32_t find_start;     // where the next period search begins

// One past the last write of frame f's run, walking by the frame rule:
// records from frames[f].first_event while their frame is f and they lie
// before music[event_count].
inline const MusicEvent* frame_end_event(uint32_t f)
{
    const MusicEvent* e = frames[f].first_event;
    const MusicEvent* end = music + event_count;
    if (!e)
        return e;
    while (e < end && e->frame == f)
        ++e;
    return e;
}

// Number of writes in frames 0 .. frame_count - 1 (the song without the
// writes after its last frame end).
inline uint32_t writes_before_last_frame()
{
    const MusicEvent* last = frames[frame_count].first_event;
    return last ? static_cast<uint32_t>(last - music) : 0;
}
