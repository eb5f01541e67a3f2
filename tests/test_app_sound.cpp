// The sound as the sound server plays it. The application runs in-process on
// the default output (the test scripts' private null sink), songs made here
// are loaded through the file dialog and played with the real buttons and
// slider, and the sink's monitor is recorded with parec meanwhile. The
// recordings are left as WAV files in TRELVANE_TEST_OUT.
//
// A recording is exact to the sample, so a hole in the sound (a read of the
// output that found too little in the FIFO) shows as a song that lasts
// longer than its frames. The sound server may put any amount of silence in
// front; every measure starts at the first change of the recorded signal.
#include "app/app.h"
#include "app/audio_output.h"
#include "app/sound_model.h"
#include "accurate/accurate_render.h"
#include "audio/chip.h"
#include "audio/fifo.h"
#include "song/song.h"
#include "support/app_driver.h"
#include "support/psg_data.h"
#include "support/wave_analysis.h"

#include <QComboBox>
#include <QProcess>
#include <QSlider>
#include <QtTest>

#include <cmath>

namespace {

constexpr int64_t FRAME = SAMPLES_PER_FRAME;  // stereo pairs per song frame
constexpr int64_t SETTLED = SAMPLE_RATE / 2;  // unchanging sound that ends a recording

// Tone periods that convert to 100.57, 79.9 and 133.56 samples: rounding
// instead of truncating (or another chip clock) is a pitch 1 % off.
constexpr int P_100 = 253;  // 100 samples, 441 Hz
constexpr int P_79 = 201;   // 79 samples, 558.2 Hz
constexpr int P_133 = 336;  // 133 samples, 331.6 Hz

int64_t samples_of(int period)
{
    return period * 318 / 800;
}

// What one channel at a fixed level adds to a side: half its amplitude.
constexpr int16_t LEVEL_15 = 32767 / 2;
constexpr int16_t LEVEL_13 = 23210 / 2;
constexpr int16_t LEVEL_11 = 14646 / 2;

struct Song {
    QByteArray bytes = psg_header();
    void write(int reg, int value)
    {
        bytes.append(static_cast<char>(reg));
        bytes.append(static_cast<char>(value));
    }
    void tone(int channel, int period)
    {
        write(2 * channel, period & 0xFF);
        write(2 * channel + 1, period >> 8);
    }
    void frames(int n) { bytes.append(n, '\xff'); }
};

void load(const QString& name, const Song& song)
{
    answer({type_file(write_temp_psg(name, song.bytes))});
    click(QStringLiteral("&Load file"));
    QCOMPARE(unanswered(), 0);
}

// parec on the default sink's monitor, started before the sound and stopped
// once the sound has settled.
class Recorder {
public:
    Recorder()
    {
        QObject::connect(&process, &QProcess::readyReadStandardOutput,
                         [this] { data += process.readAllStandardOutput(); });
    }
    ~Recorder()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(3000);
        }
    }
    void start()
    {
        process.start(QStringLiteral("parec"),
                      {QStringLiteral("--device=trelvane_null.monitor"), QStringLiteral("--format=s16le"),
                       QStringLiteral("--rate=44100"), QStringLiteral("--channels=2"), QStringLiteral("--raw")});
        QVERIFY2(process.waitForStarted(10000), "parec (pulseaudio-utils) could not be started");
        // Data flows: the recording has begun before any sound is made.
        QTRY_VERIFY2_WITH_TIMEOUT(data.size() >= 4 * 4410 || process.state() == QProcess::NotRunning,
                                  "parec delivers no data", 15000);
        QVERIFY2(process.state() == QProcess::Running, process.readAllStandardError().constData());
    }
    // Waits until playback is over, the FIFO is empty and the recording ends
    // in SETTLED pairs that do not change after at least min_sound pairs of
    // sound; then stops the recorder and saves the recording as name.wav.
    void finish(int64_t min_sound, const QString& name)
    {
        QTRY_VERIFY_WITH_TIMEOUT(playing == 0 && fifo_size() == 0, 30000);
        QTRY_VERIFY2_WITH_TIMEOUT(settled(min_sound), "the recorded sound did not settle", 20000);
        process.terminate();
        process.waitForFinished(5000);
        data += process.readAllStandardOutput();
        data.truncate(data.size() / 4 * 4);
        const QString path = test_output_dir() + QStringLiteral("/sound_%1.wav").arg(name);
        QVERIFY2(write_wav(path, data), qPrintable(path));
    }
    bool settled(int64_t min_sound) const
    {
        const Stereo s = split_stereo(data);
        const int64_t first = first_change(s);
        const int64_t last = last_change(s);
        return first >= 0 && last - first >= min_sound && s.size() - last >= SETTLED;
    }

    QProcess process;
    QByteArray data;
};

