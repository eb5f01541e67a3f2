// Reading PSG files into the song, and the file table underneath.
#include "io/files.h"
#include "song/frontend.h"
#include "song/psg_read.h"
#include "song/song.h"
#include "support/psg_data.h"
#include "support/song_check.h"

#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

QByteArray regs(const FrameInfo& f)
{
    return QByteArray(reinterpret_cast<const char*>(f.regs), 16);
}

QByteArray image(std::initializer_list<std::pair<int, int>> values)
{
    QByteArray r(16, '\0');
    for (auto [reg, value] : values)
        r[reg] = static_cast<char>(value);
    return r;
}

// A file whose reads fail after its first `good` bytes, as on a failing disk.
class FailingFile : public QFile {
public:
    FailingFile(const QString& name, qint64 good_bytes) : QFile(name), good(good_bytes) { }

protected:
    qint64 readData(char* data, qint64 max) override
    {
        if (given >= good) {
            setErrorString(QStringLiteral("Input/output error"));
            return -1;
        }
        const qint64 n = QFile::readData(data, qMin(max, good - given));
        given += qMax<qint64>(n, 0);
        return n;
    }

private:
    qint64 good;
    qint64 given = 0;
};

// Enters an open file in the table, as the layer does; returns its handle.
int enter(QFile* file)
{
    files.append(file);
    return static_cast<int>(files.size() - 1);
}

}  // namespace

class TestReader : public QObject {
    Q_OBJECT
private slots:
    void init() { capture_reports(); }

    void commands_become_writes_frames_and_images()
    {
        // Garbage in the header: it is skipped unread.
        QByteArray bytes = psg_bytes({0, 5, 1, 3, 0xFF, 2, 7, 0xFE, 2, 8, 15, 0xFF, 14, 1});
        bytes.replace(0, 16, QByteArray(16, '\x77'));
        cut_pos = 3;
        find_start = 9;
        QCOMPARE(load_psg(bytes), READ_COMPLETE);
        const std::vector<Write> expected = {{0, 5, 0}, {1, 3, 0}, {2, 7, 1}, {8, 15, 9}, {14, 1, 10}};
        QCOMPARE(song_writes(), expected);
        QCOMPARE(frame_count, 10u);
        QCOMPARE(song_invariant_violation(), QString());
        QCOMPARE(regs(frames[0]), image({}));
        QCOMPARE(regs(frames[1]), image({{0, 5}, {1, 3}}));
        for (int f = 2; f <= 9; ++f) {  // the eight frames of the wait share image and start
            QCOMPARE(regs(frames[f]), image({{0, 5}, {1, 3}, {2, 7}}));
            QCOMPARE(frames[f].first_event, music + 3);
        }
        QCOMPARE(regs(frames[10]), image({{0, 5}, {1, 3}, {2, 7}, {8, 15}}));
        QCOMPARE(frame_writes(10), (std::vector<Write>{{14, 1, 10}}));
        QCOMPARE(play_event, music);
        QCOMPARE(cut_pos, 0u);
        QCOMPARE(find_start, 0u);
        Reports& r = capture_reports();
        QCOMPARE(load_psg(bytes), READ_COMPLETE);  // the same song again
        QCOMPARE(song_writes(), expected);
        QCOMPARE(r.song_reads, 1);
        QVERIFY(r.errors.isEmpty());
    }

    void waits_of_zero_and_short_files_add_nothing()
    {
        QCOMPARE(load_psg(psg_bytes({0xFE, 0, 0xFE, 0, 3, 4})), READ_COMPLETE);
        QCOMPARE(frame_count, 0u);
        QCOMPARE(song_writes(), (std::vector<Write>{{3, 4, 0}}));

        for (int size : {0, 5, 16}) {
            QCOMPARE(load_psg(psg_header().left(size)), READ_COMPLETE);
            QCOMPARE(frame_count, 0u);
            QCOMPARE(event_count, 0u);
        }
    }

