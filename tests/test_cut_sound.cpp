// What is heard at a cut is what the pieces play: the chip at any frame is
// the chip that playing from the beginning reaches there, and a piece cut
// out of the song starts with the song's state.
#include "audio/chip.h"
#include "audio/playback.h"
#include "audio/seek.h"
#include "edit/editing.h"
#include "edit/intro_loop.h"
#include "edit/lead_in.h"
#include "song/song.h"
#include "support/psg_data.h"
#include "support/song_check.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>

namespace {

// A busy song: tone and noise periods that change, mixer and amplitude
// changes, envelope periods and shape writes (the same shape again too),
// stretches of silence long enough for every counter to wrap many times.
QByteArray busy_song(uint32_t seed, int frames)
{
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    QByteArray s = psg_header();
    for (int f = 0; f < frames; ++f) {
        const int writes = pick(4) == 0 ? 0 : pick(8);
        for (int k = 0; k < writes; ++k) {
            int reg = pick(16);
            int value = pick(256);
            if (reg == 11 || reg == 12)
                value = pick(4) == 0 ? 0 : pick(40);  // short envelopes step within a frame
            if (reg >= 8 && reg <= 10 && pick(2))
                value |= 0x10;
            s.append(static_cast<char>(reg));
            s.append(static_cast<char>(value));
        }
        if (pick(25) == 0) {
            s.append('\xfe');
            s.append(static_cast<char>(1 + pick(3)));
        } else {
            s.append('\xff');
        }
    }
    return s;
}

// Slow envelopes (R12 not 0: a step lasts a hundred samples or more) that
// are cut at every phase: triangles when `triangles`, else any shape, with
// tones, noise, mixer and amplitudes (mostly following the envelope) that
// change now and then, some of them back to 0.
QByteArray enveloped_song(uint32_t seed, int frames, bool triangles)
{
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    PsgBuilder s;
    s.write(REG_MIXER, 0x38).write(REG_AMP_A, 0x10).write(REG_ENV_COARSE, 1).write(REG_ENV_SHAPE, 14);
    for (int f = 0; f < frames; ++f) {
        for (int k = pick(4); k > 0; --k) {
            const int reg = pick(REG_ENV_SHAPE);
            int value = pick(4) == 0 ? 0 : pick(256);
            if (reg == REG_ENV_COARSE)
                value = 1 + pick(6);
            else if (reg >= REG_AMP_A && reg <= REG_AMP_C && pick(3))
                value |= 0x10;
            s.write(reg, value);
        }
        if (pick(12) == 0)
            s.write(REG_ENV_SHAPE, triangles && pick(4) ? (pick(2) ? 10 : 14) : pick(16));
        s.end();
    }
    return s.bytes;
}

ChipState with_writes(const ChipState& state, const std::vector<Write>& writes)
{
    chip_restore(state);
    for (const Write& w : writes)
        chip_write(static_cast<uint8_t>(w.reg), static_cast<uint8_t>(w.value));
    return chip_save();
}

// The place of a triangle's level in its 32 steps: 0..15 rising, 16..31
// falling from 15.
int triangle_phase(const Envelope& e)
{
    return e.rising ? e.level : 31 - e.level;
}

bool at_rest_at_0(const Envelope& e)
{
    return e.level == 0 && (e.stopped || (!e.rising && !e.cont));
}

// The level a shape 0..7 written now reaches a while later: it steps at the
// pace that the flags of the shape before it give.
int decay_level(const ChipState& state)
{
    chip_restore(state);
    chip_write(REG_ENV_SHAPE, 4);
    chip_advance(4 * (2 * uint64_t{state.chip.env.period} + 1));
    return chip_save().chip.env.level;
}

// Empty when a piece's chip carries what the song's chip holds, up to the
// phases a file cannot hold: the registers, the envelope's shape (a triangle
// restarted on the half of its cycle the song is in), or its rest at 0.
QString carried_difference(const ChipState& song, const ChipState& piece, bool restarted)
{
    for (int r = 0; r <= REG_ENV_COARSE; ++r)
        if (song.regs[r] != piece.regs[r])
            return QStringLiteral("R%1 is %2, not %3").arg(r).arg(piece.regs[r]).arg(song.regs[r]);
    const Envelope &s = song.chip.env, &p = piece.chip.env;
    if (!restarted && at_rest_at_0(s))
        return at_rest_at_0(p) ? QString() : QStringLiteral("the envelope sounds");
    if (!restarted && s.cont && s.alternate && !s.hold) {
        const int d = std::abs(triangle_phase(s) - triangle_phase(p));
        if (!p.cont || !p.alternate || p.hold || std::min(d, 32 - d) > 8)
            return QStringLiteral("triangle phase %1, not near %2").arg(triangle_phase(p)).arg(triangle_phase(s));
        return QString();
    }
    if (s.cont != p.cont || s.attack != p.attack || (s.cont && (s.alternate != p.alternate || s.hold != p.hold)))
        return QStringLiteral("envelope shape %1, not %2").arg(piece.regs[REG_ENV_SHAPE]).arg(song.regs[REG_ENV_SHAPE]);
    if (restarted && (s.level != p.level || s.rising != p.rising || s.count != p.count))
        return QStringLiteral("the envelope restarts at level %1, not %2").arg(p.level).arg(s.level);
    if (decay_level(song) != decay_level(piece))
        return QStringLiteral("a later decay steps at another pace");
    return QString();
}

// The level (after removing the mean) of one side of one frame, in dB.
double level(const QByteArray& pcm, int frame, int side)
{
    const auto* p = reinterpret_cast<const int16_t*>(pcm.constData()) + frame * 2 * SAMPLES_PER_FRAME;
    double sum = 0, squares = 0;
    for (uint32_t i = 0; i < SAMPLES_PER_FRAME; ++i)
        sum += p[2 * i + side];
    const double mean = sum / SAMPLES_PER_FRAME;
    for (uint32_t i = 0; i < SAMPLES_PER_FRAME; ++i)
        squares += (p[2 * i + side] - mean) * (p[2 * i + side] - mean);
    return 20 * std::log10(std::max(std::sqrt(squares / SAMPLES_PER_FRAME) / 32768, 1e-6));
}

// The share of frames in which both sides of the piece are within 1.5 dB of
// the song played from `at` (or both below -60 dB).
double agreement(const QByteArray& song, uint32_t at, const QByteArray& piece)
{
    const int frames = static_cast<int>(piece.size() / FRAME_BYTES);
    const QByteArray from = song.mid(at * FRAME_BYTES);
    int agree = 0;
    for (int f = 0; f < frames; ++f) {
        bool ok = true;
        for (int side = 0; side < 2; ++side) {
            const double a = level(from, f, side), b = level(piece, f, side);
            ok = ok && (std::fabs(a - b) <= 1.5 || (a < -60 && b < -60));
        }
        agree += ok;
    }
    return frames ? double(agree) / frames : 0;
}

}  // namespace

