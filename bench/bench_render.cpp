// Rendering a five-minute song (15,000 frames) through the playback step
// and the chip model, as the application's clock and the render command do,
// and through the accurate model (render --accurate).
#include "accurate/accurate_render.h"
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
    state.counters["frames_per_s"]
        = benchmark::Counter(static_cast<double>(SONG_FRAMES) * static_cast<double>(state.iterations()),
                             benchmark::Counter::kIsRate);
    state.counters["x_realtime"]
        = benchmark::Counter(seconds_of_sound * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void render_five_minutes_accurate(benchmark::State& state)
{
    if (!load_five_minute_song()) {
        state.SkipWithError("the song did not load");
        return;
    }
    const AccurateSetup setup;  // AY at 1,773,400 Hz, 44,100 Hz out
    uint64_t checksum = 0, pairs = 0;
    for (auto _ : state) {
        pairs = 0;
        accurate_render(setup, 0, SONG_FRAMES, [&](const int16_t* p, size_t count) {
            checksum += static_cast<uint16_t>(p[0]);
            pairs += count;
            return true;
        });
        if (pairs != uint64_t{SONG_FRAMES} * SAMPLES_PER_FRAME) {
            state.SkipWithError("wrong number of samples");
            break;
        }
    }
    benchmark::DoNotOptimize(checksum);
    const double seconds_of_sound = SONG_FRAMES / static_cast<double>(FRAME_RATE);
    state.counters["x_realtime"]
        = benchmark::Counter(seconds_of_sound * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(render_five_minutes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(render_five_minutes_accurate)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
