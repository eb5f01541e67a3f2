// Plays a song through the real application into the default audio device,
// kills the sound server two seconds in, and samples the process's memory
// (VmRSS) and the sample FIFO while playback goes on into the lost output.
//   build/bench/output_loss PULSE_DIR [seconds [stall]]
// PULSE_DIR is the folder of a private daemon started by scripts/pulse.sh
// (its pid is in PULSE_DIR/runtime/pid); bench/output_loss.sh does it all.
// seconds: how long to sample after the kill (default 60). With "stall" the
// server is stopped (SIGSTOP) instead of killed, and let go on (SIGCONT)
// after those seconds; five more seconds are sampled.
#include "app/app.h"
#include "app/audio_output.h"
#include "app/myclass.h"
#include "audio/fifo.h"
#include "song/psg_read.h"
#include "song/song.h"
#include "sound_bench.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

long vm_rss_kb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// A tone on B at full level, a new note every ten frames.
QByteArray tone_song(int frame_total)
{
    static const int periods[] = {253, 284, 319, 338};
    QByteArray s("PSG\x1a", 4);
    s.append(12, '\0');
    s.append("\x07\x3d\x09\x0f", 4);
    for (int f = 0; f < frame_total; ++f) {
        if (f % 10 == 0) {
            const int p = periods[(f / 10) % 4];
            s.append(static_cast<char>(2)).append(static_cast<char>(p & 0xFF));
            s.append(static_cast<char>(3)).append(static_cast<char>(p >> 8));
        }
        s.append('\xff');
    }
    return s;
}

void click(const char* caption)
{
    for (auto* b : main_window->findChildren<QPushButton*>())
        if (b->text() == QLatin1String(caption))
            b->click();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: %s PULSE_DIR [seconds]\n", argv[0]);
        return 2;
    }
    const QByteArray pulse_dir = argv[1];
    const int seconds = argc > 2 ? std::max(1, atoi(argv[2])) : 60;
    const bool stall = argc > 3 && QByteArray(argv[3]) == "stall";

    controller = new MyClass();
    int qt_argc = 1;
    char name[] = "output_loss";
    char* qt_argv[] = {name, nullptr};
    QApplication app(qt_argc, qt_argv);
    app_start();

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("loss.psg"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(tone_song((seconds + 10) * 50)) < 0)
        app_exit(1);
    f.close();
    if (psg_read(path.toUtf8().constData(), 0, true) != READ_COMPLETE)
        app_exit(1);

    click("Play from &Begin");
    wait_ms(2000);
    QFile pid_file(QString::fromLocal8Bit(pulse_dir + "/runtime/pid"));
    const long pid = pid_file.open(QIODevice::ReadOnly) ? pid_file.readAll().trimmed().toLong() : 0;
    if (pid <= 0 || kill(static_cast<pid_t>(pid), stall ? SIGSTOP : SIGKILL) != 0) {
        fprintf(stderr, "no sound server to kill in %s\n", pulse_dir.constData());
        app_exit(1);
    }
    printf("sound server (pid %ld) %s after 2 s of playback; playing on for %d s\n", pid, stall ? "stopped" : "killed",
           seconds);
    printf("%6s %10s %12s %12s %14s %8s %6s\n", "time/s", "VmRSS/kB", "fifo/bytes", "largest", "dropped/bytes", "frame",
           "tries");
    const int step = seconds >= 20 ? 5 : 1;
    const int last = stall ? seconds + 5 : seconds;
    for (int t = 0; t <= last; t += t < seconds ? step : 1) {
        if (t > 0)
            wait_ms((t <= seconds ? step : 1) * 1000);
        if (stall && t == seconds) {
            kill(static_cast<pid_t>(pid), SIGCONT);
            printf("sound server goes on\n");
        }
        const FifoStats stats = fifo_stats();
        printf("%6d %10ld %12llu %12llu %14llu %8u %6d\n", t, vm_rss_kb(), static_cast<unsigned long long>(fifo_size()),
               static_cast<unsigned long long>(stats.max_size), static_cast<unsigned long long>(stats.dropped_bytes),
               play_pos, audio_health().tries);
        fflush(stdout);
    }
    app_exit(0);
}
