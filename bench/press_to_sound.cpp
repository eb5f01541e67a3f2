// Press-to-sound: the time from a click on "Play from &Begin" to the moment
// the song's first sound reaches the sound server's monitor (parec with
// small fragments, so the measure includes a few ms of its own). The real
// application plays a song whose first frame sounds; between two presses it
// is stopped and left silent. Run by hand against the tests' private server:
//   S=$(scripts/pulse.sh start build/pulse)
//   PULSE_SERVER=$S QT_QPA_PLATFORM=offscreen build/bench/press_to_sound [presses [reserve [buffer]]]
//   scripts/pulse.sh stop build/pulse
// reserve: the FIFO's start-up reserve in bytes (default FIFO_RESERVE_BYTES);
// buffer: the buffer size asked of the output (default AUDIO_BUFFER_BYTES).
// Prints every press and the median, in ms.
#include "app/app.h"
#include "app/audio_output.h"
#include "app/myclass.h"
#include "audio/fifo.h"
#include "song/psg_read.h"
#include "song/song.h"
#include "sound_bench.h"
#include "support/monitor_watch.h"
#include "support/psg_data.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Polls the events every few milliseconds for ms milliseconds.
void poll_ms(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace

int main(int argc, char** argv)
{
    const int presses = argc > 1 ? std::max(1, atoi(argv[1])) : 15;
    const unsigned long long reserve = argc > 2 ? strtoull(argv[2], nullptr, 10) : FIFO_RESERVE_BYTES;
    fifo_set_reserve(reserve);
    audio_buffer_bytes = argc > 3 ? atoi(argv[3]) : AUDIO_BUFFER_BYTES;
    int qt_argc = 1;
    char name[] = "press_to_sound";
    char* qt_argv[] = {name, nullptr};
    controller = new MyClass();
    QApplication app(qt_argc, qt_argv);
    app_start();

    // A tone on A from the first frame, for ten seconds.
    PsgBuilder song;
    song.write(0, 0x40).write(7, 0x3E).write(8, 15).end(500);
    if (!read_song_bytes(song.bytes))
        return 1;

    MonitorWatch monitor;
    if (!monitor.start()) {
        fprintf(stderr, "parec gives no data\n");
        return 1;
    }
    QPushButton* play = find_button("Play from &Begin");
    QPushButton* stop = find_button("S&top");
    std::vector<double> ms;
    for (int i = 0; i < presses; ++i) {
        poll_ms(700);  // silent again: what the output had buffered has played
        QElapsedTimer since;
        bool heard = false;
        monitor.arm([&] { heard = true; });
        since.start();
        play->click();
        while (!heard && since.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        const double t = static_cast<double>(since.nsecsElapsed()) / 1e6;
        if (heard) {
            ms.push_back(t);
            printf("press %d: %.1f ms\n", i + 1, t);
        }
        poll_ms(300);
        stop->click();
    }
    if (ms.empty())
        return 1;
    std::sort(ms.begin(), ms.end());
    const FifoStats stats = fifo_stats();
    printf("press-to-sound: median %.1f ms, min %.1f, max %.1f over %zu presses (reserve %llu bytes, buffer %d bytes); "
           "%llu reads filled with the last byte\n",
           ms[ms.size() / 2], ms.front(), ms.back(), ms.size(), reserve, audio_buffer_bytes,
           static_cast<unsigned long long>(stats.filled_reads));
    fflush(stdout);
    app_exit(0);
}
