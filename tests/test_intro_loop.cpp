// An intro and a loop cut from a recording chain exactly: the intro and
// then the loop over and over play as the recording does, in this
// program's player (the pieces appended and saved as one file, as `save`
// does) and in a player that streams the files' commands to a chip that is
// never reset.
#include "audio/chip.h"
#include "edit/intro_loop.h"
#include "edit/loop_facts.h"
#include "formats/loop_export.h"
#include "song/psg_read.h"
#include "song/song.h"
#include "support/loop_songs.h"
#include "support/psg_data.h"
#include "support/song_check.h"

#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(LoopSongKind)

namespace {

// The pieces loaded and the loop appended three times, saved as one file,
// read back and rendered.
QByteArray saved_chain(const QString& head)
{
    psg_read((head + ".intro.psg").toUtf8().constData(), 0, true);
    for (int k = 0; k < 3; ++k)
        psg_read((head + ".loop.psg").toUtf8().constData(), 0, false);
    const QByteArray joined = (head + ".joined.psg").toUtf8();
    psg_write(0, joined.constData(), frame_count);
    psg_read(joined.constData(), 0, true);
    return rendered(0);
}

// The first frame where the renders differ within `frames`; -1 if none.
int first_difference(const QByteArray& a, const QByteArray& b, uint32_t frames)
{
    for (uint32_t f = 0; f < frames; ++f)
        if (a.mid(f * FRAME_BYTES, FRAME_BYTES) != b.mid(f * FRAME_BYTES, FRAME_BYTES))
            return static_cast<int>(f);
    return -1;
}

// A YM or VGM player's sound of the dump: every frame once, then from the
// loop frame on over and over, on a chip it never resets; `frames` frames.
QByteArray replayed(const RegisterDump& dump, uint32_t loop_frame, uint32_t frames)
{
    QByteArray pcm;
    chip_reset();
    for (uint32_t k = 0, f = 0; k < frames; ++k, f = f + 1 < dump.frames() ? f + 1 : loop_frame) {
        for (uint32_t i = dump.begin(f); i < dump.end(f); ++i)
            reg_queue_push(dump.writes[i].reg, dump.writes[i].value);
        chip_render_frame();
        pcm.append(reinterpret_cast<const char*>(frame_buf), FRAME_BYTES);
    }
    return pcm;
}

}  // namespace

