// Which chip model the window plays: the plain model of audio/chip.h, or the
// accurate model of an AY-3-8910 or a YM2149, which then sounds exactly as
// `trelvane-cli render --accurate [--chip ym] --from F` from the frame where
// playing starts.
#pragma once

#include <QByteArray>

#include <cstdint>

class QWidget;

enum class SoundModel { PLAIN, AY, YM };

SoundModel sound_model();
void set_sound_model(SoundModel model);

// The "&Model" choice for the window.
QWidget* make_model_choice();

// The clock has just played frame f through the plain model into
// frame_buf: with a chip chosen, frame_buf gets that chip's sound of frame
// f instead. The model's state is that of playing the song from frame 0,
// however playback got to f.
void model_play_frame(uint32_t f);

// The song changed: what the chip model was playing is forgotten.
void model_song_changed();

// The seam's sound (edit/intro_loop.h) through the chosen model.
QByteArray model_seam_sound(uint32_t start, uint32_t period);

// Milliseconds the accurate model's last jump took (a seek, or a start
// elsewhere than where it stood), with the first frame it rendered there.
double model_last_seek_ms();