    void a_command_cut_short_by_the_end_is_left_out()
    {
        QCOMPARE(load_psg(psg_bytes({0, 1, 0xFF, 3})), READ_COMPLETE);
        QCOMPARE(song_writes(), (std::vector<Write>{{0, 1, 0}}));
        QCOMPARE(frame_count, 1u);
        QCOMPARE(load_psg(psg_bytes({0, 1, 0xFF, 0xFE})), READ_COMPLETE);
        QCOMPARE(frame_count, 1u);
        QCOMPARE(event_count, 1u);
    }

    void appended_files_continue_the_last_frame_with_images_from_zero()
    {
        QCOMPARE(load_psg(psg_bytes({0, 9, 7, 0x38, 0xFF, 1, 2, 0xFF})), READ_COMPLETE);
        play_pos = 2;
        find_start = 77;
        QCOMPARE(load_psg(psg_bytes({3, 4, 0xFF, 5, 6, 0xFF}), false), READ_COMPLETE);
        QCOMPARE(frame_count, 4u);
        const std::vector<Write> expected = {{0, 9, 0}, {7, 0x38, 0}, {1, 2, 1}, {3, 4, 2}, {5, 6, 3}};
        QCOMPARE(song_writes(), expected);
        QCOMPARE(song_invariant_violation(), QString());
        // Frame 3 opens with the appended file's first frame end: only what
        // that file wrote shows in its image.
        QCOMPARE(regs(frames[3]), image({{3, 4}}));
        QCOMPARE(regs(frames[4]), image({{3, 4}, {5, 6}}));
        QCOMPARE(regs(frames[2]), image({{0, 9}, {7, 0x38}, {1, 2}}));
        QCOMPARE(play_pos, 2u);  // kept: the reader leaves it to the slider
        QCOMPARE(find_start, 77u);

        // Appending a file to itself doubles the frames.
        QByteArray once = psg_bytes({0, 1, 0xFF, 0xFE, 1, 2, 2});
        QCOMPARE(load_psg(once), READ_COMPLETE);
        uint32_t f = frame_count;
        QCOMPARE(load_psg(once, false), READ_COMPLETE);
        QCOMPARE(frame_count, 2 * f);
    }

    void leftovers_of_a_longer_song_are_never_walked()
    {
        QByteArray longer = psg_header();
        for (int f = 0; f < 50; ++f)
            longer.append("\x00\x01\x01\x02\xff", 5);
        QCOMPARE(load_psg(longer), READ_COMPLETE);
        // The short song ends with a frame end: its last frame (1) is empty,
        // although the leftover record behind it belongs to a frame 1.
        QCOMPARE(load_psg(psg_bytes({4, 4, 0xFF})), READ_COMPLETE);
        QCOMPARE(event_count, 1u);
        QCOMPARE(music[1].frame, 0u);
        QCOMPARE(music[2].frame, 1u);
        QVERIFY(frame_writes(1).empty());
        QCOMPARE(frames[1].first_event, music + 1);
    }

    void an_undefined_byte_rejects_the_file_but_keeps_a_playable_song()
    {
        Reports& r = capture_reports();
        QCOMPARE(load_psg(psg_bytes({0xFD})), READ_REJECTED);
        QCOMPARE(r.errors, QStringList{QStringLiteral("Wrong CMD 0xfd (0x10)")});

        // Real files often end with 0xFD and a few more bytes.
        r = capture_reports();
        cut_pos = 5;
        QCOMPARE(load_psg(psg_bytes({0, 1, 0xFF, 0xFE, 1, 8, 2, 0xFF, 0xFD, 0x10, 0, 0})), READ_REJECTED);
        QCOMPARE(r.errors, QStringList{QStringLiteral("Wrong CMD 0xfd (0x18)")});
        QCOMPARE(frame_count, 6u);
        QCOMPARE(event_count, 2u);
        QCOMPARE(r.song_reads, 1);  // sliders and status follow the song
        QCOMPARE(play_event, music);
        QCOMPARE(cut_pos, 0u);

        r = capture_reports();
        QCOMPARE(load_psg(psg_bytes({0x10})), READ_REJECTED);
        QCOMPARE(r.errors, QStringList{QStringLiteral("Wrong CMD 0x10 (0x10)")});
        QCOMPARE(frame_count, 0u);
    }

