// The two refreshes of the window, each written once: after the song in
// memory changed, and after the play or cut position moved.
#include "app/app.h"
#include "app/loop_panel.h"
#include "app/song_view.h"
#include "app/sound_model.h"
#include "audio/seek.h"
#include "song/song.h"

#include <QSlider>

void show_song(uint32_t play, uint32_t cut)
{
    model_song_changed();
    view_song_changed();
    loop_panel_song_read();
    play_slider->setRange(0, static_cast<int>(frame_count));
    play_slider->setSliderPosition(static_cast<int>(play));
    cut_slider->setRange(0, static_cast<int>(frame_count));
    cut_slider->setSliderPosition(static_cast<int>(cut));
}

void show_positions()
{
    update_status();
    view_show_positions();
}

void song_read_effects()
{
    update_status();
    show_song(0, 0);
    // A song read while playing starts on a chip in its own state, also when
    // the play slider already stood at 0 and so did not seek.
    if (playing == 1)
        chip_seek(play_pos);
}
