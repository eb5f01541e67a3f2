// Rendering a five-minute song (15,000 frames) through the playback step
// and the chip model, as the application's clock and the render command do.
#include "audio/chip.h"
#include "audio/playback.h"
#include "five_minute_song.h"
#include <benchmark/benchmark.h>

namespace {

void move_play_slider(uint32_t p)
{
    seek_play(p);
}

void render_five_minutes(benchmark::State& state)
{
    if (!load_five_minute_song()) {
        state.SkipWithError("the song did not load");
        return;
    }
    uint64_t checksum = 0;
    for (auto _ : state) {
        playback_start(0);
        uint32_t rendered = 0;
        while (play_tick(move_play_slider)) {
            ++rendered;
            checksum += frame_buf[rendered % FRAME_BYTES];
        }
        if (rendered != SONG_FRAMES) {
            state.SkipWithError("wrong number of frames");
            break;
        }
    }
    benchmark::DoNotOptimize(checksum);
    const double seconds_of_sound = SONG_FRAMES / static_cast<double>(FRAME_RATE);
    state.counters["frames_per_s"] = benchmark::Counter(
        static_cast<double>(SONG_FRAMES) * static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate);
    state.counters["x_realtime"] = benchmark::Counter(
        seconds_of_sound * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(render_five_minutes)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
