// Plays a generated song through the real application into the default audio
// device and reports how the sound keeps up with the 20 ms clock:
//   - the tempo: frames played against wall-clock time;
//   - the latency from "Play from &Begin" to the first sound on the output;
//   - the FIFO: its largest size, and how many reads of the audio device had
//     to be filled with the last byte once the first second is over;
//   - holes in the recorded sound (runs of one value longer than any the
//     song holds).
// Run by hand, against the tests' private sound server for instance:
//   S=$(scripts/pulse.sh start build/pulse)
//   PULSE_SERVER=$S QT_QPA_PLATFORM=offscreen build/bench/playback_soak [seconds [monitor [latency [reserve
//   [buffer]]]]] scripts/pulse.sh stop build/pulse
// seconds: how long to measure after the first second (default 60); monitor:
// the source to record with parec (default trelvane_null.monitor); latency:
// the fragment time asked of parec in ms (default 0: parec's own choice,
// which also lets the sink pull in its large bursts); reserve: the FIFO's
// start-up reserve in bytes (default FIFO_RESERVE_BYTES); buffer: the buffer
// size asked of the output (default AUDIO_BUFFER_BYTES).
// The recording is left in the system's temporary folder as a WAV file.
// TRELVANE_SOAK_MODEL=ay (or ym) plays through that chip's accurate model
// instead of the plain one; the process's processor time while playing is
// reported either way.
#include "app/app.h"
#include "app/audio_output.h"
#include "app/myclass.h"
#include "app/sound_model.h"
#include "audio/chip.h"
#include "audio/fifo.h"
#include "song/psg_read.h"
#include "song/song.h"
#include "sound_bench.h"
#include "support/wave_analysis.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr double PAIR_RATE = SAMPLE_RATE;  // stereo pairs per second
constexpr int MARGIN_SECONDS = 10;

void put(QByteArray& s, int reg, int value)
{
    s.append(static_cast<char>(reg));
    s.append(static_cast<char>(value));
}

