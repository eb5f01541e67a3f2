// "&Load file" and "Appen&d file" through the real file dialog, and what the
// window shows after a read.
#include "app/app.h"
#include "song/song.h"
#include "support/app_driver.h"
#include "support/psg_data.h"
#include "support/song_check.h"

#include <QLabel>
#include <QSlider>
#include <QtTest>

namespace {

QString status(const char* play, const char* cut, const char* length)
{
    return QStringLiteral("Play position=%1, Cut position=%2, Length=%3")
        .arg(QLatin1String(play), QLatin1String(cut), QLatin1String(length));
}

void expect_sliders(int max, int value)
{
    for (QSlider* s : {play_slider, cut_slider}) {
        QCOMPARE(s->maximum(), max);
        QCOMPARE(s->value(), value);
    }
}

void load_through_dialog(const QString& caption, const QString& path)
{
    // A load over a changed song asks first.
    QList<DialogAnswer> answers;
    if (main_window->isWindowModified() && caption == QLatin1String("&Load file"))
        answers << press(QMessageBox::Yes);
    answer(answers << type_file(path));
    click(caption);
    QCOMPARE(unanswered(), 0);
}

}  // namespace

class TestAppLoad : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { start_app(); }

    // A fresh window's first file appended: the song has no name yet, and
    // the question before it is thrown away says so.
    void an_unnamed_changed_song_is_asked_about_as_the_song()
    {
        const QString path = write_temp_psg(QStringLiteral("first.psg"), psg_bytes({0, 1, 0xFF}));
        load_through_dialog(QStringLiteral("Appen&d file"), path);
        QVERIFY(wait_for_loops());
        QVERIFY(main_window->isWindowModified());
        answer({press(QMessageBox::Yes), type_file(path)});
        click(QStringLiteral("&Load file"));
        QCOMPARE(unanswered(), 0);
        QVERIFY(wait_for_loops());
        QCOMPARE(seen_boxes(), QStringList{QStringLiteral("Discard the changes to the song?")});
        seen_filters();
    }

    void load_reads_the_chosen_file_and_ranges_the_sliders()
    {
        const QString path = write_temp_psg(QStringLiteral("three.psg"), psg_bytes({0, 1, 0xFF, 0xFE, 1, 1, 2, 0xFF}));
        load_through_dialog(QStringLiteral("&Load file"), path);
        QCOMPARE(seen_filters(),
                 QStringList{QStringLiteral("Supported files (*.PSG *.ym *.vgm *.vgz);PSG files "
                                            "(*.psg);YM files (*.ym);VGM files (*.vgm);VGZ files (*.vgz)")});
        QCOMPARE(frame_count, 6u);
        QCOMPARE(event_count, 2u);
        expect_sliders(6, 0);
        QCOMPARE(status_label->text(), status("0:00:00.000", "0:00:00.000", "0:00:00.120"));
        QCOMPARE(song_invariant_violation(), QString());

        // Cancelling either dialog changes nothing, not even the status line.
        cut_slider->setSliderPosition(4);
        const QString shown = status_label->text();
        for (const char* caption : {"&Load file", "Appen&d file"}) {
            answer({cancel_file()});
            click(QString::fromLatin1(caption));
            QCOMPARE(unanswered(), 0);
            QCOMPARE(frame_count, 6u);
            QCOMPARE(cut_pos, 4u);
            QCOMPARE(status_label->text(), shown);
        }
    }

    void append_adds_the_frames_and_resets_the_positions_to_zero()
    {
        const QString a = write_temp_psg(QStringLiteral("a.psg"), psg_bytes({0, 1, 0xFF, 0xFF}));
        const QString b = write_temp_psg(QStringLiteral("b.psg"), psg_bytes({1, 2, 0xFF, 3, 4, 0xFF, 0xFF}));
        load_through_dialog(QStringLiteral("&Load file"), a);
        play_slider->setSliderPosition(2);
        cut_slider->setSliderPosition(1);
        load_through_dialog(QStringLiteral("Appen&d file"), b);
        QCOMPARE(frame_count, 5u);
        QCOMPARE(song_writes(), (std::vector<Write>{{0, 1, 0}, {1, 2, 2}, {3, 4, 3}}));
        expect_sliders(5, 0);
        QCOMPARE(play_pos, 0u);
        QCOMPARE(cut_pos, 0u);
        QCOMPARE(status_label->text(), status("0:00:00.000", "0:00:00.000", "0:00:00.100"));
        QCOMPARE(frames[3].regs[1], 2);
        QCOMPARE(frames[3].regs[0], 0);  // the appended file's image starts from zero
        load_through_dialog(QStringLiteral("Appen&d file"), b);
        QVERIFY(wait_for_loops());
        QCOMPARE(main_window->windowTitle(), QStringLiteral("a.psg + 2 files[*] - Trelvane"));
    }

    void rejected_file_is_reported_and_its_song_can_be_used()
    {
        // Many real files end with 0xFD and a few bytes after it.
        const QString path
            = write_temp_psg(QStringLiteral("fd.psg"), psg_bytes({0, 1, 0xFF, 0xFF, 0xFF, 0xFD, 0x10, 0, 0}));
        load_through_dialog(QStringLiteral("&Load file"), write_temp_psg(QStringLiteral("empty.psg"), psg_header()));
        cut_slider->setSliderPosition(0);
        answer({type_file(path), press(QMessageBox::Ok)});
        click(QStringLiteral("&Load file"));
        QCOMPARE(unanswered(), 0);
        QCOMPARE(seen_boxes(), QStringList{QStringLiteral("Wrong CMD 0xfd (0x15)")});
        QCOMPARE(frame_count, 3u);
        expect_sliders(3, 0);
        QCOMPARE(status_label->text(), status("0:00:00.000", "0:00:00.000", "0:00:00.060"));
        QCOMPARE(play_event, music);
    }

    void a_song_too_big_is_refused_and_the_old_one_stays()
    {
        const QString small = write_temp_psg(QStringLiteral("small.psg"), psg_bytes({0, 1, 0xFF, 0xFF, 0xFF, 0xFF}));
        const QString huge
            = write_temp_psg(QStringLiteral("huge.psg"), psg_header() + QByteArray(FRAMES_MAX_LEN, '\xff'));
        load_through_dialog(QStringLiteral("&Load file"), small);
        play_slider->setSliderPosition(3);
        cut_slider->setSliderPosition(2);
        const QString shown = status_label->text();
        // An endless device too, as soon as the song is full: at once.
        const QList<QPair<QString, QString>> attempts = {{huge, QStringLiteral("&Load file")},
                                                         {huge, QStringLiteral("Appen&d file")},
                                                         {QStringLiteral("/dev/zero"), QStringLiteral("&Load file")},
                                                         {QStringLiteral("/dev/zero"), QStringLiteral("Appen&d file")}};
        for (const auto& [input, caption] : attempts) {
            answer({type_file(input), press(QMessageBox::Ok)});
            click(caption);
            QCOMPARE(unanswered(), 0);
            QCOMPARE(seen_boxes(), QStringList{QStringLiteral("MUSIC_MAX_LEN is reached!")});
            QCOMPARE(seen_titles().last(), QStringLiteral("Trelvane"));
            QCOMPARE(frame_count, 4u);
            QCOMPARE(play_slider->maximum(), 4);
            QCOMPARE(play_slider->value(), 3);
            QCOMPARE(cut_slider->value(), 2);
            QCOMPARE(play_pos, 3u);
            QCOMPARE(cut_pos, 2u);
            QCOMPARE(status_label->text(), shown);
        }
        // The program goes on: the next file loads.
        load_through_dialog(QStringLiteral("&Load file"), small);
        QCOMPARE(frame_count, 4u);
        expect_sliders(4, 0);
    }
};

TRELVANE_APP_TEST_MAIN(TestAppLoad)
#include "test_app_load.moc"
