// The song view, the position heard, the title and the undo of cuts, through
// the real window; the last case listens to the sound server's monitor.
#include "app/app.h"
#include "app/history.h"
#include "app/song_view.h"
#include "audio/heard.h"
#include "song/song.h"
#include "support/app_driver.h"
#include "support/monitor_watch.h"
#include "support/psg_data.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <utility>
#include <vector>

namespace {

// A paint device that keeps the texts drawn on it, in order.
class TextEngine : public QPaintEngine {
public:
    QStringList texts;
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override { }
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override { }
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override { }
    void drawTextItem(const QPointF&, const QTextItem& item) override { texts << item.text(); }
    Type type() const override { return User; }
};
class TextDevice : public QPaintDevice {
public:
    TextEngine engine;
    QPaintEngine* paintEngine() const override { return const_cast<TextEngine*>(&engine); }

protected:
    int metric(PaintDeviceMetric m) const override
    {
        switch (m) {
        case PdmWidth:
            return 800;
        case PdmHeight:
            return 200;
        case PdmDepth:
            return 32;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 96;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default:
            return 1;
        }
    }
};

// frames frame ends; frame f writes register f % 14 with f & 0xFF.
QByteArray numbered_song(int frames)
{
    PsgBuilder b;
    for (int f = 0; f < frames; ++f)
        b.write(f % 14, f & 0xFF).end();
    return b.bytes;
}

void load(const QString& path, const QByteArray& bytes, const char* button = "&Load file")
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    f.close();
    // A load over a cut song asks first.
    QList<DialogAnswer> answers;
    if (main_window->isWindowModified() && qstrcmp(button, "&Load file") == 0)
        answers << press(QMessageBox::Yes);
    answer(answers << type_file(path));
    click(QString::fromLatin1(button));
    QCOMPARE(unanswered(), 0);
    QVERIFY(wait_for_loops());  // the song's picture is drawn beside the window
}

// Everything of the song in memory that a cut or its undo changes.
QByteArray song_state()
{
    QByteArray s;
    for (uint32_t i = 0; i < event_count; ++i)
        s += QByteArray::number(music[i].reg) + ',' + QByteArray::number(music[i].value) + '@'
            + QByteArray::number(music[i].frame) + ' ';
    for (uint32_t f = 0; f <= frame_count; ++f)
        s += QByteArray(reinterpret_cast<const char*>(frames[f].regs), 16)
            + QByteArray::number(frames[f].first_event - music);
    return s + '|' + QByteArray::number(play_pos) + '|' + QByteArray::number(cut_pos) + '|'
        + QByteArray::number(find_start) + '|' + QByteArray::number(cut_slider->value()) + '|'
        + QByteArray::number(play_slider->value());
}

void key(Qt::KeyboardModifiers modifiers)
{
    QApplication::setActiveWindow(main_window);
    QTest::keyClick(main_window, Qt::Key_Z, modifiers);
}

}  // namespace

class TestAppView : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path(const char* name) { return dir.filePath(QString::fromLatin1(name)); }

