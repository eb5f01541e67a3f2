// The accurate model against the chip's formulas and measured levels: tone =
// clock / (16 P), saw-tooth envelope = clock / (256 E), triangle = clock /
// (512 E), noise steps = clock / (16 N), a true square at every period, one
// noise generator for all channels, the fixed levels of real chips, the ends
// of the envelope's shapes, writes at their frame's first sample, no aliasing
// and no DC.
#include "accurate/accurate_render.h"
#include "accurate/psg_model.h"
#include "support/song_build.h"
#include "support/wave_analysis.h"

#include <QtTest>

#include <algorithm>
#include <cmath>

namespace {

constexpr uint32_t FRAMES = 100;        // 2 s
constexpr int64_t SETTLED = 44100 / 5;  // from 0.2 s on

// A 2-second song whose writes all come in frame 0; rendered accurately.
Stereo render(const std::vector<SongWrite>& writes, const AccurateSetup& setup = AccurateSetup())
{
    Stereo s;
    if (!set_song(writes, FRAMES))
        return s;
    accurate_render(setup, 0, FRAMES, [&](const int16_t* p, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            s.left.push_back(p[2 * i]);
            s.right.push_back(p[2 * i + 1]);
        }
        return true;
    });
    return s;
}

std::vector<SongWrite> tone(uint32_t period)
{
    return {{0, uint8_t(period & 0xFF), 0}, {1, uint8_t(period >> 8), 0}, {7, 0x3E, 0}, {8, 15, 0}};
}

std::vector<SongWrite> buzzer(uint8_t shape, uint32_t period)
{
    return {{11, uint8_t(period & 0xFF), 0}, {12, uint8_t(period >> 8), 0}, {7, 0x3F, 0}, {8, 0x10, 0}, {13, shape, 0}};
}

AccurateSetup chip(PsgType type, uint32_t clock)
{
    AccurateSetup s;
    s.chip.type = type;
    s.chip.clock = clock;
    return s;
}

double mean_percent(const std::vector<int16_t>& x)
{
    double sum = 0;
    for (size_t i = SETTLED; i < x.size(); ++i)
        sum += x[i];
    return std::fabs(sum / static_cast<double>(x.size() - SETTLED)) / 32768 * 100;
}

double rms(const std::vector<int16_t>& x)
{
    double sum = 0;
    for (size_t i = SETTLED; i < x.size(); ++i)
        sum += double(x[i]) * x[i];
    return std::sqrt(sum / static_cast<double>(x.size() - SETTLED));
}

double rms_in(const std::vector<int16_t>& x, size_t from, size_t to)
{
    double sum = 0;
    for (size_t i = from; i < to; ++i)
        sum += double(x[i]) * x[i];
    return std::sqrt(sum / static_cast<double>(to - from));
}

double db(double ratio)
{
    return 20 * std::log10(ratio);
}

// Correlation of x with itself `lag` samples later (fractional lags
// interpolated), from SETTLED on.
double autocorrelation(const std::vector<int16_t>& x, double lag)
{
    const auto at = [&](size_t k) {
        double sum = 0;
        for (size_t i = SETTLED; i + k < x.size(); ++i)
            sum += double(x[i]) * x[i + k];
        return sum;
    };
    const size_t k = static_cast<size_t>(lag);
    const double f = lag - static_cast<double>(k);
    return ((1 - f) * at(k) + f * at(k + 1)) / at(0);
}

}  // namespace

Q_DECLARE_METATYPE(AccurateSetup)
Q_DECLARE_METATYPE(std::vector<SongWrite>)

