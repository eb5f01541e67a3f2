// The picture of a song, drawn with QPainter (Qt Gui, no widgets): for each
// channel its notes over time (the tone period as pitch, stronger where
// louder), its level, where it uses noise and the envelope; a time axis, the
// best loop candidate and marks at chosen frames. trelvane-cli's plot draws
// it into a PNG file, the window's song view onto the screen, so the two
// pictures are one drawing.
#pragma once

#include "edit/loops.h"

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QString>

#include <atomic>
#include <cstdint>
#include <vector>

class QPainter;

// Frames onto pixels: frame `first` at x = left, frame first + span at
// x = left + width, linear in between. A song's frames are 0..frame_count.
struct FrameScale {
    int left = 0;
    int width = 1;
    uint32_t first = 0;
    uint32_t span = 0;  // 0: an empty song, every frame at left

    int x_of(uint32_t frame) const;
    // The frame nearest to x, kept within first..first + span.
    uint32_t frame_at(double x) const;
    // The frames column x (0-based from left) stands for: those x_of puts
    // in it or, where none starts there, the one it lies in; none past `last`.
    void column_frames(int x, uint32_t last, uint32_t& begin, uint32_t& end) const;
};

// Sizes in pixels. The plot's own sizes, or the window's, which fit the
// lanes into a given height and keep the margins small.
struct PictureLayout {
    int left, right;
    int header;  // title, summary and legend; 0: none
    int pitch_h, level_h, noise_h, lane_gap;
    int axis_h;
    bool margin_labels;  // channel names, octaves and "level" in the left margin
    int lane_h() const { return pitch_h + level_h + lane_gap; }
    int height() const { return header + 3 * lane_h() + axis_h; }
};
PictureLayout plot_layout();

// The labels of the time axis in a picture width pixels wide: each tick's x
// and its text, centred under the tick or, near an edge, against the edge;
// box: where it shows. Ticks that would bring two labels together go
// without one.
struct TimeLabel {
    int x;
    QRect box;
    QString text;
    Qt::Alignment align;
};
std::vector<TimeLabel> time_labels(const PictureLayout& layout, const FrameScale& scale, uint32_t song_frames,
                                   int width);
PictureLayout view_layout(int height, int margin);

// A note's name, as the pitch scale labels its octaves: "C4", "F#5" (MIDI
// numbers: 60 is C4, 69 is A4 at 440 Hz).
QString note_name(int note);

// What each channel does in each frame of the song in memory, read once
// from the frame records, so that a redraw walks small records instead of
// the chip's registers. Built again when the song changes, on any thread
// (it only reads the song); stop, when given and set, makes build give up
// and leaves an empty sketch.
class SongSketch {
public:
    void build(const std::atomic<bool>* stop = nullptr);
    uint32_t frames() const { return count; }
    struct Voice {
        uint16_t period;  // tone period; meaningful when tone is set
        uint8_t level;    // 0..15; 15 with the envelope
        uint8_t flags;    // AUDIBLE, TONE, NOISE, ENVELOPE
    };
    enum { AUDIBLE = 1, TONE = 2, NOISE = 4, ENVELOPE = 8 };
    const Voice& voice(uint32_t frame, int c) const { return voices[size_t(frame) * 3 + size_t(c)]; }
    // The notes played, in whole octaves, at least two of them.
    double low_note = 48, high_note = 84;
    static double note_of(uint16_t period);

private:
    std::vector<Voice> voices;
    uint32_t count = 0;
};

struct PictureContent {
    QByteArray title;                     // shown in the header (its file name)
    std::vector<uint32_t> marks;          // dashed lines at these frames
    const LoopCandidate* loop = nullptr;  // shaded, or none
};

// Draws the lanes, the time axis, the loop and the marks (and the header
// when the layout has one) into the rectangle `area` of painter p, the
// frames mapped by scale.
void draw_song(QPainter& p, const QRect& area, const PictureLayout& layout, const FrameScale& scale,
               const SongSketch& sketch, const PictureContent& content);
// The same in two layers, for a view that keeps the first in an image and
// draws the second over it: everything but the loop and the marks; the loop
// and the marks.
void draw_song_base(QPainter& p, const QRect& area, const PictureLayout& layout, const FrameScale& scale,
                    const SongSketch& sketch, const PictureContent& content);
void draw_song_overlay(QPainter& p, const QRect& area, const PictureLayout& layout, const FrameScale& scale,
                       const SongSketch& sketch, const PictureContent& content);

// The whole song as plot draws it, width pixels wide.
QImage plot_picture(int width, const SongSketch& sketch, const PictureContent& content);