class TestIntroLoop : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void initTestCase() { capture_reports(); }

    void pieces_chain_in_both_players_data()
    {
        QTest::addColumn<LoopSongKind>("kind");
        for (LoopSongKind kind :
             {REWRITTEN_IN_LOOP, ENVELOPE_RUNS_ON, LOOP_AT_FRAME_0, NEVER_REPEATS, SAME_VALUE_AT_START, REPEATS_INSIDE,
              REWRITTEN_2S_BEFORE_THE_END, REWRITTEN_TOO_LATE, SET_JUST_BEFORE, ENVELOPE_AT_REST, ENVELOPE_RESTED})
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
        QCOMPARE(choose_loop(0, &start, &period), song.start != UINT32_MAX);
        if (song.start == UINT32_MAX)
            return;
        QCOMPARE(start, song.start);
        QCOMPARE(period, song.period);
        const auto image = [](uint32_t f) { return QByteArray(reinterpret_cast<const char*>(frames[f].regs), 13); };
        const QByteArray after_loop_start = image(start + 1);

        const QString head = dir.filePath(QString::number(kind));
        QVERIFY(save_intro_and_loop(head.toUtf8(), start, period));
        QCOMPARE(first_difference(saved_chain(head), recording, length), -1);
        const QByteArray streamed
            = streamed_chain(read_file(head + ".intro.psg"), read_file(head + ".loop.psg"), length);
        QCOMPARE(first_difference(streamed, recording, length), -1);
        // Alone, the loop piece begins where the song stands at the loop:
        // after its first frame registers 0..12 hold what the song's do.
        QCOMPARE(load_psg(read_file(head + ".loop.psg")), READ_COMPLETE);
        QCOMPARE(image(1).toHex(' '), after_loop_start.toHex(' '));
    }

    void a_named_loop_chains_with_2_s_of_repetition_data()
    {
        QTest::addColumn<int>("repeat");  // frames of the second pass
        QTest::addColumn<bool>("chains");
        QTest::newRow("2 s") << 100 << true;
        QTest::newRow("a frame less") << 99 << false;
    }
    // 400 frames, the first `repeat` of them again, then others.
    void a_named_loop_chains_with_2_s_of_repetition()
    {
        QFETCH(int, repeat);
        QFETCH(bool, chains);
        PsgBuilder b;
        b.write(8, 15).write(0, 0).write(1, 0).end();
        for (int f = 1; f < 400 + repeat + 50; ++f) {
            const int k = f < 400 ? f : f < 400 + repeat ? f - 400 : f + 1000;
            if (k == 0)
                b.write(8, 15);
            b.write(0, k & 0xFF).write(1, k >> 8).end();
        }
        QCOMPARE(load_psg(b.bytes), READ_COMPLETE);
        QCOMPARE(loop_chains(0, 400), chains);
    }

    // A loop of 300 frames from frame 1 that the triangle of frame 0 runs
    // through: its piece plays right alone only when no channel hears that
    // envelope before the loop restarts it (it never does here).
    void an_envelope_heard_in_the_loop_needs_the_intro_data()
    {
        QTest::addColumn<int>("heard_from");  // frames into the loop; -1: never
        QTest::addColumn<QByteArray>("said");
        QTest::newRow("heard from the loop's first frame")
            << 0 << QByteArray("the loop piece needs its intro: it plays an envelope the intro started");
        QTest::newRow("heard 10 frames in")
            << 10 << QByteArray("the loop piece needs its intro: it plays an envelope the intro started");
        QTest::newRow("never heard") << -1 << QByteArray("the loop piece plays right on its own");
    }
    void an_envelope_heard_in_the_loop_needs_the_intro()
    {
        QFETCH(int, heard_from);
        QFETCH(QByteArray, said);
        PsgBuilder b;
        b.write(7, 0x3B).write(11, 40).write(13, 14).end();
        for (int pass = 0; pass < 2; ++pass)
            for (int k = 0; k < 300; ++k) {
                b.write(0, k & 0xFF).write(1, k >> 8);
                if (k == heard_from)
                    b.write(10, 0x10);
                if (heard_from >= 0 && k == heard_from + 20)
                    b.write(10, 0);
                b.end();
            }
        QCOMPARE(load_psg(b.bytes), READ_COMPLETE);
        QCOMPARE(alone_text(loop_facts(1, 1, 300)), said);
    }

    // A loop of 100 frames from frame 80 whose repetition stops at frame 280,
    // `left` frames before the song's end.
    void what_the_pieces_leave_out_data()
    {
        QTest::addColumn<int>("left");
        QTest::addColumn<QByteArray>("said");
        QTest::newRow("a frame") << 1
                                 << QByteArray("its repetition stops at frame 280 (0:00:05.600): the pieces leave out "
                                               "the last 1 frame (0:00:00.020) of the song");
        QTest::newRow("two frames") << 2
                                    << QByteArray("its repetition stops at frame 280 (0:00:05.600): the pieces leave "
                                                  "out the last 2 frames (0:00:00.040) of the song");
    }
    void what_the_pieces_leave_out()
    {
        QFETCH(int, left);
        QFETCH(QByteArray, said);
        PsgBuilder b;
        for (int f = 0; f < 280 + left; ++f) {
            const int k = f < 80 ? 2000 + f : f < 180 ? f - 80 : f < 280 ? f - 180 : 3000 + f;
            b.write(0, k & 0xFF).write(1, k >> 8).end();
        }
        QCOMPARE(load_psg(b.bytes), READ_COMPLETE);
        QCOMPARE(left_out_text(loop_facts(80, 80, 100)), said);
    }

    // Why a loop the user names is refused, said as the window and the
    // command line say it; nothing for one that chains.
    void a_named_loop_is_refused_with_its_reason_data()
    {
        QTest::addColumn<uint32_t>("start");
        QTest::addColumn<uint32_t>("period");
        QTest::addColumn<QByteArray>("said");
        QTest::newRow("chains") << 250u << 400u << QByteArray();
        QTest::newRow("registers not yet repeating")
            << 101u << 400u
            << QByteArray("the song does not repeat exactly with period 400 from frame 101; it does from frame 250 "
                          "(0:00:05.000) on");
        QTest::newRow("the second pass at the end")
            << 430u << 400u << QByteArray("the song does not repeat exactly with period 400 from frame 430");
        QTest::newRow("the second pass past the end")
            << 431u << 400u << QByteArray("frame 831 is past the end of the song (frame 830)");
    }
    void a_named_loop_is_refused_with_its_reason()
    {
        QFETCH(uint32_t, start);
        QFETCH(uint32_t, period);
        QFETCH(QByteArray, said);
        QCOMPARE(load_psg(loop_song(REWRITTEN_IN_LOOP).bytes), READ_COMPLETE);
        QCOMPARE(frame_count, 830u);
        QCOMPARE(loop_refusal_text(start, period), said);
    }

    // What is said of the default loop: why its start moved and whether
    // the loop piece plays right alone; or why there is none.
    void what_the_loop_is_data()
    {
        QTest::addColumn<LoopSongKind>("kind");
        QTest::addColumn<bool>("alone");
        QTest::addColumn<QByteArray>("said");
        QTest::newRow("start moved") << REWRITTEN_IN_LOOP << true
                                     << QByteArray("starts at 250 (0:00:05.000), not 92: R9 differs until frame 250");
        QTest::newRow("two registers moved it: the first named")
            << TWO_REWRITTEN << true << QByteArray("starts at 250 (0:00:05.000), not 92: R9 differs until frame 250");
        QTest::newRow("an envelope come to rest")
            << ENVELOPE_RESTED << true << QByteArray("starts at 101 (0:00:02.020), not 92: R0 differs until frame 101");
        QTest::newRow("an envelope at rest")
            << ENVELOPE_AT_REST << true
            << QByteArray("starts at 101 (0:00:02.020), not 92: R0 differs until frame 101");
        QTest::newRow("needs its intro") << ENVELOPE_RUNS_ON << false
                                         << QByteArray(
                                                "starts at 101 (0:00:02.020), not 92: R0 differs until frame 101");
        QTest::newRow("the whole song") << LOOP_AT_FRAME_0 << true << QByteArray();
        QTest::newRow("inner repetition only")
            << REPEATS_INSIDE << true
            << QByteArray("no loop: the song does not end repeating itself; its longest repetition, 0:00:06.160 "
                          "from 0:00:09.840, stops 0:00:06.000 before the end");
        QTest::newRow("nothing repeats") << NEVER_REPEATS << true
                                         << QByteArray("no loop: the song does not end repeating itself");
    }

    void what_the_loop_is()
    {
        QFETCH(LoopSongKind, kind);
        QFETCH(bool, alone);
        QFETCH(QByteArray, said);
        QCOMPARE(load_psg(loop_song(kind).bytes), READ_COMPLETE);
        const std::vector<LoopCandidate> loops = find_loops(LOOP_MIN_FRAMES);
        // The last candidate is picked by its number as the first is; none
        // after it.
        const auto n = static_cast<int>(loops.size());
        uint32_t picked = 0, period = 0;
        QCOMPARE(choose_loop(n + 1, &picked, &period, LOOP_MIN_FRAMES), false);
        if (n > 0) {
            QVERIFY(choose_loop(n, &picked, &period, LOOP_MIN_FRAMES));
            QCOMPARE(period, loops.back().period);
        }
        uint32_t start = 0;
        const int k = default_loop(loops, &start);
        if (k < 0) {
            QCOMPARE(no_loop_text(loops), said);
            return;
        }
        const LoopFacts facts = loop_facts(loops[k].start, start, loops[k].period);
        QVERIFY(facts.to_end);
        QCOMPARE(start_moved_text(facts), said);
        QCOMPARE(facts.alone_exact, alone);
    }

    // The export of the default loop, intro and one pass, replayed as a
    // player loops it, sounds like the recording on every frame.
    void export_replays_the_recording_data()
    {
        QTest::addColumn<LoopSongKind>("kind");
        for (LoopSongKind kind : {REWRITTEN_IN_LOOP, ENVELOPE_RUNS_ON, SAME_VALUE_AT_START})
            QTest::newRow(loop_song(kind).name) << kind;
    }

    void export_replays_the_recording()
    {
        QFETCH(LoopSongKind, kind);
        const LoopSong song = loop_song(kind);
        QCOMPARE(load_psg(song.bytes), READ_COMPLETE);
        const uint32_t length = frame_count;
        const QByteArray recording = rendered(0);
        const SongExport out = export_with_auto_loop();
        QVERIFY(out.has_loop && out.notes.isEmpty());
        QCOMPARE(out.loop_frame, song.start);
        QCOMPARE(out.dump.frames(), song.start + song.period);
        QCOMPARE(first_difference(replayed(out.dump, out.loop_frame, length), recording, length), -1);
    }

    // Where the writes begin to repeat, register 9 does not yet: pieces cut
    // there part from the recording where the second pass begins.
    void pieces_before_the_registers_repeat_do_not_chain()
    {
        QCOMPARE(load_psg(loop_song(REWRITTEN_IN_LOOP).bytes), READ_COMPLETE);
        const uint32_t length = frame_count;
        const QByteArray recording = rendered(0);
        const QString head = dir.filePath("early");
        QVERIFY(save_intro_and_loop(head.toUtf8(), 101, 400));
        QCOMPARE(first_difference(saved_chain(head), recording, length), 501);
    }
};

QTEST_GUILESS_MAIN(TestIntroLoop)
#include "test_intro_loop.moc"
