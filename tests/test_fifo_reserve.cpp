// The FIFO's start-up reserve: a playback that starts from a dry FIFO is held
// back until the reserve is queued; a stopped clock's tail plays out at once;
// reads stay whole and fill with the last byte handed out.
#include "audio/fifo.h"

#include <QtTest>

#include <vector>

namespace {

using Bytes = std::vector<int>;

void push(int from, int to)  // the bytes from, from + 1, ..., to
{
    for (int b = from; b <= to; ++b)
        fifo_push(static_cast<uint8_t>(b));
}

Bytes read(int n)
{
    std::vector<uint8_t> buf(n, 0xEE);
    if (fifo_read(buf.data(), n) != n)
        return {-1};
    return Bytes(buf.begin(), buf.end());
}

Bytes run(int from, int to)
{
    Bytes b;
    for (int v = from; v <= to; ++v)
        b.push_back(v);
    return b;
}

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes times(int n, int value)
{
    return Bytes(n, value);
}

}  // namespace

class TestFifoReserve : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        fifo_set_reserve(10);
        fifo_clear();
    }
    void cleanupTestCase() { fifo_set_reserve(FIFO_RESERVE_BYTES); }

    void a_playback_is_held_until_the_reserve_then_served_in_order()
    {
        const int last = fifo_last_byte();  // clearing keeps the level
        QCOMPARE(read(3), times(3, last));

        fifo_set_producing(true);
        push(1, 4);
        QCOMPARE(read(3), times(3, last));  // 4 of 10 bytes: held back
        QCOMPARE(fifo_size(), 4u);
        push(5, 9);
        QCOMPARE(read(2), times(2, last));  // 9 of 10
        push(10, 10);
        QCOMPARE(read(4), run(1, 4));  // the reserve is there
        QCOMPARE(read(8), run(5, 10) + times(2, 10));

        // Dry in the middle of the playback: a hole, but no new wait.
        push(11, 13);
        QCOMPARE(read(2), run(11, 12));
        QCOMPARE(fifo_size(), 1u);

        const FifoStats s = fifo_stats();
        QCOMPARE(s.reads, 6u);
        QCOMPARE(s.filled_reads, 4u);  // the idle one, two held reads, the hole
        QCOMPARE(s.held_reads, 2u);
        QCOMPARE(s.filled_bytes, 3u + 3u + 2u + 2u);
    }

    void a_stopped_clock_plays_out_its_tail_and_the_next_playback_waits_again()
    {
        fifo_set_producing(true);
        push(1, 4);
        QCOMPARE(read(2), times(2, fifo_last_byte()));
        // Stopped before the reserve was reached: what is queued plays out.
        fifo_set_producing(false);
        QCOMPARE(read(6), run(1, 4) + times(2, 4));

        // It ran dry while stopped, so the next playback waits for the
        // reserve; the fill is the last byte handed out, not silence.
        fifo_set_producing(true);
        push(5, 13);
        QCOMPARE(read(5), times(5, 4));
        push(14, 14);
        QCOMPARE(read(12), run(5, 14) + times(2, 14));

        // The end of a song with a full reserve: everything is served, and
        // the level holds.
        push(15, 30);
        QCOMPARE(read(4), run(15, 18));
        fifo_set_producing(false);
        QCOMPARE(read(14), run(19, 30) + times(2, 30));
        QCOMPARE(read(3), times(3, 30));
        QCOMPARE(fifo_stats().held_reads, 2u);
    }

    void playing_again_before_the_tail_ran_out_goes_on_without_a_gap()
    {
        fifo_set_producing(true);
        push(1, 12);
        QCOMPARE(read(4), run(1, 4));
        fifo_set_producing(false);
        QCOMPARE(read(4), run(5, 8));
        fifo_set_producing(true);  // 4 bytes left, less than the reserve
        push(13, 14);
        QCOMPARE(read(6), run(9, 14));
        QCOMPARE(fifo_stats().held_reads, 0u);
        QCOMPARE(fifo_stats().filled_reads, 0u);
    }

    void clearing_holds_the_next_playback_and_keeps_the_reserve_size()
    {
        fifo_set_producing(true);
        push(1, 12);
        QCOMPARE(read(1), run(1, 1));
        fifo_clear();  // also forgets that the clock was producing
        push(1, 3);
        QCOMPARE(read(4), run(1, 3) + times(1, 3));
        fifo_set_producing(true);
        push(4, 12);
        QCOMPARE(read(1), times(1, 3));  // held, at the level of the last byte
        push(13, 13);
        QCOMPARE(read(1), run(4, 4));
        // A stop drops what waits; a playback started at once, before any
        // read, waits for its reserve again.
        fifo_drop_queued();
        fifo_set_producing(true);
        push(20, 25);
        QCOMPARE(read(2), times(2, 4));
        push(26, 29);
        QCOMPARE(read(10), run(20, 29));
    }

    void the_default_reserve_serves_a_whole_burst_of_frame_reads()
    {
        // The audio output takes one 3528-byte read a tick (its buffer is
        // four frames). With the default reserve, the reads after the wait
        // are served whole and leave a frame for the next tick's lateness.
        const int burst = static_cast<int>(FIFO_RESERVE_BYTES / 3528) - 1;
        QCOMPARE(burst, 1);
        fifo_set_reserve(FIFO_RESERVE_BYTES);
        fifo_clear();
        fifo_set_producing(true);
        std::vector<uint8_t> frame(3528, 0x41);
        std::vector<uint8_t> buf(3528);
        for (int f = 0; f < burst; ++f)
            fifo_push_block(frame.data(), frame.size());
        fifo_read(buf.data(), 3528);
        QCOMPARE(fifo_stats().held_reads, 1u);
        fifo_push_block(frame.data(), frame.size());
        for (int r = 0; r < burst; ++r) {
            QCOMPARE(fifo_read(buf.data(), 3528), int64_t(3528));
            QCOMPARE(buf, frame);
        }
        QCOMPARE(fifo_size(), 3528u);
        QCOMPARE(fifo_stats().filled_reads, 1u);
    }
};

QTEST_GUILESS_MAIN(TestFifoReserve)
#include "test_fifo_reserve.moc"
