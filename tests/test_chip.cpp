// The chip model: period conversion, register masks, mixer, tone waveform,
// envelope shapes and timing, stereo mix, the register queue and the noise
// generator.
#include "audio/chip.h"
#include "support/song_build.h"
#include "support/song_check.h"
#include "support/wave_analysis.h"

#include <QtTest>
#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <utility>
#include <vector>

namespace {

// Amplitude of each level, written out so that a changed table shows up.
const uint16_t kAmp[16]
    = {0, 418, 606, 886, 1309, 1937, 2698, 4411, 5196, 8353, 11669, 14646, 18484, 23210, 27597, 32767};

using Writes = std::initializer_list<std::pair<int, int>>;

// Queues the writes and renders one frame, as the playback clock does.
void render(Writes writes = {})
{
    for (const auto& w : writes)
        reg_queue_push(static_cast<uint8_t>(w.first), static_cast<uint8_t>(w.second));
    chip_render_frame();
}

int16_t out_sample(uint32_t i, int slot)
{
    const uint8_t* p = frame_buf + 4 * i + 2 * slot;
    return static_cast<int16_t>(p[0] | (p[1] << 8));
}

std::vector<uint16_t> channel(int c)
{
    return std::vector<uint16_t>(chip_channel(c), chip_channel(c) + SAMPLES_PER_FRAME);
}

// The reference noise source, written out independently of the model.
struct Lcg {
    uint32_t x = 1;
    uint32_t next()
    {
        x = x * 1103515245u + 12345u;
        return (x >> 16) & 0x7FFF;
    }
};

// Envelope level after k steps of a freshly written shape, following the
// shapes' descriptions one by one.
int shape_level(int shape, uint32_t steps)
{
    const int k = static_cast<int>(steps), m = k % 32;
    switch (shape) {
    case 8:
        return 15 - k % 16;  // saw down, repeated
    case 12:
        return k % 16;  // saw up, repeated
    case 10:
        return m < 16 ? 15 - m : m - 16;  // 15..0 0..15
    case 14:
        return m < 16 ? m : 31 - m;  // 0..15 15..0
    case 11:
        return k < 16 ? 15 - k : 15;  // down, then 15 for good
    case 13:
        return k < 15 ? k : 15;  // up, then 15 for good
    case 9:
        return k < 15 ? 15 - k : 0;  // down once
    case 15:
        return k <= 15 ? k : 0;  // up once, then 0
    default:
        return shape < 4 ? (k < 15 ? 15 - k : 0)  // 0..3: down once
                         : (k <= 15 ? k : 0);     // 4..7: up once, then 0
    }
}

// Checks channel A (period 0, following the envelope) against a shape whose
// steps come every `interval` samples, starting `frame_start` samples after
// the shape was written.
void check_envelope(int shape, uint32_t interval, uint32_t frame_start = 0)
{
    const uint16_t* a = chip_channel(0);
    for (uint32_t i = 0; i < SAMPLES_PER_FRAME; ++i) {
        const uint32_t steps = (frame_start + i + 1) / interval;
        if (a[i] != kAmp[shape_level(shape, steps)])
            QFAIL(qPrintable(QStringLiteral("shape %1, interval %2: sample %3 is %4, expected level %5")
                                 .arg(shape)
                                 .arg(interval)
                                 .arg(frame_start + i)
                                 .arg(a[i])
                                 .arg(shape_level(shape, steps))));
    }
}

}  // namespace

class TestChip : public QObject {
    Q_OBJECT
private slots:
    void period_conversion_data()
    {
        QTest::addColumn<uint32_t>("value");
        QTest::addColumn<uint32_t>("samples");
        const std::pair<uint32_t, uint32_t> rows[]
            = {{0, 0},    {1, 0},     {2, 0},     {3, 1},       {6, 2},        {31, 12},
               {100, 39}, {285, 113}, {300, 119}, {4095, 1627}, {65535, 26050}};
        for (const auto& r : rows)
            QTest::addRow("%u", r.first) << r.first << r.second;
    }
    void period_conversion()
    {
        QFETCH(uint32_t, value);
        QFETCH(uint32_t, samples);
        chip_reset();
        QCOMPARE(period_samples(value), samples);

        // Each register pair recomputes from both halves, whichever is written.
        const auto lo = static_cast<uint8_t>(value & 0xFF), hi = static_cast<uint8_t>(value >> 8);
        chip_write(12, hi);
        chip_write(11, lo);
        QCOMPARE(chip_save().chip.env.period, samples);
        if (value < 4096) {
            for (uint8_t c = 0; c < 3; ++c) {
                chip_write(static_cast<uint8_t>(2 * c + 1), hi);
                chip_write(static_cast<uint8_t>(2 * c), lo);
                QCOMPARE(chip_save().chip.tone_period[c], samples);
            }
            chip_write(5, 0);
            chip_write(5, hi);  // now with the high half written last
            QCOMPARE(chip_save().chip.tone_period[2], samples);
        }
        if (value < 32) {
            chip_write(6, static_cast<uint8_t>(value));
            QCOMPARE(chip_save().chip.noise_period, samples);
        }
    }