class TestAccurate : public QObject {
    Q_OBJECT

private slots:
    void tones_and_buzzers_data()
    {
        QTest::addColumn<std::vector<SongWrite>>("song");
        QTest::addColumn<AccurateSetup>("setup");
        QTest::addColumn<double>("hz");
        const double ay = 1773400, ym = 2000000;
        const AccurateSetup AY = chip(PsgType::AY, 1773400), YM = chip(PsgType::YM, 2000000);
        for (uint32_t p : {6u, 10u, 101u, 285u, 1000u, 4095u})
            QTest::addRow("AY tone %u", p) << tone(p) << AY << ay / (16 * p);
        QTest::newRow("YM tone 100") << tone(100) << YM << ym / 1600;
        // Only the bits a register has reach the chip: coarse 0xF1 is 1,
        // level 0xEF is 15 without the envelope.
        QTest::newRow("AY tone 0x12C, unused bits set")
            << std::vector<SongWrite>{{0, 0x2C, 0}, {1, 0xF1, 0}, {7, 0x3E, 0}, {8, 0xEF, 0}} << AY
            << ay / (16 * 0x12C);
        for (uint32_t e : {4u, 16u, 60u}) {
            QTest::addRow("AY saw 8, E %u", e) << buzzer(8, e) << AY << ay / (256 * e);
            QTest::addRow("AY triangle 14, E %u", e) << buzzer(14, e) << AY << ay / (512 * e);
        }
        QTest::newRow("YM saw 12, E 16") << buzzer(12, 16) << YM << ym / (256 * 16);
        QTest::newRow("YM triangle 10, E 60") << buzzer(10, 60) << YM << ym / (512 * 60);
    }
    void tones_and_buzzers()
    {
        QFETCH(std::vector<SongWrite>, song);
        QFETCH(AccurateSetup, setup);
        QFETCH(double, hz);
        const Stereo s = render(song, setup);
        QCOMPARE(s.size(), int64_t(FRAMES * 882));
        const ToneSpectrum t = tone_spectrum(s.left, SETTLED, 16, 44100, hz);
        const double cents = 1200 * std::log2(t.frequency / hz);
        QVERIFY2(std::fabs(cents) <= 0.2, qPrintable(QString("%1 Hz: %2 cents").arg(t.frequency).arg(cents)));
        QVERIFY2(t.inharmonic_db <= -60, qPrintable(QString("aliasing at %1 dB").arg(t.inharmonic_db)));
        QVERIFY2(mean_percent(s.left) <= 0.1, qPrintable(QString("DC %1 %").arg(mean_percent(s.left))));
        // Channel A alone: nothing on the right.
        QCOMPARE(rms(s.right), 0.0);
    }

    void square_at_every_period_data()
    {
        QTest::addColumn<uint32_t>("period");
        for (uint32_t p : {7u, 33u, 101u, 999u})
            QTest::addRow("period %u", p) << p;
    }
    void square_at_every_period()
    {
        // Half high, half low at odd periods too: no even harmonics.
        QFETCH(uint32_t, period);
        const Stereo s = render(tone(period));
        const ToneSpectrum t = tone_spectrum(s.left, SETTLED, 16, 44100, 1773400.0 / (16 * period));
        QVERIFY2(t.second_db <= -60, qPrintable(QString("second harmonic at %1 dB").arg(t.second_db)));
    }

    void period_zero_is_period_one()
    {
        const Stereo zero = render(tone(0)), one = render(tone(1));
        QVERIFY(zero.left == one.left);
        // 110 kHz is far above the band: what is left is nothing.
        QVERIFY(rms(one.left) < 1);
        // Nor of 25 kHz (a YM at 2 MHz, period 5), which would fold back to
        // 19.1 kHz: the band ends at 20 kHz.
        const double high = rms(render(tone(5), chip(PsgType::YM, 2000000)).left);
        const double heard = rms(render(tone(100), chip(PsgType::YM, 2000000)).left);
        QVERIFY2(db(high / heard) <= -70, qPrintable(QString("%1 dB").arg(db(high / heard))));
    }

    void noise_is_shared()
    {
        // A and B both on noise only: the same generator, so the sum is
        // twice as loud (+6 dB); independent generators would give +3.
        const std::vector<SongWrite> one = {{6, 10, 0}, {7, 0x37, 0}, {8, 15, 0}};
        const std::vector<SongWrite> two = {{6, 10, 0}, {7, 0x27, 0}, {8, 15, 0}, {9, 15, 0}};
        const Stereo a = render(one), ab = render(two);
        const double gain = 20 * std::log10(rms(ab.left) / rms(a.left));
        QVERIFY2(gain >= 5, qPrintable(QString("%1 dB").arg(gain)));
        QVERIFY2(mean_percent(ab.left) <= 0.1, qPrintable(QString("DC %1 %").arg(mean_percent(ab.left))));
    }

