// Timing of the period search on songs of different sizes, and of the
// straightforward scan on the 100,000-write song with a repetition, where it
// takes seconds.
#include "edit/find.h"
#include "song/song.h"
#include "support/find_scan.h"
#include "support/song_build.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>

namespace {

// Resident and virtual size of the process, in bytes.
struct MemoryUse {
    double resident = 0;
    double virtual_size = 0;
};

MemoryUse memory_use()
{
    long size = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &size, &resident) != 2)
            size = resident = 0;
        std::fclose(statm);
    }
    const double page = static_cast<double>(sysconf(_SC_PAGESIZE));
    return MemoryUse{static_cast<double>(resident) * page, static_cast<double>(size) * page};
}

// The search reports its last progress value while its work memory is
// still held and written; that is where its peak is taken.
MemoryUse at_last_progress;
void note_memory(int)
{
    at_last_progress = memory_use();
}

void load(const std::vector<uint16_t>& keys, uint32_t per_frame, benchmark::State& state)
{
    if (!set_song_keys(keys, per_frame))
        state.SkipWithError("song does not fit");
}

// 100,000 writes: an intro of 40,000 writes and a loop of 30,000 that plays
// twice. The repetition is at (40,000, 70,000).
std::vector<uint16_t> intro_and_loop()
{
    std::vector<uint16_t> keys = random_keys(40000, 1);
    std::vector<uint16_t> loop = random_keys(30000, 2);
    keys.insert(keys.end(), loop.begin(), loop.end());
    keys.insert(keys.end(), loop.begin(), loop.end());
    return keys;
}

void run_search(benchmark::State& state, bool expect_found)
{
    for (auto _ : state) {
        FindResult r{};
        if (find_period(0, FIND_WINDOW, r, nullptr) != FIND_DONE || r.found != expect_found) {
            state.SkipWithError("unexpected result");
            break;
        }
        benchmark::DoNotOptimize(r);
    }
    state.counters["writes"] = writes_before_last_frame();
}

void BM_Search100kFound(benchmark::State& state)
{
    load(intro_and_loop(), 12, state);
    run_search(state, true);
}

void BM_Search100kNotFound(benchmark::State& state)
{
    load(random_keys(100000, 3), 12, state);
    run_search(state, false);
}

// The largest song the tables hold, without repetition, 16 writes a frame.
void BM_Search13_5MNotFound(benchmark::State& state)
{
    load(random_keys(MUSIC_MAX_LEN, 4), 16, state);
    run_search(state, false);

    const MemoryUse before = memory_use();
    FindResult r{};
    find_period(0, FIND_WINDOW, r, note_memory);
    const double writes = writes_before_last_frame();
    state.counters["work_MiB_resident"] = (at_last_progress.resident - before.resident) / 1048576;
    state.counters["work_MiB_virtual"] = (at_last_progress.virtual_size - before.virtual_size) / 1048576;
    state.counters["work_bytes_per_write"] = (at_last_progress.virtual_size - before.virtual_size) / writes;
}

// The straightforward scan on the song of BM_Search100kFound.
void BM_Scan100kFound(benchmark::State& state)
{
    load(intro_and_loop(), 12, state);
    for (auto _ : state) {
        FindResult r = find_period_scan(0, FIND_WINDOW);
        if (!r.found || r.j != 70000) {
            state.SkipWithError("unexpected result");
            break;
        }
        benchmark::DoNotOptimize(r);
    }
}

}  // namespace

BENCHMARK(BM_Search100kFound)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Search100kNotFound)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Search13_5MNotFound)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Scan100kFound)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
