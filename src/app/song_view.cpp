#include "app/song_view.h"

#include "app/app.h"
#include "app/loop_panel.h"
#include "song/song.h"
#include "song/song_time.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QSlider>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <utility>

SongView* song_view;

namespace {

const QColor play_colour(0xEA, 0x58, 0x0C), cut_colour(0x11, 0x18, 0x27);

// The play line: the frame heard, in the seam while "Hear the seam" plays.
uint32_t shown_play_frame()
{
    uint32_t frame = 0;
    return seam_heard_frame(&frame) ? frame : heard_pos();
}

}  // namespace

SongView::SongView()
{
    setMinimumHeight(MIN_HEIGHT);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setMouseTracking(true);
    setCursor(Qt::CrossCursor);
    setToolTip(QStringLiteral("Click: cut position. Shift+click: play position.\n"
                              "Wheel: zoom. Drag: scroll when zoomed."));
}

namespace {

FrameScale scale_at(int width, uint32_t first, uint32_t span)
{
    FrameScale s;
    s.left = SongView::MARGIN;
    s.width = std::max(1, width - 2 * SongView::MARGIN);
    s.first = first;
    s.span = span;
    return s;
}

}  // namespace

FrameScale SongView::scale() const
{
    return scale_at(width(), first, span);
}

QImage view_picture(QSize size, uint32_t first, uint32_t span, const SongSketch& sketch)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    draw_song_base(p, image.rect(), view_layout(size.height(), SongView::MARGIN), scale_at(size.width(), first, span),
                   sketch, PictureContent());
    return image;
}

uint32_t SongView::min_span() const
{
    const uint32_t pixels = static_cast<uint32_t>(scale().width);
    return std::max<uint32_t>(1, (pixels + MAX_PIXELS_PER_FRAME - 1) / MAX_PIXELS_PER_FRAME);
}

void SongView::song_changed()
{
    sketch = SongSketch();
    boundaries.clear();
    first = 0;
    span = frame_count;
    has_loop = false;  // until the loop list chooses one (view_set_loop)
    forget_picture();
    update();
}

void SongView::set_sketch(SongSketch& made, QImage& whole_song)
{
    if (made.frames() != frame_count)
        return;
    sketch = std::move(made);
    if (whole_song.size() == size() && first == 0 && span == frame_count)
        picture = std::move(whole_song);
    else
        forget_picture();
    update();
}

void SongView::set_loop(bool shown, const LoopCandidate& candidate)
{
    has_loop = shown;
    loop = candidate;
    update();
}

void SongView::scroll_to(int64_t frame)
{
    const int64_t last_first = int64_t(frame_count) - int64_t(span);
    frame = std::clamp<int64_t>(frame, 0, std::max<int64_t>(0, last_first));
    if (uint32_t(frame) == first)
        return;
    first = static_cast<uint32_t>(frame);
    forget_picture();
    update();
}

void SongView::zoom(double factor, double x)
{
    if (frame_count == 0)
        return;
    const FrameScale s = scale();
    const double at = first + (x - s.left) * span / s.width;
    const double wanted = std::round(span / factor);
    const uint32_t new_span
        = static_cast<uint32_t>(std::clamp(wanted, double(std::min(min_span(), frame_count)), double(frame_count)));
    if (new_span == span)
        return;
    span = new_span;
    forget_picture();
    scroll_to(static_cast<int64_t>(std::llround(at - (x - s.left) * span / s.width)));
    update();
}

void SongView::show_positions()
{
    const uint32_t heard = shown_play_frame();
    if (playing && span < frame_count && (heard < first || heard >= first + span))
        scroll_to(int64_t(heard) - span / 10);
    // Only the strips of the lines that moved are drawn again.
    const FrameScale s = scale();
    const int px = s.x_of(heard), cx = s.x_of(cut_pos);
    for (const auto& [was, now] : {std::pair<int, int>{play_x, px}, std::pair<int, int>{cut_x, cx}}) {
        if (was == now)
            continue;
        update(QRect(was - 2, 0, 5, height()));
        update(QRect(now - 2, 0, 5, height()));
    }
}

