// The song tools of the command line, on songs made here whose answer is
// known: optimize renders the same samples, loops finds the loop it was
// built with.
#include "audio/chip.h"
#include "audio/playback.h"
#include "edit/loop_facts.h"
#include "edit/loops.h"
#include "edit/optimize.h"
#include "song/song.h"
#include "support/psg_data.h"
#include "support/song_check.h"

#include <QtTest>

#include <map>
#include <random>

namespace {

using Rng = std::mt19937;

int pick(Rng& rng, int n)
{
    return static_cast<int>(rng() % static_cast<unsigned>(n));
}

// Writes drawn from few values, so that many of them write what a register
// already holds; several to one register in a frame; envelope shapes, the
// same one again too; the I/O ports; waits and runs of empty frames.
QByteArray busy_song(uint32_t seed)
{
    Rng rng(seed);
    PsgBuilder s;
    for (int f = 0; f < 400; ++f) {
        for (int k = pick(rng, 9); k > 0; --k) {
            const int reg = pick(rng, 16);
            static const int shapes[] = {0, 5, 8, 14};  // 0..7 take their step from the last 8..15
            int value = reg == 13 ? shapes[pick(rng, 4)] : pick(rng, 4) * 37;
            if (reg >= 8 && reg <= 10 && pick(rng, 3) == 0)
                value = 0x10;
            if (reg == 11 || reg == 12)
                value = pick(rng, 3) * 5;
            s.write(reg, value);
        }
        if (pick(rng, 20) == 0)
            s.wait(1 + pick(rng, 300));
        else
            s.end(1 + (pick(rng, 6) == 0 ? pick(rng, 7) : 0));
    }
    s.write(0, 99).write(13, 8);  // after the last frame end
    return s.bytes;
}

// A recorder that writes registers 0..12 every frame, whether they changed
// or not, and the shape when the tune restarts the envelope.
QByteArray raw_recording()
{
    Rng rng(5);
    uint8_t regs[13] = {0x40, 1, 0x80, 0, 0x20, 2, 7, 0x38, 15, 0x10, 12, 0x30, 0};
    PsgBuilder s;
    for (int f = 0; f < 1500; ++f) {
        if (f % 6 == 0)
            regs[pick(rng, 6)] = static_cast<uint8_t>(pick(rng, 256));
        if (f % 12 == 0)
            regs[8 + pick(rng, 3)] = static_cast<uint8_t>(pick(rng, 16));
        for (int r = 0; r < 13; ++r)
            s.write(r, regs[r]);
        if (f % 48 == 0)
            s.write(13, 10);
        s.end();
    }
    return s.bytes;
}

// Frames with more writes than the register queue takes: envelope restarts
// and register changes past its end never reach the chip, and a frame that
// fills it with its own writes leaves out the next image.
QByteArray crowded_song()
{
    PsgBuilder s;
    s.write(7, 0x38).write(8, 0x10).write(9, 12).write(11, 3).write(2, 90).end(3);
    for (int k = 0; k < 600; ++k)
        s.write(0, k % 7 + 1);
    for (int k = 0; k < 600; ++k)
        s.write(13, 8 + k % 8);
    s.write(9, 0).write(2, 45).end(4);
    for (int k = 0; k < 995; ++k)
        s.write(k % 2 ? 14 : 13, k % 2 ? k : 12);
    s.write(3, 1).write(10, 9).end().write(8, 15).end(5);
    return s.bytes;
}

// A frame of one to three writes that no other frame of the song is likely
// to have.
void random_frame(PsgBuilder& s, Rng& rng)
{
    for (int k = 1 + pick(rng, 3); k > 0; --k)
        s.write(pick(rng, 13), pick(rng, 256));
    s.end();
}

struct Part {
    char kind;  // 'r': frames of their own; a letter: a stretch used again; 's': empty frames
    int frames;
};

// A song made of parts; parts with the same letter are the same frames.
QByteArray parts_song(const std::vector<Part>& parts)
{
    Rng rng(11);
    std::map<char, QByteArray> made;
    PsgBuilder s;
    for (const Part& part : parts) {
        if (part.kind == 's') {
            s.end(part.frames);
            continue;
        }
        QByteArray& stretch = made[part.kind];
        if (part.kind == 'r' || stretch.isEmpty()) {
            PsgBuilder own;
            for (int f = 0; f < part.frames; ++f)
                random_frame(own, rng);
            stretch = own.bytes.mid(16);
        }
        // The first frames of the stretch: their frame ends are counted.
        int taken = 0;
        qsizetype cut = 0;
        while (taken < part.frames && cut < stretch.size()) {
            if (static_cast<uint8_t>(stretch[cut]) == 0xFF) {
                ++taken;
                ++cut;
            } else {
                cut += 2;
            }
        }
        s.bytes += stretch.left(cut);
    }
    return s.bytes;
}

}  // namespace

Q_DECLARE_METATYPE(std::vector<Part>)
Q_DECLARE_METATYPE(std::vector<LoopCandidate>)

class TestToolkit : public QObject {
    Q_OBJECT

private slots:
    void init() { capture_reports(); }

