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
#include <QTimer>

namespace {

bool showing;  // the clock moves the play slider to show the frame heard

// Keeping ahead of the output on a busy machine. A tick that comes late
// leaves the output less sound than it takes, and the next late one leaves
// a hole. So the clock keeps `cushion` frames queued after each of its
// ticks, rendering up to CATCH_UP_MAX extra frames a tick to get there
// (after a late tick, or at the start of a playback), and each time the
// FIFO still runs dry during a playback it keeps one more, up to
// CUSHION_MAX. The song goes on at the output's pace; the position shown
// is the frame heard, whatever is queued; a press is heard as soon as the
// reserve is there, sooner than with one frame a tick.
constexpr uint64_t CUSHION_START = 3, CUSHION_MAX = 6;
constexpr int CATCH_UP_MAX = 3;
uint64_t cushion = CUSHION_START;  // frames wanted in the FIFO after a tick
uint64_t dry_reads;                // reads filled while playing, at the last tick
bool clock_was_playing;

// The tick has advanced play_pos and play_event itself; the slider shows
// the frame heard, which show_play_position sets after the render.
void leave_play_slider(uint32_t) { }

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
    const FifoStats stats = fifo_stats();
    const uint64_t dry = stats.filled_reads - stats.held_reads;
    if (was_playing && !clock_was_playing)
        cushion = CUSHION_START;
    else if (was_playing && dry > dry_reads && cushion < CUSHION_MAX)
        ++cushion;
    dry_reads = dry;
    // Only the clock's own ticks keep ahead of the output: a tick called
    // from elsewhere plays its one frame.
    const int extras = sender() == static_cast<QObject*>(play_timer) ? CATCH_UP_MAX : 0;
    uint32_t frame = play_pos;
    if (play_tick(leave_play_slider)) {
        model_play_frame(frame);  // a chip chosen instead of the plain model
        fifo_push_block(frame_buf, FRAME_BYTES);
        for (int extra = 0; extra < extras && playing && fifo_size() < cushion * FRAME_BYTES; ++extra) {
            frame = play_pos;
            if (play_tick(leave_play_slider)) {
                model_play_frame(frame);
                fifo_push_block(frame_buf, FRAME_BYTES);
            }
        }
    }
    fifo_set_producing(playing != 0);
    clock_was_playing = playing != 0;
    if (was_playing)
        show_play_position();
}
