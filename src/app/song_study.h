// The window's slow look at a new song, on a thread of its own so that the
// window answers (repaints, buttons, playback) while it runs: first the
// sketch the song view draws, then the loop candidates with the exact start
// of those the list shows and the facts of the one it chooses.
//
// The thread only reads the song tables, and never while they change:
// whatever changes them (the reader, undo) first calls stop(), which has the
// thread give up within a few milliseconds and waits for it. Its results
// come back to the GUI thread through the event loop; those of a look that
// was stopped or replaced by a newer one are dropped there.
#pragma once

#include "draw/song_picture.h"
#include "edit/loop_facts.h"
#include "edit/loops.h"

#include <QImage>
#include <QSize>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

struct LoopStudy {
    std::vector<LoopCandidate> loops;  // every candidate, best first
    // For the first `listed` of them: whether the loop chains exactly, and
    // the start it chains from.
    size_t listed = 0;
    std::vector<bool> chains;
    std::vector<uint32_t> exact;
    int best = -1;  // default_loop's choice, or -1
    uint32_t best_start = 0;
    // When best is listed: the facts of its loop, from its exact start.
    LoopFacts best_facts{};
};

class SongStudy {
public:
    // The sketch, and the whole song drawn with it (view_picture).
    using SketchDone = std::function<void(SongSketch&, QImage&)>;
    using LoopsDone = std::function<void(LoopStudy&)>;
    // The callbacks run on the GUI thread, for the newest look only.
    SongStudy(size_t listed, SketchDone sketch_done, LoopsDone loops_done);
    ~SongStudy();
    SongStudy(const SongStudy&) = delete;
    SongStudy& operator=(const SongStudy&) = delete;

    // A look at the song in memory now, after stopping the one under way;
    // the whole song is drawn at view_size (none when empty).
    void start(QSize view_size);
    void stop();
    // A look was started and its loops have not come back yet.
    bool busy() const { return waiting; }
    // Looks that gave up before they were done (for the tests).
    int stopped_count() const { return stopped; }

private:
    void run(uint64_t look, QSize view_size);

    size_t listed;
    SketchDone sketch_done;
    LoopsDone loops_done;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<bool> finished{true};
    uint64_t newest = 0;  // GUI thread: the look whose results are wanted
    bool waiting = false;
    int stopped = 0;
};
