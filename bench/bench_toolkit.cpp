// The command line's song tools: the loop candidates of a five-minute
// recording and of the largest song the tables hold, the loop chosen from
// them, and optimize on both.
#include "edit/intro_loop.h"
#include "edit/loops.h"
#include "edit/optimize.h"
#include "song/song.h"
#include "support/song_build.h"

#include "five_minute_song.h"

#include <benchmark/benchmark.h>

namespace {

// An intro and a loop body of frames with `per_frame` random writes each,
// then the body again and again up to `frames` frames.
bool load_recording(uint32_t intro, uint32_t body, uint32_t frames, uint32_t per_frame)
{
    const std::vector<uint16_t> head = random_keys(intro * per_frame, 1);
    const std::vector<uint16_t> loop = random_keys(body * per_frame, 2);
    std::vector<uint16_t> keys(head);
    while (keys.size() < uint64_t{frames} * per_frame) {
        const size_t more = std::min<size_t>(loop.size(), uint64_t{frames} * per_frame - keys.size());
        keys.insert(keys.end(), loop.begin(), loop.begin() + static_cast<std::ptrdiff_t>(more));
    }
    return set_song(spread(keys, per_frame), frames);
}

// The largest song: 899,999 frames of 15 writes (13,499,985 writes); an intro
// of 10 minutes and a loop of 20 minutes played 14.5 times.
constexpr uint32_t BIG_INTRO = 29999, BIG_BODY = 60000;
bool load_largest()
{
    return load_recording(BIG_INTRO, BIG_BODY, FRAMES_MAX_LEN - 1, MUSIC_MAX_LEN / FRAMES_MAX_LEN);
}

// Five minutes, ten writes a frame: 30 s of intro, a loop of two minutes
// played two and a quarter times.
bool load_five_minutes()
{
    return load_recording(1500, 6000, 15000, 10);
}

void run_loops(benchmark::State& state, uint32_t start, uint32_t period)
{
    for (auto _ : state) {
        const std::vector<LoopCandidate> loops = find_loops(5 * FRAME_RATE);
        if (loops.empty() || loops[0].start != start || loops[0].period != period || !loops[0].to_end) {
            state.SkipWithError("not the loop the song was made with");
            break;
        }
        benchmark::DoNotOptimize(loops);
    }
    state.counters["frames"] = frame_count;
}

void BM_LoopsFiveMinutes(benchmark::State& state)
{
    if (!load_five_minutes())
        state.SkipWithError("song does not fit");
    run_loops(state, 1500, 6000);
}

void BM_LoopsLargestSong(benchmark::State& state)
{
    if (!load_largest())
        state.SkipWithError("song does not fit");
    run_loops(state, BIG_INTRO, BIG_BODY);
}

// Every frame repeats 256 frames later: every stretch has thousands of
// earlier copies.
void BM_LoopsLargestPeriodic(benchmark::State& state)
{
    std::vector<SongWrite> writes;
    writes.reserve(MUSIC_MAX_LEN);
    for (uint32_t f = 0; f < FRAMES_MAX_LEN - 1; ++f)
        for (uint32_t k = 0; k < 15; ++k)
            writes.push_back(SongWrite{static_cast<uint8_t>(k % 14), static_cast<uint8_t>(f + k), f});
    if (!set_song(writes, FRAMES_MAX_LEN - 1))
        state.SkipWithError("song does not fit");
    run_loops(state, 0, 256);
}

// The loop `loop` and the window's list take: the candidates, and the start
// moved to where the registers repeat (random writes: a few frames on).
void run_choose_loop(benchmark::State& state, uint32_t period)
{
    for (auto _ : state) {
        uint32_t start = 0, p = 0;
        if (!choose_loop(0, &start, &p) || p != period) {
            state.SkipWithError("no loop that chains");
            break;
        }
        benchmark::DoNotOptimize(start);
    }
}

void BM_ChooseLoopFiveMinutes(benchmark::State& state)
{
    if (!load_five_minutes())
        state.SkipWithError("song does not fit");
    run_choose_loop(state, 6000);
}

void BM_ChooseLoopLargestSong(benchmark::State& state)
{
    if (!load_largest())
        state.SkipWithError("song does not fit");
    run_choose_loop(state, BIG_BODY);
}

void run_optimize(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(optimized_psg());
    state.counters["writes"] = event_count;
}

void BM_OptimizeFiveMinutes(benchmark::State& state)
{
    if (!load_five_minute_song())
        state.SkipWithError("song did not load");
    run_optimize(state);
}

void BM_OptimizeLargestSong(benchmark::State& state)
{
    if (!load_largest())
        state.SkipWithError("song does not fit");
    run_optimize(state);
}

}  // namespace

BENCHMARK(BM_LoopsFiveMinutes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoopsLargestSong)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LoopsLargestPeriodic)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ChooseLoopFiveMinutes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChooseLoopLargestSong)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OptimizeFiveMinutes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OptimizeLargestSong)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
