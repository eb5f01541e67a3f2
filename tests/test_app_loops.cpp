// The window's loops through the real widgets: the list of candidates,
// "Save &intro and loop" (the bytes of trelvane-cli loop, the question
// before replacing files) and "&Hear the seam" (the chain's sound where a
// pass goes on into the loop's start).
#include "app/app.h"
#include "app/audio_output.h"
#include "app/history.h"
#include "app/loop_panel.h"
#include "app/song_view.h"
#include "app/sound_model.h"
#include "audio/heard.h"
#include "song/song.h"
#include "support/app_driver.h"
#include "support/loop_songs.h"
#include "support/psg_data.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QThread>
#include <QtTest>

namespace {

void cli(const QStringList& args)
{
    QProcess p;
    p.setWorkingDirectory(QFileInfo(write_temp_psg("rec.psg", loop_song(REWRITTEN_IN_LOOP).bytes)).path());
    p.start(qEnvironmentVariable("TRELVANE_BIN") + "/trelvane-cli", args);
    QVERIFY(p.waitForFinished(60000) && p.exitCode() == 0);
}

// "&Load file", after Yes to the question when the song has changed (an
// undo or a redo changes it too).
void load(LoopSongKind kind)
{
    QList<DialogAnswer> answers;
    if (main_window->isWindowModified())
        answers << press(QMessageBox::Yes);
    answer(answers << type_file(write_temp_psg(QStringLiteral("song%1.psg").arg(kind), loop_song(kind).bytes)));
    click(QStringLiteral("&Load file"));
    QCOMPARE(unanswered(), 0);
    QVERIFY(wait_for_loops());
}

template <class W> W* widget(const char* name)
{
    return main_window->findChild<W*>(QString::fromLatin1(name));
}

// Types into a field as the user does: its text replaced, then Return.
void type_into(const char* field, const QString& text)
{
    auto* edit = widget<QLineEdit>(field);
    edit->selectAll();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
}

}  // namespace

class TestAppLoops : public QObject {
    Q_OBJECT
    QString folder;

private slots:
    void initTestCase()
    {
        start_app();
        folder = QFileInfo(write_temp_psg("rec.psg", loop_song(REWRITTEN_IN_LOOP).bytes)).path() + "/";
    }