    void part_sounds_as_in_the_whole_data()
    {
        QTest::addColumn<uint32_t>("rate");
        QTest::addColumn<uint32_t>("millihertz");
        QTest::addColumn<uint32_t>("clock");
        QTest::newRow("48 kHz, 48.828 frames a second") << 48000u << 48828u << 1773400u;
        // Frame 2 starts at tick 44,335, exactly on sample 8,820.
        QTest::newRow("10 frames a second") << 44100u << 10000u << 1773400u;
        QTest::newRow("8 kHz, 20 MHz") << 8000u << 50000u << 20000000u;
    }
    void part_sounds_as_in_the_whole()
    {
        // Stretches of a 400-frame song with a moving tone, a triangle and a
        // level that changes at every frame start, noise that runs heard and
        // unheard, an envelope that ends and starts again and a channel that
        // falls silent: each stretch is that stretch of the whole, whether it
        // starts early in the song or after a fast-forward, and every step
        // lands in the buffers however the frame starts fall between samples.
        QFETCH(uint32_t, rate);
        QFETCH(uint32_t, millihertz);
        QFETCH(uint32_t, clock);
        constexpr uint32_t LONG = 400;
        std::vector<SongWrite> song = buzzer(14, 40);
        song.push_back({9, 0x10, 0});
        song.push_back({7, 0x3C, 0});
        for (uint32_t f = 0; f < LONG; ++f) {
            song.push_back({0, uint8_t(50 + f), f});
            song.push_back({10, uint8_t(f % 2 ? 15 : 8), f});  // C a constant level
        }
        const std::vector<SongWrite> events = {{6, 1, 100},    {7, 0x1C, 100},                // noise on C
                                               {11, 2, 120},   {12, 0, 120},   {13, 9, 120},  // falls and stays at 0
                                               {8, 0, 180},                                   // A silent
                                               {7, 0x3C, 200},                                // the noise unheard
                                               {13, 14, 250},  {8, 15, 260}};
        song.insert(song.end(), events.begin(), events.end());
        std::stable_sort(song.begin(), song.end(),
                         [](const SongWrite& a, const SongWrite& b) { return a.frame < b.frame; });
        QVERIFY(set_song(song, LONG));
        AccurateSetup setup;
        setup.chip.rate = rate;
        setup.chip.clock = clock;
        setup.frame_millihertz = millihertz;
        std::vector<int16_t> whole;
        const auto into = [](std::vector<int16_t>& v) {
            return [&v](const int16_t* p, size_t n) {
                v.insert(v.end(), p, p + 2 * n);
                return true;
            };
        };
        const auto pair_of = [&](uint32_t f) { return 2 * (uint64_t{f} * rate * 1000 / millihertz); };
        accurate_render(setup, 0, LONG, into(whole));
        QCOMPARE(whole.size(), size_t(pair_of(LONG)));
        const uint32_t stretches[][2] = {{30, 60}, {125, 140}, {140, 170}, {160, 190}, {299, 330}, {330, LONG}};
        for (const auto& s : stretches) {
            std::vector<int16_t> part;
            accurate_render(setup, s[0], s[1], into(part));
            QVERIFY2(part
                         == std::vector<int16_t>(whole.begin() + static_cast<std::ptrdiff_t>(pair_of(s[0])),
                                                 whole.begin() + static_cast<std::ptrdiff_t>(pair_of(s[1]))),
                     qPrintable(QString("frames %1 to %2").arg(s[0]).arg(s[1])));
        }
    }