    void optimize_renders_the_same_sound_data()
    {
        QTest::addColumn<QByteArray>("song");
        QTest::addColumn<double>("largest_share");  // of the input's bytes
        QTest::newRow("busy") << busy_song(1) << 0.9;
        QTest::newRow("busy, another") << busy_song(2) << 0.9;
        QTest::newRow("raw recording") << raw_recording() << 0.6;
        QTest::newRow("crowded frames") << crowded_song() << 1.0;
        // The last writes of a crowded frame never reach the chip, and the
        // next frame's 998 writes leave room for only two registers of the
        // image that would set them.
        PsgBuilder full;
        full.write(7, 0x38).write(9, 12).write(2, 90).end();
        for (int k = 0; k < 1000; ++k)
            full.write(0, k % 7 + 1);
        full.write(9, 0).write(2, 45).end();
        for (int k = 0; k < 998; ++k)
            full.write(k % 2 ? 14 : 13, 12);
        QTest::newRow("image cut short after a crowded frame") << full.end(3).bytes << 1.0;
        QTest::newRow("no frame end") << psg_bytes({0x00, 1, 0x0D, 2}) << 1.0;
    }

    void optimize_renders_the_same_sound()
    {
        QFETCH(QByteArray, song);
        QFETCH(double, largest_share);
        QVERIFY(load_psg(song) != READ_OPEN_FAILED);
        const uint32_t writes = event_count;
        const QByteArray sound = rendered();
        const PsgImage out = optimized_psg();
        QVERIFY2(double(out.bytes.size()) <= double(song.size()) * largest_share,
                 qPrintable(QStringLiteral("%1 -> %2 bytes").arg(song.size()).arg(out.bytes.size())));
        QVERIFY(out.writes < writes || writes == 0);

        QCOMPARE(load_psg(out.bytes), READ_COMPLETE);
        QCOMPARE(event_count, out.writes);
        const QByteArray again = rendered();
        QCOMPARE(again.size(), sound.size());
        for (qsizetype f = 0; f < sound.size() / FRAME_BYTES; ++f)
            if (memcmp(again.constData() + f * FRAME_BYTES, sound.constData() + f * FRAME_BYTES, FRAME_BYTES))
                QFAIL(qPrintable(QStringLiteral("frame %1 sounds different").arg(f)));

        // The song with all its writes, for when that is shorter, plays the
        // same frames and is never larger than the file either.
        QVERIFY(load_psg(song) != READ_OPEN_FAILED);
        const PsgImage plain = plain_psg();
        QVERIFY(plain.bytes.size() <= song.size());
        QCOMPARE(load_psg(plain.bytes), READ_COMPLETE);
        QVERIFY(rendered() == sound);
    }

    void optimize_writes_runs_of_frame_ends_as_waits_data()
    {
        QTest::addColumn<int>("ends");
        QTest::addColumn<QByteArray>("run");  // as written between the two writes
        // 0xFE n: 4n frames; 0xFF: one.
        QTest::newRow("3") << 3 << QByteArray::fromHex("ffffff");
        QTest::newRow("7") << 7 << QByteArray::fromHex("fe01ffffff");
        QTest::newRow("1,020") << 1020 << QByteArray::fromHex("feff");
        QTest::newRow("1,023") << 1023 << QByteArray::fromHex("feffffffff");
        QTest::newRow("1,024") << 1024 << QByteArray::fromHex("fefffe01");
        QTest::newRow("2,041") << 2041 << QByteArray::fromHex("fefffeffff");
    }
    void optimize_writes_runs_of_frame_ends_as_waits()
    {
        QFETCH(int, ends);
        QFETCH(QByteArray, run);
        PsgBuilder b;
        b.write(0, 1).end(ends).write(0, 2).end();
        QCOMPARE(load_psg(b.bytes), READ_COMPLETE);
        QCOMPARE(optimized_psg().bytes.mid(16).toHex(' '),
                 (QByteArray::fromHex("0001") + run + QByteArray::fromHex("0002ff")).toHex(' '));
    }

    void optimize_keeps_the_writes_that_change_the_chip_data()
    {
        QTest::addColumn<QByteArray>("song");  // commands after the header, in hex
        QTest::addColumn<QByteArray>("kept");
        QTest::newRow("a value written again goes, a new one and each restart stay")
            << QByteArray("0001ff00010c03ff0c030d08ff0d08ff") << QByteArray("0001ff0c03ff0d08ff0d08ff");
        QTest::newRow("the last write of a frame to a register") << QByteArray("01020103ff") << QByteArray("0103ff");
        QTest::newRow("back to the value held") << QByteArray("0005ff00060005ff") << QByteArray("0005ffff");
        QTest::newRow("R14 and R15 stay") << QByteArray("0e050e05ff0f01ff") << QByteArray("0e050e05ff0f01ff");
    }
    void optimize_keeps_the_writes_that_change_the_chip()
    {
        QFETCH(QByteArray, song);
        QFETCH(QByteArray, kept);
        QCOMPARE(load_psg(psg_header() + QByteArray::fromHex(song)), READ_COMPLETE);
        QCOMPARE(optimized_psg().bytes.mid(16).toHex(), kept);
    }