    void register_masks()
    {
        chip_reset();
        const uint8_t values[14] = {0xFF, 0xF5, 0xFF, 0xF5, 0xFF, 0xF5, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
        const uint8_t stored[14] = {0xFF, 0x05, 0xFF, 0x05, 0xFF, 0x05, 0x1F, 0xFF, 0x1F, 0x1F, 0x1F, 0xFF, 0xFF, 0x0F};
        for (uint8_t r = 0; r < 14; ++r)
            chip_write(r, values[r]);
        for (int r = 0; r < 14; ++r)
            QCOMPARE(chip_regs[r], stored[r]);
        QCOMPARE(chip_save().chip.tone_period[0], period_samples(0x5FF));
        QCOMPARE(chip_save().chip.noise_period, period_samples(0x1F));

        uint8_t before[16];
        std::memcpy(before, chip_regs, sizeof before);
        const ChipState s = chip_save();
        for (int r : {14, 15, 16, 200, 255})
            chip_write(static_cast<uint8_t>(r), 0x77);
        QVERIFY(std::memcmp(before, chip_regs, sizeof before) == 0);
        QCOMPARE(chip_difference(chip_save(), s), QString());
    }

    void mixer()
    {
        // Periods 0..2 convert to 0 samples: on at every sample, whatever R7.
        for (int p : {0, 1, 2}) {
            for (int r7 : {0x00, 0x01, 0x08, 0x09, 0x3F, 0xFF}) {
                chip_reset();
                render({{0, p}, {1, 0}, {7, r7}, {8, 15}});
                QVERIFY2(channel(0) == std::vector<uint16_t>(SAMPLES_PER_FRAME, 32767),
                         qPrintable(QStringLiteral("P=%1 R7=%2").arg(p).arg(r7)));
            }
        }
        // A 1-sample period with tone on and noise off never sounds.
        chip_reset();
        render({{0, 3}, {7, 0x38}, {8, 15}});
        QCOMPARE(chip_save().chip.tone_period[0], 1u);
        QVERIFY(channel(0) == std::vector<uint16_t>(SAMPLES_PER_FRAME, 0));

        // Tone and noise off: a constant at the fixed level (bits 5..7 dropped).
        for (int level = 0; level < 16; ++level) {
            chip_reset();
            render({{2, 100}, {7, 0x3F}, {9, 0xE0 | level}});
            QVERIFY(channel(1) == std::vector<uint16_t>(SAMPLES_PER_FRAME, kAmp[level]));
        }
        // Bit 4 follows the envelope, which after reset stops at 0 at once:
        // silent although bits 0..3 say 15.
        chip_reset();
        render({{10, 0x1F}});
        QVERIFY(channel(2) == std::vector<uint16_t>(SAMPLES_PER_FRAME, 0));
    }

    void stereo_mix()
    {
        struct Case {
            int a, b, c;  // fixed levels
            int16_t left, right;
        };
        const Case cases[] = {
            {15, 15, 15, 32766, 32766},          // the loudest sample
            {15, 0, 0, 16383, 0},                // A on the left only
            {0, 0, 15, 0, 16383},                // C on the right only
            {0, 15, 0, 16383, 16383},            // B on both
            {15, 4, 1, 16383 + 654, 209 + 654},  // each half truncated before the sum
        };
        for (const Case& k : cases) {
            chip_reset();
            render({{0, 100}, {2, 100}, {4, 100}, {7, 0x3F}, {8, k.a}, {9, k.b}, {10, k.c}});
            for (uint32_t i = 0; i < SAMPLES_PER_FRAME; ++i) {
                QCOMPARE(out_sample(i, 0), k.left);
                QCOMPARE(out_sample(i, 1), k.right);
            }
        }
        // Little-endian, left first: 17037 = 0x428D.
        QCOMPARE(frame_buf[0], uint8_t(0x8D));
        QCOMPARE(frame_buf[1], uint8_t(0x42));
    }

    void tone_waveform()
    {
        // A: T = 39, B: T = 113, C: T = 5, then T = 2; tone on, noise off.
        for (int cfg = 0; cfg < 2; ++cfg) {
            chip_reset();
            const int pc = cfg == 0 ? 13 : 6;
            render({{0, 100}, {2, 285 & 0xFF}, {3, 285 >> 8}, {4, pc}, {7, 0x38}, {8, 15}, {9, 15}, {10, 15}});
            for (uint32_t frame = 0; frame < 2; ++frame) {
                if (frame == 1)
                    render();  // the phase carries on into the next frame
                for (int c = 0; c < 3; ++c) {
                    const uint32_t expected_t[3] = {39, 113, cfg == 0 ? 5u : 2u};
                    const uint32_t t = chip_save().chip.tone_period[c];
                    QCOMPARE(t, expected_t[c]);
                    const uint16_t* buf = chip_channel(c);
                    for (uint32_t i = 0; i < SAMPLES_PER_FRAME; ++i) {
                        const uint32_t n = frame * SAMPLES_PER_FRAME + i;
                        QCOMPARE(buf[i], uint16_t((n % t) < t / 2 ? 32767 : 0));
                    }
                }
            }
        }
    }

    void period_writes_keep_counters()
    {
        // 882 = 7 * 113 + 91: after one frame A's counter stands at 91.
        chip_reset();
        render({{0, 285 & 0xFF}, {1, 285 >> 8}, {7, 0x3E}, {8, 15}});
        render({{0, 100}, {1, 0}});  // 91 >= 39: back to 0 at the first sample
        for (uint32_t i = 0; i < SAMPLES_PER_FRAME; ++i)
            QCOMPARE(chip_channel(0)[i], uint16_t((i % 39) < 19 ? 32767 : 0));

        // A longer period lets the counter run on: 882 % 39 = 24, new T = 113.
        render({{0, 285 & 0xFF}, {1, 285 >> 8}});
        for (uint32_t i = 0; i < SAMPLES_PER_FRAME; ++i)
            QCOMPARE(chip_channel(0)[i], uint16_t(((24 + i) % 113) < 56 ? 32767 : 0));

        // Envelope: p = 101, shape 8 steps at 101, 203, ..., 815, so the
        // counter ends the frame at 66; with p = 2 it steps at once.
        chip_reset();
        render({{11, 255}, {13, 8}, {8, 0x10}});
        QCOMPARE(chip_save().chip.env.level, uint8_t(7));
        render({{11, 6}});
        QCOMPARE(chip_channel(0)[0], kAmp[6]);
        QCOMPARE(chip_channel(0)[2], kAmp[6]);
        QCOMPARE(chip_channel(0)[3], kAmp[5]);
    }

    void envelope_shapes_data()
    {
        QTest::addColumn<int>("shape");
        QTest::addColumn<int>("r11");
        for (int r11 : {0, 8, 20})
            for (int shape = 0; shape < 16; ++shape)
                QTest::addRow("shape %d, R11 %d", shape, r11) << shape << r11;
    }
    void envelope_shapes()
    {
        QFETCH(int, shape);
        QFETCH(int, r11);
        chip_reset();
        const uint32_t p = period_samples(static_cast<uint32_t>(r11));
        // Every shape steps every p + 1 samples: a saw-tooth cycle is
        // 16 * (p + 1) samples, a triangle cycle 32 * (p + 1).
        const uint32_t interval = p + 1;
        render({{11, r11}, {13, shape}, {8, 0x10}});
        check_envelope(shape, interval);
        render();
        check_envelope(shape, interval, SAMPLES_PER_FRAME);
    }

    void envelope_at_the_chip_rate_data()
    {
        // A chip clocked at 1,773,400 Hz: saw-tooths at clock / (256 E),
        // triangles at clock / (512 E); the model is within 1 % at E = 100.
        QTest::addColumn<int>("shape");
        QTest::addColumn<double>("hz");
        QTest::newRow("saw 8") << 8 << 1773400.0 / (256 * 100);
        QTest::newRow("saw 12") << 12 << 1773400.0 / (256 * 100);
        QTest::newRow("triangle 10") << 10 << 1773400.0 / (512 * 100);
        QTest::newRow("triangle 14") << 14 << 1773400.0 / (512 * 100);
    }
    void envelope_at_the_chip_rate()
    {
        QFETCH(int, shape);
        QFETCH(double, hz);
        QVERIFY(set_song({{11, 100, 0}, {7, 0x3F, 0}, {8, 0x10, 0}, {13, uint8_t(shape), 0}}, 100));
        chip_reset();
        const Stereo s = split_stereo(rendered());
        const double f = tone_spectrum(s.left, 0, 16, SAMPLE_RATE, hz).frequency;
        QVERIFY2(std::abs(f / hz - 1) <= 0.01, qPrintable(QString("%1 Hz, not %2").arg(f).arg(hz)));
    }

    void envelope_first_sample_and_restart()
    {
        // With period 0 the envelope steps at every sample, the first included.
        chip_reset();
        render({{13, 12}, {8, 0x10}});
        QCOMPARE(chip_channel(0)[0], kAmp[1]);
        chip_reset();
        render({{13, 8}, {8, 0x10}});
        QCOMPARE(chip_channel(0)[0], kAmp[14]);

        // The same shape written again restarts it; no write lets it run on.
        chip_reset();
        render({{11, 8}, {13, 12}, {8, 0x10}});
        const std::vector<uint16_t> first = channel(0);
        render({{13, 12}});
        QVERIFY(channel(0) == first);
        render();
        QVERIFY(channel(0) != first);
        check_envelope(12, 4, SAMPLES_PER_FRAME);

        // A stopped envelope restarts too.
        chip_reset();
        render({{13, 9}, {8, 0x10}});
        QVERIFY(chip_save().chip.env.stopped);
        render({{13, 9}});
        QCOMPARE(chip_channel(0)[0], kAmp[14]);
    }

    void envelope_interval_after_shape()
    {
        // Shapes 0..7 keep alternate and hold from the last shape 8..15;
        // whatever came before, they step every p + 1 samples. p = 3.
        struct Case {
            int before, shape;
            uint32_t interval;
            bool alternate, hold;
        };
        const Case cases[] = {{14, 4, 4, true, false}, {12, 4, 4, false, false}, {15, 0, 4, true, true},
                              {9, 7, 4, false, true},  {10, 2, 4, true, false},  {13, 5, 4, false, true}};
        for (const Case& k : cases) {
            chip_reset();
            render({{11, 8}, {13, k.before}, {13, k.shape}, {8, 0x10}});
            const Envelope e = chip_save().chip.env;
            QCOMPARE(e.alternate, k.alternate);
            QCOMPARE(e.hold, k.hold);
            QCOMPARE(e.cont, false);
            check_envelope(k.shape, k.interval);
        }
        // Before any shape 8..15 both are clear.
        chip_reset();
        chip_write(13, 7);
        QVERIFY(!chip_save().chip.env.alternate && !chip_save().chip.env.hold);
    }

    void register_queue()
    {
        chip_reset();
        reg_queue_len = 0;
        for (int k = 0; k < 999; ++k)
            reg_queue_push(8, static_cast<uint8_t>(k & 0x0F));
        reg_queue_push(8, 9);  // the 1000th pair
        reg_queue_push(8, 3);  // the 1001st: dropped
        QCOMPARE(reg_queue_len, 1000);
        QCOMPARE(reg_queue[1998], uint8_t(8));
        QCOMPARE(reg_queue[1999], uint8_t(9));
        render();
        QCOMPARE(reg_queue_len, 0);
        QCOMPARE(chip_regs[8], uint8_t(9));
        QCOMPARE(chip_channel(0)[0], kAmp[9]);

        // A length beyond the capacity still applies only the 1000 stored
        // pairs (reading past them shows up in the sanitizer build).
        reg_queue[1999] = 4;
        reg_queue_len = 1500;
        render();
        QCOMPARE(reg_queue_len, 0);
        QCOMPARE(chip_regs[8], uint8_t(4));
    }

    void noise_generator()
    {
        // Noise period 0: every sample draws for A, then B, then C. A also
        // has its tone on (T = 10), so it sounds only when both say so.
        chip_reset();
        render({{0, 26}, {2, 100}, {4, 100}, {7, 0x06}, {8, 15}, {9, 15}, {10, 15}});
        QCOMPARE(chip_save().chip.tone_period[0], 10u);
        Lcg ref;
        for (uint32_t frame = 0; frame < 2; ++frame) {
            if (frame == 1)
                render();
            for (uint32_t i = 0; i < SAMPLES_PER_FRAME; ++i) {
                const uint32_t n = frame * SAMPLES_PER_FRAME + i;
                const bool tone = n % 10 < 5;
                for (int c = 0; c < 3; ++c) {
                    const bool bit = ref.next() & 1;
                    const bool on = bit && (c != 0 || tone);
                    QCOMPARE(chip_channel(c)[i], uint16_t(on ? 32767 : 0));
                }
            }
        }

        // Noise period 12: no draw before sample 12, so the noise bits are 0
        // until then; afterwards one draw per channel every 12 samples.
        chip_reset();
        render({{0, 100}, {2, 100}, {4, 100}, {6, 31}, {7, 0x07}, {8, 15}, {9, 15}, {10, 15}});
        Lcg ref12;
        bool bits[3] = {false, false, false};
        for (uint32_t i = 0; i < SAMPLES_PER_FRAME; ++i) {
            if (i > 0 && i % 12 == 0)
                for (bool& b : bits)
                    b = ref12.next() & 1;
            for (int c = 0; c < 3; ++c)
                QCOMPARE(chip_channel(c)[i], uint16_t(bits[c] ? 32767 : 0));
        }
    }

    void reset_makes_renders_repeat()
    {
        const auto run = [] {
            std::vector<uint8_t> out;
            render({{0, 77},
                    {2, 200},
                    {3, 1},
                    {4, 40},
                    {6, 5},
                    {7, 0x10},
                    {8, 0x10},
                    {9, 12},
                    {10, 0x10},
                    {11, 30},
                    {13, 14}});
            for (int f = 0; f < 4; ++f) {
                out.insert(out.end(), frame_buf, frame_buf + FRAME_BYTES);
                render();
            }
            return out;
        };
        chip_reset();
        const std::vector<uint8_t> a = run();
        QVERIFY(std::any_of(a.begin(), a.end(), [](uint8_t b) { return b != 0; }));
        // Without a reset the generator and counters carry on.
        QVERIFY(run() != a);
        chip_reset();
        QVERIFY(run() == a);

        chip_reset();
        ChipState start{};
        start.noise_seed = 1;
        QCOMPARE(chip_difference(chip_save(), start), QString());
        QVERIFY(std::all_of(chip_regs, chip_regs + 16, [](uint8_t r) { return r == 0; }));
    }

    // A state of its own renders beside the playing chip, while writes wait
    // in the playing chip's queue: each plays what it plays alone.
    void two_states_render_independently()
    {
        const Writes tunes[2] = {
            {{0, 77}, {6, 5}, {7, 0x30}, {8, 0x10}, {9, 12}, {11, 30}, {13, 14}},
            {{2, 200}, {3, 1}, {6, 17}, {7, 0x08}, {9, 15}, {10, 0x10}, {12, 2}, {13, 8}},
        };
        constexpr int FRAMES = 4;
        std::vector<uint8_t> alone[2], both[2];
        for (int t = 0; t < 2; ++t) {
            chip_reset();
            render(tunes[t]);
            for (int f = 0; f < FRAMES; ++f, render())
                alone[t].insert(alone[t].end(), frame_buf, frame_buf + FRAME_BYTES);
        }
        QVERIFY(alone[0] != alone[1]);

        chip_reset();
        ChipState own;
        RegQueue queue;
        ChipFrame out;
        for (const auto& w : tunes[1])
            queue.push(static_cast<uint8_t>(w.first), static_cast<uint8_t>(w.second));
        for (const auto& w : tunes[0])
            reg_queue_push(static_cast<uint8_t>(w.first), static_cast<uint8_t>(w.second));
        for (int f = 0; f < FRAMES; ++f) {
            chip_render_frame(own, queue, out);
            both[1].insert(both[1].end(), out.bytes, out.bytes + FRAME_BYTES);
            chip_render_frame();
            both[0].insert(both[0].end(), frame_buf, frame_buf + FRAME_BYTES);
        }
        QVERIFY(both[0] == alone[0]);
        QVERIFY(both[1] == alone[1]);
    }
};

QTEST_APPLESS_MAIN(TestChip)
#include "test_chip.moc"
