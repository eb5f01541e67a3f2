// The playback clock: one song frame per 20 ms tick.
#include "app/app.h"
#include "app/myclass.h"
#include "app/song_view.h"
#include "app/loop_panel.h"
#include "app/sound_model.h"
#include "audio/chip.h"
#include "audio/fifo.h"
#include "audio/playback.h"
#include "song/song.h"

#include <QSlider>

namespace {

bool showing;  // the clock moves the play slider to show the frame heard

// The tick has advanced play_pos and play_event itself; the slider shows
// the frame heard, which show_play_position sets after the render.
void leave_play_slider(uint32_t)
{
}

}  // namespace

bool clock_shows_position()
{
    return showing;
}

void show_play_position()
{
    const int shown = static_cast<int>(heard_pos());
    if (play_slider->value() != shown && !play_slider->isSliderDown()) {
        showing = true;
        play_slider->setSliderPosition(shown);
        showing = false;
    }
    show_positions();
}

void MyClass::timer_update()
{
    if (seam_tick()) {  // "Hear the seam" plays instead of the song
        view_show_positions();
        return;
    }
    const bool was_playing = playing != 0;
    const uint32_t frame = play_pos;
    if (play_tick(leave_play_slider)) {
        model_play_frame(frame);  // a chip chosen instead of the plain model
        fifo_push_block(frame_buf, FRAME_BYTES);
    }
    fifo_set_producing(playing != 0);
    if (was_playing)
        show_play_position();
}
