// Starting and stopping playback and moving the two positions.
#include "app/app.h"
#include "app/myclass.h"
#include "app/loop_panel.h"
#include "audio/playback.h"
#include "song/song.h"

#include <QSlider>

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

void MyClass::set()
{
    cut_slider->setSliderPosition(static_cast<int>(play_pos));
}

void MyClass::stop()
{
    playing = 0;
    seam_stop();
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

void MyClass::position(int v)
{
    play_pos = static_cast<uint32_t>(v);
    update_status();
    seek_play(static_cast<uint32_t>(v));
}

void MyClass::position1(int v)
{
    cut_pos = static_cast<uint32_t>(v);
    update_status();
}
