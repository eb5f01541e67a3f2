// The window's files beyond PSG through the real widgets: "E&xport..." with
// the command line's bytes, YM and VGM files loaded and dropped as the
// command line imports them, the question before a change is thrown away,
// and the line that names what a save wrote.
#include "app/app.h"
#include "app/loop_panel.h"
#include "song/song.h"
#include "support/app_driver.h"
#include "support/cli_run.h"
#include "support/loop_songs.h"
#include "support/psg_data.h"

#include <QLabel>
#include <QMimeData>
#include <QSlider>
#include <QtEndian>
#include <QtTest>

namespace {

QString written_line()
{
    return main_window->findChild<QLabel*>(QStringLiteral("written_line"))->text();
}

// "&Load file", after Yes to the question when the song has changed.
void load(const QString& path)
{
    QList<DialogAnswer> answers;
    if (main_window->isWindowModified())
        answers << press(QMessageBox::Yes);
    answer(answers << type_file(path));
    click(QStringLiteral("&Load file"));
    QCOMPARE(unanswered(), 0);
    QVERIFY(wait_for_loops());
}

// A VGM file with an AY at the usual clock and these commands.
QByteArray vgm_file(const QByteArray& commands)
{
    QByteArray h(0x100, '\0');
    h.replace(0, 4, "Vgm ");
    qToLittleEndian<quint32>(0x171, h.data() + 0x08);
    qToLittleEndian<quint32>(0x100 - 0x34, h.data() + 0x34);
    qToLittleEndian<quint32>(1773400, h.data() + 0x74);
    return h + commands;
}

void drop(const QString& path)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    // Through the window, as a drag from a file manager comes.
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(main_window->windowHandle(), &enter);
    QDropEvent event(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(main_window->windowHandle(), &event);
}

}  // namespace

class TestAppFiles : public QObject {
    Q_OBJECT
    QString folder;

    QString put(const QString& name, const QByteArray& bytes) { return put_file(folder, name, bytes); }
    void cli(const QStringList& args) { QCOMPARE(run_cli(args, folder).status, 0); }

    // A song whose frame 0 writes, cut at frame 300: the changed mark shows.
    void change_a_song()
    {
        load(put(QStringLiteral("changed.psg"), loop_song(LOOP_AT_FRAME_0).bytes));
        cut_slider->setSliderPosition(300);
        answer({press(QMessageBox::Yes)});
        click(QStringLiteral("&Cut"));
        QVERIFY(main_window->isWindowModified());
    }

private slots:
    void initTestCase()
    {
        start_app();
        folder = QFileInfo(write_temp_psg(QStringLiteral("x.psg"), psg_header())).path();
    }

    // First of all: the first song of a fresh window is analysed whole.
    void the_first_song_read_has_the_loop_of_the_command_line()
    {
        const LoopSong song = loop_song(LOOP_AT_FRAME_0);
        load(put(QStringLiteral("first.psg"), song.bytes));
        QVERIFY(chosen_loop.valid);
        QCOMPARE(chosen_loop.start, song.start);
        QCOMPARE(chosen_loop.period, song.period);
    }