    void a_file_that_cannot_be_opened_changes_nothing()
    {
        QCOMPARE(load_psg(psg_bytes({0, 1, 0xFF})), READ_COMPLETE);
        for (const char* name : {"/nonexistent/song.psg", "/tmp"}) {  // nothing there; a folder
            Reports& r = capture_reports();
            const qsizetype handles = files.size();
            QVERIFY2(psg_read(name, 0, true) == READ_OPEN_FAILED, name);
            QCOMPARE(r.errors, QStringList{QStringLiteral("Can't open %1\n!").arg(QLatin1String(name))});
            QCOMPARE(r.song_reads, 0);
            QCOMPARE(frame_count, 1u);
            QCOMPARE(files.size(), handles);
        }
        Reports& r = capture_reports();
        psg_read("/nonexistent/song.psg", 0, true);
        QCOMPARE(r.diagnostics, QByteArray("The file does not exist /nonexistent/song.psg"));
    }

    void a_read_error_is_reported_and_changes_nothing()
    {
        QCOMPARE(load_psg(psg_bytes({0, 1, 0xFF, 2, 3, 0xFF})), READ_COMPLETE);
        const std::vector<Write> before = song_writes();
        QByteArray bytes = psg_header();
        for (int f = 0; f < 100; ++f)
            bytes.append("\x01\x02\xff", 3);
        const QString path = write_temp_psg(QStringLiteral("failing.psg"), bytes);
        Reports& r = capture_reports();
        for (bool reset : {true, false}) {
            auto* file = new FailingFile(path, 100);
            QVERIFY(file->open(QIODevice::ReadOnly));
            QCOMPARE(psg_read(nullptr, enter(file), reset), READ_FAILED);
            QVERIFY(!file->isOpen());
        }
        QCOMPARE(r.errors, QStringList(2, QStringLiteral("Can't read %1: Input/output error").arg(path)));
        QCOMPARE(r.song_reads, 0);
        QCOMPARE(song_writes(), before);
        QCOMPARE(frame_count, 2u);
    }

