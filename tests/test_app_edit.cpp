// "&Cut", "Cut and &Save", "S&ave" and "&Find periodic" through the real
// buttons, boxes and file dialogs.
#include "app/app.h"
#include "song/psg_read.h"
#include "song/song.h"
#include "support/app_driver.h"
#include "support/psg_data.h"
#include "support/song_check.h"

#include <QLabel>
#include <QProgressBar>
#include <QRandomGenerator>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Frames 0..5, frame f writes register f with value f + 1, then two writes
// after the last frame end.
const QByteArray six_frames
    = psg_bytes({0, 1, 0xFF, 1, 2, 0xFF, 2, 3, 0xFF, 3, 4, 0xFF, 4, 5, 0xFF, 5, 6, 0xFF, 9, 9, 10, 10});

bool put_file(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

void expect_fresh_song(uint32_t frames_now)
{
    QCOMPARE(frame_count, frames_now);
    for (QSlider* s : {play_slider, cut_slider}) {
        QCOMPARE(s->maximum(), int(frames_now));
        QCOMPARE(s->value(), 0);
    }
    QCOMPARE(cut_pos, 0u);
    QCOMPARE(play_pos, 0u);
    QCOMPARE(find_start, 0u);
    QCOMPARE(song_invariant_violation(), QString());
}

}  // namespace

