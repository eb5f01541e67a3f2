// The window's loops: the loop candidates of the song in a list, the
// button that saves an intro and a loop, and the one that plays the join
// of the chosen loop over and over.
#pragma once

#include <QByteArray>

#include <cstdint>

class QWidget;

// The loop chosen in the list, for whatever shows the song: valid when the
// song has a loop whose pieces chain exactly; start is where the loop piece
// begins (already moved to where registers 0..12 repeat).
struct ChosenLoop {
    bool valid;
    uint32_t start;
    uint32_t period;
};
extern ChosenLoop chosen_loop;

// The loop the start and period fields under the list name (the chosen
// row fills them; the user may type a frame or a time in each), checked as
// `trelvane-cli loop --start --period` checks it: true with loop->valid
// when it chains exactly, true with loop->valid false when both fields are
// empty; false after a box saying why it is refused.
bool typed_loop(ChosenLoop* loop);

// The list, the two fields and the two buttons, in a group box for the
// window's layout.
QWidget* make_loop_panel();

// A song has been read: lists its loop candidates, each marked as running
// to the song's end or stopping before it, and chooses the best that runs
// to the end and chains (without moving the cut position), or none; stops
// the seam.
void loop_panel_song_read();

// The playback clock's tick while the seam plays: pushes its next frame of
// sound and returns true; false when the seam does not play (or playback
// has started, which ends it).
bool seam_tick();
// Ends the seam ("S&top").
void seam_stop();

// While the seam plays: the frame of the song whose sound is heard now.
bool seam_heard_frame(uint32_t* frame);

// The sound the seam plays over and over (empty when it does not play),
// and how many frames of it the clock has pushed since it started.
const QByteArray& seam_playing_sound();
uint64_t seam_frames_pushed();
