// Starting and stopping playback and moving the two positions.
#include "app/app.h"
#include "app/myclass.h"
#include "app/audio_output.h"
#include "audio/fifo.h"
#include "audio/heard.h"
#include "app/loop_panel.h"
#include "audio/playback.h"
#include "song/song.h"

#include <QSlider>

uint32_t heard_pos()
{
    if (playing == 0)
        return play_pos;
    return heard_frame(play_pos, play_from, audio_queued_bytes());
}

void MyClass::play1()
{
    update_status();
    playback_start(play_pos);
}

void MyClass::play2()
{
    if (cut_pos == 0 && !ask_yes_no("Cut position is 0. Play from Begin?"))
        return;
    playback_start(cut_pos);
    update_status();
}

void MyClass::play3()
{
    playback_start(0);
    update_status();
}

// While playing, the cut goes where the sound is heard now, not where the
// clock renders ahead of it.
void MyClass::set()
{
    cut_slider->setSliderPosition(static_cast<int>(heard_pos()));
}

// The sound stops now (what waits in the FIFO is dropped) and the play
// position stays on the frame heard last, where "Pla&y" goes on.
void MyClass::stop()
{
    seam_stop();
    if (playing == 0)
        return;
    const uint32_t heard = heard_pos();
    playing = 0;
    fifo_drop_queued();
    seek_play(heard);
    play_slider->setSliderPosition(static_cast<int>(heard));
    show_positions();
}

// The one-frame buttons move the cut slider with the cut position, so the
// two always agree; the status line is refreshed even at either end.
void MyClass::cp()
{
    if (cut_pos != 0)
        cut_slider->setSliderPosition(static_cast<int>(cut_pos - 1));
    update_status();
}

void MyClass::cpp()
{
    if (cut_pos < frame_count)
        cut_slider->setSliderPosition(static_cast<int>(cut_pos + 1));
    update_status();
}

// A move of the play slider is a seek, unless the clock itself moved it to
// show the frame heard.
void MyClass::position(int v)
{
    if (clock_shows_position())
        return;
    play_pos = static_cast<uint32_t>(v);
    seek_play(static_cast<uint32_t>(v));
    show_positions();
}

void MyClass::position1(int v)
{
    cut_pos = static_cast<uint32_t>(v);
    show_positions();
}
