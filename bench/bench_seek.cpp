// Seeking: the chip put into the state the song has at a frame, as every
// start of playback and every move of the play slider while playing does.
// The frame is the song's last, the farthest from the beginning.
#include "audio/seek.h"
#include "five_minute_song.h"
#include "max_song.h"
#include "song/psg_read.h"
#include "song/song.h"

#include <benchmark/benchmark.h>

namespace {

void seek_to_the_end(benchmark::State& state)
{
    for (auto _ : state) {
        chip_seek(frame_count);
        benchmark::ClobberMemory();
    }
    state.counters["frames"] = frame_count;
}

void five_minute_song(benchmark::State& state)
{
    if (!load_five_minute_song()) {
        state.SkipWithError("the song did not load");
        return;
    }
    seek_to_the_end(state);
}

// 899,999 frames, each writing fourteen registers, the envelope shape among
// them: every frame changes the chip.
void largest_song(benchmark::State& state)
{
    if (psg_read(max_song().fileName().toUtf8().constData(), 0, true) != READ_COMPLETE) {
        state.SkipWithError("the song did not load");
        return;
    }
    seek_to_the_end(state);
}

}  // namespace

BENCHMARK(five_minute_song)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(largest_song)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
