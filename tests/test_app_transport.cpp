// The transport and position commands and the playback clock, through the
// real buttons and sliders. The 20 ms timer is held still and its slot is
// called by hand, so that every tick is one the test asked for.
#include "accurate/accurate_render.h"
#include "app/app.h"
#include "app/history.h"
#include "app/myclass.h"
#include "app/sound_model.h"
#include "audio/chip.h"
#include "audio/fifo.h"
#include "song/psg_read.h"
#include "song/song.h"
#include "song/song_time.h"
#include "support/app_driver.h"
#include "support/psg_data.h"
#include "support/song_check.h"

#include <QLabel>
#include <QSlider>
#include <QTimer>
#include <QtTest>

#include <cstring>
#include <vector>

namespace {

using Pairs = std::vector<std::pair<int, int>>;

Pairs queued()
{
    Pairs out;
    for (int i = 0; i < reg_queue_len; ++i)
        out.emplace_back(reg_queue[2 * i], reg_queue[2 * i + 1]);
    return out;
}

// Frame f writes register (f % 13) with value f + 1, so every frame image
// differs from the one before.
void load_counting_song(int frames_in_song)
{
    QByteArray bytes = psg_header();
    for (int f = 0; f < frames_in_song; ++f) {
        bytes.append(static_cast<char>(f % 13));
        bytes.append(static_cast<char>(f + 1));
        bytes.append('\xff');
    }
    load_psg(bytes);
}

QString cut_time_shown()
{
    return status_label->text().section(QStringLiteral("Cut position="), 1).section(QLatin1Char(','), 0, 0);
}

}  // namespace