private slots:
    void initTestCase() { start_app(); }

    void frame_to_pixel_and_back_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<uint>("first");
        QTest::addColumn<uint>("span");
        QTest::addColumn<uint>("frame");
        QTest::addColumn<int>("x");
        QTest::newRow("whole, start") << 800 << 0u << 400u << 0u << 10;
        QTest::newRow("whole, 3/4") << 800 << 0u << 400u << 300u << 610;
        QTest::newRow("whole, end") << 800 << 0u << 400u << 400u << 810;
        QTest::newRow("long song, 4.5 frames a pixel") << 800 << 0u << 3600u << 1800u << 410;
        QTest::newRow("zoomed, 16 px a frame") << 800 << 100u << 50u << 125u << 410;
        QTest::newRow("zoomed, first in view") << 800 << 100u << 50u << 100u << 10;
        QTest::newRow("zoomed, 8 px a frame") << 800 << 900u << 100u << 999u << 802;
    }
    void frame_to_pixel_and_back()
    {
        QFETCH(int, width);
        QFETCH(uint, first);
        QFETCH(uint, span);
        QFETCH(uint, frame);
        QFETCH(int, x);
        FrameScale s;
        s.left = SongView::MARGIN;
        s.width = width;
        s.first = first;
        s.span = span;
        QCOMPARE(s.x_of(frame), x);
        QCOMPARE(s.frame_at(x), frame);
        // Beside the frames in view, the nearest one in view.
        QCOMPARE(s.frame_at(0), first);
        QCOMPARE(s.frame_at(width + 50), first + span);
    }

    void a_note_is_drawn_from_its_frame_on_data()
    {
        QTest::addColumn<bool>("plot");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("start");  // the note's first frame
        for (bool plot : {false, true})
            for (int start : {301, 313, 777})
                QTest::addRow("%s, frame %d of 1000", plot ? "plot" : "window", start) << plot << 1000 << start;
        QTest::newRow("window, frame 53 of 120") << false << 120 << 53;
    }
    // Channel A's level appears first in the column of the note's first
    // frame. B's period, never heard, keeps the song from
    // repeating (no loop shaded).
    void a_note_is_drawn_from_its_frame_on()
    {
        QFETCH(bool, plot);
        QFETCH(int, length);
        QFETCH(int, start);
        PsgBuilder b;
        b.write(7, 0x3E);
        for (int f = 0; f < length; ++f) {
            if (f == start)
                b.write(0, 100).write(8, 15);
            b.write(2, f & 0xFF).write(3, f >> 8).end();
        }
        load(path("note.psg"), b.bytes);
        QImage image;
        PictureLayout layout;
        FrameScale scale;
        if (plot) {
            SongSketch sketch;
            sketch.build();
            image = plot_picture(800, sketch, PictureContent{});
            layout = plot_layout();
            scale.left = layout.left;
            scale.width = 800 - layout.left - layout.right;
            scale.span = frame_count;
        } else {
            image = song_view->grab().toImage();
            layout = view_layout(song_view->height(), SongView::MARGIN);
            scale = song_view->scale();
        }
        // The level strip of lane A (header, three lanes, axis).
        const int level_top = image.height() - layout.axis_h - 3 * layout.lane_h() + layout.pitch_h + 2;
        const auto level_colour = [&](int x, int y) {
            const QColor c = image.pixelColor(x, y);
            return c.blue() > c.red() + 60 && c.green() > c.red() + 20;
        };
        int first = -1, noise = 0;
        for (int x = scale.left; x < image.width(); ++x)
            for (int y = level_top; y < level_top + layout.level_h - 2; ++y) {
                if (first < 0 && level_colour(x, y))
                    first = x;
                noise += image.pixelColor(x, y) == QColor(0x4B, 0x55, 0x63);
            }
        QCOMPARE(first, scale.x_of(uint32_t(start)));
        // Level 15 is the whole strip: the bar reaches its top. The mixer
        // (0x3E) turns A's noise off: no noise drawn.
        QVERIFY(level_colour(first, level_top));
        QCOMPARE(noise, 0);
    }

    // The pitch a tone period is drawn at and the names on the scale, against
    // the chip's own tone: clock / (16 * period), A4 = 440 Hz. Within 3 cents:
    // the plain model's clock is 1.7 cents above this one.
    void the_pitch_scale_names_the_note_a_period_plays_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("note");  // 69 = A4
        for (const auto& [name, note] : {std::pair{"C1", 24},
                                         {"C2", 36},
                                         {"C4", 60},
                                         {"A4", 69},
                                         {"F#5", 78},
                                         {"C6", 84},
                                         {"C7", 96},
                                         {"C8", 108}})
            QTest::newRow(name) << QString::fromLatin1(name) << note;
    }
    void the_pitch_scale_names_the_note_a_period_plays()
    {
        QFETCH(QString, name);
        QFETCH(int, note);
        const double clock = 1773400;
        const auto period = static_cast<uint16_t>(std::lround(clock / 16 / (440 * std::pow(2, (note - 69) / 12.0))));
        const double played = 69 + 12 * std::log2(clock / 16 / period / 440);
        QVERIFY2(
            std::abs(SongSketch::note_of(period) - played) < 0.03,
            qPrintable(
                QString("period %1: drawn at %2, plays %3").arg(period).arg(SongSketch::note_of(period)).arg(played)));
        QCOMPARE(note_name(int(std::lround(SongSketch::note_of(period)))), name);
    }

    // A period of less than two of the plain model's samples (5 and below)
    // plays no tone there: it is drawn as no note.
    void periods_too_short_to_sound_have_no_note()
    {
        for (uint16_t period = 0; period <= 6; ++period)
            QVERIFY2(std::isnan(SongSketch::note_of(period)) == (period < 6), qPrintable(QString::number(period)));
    }

    void time_labels_stay_apart_at_any_zoom_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("zooms");  // wheel notches in
        QTest::addColumn<double>("at");  // where, as a part of the view's width
        QTest::newRow("8 s, whole") << 400 << 0 << 0.0;
        QTest::newRow("8 s, a second from 1.2 s") << 400 << 9 << 0.16;
        QTest::newRow("8 s, deepest") << 400 << 40 << 0.5;
        QTest::newRow("10 min, whole") << 30000 << 0 << 0.0;
        QTest::newRow("10 min, a minute") << 30000 << 10 << 0.37;
        QTest::newRow("10 min, a few seconds") << 30000 << 20 << 0.61;
        QTest::newRow("an hour, whole") << 180000 << 0 << 0.0;
        QTest::newRow("70 min, whole") << 210000 << 0 << 0.0;
        QTest::newRow("70 min, ten minutes") << 210000 << 9 << 0.93;
    }

    void time_labels_stay_apart_at_any_zoom()
    {
        QFETCH(int, length);
        QFETCH(int, zooms);
        QFETCH(double, at);
        if (int(frame_count) != length)
            load(path("long.psg"), numbered_song(length));
        song_view->zoom(1e-9, 0);  // the whole song
        for (int i = 0; i < zooms; ++i)
            song_view->zoom(1.25, song_view->width() * at);
        const FrameScale s = song_view->scale();
        const auto labels
            = time_labels(view_layout(song_view->height(), SongView::MARGIN), s, frame_count, song_view->width());
        QVERIFY(!labels.empty());
        for (size_t k = 0; k < labels.size(); ++k) {
            const QRect& box = labels[k].box;
            QVERIFY2(labels[k].x >= s.left && labels[k].x <= s.left + s.width, qPrintable(labels[k].text));
            QVERIFY2(box.left() >= 0 && box.right() < song_view->width(), qPrintable(labels[k].text));
            if (k > 0)
                QVERIFY2(labels[k - 1].box.right() < box.left(), qPrintable(labels[k - 1].text + " " + labels[k].text));
            // The time of its tick: h:mm:ss in a song of an hour or more,
            // m:ss in a shorter one.
            const QStringList fields = labels[k].text.split(QLatin1Char(':'));
            QCOMPARE(fields.size(), length >= 3600 * 50 ? 3 : 2);
            uint32_t seconds = 0;
            for (qsizetype i = 0; i < fields.size(); ++i) {
                QVERIFY2(i == 0 || (fields[i].size() == 2 && fields[i].toUInt() < 60), qPrintable(labels[k].text));
                seconds = seconds * 60 + fields[i].toUInt();
            }
            QCOMPARE(labels[k].x, s.x_of(seconds * 50));
        }
    }

    // The loop's two lines and each mark are labelled with their frame and,
    // but for the loop's start, its time.
    void the_loop_and_the_marks_are_labelled_with_their_frames()
    {
        const LoopCandidate loop{120, 300, 200, false};
        PictureContent content;
        content.loop = &loop;
        content.marks = {300, 510};
        FrameScale scale;
        scale.left = 10;
        scale.width = 780;
        scale.span = 1000;
        TextDevice device;
        QPainter p(&device);
        draw_song_overlay(p, QRect(0, 0, 800, 200), view_layout(200, 10), scale, SongSketch(), content);
        p.end();
        QCOMPARE(device.engine.texts,
                 (QStringList{QStringLiteral("loop start 120"), QStringLiteral("repeat 420 (0:00:08.400)"),
                              QStringLiteral("300 (0:00:06.000)"), QStringLiteral("510 (0:00:10.200)")}));
    }

    void click_sets_cut_shift_click_seeks_and_the_wheel_zooms()
    {
        load(path("click.psg"), numbered_song(400));
        QVERIFY(SongView::MARGIN <= 12 && song_view->height() >= 160);
        // Lowest in the window: nothing under it.
        for (QWidget* w : main_window->findChildren<QWidget*>())
            if (w->isVisible() && w != song_view && w->parentWidget() == main_window)
                QVERIFY2(w->geometry().bottom() < song_view->geometry().top(), qPrintable(w->objectName()));
        const int y = song_view->height() / 2;
        const FrameScale s = song_view->scale();
        QCOMPARE(s.span, frame_count);
        QVERIFY(s.left <= 12 && song_view->width() - (s.left + s.width) <= 12);

        QTest::mouseClick(song_view, Qt::LeftButton, {}, QPoint(song_view->width() * 3 / 4, y));
        QVERIFY2(std::abs(int(cut_pos) - 300) <= 20, qPrintable(QString::number(cut_pos)));
        QCOMPARE(cut_slider->value(), int(cut_pos));
        QVERIFY(status_label->text().contains(QStringLiteral("Cut position=0:00:0")));
        const uint32_t head = cut_pos;
        answer({type_file(path("head.psg"))});
        click(QStringLiteral("Cut and &Save"));
        QCOMPARE(read_file(path("head.psg")), numbered_song(int(head)));

        QCOMPARE(frame_count, 400 - head);  // the rest, in view
        QTest::mouseClick(song_view, Qt::LeftButton, Qt::ShiftModifier, QPoint(song_view->scale().x_of(40), y));
        QCOMPARE(play_pos, 40u);
        QCOMPARE(play_slider->value(), 40);
        // Unzoomed there is nothing to scroll: a press that moves is a click
        // where it is let go.
        QTest::mousePress(song_view, Qt::LeftButton, {}, QPoint(song_view->scale().x_of(60), y));
        QTest::mouseMove(song_view, QPoint(song_view->scale().x_of(70), y));
        QTest::mouseRelease(song_view, Qt::LeftButton, {}, QPoint(song_view->scale().x_of(70), y));
        QCOMPARE(cut_pos, 70u);
        cut_slider->setSliderPosition(0);

        // Zoomed in as far as it goes around a frame: at least 8 px a frame,
        // the frame under the pointer stays there; a drag scrolls.
        const int x = song_view->scale().x_of(50);
        for (int i = 0; i < 30; ++i) {
            QWheelEvent wheel(QPointF(x, y), song_view->mapToGlobal(QPointF(x, y)), {}, QPoint(0, 120), Qt::NoButton,
                              {}, Qt::NoScrollPhase, false);
            QApplication::sendEvent(song_view, &wheel);
        }
        const FrameScale z = song_view->scale();
        QVERIFY2(z.width / double(z.span) >= 8 && z.width / double(z.span) <= SongView::MAX_PIXELS_PER_FRAME,
                 qPrintable(QString::number(z.span)));
        QVERIFY(std::abs(int(z.frame_at(x)) - 50) <= 1);
        QTest::mousePress(song_view, Qt::LeftButton, {}, QPoint(x, y));
        QTest::mouseMove(song_view, QPoint(x - 100, y));
        QTest::mouseRelease(song_view, Qt::LeftButton, {}, QPoint(x - 100, y));
        QVERIFY(song_view->first_frame() > z.first);
        QCOMPARE(cut_pos, 0u);  // a drag is no click
    }

    // Each appended file's first frame is marked with a dashed line; a new
    // song has none.
    void appended_files_are_marked_where_they_begin()
    {
        load(path("first.psg"), numbered_song(30));
        load(path("second.psg"), numbered_song(20), "Appen&d file");
        load(path("third.psg"), numbered_song(10), "Appen&d file");
        QCOMPARE(frame_count, 60u);
        QCOMPARE(view_boundaries(), (std::vector<uint32_t>{30, 50}));
        song_view->zoom(1e-9, 0);
        const QImage shot = song_view->grab().toImage();
        std::vector<uint32_t> marks;
        std::swap(marks, song_view->boundaries);
        const QImage unmarked = song_view->grab().toImage();
        std::swap(marks, song_view->boundaries);
        const FrameScale s = song_view->scale();
        const auto marked = [&](uint32_t frame) {  // pixels the marks change in the frame's column and beside it
            int changed = 0;
            for (int x = s.x_of(frame) - 1; x <= s.x_of(frame) + 1; ++x)
                for (int y = 0; y < shot.height(); ++y)
                    changed += shot.pixel(x, y) != unmarked.pixel(x, y);
            return changed;
        };
        for (uint32_t frame : {30u, 50u})
            QVERIFY2(marked(frame) > shot.height() / 2, qPrintable(QString::number(frame)));
        for (uint32_t frame : {20u, 40u})
            QCOMPARE(marked(frame), 0);
        load(path("first.psg"), numbered_song(30));
        QVERIFY(view_boundaries().empty());
    }

    // The frame and time under the pointer are labelled where the loop's
    // labels ("loop start", "repeat") stay whole, wherever the pointer is.
    void the_pointer_label_leaves_the_loop_labels_whole_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("period");
        QTest::addColumn<int>("pointer");  // the frame under it
        QTest::addColumn<int>("beside");   // pixels right of it
        QTest::newRow("over the loop start's label") << 100 << 150 << 100 << 20;
        QTest::newRow("just left of the loop start") << 100 << 150 << 100 << -4;
        QTest::newRow("over the repeat's label") << 100 << 150 << 250 << 20;
        QTest::newRow("at the right edge, both flipped left") << 200 << 190 << 400 << -2;
    }
    void the_pointer_label_leaves_the_loop_labels_whole()
    {
        QFETCH(int, start);
        QFETCH(int, period);
        QFETCH(int, pointer);
        QFETCH(int, beside);
        if (frame_count != 400)
            load(path("pointer.psg"), numbered_song(400));
        song_view->zoom(1e-9, 0);
        view_set_loop(true, uint32_t(start), uint32_t(period));
        const FrameScale s = song_view->scale();
        const int x = s.x_of(uint32_t(pointer)) + beside;
        const QImage before = song_view->grab().toImage();
        QMouseEvent move(QEvent::MouseMove, QPointF(x, song_view->height() / 2),
                         song_view->mapToGlobal(QPointF(x, song_view->height() / 2)), Qt::NoButton, Qt::NoButton, {});
        QApplication::sendEvent(song_view, &move);
        const QImage after = song_view->grab().toImage();
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(song_view, &leave);
        view_set_loop(false, 0, 0);
        // The labels' letters: loop purple, away from the loop's two lines
        // and the pointer's own.
        const auto line_near = [&](int at) {
            for (int line : {s.x_of(uint32_t(start)), s.x_of(uint32_t(start + period)), x})
                if (std::abs(at - line) <= 2)
                    return true;
            return false;
        };
        int letters = 0, hidden = 0, changed = 0;
        for (int py = 0; py < before.height(); ++py)
            for (int px = 0; px < before.width(); ++px) {
                if (line_near(px))
                    continue;
                const QColor c = before.pixelColor(px, py);
                const bool letter = c.blue() - c.green() > 80 && c.red() - c.green() > 20;
                const bool differs = after.pixel(px, py) != before.pixel(px, py);
                letters += letter;
                hidden += letter && differs;
                changed += differs;
            }
        QVERIFY(letters > 100);
        QVERIFY(changed > 100);  // the pointer's label is there
        QCOMPARE(hidden, 0);
    }

    void heard_position_from_a_fake_sink_clock_data()
    {
        QTest::addColumn<qulonglong>("taken");  // bytes the sink took
        QTest::addColumn<qlonglong>("played");  // microseconds it played
        QTest::addColumn<qulonglong>("fifo");
        QTest::addColumn<uint>("next");
        QTest::addColumn<uint>("from");
        QTest::addColumn<uint>("heard");
        // 176,400 bytes a second: 3528 bytes a frame, 20,000 us a frame.
        QTest::newRow("all played, nothing queued") << 176400ull << 1000000ll << 0ull << 300u << 0u << 300u;
        QTest::newRow("sink 10 frames behind") << 176400ull << 800000ll << 0ull << 300u << 0u << 290u;
        QTest::newRow("sink 10, FIFO 6") << 176400ull << 800000ll << 6 * 3528ull << 300u << 0u << 284u;
        QTest::newRow("part of a frame is the frame") << 176400ull << 800000ll << 1ull << 300u << 0u << 289u;
        QTest::newRow("not before the seek") << 176400ull << 800000ll << 6 * 3528ull << 300u << 295u << 295u;
        QTest::newRow("the frame before the seek") << 176400ull << 800000ll << 1ull << 300u << 290u << 290u;
        QTest::newRow("clock not started") << 0ull << 0ll << 0ull << 0u << 0u << 0u;
        QTest::newRow("a clock before its start: nothing played") << 35280ull << -20000ll << 0ull << 300u << 0u << 290u;
        QTest::newRow("sink ahead of what it took") << 3528ull << 90000ll << 3528ull << 5u << 0u << 4u;
        QTest::newRow("more queued than played") << 0ull << 0ll << 100 * 3528ull << 20u << 0u << 0u;
    }
    void heard_position_from_a_fake_sink_clock()
    {
        QFETCH(qulonglong, taken);
        QFETCH(qlonglong, played);
        QFETCH(qulonglong, fifo);
        QFETCH(uint, next);
        QFETCH(uint, from);
        QFETCH(uint, heard);
        QCOMPARE(heard_frame(next, from, fifo + sink_unplayed_bytes(taken, played)), heard);
    }

    void undo_and_redo_several_cuts()
    {
        load(path("undo.psg"), numbered_song(100));
        QByteArray before[3];
        const uint32_t cuts[] = {10, 20, 30};
        for (int i = 0; i < 3; ++i) {
            cut_slider->setSliderPosition(int(cuts[i]));
            play_slider->setSliderPosition(int(cuts[i] / 2));
            find_start = cuts[i] * 3;  // where "&Find" goes on
            before[i] = song_state();
            answer({press(QMessageBox::Yes)});
            click(QStringLiteral("&Cut"));
        }
        QCOMPARE(frame_count, 40u);
        const QByteArray after = song_state();
        key(Qt::ControlModifier);
        QCOMPARE(song_state(), before[2]);
        key(Qt::ControlModifier);
        QCOMPARE(song_state(), before[1]);
        key(Qt::ControlModifier | Qt::ShiftModifier);
        key(Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(song_state(), after);
        key(Qt::ControlModifier);
        key(Qt::ControlModifier);
        key(Qt::ControlModifier);
        QCOMPARE(song_state(), before[0]);
        key(Qt::ControlModifier);  // nothing left to take back
        QCOMPARE(song_state(), before[0]);
        QCOMPARE(history_undo_levels(), 0);
        // A new cut forgets what could be done again.
        cut_slider->setSliderPosition(5);
        answer({press(QMessageBox::Yes)});
        click(QStringLiteral("&Cut"));
        QCOMPARE(history_redo_levels(), 0);
    }

    // As many cuts as the window promises to take back, all taken back.
    void sixteen_cuts_are_undone()
    {
        load(path("sixteen.psg"), numbered_song(100));
        QByteArray before;
        for (int k = 0; k < 16; ++k) {
            cut_slider->setSliderPosition(2);
            if (k == 0)
                before = song_state();
            answer({press(QMessageBox::Yes)});
            click(QStringLiteral("&Cut"));
        }
        QCOMPARE(frame_count, 100u - 32u);
        for (int k = 0; k < 16; ++k)
            key(Qt::ControlModifier);
        QCOMPARE(song_state(), before);
    }

    // While playing, the view's line is at the frame heard as it is drawn,
    // where the slider goes at the next tick (not at the frame sent to the
    // sound server). Zoomed in, a frame is 16 px. The song is silent.
    void the_play_line_is_at_the_frame_heard()
    {
        PsgBuilder b;
        b.write(7, 0x3F);
        for (int f = 0; f < 3000; ++f)
            b.write(0, f & 0xFF).write(1, f % 15).end();
        load(path("line.psg"), b.bytes);
        for (int i = 0; i < 40; ++i) {
            QWheelEvent wheel(QPointF(100, 50), song_view->mapToGlobal(QPointF(100, 50)), {}, QPoint(0, 120),
                              Qt::NoButton, {}, Qt::NoScrollPhase, false);
            QApplication::sendEvent(song_view, &wheel);
        }
        // Zoomed in, the view follows the playback with the frame heard a
        // tenth of the way in.
        play_slider->setSliderPosition(1000);
        click(QStringLiteral("Pla&y"));
        view_show_positions();
        QCOMPARE(song_view->first_frame(), 1000 - song_view->span_frames() / 10);
        click(QStringLiteral("S&top"));
        play_slider->setSliderPosition(0);
        click(QStringLiteral("Play from &Begin"));
        QTRY_VERIFY_WITH_TIMEOUT(play_slider->value() >= 60, 20000);
        const uint32_t before = heard_pos();
        const QImage shot = song_view->grab().toImage();
        const uint32_t after = heard_pos();
        const FrameScale s = song_view->scale();
        click(QStringLiteral("S&top"));
        const int y = song_view->height() / 2;
        int line_x = -1;
        for (int x = 0; x < shot.width() && line_x < 0; ++x)
            if (shot.pixelColor(x, y) == QColor(0xEA, 0x58, 0x0C))
                line_x = x;
        QVERIFY2(line_x >= s.x_of(before) - 2 && line_x <= s.x_of(after) + 2,
                 qPrintable(QString("line at %1, heard %2..%3 at %4..%5, sent %6")
                                .arg(line_x)
                                .arg(before)
                                .arg(after)
                                .arg(s.x_of(before))
                                .arg(s.x_of(after))
                                .arg(play_pos)));
    }

    void title_through_load_cut_save_and_append()
    {
        load(path("tune.psg"), numbered_song(60));
        QCOMPARE(main_window->windowTitle(), QStringLiteral("tune.psg[*] - Trelvane"));
        QVERIFY(!main_window->isWindowModified());
        cut_slider->setSliderPosition(20);
        answer({press(QMessageBox::Yes)});
        click(QStringLiteral("&Cut"));
        QVERIFY(main_window->isWindowModified());
        QCOMPARE(main_window->windowTitle(), QStringLiteral("tune.psg[*] - Trelvane"));
        key(Qt::ControlModifier);
        QVERIFY(!main_window->isWindowModified());
        key(Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(main_window->isWindowModified());
        // Undone after the save: saving writes the whole song again.
        key(Qt::ControlModifier);
        answer({type_file(path("whole.psg"))});
        click(QStringLiteral("S&ave"));
        QCOMPARE(read_file(path("whole.psg")), numbered_song(60));
        QCOMPARE(main_window->windowTitle(), QStringLiteral("whole.psg[*] - Trelvane"));
        QVERIFY(!main_window->isWindowModified());
        load(path("more.psg"), numbered_song(5), "Appen&d file");
        QCOMPARE(main_window->windowTitle(), QStringLiteral("whole.psg + 1 file[*] - Trelvane"));
        QVERIFY(main_window->isWindowModified());
        load(path("more.psg"), numbered_song(5), "Appen&d file");
        QCOMPARE(main_window->windowTitle(), QStringLiteral("whole.psg + 2 files[*] - Trelvane"));
    }

    // A tone that starts at frame 250: "S&et cut position" pressed the moment
    // it reaches the sound server's monitor puts the cut where it starts.
    void cut_position_from_the_sound_heard()
    {
        PsgBuilder b;
        b.write(7, 0x3E).end(250);
        b.write(0, 0x40).write(1, 0).write(8, 15).end(100);
        load(path("tone.psg"), b.bytes);
        MonitorWatch monitor;
        QVERIFY2(monitor.start(), "parec (pulseaudio-utils) gives no data");
        pump(300);
        monitor.arm([] { click(QStringLiteral("S&et cut position")); });
        click(QStringLiteral("Play from &Begin"));
        QTRY_VERIFY_WITH_TIMEOUT(!monitor.armed(), 15000);
        qInfo("cut position set at frame %u", cut_pos);
        QVERIFY2(cut_pos >= 248 && cut_pos <= 254, qPrintable(QString::number(cut_pos)));
        click(QStringLiteral("S&top"));
        // Stopped on the frame heard last; the sound stops with it.
        QVERIFY2(play_pos >= cut_pos && play_pos <= cut_pos + 10, qPrintable(QString::number(play_pos)));
        QCOMPARE(play_slider->value(), int(play_pos));
    }
};

TRELVANE_APP_TEST_MAIN(TestAppView)
#include "test_app_view.moc"
