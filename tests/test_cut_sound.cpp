// What is heard at a cut is what the pieces play: the chip at any frame is
// the chip that playing from the beginning reaches there, and a piece cut
// out of the song starts with the song's state.
#include "audio/chip.h"
#include "audio/playback.h"
#include "audio/seek.h"
#include "edit/editing.h"
#include "song/song.h"
#include "support/psg_data.h"
#include "support/song_check.h"

#include <QtTest>

#include <cmath>
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
    }

    void a_seek_reaches_the_state_of_playing_from_the_beginning()
    {
        QFETCH(QByteArray, song);
        QFETCH(QByteArray, appended);
        QCOMPARE(load_psg(song), READ_COMPLETE);
        if (!appended.isEmpty())
            QCOMPARE(load_psg(appended, false), READ_COMPLETE);
        for (uint32_t f = 0; f <= frame_count; ++f) {
            const ChipSnapshot replayed = replayed_state(f);
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

    void the_piece_after_a_cut_sounds_like_the_song_there()
    {
        // The song sets its mixer, tones, levels and a held envelope once,
        // then only moves a tone now and then: the state before the cut is
        // all the piece has to go by.
        QByteArray s = psg_bytes({0x07, 0x38, 0x00, 100, 0x02, 200, 0x04, 0x40, 0x05, 1, 0x08, 15, 0x09, 0x10,
                                  0x0A, 11, 0x0B, 3, 0x0D, 13});
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