    void fixed_levels_data()
    {
        // Each level's tone against level 15's, as measured on real chips:
        // an AY-3-8912 (Matthew Westcott, comp.sys.sinclair) and a YM2149
        // (Alive 9, "YM Volume Levels").
        QTest::addColumn<AccurateSetup>("setup");
        QTest::addColumn<int>("level");
        QTest::addColumn<double>("measured");
        QTest::addColumn<int>("step");  // of the YM's envelope; -1: the fixed level
        const double ay[15] = {0,      0.0105, 0.0154, 0.0216, 0.0314, 0.0461, 0.0635, 0.1061,
                               0.1319, 0.2163, 0.2973, 0.3908, 0.5129, 0.6371, 0.8186};
        const double ym[15]
            = {0, 0.005, 0.008, 0.012, 0.018, 0.024, 0.036, 0.048, 0.069, 0.095, 0.139, 0.191, 0.287, 0.407, 0.648};
        for (int l = 1; l < 15; ++l) {
            QTest::addRow("AY %d", l) << chip(PsgType::AY, 1773400) << l << ay[l] << -1;
            QTest::addRow("YM %d", l) << chip(PsgType::YM, 2000000) << l << ym[l] << -1;
        }
        // The YM's envelope has 32 steps, the fixed levels at the odd ones;
        // the DAC is logarithmic, so an even step lies halfway, in
        // decibels, between its neighbours.
        QTest::newRow("YM envelope step 30") << chip(PsgType::YM, 2000000) << 0 << std::sqrt(ym[14]) << 30;
        QTest::newRow("YM envelope step 28") << chip(PsgType::YM, 2000000) << 0 << std::sqrt(ym[13] * ym[14]) << 28;
        // Step 2's lower neighbour is silence: it lies as far under step 3
        // as step 4 lies under step 5.
        QTest::newRow("YM envelope step 4") << chip(PsgType::YM, 2000000) << 0 << std::sqrt(ym[1] * ym[2]) << 4;
        QTest::newRow("YM envelope step 2") << chip(PsgType::YM, 2000000) << 0 << ym[1] * std::sqrt(ym[1] / ym[2]) << 2;
    }
    void fixed_levels()
    {
        QFETCH(AccurateSetup, setup);
        QFETCH(int, level);
        QFETCH(double, measured);
        QFETCH(int, step);
        std::vector<SongWrite> song = tone(100);
        const double full = rms(render(song, setup).left);
        double got;
        if (step < 0) {
            song.back().value = uint8_t(level);
            got = db(rms(render(song, setup).left) / full);
        } else {
            // E = 65535: each step lasts 65535 ticks; the middle of step
            // `step`'s stretch, falling from 31 (shape 0) or, for the low
            // steps, rising from 0 (shape 4).
            song.back().value = 0x10;
            const bool rising = step < 16;
            for (const SongWrite& w :
                 std::vector<SongWrite>{{11, 0xFF, 0}, {12, 0xFF, 0}, {13, uint8_t(rising ? 4 : 0), 0}})
                song.push_back(w);
            const double samples = 65535 * 8.0 / setup.chip.clock * setup.chip.rate;
            const int place = rising ? step : 31 - step;
            const auto from = static_cast<size_t>((place + 0.2) * samples),
                       to = static_cast<size_t>((place + 0.8) * samples);
            got = db(rms_in(render(song, setup).left, from, to) / full);
        }
        QVERIFY2(std::fabs(got - db(measured)) <= 0.05,
                 qPrintable(QString("%1 dB, measured %2 dB").arg(got).arg(db(measured))));
    }

    // Each layout puts the channels where its name says and as loud as the
    // manual says on each side (abc: A left, B centre, C right, at a half, a
    // third and a sixth; acb: C centre, B right; the default one A and C on
    // their sides, each at half level; mono all in the middle, a third each).
    void channels_sit_where_the_layout_puts_them()
    {
        const double h = 1.0 / 2, t = 1.0 / 3, x = 1.0 / 6;
        const struct {
            PsgPan pan;
            const char* name;
            int side[3];        // of A, B, C: 1 left, 0 centre, -1 right
            double gain[3][2];  // of A, B, C: left, right
        } layouts[] = {{PsgPan::DEFAULT, "default", {1, 0, -1}, {{h, 0}, {h, h}, {0, h}}},
                       {PsgPan::ABC, "abc", {1, 0, -1}, {{h, x}, {t, t}, {x, h}}},
                       {PsgPan::ACB, "acb", {1, -1, 0}, {{h, x}, {x, h}, {t, t}}},
                       {PsgPan::MONO, "mono", {0, 0, 0}, {{t, t}, {t, t}, {t, t}}}};
        double full = 0;  // a channel's RMS at gain 1, from the first one rendered
        for (const auto& l : layouts) {
            for (int c = 0; c < 3; ++c) {
                AccurateSetup setup;
                setup.chip.pan = l.pan;
                const auto r = static_cast<uint8_t>(2 * c);
                const Stereo s = render(
                    {{r, 100, 0}, {uint8_t(r + 1), 0, 0}, {7, uint8_t(0x3F & ~(1 << c)), 0}, {uint8_t(8 + c), 15, 0}},
                    setup);
                const double left = rms(s.left), right = rms(s.right);
                const int side = left > 1.05 * right ? 1 : right > 1.05 * left ? -1 : 0;
                QVERIFY2(side == l.side[c],
                         qPrintable(QString("%1, channel %2: left %3, right %4")
                                        .arg(l.name)
                                        .arg(QChar('A' + c))
                                        .arg(left)
                                        .arg(right)));
                if (full == 0)
                    full = left / l.gain[c][0];
                for (int k = 0; k < 2; ++k) {
                    const double got = k ? right : left;
                    QVERIFY2(std::fabs(got - full * l.gain[c][k]) <= 0.002 * full,
                             qPrintable(QString("%1, channel %2, %3: %4 of full, not %5")
                                            .arg(l.name)
                                            .arg(QChar('A' + c))
                                            .arg(k ? "right" : "left")
                                            .arg(got / full)
                                            .arg(l.gain[c][k])));
                }
            }
        }
    }

