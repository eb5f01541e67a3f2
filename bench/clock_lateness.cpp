// The playback clock's lateness with the song view open: the real
// application plays the largest song the program holds into the default
// output, and the time between two ticks of the 20 ms clock is taken for
// every tick, with the song view shown over the whole song, shown zoomed to
// 8 px a frame (it follows playback, drawing each new page), and hidden.
// Run by hand against the tests' private server:
//   S=$(scripts/pulse.sh start build/pulse)
//   PULSE_SERVER=$S QT_QPA_PLATFORM=offscreen build/bench/clock_lateness [seconds]
//   scripts/pulse.sh stop build/pulse
// Prints, for each case, the median, 99th percentile and largest lateness
// (the time between ticks beyond 20 ms) and the ticks later than 10 ms.
#include "app/app.h"
#include "app/myclass.h"
#include "app/song_view.h"
#include "song/psg_read.h"
#include "song/song.h"

#include "max_song.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

std::vector<double> measure(int seconds)
{
    std::vector<double> ticks;
    QElapsedTimer clock;
    clock.start();
    const auto connection = QObject::connect(play_timer, &QTimer::timeout,
                                             [&] { ticks.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6); });
    while (clock.elapsed() < seconds * 1000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    QObject::disconnect(connection);
    std::vector<double> late;
    for (size_t i = 1; i < ticks.size(); ++i)
        late.push_back(std::max(0.0, ticks[i] - ticks[i - 1] - TICK_MS));
    return late;
}

void report(const char* what, std::vector<double> late)
{
    if (late.empty())
        return;
    std::sort(late.begin(), late.end());
    const auto over = std::count_if(late.begin(), late.end(), [](double ms) { return ms > 10; });
    printf("%-34s %zu ticks: lateness median %.2f ms, 99th percentile %.2f ms, max %.2f ms; %lld later than 10 ms\n",
           what, late.size(), late[late.size() / 2], late[late.size() * 99 / 100], late.back(),
           static_cast<long long>(over));
    fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    controller = new MyClass();
    int qt_argc = 1;
    char name[] = "clock_lateness";
    char* qt_argv[] = {name, nullptr};
    QApplication app(qt_argc, qt_argv);
    app_start();
    if (psg_read(max_song().fileName().toUtf8().constData(), 0, true) != READ_COMPLETE) {
        fprintf(stderr, "the largest song did not load\n");
        return 1;
    }
    controller->play3();
    measure(1);  // the first picture of the song is drawn
    std::vector<double> paint;
    for (int i = 0; i < 50; ++i) {
        QElapsedTimer t;
        t.start();
        song_view->repaint();  // the whole view from its picture of the song
        paint.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::sort(paint.begin(), paint.end());
    printf("whole view painted from its picture: median %.2f ms (%dx%d px)\n", paint[25], song_view->width(),
           song_view->height());
    for (int round = 0; round < 2; ++round) {
        song_view->show();
        song_view->zoom(0.0001, 0);
        report("view shown, whole song", measure(seconds));
        for (int i = 0; i < 200; ++i)
            song_view->zoom(1.25, song_view->width() / 2.0);
        report("view shown, 8+ px a frame", measure(seconds));
        song_view->hide();
        report("view hidden", measure(seconds));
    }
    app_exit(0);
}