void SongView::paintEvent(QPaintEvent* event)
{
    if (picture.size() != size())
        picture = view_picture(size(), first, span, sketch);
    QPainter p(this);
    for (const QRect& r : event->region())
        p.drawImage(r.topLeft(), picture, r);
    const FrameScale s = scale();
    PictureContent content;
    content.loop = has_loop ? &loop : nullptr;
    content.marks = boundaries;
    draw_song_overlay(p, rect(), view_layout(height(), MARGIN), s, sketch, content);
    if (frame_count == 0) {
        p.setPen(QColor(0x6B, 0x72, 0x80));
        p.drawText(rect(), Qt::AlignCenter, QStringLiteral("No song loaded"));
    }
    const PictureLayout layout = view_layout(height(), MARGIN);
    const int bottom = layout.height() - layout.axis_h + 2;
    cut_x = s.x_of(cut_pos);
    play_x = s.x_of(shown_play_frame());
    p.setPen(QPen(cut_colour, 2));
    p.drawLine(cut_x, 0, cut_x, bottom);
    p.setPen(QPen(play_colour, 2));
    p.drawLine(play_x, 0, play_x, bottom);

    if (pointer_x >= 0 && frame_count) {
        const uint32_t frame = s.frame_at(pointer_x);
        char time[16];
        const QString text
            = QStringLiteral("frame %1  %2").arg(frame).arg(QString::fromLatin1(format_time(frame, time)));
        QFont f = font();
        f.setPixelSize(11);
        p.setFont(f);
        const int w = QFontMetrics(f).horizontalAdvance(text) + 10;
        const int x = static_cast<int>(pointer_x);
        int left = x + 8;
        if (left + w > width())
            left = x - 8 - w;
        // Below the loop's two labels, which stay readable.
        const QRect box(left, 34, w, 16);
        QColor back = Qt::white;
        back.setAlpha(230);
        p.fillRect(box, back);
        p.setPen(cut_colour);
        p.drawRect(box.adjusted(0, 0, -1, -1));
        p.drawText(box, Qt::AlignCenter, text);
        p.setPen(QPen(QColor(0x6B, 0x72, 0x80), 1, Qt::DotLine));
        p.drawLine(x, 0, x, box.top());
        p.drawLine(x, box.bottom() + 1, x, bottom);
    }
}

void SongView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    pressed = true;
    dragged = false;
    press_x = event->position().x();
    press_first = first;
}

void SongView::mouseMoveEvent(QMouseEvent* event)
{
    pointer_x = event->position().x();
    if (pressed && span < frame_count && std::abs(pointer_x - press_x) > 3)
        dragged = true;
    if (dragged)
        scroll_to(static_cast<int64_t>(std::llround(press_first - (pointer_x - press_x) * span / scale().width)));
    update();
}

void SongView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !pressed)
        return;
    pressed = false;
    if (dragged || frame_count == 0)
        return;
    const int frame = static_cast<int>(scale().frame_at(event->position().x()));
    if (event->modifiers() & Qt::ShiftModifier)
        play_slider->setSliderPosition(frame);
    else
        cut_slider->setSliderPosition(frame);
}

void SongView::wheelEvent(QWheelEvent* event)
{
    const double notches = event->angleDelta().y() / 120.0;
    if (notches != 0)
        zoom(std::pow(1.25, notches), event->position().x());
    event->accept();
}

void SongView::leaveEvent(QEvent*)
{
    pointer_x = -1;
    update();
}

void SongView::resizeEvent(QResizeEvent*)
{
    forget_picture();
}

void view_song_changed()
{
    if (song_view)
        song_view->song_changed();
}

void view_set_sketch(SongSketch& made, QImage& whole_song)
{
    if (song_view)
        song_view->set_sketch(made, whole_song);
}

void view_set_loop(bool shown, uint32_t start, uint32_t period, uint32_t length)
{
    if (!song_view)
        return;
    LoopCandidate candidate{start, period, length, length == 0};
    if (shown && length == 0 && uint64_t{start} + period < frame_count)
        candidate.length = frame_count - start - period;
    song_view->set_loop(shown, candidate);
}

void view_file_appended(const std::vector<uint32_t>& earlier, uint32_t at)
{
    if (!song_view)
        return;
    song_view->boundaries = earlier;
    if (at > 0)
        song_view->boundaries.push_back(at);
    song_view->update();
}

std::vector<uint32_t> view_boundaries()
{
    return song_view ? song_view->boundaries : std::vector<uint32_t>();
}

void view_show_positions()
{
    if (song_view)
        song_view->show_positions();
}
