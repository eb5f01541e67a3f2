// One playback step, shared by the application's 20 ms clock and offline
// renders, so that what is heard and what is rendered come from one path.
#pragma once

#include "audio/chip.h"

#include <cstdint>

// Where the playback started or was last sought to: the sound of frames
// before it that is still queued belongs to another place in the song.
extern uint32_t play_from;

// Appends registers 0..12 of frame f's image to the register queue.
void queue_frame_regs(uint32_t f);

// Starts playback at frame: the chip takes the state the song has there
// (chip_seek), play_pos and play_event go to the frame and playing is
// turned on. The next tick plays the frame. Sound already rendered still
// plays first.
void playback_start(uint32_t frame);

// The play slider's effect on the song state: play_pos and play_event go to
// frame v, and while playing the chip takes the state the song has there.
// When the clock itself moves the slider (inside play_tick) the chip is
// already there and is left alone.
void seek_play(uint32_t v);

// Plays frame play_pos: queues its writes, advances play_pos, moves the play
// position through move_play_slider (which the front end connects to its
// slider; it must end up in seek_play when the position changes), queues the
// register image of the next frame, renders the frame. Returns false when
// nothing was rendered (not playing, no song, or the end of the song, where
// playing is turned off).
bool play_tick(void (*move_play_slider)(uint32_t p));

// What play_tick does for frame f (below frame_count), on a chip of its own: the frame's writes,
// then registers 0..12 of frame f + 1's image, then the samples, into out.
// Offline renders go through it; the playing chip is left alone.
void play_frame(ChipState& chip, uint32_t f, ChipFrame& out);
