// The window's loops through the real widgets: the list of candidates,
// "Save &intro and loop" (the same bytes as trelvane-cli loop, the same
// question before replacing files) and "&Hear the seam" (the sound of the
// chain where a pass goes on into the loop's start).
#include "app/app.h"
#include "app/loop_panel.h"
#include "song/song.h"
#include "support/app_driver.h"
#include "support/loop_songs.h"
#include "support/psg_data.h"

#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>

namespace {

int cli(const QStringList& args, const QString& dir)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(qEnvironmentVariable("TRELVANE_BIN") + "/trelvane-cli", args);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

bool put_file(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QListWidget* loop_list()
{
    return main_window->findChild<QListWidget*>(QStringLiteral("loop_list"));
}

}  // namespace

class TestAppLoops : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString recording;

    void load(const QString& path)
    {
        answer({type_file(path)});
        click(QStringLiteral("&Load file"));
        QCOMPARE(unanswered(), 0);
    }

private slots:
    void initTestCase()
    {
        start_app();
        recording = dir.filePath("rec.psg");
        QVERIFY(put_file(recording, loop_song(REWRITTEN_IN_LOOP).bytes));
    }

    void the_list_offers_the_loops_and_moves_the_cut()
    {
        load(recording);
        QListWidget* list = loop_list();
        QVERIFY(list && list->count() >= 1);
        QCOMPARE(list->item(0)->text(), QStringLiteral("start 0:00:05.000 (250), period 0:00:08.000 (400)"));
        QCOMPARE(list->currentRow(), 0);
        QVERIFY(chosen_loop.valid);
        QCOMPARE(chosen_loop.start, 250u);
        QCOMPARE(chosen_loop.period, 400u);
        QCOMPARE(cut_pos, 0u);  // a song read starts at 0 as always
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
        QCOMPARE(cut_slider->value(), 250);
        QVERIFY(status_label->text().contains(QStringLiteral("Cut position=0:00:05.000")));

        const QString plain = dir.filePath("plain.psg");
        QVERIFY(put_file(plain, loop_song(NEVER_REPEATS).bytes));
        load(plain);
        QCOMPARE(list->count(), 1);
        QCOMPARE(list->item(0)->text(), QStringLiteral("No loop of 5 s or more"));
        QVERIFY(!chosen_loop.valid);
        for (const char* caption : {"Save &intro and loop", "&Hear the seam"}) {
            answer({press(QMessageBox::Ok)});
            click(QString::fromLatin1(caption));
            QCOMPARE(seen_boxes(), QStringList{QStringLiteral("No loop that chains exactly!")});
        }
    }

    void save_writes_what_the_command_line_writes()
    {
        load(recording);
        QCOMPARE(cli({"loop", recording, "-o", "cli"}, dir.path()), 0);
        const QString intro = dir.filePath("w.intro.psg"), loop = dir.filePath("w.loop.psg");
        answer({type_file(dir.filePath("w"))});
        click(QStringLiteral("Save &intro and loop"));
        QCOMPARE(unanswered(), 0);
        QCOMPARE(read_file(intro), read_file(dir.filePath("cli.intro.psg")));
        QCOMPARE(read_file(loop), read_file(dir.filePath("cli.loop.psg")));
        QCOMPARE(frame_count, 830u);  // the song stays

        // Files in the way: one question for both; No keeps them.
        QVERIFY(put_file(intro, "mine"));
        for (QMessageBox::StandardButton b : {QMessageBox::No, QMessageBox::Yes}) {
            answer({type_file(dir.filePath("w.psg")), press(b)});
            click(QStringLiteral("Save &intro and loop"));
            QCOMPARE(seen_boxes(), QStringList{QStringLiteral(
                                       "w.intro.psg and w.loop.psg already exist.\nDo you want to replace them?")});
            QCOMPARE(read_file(intro),
                     b == QMessageBox::No ? QByteArray("mine") : read_file(dir.filePath("cli.intro.psg")));
        }
    }

    void the_seam_plays_as_the_chain_does_until_stop()
    {
        load(recording);
        QCOMPARE(cli({"loop", recording, "-o", "s"}, dir.path()), 0);
        QCOMPARE(cli({"save", "s.intro.psg", "s.loop.psg", "s.loop.psg", "-o", "chain"}, dir.path()), 0);
        // The last 2 s of the pass (frames 550..649) and 2 s of the next.
        QCOMPARE(cli({"render", "chain.psg", "--from", "550", "--to", "750", "-o", "seam.wav"}, dir.path()), 0);
        click(QStringLiteral("&Hear the seam"));
        QCOMPARE(seam_playing_sound(), read_file(dir.filePath("seam.wav")).mid(44));
        QTRY_VERIFY(seam_frames_pushed() >= 10);
        QCOMPARE(playing, 0);
        click(QStringLiteral("S&top"));
        QVERIFY(seam_playing_sound().isEmpty());
        const uint64_t pushed = seam_frames_pushed();
        pump(100);
        QCOMPARE(seam_frames_pushed(), pushed);
    }
};

TRELVANE_APP_TEST_MAIN(TestAppLoops)
#include "test_app_loops.moc"