    void noise_rate_data()
    {
        QTest::addColumn<uint8_t>("period");
        for (int n : {10, 15, 20, 30})
            QTest::addRow("N %d", n) << uint8_t(n);
    }
    void noise_rate()
    {
        // Noise holds each value for 16 N clocks and then takes a new one
        // about as often as not: its correlation falls in a straight line
        // from 1 to 0 over one step and stays near 0.
        QFETCH(uint8_t, period);
        const Stereo s = render({{6, period, 0}, {7, 0x37, 0}, {8, 15, 0}});
        const double step = 16.0 * period / 1773400 * 44100;  // samples
        const double half = autocorrelation(s.left, step / 2), after = autocorrelation(s.left, 1.5 * step);
        QVERIFY2(std::fabs(half - 0.5) <= 0.1 && std::fabs(after) <= 0.1,
                 qPrintable(QString("correlation %1 half a step on, %2 1.5 steps on").arg(half).arg(after)));
    }

    void envelope_shapes_data()
    {
        // Shapes 0-7, 9 and 15 end at 0 after their first ramp, 11 and 13 at
        // full; 8 and 12 repeat as saw-teeth, 10 and 14 as triangles. A
        // tone under the envelope shows where it ends.
        QTest::addColumn<AccurateSetup>("setup");
        QTest::addColumn<uint8_t>("shape");
        QTest::addColumn<double>("hz");  // 0: held at 0, -1: held at full
        const AccurateSetup AY = chip(PsgType::AY, 1773400), YM = chip(PsgType::YM, 2000000);
        for (uint8_t shape = 0; shape < 16; ++shape) {
            const bool repeats = (shape & 8) && !(shape & 1);
            const double hz
                = !repeats ? (shape == 11 || shape == 13 ? -1 : 0) : 1773400.0 / ((shape & 2 ? 512 : 256) * 40);
            QTest::addRow("AY shape %d", shape) << AY << shape << hz;
        }
        QTest::newRow("YM shape 11") << YM << uint8_t(11) << -1.0;
        QTest::newRow("YM shape 13") << YM << uint8_t(13) << -1.0;
        QTest::newRow("YM shape 15") << YM << uint8_t(15) << 0.0;
    }
    void envelope_shapes()
    {
        QFETCH(AccurateSetup, setup);
        QFETCH(uint8_t, shape);
        QFETCH(double, hz);
        std::vector<SongWrite> song = tone(100);
        if (hz > 0) {
            const ToneSpectrum t = tone_spectrum(render(buzzer(shape, 40)).left, SETTLED, 16, 44100, hz);
            QVERIFY2(std::fabs(1200 * std::log2(t.frequency / hz)) <= 0.2,
                     qPrintable(QString("%1 Hz").arg(t.frequency)));
            // The second ramp, under a slow envelope (E = 4000, a ramp of
            // 25,470 samples): 8 \\\\ and 14 /\/\ fall, 10 \/\/ and 12
            // //// rise.
            song.back().value = 0x10;
            for (const SongWrite& w : std::vector<SongWrite>{{11, 0xA0, 0}, {12, 0x0F, 0}, {13, shape, 0}})
                song.push_back(w);
            const Stereo s = render(song, setup);
            const double early = rms_in(s.left, 28000, 32000), late = rms_in(s.left, 44000, 48000);
            QVERIFY2((shape == 10 || shape == 12) == (late > early),
                     qPrintable(QString("RMS %1 early in the second ramp, %2 late").arg(early).arg(late)));
            return;
        }
        const double full = rms(render(song, setup).left);
        song.back().value = 0x10;
        for (const SongWrite& w : std::vector<SongWrite>{{11, 40, 0}, {12, 0, 0}, {13, shape, 0}})
            song.push_back(w);
        const double held = rms(render(song, setup).left);
        if (hz < 0)
            QVERIFY2(std::fabs(db(held / full)) <= 0.05, qPrintable(QString("%1 dB under full").arg(db(held / full))));
        else
            QVERIFY2(held < 1, qPrintable(QString("RMS %1").arg(held)));
    }