    void a_pipe_is_read_like_a_file()
    {
        const QByteArray bytes = psg_bytes({0, 1, 0xFF, 0xFE, 1, 2, 3, 0xFF, 4, 5});
        QCOMPARE(load_psg(bytes), READ_COMPLETE);
        const std::vector<Write> from_file = song_writes();
        int ends[2];
        QVERIFY(pipe(ends) == 0 && write(ends[1], bytes.constData(), size_t(bytes.size())) == bytes.size());
        close(ends[1]);
        auto* file = new QFile;
        QVERIFY(file->open(ends[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
        psg_require_signature = true;  // read once, with the rest
        const ReadResult result = psg_read(nullptr, enter(file), true);
        psg_require_signature = false;
        QCOMPARE(result, READ_COMPLETE);
        QCOMPARE(song_writes(), from_file);
        QCOMPARE(frame_count, 6u);

        // A named pipe whose writer is slow: the read waits for the rest.
        QTemporaryDir dir;
        const QByteArray fifo = QFile::encodeName(dir.filePath("slow.psg"));
        QVERIFY(mkfifo(fifo.constData(), 0600) == 0);
        const int w = ::open(fifo.constData(), O_RDWR);  // a writer that never blocks
        QVERIFY(w >= 0 && write(w, bytes.constData(), 20) == 20);
        ssize_t written = 0;
        std::thread late([&] {
            QThread::msleep(100);
            written = write(w, bytes.constData() + 20, size_t(bytes.size() - 20));
            close(w);
        });
        const ReadResult slow = psg_read(fifo.constData(), 0, true);
        late.join();
        QCOMPARE(slow, READ_COMPLETE);
        QCOMPARE(written, bytes.size() - 20);
        QCOMPARE(song_writes(), from_file);
    }

    void capacity_is_checked_before_anything_changes()
    {
        // The largest song by frames loads.
        QByteArray most = psg_header() + QByteArray(FRAMES_MAX_LEN - 1, '\xff');
        QCOMPARE(load_psg(most), READ_COMPLETE);
        QCOMPARE(frame_count, FRAMES_MAX_LEN - 1);

        QCOMPARE(load_psg(psg_bytes({0, 1, 0xFF, 2, 3, 0xFF})), READ_COMPLETE);
        cut_pos = 1;
        play_pos = 2;
        find_start = 4;
        const std::vector<Write> before = song_writes();
        Reports& r = capture_reports();
        // One frame end too many, an append past the limit, waits past it.
        QCOMPARE(load_psg(most + QByteArray(1, '\xff')), READ_TOO_BIG);
        QCOMPARE(load_psg(most, false), READ_TOO_BIG);
        QByteArray waits = psg_header();
        for (uint32_t i = 0; i < FRAMES_MAX_LEN / 1020 + 1; ++i)
            waits.append("\xfe\xff", 2);
        QCOMPARE(load_psg(waits), READ_TOO_BIG);
        // Waits of no frames fill no song, but a stream of them longer than
        // any song could be does not fit either (it may never end).
        QCOMPARE(load_psg(psg_header() + QByteArray("\xfe\x00", 2).repeated(MUSIC_MAX_LEN + FRAMES_MAX_LEN / 2 + 1)),
                 READ_TOO_BIG);
        QCOMPARE(r.errors, QStringList(4, QStringLiteral("MUSIC_MAX_LEN is reached!")));
        QCOMPARE(r.song_reads, 0);
        QCOMPARE(song_writes(), before);
        QCOMPARE(frame_count, 2u);
        QCOMPARE(cut_pos, 1u);
        QCOMPARE(play_pos, 2u);
        QCOMPARE(find_start, 4u);

        // By writes: exactly the capacity loads, one more does not.
        QByteArray writes = psg_header();
        writes.reserve(16 + 2 * (MUSIC_MAX_LEN + 1));
        for (uint32_t i = 0; i < MUSIC_MAX_LEN; ++i)
            writes.append("\x01\x02", 2);
        QCOMPARE(load_psg(writes), READ_COMPLETE);
        QCOMPARE(event_count, MUSIC_MAX_LEN);
        QCOMPARE(load_psg(psg_bytes({0, 1, 0xFF})), READ_COMPLETE);
        writes.append("\x01\x02", 2);
        QCOMPARE(load_psg(writes), READ_TOO_BIG);
        QCOMPARE(event_count, 1u);
    }

    void handles_count_up_and_failures_use_none()
    {
        Reports& r = capture_reports();
        QString a = write_temp_psg(QStringLiteral("h1.psg"), psg_bytes({}));
        const int first = io_open(a.toUtf8().constData());
        QVERIFY(first >= 0);
        files[first]->close();  // a closed file keeps its handle
        QCOMPARE(io_open("/no/such/file"), -1);
        QCOMPARE(io_open(a.toUtf8().constData()), first + 1);
        const QString dir = QFileInfo(a).absolutePath();
        QCOMPARE(io_creat((dir + QStringLiteral("/missing/x.psg")).toUtf8().constData()), -1);
        QCOMPARE(r.diagnostics,
                 QByteArray("The file does not exist /no/such/file") + "Failed to create "
                     + (dir + QStringLiteral("/missing/x.psg")).toUtf8() + "\n");
        // Creating an existing file empties it.
        const int c = io_creat(a.toUtf8().constData());
        QCOMPARE(c, first + 2);
        files[c]->close();
        QCOMPARE(QFileInfo(a).size(), 0);
        const int t = io_tmpfile();
        QCOMPARE(t, first + 3);
        QVERIFY(files[t]->isOpen());
        const QString tmp_name = files[t]->fileName();
        QVERIFY(QFile::exists(tmp_name));
        io_remove_tmpfiles();
        QVERIFY(!QFile::exists(tmp_name));
        QCOMPARE(io_path(nullptr), QString());
    }
};

QTEST_GUILESS_MAIN(TestReader)
#include "test_reader.moc"