    void loops_finds_the_loop_it_was_built_with_data()
    {
        QTest::addColumn<std::vector<Part>>("parts");
        QTest::addColumn<std::vector<LoopCandidate>>("expected");
        QTest::addColumn<QByteArray>("no_loop");  // what is said when none runs to the end
        // At least 50 frames must repeat.
        QTest::newRow("intro, a loop and part of it")
            << std::vector<Part>{{'r', 120}, {'L', 300}, {'L', 200}}
            << std::vector<LoopCandidate>{{120, 300, 200, true}} << QByteArray();
        QTest::newRow("no intro, three passes: not twice the period")
            << std::vector<Part>{{'L', 200}, {'L', 200}, {'L', 200}} << std::vector<LoopCandidate>{{0, 200, 400, true}}
            << QByteArray();
        QTest::newRow("an ending after two passes") << std::vector<Part>{{'r', 80}, {'L', 250}, {'L', 250}, {'r', 100}}
                                                    << std::vector<LoopCandidate>{{80, 250, 250, false}}
                                                    << QByteArray("no loop: the song does not end repeating itself; "
                                                                  "its longest repetition, 0:00:05.000 from "
                                                                  "0:00:06.600, stops 0:00:02.000 before the end");
        QTest::newRow("three passes and an ending: not twice the period")
            << std::vector<Part>{{'r', 80}, {'L', 100}, {'L', 100}, {'L', 100}, {'r', 100}}
            << std::vector<LoopCandidate>{{80, 100, 200, false}} << QByteArray();
        // The longer of two repetitions is the one named.
        QTest::newRow("two inner repetitions")
            << std::vector<Part>{{'r', 80}, {'L', 100}, {'L', 100}, {'r', 60}, {'M', 150}, {'M', 150}, {'r', 100}}
            << std::vector<LoopCandidate>{{80, 100, 100, false}, {340, 150, 150, false}}
            << QByteArray("no loop: the song does not end repeating itself; its longest repetition, 0:00:03.000 from "
                          "0:00:09.800, stops 0:00:02.000 before the end");
        // I X X Y X X Y: the loop X X Y, and each X again later.
        QTest::newRow("a phrase played twice in the loop")
            << std::vector<Part>{{'r', 50}, {'X', 60}, {'X', 60}, {'Y', 140}, {'X', 60}, {'X', 60}, {'Y', 140}}
            << std::vector<LoopCandidate>{{50, 260, 260, true},
                                          {50, 60, 60, false},
                                          {50, 320, 60, false},
                                          {110, 200, 60, false},
                                          {310, 60, 60, false}}
            << QByteArray();
        // I X X Y X X: the 300 frames repeated after 307 are exactly two
        // rounds of X, so 307 is no loop of its own; X's repetitions are.
        QTest::newRow("a repetition of two rounds of a shorter one")
            << std::vector<Part>{{'r', 50}, {'X', 150}, {'X', 150}, {'Y', 7}, {'X', 150}, {'X', 150}}
            << std::vector<LoopCandidate>{{50, 457, 150, true},
                                          {357, 150, 150, true},
                                          {50, 150, 150, false},
                                          {200, 157, 150, false}}
            << QByteArray();
        QTest::newRow("shorter than the least")
            << std::vector<Part>{{'r', 100}, {'L', 49}, {'L', 49}} << std::vector<LoopCandidate>{}
            << QByteArray("no loop: the song does not end repeating itself");
        // Silences repeat one another at any distance; no loop.
        QTest::newRow("silences") << std::vector<Part>{{'r', 60},  {'s', 120}, {'r', 90},
                                                       {'s', 150}, {'r', 70},  {'s', 200}}
                                  << std::vector<LoopCandidate>{}
                                  << QByteArray("no loop: the song does not end repeating itself");
    }

    void loops_finds_the_loop_it_was_built_with()
    {
        QFETCH(std::vector<Part>, parts);
        QFETCH(std::vector<LoopCandidate>, expected);
        QFETCH(QByteArray, no_loop);
        QCOMPARE(load_psg(parts_song(parts)), READ_COMPLETE);
        const std::vector<LoopCandidate> found = find_loops(50);
        QStringList got, want;
        for (const LoopCandidate& c : found)
            got << QStringLiteral("%1+%2 for %3%4")
                       .arg(c.start)
                       .arg(c.period)
                       .arg(c.length)
                       .arg(c.to_end ? " to the end" : "");
        for (const LoopCandidate& c : expected)
            want << QStringLiteral("%1+%2 for %3%4")
                        .arg(c.start)
                        .arg(c.period)
                        .arg(c.length)
                        .arg(c.to_end ? " to the end" : "");
        QCOMPARE(got, want);
        if (!no_loop.isEmpty())
            QCOMPARE(no_loop_text(found), no_loop);
    }
};

QTEST_GUILESS_MAIN(TestToolkit)
#include "test_toolkit.moc"
