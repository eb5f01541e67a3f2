// How the window answers after reading the largest song the program holds
// while it plays: the loops and the song view's sketch are worked out off
// the GUI thread, and this measures what is left on it.
//   - repaint: from the end of the read to the end of the first paint of
//     the window asked for then;
//   - stall: the longest gap between two turns of the event loop (a 2 ms
//     timer) from the end of the read until the loops are listed and the
//     song drawn, and the playback clock's longest gap between two ticks;
//   - click: a click on the row the list chose, and (below) the facts a
//     click on another row works out on the GUI thread;
//   - stop: how long a read made while the loops are still being found
//     waits for that look to give up;
//   - for comparison, the same work done on the calling thread.
// Run by hand against the tests' private server:
//   S=$(scripts/pulse.sh start build/pulse)
//   PULSE_SERVER=$S QT_QPA_PLATFORM=offscreen build/bench/gui_stall [rounds]
//   scripts/pulse.sh stop build/pulse
#include "app/app.h"
#include "app/loop_panel.h"
#include "app/myclass.h"
#include "app/song_view.h"
#include "edit/intro_loop.h"
#include "edit/loop_facts.h"
#include "song/psg_read.h"
#include "song/song.h"

#include "max_song.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QListWidget>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

QElapsedTimer wall;

double now_ms()
{
    return static_cast<double>(wall.nsecsElapsed()) / 1e6;
}

// The end of each paint of the widget it watches.
class PaintWatch : public QObject {
public:
    double last_paint = -1;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            QTimer::singleShot(0, this, [this] { last_paint = now_ms(); });
        return false;
    }
};

bool read_largest()
{
    return psg_read(max_song().fileName().toUtf8().constData(), 0, true) == READ_COMPLETE;
}

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    controller = new MyClass();
    int qt_argc = 1;
    char name[] = "gui_stall";
    char* qt_argv[] = {name, nullptr};
    QApplication app(qt_argc, qt_argv);
    app_start();
    wall.start();
    max_song();
    PaintWatch watch;
    main_window->installEventFilter(&watch);
    song_view->installEventFilter(&watch);

    double beat = 0, longest_beat = 0, tick = 0, longest_tick = 0;
    QTimer heart;
    heart.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heart, &QTimer::timeout, [&] {
        const double t = now_ms();
        longest_beat = std::max(longest_beat, t - beat);
        beat = t;
    });
    QObject::connect(play_timer, &QTimer::timeout, [&] {
        const double t = now_ms();
        longest_tick = std::max(longest_tick, t - tick);
        tick = t;
    });
    heart.start(2);
    controller->play3();

    for (int round = 0; round < rounds; ++round) {
        if (!read_largest()) {
            fprintf(stderr, "the largest song did not load\n");
            return 1;
        }
        const double read_end = now_ms();
        beat = tick = read_end;
        longest_beat = longest_tick = 0;
        watch.last_paint = -1;
        main_window->update();
        double repainted = -1;
        while (loop_panel_finding() || now_ms() - read_end < 1500) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            if (repainted < 0 && watch.last_paint >= 0)
                repainted = watch.last_paint - read_end;
        }
        const double listed = now_ms() - read_end;
        printf("round %d: %u frames, %u writes; repainted %.1f ms after the read; loops listed after %.0f ms; "
               "longest GUI-thread stall %.1f ms; longest gap between clock ticks %.1f ms\n",
               round + 1, frame_count, event_count, repainted, listed, longest_beat, longest_tick);
        // A click on the row the list chose: its facts came with the list.
        auto* list = main_window->findChild<QListWidget*>(QStringLiteral("loop_list"));
        if (list && list->currentItem()) {
            const double t = now_ms();
            emit list->itemClicked(list->currentItem());
            printf("round %d: a click on the chosen row takes %.2f ms\n", round + 1, now_ms() - t);
        }
        fflush(stdout);
    }

    // A read while the loops are still being found: what it waits for.
    for (int round = 0; round < rounds; ++round) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (!loop_panel_finding()) {
            // Start a look, and give it some time to be well under way.
            read_largest();
            const double t0 = now_ms();
            while (now_ms() - t0 < 200 * (round + 1))
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        const double t0 = now_ms();
        loop_panel_song_changing();
        printf("a look under way stopped in %.2f ms\n", now_ms() - t0);
    }

    // The same work on this thread, as the window did it before.
    read_largest();
    loop_panel_song_changing();
    const double t0 = now_ms();
    SongSketch sketch;
    sketch.build();
    const double t1 = now_ms();
    const std::vector<LoopCandidate> loops = find_loops(LOOP_MIN_FRAMES);
    uint32_t start = 0;
    default_loop(loops, &start);
    std::vector<std::pair<size_t, uint32_t>> chaining;  // row, exact start
    for (size_t k = 0; k < loops.size() && k < 50; ++k)
        if (exact_start(loops[k], &start))
            chaining.emplace_back(k, start);
    const double t2 = now_ms();
    printf("the same work on one thread: sketch %.0f ms, %zu loop candidates and their starts %.0f ms\n", t1 - t0,
           loops.size(), t2 - t1);
    // What a click on a row works out: its loop's facts.
    for (const auto& [k, exact] : chaining) {
        const double t = now_ms();
        loop_facts(loops[k].start, exact, loops[k].period);
        printf("the facts of row %zu (a click): %.1f ms\n", k + 1, now_ms() - t);
    }
    app_exit(0);
}
