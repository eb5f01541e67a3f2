// Seeking: the chip put into the state the song has at a frame, as every
// start of playback and every move of the play slider while playing does.
// The frame is the song's last, the farthest from the beginning.
#include "accurate/accurate_player.h"
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

// The accurate model sent to a frame and rendering it, as a seek with a chip
// chosen in the window does: the last frame of a segment near the end of
// the song, the farthest fast-forward with the longest pre-roll.
void accurate_seek_to_the_end(benchmark::State& state)
{
    AccuratePlayer player(AccurateSetup(), song_frame_writes());
    const uint32_t seg = AccuratePlayer::SEGMENT;
    const uint32_t frame = (frame_count - 1) / seg * seg - 1;
    std::vector<int16_t> pairs;
    for (auto _ : state) {
        player.seek(frame);
        pairs.clear();
        player.render_frame(pairs);
        benchmark::DoNotOptimize(pairs.data());
    }
    state.counters["frame"] = frame;
}

void accurate_five_minute_song(benchmark::State& state)
{
    if (!load_five_minute_song()) {
        state.SkipWithError("the song did not load");
        return;
    }
    accurate_seek_to_the_end(state);
}

void accurate_largest_song(benchmark::State& state)
{
    if (psg_read(max_song().fileName().toUtf8().constData(), 0, true) != READ_COMPLETE) {
        state.SkipWithError("the song did not load");
        return;
    }
    accurate_seek_to_the_end(state);
}

// Playing with a chip chosen: one frame after the other through the
// five-minute song, segment changes included. The share of one core is
// the time per frame over the 20 ms a frame lasts.
void accurate_playing_frame(benchmark::State& state)
{
    if (!load_five_minute_song()) {
        state.SkipWithError("the song did not load");
        return;
    }
    AccuratePlayer player(AccurateSetup(), song_frame_writes());
    std::vector<int16_t> pairs;
    for (auto _ : state) {
        if (player.frame() == frame_count)
            player.seek(0);
        pairs.clear();
        player.render_frame(pairs);
        benchmark::DoNotOptimize(pairs.data());
    }
}

}  // namespace

BENCHMARK(accurate_five_minute_song)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(accurate_largest_song)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(accurate_playing_frame)->Unit(benchmark::kMicrosecond);
BENCHMARK(five_minute_song)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(largest_song)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
