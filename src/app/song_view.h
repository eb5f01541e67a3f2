// The song view: the lowest part of the window, the picture of the song
// (src/draw) with a line at the play position (the frame heard) and one at
// the cut position, the chosen loop candidate shaded, and the frame and
// time under the pointer. A click puts the cut position there (through the
// cut slider), Shift+click the play position (through the play slider); the
// wheel zooms around the pointer, a drag scrolls the zoomed view, which
// follows the play position while playing.
#pragma once

#include "draw/song_picture.h"

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <vector>

class SongView : public QWidget {
    Q_OBJECT
public:
    SongView();

    // Frames onto this widget's pixels as they are drawn now.
    FrameScale scale() const;
    // The frames in view: first and span (the whole song: 0 and frame_count).
    uint32_t first_frame() const { return first; }
    uint32_t span_frames() const { return span; }
    // Zooms by factor (> 1: in) keeping the frame at x where it is.
    void zoom(double factor, double x);

    static constexpr int MARGIN = 10;  // beside the time line, each side
    static constexpr int MIN_HEIGHT = 120;
    static constexpr int MAX_PIXELS_PER_FRAME = 16;

    void song_changed();
    // The sketch of the new song, made off the GUI thread (song_study.h)
    // with the picture of the whole song at the size the view had (see
    // view_picture); until they come the lanes stay empty.
    void set_sketch(SongSketch& made, QImage& whole_song);
    void set_loop(bool shown, const LoopCandidate& loop);
    // Where appended files begin, marked as plot marks frames; a new song
    // has none.
    std::vector<uint32_t> boundaries;
    void show_positions();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void scroll_to(int64_t frame);
    uint32_t min_span() const;
    void forget_picture() { picture = QImage(); }

    SongSketch sketch;
    bool has_loop = false;
    LoopCandidate loop{};
    uint32_t first = 0, span = 0;
    QImage picture;               // the song drawn for the frames in view, without the loop
    int play_x = -1, cut_x = -1;  // where the lines were drawn last
    double pointer_x = -1;        // the pointer over the view, or -1
    bool pressed = false, dragged = false;
    double press_x = 0;
    uint32_t press_first = 0;
};

extern SongView* song_view;

// For the rest of the window: a new song in memory; the loop candidate to
// shade (shown false: none; length 0: to the end of the song); the play and
// cut positions moved.
void view_song_changed();
// The song in memory was read again with a file appended at frame `at`.
void view_file_appended(const std::vector<uint32_t>& earlier, uint32_t at);
std::vector<uint32_t> view_boundaries();
void view_set_sketch(SongSketch& made, QImage& whole_song);
// What the view keeps of the song drawn at size, for frames first ..
// first + span: everything but the lines, the loop and the pointer's label.
// Any thread may draw it.
QImage view_picture(QSize size, uint32_t first, uint32_t span, const SongSketch& sketch);
void view_set_loop(bool shown, uint32_t start, uint32_t period, uint32_t length = 0);
void view_show_positions();
