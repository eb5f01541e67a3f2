// Cutting the largest song the program holds in memory: the frames after
// the cut go to a temporary file and are read back as the song.
#include "edit/editing.h"
#include "song/psg_read.h"
#include "song/song.h"

#include "max_song.h"

#include <benchmark/benchmark.h>

namespace {

// Cut at frame 1: all but one frame is written and read back.
void cut_max_song(benchmark::State& state)
{
    const QByteArray path = max_song().fileName().toUtf8();
    for (auto _ : state) {
        state.PauseTiming();
        const bool loaded = psg_read(path.constData(), 0, true) == READ_COMPLETE;
        cut_pos = 1;
        state.ResumeTiming();
        if (!loaded || !cut_song() || frame_count != FRAMES_MAX_LEN - 2
            || event_count != (FRAMES_MAX_LEN - 2) * WRITES_PER_FRAME) {
            state.SkipWithError("the cut did not give the expected song");
            break;
        }
    }
    state.counters["writes"] = event_count;
}

}  // namespace

BENCHMARK(cut_max_song)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
