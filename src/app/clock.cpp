// The playback clock: one song frame per 20 ms tick.
#include "app/app.h"
#include "app/myclass.h"
#include "app/loop_panel.h"
#include "audio/chip.h"
#include "audio/fifo.h"
#include "audio/playback.h"
#include "song/song.h"

#include <QSlider>

namespace {

void move_play_slider(uint32_t p)
{
    play_slider->setSliderPosition(static_cast<int>(p));
}

}  // namespace

void MyClass::timer_update()
{
    if (seam_tick())  // "Hear the seam" plays instead of the song
        return;
    if (play_tick(move_play_slider))
        fifo_push_block(frame_buf, FRAME_BYTES);
    fifo_set_producing(playing != 0);
}
