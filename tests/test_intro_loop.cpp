// An intro and a loop cut from a recording chain exactly: the intro and
// then the loop over and over play as the recording does, in this
// program's own player (the pieces loaded and appended, played as they are
// and saved as one file) and in a player that streams the files' commands
// on a chip that is never reset.
#include "edit/intro_loop.h"
#include "song/psg_read.h"
#include "song/psg_write.h"
#include "song/song.h"
#include "support/loop_songs.h"
#include "support/psg_data.h"
#include "support/song_check.h"

#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(LoopSongKind)

namespace {

constexpr int PASSES = 3;

// The song as this program plays it: loaded, the loop appended PASSES
// times; played as it is, or saved as one file (`save`) and read back.
QByteArray appended_chain(const QString& intro, const QString& loop, bool saved, const QString& dir)
{
    psg_read(intro.toUtf8().constData(), 0, true);
    for (int k = 0; k < PASSES; ++k)
        psg_read(loop.toUtf8().constData(), 0, false);
    if (saved) {
        const QByteArray joined = (dir + "/joined.psg").toUtf8();
        psg_write(0, joined.constData(), frame_count);
        psg_read(joined.constData(), 0, true);
    }
    return rendered(0);
}

// Where the two renders first differ, as a frame number; -1 when the first
// `frames` frames are the same.
int first_difference(const QByteArray& a, const QByteArray& b, uint32_t frames)
{
    for (uint32_t f = 0; f < frames; ++f) {
        const qsizetype at = static_cast<qsizetype>(f) * FRAME_BYTES;
        if (a.mid(at, FRAME_BYTES) != b.mid(at, FRAME_BYTES))
            return static_cast<int>(f);
    }
    return -1;
}

}  // namespace

class TestIntroLoop : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { capture_reports(); }

    void pieces_chain_in_both_players_data()
    {
        QTest::addColumn<LoopSongKind>("kind");
        for (LoopSongKind kind : {REWRITTEN_IN_LOOP, ENVELOPE_RUNS_ON, LOOP_AT_FRAME_0, NEVER_REPEATS})
            QTest::newRow(loop_song(kind).name) << kind;
    }

    void pieces_chain_in_both_players()
    {
        QFETCH(LoopSongKind, kind);
        const LoopSong song = loop_song(kind);
        QCOMPARE(load_psg(song.bytes), READ_COMPLETE);
        const uint32_t length = frame_count;
        const QByteArray recording = rendered(0);

        uint32_t start = 0, period = 0;
        const bool found = choose_loop(0, &start, &period);
        QCOMPARE(found, song.start != UINT32_MAX);
        if (!found)
            return;
        QCOMPARE(start, song.start);
        QCOMPARE(period, song.period);

        QTemporaryDir dir;
        QVERIFY(save_intro_and_loop((dir.path() + "/x").toUtf8(), start, period));
        const QString intro = dir.filePath("x.intro.psg"), loop = dir.filePath("x.loop.psg");
        QCOMPARE(first_difference(appended_chain(intro, loop, false, dir.path()), recording, length), -1);
        QCOMPARE(first_difference(appended_chain(intro, loop, true, dir.path()), recording, length), -1);
        QCOMPARE(first_difference(streamed_chain(read_file(intro), read_file(loop), length), recording, length),
                 -1);

        // The seam plays the end of a pass going on into the loop's start as
        // the chain does there.
        QCOMPARE(load_psg(song.bytes), READ_COMPLETE);
        const uint32_t n = std::min(SEAM_FRAMES, period);
        const QByteArray chain = appended_chain(intro, loop, true, dir.path());
        QCOMPARE(load_psg(song.bytes), READ_COMPLETE);
        QCOMPARE(seam_sound(start, period),
                 chain.mid(static_cast<qsizetype>(start + period - n) * FRAME_BYTES, 2 * n * FRAME_BYTES));
    }

    // The loop the writes alone find starts before register 9 repeats:
    // pieces cut there do not chain, and a loop named there is refused with
    // the start that works.
    void a_loop_before_the_registers_repeat_does_not_chain()
    {
        const LoopSong song = loop_song(REWRITTEN_IN_LOOP);
        QCOMPARE(load_psg(song.bytes), READ_COMPLETE);
        const uint32_t length = frame_count;
        const QByteArray recording = rendered(0);
        uint32_t better = 0;
        QVERIFY(!loop_chains(101, 400, &better));
        QCOMPARE(better, 250u);
        QVERIFY(loop_chains(250, 400));

        QTemporaryDir dir;
        QVERIFY(save_intro_and_loop((dir.path() + "/early").toUtf8(), 101, 400));
        const QByteArray chain =
            appended_chain(dir.filePath("early.intro.psg"), dir.filePath("early.loop.psg"), true, dir.path());
        QCOMPARE(first_difference(chain, recording, length), 501);
    }
};

QTEST_GUILESS_MAIN(TestIntroLoop)
#include "test_intro_loop.moc"