    void write_heard_from_its_frame_data()
    {
        QTest::addColumn<uint32_t>("frame");
        QTest::addColumn<uint32_t>("rate");
        QTest::addColumn<uint32_t>("millihertz");
        QTest::newRow("frame 7") << 7u << 44100u << 50000u;
        QTest::newRow("frame 13, 48 kHz, 48.828 Hz") << 13u << 48000u << 48828u;
        QTest::newRow("frame 61, 8 kHz") << 61u << 8000u << 50000u;
    }
    void write_heard_from_its_frame()
    {
        // Level 15 written in frame k, nothing before: a step centred on
        // sample k x rate / frame rate.
        QFETCH(uint32_t, frame);
        QFETCH(uint32_t, rate);
        QFETCH(uint32_t, millihertz);
        AccurateSetup setup;
        setup.chip.rate = rate;
        setup.frame_millihertz = millihertz;
        const Stereo s = render({{7, 0x3F, 0}, {8, 15, frame}}, setup);
        const size_t at = size_t{frame} * rate * 1000 / millihertz;
        double step = 0;
        for (size_t i = at + 2; i < at + 12; ++i)
            step += s.left[i] / 10.0;
        QVERIFY(step > 8000);
        QVERIFY2(std::fabs(s.left[at - 1]) < 0.2 * step && s.left[at + 1] > 0.8 * step,
                 qPrintable(QString("%1 and %2 of %3").arg(s.left[at - 1]).arg(s.left[at + 1]).arg(step)));
    }

    void writes_of_a_tick()
    {
        // Period 0 (= 1) in frame 0 flips the tone at every tick, heard or
        // not; frame 1's writes reach the chip on tick 4433, where it flips
        // for the 4433rd time before the new period counts: the tone starts
        // high.
        for (int level : {15, 0}) {
            const Stereo s = render({{7, 0x3E, 0}, {8, uint8_t(level), 0}, {0, 200, 1}, {8, 15, 1}});
            const double half = 200 * 8.0 / 1773400 * 44100;
            double sum = 0;
            for (int64_t i = 882; i < 882 + 4410; ++i)
                sum += s.left[size_t(i)]
                    * (std::fmod((double(i) - 4433 * 8.0 / 1773400 * 44100) / half, 2) < 1 ? 1 : -1);
            QVERIFY2(sum > 0, "the tone starts low");
        }
        // A period's two halves written on one tick count as one period,
        // whatever the period between them.
        const std::vector<SongWrite> a = {{0, 0x40, 0}, {1, 2, 0}, {7, 0x3E, 0}, {8, 15, 0}, {0, 0xF0, 1}, {1, 1, 1}};
        const std::vector<SongWrite> b = {{0, 0x40, 0}, {1, 2, 0}, {7, 0x3E, 0}, {8, 15, 0}, {1, 1, 1}, {0, 0xF0, 1}};
        QVERIFY(render(a).left == render(b).left);
    }

    void period_written_mid_count_data()
    {
        // A tone at period 200 last flipped on tick 4400; frame 1 writes a
        // new period on tick 4433. The counter flips when it reaches the
        // period: one not yet reached counts on to it, one reached or passed
        // flips on the next tick.
        QTest::addColumn<uint32_t>("period");
        QTest::addColumn<uint32_t>("flip");  // the first flip after the write
        QTest::newRow("50, not reached") << 50u << 4450u;
        QTest::newRow("33, reached on the write's tick") << 33u << 4434u;
        QTest::newRow("10, passed") << 10u << 4434u;
    }
    void period_written_mid_count()
    {
        QFETCH(uint32_t, period);
        QFETCH(uint32_t, flip);
        std::vector<SongWrite> song = tone(200);
        song.push_back({0, uint8_t(period), 1});
        const Stereo s = render(song);
        // The fundamental's phase, doubled so that it does not matter which
        // flips rise: the flips are at flip + k x period ticks.
        const double f = 1773400.0 / (16 * period), flip_at = flip * 8.0 / 1773400 * 44100;
        const double w = 2 * std::acos(-1.0) * f / 44100;
        double re = 0, im = 0;
        for (size_t n = 1000; n < 1000 + 8820; ++n) {
            re += s.left[n] * std::cos(w * double(n));
            im -= s.left[n] * std::sin(w * double(n));
        }
        const double expected = -2 * (w * flip_at + std::acos(0.0));
        const double off = std::remainder(2 * std::atan2(im, re) - expected, 2 * std::acos(-1.0));
        QVERIFY2(std::fabs(off) <= 0.05, qPrintable(QString("%1 rad off").arg(off)));
    }

