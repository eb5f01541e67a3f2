// Writing stretches of the song as PSG files, and the editing operations
// built on it: cut in memory, the two pieces of a cut, saving the song.
#include "edit/editing.h"
#include "edit/names.h"
#include "io/files.h"
#include "io/save.h"
#include "song/frontend.h"
#include "song/block_writer.h"
#include "song/psg_read.h"
#include "song/psg_write.h"
#include "song/song.h"
#include "support/psg_data.h"
#include "support/song_check.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <QThread>

#include <climits>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>
#include <sys/resource.h>
#include <sys/stat.h>

class TestWriter : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QByteArray at(const char* name) { return dir.filePath(QString::fromUtf8(name)).toUtf8(); }

private slots:
    void init() { capture_reports(); }

    void writes_give_back_the_file_that_was_read()
    {
        const QByteArray original = psg_bytes({0, 1, 7, 0x38, 0xFF, 0xFF, 13, 14, 15, 3, 0xFF});
        load_psg(original);
        QCOMPARE(psg_write(0, at("same.psg"), frame_count) >= 0, true);
        QCOMPARE(read_file(at("same.psg")), original);

        // Waits come out as one frame end per frame; writes after the last
        // frame end are not written; from == to gives the header alone.
        load_psg(psg_bytes({0, 1, 0xFE, 1, 2, 2, 0xFF, 9, 9}));
        QVERIFY(psg_write(0, at("waits.psg"), frame_count) >= 0);
        QCOMPARE(read_file(at("waits.psg")), psg_bytes({0, 1, 0xFF, 0xFF, 0xFF, 0xFF, 2, 2, 0xFF}));
        QVERIFY(psg_write(2, at("middle.psg"), 5) >= 0);
        QCOMPARE(read_file(at("middle.psg")), psg_bytes({0xFF, 0xFF, 2, 2, 0xFF}));
        QVERIFY(psg_write(3, at("none.psg"), 3) >= 0);
        QCOMPARE(read_file(at("none.psg")), psg_header());
    }

    void a_temporary_file_is_read_back_through_its_handle()
    {
        load_psg(psg_bytes({0, 1, 0xFF, 1, 2, 0xFF, 2, 3, 0xFF}));
        const int h = psg_write(1, nullptr, frame_count);
        QVERIFY(h >= 0);
        QVERIFY(files[h]->isOpen());
        QCOMPARE(files[h]->pos(), files[h]->size());
        QCOMPARE(psg_read(nullptr, h, true), READ_COMPLETE);
        QCOMPARE(song_writes(), (std::vector<Write>{{1, 2, 0}, {2, 3, 1}}));
        QCOMPARE(frame_count, 2u);
    }

    void cut_keeps_the_frames_from_the_cut_position_with_the_state_there()
    {
        const QByteArray song = psg_bytes({0, 1, 8, 15, 0xFF, 1, 2, 0xFF, 2, 3, 0xFF, 3, 4, 0xFF, 9, 9});
        load_psg(song);
        cut_pos = 2;
        play_pos = 3;
        find_start = 5;
        const qsizetype before = files.size();
        QVERIFY(cut_song());
        // Registers set before the cut open the first frame, but for those
        // the frame writes itself.
        QCOMPARE(song_writes(), (std::vector<Write>{{0, 1, 0}, {1, 2, 0}, {8, 15, 0}, {2, 3, 0}, {3, 4, 1}}));
        QCOMPARE(frame_count, 2u);
        QCOMPARE(frames[1].regs[8], 15);
        QCOMPARE(frames[1].regs[2], 3);
        QCOMPARE(cut_pos, 0u);
        QCOMPARE(play_pos, 0u);
        QCOMPARE(find_start, 0u);
        // The temporary file is gone once it has been read back.
        QCOMPARE(files.size(), before + 1);
        QVERIFY(!QFile::exists(files.last()->fileName()));

        // Cut at the end: an empty song.
        cut_pos = frame_count;
        QVERIFY(cut_song());
        QCOMPARE(frame_count, 0u);
        QCOMPARE(event_count, 0u);

        // Without the state the piece has only its own writes.
        load_psg(song);
        cut_pos = 2;
        QVERIFY(cut_song(NO_STATE));
        QCOMPARE(song_writes(), (std::vector<Write>{{2, 3, 0}, {3, 4, 1}}));
        QCOMPARE(frames[1].regs[8], 0);
    }

    void pieces_are_named_by_the_chosen_name()
    {
        const char* cases[][3] = {{"D:/m/song", "D:/m/song.psg", "D:/m/song.rest.psg"},
                                  {"D:/m/song.psg", "D:/m/song.psg", "D:/m/song.rest.psg"},
                                  {"D:/m/song.PSG", "D:/m/song.PSG", "D:/m/song.rest.psg"},
                                  {"D:/m/song.ay", "D:/m/song.ay.psg", "D:/m/song.ay.rest.psg"},
                                  {"a.Psg", "a.Psg", "a.rest.psg"},
                                  {"psg", "psg.psg", "psg.rest.psg"}};
        for (auto& c : cases) {
            QCOMPARE(head_name(c[0]), QByteArray(c[1]));
            QCOMPARE(rest_name(head_name(c[0])), QByteArray(c[2]));
        }
    }

    void cut_and_save_writes_head_and_rest_and_goes_on_with_the_rest()
    {
        load_psg(psg_bytes({0, 1, 0xFF, 1, 2, 0xFF, 0xFE, 1, 2, 3, 0xFF, 4, 4}));
        cut_pos = 2;
        QVERIFY(save_pieces(at("piece")));
        QCOMPARE(read_file(at("piece.psg")), psg_bytes({0, 1, 0xFF, 1, 2, 0xFF}));
        QCOMPARE(read_file(at("piece.rest.psg")), psg_bytes({0, 1, 1, 2, 0xFF, 0xFF, 0xFF, 0xFF, 2, 3, 0xFF}));
        QCOMPARE(frame_count, 5u);
        QCOMPARE(song_writes(), (std::vector<Write>{{0, 1, 0}, {1, 2, 0}, {2, 3, 4}}));

        // Saving the whole song changes nothing in memory.
        QVERIFY(save_song(at("whole.PSG")));
        QCOMPARE(read_file(at("whole.PSG")), psg_bytes({0, 1, 1, 2, 0xFF, 0xFF, 0xFF, 0xFF, 2, 3, 0xFF}));
        QCOMPARE(frame_count, 5u);
    }

    void names_of_any_length_work()
    {
        QString deep = dir.path();
        while (deep.size() < 1500)
            deep += QStringLiteral("/") + QString(200, QLatin1Char('d'));
        QVERIFY(QDir().mkpath(deep));
        load_psg(psg_bytes({0, 1, 0xFF, 1, 2, 0xFF}));
        cut_pos = 1;
        const QByteArray name = (deep + QStringLiteral("/") + QString(200, QLatin1Char('n'))).toUtf8();
        QVERIFY(save_pieces(name));
        QCOMPARE(read_file(QString::fromUtf8(name + ".psg")), psg_bytes({0, 1, 0xFF}));
        QCOMPARE(read_file(QString::fromUtf8(name + ".rest.psg")), psg_bytes({0, 1, 1, 2, 0xFF}));
        // As long a name as the system takes.
        const QByteArray longest = dir.path().toUtf8() + "/" + QByteArray(NAME_MAX - 4, 'm') + ".psg";
        QVERIFY(save_song(longest));
        QCOMPARE(QFileInfo(QString::fromUtf8(longest)).size(), 16 + 5);
    }

    void write_failures_are_reported_and_nothing_half_written_stays()
    {
        Reports& r = capture_reports();
        load_psg(psg_bytes({0, 1, 0xFF, 1, 2, 0xFF}));
        // A full disk.
        QCOMPARE(psg_write(0, "/dev/full", frame_count), -1);
        QCOMPARE(r.errors, QStringList{QStringLiteral("Can't write file!")});
        QVERIFY(QFileInfo::exists(QStringLiteral("/dev/full")));

        // A name that cannot be created: its folder does not exist.
        r = capture_reports();
        QVERIFY(!save_song(at("w0.psg/inside")));
        QCOMPARE(r.errors, QStringList{QStringLiteral("Can't ceate file!")});

        // Cut and save stops at the first piece that fails; the song stays.
        load_psg(psg_bytes({0, 1, 0xFF, 1, 2, 0xFF, 2, 3, 0xFF}));
        cut_pos = 1;
        const std::vector<Write> song = song_writes();
        r = capture_reports();
        QVERIFY(QDir().mkpath(QString::fromUtf8(at("blocked.rest.psg"))));  // the rest name is a folder
        QFile::remove(QString::fromUtf8(at("blocked.psg")));
        QVERIFY(!save_pieces(at("blocked")));
        QCOMPARE(r.errors, QStringList{QStringLiteral("Can't ceate file!")});
        QCOMPARE(song_writes(), song);
        QCOMPARE(frame_count, 3u);
        QCOMPARE(cut_pos, 1u);
        QVERIFY(QDir().mkpath(QString::fromUtf8(at("head.psg"))));  // the head fails...
        QVERIFY(!save_pieces(at("head")));
        QVERIFY(!QFile::exists(QString::fromUtf8(at("head.rest.psg"))));  // ...and the rest is never tried
        QCOMPARE(song_writes(), song);

        // Cut keeps the song when no temporary file can be made.
        r = capture_reports();
        const QByteArray tmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", "/proc");  // no files can be made there, not even by root
        QVERIFY(!cut_song());
        qputenv("TMPDIR", tmp);
        QCOMPARE(r.errors,
                 (QStringList{QStringLiteral("Failed to create tempfiles\n"), QStringLiteral("Can't ceate file!")}));
        QCOMPARE(song_writes(), song);
        QCOMPARE(cut_pos, 1u);
    }

    // A failed write is reported once: the box's own words, then the file
    // and the system's reason.
    void a_failure_names_the_file_and_why()
    {
        load_psg(psg_bytes({0, 1, 0xFF, 1, 2, 0xFF}));
        QVERIFY(save_file(at("l.loop.psg"), "old loop"));
        QVERIFY(symlink(at("l.loop.psg").constData(), at("l.intro.psg").constData()) == 0);
        QVERIFY(QDir().mkpath(QString::fromUtf8(at("g.rest.psg"))));
        const QByteArray d = QFile::encodeName(dir.path()) + '/';
        const struct {
            const char* what;
            std::function<bool()> save;
            QByteArray text;
        } cases[] = {
            {"a full disk", [] { return psg_write(0, "/dev/full", frame_count) != -1; },
             "Can't write file!\n/dev/full: No space left on device"},
            {"a missing folder", [&] { return save_song(at("none/x")); },
             "Can't ceate file!\n" + d + "none/x.psg: No such file or directory"},
            {"the rest a folder",
             [&] {
                 cut_pos = 1;
                 return save_pieces(at("g"));
             },
             "Can't ceate file!\n" + d + "g.rest.psg: Is a directory"},
            {"a pair that is one file", [&] { return save_two_pieces(at("l.intro.psg"), 1, at("l.loop.psg"), 2, {}); },
             "Can't ceate file!\n" + d + "l.loop.psg: the same file as " + d + "l.intro.psg"},
        };
        for (const auto& c : cases) {
            Reports& r = capture_reports();
            QVERIFY2(!c.save(), c.what);
            QVERIFY2(r.failures.size() == 1, c.what);
            QCOMPARE(failure_text(r.failures[0]), QString::fromUtf8(c.text));
        }
    }

    // However a save fails, every name keeps what it had and no temporary
    // file is left in the folder.
    void a_failed_save_changes_no_name()
    {
        load_psg(psg_header() + QByteArray(5000, '\xff'));
        QVERIFY(save_file(at("song.psg"), "old song"));
        QVERIFY(save_file(at("a.psg"), "old a"));
        QVERIFY(QDir().mkpath(QString::fromUtf8(at("cut.rest.psg"))));
        QVERIFY(save_file(at("cut.psg"), "old head"));
        const QMap<QString, QByteArray> before = folder_listing(dir.path());

        // The disk fills up (a file size limit) while the song is written
        // over the file: a song of one block; one of several, failing in the
        // middle; one of exactly two blocks, whose second fails with nothing
        // left for the end, so that the final flush succeeds.
        signal(SIGXFSZ, SIG_IGN);  // as the program's entry points do
        const struct {
            int frames;
            rlim_t limit;
        } full_disks[] = {{5000, 1000}, {200000, 1000}, {(1 << 17) - 16, 100000}};
        for (const auto& d : full_disks) {
            load_psg(psg_header() + QByteArray(d.frames, '\xff'));
            QCOMPARE(frame_count, static_cast<uint32_t>(d.frames));
            rlimit old_limit{};
            QVERIFY(getrlimit(RLIMIT_FSIZE, &old_limit) == 0);
            rlimit limit = old_limit;
            limit.rlim_cur = d.limit;
            QVERIFY(setrlimit(RLIMIT_FSIZE, &limit) == 0);
            const bool saved = save_song(at("song.psg"));
            QVERIFY(setrlimit(RLIMIT_FSIZE, &old_limit) == 0);
            QVERIFY2(!saved, QByteArray::number(d.frames).constData());
        }
        load_psg(psg_header() + QByteArray(5000, '\xff'));

        // The rest piece cannot be written: the head is not replaced either.
        cut_pos = 10;
        QVERIFY(!save_pieces(at("cut")));

        // The second of two files cannot be renamed over its name (it has
        // become a folder): the first one is put back.
        const int handles[2] = {io_creat_pending(at("a.psg")), io_creat_pending(at("b.psg"))};
        QVERIFY(handles[0] >= 0 && handles[1] >= 0);
        io_write(handles[0], "new a", 5);
        io_write(handles[1], "new b", 5);
        QVERIFY(QDir().mkpath(QString::fromUtf8(at("b.psg"))));
        QVERIFY(!io_put_in_place(handles, 2));

        // A set of new names: the first one goes again.
        const int fresh[2] = {io_creat_pending(at("n1.psg")), io_creat_pending(at("n2.psg"))};
        QVERIFY(fresh[0] >= 0 && fresh[1] >= 0);
        io_write(fresh[0], "new 1", 5);
        io_write(fresh[1], "new 2", 5);
        QVERIFY(QDir().mkpath(QString::fromUtf8(at("n2.psg"))));
        QVERIFY(!io_put_in_place(fresh, 2));

        QMap<QString, QByteArray> expected = before;
        expected[QStringLiteral("b.psg")] = "<folder>";
        expected[QStringLiteral("n2.psg")] = "<folder>";
        QCOMPARE(folder_listing(dir.path()), expected);
        QCOMPARE(frame_count, 5000u);
    }
    // A block the sink takes only in part, or not at all, fails the whole
    // output, whatever the blocks after it do; the bytes go on in order.
    void a_failed_block_fails_the_file()
    {
        const struct {
            const char* what;
            int failing;   // which of the three blocks; -1: none
            qint64 taken;  // of the failing block's four bytes
        } cases[] = {
            {"every block taken", -1, 0},
            {"the first taken in part", 0, 2},
            {"the middle one refused", 1, -1},
            {"the last one taken in part", 2, 1},
        };
        for (const auto& c : cases) {
            QByteArray sunk;
            int block = 0;
            BlockWriter out(
                [&](const char* bytes, qint64 count) {
                    sunk.append(bytes, count);
                    return block++ == c.failing ? c.taken : count;
                },
                4);
            out.put("0123456789", 10);
            out.flush();
            QVERIFY2(out.failed == (c.failing >= 0), c.what);
            QCOMPARE(sunk, QByteArray("0123456789"));
            QCOMPARE(block, 3);
        }
    }

    // A save onto a symbolic link (relative, into another folder) replaces
    // the file it points at, with its permissions; the link stays.
    void a_link_stays_and_its_file_is_replaced()
    {
        QVERIFY(QDir().mkpath(QString::fromUtf8(at("real"))));
        QVERIFY(save_file(at("real/song.psg"), "old"));
        QVERIFY(chmod(at("real/song.psg").constData(), 0640) == 0);  // neither the umask's nor a temporary file's
        QVERIFY(symlink("real/song.psg", at("link.psg").constData()) == 0);
        const QByteArray song = psg_bytes({0, 1, 0xFF, 1, 2, 0xFF});
        load_psg(song);
        QVERIFY(save_song(at("link.psg")));
        struct stat replaced { };
        QVERIFY(stat(at("real/song.psg").constData(), &replaced) == 0);
        QCOMPARE(replaced.st_mode & 07777, 0640u);
        QCOMPARE(QFileInfo(QString::fromUtf8(at("link.psg"))).symLinkTarget(), QString::fromUtf8(at("real/song.psg")));
        QCOMPARE(read_file(QString::fromUtf8(at("real/song.psg"))), song);
        QCOMPARE(QDir(QString::fromUtf8(at("real"))).entryList(QDir::Files | QDir::Hidden), QStringList{"song.psg"});
    }

    // A named pipe under the name is written into, and stays a pipe.
    void a_pipe_is_written_into()
    {
        const QByteArray pipe = at("pipe.psg");
        QVERIFY(mkfifo(pipe.constData(), 0600) == 0);
        // Its reader, open before the save (a song fits the pipe's buffer).
        const int reader = open(pipe.constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(reader >= 0);
        const QByteArray song = psg_bytes({0, 1, 0xFF, 1, 2, 0xFF});
        load_psg(song);
        const bool saved = save_song(pipe);
        char heard[256];
        const ssize_t n = read(reader, heard, sizeof heard);
        close(reader);
        QVERIFY(saved);
        QCOMPARE(QByteArray(heard, n > 0 ? static_cast<qsizetype>(n) : 0), song);
        struct stat st { };
        QVERIFY(lstat(pipe.constData(), &st) == 0 && S_ISFIFO(st.st_mode));
    }

    // Whether a file may be replaced is the effective user's question: a
    // program run set-user-ID writes what its effective user may.
    void the_effective_user_decides_what_may_be_written()
    {
        if (geteuid() != 0)
            QSKIP("needs root, to take on the ids of another user (nobody)");
        const uid_t nobody = 65534;
        QTemporaryDir open_dir;  // one that nobody may enter
        QVERIFY(chmod(QFile::encodeName(open_dir.path()), 0755) == 0);
        const QByteArray file = QFile::encodeName(open_dir.filePath("root.psg"));
        QVERIFY(save_file(file, "old") && chmod(file.constData(), 0644) == 0);
        // A file anyone may write, of a third user, in a sticky folder: only
        // its owner, the folder's and root may replace it.
        QVERIFY(QDir().mkpath(open_dir.filePath("sticky")));
        QVERIFY(chmod(QFile::encodeName(open_dir.filePath("sticky")), 01777) == 0);
        const QByteArray theirs = QFile::encodeName(open_dir.filePath("sticky/theirs.psg"));
        QVERIFY(save_file(theirs, "old") && chmod(theirs.constData(), 0666) == 0
                && chown(theirs.constData(), nobody - 1, nobody - 1) == 0);
        const struct {
            QByteArray name;
            uid_t real, effective;
            int error;  // of save_resolve
        } cases[] = {{file, nobody, 0, 0},
                     {file, 0, nobody, SAVE_READ_ONLY},
                     {theirs, nobody, 0, 0},
                     {theirs, 0, nobody, EPERM}};
        for (const auto& c : cases) {
            const pid_t child = fork();
            if (child == 0) {
                SaveTarget t;
                if (setresuid(c.real, c.effective, 0) != 0)
                    _exit(99);
                const bool ok = save_resolve(t, c.name);
                _exit(ok == (c.error == 0) && t.error == c.error ? 0 : 1);
            }
            int status = -1;
            QVERIFY(waitpid(child, &status, 0) == child && WIFEXITED(status));
            QVERIFY2(WEXITSTATUS(status) == 0,
                     qPrintable(QString("%1: real %2, effective %3").arg(c.name).arg(c.real).arg(c.effective)));
        }
    }

    // Every replacement has its content on the disk before the name points
    // at it: each temporary file is flushed before it is renamed.
    void content_is_flushed_before_the_rename()
    {
        static QList<QPair<QByteArray, QByteArray>> steps;
        save_trace = [](const char* step, const QByteArray& file) { steps.append({step, file}); };
        load_psg(psg_bytes({0, 1, 0xFF, 1, 2, 0xFF, 2, 3, 0xFF}));
        const struct {
            const char* what;
            std::function<bool()> replace;
            int files;
        } cases[] = {
            {"a whole file", [&] { return save_file(at("f.psg"), "new"); }, 1},
            {"the two pieces of a cut",
             [&] {
                 cut_pos = 1;
                 return save_pieces(at("f"));
             },
             2},
            {"a set of closed pieces",
             [&] {
                 const int h[3] = {io_creat_pending(at("p1")), io_creat_pending(at("p2")), io_creat_pending(at("p3"))};
                 for (int k : h)
                     io_write(k, "piece", 5);
                 return io_close_pending(h[0]) && io_close_pending(h[1]) && io_put_in_place(h, 3);
             },
             3},
        };
        for (const auto& c : cases) {
            steps.clear();
            QVERIFY2(c.replace(), c.what);
            QSet<QByteArray> flushed;
            int renamed = 0;
            for (qsizetype i = 0; i < steps.size(); ++i) {
                if (steps[i].first == "fsync")
                    flushed.insert(steps[i].second);
                else if (steps[i].first == "rename") {
                    ++renamed;
                    QVERIFY2(flushed.contains(steps[i].second), c.what);  // the temporary name...
                    ++i;                                                  // ...then the name
                }
            }
            QVERIFY2(renamed == c.files, c.what);
        }
        save_trace = nullptr;
    }

    // A signal that comes while a set is renamed ends the process only once
    // the set is whole; none leaves a file of ours behind.
    void a_signal_leaves_a_set_whole()
    {
        static int sig;
        for (int s : {SIGTERM, SIGHUP, SIGINT, SIGQUIT, SIGUSR1, SIGALRM, SIGPIPE, SIGXCPU, SIGVTALRM}) {
            QTemporaryDir folder;
            const QByteArray d = QFile::encodeName(folder.path()) + '/';
            for (const char* n : {"s1", "s2", "s3"})
                QVERIFY(save_file(d + n, "old"));
            sig = s;
            const pid_t child = fork();
            if (child == 0) {
                for (int k = 1; k < 32; ++k)
                    signal(k, SIG_DFL);
                save_clean_up_on_signals();
                save_trace = [](const char* step, const QByteArray&) {
                    static int renames;  // traced twice each: the signal comes after the first
                    if (strcmp(step, "rename") == 0 && ++renames == 3)
                        kill(getpid(), sig);
                };
                int h[3] = {io_creat_pending(d + "s1"), io_creat_pending(d + "s2"), io_creat_pending(d + "s3")};
                for (int k : h)
                    io_write(k, "new", 3);
                io_put_in_place(h, 3);
                _exit(0);
            }
            int status = 0;
            QVERIFY(waitpid(child, &status, 0) == child);
            QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == s, strsignal(s));
            QCOMPARE(folder_listing(folder.path()),
                     (QMap<QString, QByteArray>{{"s1", "new"}, {"s2", "new"}, {"s3", "new"}}));
        }
    }

    // Another writer holds the folder (stopped with Ctrl+Z): a writer says
    // once that it waits, and with a patience gives up naming the folder.
    void a_held_folder_is_said_and_given_up_on()
    {
        const struct {
            int patience_ms;
            int held_ms;  // then the other writer goes on
            bool saved;
        } cases[] = {{1500, 60000, false}, {0, 1600, true}};
        for (const auto& c : cases) {
            QTemporaryDir folder;
            const QByteArray d = QFile::encodeName(folder.path());
            const int lock = ::open(d.constData(), O_RDONLY | O_DIRECTORY);
            QVERIFY(lock >= 0 && flock(lock, LOCK_EX) == 0);
            std::thread other([&] {
                QThread::msleep(static_cast<unsigned long>(c.held_ms < 60000 ? c.held_ms : 0));
                if (c.held_ms < 60000)
                    ::close(lock);
            });
            Reports& r = capture_reports();
            save_lock_patience_ms = c.patience_ms;
            QString reason;
            const bool saved = save_file(d + "/x.psg", "new", &reason);
            save_lock_patience_ms = 0;
            other.join();
            if (c.held_ms >= 60000)
                ::close(lock);
            QCOMPARE(saved, c.saved);
            QCOMPARE(r.diagnostics, "waiting for another Trelvane writing in " + d + "\n");
            QCOMPARE(reason, c.saved ? QString() : "another Trelvane is writing in " + folder.path());
        }
    }

    // Two processes replace the same pair of names at once: the second waits
    // for the first one's whole set, so the pair is always one process's.
    void a_set_is_replaced_whole_against_another_process()
    {
        const QByteArray head = at("pair.psg"), rest = at("pair.rest.psg");
        const auto replace_pair = [&](const QByteArray& who) {
            SaveTarget t[2];
            return save_open(t[0], head) && save_write(t[0], who.constData(), who.size()) && save_close(t[0])
                && save_open(t[1], rest) && save_write(t[1], who.constData(), who.size()) && save_close(t[1])
                && save_replace(t, 2);
        };
        int ready[2];
        QVERIFY(pipe(ready) == 0);
        const pid_t child = fork();
        if (child == 0) {
            // Between its two renames: tell the parent, then take its time.
            static int told;
            told = ready[1];
            save_trace = [](const char* step, const QByteArray& file) {
                if (strcmp(step, "rename") == 0 && file.endsWith("/pair.rest.psg")) {
                    (void)!write(told, "x", 1);
                    usleep(300000);
                }
            };
            _exit(replace_pair("child") ? 0 : 1);
        }
        char x;
        QVERIFY(read(ready[0], &x, 1) == 1);
        QVERIFY(replace_pair("parent"));
        int status = -1;
        QVERIFY(waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0);
        QCOMPARE(read_file(rest), read_file(head));
        ::close(ready[0]);
        ::close(ready[1]);
    }
};

QTEST_GUILESS_MAIN(TestWriter)
#include "test_writer.moc"