// Where the sound starts and ends in a recording.
struct Span {
    int64_t start;
    int64_t end;  // first pair of the settled tail
    int64_t length() const { return end - start; }
};

Span sound_span(const Stereo& s)
{
    return {first_change(s), last_change(s)};
}

// The holes in [from, to): runs of one pair longer than the song ever holds.
QString holes(const Stereo& s, int64_t from, int64_t to)
{
    QStringList out;
    for (const Run& r : constant_runs(s, from, to, 2 * samples_of(P_133)))
        out << QStringLiteral("%1 pairs at %2").arg(r.length).arg(r.start - from);
    return out.isEmpty() ? QStringLiteral("none") : out.join(QStringLiteral(", "));
}

// length is within 2 % of frames song frames, plus one tone period for where
// in its cycle the measured tone starts and ends.
bool lasts_frames(int64_t length, int64_t frames, int64_t slack)
{
    const double expected = static_cast<double>(frames * FRAME);
    return std::abs(static_cast<double>(length) - expected) <= 0.02 * expected + static_cast<double>(slack);
}

// One channel's square wave in [from, to): the pitch of 44100 / floor(P * 318
// / 800) Hz within 0.5 %, floor(T / 2) samples high per cycle, the levels 0
// and `high`, and no cycle stretched by a hole.
void expect_tone(const std::vector<int16_t>& x, int64_t from, int64_t to, int period, int16_t high, const char* what)
{
    const SquareWave w = measure_square(x, from, to);
    const int64_t t = samples_of(period);
    const double hz = w.period > 0 ? SAMPLE_RATE / w.period : 0;
    const double want_hz = static_cast<double>(SAMPLE_RATE) / static_cast<double>(t);
    const QString shown = QStringLiteral("%1: %2 Hz (want %3), %4 edges, %5 high samples, levels %6/%7, "
                                         "%8 odd cycles, %9 samples at other levels")
                              .arg(QLatin1String(what))
                              .arg(hz, 0, 'f', 2)
                              .arg(want_hz, 0, 'f', 2)
                              .arg(w.rising_edges)
                              .arg(w.high_samples)
                              .arg(w.low)
                              .arg(w.high)
                              .arg(w.odd_intervals)
                              .arg(w.other_levels);
    qInfo("%s", qPrintable(shown));
    QVERIFY2(w.rising_edges >= (to - from) / t - 2, qPrintable(shown));
    QVERIFY2(std::abs(hz - want_hz) <= 0.005 * want_hz, qPrintable(shown));
    QVERIFY2(w.high_samples == t / 2, qPrintable(shown));
    QVERIFY2(w.low == 0 && w.high == high && w.other_levels == 0, qPrintable(shown));
    QVERIFY2(w.odd_intervals == 0, qPrintable(shown));
}

void expect_silent(const std::vector<int16_t>& x, int64_t from, int64_t to, const char* what)
{
    int16_t level = -1;
    const bool constant = is_constant(x, from, to, &level);
    QVERIFY2(constant && level == 0, what);
}

#define RETURN_IF_FAILED()                                                                                             \
    do {                                                                                                               \
        if (QTest::currentTestFailed())                                                                                \
            return;                                                                                                    \
    } while (0)

}  // namespace