class TestCutSound : public QObject {
    Q_OBJECT

private slots:
    void init() { capture_reports(); }

    void a_seek_reaches_the_state_of_playing_from_the_beginning_data()
    {
        QTest::addColumn<QByteArray>("song");
        QTest::addColumn<QByteArray>("appended");
        QTest::newRow("busy") << busy_song(1, 300) << QByteArray();
        QTest::newRow("busy, another") << busy_song(2, 300) << QByteArray();
        // The images of an appended file start from zero again.
        QTest::newRow("appended") << busy_song(3, 120) << busy_song(4, 120);
        // More writes in a frame than the register queue takes: the last
        // one, which the image repeats, never reaches the chip.
        QByteArray crowded = psg_bytes({0x00, 5, 0x08, 15, 0xFF});
        for (int k = 0; k < 1000; ++k)
            crowded += QByteArray::fromRawData("\x00\x07", 2);
        crowded += psg_bytes({0x00, 5, 0xFF, 0xFF}).mid(16);
        QTest::newRow("crowded frame") << crowded + busy_song(5, 40).mid(16) << QByteArray();
        // Frames that restart the envelope and then write a value a register
        // holds already: nothing but the restart changes.
        PsgBuilder restarts;
        restarts.write(REG_MIXER, 0x38).write(REG_AMP_A, 0x10).write(REG_ENV_COARSE, 1).write(REG_ENV_SHAPE, 14).end(3);
        for (int shape : {14, 10, 10, 8})
            restarts.write(REG_ENV_SHAPE, shape).write(REG_AMP_A, 0x10).end().end(2);
        QTest::newRow("restart, then a value held") << restarts.bytes << QByteArray();
    }

    void a_seek_reaches_the_state_of_playing_from_the_beginning()
    {
        QFETCH(QByteArray, song);
        QFETCH(QByteArray, appended);
        QCOMPARE(load_psg(song), READ_COMPLETE);
        if (!appended.isEmpty())
            QCOMPARE(load_psg(appended, false), READ_COMPLETE);
        for (uint32_t f = 0; f <= frame_count; ++f) {
            const ChipState replayed = replayed_state(f);
            reg_queue_push(1, 2);  // whatever was queued before goes
            chip_seek(f);
            QCOMPARE(reg_queue_len, 0);
            const QString diff = chip_difference(chip_save(), replayed);
            QVERIFY2(diff.isEmpty(), qPrintable(QStringLiteral("frame %1: %2").arg(f).arg(diff)));
        }
        // Playing from any frame is the song from there on, to the byte.
        const QByteArray whole = rendered(0);
        for (uint32_t f : {1u, frame_count / 3, frame_count / 2, frame_count - 1})
            QVERIFY2(rendered(f) == whole.mid(f * FRAME_BYTES), qPrintable(QString::number(f)));
    }