// A tone on channel B (heard on both sides) at full level, with a new note
// every ten frames, so that no stretch of the song holds one value for more
// than half of its longest period (136 samples).
QByteArray soak_song(int frame_total)
{
    static const int periods[] = {253, 284, 319, 338, 284, 225, 201, 253};
    QByteArray s("PSG\x1a", 4);
    s.append(12, '\0');
    put(s, 7, 0x3D);
    put(s, 8, 0);
    put(s, 9, 15);
    put(s, 10, 0);
    for (int f = 0; f < frame_total; ++f) {
        if (f % 10 == 0) {
            const int p = periods[(f / 10) % 8];
            put(s, 2, p & 0xFF);
            put(s, 3, p >> 8);
        }
        s.append('\xff');
    }
    return s;
}

}  // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 60;
    const QString monitor = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("trelvane_null.monitor");
    const int latency_ms = argc > 3 ? atoi(argv[3]) : 0;
    const uint64_t reserve = argc > 4 ? strtoull(argv[4], nullptr, 10) : FIFO_RESERVE_BYTES;
    fifo_set_reserve(reserve);
    audio_buffer_bytes = argc > 5 ? atoi(argv[5]) : AUDIO_BUFFER_BYTES;

    controller = new MyClass();
    int qt_argc = 1;
    char name[] = "playback_soak";
    char* qt_argv[] = {name, nullptr};
    QApplication app(qt_argc, qt_argv);
    wall.start();
    app_start();

    QTemporaryDir dir;
    const int song_frames = (seconds + 1 + MARGIN_SECONDS) * 50;
    const QString song_path = dir.filePath(QStringLiteral("soak.psg"));
    {
        QFile f(song_path);
        if (!f.open(QIODevice::WriteOnly) || f.write(soak_song(song_frames)) < 0) {
            fprintf(stderr, "cannot write %s\n", qPrintable(song_path));
            app_exit(1);
        }
    }
    if (psg_read(song_path.toUtf8().constData(), 0, true) != READ_COMPLETE || frame_count != uint32_t(song_frames)) {
        fprintf(stderr, "the generated song did not load\n");
        app_exit(1);
    }

    // The recorder: every chunk of the monitor's data is stamped with the
    // time it arrived.
    QProcess parec;
    QByteArray recording;
    std::vector<Arrival> arrivals;
    QObject::connect(&parec, &QProcess::readyReadStandardOutput, [&] {
        const double t = now();
        recording += parec.readAllStandardOutput();
        arrivals.push_back({t, recording.size() / 4});
    });
    QStringList parec_args{QStringLiteral("--device=") + monitor, QStringLiteral("--format=s16le"),
                           QStringLiteral("--rate=44100"), QStringLiteral("--channels=2"), QStringLiteral("--raw")};
    if (latency_ms > 0)
        parec_args << QStringLiteral("--latency-msec=%1").arg(latency_ms);
    parec.start(QStringLiteral("parec"), parec_args);
    if (!parec.waitForStarted(5000)) {
        fprintf(stderr, "parec did not start\n");
        app_exit(1);
    }
    for (int i = 0; i < 500 && recording.size() < 4 * 22050; ++i)
        wait_ms(10);
    if (recording.size() < 4 * 22050) {
        fprintf(stderr, "no data from parec on %s: %s\n", qPrintable(monitor),
                parec.readAllStandardError().constData());
        app_exit(1);
    }

    // The FIFO's size after each tick's push (this connection was made after
    // the clock's own, so it runs after timer_update).
    std::vector<uint64_t> after_tick;
    bool sampling = false;
    QObject::connect(play_timer, &QTimer::timeout, [&] {
        if (sampling)
            after_tick.push_back(fifo_size());
    });

    QPushButton* begin = find_button("Play from &Begin");
    if (!begin) {
        fprintf(stderr, "no \"Play from &Begin\" button\n");
        app_exit(1);
    }
    const QByteArray model = qgetenv("TRELVANE_SOAK_MODEL");
    set_sound_model(model == "ay" ? SoundModel::AY : model == "ym" ? SoundModel::YM : SoundModel::PLAIN);
    const auto cpu_seconds = [] {
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
            + static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    };
    const int64_t pairs_before_click = recording.size() / 4;
    fifo_reset_stats();  // the reads while idle are all filled: not counted
    const double t_click = now();
    begin->click();

    wait_ms(1000);
    const FifoStats first_second = fifo_stats();
    fifo_reset_stats();
    const double t1 = now();
    const double cpu1 = cpu_seconds();
    const uint32_t frames1 = play_pos;
    sampling = true;

    wait_ms(seconds * 1000);
    const double t2 = now();
    const double cpu2 = cpu_seconds();
    const uint32_t frames2 = play_pos;
    const FifoStats steady = fifo_stats();
    sampling = false;
    find_button("S&top")->click();
    const uint32_t frames_played = play_pos;

    // Let the queued sound play out into the recording, then stop the recorder.
    for (int i = 0; i < 1000 && fifo_size() > 0; ++i)
        wait_ms(10);
    wait_ms(1500);
    parec.terminate();
    parec.waitForFinished(5000);
    recording += parec.readAllStandardOutput();

    const Stereo rec = split_stereo(recording);
    const QString wav = QDir::temp().filePath(QStringLiteral("trelvane-soak.wav"));
    write_wav(wav, recording.left(recording.size() / 4 * 4));

    printf("playback soak: %d s measured after the first second; song of %d frames; reserve %llu bytes\n", seconds,
           song_frames, static_cast<unsigned long long>(reserve));
    printf("model: %s; processor time while playing: %.3f s in %.3f s, %.2f %% of one core\n",
           model.isEmpty() ? "plain" : model.constData(), cpu2 - cpu1, t2 - t1, 100 * (cpu2 - cpu1) / (t2 - t1));
    printf("recording: %s (%.1f s)\n", qPrintable(wav), static_cast<double>(rec.size()) / PAIR_RATE);

    // Tempo: frames the clock played against the wall clock.
    const double tempo_error = (frames2 - frames1) * 0.020 / (t2 - t1) - 1.0;
    printf("tempo: %u frames in %.4f s after the first second -> %.3f %% %s than 50 frames/s\n", frames2 - frames1,
           t2 - t1, 100.0 * std::abs(tempo_error), tempo_error < 0 ? "slower" : "faster");

    // Latency. The monitor delivers sample pair i no earlier than the sink
    // rendered it; for every chunk, its arrival time minus the duration of the
    // pairs up to its end is a bound on when pair 0 was rendered. The smallest
    // such value over all chunks is the estimate of when pair 0 went out (the
    // sink runs on the system clock), and the spread of the values, above the
    // smallest, is how late chunks arrive.
    std::vector<double> offsets;
    for (const Arrival& a : arrivals)
        offsets.push_back(a.time - static_cast<double>(a.pairs) / PAIR_RATE);
    const double origin = offsets.empty() ? 0 : *std::min_element(offsets.begin(), offsets.end());
    std::vector<double> late;
    for (double o : offsets)
        late.push_back(o - origin);
    const int64_t first_sound = first_change(rec, pairs_before_click > 0 ? pairs_before_click - 1 : 0);
    if (first_sound < 0) {
        printf("latency: no sound found in the recording\n");
    } else {
        const double t_sound = origin + static_cast<double>(first_sound) / PAIR_RATE;
        double arrived = -1;
        for (const Arrival& a : arrivals)
            if (a.pairs > first_sound) {
                arrived = a.time;
                break;
            }
        printf("latency: first sound at pair %lld, rendered %.1f ms after the click "
               "(chunk delays: median %.1f ms, 99th percentile %.1f ms, max %.1f ms over %zu chunks); "
               "its chunk arrived %.1f ms after the click\n",
               static_cast<long long>(first_sound), 1000 * (t_sound - t_click), 1000 * percentile(late, 0.5),
               1000 * percentile(late, 0.99), 1000 * *std::max_element(late.begin(), late.end()), arrivals.size(),
               1000 * (arrived - t_click));
    }

    printf("fifo, first second: %llu reads, %llu filled (%llu bytes; %llu of the reads held for the reserve), "
           "largest %llu bytes\n",
           static_cast<unsigned long long>(first_second.reads),
           static_cast<unsigned long long>(first_second.filled_reads),
           static_cast<unsigned long long>(first_second.filled_bytes),
           static_cast<unsigned long long>(first_second.held_reads),
           static_cast<unsigned long long>(first_second.max_size));
    printf("fifo, after the first second: %llu reads (%.1f per second), %llu filled with the last byte "
           "(%llu bytes, %.1f ms of sound), largest %llu bytes (%.1f frames)\n",
           static_cast<unsigned long long>(steady.reads), static_cast<double>(steady.reads) / (t2 - t1),
           static_cast<unsigned long long>(steady.filled_reads), static_cast<unsigned long long>(steady.filled_bytes),
           static_cast<double>(steady.filled_bytes) / 176.4, static_cast<unsigned long long>(steady.max_size),
           static_cast<double>(steady.max_size) / FRAME_BYTES);
    if (!after_tick.empty())
        printf("fifo after each tick's push: min %llu, median %llu, max %llu bytes over %zu ticks\n",
               static_cast<unsigned long long>(*std::min_element(after_tick.begin(), after_tick.end())),
               static_cast<unsigned long long>(percentile(after_tick, 0.5)),
               static_cast<unsigned long long>(*std::max_element(after_tick.begin(), after_tick.end())),
               after_tick.size());

    // Holes in the recorded song: the song never holds one value for more
    // than 68 samples, so a longer run is sound that was not there in time.
    if (first_sound >= 0) {
        const int64_t end = last_change(rec);
        const std::vector<Run> holes = constant_runs(rec, first_sound, end, 100);
        int64_t hole_pairs = 0;
        for (const Run& r : holes)
            hole_pairs += r.length;
        const double heard = static_cast<double>(end - first_sound) / PAIR_RATE;
        printf("recorded song: %u frames rendered, heard for %.4f s (%.3f %% longer than %.2f s); "
               "%zu holes, %.1f ms in all\n",
               frames_played, heard, 100.0 * (heard / (frames_played * 0.020) - 1.0), frames_played * 0.020,
               holes.size(), 1000.0 * static_cast<double>(hole_pairs) / PAIR_RATE);
        for (size_t k = 0; k < holes.size() && k < 10; ++k)
            printf("  hole at %.3f s into the song, %.1f ms\n",
                   static_cast<double>(holes[k].start - first_sound) / PAIR_RATE,
                   1000.0 * static_cast<double>(holes[k].length) / PAIR_RATE);
    }
    fflush(stdout);
    app_exit(0);
}