class TestAppSound : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { start_app(); }

    void init()
    {
        click(QStringLiteral("S&top"));
        QTRY_VERIFY_WITH_TIMEOUT(fifo_size() == 0, 10000);
    }

    // Forty frames of a tone on A (left), then on C (right), then on B
    // (both sides), each at its own fixed level, then a silent frame.
    void each_channel_sounds_on_its_side_at_its_pitch_and_level_for_the_song_length()
    {
        Song song;
        song.tone(0, P_100);
        song.write(7, 0x3E);  // tone A only
        song.write(8, 15);
        song.write(9, 0);
        song.write(10, 0);
        song.frames(40);
        song.write(8, 0);
        song.tone(2, P_79);
        song.write(10, 13);
        song.write(7, 0x3B);  // tone C only
        song.frames(40);
        song.write(10, 0);
        song.tone(1, P_133);
        song.write(9, 11);
        song.write(7, 0x3D);  // tone B only
        song.frames(40);
        song.write(9, 0);
        song.frames(1);
        load(QStringLiteral("three_channels.psg"), song);
        RETURN_IF_FAILED();
        QCOMPARE(frame_count, 121u);

        Recorder rec;
        rec.start();
        RETURN_IF_FAILED();
        click(QStringLiteral("Play from &Begin"));
        rec.finish(100 * FRAME, QStringLiteral("three_channels"));
        RETURN_IF_FAILED();

        const Stereo s = split_stereo(rec.data);
        const Span span = sound_span(s);
        qInfo("sound from pair %lld for %lld pairs (120 frames: %lld); holes: %s", static_cast<long long>(span.start),
              static_cast<long long>(span.length()), static_cast<long long>(120 * FRAME),
              qPrintable(holes(s, span.start, span.end)));
        QVERIFY2(lasts_frames(span.length(), 120, samples_of(P_133)),
                 qPrintable(QStringLiteral("the 120 frames of tone lasted %1 pairs; holes: %2")
                                .arg(span.length())
                                .arg(holes(s, span.start, span.end))));

        // Each segment without three frames at either end.
        auto from = [&](int segment) { return span.start + (40 * segment + 3) * FRAME; };
        auto to = [&](int segment) { return span.start + (40 * segment + 37) * FRAME; };
        expect_tone(s.left, from(0), to(0), P_100, LEVEL_15, "A on the left");
        RETURN_IF_FAILED();
        expect_silent(s.right, from(0), to(0), "A is not heard on the right");
        RETURN_IF_FAILED();
        expect_tone(s.right, from(1), to(1), P_79, LEVEL_13, "C on the right");
        RETURN_IF_FAILED();
        expect_silent(s.left, from(1), to(1), "C is not heard on the left");
        RETURN_IF_FAILED();
        expect_tone(s.left, from(2), to(2), P_133, LEVEL_11, "B on the left");
        RETURN_IF_FAILED();
        expect_tone(s.right, from(2), to(2), P_133, LEVEL_11, "B on the right");
        RETURN_IF_FAILED();
        QVERIFY2(std::equal(s.left.begin() + from(2), s.left.begin() + to(2), s.right.begin() + from(2)),
                 "B sounds the same on both sides");

        // After the last frame, silence to the end.
        expect_silent(s.left, span.end, s.size(), "silence after the song (left)");
        expect_silent(s.right, span.end, s.size(), "silence after the song (right)");
    }

    // A tone on A set only in frame 0 for 50 frames, then a tone on C set only
    // in frame 50 for 50 frames. Moving the play slider into the second half
    // while the first plays must sound C at once: the registers of the new
    // place come from its frame's register image.
    void a_seek_while_playing_sounds_the_registers_of_the_new_place()
    {
        Song song;
        song.tone(0, P_100);
        song.write(7, 0x3E);
        song.write(8, 15);
        song.write(9, 0);
        song.write(10, 0);
        song.frames(50);
        song.write(8, 0);
        song.tone(2, P_79);
        song.write(10, 13);
        song.write(7, 0x3B);
        song.frames(50);
        song.write(10, 0);
        song.frames(1);
        load(QStringLiteral("seek.psg"), song);
        RETURN_IF_FAILED();

        Recorder rec;
        rec.start();
        RETURN_IF_FAILED();
        click(QStringLiteral("Play from &Begin"));
        QTRY_VERIFY_WITH_TIMEOUT(play_pos >= 15, 10000);
        QVERIFY(play_pos < 45);
        const int64_t before = play_pos;  // frames of A already played
        play_slider->setSliderPosition(75);
        QCOMPARE(play_pos, 75u);
        rec.finish(before * FRAME, QStringLiteral("seek"));
        RETURN_IF_FAILED();

        const Stereo s = split_stereo(rec.data);
        const Span span = sound_span(s);
        // A sounds from the start for the frames played before the seek;
        // C starts where A stops, and A is not heard again.
        int64_t a_end = span.end;
        while (a_end > span.start && s.left[a_end - 1] == 0)
            --a_end;
        int64_t c_start = span.start;
        while (c_start < span.end && s.right[c_start] == 0)
            ++c_start;
        qInfo("seek after %lld frames: A for %lld pairs, C from pair %lld for %lld pairs; holes: %s",
              static_cast<long long>(before), static_cast<long long>(a_end - span.start),
              static_cast<long long>(c_start - span.start), static_cast<long long>(span.end - c_start),
              qPrintable(holes(s, span.start, span.end)));
        QVERIFY2(lasts_frames(a_end - span.start, before, samples_of(P_100)), "A lasts until the seek");
        QVERIFY2(lasts_frames(c_start - span.start, before, samples_of(P_79)), "C starts right after the seek");
        QVERIFY2(lasts_frames(span.end - c_start, 25, samples_of(P_79)), "C plays frames 75 to 99");
        expect_tone(s.left, span.start + FRAME, a_end - FRAME, P_100, LEVEL_15, "A before the seek");
        RETURN_IF_FAILED();
        expect_silent(s.right, span.start, c_start, "nothing on the right before the seek");
        RETURN_IF_FAILED();
        expect_tone(s.right, c_start + FRAME, span.end - FRAME, P_79, LEVEL_13, "C after the seek");
        RETURN_IF_FAILED();
        expect_silent(s.left, c_start, s.size(), "A is silent after the seek");
    }

    // A long tone on B over a constant level on C (so the right side never
    // reaches 0), stopped in the middle: the sound ends about where it was
    // heard (the FIFO's queue is dropped; the output's own buffer plays
    // out), then the output holds the last byte handed out, on both sides,
    // to the end.
    void after_stop_the_sound_ends_where_heard_and_the_level_holds()
    {
        Song song;
        song.tone(1, P_100);
        song.write(7, 0x3D);  // tone B; A and C plain levels
        song.write(8, 0);
        song.write(9, 15);
        song.write(10, 10);
        song.frames(200);
        load(QStringLiteral("stop.psg"), song);
        RETURN_IF_FAILED();

        Recorder rec;
        rec.start();
        RETURN_IF_FAILED();
        click(QStringLiteral("Play from &Begin"));
        QTRY_VERIFY_WITH_TIMEOUT(play_pos >= 40, 10000);
        click(QStringLiteral("S&top"));
        const int64_t played = play_pos;  // the frame heard last
        const int64_t buffered = audio_buffer_bytes / FRAME_BYTES + 2;
        QVERIFY(played < 150);
        rec.finish(played * FRAME * 9 / 10, QStringLiteral("stop"));
        RETURN_IF_FAILED();

        const Stereo s = split_stereo(rec.data);
        const Span span = sound_span(s);
        qInfo("stopped after %lld frames: sound for %lld pairs (%lld), tail of %lld pairs; holes: %s",
              static_cast<long long>(played), static_cast<long long>(span.length()),
              static_cast<long long>(played * FRAME), static_cast<long long>(s.size() - span.end),
              qPrintable(holes(s, span.start, span.end)));
        QVERIFY2(span.length() >= (played - 1) * FRAME && span.length() <= (played + buffered) * FRAME,
                 qPrintable(QStringLiteral("stopped where frame %1 was heard, %2 pairs heard; holes: %3")
                                .arg(played)
                                .arg(span.length())
                                .arg(holes(s, span.start, span.end))));
        expect_tone(s.left, span.start + FRAME, span.end - FRAME, P_100, LEVEL_15, "B on the left");
        RETURN_IF_FAILED();

        // The tail: every byte is the high byte of the last right sample.
        const auto last_byte = static_cast<uint8_t>(static_cast<uint16_t>(s.right[span.end - 1]) >> 8);
        const auto fill = static_cast<int16_t>(last_byte * 0x0101);
        int16_t left = -1, right = -1;
        QVERIFY(is_constant(s.left, span.end, s.size(), &left));
        QVERIFY(is_constant(s.right, span.end, s.size(), &right));
        QCOMPARE(left, fill);
        QCOMPARE(right, fill);
        QVERIFY(fill != 0);
    }

    // With "AY-3-8910" chosen, "Play from C&ut Position" at frame 30 sounds,
    // pair for pair, as the accurate render from frame 30 (render --accurate
    // --from 30). The song: a tune on A, a buzzer on B and noise on C, or the
    // file named in TRELVANE_SOUND_SONG.
    void a_chip_chosen_plays_as_the_accurate_render_from_the_cut()
    {
#if defined(__SANITIZE_ADDRESS__)
        // Unoptimized and checked, the accurate model cannot keep up with the
        // output, whose holes would hide what this compares.
        QSKIP("the sanitizer build is too slow to play the accurate model in real time");
#endif
        Song song;
        song.write(7, 0x30);  // tones on, noise on C
        song.write(9, 0x10);
        song.write(11, 40);
        song.write(13, 10);
        song.write(10, 9);
        for (int f = 0; f < 300; ++f) {
            song.tone(0, 200 + 37 * (f / 10 % 7));
            song.write(8, 15 - f % 10);
            song.tone(1, 83 + f % 3);
            song.write(6, f % 32);
            song.frames(1);
        }
        const QByteArray real = qgetenv("TRELVANE_SOUND_SONG");
        if (!real.isEmpty())
            song.bytes = read_file(QString::fromLocal8Bit(real));
        load(QStringLiteral("chip_chosen.psg"), song);
        RETURN_IF_FAILED();
        QVERIFY(frame_count >= 140);
        auto* choice = main_window->findChild<QComboBox*>(QStringLiteral("model_choice"));
        QVERIFY(choice);
        choice->setCurrentIndex(choice->findText(QStringLiteral("AY-3-8910")));
        struct Plain {
            QComboBox* c;
            ~Plain() { c->setCurrentIndex(0); }
        } plain_again{choice};
        cut_slider->setSliderPosition(30);

        Recorder rec;
        rec.start();
        RETURN_IF_FAILED();
        click(QStringLiteral("Play from C&ut Position"));
        QTRY_VERIFY_WITH_TIMEOUT(heard_pos() >= 140, 15000);
        click(QStringLiteral("S&top"));
        rec.finish(100 * FRAME, QStringLiteral("chip_chosen"));
        RETURN_IF_FAILED();

        std::vector<int16_t> want;
        accurate_render(AccurateSetup(), 30, 130, [&](const int16_t* p, size_t n) {
            want.insert(want.end(), p, p + 2 * n);
            return true;
        });
        QCOMPARE(want.size(), size_t(2 * 100 * FRAME));
        // Where the render's first sound lies in the recording.
        size_t lead = 0;
        while (lead + 2 < want.size() && want[lead] == 0 && want[lead + 1] == 0)
            lead += 2;
        const auto* got = reinterpret_cast<const int16_t*>(rec.data.constData());
        const size_t got_size = static_cast<size_t>(rec.data.size()) / 2;
        size_t at = 0;
        while (at + want.size() - lead <= got_size
               && !std::equal(want.begin() + lead, want.begin() + lead + 256, got + at))
            at += 2;
        QVERIFY2(at + want.size() - lead <= got_size, "the render's start is nowhere in the recording");
        // Every sample of the render in order; the only thing allowed between
        // them is a hole the output filled with the last byte (the machine
        // too busy for the clock), which says nothing about the model.
        size_t w = lead, g = at, hole_pairs = 0;
        while (w < want.size() && g + 1 < got_size) {
            if (got[g] == want[w] && got[g + 1] == want[w + 1]) {
                w += 2;
                g += 2;
                continue;
            }
            const auto byte = static_cast<uint8_t>(static_cast<uint16_t>(got[g - 1]) >> 8);
            const auto fill = static_cast<int16_t>(byte * 0x0101);
            if (got[g] != fill || got[g + 1] != fill)
                break;
            for (; g + 1 < got_size && got[g] == fill && got[g + 1] == fill; g += 2)
                ++hole_pairs;
        }
        qInfo("the render's %zu samples in the recording from %zu, holes of %zu pairs; the seek took %.1f ms",
              want.size(), at, hole_pairs, model_last_seek_ms());
        QVERIFY2(w == want.size(),
                 qPrintable(
                     QStringLiteral("the recording follows the render for %1 of %2 samples").arg(w).arg(want.size())));
    }
};

TRELVANE_APP_TEST_MAIN(TestAppSound)
#include "test_app_sound.moc"