class TestAppTransport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        start_app();
        play_timer->stop();
    }

    void init()
    {
        click(QStringLiteral("S&top"));
        load_counting_song(20);
        reg_queue_len = 0;
        fifo_clear();
    }

    void play_from_begin_plays_one_frame_per_tick_and_ends()
    {
        click(QStringLiteral("Play from &Begin"));
        QCOMPARE(playing, 1);
        QCOMPARE(play_pos, 0u);
        QVERIFY(queued().empty());  // frame 0's image is all zero: nothing queued

        // One tick plays one frame: the slider follows the frame heard,
        // behind the clock by the sound queued, and one rendered frame goes
        // into the FIFO.
        for (uint32_t p = 0; p < 20; ++p) {
            QCOMPARE(play_event->frame, p);
            controller->timer_update();
            QCOMPARE(play_pos, p + 1);
            QVERIFY(play_slider->value() <= int(p + 1));
            QCOMPARE(uint32_t(play_slider->value()), heard_pos());
            char heard[16];
            QVERIFY2(status_label->text().startsWith(QStringLiteral("Play position=")
                                                     + QString::fromLatin1(format_time(heard_pos(), heard))),
                     qPrintable(status_label->text()));
            QCOMPARE(fifo_size(), uint64_t(FRAME_BYTES) * (p + 1));
        }
        QCOMPARE(playing, 1);
        controller->timer_update();  // play_pos == frame_count: the song is over
        QCOMPARE(playing, 0);
        QCOMPARE(fifo_size(), uint64_t(FRAME_BYTES) * 20);
        QVERIFY(status_label->text().startsWith(QStringLiteral("Play position=0:00:00.400")));
        QVERIFY(status_label->text().endsWith(QStringLiteral("Length=0:00:00.400")));

        // "Pla&y" at the end ends again on the next tick.
        click(QStringLiteral("Pla&y"));
        QCOMPARE(playing, 1);
        controller->timer_update();
        QCOMPARE(playing, 0);
        QCOMPARE(fifo_size(), uint64_t(FRAME_BYTES) * 20);
    }

    // The clock's own ticks keep three frames queued ahead of the output: a
    // tick that comes late (the output took more than one frame since the
    // last) renders the frames taken, up to four a tick, so the song goes on
    // at the output's pace. Each tick after the output found the FIFO dry
    // keeps one frame more, up to six. taken: frames the output takes
    // before each tick; queued: frames in the FIFO after it.
    void late_ticks_catch_up_with_the_output_data()
    {
        QTest::addColumn<QList<int>>("taken");
        QTest::addColumn<QList<int>>("queued");
        QTest::newRow("on time") << QList<int>{0, 1, 1, 1} << QList<int>{3, 3, 3, 3};
        QTest::newRow("a frame late") << QList<int>{0, 1, 2, 1} << QList<int>{3, 3, 3, 3};
        QTest::newRow("three frames late") << QList<int>{0, 3, 1} << QList<int>{3, 3, 3};
        QTest::newRow("dry once: four kept") << QList<int>{0, 4, 1, 1} << QList<int>{3, 4, 4, 4};
        QTest::newRow("dry twice: four frames a tick at most")
            << QList<int>{0, 4, 5, 0, 1} << QList<int>{3, 4, 4, 5, 5};
        QTest::newRow("six kept at most")
            << QList<int>{0, 4, 5, 6, 7, 8, 0, 0, 1} << QList<int>{3, 4, 4, 4, 4, 4, 6, 7, 7};
    }
    void late_ticks_catch_up_with_the_output()
    {
        QFETCH(QList<int>, taken);
        QFETCH(QList<int>, queued);
        load_counting_song(200);
        fifo_clear();
        const auto tick = [] { return QMetaObject::invokeMethod(play_timer, "timeout"); };  // the clock's own
        QVERIFY(tick());                                                                    // stopped: renders nothing
        QCOMPARE(fifo_size(), 0u);
        click(QStringLiteral("Play from &Begin"));
        std::vector<uint8_t> frame(FRAME_BYTES);
        uint32_t heard = 0;  // whole frames of sound the output took
        for (int t = 0; t < taken.size(); ++t) {
            for (int k = 0; k < taken[t]; ++k) {
                heard += fifo_size() >= FRAME_BYTES ? 1 : 0;
                fifo_read(frame.data(), FRAME_BYTES);
            }
            QVERIFY(tick());
            QCOMPARE(fifo_size(), uint64_t(FRAME_BYTES) * uint64_t(queued[t]));
            QCOMPARE(play_pos, heard + uint32_t(queued[t]));  // nothing skipped, nothing played twice
        }
    }

    void a_seek_while_playing_puts_the_chip_where_the_song_is()
    {
        click(QStringLiteral("Play from &Begin"));
        controller->timer_update();
        controller->timer_update();
        play_slider->setSliderPosition(7);
        QCOMPARE(play_pos, 7u);
        QCOMPARE(play_event->frame, 7u);
        QCOMPARE(reg_queue_len, 0);
        const ChipState after_seek = chip_save();
        QCOMPARE(chip_difference(after_seek, replayed_state(7)), QString());
        chip_restore(after_seek);
        // A tick goes on from there as playback from the beginning would.
        controller->timer_update();
        QCOMPARE(play_pos, 8u);
        QCOMPARE(reg_queue_len, 0);
        QCOMPARE(chip_difference(chip_save(), replayed_state(8)), QString());
    }

    void seeking_while_stopped_queues_nothing()
    {
        play_slider->setSliderPosition(9);
        QCOMPARE(play_pos, 9u);
        QVERIFY(queued().empty());
        QCOMPARE(play_event, frames[9].first_event);
        // Resuming continues there.
        click(QStringLiteral("Pla&y"));
        controller->timer_update();
        QCOMPARE(play_pos, 10u);
    }

    void stop_and_play_continue_where_playback_stopped()
    {
        click(QStringLiteral("Play from &Begin"));
        for (int i = 0; i < 5; ++i)
            controller->timer_update();
        // Stopped on the frame heard last, the queued sound dropped: the
        // sound ends there, and "Pla&y" goes on from there.
        const uint32_t heard = heard_pos();
        QVERIFY(heard <= 5);
        click(QStringLiteral("S&top"));
        QCOMPARE(playing, 0);
        QCOMPARE(fifo_size(), uint64_t(0));
        controller->timer_update();
        QCOMPARE(fifo_size(), uint64_t(0));  // nothing rendered while stopped
        QCOMPARE(play_pos, heard);
        QCOMPARE(play_slider->value(), int(heard));
        click(QStringLiteral("Pla&y"));
        QCOMPARE(chip_difference(chip_save(), replayed_state(heard)), QString());
        controller->timer_update();
        QCOMPARE(play_pos, heard + 1);
    }

    void play_from_cut_position_asks_at_zero()
    {
        click(QStringLiteral("Play from &Begin"));
        controller->timer_update();
        controller->timer_update();
        // No, Escape and closing the box leave everything, also the playback.
        for (DialogAnswer a : {press(QMessageBox::No), press_escape(), close_box()}) {
            answer({a});
            click(QStringLiteral("Play from C&ut Position"));
            QCOMPARE(unanswered(), 0);
            QCOMPARE(seen_boxes(), QStringList{QStringLiteral("Cut position is 0. Play from Begin?")});
            QCOMPARE(playing, 1);
            QCOMPARE(play_pos, 2u);
            QVERIFY(queued().empty() || reg_queue_len == 0);
        }
        click(QStringLiteral("S&top"));
        const int stopped_at = play_slider->value();
        reg_queue_len = 0;
        answer({press(QMessageBox::Yes)});
        click(QStringLiteral("Play from C&ut Position"));
        QCOMPARE(seen_titles(), QStringList{QStringLiteral("Trelvane")});
        QCOMPARE(playing, 1);
        QCOMPARE(play_pos, 0u);
        QCOMPARE(chip_difference(chip_save(), replayed_state(0)), QString());
        QCOMPARE(play_slider->value(), stopped_at);  // the next tick moves it

        // From a cut position: its image, no question.
        click(QStringLiteral("S&top"));
        reg_queue_len = 0;
        cut_slider->setSliderPosition(12);
        answer({});
        click(QStringLiteral("Play from C&ut Position"));
        QVERIFY(seen_boxes().isEmpty());
        QCOMPARE(play_pos, 12u);
        const ChipState at_cut = chip_save();
        QCOMPARE(chip_difference(at_cut, replayed_state(12)), QString());
        chip_restore(at_cut);
        QCOMPARE(play_event, frames[12].first_event);
        fifo_drop_queued();  // as if heard at once
        controller->timer_update();
        QCOMPARE(uint32_t(play_slider->value()), heard_pos());
        QVERIFY(heard_pos() >= 12 && heard_pos() <= 13);

        // At the very end: the next tick ends playback without sound.
        cut_slider->setSliderPosition(20);
        click(QStringLiteral("Play from C&ut Position"));
        const uint64_t size = fifo_size();
        controller->timer_update();
        QCOMPARE(playing, 0);
        QCOMPARE(fifo_size(), size);
    }

    void one_frame_buttons_move_the_cut_slider_with_the_position()
    {
        cut_slider->setSliderPosition(10);
        click(QStringLiteral("Cut &position >"));
        click(QStringLiteral("Cut &position >"));
        QCOMPARE(cut_pos, 12u);
        QCOMPARE(cut_slider->value(), 12);
        QCOMPARE(cut_time_shown(), QStringLiteral("0:00:00.240"));
        click(QStringLiteral("Cut positi&on <"));
        QCOMPARE(cut_pos, 11u);
        QCOMPARE(cut_slider->value(), 11);

        // Each end is reached, and bounds the buttons, the status line still
        // refreshed (the song has 20 frames).
        cut_slider->setSliderPosition(19);
        click(QStringLiteral("Cut &position >"));
        QCOMPARE(cut_pos, 20u);
        click(QStringLiteral("Cut &position >"));
        QCOMPARE(cut_pos, 20u);
        cut_slider->setSliderPosition(1);
        click(QStringLiteral("Cut positi&on <"));
        QCOMPARE(cut_pos, 0u);
        status_label->setText(QString());
        click(QStringLiteral("Cut positi&on <"));
        QCOMPARE(cut_pos, 0u);
        QCOMPARE(cut_time_shown(), QStringLiteral("0:00:00.000"));
    }

    void set_copies_the_play_position_through_the_slider()
    {
        cut_slider->setSliderPosition(10);
        play_slider->setSliderPosition(10);
        click(QStringLiteral("S&et cut position"));
        QCOMPARE(cut_pos, 10u);
        play_slider->setSliderPosition(9);
        click(QStringLiteral("S&et cut position"));
        QCOMPARE(cut_slider->value(), 9);
        QCOMPARE(cut_pos, 9u);
        QCOMPARE(cut_time_shown(), QStringLiteral("0:00:00.180"));
    }

    void playback_waits_for_a_song_and_survives_a_load()
    {
        psg_read(write_temp_psg(QStringLiteral("empty.psg"), psg_header()).toUtf8().constData(), 0, true);
        click(QStringLiteral("Pla&y"));
        controller->timer_update();
        QCOMPARE(playing, 1);
        QCOMPARE(fifo_size(), 0u);
        load_counting_song(3);  // loaded while playing: starts at the next tick
        controller->timer_update();
        QCOMPARE(play_pos, 1u);
        QCOMPARE(fifo_size(), uint64_t(FRAME_BYTES));
    }

    // Each tick leaves the chip as playing the song from its start does,
    // also where an appended file's images start again from zero.
    void ticks_play_the_images_of_an_appended_file()
    {
        load_psg(psg_bytes({11, 3, 12, 5, 8, 0x10, 0xFF, 0xFF, 0xFF}));
        load_psg(psg_bytes({0, 1, 0xFF, 0, 2, 0xFF, 0xFF}), false);
        click(QStringLiteral("Play from &Begin"));
        for (uint32_t p = 1; p <= frame_count; ++p) {
            controller->timer_update();
            const ChipState live = chip_save();
            QCOMPARE(chip_difference(live, replayed_state(p)), QString());
            chip_restore(live);
        }
    }

    // A song read while playing plays from its start on a chip in the state
    // it has there, also when the play slider stood at 0 already.
    void a_song_read_while_playing_starts_on_a_chip_of_its_own()
    {
        click(QStringLiteral("Play from &Begin"));
        controller->timer_update();
        controller->timer_update();
        QCOMPARE(play_slider->value(), 0);  // what was played still waits in front of the speakers
        load_counting_song(20);
        QCOMPARE(playing, 1);
        const ChipState live = chip_save();  // before replayed_state resets the chip
        QCOMPARE(chip_difference(live, replayed_state(0)), QString());
    }

    // A chip chosen plays a song read as the accurate render does, also from
    // the frame its player stood at in the song before.
    void a_chip_chosen_plays_a_new_song_from_its_own_state()
    {
        set_sound_model(SoundModel::AY);
        load_psg(psg_bytes({0, 100, 7, 0x3E, 8, 15, 0xFF, 0xFF, 0xFF}));  // a tone on A
        click(QStringLiteral("Play from &Begin"));
        controller->timer_update();  // frame 0: the chip's player stands at frame 1
        click(QStringLiteral("S&top"));
        load_psg(psg_bytes({0xFF, 0xFF, 0xFF}));  // silence
        play_slider->setSliderPosition(1);
        click(QStringLiteral("Pla&y"));
        controller->timer_update();
        std::vector<int16_t> rendered;
        accurate_render(AccurateSetup(), 1, 2, [&](const int16_t* p, size_t n) {
            rendered.assign(p, p + 2 * n);
            return true;
        });
        set_sound_model(SoundModel::PLAIN);
        QCOMPARE(rendered.size(), size_t(2 * SAMPLES_PER_FRAME));
        QVERIFY(std::memcmp(frame_buf, rendered.data(), FRAME_BYTES) == 0);
    }

    // An undo while playing goes on in the song put back, from its play
    // position, with the chip in the state the song has there.
    void an_undo_while_playing_plays_the_song_put_back()
    {
        cut_slider->setSliderPosition(5);
        answer({press(QMessageBox::Yes)});
        click(QStringLiteral("&Cut"));
        QCOMPARE(frame_count, 15u);
        click(QStringLiteral("Play from &Begin"));
        controller->timer_update();
        controller->timer_update();
        QVERIFY(history_undo());
        QCOMPARE(frame_count, 20u);
        QCOMPARE(play_pos, 0u);
        QCOMPARE(play_event, frames[0].first_event);
        const ChipState live = chip_save();  // before replayed_state resets the chip
        QCOMPARE(chip_difference(live, replayed_state(0)), QString());
    }
};

TRELVANE_APP_TEST_MAIN(TestAppTransport)
#include "test_app_transport.moc"