    void the_list_offers_the_loops_and_moves_the_cut()
    {
        load(REWRITTEN_IN_LOOP);
        auto* list = main_window->findChild<QListWidget*>(QStringLiteral("loop_list"));
        QCOMPARE(list->item(0)->text(),
                 QStringLiteral("start 0:00:05.000 (250), period 0:00:08.000 (400), for 0:00:06.760: to the end"));
        QCOMPARE(list->currentRow(), 0);
        QVERIFY(chosen_loop.valid && chosen_loop.start == 250 && chosen_loop.period == 400);
        QCOMPARE(widget<QLabel>("loop_note")->text(),
                 QStringLiteral("starts at 250 (0:00:05.000), not 92: R9 differs until frame 250\n"
                                "the loop piece plays right on its own"));
        QCOMPARE(widget<QLineEdit>("loop_start")->text() + ' ' + widget<QLineEdit>("loop_period")->text(),
                 QStringLiteral("250 400"));
        QCOMPARE(cut_pos, 0u);  // a song read starts at 0 as always
        // The view shades the repetition (from 650) up to the song's end, not
        // into the margin beside it.
        const QImage view = song_view->grab().toImage();
        const FrameScale s = song_view->scale();
        QVERIFY(view.pixelColor(s.x_of(frame_count) - 2, view.height() / 4) != QColor(Qt::white));
        for (int y = 0; y < view.height() / 2; ++y)
            for (int x = s.x_of(frame_count) + 2; x < view.width(); ++x)
                QVERIFY2(view.pixelColor(x, y) == QColor(Qt::white),
                         qPrintable(QStringLiteral("%1, %2").arg(x).arg(y)));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
        QCOMPARE(cut_slider->value(), 250);
        QVERIFY(status_label->text().contains(QStringLiteral("Cut position=0:00:05.000")));

        load(NEVER_REPEATS);
        QCOMPARE(list->count(), 1);
        QCOMPARE(list->item(0)->text(), QStringLiteral("No loop of 5 s or more"));
        for (const char* caption : {"Save &intro and loop", "&Hear the seam"}) {
            answer({press(QMessageBox::Ok)});
            click(QString::fromLatin1(caption));
            QCOMPARE(seen_boxes(), QStringList{QStringLiteral("No loop that chains exactly!")});
        }

        // A repetition inside the song is listed, not chosen; saved only
        // after a question.
        load(REPEATS_INSIDE);
        QCOMPARE(list->currentRow(), -1);
        QVERIFY(!chosen_loop.valid);
        QVERIFY(
            widget<QLabel>("loop_note")
                ->text()
                .startsWith(QStringLiteral("no loop: the song does not end repeating itself; its longest repetition")));
        QVERIFY(list->item(0)->text().endsWith(QStringLiteral("inner, stops 0:00:06.000 before the end")));
        list->setCurrentRow(0);
        QVERIFY(widget<QLabel>("loop_note")
                    ->text()
                    .split(QLatin1Char('\n'))
                    .contains(QStringLiteral("its repetition stops at frame 800 (0:00:16.000): the pieces leave out "
                                             "the last 300 frames (0:00:06.000) of the song")));
        answer({press(QMessageBox::No)});
        click(QStringLiteral("Save &intro and loop"));
        QCOMPARE(seen_boxes(),
                 QStringList{
                     QStringLiteral("The loop does not run to the song's end; its repetition stops at frame 800 "
                                    "(0:00:16.000): the pieces leave out the last 300 frames (0:00:06.000) of the "
                                    "song.\nSave the intro and loop anyway?")});
        QCOMPARE(unanswered(), 0);
    }

    // A loop typed into the fields: refused as trelvane-cli loop --start
    // --period refuses it, or saved as that command saves it.
    void a_typed_loop()
    {
        load(REWRITTEN_IN_LOOP);
        cli({"loop", "rec.psg", "-o", "cli"});
        type_into("loop_start", QStringLiteral("0:02.020"));
        type_into("loop_period", QStringLiteral("8s"));
        QVERIFY(!chosen_loop.valid);
        answer({press(QMessageBox::Ok)});
        click(QStringLiteral("Save &intro and loop"));
        QCOMPARE(seen_boxes(),
                 QStringList{QStringLiteral("the song does not repeat exactly with period 400 from "
                                            "frame 101; it does from frame 250 (0:00:05.000) on")});
        QVERIFY(!QFile::exists(folder + "t.intro.psg"));
        type_into("loop_period", QStringLiteral("0"));
        answer({press(QMessageBox::Ok)});
        click(QStringLiteral("&Hear the seam"));
        QCOMPARE(seen_boxes(),
                 QStringList{QStringLiteral("The period needs a frame count or a time of at least 1 frame, not '0'")});
        type_into("loop_period", QStringLiteral("8s"));

        type_into("loop_start", QStringLiteral("5s"));
        QVERIFY(chosen_loop.valid && chosen_loop.start == 250 && chosen_loop.period == 400);
        QCOMPARE(widget<QListWidget>("loop_list")->currentRow(), 0);  // the listed loop it is
        QFile::remove(folder + "t.intro.psg");
        QFile::remove(folder + "t.loop.psg");
        answer({type_file(folder + "t")});
        click(QStringLiteral("Save &intro and loop"));
        QCOMPARE(seen_boxes(), QStringList{});
        QCOMPARE(read_file(folder + "t.intro.psg"), read_file(folder + "cli.intro.psg"));
        QCOMPARE(read_file(folder + "t.loop.psg"), read_file(folder + "cli.loop.psg"));
    }

