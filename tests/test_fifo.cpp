// The sample FIFO and the pull side of the audio output.
#include "audio/generator.h"
#include "audio/fifo.h"

#include <QtTest>

#include <algorithm>
#include <thread>
#include <vector>

class TestFifo : public QObject {
    Q_OBJECT
private slots:
    void init() { fifo_clear(); }

    void reads_are_never_short_and_fill_with_the_last_byte()
    {
        Generator g;
        QVERIFY(g.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
        // Before anything was played: silence, and the full count.
        QByteArray buf(64, '\x55');
        QCOMPARE(g.read(buf.data(), 64), qint64(64));
        QCOMPARE(buf, QByteArray(64, '\0'));

        for (int i = 1; i <= 100; ++i)
            fifo_push(static_cast<uint8_t>(i));
        QByteArray out(8820, '\0');
        QCOMPARE(g.read(out.data(), 8820), qint64(8820));
        for (int i = 0; i < 100; ++i)
            QCOMPARE(static_cast<uint8_t>(out[i]), static_cast<uint8_t>(i + 1));
        QCOMPARE(out.mid(100), QByteArray(8720, '\x64'));
        QCOMPARE(fifo_size(), 0u);

        // A read of nothing takes nothing.
        fifo_push(7);
        QCOMPARE(fifo_read(reinterpret_cast<uint8_t*>(out.data()), 0), int64_t(0));
        QCOMPARE(fifo_size(), 1u);
        QCOMPARE(g.writeData("abc", 3), qint64(0));
    }

    void order_survives_growth_and_wrap_around()
    {
        // Push and take in uneven steps so the ring wraps and grows.
        uint64_t pushed = 0, taken = 0;
        std::vector<uint8_t> chunk;
        for (int round = 0; round < 200; ++round) {
            chunk.resize(round % 3 == 0 ? 1000 : 3528);
            for (auto& b : chunk)
                b = static_cast<uint8_t>(pushed++ % 253);
            fifo_push_block(chunk.data(), chunk.size());
            if (round % 5 == 4)
                continue;
            std::vector<uint8_t> got(std::min<uint64_t>(2000 + round * 7, pushed - taken));
            fifo_read(got.data(), static_cast<int64_t>(got.size()));
            for (uint8_t b : got)
                QCOMPARE(b, static_cast<uint8_t>(taken++ % 253));
        }
        QCOMPARE(fifo_size(), pushed - taken);
        while (fifo_size() > 0)
            QCOMPARE(fifo_take(), static_cast<uint8_t>(taken++ % 253));
        QCOMPARE(taken, pushed);
    }

    // An output that stops reading: the FIFO keeps one second, dropping its
    // oldest bytes, and a read after that starts on a frame with the newest
    // reserve. Frame k holds bytes of value k.
    void a_stalled_output_keeps_one_second_and_resumes_with_the_newest_frames()
    {
        struct Case {
            int frames;  // pushed without a read, after read_first bytes of frame 0 were read
            int read_first;
            int first_read;  // frame the next read starts with
            uint64_t dropped;
        };
        const int bound = static_cast<int>(FIFO_MAX_BYTES / 3528);  // 50 frames
        const int reserve = static_cast<int>(FIFO_RESERVE_BYTES / 3528);
        const Case cases[] = {
            {bound, 0, 0, 0},  // at the bound: nothing dropped, nothing skipped
            {bound + 1, 0, bound + 1 - reserve, (bound + 1 - reserve) * 3528ull},
            {bound + 10, 1000, bound + 10 - reserve, (bound + 10 - reserve) * 3528ull - 1000},
            {400, 3000, 400 - reserve, (400 - reserve) * 3528ull - 3000},
        };
        std::vector<uint8_t> frame(3528), buf(3528);
        for (const Case& c : cases) {
            fifo_clear();
            for (int k = 0; k < c.frames; ++k) {
                std::fill(frame.begin(), frame.end(), static_cast<uint8_t>(k));
                fifo_push_block(frame.data(), frame.size());
                if (k == 0 && c.read_first > 0)
                    fifo_read(buf.data(), c.read_first);
                QVERIFY(fifo_size() <= FIFO_MAX_BYTES);
            }
            const int rest = c.frames - c.first_read;
            for (int k = 0; k < rest; ++k) {
                QCOMPARE(fifo_read(buf.data(), 3528), int64_t(3528));
                QVERIFY2(buf == std::vector<uint8_t>(3528, static_cast<uint8_t>(c.first_read + k)),
                         qPrintable(QStringLiteral("%1 frames: read %2").arg(c.frames).arg(k)));
            }
            QCOMPARE(fifo_size(), 0u);
            QCOMPARE(fifo_stats().dropped_bytes, c.dropped);
            QVERIFY(fifo_stats().max_size <= FIFO_MAX_BYTES);
        }
    }

    void a_reader_on_another_thread_sees_every_byte_once()
    {
        const uint64_t total = 3528 * 2000;
        std::thread reader([total] {
            uint64_t seen = 0;
            uint8_t buf[4096];
            while (seen < total) {
                const uint64_t avail = fifo_size();
                if (avail == 0)
                    continue;
                const int64_t n = static_cast<int64_t>(std::min<uint64_t>(avail, sizeof buf));
                fifo_read(buf, n);
                for (int64_t i = 0; i < n; ++i)
                    if (buf[i] != static_cast<uint8_t>((seen + i) % 251))
                        abort();
                seen += n;
            }
        });
        uint8_t frame[3528];
        for (uint64_t k = 0; k < total; k += sizeof frame) {
            for (size_t i = 0; i < sizeof frame; ++i)
                frame[i] = static_cast<uint8_t>((k + i) % 251);
            while (fifo_size() + sizeof frame > FIFO_MAX_BYTES)  // within the bound: nothing dropped
                std::this_thread::yield();
            fifo_push_block(frame, sizeof frame);
        }
        reader.join();
        QCOMPARE(fifo_size(), 0u);
    }
};

QTEST_GUILESS_MAIN(TestFifo)
#include "test_fifo.moc"