    void a_piece_starts_in_the_song_state_at_every_cut_data()
    {
        QTest::addColumn<QByteArray>("song");
        QTest::newRow("slow triangles") << enveloped_song(7, 400, true);
        QTest::newRow("slow envelopes, any shape") << enveloped_song(8, 400, false);
        QTest::newRow("busy") << busy_song(9, 300);
    }

    // At every cut frame, the chip after the piece's lead-in and the frame's
    // own writes against the song's chip after that frame's writes.
    void a_piece_starts_in_the_song_state_at_every_cut()
    {
        QFETCH(QByteArray, song);
        QCOMPARE(load_psg(song), READ_COMPLETE);
        chip_reset();
        const ChipState reset = chip_save();
        for (uint32_t f = 1; f < frame_count; ++f) {
            const std::vector<Write> own = frame_writes(f);
            const bool restarted
                = std::any_of(own.begin(), own.end(), [](const Write& w) { return w.reg == REG_ENV_SHAPE; });
            chip_seek(f);
            const ChipState at = with_writes(chip_save(), own);
            const LeadIn lead = piece_lead_in(f);
            std::vector<Write> piece;
            for (int k = 0; k < lead.count; ++k)
                piece.push_back(Write{lead.reg[k], lead.value[k], 0});
            piece.insert(piece.end(), own.begin(), own.end());
            const QString diff = carried_difference(at, with_writes(reset, piece), restarted);
            QVERIFY2(diff.isEmpty(), qPrintable(QStringLiteral("cut at %1: %2").arg(f).arg(diff)));
        }
    }

    // The writes a piece opens with, register and value: the registers
    // 0..12 that are not 0 and that the frame does not write itself, and for
    // a cut piece the envelope shape where the envelope sounds, with a shape
    // 8..15 first only where a shape 0..7 needs its alternate and hold
    // flags; a loop piece never restarts the envelope.
    void a_piece_opens_with_the_state_it_lacks_data()
    {
        QTest::addColumn<QByteArray>("song");
        QTest::addColumn<bool>("loop");  // loop_lead_in rather than piece_lead_in
        QTest::addColumn<QByteArray>("lead");
        const QByteArray tones = psg_bytes({0, 1, 1, 2, 8, 15, 0xFF, 0, 3, 0xFF});
        QTest::newRow("cut: what the frame writes is left out") << tones << false << QByteArray("0102080f");
        QTest::newRow("loop: the same") << tones << true << QByteArray("0102080f");
        const QByteArray saw = psg_bytes({11, 5, 8, 0x10, 13, 8, 0xFF, 0, 1, 0xFF});
        QTest::newRow("cut: a running saw-tooth restarts") << saw << false << QByteArray("08100b050d08");
        QTest::newRow("loop: no restart") << saw << true << QByteArray("08100b05");
        QTest::newRow("cut: the frame's own shape 0..7 after a saw-tooth")
            << psg_bytes({11, 5, 8, 0x10, 13, 8, 0xFF, 13, 0, 0xFF}) << false << QByteArray("08100b05");
        QTest::newRow("cut: the frame's own shape 0..7 after a triangle keeps its flag")
            << psg_bytes({11, 5, 8, 0x10, 13, 10, 0xFF, 13, 0, 0xFF}) << false << QByteArray("08100b050d0a");
    }
    void a_piece_opens_with_the_state_it_lacks()
    {
        QFETCH(QByteArray, song);
        QFETCH(bool, loop);
        QFETCH(QByteArray, lead);
        QCOMPARE(load_psg(song), READ_COMPLETE);
        const LeadIn got = loop ? loop_lead_in(1) : piece_lead_in(1);
        QByteArray pairs;
        for (int k = 0; k < got.count; ++k)
            pairs.append(static_cast<char>(got.reg[k])).append(static_cast<char>(got.value[k]));
        QCOMPARE(pairs.toHex(), lead);
    }

    void the_piece_after_a_cut_sounds_like_the_song_there()
    {
        // The song sets its mixer, tones, levels and a held envelope once,
        // then only moves a tone now and then: the state before the cut is
        // all the piece has to go by.
        QByteArray s = psg_bytes(
            {0x07, 0x38, 0x00, 100, 0x02, 200, 0x04, 0x40, 0x05, 1, 0x08, 15, 0x09, 0x10, 0x0A, 11, 0x0B, 3, 0x0D, 13});
        for (int f = 0; f < 200; ++f) {
            if (f % 50 == 49)
                s += QByteArray::fromRawData("\x00\x78", 2);
            s.append('\xff');
        }
        for (CutState state : {CARRY_STATE, NO_STATE}) {
            QCOMPARE(load_psg(s), READ_COMPLETE);
            const QByteArray song = rendered(0);
            cut_pos = 60;
            QVERIFY(cut_song(state));
            const double share = agreement(song, 60, rendered(0));
            if (state == CARRY_STATE)
                QCOMPARE(share, 1.0);
            else
                QVERIFY2(share < 0.1, qPrintable(QString::number(share)));
        }
    }
};

QTEST_GUILESS_MAIN(TestCutSound)
#include "test_cut_sound.moc"
