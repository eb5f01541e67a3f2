#include "app/song_study.h"

#include "app/song_view.h"
#include "edit/intro_loop.h"
#include "song/song.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <sys/resource.h>

SongStudy::SongStudy(size_t rows, SketchDone sketch, LoopsDone loops)
    : listed(rows), sketch_done(std::move(sketch)), loops_done(std::move(loops))
{
}

SongStudy::~SongStudy()
{
    stop();
}

void SongStudy::start(QSize view_size)
{
    stop();
    stopping = false;
    finished = false;
    waiting = true;
    const uint64_t look = ++newest;
    thread = std::thread([this, look, view_size] { run(look, view_size); });
}

void SongStudy::stop()
{
    if (!thread.joinable())
        return;
    stopping = true;
    thread.join();
    if (!finished)
        ++stopped;
    ++newest;  // whatever it sent is no longer wanted
    waiting = false;
}

void SongStudy::run(uint64_t look, QSize view_size)
{
    // Behind the GUI thread and the playback clock when the cores are busy
    // (on Linux this is the calling thread's own niceness).
    setpriority(PRIO_PROCESS, 0, 10);
    // Each result goes to the GUI thread, where it is dropped unless this is
    // still the newest look.
    auto sketch = std::make_shared<SongSketch>();
    sketch->build(&stopping);
    if (stop_asked(&stopping))
        return;
    auto picture = std::make_shared<QImage>();
    if (!view_size.isEmpty())
        *picture = view_picture(view_size, 0, frame_count, *sketch);
    QMetaObject::invokeMethod(
        qApp,
        [this, look, sketch, picture] {
            if (look == newest)
                sketch_done(*sketch, *picture);
        },
        Qt::QueuedConnection);

    auto study = std::make_shared<LoopStudy>();
    study->loops = find_loops(LOOP_MIN_FRAMES, &stopping);
    study->best = default_loop(study->loops, &study->best_start, &stopping);
    study->listed = std::min(listed, study->loops.size());
    for (size_t k = 0; k < study->listed && !stop_asked(&stopping); ++k) {
        uint32_t start = study->loops[k].start;
        study->chains.push_back(exact_start(study->loops[k], &start));
        study->exact.push_back(start);
    }
    const size_t best = static_cast<size_t>(study->best);
    if (study->best >= 0 && best < study->chains.size() && study->chains[best])
        study->best_facts
            = loop_facts(study->loops[best].start, study->exact[best], study->loops[best].period, &stopping);
    if (stop_asked(&stopping))
        return;
    finished = true;
    QMetaObject::invokeMethod(
        qApp,
        [this, look, study] {
            if (look != newest)
                return;
            waiting = false;
            loops_done(*study);
        },
        Qt::QueuedConnection);
}