    void export_writes_the_bytes_of_the_command_line_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("type");  // chosen in the dialog; empty: the one it offers
        QTest::addColumn<QString>("written");
        QTest::newRow("vgm") << "w.vgm" << QString() << "w.vgm";
        QTest::newRow("ym") << "w.ym" << QString() << "w.ym";
        QTest::newRow("no ending: the type's") << "plain" << QString() << "plain.vgm";
        QTest::newRow("no ending, YM chosen") << "plain"
                                              << "YM file (*.ym)"
                                              << "plain.ym";
    }

    void export_writes_the_bytes_of_the_command_line()
    {
        QFETCH(QString, typed);
        QFETCH(QString, type);
        QFETCH(QString, written);
        load(put(QStringLiteral("rec.psg"), loop_song(REWRITTEN_IN_LOOP).bytes));
        const QString ending = QFileInfo(written).suffix();
        cli({"export", "rec.psg", "-o", "cli." + ending});
        answer({type_file(folder + "/" + typed, type)});
        click(QStringLiteral("E&xport..."));
        QCOMPARE(unanswered(), 0);
        QCOMPARE(seen_proposals(), QStringList{folder + "/rec.vgm"});
        QCOMPARE(read_file(folder + "/" + written), read_file(folder + "/cli." + ending));
        QCOMPARE(written_line(),
                 QStringLiteral("Wrote %1 in %2 (loop at 0:00:05.000, frame 250)").arg(written, folder));
    }

    void chip_music_reads_as_the_command_line_imports_it_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");  // empty: exported from a recording
        QTest::addColumn<bool>("dropped");
        QTest::addColumn<QString>("box");
        QTest::newRow("ym with a dotted name, loaded") << "song.v2.ym" << QByteArray() << false << QString();
        QTest::newRow("vgm, loaded") << "song.vgm" << QByteArray() << false << QString();
        QTest::newRow("vgm with another chip, dropped")
            << "other.vgm" << vgm_file(QByteArray::fromHex("509fa0080f63a0080c6366")) << true
            << "%1:\n1 commands of other chips are left out";
        QTest::newRow("not music, refused")
            << "bad.vgm" << QByteArray("Vgm? no") << false << "Can't read %1: not a YM or VGM file";
        QTest::newRow("not music named .vgz, refused")
            << "bad.vgz" << QByteArray("Vgm? no") << false << "Can't read %1: not a YM or VGM file";
    }

    void chip_music_reads_as_the_command_line_imports_it()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, dropped);
        QFETCH(QString, box);
        // A note every 10 frames: runs of empty frames, which a PSG file may
        // hold as waits.
        load(put(QStringLiteral("before.psg"), loop_song(REWRITTEN_IN_LOOP).bytes));
        const uint32_t before = frame_count;
        const QString path = folder + "/" + name;
        QFile::remove(path);
        if (bytes.isEmpty())
            cli({"export", "--loop", "none", "before.psg", "-o", name});
        else
            put(name, bytes);

        if (dropped) {
            answer({press(QMessageBox::Ok)});
            drop(path);
        } else {
            answer({type_file(path), press(QMessageBox::Ok)});
            click(QStringLiteral("&Load file"));
        }
        QTRY_COMPARE(unanswered(), box.isEmpty() ? 1 : 0);
        QCOMPARE(seen_boxes(), box.isEmpty() ? QStringList() : QStringList{box.arg(path)});
        if (box.startsWith(QLatin1String("Can't"))) {
            QCOMPARE(frame_count, before);
            return;
        }
        QCOMPARE(main_window->windowTitle(), name + "[*] - Trelvane");
        QVERIFY(!main_window->isWindowModified());

        cli({"import", name, "-o", "imported.psg"});
        QFile::remove(folder + "/saved.psg");
        answer({type_file(folder + "/saved.psg")});
        click(QStringLiteral("S&ave"));
        QCOMPARE(seen_proposals(), QStringList{folder + "/" + QFileInfo(name).completeBaseName() + ".psg"});
        QCOMPARE(read_file(folder + "/saved.psg"), read_file(folder + "/imported.psg"));
        QCOMPARE(written_line(), QStringLiteral("Wrote saved.psg in %1").arg(folder));
    }

    void a_changed_song_is_thrown_away_only_after_yes_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("yes");
        for (const char* how : {"&Quit", "closing the window", "&Load file", "dropping a file"}) {
            QTest::addRow("%s, no", how) << QString::fromLatin1(how) << false;
            QTest::addRow("%s, yes", how) << QString::fromLatin1(how) << true;
        }
    }

    void a_changed_song_is_thrown_away_only_after_yes()
    {
        QFETCH(QString, how);
        QFETCH(bool, yes);
        change_a_song();
        const uint32_t cut = frame_count;
        const QString other = put(QStringLiteral("other.psg"), psg_bytes({0, 1, 0xFF}));
        const bool dropped = how == QLatin1String("dropping a file");
        answer(dropped ? QList<DialogAnswer>{press(yes ? QMessageBox::Yes : QMessageBox::No)}
                       : QList<DialogAnswer>{press(yes ? QMessageBox::Yes : QMessageBox::No), type_file(other)});
        if (dropped) {
            drop(other);
            QTRY_COMPARE(unanswered(), 0);  // asked once the drop is over
            QCOMPARE(frame_count, yes ? 1u : cut);
            if (yes)
                QVERIFY(wait_for_loops());
        } else if (how == QLatin1String("&Quit")) {
            // "&Quit" asks the application to quit, which only its event loop does.
            QTimer::singleShot(0, [] { click(QStringLiteral("&Quit")); });
            QTimer stay;  // after No: ends the loop that "&Quit" did not end
            QObject::connect(&stay, &QTimer::timeout, [] { qApp->exit(7); });
            stay.start(1000);
            QCOMPARE(qApp->exec(), yes ? 0 : 7);
        } else if (how == QLatin1String("closing the window")) {
            QCOMPARE(main_window->close(), yes);
        } else {
            click(how);
            QCOMPARE(frame_count, yes ? 1u : cut);
        }
        QCOMPARE(seen_boxes(), QStringList{QStringLiteral("Discard the changes to changed.psg?")});
        QCOMPARE(main_window->isVisible(), !yes || how == QLatin1String("&Load file") || dropped);
        if (!yes)
            QCOMPARE(frame_count, cut);
        main_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(main_window));
    }

    void a_read_that_stops_at_the_end_mark_is_no_change_data()
    {
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<bool>("changed");
        QTest::newRow("0xFD and 16 bytes of padding") << QByteArray("\xfd") + QByteArray(16, '\0') << false;
        QTest::newRow("0xFD and more") << QByteArray("\xfd") + QByteArray(17, '\0') << true;
        QTest::newRow("another byte") << QByteArray("\xfc\x10\0\0", 4) << true;
    }

    void a_read_that_stops_at_the_end_mark_is_no_change()
    {
        QFETCH(QByteArray, tail);
        QFETCH(bool, changed);
        answer({type_file(put(QStringLiteral("end.psg"), psg_bytes({0, 1, 0xFF}) + tail)), press(QMessageBox::Ok)});
        click(QStringLiteral("&Load file"));
        QCOMPARE(unanswered(), 0);
        QCOMPARE(main_window->isWindowModified(), changed);
        if (changed)  // leave the next test an unchanged song
            load(put(QStringLiteral("plain.psg"), psg_bytes({0, 1, 0xFF})));
    }
};

TRELVANE_APP_TEST_MAIN(TestAppFiles)
#include "test_app_files.moc"