    void a_newer_read_wins_over_the_loops_of_an_older_one()
    {
        load(REWRITTEN_IN_LOOP);
        cut_slider->setSliderPosition(100);
        answer({press(QMessageBox::Yes)});
        click(QStringLiteral("&Cut"));
        QVERIFY(wait_for_loops());
        auto* list = main_window->findChild<QListWidget*>(QStringLiteral("loop_list"));
        const QString cut_row = list->item(0)->text();
        QCOMPARE(cut_row,
                 QStringLiteral("start 0:00:03.000 (150), period 0:00:08.000 (400), for 0:00:06.580: to the end"));

        // Undo, and redo before the window has seen the loops of the song
        // put back (their look has had the time to end): only the redone
        // song's loops are ever listed.
        QVERIFY(history_undo());
        QThread::msleep(300);
        QStringList listed;
        const auto watch = connect(list->model(), &QAbstractItemModel::rowsInserted, this,
                                   [&](const QModelIndex&, int first) { listed << list->item(first)->text(); });
        QVERIFY(history_redo());
        // While they are looked for, there is no loop to save or hear.
        QVERIFY(!button(QStringLiteral("Save &intro and loop"))->isEnabled());
        QVERIFY(!button(QStringLiteral("&Hear the seam"))->isEnabled());
        QVERIFY(wait_for_loops());
        QVERIFY(button(QStringLiteral("Save &intro and loop"))->isEnabled());
        disconnect(watch);
        QCOMPARE(listed.value(0), QStringLiteral("Finding loops..."));
        QCOMPARE(listed.mid(1), QStringList{cut_row});
        QVERIFY(chosen_loop.valid && chosen_loop.start == 150);
    }

    void save_writes_what_the_command_line_writes()
    {
        load(REWRITTEN_IN_LOOP);
        cli({"loop", "rec.psg", "-o", "cli"});
        // Either piece in the way: one question for it; No keeps it and
        // writes nothing, Yes replaces it and writes the other.
        for (const QString& piece : {QStringLiteral("intro"), QStringLiteral("loop")}) {
            const QString other = piece == "intro" ? "loop" : "intro";
            QFile::remove(folder + "w." + other + ".psg");
            QFile way(folder + "w." + piece + ".psg");
            QVERIFY(way.open(QIODevice::WriteOnly) && way.write("in the way") == 10);
            way.close();
            for (QMessageBox::StandardButton b : {QMessageBox::No, QMessageBox::Yes}) {
                answer({type_file(folder + "w"), press(b)});
                click(QStringLiteral("Save &intro and loop"));
                QCOMPARE(seen_boxes(),
                         QStringList{
                             QStringLiteral("w.%1.psg already exists.\nDo you want to replace it?").arg(piece)});
                QCOMPARE(QFile::exists(folder + "w." + other + ".psg"), b == QMessageBox::Yes);
            }
            QCOMPARE(read_file(folder + "w.intro.psg"), read_file(folder + "cli.intro.psg"));
            QCOMPARE(read_file(folder + "w.loop.psg"), read_file(folder + "cli.loop.psg"));
        }
        QCOMPARE(frame_count, 830u);  // the song stays
    }