    void envelope_steps_from_the_tick_of_its_shape_data()
    {
        QTest::addColumn<AccurateSetup>("setup");
        QTest::addColumn<uint32_t>("first_drop");  // ticks after the write
        // The AY hears the envelope's 32 steps in pairs, the YM each one.
        QTest::newRow("AY") << chip(PsgType::AY, 1773400) << 100u;
        QTest::newRow("YM") << chip(PsgType::YM, 1773400) << 50u;
    }
    void envelope_steps_from_the_tick_of_its_shape()
    {
        // A saw-tooth written in frame 1 (tick 4433) with E = 50 falls from
        // 31 one step every 50 ticks from that tick on. At one sample a tick
        // the drop's centre (the centroid of the differences, plus half a
        // sample) is its tick.
        QFETCH(AccurateSetup, setup);
        QFETCH(uint32_t, first_drop);
        setup.chip.rate = setup.chip.clock / 8;
        const Stereo s = render({{7, 0x3F, 0}, {8, 0x10, 0}, {11, 50, 0}, {13, 8, 1}}, setup);
        const int64_t at = 4433 + first_drop;
        double moment = 0, total = 0;
        for (int64_t i = at - 20; i < at + 20; ++i) {
            const double d = double(s.left[size_t(i + 1)]) - s.left[size_t(i)];
            moment += double(i) * d;
            total += d;
        }
        const double edge = moment / total + 0.5;
        QVERIFY2(total < 0 && std::fabs(edge - double(at)) <= 0.25,
                 qPrintable(QString("the first step down at tick %1, not %2").arg(edge).arg(at)));
    }

    void envelope_period_written_mid_step()
    {
        // A saw-tooth stepping every 100 ticks (32 steps a ramp, the AY
        // hearing them in pairs) is at step 44 from tick 4400 on; E = 10
        // written on tick 4433 takes effect at the next tick, where the
        // counter is past it: step 45 on tick 4434, and the ramp starts
        // again at step 64, on tick 4434 + 19 x 10.
        const Stereo s = render({{7, 0x3F, 0}, {8, 0x10, 0}, {11, 100, 0}, {13, 8, 0}, {11, 10, 1}});
        const double expected = 4624 * 8.0 / 1773400 * 44100;
        int64_t edge = 890;
        for (int64_t i = 890; i < 960; ++i)
            if (s.left[size_t(i + 1)] - s.left[size_t(i)] > s.left[size_t(edge + 1)] - s.left[size_t(edge)])
                edge = i;
        QVERIFY2(std::fabs(double(edge) + 0.5 - expected) <= 0.75,
                 qPrintable(
                     QString("the ramp starts again at sample %1, not %2").arg(double(edge) + 0.5).arg(expected)));
    }

    // Samples are the nearest step to the model's output, not the step
    // below it (which would add half a step of DC), and clip at full scale.
    void samples_round_to_the_nearest_step()
    {
        const struct {
            double value;
            int sample;
        } rows[]
            = {{0.49, 0}, {0.5, 1},   {0.51, 1},        {-0.49, 0},   {-0.51, -1},        {-1.5, -1},    {-1.51, -2},
               {2.6, 3},  {-2.6, -3}, {32766.7, 32767}, {1e6, 32767}, {-32767.6, -32768}, {-1e6, -32768}};
        for (const auto& r : rows)
            QVERIFY2(to_sample(r.value) == r.sample,
                     qPrintable(QString("%1 -> %2, not %3").arg(r.value).arg(to_sample(r.value)).arg(r.sample)));
    }
};

QTEST_GUILESS_MAIN(TestAccurate)
#include "test_accurate.moc"