class TestAppEdit : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void initTestCase() { start_app(); }
    void init() { load_psg(six_frames); }

    void cut_asks_and_only_yes_cuts()
    {
        cut_slider->setSliderPosition(2);
        for (DialogAnswer a : {press(QMessageBox::No), press_escape(), close_box()}) {
            answer({a});
            click(QStringLiteral("&Cut"));
            QCOMPARE(unanswered(), 0);
            QCOMPARE(seen_boxes(), QStringList{QStringLiteral("Cut?")});
            QCOMPARE(frame_count, 6u);
            QCOMPARE(cut_pos, 2u);
        }
        answer({press(QMessageBox::Yes)});
        click(QStringLiteral("&Cut"));
        QCOMPARE(seen_titles(), QStringList{QStringLiteral("Trelvane")});
        expect_fresh_song(4);
        // The kept frames, renumbered, opened by the registers set before the
        // cut; the writes after the old last frame end are gone.
        QCOMPARE(song_writes(), (std::vector<Write>{{0, 1, 0}, {1, 2, 0}, {2, 3, 0}, {3, 4, 1}, {4, 5, 2}, {5, 6, 3}}));
        QCOMPARE(frames[1].regs[0], 1);
        QCOMPARE(frames[1].regs[2], 3);
        QCOMPARE(status_label->text(),
                 QStringLiteral("Play position=0:00:00.000, Cut position=0:00:00.000, Length=0:00:00.080"));
    }

    void zero_cut_is_judged_by_the_cut_position()
    {
        // "Cut &position >" from 0: the cut commands go ahead.
        click(QStringLiteral("Cut &position >"));
        QCOMPARE(cut_pos, 1u);
        answer({press(QMessageBox::No)});
        click(QStringLiteral("&Cut"));
        QCOMPARE(seen_boxes(), QStringList{QStringLiteral("Cut?")});

        // Brought back to 0 with "Cut positi&on <": both refuse.
        cut_slider->setSliderPosition(3);
        for (int i = 0; i < 3; ++i)
            click(QStringLiteral("Cut positi&on <"));
        QCOMPARE(cut_pos, 0u);
        for (const char* caption : {"&Cut", "Cut and &Save"}) {
            answer({press(QMessageBox::Ok)});
            click(QString::fromLatin1(caption));
            QCOMPARE(unanswered(), 0);
            QCOMPARE(seen_boxes(), QStringList{QStringLiteral("Zero cut position")});
            QCOMPARE(frame_count, 6u);
        }
    }

    void cut_and_save_writes_both_pieces_and_goes_on_with_the_rest()
    {
        cut_slider->setSliderPosition(4);
        const QString name = dir.filePath(QStringLiteral("song.ay"));
        answer({type_file(name)});
        click(QStringLiteral("Cut and &Save"));
        QCOMPARE(unanswered(), 0);
        QCOMPARE(seen_titles(), QStringList{QStringLiteral("Trelvane")});
        QCOMPARE(seen_filters(), QStringList{QStringLiteral("PSG files (*.psg)")});
        QCOMPARE(read_file(name + QStringLiteral(".psg")), psg_bytes({0, 1, 0xFF, 1, 2, 0xFF, 2, 3, 0xFF, 3, 4, 0xFF}));
        QCOMPARE(read_file(name + QStringLiteral(".rest.psg")),
                 psg_bytes({0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 0xFF, 5, 6, 0xFF}));
        // The song in memory is the rest: the title names that file.
        QCOMPARE(main_window->windowTitle(), QStringLiteral("song.ay.rest.psg[*] - Trelvane"));
        expect_fresh_song(2);
        QCOMPARE(song_writes(), (std::vector<Write>{{0, 1, 0}, {1, 2, 0}, {2, 3, 0}, {3, 4, 0}, {4, 5, 0}, {5, 6, 1}}));

        // Cancelling the dialog changes nothing.
        load_psg(six_frames);
        cut_slider->setSliderPosition(4);
        answer({cancel_file()});
        click(QStringLiteral("Cut and &Save"));
        QCOMPARE(frame_count, 6u);
        QCOMPARE(cut_pos, 4u);
    }

    void save_writes_the_whole_song_and_changes_nothing()
    {
        cut_slider->setSliderPosition(2);
        play_slider->setSliderPosition(1);
        const QString status = status_label->text();
        const QString name = dir.filePath(QStringLiteral("whole.PSG"));
        answer({type_file(name)});
        click(QStringLiteral("S&ave"));
        QCOMPARE(unanswered(), 0);
        QCOMPARE(read_file(name), six_frames.left(six_frames.size() - 4));
        QCOMPARE(frame_count, 6u);
        QCOMPARE(cut_pos, 2u);
        QCOMPARE(play_pos, 1u);
        QCOMPARE(status_label->text(), status);
    }

    // The save dialog asks about the name typed when that exists; the
    // command asks once about the other files it would replace.
    void saving_asks_before_replacing_files_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("boxes");  // the dialog's question, then the command's
        const QString one = QStringLiteral("%1 already exists.\nDo you want to replace it?");
        QTest::newRow("save") << "S&ave"
                              << "old" << QStringList{one.arg("old.psg")};
        QTest::newRow("save, name typed") << "S&ave"
                                          << "old.psg" << QStringList{one.arg("old.psg")};
        QTest::newRow("cut and save") << "Cut and &Save"
                                      << "old"
                                      << QStringList{
                                             "old.psg and old.rest.psg already exist.\nDo you want to replace them?"};
        QTest::newRow("cut and save, name typed")
            << "Cut and &Save"
            << "old.psg" << QStringList{one.arg("old.psg"), one.arg("old.rest.psg")};
    }

    void saving_asks_before_replacing_files()
    {
        QFETCH(QString, command);
        QFETCH(QString, typed);
        QFETCH(QStringList, boxes);
        const bool dialog_asks = typed.endsWith(".psg");
        const bool we_ask = boxes.size() > int(dialog_asks);
        const bool pieces = command == "Cut and &Save";
        QTemporaryDir folder;
        const QString head = folder.filePath("old.psg"), rest = folder.filePath("old.rest.psg");
        QList<DialogAnswer> replies{press(QMessageBox::Yes)};
        if (we_ask)
            replies = {press(QMessageBox::No), press_escape(), close_box(), press(QMessageBox::Yes)};
        for (const DialogAnswer& reply : replies) {
            QVERIFY(put_file(head, "old") && put_file(rest, "old"));
            load_psg(six_frames);
            cut_slider->setSliderPosition(2);
            QList<DialogAnswer> answers{type_file(folder.filePath(typed))};
            if (dialog_asks)
                answers << press(QMessageBox::Yes);
            if (we_ask)
                answers << reply;
            answer(answers);
            click(command);
            QCOMPARE(unanswered(), 0);
            QCOMPARE(seen_boxes(), boxes);
            const bool yes = reply.button == QMessageBox::Yes;
            QCOMPARE(read_file(head) != "old", yes);
            QCOMPARE(read_file(rest) != "old", yes && pieces);
            QCOMPARE(frame_count, yes && pieces ? 4u : 6u);
            if (yes)
                QCOMPARE(main_window->findChild<QLabel*>(QStringLiteral("written_line"))->text(),
                         QStringLiteral("Wrote %1 in %2")
                             .arg(pieces ? "old.psg and old.rest.psg" : "old.psg", folder.path()));
        }
    }

    void a_save_that_fails_keeps_the_file()
    {
        // "S&ave" over the loaded file when the disk fills up (a file size
        // limit): the file stays as it was, and nothing else is left.
        QTemporaryDir folder;
        const QString name = folder.filePath(QStringLiteral("loaded.psg"));
        const QByteArray song = psg_header() + QByteArray(3000, '\xff');
        QVERIFY(put_file(name, song) && psg_read(name.toUtf8().constData(), 0, true) == READ_COMPLETE);
        rlimit old_limit{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &old_limit) == 0);
        rlimit limit = old_limit;
        limit.rlim_cur = 1000;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &limit) == 0);
        answer({type_file(name), press(QMessageBox::Yes), press(QMessageBox::Ok)});
        click(QStringLiteral("S&ave"));
        QVERIFY(setrlimit(RLIMIT_FSIZE, &old_limit) == 0);
        QCOMPARE(unanswered(), 0);
        // The box's words, then the file and the system's reason.
        QCOMPARE(seen_boxes().last(),
                 QStringLiteral("Can't write file!\n") + name + QStringLiteral(": File too large"));
        QCOMPARE(folder_listing(folder.path()), (QMap<QString, QByteArray>{{QStringLiteral("loaded.psg"), song}}));
    }

    // A file read-only to the user is not replaced: instead of the question
    // a box names it, and nothing is written.
    void read_only_files_are_not_replaced()
    {
        if (geteuid() != 0)
            QSKIP("needs root, to act as another user (nobody)");
        QTemporaryDir folder;
        QVERIFY(chmod(QFile::encodeName(folder.path()).constData(), 0777) == 0);
        const QString head = folder.filePath("ro.psg");
        QVERIFY(put_file(head, "old") && chmod(QFile::encodeName(head).constData(), 0444) == 0);  // root's
        for (const char* command : {"S&ave", "Cut and &Save"}) {
            load_psg(six_frames);
            cut_slider->setSliderPosition(2);
            answer({type_file(head), press(QMessageBox::Yes), press(QMessageBox::Ok)});
            QVERIFY(seteuid(65534) == 0);
            click(QString::fromLatin1(command));
            QVERIFY(seteuid(0) == 0);
            QCOMPARE(unanswered(), 0);
            QCOMPARE(seen_boxes().last(), head + " is read-only.\nNothing was saved.");
            QCOMPARE(folder_listing(folder.path()), (QMap<QString, QByteArray>{{"ro.psg", "old"}}));
            QCOMPARE(frame_count, 6u);
        }
    }

    void find_steps_through_three_copies_then_starts_over()
    {
        // Three copies of a stretch of 12,500 random writes, ten a frame.
        QRandomGenerator rng(7);
        QByteArray stretch;
        for (int k = 0; k < 12500; ++k) {
            stretch.append(static_cast<char>(rng.bounded(14)));
            stretch.append(static_cast<char>(rng.bounded(256)));
            if (k % 10 == 9)
                stretch.append('\xff');
        }
        load_psg(psg_header() + stretch + stretch + stretch);
        QCOMPARE(event_count, 37500u);

        click(QStringLiteral("&Find periodic"));
        QCOMPARE(cut_slider->value(), 1250);
        QCOMPARE(cut_pos, 1250u);
        QCOMPARE(find_start, 12500u);
        QCOMPARE(progress_bar->value(), 0);

        click(QStringLiteral("&Find periodic"));
        QCOMPARE(cut_slider->value(), 2500);
        QCOMPARE(find_start, 25000u);
        QCOMPARE(progress_bar->value(), 12500 * 100 / 18750);  // the starting value: no multiple of 1,000 passed

        answer({press(QMessageBox::Ok)});
        click(QStringLiteral("&Find periodic"));
        QCOMPARE(unanswered(), 0);
        QCOMPARE(seen_boxes(), QStringList{QStringLiteral("Not found!\n")});
        QCOMPARE(find_start, 0u);
        QCOMPARE(progress_bar->value(), 100);
        QCOMPARE(cut_pos, 2500u);  // left where it was

        click(QStringLiteral("&Find periodic"));
        QCOMPARE(cut_pos, 1250u);
    }
};

TRELVANE_APP_TEST_MAIN(TestAppEdit)
#include "test_app_edit.moc"