    // Two loops: frames 0..299 twice, then frames 600..859 twice. "&Hear the
    // seam" stops the song; choosing the other loop plays its seam.
    void the_seam_follows_the_chosen_loop_and_stops_the_song()
    {
        PsgBuilder b;
        for (int k = 0; k < 600; ++k)
            b.write(0, k % 300 & 0xFF).write(1, k % 300 >> 8).write(8, 15).end();
        for (int k = 0; k < 520; ++k)
            b.write(2, k % 260 * 7 & 0xFF).write(3, k % 260 >> 8).write(9, 14).end();
        answer({type_file(write_temp_psg("two.psg", b.bytes))});
        click(QStringLiteral("&Load file"));
        QCOMPARE(unanswered(), 0);
        QVERIFY(wait_for_loops());  // "&Hear the seam" waits for the list
        const struct {
            const char* pick;
            int seam_from;  // in the intro and three passes
        } loops[] = {{"1", 600 + 260 - 100}, {"2", 300 - 100}};
        QByteArray seams[2];
        for (int k = 0; k < 2; ++k) {
            cli({"loop", "two.psg", "--pick", loops[k].pick, "-o", "two"});
            cli({"save", "two.intro.psg", "two.loop.psg", "two.loop.psg", "two.loop.psg", "-o", "twochain"});
            cli({"render", "twochain.psg", "--from", QString::number(loops[k].seam_from), "--to",
                 QString::number(loops[k].seam_from + 200), "-o", "twoseam.wav"});
            seams[k] = read_file(folder + "twoseam.wav").mid(44);
        }
        click(QStringLiteral("Play from &Begin"));
        QTRY_VERIFY(play_pos >= 5);
        click(QStringLiteral("&Hear the seam"));
        QCOMPARE(seam_playing_sound(), seams[0]);
        QTRY_VERIFY(seam_frames_pushed() >= 5);
        QVERIFY(!playing);
        auto* list = main_window->findChild<QListWidget*>(QStringLiteral("loop_list"));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
        QCOMPARE(seam_playing_sound(), seams[1]);
        click(QStringLiteral("S&top"));
    }

    void the_seam_plays_as_the_chain_does_until_stop()
    {
        load(REWRITTEN_IN_LOOP);
        cli({"loop", "rec.psg", "-o", "s"});
        cli({"save", "s.intro.psg", "s.loop.psg", "s.loop.psg", "-o", "chain"});
        // The last 2 s of the pass (frames 550..649) and 2 s of the next.
        cli({"render", "chain.psg", "--from", "550", "--to", "750", "-o", "seam.wav"});
        click(QStringLiteral("&Hear the seam"));
        QCOMPARE(seam_playing_sound(), read_file(folder + "seam.wav").mid(44));
        QTRY_VERIFY(seam_frames_pushed() >= 10);
        // The view's play line is on the frame of the seam heard, by the rule
        // of the song's slider: the frame of the oldest sound still queued.
        // The seam is frames 550..649, then 250..349.
        uint32_t heard = 0;
        for (int moment = 0; moment < 10; ++moment) {
            const auto pushed = static_cast<uint32_t>(seam_frames_pushed());
            const auto frame_at = [pushed](uint64_t queued) {
                const uint32_t k = heard_frame(pushed, 0, queued) % 200;
                return k < 100 ? 550 + k : 250 + k - 100;
            };
            const uint32_t before = frame_at(audio_queued_bytes());
            QVERIFY(seam_heard_frame(&heard));
            const uint32_t after = frame_at(audio_queued_bytes());
            QVERIFY2(heard == before || heard == after,
                     qPrintable(QStringLiteral("%1 %2 %3").arg(heard).arg(before).arg(after)));
            pump(30);
        }
        click(QStringLiteral("S&top"));
        QVERIFY(!seam_heard_frame(&heard));
        const uint64_t pushed = seam_frames_pushed();
        pump(100);
        QCOMPARE(seam_frames_pushed(), pushed);
    }

    // With a chip chosen the seam sounds as the chain does through it.
    void the_seam_through_a_chip_plays_as_the_chain_renders()
    {
        load(REWRITTEN_IN_LOOP);
        cli({"loop", "rec.psg", "-o", "s"});
        cli({"save", "s.intro.psg", "s.loop.psg", "s.loop.psg", "-o", "chain"});
        cli({"render", "chain.psg", "--accurate", "--chip", "ym", "--from", "550", "--to", "750", "-o", "seam.wav"});
        set_sound_model(SoundModel::YM);
        click(QStringLiteral("&Hear the seam"));
        set_sound_model(SoundModel::PLAIN);
        const QByteArray heard = seam_playing_sound();
        click(QStringLiteral("S&top"));
        QCOMPARE(heard.size(), read_file(folder + "seam.wav").size() - 44);
        QVERIFY(heard == read_file(folder + "seam.wav").mid(44));
    }
};

TRELVANE_APP_TEST_MAIN(TestAppLoops)
#include "test_app_loops.moc"
